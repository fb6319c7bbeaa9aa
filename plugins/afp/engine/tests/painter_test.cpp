// Painting a page: where the ink lands at each zoom and rotation, view modes, fitting.
#include <gtest/gtest.h>

#include <cairo.h>

#include "afp_fixture.h"
#include "painter.h"

using namespace knvw;

namespace {

struct Rect {
    int left, top, right, bottom;
};

class Canvas {
public:
    Canvas(int w, int h)
        : surface_(cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h)), cr_(cairo_create(surface_)) {}
    ~Canvas() {
        cairo_destroy(cr_);
        cairo_surface_destroy(surface_);
    }
    cairo_t* cr() { return cr_; }
    uint32_t Pixel(int x, int y) {
        cairo_surface_flush(surface_);
        const auto* row =
            cairo_image_surface_get_data(surface_) + y * cairo_image_surface_get_stride(surface_);
        return reinterpret_cast<const uint32_t*>(row)[x] & 0xFFFFFF;
    }
    int Width() const { return cairo_image_surface_get_width(surface_); }
    int Height() const { return cairo_image_surface_get_height(surface_); }
    // Dark: every channel below 100.
    bool Dark(int x, int y) {
        const uint32_t p = Pixel(x, y);
        return ((p >> 16) & 0xFF) < 100 && ((p >> 8) & 0xFF) < 100 && (p & 0xFF) < 100;
    }
    // Dark pixels inside and outside a rectangle.
    std::pair<int, int> DarkInOut(const Rect& r) {
        int in = 0, out = 0;
        for (int y = 0; y < Height(); ++y) {
            for (int x = 0; x < Width(); ++x) {
                if (!Dark(x, y)) continue;
                (x >= r.left && x < r.right && y >= r.top && y < r.bottom ? in : out)++;
            }
        }
        return {in, out};
    }
    int Count(uint32_t colour) {
        int n = 0;
        for (int y = 0; y < Height(); ++y)
            for (int x = 0; x < Width(); ++x) n += Pixel(x, y) == colour;
        return n;
    }

private:
    cairo_surface_t* surface_;
    cairo_t* cr_;
};

Session LineSession(const std::string& text, int w, int h) {
    Session s(ReadLineData(text, LineDataParms{10, 6, 0}));
    s.GetView().SetWindowSize(w, h);
    return s;
}

}  // namespace

TEST(Painter, InkLandsInTheCharacterCell) {
    // The single X of a line-data page: cell 144 x 240 units at (720, 720), 15 units a pixel
    // at 100 %. An AFP X at (1440, 1440): cell from 1248 to 1488 down.
    struct Case {
        const char* name;
        bool afp;
        int zoom, rotation;
        Rect cell;
    };
    const Case cases[] = {
        {"line data", false, 100, 1, {48, 48, 58, 64}},
        {"line data at 200 %", false, 200, 1, {96, 96, 116, 128}},
        {"line data turned 90", false, 100, 3, {992, 48, 1008, 58}},
        {"line data turned 180", false, 100, 2, {758, 992, 768, 1008}},
        {"line data turned 270", false, 100, 4, {48, 758, 64, 768}},
        {"AFP", true, 100, 1, {96, 83, 106, 100}},
        {"AFP at 50 %", true, 50, 1, {48, 41, 53, 50}},
    };
    for (const auto& c : cases) {
        std::optional<Session> s;
        if (c.afp) {
            std::vector<Overlay> none;
            s.emplace(ReadAfp(knvw_test::AfpDocument({{{1440, 1440, "X"}}}), none));
            s->GetView().SetWindowSize(1100, 1100);
        } else {
            s.emplace(LineSession("X", 1100, 1100));
        }
        s->GetView().SetZoom(c.zoom);
        s->GetView().SetRotation(c.rotation);
        s->GetView().SetXPos(0);  // zooming keeps the window's centre; look at the page's corner
        s->GetView().SetYPos(0);
        Canvas canvas(1100, 1100);
        PaintView(canvas.cr(), *s);
        const auto [in, out] = canvas.DarkInOut(c.cell);
        EXPECT_GT(in, 0) << c.name;
        EXPECT_EQ(out, 0) << c.name;
    }
}

