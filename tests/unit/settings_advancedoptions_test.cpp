// The advanced-options dialog: the enabling rule, the copy that reaches the
// settings only on OK, the 1,022-character texts, and the resizing.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "dialogs_testsupport.h"
#include "resource.h"
#include "settings/AdvancedOptionsDialog.h"

using dialogtest::DialogScript;
using dialogtest::TextOf;

namespace {

class AdvancedOptionsTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::memset(&settings, 0, sizeof settings);
        wcscpy(settings.alerts.NewDeviceExecute, L"notify.exe %device_addr%");
        wcscpy(settings.alerts.NewDeviceSpeak, L"Hello %device_name%");
        settings.alerts.UseNewDeviceExecute = 0;
        settings.alerts.UseNewDeviceSpeak = 1;
    }
    bool Show(const std::function<void(HWND)>& script) {
        bool ok = false;
        EXPECT_EQ(1, DialogScript::Run([&] { ok = nw::ShowAdvancedOptions(settings, window.List()); }, script));
        return ok;
    }
    static bool Enabled(HWND dialog, int id) { return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE; }
    static void Tick(HWND dialog, int id, bool on) {
        CheckDlgButton(dialog, id, on ? BST_CHECKED : BST_UNCHECKED);
        DialogScript::Press(dialog, id);
    }

    nw::Settings settings;
    listtest::ListWindow window;
};

TEST_F(AdvancedOptionsTest, TickingABoxEnablesItsEditAtOnceAndOkKeepsTheTextOfAClearedBox) {
    bool executeBefore = true, speakBefore = false, executeTicked = false;
    std::wstring variables, shown;
    EXPECT_TRUE(Show([&](HWND dialog) {
        executeBefore = Enabled(dialog, IDC_ADV_EXECUTE);
        speakBefore = Enabled(dialog, IDC_ADV_SPEAK);
        variables = TextOf(GetDlgItem(dialog, IDC_ADV_VARS));
        shown = TextOf(GetDlgItem(dialog, IDC_ADV_EXECUTE));
        Tick(dialog, IDC_ADV_USE_EXECUTE, true);
        executeTicked = Enabled(dialog, IDC_ADV_EXECUTE);
        SetDlgItemTextW(dialog, IDC_ADV_EXECUTE, L"typed.exe");
        Tick(dialog, IDC_ADV_USE_EXECUTE, false);
        Tick(dialog, IDC_ADV_USE_SPEAK, false);
        DialogScript::Press(dialog, IDOK);
    }));
    EXPECT_FALSE(executeBefore);
    EXPECT_TRUE(speakBefore);
    EXPECT_TRUE(executeTicked);
    EXPECT_EQ(L"%device_name%  %device_desc%  %device_addr%", variables);
    EXPECT_EQ(L"notify.exe %device_addr%", shown);
    EXPECT_STREQ(L"typed.exe", settings.alerts.NewDeviceExecute);
    EXPECT_EQ(0, settings.alerts.UseNewDeviceExecute);
    EXPECT_EQ(0, settings.alerts.UseNewDeviceSpeak);
    EXPECT_STREQ(L"Hello %device_name%", settings.alerts.NewDeviceSpeak);
}

TEST_F(AdvancedOptionsTest, CancelLeavesTheSettingsAsTheyWere) {
    const nw::Settings before = settings;
    EXPECT_FALSE(Show([&](HWND dialog) {
        SetDlgItemTextW(dialog, IDC_ADV_EXECUTE, L"changed");
        SetDlgItemTextW(dialog, IDC_ADV_SPEAK, L"changed too");
        Tick(dialog, IDC_ADV_USE_EXECUTE, true);
        DialogScript::Press(dialog, IDCANCEL);
    }));
    EXPECT_EQ(0, std::memcmp(&before, &settings, sizeof settings));
}

TEST_F(AdvancedOptionsTest, ALongCommandIsCutTo1022Characters) {
    std::wstring pasted;
    for (int i = 0; i < 1500; ++i) pasted += static_cast<wchar_t>(L'a' + i % 26);
    EXPECT_TRUE(Show([&](HWND dialog) {
        SetDlgItemTextW(dialog, IDC_ADV_EXECUTE, pasted.c_str());
        SetDlgItemTextW(dialog, IDC_ADV_SPEAK, pasted.c_str());
        DialogScript::Press(dialog, IDOK);
    }));
    EXPECT_EQ(pasted.substr(0, 1022), settings.alerts.NewDeviceExecute);
    EXPECT_EQ(pasted.substr(0, 1022), settings.alerts.NewDeviceSpeak);
}

TEST_F(AdvancedOptionsTest, TheCommandStretchesTheButtonsFollowTheCornerAndTheMinimumIs400By150) {
    RECT execute0 = {}, execute1 = {}, ok0 = {}, ok1 = {}, speak0 = {}, speak1 = {};
    MINMAXINFO limits = {};
    RECT shrunk = {};
    EXPECT_FALSE(Show([&](HWND dialog) {
        GetWindowRect(GetDlgItem(dialog, IDC_ADV_EXECUTE), &execute0);
        GetWindowRect(GetDlgItem(dialog, IDOK), &ok0);
        GetWindowRect(GetDlgItem(dialog, IDC_ADV_SPEAK), &speak0);
        RECT frame;
        GetWindowRect(dialog, &frame);
        SetWindowPos(dialog, nullptr, 0, 0, frame.right - frame.left + 100, frame.bottom - frame.top + 50,
                     SWP_NOMOVE | SWP_NOZORDER);
        GetWindowRect(GetDlgItem(dialog, IDC_ADV_EXECUTE), &execute1);
        GetWindowRect(GetDlgItem(dialog, IDOK), &ok1);
        GetWindowRect(GetDlgItem(dialog, IDC_ADV_SPEAK), &speak1);
        SendMessageW(dialog, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));
        MoveWindow(dialog, frame.left, frame.top, 100, 60, TRUE);
        GetWindowRect(dialog, &shrunk);
        DialogScript::Press(dialog, IDCANCEL);
    }));
    EXPECT_EQ(execute0.left, execute1.left);
    EXPECT_EQ(execute0.right + 100, execute1.right);
    EXPECT_EQ(execute0.bottom - execute0.top, execute1.bottom - execute1.top);
    EXPECT_EQ(ok0.left + 100, ok1.left);
    EXPECT_EQ(ok0.top + 50, ok1.top);
    EXPECT_EQ(ok0.right - ok0.left, ok1.right - ok1.left);
    EXPECT_EQ(speak0.right, speak1.right);
    EXPECT_EQ(400, limits.ptMinTrackSize.x);
    EXPECT_EQ(150, limits.ptMinTrackSize.y);
    EXPECT_GE(shrunk.right - shrunk.left, 400);
    EXPECT_GE(shrunk.bottom - shrunk.top, 150);
}

}  // namespace
