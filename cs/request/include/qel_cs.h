// qel_cs.h - the request layer: the server handle, server definitions, temporary and
// print paths, object data streams, parameter text, message issuing and user exits.
//
// Every operation takes a CsHandle first and answers a CsReturnCode. The handle and the
// records beside it grow with the call bracket, the dispatcher and the operations that
// later sections of this header add; fields are never reordered. Documents:
// docs/request-handle.md (seams left for later layers), docs/parmtext.md,
// docs/messages-issuing.md, docs/exits.md, docs/request-paths.md.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <atomic>
#include <memory>
#include <mutex>
#include <type_traits>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

struct ArcIconvContext;
struct ArcOSLibrary;

// ===========================================================================
// Results
// ===========================================================================

enum CsReturnCode : int {
    CS_OK = 0,
    CS_CANCELLED = 1,
    CS_NOT_AVAILABLE = 2,     // not in this store, or a transport failure
    CS_TRANSPORT = 3,
    CS_TRANSPORT_LIBRARY = 4,
    CS_FAILED = 6,
    CS_BUSY = 7,              // a request already runs on the handle
    CS_NO_MEMORY = 9,
    CS_UNAVAILABLE = 10,      // segments unavailable, or the security exit asks for the password check
    CS_NOT_FOUND = 11,        // nothing found, end of a list
    CS_PASSWORD_EXPIRED = 12,
    CS_NOT_AUTHORISED = 13,
    CS_TIMED_OUT = 15,
    CS_LEVEL_NOT_SUPPORTED = 16,
};

// A compression pipeline state (arc_compress.h) as a result: 0 stays 0, 5 (no memory)
// becomes 9, anything else 6.
int CsMapStatus(int pipelineStatus);

// ===========================================================================
// The handle
// ===========================================================================

// Flag word 1.
inline constexpr uint32_t CS_F1_DISCONNECT = 0x00000001;       // drop the connection after the request
inline constexpr uint32_t CS_F1_TIMED_OUT = 0x00000002;
inline constexpr uint32_t CS_F1_INTERRUPT = 0x00000004;
inline constexpr uint32_t CS_F1_EXTERNAL = 0x00000008;         // no time-out check; parameters owned elsewhere
inline constexpr uint32_t CS_F1_NODE_BY_NAME = 0x00000010;
inline constexpr uint32_t CS_F1_LOCAL_OPEN = 0x00000020;
inline constexpr uint32_t CS_F1_STORAGE_OPEN = 0x00000040;
inline constexpr uint32_t CS_F1_SYSLOG_LOADED = 0x00000080;
inline constexpr uint32_t CS_F1_CALLER_LOCAL = 0x00000100;
inline constexpr uint32_t CS_F1_CALLER_SYSLOG = 0x00000200;
inline constexpr uint32_t CS_F1_CALLER_STORAGE = 0x00000400;
inline constexpr uint32_t CS_F1_NO_LOGON_MSG = 0x00000800;
inline constexpr uint32_t CS_F1_NO_LOGOFF_MSG = 0x00001000;
inline constexpr uint32_t CS_F1_NO_USER_ROW = 0x00002000;
inline constexpr uint32_t CS_F1_IN_SYSLOG_STORE = 0x00004000;
inline constexpr uint32_t CS_F1_IN_STORE_ALT = 0x00008000;
inline constexpr uint32_t CS_F1_HOST_TEXT = 0x00010000;        // fetch the server's host text for messages
inline constexpr uint32_t CS_F1_SECURITY_EXIT = 0x00020000;
inline constexpr uint32_t CS_F1_COM_DEBUG = 0x00040000;
inline constexpr uint32_t CS_F1_NO_COMPRESS_DATA = 0x00080000;
inline constexpr uint32_t CS_F1_LEVEL_2114 = 0x00100000;
inline constexpr uint32_t CS_F1_SRVR_DISCONNECT = 0x00200000;
inline constexpr uint32_t CS_F1_CANCEL_PENDING = 0x00400000;
inline constexpr uint32_t CS_F1_MESSAGES = 0x00800000;         // issue messages on this handle
inline constexpr uint32_t CS_F1_NO_GROUP_HANDLES = 0x01000000;
inline constexpr uint32_t CS_F1_SERVES_FOLDER = 0x02000000;
inline constexpr uint32_t CS_F1_SKIP_EVENT_LOG = 0x04000000;   // a logged message skips the event log
inline constexpr uint32_t CS_F1_KEEP_PASSWORD = 0x08000000;
inline constexpr uint32_t CS_F1_LEVEL_2207 = 0x10000000;
inline constexpr uint32_t CS_F1_INTEGRATED = 0x20000000;
inline constexpr uint32_t CS_F1_LEVEL_2208 = 0x40000000;       // also allows compression
inline constexpr uint32_t CS_F1_NO_COMPRESS = 0x80000000;
inline constexpr uint32_t CS_F1_LEVEL_BITS = 0x50100000;

// Flag word 2.
inline constexpr uint32_t CS_F2_LEVEL_BITS = 0x00000145;
inline constexpr uint32_t CS_F2_UNIFIED_TXMON = 0x00000080;

// Kinds: 1 is the local server; 2 and 4 are the two remote transports.
inline constexpr uint16_t CS_KIND_LOCAL = 1;
inline constexpr uint16_t CS_KIND_TCP = 2;
inline constexpr uint16_t CS_KIND_SNA = 4;

// Text sizes, terminator included. A longer value is refused, never cut.
inline constexpr size_t CS_SERVER_NAME_SIZE = 256;
inline constexpr size_t CS_HOST_SIZE = 256;
inline constexpr size_t CS_USER_ID_SIZE = 21;
inline constexpr size_t CS_USER_NAME_SIZE = 61;
inline constexpr size_t CS_SERVER_MESSAGE_SIZE = 1026;  // = QEL_EXIT_MESSAGE_SIZE
inline constexpr size_t CS_SERVER_INFO_SIZE = 256;

// The user identity of a logon (88 bytes, as the logon reply carries it).
struct CsUserIdentity {
    char userId[CS_USER_ID_SIZE] = {};
    char userName[CS_USER_NAME_SIZE] = {};
    uint32_t processId = 0;  // the process that logged on
};

// System parameters (32 bytes; owned by the handle after logon).
struct CsSystemParms {
    int32_t passwordExpiryDays = 0;
    uint16_t minPasswordLength = 0;
    uint16_t reserved1 = 0;
    int64_t timeOut = 0;           // TIME_OUT, seconds
    uint32_t flags = 0;            // 0x01 user ids, 0x02 passwords case sensitive
    uint32_t systemLogMask = 0;    // categories stored in the System Log
    uint32_t exitMask = 0;         // categories passed to the message exit
    uint32_t reserved2 = 0;
};

