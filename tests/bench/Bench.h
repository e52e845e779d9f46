// A small benchmark runner: each file registers named measurements; the
// runner repeats each one and prints medians in a table. Speed and memory
// figures only; nothing here passes or fails.
//
// Adding a measurement (in any file listed in NW_BENCH_SOURCES):
//     static double ExportHtml() { ...; double t0 = bench::NowMs(); ...; return bench::NowMs() - t0; }
//     static bench::Registrar exportHtml({"export: HTML of 10,000 rows", "ms", "", 5, &ExportHtml});
#pragma once
#include <windows.h>
#include <string>
#include <vector>

namespace bench {

struct Options {
    std::wstring oui;       // --oui PATH: the registry text to load
    int runs = 0;           // --runs N: measurements per case (0 = the case's own)
    std::wstring filter;    // --filter TEXT: only cases whose name contains TEXT
    std::wstring only;      // --case NAME: run this one case once, print "VALUE x" (child mode)
};
Options& Opts();

// One measurement; NaN when it cannot be made here (it is then skipped).
using RunFunction = double (*)();

struct Case {
    const char* name;       // unique; shown in the table
    const char* unit;       // "ms", "bytes/record", ...
    const char* target;     // shown beside the median, e.g. "< 10 ms"; may be ""
    int runs;               // measurements; the median is reported
    RunFunction run;
    bool isolated = false;  // each measurement in a fresh process (memory figures)
};

std::vector<Case>& Cases();

struct Registrar {
    explicit Registrar(const Case& c) { Cases().push_back(c); }
};

// Milliseconds from a steady high-resolution clock.
double NowMs();

}  // namespace bench
