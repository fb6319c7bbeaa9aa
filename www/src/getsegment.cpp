// The getsegment action: one further segment of a large AFP or line-data document, after
// the first that the full container carried. The viewer's segment numbers are the
// client's: _seg=n is object n of the document (n from 1 to NumSegments - 1).
#include <cstdlib>
#include <utility>

#include "converters.h"
#include "document_parts.h"
#include "documents.h"
#include "qel_client.h"
#include "search_pages.h"
#include "utf8_text.h"

namespace qelwww::detail {

namespace {

constexpr const char* kName = "getsegment";

// _segment/_seg: 0 with *segment; 1 with the error reply written. A number too large for
// a long is taken as the largest: no document has that many segments.
int ReadSegment(const QelWWWConfig* config, QelWWWSession* session, long* segment) {
    const char* text = session->parms->Get("_segment", "_seg");
    if (text == nullptr) {
        QelWWW_ReportText(config, session, false, QELWWW_MSG_MISSING_ARG, {"_segment"});
        return 1;
    }
    const char* digits = *text == '-' ? text + 1 : text;
    if (*digits == '\0' || !QelWWW_IsNumber(digits)) {
        QelWWW_ReportText(config, session, false, QELWWW_MSG_BAD_VALUE, {"_segment"});
        return 1;
    }
    *segment = std::strtol(text, nullptr, 10);
    return 0;
}

struct SegmentRequest {
    const QelWWWConfig* config = nullptr;
    QelWWWSession* session = nullptr;
    OpenFolder* folder = nullptr;
    ChosenDocument chosen;
    char type = 'N';
    bool applet = false;
    OpenDocument* document = nullptr;
    std::string resources;
    char resourceLetter = 'N';
    bool resourcesFound = false;

