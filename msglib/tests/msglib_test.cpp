// The language libraries as the catalogue and an installer see them: texts by event id,
// language selection through the catalogue, and event-source registration.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "arc_install.h"
#include "arc_messages.h"
#include "arc_platform.h"

namespace {

const std::string kLocaleDir = std::string(QEL_STAGE_DIR) + "/locale";
constexpr const char* kNoLibraryDir = "/nonexistent/qel-msglib-test/locale";
constexpr const char* kSourceKey =
    "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Tidewell for WinNT";
constexpr uint32_t kUnexpected = 0x8000FFFFu;

std::string LibraryPath(const char* language) { return kLocaleDir + "/" + language + "/libqellgs32.so"; }

std::string Format(const char* text) {
    const char* args[] = {"A1", "B2", "C3", "D4", "E5", "F6", "G7", "H8", "I9"};
    char buffer[2048];
    ArcMSGS_Format(buffer, sizeof buffer, text, args, 9);
    return buffer;
}

class Library : public ::testing::Test {
protected:
    void SetUp() override { ArcMSGS_Reset(); }
    void TearDown() override {
        ArcMSGS_Reset();
        ArcOS_FreeLibrary(library_);
    }
    ArcOSLibrary* Load(const char* language) {
        library_ = ArcOS_LoadLibrary(LibraryPath(language).c_str());
        EXPECT_NE(library_, nullptr) << LibraryPath(language) << ": " << ArcOS_LibraryError();
        return library_;
    }
    ArcOSLibrary* library_ = nullptr;
};

TEST_F(Library, EnglishTextsEqualTheCatalogue) {
    ArcOSLibrary* library = Load("enu");
    ASSERT_NE(library, nullptr);
    auto lookup = reinterpret_cast<ArcMsgLookupFn>(ArcOS_GetProcAddress(library, ARC_MSG_LOOKUP_ENTRY));
    ASSERT_NE(lookup, nullptr);

    ArcMSGS_SetPath(kNoLibraryDir, "enu");  // built-in texts only
    int compared = 0;
    for (int index = 0; index < ARC_MSG_COUNT; ++index) {
        ArcMsgRow row;
        ASSERT_EQ(ArcMSGS_GetText(index, &row), 0);
        const char* raw = lookup(row.eventId);
        ASSERT_NE(raw, nullptr) << "index " << index << " missing from the library";
        std::string text = raw;
        ASSERT_GE(text.size(), 2u);
        EXPECT_EQ(text.substr(text.size() - 2), "\r\n") << "index " << index;
        if (std::string(row.text).rfind("Unable to find message number", 0) == 0)
            continue;  // no built-in text
        std::string libraryText = ArcMSGS_LoadText(library, row.eventId, nullptr);
        EXPECT_EQ(Format(libraryText.c_str()), Format(row.text)) << "index " << index;
        EXPECT_EQ(ArcMSGS_CountInserts(libraryText.c_str()), ArcMSGS_CountInserts(row.text))
            << "index " << index;
        ++compared;
    }
    EXPECT_EQ(compared, ARC_MSG_COUNT - 3);
    EXPECT_STREQ(lookup(ARC_MSG_TYPE_INFORMATION | 0), "QK_ARCMSG_NO_OP\r\n");
    // Identifiers that name no row, or a row under the wrong event type.
    ArcMsgRow row;
    ASSERT_EQ(ArcMSGS_GetText(491, &row), 0);
    for (uint32_t id :
         {0u, 0xFFFFFFFFu, (row.eventId & 0xFFFFu) | ARC_MSG_TYPE_WARNING, ARC_MSG_TYPE_INFORMATION | 2u}) {
        EXPECT_EQ(lookup(id), nullptr) << std::hex << id;
    }
}

TEST_F(Library, LoadTextFallsBack) {
    ArcOSLibrary* library = Load("deu");
    ASSERT_NE(library, nullptr);
    EXPECT_EQ(ArcMSGS_LoadText(library, ARC_MSG_TYPE_INFORMATION | 0, "fb"), "QK_ARCMSG_NO_OP");
    EXPECT_EQ(ArcMSGS_LoadText(library, 0x12345678u, "fb"), "fb");
    EXPECT_EQ(ArcMSGS_LoadText(nullptr, ARC_MSG_TYPE_INFORMATION | 0, "fb"), "fb");
    EXPECT_EQ(ArcMSGS_LoadText(nullptr, 0, nullptr), "");
}

TEST_F(Library, CatalogueTakesTextsFromTheLanguageLibrary) {
    struct Case {
        const char* language;
        int index;
        const char* formatted;  // with inserts A1, B2, ...
    };
    const Case cases[] = {
        {"ENU", 491, "The argument 'A1' was not specified"},
        {"ENU", 0, "QK_ARCMSG_NO_OP"},
        {nullptr, 12, "Login: A1"},
        {"deu", 491, "Das Argument 'A1' wurde nicht angegeben"},
        {"deu", 94,
         "Die Datei >A1< kann nicht ge\xC3\xB6"
         "ffnet werden.  errno=B2"},
        {"deu", 499, "B2 - A1"},
        {"deu", 14, "Abmeldung"},
        {"Deutsch", 338, "Januar"},
        {"deu", 13, nullptr},  // not translated
        {"deu", 1737, nullptr},
    };
    for (const Case& c : cases) {
        ArcMSGS_Reset();
        const std::string name =
            std::string(c.language ? c.language : "(null)") + " index " + std::to_string(c.index);
        ASSERT_EQ(ArcMSGS_Init(kLocaleDir.c_str(), c.language), 0) << name;
        ArcMsgRow row;
        ASSERT_EQ(ArcMSGS_GetText(c.index, &row), 0) << name;
        const std::string expected =
            c.formatted != nullptr ? c.formatted
                                   : "Unable to find message number (" + std::to_string(row.number) + ")";
        EXPECT_EQ(Format(row.text), expected) << name;
        // A second read returns the kept text.
        ArcMsgRow again;
        ASSERT_EQ(ArcMSGS_GetText(c.index, &again), 0);
        EXPECT_EQ(again.text, row.text) << name;
    }
}

TEST_F(Library, InitRunsOnceAndMissingLanguagesFail) {
    EXPECT_EQ(ArcMSGS_Init(kLocaleDir.c_str(), "english"), 1) << "no eng library";
    EXPECT_EQ(ArcMSGS_GetPath(), kLocaleDir + "/eng/libqellgs32.so");

    ArcMSGS_Reset();
    ASSERT_EQ(ArcMSGS_Init(kLocaleDir.c_str(), "deu"), 0);
    EXPECT_EQ(ArcMSGS_Init(kNoLibraryDir, "fra"), 0) << "a loaded library makes Init a no-op";
    EXPECT_EQ(ArcMSGS_GetPath(), LibraryPath("deu"));
}

TEST_F(Library, LateLoadFillsTextsThatFellBackBefore) {
    ASSERT_EQ(ArcMSGS_Init(kNoLibraryDir, "deu"), 1);
    ArcMsgRow row;
    ASSERT_EQ(ArcMSGS_GetText(14, &row), 0);
    EXPECT_EQ(std::string(row.text), "Unable to find message number (" + std::to_string(row.number) + ")");
    ASSERT_EQ(ArcMSGS_Init(kLocaleDir.c_str(), "deu"), 0);
    ASSERT_EQ(ArcMSGS_GetText(14, &row), 0);
    EXPECT_STREQ(row.text, "Abmeldung");
}

TEST_F(Library, ConcurrentFirstReadsLoadOnce) {
    ArcMSGS_SetPath(kLocaleDir.c_str(), "deu");  // configured, not loaded: the readers load it
    std::vector<const char*> seen(8, nullptr);
    std::vector<std::thread> threads;
    for (auto& text : seen) {
        threads.emplace_back([&text] {
            ArcMsgRow row;
            if (ArcMSGS_GetText(14, &row) == 0) text = row.text;
        });
    }
    for (auto& thread : threads) thread.join();
    for (const char* text : seen) {
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(text, seen[0]) << "one kept text per row";
    }
    EXPECT_STREQ(seen[0], "Abmeldung");
}

class Registration : public ::testing::Test {
protected:
    void SetUp() override {
        directory_ = std::filesystem::temp_directory_path() /
                     ("qel-msglib-registry-" + std::to_string(ArcOS_GetProcessId()));
        std::filesystem::remove_all(directory_);
        std::filesystem::create_directories(directory_);
        ASSERT_EQ(ArcOS_PutEnv(("QEL_REGISTRY_DIR=" + directory_.string()).c_str()), 0);
        library_ = ArcOS_LoadLibrary(LibraryPath("enu").c_str());
        ASSERT_NE(library_, nullptr) << ArcOS_LibraryError();
        reg_ = reinterpret_cast<Entry>(ArcOS_GetProcAddress(library_, "DllRegisterServer"));
        unreg_ = reinterpret_cast<Entry>(ArcOS_GetProcAddress(library_, "DllUnregisterServer"));
        ASSERT_NE(reg_, nullptr);
        ASSERT_NE(unreg_, nullptr);
    }
    void TearDown() override {
        ArcOS_FreeLibrary(library_);
        std::filesystem::remove_all(directory_);
    }
    int SectionsInHive() {
        std::ifstream in(ArcReg_HivePath(ARCREG_HKLM));
        std::stringstream content;
        content << in.rdbuf();
        const std::string text = content.str();
        const std::string header = std::string("[") + kSourceKey + "]";
        int count = 0;
        for (size_t at = text.find(header); at != std::string::npos; at = text.find(header, at + 1)) ++count;
        return count;
    }

