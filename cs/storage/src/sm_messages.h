// sm_messages.h - the numbered messages of the storage manager.
#pragma once

struct CsHandle;

namespace qelsm::detail {

inline constexpr int kMsgNoCache = 6;
inline constexpr int kMsgNotFoundNoStorage = 7;
inline constexpr int kMsgCacheOnly = 10;
inline constexpr int kMsgPopen = 84;
inline constexpr int kMsgPclose = 85;
inline constexpr int kMsgUnlink = 86;
inline constexpr int kMsgClose = 101;
inline constexpr int kMsgNoPlaceToStore = 109;
inline constexpr int kMsgNoPlaceToRetrieve = 110;

// A message with one text insert (null: none), then the source name and line.
void PlaceMessage(CsHandle* handle, int row, const char* text, int line);
// Message 7: the object and the group's name, then the source name and line.
void NotFoundMessage(CsHandle* handle, const char* name, const char* group, int line);

}  // namespace qelsm::detail
