// FailingAllocator: see FailingAllocator.h. Every replaceable form that takes memory from the
// default alignment goes through one counting allocation on malloc, and every matching delete
// through free, so the sanitizers see one consistent allocator.
#include "FailingAllocator.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<long> g_outstanding{0};
std::atomic<long> g_allocations{0};
std::atomic<long> g_failAt{-1};   // allocation number that fails, -1 none
std::atomic<bool> g_failed{false};

void* Allocate(std::size_t size) {
    const long n = g_allocations.fetch_add(1);
    long armed = n;
    if (g_failAt.load() == n && g_failAt.compare_exchange_strong(armed, -1)) {
        g_failed = true;
        throw std::bad_alloc();
    }
    void* p = std::malloc(size != 0 ? size : 1);
    if (p == nullptr) throw std::bad_alloc();
    ++g_outstanding;
    return p;
}

void Release(void* p) noexcept {
    if (p == nullptr) return;
    --g_outstanding;
    std::free(p);
}

}  // namespace

namespace failalloc {
long Outstanding() { return g_outstanding.load(); }
long Allocations() { return g_allocations.load(); }
void FailAllocation(long n) {
    g_failed = false;
    g_failAt = g_allocations.load() + n;
}
bool Disarm() {
    g_failAt = -1;
    return g_failed.exchange(false);
}
}  // namespace failalloc

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return Allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* p) noexcept { Release(p); }
void operator delete[](void* p) noexcept { Release(p); }
void operator delete(void* p, std::size_t) noexcept { Release(p); }
void operator delete[](void* p, std::size_t) noexcept { Release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { Release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { Release(p); }
