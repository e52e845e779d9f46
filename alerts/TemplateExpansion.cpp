#include "alerts/TemplateExpansion.h"
#include <windows.h>
#include <cwchar>

namespace nw {

namespace {

wchar_t FoldAscii(wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

size_t FindIgnoringAsciiCase(const std::wstring& text, const wchar_t* what, size_t whatLength) {
    if (whatLength == 0 || text.size() < whatLength) return std::wstring::npos;
    for (size_t i = 0; i + whatLength <= text.size(); ++i) {
        size_t k = 0;
        while (k < whatLength && FoldAscii(text[i + k]) == FoldAscii(what[k])) ++k;
        if (k == whatLength) return i;
    }
    return std::wstring::npos;
}

// Characters that end an argument, chain or redirect a command, or expand a
// variable in the command processor; control characters end lines.
bool UnsafeInCommandLine(wchar_t c) {
    switch (c) {
    case L'"': case L'&': case L'|': case L'<': case L'>': case L'^': case L'%':
        return true;
    default:
        return c < 0x20 || (c >= 0x7F && c <= 0x9F);
    }
}

}  // namespace

// Every search starts again at the beginning, so a value that holds the
// variable itself is replaced again; the limit of ten keeps that finite.
void ReplaceVariable(std::wstring& text, const wchar_t* variable, const wchar_t* value) {
    size_t variableLength = variable ? wcslen(variable) : 0;
    if (variableLength == 0) return;
    if (!value) value = L"";
    for (int i = 0; i < kMaxVariableReplacements; ++i) {
        size_t at = FindIgnoringAsciiCase(text, variable, variableLength);
        if (at == std::wstring::npos) return;
        text.replace(at, variableLength, value);
    }
}

// A child that reads its command line in the ANSI code page gets each
// character the system's best-fit mapping makes of it: U+FF02 and U+02BA
// become '"', U+FF3C '\\', U+00A5 '\\' under code page 932. Such a look-alike
// is what the child sees, so it is filtered as that character. Only a
// mapping to a single ASCII character counts: everything else the child sees
// as itself or as the default character. The mappings cover single units
// only (half a surrogate pair becomes the default character).
wchar_t CommandLineLookAlike(wchar_t c, unsigned codePage) {
    if (c < 0x80) return c;
    char bytes[8];
    const int n = ::WideCharToMultiByte(codePage, 0, &c, 1, bytes, sizeof bytes, nullptr, nullptr);
    if (n == 1 && static_cast<unsigned char>(bytes[0]) < 0x80 && bytes[0] != '?') return static_cast<wchar_t>(bytes[0]);
    return c;
}

// Device names and descriptions come from strangers' radios. Put unchanged
// into a command line that the command processor runs, a name such as
// x" & del ... & " would run a command of its own.
std::wstring CommandLineValue(const wchar_t* value, unsigned codePage) {
    std::wstring safe;
    if (!value) return safe;
    for (const wchar_t* p = value; *p; ++p) {
        const wchar_t seen = CommandLineLookAlike(*p, codePage);
        if (UnsafeInCommandLine(seen)) continue;
        // A look-alike backslash is one for the child too.
        safe.push_back(seen == L'\\' ? L'\\' : *p);
    }
    // Backslashes before a quote escape it: a value ending in one would move
    // the end of the template's own quoted argument.
    while (!safe.empty() && safe.back() == L'\\') safe.pop_back();
    return safe;
}

// The voice reads a text as markup when it begins with '<', and markup can
// hold a silence of hours or switch the voice off. A name from a stranger's
// radio must not reach the voice as markup, wherever the template puts it.
std::wstring SpeechValue(const wchar_t* value) {
    std::wstring safe;
    if (!value) return safe;
    for (const wchar_t* p = value; *p; ++p) {
        if (*p != L'<') safe.push_back(*p);
    }
    return safe;
}

void ExpandDeviceVariables(const wchar_t* templ, const DeviceTexts& device, ExpandTarget target,
                           std::wstring& out) {
    out.assign(templ ? templ : L"");
    if (target == ExpandTarget::CommandLine) {
        ReplaceVariable(out, L"%device_name%", CommandLineValue(device.name).c_str());
        ReplaceVariable(out, L"%device_desc%", CommandLineValue(device.description).c_str());
    } else {
        ReplaceVariable(out, L"%device_name%", SpeechValue(device.name).c_str());
        ReplaceVariable(out, L"%device_desc%", SpeechValue(device.description).c_str());
    }
    ReplaceVariable(out, L"%device_addr%", device.address);
}

void ExpandDepartureVariables(const wchar_t* templ, const DeviceTexts& device, const wchar_t* lastSeen,
                              std::wstring& out) {
    ExpandDeviceVariables(templ, device, ExpandTarget::CommandLine, out);
    ReplaceVariable(out, L"%device_last_seen%", CommandLineValue(lastSeen).c_str());
}

bool BalloonText::Append(const wchar_t* piece) {
    size_t n = piece ? wcslen(piece) : 0;
    if (length_ + n > kBalloonTextMax) return false;
    wmemcpy(text_ + length_, piece, n);
    length_ += n;
    text_[length_] = 0;
    return true;
}

// Each piece goes in whole or not at all, so a line that does not fit never
// shows half an address, while a later shorter piece may still fit.
void BalloonText::AddDevice(const DeviceTexts& device) {
    Append(device.address);
    const wchar_t* label = nullptr;
    if (device.description && device.description[0]) label = device.description;
    else if (device.name && device.name[0]) label = device.name;
    if (label) {
        wchar_t piece[kBalloonTextChars + 2];
        size_t n = wcslen(label);
        if (n + 2 <= kBalloonTextMax) {   // longer labels can never fit
            piece[0] = L' ';
            piece[1] = L' ';
            wmemcpy(piece + 2, label, n);
            piece[n + 2] = 0;
            Append(piece);
        }
    }
    Append(L"\r\n");
}

}  // namespace nw
