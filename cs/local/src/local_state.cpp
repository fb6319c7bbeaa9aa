// local_state.cpp - set-up, shut-down and the bracket of local requests.
#include "local_state.h"

#include <thread>

#include "arc_platform.h"
#include "keyed_file.h"
#include "qel_cshandle.h"

namespace qel::local::detail {

namespace {

constexpr const char* kTableNames[QELLOCAL_TBL_COUNT] = {
    "ag",       "ag2fol", "agfld",    "agfldal", "agperms",  "ann",   "app",  "appusr",
    "folagapp", "folfld", "folfldus", "fol",     "folperms", "group", "note", "res",
    "seg",      "snode",  "ss",       "system",  "ugid",     "user"};

constexpr const char* kDirNames[QELLOCAL_DIR_COUNT] = {"",       "volume", "data/", "view/",
                                                       "index/", "load/",  "note/", "table/"};

// The longest volume label taken from the "volume" file.
constexpr size_t kVolumeLabelMax = 1023;

// Bookkeeping of the outermost Open: which thread holds the bracket, and
// whether the connection's volume record is ours to clear again.
struct Owner {
    std::thread::id thread;
    CsHandle* labelledHandle = nullptr;
};

Owner& TheOwner() {
    static Owner owner;
    return owner;
}

void ForgetEverything(LocalState& s) {
    ForgetDocQuery();
    s = LocalState{};
}

std::optional<std::string> ReadVolumeLabel(const std::string& directory) {
    std::string content;
    if (ArcOS_ReadFile((directory + "volume").c_str(), &content) != 0) return std::nullopt;
    std::string label = content.substr(0, content.find('\n'));
    // Only a line end is dropped: a last line without one keeps its last character.
    if (!label.empty() && label.back() == '\r') label.pop_back();
    if (label.size() > kVolumeLabelMax) label.resize(kVolumeLabelMax);
    return label;
}

int BuildPaths(LocalState& s) {
    for (int i = 0; i < QELLOCAL_DIR_COUNT; ++i) s.dirs[size_t(i)] = s.directory + kDirNames[i];
    for (int i = 0; i < QELLOCAL_TBL_COUNT; ++i) {
        s.tables[size_t(i)] = s.dirs[QELLOCAL_DIR_TABLE] + kTableNames[i] + ".tbl";
    }
    TableFile system;
    if (system.Load(s.tables[QELLOCAL_TBL_SYSTEM]) != CS_OK) return CS_FAILED;
    int32_t codePage = 0;
    if (system.Int32("SYSTEM", "CODEPAGE", &codePage, CS_FAILED) != CS_OK) return CS_FAILED;
    s.codePage = codePage;
    s.pathsBuilt = true;
    return CS_OK;
}

int LoadTablesLocked(CsHandle* handle) {
    LocalState& s = State();
    if (s.directory.empty()) return CS_FAILED;
    s.yield = handle != nullptr ? handle->yield : nullptr;
    std::string label = s.volumeLabel ? *s.volumeLabel : handle != nullptr ? handle->volume.label : "";
    if (s.volumeLabel || !label.empty()) {
        QelVolumeResult rc = QelLocal_ReadVolume(handle, s.directory.c_str(), label.c_str(), nullptr);
        if (rc == QELVOL_REFUSED) return CS_CANCELLED;
        if (rc != QELVOL_OK) return CS_FAILED;
    }
    if (s.pathsBuilt) return CS_OK;
    return BuildPaths(s);
}

}  // namespace

std::recursive_mutex& BracketMutex() {
    static std::recursive_mutex mutex;
    return mutex;
}

LocalState& State() {
    static LocalState state;
    return state;
}

std::atomic<int>& CancelFlag() {
    static std::atomic<int> flag{0};
    return flag;
}

int LoadTable(int table, TableFile* file) {
    const LocalState& s = State();
    if (!s.pathsBuilt || table < 0 || table >= QELLOCAL_TBL_COUNT) return CS_FAILED;
    return file->Load(s.tables[size_t(table)]);
}

std::optional<std::string> FileInFolder(int dir, const std::string& name) {
    const LocalState& s = State();
    if (!s.pathsBuilt || name.empty() || name.find('/') != std::string::npos ||
        name.find("..") != std::string::npos) {
        return std::nullopt;
    }
    for (unsigned char c : name) {
        if (c < 0x20 || c == 0x7F) return std::nullopt;
    }
    return s.dirs[size_t(dir)] + name;
}

void DebugDelay(const char* name) {
    if (std::optional<std::string> sleep = ArcOS_GetEnv(name)) {
        if (std::optional<int64_t> seconds = ParseNumber(*sleep, 0, 3600)) ArcOS_Sleep(unsigned(*seconds));
    }
}

std::string Row(int64_t a) { return std::to_string(a); }
std::string Row(int64_t a, int64_t b) { return Row(a) + "|" + Row(b); }
std::string Row(int64_t a, int64_t b, int64_t c) { return Row(a, b) + "|" + Row(c); }

}  // namespace qel::local::detail

