#include "discovery/LeWatcher.h"

#include <atomic>
#include <cstring>
#include <new>
#include "base/Paths.h"
#include "base/Text.h"
#include "discovery/WinRtAbi.h"
#include "lang/Strings.h"

namespace nw {

using namespace winrt;

namespace {

constexpr uint32_t kMaxSections = 64;   // data sections read of one advertisement

// combase.dll, or the stand-in NEARWATCH_WINRT names (the simulated runtime
// of the tests and the demo), bound by name: on Windows 7 the library has
// no such entry points and the program runs on without LE.
class RuntimeBinding {
public:
    RuntimeBinding() = default;
    ~RuntimeBinding() {
        if (module_) ::FreeLibrary(module_);
    }
    RuntimeBinding(const RuntimeBinding&) = delete;
    RuntimeBinding& operator=(const RuntimeBinding&) = delete;

    bool Bind() {
        module_ = LoadStandInOrSystemLibrary(L"NEARWATCH_WINRT", L"combase.dll");
        if (!module_) return false;
        initialize = LibraryEntry<RoInitializeFn>(module_, "RoInitialize");
        uninitialize = LibraryEntry<RoUninitializeFn>(module_, "RoUninitialize");
        activate = LibraryEntry<RoActivateInstanceFn>(module_, "RoActivateInstance");
        createString = LibraryEntry<WindowsCreateStringFn>(module_, "WindowsCreateString");
        deleteString = LibraryEntry<WindowsDeleteStringFn>(module_, "WindowsDeleteString");
        return initialize && uninitialize && activate && createString && deleteString;
    }

    RoInitializeFn initialize = nullptr;
    RoUninitializeFn uninitialize = nullptr;
    RoActivateInstanceFn activate = nullptr;
    WindowsCreateStringFn createString = nullptr;
    WindowsDeleteStringFn deleteString = nullptr;

private:
    HMODULE module_ = nullptr;
};

template <typename T>
void ReleaseAndClear(T*& p) {
    if (p) p->Release();
    p = nullptr;
}

int8_t ClampDbm(int v) { return static_cast<int8_t>(v < -128 ? -128 : (v > 127 ? 127 : v)); }

}  // namespace

// What the window, the watcher thread and the event handlers share. Whoever
// lets go last frees it: closing neither waits for the thread nor leaves a
// late event writing into freed memory.
struct LeWatcher::Shared {
    void AddRef() { refs.fetch_add(1, std::memory_order_relaxed); }
    void Release() {
        if (refs.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
    }
    ~Shared() {
        if (quit) ::CloseHandle(quit);
        if (wake) ::CloseHandle(wake);
    }

    // Runs on pool threads: copies, then at most one message per batch.
    void Push(const LeSighting& sighting) {
        ::AcquireSRWLockExclusive(&lock);
        if (count < kLeBatchMax) memcpy(&batch[count++], &sighting, sizeof sighting);
        else ++dropped;
        ::ReleaseSRWLockExclusive(&lock);
        lastHeard.store(::GetTickCount64(), std::memory_order_relaxed);
        if (posted.exchange(true, std::memory_order_acq_rel)) return;
        HWND target = window.load(std::memory_order_acquire);
        if (target) ::PostMessageW(target, sightingsMessage, 0, 0);
    }

    void Publish(const LeStatus& next) {
        ::AcquireSRWLockExclusive(&lock);
        const bool changed = next.state != status.state || next.reason != status.reason || next.code != status.code;
        status = next;
        ::ReleaseSRWLockExclusive(&lock);
        HWND target = window.load(std::memory_order_acquire);
        if (changed && target) ::PostMessageW(target, stateMessage, 0, 0);
    }

    std::atomic<long> refs{1};
    std::atomic<HWND> window{nullptr};   // cleared by Stop: nothing is posted after it
    UINT sightingsMessage = 0;
    UINT stateMessage = 0;
    HANDLE quit = nullptr;               // Stop
    HANDLE wake = nullptr;               // a Stopped event or a resume
    std::atomic<bool> running{false};    // the thread has not ended
    std::atomic<bool> posted{false};     // a batch message is on its way
    std::atomic<bool> resume{false};
    std::atomic<uint32_t> stoppedSession{0};   // the session whose watcher said Stopped
    std::atomic<uint64_t> lastHeard{0};        // tick of the last advertisement

    SRWLOCK lock = SRWLOCK_INIT;          // guards what follows
    LeStatus status;
    int count = 0;
    uint32_t dropped = 0;
    LeSighting batch[kLeBatchMax];
};

// ---- Event handlers ---------------------------------------------------------------
// Agile delegates: the runtime calls them on its own threads, so they answer
// IAgileObject and touch only the shared block.

namespace {

template <typename Interface>
class Handler : public Interface {
public:
    Handler(const GUID& iid, void* owner, uint32_t session) : iid_(iid), owner_(owner), session_(session) {}
    virtual ~Handler() = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        if (SameGuid(riid, iid_) || SameGuid(riid, kIidUnknown) || SameGuid(riid, kIidAgileObject)) {
            *object = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(refs_.fetch_add(1) + 1); }
    ULONG STDMETHODCALLTYPE Release() override {
        const long left = refs_.fetch_sub(1) - 1;
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

protected:
    GUID iid_;
    void* owner_;
    uint32_t session_;
    std::atomic<long> refs_{1};
};

}  // namespace

class LeReceivedHandler final : public Handler<IReceivedHandlerAbi> {
public:
    LeReceivedHandler(LeWatcher::Shared* shared, uint32_t session)
        : Handler(kIidReceivedHandler, shared, session) {
        shared->AddRef();
    }
    ~LeReceivedHandler() override { static_cast<LeWatcher::Shared*>(owner_)->Release(); }

