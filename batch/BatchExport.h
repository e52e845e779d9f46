// The decisions of an /export run, apart from the radio, the hidden window
// and the disk: which scans run, where the file goes first, what the user
// reads and the exit code. RunBatch hands it the program's own world
// (BatchRun.cpp); the unit tests hand it one of their own.
#pragma once
#include <windows.h>
#include <cstdint>
#include <string>
#include "batch/BatchOptions.h"

namespace nw {

enum class BatchScanEnd { Done, TimedOut, Interrupted };

// Everything the run needs from outside. Errors are system error codes, 0
// for none.
class BatchWorld {
public:
    virtual ~BatchWorld() = default;

    // ---- The scan source
    // Gets ready to scan (the hidden list, the settings); false with error set.
    virtual bool Open(DWORD& error) = 0;
    // Starts one scan of multiplier inquiry units; false when it cannot start.
    virtual bool StartScan(int32_t multiplier) = 0;
    // Waits for that scan: Done once its answer is in the table (radioFound:
    // a radio answered), or how the wait ended instead.
    virtual BatchScanEnd WaitScan(bool& radioFound) = 0;
    virtual int RowCount() = 0;

    // ---- The file system
    virtual DWORD Attributes(const wchar_t* path) = 0;       // INVALID_FILE_ATTRIBUTES when absent
    virtual DWORD FolderError(const wchar_t* folder) = 0;    // 0 when new files can be made there
    // Creates path, which must not exist yet, and writes every row into it.
    // created: the file was made (whether or not the rows went in).
    virtual DWORD WriteNew(const wchar_t* path, int kind, bool& created) = 0;
    virtual DWORD Move(const wchar_t* from, const wchar_t* to, DWORD flags) = 0;
    virtual void Delete(const wchar_t* path) = 0;
    virtual uint32_t Random() = 0;   // for temporary names another program cannot foresee

    // ---- The console
    virtual void Say(const std::wstring& line, bool error) = 0;
};

// Error and Export modes of options (Help is the caller's); the exit code.
int RunBatchExport(const BatchOptions& options, BatchWorld& world);

// Names tried for the temporary file before the run gives up.
constexpr int kBatchTemporaryNames = 16;

}  // namespace nw
