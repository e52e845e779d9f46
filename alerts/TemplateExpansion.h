// The new-device texts without any window (the one system call is the code
// page's best-fit mapping, see CommandLineValue): variable
// replacement in the command-line and speech templates, and the balloon text.
#pragma once
#include <cstddef>
#include <string>

namespace nw {

constexpr int kMaxVariableReplacements = 10;
constexpr size_t kBalloonTextChars = 255;   // the balloon text buffer
constexpr size_t kBalloonTextMax = 253;     // characters it ever holds

// A device's values as the templates see them.
struct DeviceTexts {
    const wchar_t* name;
    const wchar_t* description;
    const wchar_t* address;   // FormatAddress text
};

// Where an expanded template goes. A command line receives each device value
// with CommandLineValue applied, a sentence with SpeechValue.
enum class ExpandTarget { Speech, CommandLine };

// Up to ten times: finds the first occurrence of variable in text, ignoring
// the case of ASCII letters, and replaces it by value (searching again from
// the start each time). An empty value removes the variable.
void ReplaceVariable(std::wstring& text, const wchar_t* variable, const wchar_t* value);

// value without the characters that could end an argument or start another
// command: " & | < > ^ % and control characters, and without backslashes at
// its end (they would escape a closing quote that follows in the template).
// A character that the code page's best-fit mapping turns into one of
// these counts as it; 0 is the ANSI code page (CP_ACP).
std::wstring CommandLineValue(const wchar_t* value, unsigned codePage = 0);
// The ASCII character a child reading its command line in codePage sees for
// c; c itself when it sees none.
wchar_t CommandLineLookAlike(wchar_t c, unsigned codePage);

// value without '<': a spoken text that starts with one is read as speech
// markup, which would let a device name silence or stall the voice.
std::wstring SpeechValue(const wchar_t* value);

// out = templ with "%device_name%", "%device_desc%" and "%device_addr%"
// replaced, in that order.
void ExpandDeviceVariables(const wchar_t* templ, const DeviceTexts& device, ExpandTarget target,
                           std::wstring& out);

// The departure command: ExpandDeviceVariables for a command line, then
// "%device_last_seen%" with lastSeen made safe the same way.
void ExpandDepartureVariables(const wchar_t* templ, const DeviceTexts& device, const wchar_t* lastSeen,
                              std::wstring& out);

// The balloon's list of new devices, at most 253 characters.
class BalloonText {
public:
    // Appends piece whole when the text stays within 253 characters, else
    // nothing. Returns whether it was appended.
    bool Append(const wchar_t* piece);
    // Address; then "  " and the description, or else "  " and the name, when
    // not empty; then "\r\n" -- each piece whole or not at all.
    void AddDevice(const DeviceTexts& device);
    const wchar_t* Text() const { return text_; }
    size_t Length() const { return length_; }
    void Clear() { text_[0] = 0; length_ = 0; }

private:
    wchar_t text_[kBalloonTextChars] = {};
    size_t length_ = 0;
};

}  // namespace nw
