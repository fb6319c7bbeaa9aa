// Fuzzes the whole-clause reader: every tree it gives is well formed, and the
// tree written back as text reads back as the same tree.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "qel_local.h"

namespace {

using Names = const char (*)[QELSQL_NAME_SIZE];

void Check(bool ok) {
    if (!ok) std::abort();
}

// Depth: the NOTs above a node, which the reader bounds as it bounds parentheses.
void CheckNode(const QelSql_Node& node, QelSql_Node::Kind parent, int depth) {
    Check(depth <= QELSQL_MAX_DEPTH);
    switch (node.kind) {
        case QelSql_Node::CONDITION:
            Check(node.condition != nullptr && node.children.empty());
            Check(node.condition->field >= 0 && node.condition->field < QELSQL_MAX_FIELDS);
            Check(node.condition->value1.has_value());
            Check(node.condition->value2.has_value() == (node.condition->op == QELSQL_OP_BETWEEN));
            Check(node.condition->op != QELSQL_OP_NE && node.condition->op != QELSQL_OP_NOT &&
                  node.condition->op != QELSQL_OP_OTHER);
            return;
        case QelSql_Node::NOT:
            Check(node.condition == nullptr && node.children.size() == 1);
            CheckNode(node.children[0], node.kind, depth + 1);
            return;
        case QelSql_Node::AND:
        case QelSql_Node::OR:
            Check(node.condition == nullptr && node.children.size() >= 2 && node.kind != parent);
            for (const QelSql_Node& child : node.children) CheckNode(child, node.kind, depth);
            return;
    }
    std::abort();
}

std::string Quote(const std::string& text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("''") : std::string(1, c);
    return out + "'";
}

std::string Value(const QelSql_Value& value) {
    char buffer[64];
    switch (value.kind) {
        case QELSQL_VALUE_TEXT: return Quote(value.text);
        case QELSQL_VALUE_DOUBLE: std::snprintf(buffer, sizeof buffer, "%.17g", value.dbl); return buffer;
        default: return std::to_string(value.lng);
    }
}

std::string Field(int field, Names names) {
    if (names == nullptr) return std::to_string(field);
    return std::string(names[field], strnlen(names[field], QELSQL_NAME_SIZE));
}

std::string Condition(const QelSql_Condition& c, Names names) {
    static const char* const kWords[] = {"",  "",   "=", "<>", "NOT", "LIKE", "BETWEEN",
                                         "<", "<=", ">", ">=", "IN",  "LIKE"};
    std::string out = Field(c.field, names) + (c.negated ? " NOT " : " ") + kWords[c.op] + " ";
    if (c.op == QELSQL_OP_IN) return out + "( " + c.value1->text + " )";
    out += Value(*c.value1);
    if (c.op == QELSQL_OP_BETWEEN) out += " AND " + Value(*c.value2);
    return out;
}

// Parentheses only where precedence needs them, so that the text nests no deeper
// than the one it was read from.
std::string Write(const QelSql_Node& node, Names names) {
    switch (node.kind) {
        case QelSql_Node::CONDITION: return Condition(*node.condition, names);
        case QelSql_Node::NOT: {
            const QelSql_Node& child = node.children[0];
            const bool group = child.kind == QelSql_Node::AND || child.kind == QelSql_Node::OR;
            return group ? "NOT ( " + Write(child, names) + " )" : "NOT " + Write(child, names);
        }
        default: {
            std::string out;
            const char* joint = node.kind == QelSql_Node::AND ? " AND " : " OR ";
            for (size_t i = 0; i < node.children.size(); ++i) {
                const QelSql_Node& child = node.children[i];
                const bool group = node.kind == QelSql_Node::AND && child.kind == QelSql_Node::OR;
                if (i > 0) out += joint;
                out += group ? "( " + Write(child, names) + " )" : Write(child, names);
            }
            return out;
        }
    }
}

void ReadAndWriteBack(const char* text, const int* kinds, Names names) {
    std::unique_ptr<QelSql_Node> root;
    const int result = QelSql_ParseClause(text, kinds, names, &root);
    Check(result == 0 || result == -1);
    if (result != 0 || !root) return;
    CheckNode(*root, QelSql_Node::CONDITION, 0);
    const std::string written = Write(*root, names);
    std::unique_ptr<QelSql_Node> again;
    Check(QelSql_ParseClause(written.c_str(), kinds, names, &again) == 0 && again != nullptr);
    Check(Write(*again, names) == written);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 8192) return 0;
    static const int kinds[QELSQL_MAX_FIELDS] = {0, 1, 2, 3, 0, 1, 2, 3};
    static const char names[QELSQL_MAX_FIELDS][QELSQL_NAME_SIZE] = {"F1",   "F2",     "F3",  "F4",
                                                                    "NAME", "AMOUNT", "CNT", "SMALL"};
    // The text in a buffer of its exact size, so that a read past its end shows.
    std::vector<char> text(reinterpret_cast<const char*>(data), reinterpret_cast<const char*>(data) + size);
    text.push_back('\0');
    ReadAndWriteBack(text.data(), kinds, names);
    ReadAndWriteBack(text.data(), kinds, nullptr);
    ReadAndWriteBack(text.data(), nullptr, nullptr);
    return 0;
}
