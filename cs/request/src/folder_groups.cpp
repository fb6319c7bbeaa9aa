// Folder definitions (request 20, or the local server's folder tables): the folder's
// fields and the application groups the user may see, each with its applications.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "archive_texts.h"
#include "folder_user.h"
#include "logon_detail.h"
#include "route_detail.h"

using namespace cslogon;

namespace {

// Field flag of the group field that holds the application id of a document.
constexpr uint32_t kApplicationIdField = 0x10;
constexpr uint16_t kUnmapped = 0xFFFF;

struct FolderFree {
    void operator()(CsXdrFolder* folder) const { CsFreeFolderList(folder); }
};
using FolderPtr = std::unique_ptr<CsXdrFolder, FolderFree>;

// Grows a malloc'd array by one zeroed element; false when memory runs out.
template <class T>
bool GrowByOne(T** array, size_t count) {
    void* grown = std::realloc(*array, (count + 1) * sizeof(T));
    if (grown == nullptr) return false;
    *array = static_cast<T*>(grown);
    std::memset(&(*array)[count], 0, sizeof(T));
    return true;
}

template <class T>
T* ZeroedArray(size_t count) {
    return count == 0 ? nullptr : static_cast<T*>(std::calloc(count, sizeof(T)));
}

char* CopyText(const std::string& text) {
    char* copy = static_cast<char*>(std::malloc(text.size() + 1));
    if (copy != nullptr) std::memcpy(copy, text.c_str(), text.size() + 1);
    return copy;
}

bool ValueToSession(cstexts::ArchiveTexts& texts, char type, CsXdrValue* value) {
    return (type != 'S' && type != 'T') || texts.ToSession(&value->v.text);
}

bool GroupToSession(cstexts::ArchiveTexts& texts, CsXdrApplGroup* group) {
    bool ok = texts.ToSession(group->name, sizeof group->name) &&
              texts.DescriptionToSession(group->description, sizeof group->description) &&
              texts.ToSession(&group->restriction);
    for (uint16_t i = 0; ok && i < group->fieldCount; ++i) {
        CsXdrFieldDef& field = group->fields[i];
        ok = texts.ToSession(field.name, sizeof field.name);
        for (uint16_t v = 0; ok && v < field.mapCount; ++v) ok = texts.ToSession(&field.mapValues[v].text);
        for (uint16_t v = 0; ok && v < field.displayCount; ++v)
            ok = texts.ToSession(&field.displayValues[v].text);
    }
    for (uint16_t i = 0; ok && i < group->applCount; ++i) {
        CsXdrApplEntry& app = group->appls[i];
        ok = texts.ToSession(app.name, sizeof app.name) &&
             texts.DescriptionToSession(app.description, sizeof app.description) &&
             texts.ToSession(&app.value);
    }
    return ok;
}

// Every text of the folder in the session's code page: names, descriptions, default
// values, fixed values, application values and restrictions.
bool FolderToSession(cstexts::ArchiveTexts& texts, CsXdrFolder* folder) {
    bool ok = texts.ToSession(folder->name, sizeof folder->name) &&
              texts.DescriptionToSession(folder->description, sizeof folder->description);
    for (uint16_t i = 0; ok && i < folder->fieldCount; ++i) {
        CsXdrFolderField& field = folder->fields[i];
        ok = texts.ToSession(field.name, sizeof field.name) &&
             texts.DescriptionToSession(field.description, sizeof field.description) &&
             ValueToSession(texts, field.type[0], &field.defaults[0]) &&
             ValueToSession(texts, field.type[0], &field.defaults[1]);
    }
    for (uint16_t i = 0; ok && i < folder->groupCount; ++i) ok = GroupToSession(texts, &folder->groups[i]);
    return ok;
}

// A value as the WHERE reader takes it whole: text in quotes (inner quotes doubled),
// numbers as whole decimal numbers.
bool AppendValue(std::string* out, const std::string& value, char type) {
    if (type == 'S' || type == 'T') {
        *out += '\'';
        for (char c : value) {
            *out += c;
            if (c == '\'') *out += '\'';
        }
        *out += '\'';
        return true;
    }
    size_t start = !value.empty() && value[0] == '-' ? 1 : 0;
    if (value.size() == start || value.find_first_not_of("0123456789", start) != std::string::npos)
        return false;
    *out += value;
    return true;
}

// The application id a document of the application carries in the group's field.
std::string ApplicationValue(const QelLocalApp& app) { return app.alias[0] != '\0' ? app.alias : app.name; }

class LocalFolderReader {
public:
    explicit LocalFolderReader(CsHandle* handle) : handle_(handle) {}

