// qel_sm.h - the storage manager and the cache file layer beneath it.
//
// The cache file layer keeps stored objects as files: in the cache store (one
// root directory per server) and in the node store of the local server (the
// volume directories of its DIRECTORY list, each marked by a "volume" file). An
// object lives at "<root>/data/<storage id>/<DOC|RES>/<name>": RES for names
// whose last character is a digit. Object names and storage ids that would leave
// their folder ('/', "..", control characters) are refused. Layout and choices:
// docs/cache-layer.md; the storage manager's: docs/storage-manager.md. Bulk retrieval,
// which reads through the request layer, is declared in qel_sm_bulk.h.
//
// The cache layer answers a QelCacheResult; the storage manager maps it
// (SmMapResult) into a CsReturnCode.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "qel_cshandle.h"

// Results of the cache layer.
enum QelCacheResult : int {
    QELCFS_OK = 0,
    QELCFS_CANCELLED = 1,   // the volume request was refused
    QELCFS_FAILED = 2,      // failed, or not available in this store
    QELCFS_NO_DATA = 3,     // given by no call of this layer; mapped to CS_NO_DATA
    QELCFS_NOT_FOUND = 4,   // no such file, or a volume mismatch
    QELCFS_NO_VOLUMES = 5,  // no volume directories defined
};

// A piece read from an object is at most this long.
inline constexpr int64_t QELCFS_PIECE_MAX = 0x7FFF;

// ---------------------------------------------------------------- the handle's side

// The volume-request callback of a connection (CsVolumeRequestFn, qel_cshandle.h).
using QelVolumeRequestFn = CsVolumeRequestFn;
// Sets (null clears) the handle's volume-request callback (handle->volume).
void QelCacheFs_SetVolumeCallback(CsHandle* handle, QelVolumeRequestFn callback);
// Sets (null clears) the label of the connection's volume record (handle->volume):
// cache roots of the handle then end in that label.
void QelCacheFs_SetConnectionVolume(CsHandle* handle, const char* label);
// The connection's volume label; empty when the connection has none.
std::string QelCacheFs_ConnectionVolume(CsHandle* handle);

// ---------------------------------------------------------------- cache store

struct QelCacheStore {  // the cache root of one server; owned by the storage record
    std::string root;
};
struct QelCacheHandle {  // one per fetch; borrows the store's root
    const std::string* root = nullptr;
};

// Resolves the handle's cache root: CACHE_NAME of "@SRV@_<server>" in qel.ini,
// else QEL of PATHS in qel.ini + "/set", else the first DIRECTORY entry of the
// server definition; then + "/" + the connection's volume label when it has one.
// qel.ini is read from the install's configuration directory. QELCFS_OK;
// QELCFS_NOT_FOUND when no base is found; QELCFS_FAILED for missing arguments, or
// out of memory (message 128).
QelCacheResult QelCacheFs_OpenCache(CsHandle* handle, QelCacheStore** store);
// QELCFS_OK; QELCFS_FAILED when the store is missing, or out of memory (message 128).
QelCacheResult QelCacheFs_NewHandle(CsHandle* handle, const QelCacheStore* store, QelCacheHandle** cache);
// Frees the store and its root, clears the slot; QELCFS_OK.
QelCacheResult QelCacheFs_FreeHandle(CsHandle* handle, QelCacheStore** slot);
// Frees a cache handle (not the root), clears the slot; QELCFS_OK.
QelCacheResult QelCacheFs_FreeBuffer(CsHandle* handle, QelCacheHandle** slot);

// QELCFS_OK with *writable set when the owner may write the file; QELCFS_NOT_FOUND
// when it does not exist; QELCFS_FAILED for a bad name or missing handle.
QelCacheResult QelCacheFs_StatObject(CsHandle* handle, const QelCacheHandle* cache, const char* sid,
                                     const char* name, int* writable);
// Reads one piece of at most QELCFS_PIECE_MAX bytes from offset into *buffer
// (resized to the piece). *length: the wanted length, 0 for the rest of the file;
// on return the piece's length. *last is set when the piece covers all of the
// wanted length. QELCFS_OK; QELCFS_NOT_FOUND for no such file (no message);
// QELCFS_FAILED with message 95 (seek), 96 (stat), 97 (offset and length beyond
// the file) or 98 (read).
QelCacheResult QelCacheFs_ReadObject(CsHandle* handle, const QelCacheHandle* cache, const char* sid,
                                     const char* name, std::vector<uint8_t>* buffer, int64_t offset,
                                     int64_t* length, int* last);
