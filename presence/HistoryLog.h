// The history log nearwatch_history.csv beside the program. Events are only
// ever appended; lines wait in memory while the file cannot be written (a
// spreadsheet holds it, the folder is read-only) and go out at the next
// flush that can write, oldest first. A file of that name that is not a
// history this program wrote is left alone: the log moves to a numbered
// name beside it.
#pragma once
#include <windows.h>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>

namespace nw {

// exePath cut at its last "." with suffix appended, in the long form
// ("\\?\C:\...", "\\?\UNC\server\share\...") when it is longer than
// MAX_PATH allows. False (out empty) when a long path has no such form.
bool HistoryPathFor(const wchar_t* exePath, const wchar_t* suffix, std::wstring& out);
// The same for this program's own executable, e.g. suffix "_history.csv".
bool HistoryFilePath(const wchar_t* suffix, std::wstring& out);
// "x_history.csv" -> "x_history-2.csv" for number 2.
std::wstring NumberedHistoryPath(const std::wstring& path, int number);

// What a flush must write before the first line into a file that holds
// size bytes, head its first ones (up to the header's length) and last its
// last one: the byte-order mark and header (or the rest of a header cut
// short), a line end when the last line has none, or nothing. False when
// the file is not a history of this program (another program's file,
// UTF-16, binary).
bool HistoryLead(const std::string& head, uint64_t size, char last, std::string& lead);

// Where a flush puts its bytes. Write returns how many it took: all of
// them, fewer on a short write, 0 when it failed.
class HistorySink {
public:
    virtual ~HistorySink() = default;
    virtual size_t Write(const char* data, size_t bytes) = 0;
};

class HistoryLog {
public:
    static constexpr size_t kDefaultBound = 20000;   // waiting events kept at most

    explicit HistoryLog(size_t bound = kDefaultBound) : bound_(bound < 1 ? 1 : bound) {}

    void SetPath(const wchar_t* path);
    const wchar_t* Path() const { return path_.c_str(); }

    // Queues one event; past the bound the oldest waiting event is dropped
    // and counted, and a line in the file tells how many when it next
    // writes. timeText: the time of the note on dropped events.
    void Add(std::string line);
    // Writes every waiting line (and the note on dropped ones) at the end
    // of the file, creating it with a byte-order mark and the header line.
    // True when nothing waits any more.
    bool Flush(const wchar_t* noteTime);
    // The flush without the file: head, size and last describe what the
    // file holds (see HistoryLead). False when something still waits, or
    // (foreign set) when the file is not a history of this program.
    bool WriteTo(HistorySink& sink, const std::string& head, uint64_t size, char last, const wchar_t* noteTime,
                 bool* foreign = nullptr);
    // At exit: flushes, trying again (attempts in all, pauseMs apart) only
    // while another program holds the file; what still waits then goes to
    // spare. Nothing waiting, nothing is tried. Returns the tries made.
    int Close(const wchar_t* noteTime, const std::wstring& spare, int attempts, DWORD pauseMs);

    size_t Waiting() const { return lines_.size(); }
    uint64_t Dropped() const { return dropped_; }
    // The platform error of the last flush that could not write (0 after
    // one that did); Held() when another program held the file.
    DWORD Error() const { return error_; }
    bool Held() const { return error_ == ERROR_SHARING_VIOLATION || error_ == ERROR_LOCK_VIOLATION; }
    // The name the user gave the log when it had to move to Path() because
    // that file was not its own; empty while it has not moved.
    const std::wstring& MovedFrom() const { return movedFrom_; }

private:
    std::wstring path_;
    std::wstring movedFrom_;
    size_t bound_;
    std::deque<std::string> lines_;
    uint64_t dropped_ = 0;   // dropped since the last note in the file
    bool partial_ = false;   // the file ends inside lines_.front()
    DWORD error_ = 0;
};

}  // namespace nw
