// The content type of a document reply, by the document type and the browser's views, and
// whether the viewer container carries it.
#include <cctype>

#include "document_parts.h"

namespace qelwww::detail {

namespace {

// A key of the `mimetypes` section, else the default.
std::string MimeType(const QelWWWConfig* config, const std::string& key, const char* fallback) {
    if (auto value = QelWWW_GetIniValue(config, "mimetypes", key.c_str()); value && !value->empty())
        return *value;
    return fallback;
}

std::string Upper(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

const char* TextType(const QelWWWSession* session) { return session->noHtml ? "text/plain" : "text/html"; }

}  // namespace

ContentChoice RetrieveContentType(const QelWWWConfig* config, const QelWWWSession* session, char type,
                                  std::string_view extension, std::string_view embedded) {
    const bool text = session->asciiOutput != 0;
    const uint32_t afp = session->view.afpViewMode;
    switch (type) {
        case 'A':
            if (text || (afp & QELWWW_VIEW_HTML) != 0) return {TextType(session), false};
            if ((afp & QELWWW_VIEW_NATIVE) != 0) return {MimeType(config, "AFP", "application/afp"), false};
            if ((afp & QELWWW_VIEW_PDF) != 0) return {MimeType(config, "PDF", "application/pdf"), false};
            return {"application/afp", true};
        case 'L':
            if (text) return {TextType(session), false};
            if ((session->view.lineViewMode & QELWWW_VIEW_NATIVE) != 0)
                return {MimeType(config, "LINE", "application/line"), false};
            return {MimeType(config, "AFP", "application/afp"), true};
        case 'P': return {MimeType(config, "PDF", "application/pdf"), false};
        case 'T': return {MimeType(config, "TIFF", "image/tiff"), false};
        case 'B': return {MimeType(config, "BMP", "image/bmp"), false};
        case 'G': return {MimeType(config, "GIF", "image/gif"), false};
        case 'X': return {MimeType(config, "PCX", "image/pcx"), false};
        // JPEG documents share the PCX key.
        case 'F': return {MimeType(config, "PCX", "image/jpeg"), false};
        case 'U': return {MimeType(config, Upper(extension), "application/unknown"), false};
        case 'E':
            if (text) return {TextType(session), false};
            if (!embedded.empty()) return {MimeType(config, Upper(embedded), "application/unknown"), false};
            return {MimeType(config, "EMAIL", "text/html"), false};
        case 'O':
            if (!embedded.empty()) return {MimeType(config, Upper(embedded), "application/unknown"), false};
            return {MimeType(config, "QKDOC", "text/html"), false};
        default: return {"text/plain", false};
    }
}

ContentChoice SegmentContentType(const QelWWWConfig* config, const QelWWWSession* session, char type) {
    const bool text = session->asciiOutput != 0;
    const uint32_t afp = session->view.afpViewMode;
    switch (type) {
        case 'L':
            if (text) return {TextType(session), false};
            return {"application/afp", true};
        case 'A':
            if (text || (afp & QELWWW_VIEW_HTML) != 0) return {TextType(session), false};
            if ((afp & QELWWW_VIEW_NATIVE) != 0) return {MimeType(config, "AFP", "application/afp"), false};
            if ((afp & QELWWW_VIEW_PDF) != 0) return {MimeType(config, "PDF", "application/pdf"), false};
            return {"application/afp", true};
        default: return {"text/plain", false};
    }
}

}  // namespace qelwww::detail
