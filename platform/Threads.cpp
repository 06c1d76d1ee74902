// Threads, events, waits, critical sections and time.
//
// Every waitable object (event or thread) changes state under one process-wide lock and
// condition variable, so that a wait on several objects checks them all in index order and
// consumes only the one it returns, as WaitForMultipleObjects does.
#include "platform/HandleTable.h"
#include "platform/prefix.h"

#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

using namespace vplat::detail;

namespace {
constexpr DWORD kResumeFailed = static_cast<DWORD>(-1);

struct WaitState {
    std::mutex lock;
    std::condition_variable changed;
};

WaitState& Waits() {
    static WaitState* state = new WaitState;  // detached threads may signal during process exit
    return *state;
}

// An object a wait can be satisfied by; both methods are called with the wait lock held.
struct Waitable : KernelObject {
    virtual bool Signalled() const = 0;
    virtual void Consume() {}
};

struct EventObject : Waitable {
    bool manualReset = false;
    bool state = false;
    bool Signalled() const override { return state; }
    void Consume() override {
        if (!manualReset) state = false;
    }
};

struct ThreadObject : Waitable {
    DWORD suspendCount = 0;
    bool finished = false;
    DWORD exitCode = STILL_ACTIVE;
    DWORD threadId = 0;  // 0 until the new thread has published it
    bool Signalled() const override { return finished; }
};

std::atomic<DWORD> g_tickOffset{0};
}  // namespace

namespace vplat {
void SetTickCountOffset(DWORD offset) { g_tickOffset = offset; }
}  // namespace vplat

DWORD GetCurrentProcessId() { return static_cast<DWORD>(::getpid()); }
DWORD GetCurrentThreadId() { return static_cast<DWORD>(::syscall(SYS_gettid)); }

HANDLE CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE lpStartAddress, LPVOID lpParameter,
                    DWORD dwCreationFlags, LPDWORD lpThreadId) {
    if (!lpStartAddress) return Fail(ERROR_INVALID_PARAMETER, static_cast<HANDLE>(nullptr));
    auto object = std::make_shared<ThreadObject>();
    object->suspendCount = (dwCreationFlags & CREATE_SUSPENDED) ? 1 : 0;
    auto& w = Waits();
    try {
        std::thread([object, lpStartAddress, lpParameter] {
            auto& waits = Waits();
            {
                std::unique_lock guard(waits.lock);
                object->threadId = GetCurrentThreadId();
                waits.changed.notify_all();
                waits.changed.wait(guard, [&] { return object->suspendCount == 0; });
            }
            const DWORD code = lpStartAddress(lpParameter);
            std::lock_guard guard(waits.lock);
            object->exitCode = code;
            object->finished = true;
            waits.changed.notify_all();
        }).detach();
    } catch (const std::exception&) {
        return Fail(ERROR_NOT_ENOUGH_MEMORY, static_cast<HANDLE>(nullptr));
    }
    {
        std::unique_lock guard(w.lock);
        w.changed.wait(guard, [&] { return object->threadId != 0; });
    }
    if (lpThreadId) *lpThreadId = object->threadId;
    return AddHandle(std::move(object));
}

DWORD ResumeThread(HANDLE hThread) {
    auto thread = LookupAs<ThreadObject>(hThread);
    if (!thread) return Fail(ERROR_INVALID_HANDLE, kResumeFailed);
    auto& w = Waits();
    std::lock_guard guard(w.lock);
    const DWORD previous = thread->suspendCount;
    if (previous > 0 && --thread->suspendCount == 0) w.changed.notify_all();
    return previous;
}

BOOL GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode) {
    auto thread = LookupAs<ThreadObject>(hThread);
    if (!thread) return Fail(ERROR_INVALID_HANDLE, FALSE);
    if (!lpExitCode) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    std::lock_guard guard(Waits().lock);
    *lpExitCode = thread->finished ? thread->exitCode : STILL_ACTIVE;
    return TRUE;
}

