// qel_cswire.h - the bytes between the gateway and an archive server.
//
// Three layers, each usable alone:
//   1. The marshalling stream QelXdr and its primitives (QelXdr_*): one procedure per
//      value kind serves three operations alike - encode, decode, and free (release what
//      decode allocated). Every scalar is one or two 32-bit big-endian words; texts are
//      converted to UCS-2 (CCSID 13488) and travel big-endian on every host.
//   2. The records of requests and replies (CsXdr_* procedures, CsXdrRequest and
//      CsXdrResponse) built from the primitives.
//   3. The message stream CsStream: numbered messages cut into frames of at most 8192
//      bytes, plain or compressed ('O' running across the frames of one message), over
//      the transport table ArcCOM_Funcs of the transport library (qel_transport.h).
// The wire format is written down in docs/wire.md (records) and docs/frames.md (frames).
//
// Records are plain C-style structs. Decode allocates nested objects with calloc and
// texts with malloc; QelXdr_Free (or a stream set to QELXDR_FREE) releases them. A record
// that failed half-way through decoding frees cleanly. Procedures return true on success
// and false on the first failure (a failed get or put, a failed allocation, a count or
// length above its limit, a bad presence word, a failed text conversion). Decoding one
// message allocates at most the stream's decodeLimit bytes (CS_XDR_DECODE_LIMIT unless
// set); past it, or past CS_XDR_LIST_ITEMS_MAX items of a value list, it fails with
// overLimit set.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "qel_csrequests.h"  // the request codes by name, CS_CODE_MAX
#include "qel_transport.h"   // the transport table ArcCOM_Funcs and its entry types

struct ArcIconvContext;
struct ArcIconvHandle;

// ===========================================================================
// Wire constants
// ===========================================================================

inline constexpr int32_t CS_WIRE_CCSID = 13488;  // UCS-2

// Operations of a marshalling stream.
enum QelXdrOp { QELXDR_ENCODE = 0, QELXDR_DECODE = 1, QELXDR_FREE = 2 };

// Text fix-up modes: 1 is used for user ids and passwords of codes 3, 8 and 108.
enum QelXdrTextMode { QELXDR_TEXT_NORMAL = 0, QELXDR_TEXT_HIDDEN = 1 };

// Feature bits of a marshalling stream, derived from the handle's flag words.
inline constexpr uint32_t CS_FEATURE_RESERVED_WORD = 0x01;  // flag word 1 has 0x00100000
inline constexpr uint32_t CS_FEATURE_TEXTS = 0x02;          // flag word 1 has 0x40000000
inline constexpr uint32_t CS_FEATURE_LEVEL_22014 = 0x04;    // flag word 2 has 0x001
inline constexpr uint32_t CS_FEATURE_LONG64 = 0x08;         // flag word 2 has 0x040
inline constexpr uint32_t CS_FEATURE_SESSION = 0x10;        // flag word 2 has 0x100

// The feature bits for two flag words.
uint32_t CsXdrFeatures(uint32_t flags1, uint32_t flags2);

// Limits of decoded values.
inline constexpr uint32_t CS_XDR_TEXT_WIRE_MAX = 131072;        // bytes of one wire text
inline constexpr uint32_t CS_XDR_LIST_TEXT_MAX = 32701;         // pointer texts of entries
inline constexpr uint32_t CS_XDR_VALUE_TEXT_MAX = 255;          // 'S' and 'T' values
inline constexpr uint32_t CS_XDR_ARRAY_MAX = 65535;             // every array count is 16-bit
inline constexpr uint32_t CS_XDR_DATA_MAX = 16u * 1024 * 1024;  // one counted data piece
inline constexpr uint32_t CS_XDR_TOKEN_MAX = 65536;             // a security token
inline constexpr uint32_t CS_XDR_NOTE_DATA_MAX = 1024 * 1024;   // the binary part of a note

// Bounds of what decoding one message may make. A value list has no count word, so its
// items are counted as they arrive. Every allocation a decoded record keeps is counted,
// its size and CS_XDR_ALLOCATION_COST for the allocator's own bookkeeping, against the
// stream's decodeLimit; a zlib message expands up to about 1000:1, so without these a
// small reply could take gigabytes.
inline constexpr uint32_t CS_XDR_LIST_ITEMS_MAX = 1u << 20;           // items of one value list
inline constexpr uint64_t CS_XDR_DECODE_LIMIT = 64ull * 1024 * 1024;  // default of decodeLimit
inline constexpr uint32_t CS_XDR_ALLOCATION_COST = 16;

// Fixed character fields: the size includes the terminator (a field of 21 bytes holds
// at most 20 bytes of text). Texts that do not fit are cut on a character boundary.
inline constexpr size_t CS_XDR_USERID_SIZE = 21;
inline constexpr size_t CS_XDR_NAME_SIZE = 61;
inline constexpr size_t CS_XDR_DESC_SIZE = 121;
inline constexpr size_t CS_XDR_PHONE_SIZE = 33;
inline constexpr size_t CS_XDR_FIELD_SIZE = 19;
inline constexpr size_t CS_XDR_PREFIX_SIZE = 9;
inline constexpr size_t CS_XDR_SEGNAME_SIZE = 12;
inline constexpr size_t CS_XDR_SERVER_SIZE = 255;
inline constexpr size_t CS_XDR_MESSAGE_SIZE = 1026;  // 1025 characters and the terminator
inline constexpr size_t CS_XDR_SESSION_BLOCK = 64;

// ===========================================================================
// 1. The marshalling stream and its primitives
// ===========================================================================

struct QelXdr;
struct CsXdrApplGroup;

