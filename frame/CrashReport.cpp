#include "frame/CrashReport.h"

#include <tlhelp32.h>
#include <float.h>
#include <cwchar>
#include "frame/Frame.h"
#include "base/Handles.h"
#include "base/Paths.h"
#include "base/Text.h"
#include "resource.h"

namespace nw {

#ifndef _WIN64
// The saved fault keeps the platform's 32-bit records whole.
static_assert(sizeof(EXCEPTION_RECORD) == 80);
static_assert(sizeof(CONTEXT) == 716);
#endif

// ============================================================================
// Report text
// ============================================================================

namespace {

// Upper-case hex of the low `digits` nibbles of value.
void AppendHex(wchar_t* out, size_t size, uint64_t value, int digits) {
    wchar_t text[17];
    for (int i = digits - 1; i >= 0; --i) {
        const unsigned nibble = static_cast<unsigned>(value & 0xF);
        text[i] = static_cast<wchar_t>(nibble < 10 ? L'0' + nibble : L'A' + nibble - 10);
        value >>= 4;
    }
    text[digits] = 0;
    AppendText(out, size, text);
}

}  // namespace

size_t FormatDump(const uint8_t* bytes, size_t count, int grouping, wchar_t* out, size_t size) {
    if (size == 0) return 0;
    out[0] = 0;
    size_t length = 0;
    for (size_t i = 0; i < count; ++i) {
        wchar_t piece[6];
        size_t n = 0;
        if (i > 0) piece[n++] = L' ';
        if (grouping > 0 && i % static_cast<size_t>(grouping) == 0) {
            piece[n++] = L' ';
            piece[n++] = L' ';
        }
        const unsigned hi = bytes[i] >> 4, lo = bytes[i] & 0xF;
        piece[n++] = static_cast<wchar_t>(hi < 10 ? L'0' + hi : L'A' + hi - 10);
        piece[n++] = static_cast<wchar_t>(lo < 10 ? L'0' + lo : L'A' + lo - 10);
        piece[n] = 0;
        length += CopyText(out + length, size - length, piece);
    }
    return length;
}

size_t ComposeCrashReport(const CrashFacts& f, wchar_t* out, size_t size) {
    if (size == 0) return 0;
    out[0] = 0;
    // A 64-bit address cut to eight digits would point somewhere else, so the
    // 64-bit build shows its registers and address in full; the exception
    // code is 32 bits wide in both.
    const int digits = f.wide ? 16 : 8;
    const wchar_t* const r = f.wide ? L"R" : L"E";
    auto reg = [&](const wchar_t* lead, const wchar_t* name, uint64_t value) {
        AppendText(out, size, lead);
        AppendText(out, size, r);
        AppendText(out, size, name);
        AppendText(out, size, L"=");
        AppendHex(out, size, value, digits);
    };
    AppendText(out, size, L"Exception ");
    AppendHex(out, size, f.code, 8);
    AppendText(out, size, L" at address ");
    AppendHex(out, size, f.address, digits);
    AppendText(out, size, L" in module ");
    AppendText(out, size, f.module ? f.module : L"");
    AppendText(out, size, L"\r\nRegisters: \r\n");
    reg(L"", L"AX", f.ax);
    reg(L" ", L"BX", f.bx);
    reg(L" ", L"CX", f.cx);
    reg(L" ", L"DX", f.dx);
    reg(L"\r\n", L"SI", f.si);
    reg(L" ", L"DI", f.di);
    reg(L" ", L"BP", f.bp);
    reg(L" ", L"SP", f.sp);
    reg(L"\r\n", L"IP", f.ip);
    AppendText(out, size, L"\r\nStack Data: ");
    AppendText(out, size, f.stackDump ? f.stackDump : L"");
    AppendText(out, size, L"\r\nCode Data: ");
    AppendText(out, size, f.codeDump ? f.codeDump : L"");
    return AppendText(out, size, L"\r\n");
}

void NormalizeModulePath(const wchar_t* path, const wchar_t* windowsFolder, wchar_t* out,
                         size_t size) {
    if (size == 0) return;
    out[0] = 0;
    if (!path) return;
    const size_t length = wcslen(path);
    if (length >= 2 && path[1] == L':') {
        CopyText(out, size, path);
        return;
    }
    // "\??\C:\..." and the like: the drive letter stands before the colon.
    if (length >= 3) {
        const wchar_t* colon = wcschr(path + 2, L':');
        if (colon) {
            CopyText(out, size, colon - 1);
            return;
        }
    }
    static const wchar_t kSystemRoot[] = L"\\systemroot";
    const size_t rootLength = sizeof kSystemRoot / sizeof kSystemRoot[0] - 1;
    for (size_t i = 0; i + rootLength <= length; ++i) {
        if (_wcsnicmp(path + i, kSystemRoot, rootLength) == 0) {
            CopyText(out, size, windowsFolder);
            AppendText(out, size, path + i + rootLength);
            return;
        }
    }
    if (path[0] == L'\\') {
        wchar_t drive[3] = {0, 0, 0};
        if (windowsFolder && windowsFolder[0]) {
            drive[0] = windowsFolder[0];
            drive[1] = windowsFolder[1];
        }
        CopyText(out, size, drive);
        AppendText(out, size, path);
        return;
    }
    CopyText(out, size, path);
}

const wchar_t* FileNamePart(const wchar_t* path) {
    const wchar_t* name = path;
    for (const wchar_t* p = path; *p; ++p) {
        if (*p == L'\\' || *p == L'/') name = p + 1;
    }
    return name;
}

// ============================================================================
// Module lookup
// ============================================================================

namespace {

using EnumProcessModulesFn = BOOL(WINAPI*)(HANDLE, HMODULE*, DWORD, DWORD*);
using GetModuleFileNameExFn = DWORD(WINAPI*)(HANDLE, HMODULE, wchar_t*, DWORD);
using GetModuleBaseNameFn = DWORD(WINAPI*)(HANDLE, HMODULE, wchar_t*, DWORD);
using EnumProcessesFn = BOOL(WINAPI*)(DWORD*, DWORD, DWORD*);
struct ModuleInfo { void* base; DWORD size; void* entry; };
using GetModuleInformationFn = BOOL(WINAPI*)(HANDLE, HMODULE, ModuleInfo*, DWORD);

using CreateSnapshotFn = HANDLE(WINAPI*)(DWORD, DWORD);
using Module32Fn = BOOL(WINAPI*)(HANDLE, MODULEENTRY32W*);
using Process32Fn = BOOL(WINAPI*)(HANDLE, PROCESSENTRY32W*);

// Both routes are bound when the first report opens and kept for the run.
struct ModuleRoutes {
    bool prepared = false;
    bool nt = false;
    Library psapi;
    bool psapiOn = false;
    EnumProcessModulesFn enumProcessModules = nullptr;
    GetModuleFileNameExFn getModuleFileNameEx = nullptr;
    GetModuleBaseNameFn getModuleBaseName = nullptr;
    EnumProcessesFn enumProcesses = nullptr;
    GetModuleInformationFn getModuleInformation = nullptr;
    bool toolHelpOn = false;
    CreateSnapshotFn createSnapshot = nullptr;
    Module32Fn module32First = nullptr;
    Module32Fn module32Next = nullptr;
    Process32Fn process32First = nullptr;
    Process32Fn process32Next = nullptr;
    wchar_t windowsFolder[MAX_PATH] = {};
};

ModuleRoutes& Routes() {
    static ModuleRoutes routes;
    return routes;
}

template <typename Fn>
bool Bind(HMODULE module, const char* name, Fn& fn) {
    fn = LibraryEntry<Fn>(module, name);
    return fn != nullptr;
}

void PrepareToolHelp(ModuleRoutes& routes) {
    HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
    routes.toolHelpOn = kernel && Bind(kernel, "CreateToolhelp32Snapshot", routes.createSnapshot) &&
                        Bind(kernel, "Module32FirstW", routes.module32First) &&
                        Bind(kernel, "Module32NextW", routes.module32Next) &&
                        Bind(kernel, "Process32FirstW", routes.process32First) &&
                        Bind(kernel, "Process32NextW", routes.process32Next);
}

void PrepareRoutes() {
    ModuleRoutes& routes = Routes();
    if (routes.prepared) return;
    routes.prepared = true;
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof version;
    routes.nt = ::GetVersionExW(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT;
    if (routes.nt) {
        routes.psapi.reset(LoadSystemLibrary(L"psapi.dll"));
        HMODULE psapi = routes.psapi.get();
        routes.psapiOn = psapi && Bind(psapi, "GetModuleBaseNameW", routes.getModuleBaseName) &&
                         Bind(psapi, "EnumProcessModules", routes.enumProcessModules) &&
                         Bind(psapi, "GetModuleFileNameExW", routes.getModuleFileNameEx) &&
                         Bind(psapi, "EnumProcesses", routes.enumProcesses) &&
                         Bind(psapi, "GetModuleInformation", routes.getModuleInformation);
        if (!routes.psapiOn) routes.psapi.reset();
    }
    // Without the process-status functions the tool-help ones still name the
    // module, so they stand in on any system.
    if (!routes.psapiOn) PrepareToolHelp(routes);
    UINT n = ::GetWindowsDirectoryW(routes.windowsFolder, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) routes.windowsFolder[0] = 0;
}

bool Contains(uintptr_t base, uintptr_t size, uintptr_t address) {
    return base <= address && address - base < size;
}

bool FindWithProcessStatus(const ModuleRoutes& routes, uintptr_t address, wchar_t* path,
                           size_t size) {
    Handle process(::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE,
                                 ::GetCurrentProcessId()));
    if (!process) return false;
    // Room for 4096 modules; kept off the stack, which may be what faulted.
    static HMODULE modules[4096];
    DWORD needed = 0;
    if (!routes.enumProcessModules(process.get(), modules, sizeof modules, &needed)) return false;
    DWORD count = needed / sizeof(HMODULE);
    if (count > sizeof modules / sizeof modules[0]) count = sizeof modules / sizeof modules[0];
    for (DWORD i = 0; i < count; ++i) {
        wchar_t raw[MAX_PATH] = {};
        routes.getModuleFileNameEx(process.get(), modules[i], raw, MAX_PATH);
        raw[MAX_PATH - 1] = 0;
        ModuleInfo info = {};
        if (!routes.getModuleInformation(process.get(), modules[i], &info, sizeof info)) continue;
        if (Contains(reinterpret_cast<uintptr_t>(info.base), info.size, address)) {
            NormalizeModulePath(raw, routes.windowsFolder, path, size);
            return true;
        }
    }
    return false;
}

bool FindWithToolHelp(const ModuleRoutes& routes, uintptr_t address, wchar_t* path, size_t size) {
    Handle snapshot(routes.createSnapshot(TH32CS_SNAPMODULE, ::GetCurrentProcessId()));
    if (!snapshot) return false;
    MODULEENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = routes.module32First(snapshot.get(), &entry); more;
         more = routes.module32Next(snapshot.get(), &entry)) {
        if (Contains(reinterpret_cast<uintptr_t>(entry.modBaseAddr), entry.modBaseSize, address)) {
            CopyText(path, size, entry.szExePath);
            return true;
        }
    }
    return false;
}

}  // namespace

