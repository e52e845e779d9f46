// Temporary folders and file helpers shared by the language tests.
#pragma once
#include <windows.h>
#include "TestFolder.h"
#include <cstdio>
#include <string>
#include <vector>

namespace langtest {

using TempFolder = nw::test::TempFolder;

inline std::vector<unsigned char> ReadBytes(const std::wstring& path) {
    std::vector<unsigned char> bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return bytes;
    DWORD size = GetFileSize(file, nullptr), got = 0;
    bytes.resize(size);
    if (size) ReadFile(file, bytes.data(), size, &got, nullptr);
    CloseHandle(file);
    return bytes;
}

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

// The file as UTF-16 lines; empty when it has no byte-order mark.
inline std::vector<std::wstring> ReadUtf16Lines(const std::wstring& path) {
    std::vector<unsigned char> bytes = ReadBytes(path);
    std::vector<std::wstring> lines;
    if (bytes.size() < 2 || bytes[0] != 0xFF || bytes[1] != 0xFE) return lines;
    std::wstring text;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) text += static_cast<wchar_t>(bytes[i] | (bytes[i + 1] << 8));
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(L"\r\n", start);
        if (end == std::wstring::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

}  // namespace langtest
