#include "annotations/CompanyIndex.h"
#include "base/Handles.h"
#include "base/Paths.h"
#include "base/Text.h"
#include <windows.h>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <new>

namespace nw {

namespace {

constexpr size_t kMaxLineChars = kCompanyLineChars - 1;   // 1022
constexpr size_t kNameOffset = 16;
constexpr size_t kMaxNameChars = 254;                     // 255 or more: no company

// First CR, LF or zero byte in [p, end), or end. The index is built while
// the main window is created, so the ~5 MB registry must be walked twice in
// a few milliseconds: sixteen or eight bytes at a time.
const char* FindLineEnd(const char* p, const char* end) {
#if defined(__SSE2__)
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i zero = _mm_setzero_si128();
    while (end - p >= 16) {
        __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        __m128i hits = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(chunk, lf), _mm_cmpeq_epi8(chunk, cr)),
                                    _mm_cmpeq_epi8(chunk, zero));
        int mask = _mm_movemask_epi8(hits);
        if (mask) return p + __builtin_ctz(static_cast<unsigned>(mask));
        p += 16;
    }
#else
    constexpr uint64_t ones = 0x0101010101010101ull;
    constexpr uint64_t highs = 0x8080808080808080ull;
    while (end - p >= 8) {
        uint64_t word;
        std::memcpy(&word, p, 8);
        uint64_t lf = word ^ (ones * '\n');
        uint64_t cr = word ^ (ones * '\r');
        // The lowest flagged byte of each test is exact (little-endian order).
        uint64_t hits = ((lf - ones) & ~lf & highs) | ((cr - ones) & ~cr & highs) |
                        ((word - ones) & ~word & highs);
        if (hits) return p + (__builtin_ctzll(hits) >> 3);
        p += 8;
    }
#endif
    while (p < end && *p != '\n' && *p != '\r' && *p != 0) ++p;
    return p;
}

// Position after the terminator at lineEnd: CR LF counts as one, the end of
// the text is not passed.
const char* SkipTerminator(const char* lineEnd, const char* end) {
    if (lineEnd >= end) return end;
    if (*lineEnd == '\r' && lineEnd + 1 < end && lineEnd[1] == '\n') return lineEnd + 2;
    return lineEnd + 1;
}

// The registry's line shape: "00-1A-7D   (hex)\t\tName".
bool IsCompanyLine(const char* line, size_t length) {
    return length >= 13 && line[2] == '-' && line[5] == '-' && line[11] == '(' && line[12] == 'h';
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Two characters as a base-16 number; a non-digit ends it.
uint8_t HexPair(const char* p) {
    unsigned value = 0;
    for (int i = 0; i < 2; ++i) {
        int d = HexDigit(p[i]);
        if (d < 0) break;
        value = value * 16 + static_cast<unsigned>(d);
    }
    return static_cast<uint8_t>(value);
}

}  // namespace

bool NextLine(const char* text, size_t* position, char* line, size_t size) {
    const char* start = text + *position;
    if (*start == 0) {
        if (size) line[0] = 0;
        return false;
    }
    const char* p = start;
    while (*p && *p != '\n' && *p != '\r') ++p;
    size_t length = static_cast<size_t>(p - start);
    if (length > kMaxLineChars) length = kMaxLineChars;
    if (size) {
        if (length > size - 1) length = size - 1;
        std::memcpy(line, start, length);
        line[length] = 0;
    }
    if (*p == '\r' && p[1] == '\n') p += 2;
    else if (*p) ++p;
    *position = static_cast<size_t>(p - text);
    return true;
}

// ---- Loading ----------------------------------------------------------------

bool CompanyIndex::LoadCompanyList() {
    wchar_t folder[MAX_PATH];
    if (!ModuleFolder(folder, MAX_PATH)) return false;
    wchar_t path[MAX_PATH];
    CopyText(path, folder);
    // The name must stay below MAX_PATH whole; a cut name would open another file.
    if (wcslen(folder) + wcslen(L"\\oui.txt") >= MAX_PATH) return false;
    AppendText(path, MAX_PATH, L"\\oui.txt");
    return LoadFile(path);
}

bool CompanyIndex::LoadFile(const wchar_t* path) {
    // Shared for writing too, so an editor or an updater holding the file
    // open does not cost the company names.
    Handle file(::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size) || size.QuadPart <= 0) return false;
    // Line offsets are 32-bit.
    if (static_cast<unsigned long long>(size.QuadPart) >= 0xFFFFFFFFull) return false;
    size_t total = static_cast<size_t>(size.QuadPart);
    std::unique_ptr<char[]> text(new (std::nothrow) char[total + 1]);
    if (!text) return false;
    size_t done = 0;
    while (done < total) {
        DWORD chunk = static_cast<DWORD>(total - done > 0x10000000 ? 0x10000000 : total - done);
        DWORD got = 0;
        if (!::ReadFile(file.get(), text.get() + done, chunk, &got, nullptr)) return false;
        if (got == 0) break;   // the file shrank meanwhile: keep what was read
        done += got;
    }
    if (done == 0) return false;
    text[done] = 0;
    return Adopt(std::move(text), done);
}