// Writes a whole object (mode 0600), creating missing folders; the file is
// replaced atomically, so a failure leaves the previous copy. QELCFS_OK;
// QELCFS_FAILED for a bad name, or with message 94 (open) or 99 (write).
QelCacheResult QelCacheFs_WriteObject(CsHandle* handle, const QelCacheHandle* cache, const char* sid,
                                      const char* name, const void* data, size_t length);
// The flush hook: clears *word; QELCFS_OK.
QelCacheResult QelCacheFs_Sync(CsHandle* handle, const QelCacheHandle* cache, const char* sid,
                               const char* name, uint32_t* word);
// Object query, append and node-store write: QELCFS_FAILED (not available in
// these stores).
QelCacheResult QelCacheFs_Unsupported(CsHandle* handle);

// ---------------------------------------------------------------- node store

struct QelVolumeList {  // the volume directories, each ending in '/'
    std::vector<std::string> dirs;
};
struct QelNodeObject {  // an opened node object
    const QelVolumeList* volumes = nullptr;
    std::string label;   // the node NAME's text after its first '.'
    std::string number;  // the node LOGON: the volume number
};

// The DIRECTORY list of the server definition (QelLocal_VolumeDirectories). QELCFS_OK; QELCFS_NO_VOLUMES when
// it names no directory; QELCFS_FAILED for no slot, or out of memory.
QelCacheResult QelCacheFs_LoadVolumeList(CsHandle* handle, QelVolumeList** slot);
// Frees the list, clears the slot; QELCFS_OK.
QelCacheResult QelCacheFs_FreeVolumeList(CsHandle* handle, QelVolumeList** slot);
// QELCFS_OK; QELCFS_FAILED when the list, the slot, the node name or the logon is
// missing, or out of memory.
QelCacheResult QelCacheFs_OpenObject(CsHandle* handle, const QelVolumeList* volumes, QelNodeObject** object,
                                     const char* user, const char* nodeName, const char* nodeLogon,
                                     const char* nodePassword);
// Frees the object, clears the slot; QELCFS_OK.
QelCacheResult QelCacheFs_CloseObject(CsHandle* handle, QelNodeObject** object);
// words[0] the volume number, words[1..4] 0; QELCFS_OK.
QelCacheResult QelCacheFs_ObjectSize(CsHandle* handle, const QelNodeObject* object, uint32_t words[5]);
// As QelCacheFs_ReadObject, from the node's volume directory: with one directory
// that one, else the volume number n (1..count) picks the n-th (outside:
// QELCFS_NOT_FOUND). The volume is checked first (QelLocal_ReadVolume, qel_local.h: its
// QELCFS_CANCELLED or QELCFS_NOT_FOUND). QELCFS_OK; QELCFS_FAILED, without a
// message, for bad arguments or a failed read.
QelCacheResult QelCacheFs_ReadLocalObject(CsHandle* handle, const QelNodeObject* object, const char* sid,
                                          const char* name, std::vector<uint8_t>* buffer, int64_t offset,
                                          int64_t* length, int* last);

// ---------------------------------------------------------------- storage manager

// The storage record of a handle: made by SmOpenStorage, freed by SmCloseStorage.
inline constexpr uint8_t SM_CACHE_OPEN = 0x01;
inline constexpr uint8_t SM_NODES_OPEN = 0x02;
struct SmStorage {
    uint8_t flags = 0;
    QelCacheStore* cache = nullptr;
    QelVolumeList* volumes = nullptr;
};

// A cache-layer result as a CsReturnCode: QELCFS_OK -> CS_OK, QELCFS_CANCELLED ->
// CS_CANCELLED, QELCFS_NO_DATA -> CS_NO_DATA, QELCFS_NOT_FOUND -> CS_NOT_FOUND,
// QELCFS_NO_VOLUMES -> CS_UNAVAILABLE; any other value -> CS_FAILED.
int SmMapResult(int cacheResult);
// Opens the handle's stores: the cache root (bit SM_CACHE_OPEN) and the volume
// list (bit SM_NODES_OPEN; no DIRECTORY is no failure). CS_OK; CS_NO_MEMORY;
// CS_FAILED without a handle; or the mapped failure (what was opened is closed again).
int SmOpenStorage(CsHandle* handle);
// Closes both stores and frees the record: CS_OK, or the first mapped failure;
// CS_OK without a handle or record.
int SmCloseStorage(CsHandle* handle);
// The handle's storage record, or null outside SmOpenStorage/SmCloseStorage.
SmStorage* SmGetStorage(CsHandle* handle);

// ---------------------------------------------------------------- objects

