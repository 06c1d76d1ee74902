// restable: compiles a driver's resource-table source (JSON) into its binary resource file.
//   restable SOURCE.json OUTPUT [--name-form | --numeric-form]
// The option overrides the source's "numeric" switch, so that one source gives both forms.
#include "tools/restable/ResTableCompiler.h"

#include <cstdio>
#include <fstream>
#include <iterator>

int main(int argc, char** argv) {
    std::string form = argc == 4 ? argv[3] : "";
    if ((argc != 3 && argc != 4) || (argc == 4 && form != "--name-form" && form != "--numeric-form")) {
        std::fprintf(stderr, "usage: restable SOURCE.json OUTPUT [--name-form | --numeric-form]\n");
        return 2;
    }
    std::ifstream in(argv[1]);
    if (!in) {
        std::fprintf(stderr, "restable: cannot open %s\n", argv[1]);
        return 1;
    }
    nlohmann::json source = nlohmann::json::parse(in, nullptr, false, true);
    if (source.is_discarded()) {
        std::fprintf(stderr, "restable: %s is not valid JSON\n", argv[1]);
        return 1;
    }
    if (!form.empty() && source.is_object()) source["numeric"] = form == "--numeric-form";
    std::vector<uint8_t> file;
    std::string error;
    if (!restable::Compile(source, file, error)) {
        std::fprintf(stderr, "restable: %s: %s\n", argv[1], error.c_str());
        return 1;
    }
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
    if (!out.flush()) {
        std::fprintf(stderr, "restable: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
