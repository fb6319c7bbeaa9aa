// print.cpp - printing the document page by page, in bands, to a printer context.
#include <algorithm>
#include <cstdio>
#include <string>

#include "output.h"
#include "plugin_state.h"
#include "view.h"

namespace zyp {
namespace {

constexpr int kMaxCopies = 99;

// The printer context and the job, released on every way out.
class PrintRun {
public:
    PrintRun(PluginInstance& in, WinDC* dc) : in_(in), dc_(dc) {}
    ~PrintRun() {
        if (job_) ZypmPrintJobFree(job_);
        if (docStarted_) Win_AbortDoc(dc_);
        Win_DeleteDC(dc_);
    }
    PrintRun(const PrintRun&) = delete;
    PrintRun& operator=(const PrintRun&) = delete;

    bool Start(const std::string& name) {
        // The printer context draws only inside a document: start it first.
        if (Win_StartDoc(dc_, name) <= 0) {
            ShowMessage(LanguageString(kStrPrintStart));
            return false;
        }
        docStarted_ = true;
        ZypmPrintJob job = nullptr;
        int rc = ZypmPrintJobNew(name.c_str(), &job);
        if (rc != ZYPM_OK) return LibraryFailed("ZypmPrintJobNew", rc);
        job_ = job;
        rc = ZypmPrintJobStart(job_, ZYPM_PRINT_STANDARD, Win_DCCairo(dc_));
        if (rc != ZYPM_OK) return LibraryFailed("ZypmPrintJobStart", rc);
        int width = Win_GetDeviceCaps(dc_, PHYSICALWIDTH) - 2 * Win_GetDeviceCaps(dc_, PHYSICALOFFSETX);
        int height = Win_GetDeviceCaps(dc_, PHYSICALHEIGHT) - 2 * Win_GetDeviceCaps(dc_, PHYSICALOFFSETY);
        printableWidth_ = width > 0 ? width : Win_GetDeviceCaps(dc_, HORZRES);
        printableHeight_ = height > 0 ? height : Win_GetDeviceCaps(dc_, VERTRES);
        return printableWidth_ > 0 && printableHeight_ > 0;
    }

    bool PrintPage(int page) {
        ShowPage(in_, page);
        int rc = Win_StartPage(dc_);
        if (rc <= 0) return Failed("StartPage", rc);
        rc = ZypmPrintJobPageStart(job_, 0);
        if (rc != ZYPM_OK) return LibraryFailed("ZypmPrintJobPageStart", rc);
        PagePaint how = FitOnPaper();
        WinRect band;
        while (Win_NextBand(dc_, &band) > 0 && band.Width() > 0 && band.Height() > 0) {
            ZypmBand zband{};
            zband.rect = {band.left, band.top, band.right, band.bottom};
            zband.context = Win_DCCairo(dc_);
            rc = ZypmPrintJobBandStart(job_, &zband);
            if (rc != ZYPM_OK) return LibraryFailed("ZypmPrintJobBandStart", rc);
            if (zband.paint) {
                PagePaint part = how;
                part.xOffset = std::max(band.left, 0);
                part.yOffset = std::max(band.top, 0);
                part.flags = zband.paintFlags;
                // A page that cannot be painted ends the job rather than print blank.
                PaintResult painted = PaintCurrentPage(in_, zband.context, zband.rect, part);
                if (painted.call) return LibraryFailed(painted.call, painted.code);
            }
            ZypmPrintJobBandEnd(job_);
        }
        rc = ZypmPrintJobPageEnd(job_);
        if (rc != ZYPM_OK) return LibraryFailed("ZypmPrintJobPageEnd", rc);
        rc = Win_EndPage(dc_);
        if (rc <= 0) return Failed("EndPage", rc);
        return true;
    }

    bool Finish() {
        ZypmPrintJob job = job_;
        job_ = nullptr;  // ZypmPrintJobEnd frees it, also on an error
        int rc = ZypmPrintJobEnd(job, 0);
        if (rc != ZYPM_OK) return LibraryFailed("ZypmPrintJobEnd", rc);
        docStarted_ = false;
        return Win_EndDoc(dc_) > 0;
    }

private:
    // A printer context call that failed.
    bool Failed(const char* call, int rc) {
        char text[300];
        std::snprintf(text, sizeof text, "%s %s %d", call, State().caption.c_str(), rc);
        ShowMessage(text);
        return false;
    }
    // An image library call that failed, shown with the library's reason.
    static bool LibraryFailed(const char* call, int rc) {
        ShowLibraryFailure(call, rc);
        return false;
    }

    // The shown page, as large as the printable area allows, from its top-left corner.
    PagePaint FitOnPaper() const {
        int shownWidth = 1, shownHeight = 1;
        ShownPageSize(in_.geometry, &shownWidth, &shownHeight);
        PagePaint how;
        how.applyGrey = false;
        if (static_cast<int64_t>(printableWidth_) * shownHeight <=
            static_cast<int64_t>(printableHeight_) * shownWidth) {
            how.imageWidth = printableWidth_;
            how.imageHeight =
                static_cast<int>(static_cast<int64_t>(printableWidth_) * shownHeight / shownWidth);
        } else {
            how.imageHeight = printableHeight_;
            how.imageWidth =
                static_cast<int>(static_cast<int64_t>(printableHeight_) * shownWidth / shownHeight);
        }
        return how;
    }

    PluginInstance& in_;
    WinDC* dc_;
    ZypmPrintJob job_ = nullptr;
    bool docStarted_ = false;
    int printableWidth_ = 0, printableHeight_ = 0;
};

// The document's title: the browser window's caption (the browser shows the document's
// title there); the delivered file is the browser's own and names nothing.
std::string DocumentName(const PluginInstance& in) {
    std::string title = Win_GetWindowText(in.browserWindow);
    return title.empty() ? State().caption : title;
}

}  // namespace

void PrintDocument(PluginInstance& in) {
    if (!in.HasImage()) return;
    int pages = in.geometry.pages;
    WinPrintDialog dialog;
    dialog.owner = in.viewWindow;
    dialog.flags = PD_RETURNDC | PD_NOSELECTION | (pages < 2 ? static_cast<uint32_t>(PD_NOPAGENUMS) : 0u);
    dialog.minPage = dialog.fromPage = 1;
    dialog.maxPage = dialog.toPage = pages;
    dialog.copies = 1;
    if (!Win_PrintDialog(&dialog) || !dialog.dc) return;

    int first = 0, last = pages - 1;
    if (dialog.flags & PD_PAGENUMS) {
        first = std::clamp(dialog.fromPage - 1, 0, pages - 1);
        last = std::clamp(dialog.toPage - 1, first, pages - 1);
    }
    // A CUPS printer makes the copies itself (the context carries them); the PDF
    // printer writes them one after the other.
    int copies = dialog.printer == "PDF" ? std::clamp(dialog.copies, 1, kMaxCopies) : 1;
    int shownPage = in.geometry.page, shownOffset = in.geometry.vOffset;
    {
        PrintRun run(in, dialog.dc);
        bool ok = run.Start(DocumentName(in));
        for (int copy = 0; ok && copy < copies; ++copy) {
            for (int page = first; ok && page <= last; ++page) ok = run.PrintPage(page);
        }
        if (ok) run.Finish();
    }
    in.geometry.vOffset = shownOffset;
    ShowPage(in, shownPage);
}

}  // namespace zyp
