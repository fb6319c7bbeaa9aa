// The plug-in's rules that need no window: control greying, status texts, print-range
// arithmetic, preferences, the install directory and the all-or-nothing binding.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "controls.h"
#include "engine_api.h"
#include "install_dir.h"
#include "preferences.h"
#include "print_plan.h"

namespace afpview {
namespace {

namespace fs = std::filesystem;

TEST(Navigation, FirstMatchingRowWins) {
    struct Case {
        int current, total;
        bool back, forward;
    };
    const Case cases[] = {
        {1, 1, false, false},  // one page: everything greyed
        {1, 5, false, true},  {5, 5, true, false}, {3, 5, true, true},
        {2, 2, true, false},  {1, 2, false, true},
    };
    for (const Case& c : cases) {
        const Navigation n = NavigationFor(c.current, c.total);
        EXPECT_EQ(n.backLive, c.back) << c.current << "/" << c.total;
        EXPECT_EQ(n.forwardLive, c.forward) << c.current << "/" << c.total;
    }
}

TEST(StatusText, PageStatusIsCutWithoutSplittingACharacter) {
    EXPECT_EQ(PageStatusText("Page ", 3, " of ", 12), "Page 3 of 12");
    EXPECT_EQ(PageStatusText("", 1, "", 1), "11");  // no resource library: numbers only
    // 62 ASCII bytes then a two-byte character across the 63-byte limit.
    const std::string label(62, 'x');
    const std::string text = PageStatusText(label + "\xC3\xA9", 7, " of ", 9);
    EXPECT_EQ(text, label);
    // The character ends exactly at the limit: kept, the numbers after it are cut.
    EXPECT_EQ(PageStatusText(std::string(61, 'y') + "\xC3\xA9", 1, "", 2), std::string(61, 'y') + "\xC3\xA9");
    EXPECT_EQ(CutText("\xE2\x82\xAC\xE2\x82\xAC", 4), "\xE2\x82\xAC");
    EXPECT_EQ(CutText("abc", 0), "");
}

TEST(StatusText, TwinsShareTheirLiveButtonsText) {
    EXPECT_EQ(StatusStringFor(kCmdFirstGrey, true), StatusStringFor(kCmdFirst, true));
    EXPECT_EQ(StatusStringFor(kCmdFindNextGrey, true), 1030u);
    EXPECT_EQ(StatusStringFor(kCmdImageView, true), 1024u);
    EXPECT_EQ(StatusStringFor(kCmdImageView, false), 1025u);
    EXPECT_EQ(StatusStringFor(kCmdAbout, true), 0u);
}

TEST(PrintPlan, Cases) {
    struct Case {
        const char* name;
        PrintChoice choice;
        PrintPlan expected;
    };
    const Case cases[] = {
        {"all pages", {kRangeAll, 0, 0, 0, 0, -1}, {false, KNVW_PRINT_ALL, 0, 0, 0, 0}},
        {"current page", {kRangeCurrent, 0, 0, 0, 0, -1}, {false, KNVW_PRINT_CURRENT, 0, 0, 0, 0}},
        {"range, one piece", {kRangePages, 3, 7, 0, 0, -1}, {false, KNVW_PRINT_RANGE, 3, 7, 0, 0}},
        // The loaded page is printed; no segment is fetched for it.
        {"current page, segmented", {kRangeCurrent, 0, 0, 4, 10, 2}, {false, KNVW_PRINT_CURRENT, 0, 0, 0, 0}},
        {"all pages, segmented", {kRangeAll, 0, 0, 4, 10, 2}, {false, KNVW_PRINT_ALL, 0, 0, 0, 0}},
        {"range 12-15 while segment 0 is loaded",
         {kRangePages, 12, 15, 4, 10, 0},
         {true, KNVW_PRINT_RANGE, 2, 5, 1, 1}},
        {"range inside the loaded segment",
         {kRangePages, 12, 15, 4, 10, 1},
         {false, KNVW_PRINT_RANGE, 2, 5, 0, 0}},
        {"range at the loaded segment's edges",
         {kRangePages, 11, 20, 4, 10, 1},
         {false, KNVW_PRINT_RANGE, 1, 10, 0, 0}},
        {"range across segments", {kRangePages, 5, 25, 4, 10, 3}, {true, KNVW_PRINT_RANGE, 5, 25, 0, 2}},
        {"range ending on a segment's last page",
         {kRangePages, 10, 20, 4, 10, 3},
         {true, KNVW_PRINT_RANGE, 10, 20, 0, 1}},
        {"range past the last segment",
         {kRangePages, 31, 99, 4, 10, 0},
         {true, KNVW_PRINT_RANGE, 1, 69, 3, 3}},
        {"no pages per segment", {kRangePages, 12, 15, 4, 0, 0}, {false, KNVW_PRINT_RANGE, 12, 15, 0, 0}},
    };
    for (const Case& c : cases) {
        const PrintPlan plan = PlanPrint(c.choice);
        EXPECT_EQ(plan.collect, c.expected.collect) << c.name;
        EXPECT_EQ(plan.what, c.expected.what) << c.name;
        EXPECT_EQ(plan.from, c.expected.from) << c.name;
        EXPECT_EQ(plan.to, c.expected.to) << c.name;
        EXPECT_EQ(plan.firstSegment, c.expected.firstSegment) << c.name;
        EXPECT_EQ(plan.lastSegment, c.expected.lastSegment) << c.name;
    }
}

class ProfileTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("afp-prefs-" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "install");
        defaults_ = (dir_ / "install" / kProfileName).string();
        user_ = (dir_ / "config" / "qelview" / kProfileName).string();
    }
    void TearDown() override { fs::remove_all(dir_); }
    void WriteFile(const std::string& path, const std::string& text) {
        fs::create_directories(fs::path(path).parent_path());
        std::ofstream(path) << text;
    }
    std::string ReadFile(const std::string& path) {
        std::ifstream in(path);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    fs::path dir_;
    std::string defaults_, user_;
};

TEST_F(ProfileTest, NoFilesGiveTheDefaults) {
    const PrintPreferences prefs = ReadPrintPreferences(ProfileStore(defaults_, user_));
    EXPECT_EQ(prefs.formdef, "");
    EXPECT_EQ(prefs.range, kRangeAll);
    EXPECT_EQ(prefs.shrinkToFit, 1);
    EXPECT_EQ(prefs.rotateToFit, 1);
}

TEST_F(ProfileTest, PrintPreferencesFromTheInstalledDefaults) {
    struct Case {
        const char* text;
        std::string formdef;
        int32_t range, shrink, rotate;
    };
    const Case cases[] = {
        {"[Settings]\nPrintAllPages=TRUE\n", "", kRangeCurrent, 1, 1},  // "TRUE" means the current page
        {"[Settings]\nPrintAllPages=true\nShrinkToFitPrint=FALSE\n", "", kRangeAll, 0, 1},
        {"[Settings]\nRotateToFitPrint=FALSE\nShrinkToFitPrint=no\n", "", kRangeAll, 1, 0},
        {"[Preferences]\nFormdefName=F1A10110\n", "F1A10110", kRangeAll, 1, 1},
        {"[Preferences]\nFormdefName=1234567890123456789012345678901\n", "1234567890123456789012345678901",
         kRangeAll, 1, 1},
        // One character too long: not cut into another name, not used.
        {"[Preferences]\nFormdefName=12345678901234567890123456789012\n", "", kRangeAll, 1, 1},
    };
    for (const Case& c : cases) {
        WriteFile(defaults_, c.text);
        const PrintPreferences prefs = ReadPrintPreferences(ProfileStore(defaults_, user_));
        EXPECT_EQ(prefs.formdef, c.formdef) << c.text;
        EXPECT_EQ(prefs.range, c.range) << c.text;
        EXPECT_EQ(prefs.shrinkToFit, c.shrink) << c.text;
        EXPECT_EQ(prefs.rotateToFit, c.rotate) << c.text;
    }
}

TEST_F(ProfileTest, TheUsersCopyComesFirstAndIsTheOnlyOneWritten) {
    WriteFile(defaults_, "[Settings]\nImageView=LIGHT\nImageColor=RED\n[MISC]\nLOGO=OKNEEDED\n");
    const ProfileStore store(defaults_, user_);
    EXPECT_EQ(store.Read("Settings", "ImageView", "NORMAL"), "LIGHT");
    ASSERT_TRUE(store.Write("Settings", "ImageView", "DRAFT"));
    EXPECT_EQ(store.Read("Settings", "ImageView", "NORMAL"), "DRAFT");
    EXPECT_EQ(store.Read("Settings", "ImageColor", "DEFAULT"), "RED");  // still from the defaults
    EXPECT_EQ(store.Read("Settings", "Missing", "fallback"), "fallback");
    // An empty value in the user's copy is a value.
    ASSERT_TRUE(store.Write("MISC", "LOGO", ""));
    EXPECT_EQ(store.Read("MISC", "LOGO", "OKNEEDED"), "");
    EXPECT_EQ(ReadFile(defaults_), "[Settings]\nImageView=LIGHT\nImageColor=RED\n[MISC]\nLOGO=OKNEEDED\n");
    struct stat info {};
    ASSERT_EQ(::stat(fs::path(user_).parent_path().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    EXPECT_FALSE(ProfileStore(defaults_, "").Write("MISC", "LOGO", "TRUE"));
}

TEST(UserProfilePath, FromXdgConfigHomeElseHome) {
    const char* oldXdg = std::getenv("XDG_CONFIG_HOME");
    const std::string savedXdg = oldXdg ? oldXdg : "";
    ::setenv("XDG_CONFIG_HOME", "/x/config", 1);
    EXPECT_EQ(UserProfilePath(), "/x/config/qelview/VADEVIV2.INI");
    ::setenv("XDG_CONFIG_HOME", "relative", 1);  // not absolute: ignored
    const char* oldHome = std::getenv("HOME");
    const std::string savedHome = oldHome ? oldHome : "";
    ::setenv("HOME", "/home/someone", 1);
    EXPECT_EQ(UserProfilePath(), "/home/someone/.config/qelview/VADEVIV2.INI");
    ::setenv("HOME", "", 1);
    EXPECT_EQ(UserProfilePath(), "");
    ::setenv("HOME", savedHome.c_str(), 1);
    if (oldXdg) {
        ::setenv("XDG_CONFIG_HOME", savedXdg.c_str(), 1);
    } else {
        ::unsetenv("XDG_CONFIG_HOME");
    }
}

TEST(ImageView, ProfileAndContainerLetters) {
    using Calls = std::vector<ImageViewCall>;
    struct Case {
        const char* view;
        const char* colour;
        uint8_t viewLetter, shadeLetter;
        Calls calls;
        int32_t flag;
    };
    const Case cases[] = {
        {"NORMAL", "DEFAULT", 0, 0, {{0, 0}, {3, 10}}, 1},
        {"LIGHT", "DEFAULT", 0, 0, {{1, 0}, {3, 10}}, 1},
        {"DRAFT", "DEFAULT", 0, 0, {{2, 0}, {3, 10}}, 0},
        {"COLOR", "CYAN", 0, 0, {{0, 0}, {3, 10}, {3, 15}}, 1},
        // 'N' opens in draft even when the profile asks for colour.
        {"COLOR", "CYAN", 'N', 0, {{0, 0}, {2, 0}, {3, 10}}, 0},
        {"DRAFT", "DEFAULT", 'L', 0, {{2, 0}, {1, 0}, {3, 10}}, 1},
        {"NORMAL", "DEFAULT", 'M', 'Y', {{0, 0}, {0, 0}, {3, 10}, {3, 16}}, 1},
        {"normal", "DEFAULT", 0, 'B', {{0, 0}, {3, 10}}, 1},  // 'B' is none of the six
    };
    for (const Case& c : cases) {
        int32_t flag = -1;
        EXPECT_EQ(ImageViewCalls(c.view, c.colour, c.viewLetter, c.shadeLetter, flag), c.calls) << c.view;
        EXPECT_EQ(flag, c.flag) << c.view;
    }
}

TEST(ImageView, ToggleBetweenDraftAndColour) {
    ImageViewToggle toDraft = ToggleImageView(-1, "RED", 'G');
    EXPECT_EQ(toDraft.flag, 0);
    EXPECT_EQ(toDraft.written, "DRAFT");
    EXPECT_EQ(toDraft.calls, (std::vector<ImageViewCall>{{2, 0}}));
    ImageViewToggle toColour = ToggleImageView(0, "RED", 'G');
    EXPECT_EQ(toColour.flag, 1);
    EXPECT_EQ(toColour.written, "COLOR");
    EXPECT_EQ(toColour.calls, (std::vector<ImageViewCall>{{3, 12}, {3, 14}}));
    EXPECT_EQ(ToggleImageView(0, "PURPLE", 0).calls, (std::vector<ImageViewCall>{{3, 10}, {3, 10}}));
}

TEST(InstallDir, FirstUsableCandidate) {
    struct Case {
        std::string registry, profile, own, expected;
    };
    const Case cases[] = {
        {"/opt/afp", "/etc/afp/", "/lib/", "/opt/afp/"},
        {"", "/etc/afp/", "/lib/", "/etc/afp/"},
        {"relative/dir", "DEFAULT", "/lib/", "/lib/"},  // not absolute: not usable
        {"", "", "", ""},
        {"/" + std::string(600, 'a'), "", "/lib/", "/lib/"},  // too long for the field
    };
    for (const Case& c : cases)
        EXPECT_EQ(ChooseInstallDir(c.registry, c.profile, c.own), c.expected)
            << c.registry << "|" << c.profile;
}

TEST(InstallDir, OverLongProfileValueIsRefusedNotCut) {
    const fs::path profile = fs::temp_directory_path() / ("afp-paths-" + std::to_string(::getpid()) + ".ini");
    const std::string fits = "/" + std::string(kInstallPathLimit - 2, 'a');  // 511 bytes
    struct Case {
        std::string value, expected;
    };
    const Case cases[] = {
        {fits, fits + "/"},
        {fits + "b", "/lib/"},                    // 512 bytes: too long for the field
        {fits + std::string(100, 'b'), "/lib/"},  // not cut to a directory that exists elsewhere
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value.size());
        std::ofstream(profile, std::ios::trunc) << "[PATHS]\nWOXPath=" << c.value << "\n";
        EXPECT_EQ(ChooseInstallDir("", ProfileInstallPath(profile.string()), "/lib/"), c.expected);
    }
    fs::remove(profile);
    EXPECT_EQ(ProfileInstallPath(profile.string()), "");
}

TEST(Binding, NamesAndOrder) {
    EXPECT_STREQ(kServicesNames.front(), "GetSList");
    EXPECT_STREQ(kServicesNames.back(), "SMapperSetDllHandle");
    EXPECT_STREQ(kEngineNames.front(), "GetViewServ");
    EXPECT_STREQ(kEngineNames.back(), "VSFindAbort");
}

TEST(Binding, StopsAtTheFirstMissingNameAndBindsNothing) {
    static int dummy;
    struct Case {
        std::set<std::string> missing;
        const char* expected;
        size_t lookups;  // names asked for before the binding stopped
    };
    const Case cases[] = {
        {{}, nullptr, 76},
        {{"VSFindAbort"}, "VSFindAbort", 76},
        {{"VSDocStart", "VSInit"}, "VSInit", 3},
        {{"GetViewServ"}, "GetViewServ", 1},
    };
    for (const Case& c : cases) {
        EngineApi api;
        size_t asked = 0;
        const char* missing = BindEngine(api, [&](const char* name) -> void* {
            ++asked;
            return c.missing.count(name) ? nullptr : &dummy;
        });
        if (c.expected == nullptr) {
            EXPECT_EQ(missing, nullptr);
            EXPECT_EQ(reinterpret_cast<void*>(api.VSFindAbort), &dummy);
        } else {
            ASSERT_NE(missing, nullptr);
            EXPECT_STREQ(missing, c.expected);
            EXPECT_EQ(api.GetViewServ, nullptr);  // all or nothing
        }
        EXPECT_EQ(asked, c.lookups);
    }
    EngineApi api;
    EXPECT_STREQ(BindServices(api,
                              [](const char* name) -> void* {
                                  return std::string(name) == "INDEXSetSelGrp" ? nullptr : &dummy;
                              }),
                 "INDEXSetSelGrp");
    EXPECT_EQ(api.GetSList, nullptr);
    EXPECT_STREQ(BindServices(api, nullptr), "GetSList");
}

}  // namespace
}  // namespace afpview
