// Helpers shared by the registry, the spooler and the administration functions.
#pragma once

#include "platform/RegistryDb.h"
#include "platform/win32.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vplat::detail {

// True when VANTO_UNPRIVILEGED asks for a caller without administrator rights.
bool Unprivileged();

// REG_SZ data: the text's UTF-16 units and a terminator.
std::vector<BYTE> StringData(std::u16string_view text);
LSTATUS SetString(RegistryDb& db, int64_t key, std::u16string_view name, std::u16string_view text);
LSTATUS SetDword(RegistryDb& db, int64_t key, std::u16string_view name, DWORD value);
// A string value up to its first terminator; nullopt if it is missing or not a string.
std::optional<std::u16string> GetString(RegistryDb& db, int64_t key, std::u16string_view name);
// A REG_DWORD value; nullopt if missing or of another type or size.
std::optional<DWORD> GetDword(RegistryDb& db, int64_t key, std::u16string_view name);

}  // namespace vplat::detail
