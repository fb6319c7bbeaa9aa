// arc_platform.h - the one seam between the archive gateway and the operating system.
//
// Everything that knows it runs on Linux lives behind these functions: strings and
// characters, libraries, processes, environment, files, locks, mutexes, time, random
// numbers and password hashing. No other component includes a system header for these
// jobs. Functions keep C-style signatures (integer results, 0 = success) so that every
// component can call them as the rest of the system expects.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// ---------------------------------------------------------------------------
// Strings and characters (single-byte; the DBCS helpers honour the process code page)
// ---------------------------------------------------------------------------

// Compare with or without case; <0, 0, >0. Null texts sort before every other text.
int ArcOS_StrCmp(const char* a, const char* b);
int ArcOS_StrICmp(const char* a, const char* b);
// Compare at most n characters.
int ArcOS_StrNCmp(const char* a, const char* b, size_t n);
int ArcOS_StrNICmp(const char* a, const char* b, size_t n);
// Change case in place; return the text.
char* ArcOS_StrUpper(char* text);
char* ArcOS_StrLower(char* text);
int ArcOS_CharUpper(int c);
int ArcOS_CharLower(int c);
// Find sub in text; a pointer into text, or null.
const char* ArcOS_StrStr(const char* text, const char* sub);
// Find sub in text ignoring case; a pointer into the caller's text, or null.
const char* ArcOS_StrIStr(const char* text, const char* sub);
// As ArcOS_StrIStr, but only within the first n characters of text.
const char* ArcOS_StrNIStr(const char* text, const char* sub, size_t n);
// Re-entrant tokenizer: a null text continues from *save; leading delimiters are
// skipped; the delimiter that ends a token is overwritten with a zero. Null when no
// token is left.
char* ArcOS_StrTok(char* text, const char* delimiters, char** save);
int ArcOS_IsAlpha(int c);
// Alphanumeric and not alphabetic.
int ArcOS_IsDigit(int c);
int ArcOS_IsSpace(int c);
// True for a lead byte of a double-byte character in the process code page.
int ArcOS_IsDBCSLeadByte(int c);
// Next and previous character (steps over double-byte characters).
const char* ArcOS_CharNext(const char* p);
const char* ArcOS_CharPrev(const char* start, const char* p);
// Removes trailing blanks (' ' only) in place; returns the text.
char* QelStrTrimRight(char* text);

// ---------------------------------------------------------------------------
// Libraries, processes, environment
// ---------------------------------------------------------------------------

struct ArcOSLibrary;  // a loaded shared library

// Loads a library by absolute path (never searched in the current directory);
// null on failure.
ArcOSLibrary* ArcOS_LoadLibrary(const char* file);
// Entry point or null.
void* ArcOS_GetProcAddress(ArcOSLibrary* box, const char* name);
// Unloads and frees the box; a null box is ignored.
void ArcOS_FreeLibrary(ArcOSLibrary* box);
// The last loader error text (for messages); empty when none.
std::string ArcOS_LibraryError();

// Runs an administrator-configured command line through /bin/sh -c and waits for it.
// Never pass request, cookie or archive text here unquoted (see ArcOS_ShellQuote).
// Result: the command's exit status, or -1 when it could not be started.
int ArcOS_System(const char* command);
// Quotes a value for a /bin/sh command line: 'value' with every ' as '\''.
std::string ArcOS_ShellQuote(std::string_view value);

// Starts argv[0] (an absolute path or a name searched on PATH) with the argument
// vector, no shell, and waits for it. Result: 0 when started (exit status in
// *exitStatus, or 128+signal), else the errno of the failed start.
int ArcOS_RunProgram(const std::vector<std::string>& argv, int* exitStatus);
// The same with the child's standard input and output on /dev/null (standard error shared):
// a CGI program's standard output is its reply, which a child must not write into.
int ArcOS_RunProgramQuiet(const std::vector<std::string>& argv, int* exitStatus);
// The same with standard output and standard error both written to outputFd (standard
// input on /dev/null): a program whose messages the caller keeps.
int ArcOS_RunProgramLogged(const std::vector<std::string>& argv, int outputFd, int* exitStatus);
// Starts argv[0] (as ArcOS_RunProgram) with standard input on /dev/null and does not
// wait for it: the program runs as a grandchild whose parent has already been reaped,
// so it is adopted by init and never stays a zombie of ours. 0 once the program was
// executed, else the errno of the failed start (a missing program: ENOENT).
int ArcOS_SpawnDetached(const std::vector<std::string>& argv);

