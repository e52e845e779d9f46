// nearwatch_bench: runs every registered measurement (Bench.h) and prints the
// median, fastest and slowest of its runs.
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "Bench.h"

namespace bench {

Options& Opts() {
    static Options options;
    return options;
}

std::vector<Case>& Cases() {
    static std::vector<Case> cases;
    return cases;
}

double NowMs() {
    static const double frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) * 1000.0 / frequency;
}

}  // namespace bench

namespace {

std::wstring Widen(const char* text) {
    std::wstring out;
    while (*text) out += static_cast<wchar_t>(static_cast<unsigned char>(*text++));
    return out;
}

std::wstring Quote(const std::wstring& text) { return L"\"" + text + L"\""; }

// Runs one case once in a child process and reads its "VALUE x" line.
double RunIsolated(const bench::Case& c) {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring command = Quote(self) + L" --case " + Quote(Widen(c.name));
    if (!bench::Opts().oui.empty()) command += L" --oui " + Quote(bench::Opts().oui);

    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return NAN;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION process = {};
    std::vector<wchar_t> line(command.begin(), command.end());
    line.push_back(0);
    BOOL started = CreateProcessW(self, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
    CloseHandle(writeEnd);
    std::string output;
    if (started) {
        char buffer[512];
        DWORD got = 0;
        while (ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got) output.append(buffer, got);
        WaitForSingleObject(process.hProcess, INFINITE);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    CloseHandle(readEnd);
    size_t at = output.find("VALUE ");
    return at == std::string::npos ? NAN : std::strtod(output.c_str() + at + 6, nullptr);
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    bench::Options& options = bench::Opts();
    for (int i = 1; argv && i + 1 < argc; i += 2) {
        std::wstring key = argv[i];
        if (key == L"--oui") options.oui = argv[i + 1];
        else if (key == L"--runs") options.runs = _wtoi(argv[i + 1]);
        else if (key == L"--filter") options.filter = argv[i + 1];
        else if (key == L"--case") options.only = argv[i + 1];
    }
    if (argv) LocalFree(argv);

    if (!options.only.empty()) {
        for (const bench::Case& c : bench::Cases()) {
            if (Widen(c.name) != options.only) continue;
            std::printf("VALUE %.6f\n", c.run());
            return 0;
        }
        return 1;
    }

    std::printf("%-56s %4s %11s %11s %11s  %-14s %s\n", "benchmark", "runs", "median", "min", "max", "unit", "target");
    std::printf("%s\n", std::string(128, '-').c_str());
    std::fflush(stdout);
    for (const bench::Case& c : bench::Cases()) {
        if (!options.filter.empty() && Widen(c.name).find(options.filter) == std::wstring::npos) continue;
        const int runs = options.runs > 0 ? options.runs : c.runs;
        std::vector<double> values;
        for (int r = 0; r < runs; ++r) {
            double v = c.isolated ? RunIsolated(c) : c.run();
            if (!std::isnan(v)) values.push_back(v);
        }
        if (values.empty()) {
            std::printf("%-56s %4d %11s %11s %11s  %-14s %s\n", c.name, 0, "skipped", "", "", c.unit, c.target);
        } else {
            std::sort(values.begin(), values.end());
            const size_t n = values.size();
            const double median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
            std::printf("%-56s %4d %11.3f %11.3f %11.3f  %-14s %s\n", c.name, static_cast<int>(n), median,
                        values.front(), values.back(), c.unit, c.target);
        }
        std::fflush(stdout);
    }
    return 0;
}
