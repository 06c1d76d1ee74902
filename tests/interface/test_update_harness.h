// The harness of the end-to-end tests through the exports against virtual printers of the sample
// profiles: a live prefix with the sample driver and its built modules, the fleet of sample
// printers, the queue's store read back value by value, the sample driver's table sources, and
// what a printer reports, asked once more in this process as the update asks it.
#pragma once

#include "bidi/test_bp_live_printers.h"
#include "interface/test_values_prefix.h"
#include "support/ToolRun.h"
#include "support/VprinterProcess.h"
#include "vanto.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <map>
#include <set>

namespace update_test {

using namespace bp_test;

inline constexpr uint64_t kAllElements = 0xFFFFFFFF;
inline constexpr DWORD kStoreFlagSeeded = 1, kStoreFlagUpdated = 2, kStoreFlagDirections = 4;
inline const std::string kDriverKey = "SOFTWARE\\KELDA\\PRINTER\\Vintal Universal Driver\\";

inline constexpr uint64_t kNoCassettes = kAllElements & ~0x10ull;
inline constexpr uint64_t kNoDirections = kAllElements & ~0x800ull;

struct Sample {
    const char* queue;
    std::string where;  // vprinter address or USB port
    const char* profile;
    uint64_t elements = kAllElements;  // what the printer can answer as a whole
};
// The sample printers: "net" is the first three parts of their addresses ("127.0.116."), "usb"
// the port of the USB printer. colour-page-s04 names no "MP Tray" or "Auto" input, so its trays
// cannot be asked; the System OEM printer reports no paper directions.
inline std::vector<Sample> Fleet(const std::string& net, const std::string& usb) {
    auto at = [&](int host) { return net + std::to_string(host); };
    return {{"Colour", at(1), "colour-page"},      {"MonoJ", at(2), "mono-page-jp"},
            {"S04", at(3), "colour-page-s04", kNoCassettes}, {"OemH", at(4), "system-oem-h", kNoDirections},
            {"InkNet", at(5), "inkjet-network"},   {"MonoOpk", at(6), "mono-page-opk"},
            {"InkUsb", usb, "inkjet-usb-f17"}};
}

// build/vanto in this prefix, its output dropped; its exit code, or -1 when a signal ended it.
inline int RunVanto(const std::string& args, const std::string& env = "") {
    return vanto_test::RunCommand(env + " " + VANTO_BUILD_DIR + "/vanto " + args + " >/dev/null 2>&1").status;
}

// Every value under the queue's store key, by name.
inline std::map<std::string, std::vector<BYTE>> StoreOf(const std::string& queue) {
    std::map<std::string, std::vector<BYTE>> values;
    auto context = Context(queue);
    const std::u16string key = Wide(kDriverKey) + context->GetQueueGUID();
    HKEY h = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return values;
    for (DWORD i = 0;; ++i) {
        WCHAR name[256];
        DWORD cch = 256, type = 0, cb = 0;
        if (RegEnumValueW(h, i, name, &cch, nullptr, &type, nullptr, &cb) != ERROR_SUCCESS) break;
        std::vector<BYTE> data(cb);
        if (RegQueryValueExW(h, name, nullptr, &type, data.data(), &cb) == ERROR_SUCCESS)
            values[BILogging::Narrow(name)] = data;
    }
    RegCloseKey(h);
    return values;
}

inline DWORD Number(const std::map<std::string, std::vector<BYTE>>& store, const std::string& name) {
    auto it = store.find(name);
    if (it == store.end() || it->second.size() != 4) return 0xDEADBEEF;
    DWORD v;
    std::memcpy(&v, it->second.data(), 4);
    return v;
}

template <typename T>
std::vector<T> Records(const std::map<std::string, std::vector<BYTE>>& store, const std::string& name) {
    auto it = store.find(name);
    if (it == store.end()) return {};
    std::vector<T> out(it->second.size() / sizeof(T));
    std::memcpy(out.data(), it->second.data(), out.size() * sizeof(T));
    return out;
}

// The rows of one table of a sample driver table source, after the row filter of a source: the
// live printers' rows (0xE, the default), or the install-time record's (0x1).
inline std::vector<nlohmann::json> TableRows(const std::string& file, int id, unsigned source = 0xE) {
    const auto doc = nlohmann::json::parse(ReadFile(std::string(VANTO_SOURCE_DIR) + "/samples/driver/tables/" + file));
    std::vector<nlohmann::json> rows;
    for (const auto& table : doc["tables"]) {
        if (table["id"] != id) continue;
        for (const auto& row : table["rows"]) {
            const auto flags = row.contains("flags") ? std::stoul(row["flags"].get<std::string>(), nullptr, 16) : 0;
            if ((flags & 0xF) == 0 || (flags & source)) rows.push_back(row);
        }
    }
    return rows;
}

// What the printer reports, asked in this process as the update asks it.
struct Answers {
    DWORD category = 0, modelBits = 0, pdl = 0, options = 0;
    std::u16string model;
    BICassetteList trays;
    BIStringList sizes, directions;
    VANTO_USERDEF_MAXMIN limits{};
};

inline Answers Ask(const std::string& queue) {
    Answers a;
    auto context = Context(queue);
    CBIDI_BP bidi;
    EXPECT_TRUE(bidi.Initialize(context.get(), 0));
    const std::u16string name = Wide(queue);
    EXPECT_TRUE(bidi.Open(name.c_str()));
    a.category = bidi.GetPrinterCategory();
    if (const WCHAR* m = bidi.GetModelName()) a.model = m;
    bidi.GetModelInfoBits(&a.modelBits);
    a.pdl = bidi.GetSupportPDLBits();
    bidi.GetOptionUnitBits(&a.options);
    bidi.GetCassetteInfo(&a.trays);
    if (auto* s = bidi.GetSupportPaperSize(0)) a.sizes = *s;
    if (auto* d = bidi.GetPaperDirection()) a.directions = *d;
    bidi.GetUserDefMaxMin(&a.limits);
    bidi.Close();
    return a;
}

class UpdateExports : public ::testing::Test {
protected:
    // The store module, the ink-jet tables and the CFGX module beside the sample driver's files.
    UpdateExports() {
        const std::string folder = m_prefix.Prefix().DriveC() + "/Windows/System32/spool/drivers/x64/3/";
        for (const char* file : {"VUD3AUDF.DLL", "VUD3IJ.BRT", "VUD3CFGX.DLL"})
            fs::copy_file(std::string(VANTO_BUILD_DIR) + "/" + file, folder + file, fs::copy_options::overwrite_existing);
    }

