// Where the report writers put their bytes: a file, a memory buffer in tests.
#pragma once
#include <cstddef>

namespace nw {

class ExportSink {
public:
    virtual ~ExportSink() = default;
    // Appends bytes; false when the underlying write failed.
    virtual bool Write(const void* data, size_t bytes) = 0;
};

}  // namespace nw
