// arc_messages.h - the message catalogue: numbered messages, their texts and their formatting.
//
// Every message is named by its catalogue index (0 to ARC_MSG_COUNT - 1). A row gives the
// external number that users and the event log see, the event identifier, the severity,
// the category, the destinations and the text. English texts are built in; for any other
// language every text comes from the language's message library
// "<locale>/<lang>/libqellgs32.so", loaded on start-up.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

struct ArcOSLibrary;

// Number of rows of the catalogue.
inline constexpr int ARC_MSG_COUNT = 1738;

// The event source under which messages reach the event log, and which the message library
// registers itself for. Message issuing and the library use this one constant.
inline constexpr const char* ARC_MSG_EVENT_SOURCE = "Tidewell for WinNT";

// File name of the message library inside the language directory.
inline constexpr const char* ARC_MSG_LIBRARY_NAME = "libqellgs32.so";

// Entry point of the message library: the text of an event identifier (ended by CR LF,
// inserts written "%1" to "%9"), or null when the library has none.
inline constexpr const char* ARC_MSG_LOOKUP_ENTRY = "QelLgs_GetMessageText";
using ArcMsgLookupFn = const char* (*)(uint32_t eventId);

// Event types in the top two bits of an event identifier.
inline constexpr uint32_t ARC_MSG_TYPE_INFORMATION = 0x40000000u;
inline constexpr uint32_t ARC_MSG_TYPE_WARNING = 0x80000000u;
inline constexpr uint32_t ARC_MSG_TYPE_ERROR = 0xC0000000u;

// Destination bits of a row.
inline constexpr uint32_t ARC_MSG_DEST_SYSTEM_LOG = 0x1;
inline constexpr uint32_t ARC_MSG_DEST_CALLBACK = 0x2;
inline constexpr uint32_t ARC_MSG_DEST_HOST_TEXT = 0x4;

// One catalogue row, six words.
struct ArcMsgRow {
    uint32_t number = 0;         // external number, 0 to 7534
    uint32_t eventId = 0;        // event type bits | number
    uint32_t severity = 0;       // the character '1' to '5'
    uint32_t category = 0;       // one bit: 1, 2, 4, 8 or 16
    uint32_t destinations = 0;   // ARC_MSG_DEST_* bits
    const char* text = nullptr;  // the catalogue's own text; valid for the life of the process
};

// Loads the message library unless one is loaded already. directory: the locale directory
// (null: the install's locale directory); language: null for "enu", else its first three
// characters, lower-cased. 0 ready, 1 the library could not be loaded (or the directory or
// language is not usable). A later ArcMSGS_GetText retries with the same directory and language.
int ArcMSGS_Init(const char* directory, const char* language);

// Sets the library path as ArcMSGS_Init does, without loading. A language other than "enu"
// clears every built-in text, so that texts come from the library; "enu" restores them.
void ArcMSGS_SetPath(const char* directory, const char* language);

// The library path that ArcMSGS_SetPath made (empty before the first call).
std::string ArcMSGS_GetPath();

// Copies row `index` into *row: 0, or 1 for an index outside 0..ARC_MSG_COUNT-1 or a null row.
// A row without text takes the library's text for its event identifier, else
// "Unable to find message number (N)" with its external number.
int ArcMSGS_GetText(int index, ArcMsgRow* row);

// The library's text for an event identifier without trailing CR and LF, or the fallback
// (empty for a null fallback) when there is no library, no entry point or no such text.
std::string ArcMSGS_LoadText(ArcOSLibrary* library, uint32_t identifier, const char* fallback);

// Number of inserts in a text: each '%' followed by a digit counts once. 0 for null.
int ArcMSGS_CountInserts(const char* text);

// Substitutes the inserts of `text` and writes the result to `stream` when it is not null,
// else into `target` (size bytes, always zero-terminated when size > 0, cut when too small).
// An insert is '%' and a digit d, optionally followed by '$' and one more character
// ("%2$s" or "%2"); it takes args[d-1] (args[0] for d = 0). An argument beyond `count`, or a
// null one, is empty. Every other character is copied as it stands, also a lone '%', and the
// inserted texts are never scanned again. Result: the number of characters written.
int ArcMSGS_FormatString(FILE* stream, char* target, size_t size, const char* text, const char* const* args,
                         int count);

// ArcMSGS_FormatString into a buffer.
int ArcMSGS_Format(char* target, size_t size, const char* text, const char* const* args, int count);

// Test hook: unloads the library, forgets the path and restores the built-in texts. Texts
// handed out before stay valid.
void ArcMSGS_Reset();
