// Local file server: the archive's tables served in process, and the
// WHERE-clause parser and LIKE matcher of its document search.
//
// A local archive is a directory of INI-form table files (docs/archive.md).
// Every request takes the connection's CsHandle first and returns a
// CsReturnCode (qel_cs.h): CS_OK; CS_CANCELLED; CS_FAILED for a failure;
// CS_NO_MEMORY; CS_NOT_FOUND when nothing is found or a list has ended;
// CS_NOT_AUTHORISED; CS_READ_BACK_DIFFERS when a value did not read back as written.
// Requests run between QelLocal_Open and QelLocal_Close, which hold a
// process-wide mutex: one local request at a time. Writes also hold a file
// lock in the local directory, so processes sharing an archive stay apart.
//
// A folder search on the local archive arrives as the WHERE text that the
// client library writes ("WHERE ", then conditions such as
// NAME = 'O''Brien', AMOUNT BETWEEN 1.50 AND 9.00, CITY IN ( 'A' , 'B' ),
// joined by " AND " or " OR ", with "(" and ")" as separate words).
// The segment index reads it whole and evaluates it as SQL would (docs/index.md).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "qel_cshandle.h"

// ---------------------------------------------------------------- conditions

inline constexpr int QELSQL_MAX_FIELDS = 32;  // entries of the kind and name tables
inline constexpr int QELSQL_NAME_SIZE = 19;   // bytes of one name table entry

// Operator codes of a condition.
enum : int {
    QELSQL_OP_EQ = 2,   // "="; "<>" is stored as "=" with the negated flag toggled
    QELSQL_OP_NE = 3,   // "<>" as read, never stored
    QELSQL_OP_NOT = 4,  // "NOT" as read, never stored
    QELSQL_OP_LIKE = 5,
    QELSQL_OP_BETWEEN = 6,  // inclusive at both ends
    QELSQL_OP_LT = 7,
    QELSQL_OP_LE = 8,
    QELSQL_OP_GT = 9,
    QELSQL_OP_GE = 10,
    QELSQL_OP_IN = 11,
    QELSQL_OP_LIKE_ALL = 12,  // LIKE '%' or LIKE '*': every row
    QELSQL_OP_OTHER = 13      // no operator word
};

// Connectors reported behind a condition.
enum : int { QELSQL_AND = 0, QELSQL_OR = 1 };

// Field kinds of the caller's kind table.
enum : int {
    QELSQL_FIELD_TEXT = 0,
    QELSQL_FIELD_DOUBLE = 1,
    QELSQL_FIELD_LONG = 2,
    QELSQL_FIELD_SHORT = 3  // read as a long value
};

// Value kinds.
enum : int { QELSQL_VALUE_TEXT = 0, QELSQL_VALUE_DOUBLE = 1, QELSQL_VALUE_LONG = 2 };

struct QelSql_Value {
    int kind = QELSQL_VALUE_TEXT;
    std::string text;  // kind 0
    double dbl = 0.0;  // kind 1
    int32_t lng = 0;   // kind 2
};

// One condition of a WHERE text: field, operator, negation and its values.
class QelSql_Condition {
public:
    virtual ~QelSql_Condition();

    std::optional<QelSql_Value> value1;  // the value; the raw list for IN
    std::optional<QelSql_Value> value2;  // BETWEEN's upper end, else none
    int field = -1;                      // 0-31, or -1 when the field is unknown
    int strategy = 0;                    // set by the segment index's search
    int16_t negated = 0;
    int op = QELSQL_OP_OTHER;
};

// Reads the next condition at *cursor (a NUL-terminated WHERE text) and moves
// *cursor behind it and behind its connector; *connector gets 0 for AND, 1 for
// OR, and is left alone when the text ends after the condition.
// fieldKinds: 32 field kinds (none: every field is text). fieldNames: 32 names
// of 19 bytes, looked up ignoring case; without it a field is given by its
// number. A field not found gives field -1; the caller must reject it.
// Returns none when cursor is null or only blanks remain (then *cursor is moved
// to the end), and none with *cursor left unchanged when the clause is malformed
// or truncated: the caller tells the two apart by **cursor != '\0'.
std::unique_ptr<QelSql_Condition> QelSql_ParseCondition(const char** cursor, int* connector,
                                                        const int* fieldKinds,
                                                        const char (*fieldNames)[QELSQL_NAME_SIZE]);

// Operator code of a word, compared case-sensitively; 13 for any other word.
int QelSql_OperatorCode(const char* word);

// Splits the raw list of an IN condition ("'A' , 'O''B'" or "1 , 2") into
// values of the field's kind: quoted items lose their quotes and doubled
// quotes become one; numbers must be whole numbers of the kind.
// Returns 0, or -1 when the list is malformed (then *values is left empty).
// An empty list gives 0 and no values.
int QelSql_SplitList(std::string_view list, int fieldKind, std::vector<QelSql_Value>* values);

// ---------------------------------------------------------------- LIKE

// "%" and "*" match any run of characters; a run of n "_" or "?" matches 0 to
// n characters; every other character matches itself, case included.
enum : int { QELLIKE_END = 0, QELLIKE_LITERAL = 1, QELLIKE_SINGLE = 2, QELLIKE_ANY = 3 };

struct QelLike_Step {
    int kind = QELLIKE_END;
    char literal = 0;  // QELLIKE_LITERAL
    size_t count = 0;  // QELLIKE_SINGLE: the most characters the run takes
};

// Fills *steps with the steps of pattern, ending with one QELLIKE_END step.
// The table grows with the pattern.
void QelLike_Compile(std::vector<QelLike_Step>* steps, std::string_view pattern);

// 1 when the whole text matches the compiled steps, else 0.
// Runs in time proportional to steps x text, whatever the pattern.
int QelLike_MatchSteps(const std::vector<QelLike_Step>& steps, std::string_view text);

// 1 when the whole text matches the pattern, else 0 (also for a null argument).
// Compiles the pattern on the stack each call; no heap allocation for patterns
// of up to 64 characters and texts of up to 4,095.
int QelLikeMatch(const char* pattern, const char* text);
int QelLikeMatch(std::string_view pattern, std::string_view text);

// One piece of a compiled pattern: a run of literal characters, a run of singles
// or an any-run, with the same merging as QelLike_Compile.
struct QelLike_Piece {
    int kind = QELLIKE_END;
    size_t size = 0;    // QELLIKE_LITERAL: characters of the run; QELLIKE_SINGLE: most characters taken
    size_t offset = 0;  // QELLIKE_LITERAL: where the run starts in the pattern
};

