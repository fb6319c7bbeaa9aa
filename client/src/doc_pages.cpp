// The page names and index groups of an open document's page tables, converted once to
// the session's code page, and the walk over them.
#include <cstdlib>
#include <cstring>

#include "arc_codepage.h"
#include "doc_internal.h"

namespace {

int ConvertText(ArcIconvHandle* handle, const std::string& in, std::string* out) {
    if (in.empty()) {
        out->clear();
        return 0;
    }
    char* converted = nullptr;
    size_t length = 0;
    if (ArcICONV_ConvertAlloc(handle, in.data(), in.size(), &converted, &length) != ARC_ICONV_OK ||
        converted == nullptr)
        return 1;
    out->assign(converted, length);
    std::free(converted);
    return 0;
}

// Converts the texts of the tables to the session's code page: all of them or none.
// Shared tables are converted once (their code page becomes the session's).
bool ConvertTables(OpenDocument* document) {
    if (document->tablesConverted) return true;
    CsDocTables* tables = document->pageTables.get();
    ClientSession* session = document->session;
    if (tables == nullptr || session == nullptr) return false;
    const auto to = static_cast<uint32_t>(session->codePage);
    if (tables->codePage != to) {
        ArcIconvHandle* handle = nullptr;
        if (session->handle.iconv == nullptr ||
            ArcICONV_Open(session->handle.iconv, static_cast<int32_t>(tables->codePage), session->codePage,
                          &handle) != ARC_ICONV_OK ||
            handle == nullptr)
            return false;
        std::vector<std::string> groups(tables->groupNames.size());
        std::vector<std::vector<CsDocPageEntry>> blocks = tables->blocks;
        bool ok = true;
        for (size_t i = 0; ok && i < groups.size(); ++i)
            ok = ConvertText(handle, tables->groupNames[i], &groups[i]) == 0;
        for (auto& block : blocks)
            for (auto& entry : block) {
                if (ok && document->pageNames)
                    ok = ConvertText(handle, std::string(entry.name), &entry.name) == 0;
                for (auto& value : entry.values)
                    if (ok) ok = ConvertText(handle, std::string(value.text), &value.text) == 0;
            }
        ArcICONV_Close(handle);
        if (!ok) return false;
        tables->groupNames = std::move(groups);
        tables->blocks = std::move(blocks);
        tables->codePage = to;
    }
    document->tablesConverted = 1;
    return true;
}

// Searches from the entry after (entry, value) for the next value of the walked group.
bool FindValue(OpenDocument* document, uint32_t entry, int32_t value, DocGroupValue* out) {
    const CsDocTables* tables = document->pageTables.get();
    for (; entry < tables->pageEntryCount; ++entry, value = -1) {
        const CsDocPageEntry* page = tables->PageEntry(entry);
        if (page == nullptr) return false;
        for (size_t v = static_cast<size_t>(value + 1); v < page->values.size(); ++v) {
            const CsDocValue& candidate = page->values[v];
            if (candidate.group != document->groupCursor) continue;
            document->pageEntryCursor = entry;
            document->valueCursor = static_cast<int32_t>(v);
            if (out != nullptr) *out = DocGroupValue{candidate.text.c_str(), page->page, candidate.kind};
            return true;
        }
    }
    return false;
}

}  // namespace

const char* Doc_FirstIndexGroup(OpenDocument* document) {
    if (document == nullptr || !ConvertTables(document)) return nullptr;
    document->groupCursor = 0;
    const auto& names = document->pageTables->groupNames;
    return names.empty() ? nullptr : names[0].c_str();
}

const char* Doc_NextIndexGroup(OpenDocument* document) {
    if (document == nullptr || !document->tablesConverted || !document->pageTables) return nullptr;
    const auto& names = document->pageTables->groupNames;
    if (size_t{document->groupCursor} + 1 >= names.size()) return nullptr;
    ++document->groupCursor;
    return names[document->groupCursor].c_str();
}

bool Doc_FirstGroupValue(OpenDocument* document, const char* group, DocGroupValue* value) {
    if (document == nullptr || group == nullptr || !ConvertTables(document)) return false;
    const auto& names = document->pageTables->groupNames;
    for (size_t g = 0; g < names.size(); ++g) {
        if (names[g] != group) continue;
        document->groupCursor = static_cast<uint8_t>(g);
        return FindValue(document, 0, -1, value);
    }
    return false;
}

bool Doc_NextGroupValue(OpenDocument* document, DocGroupValue* value) {
    if (document == nullptr || !document->tablesConverted || !document->pageTables ||
        document->valueCursor < 0)
        return false;
    return FindValue(document, document->pageEntryCursor, document->valueCursor, value);
}

const char* Doc_GetPageName(OpenDocument* document, int64_t page) {
    if (document == nullptr || !document->pageNames || !document->pageTables || page < 1) return nullptr;
    if (!ConvertTables(document)) return nullptr;
    const CsDocTables* tables = document->pageTables.get();
    const uint64_t entries = tables->pageEntryCount;
    if (entries == 0 || tables->total == 0) return nullptr;
    // The entries are in page order; start where the page would lie if every page had one.
    uint64_t index = (static_cast<uint64_t>(page) - 1) * entries / tables->total;
    if (index >= entries) index = entries - 1;
    const CsDocPageEntry* entry = tables->PageEntry(static_cast<uint32_t>(index));
    if (entry == nullptr) return nullptr;
    const auto wanted = static_cast<uint64_t>(page);
    while (entry != nullptr && entry->page > wanted && index > 0)
        entry = tables->PageEntry(static_cast<uint32_t>(--index));
    while (entry != nullptr && entry->page < wanted && index + 1 < entries)
        entry = tables->PageEntry(static_cast<uint32_t>(++index));
    if (entry == nullptr || entry->page != wanted) return nullptr;
    return entry->name.c_str();
}
