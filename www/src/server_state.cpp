// Saving the request's archive session to the cache directory and rebuilding it.
#include "qel_www.h"

#include <cerrno>
#include <limits>
#include <vector>

#include "arc_platform.h"
#include "qel_client.h"

namespace {

#define STATE_TRACE(config, ...)                                    \
    do {                                                            \
        if ((config)->traceOn) QelWWW_Trace((config), __VA_ARGS__); \
    } while (0)

// A failed write does not fail the action: the reply says so and the next request logs on.
void ReportWriteFailure(const QelWWWConfig* config, QelWWWSession* session, const std::string& path,
                        int error) {
    QelWWWInsert insert{path.c_str(), QELWWW_INSERT_TEXT};
    std::string text;
    int number = 0;
    QelWWW_FormatMessage(QELWWW_MSG_FILE_OPEN, 1, &insert, &text, &number);
    STATE_TRACE(config, "QelWWW_SaveServerState: %s, errno = %d", text.c_str(), error);
    if (!session->response) return;
    session->response->PrintText("%s<br>\n", QelWWW_HtmlEscape(text).c_str());
    session->response->PrintText("errno: %d\n", error);
}

// A key file that cannot be used is said with its own message; one that cannot be read or
// made is a failed write of the session file it was wanted for (the trace names the key).
void ReportKeyFailure(const QelWWWConfig* config, QelWWWSession* session, int error) {
    const std::string path = QelWWW_StateKeyPath(config);
    if (error != EBADMSG) {
        STATE_TRACE(config, "QelWWW_SaveServerState: key file '%s' not read or made, errno = %d",
                    path.c_str(), error);
        ReportWriteFailure(config, session, QelWWW_StateFilePath(config, session, "srv"), error);
        return;
    }
    QelWWWInsert insert{path.c_str(), QELWWW_INSERT_TEXT};
    std::string text;
    int number = 0;
    QelWWW_FormatMessage(QELWWW_MSG_STATE_KEY, 1, &insert, &text, &number);
    STATE_TRACE(config, "QelWWW_SaveServerState: %s", text.c_str());
    if (session->response) session->response->PrintText("%s<br>\n", QelWWW_HtmlEscape(text).c_str());
}

// Writes a state file unless it holds the blob already (modified at notBefore or later);
// *written says whether it was written.
bool WriteState(const QelWWWConfig* config, QelWWWSession* session, const std::string& path,
                const std::vector<unsigned char>& blob, int64_t notBefore, bool* written) {
    if (path.empty() || blob.empty()) {
        ReportWriteFailure(config, session, path, EINVAL);
        return false;
    }
    if (!QelWWW_UpdateCacheFile(config, session, path.c_str(), blob.data(), blob.size(), notBefore,
                                written)) {
        ReportWriteFailure(config, session, path, errno);
        return false;
    }
    return true;
}

// User ids compare upper-cased unless the server's user ids are case sensitive.
std::string FoldUser(std::string text, bool caseSensitive) {
    if (!caseSensitive) {
        for (char& c : text) {
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return text;
}

// The user in a comma-separated list (entries compared exactly after folding).
bool ListedUser(const std::string& list, const std::string& user, bool caseSensitive) {
    const std::string wanted = FoldUser(user, caseSensitive);
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(',', start);
        if (end == std::string::npos) end = list.size();
        if (FoldUser(list.substr(start, end - start), caseSensitive) == wanted) return true;
        start = end + 1;
    }
    return false;
}

// A state file is only this request's when it was saved for its server and user: the
// blob of another logon put under this name is as good as missing.
bool SavedForThisLogon(const QelWWWSession* session) {
    const ClientSession* client = session->client;
    const bool caseSensitive = Session_ServerFlag0(session->client);
    return session->server == client->handle.serverName &&
           FoldUser(client->user.userId, caseSensitive) == FoldUser(session->user, caseSensitive);
}

int Refuse(const QelWWWConfig* config, QelWWWSession* session, const char* why, bool endLogon) {
    STATE_TRACE(config, "QelWWW_RestoreServerState: %s", why);
    if (session->client != nullptr) {
        // Only a timed-out logon is ended at the server; a request that merely failed the
        // checks (a stranger's password) lets the rebuilt session go without touching it.
        Session_Logoff(session->client, endLogon ? 0 : 1);
        session->client = nullptr;
    }
    return 3;
}

// The .srv and .fnm files of one user are one unit: saved, read and removed under a lock
// file of that user, "<S>_<P>_<U>.lck" (class 4, never purged). The lock file lives as
// long as the unit: whoever releases it while neither file exists removes it, and a
// waiter on a removed lock file takes the new one (ArcOS_LockPath).
class StateUnit {
public:
    StateUnit(const QelWWWConfig* config, QelWWWSession* session)
        : config_(config),
          srvPath_(QelWWW_StateFilePath(config, session, "srv")),
          fnmPath_(QelWWW_StateFilePath(config, session, "fnm")) {
        if (srvPath_.empty() || fnmPath_.empty()) {
            errno = EINVAL;
            return;
        }
        lockPath_ = srvPath_.substr(0, srvPath_.size() - 3) + "lck";
        fd_ = ArcOS_LockPath(lockPath_.c_str());
        if (fd_ < 0) {
            int error = errno;
            STATE_TRACE(config_, "state files of '%s' not locked, errno = %d", lockPath_.c_str(), error);
            errno = error;
        }
    }
    ~StateUnit() {
        if (fd_ < 0) return;
        int error = errno;
        ArcOSStat status;
        const bool gone = ArcOS_Stat64(srvPath_.c_str(), &status) != 0 && errno == ENOENT &&
                          ArcOS_Stat64(fnmPath_.c_str(), &status) != 0 && errno == ENOENT;
        ArcOS_UnlockPath(fd_, lockPath_.c_str(), gone);
        errno = error;
    }
    StateUnit(const StateUnit&) = delete;
    StateUnit& operator=(const StateUnit&) = delete;

    bool Locked() const { return fd_ >= 0; }
    const std::string& SrvPath() const { return srvPath_; }
    const std::string& FnmPath() const { return fnmPath_; }

private:
    const QelWWWConfig* config_;
    std::string srvPath_;
    std::string fnmPath_;
    std::string lockPath_;
    int fd_ = -1;
};

// Removes a cache file; one that is not there is removed already.
bool RemoveIfPresent(const QelWWWConfig* config, QelWWWSession* session, const std::string& path) {
    return QelWWW_RemoveCacheFile(config, session, path.c_str()) || errno == ENOENT;
}

// The open folder goes after its unit: a .fld older than the .srv is never restored, so
// after a new .srv it is written whatever it holds, and an unchanged one is kept only while
// it is not older than the .srv.
bool SaveFolder(const QelWWWConfig* config, QelWWWSession* session, const OpenFolder* folder,
                bool unitWritten) {
    const std::string path = QelWWW_FolderFilePath(config, session);
    std::vector<unsigned char> blob;
    if (path.empty() || State_SaveFolder(&blob, folder) == 0) {
        ReportWriteFailure(config, session, path, EINVAL);
        return false;
    }
    int64_t notBefore = std::numeric_limits<int64_t>::max();
    ArcOSStat srv;
    if (!unitWritten && ArcOS_Stat64(QelWWW_StateFilePath(config, session, "srv").c_str(), &srv) == 0)
        notBefore = srv.mtime;
    return WriteState(config, session, path, blob, notBefore, nullptr);
}

// *written says whether either file of the unit was written (an unchanged unit is not).
bool SaveUnit(const QelWWWConfig* config, QelWWWSession* session, bool* written) {
    ClientSession* client = session->client;
    std::string key;
    if (int rc = QelWWW_StateKey(config, true, &key); rc != 0) {
        ReportKeyFailure(config, session, rc);
        return false;
    }
    std::vector<unsigned char> srvBlob;
    std::vector<unsigned char> fnmBlob;
    // A hash that matches already stays: a new salt would change the file on every request.
    if ((Session_CheckPasswordKeyed(client, session->password.c_str(), key) != 0 &&
         Session_SetPasswordKeyed(client, session->password.c_str(), key) != 0) ||
        State_SaveSession(client, &srvBlob) == 0) {
        ReportWriteFailure(config, session, QelWWW_StateFilePath(config, session, "srv"), EINVAL);
        return false;
    }
    if (State_SaveFolderList(client, &fnmBlob) == 0) {
        ReportWriteFailure(config, session, QelWWW_StateFilePath(config, session, "fnm"), EINVAL);
        return false;
    }
    StateUnit unit(config, session);
    if (!unit.Locked()) {
        ReportWriteFailure(config, session, unit.SrvPath(), errno);
        return false;
    }
    // A new session file takes its folder list with it, as one unit; an unchanged one
    // leaves the list to its own comparison.
    bool srvWritten = false;
    bool fnmWritten = false;
    if (WriteState(config, session, unit.SrvPath(), srvBlob, std::numeric_limits<int64_t>::min(),
                   &srvWritten) &&
        WriteState(config, session, unit.FnmPath(), fnmBlob,
                   srvWritten ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min(),
                   &fnmWritten)) {
        *written = srvWritten || fnmWritten;
        return true;
    }
    // Neither half of a unit is any use alone: the next request logs on again.
    int error = errno;
    RemoveIfPresent(config, session, unit.SrvPath());
    RemoveIfPresent(config, session, unit.FnmPath());
    errno = error;
    return false;
}

int RestoreUnit(const QelWWWConfig* config, QelWWWSession* session, bool checkCacheUsers,
                int64_t* srvModified) {
    if (session->client != nullptr) {
        Session_Logoff(session->client, 1);
        session->client = nullptr;
    }
    if (QelWWW_StateFilePath(config, session, "srv").empty())
        return Refuse(config, session, "no server or user", false);
    std::optional<std::string> srv;
    std::optional<std::string> fnm;
    {
        StateUnit unit(config, session);
        if (!unit.Locked()) return Refuse(config, session, "state files not locked", false);
        // Read without touching it: its age stays that of the logon that wrote it.
        srv = QelWWW_ReadCacheFile(config, session, unit.SrvPath().c_str(), srvModified, nullptr, false);
        const bool srvMissing = !srv && errno == ENOENT;
        fnm = QelWWW_ReadCacheFile(config, session, unit.FnmPath().c_str(), nullptr, nullptr, false);
        const bool fnmMissing = !fnm && errno == ENOENT;
        // Half a unit (a save or removal that did not finish, a purge) rebuilds nothing
        // and would refuse every later request: it goes.
        if ((srv && fnmMissing) || (fnm && srvMissing)) {
            RemoveIfPresent(config, session, srv ? unit.SrvPath() : unit.FnmPath());
            return Refuse(
                config, session,
                srv ? "no folder names, server state removed" : "no server state, folder names removed",
                false);
        }
    }
    if (!srv) return Refuse(config, session, "no server state", false);
    session->client = State_RestoreSession(reinterpret_cast<const unsigned char*>(srv->data()), srv->size(),
                                           config->codePageContext);
    if (session->client == nullptr) return Refuse(config, session, "server state refused", false);
    if (!SavedForThisLogon(session)) return Refuse(config, session, "server state of another logon", false);
    if (Session_IsTimedOut(session->client)) return Refuse(config, session, "logon timed out", true);
    std::string key;
    if (int rc = QelWWW_StateKey(config, false, &key); rc != 0) {
        STATE_TRACE(config, "QelWWW_RestoreServerState: key file '%s' not usable, errno = %d",
                    QelWWW_StateKeyPath(config).c_str(), rc);
        return Refuse(config, session, "no key for the password hash", false);
    }
    if (Session_CheckPasswordKeyed(session->client, session->password.c_str(), key) != 0)
        return Refuse(config, session, "password does not match", false);
    if (checkCacheUsers && !session->cacheUserChecked &&
        !ListedUser(config->cacheUserIds, session->user, Session_ServerFlag0(session->client)))
        return Refuse(config, session, "user not in CacheUserIDs", false);

    if (!fnm) return Refuse(config, session, "no folder names", false);
    if (State_RestoreFolderList(session->client, reinterpret_cast<const unsigned char*>(fnm->data()),
                                fnm->size()) < 0)
        return Refuse(config, session, "folder names refused", false);
    return 0;
}

}  // namespace

bool QelWWW_SaveServerState(const QelWWWConfig* config, QelWWWSession* session, unsigned what,
                            const OpenFolder* folder) {
    if (config == nullptr || session == nullptr || session->client == nullptr) return false;
    bool unitWritten = false;
    if ((what & QELWWW_STATE_SERVER) && !SaveUnit(config, session, &unitWritten)) return false;
    if ((what & QELWWW_STATE_FOLDER) && folder != nullptr)
        return SaveFolder(config, session, folder, unitWritten);
    return true;
}

int QelWWW_RestoreServerState(const QelWWWConfig* config, QelWWWSession* session, bool checkCacheUsers) {
    if (config == nullptr || session == nullptr) return 3;
    int64_t srvModified = 0;
    return RestoreUnit(config, session, checkCacheUsers, &srvModified);
}

int QelWWW_RestoreServerState(const QelWWWConfig* config, QelWWWSession* session, OpenFolder** folder,
                              bool checkCacheUsers) {
    if (folder != nullptr) *folder = nullptr;
    if (config == nullptr || session == nullptr) return 3;
    int64_t srvModified = 0;
    if (int rc = RestoreUnit(config, session, checkCacheUsers, &srvModified); rc != 0 || folder == nullptr)
        return rc;
    const std::string path = QelWWW_FolderFilePath(config, session);
    if (path.empty()) return 2;
    int64_t fldModified = 0;
    std::optional<std::string> fld =
        QelWWW_ReadCacheFile(config, session, path.c_str(), &fldModified, nullptr, false);
    if (!fld) {
        STATE_TRACE(config, "QelWWW_RestoreServerState: no open folder '%s'", session->folder.c_str());
        return 2;
    }
    // Saved before the latest logon: the folder may have changed since.
    if (fldModified < srvModified) {
        STATE_TRACE(config, "QelWWW_RestoreServerState: open folder older than the server state");
        return 2;
    }
    *folder = State_RestoreFolder(session->client, reinterpret_cast<const unsigned char*>(fld->data()),
                                  fld->size());
    if (*folder == nullptr) {
        STATE_TRACE(config, "QelWWW_RestoreServerState: open folder refused");
        return 2;
    }
    return 0;
}

bool QelWWW_DeleteServerState(const QelWWWConfig* config, QelWWWSession* session) {
    if (config == nullptr || session == nullptr || session->server.empty() || session->user.empty())
        return false;
    StateUnit unit(config, session);
    if (!unit.Locked()) return false;
    // The session file first: while it cannot go the unit stays whole.
    if (!RemoveIfPresent(config, session, unit.SrvPath())) return false;
    if (!RemoveIfPresent(config, session, unit.FnmPath())) return false;
    if (!session->folder.empty() && !RemoveIfPresent(config, session, QelWWW_FolderFilePath(config, session)))
        return false;
    return true;
}
