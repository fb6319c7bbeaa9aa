// qel_cs.h - the request layer: the call bracket, the dispatcher, logon, server
// definitions, temporary and print paths, object data streams and user exits. The handle
// record, result codes and message issuing are the handle library's (qel_cshandle.h,
// included here).
//
// Every operation takes a CsHandle first and answers a CsReturnCode. Documents:
// docs/request-handle.md (layer hooks), docs/messages-issuing.md,
// docs/exits.md, docs/request-paths.md.
#pragma once

#include <atomic>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "qel_cshandle.h"

struct ArcIconvContext;
struct ArcOSLibrary;
struct QelExitObjectQuery;

// A compression pipeline state (arc_compress.h) as a result: 0 becomes CS_OK,
// ARCCMP_NO_MEMORY CS_NO_MEMORY, anything else CS_FAILED.
int CsMapStatus(int pipelineStatus);

// ===========================================================================
// The call bracket (docs/bracket.md)
// ===========================================================================
//
// Every operation: rc = CsSessionEnter(handle); if rc: return rc; serve it (local
// kind) or send one request (CsServerRequest); return CsSessionLeave(handle, result).
// The flag words are atomic: CsInterrupt may run on any thread while a call runs.

// CS_OK, or the result of the failed step (the matching leave has already run):
// CS_TIMED_OUT, CS_CANCELLED when interrupted, or the failure of opening the local
// server, the System Log definition or the stores (local handles, outermost call only).
int CsSessionEnter(CsHandle* handle);
// Stamps the logon's last activity, closes at the outermost leave of a local handle
// what enter opened, clears the interrupt bit. rc, or CS_CANCELLED when rc is CS_OK and
// an interrupt is pending.
int CsSessionLeave(CsHandle* handle, int rc);
// Calls the yield callback until it answers 0 (at most 64 calls in a row); then
// non-zero when an interrupt is pending.
int CsPollCancel(CsHandle* handle);
// Clears the interrupt bit unless a local handle is still nested.
void CsClearBusy(CsHandle* handle);
// The inactivity time-out of the logon, compared on 'Z' (UTC) seconds: CS_OK,
// CS_CANCELLED (an interrupt is pending) or CS_TIMED_OUT (bit 0x02 stays set until logoff).
int CsCheckTimeout(CsHandle* handle);
int CsCheckTimeoutEntry(CsHandle* handle);
// Asks the running call of the handle (and of its delegated handle) to stop: sets the
// interrupt bit and wakes the transport or the local server. Any thread.
void CsInterrupt(CsHandle* handle);
// Finds the newest protocol level that the server accepts (QEL_QKTARN_SKIP_VERSION
// steers the probes). stopBefore2114 / stopBefore2207 non-zero leave those levels out.
// CS_OK (level bits of the flag words set), CS_LEVEL_NOT_SUPPORTED when none is
// accepted, or a probe's failure. Only the level bits of the handle change.
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
// ArcCOM_Version() answer 5. CS_OK (table filled, library in slot 0) or
// CS_TRANSPORT_LIBRARY.
int CsLoadTransport(CsServerDef* def, ArcCOM_Funcs* table);
// Frees the library of the table and clears it.
void CsUnloadTransport(ArcCOM_Funcs* table);

// Callbacks of requests.
// A list entry (a fresh allocation that decoding made): 0 the callback keeps it (and
// frees it with CsFreeReplyEntry), non-zero the dispatcher frees it.
using CsEntryFn = int (*)(void* context, void* entry);
// A hit row of a search; it stays the dispatcher's. 0 stops the rows (the request then
// ends with CS_OK after breaking off the server's answer), non-zero goes on.
using CsHitFn = int (*)(void* context, CsXdrHitRow* hit);
// Expanded document data (the bytes are the callback's only when it answers 0: then it
// frees them with free()); non-zero goes on.
using CsDataFnC = int (*)(void* context, char* buffer, uint32_t length);
// A piece of segment data as it arrived: its compression letter and position.
using CsSegmentFn = int (*)(void* context, int64_t position, char letter, const char* data, uint32_t length);
// One step of the security token exchange: the server's token (none at the start) in,
// the next token out (owned by the callback until its next call) and done set when the
// handshake is complete. 0, or a failure (the request ends with CS_FAILED).
using CsTokenFn = int (*)(CsHandle* handle, const unsigned char* token, uint32_t length,
                          const unsigned char** next, uint32_t* nextLength, int* done);
// The data a request streams to the server, one piece per call (context: the handle's
// callbackContext). The piece stays the callback's until its next call or the end of
// the request. 1: more pieces follow; 0: this is the last piece (it may be empty); any
// other answer fails the request (CS_FAILED).
using CsSourceFn = int (*)(void* context, const char** data, uint32_t* length);
// The next hit item of requests 92, 93, 97 and 104 (context: the handle's
// callbackContext; the out-values are cleared before each call): its application
// group (none: the group of the item before), its application entry (104 only), the
// hit row and a word. A null hit ends the items. 0, or a failure (the request ends with
// CS_FAILED). The records stay the callback's.
using CsHitItemFn = int (*)(void* context, CsXdrApplGroup** group, CsXdrApplEntry** appl, CsXdrHitRow** hit,
                            uint32_t* word);

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
// Results: CS_OK; CS_CANCELLED; CS_NOT_AVAILABLE on a transport failure; CS_TRANSPORT on
// a transport failure with a code-page error, or when code pages are unavailable;
// CS_TRANSPORT_LIBRARY without a usable transport library; CS_FAILED on a protocol
// failure (unknown or unsupported code, a reply to another code, a reply past its bound
// of REPLY_LIMIT_MB, a refused token, a source callback's failure, streamed data refused
// by the server); CS_BUSY when a
// request already runs on the handle; CS_NO_MEMORY; else the server's result.
// The handle's serverMessage holds the server's text of the last reply.
int CsServerRequest(CsHandle* handle, int code, ...);
// Breaks off the running request of the handle (any thread): wakes the transport.
void CsCancelRequest(CsHandle* handle);
// Drops the handle's connection (no request may run on it). CS_OK.
int CsDropConnection(CsHandle* handle);
// The transport's host text of the connection ("host(ip):port") into
// handle->serverInfo: CS_OK; CS_NOT_AVAILABLE when unconnected or the transport fails;
// CS_FAILED when cut.
int CsGetServerInfo(CsHandle* handle);
// Frees an entry or reply record that a request of that code handed out. Null is ignored.
void CsFreeReplyEntry(int code, void* entry);

// Serialises updates of an application group's segment tables: lock non-zero locks,
// zero unlocks (only the owning thread; nested locks are counted). groupWide: the
// "System Log" group. CS_OK; CS_FAILED when a thread unlocks a slot it does not own.
int CsSessionLock(int lock, CsHandle* handle, int groupWide);
// Takes (lock non-zero) or releases one mutex. CS_OK; CS_FAILED for a missing mutex.
int CsMutexStep(std::recursive_mutex* mutex, int lock);

// ===========================================================================
// Logon, logoff, users and the folder list (docs/logon.md)
// ===========================================================================
//
// Remote handles send one request (after negotiating the level for a logon); local
// handles check the user against the local server's tables. User ids and passwords are
// upper-cased (unless the system parameters make them case sensitive) in copies only; a
// user id or password longer than 20 bytes is refused with CS_NOT_AUTHORISED, never cut.

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
// 0 goes on; anything else ends the exchange with CS_FAILED.
using CsTokenSourceFn = int (*)(void* context, const unsigned char** token, uint32_t* length);
using CsTokenSinkFn = int (*)(void* context, const unsigned char* token, uint32_t length);

