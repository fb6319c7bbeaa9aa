// folder_fixture.h - folder definitions made in memory for the client's tests: folder
// fields, application groups with their fields and applications, and the field maps,
// allocated as the request layer's decoder allocates them so that CsFreeFolderList
// frees them; and an open folder over such a definition without a server.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "qel_client.h"

namespace clienttest {

struct FolderFieldSpec {
    std::string name{};
    char type = 'S';
    char dateType = 0;  // 'D' 'T' 'C' 'Z' for an integer date field
    uint8_t flags = 0;
    uint16_t criteriaOrder = 0;
    uint16_t displayOrder = 0;
    uint16_t sortOrder = 0;
    uint32_t operators = 0xFFF;  // allowed-operator mask
    uint32_t defaultOperator = 0x001;
    int64_t minimum = INT64_MIN;
    int64_t maximum = INT64_MAX;
    double minimumReal = -1e15;
    double maximumReal = 1e15;
    int16_t precision = 0;
    std::string dateFormat{};     // "" the client's
    std::string displayFormat{};  // "" the client's
    char wildcard = 0;
    char ascending = 'A';
    uint8_t mapCount = 1;    // 2: a begin/end pair of group fields, more: alternatives
    std::string default1{};  // typed by type; "" none
    std::string default2{};
};

struct GroupFieldSpec {
    std::string name{};
    char type = 'S';
    uint8_t flags = 0;  // 0x04 segment date, 0x08 group name, 0x20 key
    uint16_t textLength = 254;
    char textCase = 0;  // 'L', 'U'
    char dateType = 0;
    std::string strip{}, leading{}, trailing{};
    std::vector<std::pair<std::string, std::string>> values{};  // stored, display
};

struct ApplicationSpec {
    std::string name{};
    uint32_t number = 0;
    char dataType = 'A';
    std::string parameters{};  // the parameter text
};

struct GroupSpec {
    uint32_t number = 0;
    std::string name{};
    std::vector<GroupFieldSpec> fields{};
    std::vector<ApplicationSpec> applications{};
    // Group field behind each folder field (FOLDER_FIELD_UNMAPPED: none); missing
    // entries are unmapped.
    std::vector<uint16_t> map{};
    // The second group field of fields whose mapCount is not 1 (none: the map has no
    // second half).
    std::vector<uint16_t> second{};
    uint8_t permissions = 0xFF;
    uint32_t storageSet = 0;  // 0: none
};

struct FolderSpec {
    uint32_t number = 1;
    std::string name = "Folder";
    uint32_t flags = 0;
    int32_t hitLimit = -1;
    std::vector<FolderFieldSpec> fields{};
    std::vector<GroupSpec> groups{};
};

// The definition as the request layer hands it out.
CsFolderPtr MakeFolder(const FolderSpec& spec);

// A folder whose group 0x00010005 has a field of every type and an
// application-group-name field fixed by the application (0x00020007); group 9 has no
// fields. For the document-id tests and fuzz target.
FolderSpec DocIdFolder();

// An open folder over the description without a server: a folder-list entry is added to
// the session (its definition the described one), and the criteria are made as Folder_Open makes
// them: one per field, kind by type, the field's operators, criteria and display order
// by the order numbers, sort list by the sort numbers. The session keeps it.
OpenFolder* OpenTestFolder(ClientSession* session, const FolderSpec& spec);

// A folder-list entry over the description whose definition counts as fetched, not open:
// Folder_Open then opens it without a server. The session keeps it.
ClientFolderEntry* AddTestFolder(ClientSession* session, const FolderSpec& spec);

// A packed hit of the group with the values given as texts (parsed by the group
// field's type; "" leaves a text empty) and an object reference named name.
CsXdrHitRow* MakeRow(const CsXdrApplGroup& group, const std::vector<std::string>& values,
                     const char* objectName = "1AAAA", uint32_t offset = 0, uint32_t length = 100);

// Loads the row into the group's index through the session's handle and names the segment
// the load chose in the row, so that the operations on documents find it (they act only on
// rows the user could find). The user needs the store permission. CS_OK or the failure.
int IndexRow(ClientSession* session, const CsXdrApplGroup& group, CsXdrHitRow* row);

}  // namespace clienttest
