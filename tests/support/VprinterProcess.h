// build/vprinter as a child process for end-to-end tests: its output goes to files of a
// temporary folder; it counts as ready once it prints "ready" (waited for up to 10 s); it is
// stopped with SIGTERM, and killed when it has not ended 10 s later. Also the sample printer
// profiles it serves, and reading a whole file.
#pragma once

#include "support/TempFolder.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace vanto_test {

// A file's bytes; empty when it cannot be read.
inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The folder of a sample printer profile (samples/printers/NAME), or a file below it.
inline std::string SampleProfile(const std::string& name) {
    return std::string(VANTO_SOURCE_DIR) + "/samples/printers/" + name;
}

class VprinterProcess {
public:
    // Starts build/vprinter with the arguments that follow the program name.
    explicit VprinterProcess(const std::vector<std::string>& args) {
        std::vector<std::string> argvText = {std::string(VANTO_BUILD_DIR) + "/vprinter"};
        argvText.insert(argvText.end(), args.begin(), args.end());
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, (m_dir.Path() + "/out").c_str(), O_WRONLY | O_CREAT, 0600);
        posix_spawn_file_actions_addopen(&actions, 2, (m_dir.Path() + "/err").c_str(), O_WRONLY | O_CREAT, 0600);
        std::vector<char*> argv;
        for (auto& a : argvText) argv.push_back(a.data());
        argv.push_back(nullptr);
        if (::posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        const auto deadline = Clock::now() + std::chrono::seconds(10);
        while (m_pid > 0 && !Exited() && Clock::now() < deadline && Stdout().find("ready") == std::string::npos)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        m_ready = Stdout().find("ready") != std::string::npos;
    }
    ~VprinterProcess() { Stop(); }
    VprinterProcess(const VprinterProcess&) = delete;
    VprinterProcess& operator=(const VprinterProcess&) = delete;

    bool Ready() const { return m_ready; }

    // Sends SIGTERM and waits; the exit status, or -1 when it had to be killed.
    int Stop() {
        if (m_pid > 0 && !Exited()) ::kill(m_pid, SIGTERM);
        return Wait(std::chrono::seconds(10));
    }

    // Waits for the process to end by itself (for runs that fail at start), killing it after
    // the limit; the exit status, or -1 when it had to be killed.
    int Wait(std::chrono::seconds limit) {
        const auto deadline = Clock::now() + limit;
        while (m_pid > 0 && !Exited() && Clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (m_pid > 0 && !Exited()) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
            m_status = -1;
        }
        m_pid = -1;
        return m_status;
    }

    std::string Stdout() const { return ReadFile(m_dir.Path() + "/out"); }
    std::string Stderr() const { return ReadFile(m_dir.Path() + "/err"); }

private:
    using Clock = std::chrono::steady_clock;

    bool Exited() {
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) != m_pid) return false;
        m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        m_pid = -1;
        return true;
    }

    TempFolder m_dir;
    pid_t m_pid = -1;
    bool m_ready = false;
    int m_status = -1;
};

}  // namespace vanto_test
