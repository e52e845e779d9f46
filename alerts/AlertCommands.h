// The queue that starts alert commands (new-device and departure) on a
// thread of its own. Starting a process takes tens of milliseconds (under
// Wine about 45), so 61 departures in one scan held the window for 2.8 s
// while each was started on its thread; now the window only queues them.
#pragma once
#include <windows.h>
#include <cstddef>

namespace nw {

// Waiting commands beyond which a new one is dropped and counted: a scan
// brings at most a few dozen answers, so only a runaway burst meets it.
constexpr size_t kAlertCommandQueueLimit = 128;

class CommandQueue {
public:
    using StartFunction = void (*)(const wchar_t* commandLine);

    explicit CommandQueue(size_t limit = kAlertCommandQueueLimit);
    // Drops what waits and lets a command being started finish on its own:
    // nothing here waits for a process.
    ~CommandQueue();
    CommandQueue(const CommandQueue&) = delete;
    CommandQueue& operator=(const CommandQueue&) = delete;

    // Queues start(commandLine) for the queue's thread, in order. False when
    // dropped: the queue is full or stopped. Without a thread (none could be
    // made) the command starts here and now. Window thread only.
    bool Push(const wchar_t* commandLine, StartFunction start);
    // Commands dropped so far.
    size_t Dropped() const;
    // Waits until nothing waits or is being started; false on timeout.
    bool WaitIdle(DWORD timeoutMs);
    // Drops what waits and takes no more; waits at most waitMs for the one
    // being started.
    void Stop(DWORD waitMs);

private:
    struct State;
    static DWORD WINAPI Thread(void* state);

    State* state_;   // one reference; the thread holds another
    HANDLE thread_ = nullptr;
};

// The program's queue of alert commands (made on first use).
CommandQueue& AlertCommandQueue();

}  // namespace nw
