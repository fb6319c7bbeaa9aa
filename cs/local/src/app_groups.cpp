// app_groups.cpp - application groups of ag.tbl, their fields and field aliases.
#include <cstring>

#include "local_state.h"
#include "selection.h"

using namespace qel::local::detail;

namespace {

int ReadFields(const TableFile& agfld, int32_t agid, int32_t count, std::vector<QelLocalAgField>* fields) {
  if (count < 0 || count > QELLOCAL_MAX_IDS) return 6;
  std::vector<QelLocalAgField> result;
  for (int32_t i = 0; i < count; ++i) {
    QelLocalAgField f;
    f.number = i;
    std::string section = Row(agid, i);
    int64_t mask = 0;
    if (agfld.Text(section, "NAME", f.name, sizeof f.name, 6) != 0 ||
        agfld.Letter(section, "TYPE", &f.type, 6) != 0 || agfld.Int32(section, "QUAL", &f.qual, 6, 0) != 0 ||
        agfld.Number(section, "MASK", INT32_MIN, UINT32_MAX, &mask, 6, 0) != 0 ||
        agfld.Text(section, "LEADING", f.leading, sizeof f.leading, 6, "") != 0 ||
        agfld.Text(section, "STRIP", f.strip, sizeof f.strip, 6, "") != 0 ||
        agfld.Text(section, "TRAILING", f.trailing, sizeof f.trailing, 6, "") != 0 ||
        agfld.Letter(section, "STRING_TYPE", &f.stringType, 0) != 0 ||
        agfld.Int32(section, "STRING_LEN", &f.stringLen, 6, 0) != 0 ||
        agfld.Letter(section, "STRING_CASE", &f.stringCase, 0) != 0) {
      return 6;
    }
    f.mask = uint32_t(mask);
    result.push_back(f);
  }
  *fields = std::move(result);
  return 0;
}

int ReadGroupRow(const TableFile& ag, int32_t agid, QelLocalAppGroup* record) {
  QelLocalAppGroup g;
  g.agid = agid;
  std::string s = Row(agid);
  if (ag.Text(s, "NAME", g.name, sizeof g.name, 6) != 0 ||
      ag.Text(s, "DESCRIPTION", g.description, sizeof g.description, 6, "") != 0 ||
      ag.Text(s, "AGID_NAME", g.agidName, sizeof g.agidName, 6) != 0) {
    return 6;
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
    if (ag.Int32(s, n.key, n.value, 6, 0) != 0) return 6;
  }
  int64_t log = 0;
  if (ag.Number(s, "LOG", INT32_MIN, UINT32_MAX, &log, 6, 0) != 0) return 6;
  g.logFlags = uint32_t(log);
  if (g.fieldCount < 0 || g.fieldCount > QELLOCAL_MAX_IDS) return 6;
  *record = std::move(g);
  return 0;
}

int ReadFullGroup(int32_t agid, QelLocalAppGroup* record) {
  TableFile ag, agfld;
  if (LoadTable(QELLOCAL_TBL_AG, &ag) != 0 || LoadTable(QELLOCAL_TBL_AGFLD, &agfld) != 0) return 6;
  QelLocalAppGroup g;
  if (int rc = ReadGroupRow(ag, agid, &g); rc != 0) return rc;
  if (int rc = ReadFields(agfld, agid, g.fieldCount, &g.fields); rc != 0) return rc;
  *record = std::move(g);
  return 0;
}

}  // namespace

int QelLocal_ReadAppGroup(CsHandle*, int32_t agid, QelLocalAppGroup* record) {
  if (record == nullptr) return 6;
  Request request;
  if (!request.Ready()) return 6;
  return ReadFullGroup(agid, record);
}

int QelLocal_ReadAgFields(CsHandle*, int32_t agid, int32_t count, std::vector<QelLocalAgField>* fields) {
  if (fields == nullptr) return 6;
  Request request;
  if (!request.Ready()) return 6;
  TableFile agfld;
  if (LoadTable(QELLOCAL_TBL_AGFLD, &agfld) != 0) return 6;
  return ReadFields(agfld, agid, count, fields);
}

