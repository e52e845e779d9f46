#pragma once
// How the program allocates: built without C++ exceptions, it replaces the
// global operator new (base/Allocation.cpp). A request the heap cannot meet
// cannot come back to its caller, so it ends as a fault with the code
// STATUS_NO_MEMORY and the requested size as its one parameter: inside a
// window or dialog the frame's guard shows the crash report, elsewhere the
// system ends the process. Allocations whose size comes from outside (a file
// read whole, the record array) ask with std::nothrow or the heap itself and
// handle null.
#include <cstddef>

namespace nw {

[[noreturn]] void AllocationFailed(size_t bytes);

}  // namespace nw
