// keyed_file.h - the keyed files under the segment index: one data file of fixed
// records and one index file of sorted keys, one key member per field.
//
// The index file ".ind" is an LMDB environment (one file, MDB_NOSUBDIR) with one
// named database per key member; the data file ".dat" is a header record followed
// by the records. Layouts and the key encoding are in docs/index.md.
//
// A member key is the field's key (key length bytes, made by QelKf_MakeKey)
// followed by the record's slot number, 4 bytes big-endian, so that equal values
// sort by record and every member key is unique. Keys compare with memcmp.
//
// Results follow the roles the segment index relies on: 0 is success, a lookup
// gives the record's byte position (0: none, then LastError() tells a missing key,
// 0, from a failure).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

namespace qel::local::detail {

// Modes of QelKf_Open.
enum : int { QELKF_OPEN_BUILD = 1, QELKF_OPEN_SEARCH = 9 };
// Modes of QelKf_MakeKey.
enum : int { QELKF_KEY_TEXT = 0, QELKF_KEY_INTEGER = 8, QELKF_KEY_DOUBLE = 9 };

// Bytes of the record slot behind every member key.
inline constexpr size_t QELKF_SLOT_SIZE = 4;
// Longest field key: a text of 254 bytes.
inline constexpr size_t QELKF_MAX_KEY = 254;
// Key members of one index file.
inline constexpr int QELKF_MAX_MEMBERS = 32;

// LastError() values.
enum : uint16_t {
    QELKF_ERR_NONE = 0,      // no failure: a lookup that found nothing
    QELKF_ERR_IO = 1,        // a file could not be read or written
    QELKF_ERR_ARGUMENT = 2,  // unknown file or member number, wrong length, bad mode
    QELKF_ERR_DAMAGED = 3,   // a file's header, sizes or keys are not ours
    QELKF_ERR_FULL = 4,      // no room for another record slot
};

// Turns a value into key form in place. TEXT: the buffer holds length bytes of
// blank-padded text and is left as it is. INTEGER: the buffer holds a native
// integer of length 8, 4 or 2 bytes; it becomes big-endian with the sign bit
// flipped. DOUBLE: the buffer holds a native double (length 8); it becomes
// big-endian with every bit inverted when negative, else the sign bit flipped.
// Keys of one mode and length then order as their values do under memcmp.
// -0.0 is made 0.0 first; NaN sorts above every number. Returns 0, or -1 for a
// mode and length that do not go together.
int QelKf_MakeKey(int mode, size_t length, uint8_t* buffer);

// One set of open keyed files, numbered as the segment index numbers them: the
// index file is number 0 and the data file has the number the caller gives it.
// A set holds at most one index file and one data file. Not thread-safe; the
// local server runs one request at a time.
class KeyedFile {
public:
    virtual ~KeyedFile() = default;

    // Opens an existing file for building (QELKF_OPEN_BUILD) or searching
    // (QELKF_OPEN_SEARCH). A file that exists but is not ours fails.
    virtual int Open(int file, const std::string& name, int mode) = 0;
    // Creates a new data file (replacing nothing: an existing file fails) and opens
    // it for building.
    virtual int CreateData(int file, const std::string& name, uint32_t recordLength) = 0;
    // Creates a new index file with member 0 of memberKeyLength bytes (field key
    // length + QELKF_SLOT_SIZE) and room for furtherMembers more; opens it for building.
    virtual int CreateIndex(const std::string& name, uint32_t memberKeyLength, int furtherMembers) = 0;
    // Declares member `member` (1.. furtherMembers) of the index file being created.
    virtual int AddKeyMember(int member, uint32_t memberKeyLength) = 0;

    // The byte position of a new record slot of the data file: the first slot after
    // every record of earlier builds; 0 when none is left.
    virtual uint64_t Reserve(int file) = 0;
    // Adds key (the field key, member key length - QELKF_SLOT_SIZE bytes) with the
    // slot of position to member.
    virtual int AddKey(int member, std::span<const uint8_t> key, uint64_t position) = 0;
    // Writes or reads one whole record (the data file's record length) at position.
    virtual int Write(int file, uint64_t position, std::span<const uint8_t> record) = 0;
    virtual int Read(int file, uint64_t position, std::span<uint8_t> record) = 0;
    // Replaces the record at position, one of a finished build, and moves its keys:
    // oldKeys and newKeys hold one field key per member, back to back in member
    // order; each old key of the record becomes the new one. Only in a build that
    // has reserved nothing, which then reserves nothing more. As a build's records,
    // the change holds once the index file closes; Abandon(), a failed close or a
    // crash leaves the old record and keys (a close fails when an old key is not the
    // record's). Searches see the old record until then.
    virtual int Replace(int file, uint64_t position, std::span<const uint8_t> record,
                        std::span<const uint8_t> oldKeys, std::span<const uint8_t> newKeys) = 0;

    // Lookups over a member's keys. key receives the whole member key found (field
    // key and slot); target is a whole member key too. Each gives the position of
    // the key's record, 0 when there is none.
    virtual uint64_t First(int member, std::span<uint8_t> key) = 0;
    virtual uint64_t Last(int member, std::span<uint8_t> key) = 0;
    virtual uint64_t FirstAtLeast(int member, std::span<const uint8_t> target, std::span<uint8_t> key) = 0;
    virtual uint64_t LastAtMost(int member, std::span<const uint8_t> target, std::span<uint8_t> key) = 0;
    virtual uint64_t LastBelow(int member, std::span<const uint8_t> target, std::span<uint8_t> key) = 0;
    // The key after (before) the one in key, which receives it.
    virtual uint64_t Next(int member, std::span<uint8_t> key) = 0;
    virtual uint64_t Previous(int member, std::span<uint8_t> key) = 0;

    // Closes a file. Keys and records added while building become visible together
    // when the index file closes; a build that fails before then adds nothing
    // (Abandon). A file opened for searching sees the keys as they were when it was
    // opened or last Refresh()ed.
    virtual int Close(int file) = 0;
    // Drops what the running build added and closes both files.
    virtual void Abandon() = 0;
    // Moves a search to the latest finished build.
    virtual int Refresh() = 0;

    // Record slots in use: records of finished builds (and, while building, those
    // reserved since).
    virtual uint64_t RecordCount() const = 0;
    virtual uint16_t LastError() const = 0;
};

// The library's start and stop around the local server's life (1024, 33, 32 at
// start); 0 or 125 is success at start, 0, 133, 162 or 410 at stop.
int QelKf_Start(int files, int members, int depth);
int QelKf_Stop();

// Removes a data file and its index file that an interrupted creation left (an index
// file still being created does not open again), once no build holds the data file: a
// build keeps an exclusive flock on it. finished() is asked after the wait; true keeps
// the files (the build waited for completed them). False when they cannot be removed.
bool QelKf_RemoveUnfinished(const std::string& dataName, const std::string& indexName,
                            const std::function<bool()>& finished);

// A set of keyed files on LMDB.
std::unique_ptr<KeyedFile> QelKf_NewLmdb();

}  // namespace qel::local::detail
