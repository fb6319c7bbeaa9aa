// object_piece.cpp - one bounded read from an object file.
#include "object_piece.h"

#include <cerrno>
#include <cstdio>
#include <memory>
#include <new>

#include "arc_platform.h"
#include "cache_messages.h"
#include "qel_sm.h"

namespace qelsm::detail {

namespace {

struct CloseFile {
    void operator()(FILE* f) const { std::fclose(f); }
};

}  // namespace

QelCacheResult ReadPiece(CsHandle* messages, const std::string& path, std::vector<uint8_t>* buffer,
                         int64_t offset, int64_t* length, int* last) {
    *last = 0;
    std::unique_ptr<FILE, CloseFile> file(std::fopen(path.c_str(), "rb"));
    if (!file) return QELCFS_NOT_FOUND;
    if (offset < 0 || ArcOS_FSeek(file.get(), offset, SEEK_SET) != 0) {
        if (messages) SeekMessage(messages, path.c_str(), offset, errno, __LINE__);
        return QELCFS_FAILED;
    }
    ArcOSStat status;
    if (ArcOS_Stat64(path.c_str(), &status) != 0) {
        if (messages) FileMessage(messages, kMsgStat, path.c_str(), errno, __LINE__);
        return QELCFS_FAILED;
    }
    int64_t size = status.size;
    int64_t wanted = *length;
    if (wanted == 0 && offset <= size) wanted = size - offset;
    // Compared without adding, so that no offset or length can overflow.
    if (wanted < 0 || offset > size || wanted > size - offset) {
        if (messages) BeyondEndMessage(messages, path.c_str(), offset, *length, size, __LINE__);
        return QELCFS_FAILED;
    }
    int64_t piece = wanted < 0x8000 ? wanted : QELCFS_PIECE_MAX;
    try {
        buffer->resize(size_t(piece));
    } catch (const std::bad_alloc&) {
        if (messages) NoMemoryMessage(messages);
        return QELCFS_FAILED;
    }
    size_t got = piece > 0 ? std::fread(buffer->data(), 1, size_t(piece), file.get()) : 0;
    if (got < size_t(piece) && std::ferror(file.get())) {
        int err = errno;
        buffer->clear();
        if (messages) FileMessage(messages, kMsgRead, path.c_str(), err, __LINE__);
        return QELCFS_FAILED;
    }
    buffer->resize(got);
    *length = int64_t(got);
    if (int64_t(got) == wanted) *last = 1;
    return QELCFS_OK;
}

}  // namespace qelsm::detail
