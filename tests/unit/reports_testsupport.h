// Sinks and cell sources for the report writer tests.
#pragma once
#include "reports/ExportFormat.h"
#include "reports/ExportSink.h"
#include <cstdint>
#include <string>
#include <vector>

namespace nwtest {

// Collects the bytes; fails every write that would pass failAfter bytes.
class MemorySink : public nw::ExportSink {
public:
    explicit MemorySink(size_t failAfter = SIZE_MAX) : failAfter_(failAfter) {}
    bool Write(const void* data, size_t bytes) override {
        ++writes;
        if (bytes > failAfter_ - bytes_.size() || bytes_.size() > failAfter_) {
            ++failedWrites;
            return false;
        }
        const unsigned char* p = static_cast<const unsigned char*>(data);
        bytes_.insert(bytes_.end(), p, p + bytes);
        return true;
    }
    const std::vector<unsigned char>& Bytes() const { return bytes_; }
    // The bytes as UTF-16 text (byte order mark included when written).
    std::wstring Text() const {
        std::wstring s;
        for (size_t i = 0; i + 1 < bytes_.size(); i += 2) {
            s.push_back(static_cast<wchar_t>(bytes_[i] | (bytes_[i + 1] << 8)));
        }
        return s;
    }
    std::string Narrow() const { return std::string(bytes_.begin(), bytes_.end()); }
    int writes = 0;
    int failedWrites = 0;

private:
    size_t failAfter_;
    std::vector<unsigned char> bytes_;
};

class ArrayCells : public nw::ExportCells {
public:
    explicit ArrayCells(std::vector<std::wstring> texts) : texts_(std::move(texts)) {}
    const wchar_t* Text(int position) override { return texts_[position].c_str(); }
    int32_t Background(int, int) override { return background; }
    void AdjustHtml(wchar_t*, size_t, int) override {}
    int32_t background = 0xFFFFFF;

private:
    std::vector<std::wstring> texts_;
};

}  // namespace nwtest
