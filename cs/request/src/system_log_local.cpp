// The local server's System Log: the "System Log" application group of the local archive
// and the store of a record as a row of that group. Lent to message issuing as roads.
#include "system_log_local.h"

#include <cstring>
#include <new>
#include <string>

#include "arc_datetime.h"
#include "arc_platform.h"
#include "qel_local.h"
#include "route_detail.h"

namespace {

constexpr const char* kGroupName = "'System Log'";

// Holds the local server open around one lookup or store: the bracket's open when it
// holds one (opens are counted), else a set-up of its own. No request bracket of the
// local server is begun: a store may run inside another request, whose yield callback
// and cancel flag must stay as they are.
class LocalOpen {
public:
    explicit LocalOpen(CsHandle* handle) : handle_(handle), rc_(QelLocal_Open(handle)) {}
    ~LocalOpen() {
        if (rc_ == CS_OK) QelLocal_Close(handle_);
    }
    LocalOpen(const LocalOpen&) = delete;
    LocalOpen& operator=(const LocalOpen&) = delete;
    int Result() const { return rc_; }

private:
    CsHandle* handle_;
    int rc_;
};

// The value of one field of the System Log group, chosen by the field's name.
std::string FieldValue(const QelLocalAgField& field, const CsSystemLogRecord& record) {
    auto arg = [&record](size_t i) { return i < record.args.size() ? record.args[i] : std::string(); };
    const char* name = field.name;
    if (ArcOS_StrICmp(name, "TIME_STAMP") == 0) return std::to_string(ArcDT_Now('Z'));
    if (ArcOS_StrICmp(name, "USERID") == 0) return arg(3);
    if (ArcOS_StrICmp(name, "MSG_NUM") == 0) return std::to_string(record.number);
    if (ArcOS_StrICmp(name, "SEVERITY") == 0) return std::string(1, record.severity);
    if (ArcOS_StrICmp(name, "MSG_TEXT") == 0) return record.text;
    if (ArcOS_StrICmp(name, "SERVER") == 0) return arg(0);
    if (ArcOS_StrICmp(name, "PROCESS_ID") == 0) return arg(2);
    if (ArcOS_StrICmp(name, "USER_NAME") == 0) return arg(4);
    if (ArcOS_StrICmp(name, "CATEGORY") == 0) return std::to_string(record.category);
    return std::string();
}

}  // namespace

namespace csreq::detail {

int LocalSystemLogFolder(CsHandle* handle, std::shared_ptr<CsStorageSet>* folder,
                         std::shared_ptr<const void>* group, std::vector<CsSystemLogField>* fields) {
    if (handle == nullptr || handle->def.kind != CS_KIND_LOCAL) return CS_NOT_FOUND;
    try {
        LocalOpen open(handle);
        if (open.Result() != CS_OK) return open.Result();
        // The listed group comes whole, fields and all (the same read as QelLocal_ReadAppGroup).
        auto record = std::make_shared<QelLocalAppGroup>();
        int rc = QelLocal_ListAppGroupsFirst(handle, -1, kGroupName, record.get());
        if (rc != CS_OK) return rc;  // CS_NOT_FOUND: the archive keeps no System Log
        QelLocalStorageSet set;
        rc = QelLocal_ReadStorageSet(handle, record->sid, &set);
        if (rc != CS_OK) return rc;
        fields->clear();
        for (const QelLocalAgField& field : record->fields) fields->push_back({field.type, field.stringCase});
        auto storage = std::make_shared<CsStorageSet>();
        rc = csroute::StorageSetFromLocal(set, storage.get());
        if (rc != CS_OK) return rc;
        *folder = std::move(storage);
        *group = std::move(record);
        return CS_OK;
    } catch (const std::bad_alloc&) {
        return CS_NO_MEMORY;
    }
}

int StoreLocalSystemLog(CsHandle* handle, CsStorageSet&, const CsSystemLogDef& def,
                        const CsSystemLogRecord& record) {
    const auto* group = static_cast<const QelLocalAppGroup*>(def.group.get());
    if (handle == nullptr || group == nullptr) return CS_FAILED;
    try {
        std::vector<std::string> values;
        for (const QelLocalAgField& field : group->fields) values.push_back(FieldValue(field, record));
        LocalOpen open(handle);
        if (open.Result() != CS_OK) return open.Result();
        if (record.data == nullptr) return QelLocal_AddIndexRow(handle, group->agid, values);
        // The message's data becomes the row's document.
        return QelLocal_AddIndexRow(handle, group->agid, values, CsReadMessageData(*record.data));
    } catch (const std::bad_alloc&) {
        return CS_NO_MEMORY;
    }
}

}  // namespace csreq::detail
