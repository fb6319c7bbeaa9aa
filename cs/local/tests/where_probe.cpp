// Test driver for the Python oracles. Reads stdin, answers on stdout.
//   where_probe like    lines "<hex pattern> <hex text>"   -> "0" or "1"
//   where_probe where   lines "FIELD <name> <kind>", "ROW <value>..." (text in hex),
//                       "CLAUSE <hex clause>" -> "OK <conditions>|<rows>" or "BAD"
//   where_probe clause  the same lines, each clause read whole
//                       -> "OK <shape>|<conditions>|<rows>" or "BAD"; the shape is
//                       "C", "AND(..,..)", "OR(..,..)", "NOT(..)", or "*" for no
//                       condition (every row); conditions in the order of the shape
#include <cstdio>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "qel_local.h"
#include "where_eval.h"

namespace {

using qel::local::testing::EvaluateClause;
using qel::local::testing::EvaluateTree;
using qel::local::testing::ParseClause;
using qel::local::testing::Row;

std::string FromHex(const std::string& hex) {
    std::string out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    }
    return out;
}

std::string ToHex(const std::string& text) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : text) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

std::string Print(const std::optional<QelSql_Value>& value) {
    if (!value) return "-";
    char buffer[64];
    switch (value->kind) {
        case QELSQL_VALUE_TEXT: return "t:" + ToHex(value->text);
        case QELSQL_VALUE_DOUBLE: std::snprintf(buffer, sizeof buffer, "d:%.17g", value->dbl); return buffer;
        default: return "l:" + std::to_string(value->lng);
    }
}

int RunLike() {
    std::string line;
    std::string out;
    while (std::getline(std::cin, line)) {
        const size_t blank = line.find(' ');
        const std::string pattern = FromHex(line.substr(0, blank));
        const std::string text = blank == std::string::npos ? "" : FromHex(line.substr(blank + 1));
        out += QelLikeMatch(std::string_view(pattern), std::string_view(text)) ? "1\n" : "0\n";
    }
    std::cout << out;
    return 0;
}

std::string PrintCondition(const QelSql_Condition& c) {
    return std::to_string(c.field) + "," + std::to_string(c.op) + "," + std::to_string(c.negated) + "," +
           Print(c.value1) + "," + Print(c.value2);
}

void PrintTree(const QelSql_Node& node, std::string* shape, std::string* conditions) {
    if (node.kind == QelSql_Node::CONDITION) {
        *shape += 'C';
        if (!conditions->empty()) *conditions += ';';
        *conditions += node.condition ? PrintCondition(*node.condition) : "-";
        return;
    }
    *shape += node.kind == QelSql_Node::AND ? "AND(" : node.kind == QelSql_Node::OR ? "OR(" : "NOT(";
    for (size_t i = 0; i < node.children.size(); ++i) {
        if (i > 0) *shape += ',';
        PrintTree(node.children[i], shape, conditions);
    }
    *shape += ')';
}

// The rows a clause selects, or "ERR" when one cannot be evaluated.
template <typename Evaluate>
std::string SelectedRows(const std::vector<Row>& rows, Evaluate evaluate) {
    std::string out;
    for (size_t r = 0; r < rows.size(); ++r) {
        const std::optional<bool> hit = evaluate(rows[r]);
        if (!hit) return out + (out.empty() ? "ERR" : " ERR");
        if (*hit) out += (out.empty() ? "" : " ") + std::to_string(r);
    }
    return out;
}

std::string AnswerWhole(const std::string& clause, const int* kinds, const char (*names)[QELSQL_NAME_SIZE],
                        const std::vector<Row>& rows) {
    std::unique_ptr<QelSql_Node> root;
    if (QelSql_ParseClause(clause.c_str(), kinds, names, &root) != 0) return "BAD";
    if (!root) return "OK *||" + SelectedRows(rows, [](const Row&) { return std::optional<bool>(true); });
    std::string shape;
    std::string conditions;
    PrintTree(*root, &shape, &conditions);
    return "OK " + shape + "|" + conditions + "|" +
           SelectedRows(rows, [&](const Row& row) { return EvaluateTree(*root, row, kinds); });
}

int RunWhere(bool whole) {
    int kinds[QELSQL_MAX_FIELDS] = {};
    char names[QELSQL_MAX_FIELDS][QELSQL_NAME_SIZE] = {};
    int fieldCount = 0;
    std::vector<Row> rows;
    std::string line;
    while (std::getline(std::cin, line)) {
        std::istringstream in(line);
        std::string word;
        in >> word;
        if (word == "FIELD") {
            std::string name;
            in >> name >> kinds[fieldCount];
            std::strncpy(names[fieldCount], name.c_str(), QELSQL_NAME_SIZE - 1);
            ++fieldCount;
        } else if (word == "ROW") {
            Row row;
            for (int f = 0; f < fieldCount; ++f) {
                std::string item;
                in >> item;
                QelSql_Value value;
                if (kinds[f] == QELSQL_FIELD_TEXT) {
                    value.text = FromHex(item.substr(1));  // "x" before the hex keeps empty texts a word
                } else if (kinds[f] == QELSQL_FIELD_DOUBLE) {
                    value.kind = QELSQL_VALUE_DOUBLE;
                    value.dbl = std::stod(item);
                } else {
                    value.kind = QELSQL_VALUE_LONG;
                    value.lng = std::stoi(item);
                }
                row.push_back(value);
            }
            rows.push_back(std::move(row));
        } else if (word == "CLAUSE") {
            std::string hex;
            in >> hex;
            const std::string clause = FromHex(hex);
            if (whole) {
                std::cout << AnswerWhole(clause, kinds, names, rows) << '\n';
                continue;
            }
            const auto parsed = ParseClause(clause.c_str(), kinds, names);
            if (!parsed.complete) {
                std::cout << "BAD\n";
                continue;
            }
            std::string answer = "OK ";
            for (size_t i = 0; i < parsed.conditions.size(); ++i) {
                const QelSql_Condition& c = *parsed.conditions[i];
                if (i > 0) answer += ';';
                answer += std::to_string(c.field) + "," + std::to_string(c.op) + "," +
                          std::to_string(c.negated) + "," + std::to_string(parsed.connectors[i]) + "," +
                          Print(c.value1) + "," + Print(c.value2);
            }
            answer += '|';
            bool first = true;
            for (size_t r = 0; r < rows.size(); ++r) {
                const auto hit = EvaluateClause(parsed, rows[r], kinds);
                if (!hit) {
                    answer += first ? "ERR" : " ERR";
                    first = false;
                    break;
                }
                if (*hit) {
                    answer += (first ? "" : " ") + std::to_string(r);
                    first = false;
                }
            }
            std::cout << answer << '\n';
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    if (argc == 2 && std::strcmp(argv[1], "like") == 0) return RunLike();
    if (argc == 2 && std::strcmp(argv[1], "where") == 0) return RunWhere(false);
    if (argc == 2 && std::strcmp(argv[1], "clause") == 0) return RunWhere(true);
    std::cerr << "usage: qel_where_probe like|where|clause < cases\n";
    return 2;
}
