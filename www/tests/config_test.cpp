// Reading the configuration from qelwww.ini, QELCFG and the registry.
#include "www_test_support.h"

#include <unistd.h>

#include "arc_install.h"
#include "arc_platform.h"

namespace {

using wwwtest::ScratchDir;

// A directory with qelwww.ini (cache/ and templates/ made unless the INI says otherwise).
struct IniSetup {
    ScratchDir dir;
    explicit IniSetup(const std::string& ini, bool makeDirs = true) {
        dir.Write("conf/qelwww.ini", ini);
        if (makeDirs) {
            dir.MakeDir("conf/cache");
            dir.MakeDir("conf/templates");
        }
        // An empty registry: the install directory comes from the module.
        ArcOS_PutEnv(("QEL_REGISTRY_DIR=" + dir.MakeDir("registry")).c_str());
    }
    std::string Conf() const { return dir.Path() + "/conf"; }
};

const char* kDirs = "[configuration]\nCacheDir=cache\nTemplateDir=templates\n";

struct Result {
    int rc;
    QelWWWConfig config;
    std::string body;
};

Result Init(const IniSetup& setup, const char* directory = nullptr) {
    Result r;
    QelWWWSession session;
    session.noHtml = 1;
    session.response = std::make_unique<QelWWWResponse>();
    std::string conf = setup.Conf();
    r.rc = QelWWW_InitConfig(&r.config, &session, directory != nullptr ? directory : conf.c_str());
    r.body = session.response->GetBody();
    return r;
}

TEST(InitConfig, DefaultsOfAMinimalFile) {
    IniSetup setup(kDirs);
    Result r = Init(setup);
    ASSERT_EQ(r.rc, 0) << r.body;
    const QelWWWConfig& c = r.config;
    EXPECT_EQ(c.iniDir, setup.Conf() + "/");
    EXPECT_EQ(c.iniPath, setup.Conf() + "/qelwww.ini");
    EXPECT_EQ(c.cacheDir, setup.Conf() + "/cache");
    EXPECT_EQ(c.lockFilePath, setup.Conf() + "/cache/qelwww.lck");
    EXPECT_EQ(c.templateDir, setup.Conf() + "/templates");
    EXPECT_EQ(c.cacheSize, 10485760u);
    EXPECT_EQ(c.cacheLowMark, 40u);
    EXPECT_EQ(c.cacheHighMark, 80u);
    EXPECT_EQ(c.cacheDocs, 0);
    EXPECT_EQ(c.traceOn, 0);
    EXPECT_EQ(c.language, "ENU");
    EXPECT_EQ(c.codePage, static_cast<uint32_t>(ArcOS_GetCodePage()));
    EXPECT_EQ(c.beginChar, '[');
    EXPECT_EQ(c.endChar, ']');
    EXPECT_EQ(c.separatorChar, '^');
    EXPECT_EQ(c.imageDir, "/");
    EXPECT_EQ(c.appletDir, "/");
    EXPECT_EQ(c.version, "2.2.1.10");
    EXPECT_EQ(c.defaults.afpViewMode, QELWWW_VIEW_PLUGIN);
    EXPECT_EQ(c.defaults.lineViewMode, QELWWW_VIEW_APPLET);
    EXPECT_EQ(c.defaults.emailViewMode, QELWWW_VIEW_HTML);
    EXPECT_EQ(c.defaults.permissions, 0u);
    EXPECT_EQ(c.defaults.noLinks, 1);
    EXPECT_EQ(c.defaults.addFieldsToDocid, 1);
    EXPECT_EQ(c.defaults.maxHits, 0);
    EXPECT_EQ(c.defaultPort, 0);
    EXPECT_EQ(c.defaultServerType, 'T');
    EXPECT_NE(c.cacheMutex, nullptr);
    char base[4096];
    ASSERT_GT(QelInst_BaseDir(base, sizeof base), 0u);
    EXPECT_EQ(c.installDir, base) << "no registry value: the module's install tree";
    EXPECT_EQ(c.localeDir, std::string(base) + "locale");
    ArcOS_CloseHandle(r.config.cacheMutex);
}

TEST(InitConfig, ReadsEveryKey) {
    IniSetup setup(
        std::string("[configuration]\nCacheDir=") +
        "/tmp/\nTemplateDir=templates\nLanguage=deutsch\n"
        "Codepage=1252\nCacheDocs=1\nCacheSize=5000000\nCacheMinThreshold=10\nCacheMaxThreshold=90\n"
        "ImageDir=/images\nAppletDir=/applets/\nCacheUserIDs=A,B\n"
        "[no html]\nBegin={\nEnd=}}\nSeparator=|\n[security]\nServerAccess=" +
        std::string(300, 's') +
        ",prod\n[default browser]\nServerPrint=1\nAddNotes=yes\nAfpViewing=HTML\nLineViewing=native\n"
        "EmailViewing=Native\nMaxHits=500\nNoLinks=0\nAddExtension=1\nShowDocLocation=1\n"
        "[@SRV@_default]\nPORT=1445\nPROTOCOL=1\n");
    Result r = Init(setup);
    ASSERT_EQ(r.rc, 0) << r.body;
    const QelWWWConfig& c = r.config;
    EXPECT_EQ(c.cacheDir, "/tmp") << "an absolute directory loses its trailing '/'";
    EXPECT_EQ(c.language, "deu");
    EXPECT_EQ(c.codePage, 1252u);
    EXPECT_EQ(c.cacheDocs, 1);
    EXPECT_EQ(c.cacheSize, 5000000ull * 1048576ull) << "cache sizes past 4 GB keep their value";
    EXPECT_EQ(c.cacheLowMark, 10u);
    EXPECT_EQ(c.cacheHighMark, 90u);
    EXPECT_EQ(c.imageDir, "/images/");
    EXPECT_EQ(c.appletDir, "/applets/");
    EXPECT_EQ(c.beginChar, '{');
    EXPECT_EQ(c.endChar, '}');
    EXPECT_EQ(c.separatorChar, '|');
    EXPECT_EQ(c.serverAccess.size(), 305u) << "the list is kept whole";
    EXPECT_EQ(c.cacheUserIds, "A,B");
    EXPECT_EQ(c.defaults.permissions, QELWWW_PERM_SERVER_PRINT | QELWWW_PERM_ADD_NOTES);
    EXPECT_EQ(c.defaults.afpViewMode, QELWWW_VIEW_HTML);
    EXPECT_EQ(c.defaults.lineViewMode, QELWWW_VIEW_NATIVE);
    EXPECT_EQ(c.defaults.emailViewMode, QELWWW_VIEW_NATIVE);
    EXPECT_EQ(c.defaults.maxHits, 500);
    EXPECT_EQ(c.defaults.noLinks, 0);
    EXPECT_EQ(c.defaults.addExtension, 1);
    EXPECT_EQ(c.defaults.showDocLocation, 1);
    EXPECT_EQ(c.defaultPort, 1445);
    EXPECT_EQ(c.defaultServerType, 'L');
    ArcOS_CloseHandle(r.config.cacheMutex);
}

TEST(InitConfig, CacheThresholdRules) {
    struct Case {
        const char* keys;
        uint64_t size;
        uint32_t low;
        uint32_t high;
    } cases[] = {
        {"CacheMinThreshold=90\nCacheMaxThreshold=50\n", 10485760, 40, 80},
        {"CacheMaxThreshold=150\n", 10485760, 40, 80},
        {"CacheMinThreshold=95\nCacheMaxThreshold=150\n", 10485760, 95, 80},
        {"CacheSize=0\n", 0, 40, 80},
        {"CacheSize=1\nCacheMinThreshold=0\nCacheMaxThreshold=100\n", 1048576, 0, 100},
    };
    for (const Case& c : cases) {
        IniSetup setup(std::string(kDirs) + c.keys);
        Result r = Init(setup);
        ASSERT_EQ(r.rc, 0) << c.keys << r.body;
        EXPECT_EQ(r.config.cacheSize, c.size) << c.keys;
        EXPECT_EQ(r.config.cacheLowMark, c.low) << c.keys;
        EXPECT_EQ(r.config.cacheHighMark, c.high) << c.keys;
        ArcOS_CloseHandle(r.config.cacheMutex);
    }
}

TEST(InitConfig, TraceSwitchLooksAtTheFirstCharacter) {
    struct Case {
        const char* debug;
        uint8_t on;
    } cases[] = {{"", 0}, {"Log=0\n", 0}, {"Log=01\n", 0}, {"Log=10\n", 1}, {"Log=yes\n", 1}, {"Log=\n", 1}};
    for (const Case& c : cases) {
        IniSetup setup(std::string(kDirs) + "[debug]\nLogDir=logs\n" + c.debug);
        Result r = Init(setup);
        ASSERT_EQ(r.rc, 0) << c.debug;
        EXPECT_EQ(r.config.traceOn, c.on) << c.debug;
        ArcOS_CloseHandle(r.config.cacheMutex);
    }
}

// The plain-text escape writes '%' and hex digits: a framing character among them could
// not be told from an escaped value, so its default stands.
TEST(InitConfig, FramingCharactersTheEscapeWritesKeepTheirDefaults) {
    struct Case {
        const char* keys;
        char begin, end, separator;
    } cases[] = {
        {"Begin=<\nEnd=>\nSeparator=;\n", '<', '>', ';'},
        {"Begin=%\nEnd=5\nSeparator=A\n", '[', ']', '^'},
        {"Begin=f\nEnd=0\nSeparator=%25\n", '[', ']', '^'},
        {"Begin=g\nEnd=Z\nSeparator=~\n", 'g', 'Z', '~'},
    };
    for (const Case& c : cases) {
        IniSetup setup(std::string(kDirs) + "[no html]\n" + c.keys);
        Result r = Init(setup);
        ASSERT_EQ(r.rc, 0) << c.keys;
        EXPECT_EQ(r.config.beginChar, c.begin) << c.keys;
        EXPECT_EQ(r.config.endChar, c.end) << c.keys;
        EXPECT_EQ(r.config.separatorChar, c.separator) << c.keys;
        ArcOS_CloseHandle(r.config.cacheMutex);
    }
}

TEST(InitConfig, FailuresReportTheirMessage) {
    struct Case {
        const char* name;
        std::string ini;
        bool makeDirs;
        std::string expected;
    } cases[] = {
        {"codepage not a number", std::string(kDirs) + "Codepage=utf8\n", true,
         "[ERROR]\nID=2159\nMSG=The argument 'Codepage' is not a valid decimal number\n"},
        {"cache size", std::string(kDirs) + "CacheSize=12a\n", true,
         "[ERROR]\nID=2159\nMSG=The argument 'CacheSize' is not a valid decimal number\n"},
        {"cache size overflow", std::string(kDirs) + "CacheSize=99999999999999999\n", true,
         "[ERROR]\nID=2159\nMSG=The argument 'CacheSize' is not a valid decimal number\n"},
        {"max threshold", std::string(kDirs) + "CacheMaxThreshold=-1\n", true,
         "[ERROR]\nID=2159\nMSG=The argument 'CacheMaxThreshold' is not a valid decimal number\n"},
        {"max hits", std::string(kDirs) + "[default browser]\nMaxHits=many\n", true,
         "[ERROR]\nID=2159\nMSG=The argument 'MaxHits' is not a valid decimal number\n"},
        {"cache directory", "[configuration]\nCacheDir=nowhere\nTemplateDir=templates\n", true, "nowhere"},
        {"template directory", "[configuration]\nCacheDir=cache\nTemplateDir=qelwww.ini\n", true,
         "qelwww.ini"},
    };
    for (const Case& c : cases) {
        IniSetup setup(c.ini, c.makeDirs);
        Result r = Init(setup);
        EXPECT_EQ(r.rc, 1) << c.name;
        if (c.expected.rfind("[ERROR]", 0) == 0) {
            EXPECT_EQ(r.body.substr(r.body.find('[')), c.expected) << c.name;
        } else {
            EXPECT_NE(r.body.find("ID=307\nMSG=Unable to open directory >" + setup.Conf() + "/" + c.expected +
                                  "<."),
                      std::string::npos)
                << c.name << r.body;
        }
    }
}

TEST(InitConfig, MissingFileAndRelativeDirectories) {
    IniSetup setup(kDirs);
    Result missing = Init(setup, (setup.dir.Path() + "/absent").c_str());
    EXPECT_EQ(missing.rc, 1);
    EXPECT_NE(missing.body.find("Unable to initialize environment.  rc=2"), std::string::npos)
        << missing.body;

    // A relative directory resolves against QELCFG; the current directory stays.
    char before[4096];
    ASSERT_NE(getcwd(before, sizeof before), nullptr);
    ArcOS_PutEnv(("QELCFG=" + setup.dir.Path()).c_str());
    Result relative = Init(setup, "conf");
    ArcOS_PutEnv("QELCFG=");
    ASSERT_EQ(relative.rc, 0) << relative.body;
    EXPECT_EQ(relative.config.iniDir, setup.Conf() + "/");
    EXPECT_EQ(relative.config.startDir, setup.dir.Path());
    EXPECT_EQ(relative.config.traceFile, setup.dir.Path() + "/./qelwww.log");
    char after[4096];
    ASSERT_NE(getcwd(after, sizeof after), nullptr);
    EXPECT_STREQ(before, after);
    ArcOS_CloseHandle(relative.config.cacheMutex);
}

TEST(InitConfig, InstallPathFromTheRegistry) {
    IniSetup setup(kDirs);
    ASSERT_EQ(ArcReg_SetString(ARCREG_HKLM, "Software\\Kvr\\Tidewell Webrika\\CurrentVersion", "InstallPath",
                               "/opt/tidewell"),
              ARCREG_OK);
    Result r = Init(setup);
    ASSERT_EQ(r.rc, 0) << r.body;
    EXPECT_EQ(r.config.installDir, "/opt/tidewell/");
    EXPECT_EQ(r.config.localeDir, "/opt/tidewell/locale");
    ArcOS_CloseHandle(r.config.cacheMutex);
}

TEST(DirectoryKey, AbsoluteRelativeAndMissing) {
    QelWWWConfig config;
    config.iniDir = "/etc/qel/";
    config.iniImage = "[s]\nabs=/var/cache/\nrel=templates\nroot=/\nempty=\n";
    struct Case {
        const char* key;
        const char* expected;
    } cases[] = {{"abs", "/var/cache"},
                 {"rel", "/etc/qel/templates"},
                 {"root", "/"},
                 {"empty", "/etc/qel"},
                 {"missing", "/etc/qel"}};
    for (const Case& c : cases) EXPECT_EQ(QelWWW_GetDirectoryKey(&config, "s", c.key), c.expected) << c.key;
}

}  // namespace
