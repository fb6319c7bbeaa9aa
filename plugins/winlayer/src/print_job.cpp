// print_job.cpp - printer contexts: a cairo PDF surface at 300 device units per inch,
// documents and pages, the finished PDF kept or sent to a CUPS printer.
#include <cairo-pdf.h>
#include <fcntl.h>
#include <unistd.h>
#include <cerrno>

#include <cmath>
#include <optional>

#include "arc_platform.h"
#include "print_internal.h"
#include "printers.h"

namespace {

constexpr int kPrinterDpi = 300;
constexpr int kError = -1;  // SP_ERROR
constexpr int kMaxNameTries = 1000;

double MmToPoints(int mm) { return mm * 72.0 / 25.4; }
int MmToDevice(int mm) { return static_cast<int>(std::lround(mm * kPrinterDpi / 25.4)); }

// A file name of letters, digits, '-', '_' and '.' made from the document name; never
// hidden, never empty, never longer than 64 characters.
std::string SafeBaseName(const std::string& documentName) {
    std::string name;
    for (char c : documentName) {
        if (name.size() >= 64) break;
        bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                     c == '_' || c == '.';
        name += plain ? c : '_';
    }
    while (!name.empty() && (name.front() == '.' || name.front() == '_')) name.erase(0, 1);
    while (!name.empty() && (name.back() == '.' || name.back() == '_')) name.pop_back();
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".pdf") == 0) name.resize(name.size() - 4);
    return name.empty() ? "document" : name;
}

// Creates the PDF exclusively: "<name>.pdf", else "<name>-2.pdf", "<name>-3.pdf", ...
int CreateUnique(const std::string& directory, const std::string& base, std::string* path) {
    for (int attempt = 1; attempt <= kMaxNameTries; ++attempt) {
        std::string candidate =
            directory + "/" + base + (attempt == 1 ? "" : "-" + std::to_string(attempt)) + ".pdf";
        int fd = open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd >= 0) {
            *path = candidate;
            return fd;
        }
        if (errno != EEXIST) return -1;
    }
    return -1;
}

// A private spool file for a CUPS printer; removed once CUPS has it.
int CreateSpool(std::string* path) {
    std::optional<std::string> tmp = ArcOS_GetEnv("TMPDIR");
    return ArcOS_CreateTempFile(tmp && tmp->starts_with('/') ? *tmp : "/tmp", "qelwin-print-", path);
}

cairo_status_t WriteToJob(void* closure, const unsigned char* data, unsigned int length) {
    auto job = static_cast<PrintJob*>(closure);
    while (length > 0) {
        ssize_t written = write(job->fd, data, length);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            job->writeFailed = true;
            return CAIRO_STATUS_WRITE_ERROR;
        }
        data += written;
        length -= static_cast<unsigned int>(written);
    }
    return CAIRO_STATUS_SUCCESS;
}

// Closes the PDF: finished and synced when keep, else removed.
bool CloseFile(WinDC* dc, bool keep) {
    PrintJob& job = *dc->job;
    cairo_surface_t* surface = dc->surface;
    if (surface != nullptr) {
        cairo_surface_reference(surface);
        Dc_Detach(dc);
        cairo_surface_finish(surface);
        keep = keep && cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS;
        cairo_surface_destroy(surface);
    }
    keep = keep && !job.writeFailed && fsync(job.fd) == 0;
    keep = close(job.fd) == 0 && keep;
    job.fd = -1;
    if (!keep) unlink(job.path.c_str());
    job.inDocument = false;
    job.inPage = false;
    return keep;
}

bool SendToCups(const PrintJob& job, const std::string& title) {
    CupsConnection connection;
    if (connection.Get() == nullptr) return false;
    cups_option_t* options = nullptr;
    int count = 0;
    count = cupsAddOption("copies", std::to_string(job.settings.copies).c_str(), count, &options);
    int id = cupsPrintFile2(connection.Get(), job.settings.printer.c_str(), job.path.c_str(), title.c_str(),
                            count, options);
    cupsFreeOptions(count, options);
    return id > 0;
}

PrintJob* JobOf(WinDC* dc) { return dc == nullptr || dc->kind != DcKind::Printer ? nullptr : dc->job.get(); }

}  // namespace

