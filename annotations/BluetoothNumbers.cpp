#include "annotations/BluetoothNumbers.h"

#include <windows.h>

#include <algorithm>

namespace nw {

namespace {

constexpr size_t kStep = 32;                  // names between two kept offsets
constexpr uint8_t kEscape = 0xFF;             // the next byte is taken as it stands
constexpr size_t kNameBytes = 256;            // longest name after expansion

// Expands the name at offset into UTF-8 bytes; false when the blob is damaged.
bool ExpandName(const sig::NumberTable& table, size_t offset, char* out, size_t size) {
    size_t n = 0;
    uint8_t stack[64];
    for (size_t at = offset; at < table.blobSize && table.blob[at] != 0; ++at) {
        uint8_t b = table.blob[at];
        if (b == kEscape) {
            if (++at >= table.blobSize || n + 1 >= size) return false;
            out[n++] = static_cast<char>(table.blob[at]);
            continue;
        }
        int depth = 0;
        stack[depth++] = b;
        while (depth > 0) {
            const uint8_t x = stack[--depth];
            if (table.pairFirst[x] != 0) {
                if (depth + 2 > static_cast<int>(sizeof stack)) return false;
                stack[depth++] = table.pairSecond[x];
                stack[depth++] = table.pairFirst[x];
            } else {
                if (n + 1 >= size) return false;
                out[n++] = static_cast<char>(x);
            }
        }
    }
    out[n] = 0;
    return true;
}

}  // namespace

bool NumberName(const sig::NumberTable& table, uint16_t id, wchar_t* out, size_t size) {
    if (size == 0) return false;
    out[0] = 0;
    const uint16_t* end = table.ids + table.count;
    const uint16_t* found = std::lower_bound(table.ids, end, id);
    if (found == end || *found != id) return false;
    const size_t index = static_cast<size_t>(found - table.ids);
    size_t at = table.starts[index / kStep];
    // Zero bytes end names; an escaped byte is never zero, but is skipped
    // all the same.
    for (size_t skip = index % kStep; skip > 0 && at < table.blobSize; ++at) {
        if (table.blob[at] == kEscape) ++at;
        else if (table.blob[at] == 0) --skip;
    }
    char name[kNameBytes];
    if (!ExpandName(table, at, name, sizeof name)) return false;
    const int units = ::MultiByteToWideChar(CP_UTF8, 0, name, -1, out, static_cast<int>(size));
    if (units <= 0) {
        // Too long for out: the first size - 1 units.
        wchar_t whole[kNameBytes];
        if (::MultiByteToWideChar(CP_UTF8, 0, name, -1, whole, static_cast<int>(kNameBytes)) <= 0) return false;
        size_t k = 0;
        for (; k + 1 < size && whole[k]; ++k) out[k] = whole[k];
        out[k] = 0;
    }
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
