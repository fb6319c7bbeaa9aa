// qel_cshandle.h - the handle record of the request layer and what it needs beneath every
// other layer: result codes, flag words, the server definition, the logon and system
// parameter records, the storage set, and the issuing of numbered messages (with the
// System Log definition). The storage manager and the local file server build on this
// library alone; the request layer (qel_cs.h, which includes this header) sits above
// them all and lends the handle library its dispatcher (CsSetDispatcherRoads).
// Documents: docs/request-handle.md, docs/messages-issuing.md.
#pragma once

#include <atomic>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

struct ArcIconvContext;

// ===========================================================================
// Results
// ===========================================================================

enum CsReturnCode : int {
    CS_OK = 0,
    CS_CANCELLED = 1,
    CS_NOT_AVAILABLE = 2,  // not in this store, or a transport failure
    CS_TRANSPORT = 3,
    CS_TRANSPORT_LIBRARY = 4,
    CS_NO_DATA = 5,  // the cache layer's QELCFS_NO_DATA (SmMapResult)
    CS_FAILED = 6,
    CS_BUSY = 7,  // a request already runs on the handle
    CS_NO_MEMORY = 9,
    CS_UNAVAILABLE = 10,  // segments unavailable, or the security exit asks for the password check
    CS_NOT_FOUND = 11,    // nothing found, end of a list
    CS_PASSWORD_EXPIRED = 12,
    CS_NOT_AUTHORISED = 13,
    CS_READ_BACK_DIFFERS = 14,  // a table value would not read back as written (QelLocal_PutValues)
    CS_TIMED_OUT = 15,
    CS_LEVEL_NOT_SUPPORTED = 16,
};

// ===========================================================================
// The handle
// ===========================================================================

// Flag word 1.
inline constexpr uint32_t CS_F1_DISCONNECT = 0x00000001;  // drop the connection after the request
inline constexpr uint32_t CS_F1_TIMED_OUT = 0x00000002;
inline constexpr uint32_t CS_F1_INTERRUPT = 0x00000004;
inline constexpr uint32_t CS_F1_EXTERNAL =
    0x00000008;  // no time-out check, messages to no callback; a logon clears it
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
inline constexpr uint32_t CS_F1_HOST_TEXT = 0x00010000;  // fetch the server's host text for messages
inline constexpr uint32_t CS_F1_SECURITY_EXIT = 0x00020000;
inline constexpr uint32_t CS_F1_COM_DEBUG = 0x00040000;
inline constexpr uint32_t CS_F1_NO_COMPRESS_DATA = 0x00080000;
inline constexpr uint32_t CS_F1_LEVEL_2114 = 0x00100000;
inline constexpr uint32_t CS_F1_SRVR_DISCONNECT = 0x00200000;
inline constexpr uint32_t CS_F1_CANCEL_PENDING = 0x00400000;
inline constexpr uint32_t CS_F1_MESSAGES = 0x00800000;  // issue messages on this handle
inline constexpr uint32_t CS_F1_NO_GROUP_HANDLES = 0x01000000;
inline constexpr uint32_t CS_F1_SERVES_FOLDER = 0x02000000;
inline constexpr uint32_t CS_F1_SKIP_EVENT_LOG = 0x04000000;  // a logged message skips the event log
inline constexpr uint32_t CS_F1_KEEP_PASSWORD = 0x08000000;
inline constexpr uint32_t CS_F1_LEVEL_2207 = 0x10000000;
inline constexpr uint32_t CS_F1_INTEGRATED = 0x20000000;
inline constexpr uint32_t CS_F1_LEVEL_2208 = 0x40000000;  // also allows compression
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
    int64_t timeOut = 0;         // TIME_OUT, seconds
    uint32_t flags = 0;          // 0x01 user ids, 0x02 passwords case sensitive
    uint32_t systemLogMask = 0;  // categories stored in the System Log
    uint32_t exitMask = 0;       // categories passed to the message exit
    uint32_t reserved2 = 0;
};

