// Bounded text helpers. Every fixed buffer in the program is filled through
// these: they cut to size - 1 and always terminate.
#pragma once
#include <cstddef>
#include <cwchar>
#include <cwctype>

namespace nw {

// Copies at most size - 1 units of src into dst and terminates it.
// Returns the number of units copied. A size of 0 writes nothing.
// One body for both widths; the overloads below keep calls exact (a null or
// a literal source needs no deduction).
template <typename Unit>
inline size_t CopyUnits(Unit* dst, size_t size, const Unit* src) {
    if (size == 0) return 0;
    size_t n = 0;
    if (src) {
        while (n + 1 < size && src[n]) { dst[n] = src[n]; ++n; }
    }
    dst[n] = 0;
    return n;
}

inline size_t CopyText(wchar_t* dst, size_t size, const wchar_t* src) { return CopyUnits(dst, size, src); }

template <size_t N>
inline size_t CopyText(wchar_t (&dst)[N], const wchar_t* src) { return CopyText(dst, N, src); }

inline size_t CopyText(char* dst, size_t size, const char* src) { return CopyUnits(dst, size, src); }

template <size_t N>
inline size_t CopyText(char (&dst)[N], const char* src) { return CopyText(dst, N, src); }

// Appends src to the text in dst, cutting at size - 1. Returns the new length.
inline size_t AppendText(wchar_t* dst, size_t size, const wchar_t* src) {
    if (size == 0) return 0;
    size_t len = 0;
    while (len + 1 < size && dst[len]) ++len;
    return len + CopyText(dst + len, size - len, src);
}

// A printf format the program itself wrote. The constructor runs at compile
// time, so only a constant (a literal) converts to it: a string-table text,
// which a language file can replace, can never become a format. Such texts
// go through the number-only formatter instead.
class LiteralFormat {
public:
    consteval LiteralFormat(const wchar_t* text) : text_(text) {
        // "%n" writes through an argument; no format of ours needs it.
        for (const wchar_t* p = text; *p; ++p)
            if (p[0] == L'%' && p[1] == L'n') throw "a format must not hold %n";
    }
    const wchar_t* Text() const { return text_; }

private:
    const wchar_t* text_;
};

// printf-style formatting cut to the buffer; always terminated.
// Returns the length written (never more than size - 1), or 0 when size is 0.
template <typename... Args>
inline size_t FormatText(wchar_t* dst, size_t size, LiteralFormat format, Args... args) {
    if (size == 0) return 0;
    int n = _snwprintf(dst, size - 1, format.Text(), args...);
    if (n < 0 || static_cast<size_t>(n) >= size - 1) n = static_cast<int>(size - 1);
    dst[n] = 0;
    return static_cast<size_t>(n);
}

// The profile reader drops blanks around a value and one pair of matching
// quotes around it. A value that would lose either is written inside one
// more pair of quotes, which the reader takes off again.
inline bool ProfileValueNeedsQuotes(const wchar_t* text) {
    const size_t length = text ? wcslen(text) : 0;
    if (length == 0) return false;
    const wchar_t first = text[0], last = text[length - 1];
    if (iswspace(first) || iswspace(last)) return true;
    return length >= 2 && first == last && (first == L'"' || first == L'\'');
}

// A menu item's label as plain text: the accelerator part from the first tab
// is cut and the access-key marks are dropped ("&&" stays one "&").
inline void MenuLabelAsPlainText(wchar_t* text) {
    wchar_t* out = text;
    for (const wchar_t* in = text; *in && *in != L'\t'; ++in) {
        if (*in == L'&') {
            if (in[1] != L'&') continue;
            ++in;
        }
        *out++ = *in;
    }
    *out = 0;
}

}  // namespace nw
