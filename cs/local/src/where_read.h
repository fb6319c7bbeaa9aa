// Reading one condition of a WHERE text, shared by the condition-at-a-time
// parser and the whole-clause parser.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string_view>

#include "qel_local.h"

namespace qel::local::detail {

struct FieldTables {
    const int* kinds;                       // null: every field is text
    const char (*names)[QELSQL_NAME_SIZE];  // null: fields are given by number
};

struct ReadCondition {
    std::unique_ptr<QelSql_Condition> condition;
    size_t end = 0;  // just behind the condition's last value
};

// Reads "field [NOT] operator value" starting at pos (not a blank). Stops behind
// the last value, before any blank, ")" or connector; none when malformed.
std::optional<ReadCondition> ReadConditionAt(std::string_view text, size_t pos, const FieldTables& tables);

// True when the keyword stands at pos followed by a blank or the end.
bool KeywordAt(std::string_view text, size_t pos, std::string_view keyword);

}  // namespace qel::local::detail