// The handle's system parameters: owned (made by a logon, freed with the handle or by
// reset) or borrowed (someone else's, which must outlive the handle). A copy borrows
// what the copied pointer holds; a move takes ownership along.
class CsSystemParmsPtr {
public:
    CsSystemParmsPtr() = default;
    static CsSystemParmsPtr Own(std::unique_ptr<CsSystemParms> parms) noexcept {
        CsSystemParmsPtr ptr;
        ptr.parms_ = parms.release();
        ptr.owned_ = ptr.parms_ != nullptr;
        return ptr;
    }
    static CsSystemParmsPtr Borrow(CsSystemParms* parms) noexcept {
        CsSystemParmsPtr ptr;
        ptr.parms_ = parms;
        return ptr;
    }
    CsSystemParmsPtr(const CsSystemParmsPtr& other) noexcept : parms_(other.parms_) {}
    CsSystemParmsPtr(CsSystemParmsPtr&& other) noexcept
        : parms_(std::exchange(other.parms_, nullptr)), owned_(std::exchange(other.owned_, false)) {}
    CsSystemParmsPtr& operator=(const CsSystemParmsPtr&) = delete;
    CsSystemParmsPtr& operator=(CsSystemParmsPtr&& other) noexcept {
        if (this != &other) {
            reset();
            parms_ = std::exchange(other.parms_, nullptr);
            owned_ = std::exchange(other.owned_, false);
        }
        return *this;
    }
    ~CsSystemParmsPtr() { reset(); }

    // Frees owned parameters, lets go of borrowed ones; none afterwards.
    void reset() noexcept {
        if (owned_) delete parms_;
        parms_ = nullptr;
        owned_ = false;
    }
    CsSystemParms* get() const noexcept { return parms_; }
    bool owns() const noexcept { return owned_; }
    CsSystemParms* operator->() const noexcept { return parms_; }
    CsSystemParms& operator*() const noexcept { return *parms_; }
    explicit operator bool() const noexcept { return parms_ != nullptr; }
    friend bool operator==(const CsSystemParmsPtr& ptr, std::nullptr_t) noexcept {
        return ptr.parms_ == nullptr;
    }

private:
    CsSystemParms* parms_ = nullptr;
    bool owned_ = false;
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
// stream); defined inside the request layer, which frees it through the routine it
// stores beside it.
struct CsConnection;
using CsConnectionFree = void (*)(CsConnection* connection);

// Connection state that the dispatcher owns. A copied handle never shares a
// connection: the copy starts unconnected. The request mutex lives as long as the
// handle (a cancel from another thread may take it at any time).
struct CsRequestState {
    CsAtomic<uint32_t> running;                 // a request runs on the handle
    CsConnection* connection = nullptr;         // null while unconnected; guarded by mutex
    CsConnectionFree freeConnection = nullptr;  // how connection is freed; set with it
    std::recursive_mutex mutex;                 // the RequestMutex

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
    char host[CS_HOST_SIZE] = {};  // remote: host name or address
    std::string instance;          // local: the instance name, when it is not "ARCHIVE"
    CsRequestState request;
    uint16_t port = 0;           // remote
    std::string profile;         // local: the server's configuration image
    uint16_t transportKind = 0;  // local: 2 or 4
    uint16_t instancePort = 0;   // local
    // Remote: CONNECT_TIMEOUT and IDLE_TIMEOUT in seconds (0: the transport's default).
    uint32_t connectTimeout = 0;
    uint32_t idleTimeout = 0;
    // Remote: REPLY_LIMIT_MB in bytes, what decoding one reply message may allocate
    // (0: the codec's default, CS_XDR_DECODE_LIMIT).
    uint64_t replyLimit = 0;
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
    std::string groupList;  // "IN (n,m,...)" of a local logon
    uint16_t userType = 0;
    int64_t lastActivity = 0;  // stamped by every leave
    int64_t timeOut = 0;       // per-logon time-out in seconds; 0: TIME_OUT; negative: none
};
struct CsHandle;

using CsYieldFn = int (*)();
// The message callback: (callback context, text) -> 0; non-zero counts as a failure.
using CsMessageFn = int (*)(void* context, const char* text);

// The volume-request callback of a connection: asked to mount a volume.
// kind 0 (a volume directory): text1 the label's text before its first '.';
// kind 1 (a short directory, such as "/"): text1 the volume number, text2 the
// label's first part, directory the directory. Greater than 0 refuses.
using CsVolumeRequestFn = int (*)(int kind, const char* text1, const char* text2, const char* directory,
                                  int flags);

// The connection's volume: the label of the mounted volume (cache roots end in it; the
// local server sets the one it reads at set-up) and the callback asked to mount
// another. A copied handle is another connection: its record starts empty.
struct CsVolumeRecord {
    CsVolumeRequestFn request = nullptr;
    std::string label;  // empty: the connection has no volume label

