// The shipped program's runtime stand-ins (app/LeanRuntime.cpp) under load:
// exceptions thrown and caught on several threads at once (the per-thread
// exception state and, on x86, the unwinder's one-time set-up), and one
// function-local static first reached by all of them together. Linked with
// LeanRuntime.cpp only, as nearwatch.exe is; exits 0 when all held.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <exception>
#include <new>
#include <vector>

namespace {

std::atomic<int> gConstructions{0};
std::atomic<bool> gGo{false};

struct Slow {
    Slow() {
        ++gConstructions;
        ::Sleep(50);  // long enough for every other thread to arrive meanwhile
        value = 42;
    }
    int value = 0;
};

int SharedValue() {
    static Slow slow;
    return slow.value;
}

// A static whose initialiser throws the first time: the guard must let the
// next caller try again.
std::atomic<int> gFlakyTries{0};
int Flaky() {
    static int value = [] {
        if (gFlakyTries.fetch_add(1) == 0) throw std::bad_alloc();
        return 7;
    }();
    return value;
}

// A static reached from another static's initialiser on the same thread.
int Inner() {
    static int inner = 5;
    static std::vector<int> made(3, 1);
    return inner + static_cast<int>(made.size());
}
int Outer() {
    static int outer = Inner() * 2;
    return outer;
}

void Thrower(int depth) {
    if (depth == 0) throw std::bad_alloc();
    std::vector<int> hold(4, depth);  // something to unwind at every level
    Thrower(depth - 1);
}

DWORD WINAPI Worker(void* parameter) {
    auto* failures = static_cast<std::atomic<int>*>(parameter);
    while (!gGo.load()) ::SwitchToThread();
    if (SharedValue() != 42) ++*failures;
    for (int i = 0; i < 200; ++i) {
        try {
            try {
                Thrower(i % 5);
                ++*failures;
            } catch (const std::bad_alloc&) {
                if (std::uncaught_exceptions() != 0) ++*failures;
                throw;  // rethrown: the caught-exception list of this thread
            }
        } catch (const std::exception&) {
            if (std::current_exception() == nullptr) ++*failures;
        }
    }
    if (std::uncaught_exceptions() != 0) ++*failures;
    return 0;
}

}  // namespace

int main() {
    std::atomic<int> failures{0};
    std::vector<HANDLE> threads;
    for (int i = 0; i < 8; ++i) threads.push_back(::CreateThread(nullptr, 0, Worker, &failures, 0, nullptr));
    gGo.store(true);
    Worker(&failures);
    for (HANDLE thread : threads) {
        ::WaitForSingleObject(thread, INFINITE);
        ::CloseHandle(thread);
    }
    int flaky = 0;
    try {
        flaky = Flaky();
    } catch (const std::bad_alloc&) {
        flaky = Flaky();
    }
    std::printf("constructions %d, failures %d, flaky %d after %d tries, nested %d\n", gConstructions.load(),
                failures.load(), flaky, gFlakyTries.load(), Outer());
    const bool ok = gConstructions.load() == 1 && failures.load() == 0 && flaky == 7 && gFlakyTries.load() == 2 &&
                    Outer() == 16;
    return ok ? 0 : 1;
}
