// The connection probe (command 40051): one thread per device tries an
// RFCOMM connection to the device's OBEX service and posts the outcome to
// the window as NWM_PROBE_RESULT (wParam = record index, lParam = result).
#pragma once
#include <windows.h>   // with SOCKET and sockaddr; the .cpp includes winsock2.h first
#include <atomic>
#include <cstdint>

namespace nw {

class DeviceTable;
struct DeviceRecord;

constexpr int kMaxRunningProbes = 16;   // probe threads alive at once
constexpr DWORD kProbeSpacingMs = 10;   // least time between two thread starts

// {00000008-0000-1000-8000-00805F9B34FB}: the OBEX protocol on the
// Bluetooth base UUID.
extern const GUID kObexServiceClass;

// The Windows Sockets calls of one probe. Tests put fakes here.
struct ProbeSocketApi {
    SOCKET(WINAPI* socket)(int family, int type, int protocol);
    int(WINAPI* bind)(SOCKET s, const struct sockaddr* address, int length);
    int(WINAPI* connect)(SOCKET s, const struct sockaddr* address, int length);
    int(WINAPI* closesocket)(SOCKET s);
    int(WINAPI* WSAGetLastError)();
};

// The real ws2_32 calls.
const ProbeSocketApi& SystemSocketApi();

// One connection attempt to the device: 0 = connected, else the failed
// bind's return value (-1) or the connect's Windows Sockets error code.
// Blocks for as long as the platform's connect takes.
int32_t ProbeDevice(uint64_t address, const ProbeSocketApi& api = SystemSocketApi());

struct ProbeSlots;

// What the window thread hands a probe thread. The thread copies it and then
// sets handshake, after which the window thread may drop it.
struct ProbeRequest {
    uint64_t address = 0;
    HWND window = nullptr;
    UINT message = 0;
    int32_t index = 0;
    const ProbeSocketApi* api = nullptr;
    ProbeSlots* slots = nullptr;   // the thread frees its slot and drops its share
    std::atomic<int32_t> handshake{0};
};

// Starts probe threads for the window thread, at most `limit` at once; later
// requests wait in a queue and start as slots come free. Every member runs
// on the window thread.
class ConnectionProbe {
public:
    explicit ConnectionProbe(const ProbeSocketApi& api = SystemSocketApi(), int limit = kMaxRunningProbes);
    ~ConnectionProbe();
    ConnectionProbe(const ConnectionProbe&) = delete;
    ConnectionProbe& operator=(const ConnectionProbe&) = delete;

    // Command 40051: every selected row, from the last row up.
    void ProbeSelected(DeviceTable& table, HWND window);
    // False when the device will not be probed (no thread, no memory).
    bool StartProbe(HWND window, const DeviceRecord& record);
    bool StartProbe(HWND window, uint64_t address, int32_t index);
    // The window got an NWM_PROBE_RESULT: waiting requests start in the slots
    // that have come free. (A slot is free once its thread is done; the
    // message itself frees nothing.)
    void OnProbeFinished();

    int Running() const;
    int Waiting() const { return count_; }

    // Called on the window thread right after a probe thread has taken its
    // request (tests watch the start order and spacing through it).
    using StartObserver = void (*)(void* context, int32_t index);
    void SetStartObserver(StartObserver observer, void* context) {
        observer_ = observer;
        observerContext_ = context;
    }

    static DWORD WINAPI ProbeThread(void* param);

private:
    struct Waiter {
        uint64_t address;
        HWND window;
        int32_t index;
    };
    bool Launch(const Waiter& waiter);
    bool Push(const Waiter& waiter);
    void StartWaiting();

    const ProbeSocketApi* api_;
    int limit_;
    ProbeSlots* slots_;   // shared with the probe threads
    // Ring of waiting requests.
    Waiter* waiters_ = nullptr;
    int capacity_ = 0;
    int head_ = 0;
    int count_ = 0;
    StartObserver observer_ = nullptr;
    void* observerContext_ = nullptr;
};

// The main window's probe.
ConnectionProbe& WindowProbes();

}  // namespace nw