// A word that another thread may read or change while the handle's own thread works
// (an interrupt sets a bit from anywhere). Copying takes a snapshot.
template <class T>
class CsAtomic {
public:
    constexpr CsAtomic() noexcept : value_(T{}) {}
    constexpr explicit CsAtomic(T value) noexcept : value_(value) {}
    CsAtomic(const CsAtomic& other) noexcept : value_(other.load()) {}
    CsAtomic& operator=(const CsAtomic& other) noexcept {
        store(other.load());
        return *this;
    }
    CsAtomic& operator=(T value) noexcept {
        store(value);
        return *this;
    }
    operator T() const noexcept { return load(); }
    T load() const noexcept { return value_.load(); }
    void store(T value) noexcept { value_.store(value); }
    T exchange(T value) noexcept { return value_.exchange(value); }
    T operator->() const noexcept requires std::is_pointer_v<T> { return load(); }
    // Bit operations answer the new value; fetch_* the old one.
    T fetch_or(T bits) noexcept requires std::is_integral_v<T> { return value_.fetch_or(bits); }
    T fetch_and(T bits) noexcept requires std::is_integral_v<T> { return value_.fetch_and(bits); }
    T operator|=(T bits) noexcept requires std::is_integral_v<T> { return value_.fetch_or(bits) | bits; }
    T operator&=(T bits) noexcept requires std::is_integral_v<T> { return value_.fetch_and(bits) & bits; }
    T operator++() noexcept requires std::is_integral_v<T> { return ++value_; }
    T operator--() noexcept requires std::is_integral_v<T> { return --value_; }

private:
    std::atomic<T> value_;
};
using CsFlagWord = CsAtomic<uint32_t>;

// The dispatcher's connection of a handle (library, transport connection, message
// stream); defined inside the request layer.
struct CsConnection;

// Connection state that the dispatcher owns. A copied handle never shares a
// connection: the copy starts unconnected. The request mutex lives as long as the
// handle (a cancel from another thread may take it at any time).
struct CsRequestState {
    CsAtomic<uint32_t> running;          // a request runs on the handle
    CsConnection* connection = nullptr;  // null while unconnected; guarded by mutex
    std::recursive_mutex mutex;          // the RequestMutex

    CsRequestState() = default;
    CsRequestState(const CsRequestState&) noexcept {}
    CsRequestState& operator=(const CsRequestState&) = delete;
    ~CsRequestState();
    // Drops the connection (when there is one) and clears the running word.
    void Reset();
};

// The server definition: what the "@SRV@_<name>" section says about a server.
struct CsServerDef {
    CsFlagWord flags1;
    CsFlagWord flags2;
    uint16_t kind = 0;
    char host[CS_HOST_SIZE] = {};   // remote: host name or address
    std::string instance;           // local: the instance name, when it is not "ARCHIVE"
    CsRequestState request;
    uint16_t port = 0;              // remote
    std::string profile;            // local: the server's configuration image
    uint16_t transportKind = 0;     // local: 2 or 4
    uint16_t instancePort = 0;      // local
    // Remote: CONNECT_TIMEOUT and IDLE_TIMEOUT in seconds (0: the transport's default).
    uint32_t connectTimeout = 0;
    uint32_t idleTimeout = 0;
    // Where the transport library is looked for: a directory (ending in '/') or a file
    // whose directory is used; empty: the install's lib/ directory. The library that
    // loaded is remembered in transportLibrary and used alone from then on.
    std::string transportPath;
    std::string transportLibrary;
};

// The logon record (made at logon; owned by the handle that logged on, shared by the
// handles routed from it). Times are 'Z' seconds.
struct CsLogonRecord {
    uint32_t userNumber = 0;
    std::string groupList;     // "IN (n,m,...)" of a local logon
    uint16_t userType = 0;
    int64_t lastActivity = 0;  // stamped by every leave
    int64_t timeOut = 0;       // per-logon time-out in seconds; 0: TIME_OUT; negative: none
};
struct CsHandle;

using CsYieldFn = int (*)();
// The message callback: (callback context, text) -> 0; non-zero counts as a failure.
using CsMessageFn = int (*)(void* context, const char* text);

// One handle per server connection; zero-filled at creation (CsHandle handle{};).
struct CsHandle {
    char serverName[CS_SERVER_NAME_SIZE] = {};
    CsServerDef def;
    uint32_t clientFlags = 0;       // 0x08: offer only the two newest protocol levels
    int32_t clientType = 0;
    CsUserIdentity identity;
    CsYieldFn yield = nullptr;
    CsSystemParms* systemParms = nullptr;
    CsLogonRecord* logon = nullptr;
    CsHandle* secondary = nullptr;
    CsAtomic<CsHandle*> delegated;  // the handle the current call was routed to
    void* callbackContext = nullptr;
    CsMessageFn messageCallback = nullptr;
    void* owner = nullptr;
    char currentServerName[CS_SERVER_NAME_SIZE] = {};
    uint32_t serverSession = 0;
    unsigned char serverSessionBlock[64] = {};
    ArcIconvContext* iconv = nullptr;
    CsAtomic<uint32_t> nesting;                        // nested local calls
    char serverInfo[CS_SERVER_INFO_SIZE] = {};         // the server's host text for messages
    char serverMessage[CS_SERVER_MESSAGE_SIZE] = {};   // the server's (or an exit's) message text
    int32_t localCcsid = 0;        // code page of the handle's texts; 0: the process's
    uint32_t serverWords[2] = {};  // kept from the logon reply
};

// Copies a text into a fixed field: 0, or 6 when it does not fit (the field is then
// left empty). A null text is the empty text.
int CsSetText(char* field, size_t size, const char* text);

// ===========================================================================
// The call bracket (docs/bracket.md)
// ===========================================================================
//
// Every operation: rc = CsSessionEnter(handle); if rc: return rc; serve it (local
// kind) or send one request (CsServerRequest); return CsSessionLeave(handle, result).
// The flag words are atomic: CsInterrupt may run on any thread while a call runs.

// 0, or the result of the failed step (the matching leave has already run): 15 timed
// out, 1 interrupted, or the failure of opening the local server, the System Log
// definition or the stores (local handles, outermost call only).
int CsSessionEnter(CsHandle* handle);
// Stamps the logon's last activity, closes at the outermost leave of a local handle
// what enter opened, clears the interrupt bit. rc, or 1 when rc is 0 and an interrupt
// is pending.
int CsSessionLeave(CsHandle* handle, int rc);
// Calls the yield callback until it answers 0 (at most 64 calls in a row); then
// non-zero when an interrupt is pending.
int CsPollCancel(CsHandle* handle);
// Clears the interrupt bit unless a local handle is still nested.
void CsClearBusy(CsHandle* handle);
// The inactivity time-out of the logon, compared on 'Z' (UTC) seconds: 0, 1 (an
// interrupt is pending) or 15 (timed out; bit 0x02 stays set until logoff).
int CsCheckTimeout(CsHandle* handle);
int CsCheckTimeoutEntry(CsHandle* handle);
// Asks the running call of the handle (and of its delegated handle) to stop: sets the
// interrupt bit and wakes the transport or the local server. Any thread.
void CsInterrupt(CsHandle* handle);
// Finds the newest protocol level that the server accepts (QEL_QKTARN_SKIP_VERSION
// steers the probes). stopBefore2114 / stopBefore2207 non-zero leave those levels out.
// 0 (level bits of the flag words set), 16 none accepted, or a probe's failure. Only
// the level bits of the handle change.
int CsNegotiateLevel(CsHandle* handle, int stopBefore2114, int stopBefore2207);
// Enter, negotiate (levels 2219 to 2208), request 109; leave with the result.
int CsConnectServer(CsHandle* handle);