// Places of an object (the location byte): where it may live or is to be written, and
// on return the single place where it was found.
inline constexpr uint8_t SM_LOC_CACHE = 0x01;
inline constexpr uint8_t SM_LOC_PRIMARY = 0x02;
inline constexpr uint8_t SM_LOC_SECONDARY = 0x04;
inline constexpr uint8_t SM_LOC_CALLER = 0x08;  // the caller's own flag; the store path clears it
inline constexpr uint8_t SM_LOC_EXIT = 0x10;    // the storage user exit (SMEXTCAC)

// Flag of SmApplGroup::flags: the group's objects may live with the storage exit.
inline constexpr uint32_t SM_AG_STORAGE_EXIT = 0x08;
// Flag of CsStorageNode::flags: the node cannot hold objects (the entry counts as absent).
inline constexpr uint32_t SM_NODE_UNUSABLE = 0x10;

// An application group as the storage manager needs it.
struct SmApplGroup {
    std::string storageId;  // the folder of the group's objects in a store
    std::string name;
    uint32_t flags = 0;           // SM_AG_STORAGE_EXIT
    int32_t cachePeriod = 0;      // days; < 0: the cache is not used; > 0: documents are cached
    int32_t migrationPeriod = 0;  // days; < 0: straight to the nodes; >= 0: cache only
};

// Receives one piece of object data, valid for the call only (the request layer's
// CsDataFn): non-zero to go on, 0 to stop. A piece of length 0 ends the object.
using SmDataFn = int (*)(void* context, const unsigned char* data, size_t length);
// A fetch of an object's bytes from its start (the request layer's CsFetchFn).
using SmFetchFn = std::function<int(CsHandle* handle, SmDataFn callback)>;
// A supplier of the data to store, one piece per call (the request layer's CsSourceFn):
// 1 more pieces follow, 0 this is the last (it may be empty), anything else fails.
using SmSourceFn = int (*)(void* context, const char** data, uint32_t* length);

// Fetches an object, or the window (offset, length; length 0: to the end) of it, from the
// first place of *location that holds it: the cache, the storage exit, then the primary
// node (or the secondary one when only it is asked). Places that cannot apply are dropped
// first; *location becomes the place it came from. A trailing '$' of the name is
// dropped. The pieces go to callback(handle->callbackContext, ...), then a piece of
// length 0 ends the object; a callback that answers 0 stops the fetch (CS_OK). A resource
// object that the primary node delivers whole in one piece is copied into the cache when
// the group's cache period is positive. CS_OK; CS_NOT_FOUND with message 110 when no
// place is left, or when the node's volume is not the one named; CS_FAILED (messages 7,
// 10, the store's, or an object that ends before its size); CS_NO_MEMORY; CS_CANCELLED
// when a volume request was refused.
int SmFetchObjectData(CsHandle* handle, const SmApplGroup* group, const CsStorageNode* primary,
                      const CsStorageNode* secondary, uint8_t* location, const void* exitOptions,
                      const char* name, uint64_t windowOffset, uint64_t windowLength, SmDataFn callback);
// SmFetchObjectData without the storage exit.
int SmRetrieveSegment(CsHandle* handle, const SmApplGroup* group, const CsStorageNode* primary,
                      const CsStorageNode* secondary, uint8_t* location, const char* name,
                      uint64_t windowOffset, uint64_t windowLength, SmDataFn callback);
// Reads resource object "<number>" through the request layer's object reader (expanded
// from compression letter `letter`), with SmFetchObjectData as its fetcher; the pieces go
// to callback(handle->callbackContext, ...). The reader's result; CS_FAILED when the
// request layer has lent no reader.
int SmRetrieveByName(CsHandle* handle, const SmApplGroup* group, const CsStorageNode* primary,
                     const CsStorageNode* secondary, uint8_t* location, long resourceNumber, char letter,
                     SmDataFn callback);

// Cache handle and node object that a caller keeps open across operations.
struct SmStoreHandle {
    QelCacheHandle* cache = nullptr;
    QelNodeObject* node = nullptr;
};

// Where an object lives. *outLocation: SM_LOCATE_CACHE, SM_LOCATE_NODE or
// SM_LOCATE_EXIT; outText (may be null) gets the node's five info words as
// "%lu %lu %lu %lu %lu"; outWords (may be null) the words themselves (all 0xFFFFFFFF for
// the exit). The exit is asked before the node, or after it with exitLast set. A store
// handle is used as it is; without one the operation opens and closes its own. CS_OK;
// CS_FAILED with message 110 (no place), 10 (no node store) or 7 (not found).
inline constexpr uint8_t SM_LOCATE_CACHE = 1;
inline constexpr uint8_t SM_LOCATE_NODE = 2;
inline constexpr uint8_t SM_LOCATE_EXIT = 4;
int SmLocateObject(CsHandle* handle, const SmApplGroup* group, const CsStorageNode* primary, uint8_t location,
                   const void* exitOptions, const char* name, int exitLast, uint8_t* outLocation,
                   std::string* outText, uint32_t outWords[5], SmStoreHandle* store);

