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
#include <string>
#include <string_view>
#include <vector>

#include "qel_cs.h"

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

// An entry of the session's folder list.
struct ClientFolderEntry {
    ClientFolderRow row;
    ClientSession* session = nullptr;
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

    ClientSession() = default;
    ClientSession(const ClientSession&) = delete;
    ClientSession& operator=(const ClientSession&) = delete;
    // Frees what the request layer left in the handle (logon record, system parameters).
    ~ClientSession();
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
