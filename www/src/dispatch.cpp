// The dispatcher: one action per request, by keyword or one-letter alias.
#include "qel_www.h"

#include "actions.h"
#include "dispatch_table.h"
#include "documents.h"
#include "search_pages.h"

namespace qelwww::detail {

// An entry without an action is a keyword the gateway knows but does not carry out: it
// answers as an unknown function.
const DispatchEntry kDispatchTable[] = {
    {"logon", "l", false, StoredState::kChangedByNewPassword, LogonAction},
    {"logoff", "f", false, StoredState::kRead, LogoffAction},
    {"chgpassword", "c", false, StoredState::kChanged, ChangePasswordAction},
    {"searchcrit", "s", true, StoredState::kRead, SearchCritAction},
    {"dochitlist", "d", true, StoredState::kRead, DocHitListAction},
    {"retrieve", "r", true, StoredState::kRead, RetrieveAction},
    {"getsegment", "g", false, StoredState::kRead, GetSegmentAction},
    {"updatedoc", "u", false, StoredState::kChanged, UpdateDocAction},
    {"printdocs", "p", false, StoredState::kChanged, PrintDocsAction},
    {"getnotes", "n", false, StoredState::kRead, GetNotesAction},
    {"addnote", "a", false, StoredState::kChanged, AddNoteAction},
    {"QKA2H", nullptr, false, StoredState::kRead, AfpAppletAction},
};
const size_t kDispatchTableSize = sizeof kDispatchTable / sizeof kDispatchTable[0];

const DispatchEntry* FindAction(const std::string& keyword) {
    for (const DispatchEntry& entry : kDispatchTable) {
        if (keyword == entry.keyword || (entry.alias != nullptr && keyword == entry.alias)) return &entry;
    }
    return nullptr;
}

namespace {

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Schemes and host names compare without case.
bool SameText(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    }
    return true;
}

std::string_view WithoutSlash(std::string_view origin) {
    if (!origin.empty() && origin.back() == '/') origin.remove_suffix(1);
    return origin;
}

bool Listed(std::string_view list, std::string_view origin) {
    while (!list.empty()) {
        size_t comma = list.find(',');
        std::string_view entry = WithoutSlash(Trimmed(list.substr(0, comma)));
        if (!entry.empty() && SameText(entry, origin)) return true;
        if (comma == std::string_view::npos) break;
        list.remove_prefix(comma + 1);
    }
    return false;
}

bool ChangesState(const DispatchEntry& entry, const QelWWWSession& session) {
    switch (entry.state) {
        case StoredState::kChanged: return true;
        case StoredState::kChangedByNewPassword:
            return session.parms && session.parms->Get("_new_password", "_np") != nullptr;
        default: return false;
    }
}

}  // namespace

}  // namespace qelwww::detail

bool QelWWW_MayChangeState(std::string_view method, const std::optional<std::string>& origin,
                           std::string_view host, std::string_view allowedOrigins) {
    using namespace qelwww::detail;
    // A link, an image or a top-level GET from any site carries the cookies (SameSite=Lax).
    if (method != "POST") return false;
    if (!origin) return true;
    std::string_view sent = WithoutSlash(Trimmed(*origin));
    if (sent.empty() || sent == "null") return false;
    size_t scheme = sent.find("://");
    if (scheme != std::string_view::npos && !host.empty() && SameText(sent.substr(scheme + 3), host))
        return true;
    return Listed(allowedOrigins, sent);
}

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
    if (qelwww::detail::ChangesState(*entry, *session) &&
        !QelWWW_MayChangeState(session->requestMethod, session->requestOrigin, session->requestHost,
                               config != nullptr ? config->allowedOrigins : std::string())) {
        if (config != nullptr && config->traceOn)
            QelWWW_Trace(config, "QelWWW_Dispatch: '%s' refused: method '%s', origin '%s', host '%s'",
                         entry->keyword, session->requestMethod.c_str(),
                         session->requestOrigin ? session->requestOrigin->c_str() : "",
                         session->requestHost.c_str());
        QelWWW_ReportText(config, session, false, QELWWW_MSG_CROSS_SITE, {entry->keyword});
        return 1;
    }
    return entry->action(config, session);
}
