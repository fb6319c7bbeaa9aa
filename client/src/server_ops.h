// server_ops.h - the request-layer operations a session runs (internal).
//
// The session code calls the request layer only through this table, so that logon,
// logoff and the lists can be driven by a scripted server in tests. The default table
// binds the request layer's operations (cs_binding.cpp); an empty entry answers 6.
#pragma once

#include <functional>

#include "qel_client.h"

namespace qelclient {

using FolderRowSink = std::function<int(ClientFolderRow row)>;
using GroupRowSink = std::function<int(ClientGroupEntry row)>;

struct ServerOps {
    // Logs on with user and password (or the integrated user) and fills session->user,
    // session->logon and session->systemParms from what the handle received.
    std::function<int(ClientSession*, const char* user, const char* password)> logon;
    std::function<int(ClientSession*)> integratedLogon;
    std::function<int(ClientSession*)> logoff;
    std::function<int(ClientSession*)> disconnect;
    std::function<int(ClientSession*, const char* oldPassword, const char* newPassword, int* reason)>
        changePassword;
    // Hands each folder the user may open to the sink (its result: 0 go on).
    std::function<int(ClientSession*, const FolderRowSink&)> getFolderList;
    // Hands each group of the user (key: the user number) to the sink.
    std::function<int(ClientSession*, const char* key, const GroupRowSink&)> getUserGroups;
    // The handle's time-out check: 0, 1 or 15.
    std::function<int(ClientSession*)> checkTimeout;
    std::function<void(ClientSession*)> interrupt;
    // Copies the handle's logon record into session->logon (before a save).
    std::function<void(ClientSession*)> captureLogon;
    // Gives the handle the logon record and system parameters of a restored session.
    std::function<int(ClientSession*)> installLogon;
};

// The table in use.
const ServerOps& Ops();
// Replaces the table (tests); set before sessions are made.
void SetOps(ServerOps ops);
// The table that binds the request layer (cs_binding.cpp).
ServerOps RequestLayerOps();

}  // namespace qelclient
