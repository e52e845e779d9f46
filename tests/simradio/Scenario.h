// The simulated radio's scenario: text in, plain description out. No system
// calls, so the unit tests check the parser directly.
//
//   # comment
//   unit_ms 300
//   radio on
//   device 00:1a:7d:da:71:13 class=0x5a020c connected=1 scans=2-5,7- name=My phone
//   le 5a:11:22:33:44:55 random=1 rssi=-70 txpower=-8 connectable=0 mfr=004c:0215aa appearance=0x0200
//      uuids=180f,fe9f scans=2- name=Tracker
//   le_runtime absent | aborted | no_args2 | stop_after MS
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace nw::simradio {

constexpr uint32_t kDefaultUnitMs = 1280;     // one inquiry unit of a real radio
constexpr uint32_t kMaxUnitMs = 60000;
constexpr size_t kNameUnits = 248;            // szName of the answer block
constexpr size_t kMaxDevices = 100000;

// Inclusive scan numbers; last 0 means "and every later scan".
struct ScanRange {
    uint32_t first = 1;
    uint32_t last = 0;
};

struct Device {
    uint64_t address = 0;        // byte 0 least significant, as the platform keeps it
    uint32_t classOfDevice = 0;
    bool connected = false;
    bool remembered = false;
    bool authenticated = false;
    std::vector<ScanRange> scans;   // empty: every scan
    std::u16string name;            // at most kNameUnits - 1 units

    bool InScan(uint32_t scan) const {
        if (scans.empty()) return true;
        for (const ScanRange& r : scans)
            if (scan >= r.first && (r.last == 0 || scan <= r.last)) return true;
        return false;
    }
};

constexpr size_t kLeNameBytes = 248;     // of a name's UTF-8, in its own data section
constexpr size_t kLeMfrBytes = 64;
constexpr size_t kLeUuids = 8;

// A Low Energy device: it advertises while the program's current inquiry
// is in scans; a name goes only in its scan response.
struct LeDevice {
    uint64_t address = 0;        // as shown, most significant byte first
    bool random = false;
    int32_t rssi = -60;
    bool hasTxPower = false;
    int32_t txPower = 0;
    bool connectable = true;
    bool hasMfr = false;
    uint16_t company = 0;
    std::string mfr;             // bytes after the company identifier
    bool hasAppearance = false;
    uint16_t appearance = 0;
    std::vector<uint16_t> uuids;
    std::vector<ScanRange> scans;
    std::string name;            // UTF-8 bytes, at most kLeNameBytes

    bool InScan(uint32_t scan) const {
        if (scans.empty()) return true;
        for (const ScanRange& r : scans)
            if (scan >= r.first && (r.last == 0 || scan <= r.last)) return true;
        return false;
    }
};

struct Problem {
    size_t line = 0;             // 1-based
    std::string reason;
};

struct Scenario {
    uint32_t unitMs = kDefaultUnitMs;
    bool radioOn = true;
    std::vector<Device> devices;
    std::vector<LeDevice> leDevices;
    bool leAbsent = false;          // activation fails: no such class
    bool leAborted = false;         // Start ends as Aborted: the radio is off
    bool leNoArgs2 = false;         // event arguments as before Windows 10 2004
    uint32_t leStopAfterMs = 0;     // the watcher stops by itself after this long; 0 never
    std::vector<Problem> problems;  // lines that were skipped
};

namespace detail {

inline bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

inline std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

inline int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Decimal number without sign, at most max.
inline bool ParseDecimal(std::string_view s, uint32_t max, uint32_t& out) {
    if (s.empty() || s.size() > 10) return false;
    uint64_t v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + static_cast<uint64_t>(c - '0');
    }
    if (v > max) return false;
    out = static_cast<uint32_t>(v);
    return true;
}

// Hexadecimal 32-bit number, "0x" optional.
inline bool ParseHex32(std::string_view s, uint32_t& out) {
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) s.remove_prefix(2);
    if (s.empty() || s.size() > 8) return false;
    uint32_t v = 0;
    for (char c : s) {
        int d = HexDigit(c);
        if (d < 0) return false;
        v = (v << 4) | static_cast<uint32_t>(d);
    }
    out = v;
    return true;
}

