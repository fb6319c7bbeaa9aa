// idx_open.cpp - opening a segment's index for searching, and reading its rows.
#include <cstring>

#include "local_state.h"
#include "segment_index.h"

using namespace qel::local::detail;

namespace {

// "type,length,min,max": the type letter's code and the key length must be the
// field's; the range is kept as written (a leading quote dropped, and the last
// character with it when the value was quoted).
bool ReadFieldKey(const std::string& text, IdxField* field) {
    const size_t c1 = text.find(',');
    const size_t c2 = c1 == std::string::npos ? c1 : text.find(',', c1 + 1);
    if (c2 == std::string::npos) return false;
    std::optional<int64_t> type = ParseNumber(std::string_view(text).substr(0, c1), 0, 255);
    std::optional<int64_t> length = ParseNumber(std::string_view(text).substr(c1 + 1, c2 - c1 - 1), 0, 255);
    if (!type || !length || *type != static_cast<unsigned char>(field->type) ||
        size_t(*length) != field->keyLength) {
        return false;
    }
    std::string rest = text.substr(c2 + 1);
    auto unquote = [](std::string v) {
        if (!v.empty() && v.front() == '\'') {
            v.erase(0, 1);
            if (!v.empty() && v.back() == '\'') v.pop_back();
        }
        return v;
    };
    // Texts may hold commas: split numbers at the first comma, quoted texts at "','".
    size_t split = rest.find("','");
    if (split != std::string::npos) {
        field->min = unquote(rest.substr(0, split + 1));
        field->max = unquote(rest.substr(split + 2));
    } else if ((split = rest.find(',')) != std::string::npos) {
        field->min = unquote(rest.substr(0, split));
        field->max = unquote(rest.substr(split + 1));
    }
    return true;
}

}  // namespace

namespace qel::local::detail {

int OpenIndexLocked(QelLocalIdx* index, const QelLocalAppGroup& group, const std::string& segment) {
    index->files.reset();
    index->searching = false;
    index->empty = false;
    if (&index->group != &group) index->group = group;
    index->segment = segment;
    if (group.fields.size() > size_t(QELIDX_MAX_FIELDS)) return QELIDX_TOO_MANY_FIELDS;
    std::optional<SegmentFiles> paths = SegmentPaths(group);
    if (!paths || index->segment.empty() || !FieldLayout(group, &index->fields, &index->recordLength)) {
        return QELIDX_MISSING;
    }
    index->paths = *paths;
    std::memset(index->names, 0, sizeof index->names);
    index->kinds.fill(QELSQL_FIELD_TEXT);
    index->markedField = -1;
    for (size_t i = 0; i < group.fields.size(); ++i) {
        std::memcpy(index->names[i], group.fields[i].name, QELSQL_NAME_SIZE);
        index->names[i][QELSQL_NAME_SIZE - 1] = '\0';
        index->kinds[i] = index->fields[i].kind;
        if (group.fields[i].mask & 4) index->markedField = int(i);
    }

    TableFile profile;
    if (profile.Load(paths->profile) != CS_OK) return QELIDX_MISSING;
    const std::string& s = index->segment;
    if (!profile.Get(s, "INDEX_FILE")) {
        // A segment no load has reached yet has no files: it opens, with no rows.
        index->empty = true;
        index->totalRows = 0;
        return profile.HasSection(s) ? QELIDX_OK : QELIDX_MISSING;
    }
    int64_t version = 0, recordLength = 0;
    if (profile.Number(s, "INDEX_FILE", 1, 99999999, &index->fileNumber, CS_FAILED) != CS_OK)
        return QELIDX_MISSING;
    if (profile.Number(s, "VERSION", 0, INT32_MAX, &version, CS_FAILED) != CS_OK || version < 4) {
        return QELIDX_OLD_VERSION;
    }
    if (profile.Number(s, "TOTAL_ROWS", 0, QELIDX_MAX_ROWS, &index->totalRows, CS_FAILED, 0) != CS_OK) {
        return QELIDX_MISSING;
    }
    if (!profile.Get(s, "DATA_OFFSET") && index->totalRows == 0) {
        index->empty = true;  // numbered, but no load has finished
        return QELIDX_OK;
    }
    if (profile.Number(s, "DATA_OFFSET", 1, INT32_MAX, &recordLength, CS_FAILED) != CS_OK ||
        profile.Number(s, "BLOCK_MULTIPLIER", 0, INT32_MAX, &index->blockMultiplier, CS_FAILED) != CS_OK ||
        size_t(recordLength) != index->recordLength) {
        return QELIDX_MISSING;
    }
    for (size_t i = 0; i < index->fields.size(); ++i) {
        std::optional<std::string> key = profile.Get(s, std::to_string(i));
        if (!key || !ReadFieldKey(*key, &index->fields[i])) return QELIDX_MISSING;
    }
    index->files = QelKf_NewLmdb();
    const int dataFile = int(index->fields.size());
    if (index->files->Open(0, SegmentFileName(*paths, index->fileNumber, ".ind"), QELKF_OPEN_SEARCH) != 0 ||
        index->files->Open(dataFile, SegmentFileName(*paths, index->fileNumber, ".dat"), QELKF_OPEN_SEARCH) !=
            0) {
        index->files.reset();
        return QELIDX_MISSING;
    }
    // A profile counting rows the files do not hold is damaged: a search covers only rows
    // that are there, and its hit bitmap is sized by what the files hold.
    if (uint64_t(index->totalRows) > index->files->RecordCount()) {
        index->files.reset();
        return QELIDX_MISSING;
    }
    index->record.assign(index->recordLength, 0);
    return QELIDX_OK;
}

}  // namespace qel::local::detail