// A child process with one end of a pipe (popen without a shell).
struct ArcOSPipe {
    FILE* stream = nullptr;  // read end of the child's stdout, or write end of its stdin
    int pid = -1;
};
// mode "r": read the child's standard output; "w": write its standard input.
// 0, or an errno.
int ArcOS_PipeOpen(const std::vector<std::string>& argv, const char* mode, ArcOSPipe* pipe);
// Closes the stream and waits for the child; its exit status, or -1.
int ArcOS_PipeClose(ArcOSPipe* pipe);

// Ends the process at once, without running exit handlers.
[[noreturn]] void ArcOS_Exit(int code);
uint64_t ArcOS_GetThreadId();
uint64_t ArcOS_GetProcessId();
// The effective user's name; 0 on success, 1 when size is 0 or the lookup fails.
int ArcOS_GetUserName(char* buffer, size_t size);

// Sets "name=value" in the process environment (the text is copied). 0, or an errno.
// Environment reads and writes through these two functions are serialised.
int ArcOS_PutEnv(const char* entry);
// The value of an environment variable, or nothing when unset.
std::optional<std::string> ArcOS_GetEnv(const char* name);

// 4: the platform family the rest of the system treats as the full one.
int ArcOS_GetPlatform();
// The CCSID of the process code page (nl_langinfo(CODESET)): UTF-8 -> 1208,
// ISO-8859-1 -> 819, ISO-8859-15 -> 923, anything else -> 819.
int ArcOS_GetCodePage();
// Directory of the running program (or of the given module address, when not null),
// with a trailing '/'. Result: the length, 0 when it does not fit or cannot be found.
size_t ArcOS_GetModuleDir(size_t size, char* buffer);
size_t ArcOS_GetModuleDirOf(const void* address, size_t size, char* buffer);
// A random number in 0..32767 from the kernel's generator.
int ArcOS_Random();
// Fills the buffer with random bytes; 0, or an errno.
int ArcOS_RandomBytes(void* buffer, size_t size);
int ArcOS_StubZero();
intptr_t ArcOS_StubIdentity(intptr_t value);

// ---------------------------------------------------------------------------
// Files and directories
// ---------------------------------------------------------------------------

int ArcOS_ChDir(const char* path);

struct ArcOSFind;  // a directory listing
// Lists the entries of a directory; null when it cannot be opened.
ArcOSFind* ArcOS_FindFirst(const char* directory);
// Copies the current entry's name (skipping "." and "..") and advances: 0, or -1 once
// the listing is exhausted or the name does not fit in size bytes.
int ArcOS_FindNext(ArcOSFind* handle, char* name, size_t size);
void ArcOS_FindClose(ArcOSFind* handle);

// Creates a new empty file (mode 0600, exclusive) named prefix + a unique part in
// directory, and returns its path as a malloc'ed copy the caller frees; null on
// failure. Unlike a bare unique name, no other process can take the name first.
char* ArcOS_TempName(const char* directory, const char* prefix);
// Creates and opens such a file; the descriptor, or -1 with errno set.
int ArcOS_CreateTempFile(const std::string& directory, const std::string& prefix, std::string* path);

// Deletes a file; when refused for lack of permission, makes it writable and tries once
// more. 0, or -1 with errno set.
int ArcOS_Unlink(const char* path);
int ArcOS_FSeek(FILE* stream, int64_t offset, int whence);

struct ArcOSStat {
    int64_t size = 0;
    int64_t mtime = 0;  // seconds since 1970 UTC
    bool isDirectory = false;
    bool isRegular = false;
    unsigned mode = 0;  // permission bits (07777)
};
// 0, or -1 with errno set.
int ArcOS_Stat64(const char* path, ArcOSStat* status);
// True when the path names an existing directory.
bool ArcOS_IsDirectory(const char* path);
// Creates a directory (mode 0700 unless given); existing is no failure. 0, or an errno.
int ArcOS_MakeDirectory(const char* path, unsigned mode = 0700);

