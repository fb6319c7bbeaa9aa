// qel_parm.h - parameter text: sections "[name]" and lines "key=value", every line
// ended by LF (docs/parmtext.md).
//
// Names and keys match exactly. Read functions take the zero-terminated text (null: no
// text) and answer pointers into it; editing functions work on a ParmText, which owns a
// growing buffer, and take offsets. Setters strip CR and LF from names, keys and values,
// '=' from keys and a leading open delimiter from keys, so that no value can add a key or
// a section. When memory runs out, setters leave the text as it was and allocating
// getters answer none.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

struct ArcIconvContext;  // arc_codepage.h

struct ParmText {
    std::string text;
    const char* c_str() const { return text.c_str(); }
};

// An offset that is not there: a missing section or key, or an edit that failed.
inline constexpr size_t PARM_NPOS = static_cast<size_t>(-1);

// Results of the setters that can refuse.
enum ParmResult : int {
    PARM_OK = 0,
    PARM_REFUSED = 1,
};

// ===========================================================================
// Delimiters
// ===========================================================================

// Sets the three delimiters (open, close, and the character that stands for '@' in the
// reserved section names) for the code page ccsid: for an EBCDIC CCSID the code page
// 500 bytes 4A 5A 7C converted into it, else "[", "]", "@" (also when conversion fails).
// The three bytes are written to delimiters (may be null). PARM_OK.
int ParmSetDelimiters(ArcIconvContext* context, int32_t ccsid, char* delimiters);
// The current delimiters; the three change as one, so a reader never sees half a set.
char ParmOpenDelimiter();
char ParmCloseDelimiter();
// The reserved section names, '@' written as the current third delimiter.
std::string ParmFixedSection();         // "@_FIXED_@"
std::string ParmPrintOptionsSection();  // "@_PRINT_OPTIONS_@"
std::string ParmPageIdSection();        // "@_PageIdentifier_@"

// ===========================================================================
// Reading
// ===========================================================================

// The line after the section line "[name]", or none (also for a null text or name).
const char* ParmFindSection(const char* text, const char* name);
// The value after "key=" in the body, up to the next section line; none when missing
// or for a null body or key.
const char* ParmFindKey(const char* body, const char* key);
// The next LF at or after p, or the terminating zero; none for a null p.
const char* ParmLineEnd(const char* p);
// A copy of the value up to its LF or the end of the text; none when missing or when
// memory runs out.
std::optional<std::string> ParmGetString(const char* body, const char* key);

// Offsets in a ParmText: the section's body, or the key's value in the body at offset
// body. PARM_NPOS when missing, for a null text or a body past the end.
size_t ParmFindSectionAt(const ParmText* text, const char* name);
size_t ParmFindKeyAt(const ParmText* text, size_t body, const char* key);

// ===========================================================================
// Editing
// ===========================================================================

// Appends "[name]" (after an LF when the text lacks its last one); the new end, or
// PARM_NPOS for a null text or when memory runs out.
size_t ParmAppendSection(ParmText* text, const char* name);
// Missing section: appended with the key line; missing key: the key line becomes the
// section's first line; present key: its value is replaced. A null value deletes the key.
void ParmSetValue(ParmText* text, const char* section, const char* key, const char* value);
// Inserts "key=value" + LF, or a line, at a line start (a position inside a line moves
// to the next line's start); the offset after it, or PARM_NPOS for a null text or when
// memory runs out.
size_t ParmInsertKey(ParmText* text, size_t position, const char* key, const char* value);
size_t ParmInsertLine(ParmText* text, size_t position, const char* line);
// Replaces the value that starts at valueStart, up to its LF. Nothing past the end.
void ParmReplaceValue(ParmText* text, size_t valueStart, const char* value);
// Deletes the whole line of the key whose value starts at valueStart. Nothing at 0 or
// past the end.
void ParmDeleteKey(ParmText* text, size_t valueStart);
// Deletes the line that starts at lineStart; the number of bytes moved (0 at or past
// the end).
size_t ParmDeleteLine(ParmText* text, size_t lineStart);

// mode 1: ',' -> 0x01 (as view names are stored); mode 0: 0x01 -> ','. A null text is
// the empty text; a null out does nothing.
void ParmEscapeViewName(const char* text, int mode, std::string* out);

