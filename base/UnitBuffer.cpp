// The release allocator of base/UnitBuffer.h. Only these two functions may
// live in this file: the unit tests replace them at link time, and anything
// else here would pull this file in beside theirs.
#include "base/UnitBuffer.h"
#include <new>

namespace nw {

wchar_t* AllocateUnits(size_t count) { return new (std::nothrow) wchar_t[count ? count : 1]; }

void FreeUnits(wchar_t* units) { delete[] units; }

}  // namespace nw
