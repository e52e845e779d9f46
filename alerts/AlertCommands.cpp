#include "alerts/AlertCommands.h"

#include <atomic>
#include <deque>
#include <string>

namespace nw {

struct QueuedCommand {
    std::wstring commandLine;
    CommandQueue::StartFunction start;
};

// Shared by the queue and its thread, each with a reference, so the queue
// may go (at exit) while a command is still being started.
struct CommandQueue::State {
    std::atomic<int> references{1};
    SRWLOCK lock = SRWLOCK_INIT;
    CONDITION_VARIABLE wake = CONDITION_VARIABLE_INIT;   // a command waits, or stop
    CONDITION_VARIABLE idle = CONDITION_VARIABLE_INIT;   // nothing waits or runs
    std::deque<QueuedCommand> waiting;
    size_t limit = 0;
    size_t dropped = 0;
    bool starting = false;   // the thread is in a start function
    bool stopped = false;

    void AddRef() { references.fetch_add(1, std::memory_order_relaxed); }
    void Release() {
        if (references.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
    }
};

namespace {

class Lock {
public:
    explicit Lock(SRWLOCK& lock) : lock_(lock) { ::AcquireSRWLockExclusive(&lock_); }
    ~Lock() { ::ReleaseSRWLockExclusive(&lock_); }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

private:
    SRWLOCK& lock_;
};

}  // namespace

CommandQueue::CommandQueue(size_t limit) : state_(new State) { state_->limit = limit; }

CommandQueue::~CommandQueue() {
    Stop(0);
    if (thread_) ::CloseHandle(thread_);
    state_->Release();
}

// No C++ exception may leave a thread procedure: a command line that cannot
// be copied for its start is dropped.
DWORD WINAPI CommandQueue::Thread(void* parameter) {
    auto* state = static_cast<State*>(parameter);
    for (;;) {
        QueuedCommand command;
        {
            Lock lock(state->lock);
            while (state->waiting.empty() && !state->stopped)
                ::SleepConditionVariableSRW(&state->wake, &state->lock, INFINITE, 0);
            if (state->stopped) break;
            command = std::move(state->waiting.front());
            state->waiting.pop_front();
            state->starting = true;
        }
        command.start(command.commandLine.c_str());
        Lock lock(state->lock);
        state->starting = false;
        if (state->waiting.empty()) ::WakeAllConditionVariable(&state->idle);
    }
    {
        Lock lock(state->lock);
        state->starting = false;
        ::WakeAllConditionVariable(&state->idle);
    }
    state->Release();
    return 0;
}

bool CommandQueue::Push(const wchar_t* commandLine, StartFunction start) {
    if (!thread_) {
        state_->AddRef();   // the thread's reference
        thread_ = ::CreateThread(nullptr, 0, Thread, state_, 0, nullptr);
        if (!thread_) {
            state_->Release();
            start(commandLine);   // as before the queue: on this thread
            return true;
        }
    }
    Lock lock(state_->lock);
    if (state_->stopped || state_->waiting.size() >= state_->limit) {
        ++state_->dropped;
        return false;
    }
    state_->waiting.push_back(QueuedCommand{commandLine, start});
    ::WakeConditionVariable(&state_->wake);
    return true;
}

size_t CommandQueue::Dropped() const {
    Lock lock(state_->lock);
    return state_->dropped;
}

bool CommandQueue::WaitIdle(DWORD timeoutMs) {
    const DWORD start = ::GetTickCount();
    Lock lock(state_->lock);
    while (!state_->waiting.empty() || state_->starting) {
        const DWORD spent = ::GetTickCount() - start;
        if (spent >= timeoutMs) return false;
        ::SleepConditionVariableSRW(&state_->idle, &state_->lock, timeoutMs - spent, 0);
    }
    return true;
}

void CommandQueue::Stop(DWORD waitMs) {
    {
        Lock lock(state_->lock);
        if (!state_->stopped) {
            state_->dropped += state_->waiting.size();
            state_->waiting.clear();
            state_->stopped = true;
        }
        ::WakeAllConditionVariable(&state_->wake);
    }
    if (thread_ && waitMs) ::WaitForSingleObject(thread_, waitMs);
}

// Made on first use and gone at exit, when its destructor drops whatever
// still waits instead of starting it.
CommandQueue& AlertCommandQueue() {
    static CommandQueue queue;
    return queue;
}

}  // namespace nw