TEST(Painter, PageAreaFollowsZoomAndScroll) {
    struct Case {
        int zoom, rotation, y;
        int pageRight, pageBottom;  // last white pixel + 1 along the page's top-left row/column
    };
    const Case cases[] = {
        {100, 1, 0, 816, 1056}, {50, 1, 0, 408, 528}, {50, 3, 0, 528, 408}, {50, 1, -100, 408, 528}};
    for (const auto& c : cases) {
        Session s = LineSession("", 1200, 1200);
        s.GetView().SetZoom(c.zoom);
        s.GetView().SetRotation(c.rotation);
        s.GetView().SetYPos(c.y);  // a page that fits does not move
        Canvas canvas(1200, 1200);
        PaintView(canvas.cr(), s);
        EXPECT_EQ(canvas.Pixel(5, 5), 0xFFFFFFu);
        EXPECT_EQ(canvas.Pixel(c.pageRight - 1, 5), 0xFFFFFFu) << c.zoom;
        EXPECT_NE(canvas.Pixel(c.pageRight + 2, 5), 0xFFFFFFu) << c.zoom;
        EXPECT_EQ(canvas.Pixel(5, c.pageBottom - 1), 0xFFFFFFu) << c.zoom;
        EXPECT_NE(canvas.Pixel(5, c.pageBottom + 2), 0xFFFFFFu) << c.zoom;
    }
    // A scrolled page: the window shows the page's lower part (the window is smaller).
    Session s = LineSession("X", 300, 300);
    s.GetView().SetYPos(-30);
    Canvas canvas(300, 300);
    PaintView(canvas.cr(), s);
    const auto [in, out] = canvas.DarkInOut({48, 18, 58, 34});
    EXPECT_GT(in, 5);
    EXPECT_EQ(out, 0);
}

TEST(Painter, EdgeFollowsTheContextsOrigin) {
    // A child window paints through a context moved to its place in the top-level
    // surface: the page's edge moves with it, as the page does.
    for (const int top : {0, 16, 100}) {
        Session s = LineSession("", 1000, 1100);
        Canvas canvas(1000, 1300);
        cairo_translate(canvas.cr(), 0, top);
        PaintView(canvas.cr(), s);
        EXPECT_EQ(canvas.Pixel(5, top + 1055), 0xFFFFFFu) << top;  // the page's last row
        EXPECT_EQ(canvas.Pixel(5, top + 1056), 0x8C8C8Cu) << top;  // its edge
        EXPECT_EQ(canvas.Pixel(816, top + 500), 0x8C8C8Cu) << top;
    }
}

TEST(Painter, ViewModesAndMarks) {
    // Normal ink is dark, light ink grey; shade: the paper takes the colour; a hit is marked.
    struct Ink {
        int mode, darkestMin, darkestMax;
    };
    for (const Ink ink : {Ink{0, 0, 0x40}, Ink{1, 0x70, 0xA0}, Ink{2, 0, 0x40}}) {
        Session s = LineSession("XXXX", 400, 300);
        s.imageMode = ink.mode;
        Canvas canvas(400, 300);
        PaintView(canvas.cr(), s);
        int darkest = 0xFF;
        for (int y = 48; y < 64; ++y)
            for (int x = 48; x < 87; ++x) darkest = std::min<int>(darkest, canvas.Pixel(x, y) & 0xFF);
        EXPECT_GE(darkest, ink.darkestMin) << ink.mode;
        EXPECT_LE(darkest, ink.darkestMax) << ink.mode;
    }
    {
        Session s = LineSession("XXXX", 400, 300);
        s.imageMode = 3;
        s.shadeColour = 16;  // yellow
        Canvas canvas(400, 300);
        PaintView(canvas.cr(), s);
        EXPECT_EQ(canvas.Pixel(20, 200), 0xFFFFD1u);
    }
    {
        Session s = LineSession("ab XX cd", 400, 300);
        FindQuery q;
        q.text = "xx";
        ASSERT_EQ(s.Find(q, nullptr), kFindFound);
        Canvas canvas(400, 300);
        PaintView(canvas.cr(), s);
        // Marked cells: columns 3 and 4 of the first line, 77 to 96 px across.
        int marked = 0, elsewhere = 0;
        for (int y = 48; y < 64; ++y) {
            for (int x = 40; x < 140; ++x) {
                if (canvas.Pixel(x, y) != 0xFFEB40u) continue;
                (x >= 76 && x < 97 ? marked : elsewhere)++;
            }
        }
        EXPECT_GT(marked, 20);
        EXPECT_EQ(elsewhere, 0);
    }
}

