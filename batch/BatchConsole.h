// Where a run without a window tells its user something: the output it was
// given (a file or pipe of a script), or the console of the program that
// started it. A program started from Explorer or the task scheduler has
// neither, and then says nothing.
#pragma once
#include <windows.h>
#include <string>
#include "base/Handles.h"

namespace nw {

class BatchConsole {
public:
    // Attaches to the parent's console when there is one.
    BatchConsole();
    ~BatchConsole();
    BatchConsole(const BatchConsole&) = delete;
    BatchConsole& operator=(const BatchConsole&) = delete;

    // Somewhere to write: redirected output or the parent's console.
    bool Present();
    // One line (CR LF added); error lines go to the error output.
    void WriteLine(const std::wstring& text, bool error);

private:
    HANDLE Stream(bool error);

    bool attached_ = false;
    bool ownAttach_ = false;   // attached by this object, detached by it
    Handle console_;   // CONOUT$ of the attached console, opened on first use
};

}  // namespace nw