// ===========================================================================
// The request dispatcher (docs/dispatcher.md)
// ===========================================================================

#include "qel_csrequests.h"  // CsRequestCode: CS_REQ_LOGON, ... (the codes below by name)

struct ArcCOM_Funcs;  // qel_transport.h
struct CsXdrUserRecord;
struct CsXdrApplGroup;
struct CsXdrHitRow;
struct CsXdrApplEntry;
struct CsXdrNodeEntry;
struct CsXdrNodeInfo;
struct CsXdrValueItem;
struct CsXdrCriteria;
struct CsXdrIndexResult;
struct CsXdrSegment;
struct CsXdrObjectRef;
struct CsXdrFolder;
struct CsXdrStorageSet;
struct CsXdrSystemParms;
struct CsXdrPrintRequest;
struct CsXdrTextEntry;

// Library names, looked for in the transport directory.
inline constexpr const char* CS_TRANSPORT_NAME = "libqelscknt.so";
inline constexpr const char* CS_TRANSPORT_FALLBACK_NAME = "libqelsck32.so";

// Loads the transport for the definition: def->transportLibrary when remembered, else
// libqelscknt.so then libqelsck32.so in def->transportPath's directory, then in the
// install's lib/ directory. ArcCOM_GetFuncs must exist, slots 1-15 resolve and
// ArcCOM_Version() answer 5. 0 (table filled, library in slot 0) or 4.
int CsLoadTransport(CsServerDef* def, ArcCOM_Funcs* table);
// Frees the library of the table and clears it.
void CsUnloadTransport(ArcCOM_Funcs* table);

// Callbacks of requests.
// A list entry (a fresh allocation that decoding made): 0 the callback keeps it (and
// frees it with CsFreeReplyEntry), non-zero the dispatcher frees it.
using CsEntryFn = int (*)(void* context, void* entry);
// A hit row of a search; it stays the dispatcher's. 0 stops the rows (the request then
// ends with 0 after breaking off the server's answer), non-zero goes on.
using CsHitFn = int (*)(void* context, CsXdrHitRow* hit);
// Expanded document data (the bytes are the callback's only when it answers 0: then it
// frees them with free()); non-zero goes on.
using CsDataFnC = int (*)(void* context, char* buffer, uint32_t length);
// A piece of segment data as it arrived: its compression letter and position.
using CsSegmentFn = int (*)(void* context, int64_t position, char letter, const char* data,
                            uint32_t length);
// One step of the security token exchange: the server's token (none at the start) in,
// the next token out (owned by the callback until its next call) and done set when the
// handshake is complete. 0, or a failure (the request ends with 6).
using CsTokenFn = int (*)(CsHandle* handle, const unsigned char* token, uint32_t length,
                          const unsigned char** next, uint32_t* nextLength, int* done);
// The data a request streams to the server, one piece per call (context: the handle's
// callbackContext). The piece stays the callback's until its next call or the end of
// the request. 1: more pieces follow; 0: this is the last piece (it may be empty); any
// other answer fails the request (6).
using CsSourceFn = int (*)(void* context, const char** data, uint32_t* length);
// The next hit item of requests 92, 93, 97 and 104 (context: the handle's
// callbackContext; the out-values are cleared before each call): its application
// group (none: the group of the item before), its application entry (104 only), the
// hit row and a word. A null hit ends the items. 0, or a failure (the request ends with
// 6). The records stay the callback's.
using CsHitItemFn = int (*)(void* context, CsXdrApplGroup** group, CsXdrApplEntry** appl,
                            CsXdrHitRow** hit, uint32_t* word);

