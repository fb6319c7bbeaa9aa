// doc_tables_read.cpp - the incremental reader of document-table streams: one state per
// item, an item split over pieces is gathered in the reader's buffer.
#include "arc_codepage.h"
#include "doc_tables_format.h"
#include "qel_cs.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

namespace {

using csdoctab::kItemBufferSize;

// The item each state waits for.
enum State : int {
    kFlags = 0,
    kCodePage,
    kTotal,
    kPerObject,
    kObjectOffset,
    kObjectLength,
    kObjectNameLength,
    kObjectName,
    kGroupCount,
    kGroupNameLength,
    kGroupName,
    kPageNumber,
    kPageNameLength,
    kPageName,
    kValueCount,
    kValueGroup,
    kValueKind,
    kValueTextLength,
    kValueText,
};

struct ConverterCloser {
    void operator()(ArcIconvHandle* handle) const { ArcICONV_Close(handle); }
};

uint32_t Word(const unsigned char* item) {
    return (uint32_t{item[0]} << 24) | (uint32_t{item[1]} << 16) | (uint32_t{item[2]} << 8) | item[3];
}

}  // namespace

struct CsDocReader {
    bool done = false;
    int state = kFlags;
    size_t need = 4;  // bytes of the current item
    size_t buffered = 0;
    unsigned char buffer[kItemBufferSize] = {};
    CsDocPageEntry* entry = nullptr;  // the page entry being filled
    uint32_t objectIndex = 0;
    uint8_t groupCount = 0;
    uint8_t groupIndex = 0;
    uint8_t valueCount = 0;
    uint8_t valueIndex = 0;
    char previousName[4] = {};
    std::unique_ptr<ArcIconvHandle, ConverterCloser> converter;  // 850 -> 850, opened at the first name
};

void CsDocReaderDeleter::operator()(CsDocReader* reader) const { delete reader; }

namespace {

class Reader {
public:
    Reader(ArcIconvContext* pages, CsDocTables* tables) : pages_(pages), t_(*tables), r_(*tables->reader) {}

    // Acts on one whole item: CS_OK, or the failure that ends the read.
    int Take(const unsigned char* item) {
        switch (r_.state) {
            case kFlags: return Flags(Word(item));
            case kCodePage: t_.codePage = Word(item); return Next(kTotal, 4);
            case kTotal: t_.total = Word(item); return Next(kPerObject, 4);
            case kPerObject: return PerObject(Word(item));
            case kObjectOffset: Current().offset = Word(item); return Next(kObjectLength, 4);
            case kObjectLength: Current().length = Word(item); return Next(kObjectNameLength, 1);
            case kObjectNameLength:
                if (item[0] > csdoctab::kObjectNameMax) return CS_FAILED;
                return Next(kObjectName, item[0]);
            case kObjectName: return ObjectName(item, r_.need);
            case kGroupCount: return GroupCount(item[0]);
            case kGroupNameLength: return Next(kGroupName, item[0]);
            case kGroupName: return GroupName(item, r_.need);
            case kPageNumber: return PageNumber(Word(item));
            case kPageNameLength: return Next(kPageName, item[0]);
            case kPageName: r_.entry->name.assign(Text(item), r_.need); return Next(kValueCount, 1);
            case kValueCount: return ValueCount(item[0]);
            case kValueGroup:
                if (item[0] >= r_.groupCount) return CS_FAILED;
                r_.entry->values.back().group = item[0];
                return Next(kValueKind, 4);
            case kValueKind: r_.entry->values.back().kind = Word(item); return Next(kValueTextLength, 1);
            case kValueTextLength: return Next(kValueText, item[0]);
            case kValueText: return ValueText(item, r_.need);
        }
        return CS_FAILED;
    }

private:
    static const char* Text(const unsigned char* item) { return reinterpret_cast<const char*>(item); }

    int Next(int state, size_t need) {
        r_.state = state;
        r_.need = need;
        return CS_OK;
    }

    // The object entry of the current object index (the last one added).
    CsDocObjectEntry& Current() { return t_.objects[r_.objectIndex]; }

    int Flags(uint32_t flags) {
        t_.flags = flags;
        if (flags & CS_DOCTAB_CODE_PAGE) return Next(kCodePage, 4);
        t_.codePage = csdoctab::kDefaultCodePage;
        return Next(kTotal, 4);
    }

    // The object table is not sized here: a count from the stream may be up to 2^32, and
    // entries are only made as their bytes arrive.
    int PerObject(uint32_t perObject) {
        t_.perObject = perObject;
        const auto count = csdoctab::ObjectCount(t_.total, perObject);
        if (!count) return CS_FAILED;
        t_.objectCount = *count;
        t_.objects.Reset(csdoctab::ObjectsPerPage(*count));
        if (*count <= 1) return Next(kGroupCount, 1);
        r_.objectIndex = 0;
        t_.objects.Add();
        return Next(kObjectOffset, 4);
    }

    int ObjectName(const unsigned char* item, size_t length) {
        CsDocObjectEntry& entry = Current();
        if (length == 0) {
            std::memcpy(entry.name, r_.previousName, sizeof entry.name);
        } else if (int rc = Convert(item, length, entry.name); rc != CS_OK) {
            return rc;
        }
        if (r_.objectIndex > 0 && (t_.flags & CS_DOCTAB_COMPUTED_OFFSETS)) {
            const CsDocObjectEntry& previous = t_.objects[r_.objectIndex - 1];
            const auto offset = csdoctab::ComputedOffset(previous, entry.name);
            if (!offset) return CS_FAILED;
            entry.offset = *offset;
        }
        std::memcpy(r_.previousName, entry.name, sizeof r_.previousName);
        ++r_.objectIndex;
        if (r_.objectIndex >= t_.objectCount - 1) return Next(kGroupCount, 1);
        t_.objects.Add();
        if (t_.flags & CS_DOCTAB_COMPUTED_OFFSETS) return Next(kObjectLength, 4);
        return Next(kObjectOffset, 4);
    }

