// Line data to text: every line of every page with a line feed, a form feed after each
// page, read by the line-data reader straight from memory.
#include <algorithm>
#include <cstring>
#include <new>

#include "arc_ldr.h"
#include "documents.h"
#include "qel_client.h"

namespace qelwww::detail {

namespace {

// The data as the reader's stream: 'R' reads, 'G' tells, 'S' moves from the start.
struct MemoryStream {
    std::string_view data;
    size_t position = 0;
};

bool ReadMemory(void* user, char operation, int64_t count, int64_t* countOut, unsigned char* buffer) {
    auto* stream = static_cast<MemoryStream*>(user);
    switch (operation) {
        case ARC_LDR_READ: {
            if (count < 0 || buffer == nullptr) return false;
            const size_t left = stream->data.size() - stream->position;
            const size_t n = std::min(left, static_cast<size_t>(count));
            if (n != 0) std::memcpy(buffer, stream->data.data() + stream->position, n);
            stream->position += n;
            if (countOut != nullptr) *countOut = static_cast<int64_t>(n);
            return n != 0;
        }
        case ARC_LDR_TELL:
            if (countOut != nullptr) *countOut = static_cast<int64_t>(stream->position);
            return true;
        case ARC_LDR_SEEK:
            if (count < 0 || static_cast<uint64_t>(count) > stream->data.size()) return false;
            stream->position = static_cast<size_t>(count);
            return true;
        default: return false;
    }
}

}  // namespace

bool QelWWW_LineDataToText(const QelWWWConfig* config, const OpenDocument* document, std::string_view data,
                           std::string* text) {
    if (document == nullptr || text == nullptr) return false;
    ArcLdrCallbacks callbacks;
    callbacks.read = ReadMemory;
    // No translation tables are configured for the gateway: the code-page service, else the
    // reader's built-in table.
    callbacks.table = [](int32_t, std::string*, int32_t*) { return false; };
    callbacks.error = [](void*, int) {};
    const uint32_t output = config != nullptr && config->codePage != 0 ? config->codePage : 819;
    ArcLdrReaderPtr reader;
    if (!ArcLDR_Create(&reader, std::move(callbacks), ArcLdrDbcsTable{}, static_cast<int32_t>(output), true,
                       config != nullptr ? config->codePageContext : nullptr))
        return false;
    MemoryStream stream{data, 0};
    ArcLdrOptions options = ArcLDR_OptionsFrom(*document);
    options.user = &stream;
    ArcLdrDocument* opened = ArcLDR_OpenDocument(reader.get(), options, 0);
    if (opened == nullptr) return false;
    std::string out;
    try {
        const int32_t pages = ArcLDR_GetInfo(opened).pageCount;
        for (int32_t page = 0; page < pages; ++page) {
            if (!ArcLDR_GotoPage(opened, page)) return false;
            for (int32_t line = 0;; ++line) {
                std::optional<ArcLdrLine> got = ArcLDR_GetLine(opened, line, 0, 0, false);
                if (!got) break;
                out.append(got->text);
                out += '\n';
            }
            out += '\f';
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    *text = std::move(out);
    return true;
}

std::string QelWWW_PageText(std::string_view text) {
    // A block without text: the page's text content stays the document's.
    static constexpr std::string_view kPageEnd =
        "<span class=\"page-end\" role=\"separator\" "
        "style=\"display:block;border-top:1px dashed #888;margin:0.3em 0\"></span>";
    std::string out;
    size_t start = 0;
    for (size_t feed = text.find('\f'); feed != std::string_view::npos; feed = text.find('\f', start)) {
        out += QelWWW_HtmlEscape(text.substr(start, feed + 1 - start));
        out += kPageEnd;
        start = feed + 1;
    }
    out += QelWWW_HtmlEscape(text.substr(start));
    return out;
}

}  // namespace qelwww::detail
