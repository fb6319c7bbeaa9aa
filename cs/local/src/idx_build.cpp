// idx_build.cpp - loading index rows into a segment's keyed files.
//
// A load is all or nothing: the keyed files make its records and keys visible
// together when the index file closes, and only then does the profile count them.
#include <sys/stat.h>
#include <unistd.h>

#include <cinttypes>
#include <cstring>

#include "arc_platform.h"
#include "local_state.h"
#include "segment_index.h"

using namespace qel::local::detail;

namespace qel::local::detail {

void MakeFieldKey(const IdxField& field, const QelLocalIdxValue& value, const uint8_t* stored, uint8_t* key) {
    switch (field.type) {
        case 'S':
            std::memcpy(key, stored, field.keyLength);
            QelKf_MakeKey(QELKF_KEY_TEXT, field.keyLength, key);
            return;
        case 'D':
            std::memcpy(key, &value.dbl, 8);
            QelKf_MakeKey(QELKF_KEY_DOUBLE, 8, key);
            return;
        case 'B': {
            const int64_t v = value.integer;
            std::memcpy(key, &v, 8);
            break;
        }
        case 'I': {
            const int32_t v = int32_t(value.integer);
            std::memcpy(key, &v, 4);
            break;
        }
        case 'N': {
            const int16_t v = int16_t(value.integer);
            std::memcpy(key, &v, 2);
            break;
        }
        default: return;
    }
    QelKf_MakeKey(QELKF_KEY_INTEGER, field.keyLength, key);
}

int EncodeRow(const std::vector<IdxField>& fields, const QelLocalIdxRow& row, std::span<uint8_t> record) {
    std::fill(record.begin(), record.end(), 0);
    QelLocalIdxHeader header = row.header;
    if (row.values.size() < fields.size() || QelLocalIdx_ConvertRow(&header, record.data(), 0) != 1) {
        return QELIDX_BAD_HEADER;
    }
    for (size_t i = 0; i < fields.size(); ++i) {
        QelLocalIdxValue value = row.values[i];
        if (QelLocalIdx_ConvertField(&value, record.data() + fields[i].offset, 0, fields[i].type,
                                     fields[i].keyLength) != 1) {
            return QELIDX_BAD_HEADER;
        }
    }
    return CS_OK;
}

}  // namespace qel::local::detail

namespace {

bool Exists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

// Whether a load of the segment has finished: every finished load writes DATA_OFFSET.
bool LoadFinished(const std::string& profilePath, const std::string& section) {
    TableFile profile;
    return profile.Load(profilePath) == CS_OK && profile.Get(section, "DATA_OFFSET").has_value();
}

// A value as the field key of the profile writes it.
std::string ProfileValue(const IdxField& field, const QelLocalIdxValue& value) {
    char text[64];
    switch (field.type) {
        case 'D': std::snprintf(text, sizeof text, "'%f'", value.dbl); return text;
        case 'B':
        case 'I':
        case 'N': std::snprintf(text, sizeof text, "%" PRId64, value.integer); return text;
        default: break;
    }
    // Control characters cannot stand in a profile line; the range is informational.
    std::string quoted = "'";
    for (char c : value.text) quoted += (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) ? '?' : c;
    return quoted + "'";
}

struct Build {
    const QelLocalAppGroup& group;
    std::vector<IdxField> fields;
    size_t recordLength = 0;
    int dataFile = 0;
    std::unique_ptr<KeyedFile> files;