    HRESULT STDMETHODCALLTYPE Invoke(IWatcherAbi*, IReceivedArgsAbi* args) override;

private:
    static bool Copy(IReceivedArgsAbi* args, LeSighting& out) {
        uint64_t address = 0;
        if (FAILED(args->get_BluetoothAddress(&address))) return false;
        out.address = address & 0xFFFFFFFFFFFFull;
        int16_t rssi = 0;
        // -127 is what the platform sends for a device it lost: no reading.
        if (SUCCEEDED(args->get_RawSignalStrengthInDBm(&rssi)) && rssi != -127 && rssi > -128 && rssi < 127) {
            out.rssi = ClampDbm(rssi);
            out.flags |= kLeHasRssi;
        }
        int64_t timestamp = 0;
        if (FAILED(args->get_Timestamp(&timestamp)) || timestamp <= 0) {
            FILETIME now;
            ::GetSystemTimeAsFileTime(&now);
            timestamp = static_cast<int64_t>((static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime);
        }
        out.timestamp = timestamp;
        int32_t type = -1;
        if (SUCCEEDED(args->get_AdvertisementType(&type))) {
            if (type == kAdvertisementScanResponse) out.flags |= kLeScanResponse;
            if (type == 0 || type == 1) out.flags |= kLeConnectable;   // connectable undirected / directed
        }
        out.addressKind = kLeAddressUnknown;
        // Windows 10 2004 and later; older ones answer E_NOINTERFACE.
        IReceivedArgs2Abi* args2 = nullptr;
        if (SUCCEEDED(args->QueryInterface(kIidReceivedArgs2, reinterpret_cast<void**>(&args2))) && args2) {
            int32_t kind = -1;
            if (SUCCEEDED(args2->get_BluetoothAddressType(&kind))) {
                if (kind == kAddressPublic) out.addressKind = kLeAddressPublic;
                else if (kind == kAddressRandom) out.addressKind = kLeAddressRandom;
            }
            uint8_t flag = 0;
            if (SUCCEEDED(args2->get_IsConnectable(&flag))) {
                out.flags = static_cast<uint8_t>(flag ? out.flags | kLeConnectable : out.flags & ~kLeConnectable);
            }
            flag = 0;
            if (SUCCEEDED(args2->get_IsScanResponse(&flag)) && flag) out.flags |= kLeScanResponse;
            args2->Release();
        }
        IAdvertisementAbi* advertisement = nullptr;
        if (SUCCEEDED(args->get_Advertisement(&advertisement)) && advertisement) {
            CopySections(advertisement, out);
            advertisement->Release();
        }
        return true;
    }

    // The sections as the device sent them, rebuilt into length-type-value
    // bytes; one that does not fit is left out, the rest still come.
    static void CopySections(IAdvertisementAbi* advertisement, LeSighting& out) {
        ISectionVectorAbi* sections = nullptr;
        if (FAILED(advertisement->get_DataSections(&sections)) || !sections) return;
        uint32_t size = 0;
        if (FAILED(sections->get_Size(&size))) size = 0;
        if (size > kMaxSections) size = kMaxSections;
        for (uint32_t i = 0; i < size; ++i) {
            IDataSectionAbi* section = nullptr;
            if (FAILED(sections->GetAt(i, &section)) || !section) continue;
            uint8_t type = 0;
            IBufferAbi* buffer = nullptr;
            if (SUCCEEDED(section->get_DataType(&type)) && SUCCEEDED(section->get_Data(&buffer)) && buffer) {
                uint32_t length = 0;
                IBufferByteAccessAbi* bytes = nullptr;
                uint8_t* data = nullptr;
                if (SUCCEEDED(buffer->get_Length(&length)) &&
                    SUCCEEDED(buffer->QueryInterface(kIidBufferByteAccess, reinterpret_cast<void**>(&bytes))) &&
                    bytes && SUCCEEDED(bytes->Buffer(&data)) && (data || length == 0)) {
                    AppendAdStructure(out.raw, out.rawLength, kLeRawDataMax, type, data, length);
                }
                ReleaseAndClear(bytes);
            }
            ReleaseAndClear(buffer);
            section->Release();
        }
        sections->Release();
    }
};

// Out of the class: defined inside it, i686 g++ 12 with a section per
// function stops on this stdcall body with a "section type conflict".
HRESULT STDMETHODCALLTYPE LeReceivedHandler::Invoke(IWatcherAbi*, IReceivedArgsAbi* args) {
    if (!args) return S_OK;
    LeSighting sighting;
    memset(&sighting, 0, sizeof sighting);
    if (!Copy(args, sighting)) return S_OK;
    static_cast<LeWatcher::Shared*>(owner_)->Push(sighting);
    return S_OK;
}

class LeStoppedHandler final : public Handler<IStoppedHandlerAbi> {
public:
    LeStoppedHandler(LeWatcher::Shared* shared, uint32_t session) : Handler(kIidStoppedHandler, shared, session) {
        shared->AddRef();
    }
    ~LeStoppedHandler() override { static_cast<LeWatcher::Shared*>(owner_)->Release(); }

