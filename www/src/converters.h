// Internal: the converters of the document actions - outside AFP-to-HTML and AFP-to-PDF
// libraries, the outside e-mail program, the e-mail and bundle pages, embedded documents.
// Every function with a reply writes either its output or an error reply.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "qel_www.h"

struct OpenDocument;
struct OpenFolder;
struct SearchHit;

namespace qelwww::detail {

// AFP to HTML: resources followed by the document through the AFP-to-HTML library, page
// by page for the applet when its settings say so (segment: the number of the segment
// the document data is). 0 with the output appended; 1 with the error reply written
// (message 407 with the library path when the library is missing).
int Afp2Html(const QelWWWConfig* config, QelWWWSession* session, const OpenDocument* document,
             std::string_view resources, std::string_view data, int segment);
// AFP to PDF through the AFP-to-PDF library (or program). 0 with the PDF appended; 1 with
// the error reply written (message 407 with the library path).
int Afp2Pdf(const QelWWWConfig* config, QelWWWSession* session, const OpenDocument* document,
            std::string_view resources, std::string_view data);
// The e-mail program turns the expanded e-mail document into HTML: true with *data
// replaced by its output and *index by its index file; false when it cannot run or fails,
// with *program naming it and *error the errno of a failed start or file step, else its
// exit status (128 + the signal that ended it).
bool RunEmailProgram(const QelWWWConfig* config, QelWWWSession* session, std::string* data,
                     std::string* index, std::string* program, int* error);
// The page of an archive bundle (type 'O') with links to its embedded documents (docId:
// the bundle's, for the links). 0 written; 1 with the error reply written: message 489
// naming the field when an embedded document's place is missing, no number or not inside
// the data.
int RenderEmailBundle(const QelWWWConfig* config, QelWWWSession* session, OpenFolder* folder,
                      const SearchHit* hit, std::string_view data, std::string_view docId,
                      const std::string& description);
// The page of an e-mail document: its text (converted from its CCSID to UTF-8) and its
// attachments. 0 written; 1 with the error reply written: message 489 naming the header
// field that is no number or places a piece outside the data.
int ParseEmbeddedHeader(const QelWWWConfig* config, QelWWWSession* session, OpenFolder* folder,
                        const SearchHit* hit, std::string_view data, std::string_view docId,
                        const std::string& description);
// The embedded document [_eoff, _eoff + _elen) of the document data, code pages 1208 in
// and out. 0 appended; 1 with the error reply written: message 491 when either parameter
// is missing, 489 when it is no number or the range is not inside the data.
int WriteEmbeddedDoc(const QelWWWConfig* config, QelWWWSession* session, std::string_view data);

// The link that asks for one embedded document: script name, "?_a=r", the template
// (_h, when the request named one), _eoff, _elen, the folder (_f, made UTF-8), the docid
// (_d) and the extension (_ext). Values are percent-encoded with every blank as '+'.
std::string QelWWW_EmbeddedDocUrl(const QelWWWConfig* config, const QelWWWSession* session,
                                  std::string_view docId, std::string_view folder, uint64_t offset,
                                  uint64_t length, std::string_view extension);

}  // namespace qelwww::detail
