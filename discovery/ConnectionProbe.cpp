#include <winsock2.h>
#include <windows.h>
#include <ws2bth.h>

#include "discovery/ConnectionProbe.h"

#include <cstdlib>
#include <cstring>
#include "discovery/DeviceTable.h"
#include "resource.h"

namespace nw {

static_assert(sizeof(SOCKADDR_BTH) == 30, "the platform's Bluetooth socket address is 30 bytes");

const GUID kObexServiceClass = {0x00000008, 0x0000, 0x1000, {0x80, 0x00, 0x00, 0x80, 0x5F, 0x9B, 0x34, 0xFB}};

namespace {

const ProbeSocketApi kSystemSocketApi = {::socket, ::bind, ::connect, ::closesocket, ::WSAGetLastError};

}  // namespace

const ProbeSocketApi& SystemSocketApi() { return kSystemSocketApi; }

int32_t ProbeDevice(uint64_t address, const ProbeSocketApi& api) {
    // A failed socket call is not checked here: binding an invalid socket
    // fails, and that failure is the result.
    SOCKET s = api.socket(AF_BTH, SOCK_STREAM, BTHPROTO_RFCOMM);

    SOCKADDR_BTH local;
    memset(&local, 0, sizeof local);
    local.addressFamily = AF_BTH;
    local.port = BT_PORT_ANY;
    int32_t result = api.bind(s, reinterpret_cast<const sockaddr*>(&local), sizeof local);
    if (result == 0) {
        // Port 0: the platform finds the RFCOMM channel by a service lookup
        // for the OBEX class.
        SOCKADDR_BTH remote;
        memset(&remote, 0, sizeof remote);
        remote.addressFamily = AF_BTH;
        remote.btAddr = address;
        remote.serviceClassId = kObexServiceClass;
        remote.port = 0;
        result = api.connect(s, reinterpret_cast<const sockaddr*>(&remote), sizeof remote);
        if (result != 0) {
            int error = api.WSAGetLastError();
            // A failed connect must never read as "connected": without an
            // error code the connect's own return value stands.
            if (error != 0) result = error;
        }
    }
    if (s != INVALID_SOCKET) api.closesocket(s);
    return result;
}

// ---- Probe threads -----------------------------------------------------------

// The count of probe threads still at work. A thread gives its slot back
// itself, before it posts its result, so a result message that is lost (a
// full queue) cannot keep a slot taken, and one that another sender posted
// cannot free a slot whose thread still runs. The window thread and every
// probe thread share the block; the last one to let go frees it, so a thread
// may end after its ConnectionProbe.
struct ProbeSlots {
    std::atomic<int> running{0};
    std::atomic<int> owners{1};