// "aa:bb:cc:dd:ee:ff", most significant byte first.
inline bool ParseAddress(std::string_view s, uint64_t& out) {
    if (s.size() != 17) return false;
    uint64_t v = 0;
    for (size_t i = 0; i < 6; ++i) {
        int hi = HexDigit(s[i * 3]), lo = HexDigit(s[i * 3 + 1]);
        if (hi < 0 || lo < 0) return false;
        if (i < 5 && s[i * 3 + 2] != ':') return false;
        v = (v << 8) | static_cast<uint64_t>(hi * 16 + lo);
    }
    out = v;
    return true;
}

// Signed decimal within [min, max].
inline bool ParseSigned(std::string_view s, int32_t min, int32_t max, int32_t& out) {
    bool negative = !s.empty() && s.front() == '-';
    if (negative) s.remove_prefix(1);
    uint32_t magnitude = 0;
    if (!ParseDecimal(s, 1000000, magnitude)) return false;
    const int64_t v = negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
    if (v < min || v > max) return false;
    out = static_cast<int32_t>(v);
    return true;
}

// Exactly four hex digits.
inline bool ParseHex16(std::string_view s, uint16_t& out) {
    uint32_t v = 0;
    if (s.size() != 4 || !ParseHex32(s, v)) return false;
    out = static_cast<uint16_t>(v);
    return true;
}

inline bool ParseFlag(std::string_view s, bool& out) {
    if (s == "0") { out = false; return true; }
    if (s == "1") { out = true; return true; }
    return false;
}

// "4", "2-5", "7-", comma separated; scan numbers start at 1.
inline bool ParseRanges(std::string_view s, std::vector<ScanRange>& out) {
    std::vector<ScanRange> ranges;
    while (true) {
        size_t comma = s.find(',');
        std::string_view part = s.substr(0, comma);
        ScanRange r;
        size_t dash = part.find('-');
        if (dash == std::string_view::npos) {
            if (!ParseDecimal(part, 0xFFFFFFFFu, r.first) || r.first == 0) return false;
            r.last = r.first;
        } else {
            if (!ParseDecimal(part.substr(0, dash), 0xFFFFFFFFu, r.first) || r.first == 0) return false;
            std::string_view tail = part.substr(dash + 1);
            if (tail.empty()) {
                r.last = 0;
            } else if (!ParseDecimal(tail, 0xFFFFFFFFu, r.last) || r.last < r.first) {
                return false;
            }
        }
        ranges.push_back(r);
        if (comma == std::string_view::npos) break;
        s.remove_prefix(comma + 1);
    }
    out = std::move(ranges);
    return true;
}

// UTF-8 to UTF-16, cut to maxUnits without splitting a surrogate pair;
// malformed sequences become U+FFFD.
inline std::u16string Utf8ToUtf16(std::string_view s, size_t maxUnits) {
    std::u16string out;
    size_t i = 0;
    while (i < s.size()) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        uint32_t cp = 0xFFFD;
        size_t need = 0;
        if (c < 0x80) { cp = c; }
        else if ((c & 0xE0) == 0xC0) { cp = c & 0x1F; need = 1; }
        else if ((c & 0xF0) == 0xE0) { cp = c & 0x0F; need = 2; }
        else if ((c & 0xF8) == 0xF0) { cp = c & 0x07; need = 3; }
        else { need = 0; cp = 0xFFFD; }
        size_t used = 1;
        if (need) {
            bool ok = i + need < s.size();
            if (ok) {
                for (size_t k = 1; k <= need; ++k) {
                    unsigned char t = static_cast<unsigned char>(s[i + k]);
                    if ((t & 0xC0) != 0x80) { ok = false; break; }
                    cp = (cp << 6) | (t & 0x3F);
                }
            }
            static const uint32_t minimum[4] = {0, 0x80, 0x800, 0x10000};
            if (ok && (cp < minimum[need] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) ok = false;
            if (ok) used = need + 1;
            else cp = 0xFFFD;
        }
        if (cp >= 0x10000) {
            if (out.size() + 2 > maxUnits) break;
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            if (out.size() + 1 > maxUnits) break;
            out.push_back(static_cast<char16_t>(cp));
        }
        i += used;
    }
    return out;
}

