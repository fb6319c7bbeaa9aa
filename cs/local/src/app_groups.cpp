// app_groups.cpp - application groups of ag.tbl, their fields and field aliases.
#include <cstring>

#include "local_state.h"
#include "selection.h"

using namespace qel::local::detail;

namespace {

int ReadFields(const TableFile& agfld, int32_t agid, int32_t count, std::vector<QelLocalAgField>* fields) {
    if (count < 0 || count > QELLOCAL_MAX_IDS) return CS_FAILED;
    std::vector<QelLocalAgField> result;
    for (int32_t i = 0; i < count; ++i) {
        QelLocalAgField f;
        f.number = i;
        std::string section = Row(agid, i);
        int64_t mask = 0;
        if (agfld.Text(section, "NAME", f.name, sizeof f.name, CS_FAILED) != CS_OK ||
            agfld.Letter(section, "TYPE", &f.type, CS_FAILED) != CS_OK ||
            agfld.Int32(section, "QUAL", &f.qual, CS_FAILED, 0) != CS_OK ||
            agfld.Number(section, "MASK", INT32_MIN, UINT32_MAX, &mask, CS_FAILED, 0) != CS_OK ||
            agfld.Text(section, "LEADING", f.leading, sizeof f.leading, CS_FAILED, "") != CS_OK ||
            agfld.Text(section, "STRIP", f.strip, sizeof f.strip, CS_FAILED, "") != CS_OK ||
            agfld.Text(section, "TRAILING", f.trailing, sizeof f.trailing, CS_FAILED, "") != CS_OK ||
            agfld.Letter(section, "STRING_TYPE", &f.stringType, CS_OK) != CS_OK ||
            agfld.Int32(section, "STRING_LEN", &f.stringLen, CS_FAILED, 0) != CS_OK ||
            agfld.Letter(section, "STRING_CASE", &f.stringCase, CS_OK) != CS_OK) {
            return CS_FAILED;
        }
        f.mask = uint32_t(mask);
        result.push_back(f);
    }
    *fields = std::move(result);
    return CS_OK;
}

int ReadGroupRow(const TableFile& ag, int32_t agid, QelLocalAppGroup* record) {
    QelLocalAppGroup g;
    g.agid = agid;
    std::string s = Row(agid);
    if (ag.Text(s, "NAME", g.name, sizeof g.name, CS_FAILED) != CS_OK ||
        ag.Text(s, "DESCRIPTION", g.description, sizeof g.description, CS_FAILED, "") != CS_OK ||
        ag.Text(s, "AGID_NAME", g.agidName, sizeof g.agidName, CS_FAILED) != CS_OK) {
        return CS_FAILED;
    }
    struct NumberKey {
        const char* key;
        int32_t* value;
    };
    const NumberKey numbers[] = {
        {"DB_SEG", &g.dbSeg},
        {"ANN_TYPE", &g.annType},
        {"DB_EXP_DATE", &g.dbExpDate},
        {"DB_MGRT_DATE", &g.dbMgrtDate},
        {"SM_CACHE_DOC", &g.cachePeriod},
        {"MGRT_CACHE_DATE", &g.migrationPeriod},
        {"REIMPORT_EXP_DATE", &g.reimportExpDate},
        {"SID", &g.sid},
        {"EXPIRE_TYPE", &g.expireType},
        {"SEG_ROWS", &g.segRows},
        {"OBJ_SIZE", &g.objSize},
        {"TYPE", &g.type},
        {"FLDS_NUM", &g.fieldCount},
    };
    for (const NumberKey& n : numbers) {
        if (ag.Int32(s, n.key, n.value, CS_FAILED, 0) != CS_OK) return CS_FAILED;
    }
    int64_t log = 0;
    if (ag.Number(s, "LOG", INT32_MIN, UINT32_MAX, &log, CS_FAILED, 0) != CS_OK) return CS_FAILED;
    g.logFlags = uint32_t(log);
    if (g.fieldCount < 0 || g.fieldCount > QELLOCAL_MAX_IDS) return CS_FAILED;
    *record = std::move(g);
    return CS_OK;
}

int ReadFullGroup(int32_t agid, QelLocalAppGroup* record) {
    TableFile ag, agfld;
    if (LoadTable(QELLOCAL_TBL_AG, &ag) != CS_OK || LoadTable(QELLOCAL_TBL_AGFLD, &agfld) != CS_OK) {
        return CS_FAILED;
    }
    QelLocalAppGroup g;
    if (int rc = ReadGroupRow(ag, agid, &g); rc != CS_OK) return rc;
    if (int rc = ReadFields(agfld, agid, g.fieldCount, &g.fields); rc != CS_OK) return rc;
    *record = std::move(g);
    return CS_OK;
}

// The id and NAME of a listed group.
int ReadGroupName(int32_t id, int32_t* agid, char* name) {
    TableFile ag;
    if (LoadTable(QELLOCAL_TBL_AG, &ag) != CS_OK) return CS_FAILED;
    char n[QELLOCAL_NAME_SIZE] = {};
    if (ag.Text(Row(id), "NAME", n, sizeof n, CS_FAILED) != CS_OK) return CS_FAILED;
    *agid = id;
    std::memcpy(name, n, sizeof n);
    return CS_OK;
}

}  // namespace