// Byte movers: (stream, bytes, count) -> true when all count bytes moved.
typedef bool (*QelXdrGetFn)(QelXdr* xdr, void* bytes, uint32_t count);
typedef bool (*QelXdrPutFn)(QelXdr* xdr, const void* bytes, uint32_t count);
// A record procedure: (stream, object, argument). QelXdr_Pointer passes -1.
typedef bool (*QelXdrProc)(QelXdr* xdr, void* object, long argument);

struct QelXdr {
    int op;        // QelXdrOp
    int textMode;  // QelXdrTextMode
    QelXdrGetFn getBytes;
    QelXdrPutFn putBytes;
    void* owner;                  // the object behind getBytes/putBytes
    int wide;                     // the wire code set is a 16-bit one
    int error;                    // code-page result of the last failed conversion
    ArcIconvHandle* toLocal;      // wire -> local
    ArcIconvHandle* toWire;       // local -> wire
    uint32_t features;            // CS_FEATURE_*
    const CsXdrApplGroup* group;  // types the value slots of hit rows; none outside them
    uint64_t position;            // bytes moved since the message start
    uint64_t decodeLimit;         // bytes decoding one message may allocate; 0: CS_XDR_DECODE_LIMIT
    uint64_t allocated;           // bytes decoding allocated since the message start
    int overLimit;                // decoding stopped at a bound (decodeLimit, CS_XDR_LIST_ITEMS_MAX)
};

// Opens both converters (local <-> wire) from the code-page service. Local CCSID 0 opens
// none. The second open failing closes the first. True when both are open; on failure
// xdr->error holds the service's result.
bool QelXdr_InitCodePages(QelXdr* xdr, ArcIconvContext* context, int32_t localCcsid, int32_t wireCcsid);
void QelXdr_CloseCodePages(QelXdr* xdr);

// Scalars. Short values travel as one word (sign- or zero-extended; decode keeps the
// low 16 bits). A byte travels as one byte and three padding bytes.
bool QelXdr_Long(QelXdr* xdr, int32_t* value);
bool QelXdr_ULong(QelXdr* xdr, uint32_t* value);
bool QelXdr_Int(QelXdr* xdr, int32_t* value);
bool QelXdr_UInt(QelXdr* xdr, uint32_t* value);
bool QelXdr_Enum(QelXdr* xdr, int32_t* value);
bool QelXdr_Short(QelXdr* xdr, int16_t* value);
bool QelXdr_UShort(QelXdr* xdr, uint16_t* value);
bool QelXdr_Byte(QelXdr* xdr, uint8_t* value);
bool QelXdr_Char(QelXdr* xdr, char* value);
// Two words, high word first.
bool QelXdr_Hyper(QelXdr* xdr, int64_t* value);
bool QelXdr_UHyper(QelXdr* xdr, uint64_t* value);
// The "long value": two words with CS_FEATURE_LONG64, else one word (sign-extended on
// decode). Encoding a value that does not fit one word without the feature fails.
bool QelXdr_LongValue(QelXdr* xdr, int64_t* value);
// A double as the 8 bytes of its IEEE form, high word first.
bool QelXdr_Double(QelXdr* xdr, double* value);
// count bytes, then zero bytes up to a multiple of 4. Count 0 moves nothing.
bool QelXdr_Opaque(QelXdr* xdr, void* bytes, uint32_t count);
// A length word, then the bytes as opaque. Decode allocates when *bytes is null and the
// length is not 0; a length above maximum fails (with a caller's buffer, maximum is its
// size). Free releases *bytes.
bool QelXdr_Bytes(QelXdr* xdr, char** bytes, uint32_t* length, uint32_t maximum);
// A pointer text: length word (bytes after conversion, terminator included; 0 for a null
// text) and the UCS-2 bytes as opaque. Decode: length 0 leaves an empty text in an
// existing buffer and null otherwise; else the text is converted into the caller's buffer
// (which holds maximum bytes and the terminator) or a new allocation of at most maximum
// bytes, cut on a character boundary. An odd length or one above CS_XDR_TEXT_WIRE_MAX
// fails. Free releases the text.
bool QelXdr_String(QelXdr* xdr, char** text, uint32_t maximum);
// As QelXdr_String into a fixed field of `size` bytes inside a record; nothing is freed.
bool QelXdr_WrapString(QelXdr* xdr, char* field, uint32_t size);
// count as one word (checked against maximum as 32 bits before it is narrowed), then
// each element by proc(xdr, element, argument). Decode allocates zeroed elements when
// *array is null (growing as elements arrive); free releases the array.
bool QelXdr_Array(QelXdr* xdr, void** array, uint16_t* count, uint32_t maximum, uint32_t elementSize,
                  QelXdrProc proc, long argument);
// An optional object: a presence word that is 1 when the object is ABSENT and 0 when it
// follows; any other value fails. Decode allocates the object zeroed; free releases it.
bool QelXdr_Pointer(QelXdr* xdr, void** pointer, uint32_t size, QelXdrProc proc);
// A required object behind a pointer: no presence word. Encoding a null pointer sends a
// zeroed object; decode allocates; free releases.
bool QelXdr_Reference(QelXdr* xdr, void** pointer, uint32_t size, QelXdrProc proc);
bool QelXdr_Void(QelXdr* xdr, void* object, long argument);

// Releases what decoding allocated inside object (not the object itself).
void QelXdr_Free(QelXdrProc proc, void* object);

// Fixes up converted text in place, up to its first zero unit; its own inverse.
// Wide text: mode 0 turns host-order UCS-2 into big-endian (and back); mode 1 does that
// and inverts every byte. Narrow text: mode 1 inverts every byte; mode 0 does nothing.
void QelXdr_TextFixup(unsigned char* text, size_t length, int mode, int wide);

