// Set-up, shut-down and the request bracket of the local server.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "archive_fixture.h"

namespace {

using localtest::ArchiveCopy;
using localtest::ArchiveTest;
using localtest::MakeHandle;
using localtest::WriteFile;

TEST(LocalOpenTest, FirstDirectoryOfTheListGetsItsSlash) {
    ArchiveCopy archive;
    std::string dir = archive.Dir().substr(0, archive.Dir().size() - 1);  // no trailing '/'
    CsHandle handle;
    MakeHandle(&handle, dir + ",/elsewhere/archive2");
    ASSERT_EQ(QelLocal_Open(&handle), 0);
    EXPECT_EQ(QelLocal_DirPath(QELLOCAL_DIR_ROOT), dir + "/");
    EXPECT_EQ(QelLocal_DirPath(QELLOCAL_DIR_TABLE), dir + "/table/");
    EXPECT_EQ(QelLocal_DirPath(QELLOCAL_DIR_VOLUME), dir + "/volume");
    EXPECT_EQ(QelLocal_TablePath(QELLOCAL_TBL_AG), dir + "/table/ag.tbl");
    EXPECT_EQ(QelLocal_TablePath(QELLOCAL_TBL_USER), dir + "/table/user.tbl");
    EXPECT_EQ(QelLocal_TablePath(QELLOCAL_TBL_COUNT), "");
    EXPECT_EQ(QelLocal_CodePage(), 819);
    EXPECT_EQ(QelCacheFs_ConnectionVolume(&handle), "ARCHIVE01");
    EXPECT_EQ(QelLocal_Close(&handle), 0);
    EXPECT_EQ(QelLocal_TablePath(QELLOCAL_TBL_AG), "") << "paths live until the shut-down";
    EXPECT_EQ(QelCacheFs_ConnectionVolume(&handle), "") << "the label read at set-up goes with it";
}

TEST(LocalOpenTest, SetUpFailures) {
    struct Case {
        const char* name;
        const char* directory;  // null: the archive's
        const char* systemTable;
        int rc;
    };
    const Case cases[] = {
        {"no DIRECTORY", "", nullptr, 6},
        {"no CODEPAGE", nullptr, "[SYSTEM]\nSYS_MASK=2\n", 6},
        {"malformed CODEPAGE", nullptr, "[SYSTEM]\nCODEPAGE=8x19\nSYS_MASK=2\n", 6},
        {"directory without tables", "/nonexistent/archive", nullptr, 6},
    };
    for (const Case& c : cases) {
        ArchiveCopy archive;
        if (c.systemTable != nullptr) WriteFile(archive.Table("system"), c.systemTable);
        CsHandle handle;
        MakeHandle(&handle, c.directory != nullptr ? c.directory : archive.Dir());
        EXPECT_EQ(QelLocal_Open(&handle), c.rc) << c.name;
        EXPECT_EQ(QelLocal_TablePath(QELLOCAL_TBL_AG), "") << c.name;
        QelLocalGroup group;
        EXPECT_EQ(QelLocal_ReadGroup(&handle, 10, &group), 6) << c.name << ": a request without set-up";
    }
}

TEST(LocalOpenTest, VolumeLabelWithoutLineEndKeepsItsLastCharacter) {
    ArchiveCopy archive;
    WriteFile(archive.Dir() + "volume", "VOL7");
    CsHandle handle;
    MakeHandle(&handle, archive.Dir());
    ASSERT_EQ(QelLocal_Open(&handle), 0);
    EXPECT_EQ(QelCacheFs_ConnectionVolume(&handle), "VOL7");
    QelLocal_Close(&handle);
}

TEST(LocalOpenTest, NoVolumeFileLeavesTheConnectionWithoutLabel) {
    ArchiveCopy archive;
    std::filesystem::remove(archive.Dir() + "volume");
    CsHandle handle;
    MakeHandle(&handle, archive.Dir());
    ASSERT_EQ(QelLocal_Open(&handle), 0);
    EXPECT_EQ(QelCacheFs_ConnectionVolume(&handle), "");
    EXPECT_EQ(QelLocal_LoadTables(&handle), 0);
    QelLocal_Close(&handle);
}

int RefuseVolume(int, const char*, const char*, const char*, int) { return 1; }

TEST(LocalOpenTest, EachRequestChecksTheVolumeLabel) {
    ArchiveCopy archive;
    CsHandle handle;
    MakeHandle(&handle, archive.Dir());
    ASSERT_EQ(QelLocal_Open(&handle), 0);
    EXPECT_EQ(QelLocal_LoadTables(&handle), 0);
    WriteFile(archive.Dir() + "volume", "ANOTHER\n");  // another medium under the same path
    EXPECT_EQ(QelLocal_LoadTables(&handle), 6);
    QelCacheFs_SetVolumeCallback(&handle, &RefuseVolume);
    EXPECT_EQ(QelLocal_LoadTables(&handle), 1);
    QelCacheFs_SetVolumeCallback(&handle, nullptr);
    QelLocal_Close(&handle);
}

class BracketTest : public ArchiveTest {};

TEST_F(BracketTest, CancelFlagStopsNextRequestsUntilTheNextBracket) {
    QelLocalGroup group;
    ASSERT_EQ(QelLocal_ListGroupsFirst(&handle_, nullptr, nullptr, &group), 0);
    EXPECT_EQ(QelLocal_SetCancel(&handle_, 1), 1);
    EXPECT_EQ(QelLocal_ListGroupsNext(&handle_, &group), 1);
    EXPECT_EQ(QelLocal_LoadTables(&handle_), 0);
    EXPECT_EQ(QelLocal_ListGroupsNext(&handle_, &group), 0) << "the bracket cleared the flag";
    EXPECT_STREQ(group.name, "STAFF");
    EXPECT_EQ(QelLocal_SetCancel(&handle_, 0), 0);
}

// Which "next" requests look at the cancel flag, and whether they do so before or
// after their argument checks. Nothing is listed yet, so a request that ignores the
// flag finds the end of its list.
TEST_F(BracketTest, NextRequestsAndTheCancelFlag) {
    auto next = [this](auto fn, auto record) {
        return [this, fn, record](bool withRecord) mutable {
            return fn(&handle_, withRecord ? &record : nullptr);
        };
    };
    int32_t agid = 0;
    char name[QELLOCAL_NAME_SIZE] = {};
    struct Case {
        const char* name;
        std::function<int(bool withRecord)> next;
        int withRecord;     // while the flag is set
        int withoutRecord;  // while the flag is set
    };
    const Case cases[] = {
        {"ListUsersNext", next(QelLocal_ListUsersNext, QelLocalUser{}), CS_CANCELLED, CS_FAILED},
        {"ListGroupsNext", next(QelLocal_ListGroupsNext, QelLocalGroup{}), CS_CANCELLED, CS_FAILED},
        {"ListAppGroupsNext", next(QelLocal_ListAppGroupsNext, QelLocalAppGroup{}), CS_CANCELLED, CS_FAILED},
        {"ListAppsNext", next(QelLocal_ListAppsNext, QelLocalApp{}), CS_CANCELLED, CS_FAILED},
        {"ListStorageSets", next(QelLocal_ListStorageSets, QelLocalStorageSet{}), CS_CANCELLED, CS_FAILED},
        {"NamedQueriesNext", next(QelLocal_NamedQueriesNext, QelLocalNamedQuery{}), CS_CANCELLED, CS_FAILED},
        {"ListFoldersNext", next(QelLocal_ListFoldersNext, QelLocalFolder{}), CS_CANCELLED, CS_CANCELLED},
        {"ListFolderAppsNext", next(QelLocal_ListFolderAppsNext, QelLocalApp{}), CS_CANCELLED, CS_CANCELLED},
        {"ListSegmentTableNext", next(QelLocal_ListSegmentTableNext, QelLocalSegment{}), CS_CANCELLED,
         CS_CANCELLED},
        {"NextFolder", next(QelLocal_NextFolder, QelLocalFolder{}), CS_NOT_FOUND, CS_FAILED},
        {"NextFolderApp", next(QelLocal_NextFolderApp, QelLocalApp{}), CS_NOT_FOUND, CS_FAILED},
        {"NextSegment", next(QelLocal_NextSegment, QelLocalSegment{}), CS_NOT_FOUND, CS_FAILED},
        {"GetNotesNext", next(QelLocal_GetNotesNext, QelLocalNote{}), CS_NOT_FOUND, CS_FAILED},
        {"NextAppGroupName",
         [&](bool withRecord) {
             return QelLocal_NextAppGroupName(&handle_, withRecord ? &agid : nullptr, name);
         },
         CS_NOT_FOUND, CS_FAILED},
    };
    QelLocal_SetCancel(&handle_, 1);
    for (const Case& c : cases) {
        EXPECT_EQ(c.next(true), c.withRecord) << c.name;
        EXPECT_EQ(c.next(false), c.withoutRecord) << c.name;
    }
    QelLocal_SetCancel(&handle_, 0);
}

TEST_F(BracketTest, HooksReturnTheirStatus) {
    for (int status : {0, 1, 6, 11, 13}) {
        EXPECT_EQ(QelLocal_EndRequest(&handle_, status), status);
        EXPECT_EQ(QelLocal_PassStatus(&handle_, status), status);
    }
    EXPECT_EQ(QelLocal_NotSupported(&handle_), 6);
    EXPECT_EQ(QelLocal_NoData(&handle_), 11);
}

TEST_F(BracketTest, NestedOpensShareTheStateUntilTheLastClose) {
    CsHandle second;
    MakeHandle(&second, archive_.Dir());
    ASSERT_EQ(QelLocal_Open(&second), 0);
    EXPECT_EQ(QelLocal_Close(&second), 0);
    EXPECT_NE(QelLocal_TablePath(QELLOCAL_TBL_AG), "") << "the outer open still holds the archive";
}

TEST_F(BracketTest, AnotherThreadWaitsForTheOpenArchive) {
    std::atomic<bool> opened{false};
    std::thread other([&] {
        CsHandle handle;
        MakeHandle(&handle, archive_.Dir());
        ASSERT_EQ(QelLocal_Open(&handle), 0);
        opened = true;
        QelLocal_Close(&handle);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(opened.load()) << "a second thread got in while the archive was open";
    QelLocal_Close(&handle_);
    opened_ = false;
    other.join();
    EXPECT_TRUE(opened.load());
}

}  // namespace
