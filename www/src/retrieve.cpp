// The retrieve action: one document of the current folder in the form the browser's views
// ask for - the viewer container, native data, text, a converter's output or an applet page.
#include "converters.h"
#include "document_parts.h"
#include "documents.h"
#include "qel_client.h"
#include "search_pages.h"
#include "utf8_text.h"

namespace qelwww::detail {

namespace {

constexpr const char* kName = "retrieve";

// One retrieve request while it runs.
struct Retrieval {
    const QelWWWConfig* config = nullptr;
    QelWWWSession* session = nullptr;
    OpenFolder* folder = nullptr;
    ChosenDocument chosen;
    char type = 'N';
    bool applet = false;
    OpenDocument* document = nullptr;
    std::string data;
    std::string resources;
    std::string index;  // the e-mail program's index
    char dataLetter = 'N';
    char resourceLetter = 'N';
    bool fromCache = false;

    bool Text() const { return session->asciiOutput != 0; }
    uint32_t Afp() const { return session->view.afpViewMode; }
    // Fails the request: the error reply is written, the folder closed, the logon ended.
    int Fail() {
        EndWithFolder(session, folder, false);
        return 1;
    }
    int Report(int index, const std::vector<std::string>& inserts) {
        QelWWW_ReportText(config, session, false, index, inserts);
        return Fail();
    }
};

// Where the applet shows the document instead of this request: UseApplet of the AFP
// converter's settings for AFP viewed as HTML, the line-data applet for line data.
bool WantsAppletPage(const Retrieval& r) {
    if (r.type == 'A' && (r.Afp() & QELWWW_VIEW_HTML) != 0) {
        const char* group = nullptr;
        const char* application = nullptr;
        Hit_GetApplGroupAndApplNames(r.chosen.hit, &group, &application);
        const std::string use =
            Afp2HtmlSetting(r.config, r.session->folder, group != nullptr ? group : "", "UseApplet", "TRUE");
        return use.size() == 4 && (use[0] | 0x20) == 't' && (use[1] | 0x20) == 'r' &&
               (use[2] | 0x20) == 'u' && (use[3] | 0x20) == 'e';
    }
    return r.type == 'L' && (r.session->view.lineViewMode & QELWWW_VIEW_APPLET) != 0;
}

int WriteAppletPage(Retrieval& r) {
    QelWWWSession* session = r.session;
    // The page's links name the document by id, also when a search chose it.
    if (session->parms->Get("_docid", "_d") == nullptr)
        session->parms->AddPair("_d", QelWWW_UrlEncode(session, r.chosen.docId, true).c_str());
    session->response->SaveStateCookies(r.config, session, r.config->codePage,
                                        static_cast<int32_t>(Session_GetUserValue(session->client)));
    FinishWithFolder(r.config, session, kName, r.folder);
    if (r.type == 'A') return QelWWW_AfpAppletFrameset(r.config, session);
    return QelWWW_AppletPage(r.config, session, kLineAppletName);
}

void DecideTextOutput(Retrieval& r) {
    uint8_t& text = r.session->asciiOutput;
    switch (r.type) {
        case 'A':
            if ((r.Afp() & QELWWW_VIEW_ASCII) != 0) {
                text = 1;
            } else if ((r.Afp() & (QELWWW_VIEW_HTML | QELWWW_VIEW_PDF)) != 0) {
                text = 0;
            }
            break;
        case 'E':
            if ((r.session->view.emailViewMode & QELWWW_VIEW_NATIVE) != 0) text = 1;
            break;
        case 'L':
            if ((r.session->view.lineViewMode & QELWWW_VIEW_ASCII) != 0) text = 1;
            break;
        default: text = 0;
    }
}

// The document from the cache files and its saved object. True when both were there.
bool FromCache(Retrieval& r) {
    if (!r.config->cacheDocs) return false;
    bool dataFound = false;
    bool resourcesFound = false;
    LookupCachedDocument(r.config, r.session, r.chosen.key, r.chosen.hit, &r.data, &dataFound, &r.resources,
                         &resourcesFound);
    if (!dataFound) {
        r.data.clear();
        r.resources.clear();
        return false;
    }
    SEARCH_TRACE(r.config, "retrieve: restored document");
    if (resourcesFound) SEARCH_TRACE(r.config, "retrieve: restored resources");
    if (r.type == 'E') {
        if (!LookupCachedIndexData(r.config, r.session, r.chosen.key, &r.index)) r.index.clear();
        SEARCH_TRACE(r.config, "retrieve: restored email document and indexes");
    }
    SEARCH_TRACE(r.config, "retrieve: restoring internal document object");
    // Page tables are saved with the documents that have them (the '$' documents).
    r.document = RestoreOpenDocument(r.config, r.session, Hit_DocNameHasDollar(r.chosen.hit), r.chosen.key,
                                     r.folder, r.chosen.hit);
    if (r.document == nullptr) {
        r.data.clear();
        r.resources.clear();
        r.index.clear();
        return false;
    }
    char resourceLetter = 0;
    Doc_GetConvertFlags(r.document, &resourceLetter, &r.dataLetter);
    if (r.Text()) r.dataLetter = 'O';
    // Resources are kept as they came: as stored, unless the document's name has a '$'.
    const bool asStored = !r.Text() && !Hit_DocNameHasDollar(r.chosen.hit);
    r.resourceLetter = asStored && resourceLetter != 0 ? resourceLetter : 'N';
    // The resources of a document whose resource file was purged come from the server.
    if (!resourcesFound && !r.Text() && r.document->resources != 0) {
        Doc_SetRetrieveMode(r.session->client, 1, asStored ? 1 : 0);
        OutputScope scope(&r.resources);
        ClientStatus status;
        Doc_GetResources(&status, r.document, AppendOutput, 0);
        if (status.severity != CLIENT_SEV_OK || scope.Failed()) r.resources.clear();
    }
    return true;
}

// Room for a document of the length its object reference gives; a length that cannot be
// had is left to the growing buffer.
// Room for the container's header, information and resources in front of the document.
constexpr uint64_t kContainerRoom = 64 * 1024;

void ReserveFor(std::string* buffer, uint64_t length) {
    try {
        buffer->reserve(length);
    } catch (const std::exception&) {
    }
}

// 0 retrieved; 1 failed with the reply written.
int FromServer(Retrieval& r) {
    ClientSession* client = r.session->client;
    const bool asStored = !r.Text() && !Hit_DocNameHasDollar(r.chosen.hit);
    if (asStored) SEARCH_TRACE(r.config, "retrieve: retrieve data compressed");
    Doc_SetRetrieveMode(client, 1, asStored ? 1 : 0);
    Doc_SetRetrieveMode(client, 2, 0);  // a segment request's line-data mode is not this one's
    ClientStatus status;
    bool failed = false;
    {
        // The stored length is known: one buffer of that size, not a growing one.
        const CsXdrObjectRef* object = r.chosen.hit->row != nullptr ? r.chosen.hit->row->object : nullptr;
        if (object != nullptr)
            ReserveFor(&r.data,
                       uint64_t{asStored ? object->compressedLength : object->length} + kContainerRoom);
        OutputScope scope(&r.data);
        Doc_Retrieve(&status, client, r.folder, r.chosen.hit, &r.document, 0, 0, AppendOutput, 0);
        failed = scope.Failed();
    }
    if (status.severity != CLIENT_SEV_OK || r.document == nullptr) {
        SEARCH_TRACE(r.config, "retrieve: retrieve failed, severity %d, code %d", status.severity,
                     status.code);
        QelWWW_ReportStatus(r.config, r.session, &status);
        return r.Fail();
    }
    if (failed) {
        QelWWW_ReportMessage(r.config, r.session, false, QELWWW_MSG_NO_MEMORY, 0, nullptr);
        return r.Fail();
    }
    char resourceLetter = 0;
    Doc_GetConvertFlags(r.document, &resourceLetter, &r.dataLetter);
    SEARCH_TRACE(r.config, "retrieve: document compress is '%c'", r.dataLetter != 0 ? r.dataLetter : ' ');
    // What came back is as stored only when it was asked for so.
    const char stored = r.dataLetter;
    if (!asStored) r.dataLetter = 'N';
    if (!r.Text() && r.document->resources != 0 && (r.type == 'A' || r.type == 'L')) {
        OutputScope scope(&r.resources);
        Doc_GetResources(&status, r.document, AppendOutput, 0);
        if (status.severity != CLIENT_SEV_OK || scope.Failed()) {
            QelWWW_ReportStatus(r.config, r.session, &status);
            return r.Fail();
        }
        r.resourceLetter = asStored && resourceLetter != 0 ? resourceLetter : 'N';
    }

    if (r.Text()) {
        if (r.type == 'L') {
            std::string text;
            if (!QelWWW_LineDataToText(r.config, r.document, r.data, &text)) {
                SEARCH_TRACE(r.config, "retrieve: line data not converted to text");
                return r.Report(kMsgConvertFailed, {});
            }
            r.data = std::move(text);
        }
        SEARCH_TRACE(r.config, "retrieve: converting object data to utf-8");
        r.data = ConfiguredToUtf8(r.config, r.data);
    }
    // Text goes out (and into the cache) zlib-compressed; a '$' document took its data
    // expanded and gets its stored letter back.
    const char target = r.Text() ? 'O' : (!asStored && !IsStoredLetter(stored) ? stored : 0);
    if (target != 0) {
        SEARCH_TRACE(r.config, "retrieve: compressing object data");
        if (Recompress(&r.data, 'N', target)) r.dataLetter = target;
    }
    return 0;
}

// The e-mail program's HTML in place of the message, compressed again with the message's
// letter. 0; 1 failed with the reply written.
int ConvertEmail(Retrieval& r) {
    const char letter = r.dataLetter;
    if (!IsStoredLetter(letter) && Recompress(&r.data, letter, 'N')) r.dataLetter = 'N';
    if (!r.Text()) {
        std::string program;
        int error = 0;
        if (!RunEmailProgram(r.config, r.session, &r.data, &r.index, &program, &error))
            return r.Report(kMsgNoProgram, {program, std::to_string(error)});
    }
    if (r.dataLetter == 'N' && !IsStoredLetter(letter) && Recompress(&r.data, 'N', letter))
        r.dataLetter = letter;
    return 0;
}

void WriteToCache(Retrieval& r) {
    if (!r.config->cacheDocs || r.fromCache) return;
    const bool withResources = (r.type == 'A' || r.type == 'L') && !r.Text() && !r.resources.empty();
    CacheDocument(r.config, r.session, r.chosen.key, r.chosen.hit, r.data,
                  withResources ? std::string_view(r.resources) : std::string_view());
    SaveOpenDocument(r.config, r.session, r.document->pageTables != nullptr, r.chosen.key, r.document);
    if (r.type == 'E' && !r.index.empty()) CacheIndexData(r.config, r.session, r.chosen.key, r.index);
}

// Expands what goes out without the container (the applet takes its data compressed,
// unless a converter reads it).
void ExpandForOutput(Retrieval& r) {
    const bool converted = r.type == 'A' && (r.Afp() & (QELWWW_VIEW_HTML | QELWWW_VIEW_PDF)) != 0;
    if (r.applet && !converted) return;
    if (!IsStoredLetter(r.dataLetter)) {
        SEARCH_TRACE(r.config, "retrieve: uncompress document data");
        if (Recompress(&r.data, r.dataLetter, 'N')) r.dataLetter = 'N';
    }
    if (!r.resources.empty() && !IsStoredLetter(r.resourceLetter)) {
        SEARCH_TRACE(r.config, "retrieve: uncompress resource data");
        if (Recompress(&r.resources, r.resourceLetter, 'N')) r.resourceLetter = 'N';
    }
}

// The text of segments 1 to the last, appended to the data.
int AppendSegmentTexts(Retrieval& r) {
    for (int32_t segment = 1; segment < r.document->segmentCount; ++segment) {
        std::string data;
        ClientStatus status;
        bool failed = false;
        {
            OutputScope scope(&data);
            Doc_GetSegment(&status, r.document, segment, AppendOutput, 0);
            failed = scope.Failed();
        }
        if (status.severity != CLIENT_SEV_OK) {
            SEARCH_TRACE(r.config, "retrieve: segment %d failed, severity %d, code %d", segment,
                         status.severity, status.code);
            QelWWW_ReportStatus(r.config, r.session, &status);
            return r.Fail();
        }
        if (failed) {
            QelWWW_ReportMessage(r.config, r.session, false, QELWWW_MSG_NO_MEMORY, 0, nullptr);
            return r.Fail();
        }
        std::string text;
        if (!QelWWW_LineDataToText(r.config, r.document, data, &text)) {
            SEARCH_TRACE(r.config, "retrieve: segment %d not converted to text", segment);
            return r.Report(kMsgConvertFailed, {});
        }
        r.data += ConfiguredToUtf8(r.config, text);
    }
    return 0;
}

// A page or plain text of line data shows the whole document: the text of every further
// segment, converted as the first, follows it. The applet asks for them itself. 0; 1
// failed with the reply written.
int AppendFurtherSegments(Retrieval& r) {
    if (!r.Text() || r.applet || r.type != 'L' || r.document->segmentCount < 2) return 0;
    if (!IsStoredLetter(r.dataLetter)) return 0;  // the first segment's text did not expand
    ClientSession* client = r.session->client;
    Doc_SetRetrieveMode(client, 2, 1);
    Doc_SetRetrieveMode(client, 1, 0);
    const int result = AppendSegmentTexts(r);
    Doc_SetRetrieveMode(client, 2, 0);  // the saved session keeps retrieve's own mode
    return result;
}

// The body that a converter or page renderer writes. -1 when none does; else its result.
int ConvertedBody(Retrieval& r, const std::string& description) {
    const char* ext = r.session->parms->Get("_ext");
    if (r.type == 'A' && (r.Afp() & QELWWW_VIEW_HTML) != 0 && !r.Text()) {
        const int rc = Afp2Html(r.config, r.session, r.document, r.resources, r.data, 0);
        SEARCH_TRACE(r.config, "retrieve: return from afp2html: %d", rc);
        return rc;
    }
    if (r.type == 'A' && (r.Afp() & QELWWW_VIEW_PDF) != 0 && !r.Text()) {
        const int rc = Afp2Pdf(r.config, r.session, r.document, r.resources, r.data);
        SEARCH_TRACE(r.config, "retrieve: return from afp2pdf: %d", rc);
        return rc;
    }
    if (r.type == 'O' || (r.type == 'E' && !r.Text())) {
        if (ext != nullptr) return WriteEmbeddedDoc(r.config, r.session, r.data);
        if (r.type == 'O')
            return RenderEmailBundle(r.config, r.session, r.folder, r.chosen.hit, r.data, r.chosen.docId,
                                     description);
        return ParseEmbeddedHeader(r.config, r.session, r.folder, r.chosen.hit, r.data, r.chosen.docId,
                                   description);
    }
    return -1;
}

// The extension of the document type, for a content type the gateway knows no extension of
// (a site's own `mimetypes`).
std::string LetterExtension(const Retrieval& r) {
    switch (r.type) {
        case 'A': return "afp";
        case 'P': return "pdf";
        case 'T': return "tif";
        case 'B': return "bmp";
        case 'G': return "gif";
        case 'X': return "pcx";
        case 'F': return "jpg";
        case 'L': return "txt";
        case 'U': return Doc_GetUserTypeExtension(r.document).value_or("");
        default: return "";
    }
}

// A document sent as a file is saved under its description, not under the script's name.
void NameDownload(Retrieval& r, const std::string& description) {
    QelWWWResponse& response = *r.session->response;
    const std::string name =
        DownloadFileName(ConfiguredToUtf8(r.config, description), response.ContentType(), LetterExtension(r));
    response.SetHeaderValue("Content-Disposition", DownloadDisposition(name));
}

// 0 written; 1 failed with the reply written.
int WriteReply(Retrieval& r, const ContentChoice& content, const std::string& description) {
    QelWWWSession* session = r.session;
    QelWWWResponse& response = *session->response;
    const bool plainReply =
        session->noHtml && (r.Text() || (r.type == 'A' && (r.Afp() & QELWWW_VIEW_HTML) != 0));
    const bool htmlText = r.Text() && !session->noHtml;

    if (content.container) {
        ContainerPieces pieces;
        pieces.document = r.document;
        pieces.documentType = r.type;
        pieces.resources = r.resources;
        pieces.resourceLetter = r.resourceLetter;
        pieces.documentLetter = r.dataLetter;
        pieces.ownedData = &r.data;
        if (r.document->segmentCount > 1)
            pieces.segmentUrl = SegmentUrl(r.config, session, r.type, r.chosen.docId);
        response.SetContentType(content.type.c_str());
        WriteContainer(session, pieces);
        return 0;
    }
    // A converter first: its error reply must find the response untouched.
    const int converted = ConvertedBody(r, description);
    if (converted > 0) return r.Fail();
    response.SetContentType(content.type.c_str());
    if (plainReply) {
        WriteBeginLine(r.config, session);
        if (r.applet) WriteAppletKeys(r.config, session, r.document);
    } else if (htmlText) {
        if (!session->page.empty()) QelWWW_WriteHeader(r.config, session);
        response.AppendPrefix("<pre>");
    }
    if (converted == 0) {
        if (!plainReply && !htmlText) NameDownload(r, description);
        return 0;
    }
    if (htmlText) {
        // Archive text inside a page.
        response.SetSourceCodePage(1208);
        const std::string escaped = QelWWW_PageText(r.data);
        response.AppendText(escaped.data(), escaped.size());
        response.AppendSuffix("</pre>");
        if (!session->page.empty()) QelWWW_WriteTrailer(r.config, session);
        return 0;
    }
    if (!r.Text() && !r.resources.empty()) response.AppendBinary(r.resources.data(), r.resources.size());
    if (r.applet) response.PrintBinaryLine("DATA=%zu", r.data.size());
    if (!plainReply) NameDownload(r, description);
    response.AppendBinary(std::move(r.data));
    return 0;
}

}  // namespace

int RetrieveAction(const QelWWWConfig* config, QelWWWSession* session) {
    SEARCH_TRACE(config, "retrieve: entering");
    Retrieval r;
    r.config = config;
    r.session = session;
    r.applet = ReadAppletMode(config, session, kName);
    if (StartWithFolder(config, session, kName, &r.folder) != 0) return 1;
    if (ChooseDocument(config, session, r.folder, kName, &r.chosen) != 0) return 1;
    r.type = Hit_GetDataType(r.chosen.hit);

    if (!r.applet && WantsAppletPage(r)) return WriteAppletPage(r);
    DecideTextOutput(r);
    r.fromCache = FromCache(r);

    const bool mayView = Hit_CanViewFlag0(r.chosen.hit);
    if (!mayView || r.type == 'N') {
        const std::string description = DescribeHit(session, r.folder, r.chosen.hit);
        return r.Report(mayView ? kMsgNotDisplayable : kMsgNotPermitted, {description});
    }
    if (!r.fromCache) {
        if (FromServer(r) != 0) return 1;
        if (r.type == 'E' && ConvertEmail(r) != 0) return 1;
    }

    SEARCH_TRACE(config, "retrieve: document type is '%c'", r.type);
    std::optional<std::string> extension;
    if (r.type == 'U') extension = Doc_GetUserTypeExtension(r.document);
    const char* ext = session->parms->Get("_ext");
    const ContentChoice content =
        RetrieveContentType(config, session, r.type, extension.value_or(""), ext != nullptr ? ext : "");
    // The cache keeps the data as it came (stored letter, or zlib text).
    WriteToCache(r);
    if (!content.container) ExpandForOutput(r);
    if (AppendFurtherSegments(r) != 0) return 1;

    if (WriteReply(r, content, DescribeHit(session, r.folder, r.chosen.hit)) != 0) return 1;
    session->response->SaveStateCookies(config, session, config->codePage,
                                        static_cast<int32_t>(Session_GetUserValue(session->client)));
    FinishWithFolder(config, session, kName, r.folder);
    SEARCH_TRACE(config, "retrieve: exiting");
    return 0;
}

}  // namespace qelwww::detail
