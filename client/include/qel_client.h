// qel_client.h - the client session library: start-up, logon sessions, status records,
// the folder and group lists of a session, and the state blobs that carry a session from
// one gateway request to the next.
//
// Every client call reports through a ClientStatus; nothing is thrown. A ClientSession
// is made by Session_Logon/Session_Create (or rebuilt by State_RestoreSession), lives in
// the process-wide session list and is freed by Session_Logoff or Client_Term. A session
// record is used by one thread at a time; the session list is guarded by a mutex that is
// never held across a server request. Blob layout: docs/state.md.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "qel_cs.h"
#include "qel_cswire.h"

struct ArcIconvContext;

// ===========================================================================
// Start-up
// ===========================================================================

inline constexpr size_t CLIENT_NAME_SIZE = 21;    // month and day names
inline constexpr size_t CLIENT_MARK_SIZE = 5;     // "AM", "PM"
inline constexpr size_t CLIENT_ZONE_SIZE = 32;    // the TZ text
inline constexpr size_t CLIENT_FORMAT_SIZE = 61;  // date and time formats
inline constexpr size_t CLIENT_LETTER_SIZE = 3;   // keyword letters

// What the gateway hands to Client_Init. Texts are zero-terminated within their slots.
// The gateway's values are given in brackets.
struct ClientInitOptions {
    char charKind = 'C';             // 'A' gives the handles character kind 8, else 1 ['C']
    uint8_t folderListSwitch = 0;    // load folder lists only when non-zero [1]
    uint8_t namedQuerySwitch = 0;    // fetch a folder's named queries [0]
    uint8_t searchLetterSwitch = 0;  // pass 'Y' for folders flagged 0x40|0x08 [1]
    uint8_t retrieveOption = 0;      // read by document retrieval [1]
    uint8_t sortByField = 0;         // hit sort uses the folder's sort field [1]
    uint8_t unused6 = 0;             // not read [0]
    uint8_t folderFlagSwitch = 0;    // 0: bit 0x10 of the folder flags is not searched [1]
    int32_t codePage = 0;            // CCSID of the caller's texts; 0 means 819
    char monthNames[12][CLIENT_NAME_SIZE] = {};
    char monthAbbrevs[12][CLIENT_NAME_SIZE] = {};
    char dayNames[7][CLIENT_NAME_SIZE] = {};  // Sunday first
    char dayAbbrevs[7][CLIENT_NAME_SIZE] = {};
    char am[CLIENT_MARK_SIZE] = {};
    char pm[CLIENT_MARK_SIZE] = {};
    char timeZone[CLIENT_ZONE_SIZE] = {};          // TZ, e.g. "EST5EDT"; empty when unset
    char dateFormat[CLIENT_FORMAT_SIZE] = {};      // "%m/%d/%y"
    char timeFormat[CLIENT_FORMAT_SIZE] = {};      // "%H:%M:%S"
    char dateTimeFormat[CLIENT_FORMAT_SIZE] = {};  // "%m/%d/%y %H:%M:%S"
    char longFormat[CLIENT_FORMAT_SIZE] = {};      // "%X %p %Z %A %B %d, %Y"
    char decimalChar = '.';
    char thousandsChar = ',';
    char todayLetter[CLIENT_LETTER_SIZE] = {};   // "T"
    char dayLetter[CLIENT_LETTER_SIZE] = {};     // "D"
    char monthLetter[CLIENT_LETTER_SIZE] = {};   // "M"
    char yearLetter[CLIENT_LETTER_SIZE] = {};    // "Y"
    char latestLetter[CLIENT_LETTER_SIZE] = {};  // "L"
    const char* localeDirectory = nullptr;       // used only when iconv is null
    ArcIconvContext* iconv = nullptr;            // the caller's code-page context, or none
    const char* installDirectory = nullptr;
};

// Starts the library: the code-page service (unless options->iconv is given), the names
// block of the date routines, the parameter-text delimiters. True when ready; false for
// null options or a failed code-page start-up (nothing done is undone). A second call
// while started changes nothing and answers true.
bool Client_Init(const ClientInitOptions* options);
// Sets the gateway's values of the switches, the date and time formats and the
// separators. The names, letters, long format, code page, time zone and directories are
// left as they are (they come from the gateway's catalogue and configuration). Nothing
// for null options.
void Client_SetGatewayOptions(ClientInitOptions* options);
// Logs every listed session off (full logoff), forgets the server names and shuts the
// code-page service down when Client_Init started it.
void Client_Term();
// "2.2.1.10".
const char* Client_GetVersion();

// ===========================================================================
// Status
// ===========================================================================

// Severity classes of ClientStatus.
enum ClientSeverity : int {
    CLIENT_SEV_OK = 0,
    CLIENT_SEV_CANCELLED = 2,
    CLIENT_SEV_EXPIRED = 3,
    CLIENT_SEV_WARNING = 4,
    CLIENT_SEV_INPUT = 5,
    CLIENT_SEV_REFUSED = 6,
    CLIENT_SEV_TIMED_OUT = 7,
    CLIENT_SEV_ERROR = 9,
};

// Kinds of a status insert.
enum ClientInsertKind : int {
    CLIENT_INSERT_TEXT = 0,    // value points to a text
    CLIENT_INSERT_PARM16 = 4,  // value points to a 16-bit number of the system parameters
    CLIENT_INSERT_INT32 = 6,   // value points to a 32-bit number
    CLIENT_INSERT_INT64 = 8,   // value points to a 64-bit number
    CLIENT_INSERT_NUMBER = 9,  // number is the value itself
};

inline constexpr int CLIENT_MAX_INSERTS = 6;

struct ClientInsert {
    const void* value = nullptr;
    int64_t number = 0;
    int kind = CLIENT_INSERT_TEXT;
};

// The result record of every client call. inserts points to CLIENT_MAX_INSERTS entries
// (unused ones null); serverMessage is the server's own text, or null when it sent none.
// Both point into the session, or, for a call that has no session (a failed logon),
// into a per-thread area valid until that thread's next such call.
struct ClientStatus {
    int severity = 0;
    int code = 0;
    const ClientInsert* inserts = nullptr;
    int reserved = 0;
    const char* serverMessage = nullptr;
};

// Operation numbers of this library's calls (for Session_MakeStatus).
enum ClientOperation : int {
    CLIENT_OP_LOGON = 1,
    CLIENT_OP_FOLDER_LIST = 3,
    CLIENT_OP_CHANGE_PASSWORD = 29,
    CLIENT_OP_GROUP_LIST = 37,
};

// ===========================================================================
// The session
// ===========================================================================

inline constexpr size_t CLIENT_USER_DESC_SIZE = 121;
inline constexpr size_t CLIENT_USER_PHONE_SIZE = 33;

