// The page of an e-mail document: its text, then a small table per attachment with a link
// to the attachment. The header lines at the start of the document say where each lies.
#include <algorithm>
#include <limits>

#include "code_page_converter.h"
#include "converters.h"
#include "document_parts.h"
#include "embedded_pages.h"
#include "utf8_text.h"

namespace qelwww::detail {

namespace {

constexpr uint32_t kUtf8 = 1208;

struct EmailHeader {
    uint32_t codePage = 0;
    std::optional<uint64_t> textOffset;
    std::optional<uint64_t> textLength;
    std::vector<Attachment> attachments;
};

enum class Key { kCodePage, kGroupOffset, kGroupLength, kName, kOffset, kLength, kNone };

Key KeyOf(std::string_view key) {
    static constexpr std::pair<std::string_view, Key> kKeys[] = {
        {"CODEPAGE", Key::kCodePage},          {"GROUP_OFFSET", Key::kGroupOffset},
        {"GROUP_LENGTH", Key::kGroupLength},   {"EMBEDDED_DOC_NAME", Key::kName},
        {"EMBEDDED_DOC_OFFSET", Key::kOffset}, {"EMBEDDED_DOC_LENGTH", Key::kLength},
    };
    for (const auto& [name, kind] : kKeys)
        if (name == key) return kind;
    return Key::kNone;
}

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

// One header line into the header. False when its value cannot be used.
bool TakeField(Key kind, std::string_view value, EmailHeader* header) {
    if (kind == Key::kName) {
        Attachment attachment;
        attachment.name = std::string(value);
        attachment.extension = ExtensionOf(value);
        header->attachments.push_back(std::move(attachment));
        return true;
    }
    const std::optional<uint64_t> number = ParseCount(TrimBlanks(value));
    if (!number) return false;
    switch (kind) {
        case Key::kCodePage:
            if (*number == 0 || *number > std::numeric_limits<uint32_t>::max()) return false;
            header->codePage = static_cast<uint32_t>(*number);
            return true;
        case Key::kGroupOffset: header->textOffset = number; return true;
        case Key::kGroupLength: header->textLength = number; return true;
        case Key::kOffset:
        case Key::kLength: {
            // The place of an attachment belongs to the name before it.
            if (header->attachments.empty()) return false;
            Attachment& last = header->attachments.back();
            (kind == Key::kOffset ? last.offset : last.length) = *number;
            (kind == Key::kOffset ? last.hasOffset : last.hasLength) = true;
            return true;
        }
        case Key::kName:
        case Key::kNone: break;
    }
    return false;
}

// The header lines: from the start of the document up to the first line that is not one
// of them, or to the first byte of the text. False with *bad naming the field in error.
bool ReadEmailHeader(std::string_view data, uint32_t defaultCodePage, EmailHeader* header, BadField* bad) {
    header->codePage = defaultCodePage;
    for (std::string_view line : SplitLines(data)) {
        const auto at = static_cast<uint64_t>(line.data() - data.data());
        if (header->textOffset && at >= *header->textOffset) break;
        const size_t colon = line.find(':');
        if (colon == std::string_view::npos) break;
        const Key kind = KeyOf(line.substr(0, colon));
        if (kind == Key::kNone) break;
        if (!TakeField(kind, line.substr(colon + 1), header)) {
            bad->key = std::string(line.substr(0, colon));
            return false;
        }
    }
    const uint64_t size = data.size();
    if (header->textOffset.has_value() != header->textLength.has_value()) {
        bad->key = header->textOffset ? "GROUP_LENGTH" : "GROUP_OFFSET";
        return false;
    }
    if (header->textOffset && !InsideData(*header->textOffset, *header->textLength, size)) {
        bad->key = "GROUP_LENGTH";
        return false;
    }
    for (const Attachment& attachment : header->attachments) {
        if (!attachment.hasOffset) {
            bad->key = "EMBEDDED_DOC_OFFSET";
            return false;
        }
        if (!attachment.hasLength || !InsideData(attachment.offset, attachment.length, size)) {
            bad->key = "EMBEDDED_DOC_LENGTH";
            return false;
        }
    }
    return true;
}

}  // namespace

int ParseEmbeddedHeader(const QelWWWConfig* config, QelWWWSession* session, OpenFolder*, const SearchHit*,
                        std::string_view data, std::string_view docId, const std::string&) {
    EmailHeader header;
    BadField bad;
    const uint32_t configured = config->codePage != 0 ? config->codePage : 819;
    if (!ReadEmailHeader(data, configured, &header, &bad)) {
        QelWWW_ReportText(config, session, false, QELWWW_MSG_BAD_VALUE, {bad.key});
        return 1;
    }
    // Everything is checked and converted before the page is begun: an error reply must
    // find the response untouched.
    std::string text;
    if (header.textOffset) {
        const std::string_view raw =
            data.substr(static_cast<size_t>(*header.textOffset), static_cast<size_t>(*header.textLength));
        if (header.codePage == kUtf8) {
            text = std::string(raw);
        } else {
            const CodePageConverter converter(config->codePageContext, header.codePage, kUtf8);
            if (!converter.Usable()) {
                QelWWW_ReportText(config, session, false, QELWWW_MSG_BAD_VALUE, {"CODEPAGE"});
                return 1;
            }
            std::optional<std::string> converted = converter.Convert(raw);
            if (!converted) {
                QelWWW_ReportText(config, session, false, kMsgConvertFailed, {});
                return 1;
            }
            text = std::move(*converted);
        }
    }

    QelWWWResponse& r = *session->response;
    r.SetSourceCodePage(kUtf8);
    r.SetTargetCodePage(kUtf8);
    QelWWW_WriteHeader(config, session);
    for (std::string_view line : SplitLines(text)) WriteTextLine(session, line);
    for (const Attachment& attachment : header.attachments) {
        const std::string image = config->imageDir + AttachmentImage(config, attachment.extension);
        WriteAttachmentTable(session, AttachmentUrl(config, session, docId, attachment), image,
                             ConfiguredToUtf8(config, attachment.name));
    }
    QelWWW_WriteTrailer(config, session);
    return 0;
}

}  // namespace qelwww::detail