PrintJob::~PrintJob() {
    if (fd >= 0) {
        close(fd);
        unlink(path.c_str());
    }
}

WinDC* Win_CreatePrinterDC(const std::string& printer, const WinPrinterSettings* settings) {
    std::string name = printer.empty() ? Win_DefaultPrinter() : printer;
    if (!Print_IsKnownPrinter(name)) return nullptr;
    WinPrinterSettings chosen = settings != nullptr ? *settings : WinPrinterSettings{};
    if (chosen.paperWidthMm < 10 || chosen.paperHeightMm < 10 || chosen.paperWidthMm > 5000 ||
        chosen.paperHeightMm > 5000 || chosen.copies < 1) {
        return nullptr;
    }
    chosen.printer = name;
    if (chosen.landscape) std::swap(chosen.paperWidthMm, chosen.paperHeightMm);
    auto dc = new WinDC();
    dc->kind = DcKind::Printer;
    dc->dpi = kPrinterDpi;
    dc->width = MmToDevice(chosen.paperWidthMm);
    dc->height = MmToDevice(chosen.paperHeightMm);
    dc->job = std::make_unique<PrintJob>();
    dc->job->settings = chosen;
    dc->job->pageWidthPt = MmToPoints(chosen.paperWidthMm);
    dc->job->pageHeightPt = MmToPoints(chosen.paperHeightMm);
    return dc;
}

int Win_StartDoc(WinDC* dc, const std::string& documentName) {
    PrintJob* job = JobOf(dc);
    if (job == nullptr || job->inDocument) return kError;
    job->writeFailed = false;
    job->pages = 0;
    job->lastFile.clear();
    job->fd = job->settings.printer == kPdfPrinter
                  ? CreateUnique(Print_PdfDirectory(), SafeBaseName(documentName), &job->path)
                  : CreateSpool(&job->path);
    if (job->fd < 0) return kError;
    cairo_surface_t* surface =
        cairo_pdf_surface_create_for_stream(WriteToJob, job, job->pageWidthPt, job->pageHeightPt);
    cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_TITLE, documentName.c_str());
    WinRect page{0, 0, dc->width, dc->height};
    Dc_Attach(dc, surface, 0, 0, page, 72.0 / kPrinterDpi);
    cairo_surface_destroy(surface);
    job->inDocument = true;
    job->title = documentName;
    return 1;
}

int Win_StartPage(WinDC* dc) {
    PrintJob* job = JobOf(dc);
    if (job == nullptr || !job->inDocument || job->inPage) return kError;
    job->inPage = true;
    job->bandsGiven = 0;
    ++job->pages;
    return 1;
}

int Win_EndPage(WinDC* dc) {
    PrintJob* job = JobOf(dc);
    if (job == nullptr || !job->inPage) return kError;
    cairo_show_page(dc->cr);
    job->inPage = false;
    return job->writeFailed ? kError : 1;
}

int Win_EndDoc(WinDC* dc) {
    PrintJob* job = JobOf(dc);
    if (job == nullptr || !job->inDocument) return kError;
    if (job->inPage) Win_EndPage(dc);
    // A document without pages is no document: nothing is kept.
    if (!CloseFile(dc, job->pages > 0)) return kError;
    if (job->settings.printer == kPdfPrinter) {
        job->lastFile = job->path;
        return 1;
    }
    bool sent = SendToCups(*job, job->title);
    unlink(job->path.c_str());
    return sent ? 1 : kError;
}

int Win_AbortDoc(WinDC* dc) {
    PrintJob* job = JobOf(dc);
    if (job == nullptr || !job->inDocument) return kError;
    CloseFile(dc, false);
    return 1;
}

int Win_NextBand(WinDC* dc, WinRect* band) {
    PrintJob* job = JobOf(dc);
    if (job == nullptr || band == nullptr || !job->inPage) return kError;
    *band = job->bandsGiven == 0 ? WinRect{0, 0, dc->width, dc->height} : WinRect{};
    ++job->bandsGiven;
    return 1;
}

std::string Win_LastPrintFile(WinDC* dc) {
    PrintJob* job = JobOf(dc);
    return job == nullptr ? std::string() : job->lastFile;
}
