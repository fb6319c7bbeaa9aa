// Texts between the local archive's code page and the session's. The archive keeps its
// texts in one code page (CODEPAGE of system.tbl); a session may work in another (its
// handle's localCcsid). Every text the local server takes from a session or gives to one
// crosses here, as a server converts the texts of its clients.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "qel_cs.h"

struct ArcIconvHandle;

namespace cstexts {

class ArchiveTexts {
public:
    // Inside the local server's bracket (the archive's code page is read by then).
    explicit ArchiveTexts(CsHandle* handle);
    ~ArchiveTexts();
    ArchiveTexts(const ArchiveTexts&) = delete;
    ArchiveTexts& operator=(const ArchiveTexts&) = delete;

    // True when both sides use one code page and nothing is converted.
    bool Same() const { return archive_ == session_; }
    // Convert in place; false when the text does not convert (broken input, no
    // converter), and towards the archive also when the archive's code page lacks one of
    // its characters. Towards the session such a character becomes the substitute.
    bool ToSession(std::string* text);
    bool ToArchive(std::string* text);
    // A fixed field of `size` bytes, terminator included: false when the converted text
    // does not convert or does not fit (the field is left as it was).
    bool ToSession(char* field, size_t size);
    bool ToArchive(char* field, size_t size);

    // A malloc'd text (null accepted), replaced by a malloc'd converted copy.
    bool ToSession(char** text);
    bool ToArchive(char** text);
    // A description for the session's eyes: when its conversion does not fit the field,
    // it is cut after the last whole character that does (UTF-8 sessions; others refuse).
    bool DescriptionToSession(char* field, size_t size);

private:
    bool ConvertAlloc(bool toSession, char** text);
    bool Convert(bool toSession, std::string* text);
    bool ConvertField(bool toSession, char* field, size_t size);

    CsHandle* handle_;
    int32_t archive_;
    int32_t session_;
    ArcIconvHandle* toSession_ = nullptr;
    ArcIconvHandle* toArchive_ = nullptr;
};

}  // namespace cstexts
