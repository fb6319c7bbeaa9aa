// AFP to HTML through the outside library libafp2web.so: the whole document as one page,
// or page by page for the applet (each page zlib-compressed, its image beside it).
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "converter_library.h"
#include "converter_settings.h"
#include "converters.h"
#include "document_parts.h"
#include "qel_afp_converters.h"
#include "qel_client.h"

namespace qelwww::detail {

namespace {

constexpr const char* kSection = "afp2html";
constexpr const char* kLibrary = "libafp2web.so";

// Image names are unique within the process: pages of several requests may share a cache.
std::atomic<uint32_t> imageCounter{0};

// The settings of one conversion; the options record points into it.
struct HtmlSettings {
    bool createGif = true;
    bool shade = false;
    std::string shadeColour;
    bool suppressFonts = false;
    std::string fontMap;
    int32_t rotation = 0;
    std::string scale;
    std::string imageMap;
    bool useApplet = true;
};

// The shade colour of the view's shade letter; 'N' turns shading off.
void ApplyShadeLetter(char letter, HtmlSettings* settings) {
    struct Colour {
        char letter;
        const char* name;
    };
    static constexpr Colour kColours[] = {{'C', "cyan"}, {'G', "green"}, {'L', "blue"},  {'M', "maroon"},
                                          {'R', "red"},  {'W', "white"}, {'Y', "yellow"}};
    if (letter == 'N') {
        settings->shade = false;
        settings->shadeColour.clear();
        return;
    }
    for (const Colour& c : kColours)
        if (c.letter == letter) settings->shadeColour = c.name;
}

HtmlSettings ReadSettings(const QelWWWConfig* config, const QelWWWSession* session,
                          const OpenDocument* document) {
    const std::string group = DocumentGroupName(document);
    auto setting = [&](const char* key, const char* builtIn) {
        return ConverterSetting(config, kSection, session->folder, group, key, builtIn);
    };
    HtmlSettings s;
    s.scale = setting("ScaleFactor", "1.0");
    s.createGif = IsTrueSetting(setting("CreateGIF", "TRUE"));
    s.shade = IsTrueSetting(setting("ShadeFlag", "FALSE"));
    s.suppressFonts = IsTrueSetting(setting("SuppressFonts", "FALSE"));
    if (s.suppressFonts) s.fontMap = setting("FontMapFile", "");
    s.imageMap = setting("ImageMapFile", "");
    s.useApplet = IsTrueSetting(setting("UseApplet", "TRUE"));
    if (document != nullptr) {
        ApplyShadeLetter(document->view.imageColour, &s);
        s.rotation = RotationDegrees(document->orientation);
    }
    return s;
}

void TraceSettings(const QelWWWConfig* config, const HtmlSettings& s) {
    if (!config->traceOn) return;
    QelWWW_Trace(config, "afp2html: fCreateGIF = %d", s.createGif ? 1 : 0);
    QelWWW_Trace(config, "afp2html: fShadeFlag = %d", s.shade ? 1 : 0);
    QelWWW_Trace(config, "afp2html: szDefShadeColor = '%s'", s.shadeColour.c_str());
    QelWWW_Trace(config, "afp2html: fSuppressFonts = %d", s.suppressFonts ? 1 : 0);
    QelWWW_Trace(config, "afp2html: szFontMapFile = '%s'", s.fontMap.c_str());
    QelWWW_Trace(config, "afp2html: iRotation = %d", s.rotation);
    QelWWW_Trace(config, "afp2html: szScale = '%s'", s.scale.c_str());
    QelWWW_Trace(config, "afp2html: szImageMapFile = '%s'", s.imageMap.c_str());
}

// The library's entry points; all or none.
struct HtmlEntries {
    QelA2WDocStartFn start = nullptr;
    QelA2WGetPageCountFn pageCount = nullptr;
    QelA2WXFormPageFn page = nullptr;
    QelA2WXFormDocFn document = nullptr;
    QelA2WDocEndFn end = nullptr;
    bool Complete() const { return start && pageCount && page && document && end; }
};

HtmlEntries FindEntries(const ConverterLibrary& library) {
    HtmlEntries e;
    e.start = LibraryEntry<QelA2WDocStartFn>(library, "A2WDocStart");
    e.pageCount = LibraryEntry<QelA2WGetPageCountFn>(library, "A2WGetPageCount");
    e.page = LibraryEntry<QelA2WXFormPageFn>(library, "A2WXFormPage");
    e.document = LibraryEntry<QelA2WXFormDocFn>(library, "A2WXFormDoc");
    e.end = LibraryEntry<QelA2WDocEndFn>(library, "A2WDocEnd");
    return e;
}

// What the library handed out for one call; copied at once, since the library owns it.
struct Output {
    const unsigned char* data = nullptr;
    size_t length = 0;
    const unsigned char* image = nullptr;
    size_t imageLength = 0;

