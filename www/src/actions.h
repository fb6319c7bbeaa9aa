// Internal: the actions the dispatcher runs.
#pragma once

#include "qel_www.h"

namespace qelwww::detail {

int LogonAction(const QelWWWConfig* config, QelWWWSession* session);
int LogoffAction(const QelWWWConfig* config, QelWWWSession* session);
int ChangePasswordAction(const QelWWWConfig* config, QelWWWSession* session);

// The end of logon and chgpassword after the logon (or the change): the folder list page
// (or its plain-text form), the state cookies and files, the disconnect. `name` prefixes
// the trace lines; passwordChanged puts message 532 above the list. 0, or 1 with the error
// reply written and the logon ended.
int FolderListReply(const QelWWWConfig* config, QelWWWSession* session, const char* name,
                    bool passwordChanged);

// The logon of a user who may open one folder only: that folder becomes the session's,
// the state is saved and the search form answers (its result).
int OneFolderSearch(const QelWWWConfig* config, QelWWWSession* session);

// Ends the request's logon: keep the server logon after success, end it after a failure.
void EndLogon(QelWWWSession* session, bool keepLogon);

}  // namespace qelwww::detail
