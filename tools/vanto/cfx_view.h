// What the CFX verbs share: where a queue's configuration file is, names of its functions,
// elements and prohibit items, and the verbs that rewrite the file through the export.
#pragma once

#include "modules/cfgx/CfxFile.h"
#include "tools/vanto/json_view.h"

#include <CLI/CLI.hpp>

#include <cstdint>
#include <string>

namespace vanto_cli {

// Categories of CFX files by their number (erd, inkjet, page).
inline constexpr const char* kCfxCategoryNames[] = {"erd", "inkjet", "page"};

struct Located {
    std::string path;    // Linux path of the file
    std::string origin;  // "saved", "source" or "file"
};

// The queue's saved file, else its driver's source of `category`; the reason on failure.
bool LocateForQueue(const std::string& queue, uint32_t category, Located& found, std::string& error);
// The element's name, or "#<id>" when the function has no such element.
std::string ElementName(const cfx::Function& f, uint32_t elementID);
// "Paper size A3", "Input bin not MP tray", "Paper type Thick (or Extra Thick)".
std::string ItemText(const cfx::CfxFile& file, const cfx::ProhibitItem& item);

// `vanto cfgx update` under the `cfgx` verb (cfgx_update_verbs.cpp).
void AddCfgxUpdateVerb(CLI::App& cfgx);

// `vanto update`'s run (update_verbs.cpp): UpdatePrinterInfo and the stored values it changed,
// printed, or put in `document` when that is given (which stays null when the run fails before
// the update).
int RunUpdate(const std::string& queue, const std::string& elementsText, uint32_t option, uint32_t flags,
              Json* document);
// Element bits from "model,cassettes,0x80": names of `vanto update` and numbers, OR'ed.
bool ParseElements(const std::string& text, uint64_t& bits, std::string& bad);

}  // namespace vanto_cli
