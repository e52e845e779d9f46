// Company names per address block, from the IEEE OUI registry text "oui.txt"
// beside the program. The whole text stays in memory; the index holds three
// bytes and a line offset per company line.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>

namespace nw {

constexpr size_t kCompanyLineChars = 1023;   // NextLine output: 1022 + terminator
constexpr size_t kCompanyNameChars = 256;    // DeviceRecord::company

struct CompanyEntry {
    uint8_t block[3];
    uint32_t lineOffset;
};

// Splits text at CR, LF, CR LF or a zero byte. Copies the line at *position
// (cut to size - 1, at most 1022 characters) into line and moves *position
// past its terminator (it stays on a zero byte). False at the end of text.
bool NextLine(const char* text, size_t* position, char* line, size_t size);

class CompanyIndex {
public:
    CompanyIndex() = default;
    CompanyIndex(const CompanyIndex&) = delete;
    CompanyIndex& operator=(const CompanyIndex&) = delete;

    // "oui.txt" in the executable's folder. False (index unchanged) when the
    // file is missing, empty or unreadable; nothing is reported.
    bool LoadCompanyList();
    // The same for any file.
    bool LoadFile(const wchar_t* path);
    // Copies size bytes of text (a zero byte ends it early) and builds.
    bool Load(const char* text, size_t size);

    // Parses text_ into entries_ (two passes).
    void BuildCompanyIndex();

    // The 8-bit name of the first line with this block, cut to size - 1.
    // False when there is none or the name has 255 or more characters.
    bool FindCompany(const uint8_t block[3], char* out, size_t size) const;
    // The same name in UTF-16 (UTF-8 when valid, else the ANSI code page),
    // at most 255 units + terminator and size - 1.
    bool FindCompanyName(const uint8_t block[3], wchar_t* out, size_t size) const;

    size_t Count() const { return count_; }
    bool Loaded() const { return text_ != nullptr; }

private:
    bool Adopt(std::unique_ptr<char[]> text, size_t size);

    std::unique_ptr<char[]> text_;             // the text plus a terminating zero byte
    size_t length_ = 0;                        // up to the first zero byte
    std::unique_ptr<CompanyEntry[]> entries_;  // one per company line, file order
    size_t count_ = 0;
};

}  // namespace nw
