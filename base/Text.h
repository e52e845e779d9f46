// Bounded text helpers. Every fixed buffer in the program is filled through
// these: they cut to size - 1 and always terminate.
#pragma once
#include <cstddef>
#include <cwchar>
#include <cwctype>
#include <type_traits>

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

// What an argument of FormatText is, as its format must name it.
// Small integers reach printf as an int whose value they keep, so they fit
// both %d and %u.
enum class FormatArg : unsigned char { Int, Unsigned, Small, Long, UnsignedLong, WideText, Other };

template <typename T>
consteval FormatArg FormatArgOf() {
    if constexpr (std::is_same_v<T, int>) return FormatArg::Int;
    else if constexpr (std::is_same_v<T, unsigned>) return FormatArg::Unsigned;
    else if constexpr (std::is_same_v<T, short> || std::is_same_v<T, unsigned short> ||
                       std::is_same_v<T, signed char> || std::is_same_v<T, unsigned char>)
        return FormatArg::Small;
    else if constexpr (std::is_same_v<T, long>) return FormatArg::Long;
    else if constexpr (std::is_same_v<T, unsigned long>) return FormatArg::UnsignedLong;
    else if constexpr (std::is_same_v<T, const wchar_t*> || std::is_same_v<T, wchar_t*>) return FormatArg::WideText;
    else return FormatArg::Other;
}

// Deliberately not constexpr and never defined: reaching it while a format is
// checked at compile time stops the compile, and the error shows the reason.
void FormatRefused(const char* why);

// A printf format the program itself wrote, checked against the types of its
// arguments. The constructor runs at compile time, so only a constant (a
// literal) converts to it: a string-table text, which a language file can
// replace, can never become a format. Such texts go through the number-only
// formatter instead.
// The formatting is the system C runtime's (msvcrt.dll, as on Windows 7),
// where %s is a wide string and the C99 sizes (%zu, %lld, %hs, %j, %t) are
// missing or mean something else; only what it reads as C does is accepted:
// flags, a fixed width and precision, d i u x X o (with l for a long), s, %%.
template <typename... Args>
class LiteralFormat {
public:
    consteval LiteralFormat(const wchar_t* text) : text_(text) {
        constexpr FormatArg kinds[] = {FormatArgOf<Args>()..., FormatArg::Other};
        size_t used = 0;
        for (const wchar_t* p = text; *p; ++p) {
            if (*p != L'%') continue;
            ++p;
            if (*p == L'%') continue;
            while (*p == L'-' || *p == L'+' || *p == L' ' || *p == L'#' || *p == L'0') ++p;
            while (*p >= L'0' && *p <= L'9') ++p;
            if (*p == L'.') {
                ++p;
                while (*p >= L'0' && *p <= L'9') ++p;
            }
            const bool isLong = *p == L'l';
            if (isLong) ++p;
            FormatArg wanted = FormatArg::Other;
            switch (*p) {
            case L'd': case L'i': wanted = isLong ? FormatArg::Long : FormatArg::Int; break;
            case L'u': case L'x': case L'X': case L'o':
                wanted = isLong ? FormatArg::UnsignedLong : FormatArg::Unsigned;
                break;
            case L's':
                if (!isLong) wanted = FormatArg::WideText;
                break;
            default: break;
            }
            // Anything else (%n, %p, %c, a size msvcrt reads otherwise, '*')
            // is refused here rather than misread at run time.
            if (wanted == FormatArg::Other) FormatRefused("a format holds a conversion the system printf would misread");
            if (used >= sizeof...(Args)) FormatRefused("a format names more arguments than it is given");
            const FormatArg given = kinds[used++];
            const bool small = given == FormatArg::Small && (wanted == FormatArg::Int || wanted == FormatArg::Unsigned);
            if (given != wanted && !small) FormatRefused("an argument's type does not match its conversion");
        }
        if (used != sizeof...(Args)) FormatRefused("a format names fewer arguments than it is given");
    }
    const wchar_t* Text() const { return text_; }

private:
    const wchar_t* text_;
};

// printf-style formatting cut to the buffer; always terminated.
// Returns the length written (never more than size - 1), or 0 when size is 0.
// _snwprintf is msvcrt's own (a truncated result is -1 there), never the
// C99 one of the mingw runtime, which would bring its own 20 KB printf.
template <typename... Args>
inline size_t FormatText(wchar_t* dst, size_t size, LiteralFormat<std::type_identity_t<Args>...> format,
                         Args... args) {
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
