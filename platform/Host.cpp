// The tools' host functions on Linux.
#include "platform/host.h"

#include <dlfcn.h>
#include <signal.h>
#include <unistd.h>

#include <climits>
#include <ctime>

namespace vplat::host {

namespace {
sigset_t InterruptSet() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    return set;
}
}  // namespace

std::string ExecutableFolder() {
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof(path) - 1);
    if (length <= 0) return std::string();
    const std::string file(path, static_cast<size_t>(length));
    const size_t slash = file.rfind('/');
    return slash == std::string::npos ? std::string() : file.substr(0, slash + 1);
}

const char* LibraryFileName() { return "libvanto.so"; }

void* OpenLibrary(const std::string& path, std::string& error) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (handle == nullptr) {
        const char* reason = dlerror();
        error = reason != nullptr ? reason : "unknown reason";
    }
    return handle;
}

void* LibrarySymbol(void* library, const char* name) { return dlsym(library, name); }

void CatchInterrupt() {
    const sigset_t interrupt = InterruptSet();
    pthread_sigmask(SIG_BLOCK, &interrupt, nullptr);
}

bool WaitForInterrupt(std::chrono::milliseconds timeout) {
    const sigset_t interrupt = InterruptSet();
    const timespec tick{static_cast<time_t>(timeout.count() / 1000), static_cast<long>(timeout.count() % 1000) * 1000000};
    return sigtimedwait(&interrupt, nullptr, &tick) == SIGINT;
}

bool IsTerminal(std::FILE* stream) { return isatty(fileno(stream)) == 1; }

}  // namespace vplat::host
