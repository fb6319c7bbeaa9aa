// object_piece.h - reading one piece of an object file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "qel_sm.h"

struct CsHandle;

namespace qelsm::detail {

// Reads at most QELCFS_PIECE_MAX bytes at offset (see QelCacheFs_ReadObject).
// With a handle, failures after the open issue messages 95-98; without one they
// are silent. QELCFS_OK; QELCFS_FAILED; QELCFS_NOT_FOUND when the file cannot be opened.
QelCacheResult ReadPiece(CsHandle* messages, const std::string& path, std::vector<uint8_t>* buffer,
                         int64_t offset, int64_t* length, int* last);

}  // namespace qelsm::detail
