#include "settings/SettingsStore.h"
#include "base/Paths.h"
#include "base/ProfileText.h"
#include "base/Text.h"
#include <cwchar>
#include <memory>
#include <new>

namespace nw {

namespace {

const wchar_t kSection[] = L"General";
const wchar_t kNewSuffix[] = L".new";

int HexDigit(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;
}

}  // namespace

// ---- Pure helpers -----------------------------------------------------------

size_t FormatByteList(const uint8_t* data, size_t size, wchar_t* out, size_t outSize) {
    if (outSize == 0) return 0;
    static const wchar_t kDigits[] = L"0123456789ABCDEF";
    const size_t limit = outSize - 1;
    size_t length = 0;
    // Whole bytes only: a byte cut after its first digit would read back as
    // a different value.
    for (size_t i = 0; i < size; ++i) {
        size_t needed = (i ? 1 : 0) + 2;
        if (length + needed > limit) break;
        if (i) out[length++] = L' ';
        out[length++] = kDigits[data[i] >> 4];
        out[length++] = kDigits[data[i] & 0x0F];
    }
    out[length] = 0;
    return length;
}

size_t ParseByteList(const wchar_t* text, uint8_t* data, size_t size) {
    size_t count = 0;
    size_t i = 0;
    while (text[i] && count < size) {
        if (text[i] == L' ') { ++i; continue; }
        // A pair is converted as one base-16 number that ends at its first
        // non-digit; a pair cut short by the end of the text is one character.
        int value = 0;
        int high = HexDigit(text[i]);
        if (high >= 0) {
            value = high;
            int low = text[i + 1] ? HexDigit(text[i + 1]) : -1;
            if (low >= 0) value = high * 16 + low;
        }
        data[count++] = static_cast<uint8_t>(value);
        i += text[i + 1] ? 2 : 1;
    }
    return count;
}

bool IsByteList(const wchar_t* text) {
    size_t pairs = 0;
    for (size_t i = 0; text[i];) {
        if (text[i] == L' ') {
            ++i;
            continue;
        }
        if (HexDigit(text[i]) < 0 || HexDigit(text[i + 1]) < 0) return false;
        i += 2;
        ++pairs;
        if (text[i] && text[i] != L' ') return false;
    }
    return pairs > 0;
}

// A hand-edited value must not wrap: 2147483648 read as -2147483648 turned a
// count of 99 into 1. Every range is 32-bit, so the value may stop growing
// at 2^40: any length of digits is read without overflow.
bool ParseProfileNumber(const wchar_t* text, int64_t minimum, int64_t maximum, int64_t& out) {
    while (*text == L' ' || *text == L'\t') ++text;
    bool negative = false;
    if (*text == L'-' || *text == L'+') negative = *text++ == L'-';
    if (*text < L'0' || *text > L'9') return false;
    constexpr int64_t kFar = int64_t{1} << 40;
    int64_t value = 0;
    while (*text >= L'0' && *text <= L'9') {
        value = value * 10 + (*text++ - L'0');
        if (value > kFar) value = kFar;
    }
    while (*text == L' ' || *text == L'\t') ++text;
    if (*text) return false;   // "1.5", "0x10", "7 days": not a number
    if (negative) value = -value;
    out = value < minimum ? minimum : value > maximum ? maximum : value;
    return true;
}

bool ConfigurationPath(wchar_t* out, size_t size) {
    return ModulePathWithSuffix(L".cfg", out, size);
}

// ---- SettingsStore ------------------------------------------------------------

SettingsStore::SettingsStore(Direction direction, const wchar_t* path) : direction_(direction) {
    CopyText(section_, kSection);
    if (CopyText(path_, path) != wcslen(path)) {
        // A cut path would name some other file: read nothing, write nothing.
        path_[0] = 0;
        writeFailed_ = true;
        return;
    }
    if (direction_ == Read) return;
    // The new file is written beside the old one, which stays until the new
    // one is complete. It starts with the UTF-16 byte-order mark: the
    // profile writer then keeps the file in UTF-16, so texts outside the
    // system code page survive.
    CopyText(writePath_, path_);
    AppendText(writePath_, MAX_PATH + 4, kNewSuffix);
    HANDLE file = ::CreateFileW(writePath_, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        writeFailed_ = true;
        return;
    }
    static const BYTE kBom[2] = {0xFF, 0xFE};
    DWORD written = 0;
    if (!::WriteFile(file, kBom, sizeof(kBom), &written, nullptr) || written != sizeof(kBom))
        writeFailed_ = true;
    ::CloseHandle(file);
    // A profile cached from an earlier save under the same name must not
    // carry its keys into this file.
    ::WritePrivateProfileStringW(nullptr, nullptr, nullptr, writePath_);
}

SettingsStore::~SettingsStore() { Commit(); }

bool SettingsStore::Commit() {
    if (direction_ == Read) return true;
    if (committed_) return !writeFailed_;
    committed_ = true;
    if (writePath_[0] == 0) return false;
    // Flush (and drop) the cached profile before the file moves.
    ::WritePrivateProfileStringW(nullptr, nullptr, nullptr, writePath_);
    // A read-only file is one the user has protected; not every file system
    // refuses the replacing move on its own.
    DWORD attributes = ::GetFileAttributesW(path_);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        writeFailed_ = true;
    if (!writeFailed_ &&
        !::MoveFileExW(writePath_, path_, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        writeFailed_ = true;
    if (writeFailed_) ::DeleteFileW(writePath_);
    return !writeFailed_;
}

bool SettingsStore::WriteValue(const wchar_t* key, const wchar_t* value) {
    if (writeFailed_ || committed_) return false;
    size_t length = value ? wcslen(value) : 0;
    BOOL ok;
    // A command line such as "C:\x.exe" "%device_name%" would otherwise lose
    // its outer quotes on the next start.
    if (ProfileValueNeedsQuotes(value)) {
        std::unique_ptr<wchar_t[]> quoted(new (std::nothrow) wchar_t[length + 3]);
        if (!quoted) {
            writeFailed_ = true;
            return false;
        }
        quoted[0] = L'"';
        wmemcpy(quoted.get() + 1, value, length);
        quoted[length + 1] = L'"';
        quoted[length + 2] = 0;
        ok = ::WritePrivateProfileStringW(section_, key, quoted.get(), writePath_);
    } else {
        ok = ::WritePrivateProfileStringW(section_, key, value, writePath_);
    }
    if (!ok) writeFailed_ = true;
    return ok != FALSE;
}

void SettingsStore::ReadValue(const wchar_t* key, wchar_t* buffer, size_t size) {
    if (size == 0) return;
    buffer[0] = 0;
    if (path_[0] == 0) return;
    ReadProfileText(section_, key, L"", buffer, size, path_);
}

// ---- Operations, in slot order ------------------------------------------------

bool SettingsStore::ExchangeUInt(const wchar_t* key, uint32_t& value, uint32_t defaultValue) {
    // Signed and unsigned forms of one type may alias each other.
    return ExchangeInt(key, reinterpret_cast<int32_t&>(value), static_cast<int32_t>(defaultValue));
}

bool SettingsStore::ExchangeBool(const wchar_t* key, int32_t& value, int32_t defaultValue) {
    return ExchangeInt(key, value, defaultValue);
}

bool SettingsStore::ExchangeInt(const wchar_t* key, int32_t& value, int32_t defaultValue) {
    wchar_t text[32];
    if (direction_ == Read) {
        ReadValue(key, text, 32);
        int64_t number = 0;
        value = ParseProfileNumber(text, INT32_MIN, INT32_MAX, number) ? static_cast<int32_t>(number) : defaultValue;
    } else {
        FormatText(text, 32, L"%d", value);
        WriteValue(key, text);
    }
    return true;
}

bool SettingsStore::ExchangeBytes(const wchar_t* key, void* data, size_t size) {
    wchar_t text[kByteListChars + 1];
    if (direction_ == Read) {
        ReadValue(key, text, kByteListChars + 1);
        if (!text[0]) return false;
        ParseByteList(text, static_cast<uint8_t*>(data), size);
        return true;
    }
    FormatByteList(static_cast<const uint8_t*>(data), size, text, kByteListChars + 1);
    return WriteValue(key, text);
}

bool SettingsStore::ReadByteList(const wchar_t* key, void* data, size_t size, size_t* decoded) {
    wchar_t text[kByteListChars + 1];
    ReadValue(key, text, kByteListChars + 1);
    if (!IsByteList(text)) return false;
    const size_t count = ParseByteList(text, static_cast<uint8_t*>(data), size);
    if (decoded) *decoded = count;
    return true;
}

bool SettingsStore::ExchangeString(const wchar_t* key, wchar_t* buffer, const wchar_t* defaultText,
                                   size_t size) {
    if (direction_ == Read) {
        if (size == 0) return true;
        if (path_[0] == 0) {
            CopyText(buffer, size, defaultText);
            return true;
        }
        ReadProfileText(section_, key, defaultText, buffer, size, path_);
    } else {
        WriteValue(key, buffer);
    }
    return true;
}

bool SettingsStore::ExchangeUShort(const wchar_t* key, uint16_t& value, uint16_t defaultValue) {
    wchar_t text[32];
    if (direction_ == Read) {
        ReadValue(key, text, 32);
        int64_t number = 0;
        value = ParseProfileNumber(text, 0, UINT16_MAX, number) ? static_cast<uint16_t>(number) : defaultValue;
    } else {
        FormatText(text, 32, L"%d", static_cast<int32_t>(value));
        WriteValue(key, text);
    }
    return true;
}

bool SettingsStore::ExchangeShort(const wchar_t* key, int16_t& value, int16_t defaultValue) {
    uint32_t wide = static_cast<uint32_t>(static_cast<int32_t>(value));
    ExchangeUInt(key, wide, static_cast<uint32_t>(static_cast<int32_t>(defaultValue)));
    const int32_t read = static_cast<int32_t>(wide);
    value = static_cast<int16_t>(read < INT16_MIN ? INT16_MIN : read > INT16_MAX ? INT16_MAX : read);
    return true;
}

bool SettingsStore::DeleteKey(const wchar_t* key) {
    if (direction_ == Read) {
        if (path_[0]) ::WritePrivateProfileStringW(section_, key, nullptr, path_);
    } else if (!writeFailed_ && !committed_) {
        ::WritePrivateProfileStringW(section_, key, nullptr, writePath_);
    }
    return true;
}

}  // namespace nw
