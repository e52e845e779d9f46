#include "app/AboutDialog.h"

#include <cwchar>
#include "base/Text.h"
#include "frame/Dpi.h"
#include "lang/LanguageFile.h"
#include "lang/Strings.h"
#include "resource.h"
#include "nw_version.h"

namespace nw {

namespace {

// The program image holds these only scrambled (see ScrambleText).
constexpr auto kStoredFirstText =
    ScrambleText("Nearwatch v" NW_VERSION_TEXT "\r\nWatches the Bluetooth devices around this computer");

constexpr COLORREF kLinkColor = RGB(0, 0, 0xC0);

bool StartsWithNoCase(const wchar_t* text, const wchar_t* prefix) {
    return _wcsnicmp(text, prefix, wcslen(prefix)) == 0;
}

}  // namespace

bool IsWebAddress(const wchar_t* text) {
    if (!text) return false;
    for (const wchar_t* prefix : {L"http://", L"https://", L"mailto:"}) {
        if (StartsWithNoCase(text, prefix)) return text[wcslen(prefix)] != 0;
    }
    return false;
}

AboutDialog::AboutDialog() : ModalDialog(IDD_ABOUT) {
    DescrambleText(firstText, kTextChars, kStoredFirstText.data());
    ProductWebAddress(secondText, kTextChars);
}

// The translator's name is a link only when the language file gives an
// address the shell may open; otherwise it stays plain text.
bool AboutDialog::TranslatorIsLink() const {
    const wchar_t* name = TranslatorName();
    return name && name[0] && IsWebAddress(TranslatorUrl());
}

// While Low Energy scanning runs (or is switched off) its line is empty:
// the OK button and the box's bottom edge move up into its place.
void AboutDialog::DropLeLine() {
    HWND line = ::GetDlgItem(window_, IDC_ABOUT_LE);
    HWND ok = ::GetDlgItem(window_, IDOK);
    RECT lineRect, okRect, box;
    if (!line || !ok || !::GetWindowRect(line, &lineRect) || !::GetWindowRect(ok, &okRect) ||
        !::GetWindowRect(window_, &box))
        return;
    ::ShowWindow(line, SW_HIDE);
    const int shift = okRect.top - lineRect.top;
    POINT at = {okRect.left, lineRect.top};
    ::ScreenToClient(window_, &at);
    ::SetWindowPos(ok, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ::SetWindowPos(window_, nullptr, 0, 0, box.right - box.left, box.bottom - box.top - shift,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool AboutDialog::IsLink(HWND child) const {
    // The child's own visibility: the box itself may not be shown yet.
    if (!child || !(::GetWindowLongPtrW(child, GWL_STYLE) & WS_VISIBLE)) return false;
    const int id = ::GetDlgCtrlID(child);
    return id == IDC_ABOUT_LINK || (id == IDC_ABOUT_TRANSLATOR && TranslatorIsLink());
}

HWND AboutDialog::ChildAt(LPARAM clientPoint) const {
    POINT point = {static_cast<short>(LOWORD(clientPoint)), static_cast<short>(HIWORD(clientPoint))};
    // Hidden children (the translator fields without a translator) are no links.
    HWND child = ::ChildWindowFromPointEx(window_, point, CWP_SKIPINVISIBLE);
    return child == window_ ? nullptr : child;
}

INT_PTR AboutDialog::DialogProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        const wchar_t* name = TranslatorName();
        if (name && name[0]) {
            ::SetDlgItemTextW(window_, IDC_ABOUT_TRANSLATOR, name);
        } else {
            ::ShowWindow(::GetDlgItem(window_, IDC_ABOUT_TRANSLATOR_LABEL), SW_HIDE);
            ::ShowWindow(::GetDlgItem(window_, IDC_ABOUT_TRANSLATOR), SW_HIDE);
        }
        // Set here, after the translation, so a language file cannot change
        // the product's name or address.
        ::SetWindowTextW(window_, L"Nearwatch");
        ::SetDlgItemTextW(window_, IDC_ABOUT_TEXT, firstText);
        ::SetDlgItemTextW(window_, IDC_ABOUT_LINK, secondText);
        ::SetDlgItemTextW(window_, IDC_ABOUT_NOTICES, GetString(IDS_ABOUT_NOTICES));
        if (leText[0]) ::SetDlgItemTextW(window_, IDC_ABOUT_LE, leText);
        else DropLeLine();
        // 10 pixels at 100 %, as large on a scaled screen as the dialog's own text.
        linkFont_.reset(::CreateFontW(ScaleForDpi(10, WindowDpi(window_)), 0, 0, 0, FW_BOLD, FALSE, TRUE, FALSE,
                                      DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                      DEFAULT_PITCH | FF_DONTCARE, L"MS Sans Serif"));
        // The font stays the object's: the controls only borrow it, and the
        // object outlives the dialog window.
        const auto font = reinterpret_cast<WPARAM>(linkFont_.get());
        ::SendDlgItemMessageW(window_, IDC_ABOUT_LINK, WM_SETFONT, font, FALSE);
        if (TranslatorIsLink()) {
            ::SendDlgItemMessageW(window_, IDC_ABOUT_TRANSLATOR, WM_SETFONT, font, FALSE);
        }
        CenterOnScreen(window_);
        return TRUE;
    }
    case WM_COMMAND:
        if (wParam == IDOK) {
            ::EndDialog(window_, 1);
            return 1;
        }
        // Escape and the close box close the box as well.
        if (wParam == IDCANCEL) {
            ::EndDialog(window_, 2);
            return 1;
        }
        // Links drawn by notifying static controls report their clicks here.
        if (HIWORD(wParam) == STN_CLICKED) {
            HWND child = ::GetDlgItem(window_, LOWORD(wParam));
            if (IsLink(child)) {
                OpenLink(LOWORD(wParam));
                return 1;
            }
        }
        return 0;
    case WM_CTLCOLORSTATIC:
        if (IsLink(reinterpret_cast<HWND>(lParam))) {
            HDC dc = reinterpret_cast<HDC>(wParam);
            ::SetBkMode(dc, TRANSPARENT);
            ::SetTextColor(dc, kLinkColor);
            return reinterpret_cast<INT_PTR>(::GetSysColorBrush(COLOR_BTNFACE));
        }
        return 0;
    case WM_SETCURSOR:
        // A notifying static control asks its parent first; answering here
        // keeps the arrow from flickering over the link.
        if (IsLink(reinterpret_cast<HWND>(wParam))) {
            ::SetCursor(::LoadCursorW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDC_LINK)));
            ::SetWindowLongPtrW(window_, DWLP_MSGRESULT, TRUE);
            return TRUE;
        }
        return 0;
    case WM_MOUSEMOVE:
        if (IsLink(ChildAt(lParam))) {
            ::SetCursor(::LoadCursorW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDC_LINK)));
            return 1;
        }
        return 0;
    case WM_LBUTTONUP: {
        HWND child = ChildAt(lParam);
        if (IsLink(child)) {
            OpenLink(::GetDlgCtrlID(child));
            return 1;
        }
        return 0;
    }
    default:
        return 0;
    }
}

void AboutDialog::OpenLink(int controlId) {
    // The shell's result is not examined: there is nothing to tell the user.
    if (controlId == IDC_ABOUT_LINK) OpenWithShell(window_, secondText);
    else if (controlId == IDC_ABOUT_TRANSLATOR && TranslatorIsLink()) OpenWithShell(window_, TranslatorUrl());
}

void ShowAboutBox(HWND parent, HWND focusAfter, const wchar_t* leStatus) {
    AboutDialog about;
    if (leStatus) CopyText(about.leText, AboutDialog::kTextChars, leStatus);
    ShowModal(IDD_ABOUT, &about, parent);
    if (focusAfter) ::SetFocus(focusAfter);
}

}  // namespace nw
