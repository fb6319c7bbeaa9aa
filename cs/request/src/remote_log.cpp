// A System Log record of a remote handle goes to the server's log as request 91: the
// external message number, the record's word, and its text as the data.
#include "dispatcher_detail.h"

#include <string>

namespace csreq::detail {
namespace {

struct TextSource {
    const std::string* text;
};

// The whole text is one piece, and the last.
int GiveText(void* context, const char** data, uint32_t* length) {
    const auto* source = static_cast<const TextSource*>(context);
    *data = source->text->data();
    *length = static_cast<uint32_t>(source->text->size());
    return 0;
}

}  // namespace

int SendLogRecord(CsHandle* handle, const CsSystemLogRecord& record) {
    if (handle == nullptr) return CS_FAILED;
    // The formatted text is at most 8 KiB plus the host text; never near the 16 MiB of a
    // data message, but a message is cut into data messages anyway.
    TextSource source{&record.text};
    auto args = MakeLogMessage(record.number, 'N', static_cast<uint32_t>(record.word), GiveText, &source);
    if (args == nullptr) return CS_NO_MEMORY;
    // The message is often about the server's last answer: its text must survive the
    // request that logs it.
    std::string kept(handle->serverMessage);
    int rc = RunRequest(handle, *args, nullptr);
    CsSetText(handle->serverMessage, sizeof handle->serverMessage, kept.c_str());
    return rc;
}

}  // namespace csreq::detail
