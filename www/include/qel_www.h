// qel_www.h - the gateway core: configuration, request parameters and session set-up,
// the HTTP response, trace log, error pages, page templates and the action dispatcher.
//
// The core is shared by the servlet library (libqelwwwsl.so) and the CGI program; it knows
// nothing of either front end. One process-wide QelWWWConfig is filled at start-up and only
// read afterwards; every request owns one QelWWWSession with its QelWWWResponse and
// parameter lists, private to the thread that serves it.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct ArcIconvContext;
struct ArcOSMutex;
struct ClientSession;
struct ClientStatus;
struct OpenFolder;

// ---------------------------------------------------------------------------
// Limits and flag values
// ---------------------------------------------------------------------------

inline constexpr int QELWWW_MAX_PARMS = 1024;  // pairs of one parameter list
inline constexpr int QELWWW_MAX_HEADERS = 10;  // header pairs of one response
// Longest values the session takes; longer ones are refused (message 489), never cut.
inline constexpr size_t QELWWW_MAX_PAGE = 260;
inline constexpr size_t QELWWW_MAX_FOLDER = 60;
inline constexpr size_t QELWWW_MAX_SERVER = 254;
inline constexpr size_t QELWWW_MAX_USER = 20;
inline constexpr size_t QELWWW_MAX_PASSWORD = 20;
inline constexpr size_t QELWWW_MAX_LOCAL_DIR = 259;

// View modes (AFP, line data, e-mail).
inline constexpr uint32_t QELWWW_VIEW_ASCII = 1;
inline constexpr uint32_t QELWWW_VIEW_HTML = 2;
inline constexpr uint32_t QELWWW_VIEW_NATIVE = 4;
inline constexpr uint32_t QELWWW_VIEW_PLUGIN = 8;
inline constexpr uint32_t QELWWW_VIEW_APPLET = 16;
inline constexpr uint32_t QELWWW_VIEW_PDF = 32;

// Permission bits.
inline constexpr uint32_t QELWWW_PERM_VIEW_NOTES = 1;
inline constexpr uint32_t QELWWW_PERM_ADD_NOTES = 2;
inline constexpr uint32_t QELWWW_PERM_SERVER_PRINT = 4;

// Browser kinds and operating systems of QelWWW_DetectBrowser.
inline constexpr uint32_t QELWWW_BROWSER_IE = 1;
inline constexpr uint32_t QELWWW_BROWSER_NETSCAPE = 2;
inline constexpr uint32_t QELWWW_OS_WIN95 = 1;
inline constexpr uint32_t QELWWW_OS_WIN98 = 2;
inline constexpr uint32_t QELWWW_OS_WINNT = 4;
inline constexpr uint32_t QELWWW_OS_OTHER = 16;

// Catalogue indexes of the messages the front door issues.
inline constexpr int QELWWW_MSG_SERVER_REFUSED = 121;  // server not in ServerAccess
inline constexpr int QELWWW_MSG_NO_DIRECTORY = 170;    // cache or template directory missing
inline constexpr int QELWWW_MSG_NO_MEMORY = 217;
inline constexpr int QELWWW_MSG_BAD_VALUE = 489;  // not a number, too long, too many
inline constexpr int QELWWW_MSG_MISSING_ARG = 491;
inline constexpr int QELWWW_MSG_NO_FUNCTION = 492;
inline constexpr int QELWWW_MSG_NO_SCRIPT = 495;
inline constexpr int QELWWW_MSG_NO_INI = 497;
inline constexpr int QELWWW_MSG_OK_BUTTON = 526;

// Client API version text shown on error pages.
inline constexpr const char* QELWWW_VERSION_TEXT = "2.2.1.10";

// ---------------------------------------------------------------------------
// Configuration
// ---------------------------------------------------------------------------

// The browser-dependent view settings: defaults in the configuration, per request in the
// session (a browser section may override each of them).
struct QelWWWViewSettings {
    uint32_t afpViewMode = 0;
    uint32_t lineViewMode = 0;
    uint32_t emailViewMode = 0;
    uint32_t permissions = 0;
    uint8_t autoDocRetrieval = 0;
    uint8_t noLinks = 0;
    int32_t maxHits = 0;
    uint8_t addExtension = 0;
    uint8_t addFieldsToDocid = 0;
    uint8_t showDocLocation = 0;
};

