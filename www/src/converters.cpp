// The converters' calls. The outside AFP converters and the e-mail program are not part
// of this build: their calls answer as for a missing library or program. The bundle and
// e-mail pages are in bundle_page.cpp and email_page.cpp.
#include "converters.h"

#include <cerrno>
#include <cstdlib>

#include "document_parts.h"

namespace qelwww::detail {

namespace {

// InstallDir of a converter's section, else the gateway's, ending in '/'.
std::string ConverterDir(const QelWWWConfig* config, const char* section) {
    std::string dir = QelWWW_GetIniValue(config, section, "InstallDir").value_or(config->installDir);
    if (dir.empty()) dir = config->installDir;
    if (!dir.empty() && dir.back() != '/') dir += '/';
    return dir;
}

int MissingLibrary(const QelWWWConfig* config, QelWWWSession* session, const char* section,
                   const char* name) {
    const std::string path = ConverterDir(config, section) + name;
    if (config->traceOn) QelWWW_Trace(config, "%s: '%s' could not be loaded", section, path.c_str());
    QelWWW_ReportText(config, session, false, kMsgNoLibrary, {path});
    return 1;
}

// A value of _eoff or _elen: decimal digits only, within 64 bits.
enum class Number { kMissing, kBad, kOk };
Number ReadNumber(QelWWWSession* session, const char* name, uint64_t* value) {
    const char* text = session->parms->Get(name);
    if (text == nullptr) return Number::kMissing;
    if (*text == '\0' || !QelWWW_IsNumber(text)) return Number::kBad;
    errno = 0;
    char* end = nullptr;
    const unsigned long long parsed = std::strtoull(text, &end, 10);
    if (errno == ERANGE || *end != '\0') return Number::kBad;
    *value = parsed;
    return Number::kOk;
}

}  // namespace

int Afp2Html(const QelWWWConfig* config, QelWWWSession* session, const OpenDocument*, std::string_view,
             std::string_view, int) {
    return MissingLibrary(config, session, "afp2html", "libafp2web.so");
}

int Afp2Pdf(const QelWWWConfig* config, QelWWWSession* session, const OpenDocument*, std::string_view,
            std::string_view) {
    return MissingLibrary(config, session, "afp2pdf", "libafp2pdf.so");
}

bool RunEmailProgram(const QelWWWConfig* config, QelWWWSession*, std::string*, std::string*,
                     std::string* program, int* error) {
    *program = config->installDir + "qelemail";
    *error = ENOENT;
    if (config->traceOn)
        QelWWW_Trace(config, "email: unable to invoke qelemail, rc = %d, errno = %d", -1, *error);
    return false;
}

int WriteEmbeddedDoc(const QelWWWConfig* config, QelWWWSession* session, std::string_view data) {
    uint64_t offset = 0;
    uint64_t length = 0;
    const char* names[] = {"_eoff", "_elen"};
    uint64_t* values[] = {&offset, &length};
    for (int i = 0; i < 2; ++i) {
        switch (ReadNumber(session, names[i], values[i])) {
            case Number::kMissing:
                QelWWW_ReportText(config, session, false, QELWWW_MSG_MISSING_ARG, {names[i]});
                return 1;
            case Number::kBad:
                QelWWW_ReportText(config, session, false, QELWWW_MSG_BAD_VALUE, {names[i]});
                return 1;
            case Number::kOk: break;
        }
    }
    // offset + length <= size, written so that it cannot overflow.
    if (offset > data.size() || length > data.size() - offset) {
        QelWWW_ReportText(config, session, false, QELWWW_MSG_BAD_VALUE, {"_elen"});
        return 1;
    }
    QelWWWResponse& r = *session->response;
    r.SetSourceCodePage(1208);
    r.SetTargetCodePage(1208);
    r.AppendBinary(data.data() + offset, static_cast<size_t>(length));
    return 0;
}

}  // namespace qelwww::detail
