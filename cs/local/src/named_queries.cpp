// named_queries.cpp - named queries of a folder: query/namedq.ndq and the query files.
#include <limits>

#include "arc_platform.h"
#include "local_state.h"
#include "note_folder.h"
#include "record_format.h"

using namespace qel::local::detail;

int QelLocal_NamedQueriesFirst(CsHandle*, int32_t fid, int32_t user, QelLocalNamedQuery* record) {
  if (record == nullptr) return 6;
  Request request;
  if (!request.Ready()) return 6;
  Cursor<QelLocalNamedQuery>& cursor = request.state().queries;
  cursor.Reset({});
  std::optional<std::string> folder = ClientFolder("query", request.state().directory + "query/", false);
  if (!folder) return 6;
  TableFile list;
  if (list.Load(*folder + "namedq.ndq") != 0) return 6;
  std::vector<int32_t> numbers;
  if (int rc = list.IdList(Row(fid), "NAMEDQ", &numbers); rc != 0) return rc;
  std::vector<QelLocalNamedQuery> kept;
  for (int32_t number : numbers) {
    std::optional<std::string> file = list.Get("NDQ_" + std::to_string(number), "FILE");
    if (!file || file->empty() || file->find('/') != std::string::npos ||
        file->find("..") != std::string::npos) {
      return 6;
    }
    std::string content;
    if (ArcOS_ReadFile((*folder + *file).c_str(), &content) != 0) return 6;
    QelLocalNamedQuery q;
    q.number = number;
    if (DecodeNamedQuery(content, &q) != 0) return 6;
    if (user >= 0 && q.owner != -1 && q.owner != user) continue;
    kept.push_back(std::move(q));
  }
  cursor.Reset(std::move(kept));
  const QelLocalNamedQuery* first = cursor.Take();
  if (first == nullptr) return 11;
  *record = *first;
  return 0;
}

int QelLocal_NamedQueriesNext(CsHandle*, QelLocalNamedQuery* record) {
  if (record == nullptr) return 6;
  Request request;
  if (!request.Ready()) return 6;
  if (CancelFlag().load() != 0) return 1;
  const QelLocalNamedQuery* next = request.state().queries.Take();
  if (next == nullptr) return 11;
  *record = *next;
  return 0;
}