// The user record of the logon as the session keeps it: the whole row, since a password
// change sends it back and the server writes its texts as they come.
struct ClientUserRecord {
    uint32_t userNumber = 0;
    char userId[CS_USER_ID_SIZE] = {};
    std::string password;  // only ever a "$6$" hash (Session_SetPassword), a keyed hash
                           // (Session_SetPasswordKeyed) or empty
    char description[CLIENT_USER_DESC_SIZE] = {};
    char userName[CS_USER_NAME_SIZE] = {};
    char info[10][CS_USER_NAME_SIZE] = {};       // account, company, title, addresses, ...
    char phone[2][CLIENT_USER_PHONE_SIZE] = {};  // phone and fax
    char email[CS_USER_NAME_SIZE] = {};
    uint32_t attributes = 0;
    uint16_t userType = 0;        // permission word
    int64_t passwordChanged = 0;  // 'Z' seconds; 0 never
    int64_t logonTimeOut = 0;     // seconds
    uint32_t logonState = 0;
};

// The session's copy of the handle's logon record.
struct ClientLogonRecord {
    uint32_t userNumber = 0;
    std::string groupList;  // "IN (n,m,...)" of a local logon
    uint16_t userType = 0;
    int64_t lastActivity = 0;
    int64_t timeOut = 0;
};

inline constexpr size_t CLIENT_FOLDER_NAME_MAX = 60;
inline constexpr size_t CLIENT_DESCRIPTION_MAX = 120;
inline constexpr uint32_t CLIENT_FOLDER_SPECIAL = 0x100;

// A row of the folder list as the server delivers it.
struct ClientFolderRow {
    uint32_t number = 0;
    std::string name;
    std::string description;
    uint8_t type = 0;
    uint16_t fieldTotal = 0;
    uint32_t flags = 0;  // 0x100 special folder
};

struct ClientSession;
struct ClientFolderEntry;
struct OpenFolder;

// ===========================================================================
// Hits (docs/hit-list.md, docs/document-ids.md)
// ===========================================================================

// One hit of an open folder's hit list. row is a packed hit (CsPackHit with no extra
// bytes) owned by the hit, its value slots typed by the fields of `group`. A hit made
// from a client exit's row carries exitHit and the exit's identifier; its row is made
// the same way. The links are the list's (not owners).
struct SearchHit {
    CsXdrHitRow* row = nullptr;
    int groupIndex = -1;                          // in the folder definition's groups
    const CsXdrApplGroup* group = nullptr;        // of the folder definition
    const CsXdrApplEntry* application = nullptr;  // of group, or null
    std::optional<std::string> attributeText;     // only from a document id
    bool exitHit = false;
    uint32_t exitId = 0;
    SearchHit* prev = nullptr;
    SearchHit* next = nullptr;

    SearchHit() = default;
    SearchHit(const SearchHit&) = delete;
    SearchHit& operator=(const SearchHit&) = delete;
    ~SearchHit();  // frees the row (CsFreePackedHit)
};
using SearchHitPtr = std::unique_ptr<SearchHit>;

// The hits one session holds for one folder, in list order (hits[i]->next is
// hits[i+1]). sorted stays true while every hit was placed by the sort keys.
struct FolderSessionEntry {
    std::vector<SearchHitPtr> hits;
    bool sorted = true;
};

// ===========================================================================
// Folders and criteria (docs/folders.md)
// ===========================================================================

inline constexpr int CLIENT_MAX_FIELDS = 32;
inline constexpr int CLIENT_WIDTH_OPEN = -2;  // input width of free text

// Flags of CsXdrFolderField::flags.
inline constexpr uint8_t FOLDER_FIELD_REQUIRED = 0x01;
inline constexpr uint8_t FOLDER_FIELD_HAS_DEFAULT = 0x02;
inline constexpr uint8_t FOLDER_FIELD_COPIED = 0x04;
inline constexpr uint8_t FOLDER_FIELD_SECOND_LIST = 0x10;
// Group field flag of the application-group-name field.
inline constexpr uint8_t CS_FIELD_GROUP_NAME = 0x08;
// Unmapped entry of a folder's field map.
inline constexpr uint16_t FOLDER_FIELD_UNMAPPED = 0xFFFF;

// A row of the session's segment list: a segment of one application group, with the
// date letter of that group's segment date field ('D' when it has none).
struct ClientSegmentRow {
    CsXdrSegment segment{};
    uint32_t groupNumber = 0;
    char dateLetter = 'D';
};

// A named query of an open folder.
struct ClientNamedQuery {
    uint32_t number = 0;
    std::string name;
    std::string text;  // the WHERE text
    uint32_t flags = 0;
};

// One criterion: what the search form offers for a folder field and what the user
// chose.
struct FolderCriterion {
    char kind = 'N';  // 'N' number, 'A', 'Z', 'T', 'C' choice, 'S' segment
    int operatorCount = 0;
    uint32_t operatorMask = 0;
    uint32_t defaultOperator = 0;  // an operator bit
    bool copied = false;           // field flag 0x04
    bool fixedLength = false;      // all choices of one length
    int inputWidth = 0;            // CLIENT_WIDTH_OPEN for free text
    int displayWidth = 0;
    bool isDate = false;
    bool isDecimal = false;
    std::vector<std::string> choices;
    std::vector<const ClientSegmentRow*> segments;  // rows of the session's segment list
    uint32_t op = 0;                                // the chosen operator bit
    std::string value1;
    std::string value2;
    int segmentChoice = -1;  // index into segments, -1 none
    int columnStart = 0;     // hit-list column
    int valuePosition = 0;   // place of the value in its column
};

struct FolderSortKey {
    int field = 0;
    bool ascending = true;
};

// An open folder. definition is the entry's (owned there); criteria has one entry per
// field (at most CLIENT_MAX_FIELDS).
struct OpenFolder {
    ClientFolderEntry* entry = nullptr;
    const CsXdrFolder* definition = nullptr;
    int fieldCount = 0;
    std::vector<FolderCriterion> criteria;
    std::vector<int> criteriaOrder;  // field indexes
    std::vector<int> displayOrder;   // hit-list columns
    std::vector<FolderSortKey> sortList;
    int32_t hitLimit = -1;  // -1: none; set from the definition, the gateway may lower it
    std::vector<ClientNamedQuery> namedQueries;
    int publicQueries = 0;
    int privateQueries = 0;
};

struct CsFolderDeleter {
    void operator()(CsXdrFolder* folder) const;  // CsFreeFolderList
};
using CsFolderPtr = std::unique_ptr<CsXdrFolder, CsFolderDeleter>;

// An entry of the session's folder list.
struct ClientFolderEntry {
    ClientFolderRow row;
    ClientSession* session = nullptr;
    CsFolderPtr definition;            // fetched once per session
    std::unique_ptr<OpenFolder> open;  // while open
    FolderSessionEntry hits;           // this session's hits of the folder
    bool openedInSession = false;
};

