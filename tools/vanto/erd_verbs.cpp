// vanto erd: the installer's print-capability record of a driver and its queues.
//
//   vanto erd install DRIVER [--from FILE.json]  writes a record (with "Key" and "Mail") where the
//                                                driver's installer leaves it in the registry
//   vanto erd show QUEUE [--registry] [--json]   reads the queue's record through CBIDI_ERD and
//                                                prints model, defaults, paper capabilities and
//                                                the forbidden pairs
//
// CBIDI_ERD is not exported, so `show` runs the library's own code in this process. Without
// --registry it reads the queue's printer data; with it, it moves the installer's values from the
// registry into the printer data first, as the library does on first use.
#include "bidi/CBIDI_ERD.h"
#include "bidi/PrnCapRecord.h"
#include "common/BIInfo.h"
#include "platform/prefix.h"
#include "tools/vanto/json_view.h"
#include "tools/vanto/library.h"
#include "tools/vanto/media_view.h"
#include "tools/vanto/verbs.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

namespace {

using vanto_cli::Json;
using vanto_cli::kExitFailure;
using vanto_cli::kExitNoQueue;

constexpr char16_t kInstallerKeyPrefix[] = u"SOFTWARE\\KELDA\\PRINTER\\";

// Default-setting names of the JSON description, in record order.
constexpr const char* kDefaultNames[prncap::kDefaultCount] = {
    "MediaSizeID", "MediaTypeID", "Layout", "Quality", "PaperSource", "ColorMode",
    "Duplex", "ReverseOrder", "Copies", "Collate", "PaperDirection", "MultiPage"};

// The record written when no description is given: two sizes, three types, two sources.
const char* const kSampleRecord = R"({
  "model": "Model-R 200", "color": 1, "resolution": 4097, "maxCopies": 999,
  "defaults": {"MediaSizeID": 9, "MediaTypeID": 1, "Quality": 2, "PaperSource": 1, "ColorMode": 1,
               "Copies": 1, "PaperDirection": 0},
  "papers": [
    {"size": 9, "types": [{"type": 1, "sources": 3, "quality": 3, "layout": 1},
                          {"type": 2, "sources": 1, "quality": 2, "layout": 0}]},
    {"size": 11, "types": [{"type": 1, "sources": 2, "quality": 1, "layout": 0},
                           {"type": 7, "sources": 2, "quality": 3, "layout": 0}]}
  ],
  "key": "0102030405", "mail": "install@example.invalid"
})";

DWORD Number(const nlohmann::json& object, const char* name) {
    return object.contains(name) ? object.at(name).get<DWORD>() : 0;
}

// Builds the record of a JSON description; throws nlohmann::json errors on a bad description.
std::vector<BYTE> BuildRecord(const nlohmann::json& description) {
    prncap::Builder builder;
    builder.SetModelName(vanto_cli::Widen(description.value("model", std::string())));
    builder.SetColor(Number(description, "color"));
    builder.SetResolutionBits(Number(description, "resolution"));
    builder.SetMaxCopies(Number(description, "maxCopies"));
    const nlohmann::json defaults = description.value("defaults", nlohmann::json::object());
    for (size_t i = 0; i < prncap::kDefaultCount; ++i)
        builder.SetDefault(static_cast<prncap::DefaultIndex>(i), Number(defaults, kDefaultNames[i]));
    for (const auto& paper : description.value("papers", nlohmann::json::array())) {
        const nlohmann::json types = paper.value("types", nlohmann::json::array());
        builder.AddBlock(Number(paper, "size"), static_cast<DWORD>(types.size()));
        for (const auto& type : types)
            builder.AddEntry(Number(type, "type"), Number(type, "sources"), Number(type, "quality"),
                             Number(type, "layout"));
    }
    return builder.Bytes();
}

std::vector<BYTE> HexBytes(const std::string& hex) {
    std::vector<BYTE> bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) bytes.push_back(static_cast<BYTE>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}

