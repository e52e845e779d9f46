#include <gtest/gtest.h>
#include <windows.h>
#include <cstdio>
#include <cwchar>
#include <string>
#include "app/AboutDialog.h"
#include "base/Text.h"
#include "frame/CrashReport.h"
#include "frame/Frame.h"
#include "lang/LanguageFile.h"
#include "resource.h"
#include "unit/frame_test_support.h"

namespace {

constexpr WORD kEdit = 100;
constexpr WORD kCheck = 101;
constexpr UINT_PTR kScriptTimer = 1;
constexpr UINT_PTR kSafetyTimer = 2;   // a stuck test ends instead of hanging
constexpr UINT kFaultMessage = WM_APP + 1;

frametest::DialogTemplate EditTemplate() {
    frametest::DialogTemplate t(WS_POPUP | WS_CAPTION | DS_MODALFRAME, 180, 80);
    t.Item(0x81, kEdit, ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 7, 7, 120, 14)
        .Item(0x80, kCheck, BS_AUTOCHECKBOX | WS_TABSTOP, 7, 25, 120, 10, L"Check")
        .Item(0x80, IDOK, BS_DEFPUSHBUTTON | WS_TABSTOP, 70, 58, 50, 14, L"OK")
        .Item(0x80, IDCANCEL, BS_PUSHBUTTON | WS_TABSTOP, 124, 58, 50, 14, L"Cancel");
    return t;
}

// A dialog that, once open, types into its edit field, clears its check box
// and then clicks the button it was told to.
class ScriptedDialog : public nw::StandardDialog {
public:
    explicit ScriptedDialog(WORD endWith, WORD templateId = 0, int edit = kEdit, int check = kCheck)
        : StandardDialog(templateId), endWith_(endWith), edit_(edit), check_(check) {}

    wchar_t text[1024] = L"original";
    int32_t checked = BST_CHECKED;
    int exchangesBack = 0;
    bool exchangedWhileOpen = false;
    int updates = 0;
    int faultResult = -1;
    HWND seenWindow = nullptr;

    void ExchangeData(bool toControls) override {
        SetOrGetText(toControls, edit_, text);
        SetOrGetCheck(toControls, checked, check_);
        if (!toControls) {
            ++exchangesBack;
            exchangedWhileOpen = ::IsWindow(window_) && ::GetDlgItem(window_, edit_) != nullptr;
        }
    }
    void UpdateControls() override { ++updates; }

    INT_PTR DialogProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_INITDIALOG) {
            seenWindow = window_;
            ::SetTimer(window_, kScriptTimer, 10, nullptr);
            ::SetTimer(window_, kSafetyTimer, 10000, nullptr);
        } else if (message == WM_TIMER && wParam == kScriptTimer) {
            ::KillTimer(window_, kScriptTimer);
            ::SetDlgItemTextW(window_, edit_, L"typed");
            ::CheckDlgButton(window_, check_, BST_UNCHECKED);
            if (faultOnTimer) {
                faultResult = static_cast<int>(::SendMessageW(window_, kFaultMessage, 0, 0));
            }
            ::PostMessageW(window_, WM_COMMAND, MAKEWPARAM(endWith_, BN_CLICKED),
                           reinterpret_cast<LPARAM>(::GetDlgItem(window_, endWith_)));
            return 0;
        } else if (message == WM_TIMER && wParam == kSafetyTimer) {
            ::EndDialog(window_, 99);
            return 0;
        } else if (message == kFaultMessage) {
            volatile int* bad = reinterpret_cast<volatile int*>(static_cast<uintptr_t>(badAddress));
            *bad = 1;
            return 1;
        }
        return StandardDispatch(message, wParam, lParam);
    }

    bool faultOnTimer = false;
    volatile uintptr_t badAddress = 16;

private:
    WORD endWith_;
    int edit_;
    int check_;
};

