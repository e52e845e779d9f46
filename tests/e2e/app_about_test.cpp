// The About box of the real program (Help > About).
#include "e2e/AppSupport.h"

namespace nw::e2e {
namespace {

HWND WaitAbout(const Program& program) {
    HWND found = nullptr;
    WaitUntil(
        [&] {
            for (HWND dialog : program.Dialogs()) {
                if (::GetDlgItem(dialog, IDC_ABOUT_LINK) && ::GetDlgItem(dialog, IDC_ABOUT_TEXT)) {
                    found = dialog;
                    return true;
                }
            }
            return false;
        },
        10000);
    return found;
}

bool Shown(HWND dialog, int id) {
    return (::GetWindowLongPtrW(::GetDlgItem(dialog, id), GWL_STYLE) & WS_VISIBLE) != 0;
}

TEST(AboutBox, ShowsTheProductAndItsAddressAndClosesWithOk) {
    Program program;
    NW_LAUNCH(program, LaunchOptions{});
    // Wine has no Low Energy watcher: once the status bar says so, so does the box.
    ASSERT_TRUE(WaitUntil([&] { return !program.StatusText(2).empty(); }, 10000));
    ASSERT_TRUE(program.Command(IDM_ABOUT));
    HWND about = WaitAbout(program);
    ASSERT_NE(nullptr, about);
    EXPECT_EQ(L"Nearwatch", Program::WindowText(about));
    EXPECT_EQ(0u, Program::ControlText(about, IDC_ABOUT_TEXT).rfind(L"Nearwatch v", 0));
    EXPECT_EQ(0u, Program::ControlText(about, IDC_ABOUT_LINK).rfind(L"https://", 0));
    // No language file: no translator.
    EXPECT_FALSE(Shown(about, IDC_ABOUT_TRANSLATOR_LABEL));
    EXPECT_FALSE(Shown(about, IDC_ABOUT_TRANSLATOR));
    EXPECT_TRUE(Shown(about, IDC_ABOUT_LE));
    EXPECT_EQ(0u, Program::ControlText(about, IDC_ABOUT_LE).rfind(L"LE scanning unavailable: ", 0))
        << Program::ControlText(about, IDC_ABOUT_LE);
    ASSERT_TRUE(Program::PressButton(about, IDOK));
    EXPECT_TRUE(WaitUntil([&] { return !::IsWindow(about); }, 5000));
    ExitByMenu(program);
}

TEST(AboutBox, TranslatorFromTheLanguageFileIsShown) {
    LaunchOptions options;
    options.language = "[general]\r\nTranslatorName=Ann Example\r\nTranslatorURL=https://ann.example.org/\r\n";
    Program program;
    NW_LAUNCH(program, options);
    ASSERT_TRUE(program.Command(IDM_ABOUT));
    HWND about = WaitAbout(program);
    ASSERT_NE(nullptr, about);
    EXPECT_TRUE(Shown(about, IDC_ABOUT_TRANSLATOR_LABEL));
    EXPECT_TRUE(Shown(about, IDC_ABOUT_TRANSLATOR));
    EXPECT_EQ(L"Ann Example", Program::ControlText(about, IDC_ABOUT_TRANSLATOR));
    // The product's own texts are not the language file's to change.
    EXPECT_EQ(L"Nearwatch", Program::WindowText(about));
    // Escape closes the box as well.
    HWND ok = ::GetDlgItem(about, IDOK);
    ::PostMessageW(ok, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    ::PostMessageW(ok, WM_KEYUP, VK_ESCAPE, 0xC0010001);
    EXPECT_TRUE(WaitUntil([&] { return !::IsWindow(about); }, 5000));
    ExitByMenu(program);
}

}  // namespace
}  // namespace nw::e2e