// The process-wide configuration, filled by QelWWW_InitConfig and read-only afterwards.
// Directory texts carry no trailing '/' unless noted.
struct QelWWWConfig {
    QelWWWViewSettings defaults;  // section "default browser"
    int32_t defaultPort = 0;      // PORT of "@SRV@_default"
    char defaultServerType = 0;   // 'L', 'S' or 'T' from its PROTOCOL
    std::string version;          // QELWWW_VERSION_TEXT
    uint64_t cacheSize = 0;       // bytes (CacheSize megabytes)
    uint32_t cacheLowMark = 0;    // percent
    uint32_t cacheHighMark = 0;   // percent
    uint8_t cacheDocs = 0;
    uint8_t commandLineMode = 0;  // errors go to standard error (CGI command line)
    uint8_t traceOn = 0;
    std::string traceFile;   // LogDir/qelwww.log
    uint32_t codePage = 0;   // CCSID of server texts (Codepage, else the process's)
    std::string startDir;    // value of QELCFG; relative paths resolve against it
    std::string installDir;  // ends in '/'
    std::string iniDir;      // ends in '/'
    std::string iniPath;
    std::string lockFilePath;  // CacheDir/qelwww.lck
    std::string cacheDir;
    std::string templateDir;
    std::string localeDir;     // installDir + "locale"
    std::string imageDir;      // ends in '/'
    std::string appletDir;     // ends in '/'
    std::string language;      // first three characters of Language
    std::string serverAccess;  // comma-separated; empty: every server
    std::string cacheUserIds;  // comma-separated
    std::string iniImage;      // the whole qelwww.ini
    // AllowedOrigins: comma-separated origins whose forms may change stored state besides
    // the request's own host.
    std::string allowedOrigins;
    char beginChar = 0;
    char endChar = 0;
    char separatorChar = 0;
    uint32_t platform = 0;
    ArcOSMutex* cacheMutex = nullptr;            // made last by QelWWW_InitConfig, closed by terminate
    ArcIconvContext* codePageContext = nullptr;  // made by the front end after the config
};

struct QelWWWSession;

// Fills the configuration from QELCFG, the registry and <directory>/qelwww.ini (directory
// null or empty: the directory of the running module). 0 ready; 1 failed, with an error
// reply written into the session's response (standard error in command-line mode).
// The current directory is never changed.
int QelWWW_InitConfig(QelWWWConfig* config, QelWWWSession* session, const char* directory);
// Sets iniDir/iniPath and reads qelwww.ini into the INI image. 0; the errno when the file
// cannot be read; 1 when memory runs out.
int QelWWW_ReadIniFile(QelWWWConfig* config, const char* directory);
// A directory key of section/key: an absolute value as it is, a relative one appended to
// the INI directory, a missing key the INI directory itself; one trailing '/' removed from
// a result longer than one character.
std::string QelWWW_GetDirectoryKey(const QelWWWConfig* config, const char* section, const char* key);
// Looks a key up in the INI image; nothing when the section or the key is missing.
std::optional<std::string> QelWWW_GetIniValue(const QelWWWConfig* config, const char* section,
                                              const char* key);
// True when the INI image has a section of that name (case ignored).
bool QelWWW_HasIniSection(const QelWWWConfig* config, const char* section);

// ---------------------------------------------------------------------------
// Request parameters
// ---------------------------------------------------------------------------

// Decoded name/value pairs of a query text, a POST body or a cookie value, in the order
// found; duplicates are kept and a lookup returns the first. Names and values are in the
// list's code page (the configured one unless set otherwise).
namespace qelwww::detail {
class CodePageConverter;
}

// A list keeps its converter to its code page open while it lives, so a request's lists and
// its reply share one loaded table; a list must go before the code-page service shuts down.
class QelWWWParmList {
public:
    explicit QelWWWParmList(const QelWWWConfig* config);
    QelWWWParmList(const QelWWWConfig* config, const char* text);
    ~QelWWWParmList();
    QelWWWParmList(const QelWWWParmList&) = delete;
    QelWWWParmList& operator=(const QelWWWParmList&) = delete;

    // Appends the pairs of text ("name=value&..."). 0; 1 when the text holds more than
    // QELWWW_MAX_PARMS pairs (the list then keeps the first ones) or a pair whose decoded
    // name or value holds a NUL (that pair is left out, the others kept); RefusedName() names
    // the first refused pair (a name holding a NUL as sent). Text that is not valid UTF-8
    // adds nothing. A character beyond U+FFFF, encoded or not, becomes U+FFFD before the
    // conversion, so the code page's substitution character in that name or value only.
    int Parse(const char* text);
    // Frees every pair; count 0.
    void FreeParms();
    // Percent-decodes the value, converts both texts to the list's code page and appends
    // them. 0; 1 when a conversion fails, the decoded value holds a NUL or the list is full
    // (nothing added).
    int AddPair(const char* name, const char* value);
    // The first value whose name equals longName exactly, else the first of shortName.
    const char* Get(const char* longName, const char* shortName = nullptr) const;
    std::optional<std::string> GetCopy(const char* longName, const char* shortName = nullptr) const;
    bool Has(const char* name) const;

    int Count() const { return static_cast<int>(pairs_.size()); }
    const std::string& Name(int index) const { return pairs_.at(static_cast<size_t>(index)).name; }
    const std::string& Value(int index) const { return pairs_.at(static_cast<size_t>(index)).value; }
    const std::string& RefusedName() const { return refusedName_; }
    uint32_t CodePage() const { return codePage_; }
    void SetCodePage(uint32_t ccsid) { codePage_ = ccsid; }

private:
    struct Pair {
        std::string name;
        std::string value;
    };
    bool Append(std::string name, std::string value);
    void Refuse(const std::string& name);
    // UTF-8 to the list's code page, opened on first use and again after SetCodePage.
    const qelwww::detail::CodePageConverter& ToCodePage();

    const QelWWWConfig* config_;
    uint32_t codePage_;
    std::unique_ptr<qelwww::detail::CodePageConverter> toCodePage_;
    uint32_t toCodePageCcsid_ = 0;
    std::vector<Pair> pairs_;
    std::string refusedName_;
};

// ---------------------------------------------------------------------------
// HTTP response
// ---------------------------------------------------------------------------

