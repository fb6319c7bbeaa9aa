// Reads one condition of a WHERE text in the form the client library writes.
#include <cstring>

#include "qel_local.h"
#include "sql_text.h"
#include "where_read.h"

namespace qel::local::detail {

namespace {

int LookUpField(std::string_view word, const FieldTables& tables) {
    if (tables.names != nullptr) {
        for (int i = 0; i < QELSQL_MAX_FIELDS; ++i) {
            const char* name = tables.names[i];
            if (EqualsIgnoringCase(word, std::string_view(name, strnlen(name, QELSQL_NAME_SIZE)))) return i;
        }
        return -1;
    }
    // Without names a field is its number; anything else names no field.
    std::optional<QelSql_Value> number = ConvertNumber(word, QELSQL_VALUE_LONG);
    if (!number || word.front() == '-' || word.front() == '+' || number->lng >= QELSQL_MAX_FIELDS) {
        return -1;
    }
    return number->lng;
}

int FieldKind(int field, const FieldTables& tables) {
    if (field < 0 || tables.kinds == nullptr) return QELSQL_FIELD_TEXT;
    return tables.kinds[field];
}

// A value at pos: a quoted text (doubled quotes are one quote), or a run up to
// a blank; numbers also end at ')' and must be whole numbers of their kind.
std::optional<QelSql_Value> ReadValue(std::string_view text, size_t& pos, int valueKind) {
    std::string raw;
    size_t at = pos;
    if (at < text.size() && text[at] == '\'') {
        std::optional<std::string> quoted = ReadQuoted(text, at);
        if (!quoted) return std::nullopt;
        raw = std::move(*quoted);
    } else {
        const size_t start = at;
        while (at < text.size() && !IsBlank(text[at]) &&
               !(valueKind != QELSQL_VALUE_TEXT && text[at] == ')')) {
            ++at;
        }
        if (at == start) return std::nullopt;
        raw.assign(text.substr(start, at - start));
    }
    std::optional<QelSql_Value> value;
    if (valueKind == QELSQL_VALUE_TEXT) {
        value.emplace();
        value->text = std::move(raw);
    } else {
        value = ConvertNumber(raw, valueKind);
    }
    if (value) pos = at;
    return value;
}

// The list of IN up to its closing ')' (quotes respected), without the blank
// the writer puts before ')'. pos moves behind the ')'.
std::optional<std::string> ReadList(std::string_view text, size_t& pos, int fieldKind) {
    size_t at = pos;
    if (at < text.size() && text[at] == '(') at = SkipBlanks(text, at + 1);
    const size_t start = at;
    bool inQuote = false;
    for (; at < text.size(); ++at) {
        if (text[at] == '\'') inQuote = !inQuote;
        if (text[at] == ')' && !inQuote) break;
    }
    if (at == text.size()) return std::nullopt;
    std::string list(text.substr(start, at - start));
    if (!list.empty() && IsBlank(list.back())) list.pop_back();
    std::vector<QelSql_Value> items;
    if (QelSql_SplitList(list, fieldKind, &items) != 0) return std::nullopt;
    pos = at + 1;
    return list;
}

}  // namespace

bool KeywordAt(std::string_view text, size_t pos, std::string_view keyword) {
    return text.substr(pos, keyword.size()) == keyword &&
           (pos + keyword.size() == text.size() || IsBlank(text[pos + keyword.size()]));
}

std::optional<ReadCondition> ReadConditionAt(std::string_view text, size_t pos, const FieldTables& tables) {
    auto condition = std::make_unique<QelSql_Condition>();

    std::string_view field = WordAt(text, pos);
    if (field.empty()) return std::nullopt;
    pos += field.size();
    condition->field = LookUpField(field, tables);
    const int fieldKind = FieldKind(condition->field, tables);

    pos = SkipBlanks(text, pos);
    std::string op(WordAt(text, pos));
    pos += op.size();
    if (op == "NOT") {
        condition->negated = 1;
        pos = SkipBlanks(text, pos);
        op = WordAt(text, pos);
        pos += op.size();
    }
    condition->op = QelSql_OperatorCode(op.c_str());
    if (condition->op == QELSQL_OP_NE) {
        condition->op = QELSQL_OP_EQ;
        condition->negated ^= 1;
    }
    // A missing, unknown or doubled operator leaves nothing the index could test.
    if (condition->op == QELSQL_OP_NOT || condition->op == QELSQL_OP_OTHER) return std::nullopt;

    pos = SkipBlanks(text, pos);
    if (condition->op == QELSQL_OP_IN) {
        std::optional<std::string> list = ReadList(text, pos, fieldKind);
        if (!list) return std::nullopt;
        condition->value1.emplace();
        condition->value1->text = std::move(*list);
    } else {
        // A LIKE pattern is text whatever the field holds.
        const int valueKind =
            condition->op == QELSQL_OP_LIKE ? QELSQL_VALUE_TEXT : ValueKindOfField(fieldKind);
        condition->value1 = ReadValue(text, pos, valueKind);
        if (!condition->value1) return std::nullopt;
        if (condition->op == QELSQL_OP_BETWEEN) {
            pos = SkipBlanks(text, pos);
            if (!KeywordAt(text, pos, "AND")) return std::nullopt;
            pos = SkipBlanks(text, pos + 3);
            condition->value2 = ReadValue(text, pos, valueKind);
            if (!condition->value2) return std::nullopt;
        }
        if (condition->op == QELSQL_OP_LIKE &&
            (condition->value1->text == "%" || condition->value1->text == "*")) {
            condition->op = QELSQL_OP_LIKE_ALL;
        }
    }
    return ReadCondition{std::move(condition), pos};
}

}  // namespace qel::local::detail

