// Getters and setters of the @_FIXED_@ section and of @_PageIdentifier_@.
#include "qel_parm.h"

#include <string>

#include "parm_values.h"

using namespace qelparm::detail;

namespace {

std::optional<std::string_view> Fixed(const char* text, std::string_view key) {
    return RawValue(text, ParmFixedSection(), key);
}

int FixedInt(const char* text, std::string_view key, int missing) {
    return IntValue(text, ParmFixedSection(), key, missing);
}

template <size_t N>
int FixedWord(const char* text, std::string_view key, const ParmWord (&table)[N], int missing, int unknown) {
    auto value = Fixed(text, key);
    return value ? LookupWord(*value, table, N, unknown) : missing;
}

std::optional<std::string> FixedText(const char* text, std::string_view key, size_t cap) {
    auto value = Fixed(text, key);
    if (!value) return std::nullopt;
    return OrOnNoMemory(std::optional<std::string>(),
                        [&] { return std::optional<std::string>(Capped(*value, cap)); });
}

std::optional<std::string> FixedCopy(const char* text, std::string_view key) {
    return FixedText(text, key, std::string::npos);
}

void SetFixedInt(ParmText* text, const char* key, int value) {
    ParmSetValue(text, ParmFixedSection().c_str(), key, std::to_string(value).c_str());
}

constexpr ParmWord kCc[] = {{"NONE", 0}, {"ANSI", 1}, {"MACH", 2}};
constexpr ParmWord kPr[] = {{"NONE", 0}, {"SOSI1", 1}, {"SOSI2", 2}, {"SOSI3", 3}};
constexpr ParmWord kRecfm[] = {{"F", 0}, {"V", 1}, {"D", 2}};
constexpr ParmWord kOrient[] = {{"0", 0}, {"90", 1}, {"180", 2}, {"270", 3}};
constexpr ParmWord kPages[] = {{"CUR", 1}, {"ALL", 0}, {"SEL", 2}};

}  // namespace

int ParmGetCc(const char* text) { return FixedWord(text, "CC", kCc, 0, 0); }
int ParmGetTrc(const char* text) { return FixedInt(text, "TRC", 0); }
int ParmGetPr(const char* text) { return FixedWord(text, "PR", kPr, 0, 0); }
int ParmGetRecfm(const char* text) { return FixedWord(text, "RECFM", kRecfm, 2, 2); }
int ParmGetCdpg(const char* text) { return FixedInt(text, "CDPG", 850); }
int ParmGetLnct(const char* text) { return FixedInt(text, "LNCT", 0); }
int ParmGetLrecl(const char* text) { return FixedInt(text, "LRECL", 1); }

std::string ParmGetRecDelim(const char* text) { return FixedText(text, "RECDELIM", 16).value_or("0A"); }

double ParmGetPWidth(const char* text) {
    auto value = Fixed(text, "PWIDTH");
    return value ? ParseDouble(*value) : 0.0;
}

double ParmGetPLength(const char* text) {
    auto value = Fixed(text, "PLENGTH");
    return value ? ParseDouble(*value) : 0.0;
}

int ParmGetOrient(const char* text) { return FixedWord(text, "ORIENT", kOrient, 0, 0); }
std::optional<std::string> ParmGetExtension(const char* text) { return FixedText(text, "EXTENSION", 20); }
int ParmGetPages(const char* text) { return FixedWord(text, "PAGES", kPages, 0, 1); }
std::optional<std::string> ParmGetPrtOpt(const char* text) { return FixedText(text, "PRTOPT", 1024); }

int ParmGetPageHdrRows(const char* text) { return FixedInt(text, "PAGEHDRROWS", 0); }
int ParmGetFldHdrRows(const char* text) { return FixedInt(text, "FLDHDRROWS", 0); }
int ParmGetValRow(const char* text) { return FixedInt(text, "VALROW", 0); }
int ParmGetValCol(const char* text) { return FixedInt(text, "VALCOL", 0); }
void ParmSetPageHdrRows(ParmText* text, int value) { SetFixedInt(text, "PAGEHDRROWS", value); }
void ParmSetFldHdrRows(ParmText* text, int value) { SetFixedInt(text, "FLDHDRROWS", value); }
void ParmSetValRow(ParmText* text, int value) { SetFixedInt(text, "VALROW", value); }
void ParmSetValCol(ParmText* text, int value) { SetFixedInt(text, "VALCOL", value); }

std::optional<std::string> ParmGetValValue(const char* text) { return FixedText(text, "VALVALUE", 8); }

std::optional<std::string> ParmGetDefView(const char* text) {
    auto value = FixedText(text, "DEFVIEW", 30);
    if (value) ParmEscapeViewName(value->c_str(), 0, &*value);
    return value;
}

std::optional<std::string> ParmGetSrvrNorla(const char* text) { return FixedCopy(text, "SRVR_NORLA"); }
std::optional<std::string> ParmGetAfp2LineCmd(const char* text) { return FixedCopy(text, "AFP2LINE_CMD"); }

int ParmGetPageId(const char* text) { return IntValue(text, ParmPageIdSection(), "PageId", 0); }
