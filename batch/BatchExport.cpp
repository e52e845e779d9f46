#include "batch/BatchExport.h"

#include "base/Text.h"
#include "batch/BatchRun.h"
#include "discovery/ScanCycle.h"
#include "lang/Strings.h"
#include "listview/ReportListView.h"
#include "reports/ReportCommands.h"
#include "resource.h"

namespace nw {

namespace {

constexpr size_t kMessageChars = 1024;

std::wstring ErrorText(DWORD code) {
    wchar_t text[kMessageChars];
    SystemErrorText(code, text, kMessageChars);
    wchar_t message[kMessageChars];
    FormatText(message, kMessageChars, L"Error %d: %s", static_cast<int>(code), text);
    return message;
}

std::wstring NotWrittenMessage(const wchar_t* path, DWORD error) {
    return std::wstring(GetString(IDS_BATCH_NOT_WRITTEN)) + L": " + path + L": " + ErrorText(error);
}

// The target as a full path and its folder; false with error set when the
// name cannot be a file (too long, a folder's name).
bool ResolveTarget(const std::wstring& file, wchar_t (&full)[MAX_PATH], wchar_t (&folder)[MAX_PATH], DWORD& error) {
    wchar_t* name = nullptr;
    const DWORD n = ::GetFullPathNameW(file.c_str(), MAX_PATH, full, &name);
    if (n == 0 || n >= MAX_PATH) {
        error = n == 0 ? ::GetLastError() : ERROR_FILENAME_EXCED_RANGE;
        full[0] = 0;
        return false;
    }
    if (!name || !*name) {
        error = ERROR_INVALID_NAME;
        return false;
    }
    CopyText(folder, full);
    folder[name - full] = 0;
    return true;
}

// Before any scan: a run of half a minute must not end in a file it could
// never have written. A read-only file in place counts as unwritable.
bool TargetWritable(BatchWorld& world, const wchar_t* full, const wchar_t* folder, DWORD& error) {
    const DWORD attributes = world.Attributes(full);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY))) {
        error = ERROR_ACCESS_DENIED;
        return false;
    }
    error = world.FolderError(folder);
    return error == 0;
}

// The rows go to a temporary file beside the target, which takes the
// target's place only when complete: a full disk or a failed write leaves
// no partial file, and the old file stays until the new one is whole. The
// name is random and the file made only where none is: a name that another
// program took first (a link to some file of the user's) is passed by, and
// only a file this run made is ever deleted.
bool WriteAtomically(BatchWorld& world, int kind, const wchar_t* full, const wchar_t* folder, DWORD& error) {
    error = ERROR_FILE_EXISTS;
    for (int attempt = 0; attempt < kBatchTemporaryNames; ++attempt) {
        wchar_t temporary[MAX_PATH];
        const size_t length = FormatText(temporary, MAX_PATH, L"%snw%08x.tmp", folder, world.Random());
        if (length + 1 >= MAX_PATH) {
            error = ERROR_FILENAME_EXCED_RANGE;
            return false;
        }
        bool created = false;
        error = world.WriteNew(temporary, kind, created);
        if (error == 0) {
            error = world.Move(temporary, full, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
            if (error == 0) return true;
            world.Delete(temporary);
            return false;
        }
        if (created) {
            world.Delete(temporary);
            return false;
        }
        // Taken (a file, a folder or a file about to go): the next name.
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS && error != ERROR_ACCESS_DENIED) return false;
    }
    return false;
}

}  // namespace

int RunBatchExport(const BatchOptions& options, BatchWorld& world) {
    if (options.mode == BatchMode::Error) {
        world.Say(BatchProblemMessage(options), true);
        world.Say(GetString(IDS_BATCH_SEE_HELP), true);
        return kBatchExitBadOption;
    }
    if (options.mode != BatchMode::Export) return kBatchExitWritten;
    wchar_t full[MAX_PATH] = {};
    wchar_t folder[MAX_PATH] = {};
    DWORD error = 0;
    if (!ResolveTarget(options.file, full, folder, error) || !TargetWritable(world, full, folder, error)) {
        world.Say(NotWrittenMessage(full[0] ? full : options.file.c_str(), error), true);
        return kBatchExitNotWritten;
    }
    if (!world.Open(error)) {
        world.Say(NotWrittenMessage(full, error ? error : ERROR_INVALID_WINDOW_HANDLE), true);
        return kBatchExitNotWritten;
    }

    // The window's pace (3-, 8-, then 13-unit inquiries) without its waits.
    int completed = 0;
    bool radioFound = false;
    BatchScanEnd end = BatchScanEnd::Done;
    for (int32_t multiplier = ScanCycle::kFirstMultiplier; completed < options.scans;
         multiplier = ScanCycle::NextMultiplier(multiplier)) {
        // No thread for the scan: what is there is all there will be.
        if (!world.StartScan(multiplier)) {
            end = BatchScanEnd::TimedOut;
            break;
        }
        bool answered = false;
        end = world.WaitScan(answered);
        if (end != BatchScanEnd::Done) break;
        ++completed;
        radioFound = radioFound || answered;
    }
    if (end == BatchScanEnd::TimedOut) world.Say(GetString(IDS_BATCH_TIMED_OUT), true);
    if (end == BatchScanEnd::Interrupted) world.Say(GetString(IDS_BATCH_INTERRUPTED), true);

    if (!WriteAtomically(world, options.kind, full, folder, error)) {
        world.Say(NotWrittenMessage(full, error ? error : ERROR_WRITE_FAULT), true);
        return kBatchExitNotWritten;
    }
    wchar_t written[256];
    FormatNumberText(written, 256, GetString(IDS_BATCH_WRITTEN), world.RowCount());
    world.Say(std::wstring(written) + L": " + full, false);
    // A scan that hung had a radio to hang in.
    if (completed > 0 && !radioFound && end != BatchScanEnd::TimedOut) {
        world.Say(GetString(IDS_BATCH_NO_RADIO), true);
        return kBatchExitNoRadio;
    }
    return kBatchExitWritten;
}

}  // namespace nw
