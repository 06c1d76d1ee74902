// vanto cfgx show QUEUE|FILE [--category erd|inkjet|page] [--json]: a driver configuration (CFX)
// file, readable: its tags in hex, every function with its status, default and limits or
// elements by name, and the prohibit groups as "Paper size A3 + Quality Fast".
//
// For a queue the file is the one the CFGX update saved into the queue's work folder
// (C:\ProgramData\KELDA\<driver>\<KDPQGUID>); when there is none, the driver's source of the
// category (default page) in the queue's CFX folder. Anything that is not a queue is taken for a
// file path (Linux, or Windows inside the prefix). The file is read and checked with the CFGX
// module's own reader, so a file this verb refuses is one the module refuses too.
#include "common/BIInfo.h"
#include "modules/cfgx/CfgxFiles.h"
#include "modules/cfgx/CfxFile.h"
#include "modules/cfgx/kdcfgx.h"
#include "platform/prefix.h"
#include "tools/vanto/cfx_view.h"
#include "tools/vanto/json_view.h"
#include "tools/vanto/library.h"
#include "tools/vanto/verbs.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

namespace vanto_cli {

// The queue's saved file, else its driver's source of `category`; the reason on failure.
bool LocateForQueue(const std::string& queue, uint32_t category, Located& found, std::string& error) {
    BIInfo context;
    const std::u16string name = vanto_cli::Widen(queue);
    if (!context.Build(name.c_str(), 0) || context.GetDriverName() == nullptr) {
        error = "cannot read the queue's driver";
        return false;
    }
    WCHAR appData[MAX_PATH] = {};
    if (context.GetPath(BIInfo::CommonAppData, appData)) {
        std::u16string work = std::u16string(appData) + u"\\KELDA\\" + context.GetDriverName();
        if (context.GetQueueGUID()[0] != 0) work += u"\\" + std::u16string(context.GetQueueGUID());
        if (auto folder = vplat::ToLinuxPath(work)) {
            auto saved = cfgx_files::FindSources(*folder);
            if (!saved.empty()) {
                found = {*folder + "/" + saved.front(), "saved"};
                return true;
            }
        }
    }
    WCHAR cfxFolder[MAX_PATH] = {};
    auto folder = context.GetPath(BIInfo::CFXFolder, cfxFolder) ? vplat::ToLinuxPath(cfxFolder) : std::nullopt;
    if (!folder) {
        error = "the queue has no CFX folder";
        return false;
    }
    for (const std::string& candidate : cfgx_files::FindSources(*folder)) {
        cfx::CfxFile file;
        if (cfgx_files::LoadCfx(*folder + "/" + candidate, file) == KD_CFGX_OK && file.category == category) {
            found = {*folder + "/" + candidate, "source"};
            return true;
        }
    }
    error = std::string("no saved file and no ") + kCfxCategoryNames[category] + " source K_*.CFX in " + *folder;
    return false;
}

std::string ElementName(const cfx::Function& f, uint32_t elementID) {
    const cfx::Element* e = f.FindElement(elementID);
    return e ? e->name : "#" + std::to_string(elementID);
}

// "Paper size A3", "Input bin not MP tray", "Paper type Thick (or Extra Thick)".
std::string ItemText(const cfx::CfxFile& file, const cfx::ProhibitItem& item) {
    const cfx::Function* f = file.FindFunction(item.functionID);
    if (f == nullptr) return "function " + std::to_string(item.functionID) + " element " + std::to_string(item.elementID);
    std::string text = f->name + (item.inversion ? " not " : " ") + ElementName(*f, item.elementID);
    if (item.subelementID != 0) text += " (or " + ElementName(*f, item.subelementID) + ")";
    return text;
}

}  // namespace vanto_cli