// The per-hit function of a search: (open folder, hit, hits in the list, running
// count, insert position) -> true to go on, false to interrupt the search.
using ClientHitFn = bool (*)(OpenFolder* folder, SearchHit* hit, int hits, int running, int position);
// Called once with the open folder before a search's first request.
using ClientBeforeSearchFn = void (*)(OpenFolder* folder);

// A row parked while a search keeps only the latest value of a field.
struct ClientParkedRow {
    int groupNameField = -1;
    int groupIndex = -1;
    CsXdrHitRow* row = nullptr;  // packed, owned
    ClientParkedRow() = default;
    ClientParkedRow(ClientParkedRow&& other) noexcept;
    ClientParkedRow& operator=(ClientParkedRow&& other) noexcept;
    ~ClientParkedRow();
};

// ===========================================================================
// Open documents (docs/documents-client.md)
// ===========================================================================

struct OpenDocument;

// The view attributes of a document (colours, zoom, field order for the viewer).
struct DocView {
    std::string name;              // at most 30 characters; "" the default attributes
    bool fromApplication = false;  // named by the application's own parameter text
    int32_t zoom = 100;
    int32_t copyGroup = 1;
    int32_t contrast = 128;
    int32_t brightness = 128;
    char greyScale = 'S';
    char background = 'W';
    char header = 'D';
    char selection = 'Y';
    char imageColour = 'B';
    char imageIntensity = 'M';
    char textFidelity = 'L';
    char overstrike = 'S';
    uint8_t lockHeader = 0;
    int32_t lockedFields = 0;
    int32_t orderCount = -1;          // -1: no order given
    std::vector<int32_t> fieldOrder;  // layout field numbers, orderCount of them
};

// One FLDnn key of the application's parameter text.
struct DocLayoutField {
    bool matched = false;
    int32_t folderField = -1;  // the folder field it names
    int32_t numbers[2] = {};   // the key's two numbers
    std::string name;
};

// A note of a document as the session caches it.
struct DocNoteEntry {
    bool noAuthor = false;  // the author's user number has low byte 0
    bool isPublic = false;  // flags & 0x02
    int32_t positions[3] = {};
    char colour = 'D';
    std::string userName;
    std::optional<std::string> groupName;  // from the session's group list
    int64_t created = 0;                   // type 'Z'
    std::string createdText;               // formatted with the client's formats
    std::string text;
    std::vector<unsigned char> data;
    uint32_t flags = 0;
    int number = 0;  // place in the list, from 1
    bool isNew = false;
};

// The notes of one hit, shared by every open document of that hit; newest first.
struct DocNotesHolder {
    bool loaded = false;
    std::vector<DocNoteEntry> notes;
};

// The parameter text of an application with an open document, shared by the session's
// documents of that application.
struct DocApplParmEntry {
    const CsXdrApplEntry* application = nullptr;
    uint32_t groupId = 0;
    uint32_t applicationId = 0;
    bool madeEmpty = false;  // the application had none
    std::string text;
};

// A printer of the server, in reply order.
struct ClientPrinter {
    CsXdrPrinter* reply = nullptr;  // owned (CsFreePrinters)
    char kind = 0;                  // 'F', 'I', 'P' or 0
    std::string options;            // the caller's options text
    ClientPrinter() = default;
    ClientPrinter(const ClientPrinter&) = delete;
    ClientPrinter& operator=(const ClientPrinter&) = delete;
    ~ClientPrinter();
};

// The storage set of an application group that retrieval routes on (none when the group
// names none or its open failed).
struct CsStorageSetDeleter {
    void operator()(CsStorageSet* set) const;  // CsFreeStorageSet
};
struct ClientRetrieveSet {
    uint32_t groupNumber = 0;
    std::unique_ptr<CsStorageSet, CsStorageSetDeleter> set;
};

// What one search keeps in the session while it runs.
struct ClientSearchState {
    OpenFolder* folder = nullptr;  // the current open folder
    int groupIndex = -1;           // the application group being searched
    int groupNameField = -1;       // its application-group-name field, -1 none
    int maxField = -1;             // the latest-value field, -1 none
    bool keepHits = false;         // duplicates are checked
    ClientHitFn hitFunction = nullptr;
    int runningCount = 0;
    std::vector<ClientParkedRow> parked;
};

// A row of the user's group list.
struct ClientGroupEntry {
    uint32_t number = 0;
    uint32_t owner = 0;
    std::string id;
    std::string description;
};

// Texts and numbers that a status points to.
struct ClientStatusArea {
    ClientInsert inserts[CLIENT_MAX_INSERTS];
    std::string texts[CLIENT_MAX_INSERTS];  // texts the inserts of a local status point to
    std::string serverText;                 // the server's text of a detached status
};

// One logon. Zero-filled at creation; the fields after `handle` are the session's own.
struct ClientSession {
    CsHandle handle;  // every request-layer call of the session
    ClientUserRecord user;
    std::optional<ClientLogonRecord> logon;  // the handle's logon record, as last seen
    std::optional<CsSystemParms> systemParms;
    int32_t codePage = 819;  // the library code page at creation
    uint16_t charKind = 1;   // 8 for option letter 'A'

    std::vector<std::unique_ptr<ClientFolderEntry>> folders;  // sorted by name, no case
    std::vector<ClientGroupEntry> groups;                     // in server order
    int currentGroup = -1;                                    // index, or -1

    uint8_t open = 0;            // in the list and logged on
    uint8_t requestRunning = 0;  // a server call of a search or retrieval runs
    uint8_t stopRequested = 0;
    uint8_t exitRunning = 0;
    uint8_t cancel = 0;
    uint8_t stopped = 0;
    uint8_t duplicateCheck = 0;
    uint8_t convert = 0;
    uint8_t groupsLoaded = 0;

    const std::string* serverEntry = nullptr;  // the shared server-name entry
    std::vector<std::unique_ptr<CsStorageSet>> storageSets;
    uint32_t exitSessionId = 0;  // 0: no client exit registered
    uint16_t rights = 0;         // from the user's permission word
    uint32_t userNumber = 0;
    uint32_t userValue = 0;      // the gateway's word (Session_GetUserValue)
    std::string localDirectory;  // a local session's archive directory

    ClientStatusArea status;

    ClientSearchState search;
    std::vector<std::unique_ptr<ClientSegmentRow>> segmentRows;  // newest first
    std::vector<ClientFolderEntry*> openedFolders;               // opened in this session
    std::string textBuffer;                                      // texts handed out until the next such call

    std::vector<std::unique_ptr<OpenDocument>> documents;  // in order of creation
    std::vector<std::unique_ptr<DocApplParmEntry>> parmEntries;
    std::vector<std::unique_ptr<ClientPrinter>> printers;  // reply order
    bool printersLoaded = false;
    uint32_t retrieveMode = 0;                    // 0x8000 given; 0x1 stored compression; 0x2 line data
    std::vector<ClientRetrieveSet> retrieveSets;  // one per application group retrieved from