// Logs on (user id and password may be null: empty). The user record (may be null)
// gets the user's row with the password field wiped. CS_OK; CS_PASSWORD_EXPIRED (the
// logon is complete); CS_NOT_AUTHORISED when refused (unknown user, wrong password,
// over-long id or password, the security exit); CS_TRANSPORT for a password that does
// not convert; CS_NO_MEMORY; the enter's, negotiation's, transport's or local server's
// failure. A failed local logon frees the handle's system parameters.
int CsLogon(CsHandle* handle, const char* userId, const char* password, CsUserRecord* user);
// Logs on as the process's user through the token exchange: CS_NOT_AUTHORISED when the
// user name cannot be read or is longer than 20 bytes; else as CsIntegratedLogonExchange,
// then (with a user record) as CsLogon with the exchanged user id and an empty password.
int CsIntegratedLogon(CsHandle* handle, CsUserRecord* user);
// Runs an NTLM handshake (request 108 remotely; locally through the two callbacks, the
// local side playing the server). outUserId (CS_USER_ID_SIZE bytes, may be null) gets the
// user id, then the server's answer. CS_OK; CS_FAILED for a failed step or missing
// callbacks; CS_NOT_AUTHORISED for no NTLM mechanism, a server without the level, or a
// refused handshake.
int CsIntegratedLogonExchange(CsHandle* handle, const char* userId, char* outUserId,
                              CsTokenSourceFn serverStep, CsTokenSinkFn finish);
// Ends the logon (request 4; locally message 14, or 15 after a time-out) even when the
// handle timed out or idled; frees the logon record and (unless owned elsewhere) the
// system parameters, clears the timed-out bit. CS_OK or the failure.
int CsLogoff(CsHandle* handle);
// Closes the connection but keeps the logon (request 5, only while connected; nothing
// for a local handle). A timed-out handle stays timed out. CS_OK or the failure.
int CsDisconnect(CsHandle* handle);
// Changes a user's password (newPassword non-null) and attributes. The record's password
// field holds the old password; on success the record gets the stored row, but never its
// hash: the password field keeps the caller's text with bit CS_F1_KEEP_PASSWORD, else it
// is wiped. A new password is stored as a SHA-512 crypt hash. *reason: 1 a new password
// of a length outside the minimum..20, 2 refused by the security exit, else 0. CS_OK;
// CS_NOT_AUTHORISED when refused; CS_TRANSPORT; the local server's failure (the stored
// row then stays as it was).
int CsChangePassword(CsHandle* handle, CsUserRecord* user, const char* newPassword, uint32_t* reason);
// Lists groups: by name or number (none: all), only those with permissions on the
// application group applGroupFilter (0: any), only those userFilter (a user number or
// name; null: any) belongs to. A caller without user type 0x04 or 0x20 sees only its own
// groups and those it or they own. CS_OK at the end of the list; CS_NO_MEMORY; the
// failing step's.
int CsGetUserGroups(CsHandle* handle, const char* name, uint32_t number, uint32_t applGroupFilter,
                    const char* userFilter, CsGroupFn callback);
void CsFreeUserList(CsXdrUserEntry* entry);
void CsFreeGroupList(CsGroupEntry* entry);

// Lists the folders the logged-on user may open (request 121, 19 on older levels). pattern:
// the folder names to list (LIKE, '%' or '*'; null or empty: all); the selection words go
// to a remote server as they are. *outCount (may be null): remotely the server's final
// word; locally the folders listed (flags 0x01 alone: only those of flag 0x100; 0x02
// alone: only those without it). CS_OK at the end of the list; CS_NO_MEMORY; the
// failing step's.
int CsGetFolderList(CsHandle* handle, const char* pattern, const char* selection1, const char* selection2,
                    int flags, uint32_t* outCount, CsFolderFn callback);
void CsFreeFolderList(CsFolderEntry* entry);

// The logon record of a restored session (replacing one the handle has): CS_OK or
// CS_NO_MEMORY.
int CsMakeLogonRecord(CsHandle* handle, uint32_t userNumber, const char* groupList, uint16_t userType,
                      int64_t lastActivity, int64_t timeOut);
// Frees the handle's logon record (nothing when it has none).
void CsFreeLogonRecord(CsHandle* handle);
// Lets go of the handle's system parameters (freeing them when the handle owns them);
// the handle has none afterwards. For a handle that keeps its logon but leaves this
// process (after CsDisconnect).
void CsFreeSystemParms(CsHandle* handle);

// ===========================================================================
// Folders, storage sets and routing (docs/routing.md)
// ===========================================================================

// Opens a folder's definition (request 20): its fields and the application groups the
// user may see, each with its applications. The folder is chosen by number, or by name
// when the number is 0. Locally a group whose folder holds two or more of its
// applications gets group->restriction, the search restriction to those applications
// ("<field> IN ( 'A' , 'B' )", after the user's own query restriction and " AND ").
// *out (freed with CsFreeFolderList) only on CS_OK. CS_OK; CS_NOT_AUTHORISED when
// the user may not open the folder; CS_FAILED for an unknown local folder, a text that
// does not fit its field, or a group with several applications but no application-id
// field (or an id that its type cannot hold); CS_NO_MEMORY; the enter's, transport's,
// server's or local server's failure.
int CsOpenFolderGroups(CsHandle* handle, uint32_t folderNumber, const char* folderName, CsXdrFolder** out);
// Free an application group or an application entry that a folder reply handed out on
// its own (their contents through the codec, then the record). Null is ignored.
void CsFreeReplyA(CsXdrApplGroup* group);
void CsFreeReplyB(CsXdrApplEntry* entry);

// The server resolver of CsOpenStorageSet: (the caller's server name, the server of a
// storage node, the definition of the node's new handle) -> `current` when the node's
// server is the caller's own, else none after reading the node server's definition
// into def. CsResolveServerDef is the system's.
using CsServerResolverFn = const char* (*)(const char* current, const char* wanted, CsServerDef* def);

// Opens storage set `number` (request 53, or the local storage-set tables): *out
// (freed with CsFreeStorageSet) only on CS_OK. After a remote open, unless flag word 1
// has CS_F1_NO_GROUP_HANDLES, every node that the local server does not serve gets a
// serving handle: the caller's own when the resolver says the node's server is the
// caller's (the caller then gets CS_F1_SERVES_FOLDER), else one new handle per server
// (names compared ignoring case) that borrows the caller's logon record and system
// parameters. CS_OK; CS_FAILED for an unknown local set, a text that does not fit its
// field, or a null resolver that a remote node needs; CS_NO_MEMORY; the enter's,
// transport's or server's failure (CS_NOT_FOUND from a server for an unknown set).
int CsOpenStorageSet(CsHandle* handle, uint32_t number, CsServerResolverFn resolver, CsStorageSet** out);
// Drops the connection of each handle the set made (once each, however many nodes it
// serves) and frees them with the set; the caller's handle and its logon stay. Null is
// ignored.
void CsFreeStorageSet(CsStorageSet* set);

// Segments of an application group, in the order of the group's segment list.
// (qel_cswire.h defines the records.)
struct CsSegmentList {
    CsSegmentList();
    ~CsSegmentList();
    CsSegmentList(const CsSegmentList&) = delete;
    CsSegmentList& operator=(const CsSegmentList&) = delete;
    std::vector<CsXdrSegment> segments;  // status 0x01 available, 0x02 not for update
};
// Mode bits of CsGetSegments.
inline constexpr uint32_t CS_SEGMENTS_UNDATED = 0x01;  // only segments without dates

