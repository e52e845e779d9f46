// The few Windows Runtime interfaces the Low Energy watcher needs, declared
// here because mingw-w64 ships none of them. Only the slots the program (and
// the simulated runtime of the tests) calls are relied on, but every slot
// before them is declared so the offsets come out right.
//
// Each fact was checked in two public sources before use (repository, path):
//   W  = wine-mirror/wine include/windows.devices.bluetooth.advertisement.idl
//   R  = microsoft/windows-rs crates/libs/windows/src/Windows/Devices/Bluetooth/Advertisement/mod.rs
//   S  = tpn/winsdk-10 Include/10.0.16299.0/winrt/windows.devices.bluetooth.advertisement.h (Windows SDK)
//   H  = fourst4r/winrt.externs src/winrt/windows/devices/bluetooth/advertisement/*.hx (member order)
//   M  = the mingw-w64 headers this build uses (inspectable.h, roapi.h, winstring.h,
//        windows.storage.streams.h)
//   P  = the parameterized-interface rule (SHA-1 over the type signature), which reproduces the
//        two delegate IIDs the issue lists, and so the IVector IID it gives
//   L  = Microsoft Learn, Windows.Devices.Bluetooth.Advertisement reference pages of the three
//        enumerations (BluetoothLEAdvertisementWatcherStatus, BluetoothLEScanningMode,
//        BluetoothLEAdvertisementType)
//
//   watcher a6ac336f..., slots 6-22 (Min/MaxSamplingInterval, Min/MaxOutOfRangeTimeout, Status,
//     get/put ScanningMode, get/put SignalStrengthFilter, get/put AdvertisementFilter, Start, Stop,
//     add/remove Received, add/remove Stopped) ...................................... W, R
//   watcher status Created 0, Started 1, Stopping 2, Stopped 3, Aborted 4; scanning mode
//     Passive 0, Active 1; advertisement type ConnectableUndirected 0 ... ScanResponse 4 .. W, L
//   received args 27987ddf..., slots 6-10 (RawSignalStrengthInDBm INT16, BluetoothAddress UINT64,
//     AdvertisementType, Timestamp DateTime, Advertisement) ........................... W, R
//   received args 2 12d9c87b..., slots 6-12 (BluetoothAddressType, TransmitPowerLevelInDBm
//     IReference<INT16>, IsAnonymous, IsConnectable, IsScannable, IsDirected, IsScanResponse) .. W, R, H
//   advertisement 066fb2b7..., slots 6-14, DataSections at 12 ............................. W, R
//   data section d7213314..., get/put DataType BYTE 6-7, get/put Data IBuffer 8-9 .......... W, R
//   stopped args dd40f84d..., get_Error 6 ................................................ W, R
//   IVector<DataSection> b6f71ad2-e2cf-5d54-b6f1-90964ee5d4da .............................. S, P
//   IVector slots GetAt 6, get_Size 7 (then GetView, IndexOf, SetAt, InsertAt, RemoveAt, Append,
//     RemoveAtEnd, Clear, GetMany, ReplaceAll) .... halildurmus/dartwinrt
//     packages/winrtgen/test/goldens/ivector_part.golden (GetAt at 6, IndexOf at 9),
//     ynkdir/py-win32more Windows.Foundation.Collections (winrt_commethod 6 GetAt, 7 get_Size ...)
//   IBuffer 905a0fe0-bc53-11df-8c49-001e4fc686da, get_Capacity 6, get_Length 7, put_Length 8 .. M,
//     compnerd/swift-winrt Sources/WinRT/ABI/Windows/Storage/Streams/IBuffer.swift
//   IBufferByteAccess 905a0fef-bc53-11df-8c49-001e4fc686da : IUnknown, Buffer(BYTE**) at 3 ...
//     wine-mirror/wine include/robuffer.idl, tristanlabelle/swift-winrt
//     Support/Sources/CWinRTCore/include/IBufferByteAccess.h (slot), terrafx/terrafx.interop.windows
//     sources/Interop/Windows/winrt/robuffer/Windows.Manual.cs (IID)
//   IAgileObject 94ea2b94-e9cc-49e0-c0ff-ee64ca8f5b90 : IUnknown, no methods ...
//     dotnet/corefx src/System.Runtime.WindowsRuntime/src/System/Runtime/InteropServices/IAgileObject.cs,
//     halildurmus/win32 lib/src/system/com/IAgileObject.dart
//   IInspectable af86e2e0-b12d-4c6a-9c5a-d7aa65101e90: GetIids, GetRuntimeClassName, GetTrustLevel
//     at 3-5 ......... M, microsoft/windows-rs src/object.rs, smourier/DirectN DirectN/Manual/IInspectable.cs
//   TypedEventHandler<Watcher, ReceivedEventArgs> 90eb4eca-d465-5ea0-a61c-033c8c5ecef2 and
//     <Watcher, StoppedEventArgs> 9936a4db-dc99-55c3-9e9b-bf4854bd9eab, IUnknown then Invoke(sender,
//     args) at 3 ..................................................... listed in issue 19, P
//   BluetoothAddressType Public 0, Random 1, Unspecified 2 ... microsoft/cppwinrt
//     10.0.16299.0/winrt/impl/Windows.Devices.Bluetooth.0.h, AlienMaster815/LouOsKrnl
//     .../10.0.18362.0/cppwinrt/winrt/impl/Windows.Devices.Bluetooth.0.h
//   RoInitialize(RO_INIT_MULTITHREADED = 1), RoUninitialize, RoActivateInstance(HSTRING,
//     IInspectable**), WindowsCreateString(LPCWSTR, UINT32, HSTRING*), WindowsDeleteString(HSTRING)
//     ...... M, tristanlabelle/swift-winrt Support/Sources/WindowsRuntime_ABI/include/SWRT/roapi.h,
//     CaseyCarter/cppwinrt Compiler/Source/modern/base_dependencies.h; combase.dll exports them
//     (MicrosoftDocs/sdk-api sdk-api-src/content/roapi/nf-roapi-roinitialize.md)
//
// TransmitPowerLevelInDBm is an IReference<INT16>; it is not read: the
// transmit power a device advertises also arrives as its own data section.
#pragma once
#include <windows.h>
#include <unknwn.h>
#include <cstdint>