int QelLocal_ReadAppGroup(CsHandle*, int32_t agid, QelLocalAppGroup* record) {
    if (record == nullptr) return CS_FAILED;
    Request request;
    if (!request.Ready()) return CS_FAILED;
    return ReadFullGroup(agid, record);
}

int QelLocal_ReadAgFields(CsHandle*, int32_t agid, int32_t count, std::vector<QelLocalAgField>* fields) {
    if (fields == nullptr) return CS_FAILED;
    Request request;
    if (!request.Ready()) return CS_FAILED;
    TableFile agfld;
    if (LoadTable(QELLOCAL_TBL_AGFLD, &agfld) != CS_OK) return CS_FAILED;
    return ReadFields(agfld, agid, count, fields);
}

int QelLocal_ReadAgFieldAliases(CsHandle*, int32_t agid, int32_t field,
                                std::vector<QelLocalFieldAlias>* aliases) {
    if (aliases == nullptr) return CS_FAILED;
    Request request;
    if (!request.Ready()) return CS_FAILED;
    TableFile agfldal;
    if (LoadTable(QELLOCAL_TBL_AGFLDAL, &agfldal) != CS_OK) return CS_FAILED;
    std::string section = Row(agid, field);
    int64_t count = 0;
    if (agfldal.Number(section, "ALIAS_NUM", 0, QELLOCAL_MAX_IDS, &count, CS_FAILED, 0) != CS_OK) {
        return CS_FAILED;
    }
    std::vector<QelLocalFieldAlias> result;
    for (int64_t i = 1; i <= count; ++i) {
        QelLocalFieldAlias a;
        std::string n = std::to_string(i);
        if (agfldal.LongText(section, "EXTERNAL_" + n, &a.external, CS_FAILED) != CS_OK ||
            agfldal.LongText(section, "INTERNAL_" + n, &a.internal, CS_FAILED) != CS_OK) {
            return CS_FAILED;
        }
        result.push_back(std::move(a));
    }
    *aliases = std::move(result);
    return CS_OK;
}

int QelLocal_ReadNameDesc(CsHandle*, int table, int32_t id, char name[QELLOCAL_NAME_SIZE],
                          char description[QELLOCAL_DESCRIPTION_SIZE]) {
    if (name == nullptr || description == nullptr) return CS_FAILED;
    size_t nameSize = table == QELLOCAL_TBL_FOL ? QELLOCAL_FOLDER_NAME_SIZE : QELLOCAL_NAME_SIZE;
    if (table != QELLOCAL_TBL_AG && table != QELLOCAL_TBL_FOL && table != QELLOCAL_TBL_SS) return CS_FAILED;
    Request request;
    if (!request.Ready()) return CS_FAILED;
    TableFile rows;
    if (LoadTable(table, &rows) != CS_OK) return CS_FAILED;
    char n[QELLOCAL_NAME_SIZE] = {}, d[QELLOCAL_DESCRIPTION_SIZE] = {};
    if (rows.Text(Row(id), "NAME", n, nameSize, CS_FAILED) != CS_OK ||
        rows.Text(Row(id), "DESCRIPTION", d, sizeof d, CS_FAILED, "") != CS_OK) {
        return CS_FAILED;
    }
    std::memcpy(name, n, sizeof n);
    std::memcpy(description, d, sizeof d);
    return CS_OK;
}

int QelLocal_ListAppGroupsFirst(CsHandle*, int32_t folderId, const char* name, QelLocalAppGroup* record) {
    auto build = [&](LocalState&, std::vector<int32_t>* ids) -> int {
        TableFile ag, fol;
        if (LoadTable(QELLOCAL_TBL_AG, &ag) != CS_OK || LoadTable(QELLOCAL_TBL_FOL, &fol) != CS_OK) {
            return CS_FAILED;
        }
        ListSource all{&ag, "APPLICATION_GROUPS", "APPLICATION_GROUPS"};
        ListSource members{&fol, Row(folderId), "APPLICATION_GROUPS"};
        return SelectIds(ag, all, folderId >= 0 ? &members : nullptr, name, ids);
    };
    return ListFirst(&LocalState::appGroups, build, ReadFullGroup, record);
}

int QelLocal_ListAppGroupsNext(CsHandle*, QelLocalAppGroup* record) {
    return ListNext(&LocalState::appGroups, CancelCheck::kAfterGuards, ReadFullGroup, record);
}

int QelLocal_NextAppGroupName(CsHandle*, int32_t* agid, char name[QELLOCAL_NAME_SIZE]) {
    return ListNext(&LocalState::appGroups, CancelCheck::kNone, ReadGroupName, agid, name);
}
