// json_members.h - typed, range-checked reading of one JSON object of the description,
// each refusal named by the member's path.
#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>

#include "build_error.h"

namespace arcbuild {

using Json = nlohmann::json;

// What a text may hold besides its length limit.
enum TextRule : unsigned {
    kTextPlain = 0,
    kTextNoComma = 1,    // an element of a comma-separated list
    kTextNoBracket = 2,  // a section name
    kTextNonEmpty = 4,
};

// The value when it is an object, else an empty object (whose faults Members reports).
const Json& ObjectOrEmpty(const Json& value);

// UTF-8 to code page 819 (ISO 8859-1); none for a character 819 lacks or bad UTF-8.
std::optional<std::string> ToLatin1(const std::string& utf8);

class Members {
public:
    Members(const Json& object, std::string path, Errors* errors);

    // False (and an error 3) when the value is no object.
    bool IsObject() const { return object_ != nullptr; }
    const std::string& Path() const { return path_; }
    std::string At(const std::string& member) const { return path_ + "." + member; }
    Errors* errors() const { return errors_; }

    // Refuses (4) every member not in the list.
    void OnlyThese(std::initializer_list<const char*> names) const;
    const Json* Find(const char* name) const;

    // Missing members give the default (or, when required, error 2 and none).
    std::optional<int64_t> Integer(const char* name, int64_t low, int64_t high,
                                   std::optional<int64_t> fallback) const;
    std::optional<double> Number(const char* name, std::optional<double> fallback) const;
    // A text in code page 819 of at most maxBytes bytes, without control characters.
    std::optional<std::string> Text(const char* name, size_t maxBytes, unsigned rules,
                                    std::optional<std::string> fallback) const;
    // A one-letter text among the letters given.
    std::optional<char> Letter(const char* name, const char* letters, std::optional<char> fallback) const;
    // An array member (none and error 2 when required and missing; an empty array when
    // missing and not required).
    const Json* Array(const char* name, bool required) const;

private:
    const Json* object_ = nullptr;
    std::string path_;
    Errors* errors_;
};

// Checks a text already taken from JSON: the rules and length; none after an error.
std::optional<std::string> CheckText(const Json& value, const std::string& where, size_t maxBytes,
                                     unsigned rules, Errors* errors);
// A JSON number that is a whole number within [low, high]; none after an error.
std::optional<int64_t> CheckInteger(const Json& value, const std::string& where, int64_t low, int64_t high,
                                    Errors* errors);

}  // namespace arcbuild