// A marshalling stream over memory: encode appends to Bytes(), decode reads the input.
class QelXdrBuffer {
public:
    explicit QelXdrBuffer(int op, std::span<const unsigned char> input = {});
    QelXdrBuffer(const QelXdrBuffer&) = delete;
    QelXdrBuffer& operator=(const QelXdrBuffer&) = delete;
    ~QelXdrBuffer();

    QelXdr* Xdr() { return &xdr_; }
    const std::vector<unsigned char>& Bytes() const { return bytes_; }
    size_t Remaining() const { return bytes_.size() - read_; }
    // Switches to another operation and, for decode, to new input (a new message: the
    // decode count starts at 0; decodeLimit stays).
    void Reset(int op, std::span<const unsigned char> input = {});

private:
    static bool Get(QelXdr* xdr, void* bytes, uint32_t count);
    static bool Put(QelXdr* xdr, const void* bytes, uint32_t count);
    QelXdr xdr_{};
    std::vector<unsigned char> bytes_;
    size_t read_ = 0;
};

// ===========================================================================
// 2. Records (wire order in docs/wire.md)
// ===========================================================================

// A typed value slot. The letter is the type of the field the slot belongs to:
// 'B' 64-bit, 'D' double, 'I' 32-bit, 'N' 16-bit, 'S'/'T' text of at most 255 bytes
// (allocated on decode), other letters (and 0) carry nothing.
struct CsXdrValue {
    char type;
    union {
        int64_t big;
        double real;
        int32_t integer;
        int16_t small;
        char* text;
    } v;
};

// A text entry of a list (pointer text of at most 32701 bytes).
struct CsXdrTextEntry {
    char* text;
};

// The user record (logon reply, password change, user operations).
struct CsXdrUserRecord {
    uint32_t userNumber;
    char userId[CS_XDR_USERID_SIZE];
    char password[CS_XDR_USERID_SIZE];  // crypt hash or the old password of a change
    char description[CS_XDR_DESC_SIZE];
    char userName[CS_XDR_NAME_SIZE];  // the first of eleven 61-byte texts
    char info[10][CS_XDR_NAME_SIZE];
    char phone[2][CS_XDR_PHONE_SIZE];
    char email[CS_XDR_NAME_SIZE];
    uint32_t attributes;
    uint16_t userType;
    int64_t passwordChanged;  // 'Z' seconds; 0 never
    int64_t logonTimeOut;     // with CS_FEATURE_LONG64 only
    uint32_t logonState;      // with CS_FEATURE_LONG64 only
};

// One entry of the user and group lists (codes 9, 13).
struct CsXdrUserEntry {
    uint32_t number;
    char name[CS_XDR_USERID_SIZE];
    char description[CS_XDR_DESC_SIZE];
};

// The user identity as the handle keeps it (88 bytes).
struct CsXdrIdentity {
    char userId[CS_XDR_USERID_SIZE];
    char userName[CS_XDR_NAME_SIZE];
    uint32_t processId;
};

// The logon record (32 bytes). lastActivity never travels.
struct CsXdrLogonRecord {
    uint32_t userNumber;
    char* groupList;
    uint16_t userType;
    int64_t lastActivity;
    int64_t timeOut;
};

// The system parameters (32 bytes).
struct CsXdrSystemParms {
    int32_t passwordExpiryDays;
    uint16_t minPasswordLength;
    uint16_t reserved1;
    int64_t timeOut;
    uint32_t flags;
    uint32_t systemLogMask;
    uint32_t exitMask;
    uint32_t reserved2;
};

// A storage node entry of a storage set.
struct CsXdrNodeEntry {
    char name[CS_XDR_NAME_SIZE];
    char description[CS_XDR_DESC_SIZE];
    char logon[CS_XDR_USERID_SIZE];
    char password[CS_XDR_USERID_SIZE];
    char serverName[CS_XDR_SERVER_SIZE];
    uint32_t flags;
    uint16_t number;
};

// The storage set that request 53 returns.
struct CsXdrStorageSet {
    char name[CS_XDR_NAME_SIZE];
    char description[CS_XDR_DESC_SIZE];
    char type;  // 'F' or 'L'
    uint16_t nodeCount;
    CsXdrNodeEntry* nodes;
};

// Storage-node information of a group (request 64; also a body part of 60, 101, 62).
struct CsXdrNodeInfo {
    uint32_t groupNumber;
    uint16_t primaryNode;
    uint16_t secondaryNode;
    char compression;
};

// A field definition of an application group; its type types the hit rows' slots.
struct CsXdrFieldDef {
    char name[CS_XDR_FIELD_SIZE];
    char type;            // 'B' 'D' 'I' 'N' 'S' 'T' ...
    uint8_t flags;        // 0x04 segment date, 0x08 text search, 0x20 key
    uint16_t textLength;  // type 'S' only
    uint8_t textCase;     // type 'S' only
    uint16_t number;
    uint16_t mapCount;
    CsXdrTextEntry* mapValues;
    uint16_t displayCount;
    CsXdrTextEntry* displayValues;
    char formats[3][CS_XDR_PREFIX_SIZE];  // strip, leading and trailing character sets
    // Kept in memory only, never on the wire: the date/time kind of an integer field
    // ('D' date, 'T' time, 'C' local date and time, 'Z' date and time, 0 none).
    char dateType;
};