void ModuleNameForAddress(const void* address, wchar_t* out, size_t size) {
    PrepareRoutes();
    const ModuleRoutes& routes = Routes();
    const auto where = reinterpret_cast<uintptr_t>(address);
    wchar_t path[MAX_PATH] = {};
    bool found = false;
    if (routes.psapiOn) found = FindWithProcessStatus(routes, where, path, MAX_PATH);
    else if (routes.toolHelpOn) found = FindWithToolHelp(routes, where, path, MAX_PATH);
    CopyText(out, size, found ? FileNamePart(path) : L"{Unknown}");
}

size_t BuildCrashReport(const EXCEPTION_RECORD& record, const CONTEXT& context, wchar_t* out,
                        size_t size) {
    CrashFacts facts;
    facts.code = record.ExceptionCode;
    facts.address = reinterpret_cast<uintptr_t>(record.ExceptionAddress);
#ifdef _WIN64
    facts.wide = true;
    facts.ax = context.Rax; facts.bx = context.Rbx; facts.cx = context.Rcx; facts.dx = context.Rdx;
    facts.si = context.Rsi; facts.di = context.Rdi; facts.bp = context.Rbp;
    facts.sp = context.Rsp; facts.ip = context.Rip;
#else
    facts.ax = context.Eax; facts.bx = context.Ebx; facts.cx = context.Ecx; facts.dx = context.Edx;
    facts.si = context.Esi; facts.di = context.Edi; facts.bp = context.Ebp;
    facts.sp = context.Esp; facts.ip = context.Eip;
#endif
    // ReadProcessMemory on our own process fails instead of faulting when
    // the pointer is bad, which is likely right after a fault.
    uint8_t bytes[kDumpBytes];
    SIZE_T got = 0;
    wchar_t stack[kDumpChars] = {};
    wchar_t code[kDumpChars] = {};
    if (::ReadProcessMemory(::GetCurrentProcess(), reinterpret_cast<const void*>(facts.sp), bytes,
                            kDumpBytes, &got) && got == kDumpBytes) {
        FormatDump(bytes, kDumpBytes, 4, stack, kDumpChars);
    }
    got = 0;
    if (::ReadProcessMemory(::GetCurrentProcess(), reinterpret_cast<const void*>(facts.ip), bytes,
                            kDumpBytes, &got) && got == kDumpBytes) {
        FormatDump(bytes, kDumpBytes, 0, code, kDumpChars);
    }
    facts.stackDump = stack;
    facts.codeDump = code;
    wchar_t module[MAX_PATH];
    ModuleNameForAddress(record.ExceptionAddress, module, MAX_PATH);
    facts.module = module;
    return ComposeCrashReport(facts, out, size);
}