// Sends one numbered request on a remote handle and handles its replies. The arguments
// after the code, by code (CsRequestCode names in qel_csrequests.h; out-pointers may be
// null unless said otherwise; entry callbacks get handle->callbackContext):
//   LEVEL (0)  int32_t level
//   LOGON (3)  const char* userId, const char* password, CsXdrUserRecord* outUser
//   LOGOFF (4), DISCONNECT (5)  (none)
//   CHANGE_PASSWORD (8)  CsXdrUserRecord* user (in: its password field holds the old
//        password; out on success), const char* newPassword, int hasNewPassword,
//        uint32_t* outReason
//   GROUP_LIST (13)  const char* name, uint32_t number, uint32_t groupFilter,
//        const char* userFilter, CsEntryFn callback (CsXdrUserEntry*)
//   FOLDER_LIST (121), FOLDER_LIST_V1 (19)  const char* pattern, const char* selection1,
//        const char* selection2, int flags, uint32_t* outFinal, CsEntryFn callback
//        (CsXdrFolder*)
//   FOLDER_GROUPS (20)  uint32_t folderNumber, const char* folderName, CsXdrFolder** out
//   STORAGE_SET (53)  uint32_t storageSet, CsXdrStorageSet** out
//   STORE (96), STORE_V1 (54), STORE_2 (95)  CsXdrApplGroup*, CsXdrHitRow* block,
//        CsXdrNodeEntry* primary, CsXdrNodeEntry* secondary, CsXdrObjectRef* object
//        (in/out: letter 'N' becomes 'L' when the data travels compressed), int64_t value,
//        int flag1, int flag2, uint32_t word (value to word are sent by STORE only,
//        passed always), CsSourceFn (null: no data), CsXdrObjectRef* outObject (its name
//        is the caller's to free())
//   UPDATE_INDEX (56)  CsXdrApplGroup*, CsXdrHitRow* oldHit, CsXdrHitRow* newHit
//   ADD_INDEX_ROW (103), ADD_INDEX_ROW_V1 (57)  CsXdrApplGroup*, CsXdrHitRow* block,
//        CsXdrValueItem* rows (103), CsXdrIndexResult* inOutResult,
//        CsXdrSegment* inOutSegment, uint32_t* inOutWord
//   SEARCH (112), SEARCH_V2 (100), SEARCH_V1 (59)  CsXdrApplGroup*, const char* where,
//        CsXdrCriteria* range, int flags, CsXdrValueItem* noteFilter, int noteLetter,
//        CsXdrValueItem* textSearch, CsHitFn callback
//   DOC_DATA (101), DOC_DATA_V1 (60)  CsXdrApplGroup*, CsXdrHitRow*, CsXdrApplEntry*,
//        CsXdrNodeEntry*, CsXdrNodeInfo*, int flag0, int flag1, int flag2,
//        uint32_t bufferSize, CsDataFnC callback, void* context, uint8_t* outLocation,
//        uint8_t* outSecond
//   RESOURCES (62)  CsXdrApplGroup*, CsXdrNodeEntry*, int flags, CsXdrNodeInfo*,
//        uint32_t bufferSize, CsDataFnC callback, void* context
//   STORAGE_NODES (64)  uint32_t groupNumber, int nodeNumber, CsXdrNodeInfo** out
//   SYSTEM_PARMS (84)  CsXdrSystemParms** out
//   ADD_NOTE (67)  CsXdrApplGroup*, CsXdrHitRow*, CsXdrNote*, uint32_t outWords[2]
//   NOTES (69)  uint32_t groupNumber, CsXdrObjectRef*, uint32_t word, CsEntryFn callback
//        (CsXdrNote*; null: count only), uint8_t* outCount
//   NAMED_QUERIES (73)  uint32_t folderNumber, uint32_t userNumber, uint16_t count (as
//        int), CsXdrTextEntry* names, CsEntryFn callback (CsXdrNamedQuery*)
//   SEGMENTS (74)  uint16_t count (as int), uint32_t* numbers, CsEntryFn callback
//        (CsXdrSegment*)
//   PRINTERS (78)  CsEntryFn callback (CsXdrPrinter*)
//   LOAD_INFO (86)  uint32_t groupNumber, char* out, size_t outSize
//   STORE_OBJECT (87)  CsXdrApplGroup*, CsXdrNodeEntry* primary, CsXdrNodeEntry*
//        secondary, int location, CsXdrObjectRef* object (its name is sent; its letter
//        as for STORE), int flag, int64_t value, CsSourceFn, uint32_t* outWord
//   SEGMENT_DATA (88)  CsXdrApplGroup*, CsXdrNodeEntry* primary, CsXdrNodeEntry*
//        secondary, int location, const char* objectName, uint32_t word0, uint32_t word1,
//        CsSegmentFn callback, void* context
//   LOG_MESSAGE (91)  uint32_t messageNumber, int objectCount, CsXdrObjectRef* objects,
//        CsXdrObjectRef* object, int letter (of the data; 'N' may travel as 'L'),
//        uint32_t word, CsSourceFn
//   HIT_ITEMS (92), HIT_ITEMS_2 (97)  CsHitItemFn, int endByte
//   SERVER_PRINT (93)  CsXdrPrintRequest*, const char* text, int count,
//        CsXdrTextEntry* entries, CsHitItemFn, int endByte
//   PROCESS_HITS (104)  CsHitItemFn, CsXdrValueItem* closingValues, CsEntryFn callback
//        (one CsXdrValueItem* list per matching hit)
//   DOC_OBJECT (102)  CsXdrApplGroup*, CsXdrNodeEntry* primary, CsXdrNodeEntry*
//        secondary, int location, CsXdrHitRow*, const char* text, uint32_t word0,
//        uint32_t word1, uint8_t* outAnswer, uint32_t* outWord
//   SECURITY_TOKEN (108)  const char* userId, char* outUserId (CS_USER_ID_SIZE bytes),
//        CsTokenFn
//   CONNECT (109)  (none; the reply word becomes handle->serverSession)
// A server below the level that knows SEARCH, DOC_DATA, ADD_INDEX_ROW or FOLDER_LIST gets
// the older code with the same arguments.
// Data-sending codes (the stores, STORE_OBJECT, LOG_MESSAGE and the hit items) send their
// data in further messages and wait for the server's go-ahead after every
// send-window-th one.
// Results: 0; 1 cancelled; 2 transport failure; 3 transport failure with a code-page
// error, or code pages unavailable; 4 no usable transport library; 6 protocol failure
// (unknown or unsupported code, a reply to another code, a refused token, a source
// callback's failure, streamed data refused by the server); 7 a
// request already runs on the handle; 9 out of memory; else the server's result.
// The handle's serverMessage holds the server's text of the last reply.
int CsServerRequest(CsHandle* handle, int code, ...);
// Breaks off the running request of the handle (any thread): wakes the transport.
void CsCancelRequest(CsHandle* handle);
// True while the handle has a connection.
bool CsIsConnected(const CsHandle* handle);
// Drops the handle's connection (no request may run on it). 0.
int CsDropConnection(CsHandle* handle);
// The transport's host text of the connection ("host(ip):port") into
// handle->serverInfo: 0; 2 unconnected; 6 cut.
int CsGetServerInfo(CsHandle* handle);
// Frees an entry or reply record that a request of that code handed out. Null is ignored.
void CsFreeReplyEntry(int code, void* entry);

// Serialises updates of an application group's segment tables: lock non-zero locks,
// zero unlocks (only the owning thread; nested locks are counted). groupWide: the
// "System Log" group. 0; 6 for an unlock by a thread that does not own the slot.
int CsSessionLock(int lock, CsHandle* handle, int groupWide);
// Takes (lock non-zero) or releases one mutex. 0; 6 for a missing mutex.
int CsMutexStep(std::recursive_mutex* mutex, int lock);

// ===========================================================================
// Logon, logoff, users and the folder list (docs/logon.md)
// ===========================================================================
//
// Remote handles send one request (after negotiating the level for a logon); local
// handles check the user against the local server's tables. User ids and passwords are
// upper-cased (unless the system parameters make them case sensitive) in copies only;
// a user id or password longer than 20 bytes is refused with 13, never cut.

struct CsXdrUserEntry;
// The user record of a logon and of a password change (the wire record, qel_cswire.h).
using CsUserRecord = CsXdrUserRecord;
// A folder-list entry (qel_cswire.h). A local entry carries the folder's number, name,
// description and field count, and no fields or groups.
using CsFolderEntry = CsXdrFolder;

// One entry of the group list (allocated for the callback; CsFreeGroupList frees it).
struct CsGroupEntry {
    int32_t number = 0;
    int32_t owner = 0;  // the owning user's number; 0 from a remote server
    char name[CS_USER_ID_SIZE] = {};
    char description[121] = {};
};

// List callbacks: (handle->callbackContext, entry) -> 0 the callback keeps the entry
// (and frees it with CsFreeGroupList / CsFreeFolderList), non-zero: it is freed here.
using CsGroupFn = int (*)(void* context, CsGroupEntry* entry);
using CsFolderFn = int (*)(void* context, CsFolderEntry* entry);
// The local token exchange: the source hands over the client's next token (it stays the
// source's until its next call), the sink receives the answer (none at the start).
// 0 goes on; anything else ends the exchange with 6.
using CsTokenSourceFn = int (*)(void* context, const unsigned char** token, uint32_t* length);
using CsTokenSinkFn = int (*)(void* context, const unsigned char* token, uint32_t length);

