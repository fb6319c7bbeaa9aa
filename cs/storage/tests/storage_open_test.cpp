// Opening and closing a handle's stores, and the map of cache-layer results.
#include <gtest/gtest.h>

#include "arc_install.h"
#include "arc_platform.h"
#include "qel_sm.h"
#include "sm_test_support.h"

namespace {

using smtest::TempDir;

TEST(SmMapResultTest, CacheResultsBecomeRequestResults) {
    struct Case {
        int in;
        int out;
    };
    const Case cases[] = {{0, 0}, {1, 1}, {2, 6}, {3, 5}, {4, 11}, {5, 10}, {6, 6}, {-1, 6}, {99, 6}};
    for (const Case& c : cases) EXPECT_EQ(SmMapResult(c.in), c.out) << c.in;
}

class StorageOpenTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(dir_ / "install/bin");
        QelInst_SetModuleDirForTest((dir_ / "install/bin/").c_str());
    }
    void TearDown() override {
        SmCloseStorage(&handle_);
        QelInst_SetModuleDirForTest(nullptr);
    }
    TempDir dir_;
    CsHandle handle_{};
};

TEST_F(StorageOpenTest, OpensTheCacheAndTheVolumeList) {
    smtest::MakeHandle(&handle_, "LOCALTEST", "DIRECTORY=/v1,/v2\n", nullptr);
    ASSERT_EQ(SmOpenStorage(&handle_), 0);
    SmStorage* storage = SmGetStorage(&handle_);
    ASSERT_NE(storage, nullptr);
    EXPECT_EQ(storage->flags, SM_CACHE_OPEN | SM_NODES_OPEN);
    EXPECT_EQ(storage->cache->root, "/v1");
    EXPECT_EQ(storage->volumes->dirs.size(), 2u);
    EXPECT_EQ(SmOpenStorage(&handle_), 0) << "a nested open keeps the record";
    EXPECT_EQ(SmGetStorage(&handle_), storage);
    EXPECT_EQ(SmCloseStorage(&handle_), 0);
    EXPECT_EQ(SmGetStorage(&handle_), nullptr);
    EXPECT_EQ(SmCloseStorage(&handle_), 0) << "closing without a record";
}

TEST_F(StorageOpenTest, CacheWithoutVolumesIsNoFailure) {
    smtest::WriteFile(dir_ / "install/etc/qel.ini", "[@SRV@_REMOTE]\nCACHE_NAME=/cache\n");
    smtest::MakeHandle(&handle_, "REMOTE", "", nullptr);
    ASSERT_EQ(SmOpenStorage(&handle_), 0);
    ASSERT_NE(SmGetStorage(&handle_), nullptr);
    EXPECT_EQ(SmGetStorage(&handle_)->flags, SM_CACHE_OPEN);
    EXPECT_EQ(SmGetStorage(&handle_)->volumes, nullptr);
}

TEST_F(StorageOpenTest, NothingConfiguredOpensAnEmptyRecord) {
    smtest::MakeHandle(&handle_, "NOTHING", "", nullptr);
    ASSERT_EQ(SmOpenStorage(&handle_), 0);
    ASSERT_NE(SmGetStorage(&handle_), nullptr);
    EXPECT_EQ(SmGetStorage(&handle_)->flags, 0);
    EXPECT_EQ(SmOpenStorage(nullptr), 6);
}

TEST_F(StorageOpenTest, HandlesKeepTheirOwnRecords) {
    CsHandle other{};
    smtest::MakeHandle(&handle_, "ONE", "DIRECTORY=/one\n", nullptr);
    smtest::MakeHandle(&other, "TWO", "DIRECTORY=/two\n", nullptr);
    ASSERT_EQ(SmOpenStorage(&handle_), 0);
    ASSERT_EQ(SmOpenStorage(&other), 0);
    EXPECT_EQ(SmGetStorage(&handle_)->cache->root, "/one");
    EXPECT_EQ(SmGetStorage(&other)->cache->root, "/two");
    EXPECT_EQ(SmCloseStorage(&other), 0);
    EXPECT_NE(SmGetStorage(&handle_), nullptr);
}

}  // namespace