bool CompanyIndex::Load(const char* text, size_t size) {
    if (!text || size == 0 || size >= 0xFFFFFFFFull) return false;
    std::unique_ptr<char[]> copy(new (std::nothrow) char[size + 1]);
    if (!copy) return false;
    std::memcpy(copy.get(), text, size);
    copy[size] = 0;
    return Adopt(std::move(copy), size);
}

bool CompanyIndex::Adopt(std::unique_ptr<char[]> text, size_t size) {
    text_ = std::move(text);
    length_ = size;
    entries_.reset();
    count_ = 0;
    BuildCompanyIndex();
    return true;
}

// Two passes: count the company lines, then fill exactly that many entries,
// so no line ever allocates.
void CompanyIndex::BuildCompanyIndex() {
    entries_.reset();
    count_ = 0;
    if (!text_) return;
    const char* begin = text_.get();
    const char* end = begin + length_;

    // The first pass also finds the first zero byte, which ends the text (a
    // file stored as UTF-16 thus gives no company lines).
    size_t count = 0;
    for (const char* p = begin; p < end;) {
        const char* lineEnd = FindLineEnd(p, end);
        if (IsCompanyLine(p, static_cast<size_t>(lineEnd - p))) ++count;
        if (lineEnd < end && *lineEnd == 0) {
            end = lineEnd;
            length_ = static_cast<size_t>(end - begin);
            break;
        }
        p = SkipTerminator(lineEnd, end);
    }
    if (count == 0) return;
    std::unique_ptr<CompanyEntry[]> entries(new (std::nothrow) CompanyEntry[count]);
    if (!entries) return;

    size_t n = 0;
    for (const char* p = begin; p < end && n < count;) {
        const char* lineEnd = FindLineEnd(p, end);
        if (IsCompanyLine(p, static_cast<size_t>(lineEnd - p))) {
            CompanyEntry& e = entries[n++];
            e.block[0] = HexPair(p);
            e.block[1] = HexPair(p + 3);
            e.block[2] = HexPair(p + 6);
            e.lineOffset = static_cast<uint32_t>(p - begin);
        }
        p = SkipTerminator(lineEnd, end);
    }
    entries_ = std::move(entries);
    count_ = n;
}

// ---- Lookup -----------------------------------------------------------------

bool CompanyIndex::FindCompany(const uint8_t block[3], char* out, size_t size) const {
    if (!entries_ || size == 0) return false;
    const CompanyEntry* found = nullptr;
    for (size_t i = 0; i < count_; ++i) {
        const CompanyEntry& e = entries_[i];
        if (e.block[0] == block[0] && e.block[1] == block[1] && e.block[2] == block[2]) {
            found = &e;
            break;
        }
    }
    if (!found) return false;

    // Only the first matching line counts, even when its name is unusable.
    const char* line = text_.get() + found->lineOffset;
    const char* end = text_.get() + length_;
    size_t length = static_cast<size_t>(FindLineEnd(line, end) - line);
    if (length > kMaxLineChars) length = kMaxLineChars;
    size_t start = kNameOffset;
    if (start > length) start = length;   // a short line has an empty name
    while (start < length && (line[start] == ' ' || line[start] == '\t')) ++start;
    size_t nameLength = length - start;
    if (nameLength > kMaxNameChars) return false;
    if (nameLength > size - 1) nameLength = size - 1;
    std::memcpy(out, line + start, nameLength);
    out[nameLength] = 0;
    return true;
}

// The registry is published in UTF-8. Reading it through the ANSI code page
// garbles every name outside 7-bit ASCII, so a name is taken as UTF-8 when
// its bytes are valid UTF-8, and from the ANSI code page only otherwise
// (a hand-made list in the local code page).
bool CompanyIndex::FindCompanyName(const uint8_t block[3], wchar_t* out, size_t size) const {
    if (size == 0) return false;
    char name[kCompanyNameChars] = {};
    if (!FindCompany(block, name, sizeof(name))) return false;
    wchar_t wide[kCompanyNameChars] = {};
    int length = static_cast<int>(strlen(name));
    int n = 0;
    if (length > 0) {
        n = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, name, length, wide, kCompanyNameChars - 1);
        if (n <= 0) n = ::MultiByteToWideChar(CP_ACP, 0, name, length, wide, kCompanyNameChars - 1);
        if (n < 0) n = 0;
    }
    wide[n] = 0;
    CopyText(out, size, wide);
    return true;
}

}  // namespace nw
