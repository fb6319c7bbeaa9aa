// The document cache steps: saved open documents (.idoc), cached document data (.doc or
// .asc), index data (.idx) and resource groups (.res). Every step does nothing while
// CacheDocs is off.
#include <cerrno>
#include <optional>
#include <vector>

#include "documents.h"
#include "qel_client.h"

namespace qelwww::detail {

namespace {

bool CacheOn(const QelWWWConfig* config) { return config != nullptr && config->cacheDocs != 0; }

bool Write(const QelWWWConfig* config, QelWWWSession* session, const std::string& path,
           std::string_view bytes) {
    if (path.empty()) return false;
    const bool written = QelWWW_WriteCacheFile(config, session, path.c_str(), bytes.data(), bytes.size());
    if (!written && config->traceOn)
        QelWWW_Trace(config, "document cache: '%s' not written, errno %d", path.c_str(), errno);
    return written;
}

// The whole file, read with touch so that the purge takes it as recent.
std::optional<std::string> Read(const QelWWWConfig* config, QelWWWSession* session, const std::string& path) {
    if (path.empty()) return std::nullopt;
    return QelWWW_ReadCacheFile(config, session, path.c_str(), nullptr, nullptr, true);
}

// The .res name of the hit's resource group; empty when the hit has none (resource id 0).
std::string ResourcePath(const QelWWWConfig* config, const QelWWWSession* session, const SearchHit* hit) {
    if (hit == nullptr) return std::string();
    const uint32_t resource = Hit_GetAttrValue(hit);
    if (resource == 0) return std::string();
    uint32_t group = 0;
    uint32_t application = 0;
    Hit_GetApplGroupAndApplIds(hit, &group, &application);
    return QelWWW_ResourceFilePath(config, session, static_cast<int32_t>(group),
                                   static_cast<int32_t>(resource));
}

const char* DataExtension(const QelWWWSession* session) { return session->asciiOutput ? "asc" : "doc"; }

}  // namespace

bool SaveOpenDocument(const QelWWWConfig* config, QelWWWSession* session, bool withData,
                      std::string_view documentKey, const OpenDocument* document) {
    if (!CacheOn(config) || session == nullptr || document == nullptr) return false;
    std::vector<unsigned char> blob;
    if (State_SaveDocument(session->client, &blob, document) == 0) return false;
    // A document without page tables keeps its blob alone; restoring with data then fails
    // and the document is retrieved again.
    if (withData) State_SaveDocumentData(document, &blob);
    const std::string path = QelWWW_DocumentFilePath(config, session, documentKey, "idoc");
    return Write(config, session, path,
                 std::string_view(reinterpret_cast<const char*>(blob.data()), blob.size()));
}

OpenDocument* RestoreOpenDocument(const QelWWWConfig* config, QelWWWSession* session, bool withData,
                                  std::string_view documentKey, OpenFolder* folder, SearchHit* hit) {
    if (!CacheOn(config) || session == nullptr) return nullptr;
    const std::optional<std::string> file =
        Read(config, session, QelWWW_DocumentFilePath(config, session, documentKey, "idoc"));
    if (!file) return nullptr;
    const auto* bytes = reinterpret_cast<const unsigned char*>(file->data());
    const size_t part = State_DocumentPartLength(bytes, file->size());
    if (part == 0 || part > file->size()) return nullptr;
    OpenDocument* document = State_RestoreDocument(session->client, bytes, part, folder, hit);
    if (document == nullptr) {
        if (config->traceOn) QelWWW_Trace(config, "document cache: saved document refused");
        return nullptr;
    }
    if (withData && State_RestoreDocumentData(document, bytes + part, file->size() - part) != CS_OK) {
        if (config->traceOn) QelWWW_Trace(config, "document cache: saved page tables refused");
        Doc_Close(document);
        return nullptr;
    }
    return document;
}

bool CacheDocument(const QelWWWConfig* config, QelWWWSession* session, std::string_view documentKey,
                   const SearchHit* hit, std::string_view data, std::string_view resources) {
    if (!CacheOn(config) || session == nullptr) return false;
    bool written = Write(config, session,
                         QelWWW_DocumentFilePath(config, session, documentKey, DataExtension(session)), data);
    if (!resources.empty()) {
        const std::string path = ResourcePath(config, session, hit);
        if (!path.empty()) written = Write(config, session, path, resources) && written;
    }
    return written;
}

bool CacheIndexData(const QelWWWConfig* config, QelWWWSession* session, std::string_view documentKey,
                    std::string_view data) {
    if (!CacheOn(config) || session == nullptr) return false;
    return Write(config, session, QelWWW_DocumentFilePath(config, session, documentKey, "idx"), data);
}

bool LookupCachedDocument(const QelWWWConfig* config, QelWWWSession* session, std::string_view documentKey,
                          const SearchHit* hit, std::string* data, bool* dataFound, std::string* resources,
                          bool* resourcesFound) {
    if (dataFound != nullptr) *dataFound = false;
    if (resourcesFound != nullptr) *resourcesFound = false;
    if (!CacheOn(config) || session == nullptr) return false;
    bool found = false;
    if (!session->asciiOutput && resources != nullptr) {
        if (std::optional<std::string> bytes = Read(config, session, ResourcePath(config, session, hit))) {
            *resources = std::move(*bytes);
            if (resourcesFound != nullptr) *resourcesFound = true;
            found = true;
        }
    }
    if (data != nullptr) {
        if (std::optional<std::string> bytes =
                Read(config, session,
                     QelWWW_DocumentFilePath(config, session, documentKey, DataExtension(session)))) {
            *data = std::move(*bytes);
            if (dataFound != nullptr) *dataFound = true;
            found = true;
        }
    }
    return found;
}

bool LookupCachedIndexData(const QelWWWConfig* config, QelWWWSession* session, std::string_view documentKey,
                           std::string* data) {
    if (!CacheOn(config) || session == nullptr || data == nullptr) return false;
    std::optional<std::string> bytes =
        Read(config, session, QelWWW_DocumentFilePath(config, session, documentKey, "idx"));
    if (!bytes) return false;
    *data = std::move(*bytes);
    return true;
}

}  // namespace qelwww::detail