INT_PTR RunDialog(nw::ModalDialog& dialog, const frametest::DialogTemplate& t) {
    return ::DialogBoxIndirectParamW(::GetModuleHandleW(nullptr), t.Get(), nullptr,
                                     nw::SharedDialogProc, reinterpret_cast<LPARAM>(&dialog));
}

TEST(StandardDialog, EndedWithOkCopiesTheControlsBackBeforeClosing) {
    frametest::DialogTemplate t = EditTemplate();
    ScriptedDialog dialog(IDOK);
    ASSERT_EQ(1, RunDialog(dialog, t));
    EXPECT_STREQ(L"typed", dialog.text);
    EXPECT_EQ(BST_UNCHECKED, dialog.checked);
    EXPECT_EQ(1, dialog.exchangesBack);
    EXPECT_TRUE(dialog.exchangedWhileOpen);
    // Once at initialisation, then for the typing (EN_CHANGE) and the click.
    EXPECT_GE(dialog.updates, 3);
    EXPECT_EQ(dialog.seenWindow, dialog.Window());
}

TEST(StandardDialog, EndedWithCancelLeavesTheObjectAsItWas) {
    frametest::DialogTemplate t = EditTemplate();
    ScriptedDialog dialog(IDCANCEL);
    ASSERT_EQ(2, RunDialog(dialog, t));
    EXPECT_STREQ(L"original", dialog.text);
    EXPECT_EQ(BST_CHECKED, dialog.checked);
    EXPECT_EQ(0, dialog.exchangesBack);
}

TEST(StandardDialog, RegisteredWhileOpenAndGoneAfterTeardown) {
    frametest::DialogTemplate t = EditTemplate();
    const int before = nw::DialogMap().Count();
    HWND window = nullptr;
    {
        ScriptedDialog dialog(IDOK);
        RunDialog(dialog, t);
        window = dialog.Window();
        ASSERT_NE(nullptr, window);
        EXPECT_EQ(nullptr, nw::DialogMap().Find(window));   // the window is gone
    }
    EXPECT_EQ(before, nw::DialogMap().Count());
}

TEST(StandardDialog, DoModalShowsTheObjectsOwnTemplateAndTellsWhetherOkEndedIt) {
    ScriptedDialog accepted(IDOK, IDD_ADVANCED, IDC_ADV_EXECUTE, IDC_ADV_USE_EXECUTE);
    EXPECT_TRUE(accepted.DoModal(nullptr));
    EXPECT_EQ(IDD_ADVANCED, nw::CurrentTemplateId());
    EXPECT_STREQ(L"typed", accepted.text);
    ScriptedDialog cancelled(IDCANCEL, IDD_ADVANCED, IDC_ADV_EXECUTE, IDC_ADV_USE_EXECUTE);
    EXPECT_FALSE(cancelled.DoModal(nullptr));
    EXPECT_STREQ(L"original", cancelled.text);
}

// ---- Faults inside a dialog handler ------------------------------------------

int g_reports = 0;
DWORD g_lastCode = 0;
int ContinueHook(const EXCEPTION_POINTERS* info, HWND) {
    ++g_reports;
    g_lastCode = info->ExceptionRecord->ExceptionCode;
    return 1;
}

TEST(StandardDialog, FaultingHandlerReturnsZeroAndTheDialogKeepsWorking) {
    nw::SetCrashReportHookForTests(ContinueHook);
    g_reports = 0;
    frametest::DialogTemplate t = EditTemplate();
    ScriptedDialog dialog(IDOK);
    dialog.faultOnTimer = true;
    EXPECT_EQ(1, RunDialog(dialog, t));
    nw::SetCrashReportHookForTests(nullptr);
    EXPECT_EQ(1, g_reports);
    EXPECT_EQ(static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION), g_lastCode);
    EXPECT_EQ(0, dialog.faultResult);
    EXPECT_STREQ(L"typed", dialog.text);   // OK still copied the controls back
}

// ---- The About box -------------------------------------------------------------

