// zaruveva.cpp - the image viewer's language library (English): message texts,
// dialog descriptions and toolbar pictures, handed to the window layer as one table.
#include "qel_win.h"

namespace {

// clang-format off
constexpr WinStringResource kStrings[] = {
    // Status-line hints of the toolbar buttons.
    {500, "Zoom: choose the magnification"},
    {501, "Rotate the page"},
    {502, "Copy the selected area to the clipboard"},
    {503, "Contrast and brightness"},
    {504, "Print the document"},
    {505, "Grey mode on or off"},
    {506, "Presets: save and apply named display settings"},
    {507, "Help on the image viewer"},
    {508, "First page"},
    {509, "Previous page"},
    {510, "Next page"},
    {511, "Last page"},
    // Caption and messages; %1 and %2 are the bounds of a range.
    {600, "Tidewell Image Viewer"},
    {601, "The zoom must be a number from %1 to %2 percent."},
    {602, "The contrast must be a number from %1 to %2."},
    {603, "The brightness must be a number from %1 to %2."},
    {604, "The image could not be received: the browser delivered no file."},
    {605, "The selected area is too large to copy. Select a smaller area or zoom out."},
    {606, "The printer could not start the document."},
    {607, "A preset name needs 1 to 51 characters, must not be \"Settings\", must not begin or end with a "
          "blank, begin with ';' or '[' or contain '='."},
};

constexpr char kToolbar[] =
    "DIALOG 0 0 210 18\n"
    "STYLE child|visible\n"
    "CONTROL BUTTON 32071 2 1 16 15 ownerdraw \"ZOOM\"\n"
    "CONTROL BUTTON 32072 18 1 16 15 ownerdraw \"ROTATE\"\n"
    "CONTROL BUTTON 32073 34 1 16 15 ownerdraw \"CONTRAST\"\n"
    "CONTROL BUTTON 32080 54 1 16 15 ownerdraw \"GREY\"\n"
    "CONTROL BUTTON 32079 70 1 16 15 ownerdraw \"COPY\"\n"
    "CONTROL BUTTON 32078 86 1 16 15 ownerdraw \"PRINT\"\n"
    "CONTROL BUTTON 32074 106 1 16 15 ownerdraw \"FIRST\"\n"
    "CONTROL BUTTON 32075 122 1 16 15 ownerdraw \"PREV\"\n"
    "CONTROL BUTTON 32077 138 1 16 15 ownerdraw \"NEXT\"\n"
    "CONTROL BUTTON 32076 154 1 16 15 ownerdraw \"LAST\"\n"
    "CONTROL BUTTON 32092 174 1 16 15 ownerdraw \"PRESETS\"\n"
    "CONTROL BUTTON 32090 190 1 16 15 ownerdraw \"HELP\"\n";

constexpr char kZoomDialog[] =
    "DIALOG 40 30 190 128\n"
    "STYLE popup|visible|border|caption\n"
    "CAPTION \"Zoom\"\n"
    "CONTROL BUTTON 65535 6 4 110 72 groupbox \"Magnification\"\n"
    "CONTROL BUTTON 200 14 16 44 12 autoradiobutton|group|tabstop \"25 %\"\n"
    "CONTROL BUTTON 201 14 30 44 12 autoradiobutton \"50 %\"\n"
    "CONTROL BUTTON 202 14 44 44 12 autoradiobutton \"75 %\"\n"
    "CONTROL BUTTON 203 14 58 44 12 autoradiobutton \"100 %\"\n"
    "CONTROL BUTTON 204 64 16 44 12 autoradiobutton \"150 %\"\n"
    "CONTROL BUTTON 205 64 30 44 12 autoradiobutton \"200 %\"\n"
    "CONTROL BUTTON 206 64 44 44 12 autoradiobutton \"500 %\"\n"
    "CONTROL BUTTON 207 64 58 44 12 autoradiobutton \"1000 %\"\n"
    "CONTROL STATIC 65535 124 8 60 10 - \"Percent:\"\n"
    "CONTROL EDIT 208 124 20 44 12 tabstop|group \"\"\n"
    "CONTROL SCROLLBAR 209 6 84 178 10 horz|tabstop \"\"\n"
    "CONTROL BUTTON 1 6 106 54 14 defpushbutton|tabstop|group \"OK\"\n"
    "CONTROL BUTTON 2 68 106 54 14 pushbutton|tabstop \"Cancel\"\n"
    "CONTROL BUTTON 32090 130 106 54 14 pushbutton|tabstop \"Help\"\n";

constexpr char kRotateDialog[] =
    "DIALOG 40 30 160 96\n"
    "STYLE popup|visible|border|caption\n"
    "CAPTION \"Rotate\"\n"
    "CONTROL BUTTON 65535 6 4 148 66 groupbox \"Rotation\"\n"
    "CONTROL BUTTON 300 14 16 120 12 autoradiobutton|group|tabstop \"Upright\"\n"
    "CONTROL BUTTON 301 14 28 120 12 autoradiobutton \"90 degrees clockwise\"\n"
    "CONTROL BUTTON 302 14 40 120 12 autoradiobutton \"Upside down\"\n"
    "CONTROL BUTTON 303 14 52 120 12 autoradiobutton \"90 degrees anticlockwise\"\n"
    "CONTROL BUTTON 1 6 76 46 14 defpushbutton|tabstop|group \"OK\"\n"
    "CONTROL BUTTON 2 57 76 46 14 pushbutton|tabstop \"Cancel\"\n"
    "CONTROL BUTTON 32090 108 76 46 14 pushbutton|tabstop \"Help\"\n";

constexpr char kContrastDialog[] =
    "DIALOG 40 30 200 100\n"
    "STYLE popup|visible|border|caption\n"
    "CAPTION \"Contrast and Brightness\"\n"
    "CONTROL STATIC 65535 6 8 50 10 - \"Contrast:\"\n"
    "CONTROL EDIT 304 60 6 34 12 tabstop|group \"\"\n"
    "CONTROL SCROLLBAR 305 6 22 188 10 horz|tabstop \"\"\n"
    "CONTROL STATIC 65535 6 42 50 10 - \"Brightness:\"\n"
    "CONTROL EDIT 306 60 40 34 12 tabstop|group \"\"\n"
    "CONTROL SCROLLBAR 307 6 56 188 10 horz|tabstop \"\"\n"
    "CONTROL BUTTON 1 6 78 60 14 defpushbutton|tabstop|group \"OK\"\n"
    "CONTROL BUTTON 2 70 78 60 14 pushbutton|tabstop \"Cancel\"\n"
    "CONTROL BUTTON 32090 134 78 60 14 pushbutton|tabstop \"Help\"\n";

constexpr char kPresetsDialog[] =
    "DIALOG 40 30 200 104\n"
    "STYLE popup|visible|border|caption\n"
    "CAPTION \"Presets\"\n"
    "CONTROL STATIC 65535 6 8 120 10 - \"Preset name:\"\n"
    "CONTROL COMBOBOX 308 6 20 120 12 tabstop|group \"\"\n"
    "CONTROL BUTTON 311 134 6 60 14 pushbutton|tabstop \"Apply\"\n"
    "CONTROL BUTTON 310 134 24 60 14 pushbutton|tabstop \"Save\"\n"
    "CONTROL BUTTON 309 134 42 60 14 pushbutton|tabstop \"Delete\"\n"
    "CONTROL BUTTON 312 134 60 60 14 pushbutton|tabstop \"Make default\"\n"
    "CONTROL BUTTON 1 6 84 60 14 defpushbutton|tabstop|group \"OK\"\n"
    "CONTROL BUTTON 2 70 84 60 14 pushbutton|tabstop \"Cancel\"\n"
    "CONTROL BUTTON 32090 134 84 60 14 pushbutton|tabstop \"Help\"\n";

constexpr char kZoom[] =
    "16 16 3\n"
    ". #D4D0C8\n"
    "k #000000\n"
    "w #FFFFFF\n"
    "................\n"
    ".....kkkkk......\n"
    "...kk.....kk....\n"
    "...k..www..k....\n"
    "..k..w......k...\n"
    "..k.w.......k...\n"
    "..k.w.......k...\n"
    "..k.........k...\n"
    "...k.......k....\n"
    "...kk.....kkk...\n"
    ".....kkkkk.kkk..\n"
    "............kkk.\n"
    ".............kkk\n"
    "..............kk\n"
    "................\n"
    "................\n";
constexpr char kRotate[] =
    "16 16 2\n"
    ". #D4D0C8\n"
    "k #000000\n"
    "................\n"
    "......kkkkk.....\n"
    "....kk.....kk...\n"
    "...k.........k..\n"
    "..k...........k.\n"
    "..k...........k.\n"
    ".k.............k\n"
    ".k.............k\n"
    ".k...........kkk\n"
    "..k...........kk\n"
    "..k............k\n"
    "...k............\n"
    "....kk..........\n"
    "......kkkkk.....\n"
    "................\n"
    "................\n";
constexpr char kContrast[] =
    "16 16 2\n"
    ". #D4D0C8\n"
    "k #000000\n"
    "................\n"
    ".....kkkkkk.....\n"
    "...kkkkkk..kk...\n"
    "..kkkkkkk....k..\n"
    "..kkkkkkk....k..\n"
    ".kkkkkkkk.....k.\n"
    ".kkkkkkkk.....k.\n"
    ".kkkkkkkk.....k.\n"
    ".kkkkkkkk.....k.\n"
    ".kkkkkkkk.....k.\n"
    "..kkkkkkk....k..\n"
    "..kkkkkkk....k..\n"
    "...kkkkkk..kk...\n"
    ".....kkkkkk.....\n"
    "................\n"
    "................\n";
constexpr char kGrey[] =
    "16 16 5\n"
    ". #D4D0C8\n"
    "k #000000\n"
    "w #FFFFFF\n"
    "g #808080\n"
    "d #404040\n"
    "................\n"
    ".kkkkkkkkkkkkkk.\n"
    ".kwwwwggggddddk.\n"
    ".kwwwwggggddddk.\n"
    ".kwwwwggggddddk.\n"
    ".kwwwwggggddddk.\n"
    ".kwwwwggggddddk.\n"
    ".kwwwwggggddddk.\n"
    ".kwwwwggggddddk.\n"
    ".kwwwwggggddddk.\n"
    ".kwwwwggggddddk.\n"
    ".kwwwwggggddddk.\n"
    ".kwwwwggggddddk.\n"
    ".kkkkkkkkkkkkkk.\n"
    "................\n"
    "................\n";
constexpr char kCopy[] =
    "16 16 3\n"
    ". #D4D0C8\n"
    "k #000000\n"
    "w #FFFFFF\n"
    "................\n"
    ".kkkkkkk........\n"
    ".kwwwwwkk.......\n"
    ".kwkkkwkwk......\n"
    ".kwwwwwkkkk.....\n"
    ".kwkkkkkkkkkkk..\n"
    ".kwwwwwkwwwwwkk.\n"
    ".kwkkkkkwkkkwkwk\n"
    ".kwwwwwkwwwwwkkk\n"
    ".kkkkkkkwkkkkkwk\n"
    ".......kwwwwwwwk\n"
    ".......kwkkkkkwk\n"
    ".......kwwwwwwwk\n"
    ".......kkkkkkkkk\n"
    "................\n"
    "................\n";
constexpr char kPrint[] =
    "16 16 5\n"
    ". #D4D0C8\n"
    "k #000000\n"
    "w #FFFFFF\n"
    "g #808080\n"
    "b #1F4FA0\n"
    "................\n"
    "....kkkkkkkk....\n"
    "....kwwwwwwk....\n"
    "....kwkkkkwk....\n"
    "....kwwwwwwk....\n"
    "..kkkkkkkkkkkk..\n"
    ".kggggggggggggk.\n"
    ".kggggggggggbgk.\n"
    ".kggggggggggggk.\n"
    ".kkkkkkkkkkkkkk.\n"
    ".kgkwwwwwwwwkgk.\n"
    "...kwkkkkkkwk...\n"
    "...kwwwwwwwwk...\n"
    "...kkkkkkkkkk...\n"
    "................\n"
    "................\n";
constexpr char kFirst[] =
    "16 16 2\n"
    ". #D4D0C8\n"
    "k #000000\n"
    "................\n"
    "................\n"
    "................\n"
    "..kk.......kk...\n"
    "..kk......kkk...\n"
    "..kk.....kkkk...\n"
    "..kk....kkkkk...\n"
    "..kk...kkkkkk...\n"
    "..kk...kkkkkk...\n"
    "..kk....kkkkk...\n"
    "..kk.....kkkk...\n"
    "..kk......kkk...\n"
    "..kk.......kk...\n"
    "................\n"
    "................\n"
    "................\n";
constexpr char kPrev[] =
    "16 16 2\n"
    ". #D4D0C8\n"
    "k #000000\n"
    "................\n"
    "................\n"
    "................\n"
    "..........kk....\n"
    ".........kkk....\n"
    "........kkkk....\n"
    ".......kkkkk....\n"
    "......kkkkkk....\n"
    "......kkkkkk....\n"
    ".......kkkkk....\n"
    "........kkkk....\n"
    ".........kkk....\n"
    "..........kk....\n"
    "................\n"
    "................\n"
    "................\n";
constexpr char kNext[] =
    "16 16 2\n"
    ". #D4D0C8\n"
    "k #000000\n"
    "................\n"
    "................\n"
    "................\n"
    "....kk..........\n"
    "....kkk.........\n"
    "....kkkk........\n"
    "....kkkkk.......\n"
    "....kkkkkk......\n"
    "....kkkkkk......\n"
    "....kkkkk.......\n"
    "....kkkk........\n"
    "....kkk.........\n"
    "....kk..........\n"
    "................\n"
    "................\n"
    "................\n";
constexpr char kLast[] =
    "16 16 2\n"
    ". #D4D0C8\n"
    "k #000000\n"
    "................\n"
    "................\n"
    "................\n"
    "...kk.......kk..\n"
    "...kkk......kk..\n"
    "...kkkk.....kk..\n"
    "...kkkkk....kk..\n"
    "...kkkkkk...kk..\n"
    "...kkkkkk...kk..\n"
    "...kkkkk....kk..\n"
    "...kkkk.....kk..\n"
    "...kkk......kk..\n"
    "...kk.......kk..\n"
    "................\n"
    "................\n"
    "................\n";
constexpr char kPresets[] =
    "16 16 4\n"
    ". #D4D0C8\n"
    "k #000000\n"
    "w #FFFFFF\n"
    "b #1F4FA0\n"
    "................\n"
    ".kkkkkkkkkkkkkk.\n"
    ".kwwwwwwwwwwwwk.\n"
    ".kwbbwkkkkkkwwk.\n"
    ".kwbbwwwwwwwwwk.\n"
    ".kwwwwwwwwwwwwk.\n"
    ".kwbbwkkkkkkwwk.\n"
    ".kwbbwwwwwwwwwk.\n"
    ".kwwwwwwwwwwwwk.\n"
    ".kwbbwkkkkkkwwk.\n"
    ".kwbbwwwwwwwwwk.\n"
    ".kwwwwwwwwwwwwk.\n"
    ".kkkkkkkkkkkkkk.\n"
    "................\n"
    "................\n"
    "................\n";
constexpr char kHelp[] =
    "16 16 2\n"
    ". #D4D0C8\n"
    "k #000000\n"
    "................\n"
    ".....kkkkkk.....\n"
    "....kk....kk....\n"
    "...kk......kk...\n"
    "...kk......kk...\n"
    "...........kk...\n"
    "..........kk....\n"
    ".........kk.....\n"
    "........kk......\n"
    ".......kk.......\n"
    ".......kk.......\n"
    "................\n"
    ".......kk.......\n"
    ".......kk.......\n"
    "................\n"
    "................\n";
// clang-format on

constexpr WinNamedText kBitmaps[] = {
    {"ZOOM", kZoom}, {"ROTATE", kRotate}, {"CONTRAST", kContrast}, {"GREY", kGrey},
    {"COPY", kCopy}, {"PRINT", kPrint},   {"FIRST", kFirst},       {"PREV", kPrev},
    {"NEXT", kNext}, {"LAST", kLast},     {"PRESETS", kPresets},   {"HELP", kHelp},
};

constexpr WinNamedText kDialogs[] = {
    {"ZYPTOOLBAR", kToolbar},         {"ZYPZOOM", kZoomDialog},        {"ZYPROTATE", kRotateDialog},
    {"ZYPCONTRAST", kContrastDialog}, {"ZYPSETTINGS", kPresetsDialog},
};

constexpr WinResourceTable kTable = {
    kStrings, sizeof kStrings / sizeof kStrings[0], kBitmaps, sizeof kBitmaps / sizeof kBitmaps[0],
    kDialogs, sizeof kDialogs / sizeof kDialogs[0], nullptr,  0,
};

}  // namespace

extern "C" __attribute__((visibility("default"))) const WinResourceTable* QelWin_Resources() {
    return &kTable;
}
