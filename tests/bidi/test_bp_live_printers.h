// Live printers for the CBIDI_BP tests: a temporary prefix with the sample driver, the
// channel-list relay as its transport module and the sample driver's resource tables as the build
// compiles them; virtual printers (build/vprinter) on loopback addresses (127.0.87.x and 127.0.88.x
// for these tests) and on USB sockets; temporary printer profiles; the library's log of this
// process.
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
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace bp_test {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

inline std::string SampleProfile(const std::string& name) {
    return std::string(VANTO_SOURCE_DIR) + "/samples/printers/" + name;
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline std::u16string Wide(const std::string& text) { return std::u16string(text.begin(), text.end()); }

// A Linux path as the library names it: on drive Z:, with backslashes.
inline std::u16string WinPath(const std::string& path) {
    std::u16string text = u"Z:" + Wide(path);
    std::replace(text.begin(), text.end(), u'/', u'\\');
    return text;
}

// build/vprinter serving "-p WHERE=PROFILE" pairs.
class Printers : public vanto_test::VprinterProcess {
public:
    explicit Printers(const std::vector<std::pair<std::string, std::string>>& printers,
                      const std::vector<std::string>& extra = {})
        : VprinterProcess(Arguments(printers, extra)) {}

private:
    static std::vector<std::string> Arguments(const std::vector<std::pair<std::string, std::string>>& printers,
                                              const std::vector<std::string>& extra) {
        std::vector<std::string> args;
        for (const auto& [where, profile] : printers) args.insert(args.end(), {"-p", where + "=" + profile});
        args.insert(args.end(), extra.begin(), extra.end());
        return args;
    }
};

// A prefix with the sample driver whose transport module is the channel-list relay, passing
// on to the real module of the build.
class LivePrefix {
public:
    // extraDriverFiles: more built files to install with the sample driver (a store module, ...).
    explicit LivePrefix(const std::vector<std::string>& extraDriverFiles = {}) {
        const std::string relay = m_files.Path() + "/ZKAPI7x64.Dll";
        std::error_code ec;
        fs::copy_file(VANTO_TEST_RELAY_MODULE, relay, ec);
        EXPECT_FALSE(ec) << "cannot copy the relay module";
        ::setenv("VANTO_TEST_REAL_ZKAPI", (std::string(VANTO_BUILD_DIR) + "/ZKAPI7x64.Dll").c_str(), 1);
        ::unsetenv("VANTO_TEST_CHANNELS");
        std::vector<std::string> files{relay, std::string(VANTO_BUILD_DIR) + "/VUD3CFGX.BRT",
                                       std::string(VANTO_BUILD_DIR) + "/VUD3LP.BRT",
                                       std::string(VANTO_BUILD_DIR) + "/VUD3LPN.BRT"};
        files.insert(files.end(), extraDriverFiles.begin(), extraDriverFiles.end());
        m_prefix = std::make_unique<vanto_test::TempPrefix>(vanto_test::TempPrefix::kNoQueue,
                                                            vanto_test::TempPrefix::kDefaultPort, files);
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

    const vanto_test::TempPrefix& Prefix() const { return *m_prefix; }

private:
    std::string Log() const {
        const std::string folder = m_prefix->DriveC() + "/VANTOLOG";
        std::error_code ec;
        if (!fs::is_directory(folder, ec)) return {};
        for (const auto& entry : fs::directory_iterator(folder, ec))
            if (entry.path().filename().string().find("(pid" + std::to_string(::getpid()) + ")") != std::string::npos)
                return ReadFile(entry.path().string());
        return {};
    }

    TempFolder m_files;
    std::unique_ptr<vanto_test::TempPrefix> m_prefix;
    size_t m_logMark = 0;
};

// A printer context for a queue, built as the library builds it.
inline std::unique_ptr<BIInfo> Context(const std::string& queue) {
    auto context = std::make_unique<BIInfo>();
    const std::u16string name = Wide(queue);
    EXPECT_TRUE(context->Build(name.c_str(), 0));
    return context;
}

// A profile folder written from its parts.
inline std::string WriteProfile(const TempFolder& folder, const std::string& name, const std::string& profileJson,
                                const std::string& snmprec) {
    folder.Write(name + "/profile.json", profileJson);
    folder.Write(name + "/mib.snmprec", snmprec);
    return folder.Path() + "/" + name;
}

}  // namespace bp_test