// Removes an empty directory. 0, or -1 with errno set.
int ArcOS_RemoveDirectory(const char* path);

// Sets the file's modification time to now, its content untouched. 0, or an errno.
int ArcOS_TouchFile(const char* path);

// Reads a whole file. 0; ENOENT when it does not exist; another errno on failure.
int ArcOS_ReadFile(const char* path, std::string* content);
// Replaces a file atomically: writes a temporary file in the same directory, fsyncs it,
// renames it over the path and fsyncs the directory. On any failure the old file stays
// whole and the temporary file is removed. 0, or the errno of the failed step.
int ArcOS_WriteFileAtomic(const char* path, std::string_view content, unsigned mode = 0600);
// The same without any fsync, for files that are rebuilt when a crash loses them: a
// reader still sees the old file or the new one whole, never a mix.
int ArcOS_ReplaceFile(const char* path, std::string_view content, unsigned mode = 0600);
// Creates a file that must not exist yet, whole or not at all: writes and fsyncs a
// temporary file in the same directory and links it to the path, so no reader ever
// sees it short. 0; EEXIST when the path exists already (it is left as it is); another
// errno on failure, with nothing left behind.
int ArcOS_CreateFileOnce(const char* path, std::string_view content, unsigned mode = 0600);
// A temporary file of the writers above lives no longer than its write: seconds, also for
// the largest file. One left unchanged for an hour belongs to a process that was killed
// while writing, never to a live writer.
inline constexpr int64_t ARCOS_WRITE_LEFTOVER_AGE = 3600;
// True for a name the writers above give their temporary files: "." + the file's name +
// ".tmp" + six letters or digits.
bool ArcOS_IsWriteTempName(std::string_view name);
// Removes what killed writers left in directory: regular files with such names whose last
// change is at least minAge seconds old (a time in the future is not). The count removed,
// or -1 with errno set when the directory cannot be listed.
int ArcOS_RemoveWriteLeftovers(const char* directory, int64_t minAge = ARCOS_WRITE_LEFTOVER_AGE);
// Reads a small file that only its owner may see: refused unless it is a regular file
// (a symbolic link is not followed), owned by the effective user, without any permission
// for group or others, and at most maxSize bytes. 0; ENOENT when missing; EPERM when the
// file is another user's or open to others; EFBIG when larger; another errno on failure.
int ArcOS_ReadPrivateFile(const char* path, size_t maxSize, std::string* content);

// Appends data to a file in one write (created with the given mode when missing), so
// lines from several threads or processes never interleave. 0, or an errno.
int ArcOS_AppendFile(const char* path, std::string_view data, unsigned mode = 0600);

// Test hook: called before each step of ArcOS_WriteFileAtomic ("open", "write",
// "fsync", "rename"), of ArcOS_ReplaceFile (no "fsync") and of ArcOS_CreateFileOnce
// ("rename" for its link); a non-zero result is taken as that step's errno. Empty to clear.
using ArcOSFaultHook = std::function<int(const char* step)>;
void ArcOS_SetFaultHook(ArcOSFaultHook hook);

// Exclusive lock on byte 0 (length 1) of an open file, shared by neither other
// processes nor other threads (open file description locks). Waits. 0, or an errno.
int ArcOS_LockByte(int fd);
int ArcOS_UnlockByte(int fd);

// The same lock on a lock file its holders may remove: opens the path (created 0600 when
// missing), waits for the lock and starts again when the path no longer names the locked
// file (it was removed or replaced while this one waited). The descriptor, or -1 with
// errno set.
int ArcOS_LockPath(const char* path);
// Ends a lock of ArcOS_LockPath and closes the descriptor; with removeFile the file is
// removed first, while still locked, so that a waiter on it starts again.
void ArcOS_UnlockPath(int fd, const char* path, bool removeFile);

// ---------------------------------------------------------------------------
// Time
// ---------------------------------------------------------------------------

void ArcOS_Sleep(unsigned seconds);
void ArcOS_SleepMs(unsigned milliseconds);

