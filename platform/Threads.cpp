// Threads, events, mutexes, waits, critical sections and time.
//
// Every waitable object (event, thread or mutex) changes state under one process-wide lock and
// condition variable, so that a wait on several objects checks them all in index order and
// consumes only the one it returns, as WaitForMultipleObjects does.
//
// A named mutex is shared with the other processes of the prefix through a lock file in
// <prefix>/locks: the process that owns the mutex holds an exclusive flock on it. Another
// process's release sends no signal here, so a wait that involves a named mutex polls it.
#include "platform/HandleTable.h"
#include "platform/TextUtil.h"
#include "platform/prefix.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <map>
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

// How often a wait looks again at a named mutex that another process holds.
constexpr auto kMutexPollInterval = std::chrono::milliseconds(1);

// An object a wait can be satisfied by; the methods are called with the wait lock held.
struct Waitable : KernelObject {
    virtual bool Signalled() = 0;
    virtual void Consume() {}
    // Gives back what Signalled took when the wait does not consume the object after all.
    virtual void Unclaimed() {}
    // True when the object can become signalled without a notification of the wait lock.
    virtual bool Polled() const { return false; }
};

struct EventObject : Waitable {
    bool manualReset = false;
    bool state = false;
    bool Signalled() override { return state; }
    void Consume() override {
        if (!manualReset) state = false;
    }
};

struct ThreadObject : Waitable {
    DWORD suspendCount = 0;
    bool finished = false;
    DWORD exitCode = STILL_ACTIVE;
    DWORD threadId = 0;  // 0 until the new thread has published it
    bool Signalled() override { return finished; }
};

// A mutex: free, or owned by one thread `count` times. A named one also holds its lock file
// locked while some thread of this process owns it (or a wait has just claimed it).
struct MutexObject : Waitable {
    int fd = -1;  // the lock file of a named mutex
    DWORD owner = 0;
    DWORD count = 0;
    bool fileLocked = false;

    ~MutexObject() override {
        if (fd >= 0) ::close(fd);
    }
    bool Signalled() override {
        if (owner != 0) return owner == GetCurrentThreadId();
        if (fd < 0 || fileLocked) return true;
        fileLocked = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
        return fileLocked;
    }
    void Consume() override {
        owner = GetCurrentThreadId();
        ++count;
    }
    void Unclaimed() override {
        if (owner == 0) UnlockFile();
    }
    bool Polled() const override { return fd >= 0; }
    void UnlockFile() {
        if (fileLocked) ::flock(fd, LOCK_UN);
        fileLocked = false;
    }
};

// Named mutexes of this process by name, so that every handle to a name is one object.
struct NamedMutexes {
    std::mutex lock;
    std::map<std::u16string, std::weak_ptr<MutexObject>> byName;
};

NamedMutexes& TheNamedMutexes() {
    static NamedMutexes* table = new NamedMutexes;  // handles may be closed during process exit
    return *table;
}

// The lock file of a mutex name: the name's letters that are safe in a file name, for a reader
// of the folder, and a 64-bit FNV-1a hash of the whole name (names are case-sensitive, and two
// names sharing a file would only share a lock).
std::string LockFilePath(std::u16string_view name) {
    uint64_t hash = 0xcbf29ce484222325ull;
    std::string readable;
    for (char16_t c : name) {
        hash = (hash ^ static_cast<uint64_t>(c)) * 0x100000001b3ull;
        const bool safe = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
                          c == u'.' || c == u'-' || c == u'_';
        if (readable.size() < 64) readable.push_back(safe ? static_cast<char>(c) : '_');
    }
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, "-%016llx.lock", static_cast<unsigned long long>(hash));
    return vplat::PrefixRoot() + "/locks/" + readable + suffix;
}

// Opens (making it if need be) the lock file of a name. A prefix the caller may not write still
// gives a file that exists: a read-only descriptor can be locked as well.
int OpenLockFile(std::u16string_view name, DWORD& error) {
    const std::string path = LockFilePath(name);
    const std::string folder = path.substr(0, path.rfind('/'));
    if (::mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST && errno != EACCES && errno != EROFS) {
        error = ERROR_PATH_NOT_FOUND;
        return -1;
    }
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0 && (errno == EACCES || errno == EROFS || errno == EPERM)) fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) error = errno == ENOENT ? ERROR_PATH_NOT_FOUND : ERROR_ACCESS_DENIED;
    return fd;
}
}  // namespace

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
    const bool polled = std::any_of(objects.begin(), objects.end(), [](const auto& o) { return o->Polled(); });
    std::unique_lock guard(w.lock);
    bool timedOut = false;
    while (true) {
        const DWORD result = satisfy();
        if (result != WAIT_TIMEOUT) return result;
        for (const auto& o : objects) o->Unclaimed();
        if (timedOut) return result;
        if (dwMilliseconds == INFINITE && !polled) {
            w.changed.wait(guard);
            continue;
        }
        auto until = deadline;
        if (polled) until = std::min(until, std::chrono::steady_clock::now() + kMutexPollInterval);
        w.changed.wait_until(guard, until);
        timedOut = dwMilliseconds != INFINITE && std::chrono::steady_clock::now() >= deadline;
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

HANDLE CreateMutexW(LPSECURITY_ATTRIBUTES, BOOL bInitialOwner, LPCWSTR lpName) {
    std::optional<std::u16string_view> name;
    if (lpName) {
        name = CallerText(lpName, MAX_PATH);
        if (!name) return Fail(ERROR_FILENAME_EXCED_RANGE, static_cast<HANDLE>(nullptr));
    }
    auto& table = TheNamedMutexes();
    std::unique_lock names(table.lock, std::defer_lock);
    if (name) {
        names.lock();
        auto it = table.byName.find(std::u16string(*name));
        if (it != table.byName.end()) {
            if (auto existing = it->second.lock()) {
                HANDLE handle = AddHandle(std::move(existing));
                SetLastError(ERROR_ALREADY_EXISTS);
                return handle;
            }
        }
    }
    auto mutex = std::make_shared<MutexObject>();
    if (name) {
        DWORD error = ERROR_SUCCESS;
        mutex->fd = OpenLockFile(*name, error);
        if (mutex->fd < 0) return Fail(error, static_cast<HANDLE>(nullptr));
        std::erase_if(table.byName, [](const auto& entry) { return entry.second.expired(); });
        table.byName[std::u16string(*name)] = mutex;
    }
    DWORD lastError = ERROR_SUCCESS;
    if (bInitialOwner) {
        // Held by another process: the mutex existed before, so the request is ignored.
        std::lock_guard guard(Waits().lock);
        if (mutex->Signalled())
            mutex->Consume();
        else
            lastError = ERROR_ALREADY_EXISTS;
    }
    HANDLE handle = AddHandle(std::move(mutex));
    SetLastError(lastError);
    return handle;
}

BOOL ReleaseMutex(HANDLE hMutex) {
    auto mutex = LookupAs<MutexObject>(hMutex);
    if (!mutex) return Fail(ERROR_INVALID_HANDLE, FALSE);
    auto& w = Waits();
    std::lock_guard guard(w.lock);
    if (mutex->owner != GetCurrentThreadId()) return Fail(ERROR_NOT_OWNER, FALSE);
    if (--mutex->count == 0) {
        mutex->owner = 0;
        mutex->UnlockFile();
        w.changed.notify_all();
    }
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
    return static_cast<DWORD>(ms);
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
