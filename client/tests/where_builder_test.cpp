// The WHERE builder: criteria checks with their statuses, the clause text byte for
// byte, SQLite as the oracle of what a clause selects, and the local parser reading the
// clause back.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "arc_datetime.h"
#include "folder_fixture.h"
#include "qel_client.h"
#include "qel_local.h"
#include "where_builder.h"

namespace {

using clienttest::FolderFieldSpec;
using clienttest::FolderSpec;
using clienttest::GroupFieldSpec;
using clienttest::GroupSpec;
using qelclient::BuildGroupQuery;
using qelclient::CheckCriteria;
using qelclient::GroupQuery;
using qelclient::WhereError;
using qelclient::WhereInsert;
using qelclient::WhereOptions;
using qelclient::WherePlan;

constexpr uint32_t EQ = 0x001, NE = 0x002, LT = 0x004, LE = 0x008, GT = 0x010, GE = 0x020, IN = 0x040,
                   NOTIN = 0x080, LIKE = 0x100, NOTLIKE = 0x200, BETWEEN = 0x400, NOTBETWEEN = 0x800;

const std::string kBlankSlot(80, ' ');

// One criterion's operator and values.
struct Setting {
    const char* field;
    uint32_t op;
    std::string value1;
    std::string value2{};
};

// Folder fields NAME, A, B, AMT, DT (the group's segment date), DUE, BIG, in that
// criteria order, all mapped into group G1 under the same names.
FolderSpec BaseSpec() {
    FolderSpec spec;
    spec.fields = {
        {.name = "NAME", .type = 'S', .criteriaOrder = 1},
        {.name = "A", .type = 'I', .criteriaOrder = 2},
        {.name = "B", .type = 'I', .criteriaOrder = 3},
        {.name = "AMT", .type = 'D', .criteriaOrder = 4, .precision = 2},
        {.name = "DT", .type = 'I', .dateType = 'D', .criteriaOrder = 5, .dateFormat = "%m/%d/%Y"},
        {.name = "DUE", .type = 'I', .dateType = 'D', .criteriaOrder = 6, .dateFormat = "%m/%d/%Y"},
        {.name = "BIG", .type = 'B', .criteriaOrder = 7},
    };
    GroupSpec group;
    group.number = 10;
    group.name = "G1";
    group.fields = {
        {.name = "NAME"},
        {.name = "A", .type = 'I'},
        {.name = "B", .type = 'I'},
        {.name = "AMT", .type = 'D'},
        {.name = "DT", .type = 'I', .flags = 0x04, .dateType = 'D'},
        {.name = "DUE", .type = 'I', .dateType = 'D'},
        {.name = "BIG", .type = 'B'},
    };
    group.map = {0, 1, 2, 3, 4, 5, 6};
    spec.groups.push_back(group);
    return spec;
}

// A day as the date fields hold it.
int64_t Day(const char* text) {
    int64_t start = 0;
    EXPECT_EQ(ArcDT_ParseValue(text, "%m/%d/%Y", 'D', &start, nullptr), 0) << text;
    return start;
}

// An open folder over a described folder in a session without a server.
struct Search {
    ClientSession session;
    OpenFolder* folder;
    WhereOptions options;

    explicit Search(const FolderSpec& spec) : folder(clienttest::OpenTestFolder(&session, spec)) {}

