// folders.cpp - folders of fol.tbl, their fields, per-user field settings and mappings.
#include <limits>

#include "local_state.h"
#include "selection.h"

using namespace qel::local::detail;

namespace {

int ReadFields(const TableFile& folfld, int32_t fid, int32_t count,
               std::vector<QelLocalFolderField>* fields) {
    if (count < 0 || count > QELLOCAL_MAX_IDS) return CS_FAILED;
    std::vector<QelLocalFolderField> result;
    for (int32_t i = 0; i < count; ++i) {
        QelLocalFolderField f;
        f.number = i;
        std::string s = Row(fid, i);
        if (folfld.Text(s, "NAME", f.name, sizeof f.name, CS_FAILED) != CS_OK ||
            folfld.Text(s, "DESCRIPTION", f.description, sizeof f.description, CS_FAILED, "") != CS_OK ||
            folfld.Letter(s, "TYPE", &f.type, CS_FAILED) != CS_OK ||
            folfld.Int32(s, "QUAL", &f.qual, CS_FAILED, 0) != CS_OK ||
            folfld.Int32(s, "MAP_TYPE", &f.mapType, CS_FAILED, 0) != CS_OK) {
            return CS_FAILED;
        }
        result.push_back(f);
    }
    *fields = std::move(result);
    return CS_OK;
}

int ReadFolderRow(int32_t fid, QelLocalFolder* record) {
    TableFile fol;
    if (LoadTable(QELLOCAL_TBL_FOL, &fol) != CS_OK) return CS_FAILED;
    QelLocalFolder f;
    f.fid = fid;
    std::string s = Row(fid);
    if (fol.Text(s, "NAME", f.name, sizeof f.name, CS_FAILED) != CS_OK ||
        fol.Text(s, "DESCRIPTION", f.description, sizeof f.description, CS_FAILED, "") != CS_OK ||
        fol.Int32(s, "ANN_SEARCH", &f.annSearch, CS_FAILED) != CS_OK ||
        fol.Int32(s, "FLDS_NUM", &f.fieldCount, CS_FAILED, 0) != CS_OK || f.fieldCount < 0 ||
        f.fieldCount > QELLOCAL_MAX_IDS) {
        return CS_FAILED;
    }
    *record = std::move(f);
    return CS_OK;
}

}  // namespace

int QelLocal_ReadFolder(CsHandle*, int32_t fid, QelLocalFolder* record) {
    if (record == nullptr) return CS_FAILED;
    Request request;
    if (!request.Ready()) return CS_FAILED;
    return ReadFolderRow(fid, record);
}

int QelLocal_GetFolder(CsHandle*, int32_t fid, QelLocalFolder* record) {
    if (record == nullptr) return CS_FAILED;
    Request request;
    if (!request.Ready()) return CS_FAILED;
    QelLocalFolder f;
    if (int rc = ReadFolderRow(fid, &f); rc != CS_OK) return rc;
    TableFile fol, folfld;
    if (LoadTable(QELLOCAL_TBL_FOL, &fol) != CS_OK || LoadTable(QELLOCAL_TBL_FOLFLD, &folfld) != CS_OK) {
        return CS_FAILED;
    }
    int rc = fol.IdList(Row(fid), "APPLICATION_GROUPS", &f.appGroups);
    if (rc != CS_OK && rc != CS_NOT_FOUND) return rc;
    if (ReadFields(folfld, fid, f.fieldCount, &f.fields) != CS_OK) return CS_FAILED;
    *record = std::move(f);
    return CS_OK;
}

int QelLocal_ListFoldersFirst(CsHandle*, const char* name, QelLocalFolder* record) {
    auto build = [&](LocalState&, std::vector<int32_t>* ids) -> int {
        TableFile fol;
        if (LoadTable(QELLOCAL_TBL_FOL, &fol) != CS_OK) return CS_FAILED;
        ListSource all{&fol, "FOLDERS", "FOLDERS"};
        return SelectIds(fol, all, nullptr, name, ids);
    };
    return ListFirst(&LocalState::folders, build, ReadFolderRow, record);
}

int QelLocal_NextFolder(CsHandle*, QelLocalFolder* record) {
    return ListNext(&LocalState::folders, CancelCheck::kNone, ReadFolderRow, record);
}

int QelLocal_ListFoldersNext(CsHandle*, QelLocalFolder* record) {
    return ListNext(&LocalState::folders, CancelCheck::kFirst, ReadFolderRow, record);
}

