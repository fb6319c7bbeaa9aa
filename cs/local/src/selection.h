// selection.h - building the id list of a "first" request.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "table_file.h"

namespace qel::local::detail {

// A list key of a table.
struct ListSource {
  const TableFile* table;
  std::string section;
  std::string key;
};

inline bool IsQuotedName(const char* name) {
  return name != nullptr && name[0] == '\'';
}
inline bool HasName(const char* name) {
  return name != nullptr && name[0] != '\0';
}
// 'name' -> name (a missing closing quote is tolerated).
std::string Unquote(std::string_view name);

// The ids of a "first" request: a decimal id alone (malformed -> 6); for a
// quoted name the first id of `all` whose row in `rows` has that NAME (a row
// without NAME -> 6, no match -> 11); else the ids of `members` (or of `all`
// when there is no owner). A missing list -> 11.
int SelectIds(const TableFile& rows, const ListSource& all, const ListSource* members, const char* name,
              std::vector<int32_t>* ids);

}  // namespace qel::local::detail