// A pattern compiled once and matched against many texts, e.g. the rows of one
// query. Matching allocates nothing (texts past 4,095 characters reuse a
// per-thread buffer) and gives the answers of QelLikeMatch.
class QelLikePattern {
public:
    explicit QelLikePattern(std::string_view pattern);
    int Match(std::string_view text) const;

private:
    std::string pattern_;
    std::vector<QelLike_Piece> pieces_;
};

// ---------------------------------------------------------------- whole clauses

// A WHERE text as SQL reads it: conditions joined by AND and OR, AND binding
// tighter than OR, "(" and ")" grouping, and NOT before a condition or a "("
// negating what follows.
struct QelSql_Node {
    enum Kind : int { CONDITION, AND, OR, NOT };
    Kind kind = CONDITION;
    std::unique_ptr<QelSql_Condition> condition;  // CONDITION
    std::vector<QelSql_Node> children;            // AND and OR: two or more; NOT: one
};

inline constexpr int QELSQL_MAX_DEPTH = 64;  // parentheses and NOTs nested in one another

// Parses a whole WHERE text (a leading "WHERE" is passed over; conditions are read
// as QelSql_ParseCondition reads them) into *root. A text that is empty, blank or
// only "WHERE" gives 0 and no root: every row. Returns 0, or -1 (and no root) when
// any part of the text does not parse: a malformed condition, parentheses that do
// not pair, a connector without a condition, nesting deeper than QELSQL_MAX_DEPTH,
// or a field that is not in the tables (field -1).
int QelSql_ParseClause(const char* text, const int* fieldKinds, const char (*fieldNames)[QELSQL_NAME_SIZE],
                       std::unique_ptr<QelSql_Node>* root);

// ================================================================ local archive

struct CsHandle;

inline constexpr int QELLOCAL_MAX_IDS = 2048;          // entries of any list read into memory
inline constexpr size_t QELLOCAL_LOAD_NAME_SIZE = 16;  // "999999ZZZ" and its terminator

// Text sizes of the records below, terminator included (docs/archive.md). User
// ids (also the user of an annotation) are CS_USER_ID_SIZE, a user's NAME is
// CS_USER_NAME_SIZE; an application group's fields are QELSQL_NAME_SIZE.
inline constexpr size_t QELLOCAL_NAME_SIZE = 61;  // NAME of ag, app, folfld, seg and ss rows, queries
inline constexpr size_t QELLOCAL_DESCRIPTION_SIZE = 121;
// PASSWD of a user row: a 13-character DES or a SHA-512 crypt hash (106 characters with
// the default rounds, 123 with the longest rounds text). Internal only: a hash never goes
// into the 21-byte password field of the wire's user record.
inline constexpr size_t QELLOCAL_PASSWORD_SIZE = 128;
inline constexpr size_t QELLOCAL_USER_TEXT_SIZE = 61;  // account, company, address and office texts
inline constexpr size_t QELLOCAL_PHONE_SIZE = 33;      // PHONE and FAX
inline constexpr size_t QELLOCAL_GROUP_NAME_SIZE = 20;
inline constexpr size_t QELLOCAL_FOLDER_NAME_SIZE = 60;
inline constexpr size_t QELLOCAL_AGID_NAME_SIZE = 9;   // AGID_NAME: the storage identifier
inline constexpr size_t QELLOCAL_AFFIX_SIZE = 9;       // LEADING, STRIP and TRAILING of a field
inline constexpr size_t QELLOCAL_FILE_NAME_SIZE = 61;  // FIXED_VIEW, INDEXER and PREPROCESSOR
inline constexpr size_t QELLOCAL_DATE_FORMAT_SIZE = 61;
inline constexpr size_t QELLOCAL_NODE_NAME_SIZE = 60;
inline constexpr size_t QELLOCAL_NODE_LOGON_SIZE = 21;
inline constexpr size_t QELLOCAL_NODE_PASSWORD_SIZE = 20;
inline constexpr size_t QELLOCAL_NODE_SERVER_SIZE = 255;
inline constexpr size_t QELLOCAL_NOTE_POSITIONS = 3;     // position words of an annotation
inline constexpr size_t QELLOCAL_NOTE_FIELDS_SIZE = 32;  // colour code and further fields

// The 22 table files, "table/<name>.tbl" below the local directory.
enum QelLocalTableId : int {
    QELLOCAL_TBL_AG,
    QELLOCAL_TBL_AG2FOL,
    QELLOCAL_TBL_AGFLD,
    QELLOCAL_TBL_AGFLDAL,
    QELLOCAL_TBL_AGPERMS,
    QELLOCAL_TBL_ANN,
    QELLOCAL_TBL_APP,
    QELLOCAL_TBL_APPUSR,
    QELLOCAL_TBL_FOLAGAPP,
    QELLOCAL_TBL_FOLFLD,
    QELLOCAL_TBL_FOLFLDUS,
    QELLOCAL_TBL_FOL,
    QELLOCAL_TBL_FOLPERMS,
    QELLOCAL_TBL_GROUP,
    QELLOCAL_TBL_NOTE,
    QELLOCAL_TBL_RES,
    QELLOCAL_TBL_SEG,
    QELLOCAL_TBL_SNODE,
    QELLOCAL_TBL_SS,
    QELLOCAL_TBL_SYSTEM,
    QELLOCAL_TBL_UGID,
    QELLOCAL_TBL_USER,
    QELLOCAL_TBL_COUNT
};

// The local directory and its entries; folders end in '/'.
enum QelLocalDirId : int {
    QELLOCAL_DIR_ROOT,    // the local directory itself
    QELLOCAL_DIR_VOLUME,  // the file "volume"
    QELLOCAL_DIR_DATA,
    QELLOCAL_DIR_VIEW,
    QELLOCAL_DIR_INDEX,
    QELLOCAL_DIR_LOAD,
    QELLOCAL_DIR_NOTE,
    QELLOCAL_DIR_TABLE,
    QELLOCAL_DIR_COUNT
};

// Paths built by the first successful QelLocal_LoadTables; empty before and after
// QelLocal_Close (and for an index out of range).
std::string QelLocal_TablePath(int table);
std::string QelLocal_DirPath(int dir);
// The archive's code page (CODEPAGE of section SYSTEM in system.tbl), 0 before set-up.
int QelLocal_CodePage();

