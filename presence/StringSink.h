// An ExportSink that collects the bytes in memory.
#pragma once
#include <string>
#include "reports/ExportSink.h"

namespace nw {

class StringSink : public ExportSink {
public:
    bool Write(const void* data, size_t bytes) override {
        text.append(static_cast<const char*>(data), bytes);
        return true;
    }
    std::string text;
};

}  // namespace nw
