// Internal helpers of the container split: owned files and the information block.
#pragma once

#include <cstdio>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace afp {

struct FileClose {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileClose>;

// The document information block of a segmented container.
struct DocInfo {
    uint32_t totalPages = 0;
    uint32_t segmentCount = 0;
    uint32_t pagesPerSegment = 0;
    uint32_t pagesInLastSegment = 0;
    std::string segmentUrl;
    std::string formData;
    std::vector<std::string> pageNames;
    struct Entry {
        std::string group;
        std::string value;
        uint32_t kind;
        uint32_t page;
    };
    std::vector<Entry> entries;
};

// None when a count, terminator or length runs past the block, or the segment count is
// above kMaxSegments.
std::optional<DocInfo> ParseDocInfo(std::span<const uint8_t> block);

}  // namespace afp
