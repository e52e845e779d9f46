#include "publish/PublishTopics.h"

#include <cwchar>

namespace nw {

namespace {

constexpr size_t kPrefixLevelsMax = 8;
constexpr const char* kFallbackName = "nearwatch";

bool IsTopicChar(wchar_t c) {
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') || c == L'_' ||
           c == L'-';
}

void AppendReduced(std::string& out, const wchar_t* begin, const wchar_t* end) {
    size_t kept = 0;
    for (const wchar_t* p = begin; p < end && kept < kTopicNameMax; ++p, ++kept) {
        // A pair of surrogates is one character: one '_'.
        if (*p >= 0xD800 && *p <= 0xDBFF && p + 1 < end && p[1] >= 0xDC00 && p[1] <= 0xDFFF) ++p;
        out += IsTopicChar(*p) ? static_cast<char>(*p) : '_';
    }
}

int HexValue(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;
}

bool IsSpace(wchar_t c) { return c == L' ' || c == L'\t'; }

}  // namespace

std::string ReduceTopicName(const wchar_t* text) {
    std::string out;
    if (text) AppendReduced(out, text, text + wcslen(text));
    return out;
}

std::string ReduceTopicPrefix(const wchar_t* text) {
    std::string out;
    if (!text) return out;
    size_t levels = 0;
    const wchar_t* p = text;
    while (*p && levels < kPrefixLevelsMax) {
        const wchar_t* end = p;
        while (*end && *end != L'/') ++end;
        if (end > p) {
            if (!out.empty()) out += '/';
            AppendReduced(out, p, end);
            ++levels;
        }
        p = *end ? end + 1 : end;
    }
    return out;
}

std::string AddressHex(uint64_t address) {
    static const char kHex[] = "0123456789abcdef";
    std::string out(12, '0');
    for (int i = 11; i >= 0; --i, address >>= 4) out[static_cast<size_t>(i)] = kHex[address & 0xF];
    return out;
}

bool TopicSet::IsTrackerConfig(const std::string& topic, uint64_t& address) const {
    const std::string head = "homeassistant/device_tracker/nearwatch_" + node + "_";
    const std::string tail = "/config";
    if (topic.size() != head.size() + 12 + tail.size() || topic.compare(0, head.size(), head) != 0 ||
        topic.compare(head.size() + 12, tail.size(), tail) != 0)
        return false;
    uint64_t value = 0;
    for (size_t i = head.size(); i < head.size() + 12; ++i) {
        const char c = topic[i];
        // Lower case only, as AddressHex writes it: another spelling is not ours.
        const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
        if (digit < 0) return false;
        value = value << 4 | static_cast<uint64_t>(digit);
    }
    address = value;
    return true;
}

TopicSet::TopicSet(const wchar_t* prefixText, const wchar_t* nodeText)
    : prefix(ReduceTopicPrefix(prefixText)), node(ReduceTopicName(nodeText)) {
    if (prefix.empty()) prefix = kFallbackName;
    if (node.empty()) node = kFallbackName;
}

bool ParseServer(const wchar_t* text, std::wstring& host, uint16_t& port) {
    if (!text) return false;
    while (IsSpace(*text)) ++text;
    size_t length = wcslen(text);
    while (length > 0 && IsSpace(text[length - 1])) --length;
    if (length == 0) return false;
    std::wstring value(text, length);
    std::wstring name;
    std::wstring portText;
    if (value[0] == L'[') {
        const size_t close = value.find(L']');
        if (close == std::wstring::npos || close == 1) return false;
        name = value.substr(1, close - 1);
        if (close + 1 < value.size()) {
            if (value[close + 1] != L':') return false;
            portText = value.substr(close + 2);
            if (portText.empty()) return false;
        }
        for (wchar_t c : name)
            if (HexValue(c) < 0 && c != L':' && c != L'.' && c != L'%') return false;
    } else {
        const size_t colon = value.find(L':');
        name = value.substr(0, colon);
        if (colon != std::wstring::npos) {
            portText = value.substr(colon + 1);
            if (portText.empty()) return false;
        }
        // Letters, digits, '-', '.', '_' and any non-ASCII letter of an
        // international name; nothing that could end or split the name.
        if (name.empty() || name.size() > 253) return false;
        for (wchar_t c : name)
            if (c < 0x80 && !IsTopicChar(c) && c != L'.') return false;
    }
    uint32_t number = 0;
    for (wchar_t c : portText) {
        if (c < L'0' || c > L'9') return false;
        number = number * 10 + static_cast<uint32_t>(c - L'0');
        if (number > 65535) return false;
    }
    if (!portText.empty() && number == 0) return false;
    host = name;
    port = static_cast<uint16_t>(number);
    return true;
}

bool ParsePin(const wchar_t* text, std::array<uint8_t, 32>& pin) {
    if (!text) return false;
    std::array<uint8_t, 32> bytes{};
    size_t digits = 0;
    for (const wchar_t* p = text; *p; ++p) {
        if (*p == L':') continue;
        const int value = HexValue(*p);
        if (value < 0 || digits >= 64) return false;
        bytes[digits / 2] = static_cast<uint8_t>(bytes[digits / 2] << 4 | value);
        ++digits;
    }
    if (digits != 64) return false;
    pin = bytes;
    return true;
}

}  // namespace nw
