// Typed reading of parameter-text values.
#include "parm_values.h"

#include <climits>
#include <cstdlib>

#include "qel_parm.h"

namespace qelparm::detail {

std::optional<std::string_view> RawValue(const char* text, std::string_view section, std::string_view key) {
    return OrOnNoMemory(std::optional<std::string_view>(), [&]() -> std::optional<std::string_view> {
        std::string sectionName(section);
        std::string keyName(key);
        const char* value = ParmFindKey(ParmFindSection(text, sectionName.c_str()), keyName.c_str());
        if (value == nullptr) return std::nullopt;
        return std::string_view(value, size_t(ParmLineEnd(value) - value));
    });
}

long ParseLong(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        int digit = text[i] - '0';
        if (!negative) {
            if (value > (LONG_MAX - digit) / 10) return LONG_MAX;
            value = value * 10 + digit;
        } else {
            if (value < (LONG_MIN + digit) / 10) return LONG_MIN;
            value = value * 10 - digit;
        }
    }
    return value;
}

int ParseInt(std::string_view text) {
    long value = ParseLong(text);
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return int(value);
}

double ParseDouble(std::string_view text) {
    std::string copy(text);
    return std::strtod(copy.c_str(), nullptr);
}

int LookupWord(std::string_view value, const ParmWord* table, size_t count, int unknown) {
    for (size_t i = 0; i < count; ++i) {
        std::string_view word(table[i].word);
        if (value.substr(0, word.size()) == word) return table[i].value;
    }
    return unknown;
}

std::string Capped(std::string_view value, size_t cap) { return std::string(value.substr(0, cap)); }

int IntValue(const char* text, std::string_view section, std::string_view key, int missing) {
    auto value = RawValue(text, section, key);
    return value ? ParseInt(*value) : missing;
}

std::string Without(std::string_view text, std::string_view drop) {
    std::string out;
    out.reserve(text.size());
    for (char c : text)
        if (drop.find(c) == std::string_view::npos) out.push_back(c);
    return out;
}

}  // namespace qelparm::detail
