// Heap arrays of text units that a bounded read fills. The program's own
// allocator (UnitBuffer.cpp) is plain new[]; the unit tests link one in its
// place (tests/unit/base_unitbuffer_guard.cpp) that puts guard units at both
// ends of every array and fails the running test when its array is freed
// with a guard overwritten: a one-unit overrun, invisible in the heap's
// rounding, becomes a failed test.
#pragma once
#include <cstddef>
#include <memory>

namespace nw {

wchar_t* AllocateUnits(size_t count);   // null when out of memory; never throws
void FreeUnits(wchar_t* units);          // null does nothing

struct FreeUnitsDeleter {
    void operator()(wchar_t* units) const { FreeUnits(units); }
};
using UnitArray = std::unique_ptr<wchar_t[], FreeUnitsDeleter>;

}  // namespace nw
