// ser_exports.cpp - the list library's C entry points over lists.h.
#include <cstring>

#include "knvw_engine.h"
#include "lists.h"

using knvw::ListEntry;
using knvw::PageIndex;
using knvw::Registry;
using knvw::StringList;

namespace {

std::string Text(const char* text) { return text ? std::string(text) : std::string(); }

// Copies a name into a caller's buffer, cut to fit; its full length.
int32_t CopyOut(const std::string& name, char* buffer, int32_t size) {
    if (buffer && size > 0) {
        const std::size_t n = std::min<std::size_t>(name.size(), static_cast<std::size_t>(size - 1));
        std::memcpy(buffer, name.data(), n);
        buffer[n] = '\0';
    }
    return static_cast<int32_t>(name.size());
}

StringList* GroupValues(PageIndex* index, const char* group) {
    if (!index) return nullptr;
    const std::string name = Text(group);
    const int number = name.empty() ? index->selected : index->GroupNumber(name);
    return index->Values(number);
}

}  // namespace

extern "C" {

int32_t GetSList(int32_t, int32_t) {
    auto& r = Registry::Instance();
    std::lock_guard lock(r.mutex);
    return r.AddList(std::make_shared<StringList>());
}

int32_t DeleteSList(int32_t list) {
    auto& r = Registry::Instance();
    std::lock_guard lock(r.mutex);
    return r.List(list) && r.Remove(list) ? 1 : 0;
}

int32_t LISTAddEntry(int32_t list, const char* name, KnvwListData data, int32_t flags) {
    auto& r = Registry::Instance();
    std::lock_guard lock(r.mutex);
    StringList* l = r.List(list);
    if (!l || !name) return -1;
    return l->Add(ListEntry{name, data.word1, data.word2, flags});
}

int32_t LISTClear(int32_t list) {
    auto& r = Registry::Instance();
    std::lock_guard lock(r.mutex);
    StringList* l = r.List(list);
    if (!l) return 0;
    l->Clear();
    return 1;
}

int32_t LISTGet(int32_t list, int32_t index, char* buffer, int32_t size, KnvwListData* data) {
    auto& r = Registry::Instance();
    std::lock_guard lock(r.mutex);
    StringList* l = r.List(list);
    ListEntry* e = l ? l->At(index) : nullptr;
    if (!e) return -1;
    if (data) *data = KnvwListData{e->word1, e->word2};
    return CopyOut(e->name, buffer, size);
}

int32_t LISTGetIndex(int32_t list, const char* name) {
    auto& r = Registry::Instance();
    std::lock_guard lock(r.mutex);
    StringList* l = r.List(list);
    return l && name ? l->Find(name) : -1;
}

int32_t LISTGetIndex2(int32_t list, const char* name, KnvwListData data) {
    auto& r = Registry::Instance();
    std::lock_guard lock(r.mutex);
    StringList* l = r.List(list);
    return l && name ? l->Find(name, data.word1, data.word2) : -1;
}

int32_t LISTGetIndexFromP(int32_t list, const char* namePointer) {
    auto& r = Registry::Instance();
    std::lock_guard lock(r.mutex);
    StringList* l = r.List(list);
    return l && namePointer ? l->IndexOfName(namePointer) : -1;
}

int32_t LISTGetName(int32_t list, int32_t index, char* buffer, int32_t size) {
    return LISTGet(list, index, buffer, size, nullptr);
}

const char* LISTGetNameFromP(int32_t list, int32_t index) {
    auto& r = Registry::Instance();
    std::lock_guard lock(r.mutex);
    StringList* l = r.List(list);
    ListEntry* e = l ? l->At(index) : nullptr;
    return e ? e->name.c_str() : nullptr;
}

int32_t LISTGetNext(int32_t list, int32_t* cursor, char* buffer, int32_t size, KnvwListData* data) {
    if (!cursor) return 0;
    if (LISTGet(list, *cursor, buffer, size, data) < 0) return 0;
    ++*cursor;
    return 1;
}

int32_t LISTGetNextName(int32_t list, int32_t* cursor, char* buffer, int32_t size) {
    return LISTGetNext(list, cursor, buffer, size, nullptr);
}

int32_t LISTSearch(int32_t list, const char* text, int32_t start) {
    auto& r = Registry::Instance();
    std::lock_guard lock(r.mutex);
    StringList* l = r.List(list);
    return l && text ? l->FindPrefix(text, start) : -1;
}

int32_t LISTUpdateEntry(int32_t list, int32_t index, KnvwListData data) {
    auto& r = Registry::Instance();
    std::lock_guard lock(r.mutex);
    StringList* l = r.List(list);
    ListEntry* e = l ? l->At(index) : nullptr;
    if (!e) return 0;
    e->word1 = data.word1;
    e->word2 = data.word2;
    return 1;
}

int32_t LISTUpdateName(int32_t list, int32_t index, const char* name) {
    auto& r = Registry::Instance();
    std::lock_guard lock(r.mutex);
    StringList* l = r.List(list);
    ListEntry* e = l ? l->At(index) : nullptr;
    if (!e || !name) return 0;
    e->name = name;
    return 1;
}

int32_t GetIndex(int32_t) {
    auto& r = Registry::Instance();
    std::lock_guard lock(r.mutex);
    return r.AddIndex(std::make_shared<PageIndex>());
}

int32_t DeleteIndex(int32_t index) {
    auto& r = Registry::Instance();
    std::lock_guard lock(r.mutex);
    return r.Index(index) && r.Remove(index) ? 1 : 0;
}

int32_t INDEXGetSLists(int32_t index) {
    auto& r = Registry::Instance();
    std::lock_guard lock(r.mutex);
    PageIndex* i = r.Index(index);
    return i ? r.HandleOf(&i->Groups()) : 0;
}

int32_t INDEXAddGroup(int32_t index, const char* group) {
    auto& r = Registry::Instance();
    std::lock_guard lock(r.mutex);
    PageIndex* i = r.Index(index);
    return i && group ? i->AddGroup(group) : -1;
}

int32_t INDEXClear(int32_t index) {
    auto& r = Registry::Instance();
    std::lock_guard lock(r.mutex);
    PageIndex* i = r.Index(index);
    if (!i) return 0;
    r.ForgetListsOf(i);
    i->Clear();
    return 1;
}

int32_t INDEXGetAttrListPtr(int32_t index, int32_t group) {
    auto& r = Registry::Instance();
    std::lock_guard lock(r.mutex);
    PageIndex* i = r.Index(index);
    return i ? r.HandleOf(i->Values(group)) : 0;
}

int32_t INDEXGetPageIndex(int32_t index, const char* group, const char* value, int32_t occurrence) {
    auto& r = Registry::Instance();
    std::lock_guard lock(r.mutex);
    StringList* values = GroupValues(r.Index(index), group);
    if (!values || !value) return 0;
    int seen = 0;
    for (int n = 0; n < values->Size(); ++n) {
        const ListEntry* e = values->At(n);
        if (e->name == value && seen++ == occurrence) return e->word2;
    }
    return 0;
}

int32_t INDEXGetPageValue(int32_t index, int32_t page, const char* group, char* buffer, int32_t size) {
    auto& r = Registry::Instance();
    std::lock_guard lock(r.mutex);
    StringList* values = GroupValues(r.Index(index), group);
    if (!values) return -1;
    for (int n = 0; n < values->Size(); ++n) {
        const ListEntry* e = values->At(n);
        if (e->word2 == page) return CopyOut(e->name, buffer, size);
    }
    return -1;
}

int32_t INDEXGrpSelect(int32_t index, const char* group) {
    auto& r = Registry::Instance();
    std::lock_guard lock(r.mutex);
    PageIndex* i = r.Index(index);
    if (!i || !group) return -1;
    const int number = i->GroupNumber(group);
    if (number >= 0) i->selected = number;
    return number;
}

int32_t INDEXSearchAttr(int32_t index, const char* group, const char* value, int32_t startPage) {
    auto& r = Registry::Instance();
    std::lock_guard lock(r.mutex);
    StringList* values = GroupValues(r.Index(index), group);
    if (!values || !value) return 0;
    // The lowest page at or after startPage with a matching value.
    int32_t best = 0;
    for (int from = 0;;) {
        const int n = values->FindPrefix(value, from);
        if (n < 0) break;
        const int32_t page = values->At(n)->word2;
        if (page >= startPage && (best == 0 || page < best)) best = page;
        from = n + 1;
    }
    return best;
}

int32_t INDEXSetDocPgTLE(int32_t index, const char* group, const char* value, int32_t kind, int32_t,
                         int32_t page, const char* text) {
    auto& r = Registry::Instance();
    std::lock_guard lock(r.mutex);
    PageIndex* i = r.Index(index);
    if (!i || !group || !value) return 0;
    StringList* values = i->Values(i->AddGroup(group));
    // The display text is kept as the entry's name when it is given; the value otherwise.
    const std::string name = text && *text ? text : value;
    values->Add(ListEntry{name, kind, page, 0});
    return 1;
}

int32_t INDEXSetGrpTLE(int32_t index, const char* group, const char* value, int32_t kind) {
    return INDEXSetDocPgTLE(index, group, value, kind, 0, 0, value);
}

int32_t INDEXSetGrpPage(int32_t index, const char* group, const char* value, int32_t page) {
    auto& r = Registry::Instance();
    std::lock_guard lock(r.mutex);
    StringList* values = GroupValues(r.Index(index), group);
    if (!values || !value) return 0;
    const int n = values->Find(value);
    if (n < 0) return 0;
    values->At(n)->word2 = page;
    return 1;
}

int32_t INDEXSetGrpPgTLE(int32_t index, const char* group, int32_t page, const char* value) {
    return INDEXSetDocPgTLE(index, group, value, 0, 0, page, value);
}

int32_t INDEXSetPageTLE(int32_t index, int32_t page, const char* value) {
    auto& r = Registry::Instance();
    std::lock_guard lock(r.mutex);
    PageIndex* i = r.Index(index);
    StringList* values = i ? i->Values(i->selected) : nullptr;
    if (!values || !value) return 0;
    values->Add(ListEntry{value, 0, page, 0});
    return 1;
}

int32_t INDEXSetSelGrp(int32_t index, int32_t group) {
    auto& r = Registry::Instance();
    std::lock_guard lock(r.mutex);
    PageIndex* i = r.Index(index);
    if (!i || !i->Values(group)) return 0;
    i->selected = group;
    return 1;
}

int32_t SMapperGetDllHandle(int32_t mapper) {
    auto& r = Registry::Instance();
    std::lock_guard lock(r.mutex);
    const auto it = r.mapperDll.find(mapper);
    return it == r.mapperDll.end() ? 0 : it->second;
}

int32_t SMapperSetDllHandle(int32_t mapper, int32_t handle) {
    auto& r = Registry::Instance();
    std::lock_guard lock(r.mutex);
    const int32_t previous = r.mapperDll.count(mapper) ? r.mapperDll[mapper] : 0;
    r.mapperDll[mapper] = handle;
    return previous;
}

}  // extern "C"
