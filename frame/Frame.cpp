#include "frame/Frame.h"

#include <commctrl.h>
#include <shellapi.h>
#include <cstring>
#include <new>
#include "base/Text.h"

namespace nw {

namespace {

WORD g_currentTemplate = 0;
TranslateDialogHook g_translateDialog = nullptr;
LayoutWindowHook g_layoutWindow = nullptr;

HINSTANCE ResourceModule() { return ::GetModuleHandleW(nullptr); }

// Placeholder address under a reserved domain until the project has a home
// page of its own; the link text below follows it. The About box, the main
// window's link and the HTML report all show it.
constexpr auto kStoredWebAddress = ScrambleText("https://nearwatch.example.org/");
constexpr auto kStoredLinkText = ScrambleText("nearwatch.example.org");

}  // namespace

// ---- Handle -> object registry ---------------------------------------------

// Left empty, so an object torn down during static destruction, after the
// map itself, finds nothing instead of freed memory.
HandleObjectMap::~HandleObjectMap() {
    delete[] slots_;
    slots_ = nullptr;
    capacity_ = 0;
}

bool HandleObjectMap::Add(void* object, HWND window) {
    for (int i = 0; i < capacity_; ++i) {
        if (!slots_[i].object) {
            slots_[i] = {object, window};
            return true;
        }
    }
    // Full: a new zero-filled array kGrowth slots longer takes the old pairs
    // in its front; the new pair goes into the first new slot.
    Slot* grown = new (std::nothrow) Slot[capacity_ + kGrowth]();
    if (!grown) return false;
    if (capacity_) std::memcpy(grown, slots_, sizeof(Slot) * capacity_);
    delete[] slots_;
    slots_ = grown;
    slots_[capacity_] = {object, window};
    capacity_ += kGrowth;
    return true;
}

void* HandleObjectMap::Find(HWND window) const {
    for (int i = 0; i < capacity_; ++i) {
        if (slots_[i].object && slots_[i].window == window) return slots_[i].object;
    }
    return nullptr;
}

void HandleObjectMap::RemoveObject(void* object) {
    if (!object) return;
    for (int i = 0; i < capacity_; ++i) {
        if (slots_[i].object == object) {
            slots_[i] = {nullptr, nullptr};
            return;
        }
    }
}

int HandleObjectMap::Count() const {
    int n = 0;
    for (int i = 0; i < capacity_; ++i) n += slots_[i].object != nullptr;
    return n;
}

HandleObjectMap& DialogMap() {
    static HandleObjectMap map;
    return map;
}

HandleObjectMap& WindowMap() {
    static HandleObjectMap map;
    return map;
}

// ---- Dialogs ----------------------------------------------------------------

ModalDialog::~ModalDialog() { DialogMap().RemoveObject(this); }

INT_PTR ModalDialog::DialogProc(UINT, WPARAM, LPARAM) { return 0; }

void ModalDialog::ExchangeData(bool) {}

bool ModalDialog::DoModal(HWND parent) { return ShowModal(templateId_, this, parent) == 1; }

void ModalDialog::SetOrGetText(bool toControls, int controlId, wchar_t* buffer) {
    if (toControls) {
        ::SetDlgItemTextW(window_, controlId, buffer);
    } else {
        buffer[0] = 0;
        ::GetDlgItemTextW(window_, controlId, buffer, 1024);
    }
}

void ModalDialog::SetOrGetCheck(bool toControls, int32_t& value, int controlId) {
    if (toControls) {
        ::SendDlgItemMessageW(window_, controlId, BM_SETCHECK, static_cast<WPARAM>(value), 0);
    } else {
        value = static_cast<int32_t>(::SendDlgItemMessageW(window_, controlId, BM_GETCHECK, 0, 0));
    }
}

void ModalDialog::EnableControl(int controlId, bool enable) {
    ::EnableWindow(::GetDlgItem(window_, controlId), enable);
}

INT_PTR StandardDialog::DialogProc(UINT message, WPARAM wParam, LPARAM lParam) {
    return StandardDispatch(message, wParam, lParam);
}

INT_PTR StandardDialog::StandardDispatch(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_NOTIFY:
        return OnNotify(static_cast<int>(wParam), reinterpret_cast<NMHDR*>(lParam));
    case WM_INITDIALOG:
        return OnInitDialog();
    case WM_COMMAND:
        return OnCommand(HIWORD(wParam), LOWORD(wParam), reinterpret_cast<HWND>(lParam));
    default:
        return 0;
    }
}

INT_PTR StandardDialog::OnCommand(WORD code, WORD id, HWND) {
    if (code == 0) {
        // Only OK copies the controls back; Cancel leaves the object as it was.
        if (id == IDOK) {
            ExchangeData(false);
            ::EndDialog(window_, 1);
            return 0;
        }
        if (id == IDCANCEL) {
            ::EndDialog(window_, 2);
            return 0;
        }
        // Other clicks (check boxes) may change which controls apply.
    } else if (code != EN_CHANGE) {
        return 0;
    }
    UpdateControls();
    return 0;
}

