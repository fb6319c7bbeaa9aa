// document_fixture.cpp - open documents made by hand for the tests.
#include "document_fixture.h"

#include <stdexcept>

#include "hit_links.h"

namespace clienttest {

SearchHit* AddTestHit(OpenFolder* folder, int groupIndex, CsXdrHitRow* row) {
    auto hit = std::make_unique<SearchHit>();
    hit->row = row;
    hit->groupIndex = groupIndex;
    hit->group = &folder->definition->groups[groupIndex];
    hit->application = hit->group->applCount > 0 ? &hit->group->appls[0] : nullptr;
    SearchHit* kept = hit.get();
    qelclient::LinkHit(folder->entry->hits, std::move(hit), -1);
    return kept;
}

OpenDocument* AddTestDocument(ClientSession* session, OpenFolder* folder, SearchHit* hit,
                              const DocumentSpec& spec) {
    auto document = std::make_unique<OpenDocument>();
    document->session = session;
    document->folder = folder;
    document->hit = hit;
    document->group = hit->group;
    document->application = hit->application;
    hit->row->noteFlag = spec.noteFlag;
    CsXdrHitRow* copy = hit->row;
    if (CsPackHit(hit->group, &copy, -1, CS_PACK_COPY) != CS_OK) throw std::runtime_error("row copy");
    document->row = copy;
    document->attributeText = hit->attributeText;
    document->notes = spec.notes ? spec.notes : std::make_shared<DocNotesHolder>();
    for (int i = 0; i < spec.layoutFields; ++i) {
        DocLayoutField field;
        field.folderField = i;
        field.name = "Field" + std::to_string(i + 1);
        document->layoutFields.push_back(field);
    }
    auto entry = std::make_unique<DocApplParmEntry>();
    entry->application = hit->application;
    entry->groupId = hit->group->number;
    entry->applicationId = hit->application != nullptr ? hit->application->number : 0;
    entry->text = spec.parmText;
    entry->madeEmpty = spec.parmText.empty();
    document->parmEntry = entry.get();
    session->parmEntries.push_back(std::move(entry));
    session->documents.push_back(std::move(document));
    return session->documents.back().get();
}

}  // namespace clienttest
