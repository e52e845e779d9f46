// The command-line options of a run without a window:
//     nearwatch.exe /export KIND FILE [/scans N] [/nosaveload]
//     nearwatch.exe /publish [/nosaveload]
//     nearwatch.exe /?
// Pure: the words come split by the program's command-line rules, and the
// rule that compares a word with an option name is handed in, so this room
// keeps one rule with the window's options (case ignored).
#pragma once
#include <string>
#include <vector>

namespace nw {

constexpr int kBatchDefaultScans = 3;   // the 3-, 8- and 13-unit inquiries
constexpr int kBatchMaxScans = 100;

// Exit codes a script can rely on.
constexpr int kBatchExitWritten = 0;     // the file was written (an empty list included)
constexpr int kBatchExitNotWritten = 1;  // the file could not be written; nothing is left of it
constexpr int kBatchExitBadOption = 2;   // a mistake in the options; no scan was started
constexpr int kBatchExitNoRadio = 3;     // no Bluetooth radio; the file was written with no rows
constexpr int kBatchExitNoBroker = 4;    // /publish: no MQTT broker is set

enum class BatchMode {
    None,     // neither /export nor /?: the window as always
    Help,     // /? given (wins over everything else)
    Export,   // a complete, valid /export
    Error,    // /export or /publish with a mistake: problem and word tell which
    Publish,  // /publish: scan and publish until stopped (batch/PublishRun.h)
};

enum class BatchProblem {
    None,
    MissingKind,     // /export at the end, or followed by an option
    UnknownKind,     // word: the kind given
    MissingFile,     // no file name after the kind (or an empty one)
    MissingScans,    // /scans at the end, or followed by an option
    BadScans,        // word: not a number from 1 to 100
    UnknownOption,   // word: a word this mode does not know
    Repeated,        // word: /export or /scans given a second time
    Conflict,        // word: an option of another mode (/savelangfile)
    PublishAlone,    // word: /export or /scans beside /publish
};

struct BatchOptions {
    BatchMode mode = BatchMode::None;
    int kind = 0;                    // export kind 1-7 (listview/ReportListView.h)
    std::wstring file;               // as given: may be relative to the current folder
    int scans = kBatchDefaultScans;  // completed scans before the file is written
    bool noSaveLoad = false;         // /nosaveload: the configuration file is not read
    BatchProblem problem = BatchProblem::None;
    std::wstring word;               // the word the problem is about
};

// Compares one command-line word with an option name ("/export").
using OptionWordRule = bool (*)(const std::wstring& word, const wchar_t* option);

// The first problem in word order decides; /? anywhere gives Help.
BatchOptions ParseBatchOptions(const std::vector<std::wstring>& words, OptionWordRule isOption);

// Export kind 1-7 of a KIND word ("text", "tab", "tabular", "html", "htmlv",
// "xml", "csv", case ignored); 0 when it names none.
int BatchKindFromWord(const std::wstring& word, OptionWordRule isOption);

// What the program does with its command line.
enum class StartMode {
    Window,             // the window, as always
    SaveLanguageFile,   // /savelangfile alone: write the language file and end
    Batch,              // /export or /? (with a mistake or not): RunBatch
};
// /export or /? decides first: /savelangfile beside /export is a mistake in
// the options, never a language file written in place of the export.
StartMode ChooseStartMode(const std::vector<std::wstring>& words, const BatchOptions& batch,
                          OptionWordRule isOption);

// kBatchExitBadOption for Error, kBatchExitWritten otherwise (a run decides
// the rest).
int BatchParseExitCode(const BatchOptions& options);

// String-table ID of the problem's text; 0 for BatchProblem::None.
unsigned BatchProblemStringId(BatchProblem problem);

}  // namespace nw
