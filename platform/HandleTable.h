// The process's table of kernel-object handles (files, searches, threads, events, printers,
// registry keys) and the per-thread last-error value.
//
// Handles are small counter values, never reused, so a closed or made-up handle is recognised
// and answered with ERROR_INVALID_HANDLE instead of being dereferenced.
#pragma once

#include "platform/win32.h"

#include <memory>

namespace vplat::detail {

struct KernelObject {
    virtual ~KernelObject() = default;
    // False for objects that have their own close function (searches, printers, keys), which
    // CloseHandle must refuse.
    virtual bool ClosedByCloseHandle() const { return true; }
};

// Registers an object; the table keeps it alive until RemoveHandle.
HANDLE AddHandle(std::shared_ptr<KernelObject> object);
std::shared_ptr<KernelObject> LookupHandle(HANDLE handle);
std::shared_ptr<KernelObject> RemoveHandle(HANDLE handle);

template <class T>
std::shared_ptr<T> LookupAs(HANDLE handle) {
    return std::dynamic_pointer_cast<T>(LookupHandle(handle));
}

// Removes the handle only if it refers to an object of type T.
template <class T>
std::shared_ptr<T> RemoveAs(HANDLE handle) {
    if (!LookupAs<T>(handle)) return nullptr;
    return std::dynamic_pointer_cast<T>(RemoveHandle(handle));
}

// Sets the last error and returns `result`, for one-line failure returns.
template <class R>
R Fail(DWORD error, R result) {
    SetLastError(error);
    return result;
}

}  // namespace vplat::detail