INT_PTR StandardDialog::OnInitDialog() {
    ExchangeData(true);
    UpdateControls();
    CenterOnScreen(window_);
    return 0;
}

INT_PTR StandardDialog::OnNotify(int, NMHDR*) { return 0; }

void StandardDialog::UpdateControls() {}

INT_PTR ShowModal(WORD templateId, ModalDialog* object, HWND parent) {
    // The translation of the dialog reads this during its WM_INITDIALOG,
    // which DialogBoxParamW sends before it returns to us.
    g_currentTemplate = templateId;
    return ::DialogBoxParamW(ResourceModule(), MAKEINTRESOURCEW(templateId), parent,
                             SharedDialogProc, reinterpret_cast<LPARAM>(object));
}

WORD CurrentTemplateId() { return g_currentTemplate; }

void SetTranslationHooks(TranslateDialogHook translate, LayoutWindowHook layout) {
    g_translateDialog = translate;
    g_layoutWindow = layout;
}

namespace {

struct DialogCall {
    ModalDialog* object;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    INT_PTR result;
};

void RunDialogProc(void* context) {
    auto* call = static_cast<DialogCall*>(context);
    call->result = call->object->DialogProc(call->message, call->wParam, call->lParam);
}

}  // namespace

INT_PTR CALLBACK SharedDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        // Translated before the object sees the dialog, so the object's own
        // texts (set in its handler) win over the template's.
        if (g_translateDialog) g_translateDialog(dialog, CurrentTemplateId());
        auto* object = reinterpret_cast<ModalDialog*>(lParam);
        if (object) {
            object->window_ = dialog;
            DialogMap().Add(object, dialog);
        }
    }
    auto* object = static_cast<ModalDialog*>(DialogMap().Find(dialog));
    if (!object) return 0;   // messages before WM_INITDIALOG

    DialogCall call{object, message, wParam, lParam, 0};
    if (!GuardedCall(dialog, RunDialogProc, &call)) call.result = 0;

    if (message == WM_INITDIALOG && g_layoutWindow) g_layoutWindow(dialog, 3);
    // The window is gone: a later window may get the same handle value while
    // the object (a local of its command) still lives, and a stale pair
    // ahead of it in the map would win the lookup.
    if (message == WM_NCDESTROY) DialogMap().RemoveObject(object);
    return call.result;
}

// ---- Windows -----------------------------------------------------------------

WindowObject::~WindowObject() { WindowMap().RemoveObject(this); }

LRESULT WindowObject::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    return Dispatch(message, wParam, lParam);
}

LRESULT WindowObject::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
    handled_ = false;
    message_ = message;
    wParam_ = wParam;
    lParam_ = lParam;
    switch (message) {
    case WM_CREATE:
        if (g_layoutWindow) g_layoutWindow(window_, 0);
        OnCreate();
        created_ = true;
        break;
    case WM_DESTROY:
    case WM_QUERYENDSESSION:
        OnClose();
        break;
    case WM_SIZE:
        OnSize();
        break;
    case WM_NOTIFY:
        OnNotify(static_cast<int>(wParam), reinterpret_cast<NMHDR*>(lParam));
        break;
    case WM_COMMAND:
        OnCommand(HIWORD(wParam), LOWORD(wParam), reinterpret_cast<HWND>(lParam));
        break;
    default:
        break;
    }
    if (handled_) return result_;
    return ::DefWindowProcW(window_, message, wParam, lParam);
}

void WindowObject::OnCommand(WORD, WORD, HWND) {}
void WindowObject::OnNotify(int, NMHDR*) {}
void WindowObject::OnClose() {}
void WindowObject::OnSize() {}
void WindowObject::OnCreate() {}

namespace {

struct WindowCall {
    WindowObject* object;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    LRESULT result;
};

void RunWindowProc(void* context) {
    auto* call = static_cast<WindowCall*>(context);
    call->result = call->object->WindowProc(call->message, call->wParam, call->lParam);
}

}  // namespace

LRESULT CALLBACK SharedWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        auto* object = static_cast<WindowObject*>(create ? create->lpCreateParams : nullptr);
        if (object) {
            object->window_ = window;
            WindowMap().Add(object, window);
        }
    }
    auto* object = static_cast<WindowObject*>(WindowMap().Find(window));
    if (!object) return ::DefWindowProcW(window, message, wParam, lParam);

    WindowCall call{object, message, wParam, lParam, 0};
    if (!GuardedCall(window, RunWindowProc, &call)) call.result = 0;

    if (message == WM_DESTROY) WindowMap().RemoveObject(object);
    return call.result;
}

// ---- Resizable dialogs -------------------------------------------------------