struct AboutSeen {
    std::wstring title, text, link, translator, le;
    bool labelVisible = false, translatorVisible = false, leVisible = false;
    LONG leTop = 0, okTop = 0, okBottom = 0, clientBottom = 0;
    HFONT linkFont = nullptr, translatorFont = nullptr;
    WORD templateDuringInit = 0;
};

// Looks at the open box, then closes it with the given command.
class ProbedAbout : public nw::AboutDialog {
public:
    explicit ProbedAbout(WPARAM closeWith) : closeWith_(closeWith) {}
    AboutSeen seen;

    INT_PTR DialogProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        const INT_PTR result = AboutDialog::DialogProc(message, wParam, lParam);
        if (message == WM_INITDIALOG) {
            seen.templateDuringInit = nw::CurrentTemplateId();
            ::SetTimer(window_, kScriptTimer, 10, nullptr);
            ::SetTimer(window_, kSafetyTimer, 10000, nullptr);
        } else if (message == WM_TIMER && wParam == kScriptTimer) {
            ::KillTimer(window_, kScriptTimer);
            wchar_t buffer[512];
            ::GetWindowTextW(window_, buffer, 512);
            seen.title = buffer;
            ::GetDlgItemTextW(window_, IDC_ABOUT_TEXT, buffer, 512);
            seen.text = buffer;
            ::GetDlgItemTextW(window_, IDC_ABOUT_LINK, buffer, 512);
            seen.link = buffer;
            ::GetDlgItemTextW(window_, IDC_ABOUT_TRANSLATOR, buffer, 512);
            seen.translator = buffer;
            // The style bit: the box itself may not be shown yet.
            seen.labelVisible = Visible(IDC_ABOUT_TRANSLATOR_LABEL);
            seen.translatorVisible = Visible(IDC_ABOUT_TRANSLATOR);
            ::GetDlgItemTextW(window_, IDC_ABOUT_LE, buffer, 512);
            seen.le = buffer;
            seen.leVisible = Visible(IDC_ABOUT_LE);
            seen.leTop = Place(IDC_ABOUT_LE).top;
            seen.okTop = Place(IDOK).top;
            seen.okBottom = Place(IDOK).bottom;
            RECT client = {};
            ::GetClientRect(window_, &client);
            seen.clientBottom = client.bottom;
            seen.linkFont = reinterpret_cast<HFONT>(
                ::SendDlgItemMessageW(window_, IDC_ABOUT_LINK, WM_GETFONT, 0, 0));
            seen.translatorFont = reinterpret_cast<HFONT>(
                ::SendDlgItemMessageW(window_, IDC_ABOUT_TRANSLATOR, WM_GETFONT, 0, 0));
            ::PostMessageW(window_, WM_COMMAND, closeWith_, 0);
        } else if (message == WM_TIMER && wParam == kSafetyTimer) {
            ::EndDialog(window_, 99);
        }
        return result;
    }

private:
    bool Visible(int id) const {
        return (::GetWindowLongPtrW(::GetDlgItem(window_, id), GWL_STYLE) & WS_VISIBLE) != 0;
    }
    RECT Place(int id) const {   // the control's rectangle in the box's client area
        RECT r = {};
        ::GetWindowRect(::GetDlgItem(window_, id), &r);
        ::MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&r), 2);
        return r;
    }
    WPARAM closeWith_;
};

