// Shared pieces of the administration verbs (prefix, reg, driver, queue, job): failure
// reporting, the check that a prefix exists and the names of a key's subkeys.
#pragma once

#include "platform/TextUtil.h"
#include "platform/prefix.h"
#include "tools/vanto/verbs.h"

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace vanto_cli {

constexpr int kAdminFailure = 1;

// Prints "vanto <verb>: <message>" on stderr and ends the verb with a non-zero exit.
[[noreturn]] inline void AdminFail(const char* verb, const std::string& message) {
    std::fprintf(stderr, "vanto %s: %s\n", verb, message.c_str());
    throw CLI::RuntimeError(kAdminFailure);
}

inline void RequirePrefix(const char* verb) {
    if (!vplat::PrefixExists())
        AdminFail(verb, "no prefix at " + vplat::PrefixRoot() + ": make one with `vanto prefix init`, or set VANTO_PREFIX");
}

// Ends the verb, as RequirePrefix does, when the prefix has no such queue; the message says how
// to add it.
inline void RequireQueue(const char* verb, const std::string& queue) {
    if (!QueueFound(verb, queue)) throw CLI::RuntimeError(kAdminFailure);
}

// Names of the subkeys of an HKLM key; none when it cannot be opened.
inline std::vector<std::string> Subkeys(const char16_t* path) {
    std::vector<std::string> names;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return names;
    for (DWORD i = 0;; ++i) {
        char16_t name[256];
        DWORD chars = 256;
        if (RegEnumKeyExW(key, i, name, &chars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.push_back(vplat::detail::ToUtf8(std::u16string_view(name, chars)));
    }
    RegCloseKey(key);
    return names;
}

}  // namespace vanto_cli
