// The crash report: what the frame's guard shows when a message handler
// faults, and the report text (exception, module, registers, stack and code
// bytes) that the user can copy and send to the author.
#pragma once
#include <windows.h>
#include <cstddef>
#include <cstdint>

namespace nw {

// Shows the report (template 107) for a fault caught by the frame's guard,
// with owner as its parent, and stores the user's choice; returns 1. A fault
// while a report is open is not reported again.
int ShowCrashReport(EXCEPTION_POINTERS* info, HWND owner);
// Choice made in the last report: 0 none yet, 1 continue, 2 terminate.
int CrashReportOutcome();

// Tests: the hook replaces the dialog. It gets the saved fault and returns
// the outcome (1 continue, 2 terminate). Null brings the dialog back.
using CrashReportHook = int (*)(const EXCEPTION_POINTERS* info, HWND owner);
void SetCrashReportHookForTests(CrashReportHook hook);

// ---- Report text (no system calls) ------------------------------------------
constexpr size_t kDumpBytes = 128;
constexpr size_t kDumpChars = 512;     // room for a dump of kDumpBytes
constexpr size_t kReportChars = 2048;  // the report is cut to kReportChars - 1

// Bytes as two upper-case hex digits separated by one space; with grouping
// g > 0, every g-th byte from the first on gets two more spaces before it.
// Returns the length written.
size_t FormatDump(const uint8_t* bytes, size_t count, int grouping, wchar_t* out, size_t size);

struct CrashFacts {
    uint32_t code = 0;
    uint64_t address = 0;
    const wchar_t* module = L"";
    bool wide = false;   // 64-bit registers (RAX ...) with 16 digits each
    uint64_t ax = 0, bx = 0, cx = 0, dx = 0, si = 0, di = 0, bp = 0, sp = 0, ip = 0;
    const wchar_t* stackDump = L"";
    const wchar_t* codeDump = L"";
};
// "Exception C0000005 at address ... in module ...", the registers, the
// stack and code dumps, each line ended by CR LF. Returns the length.
size_t ComposeCrashReport(const CrashFacts& facts, wchar_t* out, size_t size);

// A module path as the process-status functions give it (device, object
// manager or \SystemRoot forms) turned into a drive path.
void NormalizeModulePath(const wchar_t* path, const wchar_t* windowsFolder, wchar_t* out,
                         size_t size);
// The part after the last "\" or "/".
const wchar_t* FileNamePart(const wchar_t* path);

// ---- Report text of a fault in this process ----------------------------------
// File name of the loaded module that holds address, else "{Unknown}".
void ModuleNameForAddress(const void* address, wchar_t* out, size_t size);
// The whole report: reads the bytes at the stack and instruction pointers
// (an unreadable dump stays empty) and finds the faulting module.
size_t BuildCrashReport(const EXCEPTION_RECORD& record, const CONTEXT& context, wchar_t* out,
                        size_t size);

}  // namespace nw