// Logs on (user id and password may be null: empty). The user record (may be null)
// gets the user's row with the password field wiped. 0; 12 password expired (the logon
// is complete); 13 refused (unknown user, wrong password, over-long id or password, the
// security exit); 3 a password that does not convert; 9; the enter's, negotiation's,
// transport's or local server's failure. A failed local logon frees the handle's system
// parameters.
int CsLogon(CsHandle* handle, const char* userId, const char* password, CsUserRecord* user);
// Logs on as the process's user through the token exchange: 13 when the user name cannot
// be read or is longer than 20 bytes; else as CsIntegratedLogonExchange, then (with a
// user record) as CsLogon with the exchanged user id and an empty password.
int CsIntegratedLogon(CsHandle* handle, CsUserRecord* user);
// Runs an NTLM handshake (request 108 remotely; locally through the two callbacks, the
// local side playing the server). outUserId (CS_USER_ID_SIZE bytes, may be null) gets the
// user id, then the server's answer. 0; 6 a failed step or missing callbacks; 13 no NTLM
// mechanism, a server without the level, or a refused handshake.
int CsIntegratedLogonExchange(CsHandle* handle, const char* userId, char* outUserId,
                              CsTokenSourceFn serverStep, CsTokenSinkFn finish);
// Ends the logon (request 4; locally message 14, or 15 after a time-out) even when the
// handle timed out or idled; frees the logon record and (unless owned elsewhere) the
// system parameters, clears the timed-out bit. 0 or the failure.
int CsLogoff(CsHandle* handle);
// Closes the connection but keeps the logon (request 5, only while connected; nothing
// for a local handle). A timed-out handle stays timed out. 0 or the failure.
int CsDisconnect(CsHandle* handle);
// Changes a user's password (newPassword non-null) and attributes. The record's password
// field holds the old password; on success the record gets the stored row (password
// field wiped unless bit CS_F1_KEEP_PASSWORD). *reason: 1 a new password of a length
// outside the minimum..20, 2 refused by the security exit, else 0. 0; 13 refused; 3; the
// local server's failure (the stored row then stays as it was).
int CsChangePassword(CsHandle* handle, CsUserRecord* user, const char* newPassword,
                     uint32_t* reason);
// Lists groups: by name or number (none: all), only those with permissions on the
// application group applGroupFilter (0: any), only those userFilter (a user number or
// name; null: any) belongs to. A caller without user type 0x04 or 0x20 sees only its own
// groups and those it or they own. 0 at the end of the list; 9; the failing step's.
int CsGetUserGroups(CsHandle* handle, const char* name, uint32_t number, uint32_t applGroupFilter,
                    const char* userFilter, CsGroupFn callback);
void CsFreeUserList(CsXdrUserEntry* entry);
void CsFreeGroupList(CsGroupEntry* entry);

// Lists the folders the logged-on user may open (request 121, 19 on older levels). pattern:
// the folder names to list (LIKE, '%' or '*'; null or empty: all); the selection words go
// to a remote server as they are. *outCount (may be null): remotely the server's final
// word; locally the folders listed (flags 0x01 alone: only those of flag 0x100; 0x02
// alone: only those without it). 0 at the end of the list; 9; the failing step's.
int CsGetFolderList(CsHandle* handle, const char* pattern, const char* selection1,
                    const char* selection2, int flags, uint32_t* outCount, CsFolderFn callback);
void CsFreeFolderList(CsFolderEntry* entry);

// The logon record of a restored session (replacing one the handle has): 0 or 9.
int CsMakeLogonRecord(CsHandle* handle, uint32_t userNumber, const char* groupList,
                      uint16_t userType, int64_t lastActivity, int64_t timeOut);
// Frees the handle's logon record (nothing when it has none).
void CsFreeLogonRecord(CsHandle* handle);
// Frees the handle's system parameters unless they are owned elsewhere (CS_F1_EXTERNAL);
// the handle has none afterwards. For a handle that keeps its logon but leaves this
// process (after CsDisconnect).
void CsFreeSystemParms(CsHandle* handle);

// ===========================================================================
// Storage sets (the "folder" that request 53 returns)
// ===========================================================================

struct CsStorageNode {
    uint16_t number = 0;
    char name[62] = {};
    char description[122] = {};
    char logon[22] = {};
    char password[22] = {};
    char serverName[256] = {};
    uint32_t flags = 0;              // 0x01 served by the local server; 0x02-0x10 roles
    uint16_t secondary = 0;          // number of the node's secondary entry
    CsHandle* handle = nullptr;      // the serving handle; none for local entries
};

struct CsStorageSet {
    char name[62] = {};
    char description[122] = {};
    char type = 0;                                  // 'F' or 'L'
    std::vector<CsStorageNode> nodes;
    std::vector<std::unique_ptr<CsHandle>> handles; // the node handles this set owns
};

// ===========================================================================
// Numbered messages
// ===========================================================================

inline constexpr int CS_MSG_MAX_INSERTS = 9;
inline constexpr size_t CS_MSG_INSERT_SIZE = 28;  // a formatted insert: 27 characters

// One insert: 'S' points at the caller's text; any other letter carries its value
// formatted as text. 'V' is an empty slot.
struct CsMsgInsert {
    char type = 'V';
    const char* text = nullptr;
    char formatted[CS_MSG_INSERT_SIZE] = {};
    const char* Value() const { return type == 'S' ? (text ? text : "") : formatted; }
};

// A typed insert list for C++ callers (the C form is CsIssueMessageV's letters). Inserts
// after the ninth are dropped.
struct CsMessageArgs {
    int count = 0;
    CsMsgInsert inserts[CS_MSG_MAX_INSERTS];

    CsMessageArgs& S(const char* text);
    CsMessageArgs& I(int32_t value);
    CsMessageArgs& N(int16_t value);
    CsMessageArgs& B(int64_t value);
    CsMessageArgs& D(double value);
};

struct CsObjectRef;  // a stored object's reference, defined with the store operations
struct CsXdrNote;
struct CsXdrTextEntry;

// Issues message `row` (catalogue index) to the destinations its row names and the
// handle allows: the message callback or standard error, the System Log, the event log
// and the message exit program. reference, kind and word go with a System Log record;
// copyFlag stores it on a private copy of the System Log definition. Result: 0, or the
// first failing destination's result (6 when only the callback refused the text).
int CsIssueMessage(CsHandle* handle, int row, int count, const CsMsgInsert* inserts,
                   const CsObjectRef* reference, char kind, int32_t word, int copyFlag);

// The typed forms. The list after the row is pairs of a letter and a value, ended by
// 'V' or by the ninth insert: 'S' const char* (null: empty), 'I' int32_t, 'N' int
// (a 16-bit value), 'B' int64_t, 'D' double. Result: the issuer's, or 6 for any other
// letter (nothing is issued then).
int CsIssueMessageV(CsHandle* handle, int row, int firstType, ...);
int CsIssueMessageEx(CsHandle* handle, int row, const CsObjectRef* reference, char kind,
                     int32_t word, int firstType, ...);
int CsFormatMessageArgs(CsHandle* handle, int row, const CsObjectRef* reference, char kind,
                        int32_t word, int firstType, va_list args);
// Reads a letter list into an insert list: 0, or 6 for an unknown letter.
int CsMessageArgsFromList(CsMessageArgs* out, int firstType, va_list args);
// The C++ form.
int CsIssueMessageArgs(CsHandle* handle, int row, const CsMessageArgs& args);

