// arc_install.h - install paths, the registry layer and the server configuration.
//
// Install paths: the install directory holds bin/ (programs), lib/ (libraries),
// locale/ and etc/. The module directory is the directory of the program or shared
// library this code is linked into. Details: docs/install-paths.md.
//
// Registry: ArcReg keeps each hive as one profile file (HKLM.ini, HKCU.ini) in
// $QEL_REGISTRY_DIR, else in <install>/etc/registry/. A key path is a section name
// (compared ignoring case, '\' kept), a value a key line; numbers are decimal text.
// A missing file is an empty hive; writes replace the file atomically and are
// serialised within the process. Details: docs/registry.md.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// ---------------------------------------------------------------------------
// Install paths. Each returns the length written (with the trailing '/'), or 0 with
// an empty buffer when the path does not fit in size bytes or cannot be found.
// ---------------------------------------------------------------------------

// Directory of the running program or of the shared library holding this code.
size_t QelInst_ModuleDir(char* buffer, size_t size);
// The module directory when it has an entry "locale", else its parent.
size_t QelInst_BaseDir(char* buffer, size_t size);
// Base directory + "locale/".
size_t QelInst_LocaleDir(char* buffer, size_t size);
// Base directory + "etc/" (the install tree's configuration directory).
size_t QelInst_ConfigDir(char* buffer, size_t size);
// Full path of a product file by index (0 resource program, 2 the configuration
// directory itself, 4 message exit script, 6 print program, 7 print script, 9, 10, 11,
// 13 exit libraries, 14 viewer). 0 for an index with no file.
size_t QelInst_ProgramPath(int index, char* buffer, size_t size);

// Test hook: the module directory to use instead of the real one (a trailing '/' is
// added when missing); null restores the real one.
void QelInst_SetModuleDirForTest(const char* directory);

// ---------------------------------------------------------------------------
// Registry
// ---------------------------------------------------------------------------

enum ArcRegHive { ARCREG_HKLM = 0, ARCREG_HKCU = 1 };

enum ArcRegResult {
    ARCREG_OK = 0,
    ARCREG_NOT_FOUND = 1,   // no such key or value
    ARCREG_INVALID = 2,     // a name or value the hive file cannot hold, or a bad hive
    ARCREG_NOT_NUMBER = 3,  // the value is not a decimal number
    ARCREG_IO_ERROR = 4,    // the hive file could not be read or written
};

struct ArcRegValue {
    std::string name;
    std::string data;
};

// Full path of a hive's file; empty for an unknown hive or when no directory is found.
std::string ArcReg_HivePath(int hive);

// 1 when the key exists, 0 when it does not (or the hive cannot be read).
int ArcReg_KeyExists(int hive, const char* keyPath);
// Creates an empty key; an existing key is no failure. ARCREG_OK, INVALID or IO_ERROR.
int ArcReg_CreateKey(int hive, const char* keyPath);
// Deletes a key with all its values (not other keys below its path).
// ARCREG_OK; NOT_FOUND when absent; INVALID; IO_ERROR.
int ArcReg_DeleteKey(int hive, const char* keyPath);

// Whether a value name can be kept in a hive file: non-empty, without '=', CR or LF,
// no blanks at either end, not starting with ';' or '['.
bool ArcReg_ValidName(const char* name);

// Reads a value. ARCREG_OK; NOT_FOUND for a missing key or value; INVALID; IO_ERROR.
int ArcReg_ReadString(int hive, const char* keyPath, const char* name, std::string* data);
// As ArcReg_ReadString, and NOT_NUMBER unless the whole value is a decimal number.
int ArcReg_ReadNumber(int hive, const char* keyPath, const char* name, int64_t* number);
// Sets a value, creating the key when needed. Names as ArcReg_ValidName takes them;
// data without CR or LF.
// ARCREG_OK; INVALID; IO_ERROR (the hive file then stays as it was).
int ArcReg_SetString(int hive, const char* keyPath, const char* name, const char* data);
int ArcReg_SetNumber(int hive, const char* keyPath, const char* name, int64_t number);
// Deletes a value. ARCREG_OK; NOT_FOUND when the key or value is absent; INVALID; IO_ERROR.
int ArcReg_DeleteValue(int hive, const char* keyPath, const char* name);
// The values of a key in file order (a repeated name counts once, the first wins).
// ARCREG_OK; NOT_FOUND; INVALID; IO_ERROR.
int ArcReg_EnumValues(int hive, const char* keyPath, std::vector<ArcRegValue>* values);

// ---------------------------------------------------------------------------
// Server configuration from the registry
// ---------------------------------------------------------------------------

// Kinds of QelInst_ReadRegistryKey.
enum QelInstKeyKind {
    QELINST_KIND_SERVER = 0,  // the server's own key; a missing key is no error
    QELINST_KIND_DB = 1,      // SRVR_DB_CFG
    QELINST_KIND_QK = 2,      // SRVR_QK_CFG; values also go into the environment
    QELINST_KIND_SM = 3,      // SRVR_SM_CFG
};

// Result codes of the registry reader.
enum QelInstResult {
    QELINST_OK = 0,
    QELINST_NO_SUBKEY = 678,      // a configuration sub-key is missing
    QELINST_NO_ENV_MEMORY = 706,  // the environment refused a value
    QELINST_IMAGE_FAILED = 725,   // setting a value in the image failed
    QELINST_ENUM_FAILED = 736,    // the key's values could not be read
    QELINST_CLOSE_FAILED = 740,   // closing the key failed (never on this platform)
};

// Registry key under HKLM of all server configurations.
inline constexpr const char* QELINST_SERVER_KEY = "SOFTWARE\\Kvr\\Tidewell for WinNT";

// "@SRV@_<server>", with "ARCHIVE" for a null or empty server. The length, or 0 with
// an empty buffer when it does not fit.
size_t QelInst_ServerSection(const char* server, char* buffer, size_t size);

// Reads a server's configuration into a new image (malloc'ed, the caller frees it).
// QELINST_OK with *image set (null when the registry holds nothing for the server), or
// an error code with *image null.
int QelInst_LoadServerConfig(const char* server, char** image);
// Reads the server key <QELINST_SERVER_KEY>\<section> into the image under section,
// then its sub-keys CFG and PRINTERS when they exist (each into a section of that name);
// when its SRVR_QK_CFG is non-empty, also its sub-keys SRVR_QK_CFG, SRVR_DB_CFG and
// SRVR_SM_CFG, each into a section of that name. The first failure ends it.
int QelInst_ReadServerRegistry(const char* section, char** image);
// Reads the values of one HKLM key into the image under section (empty names and
// empty values skipped). For QELINST_KIND_QK each value is also exported as
// "name=value" to the environment, once per process for each name. A missing key is
// QELINST_OK for QELINST_KIND_SERVER, else QELINST_NO_SUBKEY.
int QelInst_ReadRegistryKey(int kind, const char* section, const char* keyPath, char** image);
