// vanto cfgx update QUEUE [--elements LIST] [--option N] [--flags N] [--json]
//     runs UpdateCFGXFile through the export, then shows what changed in the queue's CFX file,
//     readable: tags, functions shown or hidden, defaults and limits old -> new, elements made
//     unavailable, prohibit rules added and removed, by name; then the file's path.
// vanto configure QUEUE [--flags N] [--json]
//     the whole job: the update from the printer (as `vanto update`), then the CFGX update; --json
//     gives both results in one object, {"queue", "update", "cfgx_update"}.
//
// The file before the call is the queue's saved file, or the driver's source when there is none
// yet; after it, the saved file. Exit codes: 0 success, 1 the update failed, 2 no such queue,
// 3 to 5 as for `vanto update` (configure stops there), 5 also when there is no printer
// information for the queue (-999).
#include "modules/cfgx/CfgxFiles.h"
#include "modules/cfgx/kdcfgx.h"
#include "tools/vanto/cfx_view.h"
#include "tools/vanto/session.h"
#include "tools/vanto/verbs.h"

#include <cstdio>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace {

using json = vanto_cli::Json;
using vanto_cli::kExitFailure;
using vanto_cli::Session;

constexpr int kExitRefused = 5;
constexpr uint32_t kAllElements = 0xFFFFFFFFu;
constexpr int kCfgxSuccess = 1;

// Changes of one file against another, by section, each a readable line.
struct CfxChanges {
    std::vector<std::string> file, tags, functions, elements, prohibitsAdded, prohibitsRemoved;
    bool Empty() const {
        return file.empty() && tags.empty() && functions.empty() && elements.empty() && prohibitsAdded.empty() &&
               prohibitsRemoved.empty();
    }
};

std::string Hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

std::string DefaultText(const cfx::Function& f) {
    if (f.isValue) return std::to_string(f.defaultValue);
    return f.defaultElement ? vanto_cli::ElementName(f, *f.defaultElement) : std::string("none");
}

std::string GroupText(const cfx::CfxFile& file, const cfx::ProhibitGroup& g) {
    std::string line;
    for (const cfx::ProhibitItem& item : g.items) line += (line.empty() ? "" : " + ") + vanto_cli::ItemText(file, item);
    return line;
}

void CompareElements(const cfx::Function& was, const cfx::Function& now, CfxChanges& out) {
    for (const cfx::Element& e : now.elements) {
        const cfx::Element* old = was.FindElement(e.id);
        if (old == nullptr) continue;
        const std::string name = now.name + " " + e.name;
        if (old->status != e.status)
            out.elements.push_back(name + ": " + cfx::StatusName(old->status) + " -> " + cfx::StatusName(e.status));
        auto attribute = [](const cfx::Element& el, uint32_t n) -> std::optional<uint32_t> {
            auto it = el.attributes.find(n);
            return it == el.attributes.end() ? std::nullopt : std::optional<uint32_t>(it->second);
        };
        const bool wasAvailable = attribute(*old, cfx::kAttrAvailable).value_or(1) != 0;
        const bool isAvailable = attribute(e, cfx::kAttrAvailable).value_or(1) != 0;
        if (wasAvailable != isAvailable) out.elements.push_back(name + (isAvailable ? ": made available" : ": made unavailable"));
        std::set<uint32_t> numbers;
        for (const auto& [n, v] : old->attributes) numbers.insert(n);
        for (const auto& [n, v] : e.attributes) numbers.insert(n);
        for (uint32_t n : numbers) {
            if (n == cfx::kAttrAvailable) continue;
            const auto a = attribute(*old, n), b = attribute(e, n);
            if (a != b)
                out.elements.push_back(name + ": attribute " + std::to_string(n) + " " + (a ? Hex(*a) : "-") + " -> " +
                                       (b ? Hex(*b) : "-"));
        }
    }
}

