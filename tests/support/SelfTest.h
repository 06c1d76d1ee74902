// Runs one test of this test executable as a second process on the same prefix. Such a test
// skips itself unless its environment variable is set, which it is only in the child's
// environment.
#pragma once

#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>

extern char** environ;

namespace vanto_test {

// Starts test `test` ("Suite.Name") of this executable with `variable` set to `value`; the
// process id, or -1.
inline pid_t SpawnSelfTest(const std::string& test, const char* variable, const char* value = "1") {
    std::string filter = "--gtest_filter=" + test;
    char self[] = "/proc/self/exe";
    char* argv[] = {self, filter.data(), nullptr};
    ::setenv(variable, value, 1);
    pid_t pid = -1;
    if (::posix_spawn(&pid, self, nullptr, nullptr, argv, environ) != 0) pid = -1;
    ::unsetenv(variable);
    return pid;
}

// True when a wait status says the process ended with exit code 0.
inline bool ExitedCleanly(int status) { return WIFEXITED(status) && WEXITSTATUS(status) == 0; }

// Runs the test to its end; true when it passed.
inline bool RunSelfTest(const std::string& test, const char* variable, const char* value = "1") {
    const pid_t pid = SpawnSelfTest(test, variable, value);
    int status = 0;
    return pid > 0 && ::waitpid(pid, &status, 0) == pid && ExitedCleanly(status);
}

}  // namespace vanto_test
