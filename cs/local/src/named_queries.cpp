// named_queries.cpp - named queries of a folder: query/namedq.ndq and the query files.
#include <limits>

#include "arc_platform.h"
#include "local_state.h"
#include "note_folder.h"
#include "record_format.h"
#include "selection.h"

using namespace qel::local::detail;

int QelLocal_NamedQueriesFirst(CsHandle*, int32_t fid, int32_t user, QelLocalNamedQuery* record) {
    auto build = [&](LocalState& s, std::vector<QelLocalNamedQuery>* kept) -> int {
        std::optional<std::string> folder = ClientFolder("query", s.directory + "query/", false);
        if (!folder) return CS_FAILED;
        TableFile list;
        if (list.Load(*folder + "namedq.ndq") != CS_OK) return CS_FAILED;
        std::vector<int32_t> numbers;
        if (int rc = list.IdList(Row(fid), "NAMEDQ", &numbers); rc != CS_OK) return rc;
        for (int32_t number : numbers) {
            std::optional<std::string> file = list.Get("NDQ_" + std::to_string(number), "FILE");
            if (!file || file->empty() || file->find('/') != std::string::npos ||
                file->find("..") != std::string::npos) {
                return CS_FAILED;
            }
            std::string content;
            if (ArcOS_ReadFile((*folder + *file).c_str(), &content) != 0) return CS_FAILED;
            QelLocalNamedQuery q;
            q.number = number;
            if (DecodeNamedQuery(content, &q) != CS_OK) return CS_FAILED;
            if (user >= 0 && q.owner != -1 && q.owner != user) continue;
            kept->push_back(std::move(q));
        }
        return CS_OK;
    };
    return ListFirst(&LocalState::queries, build, CopyItem<QelLocalNamedQuery>, record);
}

int QelLocal_NamedQueriesNext(CsHandle*, QelLocalNamedQuery* record) {
    return ListNext(&LocalState::queries, CancelCheck::kAfterGuards, CopyItem<QelLocalNamedQuery>, record);
}