// ---------------------------------------------------------------- set-up and bracket

// Set-up: takes the process-wide local mutex (held until the matching
// QelLocal_Close; nested calls of one thread are counted), reads DIRECTORY from
// the handle's server definition (first comma-separated entry), reads the volume
// label when the connection has none, and loads the tables. CS_OK; CS_FAILED
// (the mutex released again).
int QelLocal_Open(CsHandle* handle);
// Shut-down: the last Close of the outermost Open frees paths and state; CS_OK.
int QelLocal_Close(CsHandle* handle);
// Start of every local request: keeps the yield callback, checks the volume
// label (QelLocal_ReadVolume), builds the paths once and reads the code page.
// CS_OK; CS_CANCELLED when the volume request is refused; CS_FAILED on a label
// mismatch or a missing code page. Every exit clears the cancel flag.
int QelLocal_LoadTables(CsHandle* handle);
// End of a local request: forgets the yield callback; returns status.
int QelLocal_EndRequest(CsHandle* handle, int status);
// A hook that returns status unchanged.
int QelLocal_PassStatus(CsHandle* handle, int status);
// Sets (non-zero) or clears the cancel flag; returns the flag. May be called from
// another thread while a request runs.
int QelLocal_SetCancel(CsHandle* handle, int flag);

// ---------------------------------------------------------------- ids and note rows

// The next load name of an application group ("%ld" counter and three suffix
// letters, e.g. "1FAA") into loadName; the counter wraps after 999999 and the
// suffix then advances like an odometer ("FAA" -> "GAA", "ZAA" -> "FBA"). CS_OK;
// CS_FAILED for a malformed counter or suffix, a suffix past "ZZZ" or a failed write.
int QelLocal_NextLoadId(CsHandle* handle, int32_t agid, char loadName[QELLOCAL_LOAD_NAME_SIZE]);
// The group's next segment number (SEG_ID, default 1), advanced in the table:
// CS_OK, or CS_FAILED.
int QelLocal_NextSegmentId(CsHandle* handle, int32_t agid, int32_t* id);

// The row text of a document's annotations, "agid|object|compOffset|compLength|
// docOffset|docLength" plus "|further" when further is given. CS_OK; CS_FAILED
// when it does not fit size bytes, or a text holds '|', ']' or a control character.
int QelLocal_FormatNoteRow(char* buffer, size_t size, int32_t agid, const char* objectName,
                           int32_t compOffset, int32_t compLength, int32_t docOffset, int32_t docLength,
                           const char* further);

// ---------------------------------------------------------------- records

struct QelLocalUser {
    int32_t uid = 0;
    char userId[CS_USER_ID_SIZE] = {};         // the user's name, the row's section
    char passwd[QELLOCAL_PASSWORD_SIZE] = {};  // DES or SHA-512 ("$6$") crypt hash, or empty
    char description[QELLOCAL_DESCRIPTION_SIZE] = {};
    uint16_t admin = 0;  // user type bits
    int32_t pid = 0;
    int64_t lastUpdate = 0;  // last password change, 'Z' seconds
    int64_t timeout = 0;     // per-logon time-out, seconds
    char acctInfo[QELLOCAL_USER_TEXT_SIZE] = {};
    char name[CS_USER_NAME_SIZE] = {};
    char company[QELLOCAL_USER_TEXT_SIZE] = {}, title[QELLOCAL_USER_TEXT_SIZE] = {};
    char addr1[QELLOCAL_USER_TEXT_SIZE] = {}, addr2[QELLOCAL_USER_TEXT_SIZE] = {};
    char addr3[QELLOCAL_USER_TEXT_SIZE] = {}, addr4[QELLOCAL_USER_TEXT_SIZE] = {};
    char dept[QELLOCAL_USER_TEXT_SIZE] = {}, building[QELLOCAL_USER_TEXT_SIZE] = {};
    char room[QELLOCAL_USER_TEXT_SIZE] = {};
    char phone[QELLOCAL_PHONE_SIZE] = {}, fax[QELLOCAL_PHONE_SIZE] = {};
    char coverpage[QELLOCAL_USER_TEXT_SIZE] = {};
};

struct QelLocalGroup {
    int32_t gid = 0;
    char name[QELLOCAL_GROUP_NAME_SIZE] = {};
    char description[QELLOCAL_DESCRIPTION_SIZE] = {};
    int32_t uid = 0;  // owner
};

struct QelLocalAgField {
    int32_t number = 0;
    char name[QELSQL_NAME_SIZE] = {};
    char type = 0;  // field type letter
    int32_t qual = 0;
    uint32_t mask = 0;  // field flags
    char leading[QELLOCAL_AFFIX_SIZE] = {}, strip[QELLOCAL_AFFIX_SIZE] = {};
    char trailing[QELLOCAL_AFFIX_SIZE] = {};
    char stringType = 0;  // string fields only
    int32_t stringLen = 0;
    char stringCase = 0;
};

struct QelLocalFieldAlias {
    std::string external;
    std::string internal;
};

struct QelLocalAppGroup {
    int32_t agid = 0;
    char name[QELLOCAL_NAME_SIZE] = {};
    char description[QELLOCAL_DESCRIPTION_SIZE] = {};
    char agidName[QELLOCAL_AGID_NAME_SIZE] = {};  // storage identifier: the folder of the group's objects
    int32_t dbSeg = 0, annType = 0, dbExpDate = 0, dbMgrtDate = 0;
    int32_t cachePeriod = 0;      // SM_CACHE_DOC, days; < 0 no cache
    uint32_t logFlags = 0;        // LOG
    int32_t migrationPeriod = 0;  // MGRT_CACHE_DATE, days
    int32_t reimportExpDate = 0, sid = 0, expireType = 0, segRows = 0, objSize = 0, type = 0;
    int32_t fieldCount = 0;
    std::vector<QelLocalAgField> fields;  // filled by QelLocal_ReadAppGroup
};

struct QelLocalAgPerms {
    int32_t id = 0;  // user or group
    int32_t agid = 0;
    uint16_t idPerms = 0xFFFF, docPerms = 0xFFFF, annPerms = 0xFFFF;
    bool hasRestrict = false;
    std::string queryRestrict;  // Q_RESTRICT, at most 32700 characters
};

struct QelLocalFolderPerms {
    int32_t id = 0;
    int32_t fid = 0;
    uint16_t perms = 0xFFFF;
    int32_t hits = -1;
};