// ===========================================================================
// @_FIXED_@
// ===========================================================================
//
// Each getter answers the default after it when the text, the section or the key is
// missing. Numbers read as atol does, saturating at the limits; a word value reads as
// the first listed word it begins with, and an unknown word as the default unless said
// otherwise. Texts are cut to the length given; none when missing.

enum ParmCc { PARM_CC_NONE = 0, PARM_CC_ANSI = 1, PARM_CC_MACH = 2 };
enum ParmPr { PARM_PR_NONE = 0, PARM_PR_SOSI1 = 1, PARM_PR_SOSI2 = 2, PARM_PR_SOSI3 = 3 };
enum ParmRecfm { PARM_RECFM_F = 0, PARM_RECFM_V = 1, PARM_RECFM_D = 2 };
enum ParmPages { PARM_PAGES_ALL = 0, PARM_PAGES_CUR = 1, PARM_PAGES_SEL = 2 };

int ParmGetCc(const char* text);                                // 0
int ParmGetTrc(const char* text);                               // 0
int ParmGetPr(const char* text);                                // 0
int ParmGetRecfm(const char* text);                             // 2
int ParmGetCdpg(const char* text);                              // 850
int ParmGetLnct(const char* text);                              // 0
int ParmGetLrecl(const char* text);                             // 1
std::string ParmGetRecDelim(const char* text);                  // "0A"; at most 16 characters
double ParmGetPWidth(const char* text);                         // 0
double ParmGetPLength(const char* text);                        // 0
int ParmGetOrient(const char* text);                            // 0, 90 -> 1, 180 -> 2, 270 -> 3
std::optional<std::string> ParmGetExtension(const char* text);  // at most 20
int ParmGetPages(const char* text);                             // 0; unknown word 1
std::optional<std::string> ParmGetPrtOpt(const char* text);     // at most 1024
int ParmGetPageHdrRows(const char* text);                       // 0
int ParmGetFldHdrRows(const char* text);                        // 0
int ParmGetValRow(const char* text);                            // 0
int ParmGetValCol(const char* text);                            // 0
// Write the number as the key's value (the section is added when missing).
void ParmSetPageHdrRows(ParmText* text, int value);
void ParmSetFldHdrRows(ParmText* text, int value);
void ParmSetValRow(ParmText* text, int value);
void ParmSetValCol(ParmText* text, int value);
std::optional<std::string> ParmGetValValue(const char* text);     // at most 8
std::optional<std::string> ParmGetDefView(const char* text);      // at most 30, unescaped
std::optional<std::string> ParmGetSrvrNorla(const char* text);    // the whole value
std::optional<std::string> ParmGetAfp2LineCmd(const char* text);  // the whole value

// Field list FLD01, FLD02, ... ("a,b,name,text").
inline constexpr int PARM_MAX_FIELDS = 30;
struct ParmFieldDef {
    int32_t first = 0;
    int32_t second = 0;
    char name[19] = {};
    char text[21] = {};
};
// The number of consecutive keys FLD01, FLD02, ... present (not capped at 30).
int ParmCountFields(const char* text);
// Reads up to 30 entries into fields (zero-filled first); the number read (0 for a null
// fields). An entry is read as far as it goes: b is a without a ','.
int ParmGetFields(const char* text, ParmFieldDef* fields);
// Replaces the field list by count entries (at most 30). PARM_OK; PARM_REFUSED for a
// count outside 0..30, a name holding ',', or out of memory.
int ParmSetFields(ParmText* text, const ParmFieldDef* fields, int count);

// Views: VIEWS lists the names separated by ',' (up to 20, each cut to 30; empty parts
// skipped).
inline constexpr int PARM_MAX_VIEWS = 20;
struct ParmViewList {
    int count = 0;
    char names[PARM_MAX_VIEWS][31] = {};
};
// The number of names VIEWS lists (at most 20); 0 without VIEWS.
int ParmCountViews(const char* text);
// The names, unescaped; none without VIEWS or when memory runs out.
std::unique_ptr<ParmViewList> ParmGetViews(const char* text);

// ===========================================================================
// A view's section
// ===========================================================================
//
// view: the view's name as VIEWS lists it; its section is named with ',' escaped. A
// missing text, view, section or key answers the default after the getter (where words
// are listed: the first word's number).

