// The user's settings of folder fields and the other local-table parts of a folder
// definition. Mappings and the choices made for them: docs/folders.md.
#include "folder_user.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "arc_datetime.h"
#include "route_detail.h"

namespace csfolder {

namespace {

// The range a 'D' field has when the user row gives none: what a double holds exactly.
constexpr double kRealLimit = 1e15;
constexpr uint32_t kAllOperators = 0xFFF;

bool IsInteger(char type) { return type == 'B' || type == 'I' || type == 'N'; }
bool IsText(char type) { return type == 'S' || type == 'T'; }

void IntegerRange(char type, int64_t* low, int64_t* high) {
    switch (type) {
        case 'N':
            *low = std::numeric_limits<int16_t>::min();
            *high = std::numeric_limits<int16_t>::max();
            break;
        case 'I':
            *low = std::numeric_limits<int32_t>::min();
            *high = std::numeric_limits<int32_t>::max();
            break;
        case 'B':
            *low = std::numeric_limits<int64_t>::min();
            *high = std::numeric_limits<int64_t>::max();
            break;
        default: *low = *high = 0; break;
    }
}

// A whole decimal number within the type's range, or for a date field a text read by
// its input format (the earliest moment it means).
bool ReadInteger(const std::string& text, const CsXdrFolderField& field, int64_t* out) {
    int64_t low = 0, high = 0;
    IntegerRange(field.type[0], &low, &high);
    int64_t value = 0;
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    const long long number = std::strtoll(begin, &end, 10);
    if (end != begin && *end == '\0' && errno == 0) {
        value = number;
    } else if (field.type[1] == 0 ||
               ArcDT_ParseValue(begin, field.user.dateFormat, field.type[1], &value, nullptr) != 0) {
        return false;
    }
    if (value < low || value > high) return false;
    *out = value;
    return true;
}

bool ReadReal(const std::string& text, double* out) {
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(begin, &end);
    if (end == begin || *end != '\0' || errno != 0 || value < -kRealLimit || value > kRealLimit) return false;
    *out = value;
    return true;
}

// The default operator: the row's when it is one bit of the mask, else the lowest
// bit of the mask (none for an empty mask).
uint16_t DefaultOperator(uint32_t mask, int32_t asked) {
    const uint32_t bit = static_cast<uint32_t>(asked);
    if (bit != 0 && (bit & (bit - 1)) == 0 && (bit & mask)) return static_cast<uint16_t>(bit);
    return static_cast<uint16_t>(mask & (~mask + 1));
}

char WildcardLetter(int32_t number) {
    switch (number) {
        case 1: return 'P';
        case 2: return 'A';
        case 3: return 'B';
        default: return 0;
    }
}

char UnitLetter(int32_t number) {
    switch (number) {
        case 1: return 'M';
        case 2: return 'Y';
        default: return 'D';
    }
}

// A default given as a count of the unit from today.
bool RelativeDate(const std::string& text, const CsXdrFolderField& field, int64_t* out) {
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    const long count = std::strtol(begin, &end, 10);
    if (end == begin || *end != '\0' || errno != 0 || count < -1000000 || count > 1000000) return false;
    const char kind = field.type[1];
    const ArcDateTime now = ArcDT_Now(kind);
    if (now < 0) return false;
    if (kind == 'T') {
        *out = now;
    } else {
        const int n = static_cast<int>(count);
        const char unit = field.user.defaultUnit;
        *out = ArcDT_AddInterval(now, unit == 'D' ? n : 0, unit == 'M' ? n : 0, unit == 'Y' ? n : 0, 0, 0, 0,
                                 kind);
        if (*out < 0) return false;
    }
    int64_t low = 0, high = 0;
    IntegerRange(field.type[0], &low, &high);
    return *out >= low && *out <= high;
}

int SetDefault(const std::string& text, bool relative, const CsXdrFolderField& field, CsXdrValue* to) {
    const char type = field.type[0];
    if (IsText(type)) {
        to->v.text = static_cast<char*>(std::malloc(text.size() + 1));
        if (to->v.text == nullptr) return CS_NO_MEMORY;
        std::memcpy(to->v.text, text.c_str(), text.size() + 1);
        return CS_OK;
    }
    if (type == 'D') return ReadReal(text, &to->v.real) ? CS_OK : CS_FAILED;
    if (!IsInteger(type)) return CS_OK;  // the value slot of other types carries nothing
    int64_t value = 0;
    const bool read =
        relative && field.type[1] != 0 ? RelativeDate(text, field, &value) : ReadInteger(text, field, &value);
    if (!read) return CS_FAILED;
    if (type == 'N')
        to->v.small = static_cast<int16_t>(value);
    else if (type == 'I')
        to->v.integer = static_cast<int32_t>(value);
    else
        to->v.big = value;
    return CS_OK;
}

int SetLimits(const QelLocalFolderFieldUser& row, CsXdrFolderField* to) {
    CsFolderFieldUser& user = to->user;
    const char type = to->type[0];
    user.limitsSet = !row.min.empty() || !row.max.empty() ? 1 : 0;
    if (type == 'D') {
        if ((!row.min.empty() && !ReadReal(row.min, &user.minimumReal)) ||
            (!row.max.empty() && !ReadReal(row.max, &user.maximumReal)))
            return CS_FAILED;
        return user.minimumReal <= user.maximumReal ? CS_OK : CS_FAILED;
    }
    if (!IsInteger(type)) return CS_OK;
    if ((!row.min.empty() && !ReadInteger(row.min, *to, &user.minimum)) ||
        (!row.max.empty() && !ReadInteger(row.max, *to, &user.maximum)))
        return CS_FAILED;
    return user.minimum <= user.maximum ? CS_OK : CS_FAILED;
}

bool OrderNumber(int32_t value, uint16_t* out) {
    if (value < 0 || value > 0xFFFF) return false;
    *out = static_cast<uint16_t>(value);
    return true;
}

char* CopyText(const std::string& text) {
    char* copy = static_cast<char*>(std::malloc(text.size() + 1));
    if (copy != nullptr) std::memcpy(copy, text.c_str(), text.size() + 1);
    return copy;
}

}  // namespace

char DateKind(char type, int32_t qual) {
    if (!IsInteger(type)) return 0;
    switch (qual) {
        case 1: return 'D';
        case 2: return 'T';
        case 3: return 'C';
        case 4: return 'Z';
        default: return 0;
    }
}

void DefaultUser(char type, CsFolderFieldUser* user) {
    *user = CsFolderFieldUser{};
    IntegerRange(type, &user->minimum, &user->maximum);
    if (type == 'D') {
        user->minimumReal = -kRealLimit;
        user->maximumReal = kRealLimit;
    }
    user->defaultUnit = 'D';
    user->ascending = 'A';
    user->mapCount = 1;
}

int FillFieldUser(CsHandle* handle, int32_t folder, int32_t field, CsXdrFolderField* to) {
    DefaultUser(to->type[0], &to->user);
    const CsLogonRecord* logon = handle->logon;
    if (logon == nullptr) return CS_OK;
    QelLocalFolderFieldUser row;
    int rc =
        QelLocal_ReadFolderFieldUser(handle, folder, static_cast<int32_t>(logon->userNumber), field, &row);
    if (rc == CS_NOT_FOUND) return CS_OK;
    if (rc != CS_OK) return rc;
    if (!OrderNumber(row.queryOrder, &to->attributes[0]) || !OrderNumber(row.dsplOrder, &to->attributes[1]) ||
        !OrderNumber(row.sortOrder, &to->attributes[2]) || row.decimalPtPos < 0 || row.decimalPtPos > 15)
        return CS_FAILED;
    to->flags = static_cast<uint8_t>(row.usrMask);
    const uint32_t mask = static_cast<uint32_t>(row.ops) & kAllOperators;
    to->display[0] = static_cast<uint16_t>(mask);
    to->display[1] = DefaultOperator(mask, row.defOp);

    CsFolderFieldUser& user = to->user;
    user.ascending = row.sortType == 0 ? 'A' : 'D';
    user.precision = static_cast<int16_t>(row.decimalPtPos);
    user.wildcard = WildcardLetter(row.stringWild);
    user.defaultUnit = UnitLetter(row.datedefArg);
    if (!csroute::CopyField(user.dateFormat, row.dateFmt) ||
        !csroute::CopyField(user.displayFormat, row.dsplDateFmt))
        return CS_FAILED;
    rc = SetLimits(row, to);
    const bool relative = row.datedefType == 1;
    if (rc == CS_OK) rc = SetDefault(row.defValue1, relative, *to, &to->defaults[0]);
    if (rc == CS_OK) rc = SetDefault(row.defValue2, relative, *to, &to->defaults[1]);
    return rc;
}

int FillGroupField(CsHandle* handle, int32_t group, const QelLocalAgField& from, CsXdrFieldDef* to) {
    to->dateType = DateKind(from.type, from.qual);
    if (!csroute::CopyField(to->formats[0], from.strip) ||
        !csroute::CopyField(to->formats[1], from.leading) ||
        !csroute::CopyField(to->formats[2], from.trailing))
        return CS_FAILED;
    std::vector<QelLocalFieldAlias> aliases;
    const int rc = QelLocal_ReadAgFieldAliases(handle, group, from.number, &aliases);
    if (rc != CS_OK) return rc;
    if (aliases.empty()) return CS_OK;
    if (aliases.size() > 0xFFFF) return CS_FAILED;
    to->mapValues = static_cast<CsXdrTextEntry*>(std::calloc(aliases.size(), sizeof(CsXdrTextEntry)));
    to->displayValues = static_cast<CsXdrTextEntry*>(std::calloc(aliases.size(), sizeof(CsXdrTextEntry)));
    if (to->mapValues == nullptr || to->displayValues == nullptr) return CS_NO_MEMORY;
    to->mapCount = to->displayCount = static_cast<uint16_t>(aliases.size());
    for (size_t i = 0; i < aliases.size(); ++i) {
        to->mapValues[i].text = CopyText(aliases[i].internal);
        to->displayValues[i].text = CopyText(aliases[i].external);
        if (to->mapValues[i].text == nullptr || to->displayValues[i].text == nullptr) return CS_NO_MEMORY;
    }
    return CS_OK;
}

char ApplicationDataType(int32_t docType) {
    static constexpr char kLetters[] = "LARTJGBPEOSMUX";
    if (docType < 1 || docType > static_cast<int32_t>(sizeof kLetters - 1)) return 'N';
    return kLetters[docType - 1];
}

int FolderHitLimit(CsHandle* handle, int32_t folder, int32_t* limit) {
    *limit = -1;
    const CsLogonRecord* logon = handle->logon;
    if (logon == nullptr) return CS_OK;
    QelLocalFolderPerms perms;
    const int rc = QelLocal_GetFolderPerms(handle, folder, static_cast<int32_t>(logon->userNumber),
                                           logon->groupList.c_str(), &perms);
    if (rc == CS_NOT_FOUND) return CS_OK;
    if (rc != CS_OK) return rc;
    *limit = perms.hits < 0 ? -1 : perms.hits;
    return CS_OK;
}

void SetRemoteDefaults(CsXdrFolder* folder) {
    folder->hitLimit = -1;
    for (uint16_t i = 0; i < folder->fieldCount && folder->fields != nullptr; ++i)
        DefaultUser(folder->fields[i].type[0], &folder->fields[i].user);
}

}  // namespace csfolder
