// Internal: what the e-mail page and the bundle page share - reading the lines and
// numbers of a document, the attachment of an embedded document and its small table.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "qel_www.h"

namespace qelwww::detail {

// One embedded document of a page: where it lies in the document data and what it is.
struct Attachment {
    std::string name;       // as the document gives it (configured code page)
    std::string extension;  // after the name's last '.', "---" when there is none
    uint64_t offset = 0;
    uint64_t length = 0;
    bool hasOffset = false;
    bool hasLength = false;
};

// A field of the document that cannot be used: its key, for message 489.
struct BadField {
    std::string key;
};

// The lines of a document, each without its line end (LF or CR LF). A last line without
// a line feed counts; an empty document has no lines.
std::vector<std::string_view> SplitLines(std::string_view data);

// A decimal number of at most 19 digits (no sign, no blank); nothing otherwise.
std::optional<uint64_t> ParseCount(std::string_view text);

// True when [offset, offset + length) lies inside size bytes (without overflow).
inline bool InsideData(uint64_t offset, uint64_t length, uint64_t size) {
    return offset <= size && length <= size - offset;
}

// The extension of an attachment name: the text after its last '.', "---" when the name
// has no '.' or ends with one.
std::string ExtensionOf(std::string_view name);

// The image file of an extension: the key (upper case) in section "attachment images",
// "qkic_att.gif" when absent or when the extension holds anything but letters and digits.
std::string AttachmentImage(const QelWWWConfig* config, std::string_view extension);

// The small table of one attachment into the text body: a link (url) around the image
// (image: ImageDir + file), and the name below. Every text is HTML-escaped here.
void WriteAttachmentTable(QelWWWSession* session, std::string_view url, std::string_view image,
                          std::string_view name);

// A line of archive text as "%s<br>\n", HTML-escaped (the text already UTF-8).
void WriteTextLine(QelWWWSession* session, std::string_view line);

// The link of an attachment of the session's document.
std::string AttachmentUrl(const QelWWWConfig* config, const QelWWWSession* session, std::string_view docId,
                          const Attachment& attachment);

}  // namespace qelwww::detail
