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
    if (snode.Text(s, "NAME", n.name, sizeof n.name, CS_FAILED) != CS_OK ||
        snode.Text(s, "DESCRIPTION", n.description, sizeof n.description, CS_FAILED, "") != CS_OK ||
        snode.Text(s, "LOGON", n.logon, sizeof n.logon, CS_FAILED, "") != CS_OK ||
        snode.Text(s, "PASSWORD", n.password, sizeof n.password, CS_FAILED, "") != CS_OK ||
        snode.Text(s, "SERVER", n.server, sizeof n.server, CS_FAILED, "") != CS_OK ||
        snode.Number(s, "STATUS", INT32_MIN, UINT32_MAX, &status, CS_FAILED, 0) != CS_OK ||
        snode.Int32(s, "SEC_NID", &n.secNid, CS_FAILED, 0) != CS_OK) {
        return CS_FAILED;
    }
    n.status = uint32_t(status);
    *record = n;
    return CS_OK;
}

int ReadSet(int32_t sid, QelLocalStorageSet* record) {
    TableFile ss, snode;
    if (LoadTable(QELLOCAL_TBL_SS, &ss) != CS_OK || LoadTable(QELLOCAL_TBL_SNODE, &snode) != CS_OK) {
        return CS_FAILED;
    }
    QelLocalStorageSet set;
    set.sid = sid;
    std::string s = Row(sid);
    int64_t loadType = 0;
    if (ss.Text(s, "NAME", set.name, sizeof set.name, CS_FAILED) != CS_OK ||
        ss.Text(s, "DESCRIPTION", set.description, sizeof set.description, CS_FAILED, "") != CS_OK ||
        ss.Number(s, "LOAD_TYPE", 0, 255, &loadType, CS_FAILED, 0) != CS_OK ||
        ss.UInt16(s, "NODE_NUM", &set.nodeNum, CS_FAILED, 0) != CS_OK) {
        return CS_FAILED;
    }
    set.loadType = uint8_t(loadType);
    std::vector<int32_t> nodes;
    int rc = ss.IdList(s, "STORAGE_NODES", &nodes);
    if (rc == CS_FAILED) return CS_FAILED;
    for (int32_t nid : nodes) {
        QelLocalStorageNode node;
        if (ReadNode(snode, sid, nid, &node) != CS_OK) return CS_FAILED;
        set.nodes.push_back(node);
    }
    *record = std::move(set);
    return CS_OK;
}

}  // namespace

int QelLocal_ReadStorageNode(CsHandle*, int32_t sid, int32_t nid, QelLocalStorageNode* record) {
    if (record == nullptr) return CS_FAILED;
    Request request;
    if (!request.Ready()) return CS_FAILED;
    TableFile snode;
    if (LoadTable(QELLOCAL_TBL_SNODE, &snode) != CS_OK) return CS_FAILED;
    return ReadNode(snode, sid, nid, record);
}

int QelLocal_ReadStorageSet(CsHandle*, int32_t sid, QelLocalStorageSet* record) {
    if (record == nullptr) return CS_FAILED;
    Request request;
    if (!request.Ready()) return CS_FAILED;
    return ReadSet(sid, record);
}

int QelLocal_GetStorageSets(CsHandle*, const char* name, QelLocalStorageSet* record) {
    auto build = [&](LocalState&, std::vector<int32_t>* ids) -> int {
        TableFile ss;
        if (LoadTable(QELLOCAL_TBL_SS, &ss) != CS_OK) return CS_FAILED;
        ListSource all{&ss, "STORAGE_SETS", "STORAGE_SETS"};
        return SelectIds(ss, all, nullptr, name, ids);
    };
    return ListFirst(&LocalState::storageSets, build, ReadSet, record);
}

int QelLocal_ListStorageSets(CsHandle*, QelLocalStorageSet* record) {
    return ListNext(&LocalState::storageSets, CancelCheck::kAfterGuards, ReadSet, record);
}

int QelLocal_ReadObjectNodes(CsHandle*, int32_t id1, int32_t id2, QelLocalObjectNodes* record) {
    if (record == nullptr) return CS_FAILED;
    Request request;
    if (!request.Ready()) return CS_FAILED;
    TableFile res;
    if (LoadTable(QELLOCAL_TBL_RES, &res) != CS_OK) return CS_FAILED;
    std::string s = Row(id1, id2);
    if (!res.HasSection(s)) return CS_NOT_FOUND;
    QelLocalObjectNodes n;
    if (res.Int32(s, "PRI_NID", &n.priNid, CS_FAILED, 0) != CS_OK ||
        res.Int32(s, "SEC_NID", &n.secNid, CS_FAILED, 0) != CS_OK ||
        res.Int32(s, "RID", &n.rid, CS_FAILED, 0) != CS_OK ||
        res.Letter(s, "COMP_TYPE", &n.compType, CS_FAILED) != CS_OK) {
        return CS_FAILED;
    }
    *record = n;
    return CS_OK;
}

int QelLocal_ReadSystemParms(CsHandle*, QelLocalSystemParms* record) {
    if (record == nullptr) return CS_FAILED;
    Request request;
    if (!request.Ready()) return CS_FAILED;
    TableFile system;
    if (LoadTable(QELLOCAL_TBL_SYSTEM, &system) != CS_OK) return CS_FAILED;
    QelLocalSystemParms p;
    int64_t syslog = 0, exitlog = 0, sysMask = 0, minLen = 0;
    const char* s = "SYSTEM";
    if (system.Int32(s, "CODEPAGE", &p.codePage, CS_FAILED, 0) != CS_OK ||
        system.Int32(s, "PASSWD_EXP", &p.passwdExp, CS_FAILED, -1) != CS_OK ||
        system.Number(s, "TIME_OUT", std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max(),
                      &p.timeOut, CS_FAILED, 0) != CS_OK ||
        system.Number(s, "SYSLOG_MASK", INT32_MIN, UINT32_MAX, &syslog, CS_FAILED, 0) != CS_OK ||
        system.Number(s, "EXITLOG_MASK", INT32_MIN, UINT32_MAX, &exitlog, CS_FAILED, 0) != CS_OK ||
        system.Number(s, "PASSWD_MIN_LEN", 0, 0xFFFF, &minLen, CS_FAILED, 0) != CS_OK ||
        system.Number(s, "SYS_MASK", INT32_MIN, UINT32_MAX, &sysMask, CS_FAILED) != CS_OK) {
        return CS_FAILED;
    }
    p.syslogMask = uint32_t(syslog);
    p.exitlogMask = uint32_t(exitlog);
    p.passwdMinLen = uint16_t(minLen);
    p.sysMask = uint32_t(sysMask);
    *record = p;
    return CS_OK;
}