    using Entry = uint32_t (*)();
    std::filesystem::path directory_;
    ArcOSLibrary* library_ = nullptr;
    Entry reg_ = nullptr;
    Entry unreg_ = nullptr;
};

TEST_F(Registration, RegisterTwiceLeavesOneKey) {
    EXPECT_EQ(reg_(), 0u);
    EXPECT_EQ(reg_(), 0u);
    EXPECT_EQ(SectionsInHive(), 1);

    std::vector<ArcRegValue> values;
    ASSERT_EQ(ArcReg_EnumValues(ARCREG_HKLM, kSourceKey, &values), ARCREG_OK);
    ASSERT_EQ(values.size(), 2u);
    std::string file;
    ASSERT_EQ(ArcReg_ReadString(ARCREG_HKLM, kSourceKey, "EventMessageFile", &file), ARCREG_OK);
    EXPECT_TRUE(std::filesystem::equivalent(file, LibraryPath("enu"))) << file;
    int64_t types = 0;
    ASSERT_EQ(ArcReg_ReadNumber(ARCREG_HKLM, kSourceKey, "TypesSupported", &types), ARCREG_OK);
    EXPECT_EQ(types, 7);
}

TEST_F(Registration, UnregisterRemovesTheKeyAndFailsWhenAbsent) {
    EXPECT_EQ(unreg_(), kUnexpected) << "nothing registered yet";
    ASSERT_EQ(reg_(), 0u);
    EXPECT_EQ(unreg_(), 0u);
    EXPECT_EQ(ArcReg_KeyExists(ARCREG_HKLM, kSourceKey), 0);
    EXPECT_EQ(unreg_(), kUnexpected);
}

TEST_F(Registration, UnwritableRegistryIsReported) {
    std::filesystem::remove_all(directory_);
    std::ofstream(directory_.string()) << "not a directory";
    EXPECT_EQ(reg_(), kUnexpected);
    std::filesystem::remove(directory_);
    std::filesystem::create_directories(directory_);
}

}  // namespace