    // An object name through the 850 -> 850 converter into its 3-byte slot.
    int Convert(const unsigned char* item, size_t length, char* name) {
        if (!r_.converter) {
            ArcIconvHandle* handle = nullptr;
            const int rc = ArcICONV_Open(pages_, csdoctab::kNameCodePage, csdoctab::kNameCodePage, &handle);
            if (rc == ARC_ICONV_NO_MEMORY) return CS_NO_MEMORY;
            if (rc != ARC_ICONV_OK) return CS_DOCTAB_NO_CONVERTER;
            r_.converter.reset(handle);
        }
        char out[csdoctab::kObjectNameMax] = {};
        size_t outLength = sizeof out;
        const int rc = ArcICONV_Convert(r_.converter.get(), Text(item), length, out, &outLength);
        if (rc == ARC_ICONV_NO_MEMORY) return CS_NO_MEMORY;
        // A name is a terminated text: a converted name that is cut, empty or holds a zero
        // byte could not be told apart from another one.
        if (rc != ARC_ICONV_OK || outLength == 0 || std::memchr(out, 0, outLength) != nullptr)
            return CS_FAILED;
        std::memset(name, 0, sizeof(CsDocObjectEntry::name));
        std::memcpy(name, out, outLength);
        return CS_OK;
    }

    int GroupCount(uint8_t count) {
        r_.groupCount = count;
        r_.groupIndex = 0;
        if (count == 0) return Next(kPageNumber, 4);
        t_.groupNames.reserve(count);
        return Next(kGroupNameLength, 1);
    }

    int GroupName(const unsigned char* item, size_t length) {
        t_.groupNames.emplace_back(Text(item), length);
        ++r_.groupIndex;
        if (r_.groupIndex < r_.groupCount) return Next(kGroupNameLength, 1);
        return Next(kPageNumber, 4);
    }

    int PageNumber(uint32_t page) {
        if (page == csdoctab::kEndWord) return End();
        if (t_.pageEntryCount >= t_.total) return CS_FAILED;  // more entries than pages
        r_.entry = &t_.AddPageEntry();
        r_.entry->page = page;
        if (t_.flags & CS_DOCTAB_PAGE_NAMES) return Next(kPageNameLength, 1);
        return Next(kValueCount, 1);
    }

    int End() {
        if (!t_.blocks.empty()) {
            t_.blocks.back().shrink_to_fit();
            if (t_.blocks.size() == 1) t_.entriesPerBlock = static_cast<uint16_t>(t_.pageEntryCount);
        }
        r_.entry = nullptr;
        r_.done = true;
        return CS_OK;
    }

    int ValueCount(uint8_t count) {
        r_.valueCount = count;
        r_.valueIndex = 0;
        if (count == 0) return Next(kPageNumber, 4);
        r_.entry->values.reserve(count);
        r_.entry->values.emplace_back();
        return Next(kValueGroup, 1);
    }

    int ValueText(const unsigned char* item, size_t length) {
        r_.entry->values.back().text.assign(Text(item), length);
        ++r_.valueIndex;
        if (r_.valueIndex >= r_.valueCount) return Next(kPageNumber, 4);
        r_.entry->values.emplace_back();
        return Next(kValueGroup, 1);
    }

    ArcIconvContext* pages_;
    CsDocTables& t_;
    CsDocReader& r_;
};

// Feeds the piece through the reader until it is used up or the end word was read.
int FeedPiece(ArcIconvContext* pages, CsDocTables* tables, const unsigned char* data, size_t length) {
    CsDocReader& r = *tables->reader;
    Reader reader(pages, tables);
    size_t used = 0;
    while (!r.done) {
        const size_t available = r.buffered + (length - used);
        if (available < r.need) {
            if (length > used) std::memcpy(r.buffer + r.buffered, data + used, length - used);
            r.buffered += length - used;
            return CS_OK;
        }
        const unsigned char* item = data + used;
        if (r.buffered > 0) {
            const size_t rest = r.need - r.buffered;
            std::memcpy(r.buffer + r.buffered, data + used, rest);
            used += rest;
            r.buffered = 0;
            item = r.buffer;
        } else {
            used += r.need;
        }
        if (int rc = reader.Take(item); rc != CS_OK) return rc;
    }
    tables->reader.reset();
    return CS_OK;
}

int ReadPiece(ArcIconvContext* pages, CsDocTables* tables, const unsigned char* data, size_t length) {
    try {
        return FeedPiece(pages, tables, data, length);
    } catch (const std::bad_alloc&) {
        return CS_NO_MEMORY;
    }
}

}  // namespace

int CsConvertDocument(ArcIconvContext* pages, const void* data, size_t length, int first,
                      CsDocTables** tables) {
    if (tables == nullptr) return CS_FAILED;
    if (first) {
        try {
            auto made = std::make_unique<CsDocTables>();
            made->reader.reset(new CsDocReader);
            *tables = made.release();
        } catch (const std::bad_alloc&) {
            *tables = nullptr;
            return CS_NO_MEMORY;
        }
    }
    if (*tables == nullptr) return CS_FAILED;
    if ((*tables)->reader == nullptr) return CS_OK;  // the end word was read before
    const int rc = data != nullptr || length == 0
                       ? ReadPiece(pages, *tables, static_cast<const unsigned char*>(data), length)
                       : CS_FAILED;
    if (rc != CS_OK) {
        CsFreeDocTables(*tables, 1);
        *tables = nullptr;
    }
    return rc;
}