// The System Log definition: the storage set of the "System Log" application group,
// the group's record as the folder layer read it, and the case letter of its user-id
// field ('U' upper, 'L' lower, other: as given).
struct CsSystemLogDef {
    std::shared_ptr<CsStorageSet> folder;
    std::shared_ptr<const void> group;
    char caseLetter = 0;
};
// The field list of the group, as far as the issuer needs it.
struct CsSystemLogField {
    char type = 0;
    char caseLetter = 0;
};

// Keeps a definition process-wide, replacing an earlier one (users of the earlier one
// keep their copy). 0; 6 when no field has type 'T' (nothing is kept). A call with no
// field list is a no-op once a definition is loaded (0), else 6.
int CsLoadSystemLogDef(std::shared_ptr<CsStorageSet> folder, std::shared_ptr<const void> group,
                       const std::vector<CsSystemLogField>* fields);
// The form the call bracket uses: no-op once loaded; else asks the folder layer
// (CsLayerHooks::getSystemLogFolder) and keeps what it answers. 11 from it counts as 0
// (no System Log); other failures are returned.
int CsLoadSystemLogDef(CsHandle* handle);
// Forgets the kept definition. 0.
int CsFreeSystemLogDef();
// The kept definition, or none.
std::shared_ptr<const CsSystemLogDef> CsGetSystemLogDef();
// A private copy of the kept storage set: every node handle duplicated (unconnected,
// bit CS_F1_SERVES_FOLDER cleared) and owned by the copy. None when nothing is kept or
// memory runs out.
std::unique_ptr<CsStorageSet> CsCopySystemLogDef();

// What a System Log record carries to the layer that stores or sends it.
struct CsSystemLogRecord {
    int row = 0;
    uint16_t number = 0;         // external number
    char severity = '4';
    uint32_t category = 0;
    uint32_t eventId = 0;
    bool hostText = false;       // the row asks for the server's host text
    std::string text;            // the formatted text
    std::vector<std::string> args;  // server, time, identity number, user id, identity text,
                                    // severity, number, text
    int count = 0;
    const CsMsgInsert* inserts = nullptr;
    const CsObjectRef* reference = nullptr;
    char kind = 0;
    int32_t word = 0;
};

// ===========================================================================
// Seams: operations that later layers of the request layer provide
// ===========================================================================

struct CsLayerHooks {
    // Reads the "System Log" group of a local server (CsGetSystemLogFolder): 0 with the
    // storage set, the group record and its fields; 11 when there is none; else a failure.
    std::function<int(CsHandle*, std::shared_ptr<CsStorageSet>*, std::shared_ptr<const void>*,
                      std::vector<CsSystemLogField>*)>
        getSystemLogFolder;
    // Stores a record as a document of the "System Log" group on a local handle.
    std::function<int(CsHandle*, CsStorageSet&, const CsSystemLogDef&, const CsSystemLogRecord&)>
        storeSystemLog;
    // Sends a record to a remote server's log (empty: the dispatcher's request 91).
    std::function<int(CsHandle*, const CsSystemLogRecord&)> logMessage;
    // Fetches the server's host text into handle->serverInfo (empty: CsGetServerInfo).
    std::function<int(CsHandle*)> getServerInfo;
};
// Replaces the hooks (an empty hook answers 6 unless said otherwise). Set at start-up,
// before the first call.
void CsSetLayerHooks(CsLayerHooks hooks);

// ===========================================================================
// Server definitions
// ===========================================================================

// Reads the "@SRV@_<name>" section of the server's configuration (registry layer,
// arc_install.h) into def. local: read as the local server (kind 1). 0; 6 for a bad
// kind, a bad port (present and not 1..65535), a host longer than 255 bytes, or a
// configuration that cannot be read with local set (message 126); 9 out of memory.
int CsParseServerDef(const char* serverName, int local, CsServerDef* def);
int CsReadServerDef(const char* serverName, int local, CsServerDef* def);
// The server resolver of folder opening: current when it equals wanted (exact), else
// wanted's definition is read into def as a remote one and the result is none.
const char* CsResolveServerDef(const char* current, const char* wanted, CsServerDef* def);

// ===========================================================================
// Temporary and print paths
// ===========================================================================

// The directory of element n (1-based; 0: the whole value) of a ';' list, with a '/'
// appended, into buffer. A null or empty value means TEMP, else TMP, else TMPDIR, else
// "/tmp/" (only elements 0 and 1 exist then). Returns buffer, or none when the element
// does not exist or does not fit (a directory is never cut).
char* CsGetDirFromEnv(char* buffer, size_t length, int element, const char* value);
// Element 1 of QEL_TMP; element n of QEL_PRINT_PATH.
char* CsGetTempDir(char* buffer, size_t length);
char* CsGetPrintDir(char* buffer, size_t length, int element);
// "QEL.<pid>.<thread>[.<first>][.<second>]" in the print directory (element n) or the
// temporary directory. The file is created empty with mode 0600 (a file or link already
// there is replaced, never followed). Returns buffer, or none when the directory does
// not exist, the name does not fit, a suffix holds a '/' or the file cannot be made.
char* CsMakeFileName(char* buffer, size_t length, int print, int element, const char* first,
                     const char* second);
char* CsTempFileName(char* buffer, size_t length, const char* first, const char* second);
char* CsPrintFileName(char* buffer, size_t length, int element, const char* first,
                      const char* second);

// ===========================================================================
// Object data
// ===========================================================================

// Receives one piece of object data; the piece is valid for the call only. The result
// of a consumer is not used; CsDataPipeRun answers 1 to go on and 0 once it failed.
using CsDataFn = int (*)(void* context, const unsigned char* data, size_t length);

// One fetch through the compression pipeline.
struct CsObjectStream;
struct CsObjectStreamDeleter {
    void operator()(CsObjectStream* stream) const;
};
using CsObjectStreamPtr = std::unique_ptr<CsObjectStream, CsObjectStreamDeleter>;

// The size of the output pieces: the caller's chunk size, 0 or above 131068 -> 131068.
inline constexpr size_t CS_DATA_CHUNK_MAX = 131068;

// Opens a stream from expandType to compressType that cuts the window (offset, length;
// both 0: everything) out of the expanded data and hands pieces of chunkSize bytes to
// callback(context, ...). 0, or the mapped pipeline state.
int CsDataPipeOpen(char expandType, char compressType, uint64_t windowOffset,
                   uint64_t windowLength, size_t chunkSize, CsDataFn callback, void* context,
                   CsObjectStreamPtr* stream);
// The data callback of a fetch: context is the stream. 1 go on, 0 the stream failed.
int CsDataPipeRun(void* stream, const unsigned char* data, size_t length);
// Ends the input, delivers what is left and frees the stream. The first failure of
// fetchResult, the stream's status and the end of the pipeline.
int CsDataPipeClose(CsObjectStreamPtr stream, int fetchResult);

// Fetches a stored object's bytes from its start and hands them, in order, to
// callback(handle->callbackContext, ...). Its result is the fetch's.
using CsFetchFn = std::function<int(CsHandle* handle, CsDataFn callback)>;

