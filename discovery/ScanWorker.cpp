#include "discovery/ScanWorker.h"

#include <atomic>
#include <cstring>
#include <new>
#include "base/Paths.h"

namespace nw {

namespace {

std::atomic<long> liveBuffers{0};

using FindFirstFn = HBLUETOOTH_DEVICE_FIND(WINAPI*)(BLUETOOTH_DEVICE_SEARCH_PARAMS*, BLUETOOTH_DEVICE_INFO*);
using FindNextFn = BOOL(WINAPI*)(HBLUETOOTH_DEVICE_FIND, BLUETOOTH_DEVICE_INFO*);
using FindCloseFn = BOOL(WINAPI*)(HBLUETOOTH_DEVICE_FIND);

// The platform's Bluetooth entry points for one scan, bound by name so the
// program starts on machines without Bluetooth support.
class RadioBinding {
public:
    RadioBinding() = default;
    ~RadioBinding() {
        if (module_) ::FreeLibrary(module_);
    }
    RadioBinding(const RadioBinding&) = delete;
    RadioBinding& operator=(const RadioBinding&) = delete;

    void Bind() {
        if (module_) return;
        // NEARWATCH_RADIO names a stand-in library (the simulated radio of the
        // tests and the demo); otherwise the system's own, from the system
        // folder only, so a planted copy beside the program is never loaded.
        module_ = LoadStandInOrSystemLibrary(L"NEARWATCH_RADIO", L"bthprops.cpl");
        if (!module_) return;
        findFirst = LibraryEntry<FindFirstFn>(module_, "BluetoothFindFirstDevice");
        findNext = LibraryEntry<FindNextFn>(module_, "BluetoothFindNextDevice");
        findClose = LibraryEntry<FindCloseFn>(module_, "BluetoothFindDeviceClose");
    }

    FindFirstFn findFirst = nullptr;
    FindNextFn findNext = nullptr;
    FindCloseFn findClose = nullptr;

private:
    HMODULE module_ = nullptr;
};

}  // namespace

// The answer buffer and what the thread needs, shared by the worker object
// and the scan thread. Whoever lets go last frees it: closing the program
// neither waits for an inquiry of up to 17 s nor leaves the thread writing
// into freed memory.
struct ScanWorker::Shared {
    Shared() { liveBuffers.fetch_add(1, std::memory_order_relaxed); }
    ~Shared() { liveBuffers.fetch_sub(1, std::memory_order_relaxed); }

    void Release() {
        if (refs.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
    }

    std::atomic<long> refs{1};
    // Set by StartScan, cleared by the thread after its last write to answer.
    std::atomic<bool> running{false};
    // Cleared by ~ScanWorker so a late scan posts nothing.
    std::atomic<HWND> window{nullptr};
    std::atomic<DWORD> threadId{0};
    // Written by the thread before it clears running.
    std::atomic<bool> radioFound{false};
    UINT message = 0;
    uint8_t multiplier = 0;
    ScanAnswer answer;
};

ScanWorker::ScanWorker() : shared_(new (std::nothrow) Shared) {}

ScanWorker::~ScanWorker() {
    if (!shared_) return;
    shared_->window.store(nullptr, std::memory_order_release);
    shared_->Release();
}

bool ScanWorker::StartScan() {
    if (!shared_) return false;
    // Two threads must never fill one buffer.
    bool idle = false;
    if (!shared_->running.compare_exchange_strong(idle, true, std::memory_order_acq_rel)) return false;
    shared_->window.store(window, std::memory_order_relaxed);
    shared_->message = doneMessage;
    shared_->multiplier = static_cast<uint8_t>(timeoutMultiplier & 0xFF);
    shared_->refs.fetch_add(1, std::memory_order_relaxed);   // the thread's reference
    DWORD id = 0;
    HANDLE thread = ::CreateThread(nullptr, 0, ThreadMain, shared_, 0, &id);
    if (!thread) {
        shared_->running.store(false, std::memory_order_release);
        shared_->Release();
        return false;
    }
    shared_->threadId.store(id, std::memory_order_relaxed);
    // Nobody waits on the thread: its handle is released here, once, before
    // the thread could end.
    ::CloseHandle(thread);
    return true;
}

// Runs on the window thread, as does StartScan, so no scan can begin while
// the copy is made; running is false only after the thread's last write.
bool ScanWorker::TakeAnswer(ScanAnswer& out) const {
    if (!shared_ || shared_->running.load(std::memory_order_acquire)) return false;
    const ScanAnswer& in = shared_->answer;
    int32_t count = in.count;
    if (count < 0) count = 0;
    if (count > kScanSlots) count = kScanSlots;
    memcpy(out.results, in.results, sizeof(BLUETOOTH_DEVICE_INFO) * static_cast<size_t>(count));
    out.count = count;
    return true;
}

bool ScanWorker::RadioFound() const {
    return shared_ && !shared_->running.load(std::memory_order_acquire) &&
           shared_->radioFound.load(std::memory_order_relaxed);
}

bool ScanWorker::Running() const {
    return shared_ && shared_->running.load(std::memory_order_acquire);
}

DWORD ScanWorker::ThreadId() const {
    return shared_ ? shared_->threadId.load(std::memory_order_relaxed) : 0;
}

long ScanWorker::LiveBuffers() { return liveBuffers.load(std::memory_order_relaxed); }

DWORD WINAPI ScanWorker::ThreadMain(void* param) {
    Shared* shared = static_cast<Shared*>(param);
    ScanAnswer& answer = shared->answer;
    answer.count = 0;

    BLUETOOTH_DEVICE_SEARCH_PARAMS params;
    memset(&params, 0, sizeof params);
    params.dwSize = sizeof params;
    params.fReturnAuthenticated = TRUE;
    params.fReturnRemembered = TRUE;
    params.fReturnUnknown = TRUE;
    params.fReturnConnected = TRUE;
    params.fIssueInquiry = TRUE;
    params.cTimeoutMultiplier = shared->multiplier;
    params.hRadio = nullptr;   // every local radio

    BLUETOOTH_DEVICE_INFO info;
    memset(&info, 0, sizeof info);
    info.dwSize = sizeof info;

    {
        RadioBinding radio;
        radio.Bind();
        HBLUETOOTH_DEVICE_FIND find = radio.findFirst ? radio.findFirst(&params, &info) : nullptr;
        // A radio that found nothing says so; any other failure (no library,
        // no radio) means there is none to ask.
        const bool radioFound = find || (radio.findFirst && ::GetLastError() == ERROR_NO_MORE_ITEMS);
        if (find) {
            // The enumeration runs to its end even past the kept answers, so
            // the platform always completes and closes it.
            for (;;) {
                if (answer.count < kScanKeptAnswers) {
                    memcpy(&answer.results[answer.count], &info, sizeof info);
                    ++answer.count;
                }
                info.dwSize = sizeof info;
                if (!radio.findNext || !radio.findNext(find, &info)) break;
            }
            if (radio.findClose) radio.findClose(find);
        }

        // The buffer is complete: hand it over, then say so.
        HWND window = shared->window.load(std::memory_order_acquire);
        UINT message = shared->message;
        shared->radioFound.store(radioFound, std::memory_order_relaxed);
        shared->running.store(false, std::memory_order_release);
        if (window) ::PostMessageW(window, message, 0, 0);
    }   // the library is unloaded here

    shared->Release();
    return 0;
}

}  // namespace nw