    ClientSession() = default;
    ClientSession(const ClientSession&) = delete;
    ClientSession& operator=(const ClientSession&) = delete;
    // Frees what the request layer left in the handle (logon record, system parameters).
    ~ClientSession();
};

// One retrieved hit: what the gateway needs to pack, page and annotate the document.
// Owned by its session (ClientSession::documents).
struct OpenDocument {
    ClientSession* session = nullptr;
    OpenFolder* folder = nullptr;
    SearchHit* hit = nullptr;  // the hit it was opened from; may be gone (then null)
    const CsXdrApplGroup* group = nullptr;
    const CsXdrApplEntry* application = nullptr;
    CsXdrHitRow* row = nullptr;  // own copy of the hit's row (packed; freed with the document)
    std::optional<std::string> attributeText;

    uint8_t resources = 0;                 // viewer 'A' and a resource descriptor known
    const void* resourceRecord = nullptr;  // the process-wide resource record, once known
    uint8_t resourcesDelivered = 0;        // Doc_GetResources delivered them to this document
    char dataType = 'N';
    char viewer = 'N';
    int32_t segmentCount = 1;
    int32_t pagesPerSegment = 0;
    int32_t pagesInLastSegment = 0;
    char orientation = '0';    // '0', '9', '1', '2': 0, 90, 180, 270 degrees
    char shiftKind = 'N';      // '1' SOSI1, '2' SOSI2, else 'N'
    std::string printOptions;  // PRTOPT, at most 100 characters
    float pageWidth = 0;
    float pageLength = 0;
    char recordFormat = 0;  // 'F', 'V', 'S' (RECFM=D)
    int32_t recordLength = 0;
    std::string recordDelimiter;  // RECDELIM hex text
    char carriageControl = 'N';   // 'N', 'A', 'M'
    uint8_t trc = 0;
    int32_t dataCodePage = 850;
    int32_t linesPerPage = 0;
    int32_t converterColumns = 0;
    int32_t converterLines = 0;
    char pageRange = 'A';  // 'A' all, 'C' current, 'S' selected
    int32_t pageHeaderRows = 0;
    int32_t fieldHeaderRows = 0;
    int32_t valueRow = 0;
    int32_t valueColumn = 0;
    std::string valueText;  // VALVALUE, at most 8 characters
    std::vector<DocLayoutField> layoutFields;
    uint8_t layoutMatch = 0;
    uint8_t pageNames = 0;
    DocView view;
    std::optional<std::string> layoutText;    // derived from page 1 by the line-data reader
    std::shared_ptr<CsDocTables> pageTables;  // shared by the open documents of the same hit
    uint8_t groupCursor = 0;
    uint32_t pageEntryCursor = 0;
    int32_t valueCursor = -1;
    uint8_t tablesConverted = 0;
    uint8_t lineDataForced = 0;
    uint32_t resourceDescriptor[4] = {0xFFFFFFFFu, 0, 0, 0};  // first word -1: none
    std::shared_ptr<DocNotesHolder> notes;                    // shared by the open documents of the same hit
    DocApplParmEntry* parmEntry = nullptr;                    // the session's entry of the application

    OpenDocument() = default;
    OpenDocument(const OpenDocument&) = delete;
    OpenDocument& operator=(const OpenDocument&) = delete;
    ~OpenDocument();  // frees the row copy
};

// The gateway's logon: Session_Create without integrated logon.
void Session_Logon(ClientStatus* status, const char* server, const char* host, const char* user,
                   const char* password, char kind, int port, const char* localDirectory,
                   ClientSession** session);
// Makes a session and logs on. host null: the server definition is read; else kind 'L'
// local (localDirectory is the archive), 'T' or 'S' remote on host:port. Success is
// severity 0, or 3 when the password has expired; *session is then the open session.
// Any other status hands out no session (*session null) and frees the record at once;
// a refused logon gives (6, 28). A user id or password longer than 20 bytes is refused
// as (6, 28) without a request; a missing or over-long server name, an over-long host
// or local directory, or a port outside 0..65535 gives (9, 4) with the reason as
// insert 1.
void Session_Create(ClientStatus* status, const char* server, const char* host, const char* user,
                    const char* password, char kind, int port, const char* localDirectory, int integrated,
                    ClientSession** session);
// Ends the session: keepLogon non-zero disconnects and keeps the server logon, zero
// logs off. The record is freed. Result: the request layer's, 0 for a closed session,
// or -1 when the session is not in the list (nothing is touched then).
int Session_Logoff(ClientSession* session, int keepLogon);

// Keeps a salted SHA-512-crypt hash of the password in the user record: of the
// password in UTF-8, its ASCII letters upper-cased unless the server's passwords are
// case sensitive (docs/client-sessions.md). The plain text is never kept. 0; 1 when
// hashing failed (the record then holds no hash and no password matches it).
int Session_SetPassword(ClientSession* session, const char* password);
// 0 when the password matches the kept hash; 1 otherwise (also for no hash or no
// session). The comparison takes the same time for every wrong password.
int Session_CheckPassword(ClientSession* session, const char* password);
// The same with a keyed hash that is quick to make and check, for a record that is saved
// where others may read it (the gateway's session state): "$k$", a fresh 16-byte salt and
// the HMAC-SHA-256 under key of the salt and the same password bytes, in lower-case hex.
// Without the key the hash gives nothing to guess passwords against. A key shorter than
// kStateKeyMinSize bytes is refused (1, and the record holds no hash).
inline constexpr size_t kStateKeyMinSize = 32;
int Session_SetPasswordKeyed(ClientSession* session, const char* password, std::string_view key);
int Session_CheckPasswordKeyed(ClientSession* session, const char* password, std::string_view key);
// Whether the text has the shape of a keyed hash.
bool Session_IsKeyedHash(std::string_view hash);
// Changes the user's password on the server. The new password and its repetition
// differ: (9, 31) without a request. A refusal gives (6, 32), (6, 29) when the new one
// is too short (insert 1: the minimum length) or (6, 30) when the security exit failed.
void Session_ChangePassword(ClientStatus* status, ClientSession* session, const char* oldPassword,
                            const char* newPassword, const char* repeatPassword);

// Converts one or two texts between the session's code page and CCSID 819 (direction 0:
// to 819; 1: from 819). A null text gives an empty output. 0; 1 when no converter could
// be opened or a conversion failed.
int Session_ConvertLatin1(ClientSession* session, int direction, const char* text1, const char* text2,
                          std::string* out1, std::string* out2);