// Reads a group's segments from the local server's tables: those whose dates meet the
// range (none: every dated segment), optionally only the one named (ignoring case).
// The range's two values are read by the type of the group's segment-date field ('N'
// 16-bit, 'I' 32-bit, else 64-bit). *out (freed with CsFreeSegmentList) only on CS_OK;
// an empty list when no segment meets the range. CS_OK; CS_FAILED for a remote handle,
// a group without a segment-date field when a range is given, a segment name that does
// not fit the segment record; CS_NO_MEMORY; the local server's failure.
int CsGetSegments(CsHandle* handle, uint32_t groupNumber, const char* segmentName, uint32_t mode,
                  const CsXdrCriteria* range, CsSegmentList** out);
void CsFreeSegmentList(CsSegmentList* list);

// Picks the node entries of a request from a storage set. For a store (forStore
// non-zero), the first entry with role 0x02 and 0x04 or 0x10: in a set of type 'F'
// the first such; in type 'L' the first such served by a local handle, else one whose
// server is its handle's, else one the local server serves, else the first such;
// another type: CS_FAILED. Otherwise the entry numbered `primary`, or for primary 0 the
// first with roles 0x04 and 0x08. The second entry: a negative `secondary` takes the
// first entry's secondary node, a positive one that node, 0 the first entry with 0x08
// and without 0x04 (none when there is none). CS_OK (both outs none for a set without
// entries); CS_NOT_FOUND when the first entry or a named second one is missing.
int CsPickStorageNode(CsStorageSet* set, int primary, int secondary, int forStore, CsStorageNode** first,
                      CsStorageNode** second);

// Routing flags of CsRouteHandle.
inline constexpr uint8_t CS_ROUTE_FIRST = 0x01;
inline constexpr uint8_t CS_ROUTE_FIRST_HANDLE = 0x02;  // cleared when the caller serves the first entry
inline constexpr uint8_t CS_ROUTE_SECOND = 0x04;
inline constexpr uint8_t CS_ROUTE_STORE = 0x10;

// The handle that serves a request on the entries: with any of 0x13 the first entry's
// (0x04 is cleared unless both entries share a handle), else with 0x04 the second
// entry's, else the caller's (flags become 0). A handle other than the caller's takes
// the caller's yield callback, logon record, callback words, code-page context, flag
// word 2 bits 0x02 and 0x08 and server session block, and becomes the caller's
// delegated handle; the caller's current server name is the serving handle's name.
CsHandle* CsRouteHandle(CsHandle* handle, CsStorageNode* first, CsStorageNode* second, uint8_t* flags);
// The handle's secondary handle prepared the same way, or the handle itself when it has
// none.
CsHandle* CsRouteSecondary(CsHandle* handle);

// ===========================================================================
// Hits and documents (docs/hits.md)
// ===========================================================================

// 0 when both hits name the same stored document: the object references' offset,
// length, compressed offset and compressed length and the object names (none equals none), else
// non-zero.
int CsSameDocument(const CsXdrHitRow* first, const CsXdrHitRow* second);
// 0 when CsSameDocument holds and every value slot is equal by its field's type ('B',
// 'I', 'N' as integers, 'D' as doubles, 'S' and 'T' as texts), else non-zero.
int CsMatchDocId(const CsXdrApplGroup* group, const CsXdrHitRow* first, const CsXdrHitRow* second);

// One entry of a document's object table: where the object after the first lies and the
// letters that name it.
struct CsObjectPageEntry {
    uint32_t offset = 0;
    uint32_t length = 0;
    char name[4] = {};
};
// The object table in pages of perPage entries (the last page holds the rest).
struct CsObjectPages {
    uint32_t count = 0;  // entries in all pages
    uint16_t perPage = 0;
    CsObjectPageEntry* const* pages = nullptr;
};
// Object n (from 1) of the table: *out becomes a copy of the template with entry n-1's
// offset and length as its compressed offset and compressed length, and a new name (the caller
// frees it with free()): the template's name with the entry's first two letters written
// three characters after its first letter (at its fourth and fifth characters), ending
// there. CS_OK; CS_FAILED for n outside 1..count, a table without the page, an entry
// name shorter than two letters or an object name shorter than five characters;
// CS_NO_MEMORY.
int CsMakeObjectRef(const CsObjectPages* table, int n, const CsXdrObjectRef* templ, CsXdrObjectRef* out);

// Modes of CsPackHit.
inline constexpr int CS_PACK_FRESH = 0;  // a new empty hit: zeroed slots, no object
inline constexpr int CS_PACK_COPY = 1;   // a new block copied from the hit (it stays the caller's)
inline constexpr int CS_PACK_GROW = 2;   // the packed hit's own block, regrown to hold every text
// Lays a hit out as one allocation: extra bytes (negative: none; rounded up to a
// multiple of 8) before the hit record, then its object reference, one value slot per
// field of the group, then the object name and the slot texts. *hit points at the hit
// record. Mode 2 takes a hit that CsPackHit made (the texts it points at may lie
// anywhere; those outside the block stay their owner's) and may move it. CS_OK;
// CS_FAILED for a bad mode, a hit with more slots than the group has fields, or a mode
// 1/2 call without a hit; CS_NO_MEMORY (the hit is left as it was).
int CsPackHit(const CsXdrApplGroup* group, CsXdrHitRow** hit, int extra, int mode);
// The start of a packed hit's block (the caller's extra bytes).
void* CsPackedHitBlock(CsXdrHitRow* hit, int extra);
// Frees a packed hit. Null is ignored.
void CsFreePackedHit(CsXdrHitRow* hit, int extra);
// Frees a hit that decoding made: its contents through the codec, then the record. Null
// is ignored.
void CsFreeHit(const CsXdrApplGroup* group, CsXdrHitRow* hit);

// Non-zero when a '$' occurs in text (the document carries page tables).
int CsHasDollar(const char* text);

// Location bits of a fetch.
inline constexpr int CS_LOC_CACHE = 0x01;
inline constexpr int CS_LOC_PRIMARY = 0x02;
inline constexpr int CS_LOC_SECONDARY = 0x04;
inline constexpr int CS_LOC_EXTERNAL_CACHE = 0x10;
// Where a document came from, for messages: the node entries are those the request was
// routed on (CsPickStorageNode on the group's storage set; either may be none). 0x01
// "-CACHE-", 0x10 "-EXTERNAL CACHE-" (both with the primary's number), 0x02 the primary's
// name and number, 0x04 the secondary's, else "-UNKNOWN-" (the primary's number or 0).
// server: "-LOCAL-", or the server name of the node named when it is remote (its flag
// 0x01 clear). CS_OK; CS_FAILED for a null out.
int CsLocationName(CsHandle* handle, const CsStorageNode* primary, const CsStorageNode* secondary, int bits,
                   std::string* name, int* number, std::string* server);

// The key-field values (flag 0x20) of a hit, separated by ",": 'B' %lld, 'D' %.2f, 'I'
// %d, 'N' %hd, 'S' quoted with '. Stops after the value that takes the result past 254
// characters.
inline constexpr size_t CS_KEY_TEXT_LIMIT = 254;
std::string CsFormatKeyValues(const CsXdrApplGroup* group, const CsXdrHitRow* hit);

// ===========================================================================
// Layer hooks: operations that the layers above the request layer provide
// ===========================================================================