struct QelLocalApp {
    int32_t appId = 0;
    int32_t agid = 0;
    char name[QELLOCAL_NAME_SIZE] = {};
    char description[QELLOCAL_DESCRIPTION_SIZE] = {};
    int32_t docType = 0;
    char docCompType = 0, resCompType = 0;
    int32_t compObjSize = 102400;
    char alias[QELLOCAL_NAME_SIZE] = {};
    char fixedView[QELLOCAL_FILE_NAME_SIZE] = {};
    int32_t idxType = 0;
    char indexer[QELLOCAL_FILE_NAME_SIZE] = {}, preprocessor[QELLOCAL_FILE_NAME_SIZE] = {};
    std::string indexerText, preprocessorText;  // the files of the load folder
};

struct QelLocalFolderField {
    int32_t number = 0;
    char name[QELLOCAL_NAME_SIZE] = {};
    char description[QELLOCAL_DESCRIPTION_SIZE] = {};
    char type = 0;
    int32_t qual = 0;
    int32_t mapType = 0;
};

struct QelLocalFolder {
    int32_t fid = 0;
    char name[QELLOCAL_FOLDER_NAME_SIZE] = {};
    char description[QELLOCAL_DESCRIPTION_SIZE] = {};
    int32_t annSearch = 0;
    int32_t fieldCount = 0;
    std::vector<int32_t> appGroups;           // filled by QelLocal_GetFolder
    std::vector<QelLocalFolderField> fields;  // filled by QelLocal_GetFolder
};

struct QelLocalFolderFieldUser {
    int32_t queryOrder = 0, dsplOrder = 0, sortOrder = 0, sortType = 0;
    uint32_t usrMask = 0;
    int32_t ops = 0, defOp = 0;
    std::string min, max, defValue1 = "0", defValue2 = "0";
    int32_t datedefType = 0, datedefArg = 0;
    char dsplDateFmt[QELLOCAL_DATE_FORMAT_SIZE] = {}, dateFmt[QELLOCAL_DATE_FORMAT_SIZE] = {};
    int32_t decimalPtPos = 0, stringWild = 0;
};

// One key of an ag2fol row: a folder field and the application-group side of it.
struct QelLocalFieldMap {
    int32_t folderField = 0;
    int16_t first = 0, second = 0;
};

struct QelLocalSegment {
    int32_t agid = 0;
    char name[QELLOCAL_NAME_SIZE] = {};
    int64_t startDate = 0, stopDate = 0, postDate = 0, closedDate = 0, reimportedDate = 0;
    int64_t lastUpdate = 0, lastBackup = 0, lastStats = 0;
    int32_t mask = 0;
    int64_t insRows = 0, updRows = 0, delRows = 0, modRows = 0, maxRows = 0;
    int64_t totalRows = 0;
    int32_t indexFile = 0;
    bool hasDates = false;  // START_DATE or STOP_DATE present
};

struct QelLocalSegmentFields {
    int32_t fieldCount = 0;
    char agidName[QELLOCAL_AGID_NAME_SIZE] = {};
    std::vector<std::string> names;  // "%ld|%i" NAME, field 0 first
};

struct QelLocalStorageNode {
    int32_t sid = 0;
    int32_t nid = 0;
    char name[QELLOCAL_NODE_NAME_SIZE] = {};
    char description[QELLOCAL_DESCRIPTION_SIZE] = {};
    char logon[QELLOCAL_NODE_LOGON_SIZE] = {};
    char password[QELLOCAL_NODE_PASSWORD_SIZE] = {};
    char server[QELLOCAL_NODE_SERVER_SIZE] = {};
    uint32_t status = 0;  // node entry flags; 0x10: not usable for objects
    int32_t secNid = 0;
};

struct QelLocalStorageSet {
    int32_t sid = 0;
    char name[QELLOCAL_NAME_SIZE] = {};
    char description[QELLOCAL_DESCRIPTION_SIZE] = {};
    uint8_t loadType = 0;
    uint16_t nodeNum = 0;
    std::vector<QelLocalStorageNode> nodes;
};

struct QelLocalObjectNodes {
    int32_t priNid = 0, secNid = 0, rid = 0;
    char compType = 0;
};

struct QelLocalSystemParms {
    int32_t codePage = 0;
    int32_t passwdExp = -1;  // days; < 0 never, 0 always expired
    int64_t timeOut = 0;     // seconds
    uint32_t syslogMask = 0, exitlogMask = 0;
    uint16_t passwdMinLen = 0;
    uint32_t sysMask = 0;
};

// A document's identification, the annotation row of docs/archive.md.
struct QelLocalNoteDoc {
    int32_t agid = 0;
    const char* objectName = nullptr;
    int32_t compOffset = 0, compLength = 0, docOffset = 0, docLength = 0;
    const char* further = nullptr;  // optional
};

struct QelLocalNote {
    int32_t number = 0;  // 1.. within the document (set on reading)
    uint32_t userNumber = 0;
    char userName[CS_USER_ID_SIZE] = {};
    uint32_t flags = 0;  // 1 private, 2 public, 4 text, 8 attached data
    int64_t time = 0;    // 'Z' seconds
    int32_t position[QELLOCAL_NOTE_POSITIONS] = {};
    uint8_t fields[QELLOCAL_NOTE_FIELDS_SIZE] = {};  // colour code first, then fields carried unchanged
    std::string text;
    std::string data;  // attached data
};

struct QelLocalNamedQuery {
    int32_t number = 0;
    int32_t folderId = 0;
    int32_t owner = -1;  // user number, -1 for everybody
    char name[QELLOCAL_NAME_SIZE] = {};
    std::string text;
};

// ---------------------------------------------------------------- table requests
// "First" requests build a list (all ids of the table, an owner's members, or one
// id; a name argument that starts with ' is a quoted name matched exactly against
// NAME, any other name is a decimal id) and return its first record; "Next" the
// following ones. CS_OK; CS_NOT_FOUND for an empty list and past its end;
// CS_CANCELLED while the cancel flag is set (QelLocal_List*Next,
// QelLocal_ListStorageSets and QelLocal_NamedQueriesNext; QelLocal_Next* and
// QelLocal_GetNotesNext do not look at it); CS_FAILED for a missing record,
// outside QelLocal_Open, for a malformed id and for a list longer than
// QELLOCAL_MAX_IDS.

