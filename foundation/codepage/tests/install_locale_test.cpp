// install_locale_test.cpp - without an argument or QKLOCPATH the service reads the
// install tree's locale directory.
#include "arc_install.h"
#include "arc_platform.h"
#include "test_support.h"

namespace qel::codepage::test {
namespace {

TEST(CodepageInstall, StartupFindsTheInstallLocaleDirectory) {
    ASSERT_EQ(ArcOS_PutEnv("QKLOCPATH="), 0);
    QelInst_SetModuleDirForTest(QEL_STAGE_DIR "/bin/");
    ArcIconvContext* context = nullptr;
    ASSERT_EQ(ArcICONV_Startup(&context, nullptr), ARC_ICONV_OK);
    ArcIconvHandle* handle = nullptr;
    ASSERT_EQ(ArcICONV_Open(context, 819, 37, &handle), ARC_ICONV_OK);
    char out[4];
    size_t length = sizeof out;
    EXPECT_EQ(ArcICONV_Convert(handle, "[A]", 3, out, &length), ARC_ICONV_OK);
    EXPECT_EQ(Hex(std::string(out, length)), "BA C1 BB");
    EXPECT_EQ(ArcICONV_Close(handle), 0);
    ArcICONV_Shutdown(context);
    QelInst_SetModuleDirForTest(nullptr);
}

}  // namespace
}  // namespace qel::codepage::test