// An application entry of a group (the "group field entry").
struct CsXdrApplEntry {
    char name[CS_XDR_NAME_SIZE];
    char description[CS_XDR_DESC_SIZE];
    char* value;  // the application-id value
    uint8_t flags[4];
    uint32_t number;
    uint32_t options;
    char* texts[3];
    CsXdrTextEntry parameters;
};

// The text-search part of an application group (16 bytes).
struct CsXdrTextSearch {
    uint16_t values[3];
    char folder[10];
};

// An application group.
struct CsXdrApplGroup {
    uint32_t number;
    char name[CS_XDR_NAME_SIZE];
    char description[CS_XDR_DESC_SIZE];
    char prefix[CS_XDR_PREFIX_SIZE];  // table-name prefix
    uint16_t notePermissions;
    char segmentKind;  // 'M': segments filled up to rowsPerSegment
    uint32_t rowsPerSegment;
    uint8_t logging;
    uint32_t storageSet;
    uint8_t permissions;  // 0x01 retrieve, 0x02 store, 0x08 update index
    uint32_t words[7];
    uint32_t flags;
    uint16_t fieldCount;
    CsXdrFieldDef* fields;
    uint16_t applCount;
    CsXdrApplEntry* appls;
    CsXdrTextSearch textSearch;
    // Kept in memory only, never on the wire: the search restriction of a group read
    // from the local server (malloc'd; the free operation releases it).
    char* restriction;
};

// What the user's row of a folder field adds to it. Kept in memory only, never on the
// wire: a folder from a remote server carries the defaults (the type's whole range, no
// decimals, the client's date formats, no wildcard, unit 'D', ascending).
struct CsFolderFieldUser {
    int64_t minimum;  // integer and date types
    int64_t maximum;
    double minimumReal;  // type 'D'
    double maximumReal;
    int16_t precision;                     // digits after the point of a 'D' field
    char dateFormat[CS_XDR_NAME_SIZE];     // input format of a date field ("" default)
    char displayFormat[CS_XDR_NAME_SIZE];  // display format of a date field ("" default)
    char wildcard;                         // LIKE: 'P' prefix, 'A' append, 'B' both, 0 none
    char defaultUnit;                      // unit of relative dates: 'D', 'M' or 'Y'
    char ascending;                        // 'A' ascending sort, else descending
    uint8_t limitsSet;                     // 1 when minimum and maximum were given
    // Group fields the field maps onto: 1 one field; 2 a begin and an end field (a value
    // lies between them); more: two fields either of which may match. The second field
    // is in the second half of the group's map (CsXdrFieldMap).
    uint8_t mapCount;
};

// A field of a folder; its two values are typed by type[0]. type[0] is the data type
// ('A' 'B' 'C' 'D' 'G' 'I' 'N' 'R' 'S' 'T'), type[1] the date/time kind of an integer
// field ('C' 'D' 'T' 'Z', else 0). attributes: criteria, display and sort order numbers
// (0: not used). flags: 0x01 required, 0x02 has a default text, 0x04 copied into the
// criterion, 0x10 selects the second value list. display: the allowed-operator mask,
// the default operator (an operator bit), reserved.
struct CsXdrFolderField {
    char name[CS_XDR_NAME_SIZE];
    char description[CS_XDR_DESC_SIZE];
    char type[2];
    uint16_t number;
    uint16_t attributes[3];
    uint8_t flags;
    uint16_t display[3];
    CsXdrValue defaults[2];
    CsFolderFieldUser user;  // in memory only
};

// The field numbers that one application group maps to the folder's fields: entry i
// the group field behind folder field i (0xFFFF: none). When count is twice the folder's
// field count, entry n+i is the second group field of folder field i (used when its
// mapCount is not 1).
struct CsXdrFieldMap {
    uint16_t count;
    uint16_t* numbers;
};

// A folder: an entry of the folder list (codes 19, 121) and the reply of code 20.
struct CsXdrFolder {
    uint32_t number;
    char name[CS_XDR_NAME_SIZE];
    char description[CS_XDR_DESC_SIZE];
    uint8_t type;
    uint16_t fieldTotal;
    uint32_t flags;  // 0x100 special folder; low byte: the definition's flag byte (0x08, 0x10, 0x40, 0x80)
    uint16_t fieldCount;
    CsXdrFolderField* fields;
    uint16_t groupCount;
    CsXdrApplGroup* groups;
    CsXdrFieldMap* maps;  // groupCount entries
    // Kept in memory only, never on the wire: the user's hit limit on the folder (-1:
    // none; a remote folder has none).
    int32_t hitLimit;
};

// Where a document lives inside a stored object: the stored block that holds it
// (compressedOffset and compressedLength in the object as stored) and the document's
// place in that block once expanded (offset, length). The row header of the local
// segment index, in the same order.
struct CsXdrObjectRef {
    uint32_t offset;
    uint32_t length;
    uint32_t compressedOffset;
    uint32_t compressedLength;
    char compression;  // how the object is stored
    uint8_t location;
    uint32_t resourceId;  // the document's resource object (0: none)
    uint16_t primaryNode;
    uint16_t secondaryNode;
    char* name;
};

// A hit (index row). values is present only with slots; each slot is typed by the
// field of the current application group (QelXdr::group) with the same position.
struct CsXdrHitRow {
    uint8_t noteFlag;  // with CS_FEATURE_RESERVED_WORD only
    char segment[CS_XDR_FIELD_SIZE];
    CsXdrObjectRef* object;  // optional
    uint16_t valueCount;
    CsXdrValue* values;  // optional
};