// Replaces the hooks (CsLayerHooks, qel_cshandle.h; an empty hook answers CS_FAILED
// unless said otherwise) and lends message issuing the dispatcher's roads. Set at
// start-up, before the first call.
void CsSetLayerHooks(CsLayerHooks hooks);

// ===========================================================================
// Server definitions
// ===========================================================================

// Reads the "@SRV@_<name>" section of the server's configuration (registry layer,
// arc_install.h) into def. local: read as the local server (kind 1). CS_OK; CS_FAILED
// for a bad kind, a bad port (present and not 1..65535), a host longer than 255 bytes,
// or a configuration that cannot be read with local set (message 126); CS_NO_MEMORY.
int CsParseServerDef(const char* serverName, int local, CsServerDef* def);
int CsReadServerDef(const char* serverName, int local, CsServerDef* def);
// The server resolver of storage-set opening: current when it names the server wanted
// (ignoring case), else wanted's definition is read into def as a remote one and the
// result is none.
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
char* CsPrintFileName(char* buffer, size_t length, int element, const char* first, const char* second);

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
// callback(context, ...). CS_OK, or the mapped pipeline state.
int CsDataPipeOpen(char expandType, char compressType, uint64_t windowOffset, uint64_t windowLength,
                   size_t chunkSize, CsDataFn callback, void* context, CsObjectStreamPtr* stream);
// The data callback of a fetch: context is the stream. 1 go on, 0 the stream failed.
int CsDataPipeRun(void* stream, const unsigned char* data, size_t length);
// Ends the input, delivers what is left and frees the stream. The first failure of
// fetchResult, the stream's status and the end of the pipeline.
int CsDataPipeClose(CsObjectStreamPtr stream, int fetchResult);

// Fetches a stored object's bytes from its start and hands them, in order, to
// callback(handle->callbackContext, ...). Its result is the fetch's.
using CsFetchFn = std::function<int(CsHandle* handle, CsDataFn callback)>;

struct CsObjectRequest {
    CsFetchFn fetch;            // the object
    CsFetchFn fetchResources;   // conversion only: resources written first, or empty
    char expandType = 'N';      // how the object is stored
    char compressType = 'N';    // how the caller wants it
    uint64_t windowOffset = 0;  // window in the expanded (converted) data
    uint64_t windowLength = 0;
    size_t chunkSize = 0;
    bool convert = false;          // run the data through the conversion command
    std::string convertCommand;    // AFP2LINE_CMD: program and options
    uint8_t* stateByte = nullptr;  // set to 23 while the object streams
    CsDataFn callback = nullptr;
    void* context = nullptr;
};

// A plain fetch through the pipeline. While it runs the handle's callback context is
// the stream (restored afterwards). CS_OK or the first failure.
int CsReadObjectData(CsHandle* handle, const CsObjectRequest* request);
// A fetch through the conversion command: the object (and resources) expanded into a
// temporary file, the command run on it without a shell (its words, then the file name),
// and its output streamed to the caller. The temporary file is always deleted. CS_OK;
// CS_FAILED when the command is empty, cannot start or fails; CS_NO_MEMORY; or the
// fetch's failure.
int CsConvertObjectData(CsHandle* handle, const CsObjectRequest* request);
// CsConvertObjectData when request->convert is set, else CsReadObjectData.
int CsFetchObjectData(CsHandle* handle, const CsObjectRequest* request);

// ===========================================================================
// Store, search and retrieve (docs/documents.md)
// ===========================================================================
//
// Each operation runs in the call bracket. A remote handle sends one numbered request; a
// local handle is served from the local server's tables and segment index and the
// storage manager. The group is an entry of a CsOpenFolderGroups reply. Locally the
// group's fields, storage identifier and periods are read again from the tables by its
// number, and so are the user's permissions on it and the user's query restriction: a
// record the caller altered can neither widen what the user may do nor what a search
// may see. Messages are issued by catalogue index: 47 query, 48 retrieval, 49
// resources, 62 index update, 65 object store, 146 a segment not available.

// Permission bits of CsXdrApplGroup::permissions.
inline constexpr uint8_t CS_PERMIT_RETRIEVE = 0x01;
inline constexpr uint8_t CS_PERMIT_STORE = 0x02;
inline constexpr uint8_t CS_PERMIT_UPDATE = 0x08;
// Either bit reads every note of the group's documents (docs/notes.md), whatever the
// note permissions say.
inline constexpr uint8_t CS_PERMIT_ALL_NOTES = 0x02 | 0x04;
// Logging bits of CsXdrApplGroup::logging.
inline constexpr uint8_t CS_LOG_QUERIES = 0x01;
inline constexpr uint8_t CS_LOG_RETRIEVALS = 0x02;
inline constexpr uint8_t CS_LOG_UPDATES = 0x10;
inline constexpr uint8_t CS_LOG_STORES = 0x20;
// Field flags of CsXdrFieldDef::flags.
inline constexpr uint8_t CS_FIELD_SEGMENT_DATE = 0x04;
inline constexpr uint8_t CS_FIELD_TEXT_SEARCH = 0x08;
inline constexpr uint8_t CS_FIELD_KEY = 0x20;
// Flag byte of a search: run the group's linked text search.
inline constexpr int CS_SEARCH_TEXT = 0x10;
// How often a local scan asks whether to go on.
inline constexpr int CS_SEARCH_POLL_ROWS = 25;

// A hit of a search: a packed hit (CsPackHit) whose block starts with the caller's extra
// bytes (none for a negative count). Answer 0 to keep it (free it with
// CsFreePackedHit(hit, extra)), non-zero to let the search free it. A callback that
// wants no more rows calls CsInterrupt(handle); the search then ends with CS_CANCELLED.
// context is handle->callbackContext.
using CsSearchHitFn = int (*)(void* context, CsXdrHitRow* hit);

// Searches one application group of a folder: the rows of its segments that the range
// meets (none: every dated segment) and that match the WHERE text (empty: every row),
// within the group's restriction. noteFilter (may be null): value items numbered 1 (a
// colour, decimal) and 2 (a text that the note's user id or, for a public note, its text
// holds); only hits with a matching note are delivered, their note flag 'Y'. noteLetter
// 'Y': every hit's note flag is set ('Y' or 'N'). textSearch: the text-search values;
// a remote handle hands them to the server, a local one runs the text search itself:
// hits gather in one batch per storage node (100 hits with CS_F1_EXTERNAL in flag word
// 1, else one) and each batch runs through CsProcessHits on the handle that serves the
// node; only the hits it finds are delivered. flags CS_SEARCH_TEXT without textSearch:
// locally each hit's object is located (CsQueryDocObject) and its location byte set,
// unless its application's flags[1] is 'N'. Locally either needs the group's linked
// text-search folder (group->textSearch.folder; none: CS_FAILED). The WHERE text is never
// changed; a logged query (CS_LOG_QUERIES) is issued as message 47 with a copy whose
// runs of blanks outside quotes shrink to one. CS_OK; CS_UNAVAILABLE when every segment
// the range meets is unavailable (message 146 is issued once per unavailable segment
// in any case); CS_NOT_AUTHORISED when the user may not see the group; CS_NOT_FOUND for
// a hit on a node outside the group's storage set; CS_CANCELLED
// (CsInterrupt, polled every CS_SEARCH_POLL_ROWS rows); CS_FAILED for a WHERE text the
// index cannot answer; CS_NO_MEMORY; the transport's or server's failure.
int CsSearchFolder(CsHandle* handle, const CsXdrFolder* folder, const CsXdrApplGroup* group,
                   const char* where, const CsXdrCriteria* range, const CsXdrValueItem* noteFilter,
                   const CsXdrValueItem* textSearch, int flags, int noteLetter, int extra,
                   CsSearchHitFn callback);

