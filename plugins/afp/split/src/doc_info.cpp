// Reading the document information block: every count, terminator and length is checked
// against the block before anything is taken from it.
#include <algorithm>

#include "afp_split.h"
#include "arc_byteorder.h"
#include "split_internal.h"

namespace afp {

namespace {

class BlockReader {
public:
    explicit BlockReader(std::span<const uint8_t> block) : block_(block) {}
    size_t Left() const { return block_.size() - pos_; }
    bool Skip(uint64_t count) {
        if (count > Left()) return false;
        pos_ += static_cast<size_t>(count);
        return true;
    }
    bool U8(uint8_t& value) {
        if (Left() < 1) return false;
        value = block_[pos_++];
        return true;
    }
    bool U32(uint32_t& value) {
        if (Left() < 4) return false;
        value = QelGetBE32(block_.data() + pos_);
        pos_ += 4;
        return true;
    }
    // A zero-terminated text; false when the terminator is missing.
    bool Text(std::string& value) {
        const auto begin = block_.begin() + static_cast<std::ptrdiff_t>(pos_);
        const auto zero = std::find(begin, block_.end(), uint8_t{0});
        if (zero == block_.end()) return false;
        value.assign(begin, zero);
        pos_ = static_cast<size_t>(zero - block_.begin()) + 1;
        return true;
    }
    // `length` counted bytes holding a text and its zero byte (the text ends at the first zero).
    bool CountedText(uint32_t length, std::string& value) {
        if (length > Left()) return false;
        const auto begin = block_.begin() + static_cast<std::ptrdiff_t>(pos_);
        const auto end = begin + static_cast<std::ptrdiff_t>(length);
        value.assign(begin, std::find(begin, end, uint8_t{0}));
        pos_ += length;
        return true;
    }

private:
    std::span<const uint8_t> block_;
    size_t pos_ = 0;
};

bool ReadGroups(BlockReader& reader, uint32_t groups, DocInfo& info) {
    // A group takes at least a terminator and a count; a value two words and a terminator.
    if (uint64_t{groups} * 5 > reader.Left()) return false;
    for (uint32_t g = 0; g < groups; ++g) {
        std::string name;
        uint32_t count = 0;
        if (!reader.Text(name) || !reader.U32(count)) return false;
        if (uint64_t{count} * 9 > reader.Left()) return false;
        for (uint32_t v = 0; v < count; ++v) {
            DocInfo::Entry entry{name, {}, 0, 0};
            if (!reader.U32(entry.kind) || !reader.U32(entry.page) || !reader.Text(entry.value)) return false;
            info.entries.push_back(std::move(entry));
        }
    }
    return true;
}

}  // namespace

std::optional<DocInfo> ParseDocInfo(std::span<const uint8_t> block) {
    BlockReader reader(block);
    DocInfo info;
    uint8_t namesFlag = 0;
    uint32_t groups = 0;
    uint32_t urlLength = 0;
    uint32_t formLength = 0;
    if (!reader.U32(info.totalPages) || !reader.U8(namesFlag) || !reader.U32(groups) ||
        !reader.U32(info.segmentCount) || !reader.U32(info.pagesPerSegment) ||
        !reader.U32(info.pagesInLastSegment) || !reader.U32(urlLength) || !reader.U32(formLength))
        return std::nullopt;
    if (info.segmentCount > kMaxSegments) return std::nullopt;
    if (!reader.CountedText(urlLength, info.segmentUrl) || !reader.CountedText(formLength, info.formData))
        return std::nullopt;
    if (namesFlag != 0) {
        // Every name takes at least its terminator.
        if (info.totalPages > reader.Left()) return std::nullopt;
        info.pageNames.resize(info.totalPages);
        for (std::string& name : info.pageNames) {
            if (!reader.Text(name)) return std::nullopt;
        }
    }
    if (!ReadGroups(reader, groups, info)) return std::nullopt;
    return info;
}

}  // namespace afp
