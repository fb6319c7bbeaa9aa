// doc_internal.h - what the document calls share (internal): the data sink of a running
// retrieval, the process-wide resource records and the parameter reading.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "qel_client.h"

namespace qelclient {

// The state of one running retrieval. It lives on the caller's stack for the request;
// the thread's active sink points at it so that a client exit can feed it.
struct DocSink {
    ClientSession* session = nullptr;
    OpenFolder* folder = nullptr;
    ClientDocDataFn consumer = nullptr;
    uint32_t callbackId = 0;
    bool convert = false;  // the data starts with page tables
    bool first = true;     // no block has arrived yet
    bool converterStarted = false;
    uint64_t limit = 0;             // bytes of page tables at the start of the data
    uint64_t converted = 0;         // of them, handed to the converter so far
    bool skipTables = false;        // the tables are dropped instead of read (a segment)
    CsDocTables* tables = nullptr;  // being read; owned by the sink until taken
    int converterResult = 0;        // the converter's failure, 0 none
    bool stopped = false;           // the consumer said stop: it gets nothing more

    DocSink() = default;
    DocSink(const DocSink&) = delete;
    DocSink& operator=(const DocSink&) = delete;
    ~DocSink();
};

// The CsDataFn of the request layer: context is the DocSink. Always 1.
int DocSinkData(void* context, const unsigned char* data, size_t length);

// Marks the sink as the running request of its session on this thread: busy byte,
// yield callback and callback word; Leave clears them.
void SinkEnter(DocSink* sink);
void SinkLeave(DocSink* sink);

// Page tables whose words give no valid page counts are not kept.
bool TablesUsable(const CsDocTables& tables);
std::shared_ptr<CsDocTables> ShareTables(CsDocTables* tables);

// The conversion limit of a hit's object: the byte length of the page tables at the
// start of a '$' document's data (its compressed-offset word), 0 otherwise.
uint64_t ConversionLimit(const CsXdrObjectRef* object);

// Reads the conversion parameters of the application's parameter text into the document
// and matches its layout fields against the folder.
void ReadConversionParms(OpenDocument* document);
// The session's entry of the document's application, made when missing.
DocApplParmEntry* FindOrMakeParmEntry(ClientSession* session, const CsXdrApplGroup* group,
                                      const CsXdrApplEntry* application);

// The process-wide resource record of one resource group on one server.
struct ResourceRecord {
    uint32_t groupId = 0;
    uint32_t resourceId = 0;  // -1 (0xFFFFFFFF) after a failed request
    const std::string* server = nullptr;
    uint32_t descriptor[4] = {0xFFFFFFFFu, 0, 0, 0};
};
// The record of (resource, group, server), or null.
const ResourceRecord* FindResourceRecord(uint32_t resourceId, uint32_t groupId, const std::string* server);
// Frees every resource record (the library stops).
void FreeResourceRecords();

// The storage-node descriptor of the hit's resource (request 64): CS_OK with desc
// filled, or the request's failure.
int RequestResourceDescriptor(ClientSession* session, const CsXdrApplGroup* group, uint32_t resourceId,
                              uint32_t desc[4]);

// The node entries a retrieval of the group routes on (both none when the group has no
// storage set). CS_OK or the storage set's failure.
int PickNodes(ClientSession* session, const CsXdrApplGroup* group, const CsXdrObjectRef* object,
              CsStorageNode** primary, CsStorageNode** secondary);

// The request's compression letter: the stored one with retrieve-mode bit 1, else 'N'.
char RequestCompression(const ClientSession* session, const CsXdrObjectRef* object);

}  // namespace qelclient
