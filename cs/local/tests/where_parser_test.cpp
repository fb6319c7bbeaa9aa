#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "qel_local.h"

namespace {

// F1 text, F2 and F3 long, F4 text, F5 double, F6 short, then a name that
// fills all 19 bytes without a terminator.
struct Fields {
    int kinds[QELSQL_MAX_FIELDS] = {QELSQL_FIELD_TEXT, QELSQL_FIELD_LONG,   QELSQL_FIELD_LONG,
                                    QELSQL_FIELD_TEXT, QELSQL_FIELD_DOUBLE, QELSQL_FIELD_SHORT,
                                    QELSQL_FIELD_TEXT};
    char names[QELSQL_MAX_FIELDS][QELSQL_NAME_SIZE] = {};
    Fields() {
        const char* given[] = {"F1", "F2", "F3", "F4", "F5", "F6"};
        for (int i = 0; i < 6; ++i) std::strcpy(names[i], given[i]);
        std::memcpy(names[6], "ABCDEFGHIJKLMNOPQRS", QELSQL_NAME_SIZE);
    }
};

enum ValueForm { kNone, kText, kDouble, kLong };
struct Expected {
    ValueForm form = kNone;
    const char* text = "";
    double dbl = 0;
    int32_t lng = 0;
};
Expected Text(const char* t) { return {kText, t, 0, 0}; }
Expected Dbl(double d) { return {kDouble, "", d, 0}; }
Expected Lng(int32_t l) { return {kLong, "", 0, l}; }

void ExpectValue(const std::optional<QelSql_Value>& value, const Expected& expected,
                 const std::string& where) {
    if (expected.form == kNone) {
        EXPECT_FALSE(value.has_value()) << where;
        return;
    }
    ASSERT_TRUE(value.has_value()) << where;
    switch (expected.form) {
        case kText:
            EXPECT_EQ(value->kind, QELSQL_VALUE_TEXT) << where;
            EXPECT_EQ(value->text, expected.text) << where;
            break;
        case kDouble:
            EXPECT_EQ(value->kind, QELSQL_VALUE_DOUBLE) << where;
            EXPECT_DOUBLE_EQ(value->dbl, expected.dbl) << where;
            break;
        default:
            EXPECT_EQ(value->kind, QELSQL_VALUE_LONG) << where;
            EXPECT_EQ(value->lng, expected.lng) << where;
            break;
    }
}

TEST(WhereParser, OneCondition) {
    struct Case {
        const char* text;
        int field;
        int op;
        int negated;
        Expected v1;
        Expected v2;
        int connector;  // -1: left alone
        const char* rest;
    };
    const std::string slot = "WHERE F3 BETWEEN 1 AND 2" + std::string(51, ' ') + " AND  ( F1 = 'x' ) ";
    const Case cases[] = {
        {"WHERE ( F1 = 'ABC' ) AND ( F2 > 5 )", 0, 2, 0, Text("ABC"), {}, 0, "( F2 > 5 )"},
        {"F1 NOT LIKE 'A%'", 0, 5, 1, Text("A%"), {}, -1, ""},
        {"F1 <> 'X'", 0, 2, 1, Text("X"), {}, -1, ""},
        {"F1 NOT <> 'X'", 0, 2, 0, Text("X"), {}, -1, ""},
        {"F1 LIKE '%'", 0, 12, 0, Text("%"), {}, -1, ""},
        {"F1 LIKE '*'", 0, 12, 0, Text("*"), {}, -1, ""},
        {"F1 NOT LIKE '%'", 0, 12, 1, Text("%"), {}, -1, ""},
        {"F1 LIKE '%%'", 0, 5, 0, Text("%%"), {}, -1, ""},
        {"F3 BETWEEN 10 AND 20", 2, 6, 0, Lng(10), Lng(20), -1, ""},
        {"F3 NOT BETWEEN -5 AND 5 OR F1 = 'a'", 2, 6, 1, Lng(-5), Lng(5), 1, "F1 = 'a'"},
        {"F5 BETWEEN 1.25 AND 2", 4, 6, 0, Dbl(1.25), Dbl(2), -1, ""},
        {"F4 IN ( 'A' , 'B' )", 3, 11, 0, Text("'A' , 'B'"), {}, -1, ""},
        {"F4 NOT IN ( 'a)' , 'O''B' ) AND F2 = 1", 3, 11, 1, Text("'a)' , 'O''B'"), {}, 0, "F2 = 1"},
        {"F2 IN ( 1 , -2 )", 1, 11, 0, Text("1 , -2"), {}, -1, ""},
        {"F4 IN ( )", 3, 11, 0, Text(""), {}, -1, ""},
        {"F4 IN ()", 3, 11, 0, Text(""), {}, -1, ""},
        {"F1 = 'New York'", 0, 2, 0, Text("New York"), {}, -1, ""},
        {"F5 >= 2.50 AND F1 = 'x'", 4, 10, 0, Dbl(2.5), {}, 0, "F1 = 'x'"},
        {"F1 = 'O''Brien' )", 0, 2, 0, Text("O'Brien"), {}, -1, ""},
        {"F1 = ''''", 0, 2, 0, Text("'"), {}, -1, ""},
        {"F1 = ''", 0, 2, 0, Text(""), {}, -1, ""},
        {"F1 = 'A AND B' OR F2 = 1", 0, 2, 0, Text("A AND B"), {}, 1, "F2 = 1"},
        {"F1 = 'x)' ) ) AND ( F2 < 3 )", 0, 2, 0, Text("x)"), {}, 0, "( F2 < 3 )"},
        {"where f2 <= -7", 1, 8, 0, Lng(-7), {}, -1, ""},
        {"( ( F6 > +3 ) OR F1 = 'z'", 5, 9, 0, Lng(3), {}, 1, "F1 = 'z'"},
        {"( F2 > 5) AND F1 = 'x'", 1, 9, 0, Lng(5), {}, 0, "F1 = 'x'"},
        {"\tF1\n=\t'a b'\n", 0, 2, 0, Text("a b"), {}, -1, ""},
        {"F9 = 'x'", -1, 2, 0, Text("x"), {}, -1, ""},
        {"abcdefghijklmnopqrs = 'long name'", 6, 2, 0, Text("long name"), {}, -1, ""},
        {"F2 LIKE '1%'", 1, 5, 0, Text("1%"), {}, -1, ""},
        {"F2 = '12'", 1, 2, 0, Lng(12), {}, -1, ""},
        {"F1 = abc AND F2 = 1", 0, 2, 0, Text("abc"), {}, 0, "F2 = 1"},
        {slot.c_str(), 2, 6, 0, Lng(1), Lng(2), 0, "( F1 = 'x' ) "},
    };
    Fields fields;
    for (const Case& c : cases) {
        const char* cursor = c.text;
        int connector = -1;
        auto condition = QelSql_ParseCondition(&cursor, &connector, fields.kinds, fields.names);
        ASSERT_NE(condition, nullptr) << c.text;
        EXPECT_EQ(condition->field, c.field) << c.text;
        EXPECT_EQ(condition->op, c.op) << c.text;
        EXPECT_EQ(condition->negated, c.negated) << c.text;
        EXPECT_EQ(condition->strategy, 0) << c.text;
        ExpectValue(condition->value1, c.v1, std::string(c.text) + " (value 1)");
        ExpectValue(condition->value2, c.v2, std::string(c.text) + " (value 2)");
        EXPECT_EQ(connector, c.connector) << c.text;
        EXPECT_STREQ(cursor, c.rest) << c.text;
    }
}

TEST(WhereParser, FieldsByNumberWithoutNames) {
    struct Case {
        const char* text;
        int field;
    };
    const Case cases[] = {{"1 = 5", 1},   {"31 = 'x'", 31}, {"32 = 1", -1},
                          {"-1 = 1", -1}, {"F1 = 1", -1},   {"007 = 1", 7}};
    Fields fields;
    for (const Case& c : cases) {
        const char* cursor = c.text;
        auto condition = QelSql_ParseCondition(&cursor, nullptr, fields.kinds, nullptr);
        ASSERT_NE(condition, nullptr) << c.text;
        EXPECT_EQ(condition->field, c.field) << c.text;
    }
    // A field's kind comes from the kind table; without one every field is text.
    const char* text = "1 = 5";
    auto withKinds = QelSql_ParseCondition(&text, nullptr, fields.kinds, nullptr);
    ASSERT_NE(withKinds, nullptr);
    EXPECT_EQ(withKinds->value1->kind, QELSQL_VALUE_LONG);
    text = "1 = 5";
    auto withoutKinds = QelSql_ParseCondition(&text, nullptr, nullptr, nullptr);
    ASSERT_NE(withoutKinds, nullptr);
    EXPECT_EQ(withoutKinds->value1->kind, QELSQL_VALUE_TEXT);
    EXPECT_EQ(withoutKinds->value1->text, "5");
}

TEST(WhereParser, WalksEveryCondition) {
    struct Case {
        const char* text;
        std::vector<std::vector<int>> conditions;  // field, op, negated, connector
    };
    const Case cases[] = {
        {"WHERE ( F1 = 'ABC' ) AND ( F2 > 5 )", {{0, 2, 0, 0}, {1, 9, 0, -1}}},
        {"WHERE                ( F1 = 'a' OR F2 <> 1 OR F4 IN ( 'x' ) ) ",
         {{0, 2, 0, 1}, {1, 2, 1, 1}, {3, 11, 0, -1}}},
        {"WHERE  ( ( F3 <= 5 AND F2 >= 5 ) AND F1 NOT LIKE 'a%' )  AND  ( F6 = 2 ) ",
         {{2, 8, 0, 0}, {1, 10, 0, 0}, {0, 5, 1, 0}, {5, 2, 0, -1}}},
    };
    Fields fields;
    for (const Case& c : cases) {
        const char* cursor = c.text;
        std::vector<std::vector<int>> seen;
        while (true) {
            int connector = -1;
            auto condition = QelSql_ParseCondition(&cursor, &connector, fields.kinds, fields.names);
            if (!condition) break;
            seen.push_back({condition->field, condition->op, condition->negated, connector});
        }
        EXPECT_EQ(seen, c.conditions) << c.text;
        EXPECT_STREQ(cursor, "") << c.text;
    }
}

TEST(WhereParser, EmptyClauseGivesNothing) {
    const char* texts[] = {"", "   ", "WHERE", "where \n\t ", "WHERE   "};
    Fields fields;
    for (const char* text : texts) {
        const char* cursor = text;
        int connector = 7;
        EXPECT_EQ(QelSql_ParseCondition(&cursor, &connector, fields.kinds, fields.names), nullptr) << text;
        EXPECT_STREQ(cursor, "") << "'" << text << "'";
        EXPECT_EQ(connector, 7) << text;
    }
    const char* none = nullptr;
    EXPECT_EQ(QelSql_ParseCondition(&none, nullptr, fields.kinds, fields.names), nullptr);
    EXPECT_EQ(QelSql_ParseCondition(nullptr, nullptr, fields.kinds, fields.names), nullptr);
}

TEST(WhereParser, MalformedClauseGivesNoConditionAndKeepsTheCursor) {
    const char* texts[] = {
        "WHERE (",           // an opening parenthesis and nothing more
        "F1",                // no operator
        "F1 =",              // no value
        "F1 = 'abc",         // no closing quote
        "F1 = 'abc'' ",      // a doubled quote is no closing quote
        "F1 FOO 'x'",        // unknown operator
        "F1 like 'x'",       // operators are upper case
        "F1 NOT NOT = 'x'",  // NOT twice
        "F1 NOT",            // NOT and nothing
        "(F1 = 'x'",         // a parenthesis glued to the name takes it along
        "F3 BETWEEN 10",     // truncated range
        "F3 BETWEEN 10 AN",
        "F3 BETWEEN 10 AND",
        "F3 BETWEEN 10 OR 20",
        "F3 BETWEEN 10 ANDY 20",
        "F4 IN ( 'A' , 'B'",  // no closing parenthesis
        "F4 IN ( 'A) ",
        "F4 IN ( 'A' 'B' )",  // no comma
        "F4 IN ( 'A' , )",
        "F2 IN ( 1 , x )",
        "F2 > abc",          // not a number
        "F2 > 5.5",          // not a whole number
        "F2 > 99999999999",  // out of range
        "F5 > 1e999",
        "F5 = nan",
        "F5 = 0x10",
        "F1 = 'x' A",  // truncated connector
        "F1 = 'x' AN",
        "F1 = 'x' O",
        "F1 = 'x' AND",  // a connector with nothing behind it
        "F1 = 'x' OR   ",
        "F1 = 'x' and F2 = 1",  // connectors are upper case
        "F1 = 'x' F2 = 1",      // no connector
        "F1 = 'x' ANDF2 = 1",
    };
    Fields fields;
    for (const char* text : texts) {
        const char* cursor = text;
        int connector = 7;
        EXPECT_EQ(QelSql_ParseCondition(&cursor, &connector, fields.kinds, fields.names), nullptr) << text;
        EXPECT_EQ(cursor, text) << text;
        EXPECT_EQ(connector, 7) << text;
    }
}

// Every prefix of a clause, in a buffer of its exact size: no read past the
// end, and what parses agrees with the whole clause's conditions.
TEST(WhereParser, TruncatedAtEveryOffset) {
    const std::string clause =
        "WHERE F3 BETWEEN 100 AND 200   AND  ( F1 = 'O''Brien' OR F4 NOT IN ( 'a' , 'b)' ) OR "
        "F5 >= -2.75 OR F2 NOT LIKE '1%' OR F6 <> 4 ) ";
    Fields fields;
    auto parseAll = [&](const char* text, const char** end) {
        std::vector<std::unique_ptr<QelSql_Condition>> all;
        const char* cursor = text;
        while (auto condition = QelSql_ParseCondition(&cursor, nullptr, fields.kinds, fields.names)) {
            all.push_back(std::move(condition));
        }
        *end = cursor;
        return all;
    };
    const char* fullEnd = nullptr;
    const auto full = parseAll(clause.c_str(), &fullEnd);
    ASSERT_EQ(full.size(), 6u);
    EXPECT_EQ(*fullEnd, '\0');

    for (size_t length = 0; length <= clause.size(); ++length) {
        std::vector<char> buffer(clause.begin(), clause.begin() + length);
        buffer.push_back('\0');
        const char* end = nullptr;
        const auto some = parseAll(buffer.data(), &end);
        ASSERT_GE(end, buffer.data()) << length;
        ASSERT_LE(end, buffer.data() + length) << length;
        ASSERT_LE(some.size(), full.size()) << length;
        for (size_t i = 0; i < some.size(); ++i) {
            EXPECT_EQ(some[i]->field, full[i]->field) << "length " << length << " condition " << i;
            EXPECT_EQ(some[i]->op, full[i]->op) << "length " << length << " condition " << i;
            EXPECT_EQ(some[i]->negated, full[i]->negated) << "length " << length << " condition " << i;
        }
    }
}

TEST(WhereParser, OperatorCodes) {
    struct Case {
        const char* word;
        int code;
    };
    const Case cases[] = {{"=", 2},     {"<>", 3}, {"NOT", 4}, {"LIKE", 5}, {"BETWEEN", 6},
                          {"<", 7},     {"<=", 8}, {">", 9},   {">=", 10},  {"IN", 11},
                          {"like", 13}, {"", 13},  {"==", 13}, {"!=", 13},  {"IN(", 13}};
    for (const Case& c : cases) EXPECT_EQ(QelSql_OperatorCode(c.word), c.code) << c.word;
    EXPECT_EQ(QelSql_OperatorCode(nullptr), 13);
}

TEST(WhereParser, SplitList) {
    struct Case {
        const char* list;
        int kind;
        int result;
        std::vector<std::string> values;  // text, or numbers as printed by std::to_string
    };
    const Case cases[] = {
        {"'A' , 'B'", QELSQL_FIELD_TEXT, 0, {"A", "B"}},
        {"'O''B' , ')' , ''", QELSQL_FIELD_TEXT, 0, {"O'B", ")", ""}},
        {"'a,b'", QELSQL_FIELD_TEXT, 0, {"a,b"}},
        {"abc,def", QELSQL_FIELD_TEXT, 0, {"abc", "def"}},
        {"", QELSQL_FIELD_TEXT, 0, {}},
        {"   ", QELSQL_FIELD_LONG, 0, {}},
        {"1 , -2", QELSQL_FIELD_LONG, 0, {"1", "-2"}},
        {"'7' , 8", QELSQL_FIELD_SHORT, 0, {"7", "8"}},
        {"1.5,2", QELSQL_FIELD_DOUBLE, 0, {"1.500000", "2.000000"}},
        {"1 ,, 2", QELSQL_FIELD_LONG, -1, {}},
        {"1 ,", QELSQL_FIELD_LONG, -1, {}},
        {", 1", QELSQL_FIELD_LONG, -1, {}},
        {"'a", QELSQL_FIELD_TEXT, -1, {}},
        {"'a' 'b'", QELSQL_FIELD_TEXT, -1, {}},
        {"1.5", QELSQL_FIELD_LONG, -1, {}},
        {"x", QELSQL_FIELD_DOUBLE, -1, {}},
    };
    for (const Case& c : cases) {
        std::vector<QelSql_Value> values{QelSql_Value{}};
        EXPECT_EQ(QelSql_SplitList(c.list, c.kind, &values), c.result) << c.list;
        std::vector<std::string> printed;
        for (const QelSql_Value& v : values) {
            printed.push_back(v.kind == QELSQL_VALUE_TEXT     ? v.text
                              : v.kind == QELSQL_VALUE_DOUBLE ? std::to_string(v.dbl)
                                                              : std::to_string(v.lng));
        }
        EXPECT_EQ(printed, c.values) << c.list;
    }
    EXPECT_EQ(QelSql_SplitList("'a'", QELSQL_FIELD_TEXT, nullptr), -1);
}

}  // namespace
