// Bounded text helpers. Every fixed buffer in the program is filled through
// these: they cut to size - 1 and always terminate.
#pragma once
#include <cstddef>
#include <cstdarg>
#include <cwchar>
#include <cwctype>

namespace nw {

// Copies at most size - 1 units of src into dst and terminates it.
// Returns the number of units copied. A size of 0 writes nothing.
inline size_t CopyText(wchar_t* dst, size_t size, const wchar_t* src) {
    if (size == 0) return 0;
    size_t n = 0;
    if (src) {
        while (n + 1 < size && src[n]) { dst[n] = src[n]; ++n; }
    }
    dst[n] = 0;
    return n;
}

template <size_t N>
inline size_t CopyText(wchar_t (&dst)[N], const wchar_t* src) { return CopyText(dst, N, src); }

inline size_t CopyText(char* dst, size_t size, const char* src) {
    if (size == 0) return 0;
    size_t n = 0;
    if (src) {
        while (n + 1 < size && src[n]) { dst[n] = src[n]; ++n; }
    }
    dst[n] = 0;
    return n;
}

template <size_t N>
inline size_t CopyText(char (&dst)[N], const char* src) { return CopyText(dst, N, src); }

// Appends src to the text in dst, cutting at size - 1. Returns the new length.
inline size_t AppendText(wchar_t* dst, size_t size, const wchar_t* src) {
    if (size == 0) return 0;
    size_t len = 0;
    while (len + 1 < size && dst[len]) ++len;
    return len + CopyText(dst + len, size - len, src);
}

// printf-style formatting cut to the buffer; always terminated.
// Returns the length written (never more than size - 1), or 0 when size is 0.
inline size_t FormatText(wchar_t* dst, size_t size, const wchar_t* format, ...) {
    if (size == 0) return 0;
    va_list args;
    va_start(args, format);
    int n = _vsnwprintf(dst, size - 1, format, args);
    va_end(args);
    if (n < 0 || static_cast<size_t>(n) >= size - 1) n = static_cast<int>(size - 1);
    dst[n] = 0;
    return static_cast<size_t>(n);
}

inline size_t FormatTextV(wchar_t* dst, size_t size, const wchar_t* format, va_list args) {
    if (size == 0) return 0;
    int n = _vsnwprintf(dst, size - 1, format, args);
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