struct CsObjectRequest {
    CsFetchFn fetch;               // the object
    CsFetchFn fetchResources;      // conversion only: resources written first, or empty
    char expandType = 'N';         // how the object is stored
    char compressType = 'N';       // how the caller wants it
    uint64_t windowOffset = 0;     // window in the expanded (converted) data
    uint64_t windowLength = 0;
    size_t chunkSize = 0;
    bool convert = false;          // run the data through the conversion command
    std::string convertCommand;    // AFP2LINE_CMD: program and options
    uint8_t* stateByte = nullptr;  // set to 23 while the object streams
    CsDataFn callback = nullptr;
    void* context = nullptr;
};

// A plain fetch through the pipeline. While it runs the handle's callback context is
// the stream (restored afterwards). 0 or the first failure.
int CsReadObjectData(CsHandle* handle, const CsObjectRequest* request);
// A fetch through the conversion command: the object (and resources) expanded into a
// temporary file, the command run on it without a shell (its words, then the file name),
// and its output streamed to the caller. The temporary file is always deleted. 0; 6
// when the command is empty, cannot start or fails; 9; or the fetch's failure.
int CsConvertObjectData(CsHandle* handle, const CsObjectRequest* request);
// CsConvertObjectData when request->convert is set, else CsReadObjectData.
int CsFetchObjectData(CsHandle* handle, const CsObjectRequest* request);

// ===========================================================================
// Parameter text
// ===========================================================================
//
// Sections "[name]" and lines "key=value", every line ended by LF. Names and keys match
// exactly. Read functions take the text (null: no text) and answer pointers into it;
// editing functions work on a ParmText, which owns a growing buffer, and take offsets.
// Setters strip CR and LF from names, keys and values, '=' from keys and a leading open
// delimiter from keys, so that no value can add a key or a section. When memory runs
// out, setters leave the text as it was and allocating getters answer none.

struct ParmText {
    std::string text;
    const char* c_str() const { return text.c_str(); }
};

inline constexpr size_t PARM_NPOS = static_cast<size_t>(-1);

// Sets the three delimiters (open, close, and the character that stands for '@' in the
// reserved section names) for the code page ccsid: for an EBCDIC CCSID the code page
// 500 bytes 4A 5A 7C converted into it, else "[", "]", "@" (also when conversion fails).
// The three bytes are written to delimiters (may be null). 0.
int ParmSetDelimiters(ArcIconvContext* context, int32_t ccsid, char* delimiters);
// The current delimiters and reserved section names.
char ParmOpenDelimiter();
char ParmCloseDelimiter();
std::string ParmFixedSection();         // "@_FIXED_@"
std::string ParmPrintOptionsSection();  // "@_PRINT_OPTIONS_@"
std::string ParmPageIdSection();        // "@_PageIdentifier_@"

// The line after the section line "[name]", or none.
const char* ParmFindSection(const char* text, const char* name);
// The value after "key=" in the body, up to the next section line; or none.
const char* ParmFindKey(const char* body, const char* key);
// The next LF at or after p, or the terminating zero.
const char* ParmLineEnd(const char* p);
// A copy of the value up to its LF or the end of the text; none when missing.
std::optional<std::string> ParmGetString(const char* body, const char* key);

// Offsets in a ParmText: section body, key value (PARM_NPOS when missing).
size_t ParmFindSectionAt(const ParmText* text, const char* name);
size_t ParmFindKeyAt(const ParmText* text, size_t body, const char* key);

// Appends "[name]" (after an LF when the text lacks its last one); the new end.
size_t ParmAppendSection(ParmText* text, const char* name);
// Missing section: appended with the key line; missing key: the key line becomes the
// section's first line; present key: its value is replaced. A null value deletes the key.
void ParmSetValue(ParmText* text, const char* section, const char* key, const char* value);
// Inserts "key=value" + LF, or a line, at a line start; the offset after it.
size_t ParmInsertKey(ParmText* text, size_t position, const char* key, const char* value);
size_t ParmInsertLine(ParmText* text, size_t position, const char* line);
// Replaces the value that starts at valueStart, up to its LF.
void ParmReplaceValue(ParmText* text, size_t valueStart, const char* value);
// Deletes the whole line of the key whose value starts at valueStart.
void ParmDeleteKey(ParmText* text, size_t valueStart);
// Deletes the line that starts at lineStart; the number of bytes moved.
size_t ParmDeleteLine(ParmText* text, size_t lineStart);

// mode 1: ',' -> 0x01 (as view names are stored); mode 0: 0x01 -> ','.
void ParmEscapeViewName(const char* text, int mode, std::string* out);

// --- @_FIXED_@ (missing text, section or key: the default) ---
enum ParmCc { PARM_CC_NONE = 0, PARM_CC_ANSI = 1, PARM_CC_MACH = 2 };
enum ParmPr { PARM_PR_NONE = 0, PARM_PR_SOSI1 = 1, PARM_PR_SOSI2 = 2, PARM_PR_SOSI3 = 3 };
enum ParmRecfm { PARM_RECFM_F = 0, PARM_RECFM_V = 1, PARM_RECFM_D = 2 };
enum ParmPages { PARM_PAGES_ALL = 0, PARM_PAGES_CUR = 1, PARM_PAGES_SEL = 2 };

int ParmGetCc(const char* text);            // 0
int ParmGetTrc(const char* text);           // 0
int ParmGetPr(const char* text);            // 0
int ParmGetRecfm(const char* text);         // 2
int ParmGetCdpg(const char* text);          // 850
int ParmGetLnct(const char* text);          // 0
int ParmGetLrecl(const char* text);         // 1
std::string ParmGetRecDelim(const char* text);  // "0A"; at most 16 characters
double ParmGetPWidth(const char* text);     // 0
double ParmGetPLength(const char* text);    // 0
int ParmGetOrient(const char* text);        // 0, 90 -> 1, 180 -> 2, 270 -> 3
std::optional<std::string> ParmGetExtension(const char* text);  // at most 20
int ParmGetPages(const char* text);         // 0; unknown word 1
std::optional<std::string> ParmGetPrtOpt(const char* text);     // at most 1024
int ParmGetPageHdrRows(const char* text);
int ParmGetFldHdrRows(const char* text);
int ParmGetValRow(const char* text);
int ParmGetValCol(const char* text);
void ParmSetPageHdrRows(ParmText* text, int value);
void ParmSetFldHdrRows(ParmText* text, int value);
void ParmSetValRow(ParmText* text, int value);
void ParmSetValCol(ParmText* text, int value);
std::optional<std::string> ParmGetValValue(const char* text);   // at most 8
std::optional<std::string> ParmGetDefView(const char* text);    // at most 30, unescaped
std::optional<std::string> ParmGetSrvrNorla(const char* text);
std::optional<std::string> ParmGetAfp2LineCmd(const char* text);

