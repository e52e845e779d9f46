// Seeded, bounded fuzzing of the readers of outside data.
//
// Each fuzz test runs a fixed number of rounds from a fixed seed, so the test
// command always checks the same inputs. tools/fuzz.sh sets
//   NW_FUZZ_SEED   a new seed (decimal or 0x hex) for every run
//   NW_FUZZ_SCALE  how many times the rounds to run
// A failed check, and a fault that would end the process, print the reader,
// the seed, the round and the input, and keep the input in
// %TEMP%\nw_fuzz_input.bin, so the case can be run again and become a plain
// test.
#pragma once
#include <windows.h>
#include <gtest/gtest.h>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace nw::fuzz {

// splitmix64: small, fast, and the same sequence on every build.
class Rng {
public:
    explicit Rng(uint64_t seed) : state_(seed) {}
    uint64_t Next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // 0 .. n-1; 0 when n is 0.
    size_t Below(size_t n) { return n ? static_cast<size_t>(Next() % n) : 0; }
    bool OneIn(size_t n) { return Below(n) == 0; }
    template <typename T, size_t N>
    const T& Pick(const T (&items)[N]) { return items[Below(N)]; }

private:
    uint64_t state_;
};

inline uint64_t EnvironmentNumber(const char* name, uint64_t fallback) {
    const char* text = std::getenv(name);
    if (!text || !*text) return fallback;
    return std::strtoull(text, nullptr, 0);
}

// The seed of one reader's run: the test's own unless NW_FUZZ_SEED is set.
inline uint64_t Seed(uint64_t own) { return EnvironmentNumber("NW_FUZZ_SEED", own); }
inline int Rounds(int own) {
    uint64_t scale = EnvironmentNumber("NW_FUZZ_SCALE", 1);
    if (scale < 1) scale = 1;
    if (scale > 100000) scale = 100000;
    return static_cast<int>(own * scale);
}

