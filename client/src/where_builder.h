// where_builder.h - checking a folder's criteria and building one application group's
// search: the WHERE text, the segment block, the application-group values and the
// text-search list (internal). Pure functions over the open folder and the options, so
// the clause can be read without a server. Grammar and decisions: docs/where-builder.md.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "qel_client.h"

namespace qelclient {

inline constexpr size_t kWhereValueMax = 254;     // characters of one value
inline constexpr size_t kWhereClauseMax = 32000;  // characters of one clause
inline constexpr size_t kWhereSlotWidth = 75;     // places of the slot condition
inline constexpr size_t kWhereSlotJoin = 5;       // " AND " after it

// What the checks take from the start-up options.
struct WhereOptions {
    char decimalChar = '.';
    char latestLetter[CLIENT_LETTER_SIZE] = "L";
};

// The start-up options' values (defaults for empty slots).
WhereOptions StartupWhereOptions();

// One value of a criterion after its check.
struct CheckedValue {
    std::string text;     // as entered, trimmed for number and date fields
    int64_t integer = 0;  // 'B' 'I' 'N'; the letter number of a 'C' field
    double real = 0.0;    // 'D'
    int64_t start = 0;    // the range a date value covers
    int64_t end = 0;
};

// A criterion in use.
struct CheckedCriterion {
    int field = -1;                             // folder field index
    int position = 0;                           // index in the criteria order
    int row = 0;                                // row of SqlOperatorTable
    std::vector<CheckedValue> values;           // one; two for BETWEEN; the words of IN
    const ClientSegmentRow* segment = nullptr;  // a segment criterion's choice
    bool choice = false;                        // a choice criterion (kind 'C')
};

// The checked criteria of one search.
struct WherePlan {
    std::vector<CheckedCriterion> criteria;
    std::vector<bool> searchGroup;  // per application group of the definition
    int maxField = -1;              // the latest-value field, -1 none
};

// A refused criterion or clause: the status code (severity 5), its inserts and the
// error position (criterion index in the criteria order, 1 for the second value).
using WhereInsert = std::variant<std::string, int64_t>;
struct WhereError {
    int code = 0;
    std::vector<WhereInsert> inserts;
    int position[2] = {0, 0};
};

// Checks every criterion of the folder in the criteria order. 0 with *plan filled
// (possibly without criteria), or the status code with *error filled.
int CheckCriteria(const OpenFolder& folder, const WhereOptions& options, WherePlan* plan, WhereError* error);

// The group fields that one folder field maps to: count 0 unmapped, 1 one field, 2 a
// pair of begin and end fields, any other count two fields either of which may match.
struct FieldMapping {
    int count = 0;
    int first = -1;
    int second = -1;
};
FieldMapping MappingOf(const CsXdrFolder& folder, int group, int field);

// What one application group is searched with.
struct GroupQuery {
    std::string where;  // empty: every row
    bool hasRange = false;
    std::string segmentName;  // the chosen segment table, "" none
    int64_t rangeStart = -1;
    int64_t rangeEnd = -1;
    std::vector<std::pair<uint16_t, std::string>> values;      // 1 a colour number, 2 a text
    std::vector<std::pair<uint16_t, std::string>> textSearch;  // group field index, value
    int groupNameField = -1;

    // True when the group is to be searched: a clause, a segment block, values or a
    // text-search list.
    bool HasAnything() const;
};

// The application-group-name field of the group (its first field flagged 0x08), or -1.
int GroupNameField(const CsXdrApplGroup& group);

// Builds the search of application group `group` from the plan. 0, or the status code
// with *error filled (a clause over kWhereClauseMax characters).
int BuildGroupQuery(const OpenFolder& folder, const WherePlan& plan, int group, bool matchAny,
                    GroupQuery* out, WhereError* error);

// One condition's text on a group field pair: the field names, the operator row and the
// value texts (two for BETWEEN, the words of IN). The upper and lower ends are the
// values a begin/end pair is matched with. Exposed for the tests.
struct ConditionValues {
    std::vector<std::string> texts;
    std::string lower;
    std::string upper;
};
std::string ConditionText(const FieldMapping& mapping, const char* firstName, const char* secondName, int row,
                          const ConditionValues& values);

// A text value prepared by the group field's rules: case, strip, leading and trailing
// sets.
std::string PrepareText(const CsXdrFieldDef& field, std::string_view value);

// The LIKE pattern of a value by the wildcard letter ('P', 'A', 'B'), cut on a
// character boundary so that it holds at most kWhereValueMax characters.
std::string LikePattern(std::string_view value, char wildcard);

}  // namespace qelclient