// ============================================================================
// The report dialog
// ============================================================================

namespace {

// The saved fault: one for the program, read by the dialog.
struct SavedFault {
    EXCEPTION_RECORD record;
    CONTEXT context;
    bool showing;
    int outcome;
};
SavedFault g_fault = {};
CrashReportHook g_hook = nullptr;

struct CrashDialogCall {
    HWND dialog;
    UINT message;
    WPARAM wParam;
};

void RunCrashDialog(void* context) {
    const auto* call = static_cast<const CrashDialogCall*>(context);
    HWND dialog = call->dialog;
    switch (call->message) {
    case WM_INITDIALOG: {
        CenterOnScreen(dialog);
        static wchar_t text[kReportChars];
        BuildCrashReport(g_fault.record, g_fault.context, text, kReportChars);
        ::SetDlgItemTextW(dialog, IDC_CRASH_TEXT, text);
        ::SetFocus(::GetDlgItem(dialog, IDC_CRASH_TEXT));
        break;
    }
    case WM_COMMAND:
        if (HIWORD(call->wParam) != 0) break;
        switch (LOWORD(call->wParam)) {
        case IDC_CRASH_CONTINUE:
        case IDC_CRASH_TERMINATE:   // also Escape and the close box
            ::EndDialog(dialog, LOWORD(call->wParam));
            break;
        case IDC_CRASH_COPY:
            // Copy keeps the dialog open, so the user can still choose.
            ::SendDlgItemMessageW(dialog, IDC_CRASH_TEXT, EM_SETSEL, 0, -1);
            ::SendDlgItemMessageW(dialog, IDC_CRASH_TEXT, WM_COPY, 0, 0);
            ::SendDlgItemMessageW(dialog, IDC_CRASH_TEXT, EM_SETSEL, 0, 0);
            break;
        default:
            break;
        }
        break;
    default:
        break;
    }
}

INT_PTR CALLBACK CrashDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    // Guarded too: a fault inside the report is caught here (and, the report
    // being open, not reported again) instead of unwinding its modal loop.
    CrashDialogCall call{dialog, message, wParam};
    GuardedCall(dialog, RunCrashDialog, &call);
    return 0;
}

}  // namespace

