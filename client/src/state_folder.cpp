// The open-folder blob: a folder's definition and the search form over it, bound to the
// server, user and folder name it was saved for. The hits stay behind.
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "blob_reader.h"
#include "blob_writer.h"
#include "qel_client.h"
#include "session_list.h"
#include "state_folder_definition.h"
#include "state_format.h"

namespace {

using namespace qelclient;

using SegmentRows = std::vector<std::unique_ptr<ClientSegmentRow>>;

constexpr size_t kMinSegmentRow = 4 + 1 + 2 + 2 + 4 + 3 * 8;
constexpr size_t kMinCriterion = 1 + 3 * 4 + 2 + 2 * 4 + 2 + 4 + 4 + 4 + 2 * 4 + 3 * 4;
constexpr size_t kMinSortKey = 4 + 1;
constexpr size_t kMinNamedQuery = 4 + 4 + 4 + 4;

template <size_t N>
std::string_view Slot(const char (&slot)[N]) {
    return std::string_view(slot, strnlen(slot, N));
}

bool SameRow(const ClientSegmentRow& a, const ClientSegmentRow& b) {
    const CsXdrSegment& x = a.segment;
    const CsXdrSegment& y = b.segment;
    return a.groupNumber == b.groupNumber && a.dateLetter == b.dateLetter && x.number == y.number &&
           x.status == y.status && Slot(x.name) == Slot(y.name) && x.startDate == y.startDate &&
           x.stopDate == y.stopDate && x.rows == y.rows;
}

// The distinct segment rows the criteria point at, in the order of first use; each is
// written once and named by its place.
std::vector<const ClientSegmentRow*> SegmentTable(const OpenFolder& folder) {
    std::vector<const ClientSegmentRow*> table;
    for (const FolderCriterion& c : folder.criteria)
        for (const ClientSegmentRow* row : c.segments)
            if (row != nullptr && std::find(table.begin(), table.end(), row) == table.end())
                table.push_back(row);
    return table;
}

void WriteSegmentRow(BlobWriter& w, const ClientSegmentRow& row) {
    w.U32(row.groupNumber);
    w.U8(static_cast<uint8_t>(row.dateLetter));
    w.U16(row.segment.number);
    w.U16(row.segment.status);
    w.Text(Slot(row.segment.name));
    w.I64(row.segment.startDate);
    w.I64(row.segment.stopDate);
    w.I64(row.segment.rows);
}

SegmentRows ReadSegmentRows(BlobReader& r) {
    const uint32_t count = r.Count(kListCountMax, kMinSegmentRow);
    SegmentRows rows;
    for (uint32_t i = 0; i < count && r.ok(); ++i) {
        auto row = std::make_unique<ClientSegmentRow>();
        row->groupNumber = r.U32();
        row->dateLetter = static_cast<char>(r.U8());
        if (row->dateLetter < 'A' || row->dateLetter > 'Z') r.Fail();
        row->segment.number = r.U16();
        row->segment.status = r.U16();
        r.TextInto(row->segment.name, sizeof row->segment.name);
        row->segment.startDate = r.I64();
        row->segment.stopDate = r.I64();
        row->segment.rows = r.I64();
        rows.push_back(std::move(row));
    }
    return rows;
}

void WriteCriterion(BlobWriter& w, const FolderCriterion& c,
                    const std::vector<const ClientSegmentRow*>& table) {
    w.U8(static_cast<uint8_t>(c.kind));
    w.I32(c.operatorCount);
    w.U32(c.operatorMask);
    w.U32(c.defaultOperator);
    w.U8(c.copied);
    w.U8(c.fixedLength);
    w.I32(c.inputWidth);
    w.I32(c.displayWidth);
    w.U8(c.isDate);
    w.U8(c.isDecimal);
    w.U32(static_cast<uint32_t>(c.choices.size()));
    for (const std::string& choice : c.choices) w.Text(choice);
    w.U32(static_cast<uint32_t>(c.segments.size()));
    for (const ClientSegmentRow* row : c.segments) {
        const auto at = std::find(table.begin(), table.end(), row);
        w.U32(row == nullptr ? kSegmentIndexNone : static_cast<uint32_t>(at - table.begin()));
    }
    w.U32(c.op);
    w.Text(c.value1);
    w.Text(c.value2);
    w.I32(c.segmentChoice);
    w.I32(c.columnStart);
    w.I32(c.valuePosition);
}

void ReadCriterion(BlobReader& r, const SegmentRows& rows, FolderCriterion* c) {
    c->kind = static_cast<char>(r.U8());
    if (std::string_view("NAZTCS").find(c->kind) == std::string_view::npos) r.Fail();
    c->operatorCount = r.I32();
    if (c->operatorCount < 0 || c->operatorCount > SQL_OPERATOR_COUNT) r.Fail();
    c->operatorMask = r.U32();
    c->defaultOperator = r.U32();
    c->copied = r.Flag();
    c->fixedLength = r.Flag();
    c->inputWidth = r.I32();
    c->displayWidth = r.I32();
    c->isDate = r.Flag();
    c->isDecimal = r.Flag();
    const uint32_t choices = r.Count(kListCountMax, 4);
    for (uint32_t i = 0; i < choices && r.ok(); ++i) c->choices.push_back(r.Text(kCriterionTextMax));
    const uint32_t segments = r.Count(kListCountMax, 4);
    for (uint32_t i = 0; i < segments && r.ok(); ++i) {
        const uint32_t index = r.U32();
        if (index != kSegmentIndexNone && index >= rows.size()) r.Fail();
        c->segments.push_back(r.ok() && index != kSegmentIndexNone ? rows[index].get() : nullptr);
    }
    c->op = r.U32();
    c->value1 = r.Text(kCriterionTextMax);
    c->value2 = r.Text(kCriterionTextMax);
    c->segmentChoice = r.I32();
    if (c->segmentChoice < -1 || c->segmentChoice >= static_cast<int>(c->segments.size())) r.Fail();
    c->columnStart = r.I32();
    c->valuePosition = r.I32();
}

void WriteFields(BlobWriter& w, const std::vector<int>& fields) {
    w.U32(static_cast<uint32_t>(fields.size()));
    for (int field : fields) w.I32(field);
}

// Field indexes, each below fieldCount.
void ReadFields(BlobReader& r, int fieldCount, std::vector<int>* fields) {
    const uint32_t count = r.Count(kListCountMax, 4);
    for (uint32_t i = 0; i < count && r.ok(); ++i) {
        const int field = r.I32();
        if (field < 0 || field >= fieldCount) r.Fail();
        fields->push_back(field);
    }
}

void WriteOpenFolder(BlobWriter& w, const OpenFolder& f, const std::vector<const ClientSegmentRow*>& table) {
    w.I32(f.fieldCount);
    w.U32(static_cast<uint32_t>(f.criteria.size()));
    for (const FolderCriterion& c : f.criteria) WriteCriterion(w, c, table);
    WriteFields(w, f.criteriaOrder);
    WriteFields(w, f.displayOrder);
    w.U32(static_cast<uint32_t>(f.sortList.size()));
    for (const FolderSortKey& key : f.sortList) {
        w.I32(key.field);
        w.U8(key.ascending);
    }
    w.I32(f.hitLimit);
    w.U32(static_cast<uint32_t>(f.namedQueries.size()));
    for (const ClientNamedQuery& q : f.namedQueries) {
        w.U32(q.number);
        w.Text(q.name);
        w.Text(q.text);
        w.U32(q.flags);
    }
    w.I32(f.publicQueries);
    w.I32(f.privateQueries);
}

void ReadOpenFolder(BlobReader& r, const CsXdrFolder& definition, const SegmentRows& rows, OpenFolder* f) {
    f->fieldCount = r.I32();
    if (f->fieldCount < 0 || f->fieldCount > std::min<int>(definition.fieldCount, CLIENT_MAX_FIELDS))
        r.Fail();
    // One criterion per field.
    const uint32_t criteria = r.Count(CLIENT_MAX_FIELDS, kMinCriterion);
    if (r.ok() && criteria != static_cast<uint32_t>(f->fieldCount)) r.Fail();
    f->criteria.resize(r.ok() ? criteria : 0);
    for (FolderCriterion& c : f->criteria)
        if (r.ok()) ReadCriterion(r, rows, &c);
    ReadFields(r, f->fieldCount, &f->criteriaOrder);
    ReadFields(r, f->fieldCount, &f->displayOrder);
    const uint32_t keys = r.Count(kListCountMax, kMinSortKey);
    for (uint32_t i = 0; i < keys && r.ok(); ++i) {
        FolderSortKey key;
        key.field = r.I32();
        key.ascending = r.Flag();
        if (key.field < 0 || key.field >= f->fieldCount) r.Fail();
        f->sortList.push_back(key);
    }
    f->hitLimit = r.I32();
    if (f->hitLimit < -1) r.Fail();
    const uint32_t queries = r.Count(kListCountMax, kMinNamedQuery);
    for (uint32_t i = 0; i < queries && r.ok(); ++i) {
        ClientNamedQuery q;
        q.number = r.U32();
        q.name = r.Text(kQueryNameMax);
        q.text = r.Text(kQueryTextMax);
        q.flags = r.U32();
        f->namedQueries.push_back(std::move(q));
    }
    f->publicQueries = r.I32();
    f->privateQueries = r.I32();
    if (f->publicQueries < 0 || f->privateQueries < 0) r.Fail();
}

ClientFolderEntry* FindEntry(ClientSession* session, const std::string& name) {
    for (const auto& entry : session->folders)
        if (entry->row.name == name) return entry.get();
    return nullptr;
}

// The criteria point at the session's own row where one is equal; the other rows join
// the session's list as its newest.
void AdoptSegmentRows(ClientSession* session, SegmentRows rows, OpenFolder* open) {
    SegmentRows fresh;
    for (auto& row : rows) {
        const ClientSegmentRow* kept = nullptr;
        for (const auto& existing : session->segmentRows)
            if (SameRow(*existing, *row)) kept = existing.get();
        if (kept == nullptr) {
            fresh.push_back(std::move(row));
            continue;
        }
        for (FolderCriterion& c : open->criteria)
            std::replace(c.segments.begin(), c.segments.end(),
                         static_cast<const ClientSegmentRow*>(row.get()), kept);
    }
    session->segmentRows.insert(session->segmentRows.begin(), std::make_move_iterator(fresh.begin()),
                                std::make_move_iterator(fresh.end()));
}

// Replaces whatever the entry had open; its hits belonged to the old definition.
void Install(ClientSession* session, ClientFolderEntry* entry, CsFolderPtr definition,
             std::unique_ptr<OpenFolder> open, SegmentRows rows) {
    AdoptSegmentRows(session, std::move(rows), open.get());
    if (entry->open && session->search.folder == entry->open.get()) session->search = ClientSearchState{};
    entry->hits.hits.clear();
    entry->hits.sorted = true;
    entry->definition = std::move(definition);
    open->entry = entry;
    open->definition = entry->definition.get();
    entry->open = std::move(open);
    entry->openedInSession = true;
    auto& opened = session->openedFolders;
    if (std::find(opened.begin(), opened.end(), entry) == opened.end()) opened.push_back(entry);
}

}  // namespace

