// The gateway configuration: QELCFG, the registry and qelwww.ini.
#include "qel_www.h"

#include <cctype>
#include <cerrno>
#include <new>

#include "arc_install.h"
#include "arc_platform.h"
#include "decimal.h"
#include "ini_section.h"

using qelwww::detail::IniSection;
using qelwww::detail::LeadingNumber;
using qelwww::detail::ParseDigits;

namespace {

#define CONFIG_TRACE(config, ...)                                   \
    do {                                                            \
        if ((config)->traceOn) QelWWW_Trace((config), __VA_ARGS__); \
    } while (0)

constexpr const char* kInstallKey = "Software\\Kvr\\Tidewell Webrika\\CurrentVersion";
constexpr uint64_t kMegabyte = 1048576;

struct Failed {};

[[noreturn]] void Fail(const QelWWWConfig* config, QelWWWSession* session, bool showVersion, int index,
                       std::vector<std::string> inserts) {
    QelWWW_ReportText(config, session, showVersion, index, inserts);
    throw Failed{};
}

std::string WithSlash(std::string path) {
    if (path.empty() || path.back() != '/') path += '/';
    return path;
}

// Relative paths resolve against QELCFG when it is set; the servlet never changes the
// JVM's current directory.
std::string Resolve(const QelWWWConfig* config, const std::string& path) {
    if (path.empty() || path[0] == '/' || config->startDir.empty()) return path;
    return WithSlash(config->startDir) + path;
}

std::string Value(const IniSection& section, const char* key, const char* fallback) {
    return section.Get(key).value_or(fallback);
}

// The sections start-up reads, each listed once.
struct StartSections {
    explicit StartSections(const QelWWWConfig* config)
        : debug(config, "debug"),
          configuration(config, "configuration"),
          noHtml(config, "no html"),
          security(config, "security"),
          defaultServer(config, "@SRV@_default") {}
    IniSection debug;
    IniSection configuration;
    IniSection noHtml;
    IniSection security;
    IniSection defaultServer;
};

// A decimal key: its value, the default when missing, else message 489 naming the key.
uint64_t Number(QelWWWConfig* config, QelWWWSession* session, const IniSection& section, const char* key,
                uint64_t fallback, uint64_t max) {
    auto text = section.Get(key);
    if (!text) return fallback;
    auto value = ParseDigits(text->c_str(), max);
    if (!value) Fail(config, session, true, QELWWW_MSG_BAD_VALUE, {key});
    return *value;
}

// A framing character of the plain-text replies. One that the escape of values writes
// itself ('%', a hex digit) or a line end could not be told from a value's text: the
// default stands instead.
char FirstChar(const IniSection& section, const char* key, char fallback) {
    std::string value = Value(section, key, "");
    if (value.empty()) return fallback;
    const char c = value[0];
    const bool hex = std::isxdigit(static_cast<unsigned char>(c)) != 0;
    return hex || c == '%' || c == '\r' || c == '\n' ? fallback : c;
}

void ReadTrace(QelWWWConfig* config, const IniSection& debug) {
    config->traceOn = Value(debug, "Log", "0")[0] != '0' ? 1 : 0;
    config->traceFile = WithSlash(Resolve(config, Value(debug, "LogDir", "."))) + "qelwww.log";
}

void ReadInstallPaths(QelWWWConfig* config) {
    std::string install;
    if (ArcReg_ReadString(ARCREG_HKLM, kInstallKey, "InstallPath", &install) != ARCREG_OK ||
        install.empty()) {
        char base[4096];
        if (QelInst_BaseDir(base, sizeof base) > 0) install = base;
    }
    if (!install.empty()) {
        config->installDir = WithSlash(install);
        config->localeDir = config->installDir + "locale";
    }
    CONFIG_TRACE(config, "QelWWW_InitConfig: install directory = '%s'", config->installDir.c_str());
    CONFIG_TRACE(config, "QelWWW_InitConfig: locale directory = '%s'", config->localeDir.c_str());
}

void ReadLanguage(QelWWWConfig* config, QelWWWSession* session, const IniSection& configuration) {
    config->language = Value(configuration, "Language", "ENU").substr(0, 3);
    if (auto codePage = configuration.Get("Codepage")) {
        auto value = ParseDigits(codePage->c_str(), INT32_MAX);
        if (!value) Fail(config, session, false, QELWWW_MSG_BAD_VALUE, {"Codepage"});
        config->codePage = static_cast<uint32_t>(*value);
    }
}

void ReadNoHtml(QelWWWConfig* config, const IniSection& noHtml) {
    config->beginChar = FirstChar(noHtml, "Begin", '[');
    config->endChar = FirstChar(noHtml, "End", ']');
    config->separatorChar = FirstChar(noHtml, "Separator", '^');
    CONFIG_TRACE(config, "QelWWW_InitConfig: nohtml begin     char = '%c'", config->beginChar);
    CONFIG_TRACE(config, "QelWWW_InitConfig: nohtml end       char = '%c'", config->endChar);
    CONFIG_TRACE(config, "QelWWW_InitConfig: nohtml separator char = '%c'", config->separatorChar);
}

std::string ExistingDirectory(QelWWWConfig* config, QelWWWSession* session, const IniSection& configuration,
                              const char* key) {
    std::string directory = qelwww::detail::DirectoryOf(config, configuration.Get(key));
    ArcOSStat status;
    if (ArcOS_Stat64(directory.c_str(), &status) != 0) {
        Fail(config, session, false, QELWWW_MSG_NO_DIRECTORY, {directory, std::to_string(errno)});
    } else if (!status.isDirectory) {
        Fail(config, session, false, QELWWW_MSG_NO_DIRECTORY, {directory, std::to_string(ENOTDIR)});
    }
    return directory;
}

void ReadDirectories(QelWWWConfig* config, QelWWWSession* session, const IniSection& configuration) {
    config->cacheDir = ExistingDirectory(config, session, configuration, "CacheDir");
    config->lockFilePath = config->cacheDir + "/qelwww.lck";
    CONFIG_TRACE(config, "QelWWW_InitConfig: cache directory = '%s'", config->cacheDir.c_str());
    CONFIG_TRACE(config, "QelWWW_InitConfig: cgi lock file = '%s'", config->lockFilePath.c_str());
    config->templateDir = ExistingDirectory(config, session, configuration, "TemplateDir");
    CONFIG_TRACE(config, "QelWWW_InitConfig: template directory = '%s'", config->templateDir.c_str());
}

void ReadCache(QelWWWConfig* config, QelWWWSession* session, const IniSection& configuration) {
    config->cacheDocs = Value(configuration, "CacheDocs", "0")[0] != '0' ? 1 : 0;
    CONFIG_TRACE(config, "QelWWW_InitConfig: doc caching = '%s'", config->cacheDocs ? "on" : "off");
    config->cacheSize =
        Number(config, session, configuration, "CacheSize", 10, UINT64_MAX / kMegabyte) * kMegabyte;
    config->cacheLowMark =
        static_cast<uint32_t>(Number(config, session, configuration, "CacheMinThreshold", 40, UINT32_MAX));
    config->cacheHighMark =
        static_cast<uint32_t>(Number(config, session, configuration, "CacheMaxThreshold", 80, UINT32_MAX));
    if (config->cacheHighMark < config->cacheLowMark) {
        config->cacheLowMark = 40;
        config->cacheHighMark = 80;
        CONFIG_TRACE(config, "QelWWW_InitConfig: cache max less than cache min");
    }
    if (config->cacheHighMark > 100) {
        config->cacheHighMark = 80;
        CONFIG_TRACE(config, "QelWWW_InitConfig: cache max greater than 100");
    }
    CONFIG_TRACE(config, "QelWWW_InitConfig: cache size = '%llu'",
                 static_cast<unsigned long long>(config->cacheSize));
    CONFIG_TRACE(config, "QelWWW_InitConfig: cache min threshold = '%u'", config->cacheLowMark);
    CONFIG_TRACE(config, "QelWWW_InitConfig: cache max threshold = '%u'", config->cacheHighMark);
}

void ReadWebDirectories(QelWWWConfig* config, const IniSection& configuration) {
    config->imageDir = WithSlash(Value(configuration, "ImageDir", "/"));
    config->appletDir = WithSlash(Value(configuration, "AppletDir", "/"));
    CONFIG_TRACE(config, "QelWWW_InitConfig: image directory = '%s'", config->imageDir.c_str());
    CONFIG_TRACE(config, "QelWWW_InitConfig: applet directory = '%s'", config->appletDir.c_str());
}

void ReadBrowserDefaults(QelWWWConfig* config, QelWWWSession* session) {
    QelWWWViewSettings& d = config->defaults;
    d = QelWWWViewSettings{};
    d.afpViewMode = QELWWW_VIEW_PLUGIN;
    d.lineViewMode = QELWWW_VIEW_APPLET;
    d.emailViewMode = QELWWW_VIEW_HTML;
    d.noLinks = 1;
    d.addFieldsToDocid = 1;
    if (QelWWW_ReadViewSettings(config, "default browser", &d, true) != 0)
        Fail(config, session, false, QELWWW_MSG_BAD_VALUE, {"MaxHits"});
}

void ReadDefaultServer(QelWWWConfig* config, const IniSection& defaultServer) {
    config->defaultPort = LeadingNumber(Value(defaultServer, "PORT", "0").c_str());
    switch (LeadingNumber(Value(defaultServer, "PROTOCOL", "0").c_str())) {
        case 1: config->defaultServerType = 'L'; break;
        case 4: config->defaultServerType = 'S'; break;
        default: config->defaultServerType = 'T'; break;
    }
}

void Reset(QelWWWConfig* config) {
    // The code-page context and the mode belong to the front end, not to the file.
    ArcIconvContext* context = config->codePageContext;
    const uint8_t commandLine = config->commandLineMode;
    if (config->cacheMutex != nullptr) ArcOS_CloseHandle(config->cacheMutex);
    *config = QelWWWConfig{};
    config->codePageContext = context;
    config->commandLineMode = commandLine;
}

void Run(QelWWWConfig* config, QelWWWSession* session, const char* directory) {
    Reset(config);
    config->version = QELWWW_VERSION_TEXT;
    config->platform = static_cast<uint32_t>(ArcOS_GetPlatform());
    config->startDir = ArcOS_GetEnv("QELCFG").value_or("");
    config->codePage = static_cast<uint32_t>(ArcOS_GetCodePage());
    int rc = QelWWW_ReadIniFile(config, directory);
    if (rc != 0) Fail(config, session, false, QELWWW_MSG_NO_INI, {std::to_string(rc)});
    const StartSections sections(config);
    ReadTrace(config, sections.debug);
    ReadInstallPaths(config);
    ReadLanguage(config, session, sections.configuration);
    ReadNoHtml(config, sections.noHtml);
    ReadDirectories(config, session, sections.configuration);
    ReadCache(config, session, sections.configuration);
    ReadWebDirectories(config, sections.configuration);
    config->serverAccess = Value(sections.security, "ServerAccess", "");
    config->allowedOrigins = Value(sections.security, "AllowedOrigins", "");
    config->cacheUserIds = Value(sections.configuration, "CacheUserIDs", "");
    ReadBrowserDefaults(config, session);
    ReadDefaultServer(config, sections.defaultServer);
    config->cacheMutex = ArcOS_MutexCreate();
    if (config->cacheMutex == nullptr)
        Fail(config, session, false, QELWWW_MSG_NO_MEMORY, {"Qelwww", std::to_string(__LINE__)});
}

}  // namespace

int QelWWW_ReadIniFile(QelWWWConfig* config, const char* directory) {
    if (config == nullptr) return EINVAL;
    std::string iniDir;
    if (directory != nullptr && *directory != '\0') {
        iniDir = Resolve(config, directory);
    } else {
        char module[4096];
        iniDir = QelInst_ModuleDir(module, sizeof module) > 0 ? std::string(module) : std::string("./");
    }
    config->iniDir = WithSlash(iniDir);
    config->iniPath = config->iniDir + "qelwww.ini";
    try {
        std::string content;
        int rc = ArcOS_ReadFile(config->iniPath.c_str(), &content);
        if (rc != 0) return rc;
        // The profile reader works on zero-terminated text.
        content.resize(std::char_traits<char>::length(content.c_str()));
        config->iniImage = std::move(content);
    } catch (const std::bad_alloc&) {
        return 1;
    }
    return 0;
}

int QelWWW_InitConfig(QelWWWConfig* config, QelWWWSession* session, const char* directory) {
    if (config == nullptr) return 1;
    try {
        Run(config, session, directory);
    } catch (const Failed&) {
        return 1;
    }
    return 0;
}
