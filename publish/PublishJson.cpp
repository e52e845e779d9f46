#include "publish/PublishJson.h"

#include <cwchar>

namespace nw {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendCodePoint(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Calls emit(code point) for each character; a surrogate without its
// partner stands for U+FFFD, so no ill-formed UTF-8 can come out.
template <typename Emit>
void ForEachCodePoint(const wchar_t* text, size_t length, Emit emit) {
    if (!text) return;
    if (length == std::string::npos) length = wcslen(text);
    for (size_t i = 0; i < length; ++i) {
        const char32_t unit = static_cast<uint16_t>(text[i]);
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < length) {
            const char32_t low = static_cast<uint16_t>(text[i + 1]);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                emit(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                ++i;
                continue;
            }
        }
        emit(unit >= 0xD800 && unit <= 0xDFFF ? kReplacement : unit);
    }
}

void AppendEscaped(std::string& out, char32_t c) {
    static const char kHex[] = "0123456789abcdef";
    switch (c) {
    case '"': out += "\\\""; return;
    case '\\': out += "\\\\"; return;
    case '\n': out += "\\n"; return;
    case '\r': out += "\\r"; return;
    case '\t': out += "\\t"; return;
    case '\b': out += "\\b"; return;
    case '\f': out += "\\f"; return;
    default: break;
    }
    // The other controls, and DEL and the line separators some readers
    // choke on, as \u escapes.
    if (c < 0x20 || c == 0x7F || c == 0x2028 || c == 0x2029) {
        out += "\\u";
        for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(c >> shift) & 0xF];
        return;
    }
    AppendCodePoint(out, c);
}

}  // namespace

void AppendUtf8(std::string& out, const wchar_t* text, size_t length) {
    ForEachCodePoint(text, length, [&](char32_t c) { AppendCodePoint(out, c); });
}

std::string Utf8(const wchar_t* text) {
    std::string out;
    AppendUtf8(out, text);
    return out;
}

void AppendJsonString(std::string& out, const wchar_t* text) {
    out += '"';
    ForEachCodePoint(text, std::string::npos, [&](char32_t c) { AppendEscaped(out, c); });
    out += '"';
}

void AppendJsonString(std::string& out, const std::string& utf8) {
    out += '"';
    for (char byte : utf8) {
        const auto c = static_cast<unsigned char>(byte);
        if (c < 0x20 || c == '"' || c == '\\' || c == 0x7F) AppendEscaped(out, c);
        else out += byte;
    }
    out += '"';
}

void JsonObject::Key(const char* key) {
    if (text_.size() > 1) text_ += ',';
    text_ += '"';
    text_ += key;
    text_ += "\":";
}

JsonObject& JsonObject::Text(const char* key, const wchar_t* value) {
    Key(key);
    AppendJsonString(text_, value ? value : L"");
    return *this;
}

JsonObject& JsonObject::Text(const char* key, const std::string& utf8) {
    Key(key);
    AppendJsonString(text_, utf8);
    return *this;
}

JsonObject& JsonObject::Number(const char* key, int64_t value) {
    Key(key);
    text_ += std::to_string(value);
    return *this;
}

JsonObject& JsonObject::Bool(const char* key, bool value) {
    Key(key);
    text_ += value ? "true" : "false";
    return *this;
}

JsonObject& JsonObject::Raw(const char* key, const std::string& value) {
    Key(key);
    text_ += value;
    return *this;
}

std::string JsonObject::Finish() {
    text_ += '}';
    return std::move(text_);
}

}  // namespace nw
