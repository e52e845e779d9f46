#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <memory>
#include "frame/CrashReport.h"
#include "frame/Frame.h"
#include "unit/frame_test_support.h"

namespace {

constexpr WORD kHandledCommand = 77;
constexpr LRESULT kHandledResult = 1234;

class ProbeWindow : public nw::WindowObject {
public:
    int creates = 0, closes = 0, sizes = 0, commands = 0, notifies = 0;
    bool createdDuringOnCreate = true;
    HWND windowDuringOnCreate = nullptr;
    WORD lastCode = 0, lastId = 0;
    HWND lastControl = nullptr;
    UINT lastNotifyCode = 0;
    LPARAM lastSizeParam = 0;

protected:
    void OnCreate() override {
        ++creates;
        createdDuringOnCreate = created_;
        windowDuringOnCreate = window_;
    }
    void OnClose() override { ++closes; }
    void OnSize() override {
        ++sizes;
        lastSizeParam = lParam_;
    }
    void OnCommand(WORD code, WORD id, HWND control) override {
        ++commands;
        lastCode = code;
        lastId = id;
        lastControl = control;
        if (id == kHandledCommand) SetResult(kHandledResult);
    }
    // Reads the header it is given, like every notification handler.
    void OnNotify(int, NMHDR* header) override {
        ++notifies;
        lastNotifyCode = header->code;
    }
};

const wchar_t* ProbeClass() {
    static const wchar_t* kName = L"nw_frame_test_window";
    static bool registered = false;
    if (!registered) {
        WNDCLASSW wc{};
        wc.lpfnWndProc = nw::SharedWindowProc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = kName;
        registered = ::RegisterClassW(&wc) != 0;
    }
    return kName;
}

HWND CreateProbe(ProbeWindow& probe) {
    return ::CreateWindowExW(0, ProbeClass(), L"probe", WS_OVERLAPPEDWINDOW, 10, 10, 300, 200,
                             nullptr, nullptr, ::GetModuleHandleW(nullptr), &probe);
}

TEST(WindowFrame, CreationRegistersTheObjectAndSetsTheCreatedFlagAfterOnCreate) {
    ProbeWindow probe;
    HWND window = CreateProbe(probe);
    ASSERT_NE(nullptr, window);
    EXPECT_EQ(window, probe.Window());
    EXPECT_EQ(&probe, nw::WindowMap().Find(window));
    EXPECT_EQ(1, probe.creates);
    EXPECT_EQ(window, probe.windowDuringOnCreate);
    EXPECT_FALSE(probe.createdDuringOnCreate);
    EXPECT_TRUE(probe.Created());
    ::DestroyWindow(window);
}

TEST(WindowFrame, DispatchesCommandsNotificationsAndSizes) {
    ProbeWindow probe;
    HWND window = CreateProbe(probe);
    ASSERT_NE(nullptr, window);
    HWND control = reinterpret_cast<HWND>(static_cast<INT_PTR>(0x4242));
    EXPECT_EQ(kHandledResult,
              ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(kHandledCommand, 5),
                             reinterpret_cast<LPARAM>(control)));
    EXPECT_EQ(5, probe.lastCode);
    EXPECT_EQ(kHandledCommand, probe.lastId);
    EXPECT_EQ(control, probe.lastControl);
    // A handler that sets no result leaves the answer to DefWindowProcW.
    EXPECT_EQ(0, ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(78, 0), 0));
    EXPECT_EQ(2, probe.commands);

    NMHDR header{window, 12, static_cast<UINT>(LVN_ITEMCHANGED)};
    ::SendMessageW(window, WM_NOTIFY, 12, reinterpret_cast<LPARAM>(&header));
    EXPECT_EQ(static_cast<UINT>(LVN_ITEMCHANGED), probe.lastNotifyCode);

    const int sizesBefore = probe.sizes;
    ::SendMessageW(window, WM_SIZE, SIZE_RESTORED, MAKELPARAM(120, 80));
    EXPECT_EQ(sizesBefore + 1, probe.sizes);
    EXPECT_EQ(MAKELPARAM(120, 80), probe.lastSizeParam);
    ::DestroyWindow(window);
}

TEST(WindowFrame, CloseRequestIsNotRoutedButDestroyAndSessionEndAre) {
    ProbeWindow probe;
    HWND window = CreateProbe(probe);
    ASSERT_NE(nullptr, window);
    ::SendMessageW(window, WM_QUERYENDSESSION, 0, 0);
    EXPECT_EQ(1, probe.closes);
    // WM_CLOSE reaches DefWindowProcW, which destroys the window: OnClose
    // runs once, for the destroy message.
    ::SendMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_FALSE(::IsWindow(window));
    EXPECT_EQ(2, probe.closes);
    EXPECT_EQ(nullptr, nw::WindowMap().Find(window));
}

TEST(WindowFrame, ObjectDestroyedFirstLeavesTheWindowToTheDefaultProcedure) {
    HWND window = nullptr;
    {
        ProbeWindow probe;
        window = CreateProbe(probe);
        ASSERT_NE(nullptr, window);
    }
    EXPECT_EQ(nullptr, nw::WindowMap().Find(window));
    EXPECT_EQ(0, ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(kHandledCommand, 0), 0));
    ::DestroyWindow(window);
}

