// The test build's allocator of base/UnitBuffer.h, linked in place of the
// program's: guard units on both sides of every array, checked when it is
// freed. An overwritten guard fails the test that is running.
#include <gtest/gtest.h>
#include <gtest/gtest-spi.h>
#include <cstdlib>
#include <cstring>
#include "base/UnitBuffer.h"

namespace {

constexpr size_t kGuardUnits = 8;
constexpr wchar_t kGuard = 0xFDFD;
constexpr wchar_t kFresh = 0xCDCD;   // a read of a unit never written sees this

struct Header {
    size_t count;
    size_t pad;   // keeps the units 16-byte aligned, as new[] would
};

Header* HeaderOf(wchar_t* units) { return reinterpret_cast<Header*>(units - kGuardUnits) - 1; }

}  // namespace

namespace nw {

wchar_t* AllocateUnits(size_t count) {
    if (count == 0) count = 1;
    auto* header = static_cast<Header*>(std::malloc(sizeof(Header) + (count + 2 * kGuardUnits) * sizeof(wchar_t)));
    if (!header) return nullptr;
    header->count = count;
    auto* front = reinterpret_cast<wchar_t*>(header + 1);
    wchar_t* units = front + kGuardUnits;
    for (size_t i = 0; i < kGuardUnits; ++i) front[i] = units[count + i] = kGuard;
    for (size_t i = 0; i < count; ++i) units[i] = kFresh;
    return units;
}

void FreeUnits(wchar_t* units) {
    if (!units) return;
    Header* header = HeaderOf(units);
    const size_t count = header->count;
    for (size_t i = 0; i < kGuardUnits; ++i) {
        if (units[-1 - static_cast<ptrdiff_t>(i)] != kGuard)
            ADD_FAILURE() << "written " << i + 1 << " unit(s) before an array of " << count << " units";
        if (units[count + i] != kGuard)
            ADD_FAILURE() << "written at unit " << count + i << " of an array of " << count << " units";
    }
    std::free(header);
}

}  // namespace nw

TEST(UnitBufferGuard, AUnitWrittenPastEitherEndFailsTheTest) {
    wchar_t* units = nw::AllocateUnits(3);
    ASSERT_NE(nullptr, units);
    units[3] = 0;
    EXPECT_NONFATAL_FAILURE(nw::FreeUnits(units), "written at unit 3 of an array of 3 units");
    units = nw::AllocateUnits(3);
    units[-1] = 0;
    EXPECT_NONFATAL_FAILURE(nw::FreeUnits(units), "written 1 unit(s) before");
    units = nw::AllocateUnits(3);
    units[0] = units[2] = 0;
    nw::FreeUnits(units);
}