int ShowCrashReport(EXCEPTION_POINTERS* info, HWND owner) {
    if (g_fault.showing) return 1;
    if (info && info->ExceptionRecord) {
        g_fault.record = *info->ExceptionRecord;
        g_fault.record.ExceptionRecord = nullptr;   // points into a dead frame
    } else {
        g_fault.record = {};
    }
    if (info && info->ContextRecord) g_fault.context = *info->ContextRecord;
    else g_fault.context = {};
    g_fault.showing = true;
    INT_PTR result;
    if (g_hook) {
        EXCEPTION_POINTERS saved{&g_fault.record, &g_fault.context};
        result = g_hook(&saved, owner);
    } else {
        result = ::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_CRASH), owner,
                                   CrashDialogProc, 0);
    }
    g_fault.showing = false;
    g_fault.outcome = static_cast<int>(result);
    return 1;
}

int CrashReportOutcome() { return g_fault.outcome; }

void SetCrashReportHookForTests(CrashReportHook hook) { g_hook = hook; }

// ============================================================================
// The guard
// ============================================================================
//
// mingw has no __try/__except, so the guard builds its own: a structured
// exception handler registered for one small frame (RunProtected) that sits
// between the guard and the message handler. The system offers an exception
// to the handlers of the frames from the innermost outwards, so ours sees
// only what the handler's own code and the system code it called did not
// handle themselves (a system function that probes a pointer under its own
// handler keeps doing so). The program is built without C++ exceptions: a
// failed allocation arrives here as a structured exception of its own
// (base/Allocation.cpp), like any other fault.
//
// To recover, the handler saves the exception record and context into the
// thread's innermost guard frame, points the faulting context at a landing
// function on a stack region below the guard, and lets the system resume
// there; the landing function jumps back into the guard with
// __builtin_longjmp. Resuming through the system (instead of jumping out of
// the handler) lets the dispatcher finish and release what it holds.

