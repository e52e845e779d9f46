// The dialog and window frame: binds every dialog and the main window to a
// C++ object, routes messages to it inside a guard that turns a fault into the
// crash report, and offers the small control and menu helpers.
// The frame knows nothing about the application.
#pragma once
#include <windows.h>
#include <array>
#include <cstddef>
#include <cstdint>

namespace nw {

// ---- Handle -> object registry ---------------------------------------------
// Growable array of (object, window) pairs; grows by 8 slots, free slots are
// reused first, and a lookup returns the first matching slot.
class HandleObjectMap {
public:
    static constexpr int kGrowth = 8;

    HandleObjectMap() = default;
    ~HandleObjectMap();
    HandleObjectMap(const HandleObjectMap&) = delete;
    HandleObjectMap& operator=(const HandleObjectMap&) = delete;

    bool Add(void* object, HWND window);   // false only when memory runs out
    void* Find(HWND window) const;
    void RemoveObject(void* object);     // frees the slot holding object
    int Capacity() const { return capacity_; }
    int Count() const;                   // slots in use

private:
    struct Slot { void* object; HWND window; };
    Slot* slots_ = nullptr;
    int capacity_ = 0;
};

HandleObjectMap& DialogMap();
HandleObjectMap& WindowMap();

// ---- Dialogs ----------------------------------------------------------------
class ModalDialog {
public:
    explicit ModalDialog(WORD templateId) : templateId_(templateId) {}
    // Teardown: removes the object from the dialog map.
    virtual ~ModalDialog();
    ModalDialog(const ModalDialog&) = delete;
    ModalDialog& operator=(const ModalDialog&) = delete;

    virtual INT_PTR DialogProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual void ExchangeData(bool toControls);
    // ShowModal with the object's own template; true when it ended with 1.
    virtual bool DoModal(HWND parent);

    HWND Window() const { return window_; }
    WORD TemplateId() const { return templateId_; }

protected:
    // Control helpers on this dialog.
    void SetOrGetText(bool toControls, int controlId, wchar_t* buffer);   // buffer of 1024 units
    void SetOrGetCheck(bool toControls, int32_t& value, int controlId);
    void EnableControl(int controlId, bool enable);

    HWND window_ = nullptr;
    WORD templateId_;

    friend INT_PTR CALLBACK SharedDialogProc(HWND, UINT, WPARAM, LPARAM);
};

class StandardDialog : public ModalDialog {
public:
    using ModalDialog::ModalDialog;
    // Concrete dialogs handle what they need and end in StandardDispatch.
    INT_PTR DialogProc(UINT message, WPARAM wParam, LPARAM lParam) override;

protected:
    // WM_NOTIFY -> OnNotify, WM_INITDIALOG -> OnInitDialog,
    // WM_COMMAND -> OnCommand; anything else gives 0.
    INT_PTR StandardDispatch(UINT message, WPARAM wParam, LPARAM lParam);
    // Default: 1 -> ExchangeData(false) and end with 1; 2 -> end with 2;
    // other clicks and EN_CHANGE -> UpdateControls.
    virtual INT_PTR OnCommand(WORD code, WORD id, HWND control);
    // Default: ExchangeData(true), UpdateControls, CenterOnScreen.
    virtual INT_PTR OnInitDialog();
    virtual INT_PTR OnNotify(int controlId, NMHDR* header);
    virtual void UpdateControls();
};

// Records the template for the translation of the dialog, then runs the
// platform modal loop with the shared dialog procedure.
INT_PTR ShowModal(WORD templateId, ModalDialog* object, HWND parent);
WORD CurrentTemplateId();
INT_PTR CALLBACK SharedDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// ---- Translation hook ----------------------------------------------------------
// The frame translates nothing itself; a translator registers here. translate
// runs on every dialog before its object sees WM_INITDIALOG, with the template
// being shown; layout runs on a dialog after it (flags 3) and on a frame
// window as it is created (flags 0). Null entries are skipped.
using TranslateDialogHook = void (*)(HWND dialog, int templateId);
using LayoutWindowHook = void (*)(HWND window, int flags);
void SetTranslationHooks(TranslateDialogHook translate, LayoutWindowHook layout);

// ---- Windows -----------------------------------------------------------------
// A window class registered with SharedWindowProc; the object is passed as
// the creation parameter of CreateWindowExW.
class WindowObject {
public:
    WindowObject() = default;
    // Also unregisters the object, so a window that outlives it falls back
    // to the default window procedure.
    virtual ~WindowObject();
    WindowObject(const WindowObject&) = delete;
    WindowObject& operator=(const WindowObject&) = delete;

