// description_parser.h - the parser's state shared by the files that read the sections
// of a description (people, groups and folders, documents).
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "description.h"
#include "json_members.h"

namespace arcbuild {

class DescriptionParser {
public:
    DescriptionParser(std::string baseDir, Description* out, Errors* errors)
        : baseDir_(std::move(baseDir)), d_(out), errors_(errors) {}

    void Parse(const Json& root);

private:
    // description_people.cpp
    void ReadSystem(const Members& top);
    void ReadGroups(const Json& list, const std::string& path);
    void ReadUsers(const Json& list, const std::string& path);
    void ReadUser(const Members& m);
    void ResolveOwners();
    // A user or group by name: its uid or gid.
    std::optional<int32_t> Who(const Json& value, const std::string& where);

    // description_groups.cpp
    void ReadAppGroups(const Json& list, const std::string& path);
    void ReadAppGroup(const Members& m);
    void ReadFields(const Members& m, AppGroupDef* group);
    void ReadApps(const Members& m, AppGroupDef* group);
    static constexpr size_t kMaxParameterLines = 200;
    std::optional<std::string> ReadParameterText(const Members& a);
    void ReadObjects(const Members& m, AppGroupDef* group);
    void ReadResources(const Members& m, AppGroupDef* group);
    void ReadPerms(const Json* list, const std::string& path, bool folder, std::vector<PermDef>* perms);

    // description_folders.cpp
    void ReadFolders(const Json& list, const std::string& path);
    void ReadFolder(const Members& m);
    void ReadFolderField(const Members& m, FolderDef* folder);
    void ReadFieldUsers(const Json& users, const std::string& where, FolderFieldDef* field);
    RowKeys FieldUserKeys(const Json& keys, const std::string& where);

    // description_documents.cpp
    void ReadDocuments(const Json& list, const std::string& path);
    void ReadDocument(const Members& m);
    bool ReadValues(const Json& values, const std::string& where, const AppGroupDef& group, DocumentDef* doc);
    // file, offset and length of m: a readable range of at least one byte.
    std::optional<FileRange> ReadRange(const Members& m);

    // description_parts.cpp: notes, resources and segments of a document
    bool ReadNotes(const Members& m, DocumentDef* doc);
    bool ReadResourceRef(const Members& m, const AppGroupDef& group, DocumentDef* doc);
    bool ReadSegments(const Members& m, const AppGroupDef& group, DocumentDef* doc);
    // Objects holding a paged document, which no other document may share.
    void CheckPagedObjects();

    std::optional<size_t> GroupIndex(const std::string& name) const;

    std::string baseDir_;
    Description* d_;
    Errors* errors_;
    std::map<std::string, int32_t> userIds_;   // upper-case name -> uid
    std::map<std::string, int32_t> groupIds_;  // upper-case name -> gid
    std::map<int64_t, std::string> ids_;       // every uid and gid -> its path
    struct Owner {
        size_t group;
        const Json* name;
        std::string where;
    };
    std::vector<Owner> owners_;                               // group owners, named before the users are read
    std::vector<std::map<std::string, size_t>> objectIndex_;  // per group: object name -> index
    std::map<std::string, int64_t> fileSizes_;                // data file -> size, -1 unreadable
    std::vector<std::string> documentPaths_;                  // per kept document: its path
};

// ASCII upper case: the tables compare names that way.
std::string Upper(std::string text);

// The archive's day number of a "YYYY-MM-DD" text: 1970-01-01 is day 1. None when
// malformed or before 1970.
std::optional<int64_t> DaysOf(const std::string& text);

}  // namespace arcbuild
