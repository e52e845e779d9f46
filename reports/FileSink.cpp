#include "reports/FileSink.h"
#include <cstring>
#include <new>

namespace nw {

// Without the buffer (no memory) every piece goes straight to the file: slower,
// but the same bytes.
FileSink::FileSink(HANDLE file) : file_(file), buffer_(new (std::nothrow) unsigned char[kBufferSize]) {}

FileSink::~FileSink() { delete[] buffer_; }

// Once a write has failed the sink refuses everything after it, so the file
// never gets a gap in the middle; the caller sees false and reports the error.
bool FileSink::Write(const void* data, size_t bytes) {
    if (failed_) return false;
    if (!buffer_) return WriteThrough(data, bytes);
    if (used_ + bytes > kBufferSize) {
        if (!Flush()) return false;
        if (bytes >= kBufferSize) return WriteThrough(data, bytes);
    }
    memcpy(buffer_ + used_, data, bytes);
    used_ += bytes;
    return true;
}

bool FileSink::Flush() {
    if (failed_) return false;
    size_t bytes = used_;
    used_ = 0;
    return bytes == 0 || WriteThrough(buffer_, bytes);
}

bool FileSink::WriteThrough(const void* data, size_t bytes) {
    const unsigned char* p = static_cast<const unsigned char*>(data);
    while (bytes > 0) {
        DWORD chunk = bytes > 0x40000000 ? 0x40000000 : static_cast<DWORD>(bytes);
        DWORD written = 0;
        if (!::WriteFile(file_, p, chunk, &written, nullptr) || written == 0) {
            error_ = ::GetLastError();
            if (error_ == 0) error_ = ERROR_WRITE_FAULT;
            failed_ = true;
            return false;
        }
        p += written;
        bytes -= written;
    }
    return true;
}

}  // namespace nw
