// description.h - an archive as the builder's JSON description gives it, checked.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "build_error.h"
#include "qel_local.h"

namespace arcbuild {

// Keys of a table row written as given: the key's name and its value as text.
using RowKeys = std::vector<std::pair<std::string, std::string>>;

struct UserDef {
    std::string name;
    int32_t uid = 0;
    std::string passwordHash;  // crypt hash, empty for the empty password
    int32_t admin = 0;
    int64_t timeout = 0;
    std::vector<int32_t> groups;  // gids
    RowKeys info;                 // DESCRIPTION, NAME, COMPANY, ...
};

struct GroupDef {
    int32_t gid = 0;
    std::string name;
    std::string description;
    int32_t owner = 0;  // uid
};

struct FieldDef {
    std::string name;
    char type = 'S';
    int32_t length = 0;  // STRING_LEN; for S fields the stored length
    int32_t mask = 0;
    int32_t qual = 0;
    char stringCase = 0;  // 'U', 'L' or none
    char stringType = 0;  // 'F', 'V' or none
};

struct AppDef {
    int32_t appid = 0;
    std::string name;
    std::string description;
    int32_t docType = 1;
    char compression = 'O';
    std::string parameters;  // the parameter text (view/<appid>.vw), "" none
};

// A permission row of a group or folder: who (a uid or gid) and the row's keys.
struct PermDef {
    int32_t id = 0;
    RowKeys keys;
};

struct ObjectDef {
    std::string name;
    char compression = 'N';
};

// A range of a data file: absolute path, offset and length (at least one byte).
struct FileRange {
    std::string file;
    uint64_t offset = 0;
    uint64_t length = 0;
};

// A resource object of a group, "data/<storage id>/RES/<id>", found by its number
// through the storage-node row `[<agid>|<id>]` of res.tbl.
struct ResourceDef {
    int32_t id = 0;
    FileRange data;
    char compression = 'N';
};

struct AppGroupDef {
    int32_t agid = 0;
    std::string name;
    std::string description;
    std::string storageId;
    int32_t segmentRows = 10000;
    int32_t cacheDays = -1;
    int32_t log = 0;
    int32_t annType = 0;
    int32_t loadId = 1;  // the next load number after the described objects
    std::vector<FieldDef> fields;
    std::vector<AppDef> apps;
    std::vector<PermDef> perms;
    std::vector<ObjectDef> objects;
    std::vector<ResourceDef> resources;
};

struct FolderFieldDef {
    std::string name;
    std::string description;
    char type = 'S';
    int32_t qual = 0;
    int32_t mapType = 1;
    std::map<int32_t, int32_t> maps;   // agid -> field number of that group
    std::map<int32_t, RowKeys> users;  // uid -> the folder field user row's keys
};

struct FolderDef {
    int32_t fid = 0;
    std::string name;
    std::string description;
    int32_t annSearch = 0;
    std::vector<int32_t> groups;  // agids
    std::vector<FolderFieldDef> fields;
    std::vector<PermDef> perms;
};

// An annotation of a document, written as the local server keeps it.
struct NoteDef {
    int32_t uid = 0;
    std::string user;  // the author's name
    std::string text;  // in code page 819
    bool isPublic = true;
    int64_t created = 0;  // seconds since 1970 (UTC)
    int32_t page = 1;
    int32_t colour = 0;
};

// A document stored as several objects: page tables at the start of the first, the
// further segments as objects the tables name.
struct PagedDef {
    int32_t pages = 0;         // pages of the whole document
    int32_t segmentPages = 0;  // pages of every segment but the last
    std::vector<FileRange> further;
    std::vector<std::string> pageNames;  // page 1 on, in code page 819
};

struct DocumentDef {
    size_t group = 0;   // index into Description::appGroups
    size_t object = 0;  // index into that group's objects
    std::string file;   // absolute path of the data file
    uint64_t offset = 0;
    uint64_t length = 0;                   // bytes of the document (of its first segment when paged)
    std::vector<QelLocalIdxValue> values;  // one per field of the group
    int64_t segmentDate = 0;               // the value of the group's segment date field
    uint32_t resource = 0;                 // a resource id of the group, 0 for none
    std::vector<NoteDef> notes;
    bool paged = false;
    PagedDef parts;
};

// The letters of an application's data type, DOC_TYPE 1 to 14 in this order.
inline constexpr char kDataTypeLetters[] = "LARTJGBPEOSMUX";
// The highest segment count of a paged document: further objects are named with the
// letters B to Z.
inline constexpr size_t kMaxSegments = 26;

struct Description {
    std::string volumeLabel = "ARCHIVE01";
    RowKeys system;
    int32_t sysMask = 2;
    std::vector<UserDef> users;
    std::vector<GroupDef> groups;
    std::vector<AppGroupDef> appGroups;
    std::vector<FolderDef> folders;
    std::vector<DocumentDef> documents;
};

// The object holding segment k (from 1) after the first of a paged document stored in
// object: its first four characters and the letter 'A' + k, as the client makes the name
// from the page tables' object entry (name[3] and the letter).
std::string FurtherObjectName(const std::string& object, size_t k);

// Reads and checks the description at path; relative data files are found from the
// description's folder. False with the refusals in *errors.
bool ReadDescription(const std::string& path, Description* out, Errors* errors);
// The same from JSON text; baseDir (ending in '/') anchors relative data files.
bool ParseDescription(const std::string& text, const std::string& baseDir, Description* out, Errors* errors);

}  // namespace arcbuild
