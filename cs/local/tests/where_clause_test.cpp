#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "qel_local.h"

namespace {

// F1 text, F2 and F3 long, F4 text, F5 double, F6 short.
struct Fields {
    int kinds[QELSQL_MAX_FIELDS] = {QELSQL_FIELD_TEXT, QELSQL_FIELD_LONG,   QELSQL_FIELD_LONG,
                                    QELSQL_FIELD_TEXT, QELSQL_FIELD_DOUBLE, QELSQL_FIELD_SHORT};
    char names[QELSQL_MAX_FIELDS][QELSQL_NAME_SIZE] = {};
    Fields() {
        const char* given[] = {"F1", "F2", "F3", "F4", "F5", "F6"};
        for (int i = 0; i < 6; ++i) std::strcpy(names[i], given[i]);
    }
};

// A condition as "field.op", "~" in front when negated; AND, OR and NOT nodes
// with their children in parentheses.
std::string Shape(const QelSql_Node& node) {
    if (node.kind == QelSql_Node::CONDITION) {
        if (!node.condition) return "<none>";
        return std::string(node.condition->negated ? "~" : "") + std::to_string(node.condition->field) + "." +
               std::to_string(node.condition->op);
    }
    std::string out = node.kind == QelSql_Node::AND ? "AND(" : node.kind == QelSql_Node::OR ? "OR(" : "NOT(";
    for (size_t i = 0; i < node.children.size(); ++i) out += (i ? "," : "") + Shape(node.children[i]);
    return out + ")";
}

void Leaves(const QelSql_Node& node, std::vector<const QelSql_Condition*>* out) {
    if (node.kind == QelSql_Node::CONDITION) {
        out->push_back(node.condition.get());
        return;
    }
    for (const QelSql_Node& child : node.children) Leaves(child, out);
}

std::string Padded(const std::string& text, size_t width) {
    return text + std::string(width - text.size(), ' ');
}

// What the client library writes: the 80-blank slot, or a range padded to 75
// places and joined by AND, then the groups of the search.
const std::string kBlankSlot = "WHERE " + std::string(80, ' ');
const std::string kRangeSlot = "WHERE " + Padded("F3 BETWEEN 1 AND 9", 75) + " AND ";

TEST(WhereClause, TreeShapes) {
    struct Case {
        std::string text;
        const char* shape;
    };
    const Case cases[] = {
        {"F1 = 'a'", "0.2"},
        {"F1 = 'a' AND F2 > 1 OR F3 < 2", "OR(AND(0.2,1.9),2.7)"},
        {"F1 = 'a' OR F2 > 1 AND F3 < 2", "OR(0.2,AND(1.9,2.7))"},
        {"( F1 = 'a' OR F2 > 1 ) AND F3 < 2", "AND(OR(0.2,1.9),2.7)"},
        {"F1 = 'a' AND ( F2 > 1 AND F3 < 2 )", "AND(0.2,1.9,2.7)"},
        {"( F2 = 1 OR F2 = 2 ) OR ( F2 = 3 OR ( F2 = 4 ) )", "OR(1.2,1.2,1.2,1.2)"},
        {"F2 = 1 AND F2 = 2 AND F2 = 3 OR F2 = 4 OR F2 = 5", "OR(AND(1.2,1.2,1.2),1.2,1.2)"},
        {"( ( F1 = 'a' ) )", "0.2"},
        {"NOT F1 = 'a'", "NOT(0.2)"},
        {"NOT F1 = 'a' AND F2 = 1", "AND(NOT(0.2),1.2)"},
        {"NOT ( F1 = 'a' OR F2 = 1 )", "NOT(OR(0.2,1.2))"},
        {"NOT NOT F1 = 'a'", "NOT(NOT(0.2))"},
        {"NOT ( F2 = 1 AND F2 = 2 ) AND F2 = 3", "AND(NOT(AND(1.2,1.2)),1.2)"},
        {"F1 NOT IN ( 'a' , 'b' ) OR NOT F4 IN ( 'c' )", "OR(~0.11,NOT(3.11))"},
        {"F3 BETWEEN 1 AND 5 AND F2 = 1", "AND(2.6,1.2)"},
        {"F3 NOT BETWEEN 1 AND 5 OR F2 = 1", "OR(~2.6,1.2)"},
        {"F1 <> 'x' OR F1 NOT <> 'y'", "OR(~0.2,0.2)"},
        {"F2 IN (1,2) AND F1 LIKE '%'", "AND(1.11,0.12)"},
        {"F1 = 'a AND b' OR F1 = 'c) OR (d'", "OR(0.2,0.2)"},
        {"F1 = 'x'AND F2 = 1", "AND(0.2,1.2)"},
        {"(F1 = 'a' OR F2 = 1)AND(F3 < 2)", "AND(OR(0.2,1.2),2.7)"},
        {"NOT(F2 = 1)", "NOT(1.2)"},
        {"\tF1\n=\t'a'\nOR\nF2 = 1\r\n", "OR(0.2,1.2)"},
        {"where F1 = 'a'", "0.2"},
        {"WHERE(F1 = 'a')", "0.2"},
        {"f5 >= -2.5 AND F6 <= 3", "AND(4.10,5.8)"},
        {kBlankSlot + " ( F1 = 'O''Brien' AND F2 > 5 OR F4 NOT IN ( 'A' , 'B' ) ) ",
         "OR(AND(0.2,1.9),~3.11)"},
        {kRangeSlot + " ( F1 = 'x' OR F2 = 1 ) " + " AND  ( F4 LIKE 'AB%' AND F6 >= 3 ) ",
         "AND(2.6,OR(0.2,1.2),3.5,5.10)"},
        {"WHERE " + Padded("F3 BETWEEN 1 AND 9", 75), "2.6"},
    };
    Fields fields;
    for (const Case& c : cases) {
        std::unique_ptr<QelSql_Node> root;
        ASSERT_EQ(QelSql_ParseClause(c.text.c_str(), fields.kinds, fields.names, &root), 0) << c.text;
        ASSERT_NE(root, nullptr) << c.text;
        EXPECT_EQ(Shape(*root), c.shape) << c.text;
    }
}

// The leaves of the tree are the conditions that the one-at-a-time reader
// walks, values included.
TEST(WhereClause, LeavesAreTheConditionsReadOneByOne) {
    const std::string texts[] = {
        kBlankSlot + " ( F1 = 'O''Brien' AND F2 > 5 OR F4 NOT IN ( 'A' , 'O''B)' ) ) ",
        kRangeSlot + " ( F1 = 'x' OR F5 BETWEEN 1.5 AND 2 ) " + " AND  ( F4 LIKE 'AB%' AND F6 >= 3 ) ",
        "F1 = 'New York' AND F4 LIKE '*' OR F3 <> -7",
    };
    Fields fields;
    for (const std::string& text : texts) {
        std::unique_ptr<QelSql_Node> root;
        ASSERT_EQ(QelSql_ParseClause(text.c_str(), fields.kinds, fields.names, &root), 0) << text;
        std::vector<const QelSql_Condition*> leaves;
        Leaves(*root, &leaves);
        const char* cursor = text.c_str();
        size_t i = 0;
        while (auto one = QelSql_ParseCondition(&cursor, nullptr, fields.kinds, fields.names)) {
            ASSERT_LT(i, leaves.size()) << text;
            const QelSql_Condition& leaf = *leaves[i++];
            EXPECT_EQ(leaf.field, one->field) << text << " #" << i;
            EXPECT_EQ(leaf.op, one->op) << text << " #" << i;
            EXPECT_EQ(leaf.negated, one->negated) << text << " #" << i;
            ASSERT_TRUE(leaf.value1 && one->value1) << text << " #" << i;
            EXPECT_EQ(leaf.value1->kind, one->value1->kind) << text << " #" << i;
            EXPECT_EQ(leaf.value1->text, one->value1->text) << text << " #" << i;
            EXPECT_EQ(leaf.value1->dbl, one->value1->dbl) << text << " #" << i;
            EXPECT_EQ(leaf.value1->lng, one->value1->lng) << text << " #" << i;
            EXPECT_EQ(leaf.value2.has_value(), one->value2.has_value()) << text << " #" << i;
        }
        EXPECT_EQ(*cursor, '\0') << text;
        EXPECT_EQ(i, leaves.size()) << text;
    }
    std::unique_ptr<QelSql_Node> root;
    ASSERT_EQ(QelSql_ParseClause(texts[0].c_str(), fields.kinds, fields.names, &root), 0);
    EXPECT_EQ(root->children[0].children[0].condition->value1->text, "O'Brien");
    EXPECT_EQ(root->children[1].condition->value1->text, "'A' , 'O''B)'");
}

TEST(WhereClause, EmptyClauseIsEveryRow) {
    const char* texts[] = {"", "   ", "WHERE", "where \n\t ", nullptr};
    Fields fields;
    for (const char* text : texts) {
        auto root = std::make_unique<QelSql_Node>();
        EXPECT_EQ(QelSql_ParseClause(text, fields.kinds, fields.names, &root), 0) << (text ? text : "null");
        EXPECT_EQ(root, nullptr) << (text ? text : "null");
    }
    EXPECT_EQ(QelSql_ParseClause("F1 = 'a'", fields.kinds, fields.names, nullptr), -1);
}

std::string Nested(const std::string& open, int times, const std::string& inner, const std::string& close) {
    std::string out;
    for (int i = 0; i < times; ++i) out += open;
    out += inner;
    for (int i = 0; i < times; ++i) out += close;
    return out;
}

TEST(WhereClause, Errors) {
    const std::string cases[] = {
        "WHERE (",
        "( F1 = 'a'",
        "F1 = 'a' )",
        "( F1 = 'a' ) )",
        "( )",
        "F1 = 'a' AND",
        "F1 = 'a' OR OR F2 = 1",
        "AND F1 = 'a'",
        "NOT",
        "NOT ( )",
        "F1 = 'a' NOT F2 = 1",
        "F1 = 'a' F2 = 1",
        "F1 = 'a' ( F2 = 1 )",
        "F9 = 'x'",            // a field not in the tables
        "F1 = 'a' OR F9 = 1",  // also behind a connector
        "not F1 = 'a'",        // NOT and the connectors are upper case
        "F1 = 'x' and F2 = 1",
        "F1 = 'x' ANDF2 = 1",
        "F1 NOT NOT = 'x'",
        "F2 > 5.5",
        "F1 = 'abc",
        "F3 BETWEEN 1 AND",
        "F3 BETWEEN 1 OR 2",
        "F4 IN ( 'a'",
        "( F1 = abc)",  // an unquoted text runs to the next blank
        "WHERE WHERE F1 = 'a'",
        Nested("( ", QELSQL_MAX_DEPTH + 1, "F2 = 1", " )"),
        Nested("NOT ", QELSQL_MAX_DEPTH + 1, "F2 = 1", ""),
        Nested("NOT ( ", QELSQL_MAX_DEPTH / 2, "NOT F2 = 1", " )"),
    };
    Fields fields;
    for (const std::string& text : cases) {
        auto root = std::make_unique<QelSql_Node>();
        EXPECT_EQ(QelSql_ParseClause(text.c_str(), fields.kinds, fields.names, &root), -1) << text;
        EXPECT_EQ(root, nullptr) << text;
    }
    // Without a name table a field is its number; a name gives field -1.
    std::unique_ptr<QelSql_Node> root;
    EXPECT_EQ(QelSql_ParseClause("1 = 5 OR 31 = 'x'", fields.kinds, nullptr, &root), 0);
    EXPECT_EQ(QelSql_ParseClause("1 = 5 OR F1 = 'x'", fields.kinds, nullptr, &root), -1);
}

TEST(WhereClause, DeepestNesting) {
    const std::string cases[] = {
        Nested("( ", QELSQL_MAX_DEPTH, "F2 = 1", " )"),
        Nested("(", QELSQL_MAX_DEPTH, "F2 = 1", ")"),
        Nested("NOT ", QELSQL_MAX_DEPTH, "F2 = 1", ""),
        Nested("NOT ( ", QELSQL_MAX_DEPTH / 2, "F2 = 1", " )"),
    };
    Fields fields;
    for (const std::string& text : cases) {
        std::unique_ptr<QelSql_Node> root;
        EXPECT_EQ(QelSql_ParseClause(text.c_str(), fields.kinds, fields.names, &root), 0) << text;
        EXPECT_NE(root, nullptr) << text;
    }
}

// Texts of some 40,000 characters built to make a careless reader recurse
// without end, backtrack or rescan: each must be answered at once.
TEST(WhereClause, HostileTexts) {
    auto repeat = [](const std::string& piece, size_t times) {
        std::string out;
        for (size_t i = 0; i < times; ++i) out += piece;
        return out;
    };
    struct Case {
        std::string text;
        int result;
        const char* shapeStart;  // the start of the tree's shape when it parses
    };
    const Case cases[] = {
        {repeat("(", 20000), -1, ""},
        {repeat("( ", 20000), -1, ""},
        {repeat("NOT ", 10000) + "F2 = 1", -1, ""},
        {repeat("NOT ( ", 6000), -1, ""},
        {repeat(")", 20000), -1, ""},
        {"F1 = '" + repeat("x AND ", 6000), -1, ""},
        {"F4 IN ( " + repeat("'a' , ", 6000), -1, ""},
        {repeat("F2 = 1 AND ", 3600) + "F2 = 1", 0, "AND(1.2,1.2,"},
        {repeat("( F2 = 1 ) OR ", 2800) + "F2 = 1", 0, "OR(1.2,1.2,"},
        {repeat("F2 = 1 AND NOT F3 = 1 OR ", 1600) + "F2 = 1", 0, "OR(AND(1.2,NOT(2.2)),"},
        {repeat("F2 = 1 AND ", 3600) + "F2 =", -1, ""},
        {Nested("( F2 = 1 OR ", 60, "F2 = 1", " )") + repeat(" AND F2 = 1", 3000), 0, "AND(OR(1.2,"},
    };
    Fields fields;
    const auto start = std::chrono::steady_clock::now();
    for (const Case& c : cases) {
        std::unique_ptr<QelSql_Node> root;
        ASSERT_EQ(QelSql_ParseClause(c.text.c_str(), fields.kinds, fields.names, &root), c.result)
            << c.text.substr(0, 60);
        if (c.result == 0) {
            EXPECT_EQ(Shape(*root).rfind(c.shapeStart, 0), 0u) << c.text.substr(0, 60);
        }
    }
    // Linear reading takes milliseconds; rescanning from every word would take seconds.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

}  // namespace
