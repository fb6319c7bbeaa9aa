// ldr_records.cpp - records of a line-data document: fixed length, a 2-byte length before
// each, or cut at a delimiter. Nothing is read past a record's bytes.
#include <algorithm>
#include <cstring>

#include "ldr_internal.h"

namespace qelldr {
namespace {

constexpr size_t kMaxDelimiterText = 16;

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

std::vector<unsigned char> ParseDelimiter(const std::optional<std::string>& text, bool* fellBack) {
    *fellBack = false;
    const std::vector<unsigned char> lineFeed = {0x0A};
    if (!text) return lineFeed;
    if (text->empty()) return {0x0D, 0x0A};
    std::vector<unsigned char> bytes;
    bool good = text->size() % 2 == 0 && text->size() <= kMaxDelimiterText;
    for (size_t i = 0; good && i < text->size(); i += 2) {
        const int high = HexDigit((*text)[i]);
        const int low = HexDigit((*text)[i + 1]);
        good = high >= 0 && low >= 0;
        if (good) bytes.push_back(static_cast<unsigned char>(high * 16 + low));
    }
    if (good) return bytes;
    *fellBack = true;
    return lineFeed;
}

RecordSource::RecordSource(const ArcLdrCallbacks* callbacks, void* user, char format, int32_t recordLength,
                           std::vector<unsigned char> delimiter)
    : callbacks_(callbacks),
      user_(user),
      format_(format),
      recordLength_(recordLength),
      delimiter_(std::move(delimiter)) {}

namespace {

// A block no larger than a record: callers size their reads by it.
constexpr size_t kBlockSize = ARC_LDR_MAX_RECORD;

}  // namespace

bool RecordSource::Seek(int64_t position) {
    pending_.clear();
    pendingStart_ = 0;
    const auto blockStart = fileAt_ - static_cast<int64_t>(block_.size());
    if (fileAtKnown_ && position >= blockStart && position <= fileAt_) {
        // Within the block (the next page is where the last one ended): no call.
        blockPos_ = static_cast<size_t>(position - blockStart);
        ended_ = false;
        position_ = position;
        return true;
    }
    int64_t unused = 0;
    block_.clear();
    blockPos_ = 0;
    ended_ = !callbacks_->read(user_, ARC_LDR_SEEK, position, &unused, nullptr);
    fileAt_ = position;
    fileAtKnown_ = !ended_;
    position_ = position;
    return !ended_;
}

bool RecordSource::Tell(int64_t* position) {
    int64_t at = 0;
    if (!callbacks_->read(user_, ARC_LDR_TELL, 0, &at, nullptr) || at < 0) return false;
    fileAt_ = at;
    fileAtKnown_ = true;
    // Bytes read ahead into the block are not yet taken.
    *position = position_ = at - static_cast<int64_t>(block_.size() - blockPos_);
    return true;
}

// Reads up to count bytes; fewer only at the end of the data.
size_t RecordSource::ReadSome(unsigned char* buffer, size_t count) {
    size_t done = 0;
    if (format_ != 'F' && format_ != 'V') {
        // Delimited records read ahead only as far as one record may reach.
        while (!ended_ && done < count) {
            int64_t got = 0;
            const auto want = static_cast<int64_t>(count - done);
            if (!callbacks_->read(user_, ARC_LDR_READ, want, &got, buffer + done) || got <= 0) {
                ended_ = true;
                break;
            }
            done +=
                static_cast<size_t>(std::min(got, want));  // a callback claiming more is held to the count
        }
        fileAt_ += static_cast<int64_t>(done);
        return done;
    }
    while (done < count) {
        if (blockPos_ == block_.size()) {
            if (ended_) break;
            block_.resize(kBlockSize);
            blockPos_ = 0;
            int64_t got = 0;
            const auto want = static_cast<int64_t>(kBlockSize);
            if (!callbacks_->read(user_, ARC_LDR_READ, want, &got, block_.data()) || got <= 0) {
                block_.clear();
                ended_ = true;
                break;
            }
            block_.resize(
                static_cast<size_t>(std::min(got, want)));  // a callback claiming more is held to the count
            fileAt_ += static_cast<int64_t>(block_.size());
        }
        const size_t n = std::min(count - done, block_.size() - blockPos_);
        std::memcpy(buffer + done, block_.data() + blockPos_, n);
        blockPos_ += n;
        done += n;
    }
    return done;
}

bool RecordSource::Next(std::vector<unsigned char>* record) {
    record->clear();
    switch (format_) {
        case 'F': return NextFixed(record);
        case 'V': return NextVariable(record);
        default: return NextDelimited(record);
    }
}

// A record cut off by the end of the data keeps the bytes that are there.
bool RecordSource::NextFixed(std::vector<unsigned char>* record) {
    if (recordLength_ <= 0 || recordLength_ > ARC_LDR_MAX_RECORD || ended_) return false;
    record->resize(static_cast<size_t>(recordLength_));
    const size_t got = ReadSome(record->data(), record->size());
    record->resize(got);
    position_ += static_cast<int64_t>(got);
    return got > 0;
}

bool RecordSource::NextVariable(std::vector<unsigned char>* record) {
    unsigned char prefix[2];
    if (ended_ || ReadSome(prefix, 2) != 2) return false;
    const size_t length = static_cast<size_t>(prefix[0]) << 8 | prefix[1];
    if (length > static_cast<size_t>(ARC_LDR_MAX_RECORD)) return false;
    record->resize(length);
    const size_t got = ReadSome(record->data(), length);
    record->resize(got);
    position_ += 2 + static_cast<int64_t>(got);
    return got == length || got > 0;
}

// Makes at least wanted bytes pending, fewer only at the end of the data.
bool RecordSource::Fill(size_t wanted) {
    if (pendingStart_ > 0) {
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<ptrdiff_t>(pendingStart_));
        pendingStart_ = 0;
    }
    if (pending_.size() < wanted) {
        const size_t have = pending_.size();
        pending_.resize(wanted);
        pending_.resize(have + ReadSome(pending_.data() + have, wanted - have));
    }
    return !pending_.empty();
}

// A record ends at the delimiter when it starts within the first 991 bytes; else the 991
// bytes are a record of their own and the rest goes on in the next one.
bool RecordSource::NextDelimited(std::vector<unsigned char>* record) {
    const size_t block = ARC_LDR_DELIMITED_BLOCK;
    const size_t window = block + delimiter_.size();
    if (pending_.size() - pendingStart_ < window && !Fill(window)) return false;
    if (pending_.size() == pendingStart_) return false;
    const unsigned char* data = pending_.data() + pendingStart_;
    const size_t available = pending_.size() - pendingStart_;
    size_t length = std::min(block, available);
    size_t skip = 0;
    const size_t d = delimiter_.size();
    for (size_t i = 0; i + d <= available && i <= block; ++i) {
        if (std::memcmp(data + i, delimiter_.data(), d) == 0) {
            length = i;
            skip = d;
            break;
        }
    }
    record->assign(data, data + length);
    pendingStart_ += length + skip;
    position_ += static_cast<int64_t>(length + skip);
    return true;
}

}  // namespace qelldr
