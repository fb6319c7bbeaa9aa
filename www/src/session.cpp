// Request session set-up: parameters, cookies, browser settings and the logon values.
#include "qel_www.h"

#include <cstring>

#include "arc_platform.h"
#include "decimal.h"
#include "ini_section.h"

using qelwww::detail::LeadingNumber;
using qelwww::detail::ParseDigits;

namespace {

#define SESSION_TRACE(config, ...)                                  \
    do {                                                            \
        if ((config)->traceOn) QelWWW_Trace((config), __VA_ARGS__); \
    } while (0)

struct Failed {};  // ends the set-up once the error reply is written

[[noreturn]] void Fail(const QelWWWConfig* config, QelWWWSession* session, bool showVersion, int index,
                       std::string insert) {
    QelWWW_ReportText(config, session, showVersion, index, {std::move(insert)});
    throw Failed{};
}

// A value longer than its field is refused, never cut: a cut user id names another user.
void CheckLength(const QelWWWConfig* config, QelWWWSession* session, const std::string& value, size_t max,
                 const char* name) {
    if (value.size() > max) Fail(config, session, false, QELWWW_MSG_BAD_VALUE, name);
}

// A logoff without a logon to end (no state cookie, or one an earlier logoff emptied) is
// told so, as when its saved state cannot be rebuilt; any other action names what is missing.
[[noreturn]] void Missing(const QelWWWConfig* config, QelWWWSession* session, const char* name) {
    if (session->action == "logoff" || session->action == "f")
        Fail(config, session, false, QELWWW_MSG_TIMED_OUT, {});
    Fail(config, session, true, QELWWW_MSG_MISSING_ARG, name);
}

// From the request, else from the state cookie.
const char* RequestOrCookie(const QelWWWSession* session, const char* longName, const char* shortName) {
    if (const char* value = session->parms->Get(longName, shortName)) return value;
    if (session->stateCookieParms) return session->stateCookieParms->Get(longName, shortName);
    return nullptr;
}

bool IsOne(const char* value) { return value != nullptr && LeadingNumber(value) == 1; }

// _cgibin goes into links and form actions: only a plain absolute path is taken.
bool IsPlainUrlPath(const char* path) {
    if (path == nullptr || path[0] != '/' || path[1] == '/') return false;
    for (const char* p = path; *p != '\0'; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        bool ok = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                  std::strchr("/._-~", c) != nullptr;
        if (!ok) return false;
    }
    return true;
}

const char* DefaultPageOf(const std::string& action) {
    static const struct {
        const char* keyword;
        const char* alias;
        const char* page;
    } kPages[] = {
        {"logon", "l", "logon.html"},
        {"logoff", "f", "logoff.html"},
        {"chgpassword", "c", "chgpassword.html"},
        {"searchcrit", "s", "searchcrit.html"},
        {"dochitlist", "d", "dochitlist.html"},
        {"retrieve", "r", "retrieve.html"},
        {"getsegment", "g", "getsegment.html"},
        {"updatedoc", "u", "updatedoc.html"},
        {"printdocs", "p", "printdocs.html"},
        {"getnotes", "n", "getnotes.html"},
        {"addnote", "a", "addnote.html"},
    };
    for (const auto& entry : kPages) {
        if (action == entry.keyword || action == entry.alias) return entry.page;
    }
    return "";
}

char ServerTypeOf(const std::string& protocol) {
    switch (LeadingNumber(protocol.c_str())) {
        case 1: return 'L';
        case 4: return 'S';
        default: return 'T';
    }
}

bool ServerAllowed(const std::string& list, const std::string& server) {
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(',', start);
        if (end == std::string::npos) end = list.size();
        if (list.compare(start, end - start, server) == 0) return true;
        start = end + 1;
    }
    return false;
}

