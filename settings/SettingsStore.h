// Exchanges named values with section "General" of an INI file; one list of
// calls serves loading (Read) and saving (Write).
//
// Loading and saving the configuration:
//     wchar_t path[MAX_PATH];
//     if (ConfigurationPath(path, MAX_PATH)) {
//         SettingsStore store(SettingsStore::Write, path);   // or Read
//         ExchangeSettings(store, settings);
//         ExchangeWindowPlacement(store, placement);
//         list.ExchangeColumnSettings(store);
//         store.Commit();        // write: replaces the file; read: no-op
//     }
// A write goes to "<path>.new" (UTF-16 with byte-order mark) and Commit puts
// it in place of the old file only when every write succeeded, so a failed
// save leaves the old file as it was. The destructor commits when the caller
// has not.
#pragma once
#include <windows.h>
#include <cstddef>
#include <cstdint>

namespace nw {

constexpr int kByteListChars = 8191;   // longest byte-list value

class SettingsStore {
public:
    enum Direction { Read = 0, Write = 1 };

    SettingsStore(Direction direction, const wchar_t* path);
    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    // Read: fill from the file, or the default when the key is absent.
    // Write: store the variable's value; the default is ignored.
    // All return true except as noted.
    virtual bool ExchangeUInt(const wchar_t* key, uint32_t& value, uint32_t defaultValue);
    virtual bool ExchangeBool(const wchar_t* key, int32_t& value, int32_t defaultValue);
    virtual bool ExchangeInt(const wchar_t* key, int32_t& value, int32_t defaultValue);
    // "%2.2X " per byte. Read returns whether the key held non-empty text
    // (bytes past the decoded ones keep their content); write returns the
    // write result.
    virtual bool ExchangeBytes(const wchar_t* key, void* data, size_t size);
    // Read only: false, with data untouched, when the key is absent, empty or
    // not a well-formed byte list (IsByteList); else decodes it as
    // ExchangeBytes does; *decoded (when given) is the number of bytes set.
    bool ReadByteList(const wchar_t* key, void* data, size_t size, size_t* decoded = nullptr);
    // Read cuts the text to size - 1 characters.
    virtual bool ExchangeString(const wchar_t* key, wchar_t* buffer, const wchar_t* defaultText,
                                size_t size);
    virtual bool ExchangeUShort(const wchar_t* key, uint16_t& value, uint16_t defaultValue);
    virtual bool ExchangeShort(const wchar_t* key, int16_t& value, int16_t defaultValue);
    virtual bool DeleteKey(const wchar_t* key);
    virtual ~SettingsStore();

    // Write: puts the new file in place. False when anything failed (the old
    // file is then untouched). Read: does nothing, returns true.
    bool Commit();
    bool Writing() const { return direction_ != Read; }
    const wchar_t* Path() const { return path_; }

protected:
    bool WriteValue(const wchar_t* key, const wchar_t* value);
    // Empty text when the key is absent or empty.
    void ReadValue(const wchar_t* key, wchar_t* buffer, size_t size);

    Direction direction_;
    wchar_t path_[MAX_PATH] = {};
    wchar_t section_[16] = {};
    wchar_t writePath_[MAX_PATH + 4] = {};   // "<path>.new" while writing
    bool writeFailed_ = false;
    bool committed_ = false;
};

// <exe>.cfg. False when the path does not fit.
bool ConfigurationPath(wchar_t* out, size_t size);

// ---- Pure helpers -----------------------------------------------------------
// Writes "%2.2X " per byte without the last space, whole bytes only, at most
// outSize - 1 characters. Returns the length.
size_t FormatByteList(const uint8_t* data, size_t size, wchar_t* out, size_t outSize);
// Decodes pairs of characters as base-16 bytes, skipping spaces; stops at the
// end of text or after size bytes. Returns the number of bytes decoded.
size_t ParseByteList(const wchar_t* text, uint8_t* data, size_t size);
// Whether text is what FormatByteList writes, as a hand may edit it: pairs
// of base-16 digits (either case), separated and surrounded by spaces, at
// least one pair.
bool IsByteList(const wchar_t* text);
// A decimal number of a numeric key: blanks, an optional sign, digits,
// blanks and nothing else. False when text is anything else (empty
// included); a number past the range gives its nearer end.
bool ParseProfileNumber(const wchar_t* text, int64_t minimum, int64_t maximum, int64_t& out);

}  // namespace nw
