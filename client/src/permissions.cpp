// Permission bits of hits and open documents, read from their application group, and
// the notes flag of a document.
#include "qel_client.h"

namespace {

uint8_t FirstByte(const CsXdrApplGroup* group) { return group != nullptr ? group->permissions : 0; }

uint8_t SecondByte(const CsXdrApplGroup* group) {
    return group != nullptr ? static_cast<uint8_t>(group->notePermissions & 0xFF) : 0;
}

const CsXdrApplGroup* GroupOf(const SearchHit* hit) { return hit != nullptr ? hit->group : nullptr; }
const CsXdrApplGroup* GroupOf(const OpenDocument* document) {
    return document != nullptr ? document->group : nullptr;
}

}  // namespace

bool Hit_CanViewFlag0(const SearchHit* hit) { return FirstByte(GroupOf(hit)) & CLIENT_PERMIT_VIEW; }
bool Hit_CanPrint(const SearchHit* hit) { return FirstByte(GroupOf(hit)) & CLIENT_PERMIT_PRINT; }
bool Hit_CanViewNotes(const SearchHit* hit) { return SecondByte(GroupOf(hit)) & CLIENT_PERMIT_VIEW_NOTES; }
bool Hit_CanAddNotes(const SearchHit* hit) { return SecondByte(GroupOf(hit)) & CLIENT_PERMIT_ADD_NOTES; }

bool Doc_CanPrint(const OpenDocument* document) { return FirstByte(GroupOf(document)) & CLIENT_PERMIT_PRINT; }
bool Doc_CanCopy(const OpenDocument* document) { return FirstByte(GroupOf(document)) & CLIENT_PERMIT_COPY; }
bool Doc_CanViewNotes(const OpenDocument* document) {
    return SecondByte(GroupOf(document)) & CLIENT_PERMIT_VIEW_NOTES;
}
bool Doc_CanAddNotes(const OpenDocument* document) {
    return SecondByte(GroupOf(document)) & CLIENT_PERMIT_ADD_NOTES;
}

char Doc_HasNotesFlag(const OpenDocument* document) {
    if (document == nullptr || document->row == nullptr) return 'U';
    const uint8_t flag = document->row->noteFlag;
    return flag == 'N' || flag == 'Y' ? static_cast<char>(flag) : 'U';
}
