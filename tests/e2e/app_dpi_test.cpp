// The main window at 100 %, 150 % and 200 %: the screen's DPI is set in the
// prefix's registry before each start (Wine reads it as a process starts).
#include "e2e/AppSupport.h"

namespace nw::e2e {
namespace {

// Sets HKCU\Control Panel\Desktop LogPixels for programs started from now
// on, and puts the value that was there back at the end.
class ScreenDpi {
public:
    ScreenDpi() {
        ::RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0, KEY_READ | KEY_WRITE,
                          nullptr, &key_, nullptr);
        DWORD size = sizeof old_;
        had_ = key_ && ::RegQueryValueExW(key_, L"LogPixels", nullptr, nullptr, reinterpret_cast<BYTE*>(&old_),
                                          &size) == ERROR_SUCCESS;
    }
    ~ScreenDpi() {
        if (!key_) return;
        if (had_) Set(old_);
        else ::RegDeleteValueW(key_, L"LogPixels");
        ::RegCloseKey(key_);
    }
    bool Set(DWORD dpi) {
        return key_ && ::RegSetValueExW(key_, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi),
                                        sizeof dpi) == ERROR_SUCCESS;
    }

private:
    HKEY key_ = nullptr;
    DWORD old_ = 0;
    bool had_ = false;
};

struct Look {
    int columnWidth[2];
    int textHeight;   // rows of dark pixels of the first column's title
};

// The height of the title's letters in the header, from the screen's pixels.
int HeaderTextHeight(HWND list, int firstColumnWidth) {
    HWND header = ::FindWindowExW(list, nullptr, L"SysHeader32", nullptr);
    RECT r;
    if (!header || !::GetWindowRect(header, &r)) return -1;
    r.right = r.left + firstColumnWidth - 4;   // clear of the divider
    r.left += 2;
    const int w = r.right - r.left;
    const std::vector<uint32_t> pixels = ScreenPixels(r);
    int first = -1, last = -1;
    for (int y = 0; w > 0 && static_cast<size_t>((y + 1) * w) <= pixels.size(); ++y) {
        for (int x = 0; x < w; ++x) {
            if (!IsBlackText(pixels[static_cast<size_t>(y * w + x)])) continue;
            if (first < 0) first = y;
            last = y;
            break;
        }
    }
    return first < 0 ? -1 : last - first + 1;
}

Look LookAt(DWORD dpi) {
    ScreenDpi screen;
    EXPECT_TRUE(screen.Set(dpi));
    Program program;
    Look look = {{-1, -1}, -1};
    LaunchOptions options;
    options.arguments = L"/nosaveload";
    EXPECT_TRUE(program.Launch(options)) << Narrow(program.Error());
    // Up front and drawn before its pixels are read.
    ::SetForegroundWindow(program.MainWindow());
    ::RedrawWindow(program.MainWindow(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    WaitUntil([&] { return program.ColumnCount() > 1; }, 5000);
    look.columnWidth[0] = program.ColumnWidth(0);
    look.columnWidth[1] = program.ColumnWidth(1);
    ::Sleep(300);
    look.textHeight = HeaderTextHeight(program.List(), look.columnWidth[0]);
    ExitByMenu(program);
    return look;
}

TEST(ScreenDpi, ColumnWidthsAndTheListFontScaleAt150And200Percent) {
    const Look normal = LookAt(96);
    ASSERT_GT(normal.columnWidth[0], 0);
    ASSERT_GT(normal.textHeight, 3);
    // 150 %: widths round to the nearest pixel; a letter's height may be
    // hinted a pixel either way.
    for (const int percent : {150, 200}) {
        const Look scaled = LookAt(static_cast<DWORD>(96 * percent / 100));
        for (int c = 0; c < 2; ++c)
            EXPECT_NEAR(normal.columnWidth[c] * percent / 100.0, scaled.columnWidth[c], 1)
                << "column " << c << " at " << percent << " %";
        EXPECT_NEAR(normal.textHeight * percent / 100.0, scaled.textHeight, 1.5)
            << "title letters " << normal.textHeight << " then " << scaled.textHeight << " pixels high at "
            << percent << " %";
    }
}

}  // namespace
}  // namespace nw::e2e
