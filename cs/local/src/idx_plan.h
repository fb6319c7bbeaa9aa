// idx_plan.h - how one condition is answered from a field's keys: ranges of key
// values, each walked in key order, with an optional test of each key's text.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "qel_local.h"
#include "segment_index.h"

namespace qel::local::detail {

// A range of field keys (key length bytes, key form); a missing end is open.
struct KeyRange {
    std::optional<std::vector<uint8_t>> low, high;
    bool lowInclusive = true, highInclusive = true;
};

struct ConditionPlan {
    enum Kind { RANGES, ALL_ROWS, NO_ROWS, FILTER_ONLY, INVALID };
    Kind kind = RANGES;
    std::vector<KeyRange> ranges;
    std::optional<QelLikePattern> keyTest;  // LIKE: tested on each key's text
    bool literalPrefix = false;             // LIKE whose ranges stop at its literal prefix
};

// The plan of a condition on a field (not negated: the caller inverts).
ConditionPlan PlanCondition(const QelSql_Condition& condition, const IdxField& field);

// Whether the stored value of the field (its bytes in a record) satisfies the
// condition, negation not applied; none when the condition cannot be tested.
std::optional<bool> TestStored(const QelSql_Condition& condition, const IdxField& field,
                               const uint8_t* stored, const QelLikePattern* like);

// The stored field a condition names; null for another field or one that takes no room.
const IdxField* StoredField(const std::vector<IdxField>& fields, const QelSql_Condition& condition);

}  // namespace qel::local::detail
