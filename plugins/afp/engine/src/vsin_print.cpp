// vsin_print.cpp - printing, bitmap copies and text extraction.
#include "vsin_print.h"

#include <algorithm>
#include <fstream>

#include <cairo.h>

#include "painter.h"

namespace knvw {
namespace {

constexpr int kMaxCopyPixels = 8000;  // a side of a copied bitmap

// The page as the session shows it (the page size given when autosize is off).
Page ShownPage(const Session& session, int index) {
    Page page = session.Doc().pages[static_cast<std::size_t>(index)];
    if (!session.Autosize()) {
        const double scale = page.unitsPerInch / 1440;
        if (session.PageWidthTwips() > 0 && session.PageHeightTwips() > 0) {
            page.width = session.PageWidthTwips() * scale;
            page.height = session.PageHeightTwips() * scale;
        }
    }
    return page;
}

}  // namespace

int PrintPages(Session& session, const PrintJob& job) {
    if (job.pages.empty()) return 0;
    const std::string device = job.device.empty() ? Win_DefaultPrinter() : job.device;
    WinDC* dc = Win_CreatePrinterDC(device, job.settings);
    if (!dc) return 0;
    int printed = 0;
    if (Win_StartDoc(dc, job.title.empty() ? "AFP document" : job.title) > 0) {
        const PaintStyle style{session.imageMode == 3 ? 0 : session.imageMode, 10};
        const int copies = std::clamp(job.copies, 1, 999);
        for (int copy = 0; copy < copies; ++copy) {
            for (int index : job.pages) {
                if (index < 0 || index >= session.PageCount()) continue;
                if (Win_StartPage(dc) <= 0) break;
                cairo_t* cr = Win_DCCairo(dc);
                const Page page = ShownPage(session, index);
                const double width = Win_GetDeviceCaps(dc, HORZRES), height = Win_GetDeviceCaps(dc, VERTRES);
                const double dpi = std::max(1, Win_GetDeviceCaps(dc, LOGPIXELSX));
                if (cr && width > 0 && height > 0) {
                    const cairo_matrix_t m =
                        FitPage(page.width, page.height, width, height, job.rotateToFit, job.shrinkToFit,
                                job.scalePercent, page.unitsPerInch, dpi);
                    cairo_save(cr);
                    cairo_transform(cr, &m);
                    PaintPageContent(cr, page, style, nullptr, Marks{});
                    cairo_restore(cr);
                }
                Win_EndPage(dc);
                ++printed;
            }
        }
        if (printed > 0) {
            Win_EndDoc(dc);
        } else {
            Win_AbortDoc(dc);
        }
    }
    Win_DeleteDC(dc);
    return printed;
}

bool CopyAreaToClipboard(Session& session, WinHandle owner, int x1, int y1, int x2, int y2) {
    const int left = std::min(x1, x2), top = std::min(y1, y2);
    const int width = std::min(std::abs(x2 - x1), kMaxCopyPixels),
              height = std::min(std::abs(y2 - y1), kMaxCopyPixels);
    if (width <= 0 || height <= 0) return false;
    WinBitmap* bitmap = Win_CreateBitmap(width, height);
    if (!bitmap) return false;
    cairo_t* cr = cairo_create(Win_BitmapSurface(bitmap));
    const View& view = session.GetView();
    Affine m = view.PageToWindow();
    // Page-relative corners: the page's own position in the window does not count.
    m.e -= view.XPos() + left;
    m.f -= view.YPos() + top;
    cairo_matrix_t matrix;
    cairo_matrix_init(&matrix, m.a, m.b, m.c, m.d, m.e, m.f);
    cairo_transform(cr, &matrix);
    PaintPageContent(cr, ShownPage(session, session.CurrentIndex()),
                     PaintStyle{session.imageMode, session.shadeColour}, nullptr, Marks{});
    cairo_destroy(cr);
    cairo_surface_mark_dirty(Win_BitmapSurface(bitmap));
    bool done = false;
    if (Win_OpenClipboard(owner)) {
        Win_EmptyClipboard();
        done = Win_SetClipboardBitmap(bitmap);
        Win_CloseClipboard();
    }
    Win_DeleteBitmap(bitmap);
    return done;
}

int ExtractText(Session& session, const std::string& path, int first, int last) {
    first = std::max(first, 0);
    last = std::min(last, session.PageCount() - 1);
    if (path.empty() || first > last) return 0;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return 0;
    int written = 0;
    for (int index = first; index <= last; ++index) {
        if (written > 0) out << '\f';
        out << Latin1ToUtf8(PageText(session.Doc().pages[static_cast<std::size_t>(index)]).Text()) << '\n';
        ++written;
    }
    return out.flush() ? written : 0;
}

}  // namespace knvw
