// arc_codepage.h - code pages: the conversion engine and the code-page service.
//
// The service names character sets by CCSID (819 ISO 8859-1, 850 PC Latin-1, 37/500/1047
// EBCDIC, 1208 UTF-8, 1200 and 13488 UCS-2, ...), maps each to a code-set name through
// qelcpcs.cfg and opens converters of the engine by name. The engine converts between
// UCS-2, UTF-8 and code sets described by table files in <locale>/uconvtab/ (format in
// docs/uconvtab-format.md), in the manner of POSIX iconv.
#pragma once

#include <cstddef>
#include <cstdint>

// Results of the service (plain integers shared with its callers).
enum ArcIconvResult {
    ARC_ICONV_OK = 0,
    ARC_ICONV_NO_MEMORY = 1,
    ARC_ICONV_TOO_MANY_OPEN = 2,
    ARC_ICONV_NOT_SUPPORTED = 3,  // also: CCSID 0 has no name
    ARC_ICONV_INVALID_INPUT = 4,
    ARC_ICONV_INCOMPLETE_INPUT = 5,  // a character cut off at the end of the input
    ARC_ICONV_OUTPUT_TOO_SMALL = 6,
    ARC_ICONV_OTHER = 7,  // at start-up: qelcpcs.cfg missing or malformed
};

// Longest code-set name of qelcpcs.cfg; ArcICONV_CcsidToName needs a buffer of 65 bytes.
inline constexpr size_t ARC_ICONV_NAME_MAX = 64;

struct ArcIconvContext;  // one per process: locale path, CCSID names, table cache
struct ArcIconvHandle;   // one converter between two CCSIDs

// ---------------------------------------------------------------------------
// Code-page service
// ---------------------------------------------------------------------------

// Makes the process context. The locale path is the argument, else QKLOCPATH, else the
// install's locale directory (cut at its first ';'). QEL_IGN_ICONV_ERR (decimal) non-zero
// lets converters fall back to built-in tables. Result 0; 1 out of memory; 7 when
// qelcpcs.cfg is missing or has a line without white space after its CCSID. On failure
// *context is null.
int ArcICONV_Startup(ArcIconvContext** context, const char* localePath);
// Frees the context; every converter must be closed before. Always 0.
int ArcICONV_Shutdown(ArcIconvContext* context);

// Opens a converter: directly, or chained through 13488 (UCS-2) or 1208 (UTF-8). Same
// CCSIDs, or 1200 with 13488, give a converter that copies. Result 0..7 (3: code set not
// supported); *handle is null unless 0.
int ArcICONV_Open(ArcIconvContext* context, int32_t sourceCcsid, int32_t targetCcsid,
                  ArcIconvHandle** handle);
// Closes a converter; null is accepted. 0, or 7 when an engine converter failed to close.
int ArcICONV_Close(ArcIconvHandle* handle);

// Converts the whole input (lengths in bytes, also for UCS-2). *outputLength holds the
// size of the output on entry and the bytes written on return. A converter starts every
// call in its initial shift state and ends a mixed-EBCDIC text with shift-in. Results:
// 0; 4 invalid input; 5 input cut off inside a character; 6 output too small (what
// fitted is kept and counted; also for an output size of 0); 1 or 7.
int ArcICONV_Convert(ArcIconvHandle* handle, const char* input, size_t inputLength, char* output,
                     size_t* outputLength);
// As ArcICONV_Convert into a buffer the service allocates (malloc; the caller frees it);
// *output is null unless the result is 0.
int ArcICONV_ConvertAlloc(ArcIconvHandle* handle, const char* input, size_t inputLength, char** output,
                          size_t* outputLength);
// The code-set name of a CCSID into a 65-byte buffer: the last qelcpcs.cfg entry with a
// name, else "UCS-2" (1200, 13488), "UTF-8" (1208) or "KVR-%03ld". 0, or 3 for CCSID 0.
int ArcICONV_CcsidToName(ArcIconvContext* context, int32_t ccsid, char* name);

// Classes of a CCSID: 1 or 0.
int ArcICONV_IsUcs2Ccsid(int32_t ccsid);
int ArcICONV_IsUtf8Ccsid(int32_t ccsid);
int ArcICONV_IsEbcdicCcsid(int32_t ccsid);
int ArcICONV_IsMixedEbcdicCcsid(int32_t ccsid);
int ArcICONV_IsAsciiCcsid(int32_t ccsid);
int ArcICONV_IsDoubleByteCcsid(int32_t ccsid);
int ArcICONV_IsMultiByteCcsid(int32_t ccsid);
int ArcICONV_IsSingleByteCcsid(int32_t ccsid);
// The built-in table from an EBCDIC code page to ISO 8859-1 (256 bytes, indexed by the
// EBCDIC byte): that of 37, of 277, or of 500 for any other EBCDIC CCSID.
const uint8_t* ArcICONV_EbcdicToLatin1Table(int32_t ebcdicCcsid);

// ---------------------------------------------------------------------------
// Conversion engine (by code-set name)
// ---------------------------------------------------------------------------

struct ArcUconvConverter;
using ArcUconv = ArcUconvConverter*;
// The failed result of ArcUCONV_Open (like (iconv_t)-1).
inline ArcUconv ArcUconvFailed() { return reinterpret_cast<ArcUconv>(static_cast<intptr_t>(-1)); }

// Opens a converter from sourceName to targetName. "UCS-2"/"UCS2" and "UTF-8"/"UTF8"
// (any case, whole name) are built in; any other name is a table file, optionally
// followed by '@' and modifiers name=value[,name=value]: endian=big|little|system[:...],
// map=none|irv, sub=no|to-ucs|from-ucs|yes, subchar=\xHH...|\dNN...|text.
// Returns the converter, or ArcUconvFailed() with errno: EINVAL (unknown or malformed
// name, no or bad table file), ENOMEM, or the error of reading the table.
ArcUconv ArcUCONV_Open(ArcIconvContext* context, const char* targetName, const char* sourceName);
// Converts, advancing the pointers and counts (bytes) over what was converted. Returns
// the number of substituted characters, or -1 with errno: E2BIG output full, EINVAL
// input cut off at the end, EILSEQ invalid or unmappable input, EBADF bad converter.
// A null input with an output flushes (a mixed-EBCDIC writer in double-byte state writes
// shift-in); a null input and a null output return the converter to its initial state.
long ArcUCONV_Convert(ArcUconv converter, const char** input, size_t* inputLeft, char** output,
                      size_t* outputLeft);
// Closes the converter and releases its table. 0, or -1 with errno (EBADF).
int ArcUCONV_Close(ArcIconvContext* context, ArcUconv converter);
