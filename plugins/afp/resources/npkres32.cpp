// npkres32.cpp - the AFP viewer's resource library (English): message texts and the
// dialogs of the About box, printing and the segment question, as one table.
#include "qel_win.h"

namespace {

// clang-format off
constexpr WinStringResource kStrings[] = {
    {1000, "Tidewell AFP Viewer"},
    {1002, "The viewer could not load the library "},
    {1003, "A function the viewer needs is missing in the library "},
    {1004, "Page "},
    {1005, " of "},
    {1007, "The viewer could not write the file "},
    {1009, "This document needs a newer version of the AFP viewer."},
    {1011, "Print"},
    {1012, "The page range is not valid: the first page must lie between 1 and the number of pages, "
           "and the last page between the first page and the number of pages."},
    {1013, "(no printer)"},
    {1014, "Print the document with the Print button of the AFP viewer's toolbar."},
    {1015, " on "},
    {1016, "The document is damaged at byte "},
    {1020, "Zoom: choose the magnification"},
    {1021, "Rotate the page"},
    {1022, "Reset zoom and position"},
    {1024, "Draft view: hide images and graphics"},
    {1025, "Colour view: show the document in its colours"},
    {1026, "Save the current view"},
    {1027, "Apply a saved view"},
    {1028, "Go to a page"},
    {1029, "Find text"},
    {1030, "Find the next occurrence"},
    {1031, "Previous page"},
    {1032, "Next page"},
    {1033, "First page"},
    {1034, "Last page"},
    {1035, "Print the document"},
    {1036, "Help on the AFP viewer"},
    {1037, "Stop the search or the download"},
    {1038, "Bitmap selection: drag a rectangle to copy as a picture"},
    {1039, "Text selection: drag over text to copy it"},
    {1040, "Copy the selection to the clipboard"},
    {1200, "The document could not be received: the browser delivered no file."},
};

constexpr char kAbout[] =
    "DIALOG 40 30 220 110\n"
    "STYLE popup|visible|border|caption\n"
    "CAPTION \"About the AFP Viewer\"\n"
    "CONTROL STATIC 1100 8 8 60 60 - \"\"\n"
    "CONTROL STATIC 65535 76 10 136 12 - \"Tidewell AFP Viewer\"\n"
    "CONTROL STATIC 65535 76 26 136 12 - \"Version 0.9\"\n"
    "CONTROL STATIC 65535 76 42 136 24 - \"Shows and prints AFP and line-data documents of the archive.\"\n"
    "CONTROL BUTTON 1 84 88 52 14 defpushbutton|tabstop \"OK\"\n";

constexpr char kPrint[] =
    "DIALOG 30 20 240 170\n"
    "STYLE popup|visible|border|caption\n"
    "CAPTION \"Print\"\n"
    "CONTROL STATIC 65535 8 8 40 12 - \"Printer:\"\n"
    "CONTROL STATIC 30008 50 8 130 12 - \"\"\n"
    "CONTROL BUTTON 30007 184 6 48 14 pushbutton|tabstop \"Setup...\"\n"
    "CONTROL BUTTON 65535 6 26 150 78 groupbox \"Print range\"\n"
    "CONTROL BUTTON 30000 14 38 120 12 autoradiobutton|group|tabstop \"All pages\"\n"
    "CONTROL BUTTON 30001 14 52 120 12 autoradiobutton \"Current page\"\n"
    "CONTROL BUTTON 30002 14 66 120 12 autoradiobutton \"Pages\"\n"
    "CONTROL STATIC 30004 24 84 24 12 - \"From:\"\n"
    "CONTROL EDIT 30003 50 82 30 12 tabstop|group \"\"\n"
    "CONTROL STATIC 30006 88 84 16 12 - \"To:\"\n"
    "CONTROL EDIT 30005 106 82 30 12 tabstop \"\"\n"
    "CONTROL STATIC 65535 164 32 40 12 - \"Copies:\"\n"
    "CONTROL EDIT 30011 206 30 26 12 tabstop \"1\"\n"
    "CONTROL BUTTON 30009 14 112 200 12 autocheckbox|tabstop \"Shrink pages to fit the paper\"\n"
    "CONTROL BUTTON 30010 14 126 200 12 autocheckbox|tabstop \"Rotate pages to fit the paper\"\n"
    "CONTROL BUTTON 1 120 148 52 14 defpushbutton|tabstop|group \"OK\"\n"
    "CONTROL BUTTON 2 180 148 52 14 pushbutton|tabstop \"Cancel\"\n";

constexpr char kPrinterSetup[] =
    "DIALOG 40 30 220 130\n"
    "STYLE popup|visible|border|caption\n"
    "CAPTION \"Printer Setup\"\n"
    "CONTROL STATIC 65535 8 6 200 12 - \"Printers:\"\n"
    "CONTROL LISTBOX 30050 8 20 204 78 tabstop \"\"\n"
    "CONTROL BUTTON 30051 8 108 60 14 pushbutton|tabstop \"Properties...\"\n"
    "CONTROL BUTTON 1 100 108 52 14 defpushbutton|tabstop \"OK\"\n"
    "CONTROL BUTTON 2 160 108 52 14 pushbutton|tabstop \"Cancel\"\n";

constexpr char kConfirmSegment[] =
    "DIALOG 40 30 230 76\n"
    "STYLE popup|visible|border|caption\n"
    "CAPTION \"Next Part of the Document\"\n"
    "CONTROL STATIC 65535 8 8 214 28 - \"This part of the document has not been downloaded yet. Download it now?\"\n"
    "CONTROL BUTTON 1 8 52 60 14 defpushbutton|tabstop \"Download\"\n"
    "CONTROL BUTTON 6 76 52 86 14 pushbutton|tabstop \"Download, don't ask\"\n"
    "CONTROL BUTTON 2 170 52 52 14 pushbutton|tabstop \"Cancel\"\n";
// clang-format on

constexpr WinNamedText kDialogs[] = {
    {"PIDABOUT", kAbout},
    {"P16Print", kPrint},
    {"P16PrtSet", kPrinterSetup},
    {"ConfirmSeg", kConfirmSegment},
};

constexpr WinResourceTable kTable = {
    kStrings, std::size(kStrings), nullptr, 0, kDialogs, std::size(kDialogs), nullptr, 0,
};

}  // namespace

extern "C" __attribute__((visibility("default"))) const WinResourceTable* QelWin_Resources() {
    return &kTable;
}