// Capability n (0..9) of the server's system parameters; false for other n or when the
// session has none.
bool Session_HasServerCapability(ClientSession* session, int n);
// Bit 0 of option word 1 of the session's handle, or of the defaults new sessions copy
// when session is null.
void Session_SetOption(ClientSession* session, int on);
void Session_SetOptionBits(ClientSession* session, uint32_t bits1, uint32_t bits2, int on);
// Option words new sessions copy.
uint32_t Session_GetDefaultOptions(int word);
// Bit 0 of the system parameter flags (user ids are case sensitive).
bool Session_ServerFlag0(ClientSession* session);
uint32_t Session_GetUserValue(ClientSession* session);
void Session_SetUserValue(ClientSession* session, uint32_t value);
// True when the logon has timed out (the request layer's time-out check answers 15).
bool Session_IsTimedOut(ClientSession* session);
// True when the record is in the session list and open.
bool Session_IsOpen(ClientSession* session);
// Interrupts the server call that runs on the session, if one does.
void Session_Interrupt(ClientSession* session);
// The rights word made from a user's permission word.
uint16_t Session_RightsFromPermissions(uint16_t permissions);

// Status of a request-layer result for an operation (tables in the library's docs).
void Session_MakeStatus(ClientStatus* status, ClientSession* session, int result, int operation);
// Status of a local condition: 3 (9, 4) with text as insert 1; 4 (7, 6); 5 (9, 1);
// 6 (6, 35); 7 (2, 0); any other (9, 75).
void Session_MakeLocalStatus(ClientStatus* status, ClientSession* session, int kind, const char* text);

// ===========================================================================
// Folder and group lists
// ===========================================================================

// Loads the folder list once, when the session is open and the folder-list switch is
// on; status (0, 0) otherwise. Rows are kept sorted by name without regard to case,
// equal names in arrival order.
void Session_LoadFolderList(ClientStatus* status, ClientSession* session);
// Number of folders (the list is loaded first); 0 for no session.
int Folder_GetCount(ClientSession* session);

struct ClientFolderName {
    const char* name = nullptr;
    const char* description = nullptr;
    int special = 0;  // the row's flag 0x100
};
// Fills at most capacity entries in list order; the number filled. The texts belong to
// the session's folder list.
int Folder_ListNames(ClientSession* session, ClientFolderName* out, size_t capacity);

// Loads the user's groups once per session.
void Session_LoadGroupList(ClientStatus* status, ClientSession* session);
// Loads the group list, then gives its length.
void Session_GetGroupCount(ClientStatus* status, ClientSession* session, int* count);
struct ClientGroupName {
    const char* id = nullptr;
    const char* description = nullptr;
};
// Fills at most capacity pairs in list order; the number filled.
int Session_ListGroups(ClientSession* session, ClientGroupName* out, size_t capacity);
// The first group whose id equals the text exactly becomes current; none otherwise.
void Session_SelectGroup(ClientSession* session, const char* id);

// ===========================================================================
// Yield callback and callback word (per thread: each request waits on its own)
// ===========================================================================

using ClientYieldFn = void (*)();
// The function CsYieldControlCallback calls on this thread; null for none.
void Client_SetYieldFunction(ClientYieldFn fn);
void Client_SetCallbackWord(uint32_t word);
uint32_t Client_GetCallbackWord();

extern "C" int CsYieldControlCallback(void);

// ===========================================================================
// Character helpers of the search builder
// ===========================================================================

// True when the character at input matches the letter (single-byte: upper-cased);
// *next is then the position after it.
bool Session_MatchLetter(const char* input, const char* letter, const char** next);
// The first position of the (single- or double-byte) character c in text, or null.
const char* Session_FindChar(const char* c, const char* text);

// ===========================================================================
// State blobs (docs/state.md)
// ===========================================================================

// Flattens the session into blob (replaced). Its byte count, or 0 when the session is
// not in the session list (nothing written).
size_t State_SaveSession(ClientSession* session, std::vector<unsigned char>* blob);
// Rebuilds a session from a blob and appends it to the session list, open. Null when
// the blob fails any check (then nothing was made); the caller logs on again. The
// process-wide client settings are never changed by a blob.
ClientSession* State_RestoreSession(const unsigned char* blob, size_t length, ArcIconvContext* context);
// Flattens the session's folder list. Its byte count, or 0 when the session is not in
// the session list.
size_t State_SaveFolderList(ClientSession* session, std::vector<unsigned char>* blob);
// Replaces the session's folder list by the blob's. The number of folders, or -1 when
// the session is not listed or the blob fails a check, was written for another server
// or user (the list is then unchanged).
int State_RestoreFolderList(ClientSession* session, const unsigned char* blob, size_t length);
// The largest number of bytes one folder takes in a folder-list blob.
size_t State_FolderRecordSize();

// ===========================================================================
// Search clause values
// ===========================================================================

// One operator of the search clause: its bit in a field's operator mask and the texts
// written around the values, every one with its blanks (" IN ", " ( ", " , ", " ) ").
struct SqlOperator {
    uint32_t bit;
    const char* text;       // after the field name
    const char* opening;    // before the first value
    const char* separator;  // between two values
    const char* closing;    // after the last value
};
inline constexpr int SQL_OPERATOR_COUNT = 12;
// =, <>, <, <=, >, >=, BETWEEN, NOT BETWEEN, IN, NOT IN, LIKE, NOT LIKE, in that order.
extern const SqlOperator SqlOperatorTable[SQL_OPERATOR_COUNT];
// The row of the operator bit in SqlOperatorTable; SQL_OPERATOR_COUNT when it is none.
int SqlOperatorIndex(uint32_t bit);

// Reads a keyword date: the today letter alone (today), or followed by a signed count
// and an optional unit letter (day, month or year; defaultUnit when none is given):
// "T-7", "T+1M". Any other input must hold a day, month or year letter, which stands
// for today's two digits before the text is read by dateFormat ("D/M/Y", "01/01/Y").
// Letters are the start-up options' (T, D, M, Y when unset), matched upper-cased.
// The date, written and read back by dateFormat as a value of type dateType, gives
// *start and *end, the range the text covers. 0 when a date was made, -1 when the input
// is not such a date, the unit is none of the three or the move leaves the type's range.
int ParseDateInput(const char* input, const char* defaultUnit, char dateType, const char* dateFormat,
                   int64_t* start, int64_t* end);

// Writes value into *out with precision digits after the point (6 when negative), in
// the C locale, the point replaced by the start-up options' decimal character. The
// position of that character, or -1 when there is none (infinity, NaN).
int FormatDecimal(std::string* out, int precision, double value);

// ===========================================================================
// Folders and criteria (docs/folders.md)
// ===========================================================================

