#include "alerts/NewDeviceActions.h"
#include "alerts/AlertCommands.h"
#include "alerts/TrayIconControl.h"
#include "base/BluetoothAddress.h"
#include "discovery/DeviceRecord.h"
#include "base/Handles.h"
#include "base/Text.h"
#include "lang/Strings.h"
#include "listview/ReportListView.h"
#include "settings/Settings.h"
#include "resource.h"
#include <sapi.h>
#include <atomic>
#include <cwchar>

namespace nw {

namespace {

// Declared here rather than taken from the SDK's import library, which not
// every toolchain ships with the speech GUIDs.
const CLSID kClsidSpVoice = {0x96749377, 0x3391, 0x11D2, {0x9E, 0xE3, 0x00, 0xC0, 0x4F, 0x79, 0x73, 0x96}};
const IID kIidSpVoice = {0x6C44DF74, 0x72B9, 0x4992, {0xA1, 0xEC, 0xEF, 0x99, 0x6E, 0x04, 0x22, 0xD4}};

// ---- Platform calls -----------------------------------------------------------

// The expanded text is the whole command line: program and arguments as the
// user wrote them. Nothing is waited for; a failure is not reported.
void StartProcess(const wchar_t* commandLine) {
    std::wstring buffer(commandLine);   // CreateProcessW may write into it
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (::CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                         &process)) {
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
    }
}

void Beep() { ::MessageBeep(MB_ICONASTERISK); }

void Speak(const wchar_t* text) {
    ComInit com;
    if (!com.ok()) return;
    ISpVoice* voice = nullptr;
    if (FAILED(::CoCreateInstance(kClsidSpVoice, nullptr, CLSCTX_ALL, kIidSpVoice,
                                  reinterpret_cast<void**>(&voice))) || !voice) {
        return;
    }
    voice->Speak(text, SPF_DEFAULT, nullptr);   // returns when spoken
    voice->Release();
}

const AlertHooks* g_hooks = nullptr;

// Started on the queue's thread (see AlertCommands.h); the hook in force now
// is the one that starts it.
void CallStartProcess(const wchar_t* commandLine) {
    AlertCommandQueue().Push(commandLine, g_hooks && g_hooks->startProcess ? g_hooks->startProcess : StartProcess);
}

void CallBeep() {
    if (g_hooks && g_hooks->beep) g_hooks->beep();
    else Beep();
}

const DeviceRecord* ListRowAt(const void* context, int row) {
    const ListRecord* record = static_cast<const ReportListView*>(context)->RowRecord(row);
    return static_cast<const DeviceRecord*>(record);
}

const DeviceRecord* ArrayRowAt(const void* context, int row) {
    return static_cast<const DeviceRecord* const*>(context)[row];
}

// A template read from the configuration is a fixed buffer: never read past it.
std::wstring TemplateText(const wchar_t* templ) { return std::wstring(templ, wcsnlen(templ, kTemplateChars)); }

}  // namespace

void SetAlertHooksForTesting(const AlertHooks* hooks) { g_hooks = hooks; }

void StartAlertCommand(const wchar_t* commandLine) { CallStartProcess(commandLine); }

DeviceTexts DeviceTextsOf(const DeviceRecord& record, DeviceTextBuffers& buffers) {
    CopyText(buffers.name, sizeof(buffers.name) / sizeof(buffers.name[0]), record.info.szName);
    CopyText(buffers.description, sizeof(buffers.description) / sizeof(buffers.description[0]),
             record.description);
    FormatAddress(DeviceAddress(record), buffers.address);
    return DeviceTexts{buffers.name, buffers.description, buffers.address};
}

void ExpandDeviceVariables(const wchar_t* templ, const DeviceRecord& record, ExpandTarget target,
                           std::wstring& out) {
    DeviceTextBuffers buffers;
    ExpandDeviceVariables(templ, DeviceTextsOf(record, buffers), target, out);
}

// ---- Speech ---------------------------------------------------------------------

// What the speech thread reads. The window thread and each running speech
// thread hold one reference apiece, so closing the program while a sentence
// is spoken frees nothing that the thread still reads.
struct NewDeviceActions::SpeechState {
    std::atomic<int> references{1};
    // 1 from just before a thread starts until it has finished with text. The
    // thread's release store pairs with the window thread's acquire load:
    // once 0 is seen, text belongs to the window thread again.
    std::atomic<int> busy{0};
    std::wstring text;
    void (*speak)(const wchar_t*) = nullptr;   // fixed when the thread starts