namespace {

struct GuardFrame {
    void* jump[5];               // __builtin_setjmp buffer
    GuardFrame* previous;        // enclosing guard on this thread
    uintptr_t landingStack;      // stack pointer for the landing function
#ifndef _WIN64
    void* savedHandlers;         // head of the thread's handler chain
#endif
    bool faulted;
    EXCEPTION_RECORD record;
    CONTEXT context;
};

DWORD GuardSlot() {
    static const DWORD slot = ::TlsAlloc();
    return slot;
}

GuardFrame* InnermostGuard() {
    const DWORD slot = GuardSlot();
    if (slot == TLS_OUT_OF_INDEXES) return nullptr;
    return static_cast<GuardFrame*>(::TlsGetValue(slot));
}

// Error and warning severities are faults; success and informational codes
// (the C++ runtime's own exceptions, debugger notifications) are not.
bool IsFault(DWORD code) { return (code & 0x80000000u) != 0; }

bool IsFloatingPointFault(DWORD code) {
    return (code >= STATUS_FLOAT_DENORMAL_OPERAND && code <= STATUS_FLOAT_UNDERFLOW) ||
           code == STATUS_FLOAT_MULTIPLE_FAULTS || code == STATUS_FLOAT_MULTIPLE_TRAPS;
}

// Entered with the context the handler made: on a fresh stack region, with
// the guard frame in the first register argument (rcx, or ecx by fastcall).
#ifdef _WIN64
[[noreturn]] __attribute__((noinline)) void LandAfterFault(void* frame) {
#else
[[noreturn]] __attribute__((noinline, fastcall)) void LandAfterFault(void* frame) {
#endif
    __builtin_longjmp(static_cast<GuardFrame*>(frame)->jump, 1);
}

// A stack pointer safely below the caller's frame: the caller's callees
// (the faulting handler's frames) are abandoned at that point anyway.
__attribute__((noinline)) uintptr_t LandingStackBelowCaller() {
    const auto mark = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
    // 16-byte aligned, less one return address, as a called function expects.
    return ((mark - 256) & ~static_cast<uintptr_t>(15)) - sizeof(void*);
}

// After a stack overflow the guard page below the stack is used up; without
// a new one the next overflow would end the process without any report.
void RestoreStackGuardPage() {
    MEMORY_BASIC_INFORMATION info = {};
    if (!::VirtualQuery(__builtin_frame_address(0), &info, sizeof info)) return;
    void* const reservation = info.AllocationBase;
    SYSTEM_INFO system;
    ::GetSystemInfo(&system);
    auto* p = static_cast<char*>(reservation);
    while (::VirtualQuery(p, &info, sizeof info) && info.AllocationBase == reservation) {
        if (info.State == MEM_COMMIT) {
            if (!(info.Protect & PAGE_GUARD)) {
                DWORD old;
                ::VirtualProtect(info.BaseAddress, system.dwPageSize, PAGE_READWRITE | PAGE_GUARD,
                                 &old);
            }
            return;
        }
        p = static_cast<char*>(info.BaseAddress) + info.RegionSize;
    }
}

}  // namespace
}  // namespace nw