int RunInstall(const std::string& driver, const std::string& from) {
    nlohmann::json description;
    std::vector<BYTE> record;
    std::vector<BYTE> keyBytes;
    try {
        if (from.empty()) {
            description = nlohmann::json::parse(kSampleRecord);
        } else {
            std::ifstream in(from);
            if (!in) {
                std::fprintf(stderr, "vanto erd install: cannot read %s: give a readable JSON description, or no "
                                     "--from for the built-in sample\n", from.c_str());
                return kExitFailure;
            }
            description = nlohmann::json::parse(in);
        }
        record = BuildRecord(description);
        if (description.contains("key")) keyBytes = HexBytes(description.at("key").get<std::string>());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vanto erd install: bad description: %s\n", e.what());
        return kExitFailure;
    }

    const std::u16string path = kInstallerKeyPrefix + vanto_cli::Widen(driver);
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS) {
        std::fprintf(stderr, "vanto erd install: cannot create HKLM\\%s\n", vanto_cli::Narrow(path).c_str());
        return kExitFailure;
    }
    bool ok = RegSetValueExW(key, u"ERDPrintCapability", 0, REG_BINARY, record.data(),
                             static_cast<DWORD>(record.size())) == ERROR_SUCCESS;
    if (!keyBytes.empty()) {
        ok = ok && RegSetValueExW(key, u"Key", 0, REG_BINARY, keyBytes.data(), static_cast<DWORD>(keyBytes.size())) ==
                       ERROR_SUCCESS;
    }
    if (description.contains("mail") && description.at("mail").is_string()) {
        const std::u16string mail = vanto_cli::Widen(description.at("mail").get<std::string>());
        ok = ok && RegSetValueExW(key, u"Mail", 0, REG_SZ, reinterpret_cast<const BYTE*>(mail.c_str()),
                                  static_cast<DWORD>((mail.size() + 1) * sizeof(char16_t))) == ERROR_SUCCESS;
    }
    RegCloseKey(key);
    if (!ok) {
        std::fprintf(stderr, "vanto erd install: cannot write the values\n");
        return kExitFailure;
    }
    std::printf("record of %zu bytes written to HKLM\\%s\n", record.size(), vanto_cli::Narrow(path).c_str());
    return 0;
}

void PrintList(const char* title, const Json& list) {
    std::printf("%s:", title);
    for (const auto& entry : list) std::printf(" %s", entry.get<std::string>().c_str());
    std::printf("\n");
}

Json ListJson(const BIStringList* list) { return list != nullptr ? Json(*list) : Json::array(); }

// The plain view of what RunShow gathered.
void PrintRecord(const Json& r, const CBIDI_ERD& erd) {
    std::printf("model           : %s\n", r["model"].get<std::string>().c_str());
    std::printf("colour          : %s\n", r["colour"].get<bool>() ? "yes" : "no");
    std::printf("max copies      : %u\n", r["max_copies"].get<DWORD>());
    std::printf("base resolution : %u\n", r["base_resolution"].get<DWORD>());
    std::printf("record size     : %u bytes\n", r["record_size"].get<DWORD>());
    std::printf("defaults:\n");
    for (const auto& [name, value] : r["defaults"].items()) std::printf("  %-15s: %u\n", name.c_str(), value.get<DWORD>());
    PrintList("paper sizes", r["paper_sizes"]);
    PrintList("paper types", r["paper_types"]);
    std::printf("paper sources:");
    for (const auto& bit : r["paper_sources"]) std::printf(" 0x%x", bit.get<unsigned>());
    std::printf("\nquality mask 0x%x, layout mask 0x%x\n", r["quality_mask"].get<DWORD>(), r["layout_mask"].get<DWORD>());
    vanto_cli::PrintCombinations("paper capabilities", erd.CapabilitySet().Capabilities());
    vanto_cli::PrintForbiddenPairs(erd.GetForbiddenPairs());
}

