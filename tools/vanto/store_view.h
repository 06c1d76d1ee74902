// The decoded view of a queue's stored values, shared by `vanto store show` and the verbs that
// show what an update changed.
#pragma once

#include <cstdio>
#include <string>

namespace vanto_cli {

// Writes every stored BI value of the queue to `out`, decoded: one line per value beginning at
// the first column, with indented lines under it for records and lists. Returns the verb's exit
// code (messages about a missing queue or store module go to stderr).
int ShowStore(const std::string& queue, FILE* out);

}  // namespace vanto_cli
