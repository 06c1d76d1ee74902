// A test AUDF module that passes every call on to the real one ($VANTO_TEST_REAL_AUDF) and can
// break off the stream of value writes (ordinal 15): with $VANTO_TEST_AUDF_KILL_AT = n the process
// is killed just before write n (counting from 1), with $VANTO_TEST_AUDF_FAIL_AT = n write n is
// refused. So a test can stop an update between two of its writes, at a chosen place. Only the
// ordinals the library calls are passed on (it resolves the others but never calls them).
#include "platform/win32.h"

#include <dlfcn.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>

#define AUDF_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

void* Real(const char* symbol) {
    static void* module = ::dlopen(std::getenv("VANTO_TEST_REAL_AUDF"), RTLD_NOW | RTLD_LOCAL);
    return module ? ::dlsym(module, symbol) : nullptr;
}

// Calls the real module's function of the same name and type; F is the forwarder's own type.
template <typename F, typename... A>
LSTATUS Forward(const char* symbol, A... args) {
    auto f = reinterpret_cast<F*>(Real(symbol));
    return f ? f(args...) : ERROR_INVALID_PARAMETER;
}

long Threshold(const char* name) {
    const char* text = std::getenv(name);
    return text ? std::strtol(text, nullptr, 10) : 0;
}

}  // namespace

AUDF_EXPORT LSTATUS ordinal_2(HKEY k, LPCWSTR s, DWORD r, LPWSTR c, DWORD o, REGSAM m, const SECURITY_ATTRIBUTES* a,
                              PHKEY out, LPDWORD d) {
    return Forward<decltype(ordinal_2)>("ordinal_2", k, s, r, c, o, m, a, out, d);
}
AUDF_EXPORT LSTATUS ordinal_4(HKEY k, LPCWSTR s, DWORD o, REGSAM m, PHKEY out) {
    return Forward<decltype(ordinal_4)>("ordinal_4", k, s, o, m, out);
}
AUDF_EXPORT LSTATUS ordinal_7(HKEY k) { return Forward<decltype(ordinal_7)>("ordinal_7", k); }
AUDF_EXPORT LSTATUS ordinal_11(HKEY k, LPCWSTR v, LPDWORD r, LPDWORD t, LPBYTE d, LPDWORD cb) {
    return Forward<decltype(ordinal_11)>("ordinal_11", k, v, r, t, d, cb);
}
AUDF_EXPORT LSTATUS ordinal_15(HKEY k, LPCWSTR v, DWORD r, DWORD t, const BYTE* d, DWORD cb) {
    static long writes = 0;
    ++writes;
    if (writes == Threshold("VANTO_TEST_AUDF_KILL_AT")) ::kill(::getpid(), SIGKILL);
    if (writes == Threshold("VANTO_TEST_AUDF_FAIL_AT")) return ERROR_ACCESS_DENIED;
    return Forward<decltype(ordinal_15)>("ordinal_15", k, v, r, t, d, cb);
}
