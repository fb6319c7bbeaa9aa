// Field rules: how a field's value is trimmed, reformatted and scaled.
#include "qel_parm.h"

#include <cstring>

#include "parm_values.h"

using namespace qelparm::detail;

namespace {

template <size_t N>
void Read(const char* text, std::string_view section, std::string_view key, char (&field)[N]) {
    auto value = RawValue(text, section, key);
    if (!value) return;
    std::string cut = Capped(*value, N - 1);
    std::memcpy(field, cut.data(), cut.size());
    field[cut.size()] = '\0';
}

}  // namespace

std::unique_ptr<ParmFieldRule> ParmGetFieldRule(const char* text, const char* section) {
    if (section == nullptr || ParmFindSection(text, section) == nullptr) return nullptr;
    auto rule =
        OrOnNoMemory(std::unique_ptr<ParmFieldRule>(), [] { return std::make_unique<ParmFieldRule>(); });
    if (!rule) return nullptr;
    Read(text, section, "FieldName", rule->fieldName);
    Read(text, section, "LeadingCharsToRemove", rule->leadingCharsToRemove);
    Read(text, section, "TrailingCharsToRemove", rule->trailingCharsToRemove);
    Read(text, section, "StripChars", rule->stripChars);
    Read(text, section, "DateFormat", rule->dateFormat);
    Read(text, section, "DefaultValue", rule->defaultValue);
    int divideBy = IntValue(text, section, "DivideBy", 1);
    rule->divideBy = divideBy == 0 ? 1 : divideBy;
    return rule;
}