int QelLocal_ReadFolderFields(CsHandle*, int32_t fid, int32_t count,
                              std::vector<QelLocalFolderField>* fields) {
    if (fields == nullptr) return CS_FAILED;
    Request request;
    if (!request.Ready()) return CS_FAILED;
    TableFile folfld;
    if (LoadTable(QELLOCAL_TBL_FOLFLD, &folfld) != CS_OK) return CS_FAILED;
    return ReadFields(folfld, fid, count, fields);
}

int QelLocal_ReadFolderFieldUser(CsHandle*, int32_t fid, int32_t userId, int32_t field,
                                 QelLocalFolderFieldUser* record) {
    if (record == nullptr) return CS_FAILED;
    Request request;
    if (!request.Ready()) return CS_FAILED;
    TableFile t;
    if (LoadTable(QELLOCAL_TBL_FOLFLDUS, &t) != CS_OK) return CS_FAILED;
    std::string s = Row(fid, userId, field);
    if (!t.HasSection(s)) return CS_NOT_FOUND;
    QelLocalFolderFieldUser u;
    struct NumberKey {
        const char* key;
        int32_t* value;
    };
    const NumberKey numbers[] = {{"QUERY_ORDER", &u.queryOrder},
                                 {"DSPL_ORDER", &u.dsplOrder},
                                 {"SORT_ORDER", &u.sortOrder},
                                 {"SORT_TYPE", &u.sortType},
                                 {"OPS", &u.ops},
                                 {"DEF_OP", &u.defOp},
                                 {"DATEDEF_TYPE", &u.datedefType},
                                 {"DATEDEF_ARG", &u.datedefArg},
                                 {"DECIMAL_PT_POS", &u.decimalPtPos},
                                 {"STRING_WILD", &u.stringWild}};
    for (const NumberKey& n : numbers) {
        if (t.Int32(s, n.key, n.value, CS_FAILED, 0) != CS_OK) return CS_FAILED;
    }
    int64_t mask = 0;
    if (t.Number(s, "USR_MASK", INT32_MIN, UINT32_MAX, &mask, CS_FAILED, 0) != CS_OK) return CS_FAILED;
    u.usrMask = uint32_t(mask);
    if (t.LongText(s, "MIN", &u.min, CS_FAILED, "", 254) != CS_OK ||
        t.LongText(s, "MAX", &u.max, CS_FAILED, "", 254) != CS_OK ||
        t.LongText(s, "DEF_VALUE1", &u.defValue1, CS_FAILED, "0", 254) != CS_OK ||
        t.LongText(s, "DEF_VALUE2", &u.defValue2, CS_FAILED, "0", 254) != CS_OK ||
        t.Text(s, "DSPL_DATEFMT", u.dsplDateFmt, sizeof u.dsplDateFmt, CS_FAILED, "") != CS_OK ||
        t.Text(s, "DATEFMT", u.dateFmt, sizeof u.dateFmt, CS_FAILED, "") != CS_OK) {
        return CS_FAILED;
    }
    *record = std::move(u);
    return CS_OK;
}

int QelLocal_ReadFolderAgMap(CsHandle*, int32_t agid, int32_t fid, std::vector<QelLocalFieldMap>* map) {
    if (map == nullptr) return CS_FAILED;
    Request request;
    if (!request.Ready()) return CS_FAILED;
    TableFile ag2fol;
    if (LoadTable(QELLOCAL_TBL_AG2FOL, &ag2fol) != CS_OK) return CS_FAILED;
    std::vector<std::pair<std::string, std::string>> entries;
    if (int rc = ag2fol.Entries(Row(agid, fid), &entries); rc != CS_OK) return rc;
    if (entries.size() > size_t(QELLOCAL_MAX_IDS)) return CS_FAILED;
    std::vector<QelLocalFieldMap> result;
    for (const auto& [key, value] : entries) {
        QelLocalFieldMap m;
        std::optional<int64_t> field = ParseNumber(key, 0, QELLOCAL_MAX_IDS - 1);
        size_t comma = value.find(',');
        if (!field || comma == std::string::npos) return CS_FAILED;
        std::optional<int64_t> first =
            ParseNumber(std::string_view(value).substr(0, comma), INT16_MIN, INT16_MAX);
        std::optional<int64_t> second =
            ParseNumber(std::string_view(value).substr(comma + 1), INT16_MIN, INT16_MAX);
        if (!first || !second) return CS_FAILED;
        m.folderField = int32_t(*field);
        m.first = int16_t(*first);
        m.second = int16_t(*second);
        result.push_back(m);
    }
    *map = std::move(result);
    return CS_OK;
}
