#include "presence/HistoryLog.h"

#include <new>
#include "base/Handles.h"
#include "base/Paths.h"
#include "base/Text.h"
#include "presence/HistoryLine.h"
#include "presence/StringSink.h"

namespace nw {

bool HistoryLogPath(wchar_t* out, size_t size) { return ModulePathWithSuffix(L"_history.csv", out, size); }

void HistoryLog::SetPath(const wchar_t* path) { CopyText(path_, MAX_PATH, path ? path : L""); }

void HistoryLog::Add(std::string line) {
    if (lines_.size() >= bound_) {
        lines_.pop_front();
        ++dropped_;
    }
    lines_.push_back(std::move(line));
}

// Opened for appending only: every write lands at the current end of the
// file, so neither this run nor another one can overwrite what is there.
// Sharing for reading lets a viewer watch it; a program that holds it
// without sharing makes the open fail, and the lines wait.
bool HistoryLog::Flush(const wchar_t* noteTime) {
    if (lines_.empty() && dropped_ == 0) return true;
    if (!path_[0]) return false;
    Handle file(::CreateFileW(path_, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                              nullptr));
    if (!file) return false;
    LARGE_INTEGER size = {};
    if (!::GetFileSizeEx(file.get(), &size)) return false;
    try {
        return WriteOut(file.get(), size.QuadPart == 0, noteTime);
    } catch (const std::bad_alloc&) {
        return false;
    }
}

// One write of everything; after a short write the lines written whole are
// dropped from the queue and a line written in part keeps only its rest, so
// the file never holds a line twice nor loses one.
bool HistoryLog::WriteOut(HANDLE file, bool fresh, const wchar_t* noteTime) {
    StringSink out;
    if (fresh) WriteHistoryHeader(out, true);
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
        const size_t chunk = out.text.size() - done > 0x10000000 ? 0x10000000 : out.text.size() - done;
        DWORD written = 0;
        const BOOL ok = ::WriteFile(file, out.text.data() + done, static_cast<DWORD>(chunk), &written, nullptr);
        done += written;
        if (!ok || written == 0) break;
    }
    // Bytes of the header first, then of the lines in order.
    size_t left = done > prefix ? done - prefix : 0;
    while (!lines_.empty() && left >= lines_.front().size()) {
        left -= lines_.front().size();
        lines_.pop_front();
    }
    if (!lines_.empty() && left > 0) lines_.front().erase(0, left);
    return lines_.empty();
}

}  // namespace nw