    HRESULT STDMETHODCALLTYPE Invoke(IWatcherAbi*, IStoppedArgsAbi*) override {
        auto* shared = static_cast<LeWatcher::Shared*>(owner_);
        shared->stoppedSession.store(session_, std::memory_order_release);
        ::SetEvent(shared->wake);
        return S_OK;
    }
};

// ---- The watcher thread -----------------------------------------------------------

namespace {

// One activated watcher with its two handlers.
struct Session {
    IWatcherAbi* watcher = nullptr;
    LeReceivedHandler* received = nullptr;
    LeStoppedHandler* stopped = nullptr;
    EventToken receivedToken = {};
    EventToken stoppedToken = {};
    bool receivedAdded = false;
    bool stoppedAdded = false;
    uint32_t id = 0;

    void Close() {
        if (watcher) {
            // The handlers go first, so stopping here is not taken for a stop by itself.
            if (receivedAdded) watcher->remove_Received(receivedToken);
            if (stoppedAdded) watcher->remove_Stopped(stoppedToken);
            watcher->Stop();
        }
        receivedAdded = stoppedAdded = false;
        ReleaseAndClear(watcher);
        ReleaseAndClear(received);
        ReleaseAndClear(stopped);
    }
};

struct StartResult {
    HRESULT code = S_OK;
    LeReason reason = LeReason::None;
    bool permanent = false;
};

bool MeansNotSupported(HRESULT code) {
    return code == REGDB_E_CLASSNOTREG || code == E_NOTIMPL || code == CLASS_E_CLASSNOTAVAILABLE ||
           code == E_NOINTERFACE;
}

StartResult StartSession(RuntimeBinding& runtime, LeWatcher::Shared* shared, Session& session, uint32_t id) {
    session.id = id;
    HStr name = nullptr;
    HRESULT hr = runtime.createString(kWatcherClass, static_cast<uint32_t>(wcslen(kWatcherClass)), &name);
    if (FAILED(hr)) return {hr, LeReason::Failed, false};
    IInspectableAbi* instance = nullptr;
    hr = runtime.activate(name, &instance);
    runtime.deleteString(name);
    if (FAILED(hr) || !instance) {
        if (SUCCEEDED(hr)) hr = E_POINTER;
        return {hr, MeansNotSupported(hr) ? LeReason::NotSupported : LeReason::Failed, MeansNotSupported(hr)};
    }
    hr = instance->QueryInterface(kIidWatcher, reinterpret_cast<void**>(&session.watcher));
    instance->Release();
    if (FAILED(hr) || !session.watcher) {
        session.watcher = nullptr;
        return {FAILED(hr) ? hr : E_NOINTERFACE, LeReason::NotSupported, true};
    }
    // Active scanning asks for scan responses, where many devices keep their
    // name; a watcher that refuses still reports advertisements.
    session.watcher->put_ScanningMode(kScanningActive);
    session.received = new (std::nothrow) LeReceivedHandler(shared, id);
    session.stopped = new (std::nothrow) LeStoppedHandler(shared, id);
    if (!session.received || !session.stopped) {
        session.Close();
        return {E_OUTOFMEMORY, LeReason::Failed, false};
    }
    hr = session.watcher->add_Received(session.received, &session.receivedToken);
    session.receivedAdded = SUCCEEDED(hr);
    if (SUCCEEDED(hr)) {
        hr = session.watcher->add_Stopped(session.stopped, &session.stoppedToken);
        session.stoppedAdded = SUCCEEDED(hr);
    }
    if (SUCCEEDED(hr)) hr = session.watcher->Start();
    if (FAILED(hr)) {
        session.Close();
        return {hr, MeansNotSupported(hr) ? LeReason::NotSupported : LeReason::Failed, hr == E_NOTIMPL};
    }
    return {};
}

}  // namespace

static DWORD WINAPI LeThreadMain(void* param);

static void RunWatcher(LeWatcher::Shared* shared) {
    RuntimeBinding runtime;
    if (!runtime.Bind()) {
        DWORD error = ::GetLastError();
        shared->Publish({LeState::Unavailable, LeReason::NoRuntime, static_cast<int32_t>(HRESULT_FROM_WIN32(error))});
        return;
    }
    // The watcher lives in this thread's multithreaded apartment, whatever
    // the window thread does with COM.
    const HRESULT init = runtime.initialize(kRoInitMultithreaded);
    if (FAILED(init) && init != RPC_E_CHANGED_MODE) {
        shared->Publish({LeState::Unavailable, LeReason::Failed, static_cast<int32_t>(init)});
        return;
    }
    LeRestartPolicy policy;
    policy.Begin(::GetTickCount64());
    Session session;
    uint32_t sessionId = 0;
    uint64_t heardSeen = 0;
    HANDLE waits[2] = {shared->quit, shared->wake};
    for (;;) {
        uint64_t now = ::GetTickCount64();
        if (session.watcher && shared->stoppedSession.exchange(0, std::memory_order_acq_rel) == session.id) {
            int32_t status = -1;
            session.watcher->get_Status(&status);
            policy.OnStopped(now, status == kWatcherAborted);
            session.Close();
        }
        if (shared->resume.exchange(false, std::memory_order_acq_rel)) policy.OnResume(now);
        const uint64_t heard = shared->lastHeard.load(std::memory_order_relaxed);
        if (heard != heardSeen) {
            heardSeen = heard;
            policy.OnAdvertisement(heard > now ? now : heard);
        }
        bool started = false;
        if (session.watcher && policy.Status().state == LeState::Running) {
            int32_t status = -1;
            started = SUCCEEDED(session.watcher->get_Status(&status)) && status == kWatcherStarted;
            if (status == kWatcherAborted) {
                policy.OnStopped(now, true);
                session.Close();
            }
        }
        const LeRestartPolicy::Action action = policy.Poll(now, started);
        if (action == LeRestartPolicy::Action::Restart) session.Close();
        if (action != LeRestartPolicy::Action::None) {
            if (++sessionId == 0) sessionId = 1;
            StartResult result = StartSession(runtime, shared, session, sessionId);
            now = ::GetTickCount64();
            if (result.reason == LeReason::None) policy.OnStarted(now);
            else policy.OnStartFailed(now, result.reason, static_cast<int32_t>(result.code), result.permanent);
        }
        shared->Publish(policy.Status());
        // Nothing will change while the program runs: the thread ends.
        if (policy.Status().state == LeState::Unavailable) break;
        if (::WaitForMultipleObjects(2, waits, FALSE, policy.WaitMs(now)) == WAIT_OBJECT_0) break;
    }
    session.Close();
    if (SUCCEEDED(init)) runtime.uninitialize();
}

static DWORD WINAPI LeThreadMain(void* param) {
    auto* shared = static_cast<LeWatcher::Shared*>(param);
    RunWatcher(shared);
    shared->running.store(false, std::memory_order_release);
    shared->Release();
    return 0;
}

// ---- The window's side --------------------------------------------------------------

LeWatcher::~LeWatcher() { Stop(); }

bool LeWatcher::Start(HWND window, UINT sightingsMessage, UINT stateMessage) {
    if (shared_) return false;
    auto* shared = new (std::nothrow) Shared;
    if (!shared) return false;
    shared->quit = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    shared->wake = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    shared->window.store(window, std::memory_order_release);
    shared->sightingsMessage = sightingsMessage;
    shared->stateMessage = stateMessage;
    if (!shared->quit || !shared->wake) {
        shared->Release();
        return false;
    }
    shared->AddRef();   // the thread's
    shared->running.store(true, std::memory_order_release);
    HANDLE thread = ::CreateThread(nullptr, 0, LeThreadMain, shared, 0, nullptr);
    if (!thread) {
        shared->running.store(false, std::memory_order_release);
        shared->Release();
        shared->Release();
        return false;
    }
    ::CloseHandle(thread);
    shared_ = shared;
    return true;
}

void LeWatcher::Stop() {
    if (!shared_) return;
    shared_->window.store(nullptr, std::memory_order_release);
    ::SetEvent(shared_->quit);
    shared_->Release();
    shared_ = nullptr;
}

bool LeWatcher::Running() const { return shared_ && shared_->running.load(std::memory_order_acquire); }

void LeWatcher::OnResume() {
    if (!shared_) return;
    shared_->resume.store(true, std::memory_order_release);
    ::SetEvent(shared_->wake);
}

int LeWatcher::Take(LeSighting* out, int capacity, uint32_t* dropped) {
    if (dropped) *dropped = 0;
    if (!shared_ || !out || capacity <= 0) return 0;
    // Cleared first: a sighting pushed after the copy posts a new message.
    shared_->posted.store(false, std::memory_order_release);
    ::AcquireSRWLockExclusive(&shared_->lock);
    int n = shared_->count < capacity ? shared_->count : capacity;
    memcpy(out, shared_->batch, sizeof(LeSighting) * static_cast<size_t>(n));
    const int rest = shared_->count - n;
    if (rest > 0) memmove(shared_->batch, shared_->batch + n, sizeof(LeSighting) * static_cast<size_t>(rest));
    shared_->count = rest;
    if (dropped) *dropped = shared_->dropped;
    shared_->dropped = 0;
    ::ReleaseSRWLockExclusive(&shared_->lock);
    return n;
}

LeStatus LeWatcher::Status() const {
    if (!shared_) return {};
    ::AcquireSRWLockShared(&shared_->lock);
    LeStatus status = shared_->status;
    ::ReleaseSRWLockShared(&shared_->lock);
    return status;
}

const wchar_t* LeReasonText(LeReason reason) {
    switch (reason) {
    case LeReason::NoRuntime: return GetString(IDS_LE_WHY_NO_RUNTIME);
    case LeReason::NotSupported: return GetString(IDS_LE_WHY_NOT_SUPPORTED);
    case LeReason::RadioOff: return GetString(IDS_LE_WHY_RADIO_OFF);
    case LeReason::Failed: return GetString(IDS_LE_WHY_FAILED);
    case LeReason::Stopped: return GetString(IDS_LE_WHY_RESTARTING);
    case LeReason::None: break;
    }
    return L"";
}

// Texts of a language file are never formats: the pieces are joined.
void FormatLeStatus(const LeStatus& status, bool shortForm, wchar_t* text, size_t size) {
    if (!text || size == 0) return;
    text[0] = 0;
    if (status.reason == LeReason::None || status.state == LeState::Running || status.state == LeState::Off) return;
    CopyText(text, size, GetString(shortForm ? IDS_LE_UNAVAILABLE_SHORT : IDS_LE_UNAVAILABLE_LONG));
    AppendText(text, size, shortForm ? L" (" : L": ");
    AppendText(text, size, LeReasonText(status.reason));
    if (status.reason == LeReason::Failed || status.reason == LeReason::NotSupported) {
        wchar_t code[16];
        FormatText(code, 16, L" 0x%08lX", static_cast<unsigned long>(static_cast<uint32_t>(status.code)));
        AppendText(text, size, code);
    }
    if (shortForm) AppendText(text, size, L")");
}

}  // namespace nw
