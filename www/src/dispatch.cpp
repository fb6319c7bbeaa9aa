// The dispatcher: one action per request, by keyword or one-letter alias.
#include "qel_www.h"

#include "actions.h"
#include "dispatch_table.h"

namespace qelwww::detail {

// An entry without an action is a keyword the gateway knows but does not carry out: it
// answers as an unknown function.
const DispatchEntry kDispatchTable[] = {
    {"logon", "l", false, LogonAction},
    {"logoff", "f", false, LogoffAction},
    {"chgpassword", "c", false, ChangePasswordAction},
    {"searchcrit", "s", true, nullptr},
    {"dochitlist", "d", true, nullptr},
    {"retrieve", "r", true, nullptr},
    {"getsegment", "g", false, nullptr},
    {"updatedoc", "u", false, nullptr},
    {"printdocs", "p", false, nullptr},
    {"getnotes", "n", false, nullptr},
    {"addnote", "a", false, nullptr},
    {"QKA2H", nullptr, false, nullptr},
};
const size_t kDispatchTableSize = sizeof kDispatchTable / sizeof kDispatchTable[0];

const DispatchEntry* FindAction(const std::string& keyword) {
    for (const DispatchEntry& entry : kDispatchTable) {
        if (keyword == entry.keyword || (entry.alias != nullptr && keyword == entry.alias)) return &entry;
    }
    return nullptr;
}

}  // namespace qelwww::detail

int QelWWW_Dispatch(const QelWWWConfig* config, QelWWWSession* session) {
    using qelwww::detail::FindAction;
    if (session == nullptr) return 1;
    const qelwww::detail::DispatchEntry* entry = FindAction(session->action);
    if (entry != nullptr && entry->needsFolder && session->folder.empty()) {
        QelWWW_ReportText(config, session, true, QELWWW_MSG_MISSING_ARG, {"_folder"});
        return 1;
    }
    if (entry == nullptr || entry->action == nullptr) {
        if (entry != nullptr && config != nullptr && config->traceOn)
            QelWWW_Trace(config, "QelWWW_Dispatch: action '%s' is not carried out", entry->keyword);
        QelWWW_ReportText(config, session, true, QELWWW_MSG_NO_FUNCTION, {session->action});
        return 1;
    }
    return entry->action(config, session);
}
