// One Bluetooth scan on a thread of its own. The platform's enumeration
// blocks for the whole inquiry; the worker copies the answers into its own
// buffer and posts doneMessage to window when the buffer is complete.
#pragma once
#include <windows.h>
#include <bluetoothapis.h>
#include <cstdint>
#include "resource.h"

namespace nw {

static_assert(sizeof(BLUETOOTH_DEVICE_INFO) == 560);
#ifndef _WIN64
static_assert(sizeof(BLUETOOTH_DEVICE_SEARCH_PARAMS) == 32);
#endif

constexpr int kScanSlots = 64;        // room in the buffer
constexpr int kScanKeptAnswers = 62;  // answers kept per scan; the rest are dropped

// One scan's answers: the first count blocks of results, in the platform's order.
struct ScanAnswer {
    int32_t count = 0;
    BLUETOOTH_DEVICE_INFO results[kScanSlots];
};

class ScanWorker {
public:
    ScanWorker();
    // Never waits for a running scan: the buffer stays alive until its
    // thread is done with it, and no message is posted afterwards.
    ~ScanWorker();
    ScanWorker(const ScanWorker&) = delete;
    ScanWorker& operator=(const ScanWorker&) = delete;

    // Set while no scan runs; read by StartScan.
    uint32_t timeoutMultiplier = 3;     // low 8 bits: inquiry length in 1.28 s units
    HWND window = nullptr;              // receives doneMessage; none: no message
    UINT doneMessage = NWM_SCAN_DONE;

    // Starts one scan on a new thread. False when the thread could not be
    // made, the buffer is missing, or a scan is still running.
    bool StartScan();
    // Copies the last completed answer into out (count and the first count
    // blocks). Call it on doneMessage, before starting the next scan; false
    // (out untouched) while a scan runs.
    bool TakeAnswer(ScanAnswer& out) const;
    bool Running() const;
    // The last completed scan reached a radio (it answered, or said it had
    // found nothing); false before the first one ends.
    bool RadioFound() const;
    DWORD ThreadId() const;             // of the running or last scan; 0 if none

    // Answer buffers alive in the process (a worker's, or one a finished
    // thread has not yet released). For tests of the shutdown path.
    static long LiveBuffers();

private:
    struct Shared;
    static DWORD WINAPI ThreadMain(void* param);
    Shared* shared_ = nullptr;
};

}  // namespace nw
