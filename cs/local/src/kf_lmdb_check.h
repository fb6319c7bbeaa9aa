// kf_lmdb_check.h - a check of an index file's page structure before LMDB reads it.
//
// LMDB trusts its pages: a damaged branch or leaf page makes it read or write out of
// bounds. Before the first use in a process every page the committed state reaches
// is read with pread (a damaged file cannot fault this reader) and checked: page
// numbers within the file, node offsets and sizes within their pages, tree depths
// as the database records say, overflow runs and free-list entries within the file.
#pragma once

#include <lmdb.h>

#include <cstdint>

namespace qel::local::detail::kf {

// A QELKF_ERR_ value: NONE when both meta pages of the file at path are sound, so
// that LMDB may open it (it takes the page size and the map from them).
uint16_t CheckIndexHeader(const char* path);

// A QELKF_ERR_ value: NONE when the pages of txn's snapshot are sound.
uint16_t CheckIndexPages(MDB_env* env, MDB_txn* txn);

}  // namespace qel::local::detail::kf
