// The dialog and menu description languages: what they read and how they refuse.
#include <gtest/gtest.h>

#include "descriptions.h"
#include "qel_win.h"

namespace {

TEST(DialogDescription, ReadsEveryField) {
    DialogDescription d;
    std::string error;
    ASSERT_TRUE(
        ParseDialogDescription("// find\n"
                               "DIALOG 10 20 200 100\n"
                               "\n"
                               "STYLE popup|caption|visible\n"
                               "CAPTION \"Say \\\"hi\\\" \\\\ now\"\n"
                               "control button 1 5 6 40 14 DefPushButton|tabstop|group \"OK\"\n"
                               "CONTROL STATIC -1 0 0 10 10 - \"\"\n"
                               "CONTROL SCROLLBAR 3 0 0 10 50 vert|disabled|hidden \"\"\n"
                               "CONTROL EDIT 4 0 0 10 10 \"text\"",
                               &d, &error))
        << error;
    EXPECT_EQ(d.x, 10);
    EXPECT_EQ(d.height, 100);
    EXPECT_EQ(d.style, WS_POPUP | WS_CAPTION | WS_VISIBLE);
    EXPECT_EQ(d.caption, "Say \"hi\" \\ now");
    ASSERT_EQ(d.controls.size(), 4u);
    EXPECT_EQ(d.controls[0].className, "BUTTON");
    EXPECT_EQ(d.controls[0].style,
              uint32_t{WS_CHILD | WS_VISIBLE | WS_TABSTOP} | BS_DEFPUSHBUTTON | WS_GROUP);
    EXPECT_EQ(d.controls[1].id, 0xFFFFu);
    EXPECT_EQ(d.controls[2].style, uint32_t{WS_CHILD | WS_DISABLED} | SBS_VERT);
    EXPECT_EQ(d.controls[3].text, "text");
    EXPECT_EQ(DialogUnitsX(d.width), 300);
    EXPECT_EQ(DialogUnitsY(d.height), 162);
}

TEST(DialogDescription, RefusesBadTextWithItsLine) {
    struct Case {
        const char* text;
        const char* error;
    } cases[] = {
        {"", "line 0: empty dialog description"},
        {"STYLE popup\n", "line 1: a description starts with DIALOG"},
        {"DIALOG 0 0 10\n", "line 1: missing height"},
        {"DIALOG 0 0 10 x\n", "line 1: bad height 'x' (0 to 10000)"},
        {"DIALOG 0 0 10 10001\n", "line 1: bad height '10001' (0 to 10000)"},
        {"DIALOG 0 0 10 10 5\n", "line 1: DIALOG takes x, y, width and height"},
        {"DIALOG 0 0 1 1\nDIALOG 0 0 1 1\n", "line 2: a second DIALOG line"},
        {"DIALOG 0 0 1 1\nSTYLE popup|window\n", "line 2: unknown dialog style word 'window'"},
        {"DIALOG 0 0 1 1\nSTYLE popup||child\n", "line 2: empty style word in 'popup||child'"},
        {"DIALOG 0 0 1 1\nCAPTION Find\n", "line 2: CAPTION takes one quoted text"},
        {"DIALOG 0 0 1 1\nCAPTION \"Find\n", "line 2: quoted text without its closing quote"},
        {"DIALOG 0 0 1 1\nCAPTION \"a\\n\"\n", "line 2: unknown escape in quoted text (only \\\" and \\\\)"},
        {"DIALOG 0 0 1 1\nCONTROL WIDGET 1 0 0 1 1 \"\"\n", "line 2: unknown control class 'WIDGET'"},
        {"DIALOG 0 0 1 1\nCONTROL EDIT 70000 0 0 1 1 \"\"\n", "line 2: bad control id '70000' (-1 to 65535)"},
        {"DIALOG 0 0 1 1\nCONTROL EDIT 1 0 0 1 1 pushbutton \"\"\n",
         "line 2: style word 'pushbutton' is for BUTTON controls only"},
        {"DIALOG 0 0 1 1\nCONTROL BUTTON 1 0 0 1 1 checkbox|groupbox \"\"\n",
         "line 2: more than one button kind in 'checkbox|groupbox'"},
        {"DIALOG 0 0 1 1\nCONTROL EDIT 1 0 0 1 1 vert \"\"\n",
         "line 2: style word 'vert' is for SCROLLBAR and TRACKBAR controls only"},
        {"DIALOG 0 0 1 1\nCONTROL EDIT 1 0 0 1 1 bold \"\"\n", "line 2: unknown control style word 'bold'"},
        {"DIALOG 0 0 1 1\nCONTROL EDIT 1 0 0 1 1 -\n", "line 2: CONTROL needs its quoted text last"},
        {"DIALOG 0 0 1 1\nCONTROL EDIT 1 0 0 1 1 \"a\" \"b\"\n", "line 2: unexpected 'b' after the text"},
        {"DIALOG 0 0 1 1\nCONTROL EDIT\n", "line 2: CONTROL needs an id"},
        {"DIALOG 0 0 1 1\nBUTTON\n", "line 2: unknown keyword 'BUTTON'"},
    };
    for (const Case& c : cases) {
        DialogDescription d;
        std::string error;
        EXPECT_FALSE(ParseDialogDescription(c.text, &d, &error)) << c.text;
        EXPECT_EQ(error, c.error) << c.text;
    }
}

TEST(MenuDescription, ReadsNestedPopups) {
    std::vector<MenuDescriptionItem> menu;
    std::string error;
    ASSERT_TRUE(
        ParseMenuDescription("POPUP \"Main\"\n"
                             "  ITEM \"Next Page\" 32085\n"
                             "  SEPARATOR\n"
                             "  POPUP \"Selection Mode\"\n"
                             "    ITEM \"Text Selection\" 32093 checked|grayed\n"
                             "  END\n"
                             "END\n",
                             &menu, &error))
        << error;
    ASSERT_EQ(menu.size(), 1u);
    ASSERT_EQ(menu[0].items.size(), 3u);
    EXPECT_EQ(menu[0].items[1].kind, MenuDescriptionItem::Kind::Separator);
    const MenuDescriptionItem& inner = menu[0].items[2].items.at(0);
    EXPECT_EQ(inner.id, 32093u);
    EXPECT_EQ(inner.flags, static_cast<uint32_t>(MF_CHECKED | MF_GRAYED));
}

TEST(MenuDescription, RefusesBadTextWithItsLine) {
    std::string deep;
    for (int i = 0; i < 17; ++i) deep += "POPUP \"p\"\n";
    struct Case {
        std::string text;
        const char* error;
    } cases[] = {
        {"", "line 0: empty menu description"},
        {"END\n", "line 1: END without its POPUP"},
        {"POPUP \"Main\"\n  ITEM \"x\" 1\n", "line 1: POPUP \"Main\" has no END"},
        {"POPUP Main\nEND\n", "line 1: POPUP takes one quoted text"},
        {"POPUP \"M\"\nITEM \"x\"\nEND\n", "line 2: ITEM takes a quoted text and an id"},
        {"POPUP \"M\"\nITEM \"x\" 0\nEND\n", "line 2: bad item id '0' (1 to 65535)"},
        {"POPUP \"M\"\nITEM \"x\" 1 bold\nEND\n", "line 2: unknown menu item word 'bold'"},
        {"POPUP \"M\"\nITEM \"x\" 1 checked extra\nEND\n", "line 2: unexpected 'extra' after the item"},
        {"POPUP \"M\"\nSEPARATOR x\nEND\n", "line 2: SEPARATOR takes nothing"},
        {"POPUP \"M\"\nEND now\n", "line 2: END takes nothing"},
        {"MENUITEM \"x\" 1\n", "line 1: unknown keyword 'MENUITEM'"},
        {deep, "line 17: popups nested deeper than 16"},
    };
    for (const Case& c : cases) {
        std::vector<MenuDescriptionItem> menu;
        std::string error;
        EXPECT_FALSE(ParseMenuDescription(c.text, &menu, &error)) << c.text;
        EXPECT_EQ(error, c.error) << c.text;
    }
}

}  // namespace
