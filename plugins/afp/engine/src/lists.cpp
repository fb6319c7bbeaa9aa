// lists.cpp - string lists, page indexes and their handles.
#include "lists.h"

#include <algorithm>
#include <cctype>

namespace knvw {
namespace {

bool StartsWithFolded(const std::string& name, const std::string& prefix) {
    if (prefix.size() > name.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(name[i])) !=
            std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    }
    return true;
}

}  // namespace

int StringList::Add(ListEntry entry) {
    entries_.push_back(std::move(entry));
    return Size() - 1;
}

ListEntry* StringList::At(int index) {
    if (index < 0 || index >= Size()) return nullptr;
    return &entries_[static_cast<std::size_t>(index)];
}

int StringList::Find(const std::string& name) const {
    for (int i = 0; i < Size(); ++i) {
        if (entries_[static_cast<std::size_t>(i)].name == name) return i;
    }
    return -1;
}

int StringList::Find(const std::string& name, int32_t word1, int32_t word2) const {
    for (int i = 0; i < Size(); ++i) {
        const auto& e = entries_[static_cast<std::size_t>(i)];
        if (e.name == name && e.word1 == word1 && e.word2 == word2) return i;
    }
    return -1;
}

int StringList::FindPrefix(const std::string& text, int start) const {
    for (int i = std::max(start, 0); i < Size(); ++i) {
        if (StartsWithFolded(entries_[static_cast<std::size_t>(i)].name, text)) return i;
    }
    return -1;
}

int StringList::IndexOfName(const char* pointer) const {
    for (int i = 0; i < Size(); ++i) {
        if (entries_[static_cast<std::size_t>(i)].name.c_str() == pointer) return i;
    }
    return -1;
}

int PageIndex::AddGroup(const std::string& group) {
    const int found = groups_.Find(group);
    if (found >= 0) return found;
    values_.push_back(std::make_unique<StringList>());
    return groups_.Add(ListEntry{group, 0, 0, 0});
}

int PageIndex::GroupNumber(const std::string& group) const { return groups_.Find(group); }

StringList* PageIndex::Values(int group) {
    if (group < 0 || group >= static_cast<int>(values_.size())) return nullptr;
    return values_[static_cast<std::size_t>(group)].get();
}

void PageIndex::Clear() {
    groups_.Clear();
    values_.clear();
    selected = -1;
}

Registry& Registry::Instance() {
    static Registry registry;
    return registry;
}

int32_t Registry::AddList(std::shared_ptr<StringList> list) {
    const int32_t handle = next_++;
    lists_[handle] = std::move(list);
    return handle;
}

int32_t Registry::AddIndex(std::shared_ptr<PageIndex> index) {
    const int32_t handle = next_++;
    indexes_[handle] = std::move(index);
    return handle;
}

StringList* Registry::List(int32_t handle) {
    const auto it = lists_.find(handle);
    return it == lists_.end() ? nullptr : it->second.get();
}

PageIndex* Registry::Index(int32_t handle) {
    const auto it = indexes_.find(handle);
    return it == indexes_.end() ? nullptr : it->second.get();
}

bool Registry::Remove(int32_t handle) {
    if (lists_.erase(handle)) return true;
    const auto it = indexes_.find(handle);
    if (it == indexes_.end()) return false;
    ForgetListsOf(it->second.get());
    indexes_.erase(it);
    return true;
}

void Registry::ForgetListsOf(PageIndex* index) {
    std::erase_if(lists_, [&](const auto& item) {
        if (item.second.get() == &index->Groups()) return true;
        for (int g = 0; index->Values(g); ++g) {
            if (item.second.get() == index->Values(g)) return true;
        }
        return false;
    });
}

int32_t Registry::HandleOf(const StringList* list) {
    if (!list) return 0;
    for (const auto& [handle, owned] : lists_) {
        if (owned.get() == list) return handle;
    }
    // Not owned here (it belongs to an index): a handle that shares without owning.
    return AddList(std::shared_ptr<StringList>(const_cast<StringList*>(list), [](StringList*) {}));
}

}  // namespace knvw
