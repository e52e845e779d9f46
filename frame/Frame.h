// The dialog and window frame: binds every dialog and the main window to a
// C++ object, routes messages to it inside a guard that turns a fault into the
// crash report, and offers the small control and menu helpers.
// The frame knows nothing about the application.
#pragma once
#include <windows.h>
#include <cstdint>

namespace nw {

// ---- Handle -> object registry ---------------------------------------------
// Growable array of (object, window) pairs; grows by 8 slots, free slots are
// reused first, and a lookup returns the first matching slot.
class HandleObjectMap {
public:
    HandleObjectMap() = default;
    ~HandleObjectMap();
    HandleObjectMap(const HandleObjectMap&) = delete;
    HandleObjectMap& operator=(const HandleObjectMap&) = delete;

    bool Add(void* object, HWND window);
    void* Find(HWND window) const;
    void RemoveObject(void* object);     // frees the slot holding object
    int Capacity() const { return capacity_; }

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
    INT_PTR StandardDispatch(UINT message, WPARAM wParam, LPARAM lParam);
    // Default: 1 -> ExchangeData(false) and end with 1; 2 -> end with 2;
    // EN_CHANGE -> UpdateControls.
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

// ---- Windows -----------------------------------------------------------------
class WindowObject {
public:
    WindowObject() = default;
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
// chooses to terminate.
bool GuardedCall(HWND owner, void (*fn)(void* ctx), void* ctx);

// ---- Resizable dialogs -------------------------------------------------------
class DialogResizer {
public:
    void Capture(HWND dialog);
    // Between BeginDeferWindowPos and EndDeferWindowPos; factors are 0 or 1.
    void Place(HDWP& deferral, int controlId, int fx, int fy, int fw);
    void InvalidateGrip();
    void PaintGrip();

private:
    struct Entry { HWND child; RECT rect; };
    RECT grip_ = {};
    HWND owner_ = nullptr;
    Entry entries_[128] = {};
    RECT client_ = {};
    int count_ = 0;
};

// ---- Helpers ---------------------------------------------------------------
void CenterOnScreen(HWND window);
bool OpenWithShell(HWND owner, const wchar_t* target);
void EnableMenuCommand(HWND window, HMENU menu, int position, UINT commandId, bool enable);
void EnableToolbarButton(HWND toolbar, UINT commandId, bool enable);
HWND CreateChildWindow(HWND owner, DWORD exStyle, const wchar_t* className, DWORD style,
                       int x, int y, int width, int height);
// Texts stored scrambled in the program (link address, About texts).
void DescrambleText(wchar_t* destination, size_t size, const unsigned char* stored);

// The About box (command 40003).
void ShowAboutBox(HWND parent);

}  // namespace nw
