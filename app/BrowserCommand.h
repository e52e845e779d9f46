// The browser's program path taken from the shell's open command for http.
#pragma once
#include <cstddef>

namespace nw {

// A command starting with a double quote names the program up to the next
// quote; otherwise the program ends at the first blank after the last
// backslash. False (out empty) when nothing is left or it does not fit.
bool BrowserPathFromCommand(const wchar_t* command, wchar_t* out, size_t size);

}  // namespace nw