// Wall-clock time with milliseconds.
struct ArcOSTimeB {
    int64_t time = 0;      // seconds since 1970 UTC
    uint16_t millitm = 0;  // milliseconds
};
void ArcOS_FTime(ArcOSTimeB* record);
// Seconds since 1970 UTC (the test clock when one is set).
int64_t ArcOS_TimeNow();
// Test hook: a fixed wall clock for ArcOS_TimeNow and ArcOS_FTime; nothing to clear.
void ArcOS_SetTestClock(std::optional<int64_t> utcSeconds);
// Milliseconds of a monotonic clock, for timers and time-outs.
int64_t ArcOS_MonotonicMs();
// Broken-down local and UTC time of a moment; 0, or -1 when out of range.
int ArcOS_LocalTime(int64_t utcSeconds, struct tm* out);
int ArcOS_GmTime(int64_t utcSeconds, struct tm* out);
// Inverse conversions (fields normalised like mktime/timegm). -1 with errno on failure.
int64_t ArcOS_TimeGm(struct tm* fields);
int64_t ArcOS_MkTime(struct tm* fields);
// The local zone's offset from UTC at that moment, in seconds (tm_gmtoff).
long ArcOS_UtcOffset(int64_t utcSeconds);

// Stopwatch on the monotonic clock.
struct QelTimer {
    int64_t seconds = 0;
    uint16_t milliseconds = 0;
};
void QelTimer_Start(QelTimer* record);
// Seconds since QelTimer_Start, with millisecond resolution.
double QelTimer_Elapsed(const QelTimer* record);

// ---------------------------------------------------------------------------
// Numbers
// ---------------------------------------------------------------------------

// Decimal text to a 64-bit integer (leading blanks and one sign allowed).
int64_t ArcOS_AToI64(const char* text);
// Decimal value of the text; for base 0 or 10 *end stops after an optional '-' and the
// digits; for any other base the value is still decimal and *end is the end of the text.
int64_t ArcOS_StrToI64(const char* text, char** end, int base);

// ---------------------------------------------------------------------------
// Mutexes (recursive, like the system mutexes the rest of the system was written for)
// ---------------------------------------------------------------------------

struct ArcOSMutex;
ArcOSMutex* ArcOS_MutexCreate();
// Waits without time limit; 0, or 1 for a null handle.
int ArcOS_MutexLock(ArcOSMutex* handle);
int ArcOS_MutexUnlock(ArcOSMutex* handle);
// Frees the mutex; 0, or 1 for a null handle.
int ArcOS_CloseHandle(ArcOSMutex* handle);

// ---------------------------------------------------------------------------
// Password hash and event log
// ---------------------------------------------------------------------------

// Traditional DES crypt of key with a two-character salt into result (16 bytes: the
// 13-character hash, its terminator, two zero bytes). 0; 1 when crypt fails or refuses
// (a null result or one starting with '*'), with result zeroed.
int ArcOS_Crypt(const char* key, const char* salt, char result[16]);

// SHA-512 crypt ("$6$..."). setting: a previous hash or "$6$salt"; null or empty makes
// a new random salt. 0 with the hash in *out; 1 when crypt fails or refuses.
int ArcOS_CryptSha512(const char* key, const char* setting, std::string* out);
// Compares two texts in a time that depends only on their lengths (password checks).
bool ArcOS_ConstantTimeEqual(std::string_view a, std::string_view b);

// SHA-256 (FIPS 180-4) of the bytes, and HMAC-SHA-256 (RFC 2104) of the bytes under a key.
inline constexpr size_t ARCOS_SHA256_SIZE = 32;
void ArcOS_Sha256(std::string_view data, unsigned char digest[ARCOS_SHA256_SIZE]);
void ArcOS_HmacSha256(std::string_view key, std::string_view data, unsigned char mac[ARCOS_SHA256_SIZE]);

// Event types of ArcOS_ReportEvent.
enum ArcOSEventType { ARCOS_EVENT_ERROR = 1, ARCOS_EVENT_WARNING = 2, ARCOS_EVENT_INFORMATION = 4 };
// Writes one event: to syslog with the source as ident, or, when QEL_EVENTLOG_FILE
// names a file, one line "source|type|id|text" appended there. 0, or an errno.
int ArcOS_ReportEvent(const char* source, int type, long id, const char* text);