// Opens a folder of the session's folder list by its exact name: fetches the
// definition once per session, orders the fields, prepares one criterion per field and
// gathers segment rows and named queries. (9, 77) for an unknown name; (9, 37) for a
// definition without application groups when the library requires groups; the request
// layer's failures through Session_MakeStatus. A failed open leaves no open folder.
void Folder_Open(ClientStatus* status, ClientSession* session, const char* name, OpenFolder** out);
// Closes the folder's documents and frees its hits; with freeAll also its segment rows,
// named queries, criteria and definition, and the open folder itself.
void Folder_Close(ClientSession* session, OpenFolder* folder, int freeAll);
// The field record, or null for an index outside the folder.
const CsXdrFolderField* Folder_GetField(const OpenFolder* folder, int index);
// The default text of a criterion's first (which 0) or second (1) value, or "". The
// text lives in the session's text buffer.
const char* Folder_GetCriterionText(ClientSession* session, OpenFolder* folder, int field, int which);
// Bit 0x10 of the definition's flag byte.
bool Folder_HasFlag16(const OpenFolder* folder);
// Bit 0x80 of the definition's flag byte (the folder has named queries).
bool Folder_HasFlag80(const OpenFolder* folder);
// Display text of a segment row: kind 1 its start date by its date letter, kind 2 its
// stop date as local date and time, other kinds both joined by a tab. In the session's
// text buffer.
const char* Folder_FormatSegmentEntry(ClientSession* session, const ClientSegmentRow* row, int kind);
// -1 unless the field is a date field; else 0 with its input format and kind and its
// display format and kind.
int Folder_GetDateFormats(const OpenFolder* folder, int field, std::string* format, char* kind,
                          std::string* displayFormat, char* displayKind);
// Makes the folder current for a hit rebuilt from a document id: its group-name field,
// no running count, no per-hit function, no duplicate check; the hit joins the folder's
// list at position (the list's end when beyond it).
void Folder_Select(ClientSession* session, ClientFolderEntry* entry, SearchHitPtr hit, int groupIndex,
                   int position);

// ===========================================================================
// Search and the WHERE builder (docs/where-builder.md)
// ===========================================================================

// Searches every application group of the folder with the clause made from its
// criteria. matchAny joins conditions with " OR ". keepHits keeps the hits of earlier
// searches (and checks duplicates). errorPosition (may be null) receives, on a
// criterion error, the criterion's index in the criteria order and 1 when the second
// value is at fault.
void Folder_Search(ClientStatus* status, ClientSession* session, OpenFolder* folder, int matchAny,
                   int keepHits, ClientBeforeSearchFn before, ClientHitFn perHit, ClientYieldFn yield,
                   int errorPosition[2]);
// Searches with the caller's clause and date range, every group or only the one named.
void Folder_SearchDirect(ClientStatus* status, ClientSession* session, OpenFolder* folder, const char* clause,
                         const char* startDate, const char* endDate, const char* groupName, int keepHits,
                         ClientHitFn perHit, ClientYieldFn yield);

// ===========================================================================
// Hit list and search callbacks (docs/hit-list.md)
// ===========================================================================

// The row callback of a search (context: the session). 0 when the row was taken into
// the hit list (the hit owns it then), 1 when not (the caller frees it).
int Search_AddRowCallback(ClientSession* session, CsXdrHitRow* row);
// The row callback when a latest-value field is chosen: 0 parked, 1 not kept.
int Search_MaxRowCallback(ClientSession* session, CsXdrHitRow* row);
// Inserts the hit into the folder's list: with sort, before the first hit it sorts
// strictly before by keys, else (or without sort) at position (-1: the end). The
// position it took.
int Hit_InsertSorted(ClientSession* session, OpenFolder* folder, SearchHitPtr hit, bool sort,
                     std::span<const FolderSortKey> keys, int position);
// Frees a hit that no list holds.
void Hit_Free(SearchHitPtr hit);
// Empties the session's hit list of the folder.
void Folder_FreeHits(ClientSession* session, OpenFolder* folder);

// A field of a client exit's row.
struct ClientExitValue {
    const char* name;
    const char* value;
};
struct ClientExitRow {
    uint32_t identifier;
    uint32_t count;
    const ClientExitValue* values;
};
// The client exit's row callback: 1 to go on, 0 to stop.
extern "C" int ExitSearchFolderCallback(uint32_t sessionId, const ClientExitRow* row);

// ===========================================================================
// Hits and document ids (docs/document-ids.md)
// ===========================================================================

int Folder_GetHitCount(ClientSession* session, const OpenFolder* folder);
SearchHit* Folder_GetFirstHit(ClientSession* session, const OpenFolder* folder);
SearchHit* Hit_GetNext(const SearchHit* hit);
// The location byte 1, 2, 4 as 1, 2, 3; else 0.
int Hit_GetLocationCode(const SearchHit* hit);
// Display text of one folder field of the hit, in the session's text buffer.
const char* Hit_GetFieldValueText(ClientSession* session, OpenFolder* folder, const SearchHit* hit,
                                  int field);
void Hit_GetApplGroupAndApplNames(const SearchHit* hit, const char** group, const char** application);
void Hit_GetApplGroupAndApplIds(const SearchHit* hit, uint32_t* group, uint32_t* application);
bool Hit_DocNameHasDollar(const SearchHit* hit);
// The EXTENSION key of the application's parameter text for a hit of data type 'U',
// else none.
std::optional<std::string> Hit_GetUserTypeExtension(const SearchHit* hit);
// Writes the hit's document id into *out (replaced). name: the caller's name, or null
// for the row's; words: the four location words when non-null. The byte count written.
size_t Hit_FormatDocId(ClientSession* session, const SearchHit* hit, const char* name, const int32_t* words,
                       bool withValues, std::string* out);
// Rebuilds a hit from a document id as the folder's only hit. The hit, or null when the
// id does not read (nothing is changed then).
SearchHit* Hit_ParseDocId(ClientSession* session, OpenFolder* folder, std::string_view text, bool withValues);
// The same, but the hit joins the end of the folder's list and the hits already there
// stay (several documents rebuilt for one request, e.g. to print them together).
SearchHit* Hit_AppendDocId(ClientSession* session, OpenFolder* folder, std::string_view text,
                           bool withValues);
// -1, 0 or 1 by the keys in order.
int Hit_Compare(ClientSession* session, const OpenFolder* folder, const SearchHit* first,
                const SearchHit* second, std::span<const FolderSortKey> keys);
// 0 when both hits name the same document.
int Hit_IsSameDocument(const SearchHit* first, const SearchHit* second);
// Checks the new values, sends the update and replaces *hit by the updated hit.
// *failing: the index of the value at fault, or -1.
void Hit_UpdateIndexValues(ClientStatus* status, ClientSession* session, OpenFolder* folder, SearchHit** hit,
                           int count, const int* fields, const char* const* values, int* failing);

// ===========================================================================
// Open-folder blob (docs/state.md)
// ===========================================================================

// Flattens the open folder (definition, criteria and choices, not its hits). Its byte
// count, or 0 when its session is not in the session list.
size_t State_SaveFolder(std::vector<unsigned char>* blob, const OpenFolder* folder);
// Rebuilds the open folder into the session's folder-list entry of the same name. Null
// when the session is not listed, the name is not in its folder list, or the blob
// fails any check (nothing changed then).
OpenFolder* State_RestoreFolder(ClientSession* session, const unsigned char* blob, size_t length);