// What a retrieval asks for and where its data goes.
struct CsDocRequest {
    const CsXdrApplEntry* application = nullptr;  // the document's application (sent; named in message 48)
    char compressType = 'N';                      // how the caller wants the data ('N' expanded)
    size_t chunkSize = 0;                         // 0: CS_DATA_CHUNK_MAX
    uint8_t flags[3] = {};                        // handed to a remote server as they are
    CsDataFn callback = nullptr;                  // the pieces, in order, valid for the call only
    void* context = nullptr;
    // The document's own object reference when the hit's object is a later object of it
    // (CsMakeObjectRef from its tables): a local handle finds the hit's row by this one.
    // None: the hit's object is the row's own.
    const CsXdrObjectRef* documentObject = nullptr;
};

// Retrieves a document's data: the stored block of the hit's object reference
// (compressedOffset, compressedLength; a name holding '$' from the object's start),
// expanded from its compression letter, cut to the document (offset, length) and
// compressed as asked, from the first place that holds it (cache, storage exit, the
// primary node, the secondary). primary and secondary are the node entries of the
// group's storage set (CsPickStorageNode); either may be none. On success the hit's
// location byte is set (1 cache, 4 storage exit, 2 a node) and, with noteLetter 'Y', a
// note flag that is neither 'Y' nor 'N' is read. A local handle reads only a document
// that a row of the hit's segment names and that the user could find in the folder
// (docs/document-ids.md, "Rows the user could find"). CS_OK; CS_NOT_AUTHORISED without
// CS_PERMIT_RETRIEVE or without such a row; CS_FAILED for a hit without an object
// reference; the fetch's failure.
int CsRetrieveDocData(CsHandle* handle, const CsXdrApplGroup* group, const CsStorageNode* primary,
                      const CsStorageNode* secondary, CsXdrHitRow* hit, const CsDocRequest* request,
                      int noteLetter);
// The document's resource object (object->resourceId, expanded from object->compression).
// CS_OK (nothing delivered for a document without resources); CS_NOT_AUTHORISED; the
// fetch's failure.
int CsGetDocResources(CsHandle* handle, const CsXdrApplGroup* group, const CsStorageNode* primary,
                      const CsStorageNode* secondary, int flags, const CsXdrObjectRef* object,
                      const CsDocRequest* request);

// Adds index rows to a group: each row carries its values (one slot per field of the
// group) and its object reference. For a group of segment kind 'M' the rows go to the
// newest segment with room, further segments ("<prefix><number>") being started when
// rowsPerSegment is reached; for other kinds to the segment "<prefix><loadId>". A new
// segment starts with the greatest start date and stop date 1 and is widened by the
// rows' segment-date values. *outSegment (may be null) gets the last segment written,
// *inOutFull (may be null) is set non-zero when that segment is full. Remotely each row
// is one request 103. All rows of a segment or none become searchable. CS_OK;
// CS_NOT_AUTHORISED without CS_PERMIT_STORE; CS_FAILED for a row that does not fit the
// group's fields, a group without a segment-date field, a segment name that does not
// fit its field, a missing load id for kind other than 'M'; CS_NO_MEMORY; the local
// server's or server's failure.
int CsAddIndexRow(CsHandle* handle, const CsXdrApplGroup* group, std::span<const CsXdrHitRow> rows,
                  const char* loadId, CsXdrSegment* outSegment, uint32_t* inOutFull);

// Stores a document: with a source, its object (named by object->name, stored as
// object->compression says; object->location: the places to write, SM_LOC_* of qel_sm.h,
// on return where it went), then with a block (the index values) its index row. An
// object that belongs to the secondary server (the storage manager's CS_NOT_FOUND) is
// stored there: load information (request 86) and request 87 with every place; the
// object reference then carries what that server answered. source is called with
// handle->callbackContext. value, word and the flags go to a remote server as they are.
// CS_OK; CS_NOT_AUTHORISED without CS_PERMIT_STORE; the storage manager's, the index's
// or the server's failure.
int CsStoreDocument(CsHandle* handle, const CsXdrApplGroup* group, const CsStorageNode* primary,
                    const CsStorageNode* secondary, const CsXdrHitRow* block, CsXdrObjectRef* object,
                    int64_t value, uint32_t word, int flag1, int flag2, CsSourceFn source);

// Replaces a document's index values: the row of oldHit (found in its segment by
// CsMatchDocId) is rewritten with newHit's values, its object reference kept; the
// segment's update time is stamped; with CS_LOG_UPDATES message 62 names the old and the
// new key values, after the change. Locally the old row must be one the user could find
// and the new values must keep it one (docs/document-ids.md). CS_OK; CS_NOT_AUTHORISED
// without CS_PERMIT_UPDATE, for no such segment or row, a row outside the user's
// restriction or new values that would move it out; CS_NOT_FOUND when the row changed
// meanwhile; CS_FAILED for a segment name held by more than one segment, or values that
// do not fit; CS_UNAVAILABLE for a segment not available (message 146); the server's
// failure.
int CsUpdateDocIndex(CsHandle* handle, const CsXdrApplGroup* group, const CsXdrHitRow* oldHit,
                     const CsXdrHitRow* newHit);

// The routed forms: the request runs on the handle that serves the node entries
// (CsRouteHandle); arguments and results as the plain ones.
int CsRetrieveDocDataRouted(CsHandle* handle, const CsXdrApplGroup* group, CsStorageNode* primary,
                            CsStorageNode* secondary, CsXdrHitRow* hit, const CsDocRequest* request,
                            int noteLetter);
int CsGetDocResourcesRouted(CsHandle* handle, const CsXdrApplGroup* group, CsStorageNode* primary,
                            CsStorageNode* secondary, int flags, const CsXdrObjectRef* object,
                            const CsDocRequest* request);
int CsStoreDocumentRouted(CsHandle* handle, const CsXdrApplGroup* group, CsStorageNode* primary,
                          CsStorageNode* secondary, const CsXdrHitRow* block, CsXdrObjectRef* object,
                          int64_t value, uint32_t word, int flag1, int flag2, CsSourceFn source);

// ===========================================================================
// Notes (docs/notes.md)
// ===========================================================================
//
// Notes (annotations) of a document: the hit's object reference names the document.
// Locally they are kept by the local server's note files, remotely requests 67 and 69
// carry them. Locally the group's note permissions and logging are read again from the
// tables by its number, so that a record the caller altered widens nothing.

// Note permission bits (CsXdrApplGroup::notePermissions).
inline constexpr uint16_t CS_NOTE_PERMIT_ADD = 0x02;
// Logging bit of the group's logging word: added notes are logged (message 51, or 50
// when the note's number is not known).
inline constexpr uint32_t CS_LOG_NOTES = 0x400;
// Flag bits of CsXdrNote::flags.
inline constexpr uint32_t CS_NOTE_PRIVATE = 0x01;
inline constexpr uint32_t CS_NOTE_PUBLIC = 0x02;

