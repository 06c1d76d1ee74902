// MIB objects that more than one part of the live printer access asks, named once. Identifiers
// are relative to 1.3.6.1; an object used by a single file is named in that file.
#pragma once

constexpr const char* kOIDColorants = "2.1.43.10.2.1.6.1.1";             // prtMarkerProcessColorants
constexpr const char* kOIDLocalizationLanguage = "2.1.43.7.1.1.2.1.1";  // prtLocalizationLanguage
constexpr const char* kOIDStorageDescr = "2.1.25.2.3.1.3.1";            // hrStorageDescr
constexpr const char* kOIDMediaPathDescription = "2.1.43.13.4.1.10.1.1";  // prtMediaPathDescription
constexpr const char* kOIDMediaPathType = "2.1.43.13.4.1.9.1.1";        // prtMediaPathType
