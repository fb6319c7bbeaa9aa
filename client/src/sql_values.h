// sql_values.h - reading criterion values and writing them as SQL literals (internal).
//
// Numbers are read and written in the C locale whatever the process's locale is, so a
// host that set a comma locale never puts a comma into a clause. Accepted numbers are
// [+-]digits for integers and [+-]digits[.digits] for decimals: no blanks (the builder
// trims first), no exponent, hexadecimal, infinity or NaN.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qelclient {

// The integer text as a 64-bit value within [min, max]; false when it is not of the
// form above, does not fit in 64 bits or lies outside the range (*out untouched).
bool ReadInteger(std::string_view text, int64_t min, int64_t max, int64_t* out);

// The decimal text, its first decimalChar taken as the point, as a double within
// [min, max] with at most precision digits after the point (a negative precision
// allows none); false otherwise (*out untouched).
bool ReadDecimal(std::string_view text, char decimalChar, double min, double max, int precision, double* out);

// The value as decimal digits with an optional minus sign.
std::string FormatInteger(int64_t value);

// The value with precision digits after the point (6 when precision is negative), the
// point written as decimalChar; "inf", "-inf" or "nan" for values that are no number.
std::string FormatFixed(double value, int precision, char decimalChar);

// The text as an SQL string literal: single quotes around it, each quote inside doubled.
std::string QuoteSqlText(std::string_view text);

}  // namespace qelclient
