// arc_profile.h - INI-form profile text: lookup and editing, in memory and in files.
//
// Profile text is a zero-terminated text of lines ended by a line feed:
//   ;comment            a comment (';' as the first character)
//   <LF> or <CR>...     a blank line
//   [name]              a section header: the text between '[' and the first ']'
//   key=value           a key line: key before the first '=', value after it
// Section and key names are compared ignoring case (ASCII letters). A line longer
// than ARCPROF_MAX_LINE characters is read as its first ARCPROF_MAX_LINE characters;
// the rest of that line is skipped. A profile image is a text allocated with malloc;
// the caller owns and frees it. Details: docs/profile-format.md.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Longest line the reader sees; longer lines are cut and their rest skipped.
inline constexpr size_t ARCPROF_MAX_LINE = 32766;

// Looks a key up in an image (a null text is an empty one). The buffer receives the
// value (blanks at both ends removed, then one pair of matching ' or " quotes when the
// value has at least two characters) or the default (the empty text for a null
// default), cut to size-1 characters. With a null key it tests the section: "1" when
// present, else "0" (or the empty text for a null default). The first matching
// section and key win. Returns the length written; 0 and nothing written for size 0.
size_t ArcPROF_GetFromImage(const char* section, const char* key, const char* defaultValue, char* buffer,
                            size_t size, const char* text);

// The same lookup in a file. A missing or unreadable file gives the default.
size_t ArcPROF_GetString(const char* section, const char* key, const char* defaultValue, char* buffer,
                         size_t size, const char* path);

// Edits an image in place; *text may be reallocated (a null *text is an empty image).
//  - section missing: with key and value, "[section]\n" "key=value\n" "\n" is appended;
//    otherwise nothing changes (0).
//  - null key: the section is removed, header up to the next section header.
//  - key present: null value removes its line, else the line becomes "key=value\n".
//  - key missing: a value is inserted after the section's last key line; a null value
//    gives 1 (nothing to delete).
// Names and values that would write lines reading back differently are refused with 1:
// CR or LF anywhere, ']' in a section, '=' in a key, a key starting with ';' or '['.
// 0 done; 1 refused, nothing to delete or out of memory (the text is then unchanged).
int ArcPROF_SetInImage(const char* section, const char* key, const char* value, char** text);

// Edits a file as ArcPROF_SetInImage does (a missing file is an empty text) and
// replaces it atomically: a failure leaves the old file whole. 0 done; 1 when the edit
// is refused or finds nothing to delete; else the errno of the failed file step.
// The file is not touched when the edit changes nothing.
int ArcPROF_WriteString(const char* section, const char* key, const char* value, const char* path);

// Loads a whole file as a malloc'ed image (the text ends at its first zero byte).
// 0 with *text set, or 0 with *text null when the file does not exist; else the errno
// of the failed read, or 1 when out of memory (*text null).
int ArcPROF_LoadFile(const char* path, char** text);

// Writes an image as the whole file, atomically (a null text writes an empty file).
// 0, or the errno of the failed step; the old file then stays whole.
int ArcPROF_SaveFile(const char* path, const char* text);

// One key line of a section, value cleaned as by ArcPROF_GetFromImage.
struct ArcPROFEntry {
    std::string key;
    std::string value;
};

// Lists the key lines of the first section of that name, in order (repeated keys
// included). 0 when the section exists, 1 when it does not (entries then empty).
int ArcPROF_ListSection(const char* section, const char* text, std::vector<ArcPROFEntry>* entries);
