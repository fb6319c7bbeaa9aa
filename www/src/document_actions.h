// Internal: what updatedoc, printdocs, getnotes and addnote share - the reply frame, the
// texts put into it, the hit of the request's docid and the note lines.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "documents.h"
#include "search_pages.h"

struct DocNoteEntry;

namespace qelwww::detail {

// Kinds of QelWWW_FormatNoteLine.
inline constexpr int kNoteHeaderLine = 1;   // "NOTE n: date by user for page p"
inline constexpr int kNoteSharingLine = 2;  // "Public - Can be copied ..."

// One line about a note (message 498 for kind 1, 499 for kind 2); empty for another kind.
// The text is the archive's as it stands: the caller escapes it for its reply.
std::string QelWWW_FormatNoteLine(const DocNoteEntry& note, int kind);

// A text on one line of a reply: HTML-escaped in an HTML reply; in a plain-text reply
// escaped as PlainEscape (plain_text.h) says.
std::string LineValue(const QelWWWConfig* config, const QelWWWSession* session, std::string_view text);
// A text of several lines (a note's text): HTML-escaped with every line feed written as
// "<br>\n" and other control bytes as blanks in an HTML reply; in plain text one line,
// escaped as PlainEscape says.
std::string BlockValue(const QelWWWConfig* config, const QelWWWSession* session, std::string_view text);

// The content type and, for an HTML reply, the template's head; the state cookies.
void BeginReply(const QelWWWConfig* config, QelWWWSession* session);
// The template's tail of an HTML reply.
void EndReply(const QelWWWConfig* config, QelWWWSession* session);
// "[BEGIN]" / "[END]" lines (the configured characters) into the text body.
void BeginLine(const QelWWWConfig* config, QelWWWSession* session);
void EndLine(const QelWWWConfig* config, QelWWWSession* session);

// The error reply of a catalogue message, then the folder closed and the logon ended
// (full logoff). Always 1, the action's result.
int FailAction(const QelWWWConfig* config, QelWWWSession* session, OpenFolder* folder, int message,
               const std::vector<std::string>& inserts);
// The same for a client status (its own text, else the message of its code; `fallback`
// when the status holds neither).
int FailWithStatus(const QelWWWConfig* config, QelWWWSession* session, OpenFolder* folder,
                   const ClientStatus& status, int fallback);

// The hit of the request's _docid/_d (as the parser decoded it, never decoded again):
// the folder's only hit. Null with the action failed (491 "_docid" when absent, 454 when
// it does not read).
SearchHit* RequestHit(const QelWWWConfig* config, QelWWWSession* session, OpenFolder* folder);

// True for _applet=1.
bool AppletMode(const QelWWWSession* session);

}  // namespace qelwww::detail