// Users of user.tbl, all (group null) or of a group's section, by uid or quoted
// name; direct: the name alone is the list. An unknown user (no UID): CS_NOT_FOUND.
int QelLocal_ListUsersFirst(CsHandle* handle, const char* group, const char* name, int direct,
                            QelLocalUser* record);
int QelLocal_ListUsersNext(CsHandle* handle, QelLocalUser* record);
// The row of one user: CS_NOT_FOUND without UID; CS_FAILED without PASSWD, ADMIN or PID.
int QelLocal_ReadUser(CsHandle* handle, const char* userName, QelLocalUser* record);
// Rewrites an existing user (listed in USERS, name ignoring case) or, with user
// null, group (listed in GROUPS). CS_OK; CS_FAILED when unlisted or there is no
// list; as QelLocal_PutValues. All keys are written in one atomic rewrite of the table.
int QelLocal_UpdateUser(CsHandle* handle, const QelLocalUser* user, const QelLocalGroup* group);
int QelLocal_UpdateUserRow(CsHandle* handle, const QelLocalUser* user);

// Groups of group.tbl: all, a user's (user: the user's id or name), or one by
// name. A group without NAME: CS_FAILED.
int QelLocal_ListGroupsFirst(CsHandle* handle, const char* user, const char* name, QelLocalGroup* record);
int QelLocal_ListGroupsNext(CsHandle* handle, QelLocalGroup* record);
int QelLocal_ReadGroup(CsHandle* handle, int32_t gid, QelLocalGroup* record);

// Application groups, all (folderId < 0) or of a folder, with their fields.
int QelLocal_ListAppGroupsFirst(CsHandle* handle, int32_t folderId, const char* name,
                                QelLocalAppGroup* record);
int QelLocal_ListAppGroupsNext(CsHandle* handle, QelLocalAppGroup* record);
// The next entry of the same list, id and name only.
int QelLocal_NextAppGroupName(CsHandle* handle, int32_t* agid, char name[QELLOCAL_NAME_SIZE]);
// NAME and DESCRIPTION of a row of ag, fol or ss (table: QELLOCAL_TBL_*); CS_FAILED
// for another table or a row without NAME.
int QelLocal_ReadNameDesc(CsHandle* handle, int table, int32_t id, char name[QELLOCAL_NAME_SIZE],
                          char description[QELLOCAL_DESCRIPTION_SIZE]);
// One application group with its settings and fields. CS_FAILED without NAME or AGID_NAME.
int QelLocal_ReadAppGroup(CsHandle* handle, int32_t agid, QelLocalAppGroup* record);
// Fields 0..count-1 of agfld.tbl (NAME and TYPE required).
int QelLocal_ReadAgFields(CsHandle* handle, int32_t agid, int32_t count,
                          std::vector<QelLocalAgField>* fields);
// The aliases of one field (ALIAS_NUM, EXTERNAL_n and INTERNAL_n, n from 1).
int QelLocal_ReadAgFieldAliases(CsHandle* handle, int32_t agid, int32_t field,
                                std::vector<QelLocalFieldAlias>* aliases);

// Permissions of a user on an application group: the first of the candidates
// (the ids of groupList "IN (a,b,...)", then userId) whose row has ID_PERMS
// other than -1. None: CS_NOT_FOUND.
int QelLocal_GetAppGroupPerms(CsHandle* handle, int32_t agid, int32_t userId, const char* groupList,
                              int withRestrict, QelLocalAgPerms* record);
// The ids that hold a row for the group (IDS); CS_NOT_FOUND without IDS.
int QelLocal_ReadAgPermsList(CsHandle* handle, int32_t agid, std::vector<int32_t>* ids);
// Row "id|agid": CS_FAILED without ID_PERMS; DOC_PERMS and ANN_PERMS default -1.
int QelLocal_ReadAgPerms(CsHandle* handle, int32_t id, int32_t agid, int withRestrict,
                         QelLocalAgPerms* record);
int QelLocal_GetFolderPerms(CsHandle* handle, int32_t fid, int32_t userId, const char* groupList,
                            QelLocalFolderPerms* record);
int QelLocal_ReadFolderPermsList(CsHandle* handle, int32_t fid, std::vector<int32_t>* ids);
// Row "id|fid": CS_FAILED without PERMS; HITS default -1.
int QelLocal_ReadFolderPerms(CsHandle* handle, int32_t id, int32_t fid, QelLocalFolderPerms* record);

// Applications of a group (APPLICATIONS of its ag row).
int QelLocal_ListAppsFirst(CsHandle* handle, int32_t agid, const char* name, QelLocalApp* record);
int QelLocal_ListAppsNext(CsHandle* handle, QelLocalApp* record);
// One application with its INDEXER and PREPROCESSOR files (a named file that
// cannot be read, or a name leaving the load folder: CS_FAILED).
int QelLocal_ReadApp(CsHandle* handle, int32_t appId, QelLocalApp* record);
// The view text of an application for a user: USER_VIEW of "agid|appId|userId",
// else FIXED_VIEW. No view: CS_NOT_FOUND.
int QelLocal_GetAppViews(CsHandle* handle, int32_t agid, int32_t appId, int32_t userId, std::string* view);
// A view file of the view folder, read whole, a leading byte 0x01 dropped.
int QelLocal_ReadAppViews(CsHandle* handle, const char* viewFile, std::string* view);

// Folders of fol.tbl.
int QelLocal_ListFoldersFirst(CsHandle* handle, const char* name, QelLocalFolder* record);
int QelLocal_ListFoldersNext(CsHandle* handle, QelLocalFolder* record);
int QelLocal_NextFolder(CsHandle* handle, QelLocalFolder* record);
// NAME (required), DESCRIPTION, ANN_SEARCH (required), FLDS_NUM.
int QelLocal_ReadFolder(CsHandle* handle, int32_t fid, QelLocalFolder* record);
// ReadFolder plus the folder's application groups and fields.
int QelLocal_GetFolder(CsHandle* handle, int32_t fid, QelLocalFolder* record);
int QelLocal_ReadFolderFields(CsHandle* handle, int32_t fid, int32_t count,
                              std::vector<QelLocalFolderField>* fields);
int QelLocal_ReadFolderFieldUser(CsHandle* handle, int32_t fid, int32_t userId, int32_t field,
                                 QelLocalFolderFieldUser* record);

