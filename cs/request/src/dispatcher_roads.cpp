// The request layer's side of the handle library's seam: the hooks callers set and the
// roads that message issuing takes where no hook is set: the dispatcher's on a remote
// handle, the local server's System Log on a local one.
#include "dispatcher_roads.h"

#include <mutex>

#include "dispatcher_detail.h"
#include "system_log_local.h"

namespace csreq::detail {

void LendDispatcher() {
    static std::once_flag once;
    std::call_once(once, [] {
        CsSetDispatcherRoads({SendLogRecord, CsGetServerInfo, LocalSystemLogFolder, StoreLocalSystemLog});
        LendStorageRoads();
    });
}

}  // namespace csreq::detail

void CsSetLayerHooks(CsLayerHooks hooks) {
    csreq::detail::LendDispatcher();
    CsSetIssueHooks(std::move(hooks));
}
