// The four user exits: loaded for one call, called, and unloaded again.
#include "qel_cs.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "arc_install.h"
#include "arc_platform.h"
#include "qel_exits.h"

namespace {

constexpr const char* kSource = "Qelcsx";
constexpr int kLoadFailed = 138;
constexpr int kUnexpectedResult = 139;

// Install program-file indexes of the exit libraries.
constexpr int kSearchExit = 9;
constexpr int kSecurityExit = 10;
constexpr int kStorageExit = 11;
constexpr int kExtractExit = 13;

struct LoadedExit {
    char path[261] = {};
    CsExitLibrary library;
    void* entry = nullptr;
};

int Load(CsHandle* handle, int index, const char* entryName, int issue, LoadedExit* loaded) {
    QelInst_ProgramPath(index, loaded->path, sizeof loaded->path);
    return CsLoadExit(handle, issue, loaded->path, entryName, &loaded->library, &loaded->entry);
}

template <typename Fn>
Fn Entry(const LoadedExit& loaded) {
    return reinterpret_cast<Fn>(loaded.entry);
}

int Unexpected(CsHandle* handle, const LoadedExit& loaded, int result, int line) {
    CsIssueMessageV(handle, kUnexpectedResult, 'S', loaded.path, 'I', result, 'S', kSource, 'I', line, 'V');
    return CS_FAILED;
}

}  // namespace

void CsLibraryCloser::operator()(ArcOSLibrary* library) const { ArcOS_FreeLibrary(library); }

int CsLoadExit(CsHandle* handle, int issue, const char* path, const char* entryName, CsExitLibrary* library,
               void** entry) {
    if (library != nullptr) library->reset();
    if (entry != nullptr) *entry = nullptr;
    if (library == nullptr || entry == nullptr || entryName == nullptr) return CS_FAILED;
    if (path == nullptr) path = "";
    CsExitLibrary loaded(*path ? ArcOS_LoadLibrary(path) : nullptr);
    std::string error = loaded ? "" : ArcOS_LibraryError();
    void* found = loaded ? ArcOS_GetProcAddress(loaded.get(), entryName) : nullptr;
    if (found == nullptr) {
        if (loaded) error = std::string("no entry ") + entryName;
        if (issue)
            CsIssueMessageV(handle, kLoadFailed, 'S', path, 'S', error.c_str(), 'S', kSource, 'I', __LINE__,
                            'V');
        return CS_FAILED;
    }
    *library = std::move(loaded);
    *entry = found;
    return CS_OK;
}

int CsCallSecurityExit(CsHandle* handle, int32_t function, const char* arg1, const char* arg2,
                       const char* arg3, const char* arg4, const char* arg5) {
    LoadedExit loaded;
    if (Load(handle, kSecurityExit, QEL_EXIT_SECURITY_ENTRY, 1, &loaded) != CS_OK) return CS_FAILED;
    char scratch[CS_SERVER_MESSAGE_SIZE];
    char* message = handle ? handle->serverMessage : scratch;
    message[0] = '\0';
    int result = Entry<QelSecurityExitFn>(loaded)(function, arg1, arg2, arg3, arg4, arg5, message,
                                                  CS_SERVER_MESSAGE_SIZE);
    message[CS_SERVER_MESSAGE_SIZE - 1] = '\0';
    switch (result) {
        case QEL_SECURITY_ACCEPT: return CS_OK;
        case QEL_SECURITY_CHECK_PASSWORD: return CS_UNAVAILABLE;
        case QEL_SECURITY_REFUSE: return CS_NOT_AUTHORISED;
        case QEL_SECURITY_EXPIRED: return CS_PASSWORD_EXPIRED;
        default: return Unexpected(handle, loaded, result, __LINE__);
    }
}

int CsCallStorageExit(CsHandle* handle, const CsStorageExitInput* input, int indexedOnly, void* out1,
                      void* out2) {
    if (input == nullptr) return CS_FAILED;
    QelExitFieldRecord record{};
    const char* group = input->groupName ? input->groupName : "";
    if (std::strlen(group) > 12) return CS_FAILED;
    std::memcpy(record.groupName, group, std::strlen(group));
    std::vector<QelExitField> fields;
    try {
        fields.reserve(input->fields.size());
        for (const auto& in : input->fields) {
            if (indexedOnly && !(in.definitionFlags & 0x40)) continue;
            QelExitField field{};
            field.definition = in.definition;
            field.type = in.type;
            std::memcpy(field.value.raw, in.value, sizeof field.value.raw);
            fields.push_back(field);
        }
    } catch (const std::bad_alloc&) {
        return CS_NO_MEMORY;
    }
    record.count = static_cast<uint32_t>(fields.size());
    record.fields = fields.data();
    std::memcpy(record.documentWords, input->documentWords, sizeof record.documentWords);
    record.document = input->document;

    LoadedExit loaded;
    if (Load(handle, kStorageExit, QEL_EXIT_STORAGE_ENTRY, 0, &loaded) != CS_OK) return CS_FAILED;
    int result = Entry<QelStorageExitFn>(loaded)(input->exitContext, &record, out1, out2);
    return result == 0 ? CS_OK : Unexpected(handle, loaded, result, __LINE__);
}

int CsAskStorageExit(CsHandle* handle, uint32_t function, const char* groupName, void* exitContext,
                     QelExitObjectQuery* query) {
    if (query == nullptr) return CS_FAILED;
    query->found = 0;
    query->data = nullptr;
    query->length = 0;
    QelExitFieldRecord record{};
    const char* group = groupName ? groupName : "";
    if (std::strlen(group) > 12) return CS_FAILED;
    std::memcpy(record.groupName, group, std::strlen(group));
    record.function = function;
    record.document = query;

    LoadedExit loaded;
    if (Load(handle, kStorageExit, QEL_EXIT_STORAGE_ENTRY, 0, &loaded) != CS_OK) return CS_FAILED;
    int result = Entry<QelStorageExitFn>(loaded)(exitContext, &record, nullptr, nullptr);
    if (result == 0) return CS_OK;
    std::free(query->data);
    query->data = nullptr;
    query->length = 0;
    query->found = 0;
    return Unexpected(handle, loaded, result, __LINE__);
}

int CsCallSearchExit(CsHandle* handle, const void* group, const void* application, void* textSearch,
                     const char* jobFile, int32_t* answer) {
    LoadedExit loaded;
    if (Load(handle, kSearchExit, QEL_EXIT_SEARCH_ENTRY, 0, &loaded) != CS_OK) return CS_FAILED;
    void* context = handle ? handle->callbackContext : nullptr;
    int result = Entry<QelSearchExitFn>(loaded)(context, group, application, textSearch, jobFile, answer);
    return result == 0 ? CS_OK : Unexpected(handle, loaded, result, __LINE__);
}

int CsCallExtractExit(CsHandle* handle, const void* group, const void* application, const char* pages,
                      const char* jobFile, const char* outputFile) {
    LoadedExit loaded;
    if (Load(handle, kExtractExit, QEL_EXIT_EXTRACT_ENTRY, 0, &loaded) != CS_OK) return CS_FAILED;
    void* context = handle ? handle->callbackContext : nullptr;
    int result = Entry<QelExtractExitFn>(loaded)(context, group, application, pages, jobFile, outputFile);
    return result == 0 ? CS_OK : Unexpected(handle, loaded, result, __LINE__);
}