    CsVolumeRecord() = default;
    CsVolumeRecord(const CsVolumeRecord&) noexcept {}
    CsVolumeRecord& operator=(const CsVolumeRecord&) = delete;
};

// What a layer beneath the request layer keeps for a handle beside its record (the
// storage layer's record of open stores derives from it).
class CsHandleSide {
public:
    CsHandleSide() = default;
    CsHandleSide(const CsHandleSide&) = delete;
    CsHandleSide& operator=(const CsHandleSide&) = delete;
    virtual ~CsHandleSide();
};

// The handle's slot for its side: owns it; a copied handle starts without one.
class CsHandleSideSlot {
public:
    CsHandleSideSlot() = default;
    CsHandleSideSlot(const CsHandleSideSlot&) noexcept {}
    CsHandleSideSlot& operator=(const CsHandleSideSlot&) = delete;

    CsHandleSide* get() const noexcept { return side_.get(); }
    // Stores side (null empties the slot) and hands back the one it held.
    std::unique_ptr<CsHandleSide> exchange(std::unique_ptr<CsHandleSide> side) noexcept {
        side_.swap(side);
        return side;
    }

private:
    std::unique_ptr<CsHandleSide> side_;
};

// One handle per server connection; zero-filled at creation (CsHandle handle{};).
struct CsHandle {
    char serverName[CS_SERVER_NAME_SIZE] = {};
    CsServerDef def;
    uint32_t clientFlags = 0;  // 0x08: offer only the two newest protocol levels
    int32_t clientType = 0;
    CsUserIdentity identity;
    CsYieldFn yield = nullptr;
    CsSystemParmsPtr systemParms;
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
    CsAtomic<uint32_t> nesting;                       // nested local calls
    char serverInfo[CS_SERVER_INFO_SIZE] = {};        // the server's host text for messages
    char serverMessage[CS_SERVER_MESSAGE_SIZE] = {};  // the server's (or an exit's) message text
    int32_t localCcsid = 0;                           // code page of the handle's texts; 0: the process's
    uint32_t serverWords[2] = {};                     // kept from the logon reply
    CsVolumeRecord volume;                            // the connection's volume (local server, node store)
    CsHandleSideSlot side;                            // what the storage layer keeps for the handle
};

// Copies a text into a fixed field: CS_OK, or CS_FAILED when it does not fit (the field
// is then left empty). A null text is the empty text.
int CsSetText(char* field, size_t size, const char* text);
// True while the handle has a connection.
bool CsIsConnected(const CsHandle* handle);

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
    uint32_t flags = 0;          // 0x01 served by the local server; 0x02-0x10 roles
    uint16_t secondary = 0;      // number of the node's secondary entry
    CsHandle* handle = nullptr;  // the serving handle; none for local entries
};