int g_reports = 0;
DWORD g_lastCode = 0;
HWND g_lastOwner = nullptr;
int ContinueHook(const EXCEPTION_POINTERS* info, HWND owner) {
    ++g_reports;
    g_lastCode = info->ExceptionRecord->ExceptionCode;
    g_lastOwner = owner;
    return 1;
}

TEST(WindowFrame, NotificationWithABadPointerIsReportedAndTheWindowKeepsWorking) {
    nw::SetCrashReportHookForTests(ContinueHook);
    g_reports = 0;
    ProbeWindow probe;
    HWND window = CreateProbe(probe);
    ASSERT_NE(nullptr, window);
    EXPECT_EQ(0, ::SendMessageW(window, WM_NOTIFY, 12, 0x10));
    EXPECT_EQ(1, g_reports);
    EXPECT_EQ(static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION), g_lastCode);
    EXPECT_EQ(window, g_lastOwner);
    EXPECT_EQ(kHandledResult,
              ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(kHandledCommand, 0), 0));
    ::DestroyWindow(window);
    EXPECT_EQ(nullptr, nw::WindowMap().Find(window));
    nw::SetCrashReportHookForTests(nullptr);
}

// ---- DialogResizer --------------------------------------------------------------

RECT ChildRect(HWND owner, HWND child) {
    RECT r;
    ::GetWindowRect(child, &r);
    ::MapWindowPoints(nullptr, owner, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

HWND Child(HWND owner, int id, int x, int y, int w, int h) {
    return ::CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, x, y, w, h, owner,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                             ::GetModuleHandleW(nullptr), nullptr);
}

TEST(DialogResizer, StretchesMovesAndLeavesUncapturedControlsAlone) {
    HWND owner = frametest::CreateHostWindow(400, 300);
    ASSERT_NE(nullptr, owner);
    HWND stretch = Child(owner, 10, 10, 10, 200, 20);
    HWND follow = Child(owner, 11, 300, 200, 60, 20);
    HWND stay = Child(owner, 12, 10, 50, 80, 20);
    auto resizer = std::make_unique<nw::DialogResizer>();
    resizer->Capture(owner);
    HWND late = Child(owner, 13, 10, 100, 80, 20);   // created after the capture

    RECT before;
    ::GetClientRect(owner, &before);
    ::SetWindowPos(owner, nullptr, 0, 0, 450, 330, SWP_NOMOVE | SWP_NOZORDER);
    RECT after;
    ::GetClientRect(owner, &after);
    const int dx = after.right - before.right, dy = after.bottom - before.bottom;
    ASSERT_GT(dx, 0);
    ASSERT_GT(dy, 0);

    HDWP deferral = ::BeginDeferWindowPos(4);
    resizer->Place(deferral, 10, 0, 0, 1);
    resizer->Place(deferral, 11, 1, 1, 0);
    resizer->Place(deferral, 12, 0, 0, 0);
    resizer->Place(deferral, 13, 1, 1, 1);
    resizer->Place(deferral, 14, 1, 1, 1);   // no such control
    ASSERT_NE(nullptr, deferral);
    ::EndDeferWindowPos(deferral);

    RECT r = ChildRect(owner, stretch);
    EXPECT_EQ(10, r.left);
    EXPECT_EQ(10, r.top);
    EXPECT_EQ(200 + dx, r.right - r.left);
    EXPECT_EQ(20, r.bottom - r.top);
    r = ChildRect(owner, follow);
    EXPECT_EQ(300 + dx, r.left);
    EXPECT_EQ(200 + dy, r.top);
    EXPECT_EQ(60, r.right - r.left);
    EXPECT_EQ(20, r.bottom - r.top);
    r = ChildRect(owner, stay);
    EXPECT_EQ(10, r.left);
    EXPECT_EQ(50, r.top);
    EXPECT_EQ(80, r.right - r.left);
    r = ChildRect(owner, late);
    EXPECT_EQ(10, r.left);
    EXPECT_EQ(100, r.top);
    EXPECT_EQ(80, r.right - r.left);
    ::DestroyWindow(owner);
}

TEST(DialogResizer, GripSitsInTheBottomRightCornerAndIsInvalidatedAfterPlacing) {
    HWND owner = frametest::CreateHostWindow(400, 300);
    ASSERT_NE(nullptr, owner);
    ::ShowWindow(owner, SW_SHOWNOACTIVATE);
    nw::DialogResizer resizer;
    resizer.Capture(owner);
    resizer.PaintGrip();
    RECT client;
    ::GetClientRect(owner, &client);
    const RECT& grip = resizer.GripRect();
    EXPECT_EQ(client.right, grip.right);
    EXPECT_EQ(client.bottom, grip.bottom);
    EXPECT_EQ(::GetSystemMetrics(SM_CXHSCROLL), grip.right - grip.left);
    EXPECT_EQ(::GetSystemMetrics(SM_CYVSCROLL), grip.bottom - grip.top);

    ::ValidateRect(owner, nullptr);
    resizer.InvalidateGrip();
    RECT update;
    ASSERT_TRUE(::GetUpdateRect(owner, &update, FALSE));
    EXPECT_TRUE(::EqualRect(&update, &grip));
    ::DestroyWindow(owner);
}

// ---- Helpers -----------------------------------------------------------------------

TEST(FrameHelpers, CenteringMakesTheWindowOnePixelLargerAndCentresIt) {
    HWND window = frametest::CreateHostWindow(200, 100);
    ASSERT_NE(nullptr, window);
    RECT before;
    ::GetWindowRect(window, &before);
    nw::CenterOnScreen(window);
    RECT after;
    ::GetWindowRect(window, &after);
    EXPECT_EQ(before.right - before.left + 1, after.right - after.left);
    EXPECT_EQ(before.bottom - before.top + 1, after.bottom - after.top);
    HDC screen = ::GetDC(nullptr);
    const int width = ::GetDeviceCaps(screen, HORZRES), height = ::GetDeviceCaps(screen, VERTRES);
    ::ReleaseDC(nullptr, screen);
    EXPECT_EQ((before.left - before.right + width - 1) / 2, after.left);
    EXPECT_EQ((before.top - before.bottom + height - 1) / 2, after.top);
    ::DestroyWindow(window);
}

TEST(FrameHelpers, MenuCommandsAreEnabledAndGreyedByCommand) {
    HWND window = frametest::CreateHostWindow(200, 100);
    HMENU bar = ::CreateMenu();
    HMENU first = ::CreatePopupMenu(), second = ::CreatePopupMenu();
    ::AppendMenuW(first, MF_STRING, 500, L"a");
    ::AppendMenuW(second, MF_STRING, 501, L"b");
    ::AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(first), L"First");
    ::AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(second), L"Second");
    ::SetMenu(window, bar);
    nw::EnableMenuCommand(window, nullptr, 1, 501, false);
    EXPECT_TRUE(::GetMenuState(second, 501, MF_BYCOMMAND) & MF_GRAYED);
    nw::EnableMenuCommand(window, nullptr, 1, 501, true);
    EXPECT_FALSE(::GetMenuState(second, 501, MF_BYCOMMAND) & MF_GRAYED);
    HMENU context = ::CreatePopupMenu();
    ::AppendMenuW(context, MF_STRING, 502, L"c");
    nw::EnableMenuCommand(window, context, 0, 502, false);
    EXPECT_TRUE(::GetMenuState(context, 502, MF_BYCOMMAND) & MF_GRAYED);
    ::DestroyMenu(context);
    ::DestroyWindow(window);
}