void DialogResizer::Capture(HWND dialog) {
    owner_ = dialog;
    ::GetClientRect(dialog, &client_);
    count_ = 0;
    HWND child = ::GetWindow(dialog, GW_CHILD);
    if (child) child = ::GetWindow(child, GW_HWNDFIRST);
    for (; child && count_ < kCapacity; child = ::GetWindow(child, GW_HWNDNEXT)) {
        Entry& entry = entries_[count_++];
        entry.child = child;
        ::GetWindowRect(child, &entry.rect);
        ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&entry.rect), 2);
    }
}

void DialogResizer::Place(HDWP& deferral, int controlId, int fx, int fy, int fw) {
    if (!deferral || !owner_) return;
    HWND child = ::GetDlgItem(owner_, controlId);
    if (!child) return;
    const Entry* entry = nullptr;
    for (int i = 0; i < count_; ++i) {
        if (entries_[i].child == child) {
            entry = &entries_[i];
            break;
        }
    }
    if (!entry) return;
    RECT now;
    ::GetClientRect(owner_, &now);
    const int dx = now.right - client_.right;
    const int dy = now.bottom - client_.bottom;
    const RECT& r = entry->rect;
    deferral = ::DeferWindowPos(deferral, child, nullptr, r.left + fx * dx, r.top + fy * dy,
                                (r.right + fw * dx) - r.left, r.bottom - r.top, SWP_NOZORDER);
}

void DialogResizer::InvalidateGrip() {
    if (owner_) ::InvalidateRect(owner_, &grip_, TRUE);
}

void DialogResizer::PaintGrip() {
    if (!owner_) return;
    RECT client;
    ::GetClientRect(owner_, &client);
    grip_ = {client.right - ::GetSystemMetrics(SM_CXHSCROLL),
             client.bottom - ::GetSystemMetrics(SM_CYVSCROLL), client.right, client.bottom};
    PAINTSTRUCT paint;
    HDC dc = ::BeginPaint(owner_, &paint);
    if (dc) ::DrawFrameControl(dc, &grip_, DFC_SCROLL, DFCS_SCROLLSIZEGRIP);
    ::EndPaint(owner_, &paint);
}

// ---- Helpers ---------------------------------------------------------------

void CenterOnScreen(HWND window) {
    HDC screen = ::GetDC(nullptr);
    if (!screen) return;
    const int width = ::GetDeviceCaps(screen, HORZRES);
    const int height = ::GetDeviceCaps(screen, VERTRES);
    ::ReleaseDC(nullptr, screen);
    RECT r;
    if (!::GetWindowRect(window, &r)) return;
    // Width and height grow by one pixel on purpose: the frame has always
    // centred this way, and every dialog layout was checked with it.
    ::MoveWindow(window, (r.left - r.right + width - 1) / 2, (r.top - r.bottom + height - 1) / 2,
                 r.right - r.left + 1, r.bottom - r.top + 1, TRUE);
}

bool OpenWithShell(HWND owner, const wchar_t* target) {
    if (!target || !target[0]) return false;
    HINSTANCE result = ::ShellExecuteW(owner, L"open", target, L"", L"", SW_SHOW);
    return reinterpret_cast<INT_PTR>(result) > 32;
}

void EnableMenuCommand(HWND window, HMENU menu, int position, UINT commandId, bool enable) {
    if (!menu) menu = ::GetSubMenu(::GetMenu(window), position);
    if (!menu) return;
    ::EnableMenuItem(menu, commandId, MF_BYCOMMAND | (enable ? MF_ENABLED : MF_GRAYED));
}

void EnableToolbarButton(HWND toolbar, UINT commandId, bool enable) {
    LRESULT state = ::SendMessageW(toolbar, TB_GETSTATE, commandId, 0);
    if (state == -1) return;   // no such button
    if (enable) state |= TBSTATE_ENABLED;
    else state &= ~static_cast<LRESULT>(TBSTATE_ENABLED);
    ::SendMessageW(toolbar, TB_SETSTATE, commandId, MAKELPARAM(static_cast<WORD>(state), 0));
}

HWND CreateChildWindow(HWND owner, DWORD exStyle, const wchar_t* className, DWORD style,
                       int x, int y, int width, int height) {
    return ::CreateWindowExW(exStyle, className, L"", style, x, y, width, height, owner, nullptr,
                             ResourceModule(), nullptr);
}

void DescrambleText(wchar_t* destination, size_t size, const unsigned char* stored) {
    if (size == 0) return;
    size_t n = 0;
    for (; stored && stored[n] && n + 1 < size; ++n) {
        destination[n] = static_cast<wchar_t>(stored[n] ^ kScrambleKey ^
                                              static_cast<uint16_t>(kScrambleStart - n));
    }
    destination[n] = 0;
}

void ProductWebAddress(wchar_t* out, size_t size) {
    DescrambleText(out, size, kStoredWebAddress.data());
}

void ProductLinkText(wchar_t* out, size_t size) {
    DescrambleText(out, size, kStoredLinkText.data());
}

}  // namespace nw
