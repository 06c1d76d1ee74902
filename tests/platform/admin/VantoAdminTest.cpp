// The administration verbs of the vanto tool, run as a separate process on a test prefix:
// bad input fails with a message and leaves the prefix as it was.
#include "support/TempPrefix.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

extern char** environ;

namespace {
using vanto_test::TempPrefix;

struct ToolRun {
    int exitCode = -1;
    std::string err;
};

// Runs build/vanto with `args`, stderr captured into a file of the prefix.
ToolRun Vanto(const TempPrefix& prefix, std::vector<std::string> args) {
    const std::string errFile = prefix.Root() + "/stderr.txt";
    args.insert(args.begin(), std::string(VANTO_BUILD_DIR) + "/vanto");
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ToolRun run;
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        if (waitpid(pid, &status, 0) == pid && WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
    }
    posix_spawn_file_actions_destroy(&actions);
    std::ifstream in(errFile);
    run.err.assign(std::istreambuf_iterator<char>(in), {});
    return run;
}

DWORD ReadDword(const char16_t* key, const char16_t* name) {
    HKEY h = nullptr;
    DWORD value = 0, size = sizeof value;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &h) != ERROR_SUCCESS) return 0xDEAD;
    if (RegQueryValueExW(h, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS) value = 0xDEAD;
    RegCloseKey(h);
    return value;
}

TEST(VantoAdmin, RegistryValuesAreWrittenOnlyWhenTheWholeRequestIsValid) {
    TempPrefix prefix;
    EXPECT_EQ(Vanto(prefix, {"reg", "set", "HKLM\\SOFTWARE\\KELDA\\VANTO", "VANTO_LOG", "dword", "0x10"}).exitCode, 0);
    EXPECT_EQ(ReadDword(vplat::kLogSwitchKey, vplat::kLogSwitchValue), 16u);

    for (const std::vector<std::string>& bad : {
             std::vector<std::string>{"reg", "set", "HKLM\\SOFTWARE\\KELDA\\New", "V", "dword", "4294967296"},
             std::vector<std::string>{"reg", "set", "HKLM\\SOFTWARE\\KELDA\\New", "V", "binary", "abc"},
             std::vector<std::string>{"reg", "set", "HKLM\\SOFTWARE\\KELDA\\New", "V", "qword", "1"},
             std::vector<std::string>{"reg", "set", "HKXX\\SOFTWARE\\KELDA\\New", "V", "sz", "x"}}) {
        const ToolRun run = Vanto(prefix, bad);
        EXPECT_NE(run.exitCode, 0) << bad[5];
        EXPECT_NE(run.err.find("vanto reg set:"), std::string::npos) << run.err;
    }
    HKEY none = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\KELDA\\New", 0, KEY_READ, &none), ERROR_FILE_NOT_FOUND)
        << "a refused request creates no key";
}

TEST(VantoAdmin, QueueAndJobVerbsCheckTheirInput) {
    TempPrefix prefix(TempPrefix::kNoQueue);
    ToolRun run = Vanto(prefix, {"queue", "add", "Q", "--driver", "Unknown", "--port", "USB001"});
    EXPECT_NE(run.exitCode, 0);
    EXPECT_NE(run.err.find("no driver"), std::string::npos) << run.err;
    EXPECT_FALSE(vplat::QueueExists("Q"));

    ASSERT_EQ(Vanto(prefix, {"queue", "add", "Q", "--driver", vanto_test::kSampleDriverName, "--port", "USB001"}).exitCode, 0);
    EXPECT_EQ(Vanto(prefix, {"job", "submit", "Q"}).exitCode, 0);
    EXPECT_NE(Vanto(prefix, {"job", "submit", "Absent"}).exitCode, 0);
    EXPECT_NE(Vanto(prefix, {"job", "submit", "Q", "/nonexistent/file"}).exitCode, 0);
    std::string error;
    EXPECT_EQ(vplat::ListJobs("Q", error)->size(), 1u);

    EXPECT_EQ(Vanto(prefix, {"queue", "refuse", "Q", "--full-access"}).exitCode, 0);
    run = Vanto(prefix, {"queue", "pause", "Q"});
    EXPECT_NE(run.exitCode, 0) << "pausing needs full access";
    EXPECT_NE(run.err.find("refused"), std::string::npos) << run.err;
}

TEST(VantoAdmin, VerbsWithoutAPrefixSaySo) {
    TempPrefix prefix;
    const std::string root = prefix.Root();
    ::setenv(vplat::kPrefixVariable, (root + "/absent").c_str(), 1);
    const ToolRun run = Vanto(prefix, {"queue", "show", "Q"});
    ::setenv(vplat::kPrefixVariable, root.c_str(), 1);
    EXPECT_NE(run.exitCode, 0);
    EXPECT_NE(run.err.find("no prefix"), std::string::npos) << run.err;
}

}  // namespace
