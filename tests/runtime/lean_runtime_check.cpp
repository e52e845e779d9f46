// The shipped program's runtime stand-ins (app/LeanRuntime.cpp) under load:
// one function-local static first reached by several threads at once, and
// one reached from inside another's initialiser. Built as nearwatch.exe is,
// without exceptions, with LeanRuntime.cpp and the program's allocator;
// exits 0 when all held.
#include <windows.h>

#include <atomic>
#include <cstdio>
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

DWORD WINAPI Worker(void* parameter) {
    auto* failures = static_cast<std::atomic<int>*>(parameter);
    while (!gGo.load()) ::SwitchToThread();
    if (SharedValue() != 42) ++*failures;
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
    std::printf("constructions %d, failures %d, nested %d\n", gConstructions.load(), failures.load(), Outer());
    const bool ok = gConstructions.load() == 1 && failures.load() == 0 && Outer() == 16;
    return ok ? 0 : 1;
}
