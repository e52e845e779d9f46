#include "base/Paths.h"
#include "base/Text.h"
#include <cwchar>

namespace nw {

bool PathWithSuffix(const wchar_t* exePath, const wchar_t* suffix, wchar_t* out, size_t size) {
    if (size == 0) return false;
    out[0] = 0;
    size_t len = wcslen(exePath);
    const wchar_t* dot = wcsrchr(exePath, L'.');
    size_t keep = dot ? static_cast<size_t>(dot - exePath) : len;
    size_t suffixLen = wcslen(suffix);
    if (keep + suffixLen + 1 > size) return false;
    wmemcpy(out, exePath, keep);
    wmemcpy(out + keep, suffix, suffixLen);
    out[keep + suffixLen] = 0;
    return true;
}

bool ModulePathWithSuffix(const wchar_t* suffix, wchar_t* out, size_t size) {
    wchar_t exe[MAX_PATH];
    DWORD n = ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) {
        if (size) out[0] = 0;
        return false;
    }
    return PathWithSuffix(exe, suffix, out, size);
}

bool ModuleFolder(wchar_t* out, size_t size) {
    wchar_t exe[MAX_PATH];
    DWORD n = ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
    if (size) out[0] = 0;
    if (n == 0 || n >= MAX_PATH) return false;
    wchar_t* slash = wcsrchr(exe, L'\\');
    if (!slash) return false;
    *slash = 0;
    return CopyText(out, size, exe) == wcslen(exe);
}

HMODULE LoadSystemLibrary(const wchar_t* name) {
    // LOAD_LIBRARY_SEARCH_SYSTEM32 needs KB2533623 on Windows 7; where the flag
    // is unknown fall back to an explicit path under the system folder.
    HMODULE module = ::LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module || ::GetLastError() != ERROR_INVALID_PARAMETER) return module;
    wchar_t path[MAX_PATH];
    UINT n = ::GetSystemDirectoryW(path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return nullptr;
    if (AppendText(path, MAX_PATH, L"\\") + wcslen(name) + 1 > MAX_PATH) return nullptr;
    AppendText(path, MAX_PATH, name);
    return ::LoadLibraryW(path);
}

namespace {

bool IsFullPath(const wchar_t* path) {
    if (path[0] == L'\\' && path[1] == L'\\') return true;
    return ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z')) && path[1] == L':' &&
           (path[2] == L'\\' || path[2] == L'/');
}

}  // namespace

HMODULE LoadStandInOrSystemLibrary(const wchar_t* envName, const wchar_t* systemName) {
    wchar_t path[MAX_PATH];
    DWORD n = ::GetEnvironmentVariableW(envName, path, MAX_PATH);
    if (n > 0 && n < MAX_PATH && IsFullPath(path))
        return ::LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    return LoadSystemLibrary(systemName);
}

}  // namespace nw
