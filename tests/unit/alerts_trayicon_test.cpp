#include <gtest/gtest.h>
#include <windows.h>
#include "alerts/TrayIconControl.h"
#include "lang/LanguageFile.h"
#include "lang/Strings.h"
#include "lang_test_support.h"
#include "resource.h"
#include "settings/Settings.h"

namespace {

// Wine's notification area may not exist, so the platform calls can fail;
// what the control itself keeps and the menu it opens are observable.
struct MenuProbe {
    int initMenuPopups = 0;
    HMENU lastPopup = nullptr;
};
MenuProbe g_probe;

LRESULT CALLBACK ProbeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITMENUPOPUP:
        ++g_probe.initMenuPopups;
        g_probe.lastPopup = reinterpret_cast<HMENU>(wParam);
        ::PostMessageW(window, WM_CANCELMODE, 0, 0);
        break;
    case WM_ENTERIDLE:
        ::EndMenu();
        break;
    case WM_TIMER:   // never leave a menu open if the others do not close it
        ::EndMenu();
        break;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

class TrayIconTest : public ::testing::Test {
protected:
    void SetUp() override {
        WNDCLASSW wc{};
        wc.lpfnWndProc = ProbeProc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = L"nw_tray_probe";
        ::RegisterClassW(&wc);
        window_ = ::CreateWindowExW(0, L"nw_tray_probe", L"", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                                    nullptr, wc.hInstance, nullptr);
        icon_ = static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_TRAY),
                                                IMAGE_ICON, 16, 16, 0));
        g_probe = {};
    }
    void TearDown() override {
        ::DestroyWindow(window_);
        if (icon_) ::DestroyIcon(icon_);
    }
    HWND window_ = nullptr;
    HICON icon_ = nullptr;
};

TEST_F(TrayIconTest, AddUpdateTipAndRemove) {
    nw::TrayIconControl tray;
    tray.Attach(window_, nullptr);
    EXPECT_FALSE(tray.Added());
    tray.SetTip(L"ignored before the icon exists");
    tray.RemoveIcon();
    EXPECT_FALSE(tray.Added());
    tray.AddOrUpdateIcon(icon_);
    EXPECT_TRUE(tray.Added());
    tray.AddOrUpdateIcon(icon_);   // replaces the image
    EXPECT_TRUE(tray.Added());
    std::wstring longTip(300, L't');
    tray.SetTip(longTip.c_str());
    tray.ShowBalloon(L"00:00:00:00:00:01  Phone\r\n", L"New", icon_);
    tray.ShowBalloon(L"", L"", nullptr);
    tray.RemoveIcon();
    EXPECT_FALSE(tray.Added());
}

TEST_F(TrayIconTest, TheSettingAddsAndRemovesTheIcon) {
    nw::Settings settings{};
    nw::TrayIconControl tray;
    tray.Attach(window_, nullptr);
    settings.TrayIcon = 1;
    nw::ApplyTraySetting(tray, settings, icon_, 1234);
    EXPECT_TRUE(tray.Added());
    EXPECT_STREQ(L"1234 Bluetooth devices", tray.Tip());
    settings.TrayIcon = 0;
    nw::ApplyTraySetting(tray, settings, icon_, 1234);
    EXPECT_FALSE(tray.Added());
    nw::UpdateTrayTip(tray, settings, 5);   // off: nothing to do
    EXPECT_FALSE(tray.Added());
}

TEST_F(TrayIconTest, HostileTranslatedTipIsTextWithOnlyTheNumberPutIn) {
    // A translator's "%s", "%n" or second "%d" must not reach printf: the tip
    // is set at start-up, so a crash here would stop the program from starting.
    langtest::TempFolder folder;
    const std::wstring path = folder.File(L"nw_tray_lng.ini");
    langtest::WriteUtf16(path, L"[strings]\r\n12=%s %n %d/%d %ls %x devices\r\n");
    nw::ResetStringCacheForTests();
    ASSERT_TRUE(nw::LoadLanguageFile(path.c_str()));
    nw::Settings settings{};
    settings.TrayIcon = 1;
    nw::TrayIconControl tray;
    tray.Attach(window_, nullptr);
    nw::ApplyTraySetting(tray, settings, icon_, 17);
    nw::UpdateTrayTip(tray, settings, 18);
    EXPECT_STREQ(L"%s %n 18/18 %ls %x devices", tray.Tip());
    nw::CloseLanguageFile();
    nw::ResetStringCacheForTests();
}

TEST_F(TrayIconTest, RightClickOpensTheTrayMenuOwnedByTheWindow) {
    nw::TrayIconControl tray;
    tray.Attach(window_, ::LoadMenuW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDM_TRAY)));
    ASSERT_NE(nullptr, tray.TrayMenu());
    EXPECT_EQ(IDM_OPEN_WINDOW, static_cast<int>(::GetMenuItemID(tray.TrayMenu(), 0)));
    ::SetTimer(window_, 1, 2000, nullptr);
    tray.OnTrayMessage(WM_MOUSEMOVE);
    EXPECT_EQ(0, g_probe.initMenuPopups);
    tray.OnTrayMessage(WM_RBUTTONDOWN);
    EXPECT_EQ(1, g_probe.initMenuPopups);
    EXPECT_EQ(tray.TrayMenu(), g_probe.lastPopup);
    tray.OnTrayMessage(WM_CONTEXTMENU);
    EXPECT_EQ(2, g_probe.initMenuPopups);
    ::KillTimer(window_, 1);
    EXPECT_TRUE(nw::TrayIconControl::IsRestoreEvent(WM_LBUTTONDBLCLK));
    EXPECT_TRUE(nw::TrayIconControl::IsRestoreEvent(NIN_BALLOONUSERCLICK));
    EXPECT_FALSE(nw::TrayIconControl::IsRestoreEvent(WM_RBUTTONDOWN));
}

}  // namespace
