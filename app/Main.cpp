// Program entry: prepares the process, reads the command line, creates the
// main window, runs the message loop and tears everything down.
#include <winsock2.h>
#include <windows.h>
#include <commctrl.h>
#include <memory>
#include "app/CommandLine.h"
#include "app/KeyRouting.h"
#include "app/MainWindow.h"
#include "batch/BatchRun.h"
#include "frame/Frame.h"
#include "frame/Dpi.h"
#include "base/Paths.h"
#include "lang/LanguageFile.h"
#include "resource.h"

namespace {

using InitCommonControlsExFn = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);

constexpr DWORD kAllControlClasses = 0xFF;   // list, tree, bars, tabs, up-down, progress, hot-key, animation
constexpr UINT kErrorMode = SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX;

// comctl32 is asked for its entry point at run time, so a system without
// InitCommonControlsEx still starts through the old call.
bool InitCommonControlsAtRunTime() {
    HMODULE module = nullptr;
    // The loaded copy first: with the manifest it is the version-6 library
    // from the side-by-side store, which the system folder would not give.
    if (!::GetModuleHandleExW(0, L"comctl32.dll", &module)) module = nw::LoadSystemLibrary(L"comctl32.dll");
    auto init = module ? nw::LibraryEntry<InitCommonControlsExFn>(module, "InitCommonControlsEx") : nullptr;
    bool ok = true;
    if (init) {
        INITCOMMONCONTROLSEX record = {};
        record.dwSize = sizeof record;
        record.dwICC = kAllControlClasses;
        ok = init(&record) != FALSE;
    } else {
        ::InitCommonControls();
    }
    if (module) ::FreeLibrary(module);
    return ok;
}

// Creates and shows the main window and runs the loop. Returns the exit code.
int RunMainWindow(nw::MainWindow& main, HINSTANCE instance) {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = nw::SharedWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = main.ClassIcon();
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    windowClass.lpszClassName = main.ClassName();
    if (!::RegisterClassW(&windowClass)) return 1;

    // 640 x 480 at 100 %; the screen's scale makes it larger.
    const UINT dpi = nw::SystemDpi();
    HWND window = ::CreateWindowExW(0, main.ClassName(), L"Nearwatch", WS_OVERLAPPEDWINDOW, 0, 0,
                                    nw::ScaleForDpi(640, dpi), nw::ScaleForDpi(480, dpi), nullptr, nullptr,
                                    instance, &main);
    // Without its window the program would run on unseen: end instead.
    if (!window) return 1;
    ::ShowWindow(window, main.Placement().showCmd == SW_SHOWMAXIMIZED ? SW_SHOWMAXIMIZED : SW_SHOW);
    ::UpdateWindow(window);

    HACCEL accelerators = ::LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDA_MAIN));
    MSG msg;
    for (;;) {
        BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0 || got == -1) break;
        HWND mainWindow = main.Window();
        HWND find = main.FindDialog();
        // Delete or Ctrl+C typed into the find box edit the search text; they
        // must not remove or copy the list's rows. Other accelerators still work.
        bool findKeyForText = find && (msg.hwnd == find || ::IsChild(find, msg.hwnd)) &&
                              nw::IsTextEditingKey(msg.message, msg.wParam, ::GetKeyState(VK_CONTROL) < 0,
                                                   ::GetKeyState(VK_MENU) < 0);
        if (!findKeyForText && accelerators && mainWindow &&
            ::TranslateAcceleratorW(mainWindow, accelerators, &msg))
            continue;
        if (find && ::IsDialogMessageW(find, &msg)) continue;
        if (mainWindow && ::IsDialogMessageW(mainWindow, &msg)) continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    // Accelerator tables loaded from resources are freed with the module.
    return 0;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int) {
    if (!InitCommonControlsAtRunTime()) {
        ::MessageBoxW(nullptr, L"Error: Cannot load the common control classes.", L"Error", MB_ICONWARNING);
        return 1;
    }
    ::SetErrorMode(kErrorMode);

    int exitCode = 0;
    {
        auto main = std::make_unique<nw::MainWindow>();
        std::vector<std::wstring> words = nw::SplitCommandLine(commandLine);
        // /export and /? run without the window (batch/); every other
        // command line starts the program as it always has.
        const nw::BatchOptions batch = nw::ParseBatchOptions(words, nw::IsOptionWord);
        const nw::StartMode mode = nw::ChooseStartMode(words, batch, nw::IsOptionWord);
        if (mode == nw::StartMode::SaveLanguageFile) {
            nw::SaveLanguageFile();
        } else {
            nw::LoadLanguageFile();
            if (mode == nw::StartMode::Batch) {
                exitCode = nw::RunBatch(batch);
            } else if (!nw::HasOption(words, L"/deleteregkey")) {
                main->SetNoSaveLoad(nw::HasOption(words, L"/nosaveload"));
                exitCode = RunMainWindow(*main, instance);
            }
        }
    }
    return exitCode;
}