#if defined(__GNUC__)
#define QELWWW_PRINTF(fmt, first) __attribute__((format(printf, fmt, first)))
#else
#define QELWWW_PRINTF(fmt, first)
#endif

// One reply: up to ten headers in insertion order, a prefix and suffix (page frame), a
// text body (converted from the source to the target code page on output) and a binary
// body (sent only when there is no text).
class QelWWWResponse {
public:
    // InitResponse with the configuration (or none).
    explicit QelWWWResponse(const QelWWWConfig* config = nullptr);

    // No headers, empty buffers; source code page from the configuration (else the
    // process's), target 1208, text flag set.
    void InitResponse(const QelWWWConfig* config);
    void FreeResponse();

    // Sets a header. "Set-Cookie" (case ignored) always adds a pair, with "; Secure" at
    // its end when the request came over HTTPS (SetSecure); any other name replaces the
    // value of the first pair of exactly that name, keeping its place.
    // 0; 1 refused: a name or value with CR, LF or NUL, an empty or non-token name, or
    // a full table.
    int SetHeader(const char* name, const char* format, ...) QELWWW_PRINTF(3, 4);
    int SetHeaderValue(std::string_view name, std::string_view value);
    // The request came over HTTPS: the browser is to send this reply's cookies over HTTPS
    // only. A fact of the request, kept by InitResponse and FreeResponse.
    void SetSecure(bool secure) { secure_ = secure; }
    uint32_t GetHeaderCount() const { return static_cast<uint32_t>(headers_.size()); }
    // False when index is not below the count.
    bool GetHeader(uint32_t index, const char** name, const char** value) const;

    // Formatted text and a line feed, appended to the prefix or the suffix.
    void AppendPrefix(const char* format, ...) QELWWW_PRINTF(2, 3);
    void AppendSuffix(const char* format, ...) QELWWW_PRINTF(2, 3);
    // Raw text and a line feed (template lines: data, never a format).
    void AppendPrefixLine(std::string_view line);
    void AppendSuffixLine(std::string_view line);
    // Formatted text appended to the text body, no line feed added.
    void PrintText(const char* format, ...) QELWWW_PRINTF(2, 3);
    void AppendText(const char* bytes, size_t length);
    void AppendBinary(const void* bytes, size_t length);
    // Takes the bytes over without a copy when the binary body is still empty.
    void AppendBinary(std::string&& bytes);
    // Formatted text and a line feed appended to the binary body.
    void PrintBinaryLine(const char* format, ...) QELWWW_PRINTF(2, 3);

    // 0 means 819 (source) and 1208 (target).
    void SetSourceCodePage(uint32_t ccsid);
    void SetTargetCodePage(uint32_t ccsid);
    // Keeps the type and sets "Content-type" (with "; charset=..." while the reply is text).
    void SetContentType(const char* type);

    // Prefix + (converted text body, else binary body) + suffix. A failed conversion sends
    // the text as it is.
    std::string GetBody() const;

    // The code-page service GetBody converts with (the CGI program starts it after the
    // response exists).
    void SetCodePageContext(ArcIconvContext* context) { codePageContext_ = context; }
    // The stream WriteReply writes to: standard output unless set.
    void SetOutputStream(std::FILE* stream) { output_ = stream; }
    // The CGI reply: joins the body, sets "Content-length" to its length (replacing a header
    // of that name), writes every header as "name: value\n" in insertion order, a blank line
    // and the body, and flushes. 0, or the errno of the failed write.
    int WriteReply();

    // Both state cookies sent empty and expired (Max-Age=0 and a past Expires).
    void ClearStateCookies();
    // ZEIQS (when the session's send-state flag is set) and ZEILOGID (send-log-id flag).
    // Values are percent-encoded; both carry HttpOnly and SameSite=Lax. ZEIQS names the
    // local directory only when the server's section (read through config) does not; its
    // password is sealed (QelWWW_SealPassword) and left out when it cannot be.
    void SaveStateCookies(const QelWWWConfig* config, const QelWWWSession* session, uint32_t codePage,
                          int32_t logId);

    const std::string& ContentType() const { return contentType_; }
    uint32_t SourceCodePage() const { return sourceCodePage_; }
    uint32_t TargetCodePage() const { return targetCodePage_; }
    bool TextFlag() const { return textFlag_; }
    const std::string& Prefix() const { return prefix_; }
    const std::string& Suffix() const { return suffix_; }
    const std::string& Text() const { return text_; }
    const std::string& Binary() const { return binary_; }

private:
    struct Header {
        std::string name;
        std::string value;
    };
    std::vector<Header> headers_;
    std::string prefix_;
    std::string suffix_;
    std::string text_;
    std::string binary_;
    uint32_t sourceCodePage_ = 819;
    uint32_t targetCodePage_ = 1208;
    std::string contentType_;
    bool textFlag_ = true;
    ArcIconvContext* codePageContext_ = nullptr;
    std::FILE* output_ = stdout;
    bool secure_ = false;
};

// ---------------------------------------------------------------------------
// Request session
// ---------------------------------------------------------------------------

// Unlocks and closes the session's handle of the cache lock file.
struct QelWWWLockFileCloser {
    void operator()(std::FILE* file) const;
};

