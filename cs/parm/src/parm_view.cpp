// Getters of a view's section: colours, image and text settings, zoom and locks.
#include "qel_parm.h"

#include <string>

#include "parm_values.h"

using namespace qelparm::detail;

namespace {

// Lookup order matters: a value is matched by the first word it begins with.
constexpr ParmWord kColours[] = {
    {"NONE", PARM_COLOUR_NONE},     {"BLACK", PARM_COLOUR_BLACK},     {"WHITE", PARM_COLOUR_WHITE},
    {"RED", PARM_COLOUR_RED},       {"BLUE", PARM_COLOUR_BLUE},       {"GREEN", PARM_COLOUR_GREEN},
    {"YELLOW", PARM_COLOUR_YELLOW}, {"MAGENTA", PARM_COLOUR_MAGENTA}, {"CYAN", PARM_COLOUR_CYAN},
    {"GREY", PARM_COLOUR_GREY},     {"BAR", PARM_COLOUR_BAR},         {"DEFAULT", PARM_COLOUR_DEFAULT},
};
constexpr ParmWord kImgInt[] = {{"NORM", 0}, {"LITE", 1}, {"NONE", 2}};
constexpr ParmWord kTxFid[] = {{"LINE", 0}, {"WORD", 1}, {"CHAR", 2}, {"DRAFT", 3}, {"240", 4}};
constexpr ParmWord kGrayScale[] = {{"SCALE", 0}, {"COLOR", 1}};
constexpr ParmWord kOverstrike[] = {{"SEP", 0}, {"MERGE", 1}, {"FULL", 2}};

std::optional<std::string_view> ViewValue(const char* text, const char* view, std::string_view key) {
    if (view == nullptr) return std::nullopt;
    std::string section;
    ParmEscapeViewName(view, 1, &section);
    return RawValue(text, section, key);
}

template <size_t N>
int ViewWord(const char* text, const char* view, std::string_view key, const ParmWord (&table)[N],
             int missing, int unknown) {
    auto value = ViewValue(text, view, key);
    return value ? LookupWord(*value, table, N, unknown) : missing;
}

int ViewColour(const char* text, const char* view, std::string_view key, int missing) {
    return ViewWord(text, view, key, kColours, missing, PARM_COLOUR_BLACK);
}

int ViewInt(const char* text, const char* view, std::string_view key, int missing) {
    auto value = ViewValue(text, view, key);
    return value ? ParseInt(*value) : missing;
}

}  // namespace

int ParmGetBkCol(const char* text, const char* view) { return ViewColour(text, view, "BKCOL", 1); }
int ParmGetHdCol(const char* text, const char* view) { return ViewColour(text, view, "HDCOL", 10); }
int ParmGetSaCol(const char* text, const char* view) { return ViewColour(text, view, "SACOL", 6); }
int ParmGetImgColor(const char* text, const char* view) { return ViewColour(text, view, "IMGCOLOR", 2); }
int ParmGetImgInt(const char* text, const char* view) {
    return ViewWord(text, view, "IMGINT", kImgInt, 0, 0);
}
int ParmGetTxFid(const char* text, const char* view) { return ViewWord(text, view, "TXFID", kTxFid, 0, 0); }
int ParmGetGrayScale(const char* text, const char* view) {
    return ViewWord(text, view, "GRAYSCALE", kGrayScale, 0, 1);
}
int ParmGetOverstrike(const char* text, const char* view) {
    return ViewWord(text, view, "OVERSTRIKE", kOverstrike, 0, 0);
}
int ParmGetContrast(const char* text, const char* view) { return ViewInt(text, view, "CONTRAST", 128); }
int ParmGetBright(const char* text, const char* view) { return ViewInt(text, view, "BRIGHT", 128); }
int ParmGetZoom(const char* text, const char* view) { return ViewInt(text, view, "ZOOM", 100); }
int ParmGetCpyGrp(const char* text, const char* view) { return ViewInt(text, view, "CPYGRP", 1); }
int ParmGetLockHdr(const char* text, const char* view) { return ViewInt(text, view, "LOCKHDR", 0); }
int ParmGetLockedFlds(const char* text, const char* view) { return ViewInt(text, view, "LOCKEDFLDS", 0); }
