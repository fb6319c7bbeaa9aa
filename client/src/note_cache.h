// note_cache.h - the cached notes of an open document (internal).
#pragma once

#include "qel_client.h"

namespace qelclient {

// The third position number of a note travels in bytes 4..7 of its key (little-endian);
// byte 0 is the colour.
inline constexpr size_t kNotePosition3Offset = 4;
void PutPosition3(CsXdrNote* note, int32_t position);
int32_t GetPosition3(const CsXdrNote& note);

// The cached form of a delivered note: author and group (from the session's group list),
// time stamp formatted with the client's date-time format, text and data copied.
DocNoteEntry MakeNoteEntry(const ClientSession& session, const CsXdrNote& note);

// Inserts the entry newest first: before the first entry that is older, else at the end
// (equal time stamps keep the order of arrival). Then numbers the entries from the
// count down to 1.
void CacheNote(DocNotesHolder* holder, DocNoteEntry entry);
// Puts the entry first, marked new, and numbers the entries.
void CacheNewNote(DocNotesHolder* holder, DocNoteEntry entry);

// Whether notes with attached data are cached (Note_SetShowAll).
bool ShowAllNotes();

}  // namespace qelclient