    void AddRef() { references.fetch_add(1, std::memory_order_relaxed); }
    void Release() {
        if (references.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
    }
};

// Speaks synchronously, then hands text back and drops its reference, which
// frees the state when the window side is gone already.
DWORD WINAPI NewDeviceActions::SpeechThread(void* parameter) {
    auto* state = static_cast<SpeechState*>(parameter);
    state->speak(state->text.c_str());
    state->busy.store(0, std::memory_order_release);
    state->Release();
    return 0;
}

NewDeviceActions::NewDeviceActions() : speech_(new SpeechState) {}

NewDeviceActions::~NewDeviceActions() { speech_->Release(); }

bool NewDeviceActions::SpeechBusy() const { return speech_->busy.load(std::memory_order_acquire) != 0; }

void NewDeviceActions::StartSpeech() {
    speech_->speak = (g_hooks && g_hooks->speak) ? g_hooks->speak : Speak;
    speech_->busy.store(1, std::memory_order_release);
    speech_->AddRef();   // the thread's reference
    HANDLE thread = ::CreateThread(nullptr, 0, SpeechThread, speech_, 0, nullptr);
    if (thread) {
        ::CloseHandle(thread);
        return;
    }
    speech_->busy.store(0, std::memory_order_release);
    speech_->Release();
}

// ---- The pass -------------------------------------------------------------------

void NewDeviceActions::Run(ReportListView& list, const Settings& settings, TrayIconControl& tray,
                           HWND mainWindow, HICON balloonIcon) {
    Pass(&list, ListRowAt, list.RowCount(), settings, tray, mainWindow, balloonIcon);
}

void NewDeviceActions::RunOnRecords(const DeviceRecord* const* rows, int count, const Settings& settings,
                                    TrayIconControl& tray, HWND mainWindow, HICON balloonIcon) {
    Pass(rows, ArrayRowAt, count, settings, tray, mainWindow, balloonIcon);
}

// Runs on the window thread from the scan-completion handler.
void NewDeviceActions::Pass(const void* context, RowAt rowAt, int count, const Settings& settings,
                            TrayIconControl& tray, HWND mainWindow, HICON balloonIcon) {
    const bool speakNew = settings.alerts.UseNewDeviceSpeak != 0;
    const bool executeNew = settings.alerts.UseNewDeviceExecute != 0;
    const bool balloonNew = settings.DisplayBalloonOnNewDevice && settings.TrayIcon;
    // Devices that appear while a sentence is being spoken are not spoken.
    const bool maySpeak = speech_->busy.load(std::memory_order_acquire) == 0;
    bool foundNew = false;
    balloon_.Clear();
    if (maySpeak) speech_->text.clear();
    std::wstring speakTemplate, executeTemplate, expanded;
    if (speakNew) speakTemplate = TemplateText(settings.alerts.NewDeviceSpeak);
    if (executeNew) executeTemplate = TemplateText(settings.alerts.NewDeviceExecute);

    for (int row = count - 1; row >= 0; --row) {
        const DeviceRecord* record = rowAt(context, row);
        if (!record || !record->isNew) continue;
        foundNew = true;
        DeviceTextBuffers buffers;
        DeviceTexts device = DeviceTextsOf(*record, buffers);
        if (maySpeak && speakNew) {
            ExpandDeviceVariables(speakTemplate.c_str(), device, ExpandTarget::Speech, expanded);
            speech_->text += expanded;
            speech_->text += L' ';
        }
        if (executeNew) {
            ExpandDeviceVariables(executeTemplate.c_str(), device, ExpandTarget::CommandLine, expanded);
            CallStartProcess(expanded.c_str());
        }
        if (settings.BeepOnNewDevice) CallBeep();
        if (balloonNew) balloon_.AddDevice(device);
    }

    if (foundNew) {
        if (settings.OpenWindowOnNewDevice) ::ShowWindow(mainWindow, SW_SHOWNORMAL);
        if (balloonNew) {
            tray.ShowBalloon(balloon_.Text(), GetString(IDS_BALLOON_TITLE), balloonIcon);
            balloonShown_ = 1;
        }
    }
    if (maySpeak && !speech_->text.empty()) StartSpeech();
}

void NewDeviceActions::RemoveBalloonIfShown(TrayIconControl& tray) {
    if (!balloonShown_) return;
    tray.ShowBalloon(L"", L"", nullptr);
    balloonShown_ = 0;
}

}  // namespace nw
