// The lines of a plain-text document reply that the viewer applet reads before the data.
#include "document_parts.h"
#include "plain_text.h"
#include "qel_client.h"

namespace qelwww::detail {

void WriteBeginLine(const QelWWWConfig* config, QelWWWSession* session) {
    const PlainFraming framing = Framing(config);
    session->response->AppendPrefix("%cBEGIN%c", framing.begin, framing.end);
}

void WriteAppletKeys(const QelWWWConfig* config, QelWWWSession* session, const OpenDocument* document) {
    QelWWWResponse& r = *session->response;
    r.AppendPrefix("NumSegments=%d", document->segmentCount);
    r.AppendPrefix("NumPagesInSegment=%d", document->pagesPerSegment);
    r.AppendPrefix("NumPagesInLastSegment=%d", document->pagesInLastSegment);
    r.AppendPrefix("PermToPrint=%d", Doc_CanPrint(document) ? 1 : 0);
    r.AppendPrefix("PermToCopy=%d", Doc_CanCopy(document) ? 1 : 0);
    r.AppendPrefix("PermToViewNotes=%d", Doc_CanViewNotes(document) ? 1 : 0);
    r.AppendPrefix("PermToAddNotes=%d", Doc_CanAddNotes(document) ? 1 : 0);
    if (Session_HasServerCapability(session->client, 0)) r.AppendPrefix("PrivateNotesSupported=1");
    if (!Session_HasServerCapability(session->client, 4)) return;
    ClientStatus status;
    int count = 0;
    Session_GetGroupCount(&status, session->client, &count);
    if (status.severity != CLIENT_SEV_OK || count <= 0) return;
    std::vector<ClientGroupName> groups(static_cast<size_t>(count));
    groups.resize(static_cast<size_t>(Session_ListGroups(session->client, groups.data(), groups.size())));
    std::string names;
    for (const ClientGroupName& g : groups) {
        if (g.id == nullptr) continue;
        if (!names.empty()) names += ',';
        // One line per key, one list element per group.
        names += PlainEscape(config, g.id, ',');
    }
    if (names.empty()) return;
    r.AppendPrefix("GroupNotesSupported=1");
    r.AppendPrefix("Groups=%s", names.c_str());
}

}  // namespace qelwww::detail
