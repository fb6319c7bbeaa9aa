// cache_messages.h - the numbered messages of the cache layer.
#pragma once

#include <cstdint>

struct CsHandle;

namespace qelsm::detail {

inline constexpr int kMsgNoMemory = 128;
inline constexpr int kMsgOpen = 94;
inline constexpr int kMsgSeek = 95;
inline constexpr int kMsgStat = 96;
inline constexpr int kMsgBeyondEnd = 97;
inline constexpr int kMsgRead = 98;
inline constexpr int kMsgWrite = 99;

// Issues a message with the path and an error number, then the source name and line.
void FileMessage(CsHandle* handle, int row, const char* path, int error, int line);
void SeekMessage(CsHandle* handle, const char* path, int64_t offset, int error, int line);
void BeyondEndMessage(CsHandle* handle, const char* path, int64_t offset, int64_t length, int64_t size,
                      int line);
void NoMemoryMessage(CsHandle* handle);

}  // namespace qelsm::detail
