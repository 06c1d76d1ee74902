// vanto update QUEUE [--elements LIST] [--option N] [--flags N] [--json]
//     runs UpdatePrinterInfo through the export, then shows what changed in the queue's store,
//     value by value, decoded as `vanto store show` decodes it, and the status in words.
// vanto check-model QUEUE [--flags N] [--json]
//     runs CheckModelNameHasChanged: unchanged, changed from X to Y, or the printer cannot be
//     reached.
//
// Exit codes follow the status: 0 success (for check-model: unchanged or changed), 3 no
// connection to the printer, 4 a model check or a printer query failed, 5 anything else the
// library refused (-999); 1 and 2 as for every queue verb (failure, no such queue).
#include "bidi/CBIDI_BP.h"
#include "tools/vanto/cfx_view.h"
#include "tools/vanto/session.h"
#include "tools/vanto/store_view.h"
#include "tools/vanto/verbs.h"

#include <cstdio>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

using json = vanto_cli::Json;
using vanto_cli::kExitFailure;
using vanto_cli::Session;

constexpr int kExitNoConnection = 3;
constexpr int kExitQueryFailed = 4;
constexpr int kExitRefused = 5;
constexpr uint32_t kAllElements = 0xFFFFFFFFu;  // only the low 32 element bits take part

struct ElementBitName {
    uint32_t bit;
    const char* name;
};
constexpr ElementBitName kElements[] = {
    {0x1, "model"},          {0x2, "model-info"},       {0x4, "languages"},        {0x8, "option-units"},
    {0x10, "cassettes"},     {0x40, "memory"},          {0x80, "paper-sizes"},     {0x100, "paper-types"},
    {0x200, "default-language"}, {0x800, "paper-directions"}, {0x1000, "user-defined"}, {0x2000, "prohibit"},
    {0x4000, "resolution"},  {0x80000, "quality"},      {0x2000000, "max-copies"}, {0x20000000, "layout"},
    {0x80000000, "default-settings"}, {kAllElements, "all"}};

}  // namespace

// "model,cassettes,0x80": names and numbers (decimal or 0x hex), OR'ed; false on anything else.
bool vanto_cli::ParseElements(const std::string& text, uint64_t& bits, std::string& bad) {
    bits = 0;
    std::stringstream in(text);
    std::string item;
    while (std::getline(in, item, ',')) {
        bool known = false;
        for (const ElementBitName& e : kElements) {
            if (item == e.name) {
                bits |= e.bit;
                known = true;
            }
        }
        if (known) continue;
        try {
            size_t used = 0;
            const unsigned long long value = std::stoull(item, &used, 0);
            if (used != item.size() || item[0] == '-') throw std::invalid_argument(item);
            bits |= value;
        } catch (const std::exception&) {
            bad = item;
            return false;
        }
    }
    return !text.empty();
}

namespace {

const char* UpdateStatusText(int status) {
    switch (status) {
    case 0: return "updated";
    case -1: return "the printer cannot be reached (no connection)";
    case -2: return "a model check or a printer query failed; the store keeps its earlier flag";
    case -999: return "refused: no printer information, no tables, no store identifier, an empty paper list or a store write failed";
    default: return "unknown status";
    }
}

int ExitCodeOf(int status) {
    switch (status) {
    case 0: return 0;
    case -1: return kExitNoConnection;
    case -2: return kExitQueryFailed;
    default: return kExitRefused;
    }
}

// The decoded store as blocks: a value's first line (name first) with its indented lines.
std::vector<std::pair<std::string, std::vector<std::string>>> StoreBlocks(const std::string& queue) {
    std::vector<std::pair<std::string, std::vector<std::string>>> blocks;
    std::unique_ptr<FILE, int (*)(FILE*)> out(std::tmpfile(), std::fclose);
    if (out == nullptr) return blocks;
    vanto_cli::ShowStore(queue, out.get());
    std::string text;
    std::rewind(out.get());
    char chunk[4096];
    for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, out.get())) > 0;) text.append(chunk, n);
    std::stringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty()) continue;
        if (line[0] != ' ' || blocks.empty()) {
            blocks.push_back({line.substr(0, line.find(' ')), {line}});
        } else {
            blocks.back().second.push_back(line);
        }
    }
    return blocks;
}

struct Change {
    std::string name;
    std::vector<std::string> before;
    std::vector<std::string> after;
};

std::vector<Change> Changes(const std::vector<std::pair<std::string, std::vector<std::string>>>& before,
                            const std::vector<std::pair<std::string, std::vector<std::string>>>& after) {
    std::map<std::string, std::vector<std::string>> old(before.begin(), before.end());
    std::vector<Change> changes;
    for (const auto& [name, lines] : after) {
        auto it = old.find(name);
        std::vector<std::string> was = it != old.end() ? it->second : std::vector<std::string>{};
        if (was != lines) changes.push_back({name, was, lines});
    }
    return changes;
}

void PrintChange(const Change& c) {
    if (c.before.size() == 1 && c.after.size() == 1) {
        // One line each: the value text after the name, before -> after.
        auto value = [](const std::string& line) {
            const size_t at = line.find_first_not_of(' ', line.find(' '));
            return at == std::string::npos ? std::string() : line.substr(at);
        };
        std::printf("  %-22s %s -> %s\n", c.name.c_str(), value(c.before[0]).c_str(), value(c.after[0]).c_str());
        return;
    }
    std::printf("  %s:\n", c.name.c_str());
    for (const std::string& l : c.before) std::printf("    - %s\n", l.c_str());
    for (const std::string& l : c.after) std::printf("    + %s\n", l.c_str());
}

}  // namespace

