// The About box (template 112): the product line, the web address as a link
// and, when the language file names one, the translator.
#pragma once
#include "frame/Frame.h"
#include "base/Handles.h"

namespace nw {

class AboutDialog : public ModalDialog {
public:
    AboutDialog();
    INT_PTR DialogProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    static constexpr size_t kTextChars = 255;
    wchar_t firstText[kTextChars] = {};    // beside the icon (1002)
    wchar_t secondText[kTextChars] = {};   // web address, shown as a link (1004)
    wchar_t leText[kTextChars] = {};       // why Low Energy scanning cannot run (1023); empty when it can

private:
    bool IsLink(HWND child) const;
    bool TranslatorIsLink() const;
    HWND ChildAt(LPARAM clientPoint) const;
    void DropLeLine();
    void OpenLink(int controlId);

    Font linkFont_;
};

// A web address the About box may hand to the shell: http, https or mailto.
// Anything else (a program path in a downloaded language file) is refused.
bool IsWebAddress(const wchar_t* text);

// The About box (command 40003). focusAfter, when given, gets the keyboard
// focus back when the box closes (the main window passes its list);
// leStatus says why Low Energy scanning cannot run, if it cannot.
void ShowAboutBox(HWND parent, HWND focusAfter = nullptr, const wchar_t* leStatus = nullptr);

}  // namespace nw