// ===========================================================================
// Open documents: retrieval, segments, resources, page names (docs/documents-client.md)
// ===========================================================================

// The consumer of a document's data: (open folder, data, length) -> non-zero to go on,
// 0 to interrupt the session.
using ClientDocDataFn = int (*)(OpenFolder* folder, const unsigned char* data, size_t length);

// Operation numbers of the document calls (for Session_MakeStatus).
inline constexpr int CLIENT_OP_RETRIEVE = 8;
inline constexpr int CLIENT_OP_RESOURCES = 9;

// Retrieves the hit's data into the consumer and makes the open document (*document,
// kept by the session). reuseOnly: nothing is requested, only the record is made (with
// the page tables of an open document of the same hit). lineData: the data is asked for
// as type 'L'. callbackId non-zero: the thread's callback word while the request runs.
// A failure makes no document (*document null).
void Doc_Retrieve(ClientStatus* status, ClientSession* session, OpenFolder* folder, SearchHit* hit,
                  OpenDocument** document, int reuseOnly, int lineData, ClientDocDataFn consumer,
                  uint32_t callbackId);
// Retrieves segment number (from 0) of the document into the consumer. A number that
// is negative or not below the segment count gives (9, 80) without a request.
void Doc_GetSegment(ClientStatus* status, OpenDocument* document, int segment, ClientDocDataFn consumer,
                    uint32_t callbackId);
// Retrieves the document's resource group into the consumer, once per document (and
// only when its resources flag is set); otherwise status (0, 0) and nothing requested.
// A linked process-wide record gives the descriptor; every document still receives the
// bytes, since each reply that carries resources needs them.
void Doc_GetResources(ClientStatus* status, OpenDocument* document, ClientDocDataFn consumer,
                      uint32_t callbackId);
// The application's parameter text and the text of the document's application entry
// (either may be null). Always true.
bool Doc_GetParmTexts(const OpenDocument* document, const char** applicationText, const char** entryText);
// The compression letter of the resource descriptor (the low byte of its last word; 0
// when none is known) and the stored compression letter of the document.
void Doc_GetConvertFlags(const OpenDocument* document, char* resourceLetter, char* documentLetter);
// Sets bit 0x8000 (mode given) and sets (on) or clears the given bits of the session's
// retrieve-mode word: 0x1 ask for the stored compression, 0x2 every segment as line data.
void Doc_SetRetrieveMode(ClientSession* session, uint32_t bits, int on);
// The client data-type letter of the hit's application ('N' when none).
char Hit_GetDataType(const SearchHit* hit);
// The viewer letter of a stored data type.
char Doc_ViewerLetter(char storedType);
// The client data-type letter of a stored data type.
char Doc_DataTypeLetter(char storedType);
// Without opening the document: the resource compression letter from a storage-node
// request (0xFF when the hit has no resource or the request fails) and the stored
// compression letter of the hit's document.
void Hit_GetCompressionLetters(ClientSession* session, const SearchHit* hit, char* resourceLetter,
                               char* documentLetter);
// Word 8 of the hit's attribute block: its resource identifier (0 for none).
uint32_t Hit_GetAttrValue(const SearchHit* hit);
// The group field behind folder field `field` for the group numbered groupId. False when
// the group is not in the folder, the index is out of range, the field is unmapped, or
// the group field carries flag bit 4 (0x10).
bool Doc_FindMappedField(const OpenFolder* folder, uint32_t groupId, int field, int* groupField,
                         const CsXdrFieldDef** definition);
// EXTENSION of a document of data type 'U', else none.
std::optional<std::string> Doc_GetUserTypeExtension(const OpenDocument* document);
// Unlinks and frees the document. Null is ignored.
void Doc_Close(OpenDocument* document);
// Closes every document of the session opened from the folder.
void Doc_CloseFolderDocuments(ClientSession* session, OpenFolder* folder);

// One index value of the page-name and index walk.
struct DocGroupValue {
    const char* text = nullptr;
    uint32_t page = 0;
    uint32_t kind = 0;
};
// The first index-group name (the tables are converted to the session's code page
// once), or null when there is none or the conversion fails.
const char* Doc_FirstIndexGroup(OpenDocument* document);
const char* Doc_NextIndexGroup(OpenDocument* document);
// The first value of the named group in page order; false when there is none.
bool Doc_FirstGroupValue(OpenDocument* document, const char* group, DocGroupValue* value);
bool Doc_NextGroupValue(OpenDocument* document, DocGroupValue* value);
// The name of page `page` (from 1); null when the document has no page names or no
// entry for the page; "" for an entry without a name.
const char* Doc_GetPageName(OpenDocument* document, int64_t page);
// The document-information block (big-endian; docs/documents-client.md) with the
// next-segment URL and the form data (null: none). Empty with *length 0 when memory
// runs out.
std::vector<unsigned char> Doc_BuildAppletInfo(OpenDocument* document, const char* segmentUrl,
                                               const char* formData, size_t* length);

// The data a client exit hands back: two words, the data and its length.
struct ClientExitData {
    const unsigned char* data;
    size_t length;
};
// Hands a client exit's data to the retrieval that runs on this thread with that
// callback id. 1 taken; 0 when no such retrieval runs or its session is cancelled.
extern "C" int ExitDataCallback(uint32_t callbackId, const ClientExitData* block);

// ===========================================================================
// Permissions, printers, notes and views of open documents (docs/notes-client.md)
// ===========================================================================

// Permission bits. The first byte is the application group's permission byte
// (CsXdrApplGroup::permissions), the second the low byte of its note permissions
// (CsXdrApplGroup::notePermissions).
inline constexpr uint8_t CLIENT_PERMIT_VIEW = 0x01;        // first byte: retrieve
inline constexpr uint8_t CLIENT_PERMIT_PRINT = 0x10;       // first byte
inline constexpr uint8_t CLIENT_PERMIT_COPY = 0x40;        // first byte
inline constexpr uint8_t CLIENT_PERMIT_VIEW_NOTES = 0x01;  // second byte
inline constexpr uint8_t CLIENT_PERMIT_ADD_NOTES = 0x02;   // second byte

// Each is false for a null hit or document, or one without a group.
bool Hit_CanViewFlag0(const SearchHit* hit);
bool Hit_CanPrint(const SearchHit* hit);
bool Hit_CanViewNotes(const SearchHit* hit);
bool Hit_CanAddNotes(const SearchHit* hit);
bool Doc_CanPrint(const OpenDocument* document);
bool Doc_CanCopy(const OpenDocument* document);
bool Doc_CanViewNotes(const OpenDocument* document);
bool Doc_CanAddNotes(const OpenDocument* document);
// The notes flag of the document's row: 'N' no notes, 'Y' notes, 'U' not known (any
// other value, also for a document without a row).
char Doc_HasNotesFlag(const OpenDocument* document);

