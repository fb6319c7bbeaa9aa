// The plug-in's own resources. The toolbar pictures are 12 x 10 drawings on the button
// face; a greyed twin is the same drawing in grey, a latched selection button the same
// drawing on a darker face.
#include "plugin_resources.h"

#include <array>
#include <string>
#include <vector>

#include "controls.h"

namespace afpview {

namespace {

struct Glyph {
    const char* name;
    std::array<const char*, 10> rows;
};

// clang-format off
const Glyph kGlyphs[] = {
    {"zoom", {"............", "...kkkk.....", "..k....k....", ".k..kk..k...", ".k.kkkk.k...",
              ".k..kk..k...", "..k....k....", "...kkkkkk...", ".......kkk..", "........kkk."}},
    {"rota", {"............", "....kkkk....", "...k....k.b.", "..k......kb.", "..k.....bbb.",
              "..k.........", "..k.........", "...k....k...", "....kkkk....", "............"}},
    {"rset", {"............", ".kk...kk.kk.", "..k..k.kk.k.", "..k..k.kk.k.", "..k..k.kk.k.",
              "..k..k.kk.k.", "..k..k.kk.k.", ".kkk..kk.kk.", "............", "............"}},
    {"imgm", {"kkkkkkkkkkkk", "kwwwwwwwwwwk", "kwwwwwwyywwk", "kwwwwwwyywwk", "kwwwgwwwwwwk",
              "kwwwggwwwwwk", "kwwgggggwwwk", "kwggggggggwk", "kwwwwwwwwwwk", "kkkkkkkkkkkk"}},
    {"savw", {"kkkkkkkkkkk.", "kbwwwwwwwbk.", "kbwwwwwwwbk.", "kbwwwwwwwbk.", "kbbbbbbbbbk.",
              "kbbkkkkkbbk.", "kbbkwwkkbbk.", "kbbkwwkkbbk.", "kbbkkkkkbbk.", "kkkkkkkkkkk."}},
    {"gtvw", {"............", "............", "....kkkk....", "..kk....kk..", ".k...bb...k.",
              "k...bkkb...k", ".k...bb...k.", "..kk....kk..", "....kkkk....", "............"}},
    {"cpyb", {"............", "k.k.k.k.k.k.", "............", "k.........k.", "............",
              "k.........k.", "............", "k.k.k.k.k.k.", "............", "............"}},
    {"cpyt", {"............", ".kkkkkkk....", ".k..k..k....", "....k.......", "....k.......",
              "....k.......", "....k.......", "...kkk......", "............", "............"}},
    {"copy", {"kkkkkk......", "kwwwwk......", "kwkkkkkkk...", "kwkwwwwwk...", "kwkwkkkwk...",
              "kkkwwwwwk...", "..kwkkkwk...", "..kwwwwwk...", "..kkkkkkk...", "............"}},
    {"goto", {"............", "......kkkkk.", "..k...kwwwk.", "..kk..kwkwk.", "kkkkk.kwwwk.",
              "kkkkk.kwkwk.", "..kk..kwwwk.", "..k...kwwwk.", "......kkkkk.", "............"}},
    {"find", {"............", ".kkk...kkk..", "k...k.k...k.", "k.w.kkk.w.k.", "k...k.k...k.",
              ".kkk...kkk..", "............", "............", "............", "............"}},
    {"fdnt", {"............", ".kkk........", "k...k.......", "k.w.k.......", "k...k.......",
              ".kkkk.......", "....kk..k...", ".....k..kk..", "..kkkkkkkkk.", "........kk.."}},
    {"frst", {"............", ".kk.....kk..", ".kk....kkk..", ".kk...kkkk..", ".kk..kkkkk..",
              ".kk...kkkk..", ".kk....kkk..", ".kk.....kk..", "............", "............"}},
    {"prev", {"............", "........kk..", ".......kkk..", "......kkkk..", ".....kkkkk..",
              "......kkkk..", ".......kkk..", "........kk..", "............", "............"}},
    {"next", {"............", "..kk........", "..kkk.......", "..kkkk......", "..kkkkk.....",
              "..kkkk......", "..kkk.......", "..kk........", "............", "............"}},
    {"last", {"............", "..kk.....kk.", "..kkk....kk.", "..kkkk...kk.", "..kkkkk..kk.",
              "..kkkk...kk.", "..kkk....kk.", "..kk.....kk.", "............", "............"}},
    {"print", {"...kkkkkk...", "...kwwwwk...", "...kwwwwk...", ".kkkkkkkkkk.", "k..........k",
               "k.......gg.k", "k..........k", "kkkkkkkkkkkk", "..kwwwwwwk..", "..kkkkkkkk.."}},
    {"help", {"....kkkk....", "...kk..kk...", "...kk..kk...", "......kk....", ".....kk.....",
              ".....kk.....", "............", ".....kk.....", ".....kk.....", "............"}},
    {"stop", {"...rrrrrr...", "..rrrrrrrr..", ".rrwwrrwwrr.", ".rrrwwwwrrr.", ".rrrrwwrrrr.",
              ".rrrwwwwrrr.", ".rrwwrrwwrr.", "..rrrrrrrr..", "...rrrrrr...", "............"}},
};
// clang-format on

enum class Look { kLive, kGrey, kLatched };

std::string Picture(const Glyph& glyph, Look look) {
    const char* face = look == Look::kLatched ? "#A0A0A0" : "#C0C0C0";
    const bool grey = look == Look::kGrey;
    std::string text = "12 10 7\n";
    text += std::string(". ") + face + "\n";
    text += grey ? "k #808080\n" : "k #000000\n";
    text += grey ? "w #C0C0C0\n" : "w #FFFFFF\n";
    text += grey ? "r #909090\n" : "r #C00000\n";
    text += grey ? "b #909090\n" : "b #0000C0\n";
    text += grey ? "g #909090\n" : "g #008000\n";
    text += grey ? "y #909090\n" : "y #E0C000\n";
    for (const char* row : glyph.rows) {
        text += row;
        text += '\n';
    }
    return text;
}

// A 60 x 40 logo: a page with ruled lines and a blue band.
std::string LogoPicture() {
    std::string text = "60 40 4\n. #FFFFFF\nk #000000\nb #1F4E9A\nl #9DB7E0\n";
    for (int y = 0; y < 40; ++y) {
        std::string row(60, '.');
        for (int x = 0; x < 60; ++x) {
            const bool page = x >= 6 && x < 34 && y >= 2 && y < 38;
            const bool edge = page && (x == 6 || x == 33 || y == 2 || y == 37);
            if (edge)
                row[x] = 'k';
            else if (page && y % 5 == 0 && x > 9 && x < 30)
                row[x] = 'l';
            else if (x >= 38 && x < 56 && y >= 14 && y < 26)
                row[x] = 'b';
        }
        text += row;
        text += '\n';
    }
    return text;
}

struct PictureSet {
    std::vector<std::string> names;
    std::vector<std::string> texts;
    std::vector<WinNamedText> entries;
};

const PictureSet& Pictures() {
    static const PictureSet set = [] {
        PictureSet s;
        auto add = [&s](std::string name, std::string text) {
            s.names.push_back(std::move(name));
            s.texts.push_back(std::move(text));
        };
        for (const Glyph& glyph : kGlyphs) {
            const std::string base = glyph.name;
            const std::string live = base == "print" ? "woxprint" : "woxw" + base;
            add(live, Picture(glyph, Look::kLive));
            if (base == "cpyb" || base == "cpyt") add("woxx" + base, Picture(glyph, Look::kLatched));
            if (base == "fdnt" || base == "frst" || base == "prev" || base == "next" || base == "last")
                add("woxx" + base, Picture(glyph, Look::kGrey));
        }
        add("IDR_KVR_LOGO", LogoPicture());
        for (size_t i = 0; i < s.names.size(); ++i)
            s.entries.push_back({s.names[i].c_str(), s.texts[i].c_str()});
        return s;
    }();
    return set;
}

// 22 owner-drawn buttons in one row; a greyed twin shares its live button's place.
constexpr char kToolbar[] =
    "DIALOG 0 0 300 10\n"
    "STYLE child|visible|border\n"
    "CONTROL BUTTON 32071 4 0 12 10 ownerdraw \"\"\n"
    "CONTROL BUTTON 32072 16 0 12 10 ownerdraw \"\"\n"
    "CONTROL BUTTON 32073 34 0 12 10 ownerdraw \"\"\n"
    "CONTROL BUTTON 32074 46 0 12 10 ownerdraw \"\"\n"
    "CONTROL BUTTON 32092 68 0 12 10 ownerdraw \"\"\n"
    "CONTROL BUTTON 32093 80 0 12 10 ownerdraw \"\"\n"
    "CONTROL BUTTON 32094 92 0 12 10 ownerdraw \"\"\n"
    "CONTROL BUTTON 32077 114 0 12 10 ownerdraw \"\"\n"
    "CONTROL BUTTON 32078 126 0 12 10 ownerdraw \"\"\n"
    "CONTROL BUTTON 32079 138 0 12 10 ownerdraw|hidden \"\"\n"
    "CONTROL BUTTON 32080 138 0 12 10 ownerdraw \"\"\n"
    "CONTROL BUTTON 32081 158 0 12 10 ownerdraw|hidden \"\"\n"
    "CONTROL BUTTON 32082 158 0 12 10 ownerdraw \"\"\n"
    "CONTROL BUTTON 32083 170 0 12 10 ownerdraw|hidden \"\"\n"
    "CONTROL BUTTON 32084 170 0 12 10 ownerdraw \"\"\n"
    "CONTROL BUTTON 32085 182 0 12 10 ownerdraw|hidden \"\"\n"
    "CONTROL BUTTON 32086 182 0 12 10 ownerdraw \"\"\n"
    "CONTROL BUTTON 32087 194 0 12 10 ownerdraw|hidden \"\"\n"
    "CONTROL BUTTON 32088 194 0 12 10 ownerdraw \"\"\n"
    "CONTROL BUTTON 32089 216 0 12 10 ownerdraw \"\"\n"
    "CONTROL BUTTON 32090 228 0 12 10 ownerdraw \"\"\n"
    "CONTROL BUTTON 32091 240 0 12 10 ownerdraw \"\"\n";

constexpr char kPopupMenu[] =
    "POPUP \"Viewer\"\n"
    "  ITEM \"Next Page\" 32085\n"
    "  ITEM \"Previous Page\" 32083\n"
    "  ITEM \"First Page\" 32081\n"
    "  ITEM \"Last Page\" 32087\n"
    "  SEPARATOR\n"
    "  ITEM \"Go To...\" 32077\n"
    "  SEPARATOR\n"
    "  ITEM \"Find...\" 32078\n"
    "  ITEM \"Find Next\" 32079\n"
    "  SEPARATOR\n"
    "  ITEM \"Copy to Clipboard\" 32094\n"
    "  POPUP \"Selection Mode\"\n"
    "    ITEM \"Bitmap Selection\" 32092\n"
    "    ITEM \"Text Selection\" 32093 checked\n"
    "  END\n"
    "  SEPARATOR\n"
    "  ITEM \"About AFP Plugin\" 32100\n"
    "END\n";

constexpr WinNamedText kDialogs[] = {{"WOXTOOLBAR", kToolbar}};
constexpr WinNamedText kMenus[] = {{"PuMenu", kPopupMenu}};

}  // namespace

const WinResourceTable* PluginResourceTable() {
    static const WinResourceTable table = {
        nullptr,
        0,
        Pictures().entries.data(),
        Pictures().entries.size(),
        kDialogs,
        std::size(kDialogs),
        kMenus,
        std::size(kMenus),
    };
    return &table;
}

const char* ToolbarPictureName(uint32_t id, bool otherState) {
    switch (id) {
        case kCmdZoom: return "woxwzoom";
        case kCmdRotate: return "woxwrota";
        case kCmdReset: return "woxwrset";
        case kCmdImageView: return "woxwimgm";
        case kCmdSaveView: return "woxwsavw";
        case kCmdGetView: return "woxwgtvw";
        case kCmdBitmapSelect: return otherState ? "woxxcpyb" : "woxwcpyb";
        case kCmdTextSelect: return otherState ? "woxxcpyt" : "woxwcpyt";
        case kCmdCopy: return "woxwcopy";
        case kCmdGoto: return "woxwgoto";
        case kCmdFind: return "woxwfind";
        case kCmdFindNext: return "woxwfdnt";
        case kCmdFindNextGrey: return "woxxfdnt";
        case kCmdFirst: return "woxwfrst";
        case kCmdFirstGrey: return "woxxfrst";
        case kCmdPrevious: return "woxwprev";
        case kCmdPreviousGrey: return "woxxprev";
        case kCmdNext: return "woxwnext";
        case kCmdNextGrey: return "woxxnext";
        case kCmdLast: return "woxwlast";
        case kCmdLastGrey: return "woxxlast";
        case kCmdPrint: return "woxprint";
        case kCmdHelp: return "woxwhelp";
        case kCmdStop: return "woxwstop";
        default: return nullptr;
    }
}

}  // namespace afpview