namespace nw::winrt {

struct HStringOpaque;
using HStr = HStringOpaque*;

struct EventToken {
    int64_t value;
};

constexpr int32_t kRoInitMultithreaded = 1;

enum WatcherStatus : int32_t {
    kWatcherCreated = 0,
    kWatcherStarted = 1,
    kWatcherStopping = 2,
    kWatcherStopped = 3,
    kWatcherAborted = 4,
};

constexpr int32_t kScanningActive = 1;
constexpr int32_t kAdvertisementScanResponse = 4;
constexpr int32_t kAddressPublic = 0;
constexpr int32_t kAddressRandom = 1;

// {a6ac336f-f3d3-4297-8d6c-c81ea6623f40}
constexpr GUID kIidWatcher = {0xa6ac336f, 0xf3d3, 0x4297, {0x8d, 0x6c, 0xc8, 0x1e, 0xa6, 0x62, 0x3f, 0x40}};
// {27987ddf-e596-41be-8d43-9e6731d4a913}
constexpr GUID kIidReceivedArgs = {0x27987ddf, 0xe596, 0x41be, {0x8d, 0x43, 0x9e, 0x67, 0x31, 0xd4, 0xa9, 0x13}};
// {12d9c87b-0399-5f0e-a348-53b02b6b162e}
constexpr GUID kIidReceivedArgs2 = {0x12d9c87b, 0x0399, 0x5f0e, {0xa3, 0x48, 0x53, 0xb0, 0x2b, 0x6b, 0x16, 0x2e}};
// {066fb2b7-33d1-4e7d-8367-cf81d0f79653}
constexpr GUID kIidAdvertisement = {0x066fb2b7, 0x33d1, 0x4e7d, {0x83, 0x67, 0xcf, 0x81, 0xd0, 0xf7, 0x96, 0x53}};
// {d7213314-3a43-40f9-b6f0-92bfefc34ae3}
constexpr GUID kIidDataSection = {0xd7213314, 0x3a43, 0x40f9, {0xb6, 0xf0, 0x92, 0xbf, 0xef, 0xc3, 0x4a, 0xe3}};
// {dd40f84d-e7b9-43e3-9c04-0685d085fd8c}
constexpr GUID kIidStoppedArgs = {0xdd40f84d, 0xe7b9, 0x43e3, {0x9c, 0x04, 0x06, 0x85, 0xd0, 0x85, 0xfd, 0x8c}};
// {b6f71ad2-e2cf-5d54-b6f1-90964ee5d4da}: IVector<BluetoothLEAdvertisementDataSection>
constexpr GUID kIidSectionVector = {0xb6f71ad2, 0xe2cf, 0x5d54, {0xb6, 0xf1, 0x90, 0x96, 0x4e, 0xe5, 0xd4, 0xda}};
// {905a0fe0-bc53-11df-8c49-001e4fc686da}
constexpr GUID kIidBuffer = {0x905a0fe0, 0xbc53, 0x11df, {0x8c, 0x49, 0x00, 0x1e, 0x4f, 0xc6, 0x86, 0xda}};
// {905a0fef-bc53-11df-8c49-001e4fc686da}
constexpr GUID kIidBufferByteAccess = {0x905a0fef, 0xbc53, 0x11df, {0x8c, 0x49, 0x00, 0x1e, 0x4f, 0xc6, 0x86, 0xda}};
// {94ea2b94-e9cc-49e0-c0ff-ee64ca8f5b90}
constexpr GUID kIidAgileObject = {0x94ea2b94, 0xe9cc, 0x49e0, {0xc0, 0xff, 0xee, 0x64, 0xca, 0x8f, 0x5b, 0x90}};
// {af86e2e0-b12d-4c6a-9c5a-d7aa65101e90}
constexpr GUID kIidInspectable = {0xaf86e2e0, 0xb12d, 0x4c6a, {0x9c, 0x5a, 0xd7, 0xaa, 0x65, 0x10, 0x1e, 0x90}};
// {00000000-0000-0000-c000-000000000046}
constexpr GUID kIidUnknown = {0x00000000, 0x0000, 0x0000, {0xc0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
// {90eb4eca-d465-5ea0-a61c-033c8c5ecef2}
constexpr GUID kIidReceivedHandler = {0x90eb4eca, 0xd465, 0x5ea0, {0xa6, 0x1c, 0x03, 0x3c, 0x8c, 0x5e, 0xce, 0xf2}};
// {9936a4db-dc99-55c3-9e9b-bf4854bd9eab}
constexpr GUID kIidStoppedHandler = {0x9936a4db, 0xdc99, 0x55c3, {0x9e, 0x9b, 0xbf, 0x48, 0x54, 0xbd, 0x9e, 0xab}};

inline bool SameGuid(const GUID& a, const GUID& b) {
    return a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3 &&
           *reinterpret_cast<const uint64_t*>(a.Data4) == *reinterpret_cast<const uint64_t*>(b.Data4);
}

// Slots 0-5.
struct IInspectableAbi : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetIids(ULONG* count, IID** iids) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetRuntimeClassName(HStr* name) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTrustLevel(int32_t* level) = 0;
};

struct IBufferAbi : IInspectableAbi {
    virtual HRESULT STDMETHODCALLTYPE get_Capacity(uint32_t* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Length(uint32_t* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Length(uint32_t value) = 0;
};

struct IBufferByteAccessAbi : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Buffer(uint8_t** value) = 0;
};

struct IDataSectionAbi : IInspectableAbi {
    virtual HRESULT STDMETHODCALLTYPE get_DataType(uint8_t* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_DataType(uint8_t value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Data(IBufferAbi** value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Data(IBufferAbi* value) = 0;
};

// IVector<BluetoothLEAdvertisementDataSection>.
struct ISectionVectorAbi : IInspectableAbi {
    virtual HRESULT STDMETHODCALLTYPE GetAt(uint32_t index, IDataSectionAbi** item) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Size(uint32_t* size) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetView(IInspectableAbi** view) = 0;
    virtual HRESULT STDMETHODCALLTYPE IndexOf(IDataSectionAbi* item, uint32_t* index, uint8_t* found) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetAt(uint32_t index, IDataSectionAbi* item) = 0;
    virtual HRESULT STDMETHODCALLTYPE InsertAt(uint32_t index, IDataSectionAbi* item) = 0;
    virtual HRESULT STDMETHODCALLTYPE RemoveAt(uint32_t index) = 0;
    virtual HRESULT STDMETHODCALLTYPE Append(IDataSectionAbi* item) = 0;
    virtual HRESULT STDMETHODCALLTYPE RemoveAtEnd() = 0;
    virtual HRESULT STDMETHODCALLTYPE Clear() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMany(uint32_t start, uint32_t capacity, IDataSectionAbi** items,
                                              uint32_t* actual) = 0;
    virtual HRESULT STDMETHODCALLTYPE ReplaceAll(uint32_t count, IDataSectionAbi** items) = 0;
};

struct IAdvertisementAbi : IInspectableAbi {
    virtual HRESULT STDMETHODCALLTYPE get_Flags(IInspectableAbi** value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Flags(IInspectableAbi* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_LocalName(HStr* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_LocalName(HStr value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ServiceUuids(IInspectableAbi** value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ManufacturerData(IInspectableAbi** value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_DataSections(ISectionVectorAbi** value) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetManufacturerDataByCompanyId(uint16_t company, IInspectableAbi** value) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSectionsByType(uint8_t type, IInspectableAbi** value) = 0;
};

struct IReceivedArgsAbi : IInspectableAbi {
    virtual HRESULT STDMETHODCALLTYPE get_RawSignalStrengthInDBm(int16_t* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_BluetoothAddress(uint64_t* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_AdvertisementType(int32_t* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Timestamp(int64_t* value) = 0;   // DateTime: FILETIME ticks
    virtual HRESULT STDMETHODCALLTYPE get_Advertisement(IAdvertisementAbi** value) = 0;
};

// Windows 10 2004 and later.
struct IReceivedArgs2Abi : IInspectableAbi {
    virtual HRESULT STDMETHODCALLTYPE get_BluetoothAddressType(int32_t* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_TransmitPowerLevelInDBm(IInspectableAbi** value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_IsAnonymous(uint8_t* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_IsConnectable(uint8_t* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_IsScannable(uint8_t* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_IsDirected(uint8_t* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_IsScanResponse(uint8_t* value) = 0;
};

struct IStoppedArgsAbi : IInspectableAbi {
    virtual HRESULT STDMETHODCALLTYPE get_Error(int32_t* value) = 0;
};

struct IWatcherAbi;

struct IReceivedHandlerAbi : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Invoke(IWatcherAbi* sender, IReceivedArgsAbi* args) = 0;
};

struct IStoppedHandlerAbi : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Invoke(IWatcherAbi* sender, IStoppedArgsAbi* args) = 0;
};

struct IWatcherAbi : IInspectableAbi {
    virtual HRESULT STDMETHODCALLTYPE get_MinSamplingInterval(int64_t* value) = 0;   // TimeSpan
    virtual HRESULT STDMETHODCALLTYPE get_MaxSamplingInterval(int64_t* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_MinOutOfRangeTimeout(int64_t* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_MaxOutOfRangeTimeout(int64_t* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Status(int32_t* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ScanningMode(int32_t* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_ScanningMode(int32_t value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_SignalStrengthFilter(IInspectableAbi** value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_SignalStrengthFilter(IInspectableAbi* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_AdvertisementFilter(IInspectableAbi** value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_AdvertisementFilter(IInspectableAbi* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE Start() = 0;
    virtual HRESULT STDMETHODCALLTYPE Stop() = 0;
    virtual HRESULT STDMETHODCALLTYPE add_Received(IReceivedHandlerAbi* handler, EventToken* token) = 0;
    virtual HRESULT STDMETHODCALLTYPE remove_Received(EventToken token) = 0;
    virtual HRESULT STDMETHODCALLTYPE add_Stopped(IStoppedHandlerAbi* handler, EventToken* token) = 0;
    virtual HRESULT STDMETHODCALLTYPE remove_Stopped(EventToken token) = 0;
};

// combase.dll's entry points, bound by name.
using RoInitializeFn = HRESULT(WINAPI*)(int32_t type);
using RoUninitializeFn = void(WINAPI*)();
using RoActivateInstanceFn = HRESULT(WINAPI*)(HStr classId, IInspectableAbi** instance);
using WindowsCreateStringFn = HRESULT(WINAPI*)(const wchar_t* text, uint32_t length, HStr* string);
using WindowsDeleteStringFn = HRESULT(WINAPI*)(HStr string);

constexpr wchar_t kWatcherClass[] = L"Windows.Devices.Bluetooth.Advertisement.BluetoothLEAdvertisementWatcher";

}  // namespace nw::winrt
