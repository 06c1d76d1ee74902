// Live printers for the CBIDI_BP tests: a temporary prefix with the sample driver, the
// channel-list relay as its transport module and the driver's resource tables as the build
// compiles them; virtual printers (build/vprinter) on loopback addresses and USB sockets;
// temporary printer profiles; the library's log of this process.
#pragma once

#include "bidi/CBIDI_BP.h"
#include "common/BIInfo.h"
#include "common/BILogging.h"
#include "support/TempFolder.h"
#include "support/TempPrefix.h"
#include "support/VprinterProcess.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace bp_test {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

using vanto_test::ReadFile;
using vanto_test::SampleProfile;

inline std::u16string Wide(const std::string& text) { return std::u16string(text.begin(), text.end()); }

// A Linux path as the library names it: on drive Z:, with backslashes.
inline std::u16string WinPath(const std::string& path) {
    std::u16string text = u"Z:" + Wide(path);
    std::replace(text.begin(), text.end(), u'/', u'\\');
    return text;
}

// build/vprinter, serving the printers of PrinterArguments.
using Printers = vanto_test::VprinterProcess;

// vprinter's "-p WHERE=PROFILE" arguments of the pairs.
inline std::vector<std::string> PrinterArguments(const std::vector<std::pair<std::string, std::string>>& printers) {
    std::vector<std::string> args;
    for (const auto& [where, profile] : printers) args.insert(args.end(), {"-p", where + "=" + profile});
    return args;
}

// A prefix with the sample driver whose transport module is the channel-list relay, passing
// on to the real module of the build.
class LivePrefix {
public:
    LivePrefix() {
        const std::string relay = m_files.Path() + "/ZKAPI7x64.Dll";
        std::error_code ec;
        fs::copy_file(VANTO_TEST_RELAY_MODULE, relay, ec);
        EXPECT_FALSE(ec) << "cannot copy the relay module";
        ::setenv("VANTO_TEST_REAL_ZKAPI", (std::string(VANTO_BUILD_DIR) + "/ZKAPI7x64.Dll").c_str(), 1);
        ::unsetenv("VANTO_TEST_CHANNELS");
        const std::string build = VANTO_BUILD_DIR;
        m_prefix = std::make_unique<vanto_test::TempPrefix>(
            vanto_test::TempPrefix::kNoQueue, vanto_test::TempPrefix::kDefaultPort,
            std::vector<std::string>{relay, build + "/VUD3CFGX.BRT", build + "/VUD3LP.BRT", build + "/VUD3LPN.BRT"});
        fs::create_directories(vplat::UsbFolder(), ec);
    }
    ~LivePrefix() {
        ::unsetenv("VANTO_TEST_CHANNELS");
        BILogging::End();
    }

    // Adds a queue of the sample driver on a port ("IP_127.0.88.1", "USB001").
    void AddQueue(const std::string& queue, const std::string& port) {
        std::string error;
        EXPECT_TRUE(vplat::AddQueue(queue, vanto_test::kSampleDriverName, port, error)) << error;
    }

    // Switches the log on and starts it afresh.
    void EnableLog() {
        m_prefix->EnableLog();
        BILogging::End();
        m_logMark = Log().size();
    }
    // What the log gained since EnableLog or the last MarkLog.
    std::string NewLog() const { return Log().substr(std::min(m_logMark, Log().size())); }
    void MarkLog() { m_logMark = Log().size(); }
    // Lines of the new log that contain the text.
    size_t CountInNewLog(const std::string& text) const {
        const std::string log = NewLog();
        size_t count = 0;
        for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + text.size())) ++count;
        return count;
    }
    // Requests sent to printers since EnableLog or the last MarkLog.
    size_t Sends() const { return CountInNewLog("Call 'Send' function of ZKAPI Module."); }

    const vanto_test::TempPrefix& Prefix() const { return *m_prefix; }

private:
    std::string Log() const {
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(m_prefix->DriveC() + "/VANTOLOG", ec))
            if (entry.path().filename().string().find("(pid" + std::to_string(::getpid()) + ")") != std::string::npos)
                return ReadFile(entry.path().string());
        return {};
    }

    TempFolder m_files;
    std::unique_ptr<vanto_test::TempPrefix> m_prefix;
    size_t m_logMark = 0;
};

