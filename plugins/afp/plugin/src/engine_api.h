// engine_api.h - the entry points of the view engine's two libraries, bound by name.
//
// The services library is bound first (33 names), then the engine library (76 names),
// each in the order of its list; the first missing name ends the binding.
#pragma once

#include <array>
#include <functional>
#include <string>

#include "knvw_engine.h"

#define KNVW_SERVICES_ENTRIES(X) \
    X(GetSList)                  \
    X(DeleteSList)               \
    X(LISTAddEntry)              \
    X(LISTClear)                 \
    X(LISTGet)                   \
    X(LISTGetIndex)              \
    X(LISTGetIndex2)             \
    X(LISTGetIndexFromP)         \
    X(LISTGetName)               \
    X(LISTGetNameFromP)          \
    X(LISTGetNext)               \
    X(LISTGetNextName)           \
    X(LISTSearch)                \
    X(LISTUpdateEntry)           \
    X(LISTUpdateName)            \
    X(GetIndex)                  \
    X(DeleteIndex)               \
    X(INDEXGetSLists)            \
    X(INDEXAddGroup)             \
    X(INDEXClear)                \
    X(INDEXGetAttrListPtr)       \
    X(INDEXGetPageIndex)         \
    X(INDEXGetPageValue)         \
    X(INDEXGrpSelect)            \
    X(INDEXSearchAttr)           \
    X(INDEXSetDocPgTLE)          \
    X(INDEXSetGrpTLE)            \
    X(INDEXSetGrpPage)           \
    X(INDEXSetGrpPgTLE)          \
    X(INDEXSetPageTLE)           \
    X(INDEXSetSelGrp)            \
    X(SMapperGetDllHandle)       \
    X(SMapperSetDllHandle)

#define KNVW_ENGINE_ENTRIES(X) \
    X(GetViewServ)             \
    X(DeleteViewServ)          \
    X(VSInit)                  \
    X(VSDocStart)              \
    X(VSDocEnd)                \
    X(VSSetUndefinedCP)        \
    X(VSSetAppScrolling)       \
    X(VSDocPaint)              \
    X(VSCopyBitmap)            \
    X(VSCopyText)              \
    X(VSFindGroup)             \
    X(VSFindNext)              \
    X(VSFindString)            \
    X(VSUndoFind)              \
    X(VSExtractPages)          \
    X(VSPrint)                 \
    X(VSScrollDown)            \
    X(VSScrollLeft)            \
    X(VSScrollRight)           \
    X(VSScrollUp)              \
    X(VSThumbScroll)           \
    X(VSGoto)                  \
    X(VSGotoNextPage)          \
    X(VSGotoPrevPage)          \
    X(VSGotoFirstPage)         \
    X(VSGotoLastPage)          \
    X(VSMoveHomePage)          \
    X(VSMoveCenterPage)        \
    X(VSGetHScrollPos)         \
    X(VSGetHScrollRange)       \
    X(VSGetVScrollPos)         \
    X(VSGetVScrollRange)       \
    X(VSGetNumPages)           \
    X(VSGetCurrentPage)        \
    X(VSSetCurrentPage)        \
    X(VSGetClipArea)           \
    X(VSSetClipArea)           \
    X(VSScaleClipArea)         \
    X(VSGetImageView)          \
    X(VSSetImageView)          \
    X(VSGetPageLength)         \
    X(VSGetPageWidth)          \
    X(VSSetPageSize)           \
    X(VSGetPageXPos)           \
    X(VSSetPageXPos)           \
    X(VSGetPageYPos)           \
    X(VSSetPageYPos)           \
    X(VSGetNumCopies)          \
    X(VSSetCopy)               \
    X(VSGetRotation)           \
    X(VSSetRotation)           \
    X(VSGetTextFidelity)       \
    X(VSSetTextFidelity)       \
    X(VSGetZoom)               \
    X(VSSetZoom)               \
    X(VSGetAutosize)           \
    X(VSSetAutosize)           \
    X(VSGetAutoRotation)       \
    X(VSSetAutoRotation)       \
    X(VSGetWindowSize)         \
    X(VSSetWindowSize)         \
    X(VSSaveView)              \
    X(VSGetView)               \
    X(VSResetView)             \
    X(VSReleaseFile)           \
    X(VSRestoreFile)           \
    X(VSGetSMapperHandle)      \
    X(VSTextLButtonDown)       \
    X(VSTextLButtonUp)         \
    X(VSTextMouseMove)         \
    X(VSSetTextSelMode)        \
    X(VSGetTextSelMode)        \
    X(VSTextGetTextBuffer)     \
    X(VSSetNSPIInfo)           \
    X(VSSetLineDataParms)      \
    X(VSFindAbort)

namespace afpview {

#define KNVW_NAME(name) #name,
inline constexpr std::array<const char*, 33> kServicesNames = {KNVW_SERVICES_ENTRIES(KNVW_NAME)};
inline constexpr std::array<const char*, 76> kEngineNames = {KNVW_ENGINE_ENTRIES(KNVW_NAME)};
#undef KNVW_NAME

// One typed pointer per bound name; all null until a binding succeeded.
struct EngineApi {
#define KNVW_FIELD(name) decltype(&::name) name = nullptr;
    KNVW_SERVICES_ENTRIES(KNVW_FIELD)
    KNVW_ENGINE_ENTRIES(KNVW_FIELD)
#undef KNVW_FIELD
};

// Looks an entry up by name in one library; null when it has none.
using EntryLookup = std::function<void*(const char* name)>;

// Binds the services library's names, in order. The first missing name, or null when
// every name resolved (then the fields are set).
const char* BindServices(EngineApi& api, const EntryLookup& lookup);
// The same for the engine library's names.
const char* BindEngine(EngineApi& api, const EntryLookup& lookup);

}  // namespace afpview
