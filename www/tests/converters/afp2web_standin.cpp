// A stand-in AFP-to-HTML library for the tests: pages are the input's pieces between form
// feeds; every output describes its input and echoes the options it was given. Input that
// starts with "NOTAFP" gets no handle. Built with QEL_STANDIN_LACKS_PAGE it has no
// A2WXFormPage.
#include <string>
#include <vector>

#include "qel_afp_converters.h"
#include "standin_text.h"

namespace {

struct Document {
    std::string installDir;
    std::vector<std::string> pages;
    size_t next = 0;
    std::string input;
    std::string output;  // owned until the next call, as the interface says
    std::string image;
};

std::string Text(const char* value) { return value != nullptr ? value : "(null)"; }

std::string OptionsLine(const QelA2WOptions* o) {
    return "options: gif=" + std::to_string(o->fCreateGIF) + " shade=" + std::to_string(o->fShadeFlag) +
           " colour='" + Text(o->szDefShadeColor) + "' fonts=" + std::to_string(o->fSuppressFonts) +
           " fontmap='" + Text(o->szFontMapFile) + "' rotation=" + std::to_string(o->iRotation) + " scale='" +
           Text(o->szScale) + "' imagemap='" + Text(o->szImageMapFile) + "'";
}

void Hand(Document* d, QelA2WOptions* o) {
    *o->ppOutput = reinterpret_cast<const unsigned char*>(d->output.data());
    *o->pOutputLength = d->output.size();
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) void* A2WDocStart(const unsigned char* input, size_t length,
                                                         const char* installDir) {
    const std::string_view bytes(reinterpret_cast<const char*>(input), length);
    if (bytes.substr(0, 6) == "NOTAFP") return nullptr;
    auto* d = new Document;
    d->installDir = installDir;
    d->input.assign(bytes);
    size_t start = 0;
    for (size_t i = 0; i <= bytes.size(); ++i) {
        if (i == bytes.size() || bytes[i] == '\f') {
            d->pages.emplace_back(bytes.substr(start, i - start));
            start = i + 1;
        }
    }
    return d;
}

__attribute__((visibility("default"))) int32_t A2WGetPageCount(void* handle) {
    return static_cast<int32_t>(static_cast<Document*>(handle)->pages.size());
}

#ifndef QEL_STANDIN_LACKS_PAGE
__attribute__((visibility("default"))) int32_t A2WXFormPage(void* handle, QelA2WOptions* o) {
    auto* d = static_cast<Document*>(handle);
    if (o->structSize != sizeof(QelA2WOptions) || d->next >= d->pages.size()) return 1;
    const size_t index = d->next++;
    d->output = "<p>page " + std::to_string(o->iPageNumber) + " image " + Text(o->szImageName) + " " +
                standin::Describe(d->pages[index]) + "</p>";
    Hand(d, o);
    // Every other page has an image, and only when GIFs are asked for.
    if (o->fCreateGIF != 0 && index % 2 == 0) {
        d->image = "GIF89a:" + Text(o->szImageName);
        *o->ppImage = reinterpret_cast<const unsigned char*>(d->image.data());
        *o->pImageLength = d->image.size();
    }
    return 0;
}
#endif

__attribute__((visibility("default"))) int32_t A2WXFormDoc(void* handle, QelA2WOptions* o) {
    auto* d = static_cast<Document*>(handle);
    if (o->structSize != sizeof(QelA2WOptions)) return 1;
    d->output = "<html><body>\n<p>document " + standin::Describe(d->input) +
                " pages=" + std::to_string(d->pages.size()) + " dir=" + d->installDir + "</p>\n<p>" +
                OptionsLine(o) + "</p>\n</body></html>\n";
    Hand(d, o);
    return 0;
}

__attribute__((visibility("default"))) int32_t A2WDocEnd(void* handle, QelA2WOptions*) {
    delete static_cast<Document*>(handle);
    return 0;
}

}  // extern "C"
