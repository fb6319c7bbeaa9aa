// folders.cpp - folders of fol.tbl, their fields, per-user field settings and mappings.
#include <limits>

#include "local_state.h"
#include "selection.h"

using namespace qel::local::detail;

namespace {

int ReadFields(const TableFile& folfld, int32_t fid, int32_t count,
               std::vector<QelLocalFolderField>* fields) {
  if (count < 0 || count > QELLOCAL_MAX_IDS) return 6;
  std::vector<QelLocalFolderField> result;
  for (int32_t i = 0; i < count; ++i) {
    QelLocalFolderField f;
    f.number = i;
    std::string s = Row(fid, i);
    if (folfld.Text(s, "NAME", f.name, sizeof f.name, 6) != 0 ||
        folfld.Text(s, "DESCRIPTION", f.description, sizeof f.description, 6, "") != 0 ||
        folfld.Letter(s, "TYPE", &f.type, 6) != 0 || folfld.Int32(s, "QUAL", &f.qual, 6, 0) != 0 ||
        folfld.Int32(s, "MAP_TYPE", &f.mapType, 6, 0) != 0) {
      return 6;
    }
    result.push_back(f);
  }
  *fields = std::move(result);
  return 0;
}

int ReadFolderRow(int32_t fid, QelLocalFolder* record) {
  TableFile fol;
  if (LoadTable(QELLOCAL_TBL_FOL, &fol) != 0) return 6;
  QelLocalFolder f;
  f.fid = fid;
  std::string s = Row(fid);
  if (fol.Text(s, "NAME", f.name, sizeof f.name, 6) != 0 ||
      fol.Text(s, "DESCRIPTION", f.description, sizeof f.description, 6, "") != 0 ||
      fol.Int32(s, "ANN_SEARCH", &f.annSearch, 6) != 0 ||
      fol.Int32(s, "FLDS_NUM", &f.fieldCount, 6, 0) != 0 || f.fieldCount < 0 ||
      f.fieldCount > QELLOCAL_MAX_IDS) {
    return 6;
  }
  *record = std::move(f);
  return 0;
}

int ReadNext(Cursor<int32_t>& cursor, QelLocalFolder* record) {
  const int32_t* id = cursor.Take();
  if (id == nullptr) return 11;
  return ReadFolderRow(*id, record);
}

}  // namespace

int QelLocal_ReadFolder(CsHandle*, int32_t fid, QelLocalFolder* record) {
  if (record == nullptr) return 6;
  Request request;
  if (!request.Ready()) return 6;
  return ReadFolderRow(fid, record);
}

int QelLocal_GetFolder(CsHandle*, int32_t fid, QelLocalFolder* record) {
  if (record == nullptr) return 6;
  Request request;
  if (!request.Ready()) return 6;
  QelLocalFolder f;
  if (int rc = ReadFolderRow(fid, &f); rc != 0) return rc;
  TableFile fol, folfld;
  if (LoadTable(QELLOCAL_TBL_FOL, &fol) != 0 || LoadTable(QELLOCAL_TBL_FOLFLD, &folfld) != 0) return 6;
  int rc = fol.IdList(Row(fid), "APPLICATION_GROUPS", &f.appGroups);
  if (rc != 0 && rc != 11) return rc;
  if (ReadFields(folfld, fid, f.fieldCount, &f.fields) != 0) return 6;
  *record = std::move(f);
  return 0;
}

int QelLocal_ListFoldersFirst(CsHandle*, const char* name, QelLocalFolder* record) {
  if (record == nullptr) return 6;
  Request request;
  if (!request.Ready()) return 6;
  Cursor<int32_t>& cursor = request.state().folders;
  cursor.Reset({});
  TableFile fol;
  if (LoadTable(QELLOCAL_TBL_FOL, &fol) != 0) return 6;
  ListSource all{&fol, "FOLDERS", "FOLDERS"};
  std::vector<int32_t> ids;
  if (int rc = SelectIds(fol, all, nullptr, name, &ids); rc != 0) return rc;
  cursor.Reset(std::move(ids));
  return ReadNext(cursor, record);
}