// Stores an object into the cache by updating it in place: CS_NOT_FOUND when no cache store
// is open (the caller then stores through its secondary handle); otherwise CS_FAILED,
// since the cache keeps no object state to update.
int SmStoreIntoCache(CsHandle* handle, const SmApplGroup* group, const CsStorageNode* primary,
                     const CsStorageNode* secondary, const char* name, SmSourceFn source,
                     void* sourceContext);

// Reads the supplier's data into memory and writes it to the places of *location (pruned
// first: see docs/storage-manager.md): the cache, then the nodes. *outLength (may be
// null) gets the bytes read. A server without a node store is cache-only. CS_OK;
// CS_FAILED with message 109 (no place; CS_NOT_FOUND on a cache-only server), 6 (no
// cache), 10 (no node store) or the store's; CS_NOT_FOUND on a cache-only server when the
// cached object may not be written; CS_NO_MEMORY; the supplier's failure (CS_FAILED).
int SmLoadAndStoreObject(CsHandle* handle, const SmApplGroup* group, const CsStorageNode* primary,
                         const CsStorageNode* secondary, uint8_t* location, const char* name,
                         SmSourceFn source, void* sourceContext, int64_t baseTime, uint64_t* outLength);

// ---------------------------------------------------------------- CONVERT filter

// Pipes an object through an administrator's command. The steps, in this order: 0 makes
// the temporary file (exclusively, mode 0600, in the temporary directory); 1 opens it;
// the data is written through SmConvertDataCallback (step 2); 3 closes it; 4 runs the
// command (its words, then its options' words, then the file name as one last argument,
// never through a shell) and hands its output in pieces of 512 bytes to the output; 5
// deletes the file, whatever happened before. The status is sticky: once non-zero every
// later step except 5 does nothing.
inline constexpr size_t SM_CONVERT_COMMAND_MAX = 260;
struct SmConvertFile {
    void operator()(FILE* file) const;
};
struct SmConvertState {
    int status = CS_OK;
    std::string command;  // the program (at most SM_CONVERT_COMMAND_MAX characters)
    std::string options;  // may be empty
    CsHandle* handle = nullptr;
    SmDataFn output = nullptr;  // the object's pipeline: 0 once it failed
    void* outputContext = nullptr;
    uint64_t owed = 0;  // leading bytes passed to the output unchanged
    std::string tempName;
    std::unique_ptr<FILE, SmConvertFile> file;
    const unsigned char* pending = nullptr;  // the data of step 2
    size_t pendingLength = 0;
};
// Runs step `step` (0-5): the state's status. Results: CS_NO_MEMORY (0); CS_FAILED with
// message 94 (0, 1), 99 (2), 101 (3), 84 (4: not started), 98 (4: read), 85 (4: the
// command failed: its exit status, 128 + the signal for a signal, stands for the errno),
// 86 (5); CS_FAILED when the output fails.
int SmConvertStep(SmConvertState* state, int step);
// Takes one piece of the object: the bytes still owed go to the output unchanged, the
// rest is written to the temporary file (step 2). Always 1.
int SmConvertDataCallback(void* state, const unsigned char* data, size_t length);

// ---------------------------------------------------------------- the request layer's roads

// What the request layer lends the storage manager, which cannot link it: its object
// reader and its storage exit. Empty roads answer CS_FAILED.
struct SmRequestRoads {
    // The object reader (CsReadObjectData): fetch expanded from expandType to
    // compressType, the pieces to callback(context, ...).
    int (*readObject)(CsHandle* handle, const SmFetchFn& fetch, char expandType, char compressType,
                      SmDataFn callback, void* context) = nullptr;
    // Asks the storage exit whether it holds the object: CS_OK when it does, CS_NOT_FOUND
    // when not, else a failure.
    int (*exitLocate)(CsHandle* handle, const SmApplGroup& group, const void* exitOptions,
                      const char* name) = nullptr;
    // Asks the storage exit for the object's bytes: CS_OK with *data (possibly empty),
    // CS_NOT_FOUND, else a failure.
    int (*exitFetch)(CsHandle* handle, const SmApplGroup& group, const void* exitOptions, const char* name,
                     std::vector<uint8_t>* data) = nullptr;
};
void SmSetRequestRoads(SmRequestRoads roads);
