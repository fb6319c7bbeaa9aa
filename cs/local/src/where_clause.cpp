// Reads a whole WHERE text into a tree: OR over AND over NOT, parentheses and
// conditions, with nested ANDs and ORs merged into one node.
#include <string_view>
#include <utility>

#include "qel_local.h"
#include "sql_text.h"
#include "where_read.h"

using namespace qel::local::detail;

namespace {

class ClauseReader {
public:
    ClauseReader(std::string_view text, size_t pos, const FieldTables& tables)
        : text_(text), pos_(pos), tables_(tables) {}

    // expr := term {OR term}
    std::optional<QelSql_Node> Expression(int depth) {
        return Chain(depth, "OR", QelSql_Node::OR, &ClauseReader::Term);
    }

    // Blanks only up to the end.
    bool AtEnd() {
        pos_ = SkipBlanks(text_, pos_);
        return pos_ == text_.size();
    }

private:
    // term := factor {AND factor}
    std::optional<QelSql_Node> Term(int depth) {
        return Chain(depth, "AND", QelSql_Node::AND, &ClauseReader::Factor);
    }

    std::optional<QelSql_Node> Chain(int depth, std::string_view connector, QelSql_Node::Kind kind,
                                     std::optional<QelSql_Node> (ClauseReader::*part)(int)) {
        std::optional<QelSql_Node> first = (this->*part)(depth);
        if (!first) return std::nullopt;
        pos_ = SkipBlanks(text_, pos_);
        if (!WordHere(connector)) return first;
        QelSql_Node joined;
        joined.kind = kind;
        Append(&joined, std::move(*first));
        while (WordHere(connector)) {
            pos_ += connector.size();
            std::optional<QelSql_Node> next = (this->*part)(depth);
            if (!next) return std::nullopt;
            Append(&joined, std::move(*next));
            pos_ = SkipBlanks(text_, pos_);
        }
        return joined;
    }

    // factor := NOT factor | "(" expr ")" | condition
    std::optional<QelSql_Node> Factor(int depth) {
        pos_ = SkipBlanks(text_, pos_);
        if (pos_ == text_.size()) return std::nullopt;  // a connector, NOT or "(" with nothing behind it
        if (text_[pos_] == '(') {
            if (depth >= QELSQL_MAX_DEPTH) return std::nullopt;
            ++pos_;
            std::optional<QelSql_Node> inner = Expression(depth + 1);
            if (!inner) return std::nullopt;
            pos_ = SkipBlanks(text_, pos_);
            if (pos_ == text_.size() || text_[pos_] != ')') return std::nullopt;
            ++pos_;
            return inner;
        }
        if (WordHere("NOT")) {
            if (depth >= QELSQL_MAX_DEPTH) return std::nullopt;
            pos_ += 3;
            std::optional<QelSql_Node> inner = Factor(depth + 1);
            if (!inner) return std::nullopt;
            QelSql_Node negation;
            negation.kind = QelSql_Node::NOT;
            negation.children.push_back(std::move(*inner));
            return negation;
        }
        std::optional<ReadCondition> read = ReadConditionAt(text_, pos_, tables_);
        // The index cannot test a field it does not know, so neither can the clause.
        if (!read || read->condition->field < 0) return std::nullopt;
        pos_ = read->end;
        QelSql_Node leaf;
        leaf.condition = std::move(read->condition);
        return leaf;
    }

    // A connector or NOT: upper case, ending at a blank, "(" or the end.
    bool WordHere(std::string_view word) const {
        if (text_.substr(pos_, word.size()) != word) return false;
        const size_t after = pos_ + word.size();
        return after == text_.size() || IsBlank(text_[after]) || text_[after] == '(';
    }

    // A child of the same kind is merged: "a AND (b AND c)" is one AND of three.
    static void Append(QelSql_Node* parent, QelSql_Node child) {
        if (child.kind != parent->kind) {
            parent->children.push_back(std::move(child));
            return;
        }
        for (QelSql_Node& grandchild : child.children) parent->children.push_back(std::move(grandchild));
    }

    std::string_view text_;
    size_t pos_;
    FieldTables tables_;
};

}  // namespace

int QelSql_ParseClause(const char* text, const int* fieldKinds, const char (*fieldNames)[QELSQL_NAME_SIZE],
                       std::unique_ptr<QelSql_Node>* root) {
    if (root == nullptr) return -1;
    root->reset();
    if (text == nullptr) return 0;
    const std::string_view clause(text);
    size_t pos = SkipBlanks(clause, 0);
    if (EqualsIgnoringCase(clause.substr(pos, 5), "WHERE") &&
        (pos + 5 == clause.size() || IsBlank(clause[pos + 5]) || clause[pos + 5] == '(')) {
        pos += 5;
    }
    ClauseReader reader(clause, pos, FieldTables{fieldKinds, fieldNames});
    if (reader.AtEnd()) return 0;  // no condition: every row
    std::optional<QelSql_Node> tree = reader.Expression(0);
    if (!tree || !reader.AtEnd()) return -1;
    *root = std::make_unique<QelSql_Node>(std::move(*tree));
    return 0;
}