// A note (annotation).
struct CsXdrNote {
    uint32_t number;
    char userId[CS_XDR_USERID_SIZE];
    uint32_t flags;
    int64_t created;
    uint32_t color;
    char* text;
    uint32_t page;
    uint32_t attributes;
    unsigned char key[32];
    uint32_t dataLength;
    char* data;
};

// What adding an index row answers.
struct CsXdrIndexResult {
    char segment[CS_XDR_FIELD_SIZE];
    int64_t values[8];
    uint32_t words[6];
};

// A segment of an application group's index.
struct CsXdrSegment {
    uint16_t number;
    uint16_t status;  // 0x01 available, 0x02 not for update
    char name[CS_XDR_SEGNAME_SIZE];
    int64_t startDate;
    int64_t stopDate;
    int64_t rows;
};

// One item of a value list (a linked list; next is optional).
struct CsXdrValueItem {
    uint16_t number;
    char* text;
    CsXdrValueItem* next;
};

// A search criterion: a field, its type letter, an operator and two values. Date types
// 'C', 'D', 'T', 'Z' carry two texts of 61 bytes, other types two typed values.
struct CsXdrCriteria {
    char field[CS_XDR_FIELD_SIZE];
    char type;
    int16_t op;
    CsXdrValue values[2];
    char dates[2][CS_XDR_NAME_SIZE];
};

// A named query (code 73) and a server printer (code 78).
struct CsXdrNamedQuery {
    uint32_t number;
    char name[CS_XDR_NAME_SIZE];
    char* text;
    uint32_t flags;
};
struct CsXdrPrinter {
    uint32_t number;
    char name[CS_XDR_NAME_SIZE];
    char description[CS_XDR_DESC_SIZE];
    uint32_t words[3];
};

// The head of a server print request (code 93).
struct CsXdrPrintRequest {
    uint32_t printer;
    uint32_t copies;
    uint32_t options;
    char* name;
};

// One piece of bulk data in a reply (codes 60, 101, 62, 88).
struct CsXdrDataPiece {
    char letter;  // compression letter of the bytes
    int64_t position;
    uint32_t length;
    char* data;
};

// What a request carries of its handle (filled by the dispatcher).
struct CsXdrHandlePart {
    uint32_t flags1;
    uint32_t serverFlags;  // the client flags word
    uint32_t protocol;     // the handle's kind
    int32_t localCcsid;
    CsXdrIdentity identity;
    CsXdrLogonRecord* logon;  // optional
    uint32_t flags2;          // on the wire only when flags1 has 0x40000000
};

// Record procedures: (stream, record, argument) as QelXdrProc.
bool CsXdr_TextEntry(QelXdr* xdr, void* entry, long argument);
bool CsXdr_Value(QelXdr* xdr, CsXdrValue* value, char type);
bool CsXdr_UserRecord(QelXdr* xdr, void* record, long passwordMode);
bool CsXdr_UserEntry(QelXdr* xdr, void* entry, long argument);
bool CsXdr_Identity(QelXdr* xdr, void* identity, long argument);
bool CsXdr_LogonRecord(QelXdr* xdr, void* record, long argument);
bool CsXdr_SystemParms(QelXdr* xdr, void* parms, long argument);
bool CsXdr_NodeEntry(QelXdr* xdr, void* entry, long argument);
bool CsXdr_StorageSet(QelXdr* xdr, void* set, long argument);
bool CsXdr_NodeInfo(QelXdr* xdr, void* info, long argument);
bool CsXdr_FieldDef(QelXdr* xdr, void* field, long argument);
bool CsXdr_ApplEntry(QelXdr* xdr, void* entry, long argument);
bool CsXdr_ApplGroup(QelXdr* xdr, void* group, long argument);
bool CsXdr_FolderField(QelXdr* xdr, void* field, long argument);
bool CsXdr_Folder(QelXdr* xdr, void* folder, long argument);
bool CsXdr_ObjectRef(QelXdr* xdr, void* object, long argument);
// Fails on decode when the row has value slots and xdr->group is none, or the row has
// more slots than the group has fields; on encode when a slot's type differs from its
// field's (0 counts as an empty value of the field's type).
bool CsXdr_HitRow(QelXdr* xdr, void* row, long argument);
bool CsXdr_Note(QelXdr* xdr, void* note, long argument);
bool CsXdr_IndexResult(QelXdr* xdr, void* result, long argument);
bool CsXdr_Segment(QelXdr* xdr, void* segment, long argument);
// An optional value list (presence word, then item, presence word of the next, ...);
// marshalled without recursion, so a long list cannot exhaust the stack. Decode refuses
// a list of more than CS_XDR_LIST_ITEMS_MAX items (overLimit).
bool CsXdr_ValueList(QelXdr* xdr, CsXdrValueItem** list);
bool CsXdr_Criteria(QelXdr* xdr, void* criteria, long argument);
bool CsXdr_NamedQuery(QelXdr* xdr, void* query, long argument);
bool CsXdr_Printer(QelXdr* xdr, void* printer, long argument);
bool CsXdr_PrintRequest(QelXdr* xdr, void* request, long argument);
bool CsXdr_DataPiece(QelXdr* xdr, void* piece, long argument);
bool CsXdr_HandlePart(QelXdr* xdr, void* part, long argument);

// ---------------------------------------------------------------------------
// Request bodies, by code. Data-carrying codes start with `first`: 1 in the first
// message of a request, 0 in each following data message, which carries only the
// counted bytes (a zero length ends the data).
// ---------------------------------------------------------------------------

