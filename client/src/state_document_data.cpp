// The page tables of an open document, kept as a blob of their own after the document's
// blob: the request layer's table stream, framed and checked like every state blob, and
// read back by the request layer's reader with the session's code pages.
#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "blob_reader.h"
#include "blob_writer.h"
#include "qel_client.h"
#include "session_list.h"
#include "state_format.h"

namespace {

using namespace qelclient;

int Collect(void* context, const unsigned char* data, size_t length) {
    static_cast<BlobWriter*>(context)->Bytes(data, length);
    return 0;
}

bool Listed(const OpenDocument* document) {
    if (document == nullptr || !ListContains(document->session)) return false;
    const auto& kept = document->session->documents;
    return std::any_of(kept.begin(), kept.end(), [&](const auto& d) { return d.get() == document; });
}

uint32_t Le32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

}  // namespace

size_t State_SaveDocumentData(const OpenDocument* document, std::vector<unsigned char>* file) {
    if (file == nullptr || !Listed(document) || !document->pageTables) return 0;
    BlobWriter w;
    if (CsWriteDocTables(document->session->handle.iconv, document->pageTables.get(), &w, Collect) != CS_OK)
        return 0;
    const std::vector<unsigned char> blob = w.Finish(kDocumentDataMagic);
    if (blob.size() - kBlobHeaderSize > kBlobPayloadMax) return 0;  // the reader would refuse it
    file->insert(file->end(), blob.begin(), blob.end());
    return file->size();
}

size_t State_DocumentPartLength(const unsigned char* file, size_t length) {
    if (file == nullptr || length < kBlobHeaderSize || std::memcmp(file, kDocumentMagic, 4) != 0) return 0;
    const uint32_t payload = Le32(file + 12);
    if (payload > kBlobPayloadMax || payload > length - kBlobHeaderSize) return 0;
    return kBlobHeaderSize + payload;
}

int State_RestoreDocumentData(OpenDocument* document, const unsigned char* data, size_t length) {
    if (!Listed(document)) return CS_FAILED;
    BlobReader r(data, length, kDocumentDataMagic);
    if (!r.ok()) return CS_FAILED;
    // The frame is whole: the payload is the stream, read in one piece.
    CsDocTables* tables = nullptr;
    int rc =
        CsConvertDocument(document->session->handle.iconv, data + kBlobHeaderSize, r.Remaining(), 1, &tables);
    if (rc == CS_OK) rc = CsEndDocTables(&tables);
    if (rc != CS_OK) {
        CsFreeDocTables(tables, 1);
        document->pageTables.reset();
        return rc;
    }
    document->pageTables.reset(tables, [](CsDocTables* t) { CsFreeDocTables(t, 1); });
    return CS_OK;
}
