// The real program over a long run, measured from outside: nearwatch.exe
// with the simulated radio at 1 ms an inquiry unit, the same 62 devices in
// every scan, for 2,000 scans. It loads the radio library for every scan,
// so this is also the check that a long demo with the simulated radio
// lasts. Prints private bytes and GDI/USER objects after 100 scans and at
// the end; the value is the growth per scan in between. NW_SOAK_SCANS sets
// another length (e.g. 1,000 to compare with a radio library that cannot
// last 2,000).
#include <windows.h>
#include <psapi.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "Bench.h"
#include "e2e/Driver.h"
#include "resource.h"

namespace {

using nw::e2e::LaunchOptions;
using nw::e2e::Program;

struct Outside {
    double privateBytes;
    DWORD gdiObjects;
    DWORD userObjects;
};

Outside Measure(HANDLE process) {
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(process, &counters, sizeof counters);
    // PagefileUsage is the private commit charge; Wine leaves PrivateUsage at 0.
    return {static_cast<double>(counters.PagefileUsage), GetGuiResources(process, GR_GDIOBJECTS),
            GetGuiResources(process, GR_USEROBJECTS)};
}

void Print(int scans, const Outside& o) {
    std::fprintf(stderr, "  program after %5d scans: private %8.0f KB  GDI %4lu  USER %4lu\n", scans,
                 o.privateBytes / 1024.0, static_cast<unsigned long>(o.gdiObjects),
                 static_cast<unsigned long>(o.userObjects));
}

double ProgramSoak() {
    constexpr int kSettled = 100;
    const char* length = std::getenv("NW_SOAK_SCANS");
    const int scans = length && std::atoi(length) > kSettled ? std::atoi(length) : 2000;
    LaunchOptions options;
    options.scenario = "unit_ms 1\n";
    char line[96];
    for (int i = 0; i < 62; ++i) {
        std::snprintf(line, sizeof line, "device 5c:0e:8b:00:00:%02x class=0x5a020c name=Device %d\n", i, i);
        options.scenario += line;
    }
    options.config = "[General]\r\nTrayIcon=0\r\n";
    Program program;
    if (!program.Launch(options)) {
        std::fprintf(stderr, "  program did not start: %s\n", nw::e2e::Narrow(program.Error()).c_str());
        return NAN;
    }
    const double begin = bench::NowMs();
    if (!program.WaitScans(kSettled, 120000)) return NAN;
    const Outside settled = Measure(program.ProcessHandle());
    const int settledScans = program.ScansClosed();
    Print(settledScans, settled);
    // Generous: only a program that stopped scanning or ended fails here.
    bool passed = true;
    for (int next = 500; passed && next < scans; next += 500) {
        passed = program.WaitScans(next, 900000) && program.Running();
        if (passed) Print(program.ScansClosed(), Measure(program.ProcessHandle()));
    }
    passed = passed && program.WaitScans(scans, 900000) && program.Running();
    const Outside end = Measure(program.ProcessHandle());
    const int endScans = program.ScansClosed();
    Print(endScans, end);
    std::fprintf(stderr, "  %d scans in %.0f s; %s\n", endScans, (bench::NowMs() - begin) / 1000.0,
                 passed ? "still running" : "FAILED: the program stopped");
    DWORD code = 99;
    const double exitStart = bench::NowMs();
    program.Command(IDM_EXIT);
    const bool ended = program.WaitExit(30000, &code);
    std::fprintf(stderr, "  exit while scanning: %s in %.0f ms, exit code %lu\n", ended ? "ended" : "HUNG",
                 bench::NowMs() - exitStart, static_cast<unsigned long>(code));
    if (!passed || !ended || code != 0) return NAN;
    std::fprintf(stderr, "  GDI %+ld, USER %+ld\n", static_cast<long>(end.gdiObjects) - static_cast<long>(settled.gdiObjects),
                 static_cast<long>(end.userObjects) - static_cast<long>(settled.userObjects));
    return (end.privateBytes - settled.privateBytes) / (endScans - settledScans);
}

bench::Registrar r01({"soak: real program, 2,000 scans at unit_ms 1, growth", "bytes/scan", "~0", 1, &ProgramSoak});

}  // namespace
