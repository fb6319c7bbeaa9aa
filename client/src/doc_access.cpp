// What the gateway reads of a hit or an open document without retrieving anything: the
// data-type and viewer letters, compression letters, mapped fields and parameter texts.
#include "doc_internal.h"
#include "qel_parm.h"

using namespace qelclient;

namespace {

struct TypeLetters {
    char stored;
    char dataType;
    char viewer;
};

constexpr TypeLetters kTypes[] = {
    {'A', 'A', 'A'}, {'B', 'B', 'T'}, {'E', 'E', 'L'}, {'G', 'G', 'T'}, {'J', 'F', 'T'},
    {'L', 'L', 'L'}, {'M', 'M', 'N'}, {'O', 'O', 'O'}, {'P', 'X', 'T'}, {'R', 'P', 'P'},
    {'S', 'S', 'L'}, {'T', 'T', 'T'}, {'U', 'U', 'N'}, {'X', 'C', 'A'},
};

const TypeLetters* FindType(char stored) {
    for (const TypeLetters& t : kTypes)
        if (t.stored == stored) return &t;
    return nullptr;
}

constexpr uint8_t kFieldNotMappable = 0x10;

}  // namespace

char Doc_DataTypeLetter(char storedType) {
    const TypeLetters* t = FindType(storedType);
    return t != nullptr ? t->dataType : 'N';
}

char Doc_ViewerLetter(char storedType) {
    const TypeLetters* t = FindType(storedType);
    return t != nullptr ? t->viewer : 'N';
}

char Hit_GetDataType(const SearchHit* hit) {
    if (hit == nullptr || hit->application == nullptr) return 'N';
    return Doc_DataTypeLetter(static_cast<char>(hit->application->flags[0]));
}

uint32_t Hit_GetAttrValue(const SearchHit* hit) {
    if (hit == nullptr || hit->row == nullptr || hit->row->object == nullptr) return 0;
    return hit->row->object->resourceId;
}

void Hit_GetCompressionLetters(ClientSession* session, const SearchHit* hit, char* resourceLetter,
                               char* documentLetter) {
    const CsXdrObjectRef* object = hit != nullptr && hit->row != nullptr ? hit->row->object : nullptr;
    if (documentLetter != nullptr) *documentLetter = object != nullptr ? object->compression : 0;
    if (resourceLetter == nullptr) return;
    *resourceLetter = static_cast<char>(0xFF);
    if (session == nullptr || object == nullptr || object->resourceId == 0 || hit->group == nullptr) return;
    uint32_t desc[4] = {};
    if (RequestResourceDescriptor(session, hit->group, object->resourceId, desc) == CS_OK)
        *resourceLetter = static_cast<char>(desc[3] & 0xFF);
}

bool Doc_FindMappedField(const OpenFolder* folder, uint32_t groupId, int field, int* groupField,
                         const CsXdrFieldDef** definition) {
    if (folder == nullptr || folder->definition == nullptr) return false;
    const CsXdrFolder* def = folder->definition;
    for (uint16_t g = 0; g < def->groupCount; ++g) {
        const CsXdrApplGroup& group = def->groups[g];
        if (group.number != groupId) continue;
        if (field < 0 || field >= def->fieldCount || def->maps == nullptr) return false;
        const CsXdrFieldMap& map = def->maps[g];
        if (map.numbers == nullptr || field >= map.count) return false;
        const uint16_t number = map.numbers[field];
        if (number == FOLDER_FIELD_UNMAPPED || number >= group.fieldCount) return false;
        const CsXdrFieldDef& fieldDef = group.fields[number];
        if ((fieldDef.flags & kFieldNotMappable) != 0) return false;
        if (groupField != nullptr) *groupField = number;
        if (definition != nullptr) *definition = &fieldDef;
        return true;
    }
    return false;
}

std::optional<std::string> Doc_GetUserTypeExtension(const OpenDocument* document) {
    if (document == nullptr || document->application == nullptr || document->application->flags[0] != 'U')
        return std::nullopt;
    return ParmGetExtension(document->application->parameters.text);
}

bool Doc_GetParmTexts(const OpenDocument* document, const char** applicationText, const char** entryText) {
    if (applicationText != nullptr)
        *applicationText = document != nullptr && document->application != nullptr
                               ? document->application->parameters.text
                               : nullptr;
    if (entryText != nullptr)
        *entryText = document != nullptr && document->parmEntry != nullptr ? document->parmEntry->text.c_str()
                                                                           : nullptr;
    return true;
}

void Doc_GetConvertFlags(const OpenDocument* document, char* resourceLetter, char* documentLetter) {
    char resource = 0;
    char stored = 0;
    if (document != nullptr) {
        const auto* record = static_cast<const ResourceRecord*>(document->resourceRecord);
        const uint32_t* desc = record != nullptr ? record->descriptor : document->resourceDescriptor;
        if (desc[0] != 0xFFFFFFFFu) resource = static_cast<char>(desc[3] & 0xFF);
        if (document->row != nullptr && document->row->object != nullptr)
            stored = document->row->object->compression;
    }
    if (resourceLetter != nullptr) *resourceLetter = resource;
    if (documentLetter != nullptr) *documentLetter = stored;
}

void Doc_SetRetrieveMode(ClientSession* session, uint32_t bits, int on) {
    if (session == nullptr) return;
    if (on)
        session->retrieveMode |= bits;
    else
        session->retrieveMode &= ~bits;
    session->retrieveMode |= 0x8000u;
}

namespace qelclient {

char RequestCompression(const ClientSession* session, const CsXdrObjectRef* object) {
    if ((session->retrieveMode & 0x1u) != 0 && object != nullptr && object->compression != 0)
        return object->compression;
    return 'N';
}

}  // namespace qelclient
