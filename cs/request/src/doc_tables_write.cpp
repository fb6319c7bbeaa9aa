// doc_tables_write.cpp - writes a document-table record as a stream: checked whole
// first, so that a record is either written completely or not at all.
#include "arc_codepage.h"
#include "doc_tables_format.h"
#include "qel_cs.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace {

using Name = std::array<char, csdoctab::kObjectNameMax>;
struct ConvertedName {
    Name bytes{};
    uint8_t length = 0;
};

inline constexpr size_t kBufferMin = 32767;
inline constexpr size_t kHeaderBytes = 16;     // flags, code page, total, per object
inline constexpr size_t kObjectEntryMax = 12;  // offset, length, name length, 3 name bytes
inline constexpr size_t kFlushBelow = 512;

bool WrittenEntry(const CsDocTables& t, const CsDocPageEntry& entry) {
    return !entry.values.empty() || ((t.flags & CS_DOCTAB_PAGE_NAMES) && !entry.name.empty());
}

bool FitsText(const std::string& text) { return text.size() <= csdoctab::kWriterTextMax; }

// The object table reads back as it is: its size fits the counts, names fit and can be
// told apart, and computed offsets are what the reader will compute.
bool CheckObjects(const CsDocTables& t) {
    const auto count = csdoctab::ObjectCount(t.total, t.perObject);
    if (!count || *count != t.objectCount) return false;
    if (t.objects.size() != (*count > 1 ? *count - 1 : 0)) return false;
    for (uint32_t i = 0; i < t.objects.size(); ++i) {
        const CsDocObjectEntry& entry = t.objects[i];
        if (csdoctab::NameLength(entry) > csdoctab::kObjectNameMax) return false;
        if (i == 0) continue;
        const CsDocObjectEntry& previous = t.objects[i - 1];
        // An empty name is written as "the name before", which only an empty one is.
        if (entry.name[0] == 0 && previous.name[0] != 0) return false;
        if (t.flags & CS_DOCTAB_COMPUTED_OFFSETS) {
            const auto offset = csdoctab::ComputedOffset(previous, entry.name);
            if (!offset || *offset != entry.offset) return false;
        }
    }
    return true;
}

bool CheckPages(const CsDocTables& t) {
    if (t.groupNames.size() > UINT8_MAX) return false;
    if (!std::all_of(t.groupNames.begin(), t.groupNames.end(), FitsText)) return false;
    uint64_t written = 0;
    for (const auto& block : t.blocks) {
        for (const CsDocPageEntry& entry : block) {
            if (!WrittenEntry(t, entry)) continue;
            if (entry.page == csdoctab::kEndWord || ++written > t.total) return false;
            if ((t.flags & CS_DOCTAB_PAGE_NAMES) && !FitsText(entry.name)) return false;
            if (entry.values.size() > UINT8_MAX) return false;
            for (const CsDocValue& value : entry.values) {
                if (value.group >= t.groupNames.size() || !FitsText(value.text)) return false;
            }
        }
    }
    return true;
}

// Each name that differs from the one before, through the 850 -> 850 converter.
int ConvertNames(ArcIconvContext* pages, const CsDocObjectTable& objects, std::vector<ConvertedName>* out) {
    out->resize(objects.size());
    std::unique_ptr<ArcIconvHandle, int (*)(ArcIconvHandle*)> converter(nullptr, ArcICONV_Close);
    const char* previous = "";
    for (uint32_t i = 0; i < objects.size(); ++i) {
        const CsDocObjectEntry& entry = objects[i];
        if (csdoctab::SameName(entry.name, previous)) continue;
        previous = entry.name;
        if (!converter) {
            ArcIconvHandle* handle = nullptr;
            const int rc = ArcICONV_Open(pages, csdoctab::kNameCodePage, csdoctab::kNameCodePage, &handle);
            if (rc == ARC_ICONV_NO_MEMORY) return CS_NO_MEMORY;
            if (rc != ARC_ICONV_OK) return CS_DOCTAB_NO_CONVERTER;
            converter.reset(handle);
        }
        ConvertedName& name = (*out)[i];
        size_t length = name.bytes.size();
        const int rc = ArcICONV_Convert(converter.get(), entry.name, csdoctab::NameLength(entry),
                                        name.bytes.data(), &length);
        if (rc == ARC_ICONV_NO_MEMORY) return CS_NO_MEMORY;
        if (rc != ARC_ICONV_OK || length == 0) return CS_FAILED;
        name.length = static_cast<uint8_t>(length);
    }
    return CS_OK;
}

