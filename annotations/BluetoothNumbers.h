// Names of the Bluetooth SIG numbers a Low Energy advertisement carries: the
// company identifier of its manufacturer data and its GAP appearance. The
// tables are generated (tools/make_bluetooth_numbers.py) and packed; see
// BluetoothNumbersData.cpp.
#pragma once
#include <cstddef>
#include <cstdint>

namespace nw {

namespace sig {
// One packed table: ids ascending, the names of every 32nd id at starts[],
// names zero-ended in the blob, with pair codes expanded through the two
// 256-byte tables.
struct NumberTable {
    const uint16_t* ids;
    size_t count;
    const uint32_t* starts;
    const uint8_t* blob;
    size_t blobSize;
    const uint8_t* pairFirst;
    const uint8_t* pairSecond;
};
extern const NumberTable kCompanies;
extern const NumberTable kAppearances;
}  // namespace sig

// The company with this identifier in UTF-16, cut to size - 1; false (out
// empty) when the id is not assigned.
bool BluetoothCompanyName(uint16_t id, wchar_t* out, size_t size);
// The GAP appearance category of value (bits 6-15), and its subcategory
// (bits 0-5, 0 = none); false (out empty) when the number has no name.
bool AppearanceCategoryName(uint16_t value, wchar_t* out, size_t size);
bool AppearanceSubcategoryName(uint16_t value, wchar_t* out, size_t size);
// The name of any id of a table, for the tests.
bool NumberName(const sig::NumberTable& table, uint16_t id, wchar_t* out, size_t size);

}  // namespace nw
