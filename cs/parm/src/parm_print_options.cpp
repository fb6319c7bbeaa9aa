// Getters and setters of the @_PRINT_OPTIONS_@ section: copies, fax cover, page ranges.
#include "qel_parm.h"

#include <cstring>
#include <string>

#include "parm_values.h"

using namespace qelparm::detail;

namespace {

std::string Numbered(const char* stem, int range) { return stem + std::to_string(range); }

std::optional<std::string> Copy(const char* text, const std::string& key) {
    auto value = RawValue(text, ParmPrintOptionsSection(), key);
    if (!value) return std::nullopt;
    return OrOnNoMemory(std::optional<std::string>(),
                        [&] { return std::optional<std::string>(std::string(*value)); });
}

void Set(ParmText* text, const std::string& key, const char* value) {
    ParmSetValue(text, ParmPrintOptionsSection().c_str(), key.c_str(), value);
}

bool IsFaxKey(const char* key) {
    if (key == nullptr) return false;
    for (const char* fax : PARM_FAX_KEYS)
        if (std::strcmp(fax, key) == 0) return true;
    return false;
}

}  // namespace

int ParmGetCopies(const char* text) {
    int copies = IntValue(text, ParmPrintOptionsSection(), "Copies", 1);
    if (copies < 1) return 1;
    if (copies >= 99) return 99;
    return copies;
}

void ParmSetCopies(ParmText* text, int copies) { Set(text, "Copies", std::to_string(copies).c_str()); }

std::optional<std::string> ParmGetFaxText(const char* text, const char* key) {
    if (!IsFaxKey(key)) return std::nullopt;
    auto value = RawValue(text, ParmPrintOptionsSection(), key);
    if (!value) return std::nullopt;
    return OrOnNoMemory(std::optional<std::string>(),
                        [&] { return std::optional<std::string>(Capped(*value, 1024)); });
}

int ParmSetFaxText(ParmText* text, const char* key, const char* value) {
    if (!IsFaxKey(key)) return PARM_REFUSED;
    Set(text, key, value);
    return PARM_OK;
}

std::optional<std::string> ParmGetFrom(const char* text, int range) {
    return Copy(text, Numbered("FROM_", range));
}
std::optional<std::string> ParmGetTo(const char* text, int range) {
    return Copy(text, Numbered("TO_", range));
}
void ParmSetFrom(ParmText* text, int range, const char* value) { Set(text, Numbered("FROM_", range), value); }
void ParmSetTo(ParmText* text, int range, const char* value) { Set(text, Numbered("TO_", range), value); }

long ParmGetPageRangeBgn(const char* text, int range) {
    auto value = RawValue(text, ParmPrintOptionsSection(), Numbered("PAGE_RANGE_BGN_", range));
    return value ? ParseLong(*value) : 0;
}

long ParmGetPageRangeEnd(const char* text, int range) {
    auto value = RawValue(text, ParmPrintOptionsSection(), Numbered("PAGE_RANGE_END_", range));
    return value ? ParseLong(*value) : 0;
}

void ParmSetPageRangeBgn(ParmText* text, int range, long page) {
    Set(text, Numbered("PAGE_RANGE_BGN_", range), std::to_string(page).c_str());
}

void ParmSetPageRangeEnd(ParmText* text, int range, long page) {
    Set(text, Numbered("PAGE_RANGE_END_", range), std::to_string(page).c_str());
}

std::optional<std::string> ParmGetPrintOption(const char* text, const char* key) {
    return key ? Copy(text, key) : std::nullopt;
}

void ParmSetPrintOption(ParmText* text, const char* key, const char* value) {
    if (key != nullptr) Set(text, key, value);
}
