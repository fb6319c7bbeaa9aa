// The request layer's side of the handle library's seam: the hooks callers set and the
// dispatcher's roads that message issuing takes on a remote handle.
#include "dispatcher_roads.h"

#include <mutex>

#include "dispatcher_detail.h"

namespace csreq::detail {

void LendDispatcher() {
    static std::once_flag once;
    std::call_once(once, [] { CsSetDispatcherRoads({SendLogRecord, CsGetServerInfo}); });
}

}  // namespace csreq::detail

void CsSetLayerHooks(CsLayerHooks hooks) {
    csreq::detail::LendDispatcher();
    CsSetIssueHooks(std::move(hooks));
}
