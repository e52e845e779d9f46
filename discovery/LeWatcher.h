// Low Energy advertisements through the Windows Runtime's advertisement
// watcher, on a thread of its own (a multithreaded apartment). Advertisements
// arrive on pool threads; each is copied into a bounded buffer and the window
// gets one message per batch, which it fetches with Take. Where the runtime
// or the class is missing the watcher just reports why; nothing else changes.
#pragma once
#include <windows.h>
#include <cstdint>
#include "discovery/LeSighting.h"
#include "discovery/LeWatchLogic.h"
#include "resource.h"

namespace nw {

constexpr int kLeBatchMax = 512;   // sightings waiting for the window; more are dropped and counted

class LeWatcher {
public:
    LeWatcher() = default;
    // Never waits for the watcher thread: the buffer outlives this object
    // until the thread lets go of it, and nothing is posted afterwards.
    ~LeWatcher();
    LeWatcher(const LeWatcher&) = delete;
    LeWatcher& operator=(const LeWatcher&) = delete;

    // Starts the thread. window receives sightingsMessage (a batch waits)
    // and stateMessage (Status changed). False when already running or no
    // thread could be made.
    bool Start(HWND window, UINT sightingsMessage = NWM_LE_SIGHTINGS, UINT stateMessage = NWM_LE_STATE);
    // Asks the thread to stop the watcher and end; returns at once.
    void Stop();
    bool Running() const;
    bool Started() const { return shared_ != nullptr; }   // between Start and Stop
    // After sleep: a fresh watcher.
    void OnResume();

    // Moves up to capacity waiting sightings into out, oldest first; returns
    // how many. dropped (if given) gets the number lost to a full buffer
    // since the last call.
    int Take(LeSighting* out, int capacity, uint32_t* dropped = nullptr);
    LeStatus Status() const;

    struct Shared;   // the watcher's own, shared with its thread and event handlers

private:
    Shared* shared_ = nullptr;
};

// The reason as a short text of the string table ("" for none).
const wchar_t* LeReasonText(LeReason reason);
// "LE scanning unavailable: <why>" (long) or "LE: unavailable (<why>)"
// (short, for the status bar); empty while the watcher runs or is off.
void FormatLeStatus(const LeStatus& status, bool shortForm, wchar_t* text, size_t size);

}  // namespace nw
