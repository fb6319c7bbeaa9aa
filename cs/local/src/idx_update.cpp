// idx_update.cpp - rewriting one row of a segment: its record in place, and its keys.
//
// Records have a fixed length, so the new row always fits where the old one is: the
// record keeps its slot and its record number, and the row count does not change.
// The keyed files make the change all or nothing (KeyedFile::Replace).
#include <cstring>
#include <new>

#include "local_state.h"
#include "segment_index.h"

using namespace qel::local::detail;

namespace {

// The field keys of a record, back to back in member order (members follow field order).
// (Decoding reads the record: direction 1 leaves it as it is.)
std::vector<uint8_t> RecordKeys(const std::vector<IdxField>& fields, std::vector<uint8_t>& record) {
    std::vector<uint8_t> keys;
    std::vector<uint8_t> key(QELKF_MAX_KEY);
    for (const IdxField& field : fields) {
        if (field.member < 0) continue;
        QelLocalIdxValue value;
        uint8_t* stored = record.data() + field.offset;
        QelLocalIdx_ConvertField(&value, stored, 1, field.type, field.keyLength);
        MakeFieldKey(field, value, stored, key.data());
        keys.insert(keys.end(), key.begin(), key.begin() + long(field.keyLength));
    }
    return keys;
}

struct Segment {
    std::string dataName, indexName;
    int64_t totalRows = 0;
    int64_t blockMultiplier = 0;
};

// Where the segment's rows are: CS_OK, CS_NOT_FOUND when no load has finished, CS_FAILED.
int FindSegment(const QelLocalAppGroup& group, const std::string& section, size_t recordLength,
                Segment* segment) {
    std::optional<SegmentFiles> paths = SegmentPaths(group);
    if (!paths) return CS_FAILED;
    TableFile profile;
    if (profile.Load(paths->profile) != CS_OK) return CS_FAILED;
    if (!profile.HasSection(section)) return CS_FAILED;
    if (!profile.Get(section, "INDEX_FILE") || !profile.Get(section, "DATA_OFFSET")) return CS_NOT_FOUND;
    int64_t number = 0, dataOffset = 0, version = 0;
    if (profile.Number(section, "INDEX_FILE", 1, 99999999, &number, CS_FAILED) != CS_OK ||
        profile.Number(section, "VERSION", 0, INT32_MAX, &version, CS_FAILED) != CS_OK || version < 4 ||
        profile.Number(section, "TOTAL_ROWS", 0, QELIDX_MAX_ROWS, &segment->totalRows, CS_FAILED, 0) !=
            CS_OK ||
        profile.Number(section, "DATA_OFFSET", 1, INT32_MAX, &dataOffset, CS_FAILED) != CS_OK ||
        profile.Number(section, "BLOCK_MULTIPLIER", 0, INT32_MAX, &segment->blockMultiplier, CS_FAILED) !=
            CS_OK ||
        size_t(dataOffset) != recordLength) {
        return CS_FAILED;
    }
    if (segment->totalRows == 0) return CS_NOT_FOUND;
    segment->dataName = SegmentFileName(*paths, number, ".dat");
    segment->indexName = SegmentFileName(*paths, number, ".ind");
    return CS_OK;
}

// The position of the first record (lowest record number) that holds exactly `record`:
// its keys of the first member, in slot order, lead to it. 0 when there is none; -1 on
// failure.
int64_t FindRecord(KeyedFile& files, int dataFile, const IdxField& first, const Segment& segment,
                   std::span<const uint8_t> record, std::span<const uint8_t> firstKey) {
    const size_t length = first.keyLength + QELKF_SLOT_SIZE;
    std::vector<uint8_t> target(length, 0), key(length), stored(record.size());
    std::memcpy(target.data(), firstKey.data(), first.keyLength);
    const uint64_t end = uint64_t(segment.blockMultiplier + segment.totalRows) * record.size();
    for (uint64_t position = files.FirstAtLeast(first.member, target, key);
         position != 0 && std::memcmp(key.data(), firstKey.data(), first.keyLength) == 0;
         position = files.Next(first.member, key)) {
        // Records past the rows the profile counts are not rows: a search passes them over.
        if (position >= end || position % record.size() != 0) continue;
        if (files.Read(dataFile, position, stored) != 0) return -1;
        if (std::memcmp(stored.data(), record.data(), record.size()) == 0) return int64_t(position);
    }
    return files.LastError() == QELKF_ERR_NONE ? 0 : -1;
}

int Update(const QelLocalAppGroup& group, const QelLocalSegment& segment, const QelLocalIdxRow& old,
           const QelLocalIdxRow& row, int64_t* recordNumber) {
    if (segment.name[0] == '\0') return CS_FAILED;
    std::vector<IdxField> fields;
    size_t recordLength = 0;
    if (!FieldLayout(group, &fields, &recordLength) || fields.empty()) return CS_FAILED;
    std::vector<uint8_t> newRecord(recordLength), oldRecord(recordLength);
    if (int rc = EncodeRow(fields, row, newRecord); rc != CS_OK) return rc;
    // A row that cannot be stored equals no stored row.
    if (EncodeRow(fields, old, oldRecord) != CS_OK) return CS_NOT_FOUND;
    const IdxField* first = nullptr;
    for (const IdxField& f : fields) {
        if (f.member >= 0 && first == nullptr) first = &f;
    }
    if (first == nullptr) return CS_NOT_FOUND;  // nothing stored: no load made files

    Segment where;
    if (int rc = FindSegment(group, segment.name, recordLength, &where); rc != CS_OK) return rc;
    // Opening for building waits for any build (or rewrite) of the segment and holds
    // off the others until the index closes.
    std::unique_ptr<KeyedFile> files = QelKf_NewLmdb();
    const int dataFile = int(fields.size());
    if (files->Open(dataFile, where.dataName, QELKF_OPEN_BUILD) != 0 ||
        files->Open(0, where.indexName, QELKF_OPEN_BUILD) != 0) {
        files->Abandon();
        return CS_FAILED;
    }
    if (uint64_t(where.totalRows) > files->RecordCount()) {
        files->Abandon();
        return CS_FAILED;  // the profile counts rows the files do not hold
    }
    const std::vector<uint8_t> oldKeys = RecordKeys(fields, oldRecord),
                               newKeys = RecordKeys(fields, newRecord);
    const int64_t position = FindRecord(*files, dataFile, *first, where, oldRecord, oldKeys);
    if (position <= 0) {
        files->Abandon();
        return position == 0 ? CS_NOT_FOUND : CS_FAILED;
    }
    if (files->Replace(dataFile, uint64_t(position), newRecord, oldKeys, newKeys) != 0) {
        files->Abandon();
        return CS_FAILED;
    }
    DebugDelay("QEL_SLEEP_UPD");
    if (files->Close(dataFile) != 0 || files->Close(0) != 0) {
        files->Abandon();
        return CS_FAILED;
    }
    if (recordNumber != nullptr) *recordNumber = position / int64_t(recordLength) - where.blockMultiplier;
    return CS_OK;
}

}  // namespace

int QelLocal_UpdateIndexRow(CsHandle*, const QelLocalAppGroup& group, const QelLocalSegment& segment,
                            const QelLocalIdxRow& old, const QelLocalIdxRow& row, int64_t* recordNumber) {
    if (recordNumber != nullptr) *recordNumber = -1;
    Request request;
    if (!request.Ready()) return CS_FAILED;
    try {
        return Update(group, segment, old, row, recordNumber);
    } catch (const std::bad_alloc&) {
        return CS_NO_MEMORY;
    }
}
