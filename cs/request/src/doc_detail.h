// Internals shared by the store, search and retrieve operations: the local record of a
// group with the user's rights on it, hits as index rows and back, node entries for
// the wire.
#pragma once

#include <cstdint>
#include <string>

#include "qel_cs.h"
#include "qel_cswire.h"
#include "qel_local.h"
#include "qel_sm.h"

namespace cstexts {
class ArchiveTexts;
}

namespace csdoc {

// A group as the local server keeps it, with the logged-on user's rights on it.
struct LocalGroup {
    QelLocalAppGroup record;
    uint8_t permissions = 0;       // CS_PERMIT_* bits
    uint16_t notePermissions = 0;  // CS_NOTE_PERMIT_* bits
    std::string restriction;       // the user's query restriction; empty: none
    SmApplGroup storage;           // what the storage manager needs of it
};

// Reads group `number` and the logged-on user's permission row for it (the user's own,
// else a group's; none: everything for a user who sees every folder). Inside the local
// server's bracket. CS_OK; CS_NOT_AUTHORISED without a logon or a row; CS_FAILED for an
// unknown group; the local server's failure.
int ReadLocalGroup(CsHandle* handle, uint32_t number, LocalGroup* out);

// The hit as an index row of the local group: one value per field, each slot of the
// field's type ('S' texts no longer than the field); the object reference as the row
// header (none: an empty header). 'S' texts go from the session's code page to the
// archive's. CS_OK, or CS_FAILED for a hit that does not fit or convert.
int HitToRow(const QelLocalAppGroup& group, const CsXdrHitRow& hit, cstexts::ArchiveTexts& texts,
             QelLocalIdxRow* row);
// A packed hit (CsPackHit, extra bytes before it) of an index row of the segment, typed by
// the group's fields, its texts in the session's code page; note flag 0. CS_OK; CS_FAILED
// for a segment name that does not fit the hit's field or a text that does not convert;
// CS_NO_MEMORY.
int RowToHit(const CsXdrApplGroup& group, const QelLocalIdxRow& row, const char* segment, int extra,
             cstexts::ArchiveTexts& texts, CsXdrHitRow** hit);

// The value of the hit's segment-date field (CS_FIELD_SEGMENT_DATE) by its type ('N'
// 16-bit, 'I' 32-bit, else 64-bit): CS_OK, or CS_FAILED when the group has no such field
// or the slot is missing.
int SegmentDate(const CsXdrApplGroup& group, const CsXdrHitRow& hit, int64_t* value);

// A node entry of a storage set as the wire's record (zeroed for none): CS_OK, or
// CS_FAILED for a text that does not fit.
int ToNodeEntry(const CsStorageNode* node, CsXdrNodeEntry* entry);

// Whose notes of a group the logged-on user reads (docs/notes.md): every note (user -1)
// for user types 0x04 and 0x10 and for CS_PERMIT_ALL_NOTES in the user's permissions
// on the group; else the public ones, the user's own and those of the user's groups.
// The group list points into the handle's logon record: use it while the logon lasts.
struct NoteReader {
    int32_t user = -1;
    const char* groupList = nullptr;
};
// The reader of a handle with a logon; group null when the user's permissions on the
// group are not known (only the user type then reads every note).
NoteReader NotesReadBy(const CsHandle& handle, const LocalGroup* group);

// The restriction rows of a group pass for the user: the user's own query restriction
// ANDed with the one the folder record carries for the group (null or empty: none).
std::string Restriction(const std::string& user, const char* folder);

// The one segment of the group with this name, dated or not. CS_OK with *found the name as
// the group lists it; CS_NOT_FOUND for none; CS_FAILED for more than one; CS_UNAVAILABLE
// (message 146) for one that is not available.
int FindSegment(CsHandle* handle, const LocalGroup& local, const char* name, std::string* found);

// How a hit names its row: by its document (the object reference), or by its document
// and every value.
enum class RowMatch { kDocument, kExact };

// Whether the hit names a row the user could find in the folder: a row of the hit's
// segment that matches it (QelLocal_CheckIndexRow) and passes Restriction(local's,
// folderRestriction); with `replacement`, that row with the replacement's values passes
// too. Inside the local server's bracket. CS_OK; CS_NOT_AUTHORISED when there is no such
// row (also no segment of that name, or a hit that fits no row); CS_FAILED for a hit
// without an object reference, a replacement that does not fit, or a restriction the
// index cannot answer; CS_UNAVAILABLE (message 146); *segment (may be null) gets the
// segment's name as the group lists it.
int CheckRow(CsHandle* handle, const LocalGroup& local, const char* folderRestriction, const CsXdrHitRow& hit,
             RowMatch match, const CsXdrHitRow* replacement = nullptr, std::string* segment = nullptr);

// A permission check: CS_OK or CS_NOT_AUTHORISED.
inline int Permit(uint8_t permissions, uint8_t bit) {
    return (permissions & bit) ? CS_OK : CS_NOT_AUTHORISED;
}

// Seconds since a start, for the elapsed-time inserts of messages 48 and 49.
class Stopwatch {
public:
    Stopwatch();
    std::string Seconds() const;  // "%.3f"

private:
    int64_t startMs_;
};

}  // namespace csdoc
