// Names of the Bluetooth SIG numbers a Low Energy advertisement carries: the
// company identifier of its manufacturer data and its GAP appearance. The
// tables are generated (tools/make_bluetooth_numbers.py) and packed; see
// BluetoothNumbersData.cpp.
#pragma once
#include <cstddef>
#include <cstdint>

namespace nw {

namespace sig {
// The code shared by both tables: a canonical Huffman code (lengthCounts[k]
// codes of k + 1 bits) over symbols numbered in code order; each symbol's
// fixed-width entry (left, right) is a pair rule, or a byte when left is the
// symbol itself; two zero bytes follow the last entry. The end symbol ends
// a name.
struct NameCode {
    const uint16_t* lengthCounts;
    size_t lengths;
    const uint8_t* entries;
    unsigned width;
    unsigned symbols;
    unsigned end;
    const uint8_t* stream;
    size_t streamBits;
};
// One table: per block of 32 ids, the block number above bit 21 and below it
// the stream bit where its first name starts, and the mask of its assigned
// ids. Blocks ascend.
struct NumberTable {
    const NameCode* code;
    const uint32_t* blocks;
    const uint32_t* masks;
    size_t blockCount;
};
extern const NameCode kNameCode;
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