    int OpenFiles(const std::string& dataName, const std::string& indexName) {
        const bool haveData = Exists(dataName), haveIndex = Exists(indexName);
        if (haveData && haveIndex) {
            if (files->Open(dataFile, dataName, QELKF_OPEN_BUILD) != 0 ||
                files->Open(0, indexName, QELKF_OPEN_BUILD) != 0) {
                return CS_FAILED;
            }
            return CS_OK;
        }
        // Records are committed with the keys of the index file: without it a data file
        // holds nothing of a finished load. An index without its data file is damage.
        if (haveIndex) return CS_FAILED;
        if (haveData && ::unlink(dataName.c_str()) != 0) return CS_FAILED;
        if (files->CreateData(dataFile, dataName, uint32_t(recordLength)) != 0) {
            QelLocal_MakeDirs(dataName.c_str());
            if (files->CreateData(dataFile, dataName, uint32_t(recordLength)) != 0) return CS_FAILED;
        }
        const IdxField* first = nullptr;
        int further = -1;
        for (const IdxField& f : fields) {
            if (f.member < 0) continue;
            if (first == nullptr) first = &f;
            ++further;
        }
        if (first == nullptr ||
            files->CreateIndex(indexName, uint32_t(first->keyLength + QELKF_SLOT_SIZE), further) != 0) {
            return CS_FAILED;
        }
        for (const IdxField& f : fields) {
            if (f.member > 0 && files->AddKeyMember(f.member, uint32_t(f.keyLength + QELKF_SLOT_SIZE)) != 0) {
                return CS_FAILED;
            }
        }
        return CS_OK;
    }

    // Stores one row: CS_OK, QELIDX_BAD_HEADER or CS_FAILED. *first gets the position
    // of the first record of the load.
    int AddRow(const QelLocalIdxRow& row, std::vector<uint8_t>& record, std::vector<uint8_t>& key,
               uint64_t* first) {
        if (int rc = EncodeRow(fields, row, record); rc != CS_OK) return rc;
        const uint64_t position = files->Reserve(dataFile);
        if (position == 0) return CS_FAILED;
        if (*first == 0) *first = position;
        for (size_t i = 0; i < fields.size(); ++i) {
            if (fields[i].member < 0) continue;
            MakeFieldKey(fields[i], row.values[i], record.data() + fields[i].offset, key.data());
            if (files->AddKey(fields[i].member, std::span<const uint8_t>(key.data(), fields[i].keyLength),
                              position) != 0) {
                return CS_FAILED;
            }
        }
        return files->Write(dataFile, position, record) == 0 ? CS_OK : CS_FAILED;
    }

    // The lowest and highest value of each field, as the profile writes them.
    bool Ranges(const std::string& dataName, const std::string& indexName,
                std::vector<std::pair<std::string, std::string>>* ranges) {
        std::unique_ptr<KeyedFile> search = QelKf_NewLmdb();
        if (search->Open(0, indexName, QELKF_OPEN_SEARCH) != 0 ||
            search->Open(dataFile, dataName, QELKF_OPEN_SEARCH) != 0) {
            return false;
        }
        std::vector<uint8_t> record(recordLength), key(QELKF_MAX_KEY + QELKF_SLOT_SIZE);
        for (size_t i = 0; i < fields.size(); ++i) {
            const int member = fields[i].member;
            if (member < 0) {
                ranges->emplace_back();
                continue;
            }
            const std::span<uint8_t> k(key.data(), fields[i].keyLength + QELKF_SLOT_SIZE);
            std::string ends[2];
            for (int end = 0; end < 2; ++end) {
                const uint64_t position = end == 0 ? search->First(member, k) : search->Last(member, k);
                if (position == 0 || search->Read(dataFile, position, record) != 0) return false;
                QelLocalIdxValue value;
                QelLocalIdx_ConvertField(&value, record.data() + fields[i].offset, 1, fields[i].type,
                                         fields[i].keyLength);
                ends[end] = ProfileValue(fields[i], value);
            }
            ranges->emplace_back(ends[0], ends[1]);
        }
        return true;
    }
};

}  // namespace