    void Reset() { *this = Output{}; }
    std::string_view Data() const {
        return data != nullptr ? std::string_view(reinterpret_cast<const char*>(data), length)
                               : std::string_view();
    }
    std::string_view Image() const {
        return image != nullptr ? std::string_view(reinterpret_cast<const char*>(image), imageLength)
                                : std::string_view();
    }
};

QelA2WOptions MakeOptions(const HtmlSettings& s, Output* output) {
    QelA2WOptions o{};
    o.structSize = sizeof o;
    o.fCreateGIF = s.createGif ? 1 : 0;
    o.fShadeFlag = s.shade ? 1 : 0;
    o.szDefShadeColor = s.shadeColour.c_str();
    o.fSuppressFonts = s.suppressFonts ? 1 : 0;
    o.szFontMapFile = s.fontMap.c_str();
    o.iRotation = s.rotation;
    o.szScale = s.scale.c_str();
    o.szImageMapFile = s.imageMap.c_str();
    o.szImageName = "";
    o.ppOutput = &output->data;
    o.pOutputLength = &output->length;
    o.ppImage = &output->image;
    o.pImageLength = &output->imageLength;
    return o;
}

void WholeDocument(const QelWWWConfig* config, QelWWWSession* session, const HtmlEntries& entries,
                   void* handle, QelA2WOptions* options, Output* output) {
    output->Reset();
    const int32_t rc = entries.document(handle, options);
    if (config->traceOn) QelWWW_Trace(config, "afp2html: A2WXFormDoc rc = %d", rc);
    const std::string_view html = output->Data();
    if (html.empty()) return;
    session->response->SetContentType("text/html");
    session->response->AppendBinary(html.data(), html.size());
}

// Each page as "QKA2HP_<page>=<length>", its zlib-compressed HTML and a line feed; its
// image, when there is one, as "<image name>=<length>", the bytes and a line feed.
void PageByPage(const QelWWWConfig* config, QelWWWSession* session, const OpenDocument* document,
                const HtmlEntries& entries, void* handle, int segment, QelA2WOptions* options,
                Output* output) {
    const int32_t pages = entries.pageCount(handle);
    if (config->traceOn) QelWWW_Trace(config, "afp2html: %d pages", pages);
    const int64_t perSegment = document != nullptr ? document->pagesPerSegment : 0;
    QelWWWResponse& response = *session->response;
    for (int32_t i = 1; i <= pages; ++i) {
        const int64_t absolute = i + int64_t{segment} * perSegment;
        const int page = absolute > INT32_MAX || absolute < 0 ? i : static_cast<int>(absolute);
        char imageName[48];
        std::snprintf(imageName, sizeof imageName, "QKA2HI%d_%d",
                      static_cast<int>(imageCounter.fetch_add(1) & 0x7FFFFFFF), page);
        options->iPageNumber = page;
        options->szImageName = imageName;
        output->Reset();
        const int32_t rc = entries.page(handle, options);
        if (rc != 0) {
            if (config->traceOn) QelWWW_Trace(config, "afp2html: A2WXFormPage page %d rc = %d", page, rc);
            break;
        }
        std::vector<unsigned char> packed;
        const std::string_view html = output->Data();
        if (QelWWW_CompressBuffer(html.data(), html.size(), 'N', 'O', &packed) != 1) {
            if (config->traceOn) QelWWW_Trace(config, "afp2html: page %d could not be compressed", page);
            break;
        }
        response.PrintBinaryLine("QKA2HP_%d=%zu", page, packed.size());
        response.AppendBinary(packed.data(), packed.size());
        response.AppendBinary("\n", 1);
        const std::string_view image = output->Image();
        if (image.empty()) continue;
        response.PrintBinaryLine("%s=%zu", imageName, image.size());
        response.AppendBinary(image.data(), image.size());
        response.AppendBinary("\n", 1);
    }
}

}  // namespace

int Afp2Html(const QelWWWConfig* config, QelWWWSession* session, const OpenDocument* document,
             std::string_view resources, std::string_view data, int segment) {
    const std::string dir = ConverterInstallDir(config, kSection);
    const HtmlSettings settings = ReadSettings(config, session, document);
    TraceSettings(config, settings);

    const std::string path = dir + kLibrary;
    ConverterLibrary library(ArcOS_LoadLibrary(path.c_str()));
    if (!library) {
        if (config->traceOn)
            QelWWW_Trace(config, "afp2html: '%s' not loaded: %s", path.c_str(), ArcOS_LibraryError().c_str());
        QelWWW_ReportText(config, session, false, kMsgNoLibrary, {path});
        return 1;
    }
    const HtmlEntries entries = FindEntries(library);
    if (!entries.Complete()) {
        if (config->traceOn) QelWWW_Trace(config, "afp2html: failed to get function pointer");
        return 0;
    }

    // The library may keep pointers into its input until A2WDocEnd.
    std::string input;
    input.reserve(resources.size() + data.size());
    input.append(resources).append(data);
    void* handle =
        entries.start(reinterpret_cast<const unsigned char*>(input.data()), input.size(), dir.c_str());
    if (handle == nullptr) {
        if (config->traceOn) QelWWW_Trace(config, "afp2html: A2WDocStart gave no handle");
        return 0;
    }
    Output output;
    QelA2WOptions options = MakeOptions(settings, &output);
    if (settings.useApplet)
        PageByPage(config, session, document, entries, handle, segment, &options, &output);
    else
        WholeDocument(config, session, entries, handle, &options, &output);
    output.Reset();
    entries.end(handle, &options);
    return 0;
}

}  // namespace qelwww::detail