struct CsStorageSet {
    char name[62] = {};
    char description[122] = {};
    char type = 0;  // 'F' or 'L'
    std::vector<CsStorageNode> nodes;
    std::vector<std::unique_ptr<CsHandle>> handles;  // the node handles this set owns
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
// copyFlag stores it on a private copy of the System Log definition. CS_OK, or the
// first failing destination's result (CS_FAILED when only the callback refused the text).
int CsIssueMessage(CsHandle* handle, int row, int count, const CsMsgInsert* inserts,
                   const CsObjectRef* reference, char kind, int32_t word, int copyFlag);

// A message's document data, handed out in pieces: each call sets *data and *length to
// the next piece; a piece of length 0 ends the data. The issuer reads it only when it
// stores the message in a local System Log, where it becomes the record's document.
using CsMessageData = std::function<void(const unsigned char** data, size_t* length)>;

// Reads message data whole: the pieces up to the first empty one.
std::string CsReadMessageData(const CsMessageData& data);

// CsIssueMessage with document data (null or empty: none).
int CsIssueMessage(CsHandle* handle, int row, int count, const CsMsgInsert* inserts,
                   const CsObjectRef* reference, char kind, int32_t word, const CsMessageData* data,
                   int copyFlag);

// The typed forms. The list after the row is pairs of a letter and a value, ended by
// 'V' or by the ninth insert: 'S' const char* (null: empty), 'I' int32_t, 'N' int
// (a 16-bit value), 'B' int64_t, 'D' double. Result: the issuer's, or CS_FAILED for any
// other letter (nothing is issued then).
int CsIssueMessageV(CsHandle* handle, int row, int firstType, ...);
int CsIssueMessageEx(CsHandle* handle, int row, const CsObjectRef* reference, char kind, int32_t word,
                     int firstType, ...);
int CsFormatMessageArgs(CsHandle* handle, int row, const CsObjectRef* reference, char kind, int32_t word,
                        int firstType, va_list args);
// Reads a letter list into an insert list: CS_OK, or CS_FAILED for an unknown letter.
int CsMessageArgsFromList(CsMessageArgs* out, int firstType, va_list args);
// The C++ form.
int CsIssueMessageArgs(CsHandle* handle, int row, const CsMessageArgs& args);
// The C++ form with a kind letter and document data (no document reference).
int CsIssueMessageArgs(CsHandle* handle, int row, const CsMessageArgs& args, char kind,
                       const CsMessageData& data);

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
// keep their copy). CS_OK; CS_FAILED when no field has type 'T' (nothing is kept);
// CS_NO_MEMORY. A call with no field list is a no-op once a definition is loaded
// (CS_OK), else CS_FAILED.
int CsLoadSystemLogDef(std::shared_ptr<CsStorageSet> folder, std::shared_ptr<const void> group,
                       const std::vector<CsSystemLogField>* fields);
// The form the call bracket uses: no-op once loaded; else asks the folder layer
// (CsLayerHooks::getSystemLogFolder, else the request layer's road of that name) and
// keeps what it answers. CS_NOT_FOUND from it
// counts as CS_OK (no System Log); other failures are returned.
int CsLoadSystemLogDef(CsHandle* handle);
// Forgets the kept definition. CS_OK.
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
    uint16_t number = 0;  // external number
    char severity = '4';
    uint32_t category = 0;
    uint32_t eventId = 0;
    bool hostText = false;          // the row asks for the server's host text
    std::string text;               // the formatted text
    std::vector<std::string> args;  // server, time, identity number, user id, identity text,
                                    // severity, number, text
    int count = 0;
    const CsMsgInsert* inserts = nullptr;
    const CsObjectRef* reference = nullptr;
    char kind = 0;
    int32_t word = 0;
    const CsMessageData* data = nullptr;  // the record's document, or none
};

// ===========================================================================
// Seams: what the layers above lend message issuing
// ===========================================================================

struct CsLayerHooks {
    // Reads the "System Log" group of a local server (CsGetSystemLogFolder): CS_OK with
    // the storage set, the group record and its fields; CS_NOT_FOUND when there is none;
    // else a failure.
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

// Replaces the hooks that message issuing and CsLoadSystemLogDef(handle) call. Callers
// set them with CsSetLayerHooks (qel_cs.h), which also lends the dispatcher's roads.
void CsSetIssueHooks(CsLayerHooks hooks);

// The request layer's roads, taken where the hook is empty. The request layer lends them
// (once, from CsSetLayerHooks, the call bracket, server definitions and every
// connection); without them a remote System Log answers CS_FAILED, no host text is
// fetched, no local System Log is loaded and a local store answers CS_FAILED.
struct CsDispatcherRoads {
    // Sends a System Log record to the server's log as request 91.
    int (*logMessage)(CsHandle* handle, const CsSystemLogRecord& record) = nullptr;
    // The transport's host text into handle->serverInfo (CsGetServerInfo).
    int (*getServerInfo)(CsHandle* handle) = nullptr;
    // The local server's System Log, taken where the hook of the same name is empty: the
    // "System Log" group of the local archive, and the store of a record as its row.
    int (*getSystemLogFolder)(CsHandle* handle, std::shared_ptr<CsStorageSet>* folder,
                              std::shared_ptr<const void>* group,
                              std::vector<CsSystemLogField>* fields) = nullptr;
    int (*storeSystemLog)(CsHandle* handle, CsStorageSet& set, const CsSystemLogDef& def,
                          const CsSystemLogRecord& record) = nullptr;
};
void CsSetDispatcherRoads(CsDispatcherRoads roads);