std::string WithoutTrailingSlash(std::string path) {
    if (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

void ApplyBrowserSection(const QelWWWConfig* config, QelWWWSession* session, const char* userAgent) {
    QelWWW_DetectBrowser(userAgent, &session->browserKind, &session->browserMajor, &session->browserMinor,
                         &session->osKind);
    for (const std::string& section : QelWWW_BrowserSections(userAgent)) {
        if (section.empty() || !QelWWW_HasIniSection(config, section.c_str())) continue;
        QelWWW_ReadViewSettings(config, section.c_str(), &session->view, false);
        return;
    }
}

void ReadCookies(const QelWWWConfig* config, QelWWWSession* session, const char* cookie) {
    SESSION_TRACE(config, "QelWWW_InitSession: HTTP_COOKIE = '%s'",
                  QelWWW_BlankCookiePasswords(cookie).c_str());
    if (auto state = QelWWW_GetCookie(cookie, "ZEIQS")) {
        session->stateCookieParms = std::make_unique<QelWWWParmList>(config);
        if (session->stateCookieParms->Parse(state->c_str()) != 0)
            Fail(config, session, false, QELWWW_MSG_BAD_VALUE, session->stateCookieParms->RefusedName());
    }
    if (auto logId = QelWWW_GetCookie(cookie, "ZEILOGID")) {
        session->logId = LeadingNumber(logId->c_str());
        session->sendLogIdCookie = 0;
    }
    if (auto hitList = QelWWW_GetCookie(cookie, "ZEIIE")) {
        session->hitListCookieParms = std::make_unique<QelWWWParmList>(config);
        if (session->hitListCookieParms->Parse(hitList->c_str()) != 0)
            Fail(config, session, false, QELWWW_MSG_BAD_VALUE, session->hitListCookieParms->RefusedName());
    }
}

void ReadPage(const QelWWWConfig* config, QelWWWSession* session) {
    const char* given = session->parms->Get("_html", "_h");
    if (given == nullptr) return;
    std::string page = given;
    if (!page.empty() && page.back() == '*') {
        page.pop_back();
        page += DefaultPageOf(session->action);
    }
    // The page names a file: it must stay inside TemplateDir.
    if (!page.empty() && !QelWWW_IsSafePage(page))
        Fail(config, session, false, QELWWW_MSG_BAD_VALUE, "_html");
    session->pageAsGiven = given;
    session->page = page;
    SESSION_TRACE(config, "QelWWW_InitSession: html_page = '%s'", session->page.c_str());
}

void ReadServer(const QelWWWConfig* config, QelWWWSession* session) {
    const char* server = session->parms->Get("_server", "_s");
    if (server != nullptr) {
        session->stateCookieParms.reset();  // a request naming a server brings its own values
    } else if (session->stateCookieParms) {
        server = session->stateCookieParms->Get("_server", "_s");
    }
    if (server == nullptr || *server == '\0') Missing(config, session, "_server");
    session->serverName = server;
    CheckLength(config, session, session->serverName, QELWWW_MAX_SERVER, "_server");
    if (!config->serverAccess.empty() && !ServerAllowed(config->serverAccess, session->serverName))
        Fail(config, session, false, QELWWW_MSG_SERVER_REFUSED, session->serverName);

    session->port = config->defaultPort;
    session->serverType = config->defaultServerType;
    session->server = session->serverName;
    std::string section = "@SRV@_" + session->serverName;
    std::string configuredDirectory;
    if (QelWWW_HasIniSection(config, section.c_str())) {
        const qelwww::detail::IniSection keys(config, section.c_str());
        if (auto host = keys.Get("HOST")) session->server = *host;
        if (auto protocol = keys.Get("PROTOCOL")) session->serverType = ServerTypeOf(*protocol);
        if (auto port = keys.Get("PORT")) session->port = LeadingNumber(port->c_str());
        if (auto directory = keys.Get("DIRECTORY")) {
            configuredDirectory = *directory;
            session->localDir = *directory;
        }
    }
    CheckLength(config, session, session->server, QELWWW_MAX_SERVER, "_server");
    SESSION_TRACE(config, "QelWWW_InitSession: server = '%s'", session->server.c_str());

    if (const char* port = RequestOrCookie(session, "_port", "_pt")) session->port = LeadingNumber(port);
    SESSION_TRACE(config, "QelWWW_InitSession: port = '%d'", session->port);

    const char* local = session->parms->Get("_local");
    if (local == nullptr && session->stateCookieParms) local = session->stateCookieParms->Get("_local");
    if (local != nullptr) {
        // A request may only name the directory the configuration gives this server.
        if (configuredDirectory.empty() ||
            WithoutTrailingSlash(local) != WithoutTrailingSlash(configuredDirectory))
            Fail(config, session, false, QELWWW_MSG_BAD_VALUE, "_local");
        session->localDir = local;
        session->serverType = 'L';
    }
    CheckLength(config, session, session->localDir, QELWWW_MAX_LOCAL_DIR, "_local");
}

// The state cookie's password, opened. A cookie without one, or with one that does not open
// (the clear text of an older cookie, altered, sealed under another key or for another
// user), is a missing logon.
std::string CookiePassword(const QelWWWConfig* config, QelWWWSession* session) {
    const char* sealed =
        session->stateCookieParms ? session->stateCookieParms->Get("_password", "_p") : nullptr;
    if (sealed == nullptr) Missing(config, session, "_password");
    std::string key;
    std::optional<std::string> password;
    if (QelWWW_StateKey(config, false, &key) == 0) password = QelWWW_OpenPassword(key, session->user, sealed);
    if (!password) {
        SESSION_TRACE(config, "QelWWW_InitSession: the state cookie's password does not open");
        Missing(config, session, "_password");
    }
    return std::move(*password);
}

void ReadLogon(const QelWWWConfig* config, QelWWWSession* session) {
    if (const char* codePage = RequestOrCookie(session, "_codepage", "_cp")) {
        session->codePage = static_cast<uint32_t>(LeadingNumber(codePage));
        session->parms->SetCodePage(session->codePage);
        SESSION_TRACE(config, "QelWWW_InitSession: codepage = '%d'", static_cast<int>(session->codePage));
    }
    const char* user = RequestOrCookie(session, "_user", "_u");
    SESSION_TRACE(config, "QelWWW_InitSession: user = '%s'", user != nullptr ? user : "");
    if (user == nullptr || *user == '\0') Missing(config, session, "_user");
    session->user = user;
    CheckLength(config, session, session->user, QELWWW_MAX_USER, "_user");

    if (const char* password = session->parms->Get("_password", "_p")) {
        session->password = password;
    } else {
        session->password = CookiePassword(config, session);
        session->sendStateCookie = 0;
    }
    CheckLength(config, session, session->password, QELWWW_MAX_PASSWORD, "_password");
    // Refused before any logon, like the current password: a longer one does not fit its field.
    if (const char* newPassword = session->parms->Get("_new_password", "_np"))
        CheckLength(config, session, newPassword, QELWWW_MAX_PASSWORD, "_new_password");
}

void ReadViewOverrides(const QelWWWConfig* config, QelWWWSession* session) {
    if (const char* hits = session->parms->Get("_max_hits", "_mh")) {
        std::optional<uint64_t> value = ParseDigits(hits, INT32_MAX);
        if (!value) Fail(config, session, false, QELWWW_MSG_BAD_VALUE, "_max_hits");
        session->view.maxHits = static_cast<int32_t>(*value);
        SESSION_TRACE(config, "QelWWW_InitSession: MaxHits = '%d'", session->view.maxHits);
    }
    struct Mode {
        const char* word;
        uint32_t mode;
    };
    auto pick = [&](const char* name, std::initializer_list<Mode> modes, uint32_t* target,
                    const char* trace) {
        const char* value = session->parms->Get(name);
        if (value == nullptr) return;
        for (const Mode& m : modes) {
            if (ArcOS_StrIStr(value, m.word) != nullptr) {
                *target = m.mode;
                break;
            }
        }
        SESSION_TRACE(config, trace, static_cast<int>(*target));
    };
    pick("_afp",
         {{"ascii", QELWWW_VIEW_ASCII},
          {"html", QELWWW_VIEW_HTML},
          {"native", QELWWW_VIEW_NATIVE},
          {"pdf", QELWWW_VIEW_PDF},
          {"plugin", QELWWW_VIEW_PLUGIN}},
         &session->view.afpViewMode, "QelWWW_InitSession: ViewAfp = '%d'");
    pick("_line",
         {{"ascii", QELWWW_VIEW_ASCII},
          {"applet", QELWWW_VIEW_APPLET},
          {"native", QELWWW_VIEW_NATIVE},
          {"plugin", QELWWW_VIEW_PLUGIN}},
         &session->view.lineViewMode, "QelWWW_InitSession: ViewLine = '%d'");
    pick("_email", {{"native", QELWWW_VIEW_NATIVE}, {"html", QELWWW_VIEW_HTML}}, &session->view.emailViewMode,
         "QelWWW_InitSession: ViewEmail = '%d'");
}

void Run(const QelWWWConfig* config, QelWWWSession* session, const char* text, const char* scriptName,
         const char* userAgent, const char* cookie) {
    session->sendLogIdCookie = 1;
    session->sendStateCookie = 1;
    session->codePage = config->codePage;
    session->parms = std::make_unique<QelWWWParmList>(config);
    bool refused = session->parms->Parse(text) != 0;
    // Read first, so that every error of the set-up comes in the form the client reads.
    const char* noHtml = session->parms->Get("_nohtml");
    session->noHtml = IsOne(noHtml) ? 1 : 0;
    SESSION_TRACE(config, "QelWWW_InitSession: nohtml = '%s'", noHtml != nullptr ? noHtml : "");
    session->orFlag = IsOne(session->parms->Get("_or")) ? 1 : 0;

    const char* cgibin = session->parms->Get("_cgibin", "_c");
    if (cgibin != nullptr && !IsPlainUrlPath(cgibin))
        Fail(config, session, false, QELWWW_MSG_BAD_VALUE, "_cgibin");
    const char* script = cgibin != nullptr ? cgibin : scriptName;
    if (script == nullptr || *script == '\0')
        Fail(config, session, true, QELWWW_MSG_NO_SCRIPT, "SCRIPT_NAME");
    session->scriptName = script;
    SESSION_TRACE(config, "QelWWW_InitSession: SCRIPT_NAME = '%s'", session->scriptName.c_str());

    if (refused) Fail(config, session, false, QELWWW_MSG_BAD_VALUE, session->parms->RefusedName());

    session->view = config->defaults;
    SESSION_TRACE(config, "QelWWW_InitSession: HTTP_USER_AGENT = '%s'",
                  userAgent != nullptr ? userAgent : "");
    if (userAgent != nullptr && *userAgent != '\0') ApplyBrowserSection(config, session, userAgent);

    session->logId = -1;
    session->stateCookieParms.reset();
    session->hitListCookieParms.reset();
    if (cookie != nullptr && *cookie != '\0') ReadCookies(config, session, cookie);

    const char* action = session->parms->Get("_function", "_a");
    SESSION_TRACE(config, "QelWWW_InitSession: function = '%s'", action != nullptr ? action : "");
    if (action == nullptr) Fail(config, session, true, QELWWW_MSG_MISSING_ARG, "_function");
    session->action = action;

    ReadPage(config, session);
    if (auto frame = session->parms->GetCopy("_frame", "_frm")) session->frame = *frame;
    SESSION_TRACE(config, "QelWWW_InitSession: frame = '%s'", session->frame.c_str());
    if (auto format = session->parms->GetCopy("_dateformat", "_dfmt")) session->dateFormat = *format;
    SESSION_TRACE(config, "QelWWW_InitSession: datefmt = '%s'", session->dateFormat.c_str());
    if (IsOne(session->parms->Get("_ascii"))) {
        session->asciiOutput = 1;
        SESSION_TRACE(config, "QelWWW_InitSession: output in ascii format");
    }

    const char* folder = session->parms->Get("_folder", "_f");
    if (folder == nullptr && session->hitListCookieParms)
        folder = session->hitListCookieParms->Get("_folder", "_f");
    if (folder != nullptr) session->folder = folder;
    CheckLength(config, session, session->folder, QELWWW_MAX_FOLDER, "_folder");
    SESSION_TRACE(config, "QelWWW_InitSession: folder = '%s'", session->folder.c_str());

    ReadServer(config, session);
    ReadLogon(config, session);
    ReadViewOverrides(config, session);
}

}  // namespace

int QelWWW_InitSession(const QelWWWConfig* config, QelWWWSession* session, const char* text,
                       const char* scriptName, const char* userAgent, const char* cookie) {
    if (config == nullptr || session == nullptr) return 1;
    try {
        Run(config, session, text, scriptName, userAgent, cookie);
    } catch (const Failed&) {
        return 1;
    }
    return 0;
}