// The handler registered for RunProtected's frame; the x64 unwind data names
// it from assembly, hence the plain C name.
extern "C" __attribute__((used)) EXCEPTION_DISPOSITION nw_frame_guard_handler(
    EXCEPTION_RECORD* record, void*, CONTEXT* context, void*) {
    using nw::GuardFrame;
    if (record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) {
        return ExceptionContinueSearch;
    }
    if (!nw::IsFault(record->ExceptionCode)) return ExceptionContinueSearch;
    GuardFrame* frame = nw::InnermostGuard();
    if (!frame) return ExceptionContinueSearch;
    frame->record = *record;
    frame->record.ExceptionRecord = nullptr;
    frame->context = *context;
    frame->faulted = true;
    // A software exception raised as non-continuable may still be resumed
    // here: execution goes on at the landing function, not after the raise.
    record->ExceptionFlags &= ~static_cast<DWORD>(EXCEPTION_NONCONTINUABLE);
#ifdef _WIN64
    context->Rip = reinterpret_cast<DWORD64>(&nw::LandAfterFault);
    context->Rsp = frame->landingStack;
    context->Rcx = reinterpret_cast<DWORD64>(frame);
#else
    context->Eip = reinterpret_cast<DWORD>(&nw::LandAfterFault);
    context->Esp = frame->landingStack;
    context->Ecx = reinterpret_cast<DWORD>(frame);
#endif
    return ExceptionContinueExecution;
}

namespace nw {
namespace {

#ifdef _WIN64
// The handler is attached through the function's unwind data.
__attribute__((noinline, noclone)) void RunProtected(void (*fn)(void*), void* context) {
    asm volatile(".seh_handler nw_frame_guard_handler, @except");
    fn(context);
    // With the call last, its return address would sit in the epilogue, where
    // the unwinder does not look for a handler.
    asm volatile("nop");
}
#else
// The handler is linked into the thread's handler chain for the call. The
// chain's head is the first word of the thread information block at fs:0.
struct HandlerRegistration {
    void* next;
    void* handler;
};

void* HandlerChain() {
    void* head;
    asm volatile("movl %%fs:0, %0" : "=r"(head));
    return head;
}

void SetHandlerChain(void* head) { asm volatile("movl %0, %%fs:0" : : "r"(head) : "memory"); }

struct HandlerChainRestore {
    void* saved;
    ~HandlerChainRestore() { SetHandlerChain(saved); }
};

__attribute__((noinline)) void RunProtected(void (*fn)(void*), void* context) {
    HandlerRegistration registration{HandlerChain(),
                                     reinterpret_cast<void*>(&nw_frame_guard_handler)};
    HandlerChainRestore restore{registration.next};
    SetHandlerChain(&registration);
    fn(context);
}
#endif

}  // namespace

bool GuardedCall(HWND owner, void (*fn)(void* ctx), void* ctx) {
    const DWORD slot = GuardSlot();
    // The TLS calls reset the thread's last error; handlers must see the
    // value their caller left.
    const DWORD lastError = ::GetLastError();
    GuardFrame frame;
    frame.faulted = false;
    frame.previous = slot == TLS_OUT_OF_INDEXES ? nullptr
                                                : static_cast<GuardFrame*>(::TlsGetValue(slot));
    frame.landingStack = LandingStackBelowCaller();
#ifndef _WIN64
    frame.savedHandlers = HandlerChain();
#endif
    if (slot != TLS_OUT_OF_INDEXES) ::TlsSetValue(slot, &frame);
    ::SetLastError(lastError);

    if (__builtin_setjmp(frame.jump) == 0) RunProtected(fn, ctx);

    if (slot != TLS_OUT_OF_INDEXES) ::TlsSetValue(slot, frame.previous);
#ifndef _WIN64
    // After a landing the chain still names handlers of abandoned frames.
    SetHandlerChain(frame.savedHandlers);
#endif
    // Written by the exception handler behind the compiler's back.
    if (!static_cast<volatile bool&>(frame.faulted)) return true;

    const DWORD code = frame.record.ExceptionCode;
    if (code == STATUS_STACK_OVERFLOW) RestoreStackGuardPage();
    if (IsFloatingPointFault(code)) _fpreset();   // pending FPU exceptions would fault again
    EXCEPTION_POINTERS pointers{&frame.record, &frame.context};
    ShowCrashReport(&pointers, owner);
    if (CrashReportOutcome() == 2) ::ExitProcess(1);
    return false;
}

}  // namespace nw