    // Window classes override this, handle their own messages and end in
    // Dispatch. Default: Dispatch.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    HWND Window() const { return window_; }
    bool Created() const { return created_; }

protected:
    // Creation -> OnCreate; destroy and end-of-session query -> OnClose;
    // size -> OnSize; notify -> OnNotify; command -> OnCommand. Returns the
    // handler's result when a handler called SetResult, else DefWindowProcW.
    LRESULT Dispatch(UINT message, WPARAM wParam, LPARAM lParam);
    virtual void OnCommand(WORD code, WORD id, HWND control);
    virtual void OnNotify(int controlId, NMHDR* header);
    virtual void OnClose();
    virtual void OnSize();
    virtual void OnCreate();
    void SetResult(LRESULT result) { handled_ = true; result_ = result; }

    wchar_t className_[256] = {};
    HICON classIcon_ = nullptr;
    HWND window_ = nullptr;
    bool handled_ = false;
    LRESULT result_ = 0;
    UINT message_ = 0;
    WPARAM wParam_ = 0;
    LPARAM lParam_ = 0;
    bool created_ = false;

    friend LRESULT CALLBACK SharedWindowProc(HWND, UINT, WPARAM, LPARAM);
};

LRESULT CALLBACK SharedWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// ---- Fault guard -------------------------------------------------------------
// Runs fn(ctx) on the window thread; a fault or exception inside it shows the
// crash report with owner as its parent. Returns false when fn faulted (the
// message then returns 0). Ends the process with exit code 1 when the user
// chooses to terminate. Implemented with the crash report.
bool GuardedCall(HWND owner, void (*fn)(void* ctx), void* ctx);

// ---- Resizable dialogs -------------------------------------------------------
class DialogResizer {
public:
    static constexpr int kCapacity = 128;

    // Remembers the owner's client rectangle and every child's place.
    void Capture(HWND dialog);
    // Between BeginDeferWindowPos and EndDeferWindowPos; factors are 0 or 1:
    // (0, 0, 1) stretches to the right, (1, 1, 0) follows the bottom-right
    // corner. A control that was not captured is left alone.
    void Place(HDWP& deferral, int controlId, int fx, int fy, int fw);
    // Erases the grip drawn last (after the placements).
    void InvalidateGrip();
    // On WM_PAINT: draws the size grip in the bottom-right corner.
    void PaintGrip();
    const RECT& GripRect() const { return grip_; }

private:
    struct Entry { HWND child; RECT rect; };
    RECT grip_ = {};
    HWND owner_ = nullptr;
    Entry entries_[kCapacity] = {};
    RECT client_ = {};
    int count_ = 0;
};

// ---- Helpers ---------------------------------------------------------------
// Centres on the screen; the window comes out one pixel wider and taller.
void CenterOnScreen(HWND window);
// ShellExecuteW "open"; true when the shell accepted it.
bool OpenWithShell(HWND owner, const wchar_t* target);
// menu null: the sub-menu at position of the window's menu bar.
void EnableMenuCommand(HWND window, HMENU menu, int position, UINT commandId, bool enable);
void EnableToolbarButton(HWND toolbar, UINT commandId, bool enable);
HWND CreateChildWindow(HWND owner, DWORD exStyle, const wchar_t* className, DWORD style,
                       int x, int y, int width, int height);

// ---- Scrambled texts -------------------------------------------------------
// Texts stored scrambled in the program (About texts, link text and address).
// Unit i of a text is its stored byte XOR kScrambleKey XOR (kScrambleStart - i);
// the stored bytes end with a zero byte.
constexpr unsigned char kScrambleKey = 0x5C;
constexpr uint16_t kScrambleStart = 0xE9;

void DescrambleText(wchar_t* destination, size_t size, const unsigned char* stored);

// Compile-time scrambling of an ASCII literal, so that only the scrambled
// bytes reach the program image:
//   static constexpr auto kStored = ScrambleText("text");
//   DescrambleText(buffer, size, kStored.data());
// A literal that cannot be stored this way (too long, not ASCII, or a unit
// that would scramble to the terminating zero) fails to compile.
// Not constexpr and never defined: reaching it in ScrambleText stops the compile.
void TextCannotBeScrambled();

template <size_t N>
consteval std::array<unsigned char, N> ScrambleText(const char (&text)[N]) {
    static_assert(N <= kScrambleStart + 1u, "text too long to scramble");
    std::array<unsigned char, N> out{};
    for (size_t i = 0; i + 1 < N; ++i) {
        const unsigned c = static_cast<unsigned char>(text[i]);
        const unsigned b = c ^ kScrambleKey ^ static_cast<uint16_t>(kScrambleStart - i);
        if (c == 0 || c > 0x7F || b == 0 || b > 0xFF) TextCannotBeScrambled();
        out[i] = static_cast<unsigned char>(b);
    }
    out[N - 1] = 0;
    return out;
}

// The product's web address and the short link text shown for it.
void ProductWebAddress(wchar_t* out, size_t size);
void ProductLinkText(wchar_t* out, size_t size);

}  // namespace nw
