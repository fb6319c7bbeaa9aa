// groups.cpp - groups of group.tbl.
#include "local_state.h"
#include "selection.h"

using namespace qel::local::detail;

namespace {

int ReadGroupRow(const TableFile& groups, int32_t gid, QelLocalGroup* record) {
    QelLocalGroup g;
    g.gid = gid;
    std::string section = Row(gid);
    if (groups.Text(section, "NAME", g.name, sizeof g.name, CS_FAILED) != CS_OK) return CS_FAILED;
    if (groups.Text(section, "DESCRIPTION", g.description, sizeof g.description, CS_FAILED, "") != CS_OK) {
        return CS_FAILED;
    }
    if (groups.Int32(section, "UID", &g.uid, CS_FAILED, 0) != CS_OK) return CS_FAILED;
    *record = g;
    return CS_OK;
}

int ReadListedGroup(int32_t gid, QelLocalGroup* record) {
    TableFile groups;
    if (LoadTable(QELLOCAL_TBL_GROUP, &groups) != CS_OK) return CS_FAILED;
    return ReadGroupRow(groups, gid, record);
}

}  // namespace

int QelLocal_ReadGroup(CsHandle*, int32_t gid, QelLocalGroup* record) {
    if (record == nullptr) return CS_FAILED;
    Request request;
    if (!request.Ready()) return CS_FAILED;
    return ReadListedGroup(gid, record);
}

int QelLocal_ListGroupsFirst(CsHandle*, const char* user, const char* name, QelLocalGroup* record) {
    auto build = [&](LocalState&, std::vector<int32_t>* ids) -> int {
        TableFile groups;
        if (LoadTable(QELLOCAL_TBL_GROUP, &groups) != CS_OK) return CS_FAILED;
        ListSource all{&groups, "GROUPS", "GROUPS"};
        ListSource members{&groups, HasName(user) ? user : "", "GROUPS"};
        return SelectIds(groups, all, HasName(user) ? &members : nullptr, name, ids);
    };
    return ListFirst(&LocalState::groups, build, ReadListedGroup, record);
}

int QelLocal_ListGroupsNext(CsHandle*, QelLocalGroup* record) {
    return ListNext(&LocalState::groups, CancelCheck::kAfterGuards, ReadListedGroup, record);
}
