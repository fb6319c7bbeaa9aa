// controls.h - which page controls are live, and the status texts, for given numbers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace afpview {

// Toolbar and menu identifiers. An even identifier next to an odd one is its greyed twin.
enum : uint32_t {
    kCmdZoom = 32071,
    kCmdRotate = 32072,
    kCmdReset = 32073,
    kCmdImageView = 32074,
    kCmdSaveView = 32075,
    kCmdGetView = 32076,
    kCmdGoto = 32077,
    kCmdFind = 32078,
    kCmdFindNext = 32079,
    kCmdFindNextGrey = 32080,
    kCmdFirst = 32081,
    kCmdFirstGrey = 32082,
    kCmdPrevious = 32083,
    kCmdPreviousGrey = 32084,
    kCmdNext = 32085,
    kCmdNextGrey = 32086,
    kCmdLast = 32087,
    kCmdLastGrey = 32088,
    kCmdPrint = 32089,
    kCmdHelp = 32090,
    kCmdStop = 32091,
    kCmdBitmapSelect = 32092,
    kCmdTextSelect = 32093,
    kCmdCopy = 32094,
    kCmdAbout = 32100,
};

// Messages of the view window posted by the engine's callbacks.
enum : uint32_t { kMsgSearchDone = 1324, kMsgRepaint = 1325, kMsgChangePage = 1326 };

struct Navigation {
    bool backLive = false;     // first and previous page
    bool forwardLive = false;  // next and last page
};

// The first matching row: one page greys both pairs, page 1 greys first/previous, the
// last page greys next/last; otherwise both are live.
Navigation NavigationFor(int32_t current, int32_t total);

// text cut to at most maxBytes bytes without splitting a UTF-8 character.
std::string CutText(std::string_view text, size_t maxBytes);

inline constexpr size_t kPageStatusLimit = 63;
inline constexpr size_t kControlStatusLimit = 127;

// "<label1><current><label2><total>", cut safely to kPageStatusLimit bytes.
std::string PageStatusText(std::string_view label1, int32_t current, std::string_view label2, int32_t total);

// The resource string shown as a control's status text, 0 for none. imageViewLive: the
// image-view flag is non-zero (the button would switch to draft).
uint32_t StatusStringFor(uint32_t controlId, bool imageViewLive);

}  // namespace afpview
