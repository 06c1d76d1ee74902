// vanto: administers the stand-in platform's prefix and calls the library's exports, as any
// caller of the library would.
#include "tools/vanto/verbs.h"

#include <cstdio>

namespace vanto_cli {
std::vector<VerbSetup>& VerbGroups() {
    static std::vector<VerbSetup> groups;
    return groups;
}
}  // namespace vanto_cli

int main(int argc, char** argv) {
    CLI::App app{"vanto: printer auto-configuration library, its prefix and its printers"};
    app.require_subcommand(1);
    for (auto& setup : vanto_cli::VerbGroups()) setup(app);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e);
    }
    return 0;
}
