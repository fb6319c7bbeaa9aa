// The local server's System Log, lent to message issuing (CsDispatcherRoads).
#pragma once

#include <memory>
#include <vector>

#include "qel_cshandle.h"

namespace csreq::detail {

// The "System Log" application group of a local handle's archive: its storage set, the
// group record (a QelLocalAppGroup) and its fields. CS_NOT_FOUND for a remote handle or
// an archive without the group.
int LocalSystemLogFolder(CsHandle* handle, std::shared_ptr<CsStorageSet>* folder,
                         std::shared_ptr<const void>* group, std::vector<CsSystemLogField>* fields);
// Stores a record as a row of the group (QelLocal_AddIndexRow), values by field name;
// the record's data, read whole, becomes the row's document.
int StoreLocalSystemLog(CsHandle* handle, CsStorageSet& set, const CsSystemLogDef& def,
                        const CsSystemLogRecord& record);

}  // namespace csreq::detail
