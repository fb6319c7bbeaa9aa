// bulk_deliver.cpp - delivering a sorted bulk batch, each span read once.
#include "bulk_deliver.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

#include "arc_compress.h"
#include "arc_platform.h"

namespace qelsm::bulk {

Block BlockOf(const Entry& entry) {
    if (entry.MultiPart()) return {};
    return {entry.Ref().compressedOffset, entry.Ref().compressedLength};
}

namespace {

bool Plain(char letter) { return letter == 'N' || letter == 'D'; }

// Joins the document m to the delivery when its data follows on directly; false stops
// the delivery before m.
bool Joins(Delivery* d, const Entry& before, const Entry& m) {
    const CsXdrObjectRef& ref = m.Ref();
    if (ref.compression != d->letter) return false;
    if (CsSameDocument(before.row, m.row) == 0) return false;
    if (m.MultiPart()) return false;
    const uint64_t end = d->window + d->windowLength;
    if (ref.compressedOffset == d->block.offset && ref.compressedLength == d->block.length &&
        ref.offset == end)
        return true;
    // The next block of an uncompressed object, when the window reaches the end of the
    // range so far and the document is its whole block.
    if (Plain(d->letter) && d->block.length != 0 &&
        ref.compressedOffset == d->block.offset + d->block.length && ref.offset == 0 &&
        (m.docLength == ref.compressedLength || m.docLength == 0) && end == d->block.length) {
        if (ref.compressedLength == 0) return false;
        d->block.length += ref.compressedLength;
        return true;
    }
    return false;
}

}  // namespace

std::vector<Delivery> PlanDeliveries(std::span<const Entry> run) {
    std::vector<Delivery> deliveries;
    for (size_t k = 0; k < run.size();) {
        Delivery d;
        d.first = k;
        d.count = 1;
        d.letter = run[k].Ref().compression;
        d.block = BlockOf(run[k]);
        d.window = run[k].MultiPart() ? 0 : run[k].Ref().offset;
        d.windowLength = run[k].docLength;
        d.offsets.push_back(0);
        uint64_t output = 0;
        for (size_t m = k + 1; m < run.size() && d.windowLength != 0; ++m) {
            if (!Joins(&d, run[m - 1], run[m])) break;
            output += run[m - 1].docLength;
            d.offsets.push_back(output);
            ++d.count;
            d.windowLength = run[m].docLength == 0 ? 0 : d.windowLength + run[m].docLength;
        }
        k += d.count;
        deliveries.push_back(std::move(d));
    }
    return deliveries;
}

size_t RunEnd(std::span<const Entry> entries, size_t begin, bool inMemory) {
    if (!inMemory || entries[begin].AtExit()) return begin + 1;
    const Entry& first = entries[begin];
    size_t end = begin + 1;
    while (end < entries.size() && !entries[end].AtExit() &&
           entries[end].group->group->number == first.group->group->number &&
           std::strcmp(entries[end].Ref().name, first.Ref().name) == 0)
        ++end;
    return end;
}

Block SpanOf(std::span<const Entry> run) {
    Block span = BlockOf(run[0]);
    for (const Entry& entry : run) {
        if (span.length == 0) break;
        const Block block = BlockOf(entry);
        // A block before the span's start cannot occur in sorted order; read it whole then.
        if (block.length == 0 || block.offset < span.offset) {
            span.length = 0;
        } else {
            span.length = std::max(span.length, block.offset + block.length - span.offset);
        }
    }
    return span;
}

int SmBulkCollect(void* self, int64_t, char, const char* data, uint32_t length) {
    auto* collector = static_cast<SmBulkCollector*>(self);
    if (length == 0 || collector->status != CS_OK) return 1;
    try {
        collector->data.append(data, length);
    } catch (const std::bad_alloc&) {
        collector->status = CS_NO_MEMORY;
    }
    return 1;
}

int SmBulkServeWindow(const SmBulkCollector& collector, Block block, std::string_view* window) {
    const uint64_t size = collector.data.size();
    if (block.offset < collector.start || block.offset - collector.start > size) return CS_FAILED;
    const uint64_t from = block.offset - collector.start;
    const uint64_t length = block.length == 0 ? size - from : block.length;
    if (length > size - from) return CS_FAILED;
    *window = std::string_view(collector.data).substr(from, length);
    return CS_OK;
}

namespace {

// Puts the caller's callback context back for the time of a caller's callback.
class CallerContext {
public:
    CallerContext(CsHandle* handle, void* context) : handle_(handle), saved_(handle->callbackContext) {
        handle->callbackContext = context;
    }
    ~CallerContext() { handle_->callbackContext = saved_; }
    CallerContext(const CallerContext&) = delete;
    CallerContext& operator=(const CallerContext&) = delete;

private:
    CsHandle* handle_;
    void* saved_;
};

// A stored length as the segment retrieval takes it: one that a 32-bit word cannot hold
// reads to the end of the object (the window still cuts the documents out).
uint32_t SegmentLength(uint64_t length) {
    return length > std::numeric_limits<uint32_t>::max() ? 0 : static_cast<uint32_t>(length);
}

int PipeSegment(void* stream, int64_t, char, const char* data, uint32_t length) {
    return CsDataPipeRun(stream, reinterpret_cast<const unsigned char*>(data), length);
}

// SmBulkNoteFlag: the note byte of the document, asked for when it is not known.
int NoteByte(DeliverRun& run, const Entry& entry, char* note) {
    CsXdrHitRow* row = entry.row;
    if (run.request->readNotes && row->noteFlag != 'Y' && row->noteFlag != 'N') {
        const int rc = CsGetNotes(run.secondary, entry.group->group->number, row, nullptr);
        if (rc != CS_OK) return rc;
    }
    *note = static_cast<char>(row->noteFlag);
    return CS_OK;
}

// The letter the delivery goes out in, told to the letter callback.
char DeliveryLetter(DeliverRun& run, const Delivery& d) {
    char letter = run.request->keepCompression ? d.letter : 'N';
    if (run.request->letter == nullptr) return letter;
    char told = 'D';
    if (letter == 'N') {
        if (!(run.handle->def.flags1 & CS_F1_NO_COMPRESS_DATA)) {
            char stored = d.letter;
            char chosen = letter;
            if (ArcCMP_ChooseType(letter, &stored, &chosen, d.windowLength) == 0) letter = chosen;
        }
        told = letter;
    }
    CallerContext caller(run.handle, run.context);
    run.request->letter(run.context, told);
    return letter;
}

// The application a storage-exit document belongs to: with several, the one named by
// the row's value of the first text-search field; else the first.
const CsXdrApplEntry* ApplicationOf(const Entry& entry) {
    const CsXdrApplGroup* group = entry.group->group;
    if (group->applCount == 0) return nullptr;
    if (group->applCount > 1 && group->fields != nullptr) {
        const CsXdrHitRow* row = entry.row;
        for (uint16_t f = 0; f < group->fieldCount && f < row->valueCount; ++f) {
            if (!(group->fields[f].flags & CS_FIELD_TEXT_SEARCH)) continue;
            const char* value = row->values != nullptr ? row->values[f].v.text : nullptr;
            const bool text =
                row->values != nullptr && (row->values[f].type == 'S' || row->values[f].type == 'T');
            if (text && value != nullptr)
                for (uint16_t a = 0; a < group->applCount; ++a)
                    if (std::strcmp(group->appls[a].name, value) == 0) return &group->appls[a];
            break;
        }
    }
    return &group->appls[0];
}

int FromMemory(DeliverRun& run, const Delivery& d, char letter, const SmBulkCollector& collector) {
    CsObjectRequest request;
    request.expandType = d.letter;
    request.compressType = letter;
    request.windowOffset = d.window;
    request.windowLength = d.windowLength;
    request.callback = run.request->sink;
    request.context = run.context;
    request.fetch = [&](CsHandle* handle, CsDataFn pieces) -> int {
        std::string_view window;
        const int rc = SmBulkServeWindow(collector, d.block, &window);
        if (rc != CS_OK) return rc;
        // The sink is fed with the caller's context in the handle.
        void* stream = handle->callbackContext;
        CallerContext caller(handle, run.context);
        pieces(stream, reinterpret_cast<const unsigned char*>(window.data()), window.size());
        return CS_OK;
    };
    return CsReadObjectData(run.handle, &request);
}

int FromExit(DeliverRun& run, const Entry& k, const Delivery& d, char letter) {
    CsObjectStreamPtr stream;
    int rc = CsDataPipeOpen('N', letter, 0, d.windowLength, 0, run.request->sink, run.context, &stream);
    if (rc != CS_OK) return rc;
    CsDocRequest request;
    request.application = ApplicationOf(k);
    request.compressType = 'N';
    request.callback = CsDataPipeRun;
    request.context = stream.get();
    rc = CsRetrieveDocDataRouted(run.handle, k.group->group, k.node, k.second, k.row, &request, 'N');
    return CsDataPipeClose(std::move(stream), rc);
}

int FromStore(DeliverRun& run, const Entry& k, const Delivery& d, char letter) {
    CsObjectStreamPtr stream;
    int rc = CsDataPipeOpen(d.letter, letter, d.window, d.windowLength, 0, run.request->sink, run.context,
                            &stream);
    if (rc != CS_OK) return rc;
    uint8_t location = CS_LOC_CACHE | CS_LOC_PRIMARY;
    rc = CsRetrieveSegmentRouted(run.handle, k.group->group, k.node, k.second, &location, &k.Ref(),
                                 static_cast<uint32_t>(d.block.offset), SegmentLength(d.block.length),
                                 PipeSegment, stream.get());
    return CsDataPipeClose(std::move(stream), rc);
}

int Deliver(DeliverRun& run, std::span<Entry> docs, const Delivery& d, const SmBulkCollector* collector) {
    if (CsPollCancel(run.handle) != 0) return CS_CANCELLED;
    for (size_t i = 0; i < d.count; ++i) {
        const Entry& doc = docs[d.first + i];
        char note = 0;
        const int rc = NoteByte(run, doc, &note);
        if (rc != CS_OK) return rc;
        CallerContext caller(run.handle, run.context);
        if (run.request->announce != nullptr)
            run.request->announce(run.context, d.offsets[i], doc.docLength, note, doc.userWord);
    }
    const Entry& k = docs[d.first];
    const char letter = DeliveryLetter(run, d);
    int rc = CS_OK;
    if (collector != nullptr) {
        rc = FromMemory(run, d, letter, *collector);
    } else if (k.AtExit()) {
        rc = FromExit(run, k, d, letter);
    } else {
        rc = FromStore(run, k, d, letter);
    }
    if (rc != CS_OK) return rc;
    if (run.request->printSink && d.windowLength == 0) {
        CallerContext caller(run.handle, run.context);
        run.request->sink(run.context, nullptr, 0);
    }
    if (run.reportLine && (k.group->group->logging & SM_BULK_LOG_GROUP)) {
        for (size_t i = 0; i < d.count; ++i)
            if (const int line = run.reportLine(docs[d.first + i]); line != CS_OK) return line;
    }
    return CS_OK;
}

// Reads the span of an in-memory run once.
int Collect(DeliverRun& run, std::span<const Entry> docs, SmBulkCollector* collector) {
    const Entry& first = docs[0];
    const Block span = SpanOf(docs);
    collector->start = span.offset;
    uint8_t location = CS_LOC_CACHE | CS_LOC_PRIMARY;
    const int rc = CsRetrieveSegmentRouted(run.handle, first.group->group, first.node, first.second,
                                           &location, &first.Ref(), static_cast<uint32_t>(span.offset),
                                           SegmentLength(span.length), SmBulkCollect, collector);
    return rc != CS_OK ? rc : collector->status;
}

}  // namespace

int DeliverBatch(DeliverRun& run, std::span<Entry> entries) {
    try {
        for (size_t begin = 0; begin < entries.size();) {
            const size_t end = RunEnd(entries, begin, run.inMemory);
            const std::span<Entry> docs = entries.subspan(begin, end - begin);
            SmBulkCollector collector;
            const bool memory = run.inMemory && !docs[0].AtExit();
            if (memory) {
                if (const int rc = Collect(run, docs, &collector); rc != CS_OK) return rc;
            }
            for (const Delivery& d : PlanDeliveries(docs))
                if (const int rc = Deliver(run, docs, d, memory ? &collector : nullptr); rc != CS_OK)
                    return rc;
            begin = end;
        }
    } catch (const std::bad_alloc&) {
        return CS_NO_MEMORY;
    }
    if (CsPollCancel(run.handle) != 0) return CS_CANCELLED;
    return CS_OK;
}

}  // namespace qelsm::bulk