// One request. Made empty by the front end; filled by QelWWW_InitSession.
struct QelWWWSession {
    QelWWWViewSettings view;
    uint8_t noHtml = 0;
    uint8_t asciiOutput = 0;
    uint8_t sendLogIdCookie = 0;
    uint8_t sendStateCookie = 0;
    uint8_t orFlag = 0;
    int32_t port = 0;
    int32_t logId = 0;
    char serverType = 0;
    uint32_t codePage = 0;    // this request's code page (_codepage, else configured)
    std::string action;       // _function
    std::string frame;        // _frame
    std::string dateFormat;   // _dateformat
    std::string pageAsGiven;  // _html
    std::string page;         // template relative to TemplateDir; empty: built-in
    std::string folder;
    std::string serverName;  // the server as requested (_server or the cookie)
    std::string server;      // host to connect to (HOST of its section, else the name)
    std::string user;
    std::string password;
    std::string localDir;
    std::unique_ptr<QelWWWParmList> parms;
    std::unique_ptr<QelWWWParmList> stateCookieParms;    // ZEIQS
    std::unique_ptr<QelWWWParmList> hitListCookieParms;  // ZEIIE
    std::unique_ptr<QelWWWResponse> response;
    uint32_t browserKind = 0;
    int32_t browserMajor = 0;
    std::string browserMinor;
    uint32_t osKind = 0;
    std::string scriptName;  // _cgibin, else the web server's script name
    // The HTTP request as the front end saw it; an empty method: the front end does not tell
    // (then nothing that changes stored state runs).
    std::string requestMethod;                 // "GET" or "POST"
    std::optional<std::string> requestOrigin;  // the Origin header, when sent
    std::string requestHost;                   // the Host header
    // The locked qelwww.lck while this request works on a cache file (QelWWW_LockCacheFile).
    std::unique_ptr<std::FILE, QelWWWLockFileCloser> cacheLock;
    // The archive logon of this request (QelWWW_Logon or QelWWW_RestoreServerState); the
    // action ends it with Session_Logoff. One still open when the record goes (an action
    // that failed midway) is logged off fully then.
    ClientSession* client = nullptr;
    // This request's own logon checked the user: a later restore in the same request
    // passes the cache-user check without the process-wide CacheUserIDs being changed.
    uint8_t cacheUserChecked = 0;

    QelWWWSession() = default;
    QelWWWSession(const QelWWWSession&) = delete;
    QelWWWSession& operator=(const QelWWWSession&) = delete;
    ~QelWWWSession();
};

// Builds the session from the request text (query or POST body), the script name, the
// User-Agent and the Cookie header (each may be null). 0 ready; 1 failed with an error
// reply written into the session's response.
int QelWWW_InitSession(const QelWWWConfig* config, QelWWWSession* session, const char* text,
                       const char* scriptName, const char* userAgent, const char* cookie);

// The value of cookie `name` in a Cookie header (names match whole, at a cookie's start),
// or nothing when absent or empty. The value is returned as sent (not decoded).
std::optional<std::string> QelWWW_GetCookie(const char* header, const char* name);

// Browser kind (1 IE, 2 Netscape), major version, minor version digits and operating
// system (1 Win95, 2 Win98, 4 WinNT, 16 other) of a User-Agent text.
void QelWWW_DetectBrowser(const char* userAgent, uint32_t* kind, int32_t* major, std::string* minor,
                          uint32_t* os);
// The five candidate browser sections of a User-Agent, most specific first.
std::vector<std::string> QelWWW_BrowserSections(const char* userAgent);
// Applies the keys of a browser section (or of "default browser") over the settings.
// 0; 1 when MaxHits is present but not a decimal number (settings left as far as read).
int QelWWW_ReadViewSettings(const QelWWWConfig* config, const char* section, QelWWWViewSettings* settings,
                            bool strictMaxHits);

// Copies for the trace with the value of every password parameter (_password, _p,
// _new_password, _np; names compared percent-decoded, as the parser reads them) replaced by
// "***", whatever its length; an empty value stays empty. The first takes a request text
// ("name=value&..."), the second a Cookie header: a cookie's value is read as such a text,
// and a cookie named like a password is hidden whole.
std::string QelWWW_BlankPasswords(std::string_view pairs);
std::string QelWWW_BlankCookiePasswords(std::string_view cookieHeader);

// ---------------------------------------------------------------------------
// Trace, error pages, templates, text helpers
// ---------------------------------------------------------------------------

// Appends "<thread>:<pid> - <message>\n" to the trace file, created with mode 0600
// (control characters of the message shown as blanks). Callers call it only when tracing
// is on; never fails the request.
void QelWWW_Trace(const QelWWWConfig* config, const char* format, ...) QELWWW_PRINTF(2, 3);

// Writes an error reply: an HTML page (the text HTML-escaped), the plain-text
// "[ERROR]" / "ID=" / "MSG=" framing when the session's no-html flag is set, or standard
// error in command-line mode. messageNumber is the external number shown in "ID=".
void QelWWW_ErrorPage(const QelWWWConfig* config, QelWWWSession* session, bool showVersion, int messageNumber,
                      const char* format, ...) QELWWW_PRINTF(5, 6);

// Formats catalogue message `index` with its text inserts and writes the error reply.
void QelWWW_ReportText(const QelWWWConfig* config, QelWWWSession* session, bool showVersion, int index,
                       const std::vector<std::string>& inserts);

