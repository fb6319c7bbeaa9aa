// test_resources.cpp - a resource library as plug-ins ship them, loaded by path.
#include "qel_win.h"

namespace {

const WinStringResource kStrings[] = {{7, "Seven"}, {1000, "Page %d of %d"}};
const WinNamedText kBitmaps[] = {{"CHECKER", "2 2 2\nb #000000\nw #FFFFFF\nbw\nwb\n"}};
const WinNamedText kDialogs[] = {{"GOTO",
                                  "DIALOG 10 10 120 50\n"
                                  "STYLE popup|caption\n"
                                  "CAPTION \"Go To Page\"\n"
                                  "CONTROL EDIT 100 5 5 60 12 tabstop \"1\"\n"
                                  "CONTROL BUTTON 1 70 5 40 14 defpushbutton|tabstop \"OK\"\n"
                                  "CONTROL BUTTON 2 70 25 40 14 pushbutton|tabstop \"Cancel\"\n"}};
const WinNamedText kMenus[] = {{"MAIN",
                                "POPUP \"Main\"\n"
                                "  ITEM \"Next Page\" 32085\n"
                                "  SEPARATOR\n"
                                "  POPUP \"Selection Mode\"\n"
                                "    ITEM \"Bitmap Selection\" 32092\n"
                                "    ITEM \"Text Selection\" 32093 checked\n"
                                "  END\n"
                                "END\n"}};
const WinResourceTable kTable = {kStrings, 2, kBitmaps, 1, kDialogs, 1, kMenus, 1};

}  // namespace

extern "C" __attribute__((visibility("default"))) const WinResourceTable* QelWin_Resources() {
    return &kTable;
}