struct CsReqLevel {  // 0
    int32_t level;
};
struct CsReqLogon {  // 3
    char userId[CS_XDR_USERID_SIZE];
    char password[CS_XDR_USERID_SIZE];
};
struct CsReqUser {  // 6, 7
    CsXdrUserRecord* user;
};
struct CsReqChangePassword {  // 8
    CsXdrUserRecord* user;    // optional; its password field is the old one
    char newPassword[CS_XDR_USERID_SIZE];
    uint32_t hasNewPassword;
};
struct CsReqUserList {  // 9, 13
    char* name;
    char* userFilter;
    uint32_t number;
    uint32_t groupFilter;
};
struct CsReqFolderList {  // 19, 121
    char* pattern;
    char* selection1;
    char* selection2;
    uint8_t flags;  // 121 only
};
struct CsReqFolderGroups {  // 20
    uint32_t folderNumber;
    uint16_t nameCount;
    CsXdrTextEntry* names;
};
struct CsReqNumber {  // 53
    uint32_t number;
};
struct CsReqStorageNodes {  // 64
    uint32_t groupNumber;   // the application group asked about
    uint16_t nodeNumber;    // its storage node (0: the group's primary)
};
struct CsReqLoadInfo {  // 86
    uint32_t groupNumber;
};
struct CsReqStore {  // 54, 95, 96
    uint32_t first;
    CsXdrApplGroup* group;
    CsXdrHitRow* block;  // the index values, typed by group
    CsXdrNodeEntry* primary;
    CsXdrNodeEntry* secondary;
    CsXdrObjectRef* object;
    int64_t value;  // 96 only: this and the next three
    uint8_t flag1;
    uint8_t flag2;
    uint32_t word;
    uint32_t dataLength;  // data messages
    char* data;
};
struct CsReqUpdateIndex {  // 56
    CsXdrApplGroup* group;
    CsXdrHitRow* oldHit;
    CsXdrHitRow* newHit;
};
struct CsReqAddIndexRow {  // 57, 103
    CsXdrApplGroup* group;
    CsXdrHitRow* block;
    CsXdrValueItem* rows;  // 103 only (optional list)
    CsXdrIndexResult* result;
    CsXdrSegment* segment;
    uint32_t word;
};
struct CsReqSearch {  // 59, 100, 112
    CsXdrApplGroup* group;
    char* where;
    CsXdrCriteria* range;  // the segment date range
    uint8_t flags;
    CsXdrValueItem* noteFilter;  // 100, 112
    uint8_t noteLetter;          // 100, 112
    CsXdrValueItem* textSearch;  // 112
};
struct CsReqDocData {  // 60, 101
    CsXdrApplGroup* group;
    CsXdrHitRow* hit;
    CsXdrApplEntry* appl;
    CsXdrNodeEntry* node;
    CsXdrNodeInfo* nodes;
    uint8_t flags[3];
};
struct CsReqResources {  // 62
    CsXdrApplGroup* group;
    CsXdrNodeEntry* node;
    uint8_t flags;
    CsXdrNodeInfo* nodes;
};
struct CsReqNote {  // 67, 68, 99
    CsXdrApplGroup* group;
    CsXdrHitRow* hit;
    CsXdrNote* note;
};
struct CsReqNotes {  // 69
    uint32_t groupNumber;
    CsXdrObjectRef* object;
    uint32_t word;
};
struct CsReqQueries {  // 73
    uint32_t folderNumber;
    uint32_t userNumber;
    uint16_t count;
    CsXdrTextEntry* entries;
};
struct CsReqNumbers {  // 74, 110
    uint16_t count;
    uint32_t* numbers;
};
struct CsReqStoreObject {  // 87
    uint32_t first;
    CsXdrApplGroup* group;
    CsXdrNodeEntry* primary;
    CsXdrNodeEntry* secondary;
    uint8_t location;
    char* objectName;
    uint8_t flag1;
    uint8_t flag2;
    int64_t value;
    uint32_t dataLength;
    char* data;
};
struct CsReqSegmentData {  // 88
    CsXdrApplGroup* group;
    CsXdrNodeEntry* primary;
    CsXdrNodeEntry* secondary;
    uint8_t location;
    char* objectName;
    uint32_t words[2];
};
struct CsReqLogMessage {  // 91
    uint32_t first;
    uint32_t messageNumber;
    uint16_t objectCount;
    CsXdrObjectRef* objects;
    CsXdrObjectRef* object;
    uint8_t byte;
    uint32_t word;
    uint32_t dataLength;
    char* data;
};
// 92, 97, 104 (and the item messages of 93): `more` 1 = an item message, 0 = the
// closing message.
struct CsReqHitItems {
    uint32_t more;
    uint32_t word;          // item messages: this, group, appl (104), hit, word2
    CsXdrApplGroup* group;  // optional: absent = the group of the last item
    CsXdrApplEntry* appl;   // 104 only
    CsXdrHitRow* hit;
    uint32_t word2;
    uint32_t endWord;        // closing message: endWord, then endByte or values
    uint8_t endByte;         // 92, 97
    CsXdrValueItem* values;  // 104
};
struct CsReqServerPrint {  // 93
    uint32_t first;
    CsXdrPrintRequest* print;  // first message: print, text, entries
    char* text;
    uint16_t count;
    CsXdrTextEntry* entries;
    CsReqHitItems items;  // following messages
};
struct CsReqDocObject {  // 102
    CsXdrApplGroup* group;
    CsXdrNodeEntry* primary;
    CsXdrNodeEntry* secondary;
    uint8_t location;
    CsXdrHitRow* hit;
    char* text;
    uint32_t words[2];
};
struct CsReqToken {  // 108
    uint32_t first;
    char userId[CS_XDR_USERID_SIZE];  // first message only
    uint32_t length;
    char* token;
};

