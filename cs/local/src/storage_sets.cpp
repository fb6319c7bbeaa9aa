// storage_sets.cpp - storage sets (ss.tbl), their nodes (snode.tbl) and object nodes (res.tbl).
#include <limits>

#include "local_state.h"
#include "selection.h"

using namespace qel::local::detail;

namespace {

int ReadNode(const TableFile& snode, int32_t sid, int32_t nid, QelLocalStorageNode* record) {
  QelLocalStorageNode n;
  n.sid = sid;
  n.nid = nid;
  std::string s = Row(sid, nid);
  int64_t status = 0;
  if (snode.Text(s, "NAME", n.name, sizeof n.name, 6) != 0 ||
      snode.Text(s, "DESCRIPTION", n.description, sizeof n.description, 6, "") != 0 ||
      snode.Text(s, "LOGON", n.logon, sizeof n.logon, 6, "") != 0 ||
      snode.Text(s, "PASSWORD", n.password, sizeof n.password, 6, "") != 0 ||
      snode.Text(s, "SERVER", n.server, sizeof n.server, 6, "") != 0 ||
      snode.Number(s, "STATUS", INT32_MIN, UINT32_MAX, &status, 6, 0) != 0 ||
      snode.Int32(s, "SEC_NID", &n.secNid, 6, 0) != 0) {
    return 6;
  }
  n.status = uint32_t(status);
  *record = n;
  return 0;
}

int ReadSet(int32_t sid, QelLocalStorageSet* record) {
  TableFile ss, snode;
  if (LoadTable(QELLOCAL_TBL_SS, &ss) != 0 || LoadTable(QELLOCAL_TBL_SNODE, &snode) != 0) return 6;
  QelLocalStorageSet set;
  set.sid = sid;
  std::string s = Row(sid);
  int64_t loadType = 0;
  if (ss.Text(s, "NAME", set.name, sizeof set.name, 6) != 0 ||
      ss.Text(s, "DESCRIPTION", set.description, sizeof set.description, 6, "") != 0 ||
      ss.Number(s, "LOAD_TYPE", 0, 255, &loadType, 6, 0) != 0 ||
      ss.UInt16(s, "NODE_NUM", &set.nodeNum, 6, 0) != 0) {
    return 6;
  }
  set.loadType = uint8_t(loadType);
  std::vector<int32_t> nodes;
  int rc = ss.IdList(s, "STORAGE_NODES", &nodes);
  if (rc == 6) return 6;
  for (int32_t nid : nodes) {
    QelLocalStorageNode node;
    if (ReadNode(snode, sid, nid, &node) != 0) return 6;
    set.nodes.push_back(node);
  }
  *record = std::move(set);
  return 0;
}

}  // namespace

int QelLocal_ReadStorageNode(CsHandle*, int32_t sid, int32_t nid, QelLocalStorageNode* record) {
  if (record == nullptr) return 6;
  Request request;
  if (!request.Ready()) return 6;
  TableFile snode;
  if (LoadTable(QELLOCAL_TBL_SNODE, &snode) != 0) return 6;
  return ReadNode(snode, sid, nid, record);
}

int QelLocal_ReadStorageSet(CsHandle*, int32_t sid, QelLocalStorageSet* record) {
  if (record == nullptr) return 6;
  Request request;
  if (!request.Ready()) return 6;
  return ReadSet(sid, record);
}

int QelLocal_GetStorageSets(CsHandle*, const char* name, QelLocalStorageSet* record) {
  if (record == nullptr) return 6;
  Request request;
  if (!request.Ready()) return 6;
  Cursor<int32_t>& cursor = request.state().storageSets;
  cursor.Reset({});
  TableFile ss;
  if (LoadTable(QELLOCAL_TBL_SS, &ss) != 0) return 6;
  ListSource all{&ss, "STORAGE_SETS", "STORAGE_SETS"};
  std::vector<int32_t> ids;
  if (int rc = SelectIds(ss, all, nullptr, name, &ids); rc != 0) return rc;
  cursor.Reset(std::move(ids));
  const int32_t* first = cursor.Take();
  if (first == nullptr) return 11;
  return ReadSet(*first, record);
}

int QelLocal_ListStorageSets(CsHandle*, QelLocalStorageSet* record) {
  if (record == nullptr) return 6;
  Request request;
  if (!request.Ready()) return 6;
  if (CancelFlag().load() != 0) return 1;
  const int32_t* next = request.state().storageSets.Take();
  if (next == nullptr) return 11;
  return ReadSet(*next, record);
}

int QelLocal_ReadObjectNodes(CsHandle*, int32_t id1, int32_t id2, QelLocalObjectNodes* record) {
  if (record == nullptr) return 6;
  Request request;
  if (!request.Ready()) return 6;
  TableFile res;
  if (LoadTable(QELLOCAL_TBL_RES, &res) != 0) return 6;
  std::string s = Row(id1, id2);
  if (!res.HasSection(s)) return 11;
  QelLocalObjectNodes n;
  if (res.Int32(s, "PRI_NID", &n.priNid, 6, 0) != 0 || res.Int32(s, "SEC_NID", &n.secNid, 6, 0) != 0 ||
      res.Int32(s, "RID", &n.rid, 6, 0) != 0 || res.Letter(s, "COMP_TYPE", &n.compType, 6) != 0) {
    return 6;
  }
  *record = n;
  return 0;
}

int QelLocal_ReadSystemParms(CsHandle*, QelLocalSystemParms* record) {
  if (record == nullptr) return 6;
  Request request;
  if (!request.Ready()) return 6;
  TableFile system;
  if (LoadTable(QELLOCAL_TBL_SYSTEM, &system) != 0) return 6;
  QelLocalSystemParms p;
  int64_t syslog = 0, exitlog = 0, sysMask = 0, minLen = 0;
  const char* s = "SYSTEM";
  if (system.Int32(s, "CODEPAGE", &p.codePage, 6, 0) != 0 ||
      system.Int32(s, "PASSWD_EXP", &p.passwdExp, 6, -1) != 0 ||
      system.Number(s, "TIME_OUT", std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max(),
                    &p.timeOut, 6, 0) != 0 ||
      system.Number(s, "SYSLOG_MASK", INT32_MIN, UINT32_MAX, &syslog, 6, 0) != 0 ||
      system.Number(s, "EXITLOG_MASK", INT32_MIN, UINT32_MAX, &exitlog, 6, 0) != 0 ||
      system.Number(s, "PASSWD_MIN_LEN", 0, 0xFFFF, &minLen, 6, 0) != 0 ||
      system.Number(s, "SYS_MASK", INT32_MIN, UINT32_MAX, &sysMask, 6) != 0) {
    return 6;
  }
  p.syslogMask = uint32_t(syslog);
  p.exitlogMask = uint32_t(exitlog);
  p.passwdMinLen = uint16_t(minLen);
  p.sysMask = uint32_t(sysMask);
  *record = p;
  return 0;
}