int QelLocal_NextFolder(CsHandle*, QelLocalFolder* record) {
  if (record == nullptr) return 6;
  Request request;
  if (!request.Ready()) return 6;
  return ReadNext(request.state().folders, record);
}

int QelLocal_ListFoldersNext(CsHandle* handle, QelLocalFolder* record) {
  if (CancelFlag().load() != 0) return 1;
  return QelLocal_NextFolder(handle, record);
}

int QelLocal_ReadFolderFields(CsHandle*, int32_t fid, int32_t count,
                              std::vector<QelLocalFolderField>* fields) {
  if (fields == nullptr) return 6;
  Request request;
  if (!request.Ready()) return 6;
  TableFile folfld;
  if (LoadTable(QELLOCAL_TBL_FOLFLD, &folfld) != 0) return 6;
  return ReadFields(folfld, fid, count, fields);
}

int QelLocal_ReadFolderFieldUser(CsHandle*, int32_t fid, int32_t userId, int32_t field,
                                 QelLocalFolderFieldUser* record) {
  if (record == nullptr) return 6;
  Request request;
  if (!request.Ready()) return 6;
  TableFile t;
  if (LoadTable(QELLOCAL_TBL_FOLFLDUS, &t) != 0) return 6;
  std::string s = Row(fid, userId, field);
  if (!t.HasSection(s)) return 11;
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
    if (t.Int32(s, n.key, n.value, 6, 0) != 0) return 6;
  }
  int64_t mask = 0;
  if (t.Number(s, "USR_MASK", INT32_MIN, UINT32_MAX, &mask, 6, 0) != 0) return 6;
  u.usrMask = uint32_t(mask);
  if (t.LongText(s, "MIN", &u.min, 6, "", 254) != 0 || t.LongText(s, "MAX", &u.max, 6, "", 254) != 0 ||
      t.LongText(s, "DEF_VALUE1", &u.defValue1, 6, "0", 254) != 0 ||
      t.LongText(s, "DEF_VALUE2", &u.defValue2, 6, "0", 254) != 0 ||
      t.Text(s, "DSPL_DATEFMT", u.dsplDateFmt, sizeof u.dsplDateFmt, 6, "") != 0 ||
      t.Text(s, "DATEFMT", u.dateFmt, sizeof u.dateFmt, 6, "") != 0) {
    return 6;
  }
  *record = std::move(u);
  return 0;
}

int QelLocal_ReadFolderAgMap(CsHandle*, int32_t agid, int32_t fid, std::vector<QelLocalFieldMap>* map) {
  if (map == nullptr) return 6;
  Request request;
  if (!request.Ready()) return 6;
  TableFile ag2fol;
  if (LoadTable(QELLOCAL_TBL_AG2FOL, &ag2fol) != 0) return 6;
  std::vector<std::pair<std::string, std::string>> entries;
  if (int rc = ag2fol.Entries(Row(agid, fid), &entries); rc != 0) return rc;
  if (entries.size() > size_t(QELLOCAL_MAX_IDS)) return 6;
  std::vector<QelLocalFieldMap> result;
  for (const auto& [key, value] : entries) {
    QelLocalFieldMap m;
    std::optional<int64_t> field = ParseNumber(key, 0, QELLOCAL_MAX_IDS - 1);
    size_t comma = value.find(',');
    if (!field || comma == std::string::npos) return 6;
    std::optional<int64_t> first =
        ParseNumber(std::string_view(value).substr(0, comma), INT16_MIN, INT16_MAX);
    std::optional<int64_t> second =
        ParseNumber(std::string_view(value).substr(comma + 1), INT16_MIN, INT16_MAX);
    if (!first || !second) return 6;
    m.folderField = int32_t(*field);
    m.first = int16_t(*first);
    m.second = int16_t(*second);
    result.push_back(m);
  }
  *map = std::move(result);
  return 0;
}
