// An ExportSink over an open file, buffered so that a report costs a few
// large writes instead of one system call per piece.
#pragma once
#include "reports/ExportSink.h"
#include <windows.h>
#include <cstddef>

namespace nw {

class FileSink : public ExportSink {
public:
    static constexpr size_t kBufferSize = 64 * 1024;

    explicit FileSink(HANDLE file);   // borrowed; the caller closes it
    ~FileSink() override;
    FileSink(const FileSink&) = delete;
    FileSink& operator=(const FileSink&) = delete;

    bool Write(const void* data, size_t bytes) override;
    // Writes what is buffered; false once any write has failed.
    bool Flush();
    bool Failed() const { return failed_; }
    DWORD Error() const { return error_; }   // platform error of the failed write

private:
    bool WriteThrough(const void* data, size_t bytes);

    HANDLE file_;
    unsigned char* buffer_;
    size_t used_ = 0;
    bool failed_ = false;
    DWORD error_ = 0;
};

}  // namespace nw
