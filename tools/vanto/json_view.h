// What the verbs with --json share: the flag, the one way a document is printed, and the JSON of
// the records that several verbs show (numbers with their bits named, input trays, the limits of
// user-defined paper). Numbers stay raw beside their decoded form.
#pragma once

#include "tools/vanto/bit_names.h"
#include "vanto.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <span>

namespace vanto_cli {

// Keys in the order they are set, which is the order of the plain view.
using Json = nlohmann::ordered_json;

inline void AddJsonFlag(CLI::App* verb, bool& flag) {
    verb->add_flag("--json", flag, "Print one JSON document on stdout (errors still go to stderr, with a non-zero exit)");
}

// The document on stdout. Printer and registry text need not be UTF-8: bytes that are not become
// U+FFFD rather than an error.
inline void PrintJson(const Json& document) {
    std::printf("%s\n", document.dump(2, ' ', false, Json::error_handler_t::replace).c_str());
}

// {"value": 3, "names": ["colour", "A3-class paper"]}
inline Json BitsJson(DWORD value, std::span<const BitName> names) {
    return {{"value", value}, {"names", BitNameList(value, names.data(), names.size())}};
}

inline Json CassetteJson(const VANTO_CASETTE_INFO& t) {
    return {{"source_bit", t.wPaperSourceBit},     {"source_id", t.wPaperSourceEID},
            {"paper_size_id", t.wPaperSizeID},     {"paper_type_id", t.wPaperTypeID},
            {"direction", t.byDirection},          {"max_capacity", t.wMaxCapacity},
            {"current_level", t.wCurrentLevel}};
}

inline Json UserDefinedPaperJson(const VANTO_USERDEF_MAXMIN& u) {
    return {{"tenth_mm",
             {{"height_min", u.lHeiMIN}, {"height_max", u.lHeiMAX}, {"width_min", u.lWidMIN}, {"width_max", u.lWidMAX}}},
            {"hundredth_inch",
             {{"height_min", u.lHeiMIN_Inch},
              {"height_max", u.lHeiMAX_Inch},
              {"width_min", u.lWidMIN_Inch},
              {"width_max", u.lWidMAX_Inch}}}};
}

}  // namespace vanto_cli
