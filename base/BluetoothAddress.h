// Bluetooth address text: six lower-case hex bytes joined by ":", most
// significant first. The address column, the description file's keys and
// "%device_addr%" all use it.
#pragma once
#include <cstdint>
#include <cwchar>

namespace nw {

constexpr size_t kAddressTextChars = 18;   // "00:1a:7d:da:71:13" + terminator

// address: the 48-bit address in the low six bytes, byte 0 least significant.
inline void FormatAddress(uint64_t address, wchar_t* buffer /* kAddressTextChars */) {
    static const wchar_t digits[] = L"0123456789abcdef";
    wchar_t* p = buffer;
    for (int i = 5; i >= 0; --i) {
        unsigned b = static_cast<unsigned>((address >> (8 * i)) & 0xFF);
        *p++ = digits[b >> 4];
        *p++ = digits[b & 0xF];
        if (i) *p++ = L':';
    }
    *p = 0;
}

// The three most significant bytes, most significant first: the company key.
inline void CompanyBlock(uint64_t address, uint8_t block[3]) {
    block[0] = static_cast<uint8_t>(address >> 40);
    block[1] = static_cast<uint8_t>(address >> 32);
    block[2] = static_cast<uint8_t>(address >> 24);
}

}  // namespace nw