// The input as C-like text, cut to about limit characters.
inline std::string Printable(const std::string& bytes, size_t limit = 4000) {
    std::string out;
    char hex[8];
    for (size_t i = 0; i < bytes.size() && out.size() < limit; ++i) {
        unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c == '\\') out += "\\\\";
        else if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else if (c >= 0x20 && c < 0x7F) out += static_cast<char>(c);
        else {
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    if (out.size() >= limit) out += "...";
    return out;
}

inline std::wstring KeptInputPath() {
    wchar_t folder[MAX_PATH];
    DWORD n = GetTempPathW(MAX_PATH, folder);
    if (n == 0 || n >= MAX_PATH) return L"nw_fuzz_input.bin";
    return std::wstring(folder) + L"nw_fuzz_input.bin";
}

inline void KeepInput(const std::string& bytes) {
    HANDLE file = CreateFileW(KeptInputPath().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

// The case under test, for the report of a failure or a fault.
struct Case {
    const char* reader = "";
    uint64_t seed = 0;
    int round = 0;
    const std::string* input = nullptr;
};

inline Case& CurrentCase() {
    static Case current;
    return current;
}

inline std::string Describe(const Case& c) {
    char head[160];
    std::snprintf(head, sizeof head, "fuzz %s: seed 0x%016llX round %d (NW_FUZZ_SEED=0x%016llX)\ninput: ", c.reader,
                  static_cast<unsigned long long>(c.seed), c.round, static_cast<unsigned long long>(c.seed));
    return head + (c.input ? Printable(*c.input) : std::string("(none)"));
}

// A fault ends the test program; first it says which input caused it.
inline LONG WINAPI ReportFault(EXCEPTION_POINTERS* info) {
    const Case& c = CurrentCase();
    std::fprintf(stderr, "\nFAULT 0x%08lX in %s\n",
                 info && info->ExceptionRecord ? static_cast<unsigned long>(info->ExceptionRecord->ExceptionCode) : 0ul,
                 Describe(c).c_str());
    if (c.input) KeepInput(*c.input);
    std::fflush(stderr);
    // Ends the process with the fault's code, without the system's crash dialog.
    return EXCEPTION_EXECUTE_HANDLER;
}

// Marks one round as the case under test while it lives.
class Round {
public:
    Round(const char* reader, uint64_t seed, int round, const std::string& input) {
        static bool installed = false;
        if (!installed) {
            SetUnhandledExceptionFilter(ReportFault);
            installed = true;
        }
        CurrentCase() = {reader, seed, round, &input};
    }
    ~Round() { CurrentCase() = {}; }
    Round(const Round&) = delete;
    Round& operator=(const Round&) = delete;

    // Reports a broken invariant once, with the input, and keeps the input.
    // Returns false so a caller can stop the round: return r.Check(...).
    bool Check(bool ok, const std::string& what) {
        if (ok) return true;
        const Case& c = CurrentCase();
        if (c.input) KeepInput(*c.input);
        ADD_FAILURE() << what << "\n" << Describe(c);
        failed_ = true;
        return false;
    }
    bool Failed() const { return failed_; }

private:
    bool failed_ = false;
};

// ---- Mutation -------------------------------------------------------------------

// One to eight byte-level edits: flips, interesting bytes, dictionary words,
// cut, copied and repeated runs, long runs that reach past the readers'
// buffers.
inline void Mutate(Rng& rng, std::string& bytes, const std::vector<std::string>& words) {
    static const char kBytes[] = {0, '\r', '\n', '=', '[', ']', '"', '\'', ';', '%', ' ', '\t', '\\',
                                  static_cast<char>(0xFF), static_cast<char>(0xFE), static_cast<char>(0x80),
                                  static_cast<char>(0xC3), static_cast<char>(0xD8), static_cast<char>(0xDC)};
    const size_t edits = 1 + rng.Below(8);
    for (size_t e = 0; e < edits; ++e) {
        const size_t at = rng.Below(bytes.size() + 1);
        switch (rng.Below(9)) {
        case 0:
            if (at < bytes.size()) bytes[at] = static_cast<char>(bytes[at] ^ (1 << rng.Below(8)));
            break;
        case 1:
            if (at < bytes.size()) bytes[at] = rng.Pick(kBytes);
            break;
        case 2:
            bytes.insert(at, 1, rng.Pick(kBytes));
            break;
        case 3:
        case 4:
            if (!words.empty()) bytes.insert(at, words[rng.Below(words.size())]);
            break;
        case 5:
            bytes.erase(at, rng.Below(64));
            break;
        case 6: {
            const size_t from = rng.Below(bytes.size() + 1);
            std::string piece = bytes.substr(from, rng.Below(256));
            bytes.insert(rng.Below(bytes.size() + 1), piece);
            break;
        }
        case 7:
            bytes.insert(at, 1 + rng.Below(rng.OneIn(4) ? 9000 : 300), static_cast<char>(rng.Below(256)));
            break;
        default:
            if (rng.OneIn(4)) bytes.resize(at);
            break;
        }
    }
    if (bytes.size() > (1u << 20)) bytes.resize(1u << 20);
}

// UTF-16 little-endian text of a wide string, optionally with the byte-order mark.
inline std::string Utf16Bytes(const std::wstring& text, bool bom = true) {
    std::string out;
    if (bom) out = "\xFF\xFE";
    for (wchar_t c : text) {
        out += static_cast<char>(c & 0xFF);
        out += static_cast<char>((c >> 8) & 0xFF);
    }
    return out;
}

inline bool WriteWholeFile(const std::wstring& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == bytes.size();
}

// A wide text of random units: any 16-bit value except zero, with the
// characters a file format gives meaning to more often than chance.
inline std::wstring RandomText(Rng& rng, size_t maxLength) {
    static const wchar_t kSpecial[] = {L'\r', L'\n', L'\t', L' ', L'"', L'\'', L'=', L'[', L']', L';', L'%',
                                       L'&', L'<', L'>', L',', 0xFF0C, 0xFF02, 0xD800, 0xDC00, 0xFFFE, 0xFFFF,
                                       0x202E, 0x00A0, 0x3000, L'\\', 0x1F};
    std::wstring text;
    const size_t length = rng.Below(maxLength + 1);
    for (size_t i = 0; i < length; ++i) {
        switch (rng.Below(4)) {
        case 0: text += rng.Pick(kSpecial); break;
        case 1: text += static_cast<wchar_t>(1 + rng.Below(0xFFFF)); break;
        default: text += static_cast<wchar_t>(0x20 + rng.Below(0x5F)); break;
        }
    }
    return text;
}

// Length of a terminated text in a buffer of size units; size when the
// buffer holds no terminator.
inline size_t BoundedLength(const wchar_t* text, size_t size) {
    size_t n = 0;
    while (n < size && text[n]) ++n;
    return n;
}

}  // namespace nw::fuzz