// The head (lines before the "VOD# Marker" line) of the session's template into the
// prefix, or the built-in head when there is no page or it cannot be read.
void QelWWW_WriteHeader(const QelWWWConfig* config, QelWWWSession* session);
// The tail (after the marker) into the suffix, or the built-in tail.
void QelWWW_WriteTrailer(const QelWWWConfig* config, QelWWWSession* session);
// True when page names a file inside the template directory: relative, no ".." part, no
// control character, at most QELWWW_MAX_PAGE characters.
bool QelWWW_IsSafePage(std::string_view page);

// Percent-encodes text into output (which must hold 3 * strlen(text) + 1 bytes) and
// returns output. Kept: digits, letters and '.'; unless strict also '_', '-', '*', and '@'
// for IE or Netscape 3 (session may be null).
char* QelWWW_UrlEncode(const QelWWWConfig* config, const QelWWWSession* session, const char* text,
                       char* output, bool strict);
std::string QelWWW_UrlEncode(const QelWWWSession* session, std::string_view text, bool strict);
// Decodes in place: '+' is a blank, '%' and two hex digits one byte (a non-hex digit
// counts 0); a '%' with fewer than two characters after it stays as it is. Returns text.
char* QelWWW_PercentDecode(char* text);
void QelWWW_PercentDecode(std::string* text);
// Writes each NUL byte of a request text as "%00", for a text handed on as a C string: the
// parser then refuses the pair holding it, where the text would end at the NUL.
void QelWWW_EncodeNul(std::string* text);
// Replaces every occurrence of c by n in place.
char* QelWWW_ReplaceChar(char* text, char c, char n);
// A copy with every single-byte occurrence of c replaced by replacement.
std::optional<std::string> QelWWW_ReplaceCharByText(const char* text, char c, const char* replacement);
// True when every character is a decimal digit (an empty text counts as a number).
bool QelWWW_IsNumber(const char* text);
// Text for HTML content and attribute values: & < > " ' escaped.
std::string QelWWW_HtmlEscape(std::string_view text);

// ---------------------------------------------------------------------------
// Client layer, server state and messages
// ---------------------------------------------------------------------------

// Catalogue indexes of the state steps and the logon actions.
inline constexpr int QELWWW_MSG_FILE_OPEN = 220;     // "Unable to open the file: %1$s"
inline constexpr int QELWWW_MSG_CLIENT_START = 398;  // client layer did not start
inline constexpr int QELWWW_MSG_CHANGE_EXPIRED = 381;
inline constexpr int QELWWW_MSG_UNKNOWN_STATUS = 396;
inline constexpr int QELWWW_MSG_TIMED_OUT = 408;
inline constexpr int QELWWW_MSG_NO_FOLDERS = 496;
inline constexpr int QELWWW_MSG_SELECT_FOLDER = 505;
inline constexpr int QELWWW_MSG_OPEN_BUTTON = 506;
inline constexpr int QELWWW_MSG_LOGGED_OFF = 507;
inline constexpr int QELWWW_MSG_CROSS_SITE = 530;  // a stored-state change refused for its method or origin
inline constexpr int QELWWW_MSG_PASSWORD_CHANGED = 532;  // shown above the folder list
inline constexpr int QELWWW_MSG_STATE_KEY = 535;         // the key file of saved sessions is unusable
// The search form and the hit list.
inline constexpr int QELWWW_MSG_HIT_LIMIT = 444;  // "Only %1$s documents can be listed ..."
inline constexpr int QELWWW_MSG_NO_HITS = 487;
inline constexpr int QELWWW_MSG_NO_FIELD = 493;  // "The field '%1$s' was not found ..."
inline constexpr int QELWWW_MSG_SEARCH_BUTTON = 508;
inline constexpr int QELWWW_MSG_RESET_BUTTON = 509;
inline constexpr int QELWWW_MSG_PRINT = 510;
inline constexpr int QELWWW_MSG_VIEW_DOCUMENT = 512;
inline constexpr int QELWWW_MSG_VIEW_NOTES = 513;
inline constexpr int QELWWW_MSG_ADD_NOTE = 514;
inline constexpr int QELWWW_MSG_SERVER_PRINT = 515;
inline constexpr int QELWWW_MSG_PRIVATE_USER = 516;
inline constexpr int QELWWW_MSG_PRIVATE_GROUP = 517;
inline constexpr int QELWWW_MSG_NOTE_COPY = 518;
inline constexpr int QELWWW_MSG_SAVE_BUTTON = 519;
inline constexpr int QELWWW_MSG_CANCEL_BUTTON = 520;
inline constexpr int QELWWW_MSG_SELECT_ONE = 521;
inline constexpr int QELWWW_MSG_AND = 528;
// The update, print and note actions.
inline constexpr int QELWWW_MSG_PRINT_FAILED = 117;   // "BulkPrint Failed"
inline constexpr int QELWWW_MSG_NOT_PERMITTED = 216;  // "User >%1$s< does not have permission ..."
inline constexpr int QELWWW_MSG_RETRIEVE_FAILED = 414;
inline constexpr int QELWWW_MSG_NOTE_FAILED = 422;
inline constexpr int QELWWW_MSG_PRINTING_FAILED = 426;
inline constexpr int QELWWW_MSG_NO_DOCUMENTS = 454;  // "Unable to retrieve documents"
inline constexpr int QELWWW_MSG_NO_MAPPINGS = 494;
inline constexpr int QELWWW_MSG_NOTE_HEADER = 498;   // "NOTE %1$s: %2$s by %3$s for page %4$s"
inline constexpr int QELWWW_MSG_NOTE_SHARING = 499;  // "%1$s - %2$s"
inline constexpr int QELWWW_MSG_NOTE_PRIVATE = 500;
inline constexpr int QELWWW_MSG_NOTE_PUBLIC = 501;
inline constexpr int QELWWW_MSG_NOTE_NO_COPY = 502;
inline constexpr int QELWWW_MSG_NOTE_COPY_OK = 503;
inline constexpr int QELWWW_MSG_NO_NOTES = 504;
inline constexpr int QELWWW_MSG_PRINTED = 522;
inline constexpr int QELWWW_MSG_NOTE_ADDED = 523;
inline constexpr int QELWWW_MSG_UPDATED = 527;

