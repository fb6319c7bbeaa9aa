// The numbered messages of logon, logoff and user updates.
#include <cstring>
#include <string>

#include "logon_detail.h"

namespace cslogon {
namespace {

constexpr const char* kSource = "Qelcs";

// The server's host text as the messages name it: the transport's text while known,
// else the definition's host, else the server's name.
std::string HostText(const CsHandle* handle) {
    for (const char* text : {handle->serverInfo, handle->def.host, handle->serverName}) {
        if (text[0] != '\0') return text;
    }
    return "ARCHIVE";
}

}  // namespace

void IssueLogonMessage(CsHandle* handle, int row, int line) {
    const std::string host = HostText(handle);
    CsMessageArgs args;
    args.S(host.c_str()).S(kSource).I(line);
    CsIssueMessageArgs(handle, row, args);
}

void IssueUserMessage(CsHandle* handle, int row, const char* userId, int32_t number, int line) {
    CsMessageArgs args;
    args.S(userId).I(number).S(kSource).I(line);
    CsIssueMessageArgs(handle, row, args);
}

}  // namespace cslogon
