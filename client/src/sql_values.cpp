// Criterion values read and written through std::from_chars/std::to_chars, which never
// look at the locale.
#include "sql_values.h"

#include <charconv>
#include <cmath>

#include "library_state.h"

namespace qelclient {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The number of digits at the start of text.
size_t DigitRun(std::string_view text) {
    size_t n = 0;
    while (n < text.size() && IsDigit(text[n])) ++n;
    return n;
}

// Strips a leading plus, which from_chars does not take; a minus stays for it.
std::string_view WithoutPlus(std::string_view text) {
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    return text;
}

// A double carries no decimal digits of its own past this many places.
constexpr int kMaxFixedDigits = 1074;

}  // namespace

bool ReadInteger(std::string_view text, int64_t min, int64_t max, int64_t* out) {
    std::string_view body = text;
    if (!body.empty() && (body.front() == '+' || body.front() == '-')) body.remove_prefix(1);
    if (body.empty() || DigitRun(body) != body.size()) return false;
    const std::string_view number = WithoutPlus(text);
    int64_t value = 0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (error != std::errc{} || end != number.data() + number.size()) return false;
    if (value < min || value > max) return false;
    *out = value;
    return true;
}

bool ReadDecimal(std::string_view text, char decimalChar, double min, double max, int precision,
                 double* out) {
    std::string copy(text);
    if (const size_t at = copy.find(decimalChar); at != std::string::npos) copy[at] = '.';

    std::string_view body = copy;
    if (!body.empty() && (body.front() == '+' || body.front() == '-')) body.remove_prefix(1);
    const size_t whole = DigitRun(body);
    if (whole == 0) return false;
    size_t fraction = 0;
    if (whole < body.size()) {
        if (body[whole] != '.') return false;
        fraction = DigitRun(body.substr(whole + 1));
        if (fraction == 0 || whole + 1 + fraction != body.size()) return false;
    }
    if (fraction > static_cast<size_t>(precision < 0 ? 0 : precision)) return false;

    const std::string_view number = WithoutPlus(copy);
    double value = 0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (error != std::errc{} || end != number.data() + number.size()) return false;
    if (!(value >= min && value <= max)) return false;
    *out = value;
    return true;
}

std::string FormatInteger(int64_t value) {
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::string FormatFixed(double value, int precision, char decimalChar) {
    if (precision < 0) precision = 6;
    if (std::isnan(value)) return std::signbit(value) ? "-nan" : "nan";
    if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
    const int digits = precision < kMaxFixedDigits ? precision : kMaxFixedDigits;
    // Up to 309 digits before the point, the sign, the point and the fraction.
    std::string text(static_cast<size_t>(digits) + 320, '\0');
    const auto result =
        std::to_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed, digits);
    text.resize(static_cast<size_t>(result.ptr - text.data()));
    text.append(static_cast<size_t>(precision - digits), '0');
    if (const size_t point = text.find('.'); point != std::string::npos) text[point] = decimalChar;
    return text;
}

std::string QuoteSqlText(std::string_view text) {
    std::string quoted;
    quoted.reserve(text.size() + 2);
    quoted += '\'';
    for (const char c : text) {
        if (c == '\'') quoted += '\'';
        quoted += c;
    }
    quoted += '\'';
    return quoted;
}

}  // namespace qelclient

int FormatDecimal(std::string* out, int precision, double value) {
    *out = qelclient::FormatFixed(value, precision, '.');
    const size_t at = out->find('.');
    if (at == std::string::npos) return -1;
    (*out)[at] = qelclient::Library().options.decimalChar;
    return static_cast<int>(at);
}
