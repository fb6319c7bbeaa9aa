// Printing to PDF: device caps, documents and pages, file names, the dialogs.
#include <sys/stat.h>

#include <gtest/gtest.h>
#include <chrono>
#include <filesystem>

#include "gdi_test_util.h"
#include "printers.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::string> FilesIn(const std::string& directory) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(directory))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class Printing : public ::testing::Test {
protected:
    void SetUp() override { Win_SetPdfDirectory(dir_.path()); }
    void TearDown() override { Win_SetPdfDirectory(""); }

    // Prints the pages (each one line of text) and returns the PDF's name.
    std::string PrintPages(const std::string& name, const std::vector<std::string>& pages) {
        DcPtr dc(Win_CreatePrinterDC("PDF", nullptr));
        EXPECT_TRUE(dc);
        if (!dc) return {};
        EXPECT_GT(Win_StartDoc(dc.get(), name), 0);
        WinGdi font = Win_CreateFont("", 60, false, false);
        Win_SelectObject(dc.get(), font);
        for (const std::string& text : pages) {
            EXPECT_GT(Win_StartPage(dc.get()), 0);
            Win_TextOut(dc.get(), 300, 300, text);
            Win_Rectangle(dc.get(), 200, 200, 2000, 1000);
            EXPECT_GT(Win_EndPage(dc.get()), 0);
        }
        EXPECT_GT(Win_EndDoc(dc.get()), 0);
        Win_DeleteObject(font);
        return Win_LastPrintFile(dc.get());
    }

    TempDir dir_;
};

TEST_F(Printing, ThreePagesReadBack) {
    std::string file =
        PrintPages("Quarterly report", {"Alpha page one", "Bravo page two", "Charlie page three"});
    ASSERT_EQ(file, dir_.path() + "/Quarterly_report.pdf");
    int status = -1;
    std::string info = RunAndRead({"pdfinfo", file}, &status);
    ASSERT_EQ(status, 0) << info;
    EXPECT_NE(info.find("Pages:           3"), std::string::npos) << info;
    EXPECT_NE(info.find("595."), std::string::npos) << "A4 width in points: " << info;
    std::string text = RunAndRead({"pdftotext", file, "-"}, &status);
    ASSERT_EQ(status, 0);
    size_t one = text.find("Alpha page one"), two = text.find("Bravo page two"),
           three = text.find("Charlie page three");
    ASSERT_NE(one, std::string::npos) << text;
    ASSERT_NE(two, std::string::npos) << text;
    ASSERT_NE(three, std::string::npos) << text;
    EXPECT_LT(one, two);
    EXPECT_LT(two, three);
}

TEST_F(Printing, FileNamesAreUniqueAndStayInTheDirectory) {
    struct Case {
        std::string document;
        std::string file;
    } cases[] = {
        {"Letter", "Letter.pdf"},       {"Letter", "Letter-2.pdf"},
        {"Letter.pdf", "Letter-3.pdf"}, {"../../etc/passwd", "etc_passwd.pdf"},
        {"..", "document.pdf"},         {"", "document-2.pdf"},
        {"a/b\\c\n", "a_b_c.pdf"},      {std::string(100, 'x'), std::string(64, 'x') + ".pdf"},
    };
    for (const Case& c : cases) {
        std::string file = PrintPages(c.document, {"page"});
        EXPECT_EQ(file, dir_.path() + "/" + c.file) << c.document;
    }
    EXPECT_EQ(FilesIn(dir_.path()).size(), std::size(cases));
}

TEST_F(Printing, AbortedAndEmptyDocumentsLeaveNoFile) {
    DcPtr dc(Win_CreatePrinterDC("PDF", nullptr));
    ASSERT_TRUE(dc);
    ASSERT_GT(Win_StartDoc(dc.get(), "aborted"), 0);
    Win_StartPage(dc.get());
    Win_TextOut(dc.get(), 10, 10, "gone");
    EXPECT_EQ(FilesIn(dir_.path()), std::vector<std::string>{"aborted.pdf"});
    EXPECT_GT(Win_AbortDoc(dc.get()), 0);
    EXPECT_TRUE(FilesIn(dir_.path()).empty());
    EXPECT_EQ(Win_LastPrintFile(dc.get()), "");

    ASSERT_GT(Win_StartDoc(dc.get(), "empty"), 0);
    EXPECT_LT(Win_EndDoc(dc.get()), 0);
    EXPECT_TRUE(FilesIn(dir_.path()).empty());

    // A context deleted in the middle of a document removes its file.
    ASSERT_GT(Win_StartDoc(dc.get(), "dropped"), 0);
    Win_StartPage(dc.get());
    dc.reset();
    EXPECT_TRUE(FilesIn(dir_.path()).empty());
}