// Fills the client start-up options from the configuration and the catalogue (month and
// day names, formats, type letters; the TZ variable up to its first ',') and starts the
// client layer on the configuration's code-page context. True when it started.
bool QelWWW_InitClientServer(const QelWWWConfig* config, QelWWWSession* session);

// Logs on with the session's server, port, user, password and local directory into
// session->client. 0; 1 with the error reply written (an expired password without
// _new_password is message 381). An expired password with _new_password gives 0: the
// caller changes it.
int QelWWW_Logon(const QelWWWConfig* config, QelWWWSession* session);

// What QelWWW_SaveServerState writes.
inline constexpr unsigned QELWWW_STATE_SERVER = 1;  // the .srv and .fnm files
inline constexpr unsigned QELWWW_STATE_FOLDER = 2;  // the open folder (.fld)
// Other bits write nothing.

// Writes the state files of session->client: with QELWWW_STATE_SERVER its keyed password
// hash (of session->password, under QelWWW_StateKey; message 535 when the key file cannot
// be used), the session (.srv) and its folder list (.fnm), both under the
// lock of the user's state files. A failed write does not fail the action: message 220
// and the errno are appended to the text body, both files are removed and the next
// request logs on again. True when everything asked for was written.
// With QELWWW_STATE_FOLDER and a folder: the open folder (.fld of the session's folder),
// written after the unit, so that it is never older than the .srv it belongs to.
bool QelWWW_SaveServerState(const QelWWWConfig* config, QelWWWSession* session, unsigned what,
                            const OpenFolder* folder = nullptr);

// Rebuilds session->client from the state files, read under the lock of the user's state
// files; when only one of .srv and .fnm is there it is removed. 0; 3 when a file is
// missing or refused by the client layer (a planted or damaged file counts as missing),
// the logon has timed out, the password is not the one the state was saved with, or
// (checkCacheUsers) the user is neither in CacheUserIDs nor checked by this request's own
// logon. After 3 no client session is left; a timed-out one is logged off at the server,
// any other is only let go (a stranger's wrong password must not end the owner's logon).
int QelWWW_RestoreServerState(const QelWWWConfig* config, QelWWWSession* session, bool checkCacheUsers);
// The same, then the open folder of session->folder into *folder: 0 with it rebuilt; 2
// (the server state restored and usable, *folder null) when the .fld file is missing,
// older than the .srv file or refused by the client layer; 3 as above.
int QelWWW_RestoreServerState(const QelWWWConfig* config, QelWWWSession* session, OpenFolder** folder,
                              bool checkCacheUsers);

// Opens session->folder on the request's logon into *out. 0; 1 with the error reply of
// the client status written and the logon ended (full logoff).
int QelWWW_OpenFolder(const QelWWWConfig* config, QelWWWSession* session, OpenFolder** out);

// The description of a search operator bit (messages 321 to 332); any other value is
// taken as a catalogue index itself.
std::string QelWWW_GetOperatorText(uint32_t op);

// Under the lock of the user's state files: removes the .srv, then the .fnm, then (folder
// set) the .fld file of the session's server, port and user; a file that is not there
// counts as removed. Stops at the first removal that fails: false then, or when the
// server or the user is empty.
bool QelWWW_DeleteServerState(const QelWWWConfig* config, QelWWWSession* session);

// The installation's key for the password hashes in saved sessions (.srv): 32 random bytes
// in CacheDir/qelwww.key, mode 0600, made once (by the first save) and then only read.
// 0 with the key; EBADMSG when the file is damaged (not 32 bytes), open to others, another
// user's or no regular file, which is never repaired here (message 535); ENOENT when it is
// missing and create is false; another errno when it cannot be read or made.
int QelWWW_StateKey(const QelWWWConfig* config, bool create, std::string* key);
std::string QelWWW_StateKeyPath(const QelWWWConfig* config);

// The password of the state cookie (its _p value), sealed under a key derived from the
// installation key (QelWWW_StateKey): "v1." and the base64url text (RFC 4648, no padding)
// of a fresh random 24-byte nonce and the XChaCha20-Poly1305 ciphertext with its tag, the
// version and user id as associated data (docs/state.md). Empty when it cannot be sealed
// (a key that is not 32 bytes, no random bytes).
std::string QelWWW_SealPassword(std::string_view installationKey, std::string_view user,
                                std::string_view password);