// Adds the note to the document of the hit in the group. Locally the note is stamped
// with now ('Z' seconds) and written for the logged-on user; its colour (0-255) and
// key, page and attributes are kept as docs/notes.md says. On CS_OK the caller's note
// carries its number (0: not known), author and time, and a group that keeps note
// flags in its rows ('Y') gives the hit note flag 'Y'. Remotely request 67; the note's
// number is the server's first answer word. Locally the hit must name a document that
// the user could find in the folder (as CsRetrieveDocData). CS_OK; CS_NOT_AUTHORISED
// without CS_NOTE_PERMIT_ADD or without such a document; CS_FAILED for a missing argument, a hit without an
// object reference, a colour above 255, data without bytes or a note the local server cannot write;
// CS_NO_MEMORY; the server's failure.
int CsAddNote(CsHandle* handle, const CsXdrApplGroup* group, CsXdrHitRow* hit, CsXdrNote* note);

// The notes of the hit's document in group `groupNumber` that the user may read: users
// of type 0x04 or 0x10 and users with a CS_PERMIT_ALL_NOTES bit in their permissions on
// the group read every note, others the public ones, their own and those written for
// one of their groups. Each goes to the callback (context
// handle->callbackContext), oldest first, as a fresh zeroed CsXdrNote: an answer of 0
// keeps it (free it with CsFreeNotes), non-zero lets the operation free it; a callback
// that wants no more calls CsInterrupt(handle). Without a callback only the hit's note
// flag is set: 'Y' when there is such a note, else 'N'.
// Locally the hit must name a document of a row that passes the user's restriction (the
// group number carries no folder restriction, as on the wire).
// Remotely request 69. CS_OK (also for a document without notes); CS_NOT_AUTHORISED
// when the user may not see the group or the document; CS_CANCELLED; CS_FAILED for a missing hit or
// object reference, an unknown group or a damaged note file; CS_NO_MEMORY; the
// server's failure.
int CsGetNotes(CsHandle* handle, uint32_t groupNumber, CsXdrHitRow* hit, CsEntryFn callback);

// Frees a note of CsGetNotes: its text and data through the codec, then the record.
// Null is ignored.
void CsFreeNotes(CsXdrNote* note);

// ===========================================================================
// Lists and records: storage nodes, named queries, segments, printers, system
// parameters, load information (docs/lists.md)
// ===========================================================================
//
// Each operation runs in the call bracket. A remote handle sends one request; a local
// handle is served from the local server's tables. A list delivers its entries one at a
// time to the callback with handle->callbackContext: every entry is a fresh zeroed
// allocation; the callback answers 0 to keep it (and frees it later with the list's free
// function), non-zero to have the operation free it. A callback that wants no more
// entries calls CsInterrupt(handle); the list then ends with CS_CANCELLED. A null
// callback has every entry freed. The free functions accept none.

struct QelLocalAppGroup;
struct CsXdrNamedQuery;
struct CsXdrPrinter;

// Storage-node information of an application group's object node: the primary and
// secondary node numbers and the compression letter. Locally the object-node row of the
// group and node (request 64 remotely). *out (freed with CsFreeStorageNodes) only on
// CS_OK. CS_OK; CS_NOT_FOUND for no such row; CS_FAILED for a group number beyond the
// local tables or node numbers that do not fit the record; CS_NO_MEMORY; the local
// server's, transport's or server's failure.
int CsGetStorageNodes(CsHandle* handle, uint32_t groupNumber, uint16_t nodeNumber, CsXdrNodeInfo** out);
void CsFreeStorageNodes(CsXdrNodeInfo* info);

// The named queries of a folder, each a CsXdrNamedQuery (its text a malloc'd WHERE text;
// flags 0 locally). A user of type 0x04 or 0x10, or with folder permission bits 0x02 or
// 0x04, sees every query; others see the queries of everybody and their own. CS_OK (also
// for a folder without queries); CS_NOT_AUTHORISED without a logon (locally);
// CS_CANCELLED; CS_NO_MEMORY; the local server's (CS_FAILED for a damaged query file),
// transport's or server's failure.
int CsGetNamedQueries(CsHandle* handle, uint32_t folderNumber, CsEntryFn callback);
void CsFreeNamedQueries(CsXdrNamedQuery* query);

// The segment table of an application group, each entry a CsXdrSegment (status 0x01
// available, 0x02 not for update). Locally the dated segments come first, then those
// without dates. CS_OK; CS_FAILED for an unknown local group or a segment name that
// does not fit the record; CS_CANCELLED; CS_NO_MEMORY; the failing step's.
int CsGetSegmentList(CsHandle* handle, uint32_t groupNumber, CsEntryFn callback);
void CsFreeSegmentEntry(CsXdrSegment* segment);

// The server's printers, each a CsXdrPrinter (the kind letter in the low byte of
// words[0]). The local server lists the "PRINTERS" section of its configuration, one
// "name=kind[,description]" line each, numbered from 1 (docs/server-print.md); without
// the section none. CS_OK; CS_CANCELLED; CS_NO_MEMORY; the transport's or server's failure.
int CsGetPrinters(CsHandle* handle, CsEntryFn callback);
void CsFreePrinters(CsXdrPrinter* printer);

// The system parameters (the local system table, request 84 remotely): *out (freed with
// CsFreeSystemParmsRecord) only on CS_OK. The handle's own parameters are not touched.
// CS_OK; CS_NO_MEMORY; the local server's (CS_FAILED without SYS_MASK), transport's or
// server's failure.
int CsGetSystemParms(CsHandle* handle, CsSystemParms** out);
void CsFreeSystemParmsRecord(CsSystemParms* parms);

// The load information of an application group: the name of its next load (locally
// taken from the group's load counter, which advances; request 86 remotely) into load
// (size bytes, emptied first). A name that does not fit is never cut. CS_OK; CS_FAILED
// for an unknown local group, a full counter or a name that does not fit; the local
// server's, transport's or server's failure.
int CsGetLoadInfo(CsHandle* handle, uint32_t groupNumber, char* load, size_t size);

// The "System Log" application group of a local handle's archive (its record with its
// fields, freed with CsFreeReplyC) and its storage set opened with CsResolveServerDef
// (none for a group without one; freed with CsFreeStorageSet). The group is read as a
// user of type 0x04: without a logon a temporary record stands in, an existing one gets
// its own type back on every path. Both outs are none unless CS_OK. CS_OK; CS_NOT_FOUND
// when the archive keeps no System Log; CS_FAILED for a remote handle or two groups of
// that name; CS_NO_MEMORY; the local server's or the storage set's failure.
int CsGetSystemLogFolder(CsHandle* handle, QelLocalAppGroup** group, CsStorageSet** folder);
// The document of a System Log record of a local handle's archive (a message issued with
// data): `row` counts the group's records from 0, the oldest. Only a logged-on system
// administrator (user type 0x04) reads the System Log: it holds other users' ids and the
// index values of the documents a run reported. CS_OK; CS_NOT_AUTHORISED; CS_NOT_FOUND
// without the group, the record or its document; CS_FAILED for a remote handle or a
// damaged record; CS_NO_MEMORY.
int CsGetSystemLogDocument(CsHandle* handle, size_t row, std::string* data);
void CsFreeReplyC(QelLocalAppGroup* group);

// ===========================================================================
// Stored objects, document segments, logged messages, server print and text search
// (docs/objects.md)
// ===========================================================================
//
// Each operation runs in the call bracket. A remote handle sends one numbered request
// (87, 88, 102, 91, 93, 104); a local handle is served by the storage manager, with the
// group's storage identifier, logging bits and the user's permissions read again from the
// local server's tables (as for the document operations above).

// Logging bit of CsXdrApplGroup::logging: retrieved segments are logged (message 63).
inline constexpr uint8_t CS_LOG_SEGMENTS = 0x40;

