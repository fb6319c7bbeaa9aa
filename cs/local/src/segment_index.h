// segment_index.h - the open index of one segment and the helpers its build,
// search and row reading share.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "hit_bitmap.h"
#include "keyed_file.h"
#include "qel_local.h"
#include "table_file.h"

namespace qel::local::detail {

struct IdxField {
    char type = 0;
    int kind = QELSQL_FIELD_TEXT;  // the WHERE parser's kind
    size_t keyLength = 0;          // bytes in the record and the key; 0: not stored
    int member = -1;               // its key member in the index file; -1: not stored
    size_t offset = 0;             // in the record
    std::string min, max;          // as the last build wrote them
};

// The files of a segment: "index/<storage identifier>/<number, 8 digits>.dat" and ".ind".
struct SegmentFiles {
    std::string profile;  // "index/<group NAME>.seg"
    std::string folder;   // "index/<storage identifier>/"
};

// Paths of a group's segment profile and files; none for names that would leave
// the index folder.
std::optional<SegmentFiles> SegmentPaths(const QelLocalAppGroup& group);
std::string SegmentFileName(const SegmentFiles& files, int64_t number, const char* extension);

// The record layout of a group's fields; false when a field cannot be stored
// (a text longer than a key allows, more than QELIDX_MAX_FIELDS fields).
bool FieldLayout(const QelLocalAppGroup& group, std::vector<IdxField>* fields, size_t* recordLength);

// The stored record of a row (record: the record length): CS_OK, or
// QELIDX_BAD_HEADER when the header or a value does not fit.
int EncodeRow(const std::vector<IdxField>& fields, const QelLocalIdxRow& row, std::span<uint8_t> record);
// The field's key (keyLength bytes): value, whose stored bytes are at stored, in key form.
void MakeFieldKey(const IdxField& field, const QelLocalIdxValue& value, const uint8_t* stored, uint8_t* key);

// The WHERE parser's kind of a field type letter.
int ParserKind(char type);

// Opens index for the segment of group; the index's status.
int OpenIndexLocked(QelLocalIdx* index, const QelLocalAppGroup& group, const std::string& segment);

}  // namespace qel::local::detail

class QelLocalIdx {
public:
    int status = QELIDX_MISSING;
    QelLocalAppGroup group;  // as opened: a segment without rows is opened again by its next search
    std::string segment;
    qel::local::detail::SegmentFiles paths;
    int64_t fileNumber = 0;
    int64_t totalRows = 0;
    size_t recordLength = 0;  // DATA_OFFSET
    int64_t blockMultiplier = 0;
    int markedField = -1;
    bool empty = false;  // no rows loaded yet: no files to open
    std::vector<qel::local::detail::IdxField> fields;
    std::array<int, QELSQL_MAX_FIELDS> kinds{};
    char names[QELSQL_MAX_FIELDS][QELSQL_NAME_SIZE] = {};
    std::unique_ptr<qel::local::detail::KeyedFile> files;
    int64_t position = 0;         // the next bit to look at
    bool searching = false;       // this index's hits are in the result bitmap
    std::vector<uint8_t> record;  // one record, for reads
};
