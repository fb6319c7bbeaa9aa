// ccsid_names.h - qelcpcs.cfg: CCSID to code-set name.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "context.h"

namespace qel::codepage {

// Longest line of qelcpcs.cfg that is read; the rest of a longer line is skipped.
inline constexpr size_t kMaxConfigLine = 4095;

// Parses the text of qelcpcs.cfg, appending to names. 0; 7 when a line has no white
// space after its CCSID (reading goes on); 1 when memory runs out.
int ParseCcsidNames(std::string_view text, std::vector<CcsidName>* names);
// Reads <localePath>/qelcpcs.cfg. As ParseCcsidNames; 7 when the file cannot be read.
int LoadCcsidNames(const std::string& localePath, std::vector<CcsidName>* names);

}  // namespace qel::codepage