// Stores an object by name (object->name; object->compression is the letter its data
// travels in) at the places of *location (SM_LOC_* of qel_sm.h), reading its data from
// source(handle->callbackContext, ...). Locally *location becomes the places written and,
// with CS_LOG_STORES, message 64 is issued once for each of the places primary node,
// secondary node and cache that were written, with the time the store took; remotely
// *location is left as it is. flag2 and value go to a remote server as they are.
// *outLength (may be null) gets the bytes stored. CS_OK; CS_NOT_AUTHORISED without
// CS_PERMIT_STORE; CS_FAILED for a missing argument; the storage manager's or the server's
// failure.
int CsStoreObject(CsHandle* handle, const CsXdrApplGroup* group, const CsStorageNode* primary,
                  const CsStorageNode* secondary, uint8_t* location, CsXdrObjectRef* object, int flag2,
                  int64_t value, CsSourceFn source, uint64_t* outLength);

// Reads the stored bytes of an object (object->name) from offset on, length bytes (0: to
// its end), from the first of the places of *location that holds it, and hands them in
// order to callback(context, position, letter, data, length): position counts from the
// object's start, letter is how the bytes are stored (locally object->compression, 'N'
// when unset). Locally *location becomes the place read and, with CS_LOG_SEGMENTS,
// message 63 names the object, the place, the offset, the bytes delivered and the time;
// remotely *location is left as it is. The callback's result is not used: a caller who
// wants no more calls CsInterrupt(handle) (CS_CANCELLED). CS_OK; CS_NOT_AUTHORISED without
// CS_PERMIT_RETRIEVE; CS_FAILED for a missing argument or an object no place holds; the
// storage manager's or the server's failure.
int CsRetrieveSegment(CsHandle* handle, const CsXdrApplGroup* group, const CsStorageNode* primary,
                      const CsStorageNode* secondary, uint8_t* location, const CsXdrObjectRef* object,
                      uint32_t offset, uint32_t length, CsSegmentFn callback, void* context);

// Where the object of a hit lives, among the places of location: *answer gets
// SM_LOCATE_CACHE, SM_LOCATE_NODE or SM_LOCATE_EXIT; *word (may be null) the first of the
// node's information words (0 for the cache, 0xFFFFFFFF for the storage exit). With
// exitLast set the storage exit is asked after the node, else before it. text and word2
// go to a remote server as they are. Needs no permission beyond seeing the group.
// CS_OK; CS_FAILED for a missing argument, a hit without an object, or an object that
// no place holds (message 7 or 110); CS_NOT_AUTHORISED when the user may not see the
// group; the server's failure.
int CsQueryDocObject(CsHandle* handle, const CsXdrApplGroup* group, const CsStorageNode* primary,
                     const CsStorageNode* secondary, uint8_t location, const CsXdrHitRow* hit,
                     const char* text, uint32_t exitLast, uint32_t word2, uint8_t* answer, uint32_t* word);

// The routed forms: the request runs on the handle that serves the node entries
// (CsRouteHandle); arguments and results as the plain ones.
int CsRetrieveSegmentRouted(CsHandle* handle, const CsXdrApplGroup* group, CsStorageNode* primary,
                            CsStorageNode* secondary, uint8_t* location, const CsXdrObjectRef* object,
                            uint32_t offset, uint32_t length, CsSegmentFn callback, void* context);
int CsQueryDocObjectRouted(CsHandle* handle, const CsXdrApplGroup* group, CsStorageNode* primary,
                           CsStorageNode* secondary, uint8_t location, const CsXdrHitRow* hit,
                           const char* text, uint32_t exitLast, uint32_t word2, uint8_t* answer,
                           uint32_t* word);

// Logs message `row` (catalogue index) with its inserts. A local handle hands it to the
// message issuer with the same arguments (CsIssueMessage: the row's destinations decide
// where it goes). A remote handle sends the formatted text to the server's System Log
// (request 91) with the row's external number and word, whatever the row's
// destinations. CS_OK; CS_FAILED for a row outside the catalogue; the issuer's or the
// server's failure.
int CsLogMessage(CsHandle* handle, int row, uint16_t count, const CsMsgInsert* inserts,
                 const CsObjectRef* reference, char kind, int32_t word);

// Prints documents on a server printer: the print request, its text and option texts,
// then one item per hit from items(handle->callbackContext, ...) until it hands out no
// hit; endByte closes the items. A remote handle: request 93. A local handle: the
// storage manager's print run (SmServerPrint, docs/server-print.md) on the local printer
// of that number (else that name), the option text's "@_PRINT_OPTIONS_@" section as its
// options; a failure other than CS_CANCELLED issues message 117. Locally every item's hit
// must name a document that the user could find in the folder of the item's group record
// (as CsRetrieveDocData); the first that does not ends the run before anything is printed
// with CS_NOT_AUTHORISED. CS_OK; CS_FAILED for a missing print request or item source, or
// a failing item source; CS_NOT_FOUND for an unknown local printer; the run's or the
// server's failure.
int CsServerPrint(CsHandle* handle, const CsXdrPrintRequest* print, const char* text,
                  std::span<const CsXdrTextEntry> options, CsHitItemFn items, int endByte);

// Runs the server's text search over hits: one item per hit from
// items(handle->callbackContext, ...) until it hands out no hit, then the search values.
// Each matching hit's value list goes to answer(handle->callbackContext, list): non-zero
// lets the operation free the list (CsFreeReplyEntry(CS_REQ_PROCESS_HITS, ...)), 0 keeps
// it for the caller; no callback: every list is freed. A remote handle: request 104. A
// local handle: the storage manager's text-search run (SmTextSearchRun) with values as
// the search exit's context; each matching hit's list is one item (number: the exit's
// answer, text: the item's word); a failure other than CS_CANCELLED issues message 153.
// CS_OK; CS_CANCELLED (CsInterrupt); CS_FAILED for a missing or failing item source; the
// run's or the server's failure.
int CsProcessHits(CsHandle* handle, CsXdrValueItem* values, CsHitItemFn items, CsEntryFn answer);

// ===========================================================================
// Document tables (docs/doc-tables.md)
// ===========================================================================
//
// A document's page tables travel as a big-endian byte stream: its code page, the
// split of its pages over stored objects, its index-group names and per page a name
// and index values. CsConvertDocument reads a stream in pieces of any size into a
// CsDocTables record, CsEndDocTables says whether it came whole, CsWriteDocTables
// writes a record back, CsFreeDocTables releases one.

// Flags of the stream and of CsDocTables::flags. CS_DOCTAB_ALL_OFFSETS tells readers of
// other makes that every object entry carries its offset; this reader and writer go by
// CS_DOCTAB_COMPUTED_OFFSETS alone, so every combination reads back as written.
inline constexpr uint32_t CS_DOCTAB_ALL_OFFSETS = 0x01;
inline constexpr uint32_t CS_DOCTAB_COMPUTED_OFFSETS = 0x02;  // only the first object entry has its offset
inline constexpr uint32_t CS_DOCTAB_PAGE_NAMES = 0x04;        // page entries carry a name
inline constexpr uint32_t CS_DOCTAB_CODE_PAGE = 0x08;         // the code page is in the stream (else 850)
// Result 3 of the reader and writer: no converter from code page 850 to 850 opens.
inline constexpr int CS_DOCTAB_NO_CONVERTER = CS_TRANSPORT;

// Where a later object of the document lies and the letters that name it.
using CsDocObjectEntry = CsObjectPageEntry;