union CsRequestBody {
    CsReqLevel level;
    CsReqLogon logon;
    CsReqUser user;
    CsReqChangePassword changePassword;
    CsReqUserList userList;
    CsReqFolderList folderList;
    CsReqFolderGroups folderGroups;
    CsReqNumber number;
    CsReqStorageNodes storageNodes;
    CsReqLoadInfo loadInfo;
    CsReqStore store;
    CsReqUpdateIndex updateIndex;
    CsReqAddIndexRow addIndexRow;
    CsReqSearch search;
    CsReqDocData docData;
    CsReqResources resources;
    CsReqNote note;
    CsReqNotes notes;
    CsReqQueries queries;
    CsReqNumbers numbers;
    CsReqStoreObject storeObject;
    CsReqSegmentData segmentData;
    CsReqLogMessage logMessage;
    CsReqHitItems hitItems;
    CsReqServerPrint serverPrint;
    CsReqDocObject docObject;
    CsReqToken token;
};

// A request record: the header, then the body of its code.
struct CsRequestRecord {
    CsXdrHandlePart* handle;  // optional
    uint32_t code;
    uint32_t sendWindow;
    uint32_t replyWindow;
    int32_t reserved;  // -1; with CS_FEATURE_RESERVED_WORD only
    char* text;
    unsigned char sessionBlock[CS_XDR_SESSION_BLOCK];  // with CS_FEATURE_SESSION only
    CsRequestBody body;
};

// ---------------------------------------------------------------------------
// Reply bodies, by the reply code. A list reply carries one optional item; an absent
// item ends the list. A reply carries its body only when its result is 0, or 12 for
// code 3, or 13 for code 8.
// ---------------------------------------------------------------------------

struct CsRepLogon {  // 3
    CsXdrUserRecord user;
    CsXdrIdentity identity;
    CsXdrLogonRecord* logon;  // optional
    CsXdrSystemParms* parms;  // optional
    uint32_t session;
    uint32_t words[2];
    unsigned char sessionBlock[CS_XDR_SESSION_BLOCK];
};
struct CsRepUser {  // 6, 8
    CsXdrUserRecord user;
    uint32_t word;  // 8 only
};
struct CsRepUserEntry {  // 9, 13
    CsXdrUserEntry* entry;
};
struct CsRepFolderEntry {  // 19, 121
    CsXdrFolder* folder;
    uint32_t final;  // 121 only
};
struct CsRepFolder {  // 20
    CsXdrFolder* folder;
};
struct CsRepStorageSet {  // 53
    CsXdrStorageSet* set;
};
struct CsRepObject {  // 54, 95, 96
    CsXdrObjectRef object;
};
struct CsRepIndexRow {  // 57, 103
    CsXdrIndexResult result;
    CsXdrSegment segment;
    uint32_t word;
};
struct CsRepWord {  // 58, 87, 109
    uint32_t value;
};
struct CsRepHit {  // 59, 100, 112
    CsXdrHitRow* hit;
};
struct CsRepData {          // 60, 101, 62, 88
    CsXdrDataPiece* piece;  // absent: the end of the data
    uint8_t location;       // end of 60 and 101
    uint8_t second;         // end of 101
};
struct CsRepNodeInfo {  // 64
    CsXdrNodeInfo* info;
};
struct CsRepNoteWords {  // 67
    uint32_t words[2];
};
struct CsRepNote {  // 69
    CsXdrNote* note;
};
struct CsRepQuery {  // 73
    CsXdrNamedQuery* query;
};
struct CsRepSegment {  // 74, 110
    CsXdrSegment* segment;
};
struct CsRepPrinter {  // 78
    CsXdrPrinter* printer;
};
struct CsRepSystemParms {  // 84
    CsXdrSystemParms* parms;
};
struct CsRepText {  // 86
    char* text;
};
struct CsRepDocObject {  // 102
    uint8_t answer;
    uint32_t word;
};
struct CsRepValues {  // 104
    CsXdrValueItem* items;
};
struct CsRepToken {   // 108
    uint32_t length;  // 0: no further token
    char* token;
    char userId[CS_XDR_USERID_SIZE];
};

union CsReplyBody {
    CsRepLogon logon;
    CsRepUser user;
    CsRepUserEntry userEntry;
    CsRepFolderEntry folderEntry;
    CsRepFolder folder;
    CsRepStorageSet storageSet;
    CsRepObject object;
    CsRepIndexRow indexRow;
    CsRepWord word;
    CsRepHit hit;
    CsRepData data;
    CsRepNodeInfo nodeInfo;
    CsRepNoteWords noteWords;
    CsRepNote note;
    CsRepQuery query;
    CsRepSegment segment;
    CsRepPrinter printer;
    CsRepSystemParms parms;
    CsRepText text;
    CsRepDocObject docObject;
    CsRepValues values;
    CsRepToken token;
};

// A reply record. `group` is an input: the application group that types the hit rows
// of search replies (kept when the record is cleared for decoding).
struct CsReplyRecord {
    int32_t result;
    uint32_t code;                      // the request code answered; 1 go-ahead, 2 cancelled
    uint32_t status;                    // with CS_FEATURE_RESERVED_WORD; 0x1 drop the connection
    char* text;                         // with CS_FEATURE_TEXTS
    char message[CS_XDR_MESSAGE_SIZE];  // with CS_FEATURE_TEXTS: the server's message text
    const CsXdrApplGroup* group;
    CsReplyBody body;
};

// Status bit of a reply: drop the connection after the request.
inline constexpr uint32_t CS_REPLY_DROP_CONNECTION = 0x1;

