// Splits the raw list that an IN condition keeps.
#include "qel_local.h"
#include "sql_text.h"

using namespace qel::local::detail;

namespace {

// One item at pos: a quoted text, or a run up to a blank or ','.
std::optional<std::string> ReadItem(std::string_view list, size_t& pos, bool& quoted) {
    quoted = list[pos] == '\'';
    if (quoted) return ReadQuoted(list, pos);
    const size_t start = pos;
    while (pos < list.size() && !IsBlank(list[pos]) && list[pos] != ',') ++pos;
    if (pos == start) return std::nullopt;
    return std::string(list.substr(start, pos - start));
}

}  // namespace

int QelSql_SplitList(std::string_view list, int fieldKind, std::vector<QelSql_Value>* values) {
    if (values == nullptr) return -1;
    values->clear();
    const int valueKind = ValueKindOfField(fieldKind);
    std::vector<QelSql_Value> out;
    size_t pos = SkipBlanks(list, 0);
    if (pos == list.size()) return 0;
    while (true) {
        bool quoted = false;
        std::optional<std::string> item = ReadItem(list, pos, quoted);
        if (!item) return -1;
        if (valueKind == QELSQL_VALUE_TEXT) {
            QelSql_Value value;
            value.text = std::move(*item);
            out.push_back(std::move(value));
        } else {
            std::optional<QelSql_Value> number = ConvertNumber(*item, valueKind);
            if (!number) return -1;
            out.push_back(std::move(*number));
        }
        pos = SkipBlanks(list, pos);
        if (pos == list.size()) break;
        if (list[pos] != ',') return -1;
        pos = SkipBlanks(list, pos + 1);
        if (pos == list.size()) return -1;  // a list does not end with ','
    }
    *values = std::move(out);
    return 0;
}
