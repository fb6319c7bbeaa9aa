// updatedoc: new index values for one document of the open folder.
#include "document_actions.h"
#include "qel_client.h"

namespace qelwww::detail {

namespace {

// The update list holds at most this many pairs; a request with more is refused whole.
constexpr size_t kMaxUpdatePairs = 32;

struct UpdatePair {
    int groupField;
    std::string value;
};

}  // namespace

int UpdateDocAction(const QelWWWConfig* config, QelWWWSession* session) {
    SEARCH_TRACE(config, "updatedoc: entering");
    OpenFolder* folder = nullptr;
    if (StartWithFolder(config, session, "updatedoc", &folder) != 0) return 1;
    SearchHit* hit = RequestHit(config, session, folder);
    if (hit == nullptr) return 1;
    uint32_t groupId = 0;
    uint32_t applicationId = 0;
    Hit_GetApplGroupAndApplIds(hit, &groupId, &applicationId);

    std::vector<UpdatePair> pairs;
    for (int field = 0; field < folder->fieldCount; ++field) {
        const std::string name = FieldName(folder, field);
        SEARCH_TRACE(config, "updatedoc: looking for '%s' in query_string", name.c_str());
        const char* given = session->parms->Get(name.c_str());
        if (given == nullptr) continue;
        SEARCH_TRACE(config, "updatedoc: found '%s' in query_string", name.c_str());
        SEARCH_TRACE(config, "updatedoc:    value is '%s'", given);
        std::string value = ConvertDate(folder, field, given, true, session->dateFormat);
        if (value != given) SEARCH_TRACE(config, "updatedoc: date value now is '%s'", value.c_str());
        int groupField = -1;
        if (!Doc_FindMappedField(folder, groupId, field, &groupField, nullptr)) continue;
        if (pairs.size() == kMaxUpdatePairs)
            return FailAction(config, session, folder, QELWWW_MSG_BAD_VALUE, {name});
        pairs.push_back(UpdatePair{groupField, std::move(value)});
    }
    if (pairs.empty()) return FailAction(config, session, folder, QELWWW_MSG_NO_MAPPINGS, {});

    std::vector<int> fields;
    std::vector<const char*> values;
    for (const UpdatePair& pair : pairs) {
        fields.push_back(pair.groupField);
        values.push_back(pair.value.c_str());
    }
    ClientStatus status;
    int failing = -1;
    Hit_UpdateIndexValues(&status, session->client, folder, &hit, static_cast<int>(pairs.size()),
                          fields.data(), values.data(), &failing);
    if (status.severity != CLIENT_SEV_OK) {
        SEARCH_TRACE(config, "updatedoc: update refused, code %d, value %d", status.code, failing);
        return FailWithStatus(config, session, folder, status, QELWWW_MSG_UNKNOWN_STATUS);
    }

    BeginReply(config, session);
    if (session->noHtml) BeginLine(config, session);
    session->response->PrintText("%s\n",
                                 LineValue(config, session, SearchMessage(QELWWW_MSG_UPDATED)).c_str());
    if (session->noHtml) EndLine(config, session);
    EndReply(config, session);
    FinishWithFolder(config, session, "updatedoc", folder);
    SEARCH_TRACE(config, "updatedoc: exiting");
    return 0;
}

}  // namespace qelwww::detail