// The object table: pages of perPage entries, filled in order (only the last page may
// hold fewer). Entry i is object i + 2 of the document.
class CsDocObjectTable {
public:
    // Empties the table; later entries go into pages of perPage (1 or more) entries.
    void Reset(uint16_t perPage);
    // A new zeroed entry at the end (a new page when the last is full); may throw
    // std::bad_alloc.
    CsDocObjectEntry& Add();
    uint32_t size() const { return count_; }
    uint16_t perPage() const { return perPage_; }
    const CsDocObjectEntry& operator[](uint32_t index) const;
    CsDocObjectEntry& operator[](uint32_t index);
    const std::vector<std::vector<CsDocObjectEntry>>& pages() const { return pages_; }
    // The table as CsMakeObjectRef reads it; valid until the table changes.
    CsObjectPages View() const;

private:
    std::vector<std::vector<CsDocObjectEntry>> pages_;
    std::vector<CsDocObjectEntry*> pointers_;  // pages_[i].data(): pages never grow past perPage_
    uint32_t count_ = 0;
    uint16_t perPage_ = 1;
};

// One index value of a page.
struct CsDocValue {
    uint8_t group = 0;  // index into CsDocTables::groupNames
    uint32_t kind = 0;
    std::string text;
};
// One page entry: its page number (not 0), its name (empty: none) and up to 255 values.
struct CsDocPageEntry {
    uint32_t page = 0;
    std::string name;
    std::vector<CsDocValue> values;
};

struct CsDocReader;  // the reader's state while a stream is being read
struct CsDocReaderDeleter {
    void operator()(CsDocReader* reader) const;
};

struct CsDocTables {
    uint32_t flags = 0;
    uint32_t total = 0;        // pages of the document
    uint32_t perObject = 0;    // pages per stored object (not 0)
    uint32_t objectCount = 0;  // total / perObject rounded up
    // count - 1 entries in pages of min(count - 1, 2000) entries (1 when count <= 1).
    CsDocObjectTable objects;
    uint32_t codePage = 850;  // of the names and texts
    uint32_t pageEntryCount = 0;
    // Blocks of entriesPerBlock entries (1000; the entry count when one block holds them
    // all), filled in order.
    uint16_t entriesPerBlock = 1000;
    std::vector<std::vector<CsDocPageEntry>> blocks;
    std::vector<std::string> groupNames;                      // at most 255
    std::unique_ptr<CsDocReader, CsDocReaderDeleter> reader;  // none once the end word was read

    // A new entry at the end of the last block (a new block when it is full); may throw
    // std::bad_alloc.
    CsDocPageEntry& AddPageEntry();
    // Page entry number `index` (from 0) of the blocks, or none.
    const CsDocPageEntry* PageEntry(uint32_t index) const;
};

// Reads the next piece of a stream. first non-zero: a new record is made into *tables
// (whatever it held stays the caller's); else the piece continues *tables. Once the end
// word has been read the reader state is freed and later pieces (and bytes after the end
// word) are ignored. CS_OK; CS_FAILED for a malformed stream (pages per object 0, an
// object name longer than 3 bytes or holding a zero byte, a value's group index not
// below the group-name count, more page entries than pages, an object offset beyond
// 2^32) or a continued call without a record; CS_DOCTAB_NO_CONVERTER when an object
// name is to be converted and no converter opens (pages null: none does); CS_NO_MEMORY.
// On any failure the record is freed and *tables becomes null. Bytes of a record still
// being read are the reader's: only after CsEndDocTables is a record complete.
int CsConvertDocument(ArcIconvContext* pages, const void* data, size_t length, int first,
                      CsDocTables** tables);
// After the last piece: CS_OK when the end word has been read; else CS_FAILED (the
// stream ended early), the record freed and *tables null. Null *tables: CS_FAILED.
int CsEndDocTables(CsDocTables** tables);
// Writes the record as a stream to the sink in pieces (the sink's result is not used).
// Object entries carry their offset unless CS_DOCTAB_COMPUTED_OFFSETS is set; page
// names go only with CS_DOCTAB_PAGE_NAMES, and a page entry left with neither values nor
// a name is not written. CS_OK; CS_FAILED before anything is written for a record that
// would not read back as it is: pages per object 0, an object
// count or table size that does not fit total / per object, an object name longer than
// 3 bytes, an empty name after a non-empty one, offsets that a computed-offsets stream
// would not give, a text longer than 127 bytes, a page number 0, more page entries than
// pages, more than 255 values or group names, a group index not below the name count;
// CS_DOCTAB_NO_CONVERTER (nothing written); CS_NO_MEMORY (nothing written).
int CsWriteDocTables(ArcIconvContext* pages, const CsDocTables* tables, void* context, CsDataFn sink);
// Frees the page entries, the group names and the reader state; whole non-zero also the
// object table and the record. Null is accepted.
void CsFreeDocTables(CsDocTables* tables, int whole);

// ===========================================================================
// User exits
// ===========================================================================

struct CsLibraryCloser {
    void operator()(ArcOSLibrary* library) const;
};
using CsExitLibrary = std::unique_ptr<ArcOSLibrary, CsLibraryCloser>;

// Loads the library and resolves the entry. CS_OK; CS_FAILED when it does not load or
// lacks the entry (then nothing stays loaded; with issue set, message 138 is issued).
int CsLoadExit(CsHandle* handle, int issue, const char* path, const char* entryName, CsExitLibrary* library,
               void** entry);

// The security exit (function code and five texts, qel_exits.h); the exit may leave a
// text in handle->serverMessage. CS_OK when it accepts; CS_UNAVAILABLE when the
// password is to be checked; CS_PASSWORD_EXPIRED; CS_NOT_AUTHORISED when it refuses;
// CS_FAILED when the exit is missing (message 138) or answers anything else (139).
int CsCallSecurityExit(CsHandle* handle, int32_t function, const char* arg1, const char* arg2,
                       const char* arg3, const char* arg4, const char* arg5);

// One field of the document handed to the storage exit.
struct CsExitFieldInput {
    const void* definition = nullptr;  // the group's field definition
    char type = 0;
    uint8_t definitionFlags = 0;  // 0x40: the field is indexed
    unsigned char value[8] = {};  // by type: int32, int16, text pointer, int64, double
};
// The application group and the document being stored, as the storage exit sees them.
struct CsStorageExitInput {
    const char* groupName = nullptr;  // at most 12 characters
    void* exitContext = nullptr;      // the group's exit context
    std::span<const CsExitFieldInput> fields;
    uint32_t documentWords[3] = {};
    const void* document = nullptr;
};
// CS_OK; CS_FAILED when the exit is missing or fails (139); CS_NO_MEMORY.
int CsCallStorageExit(CsHandle* handle, const CsStorageExitInput* input, int indexedOnly, void* out1,
                      void* out2);
// Asks the storage exit about one object (function QEL_STORAGE_EXIT_LOCATE or _FETCH,
// qel_exits.h); exitContext is the caller's exit options. query->found, data and length are
// cleared first. CS_OK with the exit's answer in query (data, when set, is the caller's to
// free()); CS_FAILED when the exit is missing, the group name is longer than 12
// characters, or the exit fails (139; its data is freed then).
int CsAskStorageExit(CsHandle* handle, uint32_t function, const char* groupName, void* exitContext,
                     QelExitObjectQuery* query);
// CS_OK; CS_FAILED when the exit is missing or fails (139).
int CsCallSearchExit(CsHandle* handle, const void* group, const void* application, void* textSearch,
                     const char* jobFile, int32_t* answer);
int CsCallExtractExit(CsHandle* handle, const void* group, const void* application, const char* pages,
                      const char* jobFile, const char* outputFile);
