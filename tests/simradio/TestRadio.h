// Test helper: a fresh folder with a scenario and a log for the simulated
// radio, and the environment that makes this process use it.
#pragma once
#include <windows.h>
#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

namespace nw::testradio {

// Folder of the running test program: simradio.dll is built beside it.
inline std::wstring BinFolder() {
    wchar_t path[MAX_PATH] = {};
    DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return {};
    if (wchar_t* slash = wcsrchr(path, L'\\')) *slash = 0;
    return path;
}

inline std::wstring SimRadioPath() { return BinFolder() + L"\\simradio.dll"; }

inline bool WriteText(const std::wstring& path, const std::string& text) {
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool ok = text.empty() || (::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
                               written == text.size());
    ::CloseHandle(file);
    return ok;
}

inline std::vector<std::string> ReadLines(const std::wstring& path) {
    std::vector<std::string> lines;
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return lines;
    std::string text;
    char chunk[4096];
    DWORD got = 0;
    while (::ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got) text.append(chunk, got);
    ::CloseHandle(file);
    size_t start = 0;
    for (size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
        lines.push_back(text.substr(start, nl - start));
    return lines;
}

// "start 3 multiplier 8 ms 123" -> the words without the tick.
inline std::vector<std::string> Events(const std::vector<std::string>& lines) {
    std::vector<std::string> events;
    for (const auto& line : lines) {
        size_t ms = line.find(" ms ");
        events.push_back(ms == std::string::npos ? line : line.substr(0, ms));
    }
    return events;
}

// A temporary folder holding scenario.txt and radio.log, with this process's
// environment pointing the scan worker and the simulated radio at them. The
// scan counter starts again at 1.
class RadioFolder {
public:
    RadioFolder() {
        static std::atomic<int> counter{0};
        wchar_t temp[MAX_PATH] = {};
        ::GetTempPathW(MAX_PATH, temp);
        folder_ = std::wstring(temp) + L"nwradio-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                  std::to_wstring(++counter) + L"-" + std::to_wstring(::GetTickCount64() % 1000000);
        ::CreateDirectoryW(folder_.c_str(), nullptr);
        ::SetEnvironmentVariableW(L"NEARWATCH_RADIO", SimRadioPath().c_str());
        ::SetEnvironmentVariableW(L"NEARWATCH_SIMRADIO", ScenarioPath().c_str());
        ::SetEnvironmentVariableW(L"NEARWATCH_SIMRADIO_LOG", LogPath().c_str());
        ::SetEnvironmentVariableW(L"NEARWATCH_SIMRADIO_SCAN", nullptr);
    }
    ~RadioFolder() {
        ::SetEnvironmentVariableW(L"NEARWATCH_RADIO", nullptr);
        ::SetEnvironmentVariableW(L"NEARWATCH_SIMRADIO", nullptr);
        ::SetEnvironmentVariableW(L"NEARWATCH_SIMRADIO_LOG", nullptr);
        ::SetEnvironmentVariableW(L"NEARWATCH_SIMRADIO_SCAN", nullptr);
        ::DeleteFileW(ScenarioPath().c_str());
        ::DeleteFileW(LogPath().c_str());
        ::RemoveDirectoryW(folder_.c_str());
    }
    RadioFolder(const RadioFolder&) = delete;
    RadioFolder& operator=(const RadioFolder&) = delete;

    std::wstring ScenarioPath() const { return folder_ + L"\\scenario.txt"; }
    std::wstring LogPath() const { return folder_ + L"\\radio.log"; }
    bool Scenario(const std::string& text) const { return WriteText(ScenarioPath(), text); }
    std::vector<std::string> Log() const { return ReadLines(LogPath()); }
    std::vector<std::string> LogEvents() const { return Events(Log()); }

private:
    std::wstring folder_;
};

// "00:00:00:00:01:2c" for n = 300: distinct addresses for generated scenarios.
inline std::string AddressText(unsigned long long n) {
    char text[32];
    snprintf(text, sizeof text, "%02llx:%02llx:%02llx:%02llx:%02llx:%02llx", (n >> 40) & 0xFF, (n >> 32) & 0xFF,
             (n >> 24) & 0xFF, (n >> 16) & 0xFF, (n >> 8) & 0xFF, n & 0xFF);
    return text;
}

}  // namespace nw::testradio
