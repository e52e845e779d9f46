// Linked into nearwatch.exe only (the test programs keep the full runtime).
// The C++ runtime's defaults for a few failures bring far more than the
// program uses: the terminate handler that prints the exception's demangled
// type to a console the program does not have (a demangler and a printf,
// about 60 KB), and the throwers of the standard containers, which build
// logic_error and its relatives on a second string implementation (about
// 50 KB). These stand-ins keep what the program relies on: a failed
// allocation is a std::bad_alloc, which its handlers catch, and any other
// failure still reaches the frame's guard and the crash report. Below them,
// the C++ runtime's few needs of the posix thread library, met with Win32.
// tools/size-report.sh shows what each library brings.
#include <windows.h>

#include <bits/functexcept.h>
#include <atomic>
#include <cstdlib>
#include <cxxabi.h>
#include <exception>
#include <new>

namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

namespace std {

void __throw_bad_alloc() { throw bad_alloc(); }
void __throw_bad_array_new_length() { throw bad_array_new_length(); }
// A length beyond what a container can hold is a request no allocation meets.
void __throw_length_error(const char*) { throw bad_alloc(); }
void __throw_logic_error(const char*) { throw exception(); }
void __throw_out_of_range(const char*) { throw exception(); }
void __throw_out_of_range_fmt(const char*, ...) { throw exception(); }
void __throw_invalid_argument(const char*) { throw exception(); }

}  // namespace std

// ---- Threads: the posix thread library without its thread half ----------
// The C++ runtime reaches the posix thread library from three places: the
// guards of function-local statics (a condition variable), the per-thread
// exception state (emulated thread-local storage, pthread keys) and, on
// i686, the unwinder's one-time set-up (pthread_once). Those brought the
// library's whole thread object with it (about 25 KB with its read-write
// locks, conditions and scheduling), for a program whose threads are
// CreateThread's. The three are answered here with Win32; only the mutexes
// (the unwinder's and the emergency exception pool's, statically
// initialised, untouched here) still come from the library.

namespace {

// The one-time protocol the unwinder expects of pthread_once: a control word
// that starts at 0 (PTHREAD_ONCE_INIT), the function run exactly once, and
// every caller back only after it has returned. 1 marks "running", 2 "done";
// a caller that finds it running yields until it is done (the functions run
// this way are a few lines that neither block nor throw).
void RunOnce(volatile LONG* control, void (*function)()) {
    if (InterlockedCompareExchange(control, 2, 2) == 2) return;
    if (InterlockedCompareExchange(control, 1, 0) == 0) {
        function();
        InterlockedExchange(control, 2);
        return;
    }
    while (InterlockedCompareExchange(control, 2, 2) != 2) SwitchToThread();
}

// ---- Per-thread exception state ----
// What the runtime keeps per thread (the caught exceptions and the count of
// uncaught ones) in a fiber-local block, zeroed when made and freed when its
// thread ends. A block the heap cannot give ends the program, as the
// runtime's own thread-local storage does.
volatile LONG gExceptionSlotOnce = 0;
DWORD gExceptionSlot = FLS_OUT_OF_INDEXES;

void WINAPI FreeExceptionState(void* state) {
    if (state) HeapFree(GetProcessHeap(), 0, state);
}

void MakeExceptionSlot() { gExceptionSlot = FlsAlloc(FreeExceptionState); }

void* ExceptionState() {
    RunOnce(&gExceptionSlotOnce, MakeExceptionSlot);
    if (gExceptionSlot == FLS_OUT_OF_INDEXES) std::abort();
    void* state = FlsGetValue(gExceptionSlot);
    if (!state) {
        // Two pointers hold the runtime's record (a pointer and a count).
        state = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, 2 * sizeof(void*));
        if (!state || !FlsSetValue(gExceptionSlot, state)) std::abort();
    }
    return state;
}

// ---- Guards of function-local statics ----
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

int pthread_once(long* control, void (*function)()) {
    RunOnce(control, function);
    return 0;
}

__cxxabiv1::__cxa_eh_globals* __cxa_get_globals() noexcept {
    return static_cast<__cxxabiv1::__cxa_eh_globals*>(ExceptionState());
}

__cxxabiv1::__cxa_eh_globals* __cxa_get_globals_fast() noexcept {
    return static_cast<__cxxabiv1::__cxa_eh_globals*>(ExceptionState());
}

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

void __cxa_guard_abort(__cxxabiv1::__guard* guard) noexcept {
    GuardByte(guard, 1).store(0, std::memory_order_relaxed);
    UnlockGuards();
}

}  // extern "C"
