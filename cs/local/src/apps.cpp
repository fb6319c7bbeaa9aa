// apps.cpp - applications of app.tbl, their load files and views.
#include "arc_platform.h"
#include "local_state.h"
#include "selection.h"

using namespace qel::local::detail;

namespace {

// A file of a folder named by a table value: 0; 6 when the name leaves the
// folder or the file cannot be read.
int ReadNamedFile(int dir, const std::string& name, std::string* content) {
  std::optional<std::string> path = FileInFolder(dir, name);
  if (!path || ArcOS_ReadFile(path->c_str(), content) != 0) return 6;
  return 0;
}

int ReadAppRow(int32_t appId, int32_t agid, QelLocalApp* record) {
  TableFile app;
  if (LoadTable(QELLOCAL_TBL_APP, &app) != 0) return 6;
  QelLocalApp a;
  a.appId = appId;
  a.agid = agid;
  std::string s = Row(appId);
  if (app.Text(s, "NAME", a.name, sizeof a.name, 6) != 0 ||
      app.Text(s, "DESCRIPTION", a.description, sizeof a.description, 6, "") != 0 ||
      app.Int32(s, "DOC_TYPE", &a.docType, 6, 0) != 0 ||
      app.Letter(s, "DOC_COMP_TYPE", &a.docCompType, 0) != 0 ||
      app.Letter(s, "RES_COMP_TYPE", &a.resCompType, 0) != 0 ||
      app.Int32(s, "COMP_OBJSIZE", &a.compObjSize, 6, 102400) != 0 ||
      app.Text(s, "ALIAS", a.alias, sizeof a.alias, 6, "") != 0 ||
      app.Text(s, "FIXED_VIEW", a.fixedView, sizeof a.fixedView, 6, "") != 0 ||
      app.Int32(s, "IDX_TYPE", &a.idxType, 6, 0) != 0 ||
      app.Text(s, "INDEXER", a.indexer, sizeof a.indexer, 6, "") != 0 ||
      app.Text(s, "PREPROCESSOR", a.preprocessor, sizeof a.preprocessor, 6, "") != 0) {
    return 6;
  }
  if (a.indexer[0] != '\0' && ReadNamedFile(QELLOCAL_DIR_LOAD, a.indexer, &a.indexerText) != 0) return 6;
  if (a.preprocessor[0] != '\0' &&
      ReadNamedFile(QELLOCAL_DIR_LOAD, a.preprocessor, &a.preprocessorText) != 0) {
    return 6;
  }
  *record = std::move(a);
  return 0;
}

int ReadNext(Cursor<int32_t>& cursor, int32_t agid, QelLocalApp* record) {
  const int32_t* id = cursor.Take();
  if (id == nullptr) return 11;
  return ReadAppRow(*id, agid, record);
}

int ReadView(const std::string& file, std::string* view) {
  std::string content;
  if (ReadNamedFile(QELLOCAL_DIR_VIEW, file, &content) != 0) return 6;
  if (!content.empty() && content.front() == '\x01') content.erase(0, 1);
  *view = std::move(content);
  return 0;
}

}  // namespace

int QelLocal_ReadApp(CsHandle*, int32_t appId, QelLocalApp* record) {
  if (record == nullptr) return 6;
  Request request;
  if (!request.Ready()) return 6;
  return ReadAppRow(appId, 0, record);
}

int QelLocal_ListAppsFirst(CsHandle*, int32_t agid, const char* name, QelLocalApp* record) {
  if (record == nullptr) return 6;
  Request request;
  if (!request.Ready()) return 6;
  LocalState& s = request.state();
  s.apps.Reset({});
  s.appsGroup = agid;
  TableFile ag, app;
  if (LoadTable(QELLOCAL_TBL_AG, &ag) != 0 || LoadTable(QELLOCAL_TBL_APP, &app) != 0) return 6;
  ListSource all{&ag, Row(agid), "APPLICATIONS"};
  std::vector<int32_t> ids;
  if (int rc = SelectIds(app, all, nullptr, name, &ids); rc != 0) return rc;
  s.apps.Reset(std::move(ids));
  return ReadNext(s.apps, agid, record);
}

int QelLocal_ListAppsNext(CsHandle*, QelLocalApp* record) {
  if (record == nullptr) return 6;
  Request request;
  if (!request.Ready()) return 6;
  if (CancelFlag().load() != 0) return 1;
  return ReadNext(request.state().apps, request.state().appsGroup, record);
}

int QelLocal_ListFolderAppsFirst(CsHandle*, int32_t fid, int32_t agid, QelLocalApp* record) {
  if (record == nullptr) return 6;
  Request request;
  if (!request.Ready()) return 6;
  LocalState& s = request.state();
  s.folderApps.Reset({});
  s.folderAppsGroup = agid;
  TableFile folagapp;
  if (LoadTable(QELLOCAL_TBL_FOLAGAPP, &folagapp) != 0) return 6;
  std::vector<int32_t> ids;
  if (int rc = folagapp.IdList(Row(fid, agid), "APPLICATIONS", &ids); rc != 0) return rc;
  s.folderApps.Reset(std::move(ids));
  return ReadNext(s.folderApps, agid, record);
}

int QelLocal_NextFolderApp(CsHandle*, QelLocalApp* record) {
  if (record == nullptr) return 6;
  Request request;
  if (!request.Ready()) return 6;
  return ReadNext(request.state().folderApps, request.state().folderAppsGroup, record);
}

int QelLocal_ListFolderAppsNext(CsHandle* handle, QelLocalApp* record) {
  if (CancelFlag().load() != 0) return 1;
  return QelLocal_NextFolderApp(handle, record);
}

int QelLocal_ReadAppViews(CsHandle*, const char* viewFile, std::string* view) {
  if (viewFile == nullptr || view == nullptr) return 6;
  Request request;
  if (!request.Ready()) return 6;
  return ReadView(viewFile, view);
}

int QelLocal_GetAppViews(CsHandle*, int32_t agid, int32_t appId, int32_t userId, std::string* view) {
  if (view == nullptr) return 6;
  Request request;
  if (!request.Ready()) return 6;
  TableFile appusr, app;
  if (LoadTable(QELLOCAL_TBL_APPUSR, &appusr) != 0 || LoadTable(QELLOCAL_TBL_APP, &app) != 0) return 6;
  std::string file;
  if (appusr.LongText(Row(agid, appId, userId), "USER_VIEW", &file, 6, "", 60) != 0) return 6;
  if (file.empty() && app.LongText(Row(appId), "FIXED_VIEW", &file, 6, "", 60) != 0) return 6;
  if (file.empty()) return 11;
  return ReadView(file, view);
}
