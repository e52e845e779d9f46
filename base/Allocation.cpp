#include "base/Allocation.h"

#include <windows.h>

#include <cstdlib>
#include <new>

namespace nw {

void AllocationFailed(size_t bytes) {
    const ULONG_PTR size = bytes;
    // Noncontinuable: nothing may go on after the failed request (the frame's
    // guard lands elsewhere); the loop tells the compiler it never returns.
    for (;;) ::RaiseException(STATUS_NO_MEMORY, EXCEPTION_NONCONTINUABLE, 1, &size);
}

}  // namespace nw

namespace {

// Every request gets a block of its own, a request for none too.
void* TryAllocate(size_t bytes) noexcept { return std::malloc(bytes ? bytes : 1); }

void* Allocate(size_t bytes) {
    if (void* p = TryAllocate(bytes)) return p;
    nw::AllocationFailed(bytes);
}

}  // namespace

void* operator new(size_t bytes) { return Allocate(bytes); }
void* operator new[](size_t bytes) { return Allocate(bytes); }
void* operator new(size_t bytes, const std::nothrow_t&) noexcept { return TryAllocate(bytes); }
void* operator new[](size_t bytes, const std::nothrow_t&) noexcept { return TryAllocate(bytes); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