TEST(FrameHelpers, ToolbarButtonKeepsItsOtherStateBits) {
    INITCOMMONCONTROLSEX init{sizeof init, ICC_BAR_CLASSES};
    ::InitCommonControlsEx(&init);
    HWND window = frametest::CreateHostWindow(300, 100);
    HWND toolbar = nw::CreateChildWindow(window, 0, TOOLBARCLASSNAMEW, WS_CHILD | WS_VISIBLE,
                                         0, 0, 300, 30);
    ASSERT_NE(nullptr, toolbar);
    ::SendMessageW(toolbar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    TBBUTTON button{};
    button.iBitmap = I_IMAGENONE;
    button.idCommand = 600;
    button.fsState = TBSTATE_ENABLED | TBSTATE_CHECKED;
    button.fsStyle = BTNS_CHECK;
    ASSERT_TRUE(::SendMessageW(toolbar, TB_ADDBUTTONSW, 1, reinterpret_cast<LPARAM>(&button)));
    nw::EnableToolbarButton(toolbar, 600, false);
    LRESULT state = ::SendMessageW(toolbar, TB_GETSTATE, 600, 0);
    EXPECT_FALSE(state & TBSTATE_ENABLED);
    EXPECT_TRUE(state & TBSTATE_CHECKED);
    nw::EnableToolbarButton(toolbar, 600, true);
    state = ::SendMessageW(toolbar, TB_GETSTATE, 600, 0);
    EXPECT_TRUE(state & TBSTATE_ENABLED);
    EXPECT_TRUE(state & TBSTATE_CHECKED);
    nw::EnableToolbarButton(toolbar, 601, true);   // no such button: nothing happens
    ::DestroyWindow(window);
}

TEST(FrameHelpers, ChildWindowHasNoTextNoIdAndTheOwnerAsParent) {
    HWND window = frametest::CreateHostWindow(300, 100);
    HWND child = nw::CreateChildWindow(window, WS_EX_CLIENTEDGE, L"STATIC", WS_CHILD, 5, 6, 70, 20);
    ASSERT_NE(nullptr, child);
    EXPECT_EQ(window, ::GetParent(child));
    EXPECT_EQ(0, ::GetDlgCtrlID(child));
    EXPECT_EQ(0, ::GetWindowTextLengthW(child));
    EXPECT_TRUE(::GetWindowLongPtrW(child, GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
    ::DestroyWindow(window);
}

}  // namespace