enum class KeyResult { Unknown, Bad, Good };

// The shape of both device lines: an address, key=value words, and
// optionally name= with the rest of the line (spaces and all).
template <typename Address, typename OnName, typename OnKey>
bool ParseDeviceWords(std::string_view rest, Address& address, std::string& reason, OnName onName, OnKey onKey) {
    while (!rest.empty() && IsBlank(rest.front())) rest.remove_prefix(1);
    size_t end = 0;
    while (end < rest.size() && !IsBlank(rest[end])) ++end;
    if (!ParseAddress(rest.substr(0, end), address)) {
        reason = "bad address";
        return false;
    }
    rest.remove_prefix(end);
    for (;;) {
        while (!rest.empty() && IsBlank(rest.front())) rest.remove_prefix(1);
        if (rest.empty()) return true;
        if (rest.substr(0, 5) == "name=") {
            std::string_view name = rest.substr(5);
            while (!name.empty() && name.back() == '\r') name.remove_suffix(1);
            onName(name);
            return true;
        }
        end = 0;
        while (end < rest.size() && !IsBlank(rest[end])) ++end;
        std::string_view token = rest.substr(0, end);
        rest.remove_prefix(end);
        size_t eq = token.find('=');
        if (eq == std::string_view::npos) {
            reason = "expected key=value";
            return false;
        }
        switch (onKey(token.substr(0, eq), token.substr(eq + 1))) {
        case KeyResult::Unknown: reason = "unknown key"; return false;
        case KeyResult::Bad: reason = "bad value"; return false;
        case KeyResult::Good: break;
        }
    }
}

inline KeyResult KeyOutcome(bool known, bool ok) { return !known ? KeyResult::Unknown : ok ? KeyResult::Good : KeyResult::Bad; }

inline bool ParseDevice(std::string_view rest, Device& device, std::string& reason) {
    return ParseDeviceWords(
        rest, device.address, reason,
        [&](std::string_view name) { device.name = Utf8ToUtf16(name, kNameUnits - 1); },
        [&](std::string_view key, std::string_view value) {
            bool ok = false, known = true;
            if (key == "class") ok = ParseHex32(value, device.classOfDevice);
            else if (key == "connected") ok = ParseFlag(value, device.connected);
            else if (key == "remembered") ok = ParseFlag(value, device.remembered);
            else if (key == "authenticated") ok = ParseFlag(value, device.authenticated);
            else if (key == "scans") ok = ParseRanges(value, device.scans);
            else known = false;
            return KeyOutcome(known, ok);
        });
}

// "CCCC:HEXBYTES": the company identifier, then the data.
inline bool ParseManufacturer(std::string_view s, LeDevice& device) {
    size_t colon = s.find(':');
    if (colon == std::string_view::npos || !ParseHex16(s.substr(0, colon), device.company)) return false;
    std::string_view hex = s.substr(colon + 1);
    if (hex.size() % 2 || hex.size() / 2 > kLeMfrBytes) return false;
    std::string bytes;
    for (size_t i = 0; i < hex.size(); i += 2) {
        int hi = HexDigit(hex[i]), lo = HexDigit(hex[i + 1]);
        if (hi < 0 || lo < 0) return false;
        bytes.push_back(static_cast<char>(hi * 16 + lo));
    }
    device.mfr = std::move(bytes);
    device.hasMfr = true;
    return true;
}

inline bool ParseUuids(std::string_view s, std::vector<uint16_t>& out) {
    std::vector<uint16_t> uuids;
    while (true) {
        size_t comma = s.find(',');
        uint16_t uuid = 0;
        if (!ParseHex16(s.substr(0, comma), uuid) || uuids.size() >= kLeUuids) return false;
        uuids.push_back(uuid);
        if (comma == std::string_view::npos) break;
        s.remove_prefix(comma + 1);
    }
    out = std::move(uuids);
    return true;
}

// A name's bytes cut to kLeNameBytes without splitting a UTF-8 sequence.
inline std::string CutUtf8(std::string_view s, size_t max) {
    if (s.size() <= max) return std::string(s);
    size_t n = max;
    while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) --n;
    return std::string(s.substr(0, n));
}