int QelLocal_ReadAgFieldAliases(CsHandle*, int32_t agid, int32_t field,
                                std::vector<QelLocalFieldAlias>* aliases) {
  if (aliases == nullptr) return 6;
  Request request;
  if (!request.Ready()) return 6;
  TableFile agfldal;
  if (LoadTable(QELLOCAL_TBL_AGFLDAL, &agfldal) != 0) return 6;
  std::string section = Row(agid, field);
  int64_t count = 0;
  if (agfldal.Number(section, "ALIAS_NUM", 0, QELLOCAL_MAX_IDS, &count, 6, 0) != 0) return 6;
  std::vector<QelLocalFieldAlias> result;
  for (int64_t i = 1; i <= count; ++i) {
    QelLocalFieldAlias a;
    std::string n = std::to_string(i);
    if (agfldal.LongText(section, "EXTERNAL_" + n, &a.external, 6) != 0 ||
        agfldal.LongText(section, "INTERNAL_" + n, &a.internal, 6) != 0) {
      return 6;
    }
    result.push_back(std::move(a));
  }
  *aliases = std::move(result);
  return 0;
}

int QelLocal_ReadNameDesc(CsHandle*, int table, int32_t id, char name[61], char description[121]) {
  if (name == nullptr || description == nullptr) return 6;
  size_t nameSize = table == QELLOCAL_TBL_FOL ? 60 : 61;
  if (table != QELLOCAL_TBL_AG && table != QELLOCAL_TBL_FOL && table != QELLOCAL_TBL_SS) return 6;
  Request request;
  if (!request.Ready()) return 6;
  TableFile rows;
  if (LoadTable(table, &rows) != 0) return 6;
  char n[61] = {}, d[121] = {};
  if (rows.Text(Row(id), "NAME", n, nameSize, 6) != 0 ||
      rows.Text(Row(id), "DESCRIPTION", d, sizeof d, 6, "") != 0) {
    return 6;
  }
  std::memcpy(name, n, sizeof n);
  std::memcpy(description, d, sizeof d);
  return 0;
}

int QelLocal_ListAppGroupsFirst(CsHandle*, int32_t folderId, const char* name, QelLocalAppGroup* record) {
  if (record == nullptr) return 6;
  Request request;
  if (!request.Ready()) return 6;
  Cursor<int32_t>& cursor = request.state().appGroups;
  cursor.Reset({});
  TableFile ag, fol;
  if (LoadTable(QELLOCAL_TBL_AG, &ag) != 0 || LoadTable(QELLOCAL_TBL_FOL, &fol) != 0) return 6;
  ListSource all{&ag, "APPLICATION_GROUPS", "APPLICATION_GROUPS"};
  ListSource members{&fol, Row(folderId), "APPLICATION_GROUPS"};
  std::vector<int32_t> ids;
  if (int rc = SelectIds(ag, all, folderId >= 0 ? &members : nullptr, name, &ids); rc != 0) return rc;
  cursor.Reset(std::move(ids));
  const int32_t* first = cursor.Take();
  if (first == nullptr) return 11;
  return ReadFullGroup(*first, record);
}

int QelLocal_ListAppGroupsNext(CsHandle*, QelLocalAppGroup* record) {
  if (record == nullptr) return 6;
  Request request;
  if (!request.Ready()) return 6;
  if (CancelFlag().load() != 0) return 1;
  const int32_t* next = request.state().appGroups.Take();
  if (next == nullptr) return 11;
  return ReadFullGroup(*next, record);
}

int QelLocal_NextAppGroupName(CsHandle*, int32_t* agid, char name[61]) {
  if (agid == nullptr || name == nullptr) return 6;
  Request request;
  if (!request.Ready()) return 6;
  const int32_t* next = request.state().appGroups.Take();
  if (next == nullptr) return 11;
  TableFile ag;
  if (LoadTable(QELLOCAL_TBL_AG, &ag) != 0) return 6;
  char n[61] = {};
  if (ag.Text(Row(*next), "NAME", n, sizeof n, 6) != 0) return 6;
  *agid = *next;
  std::memcpy(name, n, sizeof n);
  return 0;
}