namespace {

using vanto_cli::ElementName;
using vanto_cli::ItemText;
using vanto_cli::kExitFailure;
using vanto_cli::kExitNoQueue;
using vanto_cli::LocateForQueue;
using vanto_cli::Located;

const char* CategoryText(uint32_t category) {
    switch (category) {
        case cfx::kCategoryERD: return "ERD (install-time capability record)";
        case cfx::kCategoryInkjet: return "ink-jet";
        default: return "page";
    }
}

std::string AttributesText(const cfx::Attributes& attributes) {
    std::string text;
    for (const auto& [number, value] : attributes) {
        char one[48];
        std::snprintf(one, sizeof one, "%s%u=0x%X", text.empty() ? "" : " ", number, value);
        text += one;
    }
    return text;
}

void PrintReadable(const cfx::CfxFile& file, const Located& where) {
    std::printf("%s (%s)\n", where.path.c_str(), where.origin.c_str());
    std::printf("category        %u, %s\n", file.category, CategoryText(file.category));
    if (!file.description.empty()) std::printf("description     %s\n", file.description.c_str());
    std::printf("version         \"%s\"\n", file.version.c_str());
    std::printf("custom version  %u\n", file.customVersion);

    std::printf("\ntags (%zu):\n", file.tags.size());
    for (const cfx::Tag& t : file.tags)
        std::printf("  %-6u %-22s 0x%08X\n", t.id, t.name.empty() ? "-" : t.name.c_str(), t.value);

    std::printf("\nfunctions (%zu):\n", file.functions.size());
    for (const cfx::Function& f : file.functions) {
        std::printf("  %-4u %s [%s%s]", f.id, f.name.c_str(), cfx::StatusName(f.status), f.locked ? ", locked" : "");
        if (f.isValue) {
            std::printf(" value %d to %d, default %d", f.minimum, f.maximum, f.defaultValue);
        } else if (f.defaultElement) {
            std::printf(" default %u %s", *f.defaultElement, ElementName(f, *f.defaultElement).c_str());
        } else {
            std::printf(" no default");
        }
        if (!f.attributes.empty()) std::printf("  attributes %s", AttributesText(f.attributes).c_str());
        std::printf("\n");
        for (const cfx::Element& e : f.elements) {
            std::printf("         %-6u %s", e.id, e.name.c_str());
            if (e.status != cfx::kStatusShown) std::printf(" [%s]", cfx::StatusName(e.status));
            if (!e.attributes.empty()) std::printf("  attributes %s", AttributesText(e.attributes).c_str());
            std::printf("\n");
        }
    }

    std::printf("\nprohibit groups (%zu):\n", file.prohibits.size());
    for (const cfx::ProhibitGroup& g : file.prohibits) {
        std::string line;
        for (const cfx::ProhibitItem& item : g.items) line += (line.empty() ? "" : " + ") + ItemText(file, item);
        std::printf("  %s\n", line.c_str());
    }
}

int RunShow(const std::string& target, const std::string& categoryName, bool bJson) {
    uint32_t category = cfx::kCategoryPage;
    for (uint32_t c = 0; c < 3; ++c)
        if (categoryName == vanto_cli::kCfxCategoryNames[c]) category = c;
    Located where;
    std::string error;
    if (vplat::PrefixExists() && vplat::QueueExists(target)) {
        if (!LocateForQueue(target, category, where, error)) {
            std::fprintf(stderr, "vanto cfgx: %s\n", error.c_str());
            return kExitFailure;
        }
    } else if (target.size() > 2 && target[1] == ':') {
        auto path = vplat::ToLinuxPath(vanto_cli::Widen(target));
        if (!path) {
            std::fprintf(stderr, "vanto cfgx: '%s' is no path of the prefix\n", target.c_str());
            return kExitFailure;
        }
        where = {*path, "file"};
    } else if (std::filesystem::exists(target)) {
        where = {target, "file"};
    } else {
        std::fprintf(stderr,
                     "vanto cfgx show: '%s' is neither a queue of prefix %s nor a file: give a queue (`vanto queue list` "
                     "shows them) or the path of a CFX file\n",
                     target.c_str(), vplat::PrefixRoot().c_str());
        return kExitNoQueue;
    }

    cfx::CfxFile file;
    std::string reason;
    if (int32_t result = cfgx_files::LoadCfx(where.path, file, &reason); result != KD_CFGX_OK) {
        std::fprintf(stderr, "vanto cfgx: %s: %s\n", where.path.c_str(), reason.c_str());
        return kExitFailure;
    }
    if (bJson) {
        vanto_cli::PrintJson({{"file", where.path},
                              {"origin", where.origin},
                              {"cfx", vanto_cli::Json::parse(cfx::WriteCfx(file))}});
    } else {
        PrintReadable(file, where);
    }
    return 0;
}

vanto_cli::VerbGroup cfgxVerbs([](CLI::App& app) {
    auto* cfgx = app.add_subcommand("cfgx", "Driver configuration (CFX) files");
    cfgx->require_subcommand(1);
    auto* show = cfgx->add_subcommand("show", "Show a queue's configuration file, or a CFX file, readable");
    auto target = std::make_shared<std::string>();
    auto category = std::make_shared<std::string>("page");
    auto bJson = std::make_shared<bool>(false);
    show->add_option("TARGET", *target, "Queue name, or the path of a CFX file")->required();
    show->add_option("--category", *category, "Source to show when the queue has no saved file")
        ->check(CLI::IsMember({"erd", "inkjet", "page"}));
    vanto_cli::AddJsonFlag(show, *bJson);
    show->footer("Examples:\n  vanto cfgx show Office\n  vanto cfgx show Office --category inkjet --json\n"
                 "  vanto cfgx show samples/driver/K_PAGE.CFX");
    show->callback([target, category, bJson] {
        if (int rc = RunShow(*target, *category, *bJson); rc != 0) throw CLI::RuntimeError(rc);
    });
    vanto_cli::AddCfgxUpdateVerb(*cfgx);
    cfgx->footer("Examples:\n  vanto cfgx show Office --json\n  vanto cfgx update Office");
});

}  // namespace
