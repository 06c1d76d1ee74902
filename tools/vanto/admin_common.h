// Shared pieces of the administration verbs (prefix, reg, driver, queue, job): failure
// reporting and the check that a prefix exists.
#pragma once

#include "platform/prefix.h"
#include "tools/vanto/verbs.h"

#include <cstdio>
#include <string>

namespace vanto_cli {

constexpr int kAdminFailure = 1;

// Prints "vanto <verb>: <message>" on stderr and ends the verb with a non-zero exit.
[[noreturn]] inline void AdminFail(const char* verb, const std::string& message) {
    std::fprintf(stderr, "vanto %s: %s\n", verb, message.c_str());
    throw CLI::RuntimeError(kAdminFailure);
}

inline void RequirePrefix(const char* verb) {
    if (!vplat::PrefixExists())
        AdminFail(verb, "no prefix at " + vplat::PrefixRoot() + " (set VANTO_PREFIX or run: vanto prefix init)");
}

}  // namespace vanto_cli