// Applications of a folder and application group (folagapp "fid|agid").
int QelLocal_ListFolderAppsFirst(CsHandle* handle, int32_t fid, int32_t agid, QelLocalApp* record);
int QelLocal_ListFolderAppsNext(CsHandle* handle, QelLocalApp* record);
int QelLocal_NextFolderApp(CsHandle* handle, QelLocalApp* record);
// The field mapping of ag2fol "agid|fid", in key order. No row: CS_NOT_FOUND.
int QelLocal_ReadFolderAgMap(CsHandle* handle, int32_t agid, int32_t fid, std::vector<QelLocalFieldMap>* map);

// Adds a segment to a group: its name to SEGMENTS of seg.tbl (a name already
// there, ignoring case: CS_FAILED) and its dates and counts to the group's segment
// index profile ("index/<group name>.seg").
int QelLocal_AddSegment(CsHandle* handle, int32_t agid, const QelLocalSegment* segment);
// Rewrites the dates and counts of a listed segment (not listed: CS_NOT_FOUND).
int QelLocal_UpdateSegment(CsHandle* handle, int32_t agid, const QelLocalSegment* segment);
int QelLocal_ReadSegment(CsHandle* handle, int32_t agid, const char* name, QelLocalSegment* record);
int QelLocal_ReadSegmentRange(CsHandle* handle, int32_t agid, const char* name, int64_t* start,
                              int64_t* stop);
// The field layout kept in the segment index profile.
int QelLocal_ReadSegmentFields(CsHandle* handle, int32_t agid, QelLocalSegmentFields* fields);
// Segments of a group whose [START_DATE, STOP_DATE] meets [from, to] (both ends
// inclusive), optionally only the one named (ignoring case); undatedOnly keeps
// only segments without dates instead.
int QelLocal_ListSegmentTableFirst(CsHandle* handle, int32_t agid, int64_t from, int64_t to, const char* name,
                                   int undatedOnly, QelLocalSegment* record);
int QelLocal_ListSegmentTableNext(CsHandle* handle, QelLocalSegment* record);
int QelLocal_NextSegment(CsHandle* handle, QelLocalSegment* record);

// Index rows of a group, one line each in "index/<group NAME>.rows" (docs/archive.md).
// AddIndexRow appends one row, one value per field of the group (FLDS_NUM values, else
// CS_FAILED): the whole line or nothing, under the archive's write lock. CS_OK, or
// CS_FAILED (a group without NAME or fields, a write that failed).
int QelLocal_AddIndexRow(CsHandle* handle, int32_t agid, const std::vector<std::string>& values);
// The group's rows, oldest first: CS_OK; CS_NOT_FOUND for none; CS_FAILED for a damaged
// file (an unfinished last line is not a row).
int QelLocal_ReadIndexRows(CsHandle* handle, int32_t agid, std::vector<std::vector<std::string>>* rows);
// A row with a document: the document goes to a new file "index/<NAME>.docs/<16 hex
// digits>" (mode 0600, never through a link), then the row with the file's name as one
// value more; a row that cannot be written takes its document with it.
int QelLocal_AddIndexRow(CsHandle* handle, int32_t agid, const std::vector<std::string>& values,
                         std::string_view document);
// The rows and, per row, the name of its document ("" for none).
int QelLocal_ReadIndexRows(CsHandle* handle, int32_t agid, std::vector<std::vector<std::string>>* rows,
                           std::vector<std::string>* documents);
// The document of row `index` (0: the oldest): CS_OK; CS_NOT_FOUND for no such row or a
// row without a document; CS_FAILED for a damaged row file or a document that is gone.
int QelLocal_ReadIndexRowDocument(CsHandle* handle, int32_t agid, size_t index, std::string* data);

// Storage: the res row "id1|id2" (COMP_TYPE required).
int QelLocal_ReadObjectNodes(CsHandle* handle, int32_t id1, int32_t id2, QelLocalObjectNodes* record);
// Storage sets of ss.tbl with their nodes: GetStorageSets is the first request,
// ListStorageSets the next.
int QelLocal_GetStorageSets(CsHandle* handle, const char* name, QelLocalStorageSet* record);
int QelLocal_ListStorageSets(CsHandle* handle, QelLocalStorageSet* record);
int QelLocal_ReadStorageSet(CsHandle* handle, int32_t sid, QelLocalStorageSet* record);
// snode row "sid|nid": NAME required.
int QelLocal_ReadStorageNode(CsHandle* handle, int32_t sid, int32_t nid, QelLocalStorageNode* record);

// System parameters of system.tbl; CS_FAILED without SYS_MASK.
int QelLocal_ReadSystemParms(CsHandle* handle, QelLocalSystemParms* record);

// Annotations: kept in "aqk%05d.not" files of the note folder (the registry's QEL
// path + "/note", else the archive's note folder), one file per document, listed
// in the folder's note.tbl. Layout in docs/archive.md.
int QelLocal_AddNote(CsHandle* handle, const QelLocalNoteDoc* doc, const QelLocalNote* note);
// Marks annotation `number` of the document deleted; the file goes with the last one.
// CS_NOT_FOUND for an unknown document or number.
int QelLocal_DeleteNote(CsHandle* handle, const QelLocalNoteDoc* doc, int32_t number);
// The document's annotations, oldest first, skipping deleted ones; user >= 0
// keeps only public notes, the user's own and those whose author is one of the ids
// of groupList (the logon's group-list text "IN (...)": notes written for a group of
// the user's); user < 0 keeps every note. CS_NOT_FOUND for none; CS_FAILED for a
// damaged file or a group list that does not read.
int QelLocal_GetNotes(CsHandle* handle, const QelLocalNoteDoc* doc, int32_t user, QelLocalNote* record,
                      const char* groupList = nullptr);
int QelLocal_GetNotesNext(CsHandle* handle, QelLocalNote* record);

// Named queries of a folder (query/namedq.ndq); user >= 0 keeps only queries of
// everybody and of that user. CS_NOT_FOUND without a list; CS_FAILED for an
// unreadable or damaged file.
int QelLocal_NamedQueriesFirst(CsHandle* handle, int32_t fid, int32_t user, QelLocalNamedQuery* record);
int QelLocal_NamedQueriesNext(CsHandle* handle, QelLocalNamedQuery* record);

// CS_FAILED: a request the local server does not offer.
int QelLocal_NotSupported(CsHandle* handle);
// CS_NOT_FOUND: a request with nothing to list locally.
int QelLocal_NoData(CsHandle* handle);

// ---------------------------------------------------------------- segment index

