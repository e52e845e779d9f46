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
#include "../../discovery/WinRtAbi.h"

using nw::simradio::Scenario;

// The program loads this library for every scan and unloads it afterwards,
// as it should. Anything here that can throw links in the C++ runtime's
// reserve for exceptions, which takes about 73 KB of heap at each load that
// no unload gives back: a long demo grew by that much a scan. So the library
// is built without exceptions, with the program's own allocator
// (base/Allocation.cpp), and the few runtime pieces that would throw are its
// own: running out of memory in a test stand-in ends the process.

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
    // The radio and the runtime roles write from threads of their own; an
    // append is not atomic everywhere (Wine), so one line at a time.
    static Lock logLock;
    LockGuard guard(logLock);
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

// ---- The simulated Windows Runtime ------------------------------------------------
// NEARWATCH_WINRT points the program here instead of combase.dll. The
// program loads this role once for its whole run (the radio role above is
// loaded per scan); both count their loads apart, and they share the scan
// counter through the process environment. The objects below have the
// published vtables and answer E_NOINTERFACE to anything they do not
// implement; events come from a thread of this library, never the caller's.

namespace {

using namespace nw::winrt;

constexpr uint32_t kStringMagic = 0x48535452u;   // "HSTR"
constexpr HRESULT kIllegalMethodCall = static_cast<HRESULT>(0x8000000Eu);
constexpr HRESULT kBounds = static_cast<HRESULT>(0x8000000Bu);
constexpr DWORD kAdvertiseEveryMs = 100;

struct SimString {
    uint32_t magic;
    uint32_t length;
    wchar_t text[1];
};

// The scan the program's inquiry is in: the counter the radio role keeps.
uint32_t CurrentScan() {
    std::wstring text = Environment(L"NEARWATCH_SIMRADIO_SCAN");
    unsigned long scan = text.empty() ? 0 : wcstoul(text.c_str(), nullptr, 10);
    return scan == 0 ? 1 : static_cast<uint32_t>(scan);
}

bool AnswerCommon(REFIID riid, const GUID& own, void* self, void** object) {
    if (SameGuid(riid, own) || SameGuid(riid, kIidUnknown) || SameGuid(riid, kIidInspectable) ||
        SameGuid(riid, kIidAgileObject)) {
        *object = self;
        return true;
    }
    return false;
}

#define NW_SIM_REFCOUNT                                                                     \
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(::InterlockedIncrement(&refs_)); } \
    ULONG STDMETHODCALLTYPE Release() override {                                            \
        LONG left = ::InterlockedDecrement(&refs_);                                         \
        if (left == 0) delete this;                                                         \
        return static_cast<ULONG>(left);                                                    \
    }                                                                                       \
    HRESULT STDMETHODCALLTYPE GetIids(ULONG* count, IID** iids) override {                  \
        if (count) *count = 0;                                                              \
        if (iids) *iids = nullptr;                                                          \
        return E_NOTIMPL;                                                                   \
    }                                                                                       \
    HRESULT STDMETHODCALLTYPE GetRuntimeClassName(HStr* name) override {                   \
        if (name) *name = nullptr;                                                          \
        return E_NOTIMPL;                                                                   \
    }                                                                                       \
    HRESULT STDMETHODCALLTYPE GetTrustLevel(int32_t* level) override {                     \
        if (!level) return E_POINTER;                                                       \
        *level = 0;                                                                         \
        return S_OK;                                                                        \
    }                                                                                       \
    LONG refs_ = 1;

