// The document-information block that travels in the document container: page and
// segment counts, the next-segment URL and form data, page names and index groups. Every
// number is an unsigned 32-bit big-endian word (docs/documents-client.md).
#include <cstring>
#include <new>

#include "doc_internal.h"

namespace {

constexpr size_t kStep = 4096;
constexpr uint32_t kKindMax = 25;

// A zero-filled buffer that grows in steps of kStep.
class BlockWriter {
public:
    BlockWriter() : buffer_(kStep, 0) {}
    void Word(uint32_t value) {
        const unsigned char bytes[4] = {
            static_cast<unsigned char>(value >> 24), static_cast<unsigned char>(value >> 16),
            static_cast<unsigned char>(value >> 8), static_cast<unsigned char>(value)};
        Bytes(bytes, 4);
    }
    void Byte(uint8_t value) { Bytes(&value, 1); }
    // The text and its zero byte.
    void Text(const char* text) {
        const size_t size = std::strlen(text);
        Bytes(reinterpret_cast<const unsigned char*>(text), size);
        Byte(0);
    }
    void Bytes(const unsigned char* data, size_t size) {
        if (used_ + size >= buffer_.size()) buffer_.resize((used_ + size) / kStep * kStep + kStep, 0);
        std::memcpy(buffer_.data() + used_, data, size);
        used_ += size;
    }
    size_t used() const { return used_; }
    std::vector<unsigned char> Take() { return std::move(buffer_); }

private:
    std::vector<unsigned char> buffer_;
    size_t used_ = 0;
};

uint32_t TextLength(const char* text) {
    return text == nullptr ? 0 : static_cast<uint32_t>(std::strlen(text) + 1);
}

// Page names of pages 1 to total in order; a page without an entry or name is empty.
void WritePageNames(BlockWriter& out, const CsDocTables& tables, uint64_t total) {
    uint32_t index = 0;
    const CsDocPageEntry* entry = tables.PageEntry(index);
    for (uint64_t page = 1; page <= total; ++page) {
        while (entry != nullptr && entry->page < page) entry = tables.PageEntry(++index);
        out.Text(entry != nullptr && entry->page == page ? entry->name.c_str() : "");
    }
}

void WriteGroups(BlockWriter& out, OpenDocument* document, const std::vector<std::string>& groups) {
    for (const std::string& name : groups) {
        out.Text(name.c_str());
        std::vector<DocGroupValue> values;
        DocGroupValue value;
        for (bool more = Doc_FirstGroupValue(document, name.c_str(), &value); more;
             more = Doc_NextGroupValue(document, &value))
            values.push_back(value);
        out.Word(static_cast<uint32_t>(values.size()));
        for (const DocGroupValue& v : values) {
            out.Word(v.kind > kKindMax ? 1 : v.kind);
            out.Word(v.page);
            out.Text(v.text);
        }
    }
}

}  // namespace

std::vector<unsigned char> Doc_BuildAppletInfo(OpenDocument* document, const char* segmentUrl,
                                               const char* formData, size_t* length) {
    if (length != nullptr) *length = 0;
    if (document == nullptr) return {};
    try {
        const uint64_t total = (static_cast<uint64_t>(document->segmentCount) - 1) *
                                   static_cast<uint64_t>(document->pagesPerSegment) +
                               static_cast<uint64_t>(document->pagesInLastSegment);
        const char* first = Doc_GetPageName(document, 1);
        const bool names = first != nullptr && *first != '\0';
        std::vector<std::string> groups;
        for (const char* g = Doc_FirstIndexGroup(document); g != nullptr; g = Doc_NextIndexGroup(document))
            groups.emplace_back(g);

        BlockWriter out;
        out.Word(static_cast<uint32_t>(total));
        out.Byte(names ? 1 : 0);
        out.Word(static_cast<uint32_t>(groups.size()));
        out.Word(static_cast<uint32_t>(document->segmentCount));
        out.Word(static_cast<uint32_t>(document->pagesPerSegment));
        out.Word(static_cast<uint32_t>(document->pagesInLastSegment));
        out.Word(TextLength(segmentUrl));
        out.Word(TextLength(formData));
        if (segmentUrl != nullptr) out.Text(segmentUrl);
        if (formData != nullptr) out.Text(formData);
        if (names) WritePageNames(out, *document->pageTables, total);
        WriteGroups(out, document, groups);
        if (length != nullptr) *length = out.used();
        return out.Take();
    } catch (const std::bad_alloc&) {
        if (length != nullptr) *length = 0;
        return {};
    }
}
