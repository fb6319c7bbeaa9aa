// Install paths: base, locale and configuration directories and the product files, for
// the split layout (bin/ with locale/ beside it) and the flat one (locale beside the
// program).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "arc_install.h"
#include "arc_platform.h"

namespace {

namespace fs = std::filesystem;

std::string Call(size_t (*fn)(char*, size_t), size_t size = 4096) {
    std::string buffer(size, '#');
    const size_t n = fn(buffer.data(), size);
    EXPECT_EQ(n, std::char_traits<char>::length(buffer.c_str()));
    return buffer.substr(0, n);
}

std::string Program(int index, size_t size = 4096) {
    std::string buffer(size, '#');
    const size_t n = QelInst_ProgramPath(index, buffer.data(), size);
    EXPECT_EQ(n, std::char_traits<char>::length(buffer.c_str()));
    return buffer.substr(0, n);
}

class InstallPathsTest : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = (fs::path(::testing::TempDir()) / ("qel_install_" + std::to_string(ArcOS_GetProcessId())))
                    .string() +
                "/";
        fs::remove_all(root_);
        fs::create_directories(root_);
    }
    void TearDown() override {
        QelInst_SetModuleDirForTest(nullptr);
        fs::remove_all(root_);
    }
    std::string root_;
};

TEST_F(InstallPathsTest, ProgramInBinWithLocaleInParent) {
    fs::create_directories(root_ + "bin");
    fs::create_directories(root_ + "locale");
    QelInst_SetModuleDirForTest((root_ + "bin").c_str());
    EXPECT_EQ(Call(QelInst_ModuleDir), root_ + "bin/");
    EXPECT_EQ(Call(QelInst_BaseDir), root_);
    EXPECT_EQ(Call(QelInst_LocaleDir), root_ + "locale/");
    EXPECT_EQ(Call(QelInst_ConfigDir), root_ + "etc/");

    struct Case {
        int index;
        std::string expected;
    } cases[] = {
        {0, root_ + "bin/qelacif"},
        {2, root_ + "etc/"},
        {4, root_ + "bin/qellog"},
        {6, root_ + "bin/qelpprnt"},
        {7, root_ + "bin/qelprt"},
        {9, root_ + "lib/libqelusdoc.so"},
        {10, root_ + "lib/libqelusec.so"},
        {11, root_ + "lib/libqelusmxc.so"},
        {13, root_ + "lib/libqelusxct.so"},
        {14, root_ + "bin/qelview"},
        {1, ""},
        {3, ""},
        {5, ""},
        {8, ""},
        {12, ""},
        {15, ""},
        {16, ""},
        {-1, ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Program(c.index), c.expected) << "index " << c.index;
    }
}

TEST_F(InstallPathsTest, LocaleBesideProgram) {
    fs::create_directories(root_ + "app/locale");
    fs::create_directories(root_ + "locale");  // a parent's locale must not win
    QelInst_SetModuleDirForTest((root_ + "app/").c_str());
    EXPECT_EQ(Call(QelInst_BaseDir), root_ + "app/");
    EXPECT_EQ(Call(QelInst_LocaleDir), root_ + "app/locale/");
    EXPECT_EQ(Call(QelInst_ConfigDir), root_ + "app/etc/");
    // A flat installation keeps programs and libraries beside the module.
    EXPECT_EQ(Program(0), root_ + "app/qelacif");
    EXPECT_EQ(Program(9), root_ + "app/libqelusdoc.so");
}

TEST_F(InstallPathsTest, LibraryInLibOfAnInstallTree) {
    fs::create_directories(root_ + "lib");
    fs::create_directories(root_ + "locale");
    QelInst_SetModuleDirForTest((root_ + "lib/").c_str());
    EXPECT_EQ(Call(QelInst_BaseDir), root_);
    EXPECT_EQ(Program(0), root_ + "bin/qelacif");
    EXPECT_EQ(Program(13), root_ + "lib/libqelusxct.so");
}

TEST_F(InstallPathsTest, RootModuleHasNoParent) {
    QelInst_SetModuleDirForTest("/");
    EXPECT_EQ(Call(QelInst_BaseDir), "/");
}

TEST_F(InstallPathsTest, TooSmallBufferGivesZeroAndEmptyText) {
    QelInst_SetModuleDirForTest((root_ + "bin/").c_str());
    const std::string module = root_ + "bin/";
    EXPECT_EQ(Call(QelInst_ModuleDir, module.size() + 1), module);
    EXPECT_EQ(Call(QelInst_ModuleDir, module.size()), "");
    EXPECT_EQ(Program(0, 4), "");
    char untouched = '#';
    EXPECT_EQ(QelInst_BaseDir(&untouched, 0), 0u);
    EXPECT_EQ(untouched, '#');
    EXPECT_EQ(QelInst_LocaleDir(nullptr, 100), 0u);
}

TEST_F(InstallPathsTest, RealModuleIsTheTestProgramInTheStagedTree) {
    // Test programs lie in <stage>/tests/; the stage directory has locale/.
    const std::string stage = fs::canonical(QEL_STAGE_DIR).string() + "/";
    EXPECT_EQ(Call(QelInst_ModuleDir), stage + "tests/");
    EXPECT_EQ(Call(QelInst_BaseDir), stage);
    EXPECT_EQ(Call(QelInst_LocaleDir), stage + "locale/");
}

}  // namespace
