// The alert-command burst as the program runs it: 62 devices leave in one
// scan and each has a departure command. The window thread's share (the
// departure pass, which only queues) against the anchor of starting the same
// 62 processes one after the other, which the window thread used to do and
// the queue's thread now does.
#include <windows.h>

#include <cmath>
#include <string>
#include <vector>

#include "Bench.h"
#include "alerts/AlertCommands.h"
#include "alerts/DepartureActions.h"
#include "alerts/TrayIconControl.h"
#include "base/Text.h"
#include "discovery/DeviceRecord.h"
#include "settings/Settings.h"

namespace {

constexpr int kDepartures = 62;

struct Burst {
    double windowMs;   // the departure pass on the window thread
    double allMs;      // until the last command has been started
};

Burst RunBurst() {
    std::vector<nw::DeviceRecord> records(kDepartures);
    std::vector<nw::DepartedDevice> departed;
    for (int i = 0; i < kDepartures; ++i) {
        records[i].info.dwSize = sizeof(records[i].info);
        records[i].info.Address.ullLong = 0x001A7DDA7100ull + static_cast<unsigned>(i);
        nw::CopyText(records[i].info.szName, (L"Phone " + std::to_wstring(i)).c_str());
        departed.push_back({&records[i], L"2026-12-08T10:57:21"});
    }
    nw::Settings settings = {};
    settings.presence.UseDepartedDeviceExecute = 1;
    wchar_t system[MAX_PATH];
    ::GetSystemDirectoryW(system, MAX_PATH);
    nw::CopyText(settings.presence.DepartedDeviceExecute,
                 (std::wstring(system) + L"\\cmd.exe /c rem %device_addr% %device_last_seen%").c_str());
    nw::TrayIconControl tray;
    nw::DepartureActions actions;
    const double t0 = bench::NowMs();
    actions.Run(departed.data(), kDepartures, settings, tray, nullptr);
    const double t1 = bench::NowMs();
    if (!nw::AlertCommandQueue().WaitIdle(120000)) return {NAN, NAN};
    const double t2 = bench::NowMs();
    ::Sleep(500);   // the children end before the next run
    return {t1 - t0, t2 - t0};
}

double WindowThread() { return RunBurst().windowMs; }
double AllStarted() { return RunBurst().allMs; }

bench::Registrar windowThread({"alert burst: 62 departure commands, window thread", "ms", "< 20 ms", 3,
                               &WindowThread});
bench::Registrar allStarted({"alert burst: the same 62 started one by one (anchor)", "ms", "", 3, &AllStarted});

}  // namespace
