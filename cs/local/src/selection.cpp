// selection.cpp - id lists by number, by quoted name, or whole.
#include "selection.h"

#include <limits>

#include "local_state.h"

namespace qel::local::detail {

std::string Unquote(std::string_view name) {
    if (!name.empty() && name.front() == '\'') name.remove_prefix(1);
    if (!name.empty() && name.back() == '\'') name.remove_suffix(1);
    return std::string(name);
}

int SelectIds(const TableFile& rows, const ListSource& all, const ListSource* members, const char* name,
              std::vector<int32_t>* ids) {
    ids->clear();
    if (HasName(name) && !IsQuotedName(name)) {
        std::optional<int64_t> id =
            ParseNumber(name, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max());
        if (!id) return CS_FAILED;
        ids->push_back(int32_t(*id));
        return CS_OK;
    }
    if (IsQuotedName(name)) {
        std::string wanted = Unquote(name);
        std::vector<int32_t> candidates;
        if (int rc = all.table->IdList(all.section, all.key, &candidates); rc != CS_OK) return rc;
        for (int32_t id : candidates) {
            std::optional<std::string> rowName = rows.Get(Row(id), "NAME");
            if (!rowName) return CS_FAILED;
            if (*rowName == wanted) {
                ids->push_back(id);
                return CS_OK;
            }
        }
        return CS_NOT_FOUND;
    }
    const ListSource& source = members != nullptr ? *members : all;
    return source.table->IdList(source.section, source.key, ids);
}

}  // namespace qel::local::detail
