// doc_test_tables.h - page tables for the open-document tests: a five-page document in
// three stored objects, with page names and two index groups, made in memory and as the
// stream that precedes a '$' document's data.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "qel_client.h"

namespace clienttest {

struct TablesFree {
    void operator()(CsDocTables* t) const { CsFreeDocTables(t, 1); }
};
using TablesPtr = std::unique_ptr<CsDocTables, TablesFree>;

// Pages 1, 2, 4 and 5 have entries (page 4 without a name); page 2's name is "Résumé"
// in code page 850. Group 0 "Account" has values on pages 1 and 5, group 1 "Date" one
// value of kind 30 on page 4.
inline TablesPtr SampleTables() {
    TablesPtr t(new CsDocTables);
    t->flags = CS_DOCTAB_PAGE_NAMES | CS_DOCTAB_CODE_PAGE;
    t->codePage = 850;
    t->total = 5;
    t->perObject = 2;
    t->objectCount = 3;
    t->objects.Reset(2);
    const char* names[] = {"AB", "AC"};
    for (const char* name : names) {
        CsDocObjectEntry& e = t->objects.Add();
        e.offset = 0;
        e.length = 10;
        std::snprintf(e.name, sizeof e.name, "%s", name);
    }
    t->groupNames = {"Account", "Date"};
    t->entriesPerBlock = 2;  // the entries lie in two blocks
    auto add = [&t](uint32_t page, const std::string& name) -> CsDocPageEntry& {
        CsDocPageEntry& e = t->AddPageEntry();
        e.page = page;
        e.name = name;
        return e;
    };
    add(1, "Cover").values.push_back({0, 1, "A-1"});
    add(2, "R\x82sum\x82");
    add(4, "").values.push_back({1, 30, "2024"});
    add(5, "Last").values.push_back({0, 2, "A-2"});
    return t;
}

// The tables as a stream.
inline std::string TableStream(const CsDocTables& tables, ArcIconvContext* pages) {
    std::string out;
    auto sink = [](void* context, const unsigned char* data, size_t length) {
        static_cast<std::string*>(context)->append(reinterpret_cast<const char*>(data), length);
        return 1;
    };
    EXPECT_EQ(CsWriteDocTables(pages, &tables, &out, sink), CS_OK);
    return out;
}

}  // namespace clienttest
