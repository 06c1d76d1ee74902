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
    // Set after the verbs exist, which would otherwise take it over as their own footer.
    app.footer(
        "Examples:\n"
        "  vanto prefix init\n"
        "  vanto driver add \"Vintal Universal Driver\" samples/driver build/VUD3AUDF.DLL build/VUD3*.BRT\n"
        "  vanto queue add Office --driver \"Vintal Universal Driver\" --port IP_127.0.148.1\n"
        "  vanto configure Office --json\n"
        "  vanto store show Office --json\n"
        "Every verb that shows data takes --json; VERB --help shows the verb's options and examples.");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e);
    }
    return 0;
}
