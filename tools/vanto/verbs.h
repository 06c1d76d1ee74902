// Verb groups of the `vanto` command line. Each group lives in its own file and registers itself
// with a static VerbGroup object, so adding a group touches no other file.
#pragma once

#include <CLI/CLI.hpp>

#include <functional>
#include <vector>

namespace vanto_cli {

// Adds a group's subcommands to the application. Runs once, before parsing.
using VerbSetup = std::function<void(CLI::App&)>;

std::vector<VerbSetup>& VerbGroups();

struct VerbGroup {
    explicit VerbGroup(VerbSetup setup) { VerbGroups().push_back(std::move(setup)); }
};

}  // namespace vanto_cli
