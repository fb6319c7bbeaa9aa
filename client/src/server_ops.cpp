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

}  // namespace qelclient