int QelLocalIdx_Build(CsHandle*, const QelLocalAppGroup& group, const QelLocalSegment& segment,
                      std::span<const QelLocalIdxRow> rows, int64_t firstRow, int64_t count, int64_t* added) {
    if (added != nullptr) *added = 0;
    DebugDelay("QEL_SLEEP_BT");
    count = std::min<int64_t>(count, int64_t(rows.size()));
    if (firstRow < 0) firstRow = 0;
    if (count <= firstRow) return CS_OK;
    if (segment.name[0] == '\0') return CS_FAILED;
    Request request;
    if (!request.Ready()) return CS_FAILED;

    Build build{group, {}, 0, 0, QelKf_NewLmdb()};
    std::optional<SegmentFiles> paths = SegmentPaths(group);
    if (!paths || !FieldLayout(group, &build.fields, &build.recordLength) || build.fields.empty()) {
        return CS_FAILED;
    }
    build.dataFile = int(build.fields.size());
    TableFile profile;
    if (profile.Load(paths->profile) != CS_OK) return CS_FAILED;
    const std::string section = segment.name;
    int64_t number = 0, blockMultiplier = -1;
    if (profile.Number(section, "SEGMENT", 1, 99999999, &number, CS_FAILED, 1) != CS_OK) return CS_FAILED;
    if (profile.Get(section, "BLOCK_MULTIPLIER") &&
        profile.Number(section, "BLOCK_MULTIPLIER", 0, INT32_MAX, &blockMultiplier, CS_FAILED) != CS_OK) {
        return CS_FAILED;
    }
    const std::string dataName = SegmentFileName(*paths, number, ".dat");
    const std::string indexName = SegmentFileName(*paths, number, ".ind");
    // What an interrupted first load left does not open again: it goes, once no build
    // runs (the build waited for may have finished the load).
    if (!profile.Get(section, "DATA_OFFSET") &&
        !QelKf_RemoveUnfinished(dataName, indexName, [&] { return LoadFinished(paths->profile, section); })) {
        return CS_FAILED;
    }
    if (build.OpenFiles(dataName, indexName) != CS_OK) {
        build.files->Abandon();
        return CS_FAILED;
    }

    const int64_t before = int64_t(build.files->RecordCount());
    std::vector<uint8_t> record(build.recordLength), key(QELKF_MAX_KEY);
    uint64_t first = 0;
    for (int64_t i = firstRow; i < count; ++i) {
        if (int rc = build.AddRow(rows[size_t(i)], record, key, &first); rc != CS_OK) {
            build.files->Abandon();
            return rc;
        }
    }
    const int64_t firstSlot = int64_t(first / build.recordLength) - before;
    if (blockMultiplier >= 0 && blockMultiplier != firstSlot) {
        build.files->Abandon();
        return CS_FAILED;
    }
    if (build.files->Close(build.dataFile) != 0 || build.files->Close(0) != 0) {
        build.files->Abandon();
        return CS_FAILED;
    }
    build.files.reset();

    std::vector<std::pair<std::string, std::string>> ranges;
    if (!build.Ranges(dataName, indexName, &ranges)) return CS_FAILED;
    const int64_t total = before + (count - firstRow);
    std::vector<std::string> texts;
    texts.reserve(build.fields.size() + 3);
    texts.push_back(std::to_string(total));
    texts.push_back(std::to_string(build.recordLength));
    texts.push_back(std::to_string(firstSlot));
    std::vector<std::string> keys;
    for (size_t i = 0; i < build.fields.size(); ++i) {
        keys.push_back(std::to_string(i));
        texts.push_back(std::to_string(int(static_cast<unsigned char>(build.fields[i].type))) + "," +
                        std::to_string(build.fields[i].keyLength) + "," + ranges[i].first + "," +
                        ranges[i].second);
    }
    std::vector<QelTableValue> values = {{section.c_str(), "TOTAL_ROWS", texts[0].c_str()},
                                         {section.c_str(), "DATA_OFFSET", texts[1].c_str()},
                                         {section.c_str(), "BLOCK_MULTIPLIER", texts[2].c_str()}};
    for (size_t i = 0; i < keys.size(); ++i)
        values.push_back({section.c_str(), keys[i].c_str(), texts[3 + i].c_str()});
    if (int rc = QelLocal_PutValues(paths->profile.c_str(), values.data(), values.size()); rc != CS_OK)
        return rc;
    if (added != nullptr) *added = count - firstRow;
    return CS_OK;
}
