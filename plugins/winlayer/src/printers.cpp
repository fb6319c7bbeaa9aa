// printers.cpp - the printer list: "PDF" always, CUPS destinations when a server answers.
#include <cups/cups.h>
#include <pwd.h>
#include <unistd.h>

#include <mutex>

#include "printers.h"

namespace {

// How long the list waits for a CUPS server before it goes on without one.
constexpr int kConnectMs = 700;

struct PdfDirectory {
    std::mutex lock;
    std::string path;
};
PdfDirectory& ThePdfDirectory() {
    static PdfDirectory directory;
    return directory;
}

std::string HomeDirectory() {
    if (const char* home = getenv("HOME"); home != nullptr && home[0] == '/') return home;
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
        found->pw_dir != nullptr) {
        return found->pw_dir;
    }
    return "/tmp";
}

}  // namespace

CupsConnection::CupsConnection() {
    http_ =
        httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, kConnectMs, nullptr);
}

CupsConnection::~CupsConnection() {
    if (http_ != nullptr) httpClose(http_);
}

std::vector<WinPrinter> Print_CupsPrinters(CupsConnection& connection) {
    std::vector<WinPrinter> printers;
    if (connection.Get() == nullptr) return printers;
    cups_dest_t* dests = nullptr;
    int count = cupsGetDests2(connection.Get(), &dests);
    for (int i = 0; i < count; ++i) {
        if (dests[i].instance != nullptr || dests[i].name == nullptr) continue;
        WinPrinter printer;
        printer.name = dests[i].name;
        const char* model = cupsGetOption("printer-make-and-model", dests[i].num_options, dests[i].options);
        printer.driver = model != nullptr ? model : "CUPS";
        const char* uri = cupsGetOption("device-uri", dests[i].num_options, dests[i].options);
        printer.port = uri != nullptr ? uri : "";
        printer.isDefault = dests[i].is_default != 0;
        printers.push_back(std::move(printer));
    }
    cupsFreeDests(count, dests);
    return printers;
}

std::vector<WinPrinter> Win_EnumPrinters() {
    CupsConnection connection;
    std::vector<WinPrinter> printers = Print_CupsPrinters(connection);
    WinPrinter pdf;
    pdf.name = kPdfPrinter;
    pdf.driver = "PDF";
    pdf.port = Print_PdfDirectory();
    bool anyDefault = false;
    for (const WinPrinter& printer : printers) anyDefault = anyDefault || printer.isDefault;
    pdf.isDefault = !anyDefault;
    printers.insert(printers.begin(), pdf);
    return printers;
}

std::string Win_DefaultPrinter() {
    for (const WinPrinter& printer : Win_EnumPrinters()) {
        if (printer.isDefault) return printer.name;
    }
    return kPdfPrinter;
}

bool Print_IsKnownPrinter(const std::string& name) {
    if (name == kPdfPrinter) return true;
    CupsConnection connection;
    for (const WinPrinter& printer : Print_CupsPrinters(connection)) {
        if (printer.name == name) return true;
    }
    return false;
}

void Win_SetPdfDirectory(const std::string& directory) {
    PdfDirectory& pdf = ThePdfDirectory();
    std::lock_guard guard(pdf.lock);
    pdf.path = directory;
}

std::string Print_PdfDirectory() {
    PdfDirectory& pdf = ThePdfDirectory();
    std::lock_guard guard(pdf.lock);
    return pdf.path.empty() ? HomeDirectory() : pdf.path;
}