int RunShow(const std::string& queue, bool registry, bool asJson) {
    if (!vanto_cli::QueueFound("erd show", queue)) return kExitNoQueue;
    const std::u16string name = vanto_cli::Widen(queue);
    BIInfo context;
    if (!context.Build(name.c_str(), 0)) return kExitFailure;
    CBIDI_ERD erd;
    if (!erd.Initialize(&context, registry ? ERD_FLAG_REGISTRY_MODE : 0) || !erd.Open(name.c_str())) {
        if (registry)
            std::fprintf(stderr,
                         "vanto erd show: no usable capability record for queue '%s' in its driver's installer values "
                         "(HKLM\\SOFTWARE\\KELDA\\PRINTER\\<driver>): write one with `vanto erd install DRIVER`\n",
                         queue.c_str());
        else
            std::fprintf(stderr,
                         "vanto erd show: no usable capability record in the printer data of queue '%s': move the "
                         "installer's record there with `vanto erd show %s --registry` (after `vanto erd install "
                         "DRIVER`)\n",
                         queue.c_str(), vanto_cli::ShellWord(queue).c_str());
        return kExitFailure;
    }

    DWORD colour = 0;
    erd.GetModelInfoBits(&colour);
    const WCHAR* model = erd.GetModelName();  // null when the record names none
    BIDefaultSettings defaults{};
    erd.GetDefaultSetting(&defaults);
    const DWORD* values = &defaults.dwMediaSizeID;
    Json defaultsJson = Json::object();
    for (size_t i = 0; i < prncap::kDefaultCount; ++i) defaultsJson[kDefaultNames[i]] = values[i];
    Json sources = Json::array();
    for (const auto& cassette : erd.PaperSources()) sources.push_back(cassette.wPaperSourceBit);
    Json out = {{"queue", queue},
                {"source", registry ? "installer's registry values" : "printer data"},
                {"model", model != nullptr ? vanto_cli::Narrow(model) : std::string()},
                {"colour", colour != 0},
                {"max_copies", erd.GetMaxCopies()},
                {"base_resolution", erd.GetBaseResolution()},
                {"record_size", erd.GetPrnCapInfoSize()},
                {"defaults", std::move(defaultsJson)},
                {"paper_sizes", ListJson(erd.GetSupportPaperSize(0))},
                {"paper_types", ListJson(erd.GetSupportPaperType())},
                {"paper_sources", std::move(sources)},
                {"quality_mask", erd.GetQualityMask()},
                {"layout_mask", erd.GetLayoutMask()}};
    if (!asJson) {
        PrintRecord(out, erd);
        return 0;
    }
    out["capabilities"] = vanto_cli::CombinationsJson(erd.CapabilitySet().Capabilities());
    out["forbidden_pairs"] = vanto_cli::ForbiddenPairsJson(erd.GetForbiddenPairs());
    vanto_cli::PrintJson(out);
    return 0;
}

vanto_cli::VerbGroup erdVerbs([](CLI::App& app) {
    auto* erd = app.add_subcommand("erd", "The installer's print-capability record");
    erd->require_subcommand(1);

    auto* install = erd->add_subcommand("install", "Write a capability record where a driver's installer leaves it");
    auto driver = std::make_shared<std::string>();
    auto from = std::make_shared<std::string>();
    install->add_option("DRIVER", *driver, "Driver name")->required();
    install->add_option("--from", *from, "JSON description of the record (default: a built-in sample)");
    install->footer("Examples:\n  vanto erd install \"Vintal Universal Driver\"\n"
                    "  vanto erd install \"Vintal Universal Driver\" --from record.json");
    install->callback([driver, from] {
        if (int rc = RunInstall(*driver, *from); rc != 0) throw CLI::RuntimeError(rc);
    });

    auto* show = erd->add_subcommand("show", "Read a queue's capability record and print what it says");
    auto queue = std::make_shared<std::string>();
    auto registry = std::make_shared<bool>(false);
    show->add_option("QUEUE", *queue, "Print queue name")->required();
    auto asJson = std::make_shared<bool>(false);
    show->add_flag("--registry", *registry, "Move the installer's registry values into the queue first");
    vanto_cli::AddJsonFlag(show, *asJson);
    show->footer("Examples:\n  vanto erd show Office --registry\n  vanto erd show Office --json");
    show->callback([queue, registry, asJson] {
        if (int rc = RunShow(*queue, *registry, *asJson); rc != 0) throw CLI::RuntimeError(rc);
    });
    erd->footer("Examples:\n  vanto erd install \"Vintal Universal Driver\"\n  vanto erd show Office --registry --json");
});

}  // namespace