using namespace qel::local::detail;

namespace {

struct Parsed {
    std::unique_ptr<QelSql_Condition> condition;
    size_t end = 0;                // where the cursor goes
    std::optional<int> connector;  // none at the end of the text
};

std::optional<Parsed> ParseOne(std::string_view text, size_t start, const FieldTables& tables) {
    std::optional<ReadCondition> read = ReadConditionAt(text, start, tables);
    if (!read) return std::nullopt;
    size_t pos = read->end;

    // Only blanks and closing parentheses may stand before the connector.
    while (pos < text.size() && (IsBlank(text[pos]) || text[pos] == ')')) ++pos;
    Parsed parsed;
    if (pos < text.size()) {
        if (KeywordAt(text, pos, "AND")) {
            parsed.connector = QELSQL_AND;
            pos += 3;
        } else if (KeywordAt(text, pos, "OR")) {
            parsed.connector = QELSQL_OR;
            pos += 2;
        } else {
            return std::nullopt;
        }
        pos = SkipBlanks(text, pos);
        if (pos == text.size()) return std::nullopt;  // a connector with nothing behind it
    }
    parsed.condition = std::move(read->condition);
    parsed.end = pos;
    return parsed;
}

}  // namespace

std::unique_ptr<QelSql_Condition> QelSql_ParseCondition(const char** cursor, int* connector,
                                                        const int* fieldKinds,
                                                        const char (*fieldNames)[QELSQL_NAME_SIZE]) {
    if (cursor == nullptr || *cursor == nullptr) return nullptr;
    const std::string_view text(*cursor);
    size_t pos = SkipBlanks(text, 0);
    if (EqualsIgnoringCase(WordAt(text, pos), "WHERE")) pos = SkipBlanks(text, pos + 5);
    bool opened = false;
    while (pos < text.size() && text[pos] == '(') {
        pos = SkipBlanks(text, pos + WordAt(text, pos).size());
        opened = true;
    }
    if (pos == text.size()) {
        // "WHERE" and blanks are an empty clause; an open parenthesis is not.
        if (!opened) *cursor += text.size();
        return nullptr;
    }
    std::optional<Parsed> parsed = ParseOne(text, pos, FieldTables{fieldKinds, fieldNames});
    if (!parsed) return nullptr;
    *cursor += parsed->end;
    if (connector != nullptr && parsed->connector) *connector = *parsed->connector;
    return std::move(parsed->condition);
}
