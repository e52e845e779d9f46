// The JSON the publisher sends: UTF-8 objects built from the program's
// UTF-16 texts. Pure: no system calls.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace nw {

// Appends text (length units, or up to the terminator when length is
// npos) as UTF-8; a lone surrogate becomes U+FFFD.
void AppendUtf8(std::string& out, const wchar_t* text, size_t length = std::string::npos);
std::string Utf8(const wchar_t* text);

// Appends text as a JSON string with its quotes: quote, backslash and every
// control character escaped, lone surrogates as U+FFFD.
void AppendJsonString(std::string& out, const wchar_t* text);
// The same for text the program made itself (ASCII or valid UTF-8).
void AppendJsonString(std::string& out, const std::string& utf8);

// One JSON object, members in the order they are added. Keys are the
// program's own ASCII literals.
class JsonObject {
public:
    JsonObject& Text(const char* key, const wchar_t* value);
    JsonObject& Text(const char* key, const std::string& utf8);
    JsonObject& Number(const char* key, int64_t value);
    JsonObject& Bool(const char* key, bool value);
    // value must be a complete JSON value (another object's Finish()).
    JsonObject& Raw(const char* key, const std::string& value);
    std::string Finish();

private:
    void Key(const char* key);
    std::string text_ = "{";
};

}  // namespace nw