    FolderCriterion& Criterion(const char* name) {
        for (int i = 0; i < folder->fieldCount; ++i)
            if (std::string(folder->definition->fields[i].name) == name) return folder->criteria[i];
        throw std::runtime_error(std::string("no field ") + name);
    }
    void Set(const char* name, uint32_t op, std::string value1, std::string value2 = "") {
        FolderCriterion& c = Criterion(name);
        c.op = op;
        c.value1 = std::move(value1);
        c.value2 = std::move(value2);
    }
    int Check(WherePlan* plan, WhereError* error) { return CheckCriteria(*folder, options, plan, error); }
    // The clause of group 0; fails the test on any status.
    std::string Clause(bool matchAny = false, GroupQuery* query = nullptr) {
        WherePlan plan;
        WhereError error;
        EXPECT_EQ(Check(&plan, &error), 0) << error.code;
        GroupQuery local;
        GroupQuery* out = query ? query : &local;
        EXPECT_EQ(BuildGroupQuery(*folder, plan, 0, matchAny, out, &error), 0) << error.code;
        return out->where;
    }
};

std::string Main(const std::string& conditions) { return "WHERE " + kBlankSlot + " ( " + conditions + " ) "; }

std::string Padded(const std::string& slot) { return slot + std::string(75 - slot.size(), ' '); }

TEST(WhereClause, ConditionsByteForByte) {
    const std::string d = std::to_string(Day("03/15/2026"));
    const std::string d2 = std::to_string(Day("03/20/2026"));
    struct Case {
        const char* label;
        std::vector<Setting> settings;
        bool matchAny;
        std::string clause;
    };
    const Case cases[] = {
        {"quote doubled", {{"NAME", EQ, "O'Brien"}}, false, Main("NAME = 'O''Brien'")},
        {"and", {{"A", EQ, "1"}, {"B", EQ, "2"}}, false, Main("A = 1 AND B = 2")},
        {"or", {{"A", EQ, "1"}, {"B", EQ, "2"}}, true, Main("A = 1 OR B = 2")},
        {"in words", {{"NAME", IN, "x y  z"}}, false, Main("NAME IN  ( 'x' , 'y' , 'z' ) ")},
        {"not in numbers", {{"A", NOTIN, " 3  -4 "}}, false, Main("A NOT IN  ( 3 , -4 ) ")},
        {"between numbers", {{"A", BETWEEN, " 1", "9 "}}, false, Main("A BETWEEN 1 AND 9")},
        {"not between",
         {{"BIG", NOTBETWEEN, "-9000000000", "9000000000"}},
         false,
         Main("BIG NOT BETWEEN -9000000000 AND 9000000000")},
        {"decimal written with its precision", {{"AMT", GE, "3.5"}}, false, Main("AMT >= 3.50")},
        {"every comparison",
         {{"A", NE, "1"}, {"B", LT, "2"}, {"BIG", LE, "3"}, {"AMT", GT, "-1"}},
         false,
         Main("A <> 1 AND B < 2 AND AMT > -1.00 AND BIG <= 3")},
        {"date equal is its day's range",
         {{"DUE", EQ, "03/15/2026"}},
         false,
         Main("DUE BETWEEN " + d + " AND " + d)},
        {"date not equal", {{"DUE", NE, "03/15/2026"}}, false, Main("DUE NOT BETWEEN " + d + " AND " + d)},
        {"date between takes first start and second end",
         {{"DUE", BETWEEN, "03/15/2026", "03/20/2026"}},
         false,
         Main("DUE BETWEEN " + d + " AND " + d2)},
        {"date less", {{"DUE", LT, "03/15/2026"}}, false, Main("DUE < " + d)},
        {"segment date alone fills the slot",
         {{"DT", EQ, "03/15/2026"}},
         false,
         "WHERE " + Padded("DT BETWEEN " + d + " AND " + d)},
        {"segment date before the others",
         {{"NAME", EQ, "x"}, {"DT", GT, "03/15/2026"}},
         true,
         "WHERE " + Padded("DT > " + d) + " AND  ( NAME = 'x' ) "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        Search s(BaseSpec());
        for (const Setting& set : c.settings) s.Set(set.field, set.op, set.value1, set.value2);
        EXPECT_EQ(s.Clause(c.matchAny), c.clause);
    }
}

TEST(WhereClause, LikeWildcardLetters) {
    struct Case {
        char wildcard;
        uint32_t op;
        std::string value, pattern;
    };
    const Case cases[] = {
        {'B', LIKE, "abc", "'%abc%'"}, {'A', LIKE, "abc%", "'abc%'"},    {'A', LIKE, "abc", "'abc%'"},
        {'P', LIKE, "abc", "'%abc'"},  {'P', LIKE, "%abc", "'%abc'"},    {'B', NOTLIKE, "%a%", "'%a%'"},
        {0, LIKE, "a_c", "'a_c'"},     {'B', LIKE, "it's", "'%it''s%'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value + " " + std::string(1, c.wildcard ? c.wildcard : '0'));
        FolderSpec spec = BaseSpec();
        spec.fields[0].wildcard = c.wildcard;
        Search s(spec);
        s.Set("NAME", c.op, c.value);
        EXPECT_EQ(s.Clause(),
                  Main(std::string("NAME") + (c.op == LIKE ? " LIKE " : " NOT LIKE ") + c.pattern));
    }
}

TEST(WhereClause, LongLikeValueKeepsRoomForItsWildcard) {
    EXPECT_EQ(qelclient::LikePattern(std::string(254, 'a'), 'A'), std::string(253, 'a') + "%");
    EXPECT_EQ(qelclient::LikePattern(std::string(254, 'a'), 'B'), "%" + std::string(252, 'a') + "%");
    EXPECT_EQ(qelclient::LikePattern(std::string(254, 'a'), 0), std::string(254, 'a'));
}

TEST(WhereClause, AlwaysJoinedConditionsWithMatchAny) {
    FolderSpec spec = BaseSpec();
    spec.fields[1].flags = 0x06;  // A
    {
        Search s(spec);
        s.Set("A", EQ, "1");
        s.Set("B", EQ, "2");
        s.Set("BIG", EQ, "3");
        EXPECT_EQ(s.Clause(true), "WHERE " + kBlankSlot + " ( B = 2 OR BIG = 3 )  AND  ( A = 1 ) ");
        // Without match any the flags change nothing.
        EXPECT_EQ(s.Clause(false), Main("A = 1 AND B = 2 AND BIG = 3"));
    }
    {
        Search s(spec);
        s.Set("A", EQ, "1");
        EXPECT_EQ(s.Clause(true), "WHERE " + kBlankSlot + " ( A = 1 ) ");
    }
}

TEST(WhereClause, SlotWidensForALongSegmentCondition) {
    FolderSpec spec = BaseSpec();
    spec.groups[0].fields[1].flags = 0x04;  // A is this group's segment date field
    spec.groups[0].fields[4].flags = 0;
    Search s(spec);
    std::string words, list;
    for (int i = 1000; i < 1020; ++i) {
        words += std::to_string(i) + " ";
        list += (list.empty() ? "" : " , ") + std::to_string(i);
    }
    s.Set("A", IN, words);
    s.Set("B", EQ, "7");
    const std::string slot = "A IN  ( " + list + " ) ";
    ASSERT_GT(slot.size(), 75u);
    EXPECT_EQ(s.Clause(), "WHERE " + slot + " AND  ( B = 7 ) ");
}

TEST(WhereClause, TextPreparedByTheGroupFieldsRules) {
    struct Case {
        char textCase;
        std::string strip, leading, trailing, value, written;
    };
    const Case cases[] = {
        {'U', "-", "0", " ", "00ab-c  ", "ABC"}, {'L', "", "", "", "MiXeD", "mixed"},
        {0, "-/", "", "", "1-2/3", "123"},       {0, "", "* ", "*", "** x**", "x"},
        {0, "", "", "", "---", "---"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        FolderSpec spec = BaseSpec();
        GroupFieldSpec& f = spec.groups[0].fields[0];
        f.textCase = c.textCase;
        f.strip = c.strip;
        f.leading = c.leading;
        f.trailing = c.trailing;
        Search s(spec);
        s.Set("NAME", EQ, c.value);
        EXPECT_EQ(s.Clause(), Main("NAME = '" + c.written + "'"));
    }
}

TEST(WhereClause, FieldPairsAndAlternatives) {
    qelclient::ConditionValues one{{"5"}, "5", "5"};
    EXPECT_EQ(qelclient::ConditionText({2, 0, 1}, "BEGIN", "END", 0, one), " ( BEGIN <= 5 AND END >= 5 ) ");
    // The chosen operator does not matter to a pair; a range meets the pair's period.
    qelclient::ConditionValues range{{"3", "9"}, "3", "9"};
    EXPECT_EQ(qelclient::ConditionText({2, 0, 1}, "BEGIN", "END", 6, range), " ( BEGIN <= 9 AND END >= 3 ) ");
    EXPECT_EQ(qelclient::ConditionText({3, 0, 1}, "X", "Y", 4, one), " ( X > 5 OR Y > 5 ) ");
    EXPECT_EQ(qelclient::ConditionText({1, 0, -1}, "X", "", 8, range), "X IN  ( 3 , 9 ) ");
}

// A folder field mapped onto two group fields of the group: a period given by a begin
// and an end field (mapCount 2), or two fields either of which may hold the value (3).
TEST(WhereClause, FieldsMappedOntoTwoGroupFields) {
    FolderSpec spec = BaseSpec();
    spec.fields[1].mapCount = 2;  // A: group fields A and B
    spec.fields[6].mapCount = 3;  // BIG: group fields BIG and A
    spec.groups[0].second = {
        FOLDER_FIELD_UNMAPPED, 2, FOLDER_FIELD_UNMAPPED, FOLDER_FIELD_UNMAPPED, FOLDER_FIELD_UNMAPPED,
        FOLDER_FIELD_UNMAPPED, 1};
    struct Case {
        const char* label;
        const char* field;
        uint32_t op;
        const char* value1;
        const char* value2;
        std::string clause;
    };
    const Case cases[] = {
        {"pair takes <= and >=", "A", EQ, "5", "", Main(" ( A <= 5 AND B >= 5 ) ")},
        {"pair whatever the operator", "A", GT, "5", "", Main(" ( A <= 5 AND B >= 5 ) ")},
        {"alternatives repeat the operator", "BIG", GE, "7", "", Main(" ( BIG >= 7 OR A >= 7 ) ")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        Search s(spec);
        s.Set(c.field, c.op, c.value1, c.value2);
        EXPECT_EQ(s.Clause(), c.clause);
    }
    // A list or a pattern cannot be matched against two fields.
    for (uint32_t op : {IN, LIKE}) {
        Search s(spec);
        s.Set("A", op, "5");
        WherePlan plan;
        WhereError error;
        EXPECT_EQ(s.Check(&plan, &error), 78) << op;
    }
    // Without a second half the field maps onto one group field only.
    FolderSpec plain = spec;
    plain.groups[0].second.clear();
    Search s(plain);
    s.Set("A", EQ, "5");
    EXPECT_EQ(s.Clause(), Main("A = 5"));
}

TEST(WhereClause, ChoicesWriteTheStoredValue) {
    FolderSpec spec = BaseSpec();
    spec.groups[0].fields[0].values = {{"a%", "Any A"}, {"K", "Kept"}};
    Search s(spec);
    FolderCriterion& c = s.Criterion("NAME");
    c.kind = 'C';
    c.choices = {"Any A", "Kept"};
    s.Set("NAME", EQ, "Kept");
    EXPECT_EQ(s.Clause(), Main("NAME = 'K'"));
    s.Set("NAME", EQ, "Any A");
    EXPECT_EQ(s.Clause(), Main("NAME LIKE 'a%'"));
}

TEST(WhereClause, GroupValuesTextSearchAndSegment) {
    FolderSpec spec = BaseSpec();
    spec.fields.push_back({.name = "NOTE", .type = 'A', .criteriaOrder = 8});
    spec.fields.push_back({.name = "COLOUR", .type = 'C', .criteriaOrder = 9});
    spec.fields.push_back({.name = "WORDS", .type = 'T', .criteriaOrder = 10});
    spec.fields.push_back({.name = "SEG", .type = 'R', .criteriaOrder = 11});
    Search s(spec);
    s.Set("NOTE", EQ, "urgent");
    s.Set("COLOUR", EQ, "g");
    s.Set("WORDS", EQ, "needle");
    ClientSegmentRow segment;
    std::snprintf(segment.segment.name, sizeof segment.segment.name, "%s", "SEG0001");
    segment.segment.startDate = 100;
    segment.segment.stopDate = 200;
    segment.groupNumber = 10;
    FolderCriterion& seg = s.Criterion("SEG");
    seg.segments = {&segment};
    seg.segmentChoice = 0;
    GroupQuery query;
    EXPECT_EQ(s.Clause(false, &query), "");
    EXPECT_TRUE(query.HasAnything());
    const std::vector<std::pair<uint16_t, std::string>> values = {{2, "urgent"}, {1, "5"}};
    EXPECT_EQ(query.values, values);
    const std::vector<std::pair<uint16_t, std::string>> text = {{FOLDER_FIELD_UNMAPPED, "needle"}};
    EXPECT_EQ(query.textSearch, text);
    EXPECT_EQ(query.segmentName, "SEG0001");
    EXPECT_TRUE(query.hasRange);
    EXPECT_EQ(query.rangeStart, 100);
    EXPECT_EQ(query.rangeEnd, 200);
}

TEST(WhereClause, SegmentDateConditionNarrowsTheRange) {
    const int64_t d = Day("03/15/2026");
    struct Case {
        uint32_t op;
        const char* v1;
        const char* v2;
        bool hasRange;
        int64_t start, end;
    };
    const Case cases[] = {
        {EQ, "03/15/2026", "", true, d, d},         {BETWEEN, "03/15/2026", "03/17/2026", true, d, d + 2},
        {GE, "03/15/2026", "", true, d, INT32_MAX}, {LT, "03/15/2026", "", true, -1, d - 1},
        {NE, "03/15/2026", "", false, -1, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.op);
        Search s(BaseSpec());
        s.Set("DT", c.op, c.v1, c.v2);
        GroupQuery query;
        s.Clause(false, &query);
        EXPECT_EQ(query.hasRange, c.hasRange);
        EXPECT_EQ(query.rangeStart, c.start);
        EXPECT_EQ(query.rangeEnd, c.end);
    }
}

// ---------------------------------------------------------------------------
// Checks

std::string InsertText(const WhereInsert& insert) {
    if (const auto* text = std::get_if<std::string>(&insert)) return *text;
    return "#" + std::to_string(std::get<int64_t>(insert));
}

TEST(WhereChecks, RefusedCriteria) {
    const std::string long255(255, 'q');
    struct Case {
        const char* label;
        std::vector<Setting> settings;
        int code;
        std::vector<std::string> inserts;
        int position, second;
    };
    const Case cases[] = {
        {"255 characters", {{"NAME", EQ, long255}}, 40, {long255, "NAME", "#254"}, 0, 0},
        {"255-character IN word", {{"NAME", IN, "a " + long255}}, 40, {long255, "NAME", "#254"}, 0, 0},
        {"integer not read", {{"A", EQ, "12x"}}, 42, {"12x", "A", "#-2147483648", "#2147483647"}, 1, 0},
        {"exponent",
         {{"A", EQ, "1"}, {"B", EQ, "1e3"}},
         42,
         {"1e3", "B", "#-2147483648", "#2147483647"},
         2,
         0},
        {"decimal places",
         {{"AMT", EQ, "1.234"}},
         43,
         {"1.234", "AMT", "-1000000000000000.00", "1000000000000000.00", "#2"},
         3,
         0},
        // Without limits of its own a date field names the dates its kind holds, in its format.
        {"date not read",
         {{"DUE", EQ, "13/45/2026"}},
         44,
         {"13/45/2026", "DUE", "01/01/1970", "12/31/9999"},
         5,
         0},
        {"between first missing", {{"A", BETWEEN, "", "5"}}, 41, {"A"}, 1, 0},
        {"between second missing", {{"A", BETWEEN, "5", ""}}, 41, {"A"}, 1, 1},
        {"between reversed", {{"A", BETWEEN, "9", "1"}}, 45, {"9", "1", "A"}, 1, 1},
        {"between second at fault", {{"AMT", BETWEEN, "1", "x"}}, 43, {}, 3, 1},
        {"IN on a date", {{"DUE", IN, "03/15/2026"}}, 78, {"DUE"}, 5, 0},
        {"LIKE on a date", {{"DUE", LIKE, "03/15/2026"}}, 78, {"DUE"}, 5, 0},
        {"no operator", {{"A", 0x3, "1"}}, 78, {"A"}, 1, 0},
        {"latest with another operator", {{"A", NE, "l"}}, 47, {"l", "A"}, 1, 0},
        {"second latest", {{"A", EQ, "L"}, {"B", EQ, "L"}}, 47, {"L", "B"}, 2, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        Search s(BaseSpec());
        for (const Setting& set : c.settings) s.Set(set.field, set.op, set.value1, set.value2);
        WherePlan plan;
        WhereError error;
        EXPECT_EQ(s.Check(&plan, &error), c.code);
        EXPECT_EQ(error.code, c.code);
        if (!c.inserts.empty()) {
            std::vector<std::string> inserts;
            for (const WhereInsert& insert : error.inserts) inserts.push_back(InsertText(insert));
            EXPECT_EQ(inserts, c.inserts);
        }
        EXPECT_EQ(error.position[0], c.position);
        EXPECT_EQ(error.position[1], c.second);
    }
}

TEST(WhereChecks, OperatorOutsideTheFieldsMask) {
    FolderSpec spec = BaseSpec();
    spec.fields[1].operators = EQ | NE;
    Search s(spec);
    s.Set("A", LT, "1");
    WherePlan plan;
    WhereError error;
    EXPECT_EQ(s.Check(&plan, &error), 78);
}

TEST(WhereChecks, ValueWiderThanTheInputWidth) {
    Search s(BaseSpec());
    s.Criterion("NAME").inputWidth = 4;
    s.Set("NAME", EQ, "abcde");
    WherePlan plan;
    WhereError error;
    ASSERT_EQ(s.Check(&plan, &error), 40);
    EXPECT_EQ(InsertText(error.inserts[2]), "#4");
    s.Set("NAME", EQ, "abcd");
    EXPECT_EQ(s.Check(&plan, &error), 0);
}

TEST(WhereChecks, LimitsOfTheFieldsAndTheirType) {
    FolderSpec spec = BaseSpec();
    spec.fields[1].minimum = 0;
    spec.fields[1].maximum = 100;
    struct Case {
        const char* field;
        const char* value;
        int code;
    };
    const Case cases[] = {
        {"A", "100", 0},
        {"A", "101", 42},
        {"A", "-1", 42},
        {"A", "+5", 0},
        {"A", "0x10", 42},
        {"A", " 7 ", 0},
        {"A", "inf", 42},
        {"BIG", "9223372036854775807", 0},
        {"BIG", "9223372036854775808", 42},
        {"AMT", "nan", 43},
        {"AMT", "1e3", 43},
        {"AMT", "-2.5", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.field) + " " + c.value);
        Search s(spec);
        s.Set(c.field, EQ, c.value);
        WherePlan plan;
        WhereError error;
        EXPECT_EQ(s.Check(&plan, &error), c.code);
    }
}

TEST(WhereChecks, DecimalCharacterOfTheOptions) {
    Search s(BaseSpec());
    s.options.decimalChar = ',';
    s.Set("AMT", EQ, "3,5");
    EXPECT_EQ(s.Clause(), Main("AMT = 3.50"));
}

TEST(WhereChecks, RequiredFieldLeftEmpty) {
    FolderSpec spec = BaseSpec();
    spec.fields[2].flags = FOLDER_FIELD_REQUIRED;  // B
    Search s(spec);
    s.Set("A", EQ, "1");
    s.Set("B", EQ, "   ");
    WherePlan plan;
    WhereError error;
    ASSERT_EQ(s.Check(&plan, &error), 39);
    EXPECT_EQ(InsertText(error.inserts.at(0)), "B");
    EXPECT_EQ(error.position[0], 2);
}

TEST(WhereChecks, NoCriteriaInUse) {
    Search s(BaseSpec());
    s.Set("NAME", IN, "   ");
    WherePlan plan;
    WhereError error;
    EXPECT_EQ(s.Check(&plan, &error), 0);
    EXPECT_TRUE(plan.criteria.empty());
    EXPECT_EQ(plan.maxField, -1);
}

TEST(WhereChecks, LatestValueChoosesTheMaximumField) {
    Search s(BaseSpec());
    s.Set("A", EQ, "l");
    s.Set("NAME", EQ, "x");
    WherePlan plan;
    WhereError error;
    ASSERT_EQ(s.Check(&plan, &error), 0);
    EXPECT_EQ(plan.maxField, 1);
    ASSERT_EQ(plan.criteria.size(), 1u);  // the latest value adds no condition
    EXPECT_EQ(s.Clause(), Main("NAME = 'x'"));
}

TEST(WhereChecks, LatestValueNeedsAFieldInEveryGroup) {
    FolderSpec spec = BaseSpec();
    GroupSpec second = spec.groups[0];
    second.number = 11;
    second.name = "G2";
    second.map[1] = FOLDER_FIELD_UNMAPPED;
    spec.groups.push_back(second);
    Search s(spec);
    s.Set("A", EQ, "L");
    WherePlan plan;
    WhereError error;
    EXPECT_EQ(s.Check(&plan, &error), 47);
}

TEST(WhereChecks, ChoicesDropGroups) {
    FolderSpec spec = BaseSpec();
    spec.fields.push_back({.name = "GROUP", .type = 'G', .criteriaOrder = 8});
    GroupSpec second = spec.groups[0];
    second.number = 11;
    second.name = "G2";
    second.fields[0].values = {{"k", "Kept"}};
    spec.groups.push_back(second);
    struct Case {
        const char* field;
        const char* value;
        int code;
        std::vector<bool> groups;
    };
    const Case cases[] = {
        {"GROUP", "G2", 0, {false, true}},
        {"GROUP", "G3", 79, {}},
        {"NAME", "Kept", 0, {false, true}},  // G1 has no fixed values for NAME
        {"NAME", "kept", 79, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.field) + " " + c.value);
        Search s(spec);
        FolderCriterion& name = s.Criterion("NAME");
        name.kind = 'C';
        name.choices = {"Kept"};
        s.Set(c.field, EQ, c.value);
        WherePlan plan;
        WhereError error;
        ASSERT_EQ(s.Check(&plan, &error), c.code);
        if (c.code == 0) {
            EXPECT_EQ(plan.searchGroup, c.groups);
        }
    }
    // A value no group lists once the other choice dropped the rest.
    Search s(spec);
    FolderCriterion& name = s.Criterion("NAME");
    name.kind = 'C';
    name.choices = {"Kept"};
    s.Set("GROUP", EQ, "G1");
    s.Set("NAME", EQ, "Kept");
    WherePlan plan;
    WhereError error;
    EXPECT_EQ(s.Check(&plan, &error), 46);
}

TEST(WhereChecks, OverlongClauseIsRefused) {
    Search s(BaseSpec());
    std::string words;
    for (int i = 0; i < 140; ++i) words += std::string(250, static_cast<char>('a' + i % 26)) + " ";
    s.Set("A", EQ, "1");
    s.Set("NAME", IN, words);
    WherePlan plan;
    WhereError error;
    ASSERT_EQ(s.Check(&plan, &error), 0);
    GroupQuery query;
    ASSERT_EQ(BuildGroupQuery(*s.folder, plan, 0, false, &query, &error), 40);
    EXPECT_EQ(InsertText(error.inserts.at(1)), "NAME");
    EXPECT_EQ(InsertText(error.inserts.at(2)), "#32000");
    EXPECT_EQ(error.position[0], 0);
    // 120 such words still fit.
    words.clear();
    for (int i = 0; i < 120; ++i) words += std::string(250, 'z') + " ";
    s.Set("NAME", IN, words);
    EXPECT_LE(s.Clause().size(), 32000u);
}

// ---------------------------------------------------------------------------
// SQLite as the oracle

std::string Hex(const std::string& text) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : text) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

const char* OperatorName(uint32_t op) {
    switch (op) {
        case EQ: return "EQ";
        case NE: return "NE";
        case LT: return "LT";
        case LE: return "LE";
        case GT: return "GT";
        case GE: return "GE";
        case IN: return "IN";
        case NOTIN: return "NOTIN";
        case LIKE: return "LIKE";
        case NOTLIKE: return "NOTLIKE";
        case BETWEEN: return "BETWEEN";
        default: return "NOTBETWEEN";
    }
}

TEST(WhereOracle, ClausesSelectWhatTheCriteriaMean) {
    const std::vector<std::string> names = {
        "O'Brien", "''",  "' OR '1'='1", "50%", "a_b",  "--", ";",    "x;DROP TABLE t",
        "abc",     "Abc", "abd",         "b",   "it's", "ab", "abcd", std::string(250, 'w') + "'';",
        "%",       "_",   "a b",
    };
    std::mt19937 random(23);
    auto pick = [&](size_t n) { return static_cast<size_t>(random() % n); };
    auto integer = [&] { return std::to_string(static_cast<int>(pick(11)) - 5); };
    auto amount = [&] {
        const int quarters = static_cast<int>(pick(21)) - 10;
        char text[16];
        std::snprintf(text, sizeof text, "%.2f", quarters * 0.25);
        return std::string(text);
    };
    auto word = [&] { return names[pick(names.size())]; };

    const std::string path = ::testing::TempDir() + "where_oracle_cases.txt";
    std::ofstream file(path);
    for (int row = 1; row <= 80; ++row)
        file << "ROW " << row << " " << Hex(word()) << " " << integer() << " " << amount() << "\n";

    const uint32_t textOps[] = {EQ, NE, LT, LE, GT, GE, IN, NOTIN, BETWEEN, NOTBETWEEN, LIKE, NOTLIKE};
    const char wildcards[] = {0, 'P', 'A', 'B'};
    const int caseCount = 400;
    for (int number = 0; number < caseCount; ++number) {
        FolderSpec spec = BaseSpec();
        const char wildcard = wildcards[pick(4)];
        spec.fields[0].wildcard = wildcard;
        Search s(spec);
        const bool matchAny = pick(2) == 1;
        std::ostringstream conditions;
        const char* fields[] = {"NAME", "A", "AMT"};
        const size_t used = 1 + pick(3);
        const size_t first = pick(3);
        for (size_t k = 0; k < used; ++k) {
            const char* field = fields[(first + k) % 3];
            const bool text = field[0] == 'N';
            // LIKE only on the text field.
            const uint32_t op = textOps[pick(text ? 12 : 10)];
            auto value = [&] { return text ? word() : field[1] == 'M' ? amount() : integer(); };
            std::string v1 = value(), v2;
            if (op == IN || op == NOTIN) {
                for (size_t w = pick(3); w > 0; --w) v1 += std::string(1 + pick(2), ' ') + value();
            }
            if (op == BETWEEN || op == NOTBETWEEN) {
                v2 = value();
                const bool swap = text ? v2 < v1 : std::stod(v2) < std::stod(v1);
                if (swap) std::swap(v1, v2);
            }
            s.Set(field, op, v1, v2);
            conditions << "COND " << field << " " << OperatorName(op) << " "
                       << (wildcard && text ? std::string(1, wildcard) : "-") << " " << Hex(v1);
            if (!v2.empty()) conditions << " " << Hex(v2);
            conditions << "\n";
        }
        // Blank-only values are no criterion; IN words never are.
        const std::string clause = s.Clause(matchAny);
        ASSERT_FALSE(clause.empty());
        file << "CASE " << number << " " << matchAny << " " << Hex(clause) << "\n"
             << conditions.str() << "END\n";
    }
    file.close();

    const std::string command = std::string(QEL_PYTHON) + " " + WHERE_ORACLE + " " + path;
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char line[4096];
    int ok = 0;
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        const std::string text = line;
        if (text.find(" ok") != std::string::npos)
            ++ok;
        else
            ADD_FAILURE() << text;
    }
    EXPECT_EQ(pclose(pipe), 0);
    EXPECT_EQ(ok, caseCount);
    std::remove(path.c_str());
}

// ---------------------------------------------------------------------------
// The local parser reads the clause back

struct ReadCondition {
    int field;
    int op;
    int negated;
    std::vector<std::string> values;
};

std::string ValueText(const QelSql_Value& value) {
    switch (value.kind) {
        case QELSQL_VALUE_LONG: return std::to_string(value.lng);
        case QELSQL_VALUE_DOUBLE: {
            char text[64];
            std::snprintf(text, sizeof text, "%.2f", value.dbl);
            return text;
        }
        default: return value.text;
    }
}

void Collect(const QelSql_Node& node, const int* kinds, std::vector<ReadCondition>* out, std::string* shape) {
    if (node.kind == QelSql_Node::CONDITION) {
        const QelSql_Condition& c = *node.condition;
        ReadCondition read{c.field, c.op, c.negated, {}};
        if (c.op == QELSQL_OP_IN) {
            std::vector<QelSql_Value> values;
            EXPECT_EQ(QelSql_SplitList(c.value1->text, kinds[c.field], &values), 0);
            for (const QelSql_Value& v : values) read.values.push_back(ValueText(v));
        } else {
            if (c.value1) read.values.push_back(ValueText(*c.value1));
            if (c.value2) read.values.push_back(ValueText(*c.value2));
        }
        out->push_back(read);
        *shape += "C";
        return;
    }
    *shape += node.kind == QelSql_Node::AND ? "AND(" : node.kind == QelSql_Node::OR ? "OR(" : "NOT(";
    for (const QelSql_Node& child : node.children) Collect(child, kinds, out, shape);
    *shape += ")";
}

TEST(WhereLocalParser, ReadsTheClauseBack) {
    const int64_t d = Day("03/15/2026");
    const std::string ds = std::to_string(d);
    struct Case {
        const char* label;
        std::vector<Setting> settings;
        bool matchAny;
        std::string shape;
        std::vector<ReadCondition> expected;
    };
    const Case cases[] = {
        {"single text", {{"NAME", EQ, "O'Brien"}}, false, "C", {{0, QELSQL_OP_EQ, 0, {"O'Brien"}}}},
        {"and of three",
         {{"NAME", NE, "x"}, {"A", IN, "1 2  3"}, {"AMT", BETWEEN, "1.5", "9"}},
         false,
         "AND(CCC)",
         {{0, QELSQL_OP_EQ, 1, {"x"}},
          {1, QELSQL_OP_IN, 0, {"1", "2", "3"}},
          {3, QELSQL_OP_BETWEEN, 0, {"1.50", "9.00"}}}},
        {"or with the slot",
         {{"DT", EQ, "03/15/2026"}, {"A", LT, "5"}, {"NAME", LIKE, "ab%"}},
         true,
         "AND(COR(CC))",
         {{4, QELSQL_OP_BETWEEN, 0, {ds, ds}}, {0, QELSQL_OP_LIKE, 0, {"ab%"}}, {1, QELSQL_OP_LT, 0, {"5"}}}},
        {"negations",
         {{"A", NOTIN, "7 8"}, {"NAME", NOTLIKE, "z%"}, {"B", NOTBETWEEN, "1", "2"}},
         false,
         "AND(CCC)",
         {{0, QELSQL_OP_LIKE, 1, {"z%"}},
          {1, QELSQL_OP_IN, 1, {"7", "8"}},
          {2, QELSQL_OP_BETWEEN, 1, {"1", "2"}}}},
        {"slot only", {{"DT", GE, "03/15/2026"}}, false, "C", {{4, QELSQL_OP_GE, 0, {ds}}}},
    };
    const int kinds[QELSQL_MAX_FIELDS] = {QELSQL_FIELD_TEXT,   QELSQL_FIELD_LONG, QELSQL_FIELD_LONG,
                                          QELSQL_FIELD_DOUBLE, QELSQL_FIELD_LONG, QELSQL_FIELD_LONG};
    char names[QELSQL_MAX_FIELDS][QELSQL_NAME_SIZE] = {"NAME", "A", "B", "AMT", "DT", "DUE"};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        Search s(BaseSpec());
        for (const Setting& set : c.settings) s.Set(set.field, set.op, set.value1, set.value2);
        const std::string clause = s.Clause(c.matchAny);
        std::unique_ptr<QelSql_Node> root;
        ASSERT_EQ(QelSql_ParseClause(clause.c_str(), kinds, names, &root), 0) << clause;
        ASSERT_TRUE(root);
        std::vector<ReadCondition> read;
        std::string shape;
        Collect(*root, kinds, &read, &shape);
        EXPECT_EQ(shape, c.shape);
        ASSERT_EQ(read.size(), c.expected.size());
        for (size_t i = 0; i < read.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(read[i].field, c.expected[i].field);
            EXPECT_EQ(read[i].op, c.expected[i].op);
            EXPECT_EQ(read[i].negated, c.expected[i].negated);
            EXPECT_EQ(read[i].values, c.expected[i].values);
        }
    }
}

}  // namespace