// Each segment of an application group keeps its index rows in a data file of
// fixed records and an index file with one key member per field, in the folder
// "index/<storage identifier>/" (docs/index.md); its section of the group's
// segment index profile "index/<group NAME>.seg" holds INDEX_FILE, SEGMENT,
// VERSION, TOTAL_ROWS, DATA_OFFSET, BLOCK_MULTIPLIER and one key per field.

inline constexpr int QELIDX_MAX_FIELDS = 32;
inline constexpr int64_t QELIDX_MAX_ROWS = 0x8000000;  // rows one search can cover
inline constexpr size_t QELIDX_OBJECT_NAME_SIZE = 11;  // bytes of an object name, unterminated
inline constexpr size_t QELIDX_HEADER_SIZE = 42;       // stored row header

// Status of an index object.
enum QelIdxStatus : int {
    QELIDX_OK = 0,
    QELIDX_MISSING = 1,          // a key of the profile is missing, or a file did not open
    QELIDX_OLD_VERSION = 7,      // VERSION missing or below 4
    QELIDX_TOO_MANY_FIELDS = 8,  // 33 or more fields
};

// Results of QelLocalIdx_Build besides CS_OK, CS_FAILED and CS_NO_MEMORY.
inline constexpr int QELIDX_BAD_HEADER = 3;  // a row header or value cannot be stored

// The object part of an index row: where the document's data lies.
struct QelLocalIdxHeader {
    std::string objName;  // at most QELIDX_OBJECT_NAME_SIZE bytes
    uint32_t off = 0, len = 0, compOff = 0, compLen = 0;
    uint8_t annot = 0;  // annotation flags
    char compType = 0;  // compression letter
    uint32_t rid = 0;   // resource id
    uint16_t priNid = 0, secNid = 0;
};

// A field value of a row: integer for 'B', 'I' and 'N' fields, dbl for 'D', text
// for 'S' (stored blank-padded to the field's length; read back without the
// trailing blanks).
struct QelLocalIdxValue {
    int64_t integer = 0;
    double dbl = 0.0;
    std::string text;
};

struct QelLocalIdxRow {
    QelLocalIdxHeader header;
    std::vector<QelLocalIdxValue> values;  // one per field of the group, in field order
    int64_t recordNumber = -1;             // set when read from a segment
};

// Converts a row header to its 42 stored bytes (direction 0) or back (1). Returns 1,
// or 0 when the header cannot be stored (an object name longer than 11 bytes).
int QelLocalIdx_ConvertRow(QelLocalIdxHeader* header, uint8_t stored[QELIDX_HEADER_SIZE], int direction);
// Converts one field value to its stored bytes (direction 0) or back (1), by type
// letter ('B' 8, 'D' 8, 'I' 4, 'N' 2 bytes big-endian, 'S' blank-padded text of
// length bytes; other letters store nothing). Returns 1, or 0 when the value does
// not fit: a text longer than length, an integer outside its type.
int QelLocalIdx_ConvertField(QelLocalIdxValue* value, uint8_t* stored, int direction, char type,
                             size_t length);
// Bytes a field of this type and length takes in a record and its key.
size_t QelLocalIdx_KeyLength(char type, size_t length);

// Adds rows[firstRow .. count-1] to a segment of the group (whose fields are read:
// QelLocal_ReadAppGroup), creating its files on the first load, and adds the
// number to TOTAL_ROWS. All rows or none become searchable: a failure or an
// interrupted load leaves the segment with the rows of its earlier loads.
// *added receives the rows added. CS_OK; QELIDX_BAD_HEADER; CS_FAILED; CS_NO_MEMORY.
int QelLocalIdx_Build(CsHandle* handle, const QelLocalAppGroup& group, const QelLocalSegment& segment,
                      std::span<const QelLocalIdxRow> rows, int64_t firstRow, int64_t count, int64_t* added);

// An open segment index, for searching.
class QelLocalIdx;

// Opens the index of a segment of the group. None, with *status set, when it does
// not open; a segment with no rows loaded yet opens and has no hits.
std::unique_ptr<QelLocalIdx> QelLocalIdx_New(CsHandle* handle, const QelLocalAppGroup& group,
                                             const char* segment, int* status);
// (Re)opens index for the segment; returns its status.
int QelLocalIdx_Open(QelLocalIdx* index, const QelLocalAppGroup& group, const char* segment);
int QelLocalIdx_Status(const QelLocalIdx* index);
int64_t QelLocalIdx_TotalRows(const QelLocalIdx* index);

// Runs a WHERE text (QelSql_ParseClause; empty: every row) against the segment,
// ANDed with restriction when it is not null or empty (parsed apart, so that no
// part of the text can widen it), and reads the first hit into *row. first: 1 for
// a new search (0 continues from the current hit, as QelLocalIdx_NextHit). Returns
// 1 when a hit row was read, else 0; *error (when given) gets CS_FAILED for a text
// that does not parse or a condition the fields cannot answer, CS_CANCELLED when
// the search was cancelled, else CS_OK.
int QelLocalIdx_Search(QelLocalIdx* index, const char* where, const char* restriction, QelLocalIdxRow* row,
                       int first, int* error = nullptr);
// The next hit row of the search: 1, or 0 when there is none.
int QelLocalIdx_NextHit(QelLocalIdx* index, QelLocalIdxRow* row);
// Reads record `recordNumber` (0.. total rows - 1): 1, or 0 when it cannot be read.
int QelLocalIdx_ReadRow(QelLocalIdx* index, int64_t recordNumber, QelLocalIdxRow* row);

// ---------------------------------------------------------------- index rows and document query

// Adds rows to a segment of a group: gives the segment its index file number on
// its first load (INDEX_FILE, SEGMENT, VERSION 4 and the INDEXES COUNT of the
// profile), then builds (QelLocalIdx_Build). *rowsAdded gets the rows added (0 on
// any failure). CS_OK, or the failure.
int QelLocal_AddIndexRows(CsHandle* handle, const QelLocalAppGroup& group, const QelLocalSegment& segment,
                          std::span<const QelLocalIdxRow> rows, int64_t* rowsAdded);

// Rewrites one row of a segment of the group: the first row whose header and values
// equal `old` gets the header and values of `row`, its record and its keys in one step
// (all or nothing; searches that start afterwards, on index objects open already or
// not, see the new values). *recordNumber (may be null) gets the row's record number.
// CS_OK; CS_NOT_FOUND when no row is equal (or the segment has no rows);
// QELIDX_BAD_HEADER when the new row cannot be stored; CS_FAILED; CS_NO_MEMORY.
int QelLocal_UpdateIndexRow(CsHandle* handle, const QelLocalAppGroup& group, const QelLocalSegment& segment,
                            const QelLocalIdxRow& old, const QelLocalIdxRow& row, int64_t* recordNumber);