// The stream's buffer: every put checks its room first and hands a full buffer on.
class Output {
public:
    Output(size_t size, void* context, CsDataFn sink) : buffer_(size), context_(context), sink_(sink) {}

    void Word(uint32_t word) {
        const unsigned char bytes[4] = {
            static_cast<unsigned char>(word >> 24), static_cast<unsigned char>(word >> 16),
            static_cast<unsigned char>(word >> 8), static_cast<unsigned char>(word)};
        Put(bytes, sizeof bytes);
    }
    void Byte(uint8_t byte) { Put(&byte, 1); }
    void Text(const char* text, size_t length) {
        Byte(static_cast<uint8_t>(length));
        Put(text, length);
    }
    void Text(const std::string& text) { Text(text.data(), text.size()); }
    // Hands the buffer on when less than `room` bytes of it are free.
    void FlushBelow(size_t room) {
        if (buffer_.size() - used_ < room) Flush();
    }
    void Flush() {
        if (used_ > 0) sink_(context_, buffer_.data(), used_);
        used_ = 0;
    }

private:
    void Put(const void* data, size_t length) {
        if (buffer_.size() - used_ < length) Flush();
        std::memcpy(buffer_.data() + used_, data, length);
        used_ += length;
    }

    std::vector<unsigned char> buffer_;
    size_t used_ = 0;
    void* context_;
    CsDataFn sink_;
};

void WriteObjects(const CsDocTables& t, const std::vector<ConvertedName>& names, Output* out) {
    const bool everyOffset = (t.flags & CS_DOCTAB_COMPUTED_OFFSETS) == 0;
    uint32_t index = 0;
    for (const auto& page : t.objects.pages()) {
        for (const CsDocObjectEntry& entry : page) {
            if (index == 0 || everyOffset) out->Word(entry.offset);
            out->Word(entry.length);
            const ConvertedName& name = names[index];
            out->Text(name.bytes.data(), name.length);  // length 0: the name before
            ++index;
        }
        out->Flush();
    }
}

void WritePages(const CsDocTables& t, Output* out) {
    out->Byte(static_cast<uint8_t>(t.groupNames.size()));
    for (const std::string& name : t.groupNames) {
        out->Text(name);
        out->FlushBelow(kFlushBelow);
    }
    for (const auto& block : t.blocks) {
        for (const CsDocPageEntry& entry : block) {
            if (!WrittenEntry(t, entry)) continue;
            out->Word(entry.page);
            if (t.flags & CS_DOCTAB_PAGE_NAMES) out->Text(entry.name);
            out->Byte(static_cast<uint8_t>(entry.values.size()));
            for (const CsDocValue& value : entry.values) {
                out->Byte(value.group);
                out->Word(value.kind);
                out->Text(value.text);
                out->FlushBelow(kFlushBelow);
            }
            out->FlushBelow(kFlushBelow);
        }
    }
}

int Write(ArcIconvContext* pages, const CsDocTables& t, void* context, CsDataFn sink) {
    if (!CheckObjects(t) || !CheckPages(t)) return CS_FAILED;
    const size_t size = std::max(kBufferMin, size_t{t.objects.perPage()} * kObjectEntryMax + kHeaderBytes);
    Output out(size, context, sink);
    std::vector<ConvertedName> names;
    if (int rc = ConvertNames(pages, t.objects, &names); rc != CS_OK) return rc;

    out.Word(t.flags);
    if (t.flags & CS_DOCTAB_CODE_PAGE) out.Word(t.codePage);
    out.Word(t.total);
    out.Word(t.perObject);
    WriteObjects(t, names, &out);
    WritePages(t, &out);
    out.Word(csdoctab::kEndWord);
    out.Flush();
    return CS_OK;
}

}  // namespace

int CsWriteDocTables(ArcIconvContext* pages, const CsDocTables* tables, void* context, CsDataFn sink) {
    if (tables == nullptr || sink == nullptr) return CS_FAILED;
    try {
        return Write(pages, *tables, context, sink);
    } catch (const std::bad_alloc&) {
        return CS_NO_MEMORY;  // only the buffer and the names are allocated, before any write
    }
}
