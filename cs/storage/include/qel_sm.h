// qel_sm.h - the storage manager and the cache file layer beneath it.
//
// The cache file layer keeps stored objects as files: in the cache store (one
// root directory per server) and in the node store of the local server (the
// volume directories of its DIRECTORY list, each marked by a "volume" file). An
// object lives at "<root>/data/<storage id>/<DOC|RES>/<name>": RES for names
// whose last character is a digit. Object names and storage ids that would leave
// their folder ('/', "..", control characters) are refused. Layout and choices:
// docs/cache-layer.md.
//
// The cache layer answers a QelCacheResult; the storage manager maps it
// (SmMapResult) into a CsReturnCode.
#pragma once

#include <cstddef>
#include <cstdint>
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
