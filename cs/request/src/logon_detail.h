// Internals of the logon operations and the folder list, shared by their source files.
#pragma once

#include <cstdint>
#include <string>

#include "qel_cs.h"
#include "qel_cswire.h"
#include "qel_local.h"

namespace cslogon {

// The longest user id or password: a 21-byte field with its terminator.
inline constexpr size_t kIdMax = CS_USER_ID_SIZE - 1;

inline bool IsLocal(const CsHandle* handle) { return handle->def.kind == CS_KIND_LOCAL; }

// Client type 6 with flag word 2 bit 0x80 skips the exit, the password and the expiry.
inline bool IsExempt(const CsHandle* handle) {
    return handle->clientType == 6 && (handle->def.flags2 & CS_F2_UNIFIED_TXMON);
}

// True when the text (null: empty) fits a field of `size` bytes with its terminator.
bool Fits(const char* text, size_t size);
// A copy of the text (null: empty), upper-cased unless caseSensitive.
std::string CaseCopy(const char* text, bool caseSensitive);

// The local server's system parameters (a local request of its own): 0 or its failure.
int ReadLocalSystemParms(CsHandle* handle, CsSystemParms* parms);

// Checks a password against a stored SHA-512 ("$6$") or DES crypt hash (an empty hash
// accepts only the empty password; any other kind of hash nothing). 0 match, 13
// mismatch, 3 a text that does not convert to code page 819.
int CheckPassword(CsHandle* handle, const std::string& given, const char* storedHash);
// The SHA-512 crypt hash of a password with a fresh random salt, in the handle's code
// page: 0, 3, 6.
int MakePasswordHash(CsHandle* handle, const std::string& password, std::string* hash);

// "IN (user,group,...)" of the user's groups: 0 or the local server's failure.
int BuildGroupList(CsHandle* handle, int32_t userNumber, std::string* list);

// The user row as a user record (its password field empty: the hash stays in the row),
// and the record's texts back into a row (false when a text of the record is not
// terminated within its field).
void RowToRecord(const QelLocalUser& row, CsUserRecord* record);
bool RecordTextsToRow(const CsUserRecord& record, QelLocalUser* row);

// The logon on a local handle (inside the caller's enter); the record gets the row.
int LocalLogon(CsHandle* handle, const char* userId, const char* password, CsUserRecord* out);
// The password change on a local handle (inside the caller's enter).
int LocalChangePassword(CsHandle* handle, CsUserRecord* user, const char* newPassword, uint32_t* reason);

// User types that see every folder (unless the client flags ask for strict checks).
inline constexpr uint16_t kSeesAllFolders = 0x04 | 0x10;
inline constexpr uint32_t kClientStrictAdmin = 0x01;
inline bool SeesAllFolders(const CsHandle* handle) {
    return handle->logon != nullptr && (handle->logon->userType & kSeesAllFolders) &&
           !(handle->clientFlags & kClientStrictAdmin);
}
// 0 when the logged-on user may open the local folder, 13 when not (no logon, no
// permission row with any of the bits 0x07), else the local server's failure.
int FolderPermission(CsHandle* handle, int32_t folder);

// Issues a logon message with the source name and line as the last inserts. Messages
// never change the operation's result.
void IssueLogonMessage(CsHandle* handle, int row, int line);
void IssueUserMessage(CsHandle* handle, int row, const char* userId, int32_t number, int line);

// Suspends the inactivity time-out around the enter of logoff and disconnect, so that
// a timed-out or idle logon can still be ended; Enter answers the enter's result.
class TimeoutSuspension {
public:
    explicit TimeoutSuspension(CsHandle* handle) : handle_(handle) {}
    int Enter();
    bool WasTimedOut() const { return timedOut_; }

private:
    CsHandle* handle_;
    bool timedOut_ = false;
};

}  // namespace cslogon
