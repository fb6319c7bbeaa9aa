// The members of an open document, field by field: letters, counts, the parameter
// values read from the application, layout fields, view, layout text, cursors, the
// resource descriptor, the notes holder and the parameter entry.
#include "state_document_fields.h"

#include <bit>
#include <string_view>

#include "state_format.h"

namespace qelclient {
namespace {

constexpr size_t kMinLayoutField = 1 + 4 + 2 * 4 + 4;
constexpr size_t kMinNote = 2 + 3 * 4 + 1 + 4 + 1 + 8 + 4 + 4 + 4 + 4 + 4 + 1;
constexpr std::string_view kNoteColours = "DWBRLGYMC0";

void Letter(BlobReader& r, char* out, std::string_view allowed) {
    *out = static_cast<char>(r.U8());
    if (allowed.find(*out) == std::string_view::npos) r.Fail();
}

// A capital letter, the data type or viewer of an application.
void Capital(BlobReader& r, char* out) {
    *out = static_cast<char>(r.U8());
    if (*out < 'A' || *out > 'Z') r.Fail();
}

// A view attribute letter: a printable character, never a blank.
void Printable(BlobReader& r, char* out) {
    *out = static_cast<char>(r.U8());
    if (*out <= ' ' || *out > '~') r.Fail();
}

float Real(BlobReader& r) { return std::bit_cast<float>(r.U32()); }

void WriteOptional(BlobWriter& w, const std::optional<std::string>& text) {
    w.U8(text ? 1 : 0);
    if (text) w.Text(*text);
}

std::optional<std::string> ReadOptional(BlobReader& r, uint32_t max) {
    if (!r.Flag()) return std::nullopt;
    return r.Text(max);
}

void WriteView(BlobWriter& w, const DocView& v) {
    w.Text(v.name);
    w.U8(v.fromApplication ? 1 : 0);
    w.I32(v.zoom);
    w.I32(v.copyGroup);
    w.I32(v.contrast);
    w.I32(v.brightness);
    for (char c : {v.greyScale, v.background, v.header, v.selection, v.imageColour, v.imageIntensity,
                   v.textFidelity, v.overstrike})
        w.U8(static_cast<uint8_t>(c));
    w.U8(v.lockHeader);
    w.I32(v.lockedFields);
    w.I32(v.orderCount);
    w.U32(static_cast<uint32_t>(v.fieldOrder.size()));
    for (int32_t field : v.fieldOrder) w.I32(field);
}

void ReadView(BlobReader& r, DocView* v) {
    v->name = r.Text(kViewNameMax);
    v->fromApplication = r.Flag();
    v->zoom = r.I32();
    v->copyGroup = r.I32();
    v->contrast = r.I32();
    v->brightness = r.I32();
    for (char* c : {&v->greyScale, &v->background, &v->header, &v->selection, &v->imageColour,
                    &v->imageIntensity, &v->textFidelity, &v->overstrike})
        Printable(r, c);
    v->lockHeader = r.U8();
    v->lockedFields = r.I32();
    v->orderCount = r.I32();
    if (v->orderCount < -1) r.Fail();
    const uint32_t count = r.Count(kListCountMax, 4);
    for (uint32_t i = 0; i < count && r.ok(); ++i) v->fieldOrder.push_back(r.I32());
}

void WriteNote(BlobWriter& w, const DocNoteEntry& n) {
    w.U8(n.noAuthor ? 1 : 0);
    w.U8(n.isPublic ? 1 : 0);
    for (int32_t p : n.positions) w.I32(p);
    w.U8(static_cast<uint8_t>(n.colour));
    w.Text(n.userName);
    WriteOptional(w, n.groupName);
    w.I64(n.created);
    w.Text(n.createdText);
    w.Text(n.text);
    w.U32(static_cast<uint32_t>(n.data.size()));
    w.Bytes(n.data.data(), n.data.size());
    w.U32(n.flags);
    w.I32(n.number);
    w.U8(n.isNew ? 1 : 0);
}

void ReadNote(BlobReader& r, DocNoteEntry* n) {
    n->noAuthor = r.Flag();
    n->isPublic = r.Flag();
    for (int32_t& p : n->positions) p = r.I32();
    Letter(r, &n->colour, kNoteColours);
    n->userName = r.Text(kNoteUserMax);
    n->groupName = ReadOptional(r, kDescriptionMax);
    n->created = r.I64();
    n->createdText = r.Text(kNoteCreatedMax);
    n->text = r.Text(kNoteTextMax);
    const uint32_t bytes = r.Count(kBlobPayloadMax, 1);
    if (r.ok()) {
        n->data.resize(bytes);
        r.Bytes(n->data.data(), bytes);
    }
    n->flags = r.U32();
    n->number = r.I32();
    if (n->number < 0) r.Fail();
    n->isNew = r.Flag();
}

}  // namespace

void WriteDocumentFields(BlobWriter& w, const OpenDocument& d) {
    WriteOptional(w, d.attributeText);
    w.U8(d.resources);
    w.U8(static_cast<uint8_t>(d.dataType));
    w.U8(static_cast<uint8_t>(d.viewer));
    w.I32(d.segmentCount);
    w.I32(d.pagesPerSegment);
    w.I32(d.pagesInLastSegment);
    w.U8(static_cast<uint8_t>(d.orientation));
    w.U8(static_cast<uint8_t>(d.shiftKind));
    w.Text(d.printOptions);
    w.U32(std::bit_cast<uint32_t>(d.pageWidth));
    w.U32(std::bit_cast<uint32_t>(d.pageLength));
    w.U8(static_cast<uint8_t>(d.recordFormat));
    w.I32(d.recordLength);
    w.Text(d.recordDelimiter);
    w.U8(static_cast<uint8_t>(d.carriageControl));
    w.U8(d.trc);
    w.I32(d.dataCodePage);
    w.I32(d.linesPerPage);
    w.I32(d.converterColumns);
    w.I32(d.converterLines);
    w.U8(static_cast<uint8_t>(d.pageRange));
    w.I32(d.pageHeaderRows);
    w.I32(d.fieldHeaderRows);
    w.I32(d.valueRow);
    w.I32(d.valueColumn);
    w.Text(d.valueText);

    w.U32(static_cast<uint32_t>(d.layoutFields.size()));
    for (const DocLayoutField& f : d.layoutFields) {
        w.U8(f.matched ? 1 : 0);
        w.I32(f.folderField);
        w.I32(f.numbers[0]);
        w.I32(f.numbers[1]);
        w.Text(f.name);
    }
    w.U8(d.layoutMatch);
    w.U8(d.pageNames);
    WriteView(w, d.view);
    WriteOptional(w, d.layoutText);

    w.U8(d.groupCursor);
    w.U32(d.pageEntryCursor);
    w.I32(d.valueCursor);
    w.U8(d.tablesConverted);
    w.U8(d.lineDataForced);
    for (uint32_t word : d.resourceDescriptor) w.U32(word);

    w.U8(d.notes ? 1 : 0);
    if (d.notes) {
        w.U8(d.notes->loaded ? 1 : 0);
        w.U32(static_cast<uint32_t>(d.notes->notes.size()));
        for (const DocNoteEntry& note : d.notes->notes) WriteNote(w, note);
    }
    w.U8(d.parmEntry != nullptr ? 1 : 0);
    if (d.parmEntry != nullptr) {
        w.U32(d.parmEntry->groupId);
        w.U32(d.parmEntry->applicationId);
        w.U8(d.parmEntry->madeEmpty ? 1 : 0);
        w.Text(d.parmEntry->text);
    }
}

void ReadDocumentFields(BlobReader& r, int folderFields, OpenDocument* d,
                        std::unique_ptr<SavedParmEntry>* parm) {
    d->attributeText = ReadOptional(r, kDocIdMax);
    d->resources = r.U8();
    Capital(r, &d->dataType);
    Capital(r, &d->viewer);
    d->segmentCount = r.I32();
    d->pagesPerSegment = r.I32();
    d->pagesInLastSegment = r.I32();
    if (d->segmentCount < 0 || d->pagesPerSegment < 0 || d->pagesInLastSegment < 0) r.Fail();
    Letter(r, &d->orientation, "0912");
    Letter(r, &d->shiftKind, "12N");
    d->printOptions = r.Text(kPrintOptionsMax);
    d->pageWidth = Real(r);
    d->pageLength = Real(r);
    Letter(r, &d->recordFormat, std::string_view("\0FVS", 4));
    d->recordLength = r.I32();
    d->recordDelimiter = r.Text(kRecordDelimiterMax);
    Letter(r, &d->carriageControl, "NAM");
    d->trc = r.U8();
    d->dataCodePage = r.I32();
    d->linesPerPage = r.I32();
    d->converterColumns = r.I32();
    d->converterLines = r.I32();
    Letter(r, &d->pageRange, "ACS");
    d->pageHeaderRows = r.I32();
    d->fieldHeaderRows = r.I32();
    d->valueRow = r.I32();
    d->valueColumn = r.I32();
    d->valueText = r.Text(kValueMarkMax);

    const uint32_t fields = r.Count(kListCountMax, kMinLayoutField);
    for (uint32_t i = 0; i < fields && r.ok(); ++i) {
        DocLayoutField f;
        f.matched = r.Flag();
        f.folderField = r.I32();
        if (f.folderField < -1 || f.folderField >= folderFields) r.Fail();
        f.numbers[0] = r.I32();
        f.numbers[1] = r.I32();
        f.name = r.Text(kFolderNameMax);
        d->layoutFields.push_back(std::move(f));
    }
    d->layoutMatch = r.U8();
    d->pageNames = r.U8();
    ReadView(r, &d->view);
    d->layoutText = ReadOptional(r, kLayoutTextMax);

    d->groupCursor = r.U8();
    d->pageEntryCursor = r.U32();
    d->valueCursor = r.I32();
    if (d->valueCursor < -1) r.Fail();
    d->tablesConverted = r.U8();
    d->lineDataForced = r.U8();
    for (uint32_t& word : d->resourceDescriptor) word = r.U32();

    if (r.Flag()) {
        auto holder = std::make_shared<DocNotesHolder>();
        holder->loaded = r.Flag();
        const uint32_t notes = r.Count(kListCountMax, kMinNote);
        for (uint32_t i = 0; i < notes && r.ok(); ++i) ReadNote(r, &holder->notes.emplace_back());
        d->notes = std::move(holder);
    }
    if (r.Flag()) {
        auto entry = std::make_unique<SavedParmEntry>();
        entry->groupId = r.U32();
        entry->applicationId = r.U32();
        entry->madeEmpty = r.Flag();
        entry->text = r.Text(kParmTextMax);
        *parm = std::move(entry);
    }
}

}  // namespace qelclient
