#include "annotations/Descriptions.h"
#include "base/BluetoothAddress.h"
#include "base/Handles.h"
#include "base/Paths.h"
#include "base/Text.h"
#include <windows.h>
#include <string>

namespace nw {

namespace {

const wchar_t kSection[] = L"Descriptions";

wchar_t g_testPath[MAX_PATH];

// The profile functions keep a file in UTF-16 once it starts with a byte-order
// mark, and write 8-bit text in the ANSI code page otherwise, which loses every
// character outside it. So a file that does not exist yet (or is empty) gets
// the mark before the first write. A file that already has content is left in
// whatever form it has: a hand-written 8-bit file is still read and extended
// the way the platform does it.
void PrepareUnicodeFile(const wchar_t* path) {
    Handle file(::CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return;   // read-only folder or locked: the write below fails alike
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size) || size.QuadPart != 0) return;
    static const unsigned char bom[2] = {0xFF, 0xFE};
    DWORD written = 0;
    ::WriteFile(file.get(), bom, sizeof(bom), &written, nullptr);
}

}  // namespace

void SetDescriptionFileForTesting(const wchar_t* path) {
    CopyText(g_testPath, path ? path : L"");
}

bool DescriptionFilePath(wchar_t* buffer, size_t size) {
    if (g_testPath[0]) {
        if (size == 0) return false;
        return CopyText(buffer, size, g_testPath) == wcslen(g_testPath);
    }
    return ModulePathWithSuffix(L"_Desc.ini", buffer, size);
}

size_t ReadDescription(uint64_t address, wchar_t* buffer, size_t size) {
    if (size == 0) return 0;
    buffer[0] = 0;
    wchar_t path[MAX_PATH];
    if (!DescriptionFilePath(path, MAX_PATH)) return 0;
    wchar_t key[kAddressTextChars];
    FormatAddress(address, key);
    wchar_t value[kDescriptionChars] = {};
    ::GetPrivateProfileStringW(kSection, key, L"", value, kDescriptionChars, path);
    value[kDescriptionMax] = 0;
    return CopyText(buffer, size, value);
}

void FlattenDescription(wchar_t* text) {
    for (; text && *text; ++text) {
        if (*text == L'\r' || *text == L'\n') *text = L' ';
    }
}

bool WriteDescription(uint64_t address, const wchar_t* text) {
    wchar_t path[MAX_PATH];
    if (!DescriptionFilePath(path, MAX_PATH)) return false;
    wchar_t key[kAddressTextChars];
    FormatAddress(address, key);
    // Descriptions are often taken from device names, which any stranger's
    // radio can choose. A line break inside the value would end the line
    // and let the rest become keys or sections of its own.
    std::wstring value(text ? text : L"");
    FlattenDescription(value.data());
    // The reader would trim outer blanks and take a pair of quotes off
    // ("Kitchen" would come back as Kitchen): such a value goes inside one
    // more pair, which the reader removes again.
    if (ProfileValueNeedsQuotes(value.c_str())) value = L'"' + value + L'"';
    PrepareUnicodeFile(path);
    return ::WritePrivateProfileStringW(kSection, key, value.c_str(), path) != FALSE;
}

}  // namespace nw