int vanto_cli::RunUpdate(const std::string& queue, const std::string& elementsText, uint32_t option, uint32_t flags,
                         Json* document) {
    uint64_t elements = kAllElements;
    std::string bad;
    if (!elementsText.empty() && !ParseElements(elementsText, elements, bad)) {
        std::fprintf(stderr, "vanto update: '%s' is not an element name or number: see `vanto update --help`\n",
                     bad.c_str());
        return kExitFailure;
    }
    Session session("update", queue, flags, Session::kRequireIdentifier);
    if (!session.Ok()) return session.FailureCode();
    const auto before = StoreBlocks(queue);
    std::fprintf(stderr, "asking the printer of '%s' (elements 0x%llx, option 0x%x) ...\n", queue.c_str(),
                 static_cast<unsigned long long>(elements), option);
    const int status = session.Lib().UpdatePrinterInfo(session.Handle(), elements, option);
    const auto changes = Changes(before, StoreBlocks(queue));
    if (document != nullptr) {
        json list = json::array();
        for (const Change& c : changes) list.push_back({{"value", c.name}, {"before", c.before}, {"after", c.after}});
        *document = {{"queue", queue}, {"elements", elements}, {"option", option}, {"status", status},
                     {"status_text", UpdateStatusText(status)}, {"changes", std::move(list)}};
    } else {
        std::printf("update of '%s': status %d, %s\n", queue.c_str(), status, UpdateStatusText(status));
        if (changes.empty()) std::printf("  no stored value changed\n");
        for (const Change& c : changes) PrintChange(c);
    }
    return ExitCodeOf(status);
}

namespace {

// The printer's model name as the live access reads it. The export answers only whether it
// changed, so a changed model is asked once more, in this process, to say what it is now.
std::string PrinterModel(const std::string& queue, uint32_t flags) {
    const std::u16string name = vanto_cli::Widen(queue);
    BIInfo context;
    CBIDI_BP bidi;
    if (!context.Build(name.c_str(), 0) || !bidi.Initialize(&context, flags) || !bidi.Open(name.c_str())) return "?";
    const WCHAR* model = bidi.GetModelName();
    std::string text = model ? vanto_cli::Narrow(model) : "?";
    bidi.Close();
    return text;
}

int RunCheckModel(const std::string& queue, uint32_t flags, bool asJson) {
    Session session("check-model", queue, flags, Session::kRequireIdentifier);
    if (!session.Ok()) return session.FailureCode();
    WCHAR stored[64] = {};
    session.Lib().GetStringValueW(session.Handle(), VANTO_SZID_MODELNAME, 0, stored, 64);
    const int status = session.Lib().CheckModelNameHasChanged(session.Handle());
    const std::string storedText = vanto_cli::Narrow(stored);
    const std::string printerText = status == 1 ? PrinterModel(queue, flags) : storedText;
    std::string text;
    switch (status) {
    case 0: text = "unchanged: the printer is '" + storedText + "'"; break;
    case 1: text = "changed from '" + storedText + "' to '" + printerText + "'"; break;
    case -1: text = "cannot reach the printer"; break;
    default: text = "refused (status " + std::to_string(status) + ")"; break;
    }
    if (asJson) {
        json out = {{"queue", queue},        {"status", status}, {"stored_model", storedText},
                    {"printer_model", printerText}, {"text", text}};
        vanto_cli::PrintJson(out);
    } else {
        std::printf("model of '%s': %s\n", queue.c_str(), text.c_str());
    }
    return status == 0 || status == 1 ? 0 : ExitCodeOf(status);
}

vanto_cli::VerbGroup updateVerbs([](CLI::App& app) {
    auto queue = std::make_shared<std::string>();
    auto elements = std::make_shared<std::string>();
    auto option = std::make_shared<uint32_t>(0);
    auto flags = std::make_shared<uint32_t>(VANTO_FLAG_PRINTERINFO);
    auto asJson = std::make_shared<bool>(false);

    auto* update = app.add_subcommand("update", "Update a queue's printer information from its printer (UpdatePrinterInfo)");
    auto* check = app.add_subcommand("check-model", "Tell whether the printer's model differs from the stored one");
    for (CLI::App* verb : {update, check}) {
        verb->add_option("QUEUE", *queue, "Print queue name")->required();
        verb->add_option("--flags", *flags, "Flag word of Initialize (bit 1 is always added)")->capture_default_str();
        vanto_cli::AddJsonFlag(verb, *asJson);
    }
    update->footer("Examples:\n  vanto update Office\n  vanto update Office --elements model,cassettes,paper-sizes --json");
    check->footer("Examples:\n  vanto check-model Office\n  vanto check-model Office --json");
    update->add_option("--elements", *elements,
                       "Element bits: numbers or names (model, model-info, languages, option-units, cassettes, "
                       "memory, paper-sizes, paper-types, default-language, paper-directions, user-defined, "
                       "prohibit, resolution, quality, max-copies, layout, default-settings, all), comma-separated");
    update->add_option("--option", *option, "Option word of the update")->capture_default_str();
    update->callback([=] {
        json document;
        const int rc = vanto_cli::RunUpdate(*queue, *elements, *option, *flags | VANTO_FLAG_PRINTERINFO,
                                            *asJson ? &document : nullptr);
        if (!document.is_null()) vanto_cli::PrintJson(document);
        if (rc != 0) throw CLI::RuntimeError(rc);
    });
    check->callback([=] {
        const int rc = RunCheckModel(*queue, *flags | VANTO_FLAG_PRINTERINFO, *asJson);
        if (rc != 0) throw CLI::RuntimeError(rc);
    });
});

}  // namespace