TEST(Painter, FramesShowExceptInDraftView) {
    // An object frame from (1440, 1440) one inch square: its dashed edge at x = 96 px.
    for (const int mode : {0, 2}) {
        Page page;
        page.width = 12240;
        page.height = 15840;
        page.frames.push_back(Box{1440, 1440, 1440, 1440, "image"});
        Session s(Document{Document::Kind::Afp, {page}, false, std::nullopt});
        s.GetView().SetWindowSize(400, 400);
        s.imageMode = mode;
        Canvas canvas(400, 400);
        PaintView(canvas.cr(), s);
        int grey = 0;
        for (int y = 100; y < 190; ++y) grey += (canvas.Pixel(96, y) & 0xFF) < 0xE0;
        if (mode == 0) {
            EXPECT_GT(grey, 20);
        } else {
            EXPECT_EQ(grey, 0);
        }
    }
}

TEST(Painter, FrameLabelsBeyondAsciiLeaveTheContextUsable) {
    // A frame labelled with a Latin-1 letter, then an X at (4320, 4320): the X is drawn
    // (the only dark ink; labels are grey) and the context stays usable for later pages.
    Page page;
    page.width = 12240;
    page.height = 15840;
    page.frames.push_back(Box{1440, 1440, 1440, 1440, "overlay \xC9T\xC9"});
    page.runs.push_back(TextRun{4320, 4320, 144, 240, "X"});
    Session s(Document{Document::Kind::Afp, {page}, false, std::nullopt});
    s.GetView().SetWindowSize(400, 400);
    Canvas canvas(400, 400);
    PaintView(canvas.cr(), s);
    EXPECT_EQ(cairo_status(canvas.cr()), CAIRO_STATUS_SUCCESS);
    const auto [in, out] = canvas.DarkInOut({280, 260, 310, 300});
    EXPECT_GT(in, 0);
    EXPECT_EQ(out, 0);
}

TEST(Painter, FitPageOntoPaper) {
    // Paper of 700 x 900 points (72 a inch); a letter page is 612 x 792 points.
    struct Case {
        const char* name;
        double w, h;  // page units at 1440 an inch
        bool rotate, shrink;
        double xx, xy, x0, y0;
    };
    const Case cases[] = {
        {"letter fits, natural size", 12240, 15840, true, true, 0.05, 0, 44, 54},
        {"wide page shrunk", 12240 * 2, 15840, false, true, 700.0 / 24480, 0, 0,
         (900 - 15840 * 700.0 / 24480) / 2},
        {"landscape turned", 15840, 12240, true, true, 0, -0.05, 656, 54},
        {"landscape kept without rotate", 15840, 12240, false, false, 0.05, 0, (700 - 792) / 2.0,
         (900 - 612) / 2.0},
        {"not shrunk", 12240 * 2, 15840, false, false, 0.05, 0, -262, 54},
    };
    for (const auto& c : cases) {
        const cairo_matrix_t m = FitPage(c.w, c.h, 700, 900, c.rotate, c.shrink, 100, 1440, 72);
        EXPECT_NEAR(m.xx, c.xx, 1e-9) << c.name;
        EXPECT_NEAR(m.xy, c.xy, 1e-9) << c.name;
        EXPECT_NEAR(m.x0, c.x0, 1e-6) << c.name;
        EXPECT_NEAR(m.y0, c.y0, 1e-6) << c.name;
    }
}
