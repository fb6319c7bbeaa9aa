// Pages, segments, find, selection and clip area of an open document.
#include <gtest/gtest.h>

#include "session.h"

using namespace knvw;

namespace {

// Line-data pages at 10 characters and 6 lines an inch: one cell is 144 x 240 units, or
// 9.6 x 16 pixels at 100 %; the text starts half an inch (48 px) in.
Session TextSession(const std::string& text) {
    Session s(ReadLineData(text, LineDataParms{10, 6, 0}));
    s.GetView().SetWindowSize(800, 1100);
    return s;
}

FindQuery Query(const std::string& text, bool matchCase = false, bool wholeWord = false) {
    FindQuery q;
    q.text = text;
    q.matchCase = matchCase;
    q.wholeWord = wholeWord;
    return q;
}

// Window pixel of character column c on line l (cell centre) at 100 %, unscrolled.
int ColumnX(int c) { return static_cast<int>(48 + 9.6 * c + 4.8); }
int LineY(int l) { return 48 + 16 * l + 8; }

}  // namespace

TEST(Session, FindNextAndUndoAcrossPages) {
    Session s = TextSession("nothing here\fthe Cat sat\nconcatenate\fCAT again\f");
    struct Step {
        const char* what;
        int result, page, start;
    };
    EXPECT_EQ(s.Find(Query("cat"), nullptr), kFindFound);
    EXPECT_EQ(s.CurrentIndex(), 1);
    EXPECT_EQ(s.CurrentHit()->start, 4);
    const Step steps[] = {
        {"next on the same page, inside a word", kFindFound, 1, 15},
        {"next on the following page, case folded", kFindFound, 2, 0},
        {"no more", kFindNothing, -1, -1},
    };
    for (const auto& step : steps) {
        EXPECT_EQ(s.FindNext(false, nullptr), step.result) << step.what;
        if (step.result == kFindFound) {
            EXPECT_EQ(s.CurrentHit()->page, step.page) << step.what;
            EXPECT_EQ(s.CurrentHit()->start, step.start) << step.what;
            EXPECT_EQ(s.CurrentIndex(), step.page) << step.what;
        } else {
            EXPECT_FALSE(s.CurrentHit()) << step.what;
        }
    }
    s.UndoFind();
    EXPECT_FALSE(s.Query());
    EXPECT_EQ(s.FindNext(false, nullptr), kFindNothing);
}

TEST(Session, FindOptions) {
    struct Case {
        const char* name;
        FindQuery query;
        int result, page;
    };
    const std::vector<Case> cases = {
        {"case must match", Query("CAT", true), kFindFound, 2},
        {"whole word skips concatenate", Query("cat", false, true), kFindFound, 1},
        {"text across a line end is not found", Query("sat con"), kFindNothing, 0},
        {"empty text finds nothing", Query(""), kFindNothing, 0},
        {"Latin-1 letters fold", Query("\xE9t\xE9"), kFindFound, 0},
    };
    for (const auto& c : cases) {
        Session s = TextSession("\xC9T\xC9 note\fthe Cat sat\nconcatenate\fCAT again");
        EXPECT_EQ(s.Find(c.query, nullptr), c.result) << c.name;
        EXPECT_EQ(s.CurrentIndex(), c.page) << c.name;
    }
    // Backward from the last page.
    Session s = TextSession("cat one\fcat two\fcat three");
    s.GoToIndex(2);
    FindQuery back = Query("cat");
    back.backward = true;
    EXPECT_EQ(s.Find(back, nullptr), kFindFound);
    EXPECT_EQ(s.CurrentIndex(), 2);
    EXPECT_EQ(s.FindNext(true, nullptr), kFindFound);
    EXPECT_EQ(s.CurrentIndex(), 1);
}

TEST(Session, FindRevealsTheHit) {
    std::string text;
    for (int n = 0; n < 59; ++n) text += "filler\n";
    text += "needle";
    Session s = TextSession(text);
    s.GetView().SetWindowSize(400, 300);
    ASSERT_EQ(s.Find(Query("needle"), nullptr), kFindFound);
    // Line 59 lies at 48 + 59 * 16 = 992 px on the page: now inside the window.
    const int top = 992 + s.GetView().YPos();
    EXPECT_GE(top, 0);
    EXPECT_LE(top + 16, 300);
}

TEST(Session, SegmentsNumberPagesAcrossTheWhole) {
    Session s = TextSession("a\fb\fc\fd\fe");  // segment 2 of 4, five pages each: pages 11..15
    s.SetSegments(Segments{20, 2, 4, 5});
    EXPECT_EQ(s.NumPages(), 20);
    EXPECT_EQ(s.PageNumber(), 11);
    struct Case {
        int number;
        bool here;
        int want, index;
    };
    const Case cases[] = {{13, true, -1, 2}, {15, true, -1, 4},  {16, false, 15, 4},
                          {1, false, 0, 4},  {99, false, 19, 4}, {-3, false, 0, 4}};
    for (const auto& c : cases) {
        int want = -1;
        EXPECT_EQ(s.SetPageNumber(c.number, &want), c.here) << c.number;
        EXPECT_EQ(want, c.want) << c.number;
        EXPECT_EQ(s.CurrentIndex(), c.index) << c.number;
    }
    // Without segment information the numbers are the document's own.
    Session plain = TextSession("a\fb");
    EXPECT_EQ(plain.NumPages(), 2);
    int want = -1;
    EXPECT_TRUE(plain.SetPageNumber(5, &want));
    EXPECT_EQ(plain.PageNumber(), 2);
}

