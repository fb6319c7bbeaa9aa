// local_state.h - the process-wide state of the local file server.
//
// One local request runs at a time: the bracket mutex is held from QelLocal_Open
// to QelLocal_Close, and every request takes it again (it is recursive), so a
// thread that did not open the archive waits for the one that did.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "qel_local.h"
#include "table_file.h"

namespace qel::local::detail {

// Position in a list built by a "first" request.
template <typename T>
struct Cursor {
    std::vector<T> items;
    size_t next = 0;
    void Reset(std::vector<T> list) {
        items = std::move(list);
        next = 0;
    }
    const T* Take() { return next < items.size() ? &items[next++] : nullptr; }
};

struct LocalState {
    int openCount = 0;
    std::string directory;                   // the local directory, ending in '/'
    std::optional<std::string> volumeLabel;  // the connection's label, read from "volume"
    bool pathsBuilt = false;
    std::array<std::string, QELLOCAL_DIR_COUNT> dirs;
    std::array<std::string, QELLOCAL_TBL_COUNT> tables;
    int codePage = 0;
    int (*yield)() = nullptr;

    Cursor<std::string> users;
    Cursor<int32_t> groups;
    Cursor<int32_t> appGroups;
    Cursor<int32_t> apps;
    int32_t appsGroup = 0;
    Cursor<int32_t> folders;
    Cursor<int32_t> folderApps;
    int32_t folderAppsGroup = 0;
    Cursor<QelLocalSegment> segments;
    int32_t segmentsGroup = 0;
    Cursor<int32_t> storageSets;
    Cursor<QelLocalNote> notes;
    Cursor<QelLocalNamedQuery> queries;
};

std::recursive_mutex& BracketMutex();
LocalState& State();
std::atomic<int>& CancelFlag();

// Held by every request: the bracket mutex, and whether the paths exist.
class Request {
public:
    Request() : lock_(BracketMutex()) {}
    bool Ready() const { return State().pathsBuilt; }
    LocalState& state() const { return State(); }

private:
    std::unique_lock<std::recursive_mutex> lock_;
};

// Sleeps the seconds (0-3600) that the environment variable `name` holds, when it is
// set: debugging delays of the local server's steps.
void DebugDelay(const char* name);

// Drops the document query and the cached segment indexes.
void ForgetDocQuery();

// Loads a table of the archive into *table: CS_OK, or CS_FAILED.
int LoadTable(int table, TableFile* file);
// A path in a folder of the archive for a file name read from a table; none when
// the name is empty or would leave the folder.
std::optional<std::string> FileInFolder(int dir, const std::string& name);
// "%ld", "%ld|%ld", ...: section names of rows.
std::string Row(int64_t a);
std::string Row(int64_t a, int64_t b);
std::string Row(int64_t a, int64_t b, int64_t c);

}  // namespace qel::local::detail