// Field list FLD01, FLD02, ... ("a,b,name,text").
inline constexpr int PARM_MAX_FIELDS = 30;
struct ParmFieldDef {
    int32_t first = 0;
    int32_t second = 0;
    char name[19] = {};
    char text[21] = {};
};
// The number of consecutive keys FLD01, FLD02, ... present.
int ParmCountFields(const char* text);
// Reads up to 30 entries into fields (zero-filled first); the number read.
int ParmGetFields(const char* text, ParmFieldDef* fields);
// Replaces the field list by count entries (at most 30). 0; 1 refused (count outside
// 0..30, or a name holding ',').
int ParmSetFields(ParmText* text, const ParmFieldDef* fields, int count);

// Views: VIEWS lists the names separated by ',' (up to 20, each cut to 30).
inline constexpr int PARM_MAX_VIEWS = 20;
struct ParmViewList {
    int count = 0;
    char names[PARM_MAX_VIEWS][31] = {};
};
int ParmCountViews(const char* text);
std::unique_ptr<ParmViewList> ParmGetViews(const char* text);  // none without VIEWS

// --- a view's section ---
// view: the view's name as VIEWS lists it; its section is named with ',' escaped.
enum ParmColour {
    PARM_COLOUR_NONE = 0, PARM_COLOUR_WHITE = 1, PARM_COLOUR_BLACK = 2, PARM_COLOUR_RED = 3,
    PARM_COLOUR_BLUE = 4, PARM_COLOUR_GREEN = 5, PARM_COLOUR_YELLOW = 6, PARM_COLOUR_MAGENTA = 7,
    PARM_COLOUR_CYAN = 8, PARM_COLOUR_GREY = 9, PARM_COLOUR_DEFAULT = 10, PARM_COLOUR_BAR = 11,
};
int ParmGetBkCol(const char* text, const char* view);      // 1
int ParmGetHdCol(const char* text, const char* view);      // 10
int ParmGetSaCol(const char* text, const char* view);      // 6
int ParmGetImgColor(const char* text, const char* view);   // 2
int ParmGetImgInt(const char* text, const char* view);     // NORM 0, LITE 1, NONE 2
int ParmGetTxFid(const char* text, const char* view);      // LINE 0, WORD 1, CHAR 2, DRAFT 3, 240 4
int ParmGetGrayScale(const char* text, const char* view);  // SCALE 0, COLOR 1; unknown 1
int ParmGetOverstrike(const char* text, const char* view); // SEP 0, MERGE 1, FULL 2
int ParmGetContrast(const char* text, const char* view);   // 128
int ParmGetBright(const char* text, const char* view);     // 128
int ParmGetZoom(const char* text, const char* view);       // 100
int ParmGetCpyGrp(const char* text, const char* view);     // 1
int ParmGetLockHdr(const char* text, const char* view);    // 0
int ParmGetLockedFlds(const char* text, const char* view); // 0
// FLDDISPORD: up to 30 numbers into order, followed by -1 (31 slots); the count, or
// -1 (order untouched) when the key is missing.
int ParmGetFldDispOrd(const char* text, const char* view, int* order);

// --- @_PageIdentifier_@ ---
int ParmGetPageId(const char* text);  // 0

// --- @_PRINT_OPTIONS_@ ---
int ParmGetCopies(const char* text);  // 1; below 1 -> 1, 99 or more -> 99
void ParmSetCopies(ParmText* text, int copies);
// The fax-cover keys.
inline constexpr const char* PARM_FAX_KEYS[] = {"RAttn", "RCompany", "RFax", "SFrom", "SCompany",
                                                "SPhone", "SFax", "SCoverPage", "SSubject"};
// A fax-cover value (at most 1024 characters), none for a missing value or another key.
std::optional<std::string> ParmGetFaxText(const char* text, const char* key);
// 0; 1 for a key that is not a fax-cover key.
int ParmSetFaxText(ParmText* text, const char* key, const char* value);
// FROM_n and TO_n.
std::optional<std::string> ParmGetFrom(const char* text, int range);
std::optional<std::string> ParmGetTo(const char* text, int range);
void ParmSetFrom(ParmText* text, int range, const char* value);
void ParmSetTo(ParmText* text, int range, const char* value);
// PAGE_RANGE_BGN_n and PAGE_RANGE_END_n (0 when missing).
long ParmGetPageRangeBgn(const char* text, int range);
long ParmGetPageRangeEnd(const char* text, int range);
void ParmSetPageRangeBgn(ParmText* text, int range, long page);
void ParmSetPageRangeEnd(ParmText* text, int range, long page);
// Any other print option.
std::optional<std::string> ParmGetPrintOption(const char* text, const char* key);
void ParmSetPrintOption(ParmText* text, const char* key, const char* value);

// --- field rules ---
struct ParmFieldRule {
    char fieldName[101] = {};
    char leadingCharsToRemove[65] = {};
    char trailingCharsToRemove[65] = {};
    char stripChars[65] = {};
    char dateFormat[61] = {};
    char defaultValue[255] = {};
    int32_t divideBy = 1;  // missing or 0: 1
};
// The rule of the named section, or none when the section is missing.
std::unique_ptr<ParmFieldRule> ParmGetFieldRule(const char* text, const char* section);

// ===========================================================================
// User exits
// ===========================================================================

struct CsLibraryCloser {
    void operator()(ArcOSLibrary* library) const;
};
using CsExitLibrary = std::unique_ptr<ArcOSLibrary, CsLibraryCloser>;

// Loads the library and resolves the entry. 0; 6 when it does not load or lacks the
// entry (then nothing stays loaded; with issue set, message 138 is issued).
int CsLoadExit(CsHandle* handle, int issue, const char* path, const char* entryName,
               CsExitLibrary* library, void** entry);

// The security exit (function code and five texts, qel_exits.h); the exit may leave a
// text in handle->serverMessage. 0 accepted, 10 check the password, 12 expired, 13
// refused; 6 when the exit is missing (message 138) or answers anything else (139).
int CsCallSecurityExit(CsHandle* handle, int32_t function, const char* arg1, const char* arg2,
                       const char* arg3, const char* arg4, const char* arg5);

// One field of the document handed to the storage exit.
struct CsExitFieldInput {
    const void* definition = nullptr;  // the group's field definition
    char type = 0;
    uint8_t definitionFlags = 0;       // 0x40: the field is indexed
    unsigned char value[8] = {};       // by type: int32, int16, text pointer, int64, double
};
// The application group and the document being stored, as the storage exit sees them.
struct CsStorageExitInput {
    const char* groupName = nullptr;   // at most 12 characters
    void* exitContext = nullptr;       // the group's exit context
    std::span<const CsExitFieldInput> fields;
    uint32_t documentWords[3] = {};
    const void* document = nullptr;
};
// 0; 6 when the exit is missing or fails (139); 9 out of memory.
int CsCallStorageExit(CsHandle* handle, const CsStorageExitInput* input, int indexedOnly,
                      void* out1, void* out2);
// 0; 6 when the exit is missing or fails (139).
int CsCallSearchExit(CsHandle* handle, const void* group, const void* application,
                     void* textSearch, const char* jobFile, int32_t* answer);
int CsCallExtractExit(CsHandle* handle, const void* group, const void* application,
                      const char* pages, const char* jobFile, const char* outputFile);
