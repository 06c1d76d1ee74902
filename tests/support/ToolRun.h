// Runs a command of the build (vanto, vprinter, ...) through the shell and keeps what it printed,
// how it ended and how long it took.
#pragma once

#include <sys/wait.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <string>

namespace vanto_test {

struct ToolRun {
    std::string out;
    int status = -1;  // exit code, or -1 for a crash or a signal
    std::chrono::steady_clock::duration took{};
};

// `command` is run by /bin/sh; standard error goes where the command sends it.
inline ToolRun RunCommand(const std::string& command) {
    ToolRun run;
    const auto start = std::chrono::steady_clock::now();
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return run;
    std::array<char, 4096> buffer{};
    size_t n = 0;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) run.out.append(buffer.data(), n);
    const int status = ::pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.took = std::chrono::steady_clock::now() - start;
    return run;
}

// build/vanto with the arguments, in the current prefix; standard error is dropped.
inline ToolRun Vanto(const std::string& args) {
    return RunCommand(std::string(VANTO_BUILD_DIR) + "/vanto " + args + " 2>/dev/null");
}

}  // namespace vanto_test