class SimBuffer final : public IBufferAbi, public IBufferByteAccessAbi {
public:
    explicit SimBuffer(std::string bytes) : bytes_(std::move(bytes)) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        if (AnswerCommon(riid, kIidBuffer, static_cast<IBufferAbi*>(this), object)) {
        } else if (SameGuid(riid, kIidBufferByteAccess)) {
            *object = static_cast<IBufferByteAccessAbi*>(this);
        } else {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    NW_SIM_REFCOUNT
    HRESULT STDMETHODCALLTYPE get_Capacity(uint32_t* value) override { return Size(value); }
    HRESULT STDMETHODCALLTYPE get_Length(uint32_t* value) override { return Size(value); }
    HRESULT STDMETHODCALLTYPE put_Length(uint32_t) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Buffer(uint8_t** value) override {
        if (!value) return E_POINTER;
        *value = reinterpret_cast<uint8_t*>(bytes_.data());
        return S_OK;
    }

private:
    HRESULT Size(uint32_t* value) {
        if (!value) return E_POINTER;
        *value = static_cast<uint32_t>(bytes_.size());
        return S_OK;
    }
    std::string bytes_;
};

class SimSection final : public IDataSectionAbi {
public:
    SimSection(uint8_t type, std::string bytes) : type_(type), buffer_(new SimBuffer(std::move(bytes))) {}
    ~SimSection() { buffer_->Release(); }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        if (!AnswerCommon(riid, kIidDataSection, this, object)) {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    NW_SIM_REFCOUNT
    HRESULT STDMETHODCALLTYPE get_DataType(uint8_t* value) override {
        if (!value) return E_POINTER;
        *value = type_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_DataType(uint8_t) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Data(IBufferAbi** value) override {
        if (!value) return E_POINTER;
        buffer_->AddRef();
        *value = buffer_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_Data(IBufferAbi*) override { return E_NOTIMPL; }

private:
    uint8_t type_;
    SimBuffer* buffer_;
};

class SimSectionVector final : public ISectionVectorAbi {
public:
    ~SimSectionVector() {
        for (SimSection* s : sections_) s->Release();
    }
    void Add(uint8_t type, std::string bytes) { sections_.push_back(new SimSection(type, std::move(bytes))); }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        if (!AnswerCommon(riid, kIidSectionVector, this, object)) {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    NW_SIM_REFCOUNT
    HRESULT STDMETHODCALLTYPE GetAt(uint32_t index, IDataSectionAbi** item) override {
        if (!item) return E_POINTER;
        *item = nullptr;
        if (index >= sections_.size()) return kBounds;
        sections_[index]->AddRef();
        *item = sections_[index];
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Size(uint32_t* size) override {
        if (!size) return E_POINTER;
        *size = static_cast<uint32_t>(sections_.size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetView(IInspectableAbi**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE IndexOf(IDataSectionAbi*, uint32_t*, uint8_t*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetAt(uint32_t, IDataSectionAbi*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE InsertAt(uint32_t, IDataSectionAbi*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RemoveAt(uint32_t) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Append(IDataSectionAbi*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RemoveAtEnd() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Clear() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMany(uint32_t, uint32_t, IDataSectionAbi**, uint32_t*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ReplaceAll(uint32_t, IDataSectionAbi**) override { return E_NOTIMPL; }

private:
    std::vector<SimSection*> sections_;
};

class SimAdvertisement final : public IAdvertisementAbi {
public:
    SimAdvertisement() : sections_(new SimSectionVector) {}
    ~SimAdvertisement() { sections_->Release(); }
    SimSectionVector& Sections() { return *sections_; }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        if (!AnswerCommon(riid, kIidAdvertisement, this, object)) {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    NW_SIM_REFCOUNT
    HRESULT STDMETHODCALLTYPE get_Flags(IInspectableAbi**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_Flags(IInspectableAbi*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_LocalName(HStr*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_LocalName(HStr) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_ServiceUuids(IInspectableAbi**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_ManufacturerData(IInspectableAbi**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_DataSections(ISectionVectorAbi** value) override {
        if (!value) return E_POINTER;
        sections_->AddRef();
        *value = sections_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetManufacturerDataByCompanyId(uint16_t, IInspectableAbi**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetSectionsByType(uint8_t, IInspectableAbi**) override { return E_NOTIMPL; }

private:
    SimSectionVector* sections_;
};

struct Reception {
    uint64_t address = 0;
    int16_t rssi = 0;
    bool random = false;
    bool connectable = true;
    bool scanResponse = false;
    bool args2 = true;
};

class SimReceivedArgs final : public IReceivedArgsAbi, public IReceivedArgs2Abi {
public:
    SimReceivedArgs(const Reception& reception, SimAdvertisement* advertisement)
        : reception_(reception), advertisement_(advertisement) {
        FILETIME now;
        ::GetSystemTimeAsFileTime(&now);
        timestamp_ = static_cast<int64_t>((static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime);
    }
    ~SimReceivedArgs() { advertisement_->Release(); }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        if (AnswerCommon(riid, kIidReceivedArgs, static_cast<IReceivedArgsAbi*>(this), object)) {
        } else if (reception_.args2 && SameGuid(riid, kIidReceivedArgs2)) {
            *object = static_cast<IReceivedArgs2Abi*>(this);
        } else {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    NW_SIM_REFCOUNT
    HRESULT STDMETHODCALLTYPE get_RawSignalStrengthInDBm(int16_t* value) override {
        return Give(value, reception_.rssi);
    }
    HRESULT STDMETHODCALLTYPE get_BluetoothAddress(uint64_t* value) override {
        return Give(value, reception_.address);
    }
    HRESULT STDMETHODCALLTYPE get_AdvertisementType(int32_t* value) override {
        // Connectable undirected 0, non-connectable undirected 3, scan response 4.
        return Give(value, reception_.scanResponse ? 4 : (reception_.connectable ? 0 : 3));
    }
    HRESULT STDMETHODCALLTYPE get_Timestamp(int64_t* value) override { return Give(value, timestamp_); }
    HRESULT STDMETHODCALLTYPE get_Advertisement(IAdvertisementAbi** value) override {
        if (!value) return E_POINTER;
        advertisement_->AddRef();
        *value = advertisement_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_BluetoothAddressType(int32_t* value) override {
        return Give(value, reception_.random ? kAddressRandom : kAddressPublic);
    }
    HRESULT STDMETHODCALLTYPE get_TransmitPowerLevelInDBm(IInspectableAbi** value) override {
        return Give(value, static_cast<IInspectableAbi*>(nullptr));   // none outside extended advertising
    }
    HRESULT STDMETHODCALLTYPE get_IsAnonymous(uint8_t* value) override { return Give(value, uint8_t{0}); }
    HRESULT STDMETHODCALLTYPE get_IsConnectable(uint8_t* value) override {
        return Give(value, static_cast<uint8_t>(reception_.connectable && !reception_.scanResponse));
    }
    HRESULT STDMETHODCALLTYPE get_IsScannable(uint8_t* value) override { return Give(value, uint8_t{1}); }
    HRESULT STDMETHODCALLTYPE get_IsDirected(uint8_t* value) override { return Give(value, uint8_t{0}); }
    HRESULT STDMETHODCALLTYPE get_IsScanResponse(uint8_t* value) override {
        return Give(value, static_cast<uint8_t>(reception_.scanResponse));
    }

private:
    template <typename T, typename V>
    static HRESULT Give(T* out, V value) {
        if (!out) return E_POINTER;
        *out = static_cast<T>(value);
        return S_OK;
    }
    Reception reception_;
    SimAdvertisement* advertisement_;
    int64_t timestamp_ = 0;
};

class SimStoppedArgs final : public IStoppedArgsAbi {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        if (!AnswerCommon(riid, kIidStoppedArgs, this, object)) {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    NW_SIM_REFCOUNT
    HRESULT STDMETHODCALLTYPE get_Error(int32_t* value) override {
        if (!value) return E_POINTER;
        *value = 0;   // the program reads the watcher's status instead
        return S_OK;
    }
};

// An advertisement's data sections as a device would send them; the name
// goes in the scan response.
SimAdvertisement* MakeAdvertisement(const nw::simradio::LeDevice& device, bool scanResponse) {
    auto* advertisement = new SimAdvertisement;
    SimSectionVector& sections = advertisement->Sections();
    if (scanResponse) {
        sections.Add(0x09, device.name);   // complete local name
        return advertisement;
    }
    sections.Add(0x01, std::string(1, '\x06'));   // LE general discoverable, no BR/EDR
    if (device.hasTxPower) sections.Add(0x0A, std::string(1, static_cast<char>(device.txPower)));
    if (device.hasAppearance) {
        char bytes[2] = {static_cast<char>(device.appearance & 0xFF), static_cast<char>(device.appearance >> 8)};
        sections.Add(0x19, std::string(bytes, 2));
    }
    if (!device.uuids.empty()) {
        std::string bytes;
        for (uint16_t uuid : device.uuids) {
            bytes.push_back(static_cast<char>(uuid & 0xFF));
            bytes.push_back(static_cast<char>(uuid >> 8));
        }
        sections.Add(0x03, bytes);   // complete list of 16-bit service UUIDs
    }
    if (device.hasMfr) {
        std::string bytes;
        bytes.push_back(static_cast<char>(device.company & 0xFF));
        bytes.push_back(static_cast<char>(device.company >> 8));
        bytes += device.mfr;
        sections.Add(0xFF, bytes);
    }
    return advertisement;
}

struct HandlerSlot {
    int64_t token;
    IUnknown* handler;   // IReceivedHandlerAbi or IStoppedHandlerAbi, held
};

class SimWatcher final : public IWatcherAbi {
public:
    SimWatcher(bool noArgs2) : noArgs2_(noArgs2) { stopEvent_ = ::CreateEventW(nullptr, TRUE, FALSE, nullptr); }
    ~SimWatcher() {
        for (const HandlerSlot& slot : received_) slot.handler->Release();
        for (const HandlerSlot& slot : stopped_) slot.handler->Release();
        if (stopEvent_) ::CloseHandle(stopEvent_);
    }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        if (!AnswerCommon(riid, kIidWatcher, this, object)) {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    NW_SIM_REFCOUNT
    HRESULT STDMETHODCALLTYPE get_MinSamplingInterval(int64_t*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_MaxSamplingInterval(int64_t*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_MinOutOfRangeTimeout(int64_t*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_MaxOutOfRangeTimeout(int64_t*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Status(int32_t* value) override {
        if (!value) return E_POINTER;
        *value = status_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_ScanningMode(int32_t* value) override {
        if (!value) return E_POINTER;
        *value = mode_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_ScanningMode(int32_t value) override {
        mode_ = value;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_SignalStrengthFilter(IInspectableAbi**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_SignalStrengthFilter(IInspectableAbi*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_AdvertisementFilter(IInspectableAbi**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_AdvertisementFilter(IInspectableAbi*) override { return E_NOTIMPL; }

    HRESULT STDMETHODCALLTYPE Start() override {
        if (thread_ || status_ == kWatcherStarted) return kIllegalMethodCall;
        Scenario scenario;
        ReadScenario(scenario);
        aborted_ = scenario.leAborted;
        stopAfterMs_ = scenario.leStopAfterMs;
        status_ = kWatcherStarted;
        ::ResetEvent(stopEvent_);
        AddRef();   // the thread's
        thread_ = ::CreateThread(nullptr, 0, ThreadMain, this, 0, &threadId_);
        if (!thread_) {
            status_ = kWatcherAborted;
            Release();
            return E_FAIL;
        }
        Log("le start scan %u ms %llu", CurrentScan(), static_cast<unsigned long long>(::GetTickCount64()));
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Stop() override {
        if (!thread_) return S_OK;
        ::SetEvent(stopEvent_);
        if (::GetCurrentThreadId() != threadId_) ::WaitForSingleObject(thread_, 5000);
        ::CloseHandle(thread_);
        thread_ = nullptr;
        if (status_ == kWatcherStarted) {
            status_ = kWatcherStopped;
            FireStopped();
        }
        Log("le stop ms %llu", static_cast<unsigned long long>(::GetTickCount64()));
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE add_Received(IReceivedHandlerAbi* handler, EventToken* token) override {
        return Add(received_, handler, token);
    }
    HRESULT STDMETHODCALLTYPE remove_Received(EventToken token) override { return Remove(received_, token); }
    HRESULT STDMETHODCALLTYPE add_Stopped(IStoppedHandlerAbi* handler, EventToken* token) override {
        return Add(stopped_, handler, token);
    }
    HRESULT STDMETHODCALLTYPE remove_Stopped(EventToken token) override { return Remove(stopped_, token); }

private:
    HRESULT Add(std::vector<HandlerSlot>& slots, IUnknown* handler, EventToken* token) {
        if (!handler || !token) return E_POINTER;
        LockGuard guard(handlersLock_);
        handler->AddRef();
        token->value = ++lastToken_;
        slots.push_back({token->value, handler});
        return S_OK;
    }
    HRESULT Remove(std::vector<HandlerSlot>& slots, EventToken token) {
        IUnknown* handler = nullptr;
        {
            LockGuard guard(handlersLock_);
            for (size_t i = 0; i < slots.size(); ++i) {
                if (slots[i].token != token.value) continue;
                handler = slots[i].handler;
                slots.erase(slots.begin() + static_cast<std::ptrdiff_t>(i));
                break;
            }
        }
        if (handler) handler->Release();
        return S_OK;
    }
    // The handlers of the moment, held, so none goes while it is called.
    std::vector<IUnknown*> Snapshot(const std::vector<HandlerSlot>& slots) {
        LockGuard guard(handlersLock_);
        std::vector<IUnknown*> handlers;
        for (const HandlerSlot& slot : slots) {
            slot.handler->AddRef();
            handlers.push_back(slot.handler);
        }
        return handlers;
    }
    void FireStopped() {
        auto* args = new SimStoppedArgs;
        for (IUnknown* handler : Snapshot(stopped_)) {
            static_cast<IStoppedHandlerAbi*>(handler)->Invoke(this, args);
            handler->Release();
        }
        args->Release();
    }
    void FireReceived(const nw::simradio::LeDevice& device, bool scanResponse) {
        Reception reception;
        reception.address = device.address;
        reception.rssi = static_cast<int16_t>(device.rssi);
        reception.random = device.random;
        reception.connectable = device.connectable;
        reception.scanResponse = scanResponse;
        reception.args2 = !noArgs2_;
        auto* args = new SimReceivedArgs(reception, MakeAdvertisement(device, scanResponse));
        for (IUnknown* handler : Snapshot(received_)) {
            static_cast<IReceivedHandlerAbi*>(handler)->Invoke(this, args);
            handler->Release();
        }
        args->Release();
    }

    static DWORD WINAPI ThreadMain(void* param) {
        auto* self = static_cast<SimWatcher*>(param);
        self->Advertise();
        self->Release();
        return 0;
    }

    void Advertise() {
        if (aborted_) {
            // The radio is off: the watcher ends at once as Aborted.
            status_ = kWatcherAborted;
            Log("le aborted ms %llu", static_cast<unsigned long long>(::GetTickCount64()));
            FireStopped();
            return;
        }
        const ULONGLONG start = ::GetTickCount64();
        uint32_t scenarioScan = 0;
        Scenario scenario;
        for (;;) {
            const uint32_t scan = CurrentScan();
            if (scan != scenarioScan) {
                // Read again with each inquiry, as the radio role does.
                scenario = Scenario();
                ReadScenario(scenario);
                scenarioScan = scan;
            }
            if (stopAfterMs_ && ::GetTickCount64() - start >= stopAfterMs_) {
                status_ = kWatcherStopped;
                Log("le stopped itself ms %llu", static_cast<unsigned long long>(::GetTickCount64()));
                FireStopped();
                return;
            }
            for (const auto& device : scenario.leDevices) {
                if (!device.InScan(scan)) continue;
                FireReceived(device, false);
                if (!device.name.empty()) FireReceived(device, true);
            }
            if (::WaitForSingleObject(stopEvent_, kAdvertiseEveryMs) == WAIT_OBJECT_0) return;
        }
    }

    bool noArgs2_;
    bool aborted_ = false;
    uint32_t stopAfterMs_ = 0;
    volatile LONG status_ = kWatcherCreated;
    int32_t mode_ = 0;
    HANDLE stopEvent_ = nullptr;
    HANDLE thread_ = nullptr;
    DWORD threadId_ = 0;
    Lock handlersLock_;
    int64_t lastToken_ = 0;
    std::vector<HandlerSlot> received_;
    std::vector<HandlerSlot> stopped_;
};

HRESULT ActivateInstance(HStr classId, IInspectableAbi** instance) {
    if (!instance) return E_POINTER;
    *instance = nullptr;
    auto* name = reinterpret_cast<SimString*>(classId);
    if (!name || name->magic != kStringMagic || wcscmp(name->text, kWatcherClass) != 0) return REGDB_E_CLASSNOTREG;
    Scenario scenario;
    ReadScenario(scenario);
    if (scenario.leAbsent) {
        Log("le activation refused: absent");
        return REGDB_E_CLASSNOTREG;
    }
    *instance = new SimWatcher(scenario.leNoArgs2);
    return S_OK;
}

HRESULT CreateString(const wchar_t* text, uint32_t length, HStr* string) {
    if (!string) return E_INVALIDARG;
    *string = nullptr;
    if (length == 0) return S_OK;
    if (!text || length > 0x100000) return E_INVALIDARG;
    auto* s = static_cast<SimString*>(std::malloc(sizeof(SimString) + length * sizeof(wchar_t)));
    if (!s) return E_OUTOFMEMORY;
    s->magic = kStringMagic;
    s->length = length;
    memcpy(s->text, text, length * sizeof(wchar_t));
    s->text[length] = 0;
    *string = reinterpret_cast<HStr>(s);
    return S_OK;
}

HRESULT DeleteString(HStr string) {
    auto* s = reinterpret_cast<SimString*>(string);
    if (s && s->magic == kStringMagic) {
        s->magic = 0;
        std::free(s);
    }
    return S_OK;
}

}  // namespace

extern "C" {

HRESULT WINAPI SimRoInitialize(int32_t type) NW_SYMBOL(SimRoInitialize);
void WINAPI SimRoUninitialize() NW_SYMBOL(SimRoUninitialize);
HRESULT WINAPI SimRoActivateInstance(HStr classId, IInspectableAbi** instance) NW_SYMBOL(SimRoActivateInstance);
HRESULT WINAPI SimWindowsCreateString(const wchar_t* text, uint32_t length, HStr* string)
    NW_SYMBOL(SimWindowsCreateString);
HRESULT WINAPI SimWindowsDeleteString(HStr string) NW_SYMBOL(SimWindowsDeleteString);

HRESULT WINAPI SimRoInitialize(int32_t type) { return type == kRoInitMultithreaded || type == 0 ? S_OK : E_INVALIDARG; }
void WINAPI SimRoUninitialize() {}
HRESULT WINAPI SimRoActivateInstance(HStr classId, IInspectableAbi** instance) {
    return ActivateInstance(classId, instance);
}
HRESULT WINAPI SimWindowsCreateString(const wchar_t* text, uint32_t length, HStr* string) {
    return CreateString(text, length, string);
}
HRESULT WINAPI SimWindowsDeleteString(HStr string) { return DeleteString(string); }

}  // extern "C"