// A queue of the sample driver on its printer: an address ("IP_" is added) or a USB port.
struct LiveQueue {
    std::string name, where, profile;
};

// Adds the queues and serves their printers with one vprinter; the caller checks Ready().
inline std::unique_ptr<Printers> Serve(LivePrefix& live, const std::vector<LiveQueue>& queues) {
    std::vector<std::pair<std::string, std::string>> printers;
    for (const LiveQueue& q : queues) {
        live.AddQueue(q.name, q.where.rfind("USB", 0) == 0 ? q.where : "IP_" + q.where);
        printers.push_back({q.where, q.profile});
    }
    auto served = std::make_unique<Printers>(PrinterArguments(printers));
    EXPECT_TRUE(served->Ready()) << served->Stderr();
    return served;
}

// A test whose SetUp serves its printers (and stops unless they are ready), with temporary
// profiles and the live prefix.
class LiveTest : public ::testing::Test {
protected:
    TempFolder m_files;
    LivePrefix m_live;
    std::unique_ptr<Printers> m_printers;
};

// A printer context for a queue, built as the library builds it.
inline std::unique_ptr<BIInfo> Context(const std::string& queue) {
    auto context = std::make_unique<BIInfo>();
    EXPECT_TRUE(context->Build(Wide(queue).c_str(), 0));
    return context;
}

// One queue opened by a fresh object (its own transport module) with the option flags and,
// when given, a receive time-out.
struct Opened {
    std::unique_ptr<BIInfo> context;
    std::unique_ptr<CBIDI_BP> bidi = std::make_unique<CBIDI_BP>();
    int result = 0;
    explicit Opened(const std::string& queue, DWORD flags = 0, DWORD timeoutMs = 0) : context(Context(queue)) {
        if (!bidi->Initialize(context.get(), flags)) return;
        if (timeoutMs != 0) bidi->SetReceiveTimeout(timeoutMs);
        result = bidi->Open(Wide(queue).c_str());
    }
    CBIDI_BP* operator->() const { return bidi.get(); }
};

// A queue that must open.
inline Opened OpenQueue(const std::string& queue, DWORD flags = 0) {
    Opened opened(queue, flags);
    EXPECT_EQ(opened.result, 1) << queue;
    return opened;
}

// A profile folder written from its parts.
inline std::string WriteProfile(const TempFolder& folder, const std::string& name, const std::string& profileJson,
                                const std::string& snmprec) {
    folder.Write(name + "/profile.json", profileJson);
    folder.Write(name + "/mib.snmprec", snmprec);
    return folder.Path() + "/" + name;
}

// A copy of a sample profile under another name, with changes to its profile.json.
inline std::string CopyProfile(const TempFolder& folder, const std::string& sample, const std::string& name,
                               const std::function<void(nlohmann::json&)>& change) {
    const std::string from = SampleProfile(sample);
    for (const auto& entry : fs::directory_iterator(from))
        folder.Write(name + "/" + entry.path().filename().string(), ReadFile(entry.path().string()));
    nlohmann::json profile = nlohmann::json::parse(ReadFile(from + "/profile.json"));
    change(profile);
    folder.Write(name + "/profile.json", profile.dump());
    return folder.Path() + "/" + name;
}

// The values of the rows directly under a column (full identifier text) in snmprec text, in row
// order (as written: none of the columns read holds hex values).
inline std::vector<std::string> SnmprecColumn(const std::string& snmprec, const std::string& column) {
    std::vector<std::pair<unsigned long, std::string>> rows;
    std::istringstream in(snmprec);
    for (std::string line; std::getline(in, line);) {
        const size_t bar1 = line.find('|'), bar2 = line.find('|', bar1 + 1);
        if (bar2 == std::string::npos || line.rfind(column + ".", 0) != 0) continue;
        const std::string row = line.substr(column.size() + 1, bar1 - column.size() - 1);
        if (row.empty() || row.find_first_not_of("0123456789") != std::string::npos) continue;
        rows.emplace_back(std::stoul(row), line.substr(bar2 + 1));
    }
    std::sort(rows.begin(), rows.end());
    std::vector<std::string> values;
    for (auto& row : rows) values.push_back(std::move(row.second));
    return values;
}

}  // namespace bp_test
