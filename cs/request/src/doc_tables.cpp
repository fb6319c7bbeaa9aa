// doc_tables.cpp - the document-table record: its paged object table, its blocks of page
// entries, and the end and release of a record.
#include "doc_tables_format.h"
#include "qel_cs.h"

void CsDocObjectTable::Reset(uint16_t perPage) {
    pages_.clear();
    pointers_.clear();
    count_ = 0;
    perPage_ = perPage > 0 ? perPage : 1;
}

CsDocObjectEntry& CsDocObjectTable::Add() {
    if (pages_.empty() || pages_.back().size() == perPage_) {
        // Reserved whole, so that the page never moves and View's pointers stay valid.
        std::vector<CsDocObjectEntry> page;
        page.reserve(perPage_);
        pointers_.reserve(pages_.size() + 1);
        pages_.push_back(std::move(page));
        pointers_.push_back(pages_.back().data());
    }
    ++count_;
    return pages_.back().emplace_back();
}

const CsDocObjectEntry& CsDocObjectTable::operator[](uint32_t index) const {
    return pages_[index / perPage_][index % perPage_];
}

CsDocObjectEntry& CsDocObjectTable::operator[](uint32_t index) {
    return pages_[index / perPage_][index % perPage_];
}

CsObjectPages CsDocObjectTable::View() const {
    CsObjectPages view;
    view.count = count_;
    view.perPage = perPage_;
    view.pages = pointers_.empty() ? nullptr : pointers_.data();
    return view;
}

CsDocPageEntry& CsDocTables::AddPageEntry() {
    if (blocks.empty() || blocks.back().size() >= entriesPerBlock) {
        std::vector<CsDocPageEntry> block;
        block.reserve(entriesPerBlock);
        blocks.push_back(std::move(block));
    }
    ++pageEntryCount;
    return blocks.back().emplace_back();
}

const CsDocPageEntry* CsDocTables::PageEntry(uint32_t index) const {
    if (index >= pageEntryCount || entriesPerBlock == 0) return nullptr;
    const size_t block = index / entriesPerBlock;
    const size_t place = index % entriesPerBlock;
    if (block >= blocks.size() || place >= blocks[block].size()) return nullptr;
    return &blocks[block][place];
}

int CsEndDocTables(CsDocTables** tables) {
    if (tables == nullptr || *tables == nullptr) return CS_FAILED;
    if ((*tables)->reader == nullptr) return CS_OK;
    // A record whose end word never came is never handed on half-filled.
    CsFreeDocTables(*tables, 1);
    *tables = nullptr;
    return CS_FAILED;
}

void CsFreeDocTables(CsDocTables* tables, int whole) {
    if (tables == nullptr) return;
    if (whole) {
        delete tables;
        return;
    }
    tables->blocks.clear();
    tables->blocks.shrink_to_fit();
    tables->pageEntryCount = 0;
    tables->groupNames.clear();
    tables->groupNames.shrink_to_fit();
    tables->reader.reset();
}
