// A plain evaluation of parsed conditions over rows held in memory, for the
// tests that compare the parser's reading of a clause with SQLite's.
#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "qel_local.h"

namespace qel::local::testing {

struct ParsedClause {
    std::vector<std::unique_ptr<QelSql_Condition>> conditions;
    std::vector<int> connectors;  // per condition; -1 when none was reported
    // Per condition: its LIKE pattern, compiled once for every row of the query.
    std::vector<std::optional<QelLikePattern>> likes;
    bool complete = false;  // the whole text was read
};

ParsedClause ParseClause(const char* text, const int* kinds, const char (*names)[QELSQL_NAME_SIZE]);

// One row: a value per field, of the field's value kind.
using Row = std::vector<QelSql_Value>;

// None when the condition cannot be evaluated (unknown field, LIKE on a number).
// like: the condition's compiled pattern, or null to compile it for this row.
std::optional<bool> EvaluateCondition(const QelSql_Condition& condition, const Row& row, const int* kinds,
                                      const QelLikePattern* like = nullptr);

// Conditions joined by their connectors, AND binding closer than OR.
std::optional<bool> EvaluateClause(const ParsedClause& clause, const Row& row, const int* kinds);

// A clause read whole: AND of its children, OR of its children, NOT of its child
// or the condition; none when any condition cannot be evaluated or a node is
// not well formed.
std::optional<bool> EvaluateTree(const QelSql_Node& node, const Row& row, const int* kinds);

}  // namespace qel::local::testing
