/* qel_exits.h - what an installation's user-exit library must export.
 *
 * Four optional exit libraries are loaded for one call each, their entry point looked
 * up by name, called and unloaded again. Each lives in the install tree under the name
 * below (a flat installation keeps them beside the programs):
 *
 *   entry       library                  called when
 *   SECURITY    lib/libqelusec.so        a local logon or a user update is checked
 *   SMEXTCAC    lib/libqelusmxc.so       an object is stored, or the storage manager looks one up
 *   DOCSRCH     lib/libqelusdoc.so       a text search passes a document to the exit
 *   DOCXTRAC    lib/libqelusxct.so       pages are extracted from a document for printing
 *
 * Entries are plain C functions (no name mangling) of the types below. Every record is
 * laid out for 64-bit Linux (LP64) as the static assertions at the end state; nothing of
 * it is kept after the call returns. An exit must not keep pointers it was given.
 */
#ifndef QEL_EXITS_H
#define QEL_EXITS_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define QEL_EXIT_SECURITY_ENTRY "SECURITY"
#define QEL_EXIT_STORAGE_ENTRY "SMEXTCAC"
#define QEL_EXIT_SEARCH_ENTRY "DOCSRCH"
#define QEL_EXIT_EXTRACT_ENTRY "DOCXTRAC"

/* ------------------------------------------------------------------------------------
 * SECURITY
 * ------------------------------------------------------------------------------------ */

/* Function codes of the security exit. */
#define QEL_SECURITY_LOGON 1 /* arg1 user id, arg2 password; arg3..arg5 null */
#define QEL_SECURITY_UPDATE_USER                  \
    3 /* arg1 caller's user id, arg2 old user id, \
         arg3 old password, arg4 new user id, arg5 new password */

/* Answers of the security exit. Any other answer fails the call. */
#define QEL_SECURITY_ACCEPT 0         /* the user is accepted */
#define QEL_SECURITY_REFUSE 1         /* the user is refused */
#define QEL_SECURITY_EXPIRED 2        /* accepted, but the password has expired */
#define QEL_SECURITY_CHECK_PASSWORD 4 /* the exit has no verdict: compare the password */

/* Room of the message area (bytes, terminator included). */
#define QEL_EXIT_MESSAGE_SIZE 1026

/* message: a text area of messageSize bytes, empty on entry, where the exit may leave a
 * zero-terminated text for the user. It is terminated again after the call. */
typedef int (*QelSecurityExitFn)(int32_t function, const char* arg1, const char* arg2, const char* arg3,
                                 const char* arg4, const char* arg5, char* message, size_t messageSize);

/* ------------------------------------------------------------------------------------
 * SMEXTCAC
 * ------------------------------------------------------------------------------------ */

/* One field value, read by the field's type letter. */
typedef union QelExitValue {
    int32_t i;            /* 'I' */
    int16_t n;            /* 'N' */
    const char* s;        /* 'S' (zero-terminated, may be null) */
    int64_t b;            /* 'B' */
    double d;             /* 'D' */
    unsigned char raw[8]; /* any other letter: the eight bytes as stored */
} QelExitValue;

/* One field of the document (24 bytes). */
typedef struct QelExitField {
    const void* definition; /* the application group's field definition, read-only */
    char type;              /* 'B', 'D', 'I', 'N', 'S' or the group's own letter */
    char reserved[7];       /* zero */
    QelExitValue value;
} QelExitField;

/* The record handed to the storage exit (64 bytes). */
typedef struct QelExitFieldRecord {
    uint32_t count;             /* entries in fields */
    uint32_t function;          /* QEL_STORAGE_EXIT_STORE, or a lookup (below) */
    const QelExitField* fields; /* all fields, or only the indexed ones when asked */
    char groupName[16];         /* the application group's name, at most 12 characters */
    uint32_t documentWords[3];  /* three words of the document being stored */
    uint32_t reserved2;         /* zero */
    const void* document;       /* the document's own pointer word */
    uint64_t reserved3;         /* zero */
} QelExitFieldRecord;

