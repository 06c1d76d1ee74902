// TempPrefix: a fresh prefix for one test, removed again when the test ends.
//
//   TempPrefix prefix;                            // empty, initialised prefix
//   TempPrefix prefix("Q1");                      // sample driver and queue "Q1" on IP_127.0.1.1
//   TempPrefix prefix("Q1", "USB001", {file});    // another port; extra driver files installed
//   TempPrefix prefix(TempPrefix::kNoQueue);      // the sample driver only
//   prefix.EnableLog();                           // VANTO_LOG = 1 and C:\VANTOLOG
//
// It makes a temporary folder, points VANTO_PREFIX at it (restoring the previous value on
// destruction), runs the prefix initialisation, optionally installs the sample driver from
// samples/driver/ (plus extra built files) and adds a queue. Failures end the test with
// a fatal GoogleTest failure naming the reason.
#pragma once

#include "platform/prefix.h"
#include "support/PrefixSetup.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

namespace vanto_test {

class TempPrefix {
public:
    static constexpr const char* kNoQueue = "";
    static constexpr const char* kDefaultPort = "IP_127.0.1.1";

    // An initialised prefix without drivers or queues.
    TempPrefix() { Create(); }
    // Also installs the sample driver (with the built files `extraDriverFiles`) and, unless
    // `queue` is kNoQueue, adds that queue on `port`.
    explicit TempPrefix(const std::string& queue, const std::string& port = kDefaultPort,
                        const std::vector<std::string>& extraDriverFiles = {}) {
        if (!Create()) return;
        InstallSampleDriver(queue, port, extraDriverFiles);
    }


    ~TempPrefix() {
        std::error_code ec;
        if (!m_root.empty()) std::filesystem::remove_all(m_root, ec);
        if (m_previous)
            ::setenv(vplat::kPrefixVariable, m_previous->c_str(), 1);
        else
            ::unsetenv(vplat::kPrefixVariable);
    }
    TempPrefix(const TempPrefix&) = delete;
    TempPrefix& operator=(const TempPrefix&) = delete;

    const std::string& Root() const { return m_root; }
    std::string DriveC() const { return m_root + "/drive_c"; }

    // Switches the library's log on: HKLM "SOFTWARE\KELDA\VANTO" "VANTO_LOG" = 1 and the
    // folder C:\VANTOLOG. Returns the Linux path of that folder.
    std::string EnableLog() const { return EnableLogOn(DriveC()); }

private:
    bool Create() {
        if (const char* old = std::getenv(vplat::kPrefixVariable)) m_previous = old;
        std::string pattern = (std::filesystem::temp_directory_path() / "vanto-test-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) {
            ADD_FAILURE() << "cannot make a temporary prefix folder";
            return false;
        }
        m_root = pattern;
        ::setenv(vplat::kPrefixVariable, m_root.c_str(), 1);
        std::string error;
        if (!vplat::InitPrefix(error)) {
            ADD_FAILURE() << "prefix init: " << error;
            return false;
        }
        return true;
    }

    std::string m_root;
    std::optional<std::string> m_previous;
};

}  // namespace vanto_test