    int Read(uint32_t number, const char* name, CsXdrFolder** out) {
        int rc = FindFolder(number, name);
        if (rc != CS_OK) return rc;
        rc = FolderPermission(handle_, folder_.fid);
        if (rc != CS_OK) return rc;
        FolderPtr reply(static_cast<CsXdrFolder*>(std::calloc(1, sizeof(CsXdrFolder))));
        if (!reply) return CS_NO_MEMORY;
        rc = FillFolder(reply.get());
        if (rc == CS_OK) rc = csfolder::FolderHitLimit(handle_, folder_.fid, &reply->hitLimit);
        for (size_t i = 0; rc == CS_OK && i < folder_.appGroups.size(); ++i)
            rc = AddGroup(reply.get(), folder_.appGroups[i]);
        if (rc == CS_OK && !FolderToSession(texts_, reply.get())) rc = CS_FAILED;
        if (rc == CS_OK) *out = reply.release();
        return rc;
    }

private:
    int FindFolder(uint32_t number, const char* name) {
        int32_t fid = 0;
        if (number != 0) {
            if (number > static_cast<uint32_t>(std::numeric_limits<int32_t>::max())) return CS_FAILED;
            fid = static_cast<int32_t>(number);
        } else {
            if (name == nullptr || *name == '\0' || std::strchr(name, '\'') != nullptr) return CS_FAILED;
            QelLocalFolder found;
            std::string archiveName = name;
            if (!texts_.ToArchive(&archiveName)) return CS_FAILED;  // no folder has that name
            const std::string quoted = "'" + archiveName + "'";
            int rc = QelLocal_ListFoldersFirst(handle_, quoted.c_str(), &found);
            if (rc == CS_NOT_FOUND) return CS_FAILED;
            if (rc != CS_OK) return rc;
            fid = found.fid;
        }
        return QelLocal_GetFolder(handle_, fid, &folder_);
    }

    int FillFolder(CsXdrFolder* reply) {
        reply->number = static_cast<uint32_t>(folder_.fid);
        if (!csroute::CopyField(reply->name, folder_.name) ||
            !csroute::CopyField(reply->description, folder_.description) || folder_.fields.size() > 0xFFFF)
            return CS_FAILED;
        reply->fieldTotal = static_cast<uint16_t>(folder_.fields.size());
        reply->fields = ZeroedArray<CsXdrFolderField>(folder_.fields.size());
        if (!folder_.fields.empty() && reply->fields == nullptr) return CS_NO_MEMORY;
        reply->fieldCount = reply->fieldTotal;
        for (size_t i = 0; i < folder_.fields.size(); ++i) {
            const QelLocalFolderField& from = folder_.fields[i];
            CsXdrFolderField& to = reply->fields[i];
            if (!csroute::CopyField(to.name, from.name) ||
                !csroute::CopyField(to.description, from.description))
                return CS_FAILED;
            to.type[0] = from.type;
            to.type[1] = csfolder::DateKind(from.type, from.qual);
            to.number = static_cast<uint16_t>(from.number);
            to.defaults[0].type = from.type;
            to.defaults[1].type = from.type;
            const int rc = csfolder::FillFieldUser(handle_, folder_.fid, from.number, &to);
            if (rc != CS_OK) return rc;
            to.user.mapCount = static_cast<uint8_t>(std::clamp(from.mapType, 1, 255));
        }
        return CS_OK;
    }

    // The user's permissions on the group: CS_OK (with the row's restriction), or
    // CS_NOT_AUTHORISED when the user may not see it.
    int GroupPermission(int32_t agid, QelLocalAgPerms* perms) {
        const CsLogonRecord* logon = handle_->logon;
        if (logon == nullptr) return CS_NOT_AUTHORISED;
        int rc = QelLocal_GetAppGroupPerms(handle_, agid, static_cast<int32_t>(logon->userNumber),
                                           logon->groupList.c_str(), 1, perms);
        if (rc == CS_NOT_FOUND) {
            if (!SeesAllFolders(handle_)) return CS_NOT_AUTHORISED;
            *perms = QelLocalAgPerms{};
            return CS_OK;
        }
        return rc;
    }