    // Adds the queue with its identifier, as `vanto queue add` makes it.
    void AddQueue(const std::string& queue, const std::string& where) {
        m_prefix.AddQueue(queue, where.rfind("USB", 0) == 0 ? where : "IP_" + where);
        values_test::GiveQueueGUID(Wide(queue), u"{6A1F0E52-0C1B-4D8A-9E31-0000000B" + Wide(std::to_string(1000 + m_next++)) + u"}");
    }

    // Adds a queue for each sample; vprinter's arguments for their printers.
    std::vector<std::string> AddFleet(const std::vector<Sample>& samples) {
        std::vector<std::string> args;
        for (const Sample& s : samples) {
            AddQueue(s.queue, s.where);
            args.insert(args.end(), {"-p", s.where + "=" + SampleProfile(s.profile)});
        }
        return args;
    }

    // Initialize with flag bit 1 (seeds the store), the update (or `call`), Release; its status.
    int Update(const std::string& queue, uint64_t elements = kAllElements, uint32_t option = 0, uint32_t flags = 0,
               PFN_VANTO_UpdatePrinterInfo call = UpdatePrinterInfo) {
        const std::u16string name = Wide(queue);
        HVANTO h = Initialize(name.c_str(), VANTO_FLAG_PRINTERINFO | flags);
        EXPECT_NE(h, nullptr);
        if (h == nullptr) return kNoInstance;
        const int status = call(h, elements, option);
        Release(h);
        return status;
    }
    static constexpr int kNoInstance = 12345;

    LivePrefix m_prefix;
    int m_next = 0;
};

}  // namespace update_test
