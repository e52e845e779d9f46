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

// A system library the tests and the demo stand in for: the library the
// environment variable envName names when it holds a full path (a bare name
// would be looked for in the program's folder first), else systemName from
// the system folder.
HMODULE LoadStandInOrSystemLibrary(const wchar_t* envName, const wchar_t* systemName);

// An entry point bound by name, as the type the caller knows it to have.
template <typename Fn>
Fn LibraryEntry(HMODULE module, const char* name) {
    // Through void(*)(): GetProcAddress's type says nothing of the real one.
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(::GetProcAddress(module, name)));
}

}  // namespace nw
