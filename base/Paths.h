// File names beside the executable and libraries bound at run time.
#pragma once
#include <windows.h>
#include <cstddef>

namespace nw {

// The rule for files beside the executable: cut the path at its last "."
// wherever it stands (nothing is cut when there is none) and append suffix.
// Pure: exePath is any path. Returns false (out empty) when it does not fit.
bool PathWithSuffix(const wchar_t* exePath, const wchar_t* suffix, wchar_t* out, size_t size);

// The same rule applied to this process's own executable.
bool ModulePathWithSuffix(const wchar_t* suffix, wchar_t* out, size_t size);

// Folder of the running executable, without a trailing backslash.
bool ModuleFolder(wchar_t* out, size_t size);

// Loads a system library from the system folder only, never from the
// program's own folder or the current folder, so a library planted beside
// the program cannot run with the user's rights.
HMODULE LoadSystemLibrary(const wchar_t* name);

}  // namespace nw
