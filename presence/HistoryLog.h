// The history log nearwatch_history.csv beside the program. Events are only
// ever appended; lines wait in memory while the file cannot be written (a
// spreadsheet holds it, the folder is read-only) and go out at the next
// flush that can write, oldest first.
#pragma once
#include <windows.h>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>

namespace nw {

// <exe>_history.csv. False when the path does not fit.
bool HistoryLogPath(wchar_t* out, size_t size);

class HistoryLog {
public:
    static constexpr size_t kDefaultBound = 20000;   // waiting events kept at most

    explicit HistoryLog(size_t bound = kDefaultBound) : bound_(bound < 1 ? 1 : bound) {}

    void SetPath(const wchar_t* path);
    const wchar_t* Path() const { return path_; }

    // Queues one event; past the bound the oldest waiting event is dropped
    // and counted, and a line in the file tells how many when it next
    // writes. timeText: the time of the note on dropped events.
    void Add(std::string line);
    // Writes every waiting line (and the note on dropped ones) at the end
    // of the file, creating it with a byte-order mark and the header line.
    // True when nothing waits any more.
    bool Flush(const wchar_t* noteTime);

    size_t Waiting() const { return lines_.size(); }
    uint64_t Dropped() const { return dropped_; }

private:
    bool WriteOut(HANDLE file, bool fresh, const wchar_t* noteTime);

    wchar_t path_[MAX_PATH] = {};
    size_t bound_;
    std::deque<std::string> lines_;
    uint64_t dropped_ = 0;   // dropped since the last note in the file
};

}  // namespace nw
