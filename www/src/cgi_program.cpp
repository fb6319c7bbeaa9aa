// The CGI front end: the servlet's start-up on every run, one request, the reply on
// standard output.
#include "cgi_program.h"

#include "cgi_command_line.h"

#include <cstdio>

#include "arc_codepage.h"
#include "arc_install.h"
#include "arc_messages.h"
#include "arc_platform.h"
#include "cgi_request.h"
#include "qel_client.h"
#include "qel_www.h"

namespace qelwww::detail {

namespace {

#define MAIN_TRACE(config, ...)                                     \
    do {                                                            \
        if ((config).traceOn) QelWWW_Trace(&(config), __VA_ARGS__); \
    } while (0)

constexpr int kCodePageStartFailed = 287;

struct CgiRun {
    QelWWWConfig config;
    QelWWWSession session;
    bool codePagesStarted = false;
    bool clientStarted = false;
    bool commandLine = false;
    int exitCode = 0;
};

// The program's own path up to its last '/'; empty when there is none.
std::string ProgramDirectory(const char* argv0) {
    std::string path = argv0 != nullptr ? argv0 : "";
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// True when the run can serve the request; otherwise the error reply is written.
bool StartUp(CgiRun& run, const char* argv0) {
    QelWWWConfig& config = run.config;
    std::string directory = ProgramDirectory(argv0);
    if (QelWWW_InitConfig(&config, &run.session, directory.c_str()) != 0) return false;
    run.session.response->SetSourceCodePage(config.codePage);
    const char* locale = config.localeDir.empty() ? nullptr : config.localeDir.c_str();
    int rc = ArcMSGS_Init(locale, config.language.c_str());
    if (rc == 0) {
        rc = ArcICONV_Startup(&config.codePageContext, locale);
        if (rc == 0) {
            run.codePagesStarted = true;
        } else {
            config.codePageContext = nullptr;
        }
    }
    if (rc != 0) {
        QelWWW_ReportText(&config, &run.session, true, kCodePageStartFailed, {std::to_string(rc)});
        run.exitCode = rc;
        return false;
    }
    if (!QelWWW_InitClientServer(&config, &run.session)) {
        QelWWW_ReportText(&config, &run.session, true, QELWWW_MSG_CLIENT_START, {config.localeDir});
        return false;
    }
    run.clientStarted = true;
    MAIN_TRACE(config, "main: entering, version '%s'", config.version.c_str());
    return true;
}

void ServeRequest(CgiRun& run) {
    QelWWWConfig& config = run.config;
    QelWWWSession& session = run.session;
    MAIN_TRACE(config, "main: called from webserver");
    auto method = ArcOS_GetEnv("REQUEST_METHOD");
    CgiRequestText request =
        ReadCgiRequest(&config, method, ArcOS_GetEnv("CONTENT_LENGTH"), ArcOS_GetEnv("QUERY_STRING"), stdin);
    if (request.message != 0) {
        QelWWW_ReportText(&config, &session, true, request.message, request.inserts);
        return;
    }
    MAIN_TRACE(config, "main: QUERY_STRING = '%s'", QelWWW_BlankPasswords(request.text).c_str());
    auto script = ArcOS_GetEnv("SCRIPT_NAME");
    auto agent = ArcOS_GetEnv("HTTP_USER_AGENT");
    auto cookie = ArcOS_GetEnv("HTTP_COOKIE");
    auto orNull = [](const std::optional<std::string>& text) { return text ? text->c_str() : nullptr; };
    // What decides whether an action may change stored state (QelWWW_MayChangeState).
    session.requestMethod = method.value_or("");
    session.requestOrigin = ArcOS_GetEnv("HTTP_ORIGIN");
    session.requestHost = ArcOS_GetEnv("HTTP_HOST").value_or("");
    // The web server says "on" for a request that came over TLS.
    auto https = ArcOS_GetEnv("HTTPS");
    session.response->SetSecure(https && ArcOS_StrICmp(https->c_str(), "on") == 0);
    if (QelWWW_InitSession(&config, &session, request.text.c_str(), orNull(script), orNull(agent),
                           orNull(cookie)) == 0)
        QelWWW_Dispatch(&config, &session);
}

// The reply on standard output, in the browser's code page.
void SendReply(CgiRun& run) {
    QelWWWConfig& config = run.config;
    if (!run.codePagesStarted) {
        // Start-up failed before the code-page service: start it only to convert the reply.
        char locale[4096];
        if (QelInst_LocaleDir(locale, sizeof locale) > 0 &&
            ArcICONV_Startup(&config.codePageContext, locale) == 0) {
            run.codePagesStarted = true;
        } else {
            config.codePageContext = nullptr;
        }
    }
    run.session.response->SetCodePageContext(config.codePageContext);
    int rc = run.session.response->WriteReply();
    if (rc != 0) {
        MAIN_TRACE(config, "main: reply not written, errno = %d", rc);
        if (run.exitCode == 0) run.exitCode = 1;
    }
}

void Finish(CgiRun& run) {
    QelWWWConfig& config = run.config;
    // The request's logon has been ended by its action; whatever is left goes now.
    if (run.session.client != nullptr) {
        Session_Logoff(run.session.client, 0);
        run.session.client = nullptr;
    }
    if (run.clientStarted) Client_Term();
    if (config.cacheMutex != nullptr) {
        ArcOS_CloseHandle(config.cacheMutex);
        config.cacheMutex = nullptr;
    }
    if (!run.commandLine) SendReply(run);
    // The lists hold converters of the service; they go before it does.
    run.session.parms.reset();
    run.session.stateCookieParms.reset();
    run.session.hitListCookieParms.reset();
    if (run.codePagesStarted) ArcICONV_Shutdown(config.codePageContext);
    config.codePageContext = nullptr;
    MAIN_TRACE(config, "main: exiting");
}

}  // namespace

int RunCgiProgram(int argc, char** argv) {
    CgiRun run;
    run.session.response = std::make_unique<QelWWWResponse>(&run.config);
    // Known before start-up, so that a failed start-up on the command line is told there:
    // errors go to standard error, the exit code is not 0 and no web reply is written.
    run.commandLine = ParseCommandLine(&run.config, argc, argv).invoked;
    run.config.commandLineMode = run.commandLine ? 1 : 0;
    if (StartUp(run, argc > 0 ? argv[0] : nullptr)) {
        if (run.commandLine) {
            // Parsed again with the trace of the configuration.
            const CommandLine line = ParseCommandLine(&run.config, argc, argv);
            run.exitCode = RunCommandLine(&run.config, line, argc > 0 ? argv[0] : nullptr);
        } else {
            ServeRequest(run);
        }
    } else if (run.commandLine) {
        ArcOSStat status;
        if (!run.config.iniPath.empty() && ArcOS_Stat64(run.config.iniPath.c_str(), &status) != 0)
            std::fprintf(stderr, "The configuration file '%s' was not found.\n", run.config.iniPath.c_str());
        if (run.exitCode == 0) run.exitCode = 1;
    }
    Finish(run);
    return run.exitCode;
}

}  // namespace qelwww::detail
