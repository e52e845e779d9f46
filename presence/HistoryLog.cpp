#include "presence/HistoryLog.h"

#include <cstring>
#include <vector>
#include "base/Handles.h"
#include "base/Paths.h"
#include "base/Text.h"
#include "presence/HistoryLine.h"
#include "presence/StringSink.h"

namespace nw {

namespace {

constexpr char kBomAndHeader[] =
    "\xEF\xBB\xBF" "Time,Event,Address,Name,Description,Company,Major Type,Minor Type\r\n";
constexpr size_t kHeadBytes = sizeof kBomAndHeader - 1;
constexpr int kMaxNumbered = 99;   // nearwatch_history-2.csv ... -99.csv

class FileHistorySink : public HistorySink {
public:
    explicit FileHistorySink(HANDLE file) : file_(file) {}
    size_t Write(const char* data, size_t bytes) override {
        DWORD written = 0;
        const DWORD chunk = bytes > 0x10000000 ? 0x10000000 : static_cast<DWORD>(bytes);
        if (!::WriteFile(file_, data, chunk, &written, nullptr)) error = ::GetLastError();
        return written;
    }
    HANDLE file_;
    DWORD error = 0;
};

// Reads count bytes at offset without moving anything the appends use.
size_t ReadAt(HANDLE file, uint64_t offset, char* out, DWORD count) {
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD read = 0;
    if (!::ReadFile(file, out, count, &read, &at)) return 0;
    return read;
}

}  // namespace

bool HistoryPathFor(const wchar_t* exePath, const wchar_t* suffix, std::wstring& out) {
    out.clear();
    if (!exePath || !suffix) return false;
    const size_t length = wcslen(exePath) + wcslen(suffix) + 1;
    std::vector<wchar_t> path(length);
    if (!PathWithSuffix(exePath, suffix, path.data(), length)) return false;
    if (wcslen(path.data()) < MAX_PATH) {
        out = path.data();
        return true;
    }
    // Past MAX_PATH only the long form reaches the file; it takes no
    // relative parts, so only a full drive or network path gets one.
    const wchar_t* p = path.data();
    if (wcsncmp(p, L"\\\\?\\", 4) == 0) {
        out = p;
    } else if (((p[0] >= L'A' && p[0] <= L'Z') || (p[0] >= L'a' && p[0] <= L'z')) && p[1] == L':' && p[2] == L'\\') {
        out = std::wstring(L"\\\\?\\") + p;
    } else if (p[0] == L'\\' && p[1] == L'\\' && p[2] && p[2] != L'\\' && p[2] != L'?' && p[2] != L'.') {
        out = std::wstring(L"\\\\?\\UNC\\") + (p + 2);
    } else {
        return false;
    }
    if (out.find(L"\\.\\") != std::wstring::npos || out.find(L"\\..\\") != std::wstring::npos) {
        out.clear();
        return false;
    }
    return true;
}

bool HistoryFilePath(const wchar_t* suffix, std::wstring& out) {
    out.clear();
    std::vector<wchar_t> exe(MAX_PATH);
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(nullptr, exe.data(), static_cast<DWORD>(exe.size()));
        if (n == 0) return false;
        if (n < exe.size()) break;
        if (exe.size() >= 32768) return false;
        exe.resize(exe.size() * 2);
    }
    return HistoryPathFor(exe.data(), suffix, out);
}

std::wstring NumberedHistoryPath(const std::wstring& path, int number) {
    const size_t slash = path.find_last_of(L"\\/");
    size_t dot = path.rfind(L'.');
    if (dot == std::wstring::npos || (slash != std::wstring::npos && dot < slash)) dot = path.size();
    // Not std::to_wstring: that brings the mingw runtime's own printf.
    wchar_t digits[16];
    FormatText(digits, 16, L"%d", number);
    return path.substr(0, dot) + L"-" + digits + path.substr(dot);
}

// A file this program wrote starts with the byte-order mark and the header
// (an editor may have dropped the mark); one that holds only the start of
// them was cut short while the header was written.
bool HistoryLead(const std::string& head, uint64_t size, char last, std::string& lead) {
    lead.clear();
    const size_t n = head.size();
    if (size == 0) {
        lead.assign(kBomAndHeader, kHeadBytes);
        return true;
    }
    if (size == n && n < kHeadBytes && memcmp(head.data(), kBomAndHeader, n) == 0) {
        lead.assign(kBomAndHeader + n, kHeadBytes - n);
        return true;
    }
    const bool ours = (n >= kHeadBytes && memcmp(head.data(), kBomAndHeader, kHeadBytes) == 0) ||
                      (n >= kHeadBytes - 3 && memcmp(head.data(), kBomAndHeader + 3, kHeadBytes - 3) == 0);
    if (!ours) return false;
    if (last == '\r') lead.assign(1, '\n');
    else if (last != '\n') lead.assign("\r\n", 2);
    return true;
}

