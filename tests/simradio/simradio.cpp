// The simulated radio: a stand-in for the system's Bluetooth library that
// answers the device enumeration from a scenario file, so the program can
// be tested and shown without Bluetooth hardware.
//
// NEARWATCH_SIMRADIO      scenario path (default: simradio.txt beside this DLL)
// NEARWATCH_SIMRADIO_LOG  file that gets one line per enumeration start and close
// NEARWATCH_SIMRADIO_SCAN the scan counter, kept in the process environment
//                         because the program unloads this library after
//                         every scan
#include <windows.h>
#include <bluetoothapis.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "Scenario.h"

using nw::simradio::Scenario;

// The program loads this library for every scan and unloads it afterwards,
// as it should. Anything here that can throw links in the C++ runtime's
// reserve for exceptions, which takes about 73 KB of heap at each load that
// no unload gives back: a long demo grew by that much a scan. So the library
// is built without exceptions, and the few runtime pieces that would throw
// are its own: running out of memory in a test stand-in ends the process.
void* operator new(size_t size) {
    void* p = std::malloc(size ? size : 1);
    if (!p) std::abort();
    return p;
}
void* operator new[](size_t size) { return operator new(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept { return std::malloc(size ? size : 1); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return std::malloc(size ? size : 1); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }

namespace std {
[[noreturn]] void __throw_bad_alloc() { std::abort(); }
[[noreturn]] void __throw_bad_array_new_length() { std::abort(); }
[[noreturn]] void __throw_length_error(const char*) { std::abort(); }
[[noreturn]] void __throw_logic_error(const char*) { std::abort(); }
[[noreturn]] void __throw_out_of_range_fmt(const char*, ...) { std::abort(); }
}  // namespace std

namespace {

constexpr DWORD kMaxScenarioBytes = 4u << 20;
constexpr uint32_t kEnumerationMagic = 0x5349524Du;

struct Enumeration {
    uint32_t magic = kEnumerationMagic;
    uint32_t scan = 0;
    std::vector<BLUETOOTH_DEVICE_INFO> answers;
    size_t next = 0;        // answers handed out so far
};

// A slim lock, not std::mutex: the threads runtime behind std::mutex takes a
// thread-local-storage index when the library is loaded and never gives it
// back, and the program loads this library afresh for every scan, so after
// about a thousand scans the process had none left and aborted.
class Lock {
public:
    void Acquire() { ::AcquireSRWLockExclusive(&lock_); }
    void Release() { ::ReleaseSRWLockExclusive(&lock_); }

private:
    SRWLOCK lock_ = SRWLOCK_INIT;
};

class LockGuard {
public:
    explicit LockGuard(Lock& lock) : lock_(lock) { lock_.Acquire(); }
    ~LockGuard() { lock_.Release(); }
    LockGuard(const LockGuard&) = delete;
    LockGuard& operator=(const LockGuard&) = delete;

private:
    Lock& lock_;
};

// Handles that FindFirst gave out and Close has not taken back, so a stale
// or foreign handle is refused instead of being dereferenced.
Lock liveLock;
std::vector<Enumeration*> live;

bool IsLive(Enumeration* e) {
    LockGuard guard(liveLock);
    for (Enumeration* p : live)
        if (p == e) return true;
    return false;
}

HMODULE ThisModule() {
    HMODULE module = nullptr;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCWSTR>(&ThisModule), &module);
    return module;
}

std::wstring Environment(const wchar_t* name) {
    wchar_t buffer[1024];
    DWORD n = ::GetEnvironmentVariableW(name, buffer, 1024);
    if (n == 0 || n >= 1024) return {};
    return buffer;
}

std::wstring ScenarioPath() {
    std::wstring path = Environment(L"NEARWATCH_SIMRADIO");
    if (!path.empty()) return path;
    wchar_t module[MAX_PATH];
    DWORD n = ::GetModuleFileNameW(ThisModule(), module, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return {};
    std::wstring folder(module, n);
    size_t slash = folder.find_last_of(L"\\/");
    folder.resize(slash == std::wstring::npos ? 0 : slash + 1);
    return folder + L"simradio.txt";
}

// Opened, appended and closed for every line: the test reading the log
// from another process sees each line as soon as it is written.
void Log(const char* format, ...) {
    std::wstring path = Environment(L"NEARWATCH_SIMRADIO_LOG");
    if (path.empty()) return;
    char line[512];
    va_list args;
    va_start(args, format);
    int n = vsnprintf(line, sizeof line - 1, format, args);
    va_end(args);
    if (n < 0) return;
    if (n > static_cast<int>(sizeof line) - 2) n = static_cast<int>(sizeof line) - 2;
    line[n++] = '\n';
    for (int attempt = 0; attempt < 50; ++attempt) {
        HANDLE file = ::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            ::WriteFile(file, line, static_cast<DWORD>(n), &written, nullptr);
            ::CloseHandle(file);
            return;
        }
        if (::GetLastError() != ERROR_SHARING_VIOLATION) return;
        ::Sleep(10);
    }
}

// The next scan number: one more than the process has counted so far.
uint32_t NextScanNumber() {
    static Lock counterLock;
    LockGuard guard(counterLock);
    std::wstring text = Environment(L"NEARWATCH_SIMRADIO_SCAN");
    unsigned long previous = text.empty() ? 0 : wcstoul(text.c_str(), nullptr, 10);
    uint32_t scan = static_cast<uint32_t>(previous) + 1;
    if (scan == 0) scan = 1;
    wchar_t value[16];
    swprintf(value, 16, L"%u", scan);
    ::SetEnvironmentVariableW(L"NEARWATCH_SIMRADIO_SCAN", value);
    return scan;
}

// False when there is no file: the machine then has no radio.
bool ReadScenario(Scenario& scenario) {
    std::wstring path = ScenarioPath();
    if (path.empty()) return false;
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    std::string text;
    char chunk[65536];
    DWORD got = 0;
    while (text.size() < kMaxScenarioBytes && ::ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got)
        text.append(chunk, got);
    ::CloseHandle(file);
    if (text.size() > kMaxScenarioBytes) {
        text.resize(kMaxScenarioBytes);
        Log("note scenario longer than %lu bytes, the rest ignored", static_cast<unsigned long>(kMaxScenarioBytes));
    }
    scenario = nw::simradio::ParseScenario(text);
    for (const auto& problem : scenario.problems)
        Log("note line %lu skipped: %s", static_cast<unsigned long>(problem.line), problem.reason.c_str());
    return true;
}

BLUETOOTH_DEVICE_INFO MakeAnswer(const nw::simradio::Device& device, const SYSTEMTIME& now) {
    BLUETOOTH_DEVICE_INFO info;
    memset(&info, 0, sizeof info);
    info.dwSize = sizeof info;
    info.Address.ullLong = device.address;
    info.ulClassofDevice = device.classOfDevice;
    info.fConnected = device.connected;
    info.fRemembered = device.remembered;
    info.fAuthenticated = device.authenticated;
    info.stLastSeen = now;
    if (device.remembered || device.connected) info.stLastUsed = now;
    size_t n = device.name.size();
    if (n > BLUETOOTH_MAX_NAME_SIZE - 1) n = BLUETOOTH_MAX_NAME_SIZE - 1;
    memcpy(info.szName, device.name.data(), n * sizeof(WCHAR));
    info.szName[n] = 0;
    return info;
}

// Copies the next answer into the caller's block; the caller's dwSize must
// name the block's size, as the platform demands.
bool HandOut(Enumeration* e, BLUETOOTH_DEVICE_INFO* info) {
    if (e->next >= e->answers.size()) {
        ::SetLastError(ERROR_NO_MORE_ITEMS);
        return false;
    }
    memcpy(info, &e->answers[e->next], sizeof *info);
    ++e->next;
    return true;
}

HBLUETOOTH_DEVICE_FIND StartEnumeration(const BLUETOOTH_DEVICE_SEARCH_PARAMS* params, BLUETOOTH_DEVICE_INFO* info) {
    if (!params || params->dwSize != sizeof *params || !info) {
        Log("note bad call: search parameters missing or of the wrong size");
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (info->dwSize != sizeof *info) {
        Log("note bad call: answer block size %lu", static_cast<unsigned long>(info->dwSize));
        ::SetLastError(ERROR_REVISION_MISMATCH);
        return nullptr;
    }
    uint32_t scan = NextScanNumber();
    unsigned multiplier = params->cTimeoutMultiplier;
    const ULONGLONG startTick = ::GetTickCount64();
    Log("start %u multiplier %u ms %llu", scan, multiplier, static_cast<unsigned long long>(startTick));
    Scenario scenario;
    if (!ReadScenario(scenario) || !scenario.radioOn) {
        Log("close %u answers 0 ms %llu", scan, static_cast<unsigned long long>(::GetTickCount64()));
        ::SetLastError(ERROR_INVALID_HANDLE);   // what a machine without a radio answers
        return nullptr;
    }
    if (params->fIssueInquiry) {
        // Measured on the clock the log shows: Sleep may wake a tick early.
        const ULONGLONG end = startTick + static_cast<ULONGLONG>(multiplier) * scenario.unitMs;
        for (ULONGLONG now = ::GetTickCount64(); now < end; now = ::GetTickCount64())
            ::Sleep(static_cast<DWORD>(end - now));
    }

    auto* e = new (std::nothrow) Enumeration;
    if (!e) {
        Log("close %u answers 0 ms %llu", scan, static_cast<unsigned long long>(::GetTickCount64()));
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    e->scan = scan;
    SYSTEMTIME now;
    ::GetSystemTime(&now);
    for (const auto& device : scenario.devices)
        if (device.InScan(scan)) e->answers.push_back(MakeAnswer(device, now));
    if (!HandOut(e, info)) {
        Log("close %u answers 0 ms %llu", scan, static_cast<unsigned long long>(::GetTickCount64()));
        delete e;
        ::SetLastError(ERROR_NO_MORE_ITEMS);
        return nullptr;
    }
    LockGuard guard(liveLock);
    live.push_back(e);
    return e;
}

BOOL NextAnswer(HBLUETOOTH_DEVICE_FIND handle, BLUETOOTH_DEVICE_INFO* info) {
    auto* e = static_cast<Enumeration*>(handle);
    if (!IsLive(e)) {
        ::SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!info || info->dwSize != sizeof *info) {
        Log("note bad call: answer block size %lu in scan %u", info ? static_cast<unsigned long>(info->dwSize) : 0ul,
            e->scan);
        ::SetLastError(ERROR_REVISION_MISMATCH);
        return FALSE;
    }
    return HandOut(e, info) ? TRUE : FALSE;
}

BOOL CloseEnumeration(HBLUETOOTH_DEVICE_FIND handle) {
    auto* e = static_cast<Enumeration*>(handle);
    {
        LockGuard guard(liveLock);
        bool found = false;
        for (size_t i = 0; i < live.size(); ++i) {
            if (live[i] == e) {
                live.erase(live.begin() + static_cast<std::ptrdiff_t>(i));
                found = true;
                break;
            }
        }
        if (!found) {
            ::SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
    }
    Log("close %u answers %lu ms %llu", e->scan, static_cast<unsigned long>(e->next),
        static_cast<unsigned long long>(::GetTickCount64()));
    delete e;
    return TRUE;
}

}  // namespace

// No C++ exception may leave the library (the caller is C), and none is
// thrown: the library is built without them (see the top of this file).
//
// The exports are defined under names of their own and renamed by the .def
// file. The assembler names are given explicitly so that 32-bit builds carry
// no stdcall "@n" decoration for the .def file to guess at.
#define NW_STRINGIFY2(x) #x
#define NW_STRINGIFY(x) NW_STRINGIFY2(x)
#define NW_SYMBOL(name) __asm__(NW_STRINGIFY(__USER_LABEL_PREFIX__) #name)

extern "C" {

HBLUETOOTH_DEVICE_FIND WINAPI SimFindFirstDevice(BLUETOOTH_DEVICE_SEARCH_PARAMS* params,
                                                 BLUETOOTH_DEVICE_INFO* info) NW_SYMBOL(SimFindFirstDevice);
WINBOOL WINAPI SimFindNextDevice(HBLUETOOTH_DEVICE_FIND handle, BLUETOOTH_DEVICE_INFO* info)
    NW_SYMBOL(SimFindNextDevice);
WINBOOL WINAPI SimFindDeviceClose(HBLUETOOTH_DEVICE_FIND handle) NW_SYMBOL(SimFindDeviceClose);

HBLUETOOTH_DEVICE_FIND WINAPI SimFindFirstDevice(BLUETOOTH_DEVICE_SEARCH_PARAMS* params,
                                                 BLUETOOTH_DEVICE_INFO* info) {
    return StartEnumeration(params, info);
}

WINBOOL WINAPI SimFindNextDevice(HBLUETOOTH_DEVICE_FIND handle, BLUETOOTH_DEVICE_INFO* info) {
    return NextAnswer(handle, info);
}

WINBOOL WINAPI SimFindDeviceClose(HBLUETOOTH_DEVICE_FIND handle) {
    return CloseEnumeration(handle);
}

}  // extern "C"
