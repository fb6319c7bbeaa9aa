// vsin_dialogs.h - the engine's own dialogs (zoom, rotation, go to, find, save view, get
// view), built from its resource table and run modally over the owner window.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "qel_win.h"

namespace knvw {

// Dialog names and control identifiers (scripts and tests fill them in).
inline constexpr const char* kZoomDialog = "KNVWZOOM";
inline constexpr const char* kRotationDialog = "KNVWROTATE";
inline constexpr const char* kGotoDialog = "KNVWGOTO";
inline constexpr const char* kFindDialog = "KNVWFIND";
inline constexpr const char* kSaveViewDialog = "KNVWSAVEVIEW";
inline constexpr const char* kGetViewDialog = "KNVWGETVIEW";
enum : uint32_t {
    kZoomCombo = 101,
    kRotate0 = 201,  // 201..204: 0, 90, 180, 270 degrees
    kGotoPage = 301,
    kGotoName = 302,
    kFindText = 401,
    kFindCase = 402,
    kFindWord = 403,
    kFindBackward = 404,
    kViewName = 501,
    kViewDescription = 502,
    kViewList = 601,
};

std::optional<int> AskZoom(WinHandle owner, int current);          // percent
std::optional<int> AskRotation(WinHandle owner, int currentCode);  // rotation code 1..4
struct GotoAnswer {
    std::string pageText, pageName;
};
std::optional<GotoAnswer> AskGoto(WinHandle owner, int current, int total,
                                  const std::vector<std::string>& names);
struct FindAnswer {
    std::string text;  // UTF-8
    bool matchCase = false, wholeWord = false, backward = false;
};
std::optional<FindAnswer> AskFind(WinHandle owner, const FindAnswer& last);
struct SaveViewAnswer {
    std::string name, description;
};
std::optional<SaveViewAnswer> AskSaveView(WinHandle owner);
std::optional<std::string> AskGetView(WinHandle owner, const std::vector<std::string>& names);

}  // namespace knvw