    int AddGroup(CsXdrFolder* reply, int32_t agid) {
        QelLocalAgPerms perms;
        int rc = GroupPermission(agid, &perms);
        if (rc == CS_NOT_AUTHORISED) return CS_OK;
        if (rc != CS_OK) return rc;
        QelLocalAppGroup group;
        rc = QelLocal_ReadAppGroup(handle_, agid, &group);
        if (rc != CS_OK) return rc;
        if (reply->groupCount == 0xFFFF) return CS_FAILED;
        // The maps keep step with the groups: the codec frees one map per group.
        if (!GrowByOne(&reply->maps, reply->groupCount) || !GrowByOne(&reply->groups, reply->groupCount))
            return CS_NO_MEMORY;
        ++reply->groupCount;
        CsXdrApplGroup& to = reply->groups[reply->groupCount - 1];
        rc = FillGroup(group, perms, &to);
        if (rc == CS_OK) rc = AddApplications(group, &to);
        if (rc == CS_OK) rc = Restrict(group, perms, &to);
        if (rc == CS_OK) rc = FillMap(agid, &reply->maps[reply->groupCount - 1]);
        return rc;
    }

    int FillGroup(const QelLocalAppGroup& from, const QelLocalAgPerms& perms, CsXdrApplGroup* to) {
        to->number = static_cast<uint32_t>(from.agid);
        if (!csroute::CopyField(to->name, from.name) ||
            !csroute::CopyField(to->description, from.description) ||
            !csroute::CopyField(to->prefix, from.agidName) || from.fields.size() > 0xFFFF)
            return CS_FAILED;
        to->notePermissions = perms.annPerms;
        // The local server fills each segment up to the group's row limit.
        to->segmentKind = 'M';
        to->rowsPerSegment = static_cast<uint32_t>(std::max(from.segRows, 0));
        to->logging = static_cast<uint8_t>(from.logFlags);
        to->storageSet = static_cast<uint32_t>(from.sid);
        to->permissions = static_cast<uint8_t>(perms.docPerms);
        to->fields = ZeroedArray<CsXdrFieldDef>(from.fields.size());
        if (!from.fields.empty() && to->fields == nullptr) return CS_NO_MEMORY;
        to->fieldCount = static_cast<uint16_t>(from.fields.size());
        for (size_t i = 0; i < from.fields.size(); ++i) {
            const QelLocalAgField& field = from.fields[i];
            CsXdrFieldDef& def = to->fields[i];
            if (!csroute::CopyField(def.name, field.name)) return CS_FAILED;
            def.type = field.type;
            def.flags = static_cast<uint8_t>(field.mask);
            def.textLength = static_cast<uint16_t>(field.stringLen);
            def.textCase = static_cast<uint8_t>(field.stringCase);
            def.number = static_cast<uint16_t>(field.number);
            const int rc = csfolder::FillGroupField(handle_, from.agid, field, &def);
            if (rc != CS_OK) return rc;
        }
        return CS_OK;
    }

    // The application's parameter text: its view file (the user's, else the application's).
    // An application without one, or whose file cannot be read, has none.
    int AddParameters(int32_t agid, int32_t appId, CsXdrApplEntry* entry) {
        const CsLogonRecord* logon = handle_->logon;
        const auto user = logon != nullptr ? static_cast<int32_t>(logon->userNumber) : 0;
        std::string view;
        if (QelLocal_GetAppViews(handle_, agid, appId, user, &view) != CS_OK || view.empty()) return CS_OK;
        entry->parameters.text = CopyText(view);
        return entry->parameters.text != nullptr ? CS_OK : CS_NO_MEMORY;
    }

    // The applications of the folder and group, one entry each.
    int AddApplications(const QelLocalAppGroup& group, CsXdrApplGroup* to) {
        values_.clear();
        QelLocalApp app;
        int rc = QelLocal_ListFolderAppsFirst(handle_, folder_.fid, group.agid, &app);
        for (; rc == CS_OK; rc = QelLocal_ListFolderAppsNext(handle_, &app)) {
            if (to->applCount == 0xFFFF) return CS_FAILED;
            if (!GrowByOne(&to->appls, to->applCount)) return CS_NO_MEMORY;
            CsXdrApplEntry& entry = to->appls[to->applCount++];
            if (!csroute::CopyField(entry.name, app.name) ||
                !csroute::CopyField(entry.description, app.description))
                return CS_FAILED;
            values_.push_back(ApplicationValue(app));
            entry.value = CopyText(values_.back());
            if (entry.value == nullptr) return CS_NO_MEMORY;
            entry.number = static_cast<uint32_t>(app.appId);
            entry.flags[0] = static_cast<uint8_t>(csfolder::ApplicationDataType(app.docType));
            const int viewRc = AddParameters(group.agid, app.appId, &entry);
            if (viewRc != CS_OK) return viewRc;
        }
        return rc == CS_NOT_FOUND ? CS_OK : rc;
    }

