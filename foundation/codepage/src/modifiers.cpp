// modifiers.cpp - endian, map, sub and subchar.
#include "modifiers.h"

#include <string>

namespace qel::codepage {
namespace {

// "big" swaps, "little" and "system" keep host order. Abbreviations only where allowed.
bool ParseOrder(std::string_view text, bool abbreviated, bool* swap) {
    static constexpr std::string_view kNames[] = {"big", "little", "system"};
    for (std::string_view name : kNames) {
        if (abbreviated ? (!text.empty() && name.substr(0, text.size()) == text) : name == text) {
            *swap = name == "big";
            return true;
        }
    }
    return false;
}

bool ParseEndian(std::string_view value, Modifiers* modifiers) {
    size_t colon = value.find(':');
    if (colon == std::string_view::npos) {
        if (!ParseOrder(value, true, &modifiers->swapInput)) return false;
        modifiers->swapOutput = modifiers->swapInput;
        return true;
    }
    return ParseOrder(value.substr(0, colon), true, &modifiers->swapInput) &&
           ParseOrder(value.substr(colon + 1), false, &modifiers->swapOutput);
}

bool IsHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    return (c | 0x20) - 'a' + 10;
}

// "\xHH..." or "\dNN..." groups, each one byte; or a plain text taken as it is.
bool ParseSubchar(std::string_view value, std::vector<uint8_t>* bytes) {
    bytes->clear();
    bool escaped = value.size() >= 2 && value[0] == '\\' && (value[1] == 'x' || value[1] == 'd');
    if (!escaped) {
        bytes->assign(value.begin(), value.end());
        return bytes->size() <= kMaxSubBytes;
    }
    size_t i = 0;
    while (i < value.size()) {
        if (value[i] != '\\' || i + 1 >= value.size() || (value[i + 1] != 'x' && value[i + 1] != 'd'))
            return false;
        bool hex = value[i + 1] == 'x';
        i += 2;
        unsigned number = 0;
        size_t digits = 0;
        while (i < value.size() && (hex ? IsHex(value[i]) : (value[i] >= '0' && value[i] <= '9'))) {
            number =
                number * (hex ? 16 : 10) + static_cast<unsigned>(hex ? HexValue(value[i]) : value[i] - '0');
            if (number > 255) return false;
            ++i;
            ++digits;
        }
        if (digits == 0 || bytes->size() == kMaxSubBytes) return false;
        bytes->push_back(static_cast<uint8_t>(number));
    }
    return true;
}

bool ParseItem(std::string_view item, Modifiers* modifiers, unsigned* seen) {
    size_t equals = item.find('=');
    if (equals == std::string_view::npos || equals + 1 == item.size()) return false;
    std::string_view name = item.substr(0, equals);
    std::string_view value = item.substr(equals + 1);
    static constexpr std::string_view kNames[] = {"endian", "map", "sub", "subchar"};
    unsigned which = 0;
    while (which < 4 && kNames[which] != name) ++which;
    if (which == 4 || (*seen & (1u << which)) != 0) return false;
    *seen |= 1u << which;
    switch (which) {
        case 0: return ParseEndian(value, modifiers);
        case 1:
            if (value == "none")
                modifiers->map = kMapNone;
            else if (value == "irv")
                modifiers->map = kMapIrv;
            else
                return false;
            return true;
        case 2:
            if (value == "no")
                modifiers->sub = kSubNo;
            else if (value == "to-ucs")
                modifiers->sub = kSubToUcs;
            else if (value == "from-ucs")
                modifiers->sub = kSubFromUcs;
            else if (value == "yes")
                modifiers->sub = kSubBoth;
            else
                return false;
            return true;
        default: {
            std::vector<uint8_t> bytes;
            if (!ParseSubchar(value, &bytes)) return false;
            modifiers->subchar = std::move(bytes);
            return true;
        }
    }
}

}  // namespace

std::string_view BaseName(std::string_view name) { return name.substr(0, name.find('@')); }

bool ParseModifiers(std::string_view name, Modifiers* modifiers) {
    size_t at = name.find('@');
    if (at == std::string_view::npos) return true;
    std::string_view list = name.substr(at + 1);
    unsigned seen = 0;
    while (true) {
        size_t comma = list.find(',');
        if (!ParseItem(list.substr(0, comma), modifiers, &seen)) return false;
        if (comma == std::string_view::npos) return true;
        list = list.substr(comma + 1);
    }
}

}  // namespace qel::codepage