// Encodes, decodes or frees a request record on the stream. A handle part (when present
// and not freeing) sets xdr->features from its flag words. Codes above 121 fail.
bool CsXdrRequest(QelXdr* xdr, CsRequestRecord* request);
// Encodes, decodes or frees a reply record. Decoding clears the record first (keeping
// `group`). A reply code above 121 fails.
bool CsXdrResponse(QelXdr* xdr, CsReplyRecord* reply);
// Releases what decoding put into a record (not the record itself).
void CsFreeRequestRecord(CsRequestRecord* request);
void CsFreeReplyRecord(CsReplyRecord* reply);

// ===========================================================================
// 3. The message stream
// ===========================================================================

// Frame layout (docs/frames.md).
inline constexpr uint32_t CS_FRAME_MAX = 8192;
inline constexpr uint32_t CS_FRAME_PLAIN_HEADER = 8;
inline constexpr uint32_t CS_FRAME_COMPRESSED_HEADER = 20;
inline constexpr uint32_t CS_FRAME_COMPRESSED_MARK = 0xFFFFFFFFu;
inline constexpr uint32_t CS_FRAME_CONTINUATION = 0x1;
inline constexpr uint32_t CS_FRAME_LAST = 0x2;
inline constexpr uint32_t CS_FRAME_PLAIN_LIMIT = 1024 * 1024;  // longest plain frame read
inline constexpr uint32_t CS_FRAME_COMPRESS_MIN = 17;          // shorter payloads go plain
inline constexpr char CS_FRAME_LETTER = 'O';

struct CsStream;

// A new stream with its buffers, or none when memory runs out.
CsStream* CsStreamCreate();
// Ends both pipelines, closes the code pages, frees every buffer. Null is ignored.
void CsStreamFree(CsStream* stream);
// The marshalling head of the stream (for CsXdrRequest and CsXdrResponse).
QelXdr* CsStreamXdr(CsStream* stream);
// Opens the code pages (QelXdr_InitCodePages), installs the byte movers and resets both
// sides: message number 0, letter 'O', compression off. False when the code pages fail.
bool CsStreamSetup(CsStream* stream, ArcIconvContext* context, int32_t localCcsid, int32_t wireCcsid);
void CsStreamCloseCodePages(CsStream* stream);
// The transport the frames go through: its Send and Recv entries are called with
// `connection` (the table may hold forwarders that keep their own record there).
void CsStreamSetTransport(CsStream* stream, const ArcCOM_Funcs* funcs, ArcCOM_Connection* connection);
// Compression of the messages that follow (the dispatcher's choice per request).
void CsStreamSetCompression(CsStream* stream, int on);

// Starts message `number` on the send side: resets the codec position and error, the
// send buffers and the letter 'O'; xdr->op becomes QELXDR_ENCODE.
void CsStreamStartMessage(CsStream* stream, uint32_t number);
uint32_t CsStreamMessageNumber(const CsStream* stream);
// Appends bytes to the message; a full buffer goes out as a non-final part.
bool CsStreamPutBytes(CsStream* stream, const void* bytes, uint32_t count);
// Sends what the message holds; a final flush ends the message. Payloads below 17
// bytes, and every payload while compression is off, go as plain frames.
bool CsStreamFlush(CsStream* stream, int final);

// Reads and drops frames of earlier messages (and the unread rest of the current
// message) until the first frame of a message numbered as the one last sent arrives;
// xdr->op becomes QELXDR_DECODE and the message's decode count starts at 0. A frame of
// a later number fails.
bool CsStreamReadMessageStart(CsStream* stream);
// The peer's side: takes the next message whatever its number; it becomes the number
// of the messages sent after it.
bool CsStreamReadAnyMessage(CsStream* stream);
// Copies decoded payload of the current message, reading its further frames as needed.
bool CsStreamGetBytes(CsStream* stream, void* bytes, uint32_t count);
// Forgets the current message on both sides (a cancel breaks off the exchange).
void CsStreamResetPosition(CsStream* stream);
// True after a framing fault (bad length, short transfer, a frame of a later number or
// of the wrong kind, a broken compressed run): the byte stream is out of step and the
// connection must be dropped.
bool CsStreamBroken(const CsStream* stream);

// ---------------------------------------------------------------------------
// Delivering bulk data: each piece of a reply, with its letter, runs through a
// pipeline from that letter to 'N' (begun with the first piece) into buffers of the
// caller's size (32767 when 0). Each chunk goes to callback(context, buffer, length):
// a non-zero result means go on; 0 means the callback keeps the buffer (malloc'd; it
// frees it) and a new one is allocated for the next chunk. Pieces of 'D' or 'N' are
// handed over as they are, without copying.
// ---------------------------------------------------------------------------

typedef int (*CsDataCallback)(void* context, char* buffer, uint32_t length);

struct CsDelivery;

// A delivery, or none when memory runs out.
CsDelivery* CsDeliveryBegin(uint32_t bufferSize, CsDataCallback callback, void* context);
// Delivers one piece. When the callback keeps a piece handed over as it is, *data is
// set to null (the piece now belongs to the callback). 0, 9 out of memory, or 6 for a
// pipeline failure (an unknown letter, corrupt data, a letter change between pieces).
int CsDeliveryPiece(CsDelivery* delivery, char letter, char** data, uint32_t length);
// Drains the pipeline, delivers the rest and frees the delivery (null is ignored).
// 0, 9 or 6 (also for compressed data that ended early).
int CsDeliveryEnd(CsDelivery* delivery);
// Frees the delivery without draining (after a failure or a cancel).
void CsDeliveryAbort(CsDelivery* delivery);
