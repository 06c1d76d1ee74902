// Every sample printer under every fault the virtual printer can inject, once and for good:
// `vanto printer --json` must end by itself within its time-outs, never crash, and never give an
// answer that differs from what the same printer answers without the fault. A question may fail
// (its answer is then null), and a tray may lose what only a failed reply would have told
// (unknown sizes, capacities and levels), but nothing made up is reported as the printer's.
// Printers live on 127.0.93.x and USB201-USB220.
#include "test_bp_live_printers.h"
#include "support/ToolRun.h"

#include <future>

using namespace bp_test;
using vanto_test::ToolRun;
using vanto_test::Vanto;

namespace {

constexpr DWORD kTimeoutMs = 300;
// Generous: every question of the verb waiting out a handful of time-outs, plus process start.
constexpr auto kRunBound = std::chrono::seconds(60);

// A tray number the library reports when it does not know the value.
bool IsUnknownNumber(const nlohmann::json& value) {
    return value.is_number_unsigned() && (value.get<uint64_t>() == 0xFFFF || value.get<uint64_t>() == 0xFFFE);
}

// The faulted answer agrees with the good one: null (failed or not asked) anywhere, unknown tray
// numbers, and otherwise equal.
bool Consistent(const nlohmann::json& faulted, const nlohmann::json& good, std::string path, std::string* pWhere) {
    if (faulted.is_null() || IsUnknownNumber(faulted)) return true;
    if (faulted.is_object() && good.is_object()) {
        for (const auto& [key, value] : faulted.items())
            if (!Consistent(value, good.contains(key) ? good.at(key) : nlohmann::json(), path + "." + key, pWhere))
                return false;
        return true;
    }
    if (faulted.is_array() && good.is_array() && faulted.size() == good.size()) {
        for (size_t i = 0; i < faulted.size(); ++i)
            if (!Consistent(faulted[i], good[i], path + "[" + std::to_string(i) + "]", pWhere)) return false;
        return true;
    }
    if (faulted == good) return true;
    *pWhere = path + ": " + faulted.dump() + " where the printer answers " + good.dump();
    return false;
}

}  // namespace

TEST(FaultMatrix, EveryPrinterUnderEveryFaultFailsClearlyOrAnswersTruly) {
    // Every sample printer with a queue on its own address or USB port.
    struct Printer {
        std::string profile, where;
    };
    std::vector<Printer> matrix;
    LivePrefix live;
    TempFolder files;
    int address = 1, usb = 201;
    for (const auto& entry : fs::directory_iterator(std::string(VANTO_SOURCE_DIR) + "/samples/printers")) {
        if (!entry.is_directory()) continue;
        const std::string name = entry.path().filename().string();
        const bool onUsb =
            nlohmann::json::parse(ReadFile(entry.path().string() + "/profile.json")).contains("usb_port");
        matrix.push_back({name, onUsb ? "USB" + std::to_string(usb++) : "127.0.93." + std::to_string(address++)});
        live.AddQueue("M-" + name, onUsb ? matrix.back().where : "IP_" + matrix.back().where);
    }
    ASSERT_GE(matrix.size(), 6u);

    // Serves every sample printer with the fault rule (none when empty) and runs the verb on each
    // of them at the same time.
    int round = 0;
    auto runAll = [&](const std::string& rule) {
        std::vector<std::pair<std::string, std::string>> served;
        for (const Printer& p : matrix) {
            const std::string name = std::to_string(round) + "/" + p.profile;
            served.push_back({p.where, CopyProfile(files, p.profile, name, [&](nlohmann::json& profile) {
                                  if (profile.contains("usb_port")) profile["usb_port"] = p.where;
                                  if (!rule.empty()) profile["faults"] = {rule};
                              })});
        }
        ++round;
        Printers printers(PrinterArguments(served));
        EXPECT_TRUE(printers.Ready()) << printers.Stderr();
        std::vector<std::future<ToolRun>> pending;
        for (const Printer& p : matrix)
            pending.push_back(std::async(std::launch::async, [&p] {
                return Vanto("printer M-" + p.profile + " --json --timeout " + std::to_string(kTimeoutMs) +
                             " --flags " + (p.profile == "inkjet-opk" ? "0x80" : "0"));
            }));
        std::vector<ToolRun> runs;
        for (auto& run : pending) runs.push_back(run.get());
        return runs;
    };

    const std::vector<ToolRun> good = runAll("");
    std::vector<nlohmann::json> goodAnswers;
    for (size_t i = 0; i < good.size(); ++i) {
        SCOPED_TRACE(matrix[i].profile);
        ASSERT_EQ(good[i].status, 0) << good[i].out;
        goodAnswers.push_back(nlohmann::json::parse(good[i].out));
        ASSERT_TRUE(goodAnswers.back().at("opened").get<bool>()) << good[i].out;
    }

    // Each rule spares the first replies (device ID, channel list), so the fault meets the
    // questions themselves. A late reply and a vanished printer reach the library as a lost reply.
    for (const char* kind : {"lost", "truncated", "garbled", "wrong"}) {
        for (const char* extent : {",count=1", ""}) {
            const std::string rule = std::string("any:") + kind + ",after=3" + extent;
            const std::vector<ToolRun> runs = runAll(rule);
            for (size_t i = 0; i < runs.size(); ++i) {
                SCOPED_TRACE(rule + " on " + matrix[i].profile);
                const ToolRun& run = runs[i];
                ASSERT_TRUE(run.status == 0 || run.status == 1) << "exit " << run.status << "\n" << run.out;
                EXPECT_LT(run.took, kRunBound);
                auto answer = nlohmann::json::parse(run.out, nullptr, false);
                ASSERT_FALSE(answer.is_discarded()) << run.out;
                // Garbled bytes inside a value are no structure that any reader could check: only
                // structure-level damage is bound to show as a failure.
                if (!answer.at("opened").get<bool>() || std::string(kind) == "garbled") continue;
                answer.erase("failures");  // which questions failed, and why
                std::string where;
                EXPECT_TRUE(Consistent(answer, goodAnswers[i], "", &where)) << where;
            }
        }
    }
}
