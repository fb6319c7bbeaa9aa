// idx_plan.cpp - a condition as ranges of field keys, and as a test of one stored value.
//
// Texts compare as fixed-length fields do: blank-padded to the field's length, so
// trailing blanks never count. A value longer than the field is greater than every
// stored text it starts with. Integer fields compare exactly with a value that has
// a fraction or lies outside the field's range (5.5 > 5, 40000 > any 'N' value).
#include "idx_plan.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string_view>

#include "keyed_file.h"

namespace qel::local::detail {
namespace {

std::string_view TrimRight(std::string_view text) {
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

// A text value against a field of length bytes: the padded value, or its first
// length bytes and `longer` when it does not fit.
struct TextBound {
    std::vector<uint8_t> bytes;
    bool longer = false;
};

TextBound Bound(std::string_view value, size_t length) {
    value = TrimRight(value);
    TextBound bound;
    bound.longer = value.size() > length;
    bound.bytes.assign(length, ' ');
    std::memcpy(bound.bytes.data(), value.data(), std::min(length, value.size()));
    return bound;
}

// <0, 0, >0: the stored text (length bytes, padded) against value.
int CompareText(const uint8_t* stored, size_t length, std::string_view value) {
    const TextBound bound = Bound(value, length);
    const int c = std::memcmp(stored, bound.bytes.data(), length);
    if (c != 0) return c;
    return bound.longer ? -1 : 0;
}

// <0, 0, >0: an integer against a double, exactly.
int CompareIntDouble(int64_t stored, double value) {
    if (std::isnan(value)) return 1;
    if (value >= 9223372036854775808.0) return -1;
    if (value < -9223372036854775808.0) return 1;
    const double whole = std::floor(value);
    const int64_t w = int64_t(whole);
    if (stored != w) return stored < w ? -1 : 1;
    return whole < value ? -1 : 0;
}

int CompareDouble(double stored, double value) { return stored < value ? -1 : (stored > value ? 1 : 0); }

bool IsInteger(char type) { return type == 'B' || type == 'I' || type == 'N'; }

std::optional<double> NumberOf(const QelSql_Value& value) {
    if (value.kind == QELSQL_VALUE_DOUBLE) return value.dbl;
    if (value.kind == QELSQL_VALUE_LONG) return double(value.lng);
    return std::nullopt;
}

void IntegerLimits(size_t bytes, int64_t* low, int64_t* high) {
    if (bytes >= 8) {
        *low = std::numeric_limits<int64_t>::min();
        *high = std::numeric_limits<int64_t>::max();
    } else {
        *low = -(int64_t(1) << (8 * bytes - 1));
        *high = (int64_t(1) << (8 * bytes - 1)) - 1;
    }
}

std::vector<uint8_t> IntegerKey(int64_t value, size_t bytes) {
    std::vector<uint8_t> key(bytes);
    if (bytes == 8) {
        std::memcpy(key.data(), &value, 8);
    } else if (bytes == 4) {
        const int32_t v = int32_t(value);
        std::memcpy(key.data(), &v, 4);
    } else {
        const int16_t v = int16_t(value);
        std::memcpy(key.data(), &v, 2);
    }
    QelKf_MakeKey(QELKF_KEY_INTEGER, bytes, key.data());
    return key;
}

std::vector<uint8_t> DoubleKey(double value) {
    std::vector<uint8_t> key(8);
    std::memcpy(key.data(), &value, 8);
    QelKf_MakeKey(QELKF_KEY_DOUBLE, 8, key.data());
    return key;
}

// The whole numbers of a field's type that lie in [low, high] of the reals (ends
// inclusive or not), as one key range; none when there are none.
std::optional<KeyRange> IntegerRange(const IdxField& field, std::optional<double> low, bool lowIn,
                                     std::optional<double> high, bool highIn) {
    int64_t tmin, tmax;
    IntegerLimits(field.keyLength, &tmin, &tmax);
    int64_t lo = tmin, hi = tmax;
    if (low) {
        if (std::isnan(*low)) return std::nullopt;
        double l = std::ceil(*low);
        if (!lowIn && l == *low) l += 1;
        if (l > double(tmax) || l >= 9223372036854775808.0) return std::nullopt;
        if (l > double(tmin)) lo = int64_t(l);
    }
    if (high) {
        if (std::isnan(*high)) return std::nullopt;
        double h = std::floor(*high);
        if (!highIn && h == *high) h -= 1;
        if (h < double(tmin)) return std::nullopt;
        if (h < double(tmax)) hi = int64_t(h);
    }
    if (lo > hi) return std::nullopt;
    KeyRange range;
    if (lo > tmin) range.low = IntegerKey(lo, field.keyLength);
    if (hi < tmax) range.high = IntegerKey(hi, field.keyLength);
    return range;
}

std::optional<KeyRange> DoubleRange(std::optional<double> low, bool lowIn, std::optional<double> high,
                                    bool highIn) {
    if ((low && std::isnan(*low)) || (high && std::isnan(*high))) return std::nullopt;
    if (low && high && (*low > *high || (*low == *high && !(lowIn && highIn)))) return std::nullopt;
    KeyRange range;
    if (low) range.low = DoubleKey(*low), range.lowInclusive = lowIn;
    if (high) range.high = DoubleKey(*high), range.highInclusive = highIn;
    return range;
}

std::optional<KeyRange> TextRange(const IdxField& field, const std::string* low, bool lowIn,
                                  const std::string* high, bool highIn) {
    KeyRange range;
    if (low) {
        TextBound b = Bound(*low, field.keyLength);
        // Stored texts that start with a longer value are below it.
        range.low = std::move(b.bytes);
        range.lowInclusive = lowIn && !b.longer;
    }
    if (high) {
        TextBound b = Bound(*high, field.keyLength);
        range.high = std::move(b.bytes);
        range.highInclusive = highIn || b.longer;
    }
    if (range.low && range.high) {
        const int c = std::memcmp(range.low->data(), range.high->data(), field.keyLength);
        if (c > 0 || (c == 0 && !(range.lowInclusive && range.highInclusive))) return std::nullopt;
    }
    return range;
}

// One comparison "field op value" as a key range; none when no value can match.
std::optional<KeyRange> CompareRange(const IdxField& field, int op, const QelSql_Value& value) {
    if (field.type == 'S') {
        if (value.kind != QELSQL_VALUE_TEXT) return std::nullopt;
        const std::string* v = &value.text;
        switch (op) {
            case QELSQL_OP_EQ: return TextRange(field, v, true, v, true);
            case QELSQL_OP_LT: return TextRange(field, nullptr, true, v, false);
            case QELSQL_OP_LE: return TextRange(field, nullptr, true, v, true);
            case QELSQL_OP_GT: return TextRange(field, v, false, nullptr, true);
            case QELSQL_OP_GE: return TextRange(field, v, true, nullptr, true);
            default: return std::nullopt;
        }
    }
    std::optional<double> v = NumberOf(value);
    if (!v) return std::nullopt;
    auto range = [&](std::optional<double> lo, bool loIn, std::optional<double> hi, bool hiIn) {
        return IsInteger(field.type) ? IntegerRange(field, lo, loIn, hi, hiIn)
                                     : DoubleRange(lo, loIn, hi, hiIn);
    };
    switch (op) {
        case QELSQL_OP_EQ: return range(v, true, v, true);
        case QELSQL_OP_LT: return range(std::nullopt, true, v, false);
        case QELSQL_OP_LE: return range(std::nullopt, true, v, true);
        case QELSQL_OP_GT: return range(v, false, std::nullopt, true);
        case QELSQL_OP_GE: return range(v, true, std::nullopt, true);
        default: return std::nullopt;
    }
}

// The characters of a LIKE pattern before its first wildcard.
std::string_view LiteralPrefix(std::string_view pattern) {
    const size_t end = pattern.find_first_of("%*_?");
    return pattern.substr(0, end);
}

std::string NumberText(const IdxField& field, const uint8_t* stored) {
    QelLocalIdxValue value;
    QelLocalIdx_ConvertField(&value, const_cast<uint8_t*>(stored), 1, field.type, field.keyLength);
    char text[64];
    if (IsInteger(field.type)) {
        std::snprintf(text, sizeof text, "%lld", static_cast<long long>(value.integer));
        return text;
    }
    // As SQL writes a real: -0.0 as 0.0 (they compare equal), and a point in every mantissa.
    std::snprintf(text, sizeof text, "%.15g", value.dbl == 0.0 ? 0.0 : value.dbl);
    std::string s = text;
    if (std::isfinite(value.dbl) && s.find('.') == std::string::npos) {
        const size_t exponent = s.find('e');
        s.insert(exponent == std::string::npos ? s.size() : exponent, ".0");
    }
    return s;
}

}  // namespace

ConditionPlan PlanCondition(const QelSql_Condition& c, const IdxField& field) {
    ConditionPlan plan;
    if (field.keyLength == 0 || !c.value1) {
        plan.kind = ConditionPlan::INVALID;
        return plan;
    }
    switch (c.op) {
        case QELSQL_OP_LIKE_ALL: plan.kind = ConditionPlan::ALL_ROWS; return plan;
        case QELSQL_OP_LIKE: {
            if (field.type != 'S') {
                plan.kind = ConditionPlan::FILTER_ONLY;
                return plan;
            }
            const std::string_view prefix = LiteralPrefix(c.value1->text);
            plan.keyTest.emplace(c.value1->text);
            if (!prefix.empty()) {
                if (prefix.size() > field.keyLength) {
                    plan.kind = ConditionPlan::NO_ROWS;
                    return plan;
                }
                KeyRange range;
                range.low.emplace(field.keyLength, uint8_t(0));
                range.high.emplace(field.keyLength, uint8_t(0xFF));
                std::memcpy(range.low->data(), prefix.data(), prefix.size());
                std::memcpy(range.high->data(), prefix.data(), prefix.size());
                plan.ranges.push_back(std::move(range));
                plan.literalPrefix = true;
            } else {
                plan.ranges.emplace_back();
            }
            return plan;
        }
        case QELSQL_OP_BETWEEN: {
            if (!c.value2) {
                plan.kind = ConditionPlan::INVALID;
                return plan;
            }
            std::optional<KeyRange> range;
            if (field.type == 'S') {
                if (c.value1->kind != QELSQL_VALUE_TEXT || c.value2->kind != QELSQL_VALUE_TEXT) break;
                range = TextRange(field, &c.value1->text, true, &c.value2->text, true);
            } else {
                std::optional<double> lo = NumberOf(*c.value1), hi = NumberOf(*c.value2);
                if (!lo || !hi) break;
                range = IsInteger(field.type) ? IntegerRange(field, lo, true, hi, true)
                                              : DoubleRange(lo, true, hi, true);
            }
            if (range) plan.ranges.push_back(std::move(*range));
            if (plan.ranges.empty()) plan.kind = ConditionPlan::NO_ROWS;
            return plan;
        }
        case QELSQL_OP_IN: {
            std::vector<QelSql_Value> values;
            if (QelSql_SplitList(c.value1->text, field.kind, &values) != 0) break;
            for (const QelSql_Value& v : values) {
                if (std::optional<KeyRange> r = CompareRange(field, QELSQL_OP_EQ, v))
                    plan.ranges.push_back(std::move(*r));
            }
            if (plan.ranges.empty()) plan.kind = ConditionPlan::NO_ROWS;
            return plan;
        }
        case QELSQL_OP_EQ:
        case QELSQL_OP_LT:
        case QELSQL_OP_LE:
        case QELSQL_OP_GT:
        case QELSQL_OP_GE: {
            if ((field.type == 'S') != (c.value1->kind == QELSQL_VALUE_TEXT)) break;
            if (std::optional<KeyRange> r = CompareRange(field, c.op, *c.value1)) {
                plan.ranges.push_back(std::move(*r));
            } else {
                plan.kind = ConditionPlan::NO_ROWS;
            }
            return plan;
        }
        default: break;
    }
    plan.kind = ConditionPlan::INVALID;
    return plan;
}

std::optional<bool> TestStored(const QelSql_Condition& c, const IdxField& field, const uint8_t* stored,
                               const QelLikePattern* like) {
    if (field.keyLength == 0 || !c.value1) return std::nullopt;
    if (c.op == QELSQL_OP_LIKE_ALL) return true;
    if (c.op == QELSQL_OP_LIKE) {
        if (field.type == 'S') {
            const std::string_view text =
                TrimRight(std::string_view(reinterpret_cast<const char*>(stored), field.keyLength));
            return like != nullptr ? like->Match(text) != 0 : QelLikeMatch(c.value1->text, text) != 0;
        }
        const std::string text = NumberText(field, stored);
        return like != nullptr ? like->Match(text) != 0 : QelLikeMatch(c.value1->text, text) != 0;
    }
    // <0, 0, >0 against one value; none when the value is of another kind.
    auto compare = [&](const QelSql_Value& v) -> std::optional<int> {
        if (field.type == 'S') {
            if (v.kind != QELSQL_VALUE_TEXT) return std::nullopt;
            return CompareText(stored, field.keyLength, v.text);
        }
        std::optional<double> number = NumberOf(v);
        if (!number) return std::nullopt;
        QelLocalIdxValue value;
        QelLocalIdx_ConvertField(&value, const_cast<uint8_t*>(stored), 1, field.type, field.keyLength);
        if (IsInteger(field.type)) return CompareIntDouble(value.integer, *number);
        if (std::isnan(value.dbl) || std::isnan(*number)) return std::nullopt;
        return CompareDouble(value.dbl, *number);
    };
    switch (c.op) {
        case QELSQL_OP_IN: {
            std::vector<QelSql_Value> values;
            if (QelSql_SplitList(c.value1->text, field.kind, &values) != 0) return std::nullopt;
            for (const QelSql_Value& v : values) {
                std::optional<int> r = compare(v);
                if (r && *r == 0) return true;
            }
            return false;
        }
        case QELSQL_OP_BETWEEN: {
            if (!c.value2) return std::nullopt;
            std::optional<int> lo = compare(*c.value1), hi = compare(*c.value2);
            if (!lo || !hi) return std::nullopt;
            return *lo >= 0 && *hi <= 0;
        }
        default: break;
    }
    std::optional<int> r = compare(*c.value1);
    if (!r) return std::nullopt;
    switch (c.op) {
        case QELSQL_OP_EQ: return *r == 0;
        case QELSQL_OP_LT: return *r < 0;
        case QELSQL_OP_LE: return *r <= 0;
        case QELSQL_OP_GT: return *r > 0;
        case QELSQL_OP_GE: return *r >= 0;
        default: return std::nullopt;
    }
}

const IdxField* StoredField(const std::vector<IdxField>& fields, const QelSql_Condition& c) {
    if (c.field < 0 || size_t(c.field) >= fields.size() || fields[size_t(c.field)].keyLength == 0)
        return nullptr;
    return &fields[size_t(c.field)];
}

}  // namespace qel::local::detail