// How QelLocal_CheckIndexRow compares a row with the stored ones.
inline constexpr int QELIDX_MATCH_DOCUMENT = 0;  // the header names the same document
inline constexpr int QELIDX_MATCH_EXACT = 1;     // and every stored value is the same

// Whether a row of the segment of the group that matches `row` passes `restriction`
// (QelSql_ParseClause; null or empty: every row), each stored row tested as a search
// tests it. A header matches when the object name, offset, length, compressed offset and
// length, resource id and nodes are the same and so is the compression letter (0 counts as
// 'N'); the note byte never counts. With `replacement` (may be null) that row must also
// pass the restriction with the replacement's values. CS_OK; CS_NOT_FOUND when no stored
// row matches and passes (or the replacement does not pass); CS_FAILED for a restriction
// that does not parse or that the fields cannot answer, a segment that does not open, or
// a row that cannot be stored; CS_NO_MEMORY.
int QelLocal_CheckIndexRow(CsHandle* handle, const QelLocalAppGroup& group, const char* segment,
                           const QelLocalIdxRow& row, int match, const char* restriction,
                           const QelLocalIdxRow* replacement);

// The caller's side of a document query: owner identifies the caller's folder
// record (index objects are cached per owner, group and segment); restriction is
// the group's query restriction for this user (Q_RESTRICT), ANDed with every WHERE text.
struct QelLocalQueryFolder {
    uintptr_t owner = 0;
    std::string restriction;
};

// One application group of a query and the segments to search, in order.
struct QelLocalQueryGroup {
    const QelLocalAppGroup* group = nullptr;
    std::vector<std::string> segments;
};

// A hit: the row and where it came from.
struct QelLocalHit {
    int32_t agid = 0;
    std::string segment;
    QelLocalIdxRow row;
};

// Starts a query over the groups' segments with the WHERE text (at most 32766
// characters) and gives its first hit. CS_OK; CS_NOT_FOUND when there is none;
// CS_FAILED for a text that does not parse, a segment that cannot be opened or a
// condition the fields cannot answer; CS_CANCELLED; CS_NO_MEMORY when the index
// cache is full (QELLOCAL_MAX_IDS entries); CS_LEVEL_NOT_SUPPORTED for a segment of an
// older index version.
int QelLocal_QueryDocsFirst(CsHandle* handle, const QelLocalQueryFolder* folder,
                            const std::vector<QelLocalQueryGroup>* query, const char* whereText,
                            QelLocalHit* hit);
// The next hit: CS_OK; CS_NOT_FOUND after the last; CS_CANCELLED when the cancel flag is set.
int QelLocal_QueryDocsNext(CsHandle* handle, QelLocalHit* hit);
// The worker of both: the current group's next hit, else the next group's first.
int QelLocal_FetchHits(CsHandle* handle, QelLocalHit* hit);

// ---------------------------------------------------------------- volumes

// The volume directories of the handle's server definition: the comma-separated
// entries of DIRECTORY in its "@SRV@_<server>" section, blanks around them removed
// and '/' appended, in order. Empty when DIRECTORY is missing, names no directory or
// is longer than 1024 characters.
std::vector<std::string> QelLocal_VolumeDirectories(CsHandle* handle);

// Results of the volume check. Their values are the cache layer's (QELCFS_OK,
// QELCFS_CANCELLED, QELCFS_FAILED, QELCFS_NOT_FOUND), which passes them on as they are.
enum QelVolumeResult : int {
    QELVOL_OK = 0,
    QELVOL_REFUSED = 1,      // the volume-request callback refused to mount the volume
    QELVOL_NO_CALLBACK = 2,  // the handle has no volume-request callback
    QELVOL_MISMATCH = 4,     // the volume file is missing or names another volume
};

// A volume number: a whole decimal number of at most 18 digits, blanks around it
// (and a CR after it) passed over; none for anything else.
std::optional<int64_t> QelLocal_VolumeNumber(std::string_view text);

// The volume check: the first line of "<directory>/volume" must begin with the
// label; with a number, a later line must hold that decimal number. A mismatch
// asks the volume-request callback (QelLocal_MatchVolume) and is checked again
// while it answers QELVOL_OK (at most QELCFS_VOLUME_RETRIES times); without a
// callback the check runs once. QELVOL_OK; QELVOL_REFUSED; QELVOL_MISMATCH (also
// without a directory).
inline constexpr int QELCFS_VOLUME_RETRIES = 16;
QelVolumeResult QelLocal_ReadVolume(CsHandle* handle, const char* directory, const char* label,
                                    const char* number);
// Asks the handle's volume-request callback (handle->volume) to mount the volume:
// QELVOL_REFUSED when it answers greater than 0, QELVOL_OK when it answers otherwise
// (check again), QELVOL_NO_CALLBACK without one.
QelVolumeResult QelLocal_MatchVolume(CsHandle* handle, const char* directory, const char* label,
                                     const char* number);

// ---------------------------------------------------------------- table helpers

// Creates each folder named by a prefix of path that ends before a '/': empty
// prefixes, prefixes ending in '/' and "." steps are skipped. A failure whose
// errno `tolerated` accepts moves on to the next prefix, any other one stops the
// walk. The number of folders created.
int QelLocal_CreateFolders(std::string_view path, bool (*tolerated)(int error));
// Creates every missing folder of path up to its last '/' (EEXIST, EACCES and
// ENOENT are passed over). The number of folders created.
int QelLocal_MakeDirs(const char* path);

// One key of a table write: value null deletes the key; key and value null
// delete the section.
struct QelTableValue {
    const char* section;
    const char* key;
    const char* value;
};
// Writes the values in one atomic rewrite of the table file, then reads each
// back. A value not empty and not starting with '"' is written quoted. CS_OK;
// CS_FAILED for a section with CR, LF or ']', a key with CR, LF or '=' (or
// starting with ';' or '['), a value with CR or LF (nothing is written), or a
// failed write; CS_READ_BACK_DIFFERS when a line would exceed the reader's 32766
// characters (nothing written) or a value reads back differently.
int QelLocal_PutValues(const char* tableFile, const QelTableValue* values, size_t count);
int QelLocal_PutValue(const char* section, const char* key, const char* value, const char* tableFile);