/* context: the application group's exit context. out1 and out2 are the caller's two
 * out-values, passed through. 0 succeeds; anything else fails the store. */
typedef int (*QelStorageExitFn)(void* context, const QelExitFieldRecord* record, void* out1, void* out2);

/* Lookups. The storage manager also asks the exit for objects it may hold: then function
 * is QEL_STORAGE_EXIT_LOCATE or QEL_STORAGE_EXIT_FETCH, the record has no fields, its
 * document points at a QelExitObjectQuery for the exit to fill in, context is the
 * caller's exit options and out1 and out2 are null. The exit sets found when it holds the object; a fetch
 * also hands over the object's bytes in data (allocated with malloc; the caller frees them) and their count
 * in length. 0 succeeds; any other answer fails the lookup, and the object then counts as not held by the
 * exit. */
#define QEL_STORAGE_EXIT_STORE 0
#define QEL_STORAGE_EXIT_LOCATE 1
#define QEL_STORAGE_EXIT_FETCH 2

/* One object looked up (40 bytes). */
typedef struct QelExitObjectQuery {
    const char* storageId; /* the application group's storage identifier */
    const char* name;      /* the object's name */
    int32_t found;         /* zero on entry; set by the exit */
    uint32_t reserved;     /* zero */
    void* data;            /* FETCH: the object's bytes (malloc), or null */
    uint64_t length;       /* FETCH: their count */
} QelExitObjectQuery;

/* ------------------------------------------------------------------------------------
 * DOCSRCH and DOCXTRAC
 * ------------------------------------------------------------------------------------ */

/* context: the handle's callback context. group and application are the caller's
 * records, read-only. answer: set to 0 before the call; a non-zero answer reports the
 * document as found. 0 succeeds. */
typedef int (*QelSearchExitFn)(void* context, const void* group, const void* application, void* textSearch,
                               const char* jobFile, int32_t* answer);

/* pages: the page ranges, such as "1-3,7-9"; the exit writes those pages of jobFile into
 * the new file outputFile. 0 succeeds. */
typedef int (*QelExtractExitFn)(void* context, const void* group, const void* application, const char* pages,
                                const char* jobFile, const char* outputFile);

#ifdef __cplusplus
} /* extern "C" */
#define QEL_EXITS_ASSERT(condition, text) static_assert(condition, text)
#else
#define QEL_EXITS_ASSERT(condition, text) _Static_assert(condition, text)
#endif

#if UINTPTR_MAX == 0xFFFFFFFFFFFFFFFFu
QEL_EXITS_ASSERT(sizeof(QelExitValue) == 8, "QelExitValue is 8 bytes");
QEL_EXITS_ASSERT(sizeof(QelExitField) == 24, "QelExitField is 24 bytes");
QEL_EXITS_ASSERT(offsetof(QelExitField, value) == 16, "value at offset 16");
QEL_EXITS_ASSERT(sizeof(QelExitFieldRecord) == 64, "QelExitFieldRecord is 64 bytes");
QEL_EXITS_ASSERT(offsetof(QelExitFieldRecord, fields) == 8, "fields at offset 8");
QEL_EXITS_ASSERT(offsetof(QelExitFieldRecord, groupName) == 16, "groupName at offset 16");
QEL_EXITS_ASSERT(offsetof(QelExitFieldRecord, documentWords) == 32, "documentWords at 32");
QEL_EXITS_ASSERT(offsetof(QelExitFieldRecord, document) == 48, "document at offset 48");
QEL_EXITS_ASSERT(sizeof(QelExitObjectQuery) == 40, "QelExitObjectQuery is 40 bytes");
QEL_EXITS_ASSERT(offsetof(QelExitObjectQuery, found) == 16, "found at offset 16");
QEL_EXITS_ASSERT(offsetof(QelExitObjectQuery, data) == 24, "data at offset 24");
#endif

#endif /* QEL_EXITS_H */
