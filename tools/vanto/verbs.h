// Verb groups of the `vanto` command line. Each group lives in its own file and registers itself
// with a static VerbGroup object, so adding a group touches no other file.
#pragma once

#include <CLI/CLI.hpp>

#include "platform/prefix.h"

#include <cstdint>
#include <cstdio>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace vanto_cli {

// Adds a group's subcommands to the application. Runs once, before parsing.
using VerbSetup = std::function<void(CLI::App&)>;

std::vector<VerbSetup>& VerbGroups();

struct VerbGroup {
    explicit VerbGroup(VerbSetup setup) { VerbGroups().push_back(std::move(setup)); }
};

// Exit codes of the verbs that work on a queue.
constexpr int kExitFailure = 1;
constexpr int kExitNoQueue = 2;

// True when the prefix has the queue; otherwise says so on stderr, as "vanto VERB: ...".
inline bool QueueFound(const char* verb, const std::string& queue) {
    if (vplat::QueueExists(queue)) return true;
    std::fprintf(stderr, "vanto %s: no queue named '%s' in %s\n", verb, queue.c_str(), vplat::PrefixRoot().c_str());
    return false;
}

// Bytes as lower-case hex digits, two per byte, nothing between them.
inline std::string HexText(std::span<const uint8_t> bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (const uint8_t b : bytes) {
        text += kDigits[b >> 4];
        text += kDigits[b & 0xF];
    }
    return text;
}

}  // namespace vanto_cli
