// The table of downloaded segment files of one instance.
#include <filesystem>

#include "afp_split.h"

namespace afp {

void SegmentTable::Make(size_t count) {
    names_.assign(count, std::string());
    made_ = true;
}

bool SegmentTable::Set(size_t index, const std::string& name) {
    if (index >= names_.size() || !names_[index].empty() || name.empty()) return false;
    names_[index] = name;
    return true;
}

std::optional<std::string> SegmentTable::Get(size_t index) {
    if (index >= names_.size() || names_[index].empty()) return std::nullopt;
    std::error_code error;
    if (!std::filesystem::exists(names_[index], error)) {
        names_[index].clear();  // the file has gone: fetch the segment again
        return std::nullopt;
    }
    return names_[index];
}

void SegmentTable::Free() {
    names_.clear();
    made_ = false;
}

}  // namespace afp
