// AFP to PDF: through the outside library libafp2pdf.so, or (UseExecutable other than "0")
// through the program afp2pdf of the converter's InstallDir, which gets the resources and
// the document as files of the cache directory.
#include <cerrno>

#include "converter_library.h"
#include "converter_settings.h"
#include "converters.h"
#include "document_parts.h"
#include "outside_program.h"
#include "qel_afp_converters.h"
#include "qel_client.h"
#include "temp_files.h"

namespace qelwww::detail {

namespace {

constexpr const char* kSection = "afp2pdf";
constexpr const char* kLibrary = "libafp2pdf.so";
constexpr const char* kProgram = "afp2pdf";
constexpr const char* kPdfType = "application/pdf";

struct PdfSettings {
    std::string dir;
    std::string imageMap;
    std::string options;
    int32_t rotation = 0;
};

PdfSettings ReadSettings(const QelWWWConfig* config, const QelWWWSession* session,
                         const OpenDocument* document) {
    const std::string group = DocumentGroupName(document);
    PdfSettings s;
    s.dir = ConverterInstallDir(config, kSection);
    s.imageMap = ConverterSetting(config, kSection, session->folder, group, "ImageMapFile", "");
    s.options = ConverterSetting(config, kSection, session->folder, group, "OptionsFile", "");
    if (document != nullptr) s.rotation = RotationDegrees(document->orientation);
    return s;
}

void AppendPdf(QelWWWSession* session, std::string_view pdf) {
    if (pdf.empty()) return;
    session->response->SetContentType(kPdfType);
    session->response->AppendBinary(pdf.data(), pdf.size());
}

int ByLibrary(const QelWWWConfig* config, QelWWWSession* session, const PdfSettings& s,
              std::string_view resources, std::string_view data) {
    const std::string path = s.dir + kLibrary;
    ConverterLibrary library(ArcOS_LoadLibrary(path.c_str()));
    if (!library) {
        if (config->traceOn)
            QelWWW_Trace(config, "afp2pdf: '%s' not loaded: %s", path.c_str(), ArcOS_LibraryError().c_str());
        QelWWW_ReportText(config, session, false, kMsgNoLibrary, {path});
        return 1;
    }
    const auto start = LibraryEntry<QelA2PDocStartFn>(library, "A2PDocStart");
    const auto transform = LibraryEntry<QelA2PXFormDocFn>(library, "A2PXFormDoc");
    const auto end = LibraryEntry<QelA2PDocEndFn>(library, "A2PDocEnd");
    if (start == nullptr || transform == nullptr || end == nullptr) {
        if (config->traceOn) QelWWW_Trace(config, "afp2pdf: failed to get function pointer");
        return 0;
    }
    // The library may keep pointers into its input until A2PDocEnd.
    std::string input;
    input.reserve(resources.size() + data.size());
    input.append(resources).append(data);
    void* handle = start(reinterpret_cast<const unsigned char*>(input.data()), input.size(), s.dir.c_str());
    if (handle == nullptr) {
        if (config->traceOn) QelWWW_Trace(config, "afp2pdf: A2PDocStart gave no handle");
        return 0;
    }
    const unsigned char* output = nullptr;
    size_t length = 0;
    QelA2POptions options{};
    options.structSize = sizeof options;
    options.szImageMapFile = s.imageMap.c_str();
    options.szOptionsFile = s.options.c_str();
    options.iRotation = s.rotation;
    options.ppOutput = &output;
    options.pOutputLength = &length;
    const int32_t rc = transform(handle, &options);
    if (config->traceOn) QelWWW_Trace(config, "afp2pdf: A2PXFormDoc rc = %d", rc);
    if (output != nullptr)
        AppendPdf(session, std::string_view(reinterpret_cast<const char*>(output), length));
    end(handle, &options);
    return 0;
}

// The program writes the PDF into a file made for it beforehand, so that the name is ours
// from the start; every file goes when this returns.
int ByProgram(const QelWWWConfig* config, QelWWWSession* session, const PdfSettings& s,
              std::string_view resources, std::string_view data) {
    ConversionFile resourceFile;
    ConversionFile inputFile;
    ConversionFile outputFile;
    int error = resourceFile.Create(config->cacheDir, "a2p", resources);
    if (error == 0) error = inputFile.Create(config->cacheDir, "a2p", data);
    if (error == 0) error = outputFile.Create(config->cacheDir, "a2p");
    if (error != 0) {
        if (config->traceOn) QelWWW_Trace(config, "afp2pdf: temporary file not written, errno = %d", error);
        QelWWW_ReportText(config, session, false, kMsgConvertFailed, {});
        return 1;
    }
    const std::string program = s.dir + kProgram;
    const std::vector<std::string> argv = {
        program, "-o", outputFile.Path(), "-r", resourceFile.Path(), inputFile.Path()};
    if (config->traceOn)
        QelWWW_Trace(config, "afp2pdf: invoking command '%s'", CommandLineText(argv).c_str());
    const ProgramResult result = RunOutsideProgram(argv);
    if (!result.Ok()) {
        if (config->traceOn)
            QelWWW_Trace(config, "afp2pdf: unable to invoke exe, rc = %d, errno = %d", result.exitStatus,
                         result.startError);
        if (result.startError != 0)
            QelWWW_ReportText(config, session, false, kMsgNoProgram,
                              {program, std::to_string(result.startError)});
        else
            QelWWW_ReportText(config, session, false, kMsgConvertFailed, {});
        return 1;
    }
    std::string pdf;
    if (const int rc = ReadProgramOutput(outputFile.Path(), &pdf); rc != 0) {
        if (config->traceOn)
            QelWWW_Trace(config, "afp2pdf: unable to open '%s', errno = %d", outputFile.Path().c_str(), rc);
        QelWWW_ReportText(config, session, false, kMsgConvertFailed, {});
        return 1;
    }
    AppendPdf(session, pdf);
    return 0;
}

}  // namespace

int Afp2Pdf(const QelWWWConfig* config, QelWWWSession* session, const OpenDocument* document,
            std::string_view resources, std::string_view data) {
    const PdfSettings settings = ReadSettings(config, session, document);
    // An empty value is the default: the library.
    const std::string useExecutable = QelWWW_GetIniValue(config, kSection, "UseExecutable").value_or("0");
    if (useExecutable == "0" || useExecutable.empty())
        return ByLibrary(config, session, settings, resources, data);
    return ByProgram(config, session, settings, resources, data);
}

}  // namespace qelwww::detail
