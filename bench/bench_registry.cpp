// Cost of the registry's read path on the prefix's database: open + query + close of a value
// that is missing and of one that is present, opening a key that does not exist, and a log call
// while the log switch value is missing (each such call reads the switch again).
//
// Every benchmark runs in a fresh temporary prefix made by the prefix initialisation and
// removed afterwards. Compare items_per_second (or the time per iteration).
#include <benchmark/benchmark.h>

#include "BenchPrefix.h"
#include "common/BILogging.h"
#include "platform/prefix.h"
#include "platform/win32.h"

#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

namespace {

constexpr const char16_t* kSwitchKey = vplat::kLogSwitchKey;
constexpr const char16_t* kPresentValue = u"Present";
constexpr const char16_t* kMissingKey = u"SOFTWARE\\KELDA\\Absent\\Deeper";

// A temporary, initialised prefix with the log switch key (without its value) and one DWORD
// value in that key; VANTO_PREFIX points at it while the object lives.
class BenchPrefix {
public:
    BenchPrefix() {
        if (!m_folder.Made()) return;
        std::string error;
        if (!vplat::InitPrefix(error)) {
            std::fprintf(stderr, "prefix init: %s\n", error.c_str());
            return;
        }
        HKEY key = nullptr;
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kSwitchKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
            ERROR_SUCCESS)
            return;
        const DWORD one = 1;
        m_ok = RegSetValueExW(key, kPresentValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof one) ==
               ERROR_SUCCESS;
        RegCloseKey(key);
    }
    bool Ok() const { return m_ok; }

private:
    bench::PrefixFolder m_folder;
    bool m_ok = false;
};

// One open + query + close of `value` in the switch key; the status of the query (or the open).
LSTATUS ReadOnce(const char16_t* keyPath, const char16_t* value) {
    HKEY key = nullptr;
    LSTATUS status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_READ, &key);
    if (status != ERROR_SUCCESS) return status;
    DWORD data = 0, size = sizeof data, type = 0;
    status = RegQueryValueExW(key, value, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size);
    RegCloseKey(key);
    return status;
}

void RunRead(benchmark::State& state, const char16_t* keyPath, const char16_t* value, LSTATUS expected) {
    BenchPrefix prefix;
    if (!prefix.Ok()) {
        state.SkipWithError("cannot make the prefix");
        return;
    }
    for (auto _ : state) {
        if (ReadOnce(keyPath, value) != expected) {
            state.SkipWithError("unexpected status");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_ReadMissingValue(benchmark::State& state) {
    RunRead(state, kSwitchKey, vplat::kLogSwitchValue, ERROR_FILE_NOT_FOUND);
}
void BM_ReadPresentValue(benchmark::State& state) { RunRead(state, kSwitchKey, kPresentValue, ERROR_SUCCESS); }
void BM_OpenMissingKey(benchmark::State& state) {
    RunRead(state, kMissingKey, vplat::kLogSwitchValue, ERROR_FILE_NOT_FOUND);
}

// A log call with the switch value missing: the log reads the switch again on every call.
void BM_LogCallSwitchMissing(benchmark::State& state) {
    BenchPrefix prefix;
    if (!prefix.Ok()) {
        state.SkipWithError("cannot make the prefix");
        return;
    }
    BILogging::End();
    int i = 0;
    for (auto _ : state) {
        BI_LOG("bench line %d\n", i);
        ++i;
    }
    if (!BILogging::Active()) state.SkipWithError("the log switch was read as present");
    state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_ReadMissingValue);
BENCHMARK(BM_ReadPresentValue);
BENCHMARK(BM_OpenMissingKey);
BENCHMARK(BM_LogCallSwitchMissing);

}  // namespace

BENCHMARK_MAIN();