inline bool ParseLeDevice(std::string_view rest, LeDevice& device, std::string& reason) {
    return ParseDeviceWords(
        rest, device.address, reason,
        [&](std::string_view name) {
            // "\n" stands for a line feed, which a line cannot hold.
            std::string text;
            for (size_t i = 0; i < name.size(); ++i) {
                if (name[i] == '\\' && i + 1 < name.size() && name[i + 1] == 'n') {
                    text.push_back('\n');
                    ++i;
                } else {
                    text.push_back(name[i]);
                }
            }
            device.name = CutUtf8(text, kLeNameBytes);
        },
        [&](std::string_view key, std::string_view value) {
            bool ok = false, known = true;
            uint32_t hex = 0;
            if (key == "random") ok = ParseFlag(value, device.random);
            else if (key == "rssi") ok = ParseSigned(value, -127, 20, device.rssi);
            else if (key == "txpower") ok = device.hasTxPower = ParseSigned(value, -127, 127, device.txPower);
            else if (key == "connectable") ok = ParseFlag(value, device.connectable);
            else if (key == "mfr") ok = ParseManufacturer(value, device);
            else if (key == "appearance") {
                ok = ParseHex32(value, hex) && hex <= 0xFFFF;
                device.appearance = static_cast<uint16_t>(hex);
                device.hasAppearance = ok;
            } else if (key == "uuids") ok = ParseUuids(value, device.uuids);
            else if (key == "scans") ok = ParseRanges(value, device.scans);
            else known = false;
            return KeyOutcome(known, ok);
        });
}

}  // namespace detail

// Reads a whole scenario. Lines that make no sense are skipped and listed in
// problems; nothing in the text can make this fail.
inline Scenario ParseScenario(std::string_view text) {
    using namespace detail;
    Scenario scenario;
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    size_t lineNumber = 0;
    while (!text.empty()) {
        size_t nl = text.find('\n');
        std::string_view raw = text.substr(0, nl);
        text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
        ++lineNumber;
        std::string_view line = Trim(raw);
        if (line.empty() || line.front() == '#') continue;
        size_t end = 0;
        while (end < line.size() && !IsBlank(line[end])) ++end;
        std::string_view word = line.substr(0, end);
        std::string_view rest = Trim(line.substr(end));
        std::string reason;
        if (word == "unit_ms") {
            uint32_t ms = 0;
            if (ParseDecimal(rest, kMaxUnitMs, ms)) scenario.unitMs = ms;
            else reason = "bad unit_ms";
        } else if (word == "radio") {
            if (rest == "on") scenario.radioOn = true;
            else if (rest == "off") scenario.radioOn = false;
            else reason = "radio takes on or off";
        } else if (word == "device") {
            Device device;
            // The name keeps its trailing spaces: parse the untrimmed tail.
            std::string_view tail = raw;
            while (!tail.empty() && IsBlank(tail.front())) tail.remove_prefix(1);
            tail.remove_prefix(end);
            if (scenario.devices.size() >= kMaxDevices) reason = "too many devices";
            else if (ParseDevice(tail, device, reason)) scenario.devices.push_back(std::move(device));
        } else if (word == "le") {
            LeDevice device;
            std::string_view tail = raw;
            while (!tail.empty() && IsBlank(tail.front())) tail.remove_prefix(1);
            tail.remove_prefix(end);
            if (scenario.leDevices.size() >= kMaxDevices) reason = "too many devices";
            else if (ParseLeDevice(tail, device, reason)) scenario.leDevices.push_back(std::move(device));
        } else if (word == "le_runtime") {
            uint32_t ms = 0;
            if (rest == "absent") scenario.leAbsent = true;
            else if (rest == "aborted") scenario.leAborted = true;
            else if (rest == "no_args2") scenario.leNoArgs2 = true;
            else if (rest.substr(0, 10) == "stop_after" && ParseDecimal(Trim(rest.substr(10)), 3600000, ms) && ms)
                scenario.leStopAfterMs = ms;
            else reason = "le_runtime takes absent, aborted, no_args2 or stop_after MS";
        } else {
            reason = "unknown directive";
        }
        if (!reason.empty()) scenario.problems.push_back({lineNumber, reason});
    }
    return scenario;
}

}  // namespace nw::simradio
