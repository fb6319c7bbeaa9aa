// print_internal.h - the print job behind a printer context.
#pragma once

#include <string>

#include "gdi_internal.h"

struct PrintJob {
    WinPrinterSettings settings;  // settings.printer: "PDF" or a CUPS destination
    double pageWidthPt = 0, pageHeightPt = 0;
    int fd = -1;           // the PDF being written
    std::string path;      // its name
    std::string lastFile;  // the finished PDF of the last document
    std::string title;     // the document name
    bool inDocument = false;
    bool inPage = false;
    bool writeFailed = false;
    int pages = 0;
    int bandsGiven = 0;

    ~PrintJob();
};
