// Runs one test of this test executable as a second process, as tests/support/SelfTest.h does,
// for the Windows test programs: CreateProcessW of this executable, and the waitpid() the tests
// call to collect it over the process's handle (kept from the start, so that the id cannot be
// reused before it is waited for).
#pragma once

#include "platform/win32.h"

#include <sys/types.h>

#include <map>
#include <string>

#ifndef WNOHANG
#define WNOHANG 1
#endif

namespace vanto_test {

inline std::map<pid_t, HANDLE>& SelfTestChildren() {
    static std::map<pid_t, HANDLE> children;
    return children;
}

// Starts test `test` ("Suite.Name") of this executable with `variable` set to `value`; the
// process id, or -1.
inline pid_t SpawnSelfTest(const std::string& test, const char* variable, const char* value = "1") {
    char16_t path[MAX_PATH] = {};
    if (GetModuleFileNameW(nullptr, path, MAX_PATH) == 0) return -1;
    const wchar_t* self = reinterpret_cast<const wchar_t*>(path);
    std::wstring command = L"\"" + std::wstring(self) + L"\" --gtest_filter=" + std::wstring(test.begin(), test.end());
    SetEnvironmentVariableA(variable, value);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    const BOOL started =
        CreateProcessW(self, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process);
    SetEnvironmentVariableA(variable, nullptr);
    if (!started) return -1;
    CloseHandle(process.hThread);
    const pid_t pid = static_cast<pid_t>(process.dwProcessId);
    SelfTestChildren()[pid] = process.hProcess;
    return pid;
}

// True when a status from waitpid() says the process ended with exit code 0.
inline bool ExitedCleanly(int status) { return status == 0; }

inline bool RunSelfTest(const std::string& test, const char* variable, const char* value = "1");

}  // namespace vanto_test

// The process's exit code in *status once it has ended; 0 with WNOHANG while it runs, -1 for a
// process this program did not start.
inline pid_t waitpid(pid_t pid, int* status, int options) {
    auto& children = vanto_test::SelfTestChildren();
    const auto child = children.find(pid);
    if (child == children.end()) return -1;
    if (WaitForSingleObject(child->second, (options & WNOHANG) ? 0 : INFINITE) != WAIT_OBJECT_0) return 0;
    DWORD code = 1;
    GetExitCodeProcess(child->second, &code);
    CloseHandle(child->second);
    children.erase(child);
    if (status) *status = static_cast<int>(code);
    return pid;
}

namespace vanto_test {
inline bool RunSelfTest(const std::string& test, const char* variable, const char* value) {
    const pid_t pid = SpawnSelfTest(test, variable, value);
    int status = 0;
    return pid > 0 && ::waitpid(pid, &status, 0) == pid && ExitedCleanly(status);
}
}  // namespace vanto_test