CfxChanges Compare(const cfx::CfxFile& was, const cfx::CfxFile& now) {
    CfxChanges out;
    if (was.version != now.version) out.file.push_back("version \"" + was.version + "\" -> \"" + now.version + "\"");
    if (was.customVersion != now.customVersion)
        out.file.push_back("custom version " + std::to_string(was.customVersion) + " -> " + std::to_string(now.customVersion));
    for (const cfx::Tag& t : now.tags) {
        const cfx::Tag* old = was.FindTag(t.id);
        if (old == nullptr)
            out.tags.push_back("tag " + std::to_string(t.id) + " " + t.name + ": added " + Hex(t.value));
        else if (old->value != t.value)
            out.tags.push_back("tag " + std::to_string(t.id) + " " + t.name + ": " + Hex(old->value) + " -> " + Hex(t.value));
    }
    for (const cfx::Function& f : now.functions) {
        const cfx::Function* old = was.FindFunction(f.id);
        if (old == nullptr) continue;
        if (old->status != f.status)
            out.functions.push_back(f.name + ": " + cfx::StatusName(old->status) + " -> " + cfx::StatusName(f.status));
        if (old->locked != f.locked) out.functions.push_back(f.name + (f.locked ? ": locked" : ": unlocked"));
        if (DefaultText(*old) != DefaultText(f))
            out.functions.push_back(f.name + ": default " + DefaultText(*old) + " -> " + DefaultText(f));
        if (f.isValue && (old->minimum != f.minimum || old->maximum != f.maximum))
            out.functions.push_back(f.name + ": limits " + std::to_string(old->minimum) + ".." +
                                    std::to_string(old->maximum) + " -> " + std::to_string(f.minimum) + ".." +
                                    std::to_string(f.maximum));
        CompareElements(*old, f, out);
    }
    auto holds = [](const cfx::CfxFile& file, const cfx::ProhibitGroup& g) {
        for (const cfx::ProhibitGroup& other : file.prohibits)
            if (cfx::SameItems(other.items, g.items)) return true;
        return false;
    };
    for (const cfx::ProhibitGroup& g : now.prohibits)
        if (!holds(was, g)) out.prohibitsAdded.push_back(GroupText(now, g));
    for (const cfx::ProhibitGroup& g : was.prohibits)
        if (!holds(now, g)) out.prohibitsRemoved.push_back(GroupText(was, g));
    return out;
}

// The queue's file as the verbs locate it (saved, else the source of the category).
bool LoadQueueFile(const std::string& queue, uint32_t category, vanto_cli::Located& where, cfx::CfxFile& file,
                   std::string& error) {
    if (!vanto_cli::LocateForQueue(queue, category, where, error)) return false;
    if (cfgx_files::LoadCfx(where.path, file, &error) != KD_CFGX_OK) {
        error = where.path + ": " + error;
        return false;
    }
    return true;
}

const char* StatusText(int status) {
    switch (status) {
    case kCfgxSuccess: return "done";
    case 0: return "failed (see the library's log: the module, the queue, the save or the registry data refused)";
    case -999: return "refused: no printer information for the queue";
    default: return "unknown status";
    }
}

void PrintSection(const char* title, const std::vector<std::string>& lines, const char* mark = "") {
    if (lines.empty()) return;
    std::printf("  %s:\n", title);
    for (const std::string& l : lines) std::printf("    %s%s\n", mark, l.c_str());
}

json SectionsJson(const CfxChanges& c) {
    return json{{"file", c.file},         {"tags", c.tags},
                {"functions", c.functions}, {"elements", c.elements},
                {"prohibits_added", c.prohibitsAdded}, {"prohibits_removed", c.prohibitsRemoved}};
}