DWORD WaitForMultipleObjects(DWORD nCount, const HANDLE* lpHandles, BOOL bWaitAll, DWORD dwMilliseconds) {
    if (nCount == 0 || nCount > MAXIMUM_WAIT_OBJECTS || !lpHandles) return Fail(ERROR_INVALID_PARAMETER, WAIT_FAILED);
    std::vector<std::shared_ptr<Waitable>> objects;
    for (DWORD i = 0; i < nCount; ++i) {
        for (DWORD j = 0; j < i; ++j)
            if (lpHandles[j] == lpHandles[i]) return Fail(ERROR_INVALID_PARAMETER, WAIT_FAILED);
        auto object = LookupAs<Waitable>(lpHandles[i]);
        if (!object) return Fail(ERROR_INVALID_HANDLE, WAIT_FAILED);
        objects.push_back(std::move(object));
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(dwMilliseconds);
    auto& w = Waits();
    // The result if the wait is satisfied now (consuming what it takes), else WAIT_TIMEOUT.
    auto satisfy = [&]() -> DWORD {
        if (bWaitAll) {
            for (const auto& o : objects)
                if (!o->Signalled()) return WAIT_TIMEOUT;
            for (const auto& o : objects) o->Consume();
            return WAIT_OBJECT_0;
        }
        for (DWORD i = 0; i < nCount; ++i)
            if (objects[i]->Signalled()) {
                objects[i]->Consume();
                return WAIT_OBJECT_0 + i;
            }
        return WAIT_TIMEOUT;
    };
    std::unique_lock guard(w.lock);
    bool timedOut = false;
    while (true) {
        if (const DWORD result = satisfy(); result != WAIT_TIMEOUT || timedOut) return result;
        if (dwMilliseconds == INFINITE)
            w.changed.wait(guard);
        else
            timedOut = w.changed.wait_until(guard, deadline) == std::cv_status::timeout;
    }
}

DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    return WaitForMultipleObjects(1, &hHandle, FALSE, dwMilliseconds);
}

HANDLE CreateEventW(LPSECURITY_ATTRIBUTES, BOOL bManualReset, BOOL bInitialState, LPCWSTR) {
    auto event = std::make_shared<EventObject>();
    event->manualReset = bManualReset != FALSE;
    event->state = bInitialState != FALSE;
    return AddHandle(std::move(event));
}

BOOL SetEvent(HANDLE hEvent) {
    auto event = LookupAs<EventObject>(hEvent);
    if (!event) return Fail(ERROR_INVALID_HANDLE, FALSE);
    auto& w = Waits();
    std::lock_guard guard(w.lock);
    event->state = true;
    w.changed.notify_all();
    return TRUE;
}

BOOL ResetEvent(HANDLE hEvent) {
    auto event = LookupAs<EventObject>(hEvent);
    if (!event) return Fail(ERROR_INVALID_HANDLE, FALSE);
    std::lock_guard guard(Waits().lock);
    event->state = false;
    return TRUE;
}

static_assert(sizeof(std::recursive_mutex) <= sizeof(CRITICAL_SECTION::opaque));
static_assert(alignof(std::recursive_mutex) <= alignof(CRITICAL_SECTION));

namespace {
std::recursive_mutex& MutexOf(CRITICAL_SECTION* cs) {
    return *std::launder(reinterpret_cast<std::recursive_mutex*>(cs->opaque));
}
}  // namespace

void InitializeCriticalSection(CRITICAL_SECTION* lpCriticalSection) { new (lpCriticalSection->opaque) std::recursive_mutex; }
void EnterCriticalSection(CRITICAL_SECTION* lpCriticalSection) { MutexOf(lpCriticalSection).lock(); }
void LeaveCriticalSection(CRITICAL_SECTION* lpCriticalSection) { MutexOf(lpCriticalSection).unlock(); }
void DeleteCriticalSection(CRITICAL_SECTION* lpCriticalSection) {
    using Mutex = std::recursive_mutex;
    MutexOf(lpCriticalSection).~Mutex();
}

DWORD GetTickCount() {
    timespec ts{};
    ::clock_gettime(CLOCK_BOOTTIME, &ts);
    const uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
    return static_cast<DWORD>(ms) + g_tickOffset.load();
}

void Sleep(DWORD dwMilliseconds) {
    if (dwMilliseconds == 0) {
        std::this_thread::yield();
        return;
    }
    if (dwMilliseconds == INFINITE) {
        while (true) std::this_thread::sleep_for(std::chrono::hours(24));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(dwMilliseconds));
}