// Operation numbers of these calls (for Session_MakeStatus).
enum ClientNoteOperation : int {
    CLIENT_OP_NOTES = 27,
    CLIENT_OP_ADD_NOTE = 28,
    CLIENT_OP_PRINTERS = 31,
    CLIENT_OP_PRINT = 32,
};

// Loads the server's printers once per session (in reply order); later calls answer
// (0, 0) and send nothing. A failed load leaves the list empty and unloaded.
void Printer_LoadList(ClientStatus* status, ClientSession* session);
// The session's printers in reply order; null at the end, for no session or a printer
// that is not the session's.
ClientPrinter* Printer_GetFirst(ClientSession* session);
ClientPrinter* Printer_GetNext(ClientSession* session, const ClientPrinter* printer);
ClientPrinter* Printer_GetLast(ClientSession* session);
// The printer's name and description as the server gave them; "" for null.
const char* Printer_GetName(const ClientPrinter* printer);
const char* Printer_GetDescription(const ClientPrinter* printer);
// Frees every printer, the last first, and marks the list unloaded.
void Printer_FreeAll(ClientSession* session);

// The fax-cover texts of a print request; null members are not given.
struct ClientFaxTexts {
    const char* receiverFax = nullptr;  // RFax
    const char* senderName = nullptr;   // SFrom
    const char* senderCompany = nullptr;
    const char* senderPhone = nullptr;
    const char* senderFax = nullptr;
    const char* coverPage = nullptr;
    const char* subject = nullptr;
};
// The largest print options text.
inline constexpr size_t CLIENT_PRINT_OPTIONS_MAX = 2000;
// Prints the hits, in the order given, on the server printer (request 93). receiver
// and sender: for a fax printer (kind 'F') one value each, else up to 6 lines each
// (LF ends a line, a CR before it is dropped). A carriage return or line feed inside a
// single value becomes a blank. fax may be null. An options text over
// CLIENT_PRINT_OPTIONS_MAX bytes, or a fax text over 1024, is refused as (9, 4) with
// the key as insert 1 before anything is sent; (9, 4) also for a null printer or hit
// or a count below 0. No hits: (0, 0) and nothing sent.
void Printer_PrintHits(ClientStatus* status, ClientSession* session, const ClientPrinter* printer,
                       SearchHit* const* hits, int count, int copies, const char* receiver,
                       const char* sender, const ClientFaxTexts* fax, uint32_t callerValue);

// Colour letters and codes of notes: 'D' 0, 'W' 1, 'B' 2, 'R' 3, 'L' 4, 'G' 5, 'Y' 6,
// 'M' 7, 'C' 8, '0' 9. Another letter is code 0; another code is 'D'.
uint32_t Note_ColourCode(char letter);
char Note_ColourLetter(uint32_t code);
// Whether notes with attached data (flag 0x08) are cached; off after start-up.
void Note_SetShowAll(int on);

// Loads the document's notes once (shared by the open documents of the same hit),
// newest first, and sets the document's and hit's notes flag to 'Y' or 'N'. Nothing
// is sent when they are loaded, the user may not view notes, or the notes flag is 'N'.
// A failed request leaves the notes cached so far, marked loaded.
void Note_GetAll(ClientStatus* status, OpenDocument* document);
// Adds a note: isPublic 0 private, else public; colour a letter of Note_ColourCode;
// data may be null. The open documents of the same hit get notes flag 'Y'; when their
// notes are loaded (or the user may not view them) the note is cached first, marked
// new. (9, 4) for a null document or data without bytes.
void Note_Add(ClientStatus* status, OpenDocument* document, int anonymous, int isPublic, int32_t position1,
              int32_t position2, int32_t position3, char colour, const char* text, const void* data,
              size_t dataLength);
int Note_GetCount(const OpenDocument* document);
const DocNoteEntry* Note_GetFirst(const OpenDocument* document);
// Null after the last note or for an entry that is not the document's.
const DocNoteEntry* Note_GetNext(const OpenDocument* document, const DocNoteEntry* note);

// A note a client exit delivers while the notes are listed.
struct ClientExitNote {
    int32_t created;   // 'Z' seconds
    const char* text;  // may be null
    CsXdrNote note;    // text and created are not read
};
// Caches the exit's note for the document whose notes the session is loading. 1 to go
// on; 0 for an unknown session, no such load or a cancelled session.
extern "C" int ExitNoteCallback(uint32_t sessionId, const ClientExitNote* note);

// Picks the document's view: DEFVIEW of the document's parameter entry (unless
// ignoreDocumentText), else of the application's parameter text (fromApplication);
// then applies it. No name, or a name VIEWS does not list: the default attributes.
// view null: the document's own.
void Doc_ChooseView(OpenDocument* document, DocView* view, int ignoreDocumentText);
// Applies the named view from the document's text (its parameter entry's, else its
// application's): false, with the default attributes, when VIEWS does not list it.
bool Doc_ApplyView(OpenDocument* document, const char* name, DocView* view);
// The default attributes, no name. view null: the document's own.
void Doc_DefaultView(OpenDocument* document, DocView* view);

// ===========================================================================
// Open-document blob (docs/state.md)
// ===========================================================================

// Flattens the open document of the session (not its page tables) into *blob
// (replaced). Its byte count; 0 when the session is not listed, the document is not
// one of its documents or has no row (nothing written then).
size_t State_SaveDocument(ClientSession* session, std::vector<unsigned char>* blob,
                          const OpenDocument* document);
// Appends the document's page tables to *file (which holds the document blob). The new
// size; 0 when the document has none, its session is not listed or the tables do not
// write (*file is unchanged then: the document blob alone is kept).
size_t State_SaveDocumentData(const OpenDocument* document, std::vector<unsigned char>* file);
// The length of the document blob at the start of a saved file (the page tables
// follow it), or 0 when the bytes do not begin with one.
size_t State_DocumentPartLength(const unsigned char* file, size_t length);
// Rebuilds the document as the session's only open document, bound to hit, which must
// be a hit of folder (an open folder of the session) naming the same document. Null
// when the session is not listed, the hit or folder is not the session's, the blob was
// saved for another logon or document, or it fails any check (nothing changed then).
OpenDocument* State_RestoreDocument(ClientSession* session, const unsigned char* blob, size_t length,
                                    OpenFolder* folder, SearchHit* hit);
// Rebuilds the page tables of a restored document from the bytes State_SaveDocumentData
// appended. CS_OK; CS_FAILED for bytes that fail a check or a document not kept by a
// listed session; else the converter's failure. On failure the document keeps no
// tables, and the caller retrieves the document again.
int State_RestoreDocumentData(OpenDocument* document, const unsigned char* data, size_t length);
// The byte count State_SaveFolder writes for the open folder; 0 when it writes none.
size_t State_GetSize(const OpenFolder* folder);