enum ParmColour {
    PARM_COLOUR_NONE = 0,
    PARM_COLOUR_WHITE = 1,
    PARM_COLOUR_BLACK = 2,
    PARM_COLOUR_RED = 3,
    PARM_COLOUR_BLUE = 4,
    PARM_COLOUR_GREEN = 5,
    PARM_COLOUR_YELLOW = 6,
    PARM_COLOUR_MAGENTA = 7,
    PARM_COLOUR_CYAN = 8,
    PARM_COLOUR_GREY = 9,
    PARM_COLOUR_DEFAULT = 10,
    PARM_COLOUR_BAR = 11,
};
// Colours: an unknown word reads as PARM_COLOUR_BLACK.
int ParmGetBkCol(const char* text, const char* view);       // 1
int ParmGetHdCol(const char* text, const char* view);       // 10
int ParmGetSaCol(const char* text, const char* view);       // 6
int ParmGetImgColor(const char* text, const char* view);    // 2
int ParmGetImgInt(const char* text, const char* view);      // NORM 0, LITE 1, NONE 2
int ParmGetTxFid(const char* text, const char* view);       // LINE 0, WORD 1, CHAR 2, DRAFT 3, 240 4
int ParmGetGrayScale(const char* text, const char* view);   // SCALE 0, COLOR 1; unknown 1
int ParmGetOverstrike(const char* text, const char* view);  // SEP 0, MERGE 1, FULL 2
int ParmGetContrast(const char* text, const char* view);    // 128
int ParmGetBright(const char* text, const char* view);      // 128
int ParmGetZoom(const char* text, const char* view);        // 100
int ParmGetCpyGrp(const char* text, const char* view);      // 1
int ParmGetLockHdr(const char* text, const char* view);     // 0
int ParmGetLockedFlds(const char* text, const char* view);  // 0
// FLDDISPORD: up to 30 numbers into order, followed by -1 (31 slots); the count, or
// -1 (order untouched) when the key is missing or view or order is null.
int ParmGetFldDispOrd(const char* text, const char* view, int* order);

// ===========================================================================
// @_PageIdentifier_@
// ===========================================================================

// PageId, or 0 when missing.
int ParmGetPageId(const char* text);

// ===========================================================================
// @_PRINT_OPTIONS_@
// ===========================================================================

// Copies: 1 when missing or below 1; 99 for 99 or more.
int ParmGetCopies(const char* text);
void ParmSetCopies(ParmText* text, int copies);
// The fax-cover keys.
inline constexpr const char* PARM_FAX_KEYS[] = {"RAttn",  "RCompany", "RFax",       "SFrom",   "SCompany",
                                                "SPhone", "SFax",     "SCoverPage", "SSubject"};
// A fax-cover value (at most 1024 characters), none for a missing value or another key.
std::optional<std::string> ParmGetFaxText(const char* text, const char* key);
// PARM_OK; PARM_REFUSED for a key that is not a fax-cover key (the text then as it was).
int ParmSetFaxText(ParmText* text, const char* key, const char* value);
// FROM_n and TO_n: a copy of the value, none when missing.
std::optional<std::string> ParmGetFrom(const char* text, int range);
std::optional<std::string> ParmGetTo(const char* text, int range);
void ParmSetFrom(ParmText* text, int range, const char* value);
void ParmSetTo(ParmText* text, int range, const char* value);
// PAGE_RANGE_BGN_n and PAGE_RANGE_END_n (0 when missing).
long ParmGetPageRangeBgn(const char* text, int range);
long ParmGetPageRangeEnd(const char* text, int range);
void ParmSetPageRangeBgn(ParmText* text, int range, long page);
void ParmSetPageRangeEnd(ParmText* text, int range, long page);
// Any other print option: a copy of the value, none when missing or for a null key.
// Setting with a null key does nothing; a null value deletes the key.
std::optional<std::string> ParmGetPrintOption(const char* text, const char* key);
void ParmSetPrintOption(ParmText* text, const char* key, const char* value);

// ===========================================================================
// Field rules
// ===========================================================================

struct ParmFieldRule {
    char fieldName[101] = {};
    char leadingCharsToRemove[65] = {};
    char trailingCharsToRemove[65] = {};
    char stripChars[65] = {};
    char dateFormat[61] = {};
    char defaultValue[255] = {};
    int32_t divideBy = 1;  // missing or 0: 1
};
// The rule of the named section (values cut to their fields), or none when the section
// is missing, section is null or memory runs out.
std::unique_ptr<ParmFieldRule> ParmGetFieldRule(const char* text, const char* section);
