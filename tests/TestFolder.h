// A fresh folder under the temporary folder for one test, removed with
// everything in it (read-only files included) when the test ends.
#pragma once
#include <windows.h>
#include <cstdio>
#include <string>
#include <vector>

namespace nw::test {

class TempFolder {
public:
    TempFolder() {
        wchar_t base[MAX_PATH];
        GetTempPathW(MAX_PATH, base);
        static int counter = 0;
        wchar_t name[MAX_PATH];
        swprintf(name, MAX_PATH, L"%lsnw_test_%lu_%d", base, GetCurrentProcessId(), ++counter);
        path_ = name;
        CreateDirectoryW(path_.c_str(), nullptr);
    }
    ~TempFolder() { Remove(path_); }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    std::wstring File(const wchar_t* name) const { return path_ + L"\\" + name; }
    const std::wstring& Path() const { return path_; }

private:
    static void Remove(const std::wstring& folder) {
        WIN32_FIND_DATAW data;
        HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
        if (find != INVALID_HANDLE_VALUE) {
            do {
                std::wstring name = data.cFileName;
                if (name == L"." || name == L"..") continue;
                std::wstring full = folder + L"\\" + name;
                SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
                if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) Remove(full);
                else DeleteFileW(full.c_str());
            } while (FindNextFileW(find, &data));
            FindClose(find);
        }
        RemoveDirectoryW(folder.c_str());
    }
    std::wstring path_;
};

// The whole file; empty when it cannot be read.
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

#ifdef NW_SOURCE_DIR
// A file of the source tree as a Windows path; a POSIX source folder (the
// Wine test run) lives on drive Z:.
inline std::wstring SourceFile(const wchar_t* relative) {
    std::wstring path;
    for (const char* c = NW_SOURCE_DIR; *c; ++c) path += static_cast<wchar_t>(*c == '/' ? '\\' : *c);
    if (!path.empty() && path[0] == L'\\' && (path.size() < 2 || path[1] != L'\\')) path = L"Z:" + path;
    path += L'\\';
    for (const wchar_t* c = relative; *c; ++c) path += *c == L'/' ? L'\\' : *c;
    return path;
}
#endif

}  // namespace nw::test