TEST(Session, FindMovesOnToTheNextSegment) {
    Session s = TextSession("a\fb");
    s.SetSegments(Segments{6, 1, 3, 2});  // pages 3 and 4 of 6
    int want = -1;
    EXPECT_EQ(s.Find(Query("zzz"), &want), kFindStopped);
    EXPECT_EQ(want, 4);  // first page of segment 2
    FindQuery back = Query("zzz");
    back.backward = true;
    want = -1;
    EXPECT_EQ(s.Find(back, &want), kFindStopped);
    EXPECT_EQ(want, 1);  // last page of segment 0
    // The last segment ends the search.
    s.SetSegments(Segments{6, 2, 3, 2});
    EXPECT_EQ(s.Find(Query("zzz"), &want), kFindNothing);
    // A search continued in this segment starts at its first page.
    s.GoToIndex(1);
    EXPECT_EQ(s.ContinueFind(Query("a"), &want), kFindFound);
    EXPECT_EQ(s.CurrentIndex(), 0);
}

TEST(Session, PagingPastThePageEndTurnsThePage) {
    Session s = TextSession("one\ftwo");
    s.GetView().SetWindowSize(400, 300);
    int want = -1;
    while (s.ScrollVertical(true, 34, &want) && s.CurrentIndex() == 0) {
    }
    EXPECT_EQ(s.CurrentIndex(), 1);
    EXPECT_EQ(s.GetView().YPos(), 0);
    EXPECT_FALSE(s.ScrollVertical(false, 38, &want));  // line up at the top stays
    EXPECT_TRUE(s.ScrollVertical(false, 33, &want));   // page up goes back, to the bottom
    EXPECT_EQ(s.CurrentIndex(), 0);
    EXPECT_EQ(s.GetView().YPos(), -(1056 - 300));
}

TEST(Session, TextSelection) {
    Session s = TextSession("alpha beta\ngamma delta\nepsilon");
    struct Case {
        const char* name;
        int x1, y1, x2, y2;
        std::string text;
    };
    const std::vector<Case> cases = {
        {"one word", ColumnX(6) - 4, LineY(0), ColumnX(9) + 4, LineY(0), "beta"},
        {"over a line end", ColumnX(6) - 4, LineY(0), ColumnX(4) + 4, LineY(1), "beta\ngamma"},
        {"dragged backwards", ColumnX(4) + 4, LineY(1), ColumnX(6) - 4, LineY(0), "beta\ngamma"},
        {"a click selects nothing", ColumnX(2), LineY(0), ColumnX(2), LineY(0), ""},
        {"past the line end takes the rest", ColumnX(0) - 4, LineY(2), 700, LineY(2), "epsilon"},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(s.SelectBegin(c.x1, c.y1)) << c.name;
        s.SelectExtend((c.x1 + c.x2) / 2, (c.y1 + c.y2) / 2);
        s.SelectEnd(c.x2, c.y2);
        EXPECT_FALSE(s.Selecting());
        EXPECT_EQ(s.SelectedText(), c.text) << c.name;
    }
    // Off the page (the desk beyond it) nothing starts; a page turn clears the selection.
    s.GetView().SetWindowSize(2000, 2000);
    EXPECT_FALSE(s.SelectBegin(1500, 1500));
    ASSERT_TRUE(s.SelectBegin(ColumnX(0), LineY(0)));
    s.SelectEnd(ColumnX(3), LineY(0));
    EXPECT_EQ(s.SelectedText(), "alp");
    Session blank = TextSession("\f");
    EXPECT_FALSE(blank.SelectBegin(100, 100));  // no text to select
}

TEST(Session, ClipAreaFollowsTheView) {
    Session s = TextSession("x");
    s.GetView().SetWindowSize(400, 300);
    s.SetClipArea(100, 50, 200, 150);
    int x1, y1, x2, y2;
    ASSERT_TRUE(s.ClipCorners(&x1, &y1, &x2, &y2));
    EXPECT_EQ(std::vector<int>({x1, y1, x2, y2}), std::vector<int>({100, 50, 200, 150}));
    // Scrolled, the corners stay relative to the page.
    s.GetView().SetYPos(-40);
    ASSERT_TRUE(s.ClipCorners(&x1, &y1, &x2, &y2));
    EXPECT_EQ(std::vector<int>({x1, y1, x2, y2}), std::vector<int>({100, 50, 200, 150}));
    s.GetView().SetYPos(0);
    // Scaling makes the 100 x 100 area fill the 300-pixel height: 300 %.
    ASSERT_TRUE(s.ScaleClipArea());
    EXPECT_EQ(s.GetView().Zoom(), 300);
    ASSERT_TRUE(s.ClipCorners(&x1, &y1, &x2, &y2));
    EXPECT_EQ(x1 + s.GetView().XPos(), 0);
    EXPECT_EQ(y1 + s.GetView().YPos(), 0);
    // An area beside the page (left of and above it) is none.
    s.GetView().SetZoom(100);
    s.GetView().SetXPos(0);
    s.GetView().SetYPos(0);
    s.SetClipArea(-50, -50, -10, -10);
    EXPECT_FALSE(s.ClipCorners(&x1, &y1, &x2, &y2));
    EXPECT_FALSE(s.ScaleClipArea());
}

TEST(Session, PageSizeWhenAutosizeIsOff) {
    Session s = TextSession("x");
    EXPECT_DOUBLE_EQ(s.PageWidthTwips(), 12240);
    s.SetPageSizeTwips(1440 * 14, 1440 * 8);
    EXPECT_DOUBLE_EQ(s.PageWidthTwips(), 12240);  // autosize still on
    s.SetAutosize(false);
    EXPECT_DOUBLE_EQ(s.PageWidthTwips(), 1440 * 14);
    EXPECT_EQ(s.GetView().PagePixelWidth(), 14 * 96);
    EXPECT_EQ(s.GetView().PagePixelHeight(), 8 * 96);
}
