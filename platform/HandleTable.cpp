// The process's table of kernel-object handles and the per-thread last-error value.
#include "platform/HandleTable.h"

#include <mutex>
#include <unordered_map>

namespace vplat::detail {

namespace {
// Handle values start above the predefined registry roots' low words and step by 4, as on
// Windows; they are never reused within a process.
constexpr uintptr_t kFirstHandle = 0x1000;
constexpr uintptr_t kHandleStep = 4;

struct Table {
    std::mutex lock;
    uintptr_t next = kFirstHandle;
    std::unordered_map<uintptr_t, std::shared_ptr<KernelObject>> objects;
};

Table& TheTable() {
    static Table* table = new Table;  // never destroyed: threads may close handles during exit
    return *table;
}

thread_local DWORD t_lastError = ERROR_SUCCESS;
}  // namespace

HANDLE AddHandle(std::shared_ptr<KernelObject> object) {
    auto& t = TheTable();
    std::lock_guard guard(t.lock);
    const uintptr_t value = t.next;
    t.next += kHandleStep;
    t.objects.emplace(value, std::move(object));
    return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<KernelObject> LookupHandle(HANDLE handle) {
    auto& t = TheTable();
    std::lock_guard guard(t.lock);
    auto it = t.objects.find(reinterpret_cast<uintptr_t>(handle));
    return it == t.objects.end() ? nullptr : it->second;
}

std::shared_ptr<KernelObject> RemoveHandle(HANDLE handle) {
    auto& t = TheTable();
    std::shared_ptr<KernelObject> object;
    {
        std::lock_guard guard(t.lock);
        auto it = t.objects.find(reinterpret_cast<uintptr_t>(handle));
        if (it == t.objects.end()) return nullptr;
        object = std::move(it->second);
        t.objects.erase(it);
    }
    return object;
}

}  // namespace vplat::detail

DWORD GetLastError() { return vplat::detail::t_lastError; }
void SetLastError(DWORD dwErrCode) { vplat::detail::t_lastError = dwErrCode; }
