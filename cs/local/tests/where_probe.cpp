// Test driver for the Python oracles. Reads stdin, answers on stdout.
//   where_probe like    lines "<hex pattern> <hex text>"   -> "0" or "1"
//   where_probe where   lines "FIELD <name> <kind>", "ROW <value>..." (text in hex),
//                       "CLAUSE <hex clause>" -> "OK <conditions>|<rows>" or "BAD"
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

int RunWhere() {
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
    if (argc == 2 && std::strcmp(argv[1], "where") == 0) return RunWhere();
    std::cerr << "usage: qel_where_probe like|where < cases\n";
    return 2;
}
