// Scanning helpers shared by the WHERE parser and the IN-list splitter.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "qel_local.h"

namespace qel::local::detail {

inline bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Index of the first character at or after pos that is not a blank.
size_t SkipBlanks(std::string_view text, size_t pos);

// The run of characters at pos up to the next blank or the end.
std::string_view WordAt(std::string_view text, size_t pos);

bool EqualsIgnoringCase(std::string_view a, std::string_view b);

// Reads a quoted text whose opening quote stands at pos; a doubled quote is one
// quote character. On success pos moves behind the closing quote.
std::optional<std::string> ReadQuoted(std::string_view text, size_t& pos);

// The whole of digits must be a number of the kind; none otherwise
// (empty, trailing characters, out of range, not finite).
std::optional<QelSql_Value> ConvertNumber(std::string_view digits, int valueKind);

// Value kind that a field kind reads as.
int ValueKindOfField(int fieldKind);

}  // namespace qel::local::detail
