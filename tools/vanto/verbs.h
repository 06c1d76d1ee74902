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

// The text as one shell word: as it is when it needs no quoting, else in single quotes.
inline std::string ShellWord(const std::string& text) {
    bool plain = !text.empty();
    for (const char c : text)
        plain = plain && ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                          c == '_' || c == '-' || c == '.' || c == '/');
    if (plain) return text;
    std::string quoted = "'";
    for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// True when the prefix has the queue; otherwise says on stderr, as "vanto VERB: ...", what is
// missing and how to make it.
inline bool QueueFound(const char* verb, const std::string& queue) {
    if (!vplat::PrefixExists()) {
        std::fprintf(stderr, "vanto %s: no prefix at %s: make one with `vanto prefix init`, or set VANTO_PREFIX\n", verb,
                     vplat::PrefixRoot().c_str());
        return false;
    }
    if (vplat::QueueExists(queue)) return true;
    std::fprintf(stderr,
                 "vanto %s: queue '%s' does not exist in prefix %s: add it with `vanto queue add %s --driver DRIVER "
                 "--port PORT` (`vanto queue list` shows the queues there are)\n",
                 verb, queue.c_str(), vplat::PrefixRoot().c_str(), ShellWord(queue).c_str());
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
