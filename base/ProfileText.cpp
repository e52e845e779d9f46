#include "base/ProfileText.h"
#include "base/Text.h"
#include "base/UnitBuffer.h"
#include <windows.h>

namespace nw {

// The system's reader takes a value's pair of outer quotes off only when both
// fit in the buffer it is given, and otherwise drops the value's last
// character; so a quoted text of the longest length lost one character at
// every read. Reading with room for the pair and cutting afterwards keeps it.
size_t ReadProfileText(const wchar_t* section, const wchar_t* key, const wchar_t* defaultText,
                       wchar_t* buffer, size_t size, const wchar_t* path) {
    if (size == 0) return 0;
    buffer[0] = 0;
    if (!path || !path[0]) return CopyText(buffer, size, defaultText);
    const wchar_t* fallback = defaultText ? defaultText : L"";
    UnitArray whole(AllocateUnits(size + 2));
    if (!whole) {
        ::GetPrivateProfileStringW(section, key, fallback, buffer, static_cast<DWORD>(size), path);
        buffer[size - 1] = 0;
        return wcslen(buffer);
    }
    ::GetPrivateProfileStringW(section, key, fallback, whole.get(), static_cast<DWORD>(size + 2), path);
    return CopyText(buffer, size, whole.get());
}

namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n' || c == L'\v' || c == L'\f'; }

wchar_t FoldCase(wchar_t c) {
    // The names that matter are ASCII; others compare as the system folds
    // them, one unit at a time.
    if (c < 0x80) return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + 32) : c;
    return static_cast<wchar_t>(reinterpret_cast<ULONG_PTR>(::CharLowerW(reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(c)))));
}

// A name as the reader compares it: without blanks at either end.
struct Span {
    const wchar_t* begin;
    const wchar_t* end;
};

Span Trimmed(const wchar_t* begin, const wchar_t* end) {
    while (begin < end && IsBlank(*begin)) ++begin;
    while (end > begin && IsBlank(end[-1])) --end;
    return {begin, end};
}

bool SameName(Span a, Span b) {
    if (a.end - a.begin != b.end - b.begin) return false;
    for (; a.begin < a.end; ++a.begin, ++b.begin)
        if (FoldCase(*a.begin) != FoldCase(*b.begin)) return false;
    return true;
}

}  // namespace

// One line at a time, as the system's reader splits the file: a line ends at
// a carriage return or line feed; "[name]" starts a section (the name up to
// the line's last ']'); "name=value" is a key, a name alone has no value;
// lines before the first section belong to the section named "".
size_t ReadProfileTextFrom(const wchar_t* text, size_t units, const wchar_t* section, const wchar_t* key,
                           const wchar_t* defaultText, wchar_t* buffer, size_t size) {
    if (size == 0) return 0;
    buffer[0] = 0;
    const wchar_t* fallback = defaultText ? defaultText : L"";
    if (!text || !section || !key) return CopyText(buffer, size, fallback);
    const Span wantedSection = Trimmed(section, section + wcslen(section));
    const Span wantedKey = Trimmed(key, key + wcslen(key));
    const wchar_t* const end = text + units;
    bool inSection = wantedSection.begin == wantedSection.end;
    for (const wchar_t* line = text; line < end;) {
        const wchar_t* next = line;
        while (next < end && *next != L'\n' && *next != L'\r') ++next;
        Span content = Trimmed(line, next);
        line = next < end ? next + 1 : end;
        if (content.begin == content.end) continue;
        if (*content.begin == L'[') {
            const wchar_t* close = content.end;
            while (close > content.begin && close[-1] != L']') --close;
            if (close > content.begin) {
                // Only the first section of a name is searched.
                if (inSection) break;
                inSection = SameName(Trimmed(content.begin + 1, close - 1), wantedSection);
                continue;
            }
        }
        if (!inSection) continue;
        const wchar_t* equals = content.begin;
        while (equals < content.end && *equals != L'=') ++equals;
        const Span name = Trimmed(content.begin, equals);
        if (!SameName(name, wantedKey)) continue;
        if (equals == content.end) break;   // a name without a value: the default
        Span value = Trimmed(equals + 1, content.end);
        const size_t length = static_cast<size_t>(value.end - value.begin);
        if (length >= 2 && (*value.begin == L'"' || *value.begin == L'\'') && value.end[-1] == *value.begin) {
            ++value.begin;
            --value.end;
        }
        size_t n = static_cast<size_t>(value.end - value.begin);
        if (n > size - 1) n = size - 1;
        wmemcpy(buffer, value.begin, n);
        buffer[n] = 0;
        return n;
    }
    return CopyText(buffer, size, fallback);
}

}  // namespace nw
