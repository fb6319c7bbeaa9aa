// lists.h - the string lists and page indexes of the list library, and the handle table
// that gives them out as 32-bit numbers.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace knvw {

struct ListEntry {
    std::string name;
    int32_t word1 = 0, word2 = 0;
    int32_t flags = 0;
};

class StringList {
public:
    int Add(ListEntry entry);  // index
    void Clear() { entries_.clear(); }
    int Size() const { return static_cast<int>(entries_.size()); }
    ListEntry* At(int index);
    int Find(const std::string& name) const;  // exact, -1 none
    int Find(const std::string& name, int32_t word1, int32_t word2) const;
    int FindPrefix(const std::string& text, int start) const;  // case-insensitive, -1 none
    int IndexOfName(const char* pointer) const;                // entry whose name storage is pointer

private:
    std::vector<ListEntry> entries_;
};

// Groups of values; each value (an entry of the group's list) carries a kind word and a page.
class PageIndex {
public:
    int AddGroup(const std::string& group);  // existing or new, its number
    int GroupNumber(const std::string& group) const;
    StringList& Groups() { return groups_; }
    StringList* Values(int group);
    void Clear();
    int selected = -1;

private:
    StringList groups_;
    std::vector<std::unique_ptr<StringList>> values_;
};

// Handles: lists and indexes share one numbering. Index-owned lists get handles too, so
// INDEXGetSLists and INDEXGetAttrListPtr can hand them out.
class Registry {
public:
    static Registry& Instance();
    std::mutex mutex;
    int32_t AddList(std::shared_ptr<StringList> list);
    int32_t AddIndex(std::shared_ptr<PageIndex> index);
    StringList* List(int32_t handle);
    PageIndex* Index(int32_t handle);
    bool Remove(int32_t handle);
    int32_t HandleOf(const StringList* list);  // made on first request
    // Drops the handles of an index's own lists (before it clears or goes).
    void ForgetListsOf(PageIndex* index);
    std::map<int32_t, int32_t> mapperDll;  // string mapper -> library handle

private:
    int32_t next_ = 1;
    std::map<int32_t, std::shared_ptr<StringList>> lists_;
    std::map<int32_t, std::shared_ptr<PageIndex>> indexes_;
};

}  // namespace knvw
