// The tools' host functions on Windows.
#include "platform/host.h"

#include <windows.h>
#include <io.h>

#include <filesystem>
#include <iterator>

namespace vplat::host {

namespace {
// Set by the console's Ctrl-C handler, which the system runs on a thread of its own.
HANDLE InterruptEvent() {
    static const HANDLE event = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    return event;
}

BOOL WINAPI OnConsoleControl(DWORD type) {
    if (type != CTRL_C_EVENT) return FALSE;
    SetEvent(InterruptEvent());
    return TRUE;
}
}  // namespace

std::string ExecutableFolder() {
    wchar_t path[32768];
    const DWORD length = ::GetModuleFileNameW(nullptr, path, std::size(path));
    if (length == 0 || length >= std::size(path)) return std::string();
    return std::filesystem::path(std::wstring(path, length)).parent_path().string() + "\\";
}

const char* LibraryFileName() { return "vanto.dll"; }

void* OpenLibrary(const std::string& path, std::string& error) {
    HMODULE module = ::LoadLibraryW(std::filesystem::path(path).wstring().c_str());
    if (module == nullptr) error = "error " + std::to_string(GetLastError());
    return reinterpret_cast<void*>(module);
}

void* LibrarySymbol(void* library, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void CatchInterrupt() {
    InterruptEvent();
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

bool WaitForInterrupt(std::chrono::milliseconds timeout) {
    return WaitForSingleObject(InterruptEvent(), static_cast<DWORD>(timeout.count())) == WAIT_OBJECT_0;
}

bool IsTerminal(std::FILE* stream) { return _isatty(_fileno(stream)) != 0; }

}  // namespace vplat::host
