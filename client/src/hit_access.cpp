// What the gateway reads of a hit: its group and application, its document's place and
// name, and the display text of a folder field.
#include "hit_values.h"
#include "qel_parm.h"

using namespace qelclient;

int Hit_GetLocationCode(const SearchHit* hit) {
    if (hit == nullptr || hit->row == nullptr || hit->row->object == nullptr) return 0;
    switch (hit->row->object->location) {
        case 1: return 1;
        case 2: return 2;
        case 4: return 3;
        default: return 0;
    }
}

const char* Hit_GetFieldValueText(ClientSession* session, OpenFolder* folder, const SearchHit* hit,
                                  int field) {
    if (session == nullptr) return "";
    FieldValueText(folder, hit, field, -1, &session->textBuffer);
    return session->textBuffer.c_str();
}

void Hit_GetApplGroupAndApplNames(const SearchHit* hit, const char** group, const char** application) {
    if (group != nullptr) *group = hit != nullptr && hit->group != nullptr ? hit->group->name : nullptr;
    if (application != nullptr)
        *application = hit != nullptr && hit->application != nullptr ? hit->application->name : nullptr;
}

void Hit_GetApplGroupAndApplIds(const SearchHit* hit, uint32_t* group, uint32_t* application) {
    if (group != nullptr) *group = hit != nullptr && hit->group != nullptr ? hit->group->number : 0;
    if (application != nullptr)
        *application = hit != nullptr && hit->application != nullptr ? hit->application->number : 0;
}

bool Hit_DocNameHasDollar(const SearchHit* hit) {
    if (hit == nullptr || hit->row == nullptr || hit->row->object == nullptr) return false;
    return CsHasDollar(hit->row->object->name) != 0;
}

std::optional<std::string> Hit_GetUserTypeExtension(const SearchHit* hit) {
    if (hit == nullptr || hit->application == nullptr || hit->application->flags[0] != 'U')
        return std::nullopt;
    return ParmGetExtension(hit->application->parameters.text);
}