    bool Text() const { return session->asciiOutput != 0; }
    int Fail() {
        EndWithFolder(session, folder, false);
        return 1;
    }
};

// The open document: its saved object (and cached resources) with CacheDocs, else a fresh
// retrieval. 0; 1 failed with the reply written.
int OpenDocumentOf(SegmentRequest& s) {
    if (s.config->cacheDocs) {
        s.document = RestoreOpenDocument(s.config, s.session, Hit_DocNameHasDollar(s.chosen.hit),
                                         s.chosen.key, s.folder, s.chosen.hit);
        if (s.document != nullptr) {
            std::string data;
            bool dataFound = false;
            LookupCachedDocument(s.config, s.session, s.chosen.key, s.chosen.hit, &data, &dataFound,
                                 &s.resources, &s.resourcesFound);
            if (!s.resourcesFound) s.resources.clear();
            return 0;
        }
    }
    // The first segment's data is not needed here, only the document.
    std::string data;
    ClientStatus status;
    Doc_SetRetrieveMode(s.session->client, 1, Hit_DocNameHasDollar(s.chosen.hit) ? 0 : 1);
    {
        OutputScope scope(&data);
        Doc_Retrieve(&status, s.session->client, s.folder, s.chosen.hit, &s.document, 0, 0, AppendOutput, 0);
    }
    if (status.severity != CLIENT_SEV_OK || s.document == nullptr) {
        QelWWW_ReportStatus(s.config, s.session, &status);
        return s.Fail();
    }
    return 0;
}

// The resources for the AFP-to-HTML converter, expanded.
void FetchResources(SegmentRequest& s) {
    char resourceLetter = 0;
    char dataLetter = 0;
    Doc_GetConvertFlags(s.document, &resourceLetter, &dataLetter);
    if (s.resourcesFound) {
        SEARCH_TRACE(s.config, "getsegment: restored resources");
    } else if (s.document->resources != 0) {
        OutputScope scope(&s.resources);
        ClientStatus status;
        Doc_GetResources(&status, s.document, AppendOutput, 0);
        if (status.severity != CLIENT_SEV_OK || scope.Failed()) s.resources.clear();
    }
    if (!s.resources.empty() && !IsStoredLetter(resourceLetter)) {
        SEARCH_TRACE(s.config, "getsegment: uncompress resource data");
        Recompress(&s.resources, resourceLetter, 'N');
    }
}

}  // namespace

int GetSegmentAction(const QelWWWConfig* config, QelWWWSession* session) {
    SEARCH_TRACE(config, "getsegment: entering");
    SegmentRequest s;
    s.config = config;
    s.session = session;
    s.applet = ReadAppletMode(config, session, kName);
    long number = 0;
    if (ReadSegment(config, session, &number) != 0) return 1;
    // Segment 0 is the document's own first piece, which the full container carried.
    if (number < 1) {
        QelWWW_ReportMessage(config, session, false, kMsgLogicSegment, 0, nullptr);
        return 1;
    }
    if (StartWithFolder(config, session, kName, &s.folder) != 0) return 1;
    if (ChooseDocument(config, session, s.folder, kName, &s.chosen) != 0) return 1;
    s.type = Hit_GetDataType(s.chosen.hit);
    if (OpenDocumentOf(s) != 0) return 1;

    const ContentChoice content = SegmentContentType(config, session, s.type);
    if (s.document->segmentCount < 2 || number >= s.document->segmentCount) {
        SEARCH_TRACE(config, "getsegment: segment %ld of %d segments", number, s.document->segmentCount);
        QelWWW_ReportMessage(config, session, false, kMsgLogicSegment, 0, nullptr);
        return s.Fail();
    }
    const int segment = static_cast<int>(number);

    // Text comes as line data and expanded; everything else as stored, but for a '$'
    // document, whose objects come expanded (as from retrieve) and get their letter back.
    const bool asStored = !s.Text() && !Hit_DocNameHasDollar(s.chosen.hit);
    Doc_SetRetrieveMode(session->client, 2, s.Text() ? 1 : 0);
    Doc_SetRetrieveMode(session->client, 1, asStored ? 1 : 0);
    std::string data;
    ClientStatus status;
    {
        OutputScope scope(&data);
        Doc_GetSegment(&status, s.document, segment, AppendOutput, 0);
        if (status.severity == CLIENT_SEV_OK && scope.Failed()) {
            QelWWW_ReportMessage(config, session, false, QELWWW_MSG_NO_MEMORY, 0, nullptr);
            return s.Fail();
        }
    }
    if (status.severity != CLIENT_SEV_OK) {
        SEARCH_TRACE(config, "getsegment: segment failed, severity %d, code %d", status.severity,
                     status.code);
        QelWWW_ReportStatus(config, session, &status);
        return s.Fail();
    }
    char resourceLetter = 0;
    char letter = 0;
    Doc_GetConvertFlags(s.document, &resourceLetter, &letter);
    if (!asStored && !s.Text()) {
        if (IsStoredLetter(letter) || !Recompress(&data, 'N', letter)) letter = 'N';
    }
    if (s.Text()) {
        SEARCH_TRACE(config, "getsegment: converting object data to UTF8");
        data = ConfiguredToUtf8(config, data);
        if (!Recompress(&data, 'N', 'O')) {
            QelWWW_ReportText(config, session, false, kMsgConvertFailed, {});
            return s.Fail();
        }
        letter = 'O';
    }
    // The applet takes its data compressed, as from retrieve.
    if (!content.container && !s.applet && !IsStoredLetter(letter)) {
        SEARCH_TRACE(config, "getsegment: uncompress document data");
        if (Recompress(&data, letter, 'N')) letter = 'N';
    }

    const bool afpHtml =
        s.type == 'A' && !s.Text() && (session->view.afpViewMode & (QELWWW_VIEW_HTML | QELWWW_VIEW_PDF)) != 0;
    if (afpHtml) {
        // PDF is no segment form: such a request gets the HTML pages too.
        FetchResources(s);
        const int rc = Afp2Html(config, session, s.document, s.resources, data, segment);
        SEARCH_TRACE(config, "getsegment: return from afp2html: %d", rc);
        if (rc != 0) return s.Fail();
    }
    QelWWWResponse& r = *session->response;
    r.SetContentType(content.type.c_str());
    const bool htmlText = s.Text() && !session->noHtml;
    if (session->noHtml) {
        WriteBeginLine(config, session);
        if (s.type == 'L' && s.applet) r.PrintBinaryLine("DATA=%zu", data.size());
    } else if (htmlText) {
        if (!session->page.empty()) QelWWW_WriteHeader(config, session);
        r.AppendPrefix("<pre>");
    }
    if (content.container) WriteSegmentLead(session, segment);
    if (!afpHtml) {
        if (htmlText) {
            r.SetSourceCodePage(1208);
            const std::string escaped = QelWWW_PageText(data);
            r.AppendText(escaped.data(), escaped.size());
        } else {
            r.AppendBinary(std::move(data));
        }
    }
    if (htmlText) {
        r.AppendSuffix("</pre>");
        if (!session->page.empty()) QelWWW_WriteTrailer(config, session);
    }
    r.SaveStateCookies(config, session, config->codePage,
                       static_cast<int32_t>(Session_GetUserValue(session->client)));
    FinishWithFolder(config, session, kName, s.folder);
    SEARCH_TRACE(config, "getsegment: exiting");
    return 0;
}

}  // namespace qelwww::detail
