// The two libraries export their entry points by the names the plug-in binds, in its
// binding order, and no other symbols.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>

namespace {

const char* const kListNames[] = {"GetSList",
                                  "DeleteSList",
                                  "LISTAddEntry",
                                  "LISTClear",
                                  "LISTGet",
                                  "LISTGetIndex",
                                  "LISTGetIndex2",
                                  "LISTGetIndexFromP",
                                  "LISTGetName",
                                  "LISTGetNameFromP",
                                  "LISTGetNext",
                                  "LISTGetNextName",
                                  "LISTSearch",
                                  "LISTUpdateEntry",
                                  "LISTUpdateName",
                                  "GetIndex",
                                  "DeleteIndex",
                                  "INDEXGetSLists",
                                  "INDEXAddGroup",
                                  "INDEXClear",
                                  "INDEXGetAttrListPtr",
                                  "INDEXGetPageIndex",
                                  "INDEXGetPageValue",
                                  "INDEXGrpSelect",
                                  "INDEXSearchAttr",
                                  "INDEXSetDocPgTLE",
                                  "INDEXSetGrpTLE",
                                  "INDEXSetGrpPage",
                                  "INDEXSetGrpPgTLE",
                                  "INDEXSetPageTLE",
                                  "INDEXSetSelGrp",
                                  "SMapperGetDllHandle",
                                  "SMapperSetDllHandle"};
const char* const kViewNames[] = {"GetViewServ",
                                  "DeleteViewServ",
                                  "VSInit",
                                  "VSDocStart",
                                  "VSDocEnd",
                                  "VSSetUndefinedCP",
                                  "VSSetAppScrolling",
                                  "VSDocPaint",
                                  "VSCopyBitmap",
                                  "VSCopyText",
                                  "VSFindGroup",
                                  "VSFindNext",
                                  "VSFindString",
                                  "VSUndoFind",
                                  "VSExtractPages",
                                  "VSPrint",
                                  "VSScrollDown",
                                  "VSScrollLeft",
                                  "VSScrollRight",
                                  "VSScrollUp",
                                  "VSThumbScroll",
                                  "VSGoto",
                                  "VSGotoNextPage",
                                  "VSGotoPrevPage",
                                  "VSGotoFirstPage",
                                  "VSGotoLastPage",
                                  "VSMoveHomePage",
                                  "VSMoveCenterPage",
                                  "VSGetHScrollPos",
                                  "VSGetHScrollRange",
                                  "VSGetVScrollPos",
                                  "VSGetVScrollRange",
                                  "VSGetNumPages",
                                  "VSGetCurrentPage",
                                  "VSSetCurrentPage",
                                  "VSGetClipArea",
                                  "VSSetClipArea",
                                  "VSScaleClipArea",
                                  "VSGetImageView",
                                  "VSSetImageView",
                                  "VSGetPageLength",
                                  "VSGetPageWidth",
                                  "VSSetPageSize",
                                  "VSGetPageXPos",
                                  "VSSetPageXPos",
                                  "VSGetPageYPos",
                                  "VSSetPageYPos",
                                  "VSGetNumCopies",
                                  "VSSetCopy",
                                  "VSGetRotation",
                                  "VSSetRotation",
                                  "VSGetTextFidelity",
                                  "VSSetTextFidelity",
                                  "VSGetZoom",
                                  "VSSetZoom",
                                  "VSGetAutosize",
                                  "VSSetAutosize",
                                  "VSGetAutoRotation",
                                  "VSSetAutoRotation",
                                  "VSGetWindowSize",
                                  "VSSetWindowSize",
                                  "VSSaveView",
                                  "VSGetView",
                                  "VSResetView",
                                  "VSReleaseFile",
                                  "VSRestoreFile",
                                  "VSGetSMapperHandle",
                                  "VSTextLButtonDown",
                                  "VSTextLButtonUp",
                                  "VSTextMouseMove",
                                  "VSSetTextSelMode",
                                  "VSGetTextSelMode",
                                  "VSTextGetTextBuffer",
                                  "VSSetNSPIInfo",
                                  "VSSetLineDataParms",
                                  "VSFindAbort"};

}  // namespace

TEST(Exports, EveryNameResolves) {
    struct Case {
        const char* library;
        const char* const* names;
        std::size_t count;
    };
    const Case cases[] = {{"libknvwser.so", kListNames, std::size(kListNames)},
                          {"libknvwvsin.so", kViewNames, std::size(kViewNames)}};
    EXPECT_EQ(std::size(kListNames), 33u);
    EXPECT_EQ(std::size(kViewNames), 76u);
    for (const auto& c : cases) {
        const std::string path = std::string(QEL_STAGE_DIR) + "/lib/" + c.library;
        void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(library, nullptr) << dlerror();
        for (std::size_t n = 0; n < c.count; ++n)
            EXPECT_NE(dlsym(library, c.names[n]), nullptr) << c.names[n];
        // Internal helpers stay inside.
        EXPECT_EQ(dlsym(library, "_ZN4knvw8Registry8InstanceEv"), nullptr);
        EXPECT_EQ(dlsym(library, "_ZN4knvw6Engine3GetEv"), nullptr);
        // Left loaded: the libraries' process-wide state stays reachable until exit.
    }
}
