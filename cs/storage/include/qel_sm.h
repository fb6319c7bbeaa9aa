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
// Cache-layer results: 0 done; 1 cancelled (volume request refused); 2 failed or
// not available in this store; 4 not found (no file, or a volume mismatch); 5 no
// volume directories defined. The storage manager maps them (SmMapResult) into
// CsReturnCode: 3 -> 5, 4 -> 11, 5 -> 10, others but 0 and 1 -> 6.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "qel_cshandle.h"

enum : int {
  QELCFS_OK = 0,
  QELCFS_CANCELLED = 1,
  QELCFS_FAILED = 2,
  QELCFS_NOT_FOUND = 4,
  QELCFS_NO_VOLUMES = 5,
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
// qel.ini is read from the install's configuration directory. 0; 2 when no base
// is found, or out of memory (message 128).
int QelCacheFs_OpenCache(CsHandle* handle, QelCacheStore** store);
// 0; 2 when the store is missing, or out of memory (message 128).
int QelCacheFs_NewHandle(CsHandle* handle, const QelCacheStore* store, QelCacheHandle** cache);
// Frees the store and its root, clears the slot; 0.
int QelCacheFs_FreeHandle(CsHandle* handle, QelCacheStore** slot);
// Frees a cache handle (not the root), clears the slot; 0.
int QelCacheFs_FreeBuffer(CsHandle* handle, QelCacheHandle** slot);

// 0 with *writable set when the owner may write the file; 4 when it does not
// exist; 2 for a bad name or missing handle.
int QelCacheFs_StatObject(CsHandle* handle, const QelCacheHandle* cache, const char* sid, const char* name,
                          int* writable);
// Reads one piece of at most QELCFS_PIECE_MAX bytes from offset into *buffer
// (resized to the piece). *length: the wanted length, 0 for the rest of the file;
// on return the piece's length. *last is set when the piece covers all of the
// wanted length. 0; 4 no such file (no message); 2 with message 95 (seek), 96
// (stat), 97 (offset and length beyond the file) or 98 (read).
int QelCacheFs_ReadObject(CsHandle* handle, const QelCacheHandle* cache, const char* sid, const char* name,
                          std::vector<uint8_t>* buffer, int64_t offset, int64_t* length, int* last);
// Writes a whole object (mode 0600), creating missing folders; the file is
// replaced atomically, so a failure leaves the previous copy. 0; 2 with message
// 94 (open) or 99 (write).
int QelCacheFs_WriteObject(CsHandle* handle, const QelCacheHandle* cache, const char* sid, const char* name,
                           const void* data, size_t length);
// The flush hook: clears *word; 0.
int QelCacheFs_Sync(CsHandle* handle, const QelCacheHandle* cache, const char* sid, const char* name,
                    uint32_t* word);
// Object query, append and node-store write: 2 (not available in these stores).
int QelCacheFs_Unsupported(CsHandle* handle);

// ---------------------------------------------------------------- node store

struct QelVolumeList {  // the volume directories, each ending in '/'
  std::vector<std::string> dirs;
};
struct QelNodeObject {  // an opened node object
  const QelVolumeList* volumes = nullptr;
  std::string label;   // the node NAME's text after its first '.'
  std::string number;  // the node LOGON: the volume number
};

// The DIRECTORY list of the server definition (QelLocal_VolumeDirectories). 0; 5
// when it names no directory; 2 out of memory.
int QelCacheFs_LoadVolumeList(CsHandle* handle, QelVolumeList** slot);
// Frees the list, clears the slot; 0.
int QelCacheFs_FreeVolumeList(CsHandle* handle, QelVolumeList** slot);
// 0; 2 when the list, the slot, the node name or the logon is missing.
int QelCacheFs_OpenObject(CsHandle* handle, const QelVolumeList* volumes, QelNodeObject** object,
                          const char* user, const char* nodeName, const char* nodeLogon,
                          const char* nodePassword);
// Frees the object, clears the slot; 0.
int QelCacheFs_CloseObject(CsHandle* handle, QelNodeObject** object);
// words[0] the volume number, words[1..4] 0; 0.
int QelCacheFs_ObjectSize(CsHandle* handle, const QelNodeObject* object, uint32_t words[5]);
// As QelCacheFs_ReadObject, from the node's volume directory: with one directory
// that one, else the volume number n (1..count) picks the n-th (outside: 4). The
// volume is checked first (QelLocal_ReadVolume, qel_local.h). 0, 1, 4; 2 without a
// message.
int QelCacheFs_ReadLocalObject(CsHandle* handle, const QelNodeObject* object, const char* sid,
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

// Cache-layer result to CsReturnCode: 0, 1 stay; 3 -> 5; 4 -> 11; 5 -> 10; else 6.
int SmMapResult(int cacheResult);
// Opens the handle's stores: the cache root (bit SM_CACHE_OPEN) and the volume
// list (bit SM_NODES_OPEN; no DIRECTORY is no failure). 0, 9, or the mapped
// failure (what was opened is closed again).
int SmOpenStorage(CsHandle* handle);
// Closes both stores and frees the record: 0, or the first mapped failure; 0
// without a record.
int SmCloseStorage(CsHandle* handle);
// The handle's storage record, or null outside SmOpenStorage/SmCloseStorage.
SmStorage* SmGetStorage(CsHandle* handle);