size_t State_SaveFolder(std::vector<unsigned char>* blob, const OpenFolder* folder) {
    if (blob == nullptr || folder == nullptr || folder->entry == nullptr || folder->definition == nullptr)
        return 0;
    const ClientSession* session = folder->entry->session;
    if (!ListContains(session)) return 0;
    BlobWriter w;
    w.Text(session->handle.serverName);
    w.Text(session->user.userId);
    w.Text(folder->entry->row.name);
    WriteFolderDefinition(w, *folder->definition);
    const std::vector<const ClientSegmentRow*> table = SegmentTable(*folder);
    w.U32(static_cast<uint32_t>(table.size()));
    for (const ClientSegmentRow* row : table) WriteSegmentRow(w, *row);
    WriteOpenFolder(w, *folder, table);
    *blob = w.Finish(kOpenFolderMagic);
    return blob->size();
}

OpenFolder* State_RestoreFolder(ClientSession* session, const unsigned char* blob, size_t length) {
    if (!ListContains(session)) return nullptr;
    BlobReader r(blob, length, kOpenFolderMagic);
    // A folder saved for another logon must not open here.
    if (r.Text(kServerNameMax) != session->handle.serverName) r.Fail();
    if (r.Text(kUserIdMax) != session->user.userId) r.Fail();
    const std::string name = r.Text(kFolderNameMax);
    ClientFolderEntry* entry = r.ok() ? FindEntry(session, name) : nullptr;
    if (entry == nullptr) return nullptr;
    // Everything is built aside; the entry changes only once the whole blob was read.
    CsFolderPtr definition = ReadFolderDefinition(r);
    if (!definition) return nullptr;
    SegmentRows rows = ReadSegmentRows(r);
    auto open = std::make_unique<OpenFolder>();
    ReadOpenFolder(r, *definition, rows, open.get());
    if (!r.Done()) return nullptr;
    Install(session, entry, std::move(definition), std::move(open), std::move(rows));
    return entry->open.get();
}
