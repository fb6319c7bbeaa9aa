// table_texts.h - the table files, segment profiles and volume file of a described archive.
#pragma once

#include <map>
#include <string>

#include "description.h"

namespace arcbuild {

// The storage set and node every group stores in: the archive's own directory.
inline constexpr int32_t kStorageSet = 1;
inline constexpr int32_t kStorageNode = 1;
inline constexpr int32_t kVolumeNumber = 1;

// Path inside the archive ("table/user.tbl", "index/<group>.seg", "volume") -> content.
// Segments are not listed yet: the index load adds them. now stamps LAST_UPDATE.
std::map<std::string, std::string> ArchiveTexts(const Description& d, int64_t now);

}  // namespace arcbuild