// The password of such a value; nothing when it does not open: another version, clear
// text, malformed, altered, sealed under another key or for another user.
std::optional<std::string> QelWWW_OpenPassword(std::string_view installationKey, std::string_view user,
                                               std::string_view sealed);

// Catalogue message of a client return code: 402 + code for 1..7, the table for the
// others, 396 for a code that has none.
int QelWWW_StatusMessage(int code);
// The error reply of a client status: its server text when it has one (number 0), else
// the message of its code with its inserts; nothing for code 0.
void QelWWW_ReportStatus(const QelWWWConfig* config, QelWWWSession* session, const ClientStatus* status);

// Insert types of QelWWW_FormatMessage.
enum QelWWWInsertType : int {
    QELWWW_INSERT_TEXT = 0,      // value: a zero-terminated text
    QELWWW_INSERT_CHAR = 1,      // value: one character
    QELWWW_INSERT_INT = 2,       // value: int, "%d"
    QELWWW_INSERT_UINT = 3,      // value: unsigned, "%u"
    QELWWW_INSERT_SHORT = 4,     // value: short, "%hd"
    QELWWW_INSERT_USHORT = 5,    // value: unsigned short, "%hu"
    QELWWW_INSERT_LONG = 6,      // value: long, "%ld"
    QELWWW_INSERT_ULONG = 7,     // value: unsigned long, "%lu"
    QELWWW_INSERT_DOUBLE = 8,    // value: double, "%.*f" with precision
    QELWWW_INSERT_NUMBER = 9,    // number itself, "%ld"
    QELWWW_INSERT_MESSAGE = 10,  // number: a message index whose text is inserted
    QELWWW_INSERT_INT64 = 11,    // value: int64_t
};
struct QelWWWInsert {
    const void* value = nullptr;
    int type = QELWWW_INSERT_TEXT;
    int64_t number = 0;  // types 9 and 10
    int precision = 0;   // type 8
};
// Formats catalogue message `index` with its inserts (a null value is an empty insert).
// 0; 1 for an index outside the catalogue (empty text, number 0).
int QelWWW_FormatMessage(int index, int count, const QelWWWInsert* inserts, std::string* text, int* number);
// The error reply of a message: index 0 takes the first insert as the text itself.
void QelWWW_ReportMessage(const QelWWWConfig* config, QelWWWSession* session, bool showVersion, int index,
                          int count, const QelWWWInsert* inserts);
// The catalogue text cut to size - 1 bytes (never inside a UTF-8 character) and its
// number; an unknown index gives an empty text and 0. The text's length.
size_t QelWWW_GetMessageText(int index, char* buffer, size_t size, int* number);

// Passes the whole buffer through a compression pipeline from expandType to compressType
// in steps of 65535 bytes into *result. 1; 0 when the pipeline cannot be made, the data is
// not of expandType, or memory runs out.
int QelWWW_CompressBuffer(const void* data, size_t length, char expandType, char compressType,
                          std::vector<unsigned char>* result);

// ---------------------------------------------------------------------------
// Dispatcher
// ---------------------------------------------------------------------------

// One action: 0 success, 1 failure (the reply then holds an error page).
using QelWWWAction = int (*)(const QelWWWConfig* config, QelWWWSession* session);

// Runs the action named by the session's action keyword (long form or one-letter alias,
// compared exactly). 0 success; 1 failure: a missing folder (491 "_folder"), an unknown
// keyword (492), an action that changes stored state refused for the request's method or
// origin (530), or the action's own failure.
int QelWWW_Dispatch(const QelWWWConfig* config, QelWWWSession* session);

// True when a request may run an action that changes stored state: a POST without an
// Origin header, or whose Origin names the request's own host (the Host header, case
// ignored) or is one of allowedOrigins (comma-separated, blanks and a trailing '/'
// ignored). Any other method, GET above all, is refused, as is the Origin "null"; so is an
// empty method (a front end that does not tell cannot vouch for the request).
bool QelWWW_MayChangeState(std::string_view method, const std::optional<std::string>& origin,
                           std::string_view host, std::string_view allowedOrigins);

// ---------------------------------------------------------------------------
// Document cache
// ---------------------------------------------------------------------------
//
// Every read, write or removal of a cache file runs under the process-wide cache mutex and
// then an exclusive lock on byte 0 of CacheDir/qelwww.lck, so threads of one process and
// processes sharing the directory stay apart. Files are written to a temporary file (mode
// 0600) and renamed. Before each write the directory's total size is checked against the
// high mark, and the oldest files are purged class by class.

// Purge classes, purged in this order; class 4 (any other name) is never purged.
inline constexpr uint32_t QELWWW_CACHE_DOCUMENT = 0;  // .doc .idoc .asc .idx
inline constexpr uint32_t QELWWW_CACHE_RESOURCE = 1;  // .res
inline constexpr uint32_t QELWWW_CACHE_FOLDER = 2;    // .fld
inline constexpr uint32_t QELWWW_CACHE_STATE = 3;     // .srv .fnm
inline constexpr uint32_t QELWWW_CACHE_OTHER = 4;

// The purge class of a file name, from the text after its last '.' (case counts).
uint32_t QelWWW_CacheFileClass(std::string_view name);