void HistoryLog::SetPath(const wchar_t* path) {
    path_ = path ? path : L"";
}

void HistoryLog::Add(std::string line) {
    if (lines_.size() >= bound_) {
        lines_.pop_front();
        ++dropped_;
        partial_ = false;
    }
    lines_.push_back(std::move(line));
}

// Opened for appending only: every write lands at the current end of the
// file, so neither this run nor another one can overwrite what is there.
// Sharing for reading lets a viewer watch it; a program that holds it
// without sharing makes the open fail, and the lines wait.
bool HistoryLog::Flush(const wchar_t* noteTime) {
    if (lines_.empty() && dropped_ == 0) return true;
    if (path_.empty()) {
        error_ = ERROR_FILENAME_EXCED_RANGE;   // the name did not fit
        return false;
    }
    for (int number = 2; number <= kMaxNumbered + 1; ++number) {
        Handle file(::CreateFileW(path_.c_str(), FILE_APPEND_DATA | FILE_READ_DATA, FILE_SHARE_READ, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            error_ = ::GetLastError();
            return false;
        }
        LARGE_INTEGER size = {};
        if (!::GetFileSizeEx(file.get(), &size)) {
            error_ = ::GetLastError();
            return false;
        }
        const uint64_t bytes = static_cast<uint64_t>(size.QuadPart);
        char head[kHeadBytes];
        char last = 0;
        const size_t headBytes = bytes == 0 ? 0 : ReadAt(file.get(), 0, head, kHeadBytes);
        if (bytes > 0) ReadAt(file.get(), bytes - 1, &last, 1);
        FileHistorySink sink(file.get());
        bool foreign = false;
        const bool done = WriteTo(sink, std::string(head, headBytes), bytes, last, noteTime, &foreign);
        if (!foreign) {
            error_ = done ? 0 : sink.error ? sink.error : ERROR_WRITE_FAULT;
            return done;
        }
        // Not a history of this program: left as it is, the log moves on.
        if (number > kMaxNumbered) break;
        if (movedFrom_.empty()) movedFrom_ = path_;
        path_ = NumberedHistoryPath(movedFrom_, number);
    }
    error_ = ERROR_FILE_EXISTS;
    return false;
}

// One write of everything; after a short write the lines written whole are
// dropped from the queue and a line written in part keeps only its rest, so
// the file never holds a line twice nor loses one.
bool HistoryLog::WriteTo(HistorySink& sink, const std::string& head, uint64_t size, char last,
                         const wchar_t* noteTime, bool* foreign) {
    if (foreign) *foreign = false;
    if (lines_.empty() && dropped_ == 0) return true;
    StringSink out;
    if (!HistoryLead(head, size, last, out.text)) {
        if (foreign) *foreign = true;
        return false;
    }
    // The rest of a line cut short goes on right behind its start.
    if (partial_) out.text.clear();
    const size_t prefix = out.text.size();
    if (dropped_ > 0) {
        WriteHistoryLostLine(out, noteTime ? noteTime : L"", dropped_);
        // The note waits like a line: it is not written twice.
        lines_.push_front(out.text.substr(prefix));
        out.text.resize(prefix);
        dropped_ = 0;
    }
    for (const std::string& line : lines_) out.text += line;
    size_t done = 0;
    while (done < out.text.size()) {
        const size_t written = sink.Write(out.text.data() + done, out.text.size() - done);
        if (written == 0) break;
        done += written;
    }
    // Bytes of the lead first, then of the lines in order.
    size_t left = done > prefix ? done - prefix : 0;
    while (!lines_.empty() && left >= lines_.front().size()) {
        left -= lines_.front().size();
        lines_.pop_front();
        partial_ = false;
    }
    if (!lines_.empty() && left > 0) {
        lines_.front().erase(0, left);
        partial_ = true;
    }
    return lines_.empty();
}

int HistoryLog::Close(const wchar_t* noteTime, const std::wstring& spare, int attempts, DWORD pauseMs) {
    int tries = 0;
    while (lines_.size() > 0 || dropped_ > 0) {
        ++tries;
        if (Flush(noteTime)) return tries;
        // Only a file another program holds may come free; a missing
        // folder or a refused write stays so.
        if (!Held() || tries >= attempts) break;
        ::Sleep(pauseMs);
    }
    if (lines_.empty() && dropped_ == 0) return tries;
    // Rather than lose the lines, they go to a file of their own beside
    // it, which the user can add to the log by hand.
    if (spare.empty()) return tries;
    movedFrom_.clear();
    partial_ = false;
    SetPath(spare.c_str());
    Flush(noteTime);
    return tries;
}

}  // namespace nw
