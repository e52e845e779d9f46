#include "annotations/BluetoothNumbers.h"

#include <windows.h>

#include <algorithm>
#include <bit>
#include "base/Text.h"

namespace nw {

namespace {

constexpr unsigned kBlockShift = 5;           // 32 ids per block
constexpr unsigned kStartBits = 21;           // the stream bit below, the block above
constexpr size_t kNameBytes = 256;            // longest name after expansion
constexpr int kStackDepth = 64;               // deeper rule nesting is a damaged table

// The next symbol of the stream from bit at; -1 past the end or on a code
// the table does not have.
int NextSymbol(const sig::NameCode& code, size_t& at) {
    unsigned value = 0;
    unsigned first = 0;
    unsigned index = 0;
    for (size_t k = 0; k < code.lengths; ++k) {
        if (at >= code.streamBits) return -1;
        value |= (code.stream[at >> 3] >> (7 - (at & 7))) & 1u;
        ++at;
        const unsigned count = code.lengthCounts[k];
        if (value - first < count) {
            index += value - first;
            return index < code.symbols ? static_cast<int>(index) : -1;
        }
        index += count;
        first = (first + count) << 1;
        value <<= 1;
    }
    return -1;
}

// Field k of the entries (symbol s's left is field 2s, its right 2s + 1),
// through a three-byte window: a field is at most 16 bits, and two bytes
// follow the last one.
unsigned EntryField(const sig::NameCode& code, size_t k) {
    const size_t bit = k * code.width;
    const uint8_t* p = code.entries + (bit >> 3);
    const uint32_t window = (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
    return (window >> (24 - code.width - (bit & 7))) & ((1u << code.width) - 1);
}

// Appends the bytes of symbol s to out; false when out is full or the table
// is damaged (a symbol beyond the entries, rules nested too deep or in a loop).
bool ExpandSymbol(const sig::NameCode& code, unsigned s, char* out, size_t& n, size_t size) {
    unsigned stack[kStackDepth];
    int depth = 0;
    stack[depth++] = s;
    while (depth > 0) {
        const unsigned x = stack[--depth];
        if (x >= code.symbols) return false;
        const unsigned left = EntryField(code, 2 * size_t{x});
        const unsigned right = EntryField(code, 2 * size_t{x} + 1);
        if (left == x) {
            if (n + 1 >= size) return false;
            out[n++] = static_cast<char>(right);
        } else {
            if (depth + 2 > kStackDepth) return false;
            stack[depth++] = right;
            stack[depth++] = left;
        }
    }
    return true;
}

// The name of id in UTF-16 into out (kNameBytes units); false, out empty,
// when the id has none or the table is damaged.
bool DecodeName(const sig::NumberTable& table, uint16_t id, wchar_t* out) {
    out[0] = 0;
    const uint32_t block = id >> kBlockShift;
    const uint32_t* end = table.blocks + table.blockCount;
    const uint32_t* found = std::lower_bound(table.blocks, end, block,
                                             [](uint32_t entry, uint32_t key) { return (entry >> kStartBits) < key; });
    if (found == end || (*found >> kStartBits) != block) return false;
    const uint32_t mask = table.masks[found - table.blocks];
    const unsigned bit = id & ((1u << kBlockShift) - 1);
    if (((mask >> bit) & 1u) == 0) return false;
    const sig::NameCode& code = *table.code;
    if (code.width == 0 || code.width > 16) return false;
    size_t at = *found & ((1u << kStartBits) - 1);
    // Skip the names of the assigned ids before this one in its block.
    for (int skip = std::popcount(mask & ((1u << bit) - 1)); skip > 0;) {
        const int s = NextSymbol(code, at);
        if (s < 0) return false;
        if (static_cast<unsigned>(s) == code.end) --skip;
    }
    char name[kNameBytes];
    size_t n = 0;
    for (;;) {
        const int s = NextSymbol(code, at);
        if (s < 0) return false;
        if (static_cast<unsigned>(s) == code.end) break;
        if (!ExpandSymbol(code, static_cast<unsigned>(s), name, n, sizeof name)) return false;
    }
    name[n] = 0;
    if (::MultiByteToWideChar(CP_UTF8, 0, name, -1, out, static_cast<int>(kNameBytes)) <= 0) out[0] = 0;
    return out[0] != 0;
}

}  // namespace

bool NumberName(const sig::NumberTable& table, uint16_t id, wchar_t* out, size_t size) {
    if (size == 0) return false;
    wchar_t name[kNameBytes];
    DecodeName(table, id, name);
    // Cut to size - 1 units.
    CopyText(out, size, name);
    return out[0] != 0;
}

bool BluetoothCompanyName(uint16_t id, wchar_t* out, size_t size) { return NumberName(sig::kCompanies, id, out, size); }

bool AppearanceCategoryName(uint16_t value, wchar_t* out, size_t size) {
    return NumberName(sig::kAppearances, static_cast<uint16_t>(value & ~0x3Fu), out, size);
}

bool AppearanceSubcategoryName(uint16_t value, wchar_t* out, size_t size) {
    if ((value & 0x3F) == 0) {
        if (size) out[0] = 0;
        return false;
    }
    return NumberName(sig::kAppearances, value, out, size);
}

}  // namespace nw
