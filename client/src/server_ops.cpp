// The table of request-layer operations the sessions run.
#include "server_ops.h"

#include <utility>

namespace qelclient {
namespace {

ServerOps& Table() {
    static ServerOps table = RequestLayerOps();
    return table;
}

}  // namespace

const ServerOps& Ops() { return Table(); }

void SetOps(ServerOps ops) { Table() = std::move(ops); }

#ifndef QEL_CLIENT_CS_BINDING
// The request layer does not offer its logon operations in this build yet: every
// server call of a session answers 6 until cs_binding.cpp is built.
ServerOps RequestLayerOps() { return ServerOps{}; }
#endif

}  // namespace qelclient