using namespace qel::local::detail;

int QelLocal_Open(CsHandle* handle) {
    if (handle == nullptr) return CS_FAILED;
    BracketMutex().lock();
    LocalState& s = State();
    if (s.openCount > 0) {
        ++s.openCount;
        return CS_OK;
    }
    DebugDelay("QEL_SLEEP_DB");
    int rc = CS_FAILED;
    std::vector<std::string> volumes = QelLocal_VolumeDirectories(handle);
    if (!volumes.empty()) {
        s.directory = volumes.front();
        if (handle->volume.label.empty()) {
            s.volumeLabel = ReadVolumeLabel(s.directory);
            if (s.volumeLabel && !s.volumeLabel->empty()) {
                handle->volume.label = *s.volumeLabel;
                TheOwner().labelledHandle = handle;
            }
        }
        rc = LoadTablesLocked(handle);
        if (rc == CS_OK) {
            const int started = QelKf_Start(1024, 33, 32);
            if (started != 0 && started != 125) rc = CS_FAILED;
        }
    }
    CancelFlag().store(0);
    if (rc != CS_OK) {
        if (TheOwner().labelledHandle != nullptr) handle->volume.label.clear();
        TheOwner() = Owner{};
        ForgetEverything(s);
        BracketMutex().unlock();
        return rc;
    }
    s.openCount = 1;
    TheOwner().thread = std::this_thread::get_id();
    return CS_OK;
}

int QelLocal_Close(CsHandle*) {
    LocalState& s = State();
    Owner& owner = TheOwner();
    // Only the thread that opened the archive holds the bracket mutex.
    if (s.openCount == 0 || owner.thread != std::this_thread::get_id()) return CS_OK;
    int rc = CS_OK;
    if (--s.openCount == 0) {
        if (owner.labelledHandle != nullptr) owner.labelledHandle->volume.label.clear();
        owner = Owner{};
        ForgetEverything(s);
        CancelFlag().store(0);
        const int stopped = QelKf_Stop();
        if (stopped != 0 && stopped != 133 && stopped != 162 && stopped != 410) rc = CS_FAILED;
    }
    BracketMutex().unlock();
    return rc;
}

int QelLocal_LoadTables(CsHandle* handle) {
    std::lock_guard lock(BracketMutex());
    int rc = LoadTablesLocked(handle);
    CancelFlag().store(0);
    return rc;
}

int QelLocal_EndRequest(CsHandle*, int status) {
    std::lock_guard lock(BracketMutex());
    State().yield = nullptr;
    return status;
}

int QelLocal_PassStatus(CsHandle*, int status) { return status; }

int QelLocal_SetCancel(CsHandle*, int flag) {
    CancelFlag().store(flag != 0 ? 1 : 0);
    return flag;
}

int QelLocal_NotSupported(CsHandle*) { return CS_FAILED; }

int QelLocal_NoData(CsHandle*) { return CS_NOT_FOUND; }

std::string QelLocal_TablePath(int table) {
    std::lock_guard lock(BracketMutex());
    const LocalState& s = State();
    if (!s.pathsBuilt || table < 0 || table >= QELLOCAL_TBL_COUNT) return {};
    return s.tables[size_t(table)];
}

std::string QelLocal_DirPath(int dir) {
    std::lock_guard lock(BracketMutex());
    const LocalState& s = State();
    if (!s.pathsBuilt || dir < 0 || dir >= QELLOCAL_DIR_COUNT) return {};
    return s.dirs[size_t(dir)];
}

int QelLocal_CodePage() {
    std::lock_guard lock(BracketMutex());
    return State().codePage;
}