// One part of a cache file name taken from a request (server, user, folder, document name):
// ASCII letters, digits and '-' are kept, '.' only between two kept characters, every other
// byte (also '%' and '_') becomes %XX. No '/', '_', "..", or control character survives, and
// different values give different names (percent-decoding gives the value back).
std::string QelWWW_CacheNamePart(std::string_view value);

// Full paths of the cache files of the session's server, port and user, made from
// CacheDir + '/' + server '_' port '_' user, each part encoded by QelWWW_CacheNamePart:
//   state files     "<S>_<P>_<U>.srv" / ".fnm"   (extension "srv" or "fnm")
//   open folder     "<S>_<P>_<U>_<F>.fld"        (the session's folder)
//   documents       "<S>_<P>_<D>.doc" / ".asc" / ".idx" / ".idoc"
//   resource groups "<S>_<P>_<n1>-<n2>.res"
// Empty when a part the name needs is empty or the extension is not one of these.
std::string QelWWW_StateFilePath(const QelWWWConfig* config, const QelWWWSession* session,
                                 const char* extension);
std::string QelWWW_FolderFilePath(const QelWWWConfig* config, const QelWWWSession* session);
std::string QelWWW_DocumentFilePath(const QelWWWConfig* config, const QelWWWSession* session,
                                    std::string_view documentName, const char* extension);
std::string QelWWW_ResourceFilePath(const QelWWWConfig* config, const QelWWWSession* session, int32_t first,
                                    int32_t second);

// Waits for (no time-out) and releases the process-wide cache mutex (a null mutex is ignored).
void QelWWW_LockCacheMutex(const QelWWWConfig* config);
void QelWWW_UnlockCacheMutex(const QelWWWConfig* config);
// Opens (creating it, mode 0600) the lock file and waits for the exclusive lock on its first
// byte; the handle stays in session->cacheLock. False, with errno set, when the file cannot
// be opened or locked, or the session already holds the lock (EDEADLK).
bool QelWWW_LockCacheFile(const QelWWWConfig* config, QelWWWSession* session);
// Unlocks the byte and closes the handle; nothing when the session holds no lock.
void QelWWW_UnlockCacheFile(const QelWWWConfig* config, QelWWWSession* session);

// The cache functions take a full path made by the functions above; a path that does not
// name a plain file directly inside CacheDir is refused (EINVAL).
//
// Under both locks: makes room for the length (QelWWW_BeginCacheChange, which purges when
// the running figure says so), then writes all bytes to a temporary file and renames it
// over path, and updates the figure. True on success; false with errno set.
bool QelWWW_WriteCacheFile(const QelWWWConfig* config, QelWWWSession* session, const char* path,
                           const void* data, size_t length);
// The same, but only when the file does not hold exactly these bytes already or was
// modified before notBefore (seconds, as ArcOSStat): a request that changed nothing writes
// nothing. *written (optional) says whether the file was written. True when the file now
// holds the bytes; false with errno set.
bool QelWWW_UpdateCacheFile(const QelWWWConfig* config, QelWWWSession* session, const char* path,
                            const void* data, size_t length, int64_t notBefore, bool* written);
// Under both locks: the whole file, with its modification time and size as they were before
// the read (each out value optional). With touch its modification time becomes now, so that
// it becomes the newest for the purge. Nothing, with errno set, when it cannot be read.
std::optional<std::string> QelWWW_ReadCacheFile(const QelWWWConfig* config, QelWWWSession* session,
                                                const char* path, int64_t* modified, uint64_t* size,
                                                bool touch);
// Under both locks: removes the file. True when it was removed; false with errno set.
bool QelWWW_RemoveCacheFile(const QelWWWConfig* config, QelWWWSession* session, const char* path);

// Counts the directory: first removes the temporary files killed writers left
// (ArcOS_RemoveWriteLeftovers), then sums the regular files of CacheDir but the lock file.
// When total + incoming exceeds the high mark (CacheSize x CacheMaxThreshold %), purges
// total - low mark, or the incoming length when the total is at or below the low mark.
// The total left after the purge.
uint64_t CheckCacheSize(const QelWWWConfig* config, uint64_t incoming);
// Removes the oldest files of class 0, then 1, 2, 3, until at least amount bytes are freed.
// 0; 3 when memory ran out while listing (the entries listed so far are still purged).
// The bytes removed go to *freed when given.
int QelWWW_PurgeCache(const QelWWWConfig* config, uint64_t amount, uint64_t* freed = nullptr);

// The cache size as a running figure kept in the lock file, so that a write does not count
// the directory. Only while session holds the cache lock. Begin gives the total before a
// change of the directory: the figure, or CheckCacheSize (which purges) when the figure is
// missing or damaged or, with purge, when figure + incoming exceeds the high mark; without
// purge a missing figure is counted without purging. It then marks the figure as under way,
// so that a process killed before End leaves a mark, never a wrong figure. End stores the
// total after the change.
uint64_t QelWWW_BeginCacheChange(const QelWWWConfig* config, QelWWWSession* session, uint64_t incoming,
                                 bool purge);
void QelWWW_EndCacheChange(const QelWWWConfig* config, QelWWWSession* session, uint64_t total);
// The figure as stored; nothing when missing, damaged or under way. Takes both cache locks.
std::optional<uint64_t> QelWWW_CacheSizeFigure(const QelWWWConfig* config, QelWWWSession* session);