TEST_F(Printing, CallsOutOfOrderAreRefused) {
    DcPtr dc(Win_CreatePrinterDC("PDF", nullptr));
    ASSERT_TRUE(dc);
    WinRect band;
    EXPECT_LT(Win_StartPage(dc.get()), 0);
    EXPECT_LT(Win_EndPage(dc.get()), 0);
    EXPECT_LT(Win_EndDoc(dc.get()), 0);
    EXPECT_LT(Win_AbortDoc(dc.get()), 0);
    EXPECT_FALSE(Win_TextOut(dc.get(), 0, 0, "before the document"));
    ASSERT_GT(Win_StartDoc(dc.get(), "order"), 0);
    EXPECT_LT(Win_StartDoc(dc.get(), "again"), 0);
    EXPECT_LT(Win_NextBand(dc.get(), &band), 0);
    ASSERT_GT(Win_StartPage(dc.get()), 0);
    EXPECT_LT(Win_StartPage(dc.get()), 0);
    // Bands: the whole page, then an empty one.
    ASSERT_GT(Win_NextBand(dc.get(), &band), 0);
    EXPECT_EQ(band.Width(), 2480);
    EXPECT_EQ(band.Height(), 3508);
    ASSERT_GT(Win_NextBand(dc.get(), &band), 0);
    EXPECT_EQ(band.Width(), 0);
    EXPECT_EQ(band.Height(), 0);
    EXPECT_LT(Win_NextBand(dc.get(), nullptr), 0);
    // EndDoc closes an open page.
    EXPECT_GT(Win_EndDoc(dc.get()), 0);
    int status = -1;
    EXPECT_NE(RunAndRead({"pdfinfo", Win_LastPrintFile(dc.get())}, &status).find("Pages:           1"),
              std::string::npos);
    BitmapPtr bitmap(Win_CreateBitmap(2, 2));
    DcPtr bitmapDc(Win_CreateBitmapDC(bitmap.get()));
    EXPECT_LT(Win_StartDoc(bitmapDc.get(), "not a printer"), 0);
    EXPECT_LT(Win_StartDoc(nullptr, "none"), 0);
}

TEST_F(Printing, DeviceCapsFollowTheSettings) {
    struct Case {
        bool landscape;
        int widthMm, heightMm;
        int horz, vert;
    } cases[] = {{false, 210, 297, 2480, 3508}, {true, 210, 297, 3508, 2480}, {false, 216, 279, 2551, 3295}};
    for (const Case& c : cases) {
        WinPrinterSettings settings;
        settings.landscape = c.landscape;
        settings.paperWidthMm = c.widthMm;
        settings.paperHeightMm = c.heightMm;
        DcPtr dc(Win_CreatePrinterDC("PDF", &settings));
        ASSERT_TRUE(dc);
        EXPECT_EQ(Win_GetDeviceCaps(dc.get(), HORZRES), c.horz);
        EXPECT_EQ(Win_GetDeviceCaps(dc.get(), VERTRES), c.vert);
        EXPECT_EQ(Win_GetDeviceCaps(dc.get(), PHYSICALWIDTH), c.horz);
        EXPECT_EQ(Win_GetDeviceCaps(dc.get(), PHYSICALHEIGHT), c.vert);
        EXPECT_EQ(Win_GetDeviceCaps(dc.get(), LOGPIXELSX), 300);
        EXPECT_EQ(Win_GetDeviceCaps(dc.get(), LOGPIXELSY), 300);
        EXPECT_EQ(Win_GetDeviceCaps(dc.get(), PHYSICALOFFSETX), 0);
    }
    WinPrinterSettings bad;
    bad.copies = 0;
    EXPECT_EQ(Win_CreatePrinterDC("PDF", &bad), nullptr);
    bad = WinPrinterSettings{};
    bad.paperWidthMm = 0;
    EXPECT_EQ(Win_CreatePrinterDC("PDF", &bad), nullptr);
    EXPECT_EQ(Win_CreatePrinterDC("No such printer", nullptr), nullptr);
}

