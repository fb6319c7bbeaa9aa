#include "sql_text.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace qel::local::detail {

size_t SkipBlanks(std::string_view text, size_t pos) {
    while (pos < text.size() && IsBlank(text[pos])) ++pos;
    return pos;
}

std::string_view WordAt(std::string_view text, size_t pos) {
    size_t end = pos;
    while (end < text.size() && !IsBlank(text[end])) ++end;
    return text.substr(pos, end - pos);
}

namespace {
char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
}  // namespace

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    }
    return true;
}

std::optional<std::string> ReadQuoted(std::string_view text, size_t& pos) {
    if (pos >= text.size() || text[pos] != '\'') return std::nullopt;
    std::string out;
    for (size_t i = pos + 1; i < text.size(); ++i) {
        if (text[i] != '\'') {
            out += text[i];
        } else if (i + 1 < text.size() && text[i + 1] == '\'') {
            out += '\'';
            ++i;
        } else {
            pos = i + 1;
            return out;
        }
    }
    return std::nullopt;  // no closing quote
}

std::optional<QelSql_Value> ConvertNumber(std::string_view digits, int valueKind) {
    // from_chars takes no leading '+'; the writer never puts one, a user may.
    std::string_view body = digits;
    if (!body.empty() && body.front() == '+') body.remove_prefix(1);
    if (body.empty() || body.front() == '+') return std::nullopt;
    const size_t first = (body.front() == '-') ? 1 : 0;
    if (first >= body.size()) return std::nullopt;
    // Only decimal notation: no "inf", "nan" or hexadecimal forms.
    const char lead = body[first];
    if (!IsDigit(lead) && !(lead == '.' && first + 1 < body.size() && IsDigit(body[first + 1]))) {
        return std::nullopt;
    }
    const char* begin = body.data();
    const char* end = body.data() + body.size();
    QelSql_Value value;
    value.kind = valueKind;
    if (valueKind == QELSQL_VALUE_LONG) {
        int32_t number = 0;
        auto [stop, ec] = std::from_chars(begin, end, number);
        if (ec != std::errc() || stop != end) return std::nullopt;
        value.lng = number;
        return value;
    }
    double number = 0.0;
    auto [stop, ec] = std::from_chars(begin, end, number, std::chars_format::general);
    if (ec != std::errc() || stop != end || !std::isfinite(number)) return std::nullopt;
    value.dbl = number;
    return value;
}

int ValueKindOfField(int fieldKind) {
    switch (fieldKind) {
        case QELSQL_FIELD_DOUBLE: return QELSQL_VALUE_DOUBLE;
        case QELSQL_FIELD_LONG:
        case QELSQL_FIELD_SHORT: return QELSQL_VALUE_LONG;
        default: return QELSQL_VALUE_TEXT;
    }
}

}  // namespace qel::local::detail
