// Linked into nearwatch.exe only (the test programs keep the full runtime).
// The program is built without C++ exceptions (base/Allocation.h), so of the
// C++ runtime it keeps only what such a program still reaches: the throwers
// the standard containers call on a failure, and the guards of
// function-local statics. The library's own throwers build logic_error and
// its relatives on a second string implementation (about 50 KB); its guards
// bring the posix thread library's whole thread object (about 25 KB, with
// its read-write locks, conditions and scheduling) for a program whose
// threads are CreateThread's. tools/size-report.sh shows what each library
// brings.
#include <windows.h>

#include <bits/functexcept.h>
#include <atomic>
#include <cstdlib>
#include <cxxabi.h>
#include "base/Allocation.h"

namespace std {

// The program is built without exceptions (base/Allocation.h): what the
// containers would throw ends as a fault instead.
void __throw_bad_alloc() { nw::AllocationFailed(0); }
void __throw_bad_array_new_length() { nw::AllocationFailed(0); }
// A length beyond what a container can hold is a request no allocation meets.
void __throw_length_error(const char*) { nw::AllocationFailed(0); }
// A broken precondition of the library: an illegal instruction, reported
// where it is.
void __throw_logic_error(const char*) { __builtin_trap(); }
void __throw_out_of_range(const char*) { __builtin_trap(); }
void __throw_out_of_range_fmt(const char*, ...) { __builtin_trap(); }
void __throw_invalid_argument(const char*) { __builtin_trap(); }

}  // namespace std

// ---- Guards of function-local statics ----------------------------------
namespace {

// One lock for every guarded initialisation, recursive for the thread that
// holds it (an initialiser may reach another static). Byte 0 of the guard is
// the "done" byte the compiler's inline check reads; byte 1 marks an
// initialisation in progress, so one that re-enters itself stops the program
// instead of returning a half-made object. A static's initialiser never waits
// for another thread, so one lock cannot deadlock.
SRWLOCK gGuardLock = SRWLOCK_INIT;
std::atomic<DWORD> gGuardOwner{0};
unsigned gGuardDepth = 0;

void LockGuards() {
    const DWORD self = GetCurrentThreadId();
    if (gGuardOwner.load(std::memory_order_relaxed) != self) {
        AcquireSRWLockExclusive(&gGuardLock);
        gGuardOwner.store(self, std::memory_order_relaxed);
    }
    ++gGuardDepth;
}

void UnlockGuards() {
    if (--gGuardDepth == 0) {
        gGuardOwner.store(0, std::memory_order_relaxed);
        ReleaseSRWLockExclusive(&gGuardLock);
    }
}

std::atomic_ref<unsigned char> GuardByte(__cxxabiv1::__guard* guard, int index) {
    return std::atomic_ref<unsigned char>(reinterpret_cast<unsigned char*>(guard)[index]);
}

}  // namespace

extern "C" {

int __cxa_guard_acquire(__cxxabiv1::__guard* guard) {
    if (GuardByte(guard, 0).load(std::memory_order_acquire)) return 0;
    LockGuards();
    if (GuardByte(guard, 0).load(std::memory_order_relaxed)) {
        UnlockGuards();
        return 0;
    }
    if (GuardByte(guard, 1).load(std::memory_order_relaxed)) std::abort();
    GuardByte(guard, 1).store(1, std::memory_order_relaxed);
    return 1;
}

void __cxa_guard_release(__cxxabiv1::__guard* guard) noexcept {
    GuardByte(guard, 1).store(0, std::memory_order_relaxed);
    GuardByte(guard, 0).store(1, std::memory_order_release);
    UnlockGuards();
}

}  // extern "C"