    // The search restriction: the user's own, and with two or more applications the
    // IN condition on the application-id field.
    int Restrict(const QelLocalAppGroup& group, const QelLocalAgPerms& perms, CsXdrApplGroup* to) const {
        std::string text = perms.hasRestrict ? perms.queryRestrict : std::string();
        if (values_.size() >= 2) {
            const QelLocalAgField* idField = nullptr;
            for (const QelLocalAgField& field : group.fields)
                if (idField == nullptr && (field.mask & kApplicationIdField)) idField = &field;
            if (idField == nullptr) return CS_FAILED;
            if (!text.empty()) text += " AND ";
            text += std::string(idField->name) + " IN ( ";
            for (size_t i = 0; i < values_.size(); ++i) {
                if (i > 0) text += " , ";
                if (!AppendValue(&text, values_[i], idField->type)) return CS_FAILED;
            }
            text += " )";
        }
        if (text.empty()) return CS_OK;
        to->restriction = CopyText(text);
        return to->restriction != nullptr ? CS_OK : CS_NO_MEMORY;
    }

    // The group field behind each folder field (0xFFFF: none).
    int FillMap(int32_t agid, CsXdrFieldMap* map) const {
        std::vector<QelLocalFieldMap> keys;
        int rc = QelLocal_ReadFolderAgMap(handle_, agid, folder_.fid, &keys);
        if (rc == CS_NOT_FOUND)
            keys.clear();
        else if (rc != CS_OK)
            return rc;
        const size_t count = folder_.fields.size();
        // Second fields only when a field maps onto two; the array keeps its plain
        // length otherwise.
        bool pairs = false;
        for (const QelLocalFolderField& field : folder_.fields) pairs = pairs || field.mapType > 1;
        const size_t length = pairs ? 2 * count : count;
        if (length > 0xFFFF) return CS_FAILED;
        map->numbers = ZeroedArray<uint16_t>(length);
        if (length > 0 && map->numbers == nullptr) return CS_NO_MEMORY;
        map->count = static_cast<uint16_t>(length);
        for (size_t i = 0; i < length; ++i) map->numbers[i] = kUnmapped;
        for (const QelLocalFieldMap& key : keys) {
            if (key.folderField < 0 || static_cast<size_t>(key.folderField) >= count) continue;
            const size_t i = static_cast<size_t>(key.folderField);
            if (key.first >= 0) map->numbers[i] = static_cast<uint16_t>(key.first);
            if (pairs && folder_.fields[i].mapType > 1 && key.second >= 0)
                map->numbers[count + i] = static_cast<uint16_t>(key.second);
        }
        return CS_OK;
    }

    CsHandle* handle_;
    QelLocalFolder folder_;
    std::vector<std::string> values_;  // application ids of the group being read
    cstexts::ArchiveTexts texts_{handle_};
};

int LocalFolderGroups(CsHandle* handle, uint32_t number, const char* name, CsXdrFolder** out) {
    int rc = QelLocal_LoadTables(handle);
    if (rc == CS_OK) {
        try {
            rc = LocalFolderReader(handle).Read(number, name, out);
        } catch (const std::bad_alloc&) {
            rc = CS_NO_MEMORY;
        }
    }
    return QelLocal_EndRequest(handle, rc);
}

int RemoteFolderGroups(CsHandle* handle, uint32_t number, const char* name, CsXdrFolder** out) {
    CsXdrFolder* raw = nullptr;
    const int rc = CsServerRequest(handle, CS_REQ_FOLDER_GROUPS, number, name, &raw);
    FolderPtr reply(raw);
    if (rc != CS_OK) return rc;
    if (!reply) return CS_FAILED;
    csfolder::SetRemoteDefaults(reply.get());
    *out = reply.release();
    return CS_OK;
}

}  // namespace

int CsOpenFolderGroups(CsHandle* handle, uint32_t folderNumber, const char* folderName, CsXdrFolder** out) {
    if (handle == nullptr || out == nullptr) return CS_FAILED;
    *out = nullptr;
    int rc = CsSessionEnter(handle);
    if (rc != CS_OK) return rc;
    CsXdrFolder* folder = nullptr;
    rc = IsLocal(handle) ? LocalFolderGroups(handle, folderNumber, folderName, &folder)
                         : RemoteFolderGroups(handle, folderNumber, folderName, &folder);
    rc = CsSessionLeave(handle, rc);
    if (rc == CS_OK)
        *out = folder;
    else
        CsFreeFolderList(folder);
    return rc;
}

void CsFreeReplyA(CsXdrApplGroup* group) {
    if (group == nullptr) return;
    QelXdr_Free(CsXdr_ApplGroup, group);
    std::free(group);
}

void CsFreeReplyB(CsXdrApplEntry* entry) {
    if (entry == nullptr) return;
    QelXdr_Free(CsXdr_ApplEntry, entry);
    std::free(entry);
}
