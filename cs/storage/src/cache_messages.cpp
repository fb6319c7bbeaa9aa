// cache_messages.cpp - issuing the cache layer's messages through the request layer.
#include "cache_messages.h"

#include "qel_cshandle.h"

namespace qelsm::detail {

namespace {
constexpr const char* kSource = "Qelcssm";
}

void FileMessage(CsHandle* handle, int row, const char* path, int error, int line) {
    CsIssueMessageV(handle, row, 'S', path, 'I', int32_t(error), 'S', kSource, 'I', int32_t(line), 'V');
}

void SeekMessage(CsHandle* handle, const char* path, int64_t offset, int error, int line) {
    CsIssueMessageV(handle, kMsgSeek, 'S', path, 'B', int64_t(0), 'B', offset, 'I', int32_t(error), 'S',
                    kSource, 'I', int32_t(line), 'V');
}

void BeyondEndMessage(CsHandle* handle, const char* path, int64_t offset, int64_t length, int64_t size,
                      int line) {
    CsIssueMessageV(handle, kMsgBeyondEnd, 'B', offset, 'B', length, 'S', path, 'B', size, 'S', kSource, 'I',
                    int32_t(line), 'V');
}

void NoMemoryMessage(CsHandle* handle) { CsIssueMessageV(handle, kMsgNoMemory, 'V'); }

}  // namespace qelsm::detail
