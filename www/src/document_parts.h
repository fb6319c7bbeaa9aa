// Internal: the pieces the retrieve and getsegment actions share - the chosen document,
// the content type of a view, the plain-text reply lines and the data helpers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "qel_www.h"

struct OpenDocument;
struct OpenFolder;
struct SearchHit;

namespace qelwww::detail {

// Catalogue indexes of the document actions.
inline constexpr int kMsgLogicSegment = 475;  // "*** LOGIC ERROR: Invalid segment number"
inline constexpr int kMsgConvertFailed = 482;
inline constexpr int kMsgNotPermitted = 486;
inline constexpr int kMsgNotDisplayable = 488;
inline constexpr int kMsgNoLibrary = 407;
inline constexpr int kMsgNoProgram = 529;

// Applet mode (_applet=1): the plain-text reply and text output are set with it.
bool ReadAppletMode(const QelWWWConfig* config, QelWWWSession* session, const char* name);

// The document a request names.
struct ChosenDocument {
    SearchHit* hit = nullptr;
    std::string docId;  // as the request gave it (decoded once) or as Hit_FormatDocId wrote it
    std::string key;    // the docid cut at its first 0x01: the cache files' document name
};
// The hit of _docid/_d, else the first hit of a search with the request's field values
// (BETWEEN and NOT BETWEEN searched as equal). 0 with *chosen filled; 1 with the error
// reply written, the folder closed and the logon ended.
int ChooseDocument(const QelWWWConfig* config, QelWWWSession* session, OpenFolder* folder, const char* name,
                   ChosenDocument* chosen);

// The document key of a docid: everything before its first 0x01.
std::string DocumentKey(std::string_view docId);

// A description of a hit for messages 486 and 488: its display values joined by blanks,
// at most 512 bytes (never cut inside a UTF-8 character).
std::string DescribeHit(QelWWWSession* session, OpenFolder* folder, const SearchHit* hit);

// The file name a browser saves a document under: the description (UTF-8) made safe, and
// the extension of the content type, else the given one (letters and digits), else "bin".
std::string DownloadFileName(std::string_view description, std::string_view contentType,
                             std::string_view fallbackExtension);
// The Content-Disposition value for that name: shown inline where the browser can, saved
// under the name otherwise (a plain ASCII name and the UTF-8 one of RFC 8187).
std::string DownloadDisposition(std::string_view fileName);

// What a reply is sent as.
struct ContentChoice {
    std::string type;
    bool container = false;  // the viewer container (or a segment lead) is written
};
// The content type of a retrieve reply for a document type letter and the session's
// views. extension: the user-defined type's extension ('U'); embedded: the _ext value of
// an embedded document (empty: none).
ContentChoice RetrieveContentType(const QelWWWConfig* config, const QelWWWSession* session, char type,
                                  std::string_view extension, std::string_view embedded);
// The content type of a segment reply.
ContentChoice SegmentContentType(const QelWWWConfig* config, const QelWWWSession* session, char type);

// The "%cBEGIN%c" line of a plain-text reply, into the prefix.
void WriteBeginLine(const QelWWWConfig* config, QelWWWSession* session);
// The applet's key lines (segments, permissions, note support, groups), into the prefix.
void WriteAppletKeys(const QelWWWConfig* config, QelWWWSession* session, const OpenDocument* document);

// The data through the compression pipeline from one letter to another; false (data
// unchanged) when it fails.
bool Recompress(std::string* data, char from, char to);
// True for the letters of data stored as it is.
inline bool IsStoredLetter(char letter) { return letter == 'N' || letter == 'D' || letter == 0; }

// The afp2html settings file: its key read from section "<folder>-<group>", else from
// "default" with the built-in default.
std::string Afp2HtmlSetting(const QelWWWConfig* config, const std::string& folder, const std::string& group,
                            const char* key, const char* builtIn);

}  // namespace qelwww::detail
