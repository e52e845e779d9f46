// Temporary folders and file helpers shared by the language tests.
#pragma once
#include <windows.h>
#include "TestFolder.h"
#include <cstdio>
#include <string>
#include <vector>

namespace langtest {

using TempFolder = nw::test::TempFolder;

using nw::test::ReadBytes;
using nw::test::ReadUtf16Lines;

inline void WriteBytes(const std::wstring& path, const void* data, size_t size) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, data, static_cast<DWORD>(size), &written, nullptr);
    CloseHandle(file);
}

// Writes text as UTF-16 with a byte-order mark, lines ended by CR LF.
inline void WriteUtf16(const std::wstring& path, const std::wstring& text) {
    std::vector<unsigned char> bytes = {0xFF, 0xFE};
    for (wchar_t c : text) {
        bytes.push_back(static_cast<unsigned char>(c & 0xFF));
        bytes.push_back(static_cast<unsigned char>(c >> 8));
    }
    WriteBytes(path, bytes.data(), bytes.size());
}

inline void WriteAnsi(const std::wstring& path, const std::string& text) {
    WriteBytes(path, text.data(), text.size());
}


}  // namespace langtest
