// vsin_print.h - printing pages to a printer context of the window layer, copying part
// of a page to the clipboard as a bitmap, and writing pages' text to a file.
#pragma once

#include <string>
#include <vector>

#include "qel_win.h"
#include "session.h"

namespace knvw {

struct PrintJob {
    std::string device;  // "" : the default printer
    const WinPrinterSettings* settings = nullptr;
    std::vector<int> pages;  // 0-based pages of the document, in order
    int copies = 1;
    int scalePercent = 100;
    bool rotateToFit = true, shrinkToFit = true;
    std::string title;
};

// Pages printed (copies included); 0 when nothing could be printed.
int PrintPages(Session& session, const PrintJob& job);
// The area between page-relative pixel corners at the current view, onto the clipboard.
bool CopyAreaToClipboard(Session& session, WinHandle owner, int x1, int y1, int x2, int y2);
// Text of pages [first, last] (0-based) into a file, UTF-8, pages separated by form feeds.
int ExtractText(Session& session, const std::string& path, int first, int last);

}  // namespace knvw