TEST_F(Printing, UnwritableDirectoryFailsToStart) {
    Win_SetPdfDirectory(dir_.path() + "/missing");
    DcPtr dc(Win_CreatePrinterDC("PDF", nullptr));
    ASSERT_TRUE(dc);
    EXPECT_LT(Win_StartDoc(dc.get(), "nowhere"), 0);
}

TEST(Printers, PdfAlwaysListedAndQuickly) {
    auto start = std::chrono::steady_clock::now();
    std::vector<WinPrinter> printers = Win_EnumPrinters();
    auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_LT(elapsed, std::chrono::seconds(3));
    ASSERT_FALSE(printers.empty());
    EXPECT_EQ(printers[0].name, "PDF");
    int defaults = 0;
    std::string listedDefault;
    for (const WinPrinter& printer : printers) {
        defaults += printer.isDefault;
        if (printer.isDefault) listedDefault = printer.name;
    }
    EXPECT_EQ(defaults, 1);
    EXPECT_EQ(Win_DefaultPrinter(), listedDefault);
}

TEST(PrintDialog, HookAnswers) {
    TempDir dir;
    Win_SetPdfDirectory(dir.path());
    struct Case {
        const char* what;
        bool hookSet, answers, ok;
        std::string printer;
        uint32_t flags;
        bool result, wantDc;
    } cases[] = {
        {"no hook", false, false, false, "", PD_RETURNDC, false, false},
        {"hook passes", true, false, true, "", PD_RETURNDC, false, false},
        {"cancelled", true, true, false, "PDF", PD_RETURNDC, false, false},
        {"ok with context", true, true, true, "PDF", PD_RETURNDC, true, true},
        {"ok, default printer", true, true, true, "", PD_RETURNDC, true, true},
        {"ok without context", true, true, true, "PDF", 0, true, false},
        {"unknown printer", true, true, true, "Nowhere 9", PD_RETURNDC, false, false},
        {"unknown printer, no context", true, true, true, "Nowhere 9", 0, false, false},
    };
    for (const Case& c : cases) {
        WinHooks hooks;
        if (c.hookSet) {
            hooks.printDialog = [&](WinPrintDialog* dialog, bool* ok) {
                dialog->printer = c.printer;
                dialog->flags = c.flags | PD_PAGENUMS;
                dialog->fromPage = 0;
                dialog->toPage = 50;
                *ok = c.ok;
                return c.answers;
            };
        }
        WinPrintDialog dialog;
        dialog.minPage = 1;
        dialog.maxPage = 7;
        dialog.flags = c.flags;
        EXPECT_EQ(Print_RunDialog(&dialog, hooks), c.result) << c.what;
        EXPECT_EQ(dialog.dc != nullptr, c.wantDc) << c.what;
        if (c.result) {
            EXPECT_FALSE(dialog.printer.empty()) << c.what;
            EXPECT_EQ(dialog.fromPage, 1) << c.what;
            EXPECT_EQ(dialog.toPage, 7) << c.what;
        }
        Win_DeleteDC(dialog.dc);
    }
    WinPrintDialog plain;
    EXPECT_FALSE(Win_PrintDialog(&plain));  // nothing installed answers it
    EXPECT_FALSE(Win_PrintDialog(nullptr));
    Win_SetPdfDirectory("");
}

TEST(PrintDialog, PropertiesHookEditsValidSettings) {
    WinHooks hooks;
    int copies = 3;
    hooks.printerProperties = [&](const std::string& printer, WinPrinterSettings* settings, bool* ok) {
        EXPECT_EQ(printer, "PDF");
        settings->landscape = true;
        settings->copies = copies;
        *ok = true;
        return true;
    };
    WinPrinterSettings settings;
    ASSERT_TRUE(Print_RunPropertiesDialog(0, "PDF", &settings, hooks));
    EXPECT_TRUE(settings.landscape);
    EXPECT_EQ(settings.copies, 3);
    EXPECT_EQ(settings.printer, "PDF");
    copies = 0;  // refused: the settings stay as they were
    WinPrinterSettings kept;
    EXPECT_FALSE(Print_RunPropertiesDialog(0, "PDF", &kept, hooks));
    EXPECT_EQ(kept.copies, 1);
    EXPECT_FALSE(kept.landscape);
    EXPECT_FALSE(Print_RunPropertiesDialog(0, "Nowhere 9", &kept, hooks));
    EXPECT_FALSE(Print_RunPropertiesDialog(0, "PDF", &kept, WinHooks{}));
}

}  // namespace