TEST(AboutBox, ShowsTheProductTextsAndHidesAnAbsentTranslator) {
    nw::CloseLanguageFile();
    ProbedAbout about(IDOK);
    ASSERT_EQ(1, nw::ShowModal(IDD_ABOUT, &about, nullptr));
    EXPECT_EQ(IDD_ABOUT, about.seen.templateDuringInit);
    EXPECT_EQ(L"Nearwatch", about.seen.title);
    EXPECT_EQ(std::wstring(about.firstText), about.seen.text);
    EXPECT_NE(std::wstring::npos, about.seen.text.find(L"Nearwatch"));
    wchar_t address[256];
    nw::ProductWebAddress(address, 256);
    EXPECT_EQ(std::wstring(address), about.seen.link);
    EXPECT_FALSE(about.seen.labelVisible);
    EXPECT_FALSE(about.seen.translatorVisible);
    EXPECT_NE(nullptr, about.seen.linkFont);
    // Low Energy runs: no line for it, and OK moved up into its place.
    EXPECT_FALSE(about.seen.leVisible);
    EXPECT_EQ(about.seen.leTop, about.seen.okTop);
}

TEST(AboutBox, EscapeClosesTheBoxThatSaysWhyLowEnergyCannotRun) {
    ProbedAbout about(IDCANCEL);
    nw::CopyText(about.leText, L"LE scanning unavailable: Bluetooth is off");
    EXPECT_EQ(2, nw::ShowModal(IDD_ABOUT, &about, nullptr));
    EXPECT_TRUE(about.seen.leVisible);
    EXPECT_EQ(L"LE scanning unavailable: Bluetooth is off", about.seen.le);
    EXPECT_LT(about.seen.leTop, about.seen.okTop);
    // The same margin below OK either way.
    ProbedAbout plain(IDOK);
    ASSERT_EQ(1, nw::ShowModal(IDD_ABOUT, &plain, nullptr));
    EXPECT_EQ(about.seen.clientBottom - about.seen.okBottom, plain.seen.clientBottom - plain.seen.okBottom);
}

class AboutWithTranslator : public ::testing::Test {
protected:
    void Load(const char* general) {
        wchar_t folder[MAX_PATH];
        ::GetTempPathW(MAX_PATH, folder);
        std::swprintf(path_, MAX_PATH, L"%lsnw_frame_about_%lu_lng.ini", folder,
                      ::GetCurrentProcessId());
        HANDLE file = ::CreateFileW(path_, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, file);
        std::string text = std::string("[general]\r\n") + general;
        DWORD written = 0;
        ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        ::CloseHandle(file);
        ASSERT_TRUE(nw::LoadLanguageFile(path_));
    }
    void TearDown() override {
        nw::CloseLanguageFile();
        ::DeleteFileW(path_);
    }
    wchar_t path_[MAX_PATH] = {};
};

TEST_F(AboutWithTranslator, NameWithoutAddressIsPlainText) {
    Load("TranslatorName=Ann Example\r\nTranslatorURL=\r\n");
    ProbedAbout about(IDOK);
    ASSERT_EQ(1, nw::ShowModal(IDD_ABOUT, &about, nullptr));
    EXPECT_TRUE(about.seen.labelVisible);
    EXPECT_TRUE(about.seen.translatorVisible);
    EXPECT_EQ(L"Ann Example", about.seen.translator);
    EXPECT_NE(about.seen.linkFont, about.seen.translatorFont);
}

TEST_F(AboutWithTranslator, NameWithWebAddressIsALink) {
    Load("TranslatorName=Ann Example\r\nTranslatorURL=https://translator.example.org/\r\n");
    ProbedAbout about(IDOK);
    ASSERT_EQ(1, nw::ShowModal(IDD_ABOUT, &about, nullptr));
    EXPECT_TRUE(about.seen.translatorVisible);
    EXPECT_EQ(about.seen.linkFont, about.seen.translatorFont);
}

TEST_F(AboutWithTranslator, AddressThatIsNoWebAddressIsNotALink) {
    Load("TranslatorName=Ann Example\r\nTranslatorURL=C:\\Windows\\notepad.exe\r\n");
    ProbedAbout about(IDOK);
    ASSERT_EQ(1, nw::ShowModal(IDD_ABOUT, &about, nullptr));
    EXPECT_TRUE(about.seen.translatorVisible);
    EXPECT_NE(about.seen.linkFont, about.seen.translatorFont);
}

}  // namespace
