// The log lines of a user-defined paper size limits record, one per field in field order, as
// "\t<record>.lHeiMAX = <value>": the update from the printer and the CFGX update both write them.
#pragma once

#include "common/BILogging.h"
#include "vanto.h"

inline void LogUserDefMaxMin(const char* pszRecord, const VANTO_USERDEF_MAXMIN& u) {
    BI_LOG("\t%s.lHeiMAX = %ld\n", pszRecord, static_cast<long>(u.lHeiMAX));
    BI_LOG("\t%s.lWidMAX = %ld\n", pszRecord, static_cast<long>(u.lWidMAX));
    BI_LOG("\t%s.lHeiMIN = %ld\n", pszRecord, static_cast<long>(u.lHeiMIN));
    BI_LOG("\t%s.lWidMIN = %ld\n", pszRecord, static_cast<long>(u.lWidMIN));
    BI_LOG("\t%s.lHeiMAX_Inch = %ld\n", pszRecord, static_cast<long>(u.lHeiMAX_Inch));
    BI_LOG("\t%s.lWidMAX_Inch = %ld\n", pszRecord, static_cast<long>(u.lWidMAX_Inch));
    BI_LOG("\t%s.lHeiMIN_Inch = %ld\n", pszRecord, static_cast<long>(u.lHeiMIN_Inch));
    BI_LOG("\t%s.lWidMIN_Inch = %ld\n", pszRecord, static_cast<long>(u.lWidMIN_Inch));
}
