// json_members.cpp - typed member reading with numbered refusals.
#include "json_members.h"

#include <cmath>

namespace arcbuild {

const Json& ObjectOrEmpty(const Json& value) {
    static const Json kEmpty = Json::object();
    return value.is_object() ? value : kEmpty;
}

std::optional<std::string> ToLatin1(const std::string& utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        if (lead < 0x80) {
            out += static_cast<char>(lead);
            ++i;
            continue;
        }
        // Only two-byte sequences reach 819's upper half (U+0080..U+00FF).
        if ((lead & 0xE0) != 0xC0 || i + 1 >= utf8.size()) return std::nullopt;
        const auto next = static_cast<unsigned char>(utf8[i + 1]);
        if ((next & 0xC0) != 0x80) return std::nullopt;
        const unsigned code = ((lead & 0x1Fu) << 6) | (next & 0x3Fu);
        if (code < 0x80 || code > 0xFF) return std::nullopt;
        out += static_cast<char>(code);
        i += 2;
    }
    return out;
}

std::optional<std::string> CheckText(const Json& value, const std::string& where, size_t maxBytes,
                                     unsigned rules, Errors* errors) {
    if (!value.is_string()) {
        errors->Add(kErrWrongType, where, "must be a text");
        return std::nullopt;
    }
    std::optional<std::string> text = ToLatin1(value.get<std::string>());
    if (!text) {
        errors->Add(kErrBadText, where, "holds a character outside code page 819");
        return std::nullopt;
    }
    for (char c : *text) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F || (u >= 0x80 && u < 0xA0)) {
            errors->Add(kErrBadText, where, "holds a control character");
            return std::nullopt;
        }
        if ((rules & kTextNoComma) && c == ',') {
            errors->Add(kErrBadText, where, "holds a comma, which separates list elements");
            return std::nullopt;
        }
        if ((rules & kTextNoBracket) && (c == ']' || c == '[')) {
            errors->Add(kErrBadText, where, "holds a bracket, which ends a section name");
            return std::nullopt;
        }
    }
    if ((rules & kTextNonEmpty) && text->empty()) {
        errors->Add(kErrBadText, where, "must not be empty");
        return std::nullopt;
    }
    if (text->size() > maxBytes) {
        errors->Add(kErrBadText, where, "is longer than " + std::to_string(maxBytes) + " characters");
        return std::nullopt;
    }
    return text;
}

std::optional<int64_t> CheckInteger(const Json& value, const std::string& where, int64_t low, int64_t high,
                                    Errors* errors) {
    if (!value.is_number()) {
        errors->Add(kErrWrongType, where, "must be a number");
        return std::nullopt;
    }
    int64_t n = 0;
    if (value.is_number_integer() && value.is_number_unsigned()) {
        const uint64_t u = value.get<uint64_t>();
        if (u > static_cast<uint64_t>(INT64_MAX)) {
            errors->Add(kErrOutOfRange, where,
                        "is outside " + std::to_string(low) + ".." + std::to_string(high));
            return std::nullopt;
        }
        n = static_cast<int64_t>(u);
    } else if (value.is_number_integer()) {
        n = value.get<int64_t>();
    } else {
        errors->Add(kErrWrongType, where, "must be a whole number");
        return std::nullopt;
    }
    if (n < low || n > high) {
        errors->Add(kErrOutOfRange, where, "is outside " + std::to_string(low) + ".." + std::to_string(high));
        return std::nullopt;
    }
    return n;
}

Members::Members(const Json& object, std::string path, Errors* errors)
    : path_(std::move(path)), errors_(errors) {
    if (object.is_object())
        object_ = &object;
    else
        errors_->Add(kErrWrongType, path_, "must be an object");
}

void Members::OnlyThese(std::initializer_list<const char*> names) const {
    if (object_ == nullptr) return;
    for (const auto& item : object_->items()) {
        bool known = false;
        for (const char* name : names) known = known || item.key() == name;
        if (!known) errors_->Add(kErrUnknownMember, At(item.key()), "is not a member of this object");
    }
}

const Json* Members::Find(const char* name) const {
    if (object_ == nullptr) return nullptr;
    const auto it = object_->find(name);
    return it == object_->end() || it->is_null() ? nullptr : &*it;
}

std::optional<int64_t> Members::Integer(const char* name, int64_t low, int64_t high,
                                        std::optional<int64_t> fallback) const {
    const Json* value = Find(name);
    if (value == nullptr) {
        if (!fallback && object_ != nullptr) errors_->Add(kErrMissing, At(name), "is required");
        return fallback;
    }
    return CheckInteger(*value, At(name), low, high, errors_);
}

std::optional<double> Members::Number(const char* name, std::optional<double> fallback) const {
    const Json* value = Find(name);
    if (value == nullptr) {
        if (!fallback && object_ != nullptr) errors_->Add(kErrMissing, At(name), "is required");
        return fallback;
    }
    if (!value->is_number() || !std::isfinite(value->get<double>())) {
        errors_->Add(kErrWrongType, At(name), "must be a finite number");
        return std::nullopt;
    }
    return value->get<double>();
}

std::optional<std::string> Members::Text(const char* name, size_t maxBytes, unsigned rules,
                                         std::optional<std::string> fallback) const {
    const Json* value = Find(name);
    if (value == nullptr) {
        if (!fallback && object_ != nullptr) errors_->Add(kErrMissing, At(name), "is required");
        return fallback;
    }
    return CheckText(*value, At(name), maxBytes, rules, errors_);
}

std::optional<char> Members::Letter(const char* name, const char* letters,
                                    std::optional<char> fallback) const {
    const Json* value = Find(name);
    if (value == nullptr) {
        if (!fallback && object_ != nullptr) errors_->Add(kErrMissing, At(name), "is required");
        return fallback;
    }
    if (!value->is_string()) {
        errors_->Add(kErrWrongType, At(name), "must be a text");
        return std::nullopt;
    }
    const std::string text = value->get<std::string>();
    if (text.size() != 1 || std::string(letters).find(text[0]) == std::string::npos) {
        errors_->Add(kErrOutOfRange, At(name), std::string("must be one of the letters ") + letters);
        return std::nullopt;
    }
    return text[0];
}

const Json* Members::Array(const char* name, bool required) const {
    static const Json kEmpty = Json::array();
    const Json* value = Find(name);
    if (value == nullptr) {
        if (required && object_ != nullptr) errors_->Add(kErrMissing, At(name), "is required");
        return required ? nullptr : &kEmpty;
    }
    if (!value->is_array()) {
        errors_->Add(kErrWrongType, At(name), "must be an array");
        return nullptr;
    }
    return value;
}

}  // namespace arcbuild
