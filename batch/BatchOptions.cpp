#include "batch/BatchOptions.h"
#include "resource.h"

namespace nw {

namespace {

// In the order of the export kinds 1-7, the save dialog's file types.
constexpr const wchar_t* kKindWords[] = {L"text", L"tab", L"tabular", L"html", L"htmlv", L"xml", L"csv"};

// No KIND, FILE or N starts with a slash; such a word is the next option,
// so "/export csv /scans 2" lacks its file instead of writing one named
// "/scans".
bool LooksLikeOption(const std::wstring& word) { return !word.empty() && word[0] == L'/'; }

// Decimal digits only, 1 to 100. Leading zeros are fine; a long run of
// digits is out of range without ever overflowing.
bool ParseScanCount(const std::wstring& word, int& out) {
    if (word.empty()) return false;
    int value = 0;
    for (wchar_t c : word) {
        if (c < L'0' || c > L'9') return false;
        value = value * 10 + (c - L'0');
        if (value > kBatchMaxScans) return false;
    }
    if (value < 1) return false;
    out = value;
    return true;
}

}  // namespace

int BatchKindFromWord(const std::wstring& word, OptionWordRule isOption) {
    for (int i = 0; i < static_cast<int>(sizeof kKindWords / sizeof kKindWords[0]); ++i) {
        if (isOption(word, kKindWords[i])) return i + 1;
    }
    return 0;
}

BatchOptions ParseBatchOptions(const std::vector<std::wstring>& words, OptionWordRule isOption) {
    BatchOptions result;
    bool help = false;
    bool exportSeen = false;
    bool scansSeen = false;
    bool publishSeen = false;
    auto fail = [&](BatchProblem problem, const std::wstring& word) {
        if (result.problem != BatchProblem::None) return;   // the first one counts
        result.problem = problem;
        result.word = word;
    };
    const size_t count = words.size();
    for (size_t i = 0; i < count; ++i) {
        const std::wstring& word = words[i];
        if (isOption(word, L"/?")) {
            help = true;
        } else if (isOption(word, L"/nosaveload")) {
            result.noSaveLoad = true;
        } else if (isOption(word, L"/publish")) {
            publishSeen = true;
        } else if (isOption(word, L"/export")) {
            if (exportSeen) fail(BatchProblem::Repeated, word);
            exportSeen = true;
            if (i + 1 >= count || LooksLikeOption(words[i + 1])) {
                fail(BatchProblem::MissingKind, word);
                continue;
            }
            const std::wstring& kindWord = words[++i];
            const int kind = BatchKindFromWord(kindWord, isOption);
            if (kind == 0) fail(BatchProblem::UnknownKind, kindWord);
            if (result.kind == 0) result.kind = kind;
            if (i + 1 >= count || LooksLikeOption(words[i + 1]) || words[i + 1].empty()) {
                // An empty word ("") is consumed: it can name no file.
                if (i + 1 < count && words[i + 1].empty()) ++i;
                fail(BatchProblem::MissingFile, kindWord);
                continue;
            }
            if (result.file.empty()) result.file = words[++i];
            else ++i;
        } else if (isOption(word, L"/scans")) {
            if (scansSeen) fail(BatchProblem::Repeated, word);
            scansSeen = true;
            if (i + 1 >= count || LooksLikeOption(words[i + 1])) {
                fail(BatchProblem::MissingScans, word);
                continue;
            }
            const std::wstring& number = words[++i];
            int scans = 0;
            if (!ParseScanCount(number, scans)) fail(BatchProblem::BadScans, number);
            else result.scans = scans;
        } else if (isOption(word, L"/savelangfile") || isOption(word, L"/deleteregkey")) {
            // The window's one-shot options end the program without a scan.
            fail(BatchProblem::Conflict, word);
        } else {
            fail(BatchProblem::UnknownOption, word);
        }
    }
    if (help) {
        result.mode = BatchMode::Help;
    } else if (publishSeen) {
        // The broker comes from the configuration; the export's words mean nothing here.
        if (exportSeen || scansSeen) {
            result.problem = BatchProblem::PublishAlone;
            result.word = exportSeen ? L"/export" : L"/scans";
        }
        result.mode = result.problem == BatchProblem::None ? BatchMode::Publish : BatchMode::Error;
    } else if (!exportSeen) {
        // Words such as /scans alone change nothing: the window starts as always.
        result = BatchOptions();
    } else {
        result.mode = result.problem == BatchProblem::None ? BatchMode::Export : BatchMode::Error;
    }
    return result;
}

StartMode ChooseStartMode(const std::vector<std::wstring>& words, const BatchOptions& batch,
                          OptionWordRule isOption) {
    if (batch.mode != BatchMode::None) return StartMode::Batch;
    for (const std::wstring& word : words)
        if (isOption(word, L"/savelangfile")) return StartMode::SaveLanguageFile;
    return StartMode::Window;
}

int BatchParseExitCode(const BatchOptions& options) {
    return options.mode == BatchMode::Error ? kBatchExitBadOption : kBatchExitWritten;
}

unsigned BatchProblemStringId(BatchProblem problem) {
    switch (problem) {
    case BatchProblem::MissingKind: return IDS_BATCH_MISSING_KIND;
    case BatchProblem::UnknownKind: return IDS_BATCH_UNKNOWN_KIND;
    case BatchProblem::MissingFile: return IDS_BATCH_MISSING_FILE;
    case BatchProblem::MissingScans: return IDS_BATCH_MISSING_SCANS;
    case BatchProblem::BadScans: return IDS_BATCH_BAD_SCANS;
    case BatchProblem::UnknownOption: return IDS_BATCH_UNKNOWN_OPTION;
    case BatchProblem::Repeated: return IDS_BATCH_REPEATED;
    case BatchProblem::Conflict: return IDS_BATCH_CONFLICT;
    case BatchProblem::PublishAlone: return IDS_BATCH_PUBLISH_ALONE;
    case BatchProblem::None: break;
    }
    return 0;
}

}  // namespace nw
