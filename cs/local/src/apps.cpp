// apps.cpp - applications of app.tbl, their load files and views.
#include "arc_platform.h"
#include "local_state.h"
#include "selection.h"

using namespace qel::local::detail;

namespace {

// A file of a folder named by a table value: CS_OK; CS_FAILED when the name leaves the
// folder or the file cannot be read.
int ReadNamedFile(int dir, const std::string& name, std::string* content) {
    std::optional<std::string> path = FileInFolder(dir, name);
    if (!path || ArcOS_ReadFile(path->c_str(), content) != 0) return CS_FAILED;
    return CS_OK;
}

int ReadAppRow(int32_t appId, int32_t agid, QelLocalApp* record) {
    TableFile app;
    if (LoadTable(QELLOCAL_TBL_APP, &app) != CS_OK) return CS_FAILED;
    QelLocalApp a;
    a.appId = appId;
    a.agid = agid;
    std::string s = Row(appId);
    if (app.Text(s, "NAME", a.name, sizeof a.name, CS_FAILED) != CS_OK ||
        app.Text(s, "DESCRIPTION", a.description, sizeof a.description, CS_FAILED, "") != CS_OK ||
        app.Int32(s, "DOC_TYPE", &a.docType, CS_FAILED, 0) != CS_OK ||
        app.Letter(s, "DOC_COMP_TYPE", &a.docCompType, CS_OK) != CS_OK ||
        app.Letter(s, "RES_COMP_TYPE", &a.resCompType, CS_OK) != CS_OK ||
        app.Int32(s, "COMP_OBJSIZE", &a.compObjSize, CS_FAILED, 102400) != CS_OK ||
        app.Text(s, "ALIAS", a.alias, sizeof a.alias, CS_FAILED, "") != CS_OK ||
        app.Text(s, "FIXED_VIEW", a.fixedView, sizeof a.fixedView, CS_FAILED, "") != CS_OK ||
        app.Int32(s, "IDX_TYPE", &a.idxType, CS_FAILED, 0) != CS_OK ||
        app.Text(s, "INDEXER", a.indexer, sizeof a.indexer, CS_FAILED, "") != CS_OK ||
        app.Text(s, "PREPROCESSOR", a.preprocessor, sizeof a.preprocessor, CS_FAILED, "") != CS_OK) {
        return CS_FAILED;
    }
    if (a.indexer[0] != '\0' && ReadNamedFile(QELLOCAL_DIR_LOAD, a.indexer, &a.indexerText) != CS_OK) {
        return CS_FAILED;
    }
    if (a.preprocessor[0] != '\0' &&
        ReadNamedFile(QELLOCAL_DIR_LOAD, a.preprocessor, &a.preprocessorText) != CS_OK) {
        return CS_FAILED;
    }
    *record = std::move(a);
    return CS_OK;
}

// Readers of the two application lists: each keeps the group it lists.
int ReadListedApp(int32_t appId, QelLocalApp* record) { return ReadAppRow(appId, State().appsGroup, record); }
int ReadListedFolderApp(int32_t appId, QelLocalApp* record) {
    return ReadAppRow(appId, State().folderAppsGroup, record);
}

int ReadView(const std::string& file, std::string* view) {
    std::string content;
    if (ReadNamedFile(QELLOCAL_DIR_VIEW, file, &content) != CS_OK) return CS_FAILED;
    if (!content.empty() && content.front() == '\x01') content.erase(0, 1);
    *view = std::move(content);
    return CS_OK;
}

}  // namespace

int QelLocal_ReadApp(CsHandle*, int32_t appId, QelLocalApp* record) {
    if (record == nullptr) return CS_FAILED;
    Request request;
    if (!request.Ready()) return CS_FAILED;
    return ReadAppRow(appId, 0, record);
}

int QelLocal_ListAppsFirst(CsHandle*, int32_t agid, const char* name, QelLocalApp* record) {
    auto build = [&](LocalState& s, std::vector<int32_t>* ids) -> int {
        s.appsGroup = agid;
        TableFile ag, app;
        if (LoadTable(QELLOCAL_TBL_AG, &ag) != CS_OK || LoadTable(QELLOCAL_TBL_APP, &app) != CS_OK) {
            return CS_FAILED;
        }
        ListSource all{&ag, Row(agid), "APPLICATIONS"};
        return SelectIds(app, all, nullptr, name, ids);
    };
    return ListFirst(&LocalState::apps, build, ReadListedApp, record);
}

int QelLocal_ListAppsNext(CsHandle*, QelLocalApp* record) {
    return ListNext(&LocalState::apps, CancelCheck::kAfterGuards, ReadListedApp, record);
}

int QelLocal_ListFolderAppsFirst(CsHandle*, int32_t fid, int32_t agid, QelLocalApp* record) {
    auto build = [&](LocalState& s, std::vector<int32_t>* ids) -> int {
        s.folderAppsGroup = agid;
        TableFile folagapp;
        if (LoadTable(QELLOCAL_TBL_FOLAGAPP, &folagapp) != CS_OK) return CS_FAILED;
        return folagapp.IdList(Row(fid, agid), "APPLICATIONS", ids);
    };
    return ListFirst(&LocalState::folderApps, build, ReadListedFolderApp, record);
}

int QelLocal_NextFolderApp(CsHandle*, QelLocalApp* record) {
    return ListNext(&LocalState::folderApps, CancelCheck::kNone, ReadListedFolderApp, record);
}

int QelLocal_ListFolderAppsNext(CsHandle*, QelLocalApp* record) {
    return ListNext(&LocalState::folderApps, CancelCheck::kFirst, ReadListedFolderApp, record);
}

int QelLocal_ReadAppViews(CsHandle*, const char* viewFile, std::string* view) {
    if (viewFile == nullptr || view == nullptr) return CS_FAILED;
    Request request;
    if (!request.Ready()) return CS_FAILED;
    return ReadView(viewFile, view);
}

int QelLocal_GetAppViews(CsHandle*, int32_t agid, int32_t appId, int32_t userId, std::string* view) {
    if (view == nullptr) return CS_FAILED;
    Request request;
    if (!request.Ready()) return CS_FAILED;
    TableFile appusr, app;
    if (LoadTable(QELLOCAL_TBL_APPUSR, &appusr) != CS_OK || LoadTable(QELLOCAL_TBL_APP, &app) != CS_OK) {
        return CS_FAILED;
    }
    std::string file;
    if (appusr.LongText(Row(agid, appId, userId), "USER_VIEW", &file, CS_FAILED, "", 60) != CS_OK) {
        return CS_FAILED;
    }
    if (file.empty() && app.LongText(Row(appId), "FIXED_VIEW", &file, CS_FAILED, "", 60) != CS_OK) {
        return CS_FAILED;
    }
    if (file.empty()) return CS_NOT_FOUND;
    return ReadView(file, view);
}
