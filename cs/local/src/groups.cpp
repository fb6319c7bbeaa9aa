// groups.cpp - groups of group.tbl.
#include "local_state.h"
#include "selection.h"

using namespace qel::local::detail;

namespace {

int ReadGroupRow(const TableFile& groups, int32_t gid, QelLocalGroup* record) {
  QelLocalGroup g;
  g.gid = gid;
  std::string section = Row(gid);
  if (groups.Text(section, "NAME", g.name, sizeof g.name, 6) != 0) return 6;
  if (groups.Text(section, "DESCRIPTION", g.description, sizeof g.description, 6, "") != 0) return 6;
  if (groups.Int32(section, "UID", &g.uid, 6, 0) != 0) return 6;
  *record = g;
  return 0;
}

int ReadNext(Cursor<int32_t>& cursor, QelLocalGroup* record) {
  const int32_t* id = cursor.Take();
  if (id == nullptr) return 11;
  TableFile groups;
  if (LoadTable(QELLOCAL_TBL_GROUP, &groups) != 0) return 6;
  return ReadGroupRow(groups, *id, record);
}

}  // namespace

int QelLocal_ReadGroup(CsHandle*, int32_t gid, QelLocalGroup* record) {
  if (record == nullptr) return 6;
  Request request;
  if (!request.Ready()) return 6;
  TableFile groups;
  if (LoadTable(QELLOCAL_TBL_GROUP, &groups) != 0) return 6;
  return ReadGroupRow(groups, gid, record);
}

int QelLocal_ListGroupsFirst(CsHandle*, const char* user, const char* name, QelLocalGroup* record) {
  if (record == nullptr) return 6;
  Request request;
  if (!request.Ready()) return 6;
  Cursor<int32_t>& cursor = request.state().groups;
  cursor.Reset({});
  TableFile groups;
  if (LoadTable(QELLOCAL_TBL_GROUP, &groups) != 0) return 6;
  ListSource all{&groups, "GROUPS", "GROUPS"};
  ListSource members{&groups, HasName(user) ? user : "", "GROUPS"};
  std::vector<int32_t> ids;
  if (int rc = SelectIds(groups, all, HasName(user) ? &members : nullptr, name, &ids); rc != 0) return rc;
  cursor.Reset(std::move(ids));
  return ReadNext(cursor, record);
}

int QelLocal_ListGroupsNext(CsHandle*, QelLocalGroup* record) {
  if (record == nullptr) return 6;
  Request request;
  if (!request.Ready()) return 6;
  if (CancelFlag().load() != 0) return 1;
  return ReadNext(request.state().groups, record);
}
