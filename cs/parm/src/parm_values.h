// Reading typed values out of parameter text: the helpers every getter shares.
#pragma once

#include <cstddef>
#include <new>
#include <optional>
#include <string>
#include <string_view>

namespace qelparm::detail {

// The delimiters in force, read once per call so a concurrent change is seen whole.
struct ParmDelims {
    char open = '[';
    char close = ']';
    char at = '@';
};
ParmDelims CurrentDelims();

// A reserved section name written with '@' ("@_FIXED_@"), with '@' replaced by the
// current third delimiter.
std::string ReservedName(std::string_view name);

// The value of key in section, up to its LF or the end of the text; none when the
// text, the section or the key is missing.
std::optional<std::string_view> RawValue(const char* text, std::string_view section, std::string_view key);

// Leading blanks, an optional sign and digits, as atol does; saturates at the limits
// of long instead of overflowing. No digits: 0.
long ParseLong(std::string_view text);
int ParseInt(std::string_view text);
double ParseDouble(std::string_view text);

// A table word and the number it reads as.
struct ParmWord {
    const char* word;
    int value;
};
// The first table word the value begins with, else unknown.
int LookupWord(std::string_view value, const ParmWord* table, size_t count, int unknown);

// A copy of at most cap bytes.
std::string Capped(std::string_view value, size_t cap);

// Integer value of a key, or the default when missing.
int IntValue(const char* text, std::string_view section, std::string_view key, int missing);

// fn(), or the fallback when memory runs out: setters then leave the text as it was
// (std::string edits either happen whole or not at all) and getters answer none.
template <typename Fallback, typename Fn>
auto OrOnNoMemory(Fallback fallback, Fn&& fn) -> decltype(fn()) {
    try {
        return fn();
    } catch (const std::bad_alloc&) {
        return fallback;
    }
}

// Removes every character of `drop` from the text.
std::string Without(std::string_view text, std::string_view drop);

}  // namespace qelparm::detail