    void Release() {
        if (owners.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
    }
};

// The request lives in StartProbe's frame only until handshake is set, so
// the thread copies what it needs first. The socket calls then block for as
// long as paging the device takes; the window learns the outcome by message
// only, and a window that is gone meanwhile makes the post fail harmlessly.
DWORD WINAPI ConnectionProbe::ProbeThread(void* param) {
    ProbeRequest* request = static_cast<ProbeRequest*>(param);
    const uint64_t address = request->address;
    const HWND window = request->window;
    const UINT message = request->message;
    const int32_t index = request->index;
    const ProbeSocketApi* api = request->api;
    ProbeSlots* slots = request->slots;
    request->handshake.store(1, std::memory_order_release);

    const int32_t result = ProbeDevice(address, *api);
    slots->running.fetch_sub(1, std::memory_order_release);
    slots->Release();
    // lParam carries the result sign-extended; the window reads its low 32 bits.
    ::PostMessageW(window, message, static_cast<WPARAM>(static_cast<uint32_t>(index)), static_cast<LPARAM>(result));
    return 0;
}

// ---- The window thread's side ----------------------------------------------------

ConnectionProbe::ConnectionProbe(const ProbeSocketApi& api, int limit)
    : api_(&api), limit_(limit > 0 ? limit : 1), slots_(new ProbeSlots) {}

ConnectionProbe::~ConnectionProbe() {
    std::free(waiters_);
    slots_->Release();
}

int ConnectionProbe::Running() const { return slots_->running.load(std::memory_order_acquire); }

// Every request waits first and as many start as slots are free now; the
// rest start as slots come free. Started one by one, requests whose threads
// end at once (a machine without a radio) kept this loop launching,
// kProbeSpacingMs apart, through the whole selection while the window (and
// an exit) waited: five seconds for 500 rows.
void ConnectionProbe::ProbeSelected(DeviceTable& table, HWND window) {
    for (int row = table.RowCount() - 1; row >= 0; --row) {
        if (!table.IsRowSelected(row)) continue;
        const auto* device = static_cast<const DeviceRecord*>(table.RowRecord(row));
        if (device) Push({DeviceAddress(*device), window, device->index});
    }
    StartWaiting();
}

bool ConnectionProbe::StartProbe(HWND window, const DeviceRecord& record) {
    return StartProbe(window, DeviceAddress(record), record.index);
}

// A selection of hundreds of devices would otherwise start hundreds of
// threads, each paging the radio at the same time; the requests beyond the
// limit wait here, in order, and start as results come back.
bool ConnectionProbe::StartProbe(HWND window, uint64_t address, int32_t index) {
    const Waiter waiter = {address, window, index};
    // Slots freed by threads whose results never arrived are taken up first.
    StartWaiting();
    if (Running() < limit_ && count_ == 0) return Launch(waiter);
    return Push(waiter);
}

void ConnectionProbe::OnProbeFinished() { StartWaiting(); }

// The slots free now, counted once: threads ending as fast as they start
// would otherwise keep the window thread here for the whole queue. Slots
// that come free later are taken up at the next result or request.
void ConnectionProbe::StartWaiting() {
    for (int free = limit_ - Running(); free > 0 && count_ > 0; --free) {
        Waiter next = waiters_[head_];
        head_ = (head_ + 1) % capacity_;
        --count_;
        Launch(next);
    }
}

// Starts one thread and waits until it holds its own copy of the request.
// The pause afterwards keeps the starts at least kProbeSpacingMs apart, also
// after a failed start.
bool ConnectionProbe::Launch(const Waiter& waiter) {
    ProbeRequest request;
    request.address = waiter.address;
    request.window = waiter.window;
    request.message = NWM_PROBE_RESULT;
    request.index = waiter.index;
    request.api = api_;
    request.slots = slots_;
    // Taken before the thread exists, which may give it back at once.
    slots_->running.fetch_add(1, std::memory_order_relaxed);
    slots_->owners.fetch_add(1, std::memory_order_relaxed);
    HANDLE thread = ::CreateThread(nullptr, 0, ProbeThread, &request, 0, nullptr);
    if (!thread) {
        slots_->running.fetch_sub(1, std::memory_order_relaxed);
        slots_->owners.fetch_sub(1, std::memory_order_relaxed);
    } else {
        // A short spin: the new thread's first act is the copy.
        while (request.handshake.load(std::memory_order_acquire) == 0) {
            if (!::SwitchToThread()) ::Sleep(0);
        }
        // Nobody waits for the thread.
        ::CloseHandle(thread);
        if (observer_) observer_(observerContext_, waiter.index);
    }
    ::Sleep(kProbeSpacingMs);
    return thread != nullptr;
}

bool ConnectionProbe::Push(const Waiter& waiter) {
    if (count_ == capacity_) {
        if (capacity_ > (1 << 24)) return false;
        const int grown = capacity_ ? capacity_ * 2 : 64;
        Waiter* ring = static_cast<Waiter*>(std::malloc(sizeof(Waiter) * static_cast<size_t>(grown)));
        if (!ring) return false;
        for (int i = 0; i < count_; ++i) ring[i] = waiters_[(head_ + i) % capacity_];
        std::free(waiters_);
        waiters_ = ring;
        capacity_ = grown;
        head_ = 0;
    }
    waiters_[(head_ + count_) % capacity_] = waiter;
    ++count_;
    return true;
}

ConnectionProbe& WindowProbes() {
    // Windows Sockets start with the first probe, not with the program (the
    // library is bound at first use), and stay up until the process ends. A
    // failure shows up as a failed probe.
    static const bool socketsStarted = [] {
        WSADATA sockets;
        return ::WSAStartup(MAKEWORD(2, 2), &sockets) == 0;
    }();
    (void)socketsStarted;
    static ConnectionProbe probes;
    return probes;
}

}  // namespace nw