// The CFGX update; its result printed, or put in `document` when that is given (which stays null
// when the run fails before the update).
int RunCfgxUpdate(const std::string& queue, const std::string& elementsText, uint32_t option, uint32_t flags,
                  json* document) {
    uint64_t elements = kAllElements;
    std::string bad;
    if (!elementsText.empty() && !vanto_cli::ParseElements(elementsText, elements, bad)) {
        std::fprintf(stderr, "vanto cfgx update: '%s' is not an element name or number: see `vanto update --help`\n",
                     bad.c_str());
        return kExitFailure;
    }
    Session session("cfgx update", queue, flags, Session::kRequireIdentifier);
    if (!session.Ok()) return session.FailureCode();
    // The category of the file the update opens follows the stored printer kind.
    uint32_t modelBits = 0;
    session.Lib().GetDWORDValue(session.Handle(), VANTO_DWID_MODELINFOBITS, 0, &modelBits);
    constexpr uint32_t kModelInfoInkjet = 0x8;
    const uint32_t category = (flags & VANTO_FLAG_ERD) ? cfx::kCategoryERD
                              : (modelBits & kModelInfoInkjet) ? cfx::kCategoryInkjet
                                                               : cfx::kCategoryPage;
    vanto_cli::Located before, after;
    cfx::CfxFile was, now;
    std::string error;
    if (!LoadQueueFile(queue, category, before, was, error)) {
        std::fprintf(stderr, "vanto cfgx update: %s\n", error.c_str());
        return kExitFailure;
    }
    const int status = session.Lib().UpdateCFGXFile(session.Handle(), elements, option);
    if (!LoadQueueFile(queue, category, after, now, error)) {
        std::fprintf(stderr, "vanto cfgx update: %s\n", error.c_str());
        return kExitFailure;
    }
    const CfxChanges changes = Compare(was, now);
    const bool saved = after.origin == "saved";
    if (document != nullptr) {
        *document = {{"queue", queue},       {"elements", elements},           {"option", option},
                     {"status", status},     {"status_text", StatusText(status)}, {"file", saved ? after.path : ""},
                     {"changes", SectionsJson(changes)}};
    } else {
        std::printf("CFGX update of '%s': status %d, %s\n", queue.c_str(), status, StatusText(status));
        if (changes.Empty()) std::printf("  the configuration file did not change\n");
        PrintSection("file", changes.file);
        PrintSection("tags", changes.tags);
        PrintSection("functions", changes.functions);
        PrintSection("elements", changes.elements);
        PrintSection("prohibit rules added", changes.prohibitsAdded, "+ ");
        PrintSection("prohibit rules removed", changes.prohibitsRemoved, "- ");
        std::printf("%s %s\n", saved ? "file:" : "no saved file; the driver's source:", after.path.c_str());
    }
    if (status == kCfgxSuccess) return 0;
    return status == 0 ? kExitFailure : kExitRefused;
}

vanto_cli::VerbGroup configureVerb([](CLI::App& app) {
    auto queue = std::make_shared<std::string>();
    auto flags = std::make_shared<uint32_t>(VANTO_FLAG_PRINTERINFO);
    auto asJson = std::make_shared<bool>(false);
    auto* configure = app.add_subcommand(
        "configure", "Update a queue's printer information from its printer, then rewrite its CFX file from it");
    configure->add_option("QUEUE", *queue, "Print queue name")->required();
    configure->add_option("--flags", *flags, "Flag word of Initialize (bit 1 is always added)")->capture_default_str();
    vanto_cli::AddJsonFlag(configure, *asJson);
    configure->footer("Examples:\n  vanto configure Office\n  vanto configure Office --json");
    configure->callback([=] {
        const uint32_t f = *flags | VANTO_FLAG_PRINTERINFO;
        json update, cfgxUpdate;
        int rc = vanto_cli::RunUpdate(*queue, "", 0, f, *asJson ? &update : nullptr);
        if (rc == 0) rc = RunCfgxUpdate(*queue, "", 0, f, *asJson ? &cfgxUpdate : nullptr);
        // Once the update ran, its result is shown, with the CFGX update's when that ran too.
        if (!update.is_null())
            vanto_cli::PrintJson({{"queue", *queue}, {"update", std::move(update)}, {"cfgx_update", std::move(cfgxUpdate)}});
        if (rc != 0) throw CLI::RuntimeError(rc);
    });
});

}  // namespace

void vanto_cli::AddCfgxUpdateVerb(CLI::App& cfgx) {
    auto queue = std::make_shared<std::string>();
    auto elements = std::make_shared<std::string>();
    auto option = std::make_shared<uint32_t>(0);
    auto flags = std::make_shared<uint32_t>(VANTO_FLAG_PRINTERINFO);
    auto asJson = std::make_shared<bool>(false);
    auto* update = cfgx.add_subcommand("update", "Rewrite a queue's CFX file from its stored values (UpdateCFGXFile)");
    update->add_option("QUEUE", *queue, "Print queue name")->required();
    update->add_option("--elements", *elements, "Element bits: numbers or the names of `vanto update`, comma-separated");
    update->add_option("--option", *option, "Option word of the update (0x1: the registry data only)")
        ->capture_default_str();
    update->add_option("--flags", *flags, "Flag word of Initialize (bit 1 is always added)")->capture_default_str();
    vanto_cli::AddJsonFlag(update, *asJson);
    update->footer("Examples:\n  vanto cfgx update Office\n  vanto cfgx update Office --option 0x1 --json");
    update->callback([=] {
        json document;
        const int rc = RunCfgxUpdate(*queue, *elements, *option, *flags | VANTO_FLAG_PRINTERINFO,
                                     *asJson ? &document : nullptr);
        if (!document.is_null()) vanto_cli::PrintJson(document);
        if (rc != 0) throw CLI::RuntimeError(rc);
    });
}
