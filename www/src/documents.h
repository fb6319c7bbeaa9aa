// Internal: what the document actions share - the viewer container, the document cache
// steps, the memory output of retrievals, the line-data text and the applet pages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "qel_www.h"

struct OpenDocument;
struct OpenFolder;
struct SearchHit;

namespace qelwww::detail {

// ---------------------------------------------------------------------------
// The viewer container (docs/container.md). Every integer is big-endian.
// ---------------------------------------------------------------------------

inline constexpr uint32_t kContainerVersion = 2000;
inline constexpr size_t kLeadSize = 12;
inline constexpr size_t kHeaderSize = 28;       // after the lead: a full header is 40 bytes
inline constexpr size_t kLineDataRunSize = 41;  // u32 37 and the 37-byte block
inline constexpr uint32_t kLineDataBlockSize = 37;

// Segment field of the lead.
inline constexpr int32_t kWholeWithoutInfo = -1;
inline constexpr int32_t kWholeWithInfo = 0;

struct ViewerDataLead {
    char magic[4] = {'V', 'O', 'D', '#'};
    uint32_t version = kContainerVersion;
    int32_t segment = kWholeWithoutInfo;  // -1, 0, or the number of a segment reply
};

struct ViewerDataHeader {
    uint8_t infoLetter = 0;  // 0 without an information piece
    uint8_t resourceLetter = 0;
    uint8_t documentLetter = 0;
    uint32_t infoLength = 0;
    uint32_t resourceLength = 0;
    uint8_t documentType = 0;  // 'A' or 'L'
    uint8_t orientation = 0;   // '0', '9', '1', '2'
    uint32_t number = 100;     // the view's zoom; 100 keeps the viewer's default
    float pageWidth = 0;
    float pageLength = 0;
    uint8_t attributes[3] = {};  // image intensity, shade (image colour), background
};

struct LineDataHeader {
    uint32_t blockLength = kLineDataBlockSize;
    uint8_t shiftKind = 'N';
    uint8_t recordFormat = 0;
    uint32_t recordLength = 0;
    uint8_t carriageControl = 'N';
    uint8_t trc = 0;
    uint32_t codePage = 0;
    uint32_t pageHeaderRows = 0;
    uint32_t fieldHeaderRows = 0;
    char recordDelimiter[17] = {};
};

void QelWWW_PackLeadHeader(const ViewerDataLead& lead, unsigned char out[kLeadSize]);
void QelWWW_PackDocHeader(const ViewerDataHeader& header, unsigned char out[kHeaderSize]);
void QelWWW_PackLineDataHeader(const LineDataHeader& block, unsigned char out[kLineDataRunSize]);

// The header and line-data sources of an open document (every field the container copies
// from it; the lengths and letters of the pieces are the caller's).
ViewerDataHeader HeaderOfDocument(const OpenDocument* document);
LineDataHeader LineDataOfDocument(const OpenDocument* document);

// The URL the viewer appends a segment number to: script name, the link hint of an AFP
// document, and "?_f=<folder>[&_h=<page>]&_d=<docid>&_a=g&_seg=".
std::string SegmentUrl(const QelWWWConfig* config, const QelWWWSession* session, char documentType,
                       std::string_view docId);

// The pieces of a full container as they stand in memory (stored compression).
struct ContainerPieces {
    const OpenDocument* document = nullptr;
    char documentType = 'A';     // 'A' or 'L'
    std::string_view resources;  // as the retrieval left them
    std::string_view data;       // as the retrieval left it
    // The letters of the bytes above: a '$' document's resources come expanded ('N')
    // though their descriptor names another. Without resource bytes the header carries
    // the descriptor's letter.
    char resourceLetter = 'N';
    char documentLetter = 'N';
    // When set, the data is this buffer instead, and the container is built inside it and
    // handed to the response without a copy (the buffer is left empty).
    std::string* ownedData = nullptr;
    std::string segmentUrl;  // used only when the document has segments
};
// Appends a full container (lead, header, line-data run, information piece, resources,
// document) to the response's binary body.
void WriteContainer(QelWWWSession* session, ContainerPieces& pieces);
// Appends the 12-byte lead of a segment reply.
void WriteSegmentLead(QelWWWSession* session, int32_t segment);

// ---------------------------------------------------------------------------
// Memory output of retrievals
// ---------------------------------------------------------------------------

// While one lives on a thread, DocumentOutput, SegmentOutput and ResourceOutput append what
// a retrieval delivers to that buffer (growing geometrically). A buffer that cannot grow
// stops the transfer (0) and marks the output failed.
class OutputScope {
public:
    explicit OutputScope(std::string* buffer);
    ~OutputScope();
    OutputScope(const OutputScope&) = delete;
    OutputScope& operator=(const OutputScope&) = delete;
    bool Failed() const { return failed_; }

private:
    friend int AppendOutput(OpenFolder*, const unsigned char*, size_t);
    std::string* buffer_;
    OutputScope* previous_;
    bool failed_ = false;
};
// The consumer (ClientDocDataFn) handed to Doc_Retrieve, Doc_GetSegment, Doc_GetResources.
int AppendOutput(OpenFolder* folder, const unsigned char* data, size_t length);

// ---------------------------------------------------------------------------
// Document cache steps (docs/cache-files.md). The document key is the docid cut at its
// first 0x01. Every step writes and finds nothing when CacheDocs is off.
// ---------------------------------------------------------------------------

// The .idoc file: the document blob (State_SaveDocument), with data followed by its page
// tables (State_SaveDocumentData). True when written.
bool SaveOpenDocument(const QelWWWConfig* config, QelWWWSession* session, bool withData,
                      std::string_view documentKey, const OpenDocument* document);
// Rebuilds the document of the hit from its .idoc file (read with touch); with data also
// its page tables. Null when missing or refused; a document whose tables fail is closed.
OpenDocument* RestoreOpenDocument(const QelWWWConfig* config, QelWWWSession* session, bool withData,
                                  std::string_view documentKey, OpenFolder* folder, SearchHit* hit);
// The document file (.asc with text output, else .doc) and, when resources are given, the
// .res file of the hit's resource group (group id, resource id).
bool CacheDocument(const QelWWWConfig* config, QelWWWSession* session, std::string_view documentKey,
                   const SearchHit* hit, std::string_view data, std::string_view resources);
bool CacheIndexData(const QelWWWConfig* config, QelWWWSession* session, std::string_view documentKey,
                    std::string_view data);
// Reads (with touch) the resource file when the hit has a resource group and text output is
// off, and the document file. True when either was found.
bool LookupCachedDocument(const QelWWWConfig* config, QelWWWSession* session, std::string_view documentKey,
                          const SearchHit* hit, std::string* data, bool* dataFound, std::string* resources,
                          bool* resourcesFound);
bool LookupCachedIndexData(const QelWWWConfig* config, QelWWWSession* session, std::string_view documentKey,
                           std::string* data);

// ---------------------------------------------------------------------------
// Converters and pages
// ---------------------------------------------------------------------------

// Line data (as the server delivered it, expanded) to text: each line and a line feed, a
// form feed after each page. False when the reader cannot open the data.
bool QelWWW_LineDataToText(const QelWWWConfig* config, const OpenDocument* document, std::string_view data,
                           std::string* text);

// Document text for the page's <pre>: HTML-escaped, and after each form feed (kept, so
// that a copied text keeps its pages) a rule that shows the page break, which a browser
// does not show inside <pre>.
std::string QelWWW_PageText(std::string_view text);

// The AFP applet's frameset and the applet page of either viewer applet. 0 written; 1 with
// message 491 ("_docid") when the request carries no docid.
int QelWWW_AfpAppletFrameset(const QelWWWConfig* config, QelWWWSession* session);
int QelWWW_AppletPage(const QelWWWConfig* config, QelWWWSession* session, const char* appletName);

inline constexpr const char* kAfpAppletName = "ZERiz2Iraz";
inline constexpr const char* kLineAppletName = "ZURaduVeraZozezo";

// ---------------------------------------------------------------------------
// Actions
// ---------------------------------------------------------------------------

int RetrieveAction(const QelWWWConfig* config, QelWWWSession* session);
int GetSegmentAction(const QelWWWConfig* config, QelWWWSession* session);
int UpdateDocAction(const QelWWWConfig* config, QelWWWSession* session);
int PrintDocsAction(const QelWWWConfig* config, QelWWWSession* session);
int GetNotesAction(const QelWWWConfig* config, QelWWWSession* session);
int AddNoteAction(const QelWWWConfig* config, QelWWWSession* session);
int AfpAppletAction(const QelWWWConfig* config, QelWWWSession* session);  // QKA2H

}  // namespace qelwww::detail
