#include "batch/BatchConsole.h"

namespace nw {

// A process that already has a console (some systems hand the parent's to
// every child) is told "access denied": it is attached all the same.
BatchConsole::BatchConsole() {
    ownAttach_ = ::AttachConsole(ATTACH_PARENT_PROCESS) != FALSE;
    attached_ = ownAttach_ || ::GetLastError() == ERROR_ACCESS_DENIED;
}

BatchConsole::~BatchConsole() {
    console_.reset();
    if (ownAttach_) ::FreeConsole();
}

// A script's redirection reaches a program of the window subsystem through
// its standard handles; a console it was merely started from does not, so
// that one is opened by name.
HANDLE BatchConsole::Stream(bool error) {
    HANDLE given = ::GetStdHandle(error ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    if (given && given != INVALID_HANDLE_VALUE && ::GetFileType(given) != FILE_TYPE_UNKNOWN) return given;
    if (!attached_) return nullptr;
    if (!console_)
        console_.reset(::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     nullptr, OPEN_EXISTING, 0, nullptr));
    return console_ ? console_.get() : nullptr;
}

bool BatchConsole::Present() { return Stream(false) != nullptr; }

void BatchConsole::WriteLine(const std::wstring& text, bool error) {
    HANDLE stream = Stream(error);
    if (!stream) return;
    const std::wstring line = text + L"\r\n";
    DWORD mode = 0;
    DWORD written = 0;
    if (::GetConsoleMode(stream, &mode)) {
        ::WriteConsoleW(stream, line.c_str(), static_cast<DWORD>(line.size()), &written, nullptr);
        return;
    }
    // A file or pipe gets the console's code page, as the shell's own
    // output to it would; without a console, UTF-8.
    UINT codePage = attached_ ? ::GetConsoleOutputCP() : 0;
    if (codePage == 0) codePage = CP_UTF8;
    const int size = static_cast<int>(line.size());
    const int bytes = ::WideCharToMultiByte(codePage, 0, line.c_str(), size, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return;
    std::string encoded(static_cast<size_t>(bytes), '\0');
    ::WideCharToMultiByte(codePage, 0, line.c_str(), size, encoded.data(), bytes, nullptr, nullptr);
    ::WriteFile(stream, encoded.data(), static_cast<DWORD>(encoded.size()), &written, nullptr);
}

}  // namespace nw
