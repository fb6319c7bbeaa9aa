// build_error.h - the numbered refusals of the archive builder.
#pragma once

#include <string>
#include <vector>

namespace arcbuild {

// Numbers of the builder's messages; docs/archive-builder.md lists them.
enum BuildErrorNumber : int {
    kErrUnreadable = 1,     // the description file cannot be read or is not JSON
    kErrMissing = 2,        // a required member is missing
    kErrWrongType = 3,      // a member has the wrong JSON type
    kErrUnknownMember = 4,  // a member the format does not know (a misspelt name)
    kErrOutOfRange = 5,     // a number outside its range
    kErrBadText = 6,        // a text too long, empty, or with characters its table cannot hold
    kErrDuplicate = 7,      // a name or number given twice
    kErrUnknownName = 8,    // a reference to a user, group, folder, field or object not described
    kErrBadValue = 9,       // an index value that does not fit its field
    kErrDataFile = 10,      // a document's data file cannot be read, or its range lies outside it
    kErrPassword = 11,      // a password the logon could not take, or that cannot be hashed
    kErrTarget = 12,        // the target exists, or cannot be made beside
    kErrWrite = 13,         // writing the archive failed
    kErrIndex = 14,         // the local server refused a segment or its rows
};

struct BuildError {
    int number = 0;
    std::string where;  // the member's path in the description, e.g. users[2].password
    std::string text;
};

// "error <n>: <where>: <text>"
std::string FormatError(const BuildError& error);

// Collects refusals; checking goes on after one so that a description's faults are
// reported together.
class Errors {
public:
    void Add(int number, std::string where, std::string text) {
        list_.push_back({number, std::move(where), std::move(text)});
    }
    bool Empty() const { return list_.empty(); }
    size_t Count() const { return list_.size(); }
    const std::vector<BuildError>& List() const { return list_; }

private:
    std::vector<BuildError> list_;
};

}  // namespace arcbuild