std::unique_ptr<QelLocalIdx> QelLocalIdx_New(CsHandle*, const QelLocalAppGroup& group, const char* segment,
                                             int* status) {
    Request request;
    auto index = std::make_unique<QelLocalIdx>();
    const int rc = request.Ready() ? QelLocalIdx_Open(index.get(), group, segment) : QELIDX_MISSING;
    if (status != nullptr) *status = rc;
    if (rc != QELIDX_OK) return nullptr;
    return index;
}

int QelLocalIdx_Open(QelLocalIdx* index, const QelLocalAppGroup& group, const char* segment) {
    if (index == nullptr) return QELIDX_MISSING;
    Request request;
    index->status = OpenIndexLocked(index, group, segment != nullptr ? segment : "");
    if (index->status != QELIDX_OK) index->files.reset();
    return index->status;
}

int QelLocalIdx_Status(const QelLocalIdx* index) { return index != nullptr ? index->status : QELIDX_MISSING; }

int64_t QelLocalIdx_TotalRows(const QelLocalIdx* index) { return index != nullptr ? index->totalRows : 0; }

int QelLocalIdx_ReadRow(QelLocalIdx* index, int64_t recordNumber, QelLocalIdxRow* row) {
    if (index == nullptr || row == nullptr || index->files == nullptr || recordNumber < 0 ||
        recordNumber >= index->totalRows) {
        return 0;
    }
    const uint64_t position = uint64_t(index->blockMultiplier + recordNumber) * index->recordLength;
    if (index->files->Read(int(index->fields.size()), position, index->record) != 0) return 0;
    QelLocalIdx_ConvertRow(&row->header, index->record.data(), 1);
    row->values.resize(index->fields.size());
    for (size_t i = 0; i < index->fields.size(); ++i) {
        const IdxField& f = index->fields[i];
        QelLocalIdxValue& v = row->values[i];
        v = QelLocalIdxValue{};
        QelLocalIdx_ConvertField(&v, index->record.data() + f.offset, 1, f.type, f.keyLength);
    }
    row->recordNumber = recordNumber;
    return 1;
}
