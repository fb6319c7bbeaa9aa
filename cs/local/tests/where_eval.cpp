#include "where_eval.h"

namespace qel::local::testing {

ParsedClause ParseClause(const char* text, const int* kinds, const char (*names)[QELSQL_NAME_SIZE]) {
    ParsedClause clause;
    const char* cursor = text;
    while (true) {
        int connector = -1;
        auto condition = QelSql_ParseCondition(&cursor, &connector, kinds, names);
        if (!condition) break;
        if (condition->op == QELSQL_OP_LIKE && condition->value1) {
            clause.likes.emplace_back(std::in_place, condition->value1->text);
        } else {
            clause.likes.emplace_back();
        }
        clause.conditions.push_back(std::move(condition));
        clause.connectors.push_back(connector);
    }
    clause.complete = *cursor == '\0';
    return clause;
}

namespace {

// <0, 0, >0 like strcmp; both values of one kind.
int Compare(const QelSql_Value& a, const QelSql_Value& b) {
    switch (a.kind) {
        case QELSQL_VALUE_TEXT: return a.text.compare(b.text);
        case QELSQL_VALUE_DOUBLE: return (a.dbl > b.dbl) - (a.dbl < b.dbl);
        default: return (a.lng > b.lng) - (a.lng < b.lng);
    }
}

std::optional<bool> Test(const QelSql_Condition& c, const QelSql_Value& field, int fieldKind,
                         const QelLikePattern* like) {
    if (c.op == QELSQL_OP_LIKE_ALL) return true;
    if (c.op == QELSQL_OP_LIKE) {
        if (field.kind != QELSQL_VALUE_TEXT) return std::nullopt;
        if (like != nullptr) return like->Match(field.text) == 1;
        return QelLikeMatch(c.value1->text, field.text) == 1;
    }
    if (c.op == QELSQL_OP_IN) {
        std::vector<QelSql_Value> items;
        if (QelSql_SplitList(c.value1->text, fieldKind, &items) != 0) return std::nullopt;
        for (const QelSql_Value& item : items) {
            if (Compare(field, item) == 0) return true;
        }
        return false;
    }
    if (c.value1->kind != field.kind) return std::nullopt;
    const int low = Compare(field, *c.value1);
    switch (c.op) {
        case QELSQL_OP_EQ: return low == 0;
        case QELSQL_OP_LT: return low < 0;
        case QELSQL_OP_LE: return low <= 0;
        case QELSQL_OP_GT: return low > 0;
        case QELSQL_OP_GE: return low >= 0;
        case QELSQL_OP_BETWEEN:
            if (!c.value2 || c.value2->kind != field.kind) return std::nullopt;
            return low >= 0 && Compare(field, *c.value2) <= 0;
        default: return std::nullopt;
    }
}

}  // namespace

std::optional<bool> EvaluateCondition(const QelSql_Condition& condition, const Row& row, const int* kinds,
                                      const QelLikePattern* like) {
    if (condition.field < 0 || static_cast<size_t>(condition.field) >= row.size()) return std::nullopt;
    if (!condition.value1) return std::nullopt;
    std::optional<bool> result = Test(condition, row[condition.field], kinds[condition.field], like);
    if (!result) return std::nullopt;
    return *result != (condition.negated != 0);
}

std::optional<bool> EvaluateClause(const ParsedClause& clause, const Row& row, const int* kinds) {
    bool any = false;
    bool all = true;
    for (size_t i = 0; i < clause.conditions.size(); ++i) {
        const QelLikePattern* like = i < clause.likes.size() && clause.likes[i] ? &*clause.likes[i] : nullptr;
        std::optional<bool> one = EvaluateCondition(*clause.conditions[i], row, kinds, like);
        if (!one) return std::nullopt;
        all = all && *one;
        const bool last = i + 1 == clause.conditions.size();
        if (last || clause.connectors[i] == QELSQL_OR) {
            any = any || all;
            all = true;
        }
    }
    return any;
}

std::optional<bool> EvaluateTree(const QelSql_Node& node, const Row& row, const int* kinds) {
    switch (node.kind) {
        case QelSql_Node::CONDITION:
            if (!node.condition || !node.children.empty()) return std::nullopt;
            return EvaluateCondition(*node.condition, row, kinds);
        case QelSql_Node::NOT: {
            if (node.children.size() != 1 || node.condition) return std::nullopt;
            std::optional<bool> inner = EvaluateTree(node.children[0], row, kinds);
            if (!inner) return std::nullopt;
            return !*inner;
        }
        case QelSql_Node::AND:
        case QelSql_Node::OR: {
            if (node.children.size() < 2 || node.condition) return std::nullopt;
            // Every child is evaluated, so that a child that cannot be shows.
            const bool isAnd = node.kind == QelSql_Node::AND;
            bool result = isAnd;
            for (const QelSql_Node& child : node.children) {
                std::optional<bool> one = EvaluateTree(child, row, kinds);
                if (!one) return std::nullopt;
                result = isAnd ? (result && *one) : (result || *one);
            }
            return result;
        }
    }
    return std::nullopt;
}

}  // namespace qel::local::testing
