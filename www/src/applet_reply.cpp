// The lines of a plain-text document reply that the viewer applet reads before the data.
#include "document_parts.h"
#include "qel_client.h"

namespace qelwww::detail {

void WriteBeginLine(const QelWWWConfig* config, QelWWWSession* session) {
    const char begin = config->beginChar != 0 ? config->beginChar : '[';
    const char end = config->endChar != 0 ? config->endChar : ']';
    session->response->AppendPrefix("%cBEGIN%c", begin, end);
}

void WriteAppletKeys(QelWWWSession* session, const OpenDocument* document) {
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
        // One line per key: a name never breaks it.
        for (const char* c = g.id; *c != '\0'; ++c) names += (*c == '\r' || *c == '\n') ? ' ' : *c;
    }
    if (names.empty()) return;
    r.AppendPrefix("GroupNotesSupported=1");
    r.AppendPrefix("Groups=%s", names.c_str());
}

}  // namespace qelwww::detail
