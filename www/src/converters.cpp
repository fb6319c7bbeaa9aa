// The embedded document of an e-mail document or bundle: one range of its data.
#include "converters.h"

#include <cerrno>
#include <cstdlib>

#include "document_parts.h"

namespace qelwww::detail {

namespace {

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
