// qel_cscommon.h - helpers shared by the request layer and the storage manager.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cscommon {

// The words of an administrator's command: split at blanks and tabs, "..." keeps blanks
// inside a word (the quotes are dropped). The words are started as an argument vector,
// never through a shell.
std::vector<std::string> CommandWords(std::string_view command);

// The directory of element n (1-based; 0: the whole value) of a ';' list, ending in '/'.
// A null or empty value means TEMP, else TMP, else TMPDIR, else "/tmp/" (only elements 0
// and 1 exist then). None when the element does not exist.
std::optional<std::string> DirFromList(int element, const char* value);

// Element 1 of QEL_TMP, as DirFromList.
std::optional<std::string> TempDirectory();

}  // namespace cscommon
