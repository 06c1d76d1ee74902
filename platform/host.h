// What the command-line tools need of the operating system besides the Windows calls the library
// makes: the folder of the running program, loading the library as a caller would, Ctrl-C, and
// whether a stream is a terminal. Linux forms in platform/Host.cpp, Windows forms in
// platform/windows/HostWindows.cpp.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>

namespace vplat::host {

// The folder of the running executable with a trailing separator; empty when unknown.
std::string ExecutableFolder();
// File name of the library beside the tools ("libvanto.so", "vanto.dll").
const char* LibraryFileName();

// A loaded shared library, kept loaded for the life of the process once opened (what the library
// still holds in its own globals at exit stays reachable). Null with a one-line reason on failure.
void* OpenLibrary(const std::string& path, std::string& error);
void* LibrarySymbol(void* library, const char* name);

// Ctrl-C reaches only WaitForInterrupt once CatchInterrupt ran: call it before any thread starts,
// so that threads made later (the library's, a module's) do not take it.
void CatchInterrupt();
// Waits up to `timeout` for a Ctrl-C; true when one came.
bool WaitForInterrupt(std::chrono::milliseconds timeout);

bool IsTerminal(std::FILE* stream);

}  // namespace vplat::host
