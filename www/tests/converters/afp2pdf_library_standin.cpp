// A stand-in AFP-to-PDF library for the tests: the "PDF" describes the input and echoes the
// options. Built with QEL_STANDIN_LACKS_XFORM it has no A2PXFormDoc.
#include <string>

#include "qel_afp_converters.h"
#include "standin_text.h"

namespace {

struct Document {
    std::string installDir;
    std::string input;
    std::string output;
};

[[maybe_unused]] std::string Text(const char* value) { return value != nullptr ? value : "(null)"; }

}  // namespace

extern "C" {

__attribute__((visibility("default"))) void* A2PDocStart(const unsigned char* input, size_t length,
                                                         const char* installDir) {
    auto* d = new Document;
    d->installDir = installDir;
    d->input.assign(reinterpret_cast<const char*>(input), length);
    return d;
}

#ifndef QEL_STANDIN_LACKS_XFORM
__attribute__((visibility("default"))) int32_t A2PXFormDoc(void* handle, QelA2POptions* o) {
    auto* d = static_cast<Document*>(handle);
    if (o->structSize != sizeof(QelA2POptions)) return 1;
    d->output = "%PDF-1.4\n% library " + standin::Describe(d->input) + " dir=" + d->installDir +
                "\n% rotation=" + std::to_string(o->iRotation) + " imagemap='" + Text(o->szImageMapFile) +
                "' options='" + Text(o->szOptionsFile) + "'\n%%EOF\n";
    *o->ppOutput = reinterpret_cast<const unsigned char*>(d->output.data());
    *o->pOutputLength = d->output.size();
    return 0;
}
#endif

__attribute__((visibility("default"))) int32_t A2PDocEnd(void* handle, QelA2POptions*) {
    delete static_cast<Document*>(handle);
    return 0;
}

}  // extern "C"
