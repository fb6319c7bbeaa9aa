// Test support for the wire codec: outside oracles (Python), code pages, a memory
// transport, and sample records with a value in every field.
#pragma once

#include "qel_cswire.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace wire_test {

using Bytes = std::vector<unsigned char>;

std::string Hex(std::span<const unsigned char> bytes);
Bytes FromHex(const std::string& hex);

// Runs python3 with the script file (from the tests folder) and arguments; "{}" in an
// argument is replaced by a scratch file holding `input`. Returns standard output;
// *status gets the exit status (-1 when python could not start).
std::string RunPython(const std::string& script, std::vector<std::string> args,
                      std::span<const unsigned char> input, int* status);
// As RunPython, reading the lines of standard output.
std::vector<std::string> PythonLines(const std::string& script, std::vector<std::string> args,
                                     std::span<const unsigned char> input = {});

// The process's code-page context (made once from the staged locale directory).
ArcIconvContext* CodePages();
// Opens UTF-8 <-> UCS-2 (or another local CCSID) on a stream; asserts success.
void OpenCodePages(QelXdr* xdr, int32_t localCcsid = 1208);

// A transport over two byte queues: what the stream sends is appended to `sent`, what it
// receives is taken from `incoming`. sendLimit/receiveLimit >= 0 cut one call short.
struct MemoryTransport {
    ArcCOM_Funcs funcs{};
    Bytes sent;
    Bytes incoming;
    size_t readPos = 0;
    int sendLimit = -1;
    int receiveLimit = -1;

    MemoryTransport();
    void Feed(std::span<const unsigned char> bytes) {
        incoming.insert(incoming.end(), bytes.begin(), bytes.end());
    }
};

// A stream with UTF-8 code pages on a memory transport.
struct StreamBox {
    MemoryTransport transport;
    CsStream* stream = nullptr;
    StreamBox();
    ~StreamBox();
    StreamBox(const StreamBox&) = delete;
    StreamBox& operator=(const StreamBox&) = delete;
};

// A plain frame and a compressed frame, as the documented headers say.
Bytes PlainFrame(uint32_t number, std::span<const unsigned char> payload);
Bytes CompressedFrame(uint32_t number, char letter, uint32_t flags, std::span<const unsigned char> payload);

// Value-list bombs: a record is encoded with one marked item (number kMarkedItem, no
// text) in the list under test; ListBomb puts `count` copies of `unit` in its place
// and compresses the whole as message `number`, the way the stream sends it (the
// repeated part is never held whole, so millions of items cost little memory here).
inline constexpr uint16_t kMarkedItem = 0xBEEF;
// The wire bytes of one list item: presence word, number, text (null for none).
Bytes ListItem(uint16_t number, const char* text);
Bytes ListBomb(const Bytes& record, std::span<const unsigned char> unit, size_t count, uint32_t number);

// Records whose storage the Sample owns; every field holds a value that differs from 0.
class Sample {
public:
    CsXdrApplGroup* Group();  // fields typed B D I N S T X, two applications
    CsXdrHitRow* Hit();       // a slot for each field of Group()
    CsXdrHitRow* BareHit();   // no object reference, no slots
    CsXdrNodeEntry* Node(uint16_t number);
    CsXdrNodeInfo* NodeInfo();
    CsXdrObjectRef* Object();
    CsXdrUserRecord* User();
    CsXdrUserEntry* UserEntry();
    CsXdrLogonRecord* Logon();
    CsXdrSystemParms* Parms();
    CsXdrApplEntry* Appl();
    CsXdrNote* Note();
    CsXdrIndexResult* IndexResult();
    CsXdrSegment* Segment();
    CsXdrValueItem* List(int items);
    CsXdrCriteria* Criteria(char type);
    CsXdrFolder* Folder();
    CsXdrStorageSet* StorageSet();
    CsXdrPrintRequest* Print();
    CsXdrTextEntry* Entries(int count);
    CsXdrNamedQuery* Query();
    CsXdrPrinter* Printer();
    CsXdrDataPiece* Piece(char letter, const std::string& data);
    CsXdrHandlePart* Handle(uint32_t flags1, uint32_t flags2);
    char* Text(const std::string& text);
    template <typename T>
    T* Make() {
        auto owned = std::make_shared<T>();
        std::memset(static_cast<void*>(owned.get()), 0, sizeof(T));
        T* raw = owned.get();
        keep_.push_back(owned);
        return raw;
    }

private:
    std::deque<std::string> texts_;
    std::vector<std::shared_ptr<void>> keep_;
};

// Copies text into a fixed field (cut to fit).
template <size_t N>
void Set(char (&field)[N], const std::string& text) {
    const size_t n = std::min(text.size(), N - 1);
    std::memcpy(field, text.data(), n);
    field[n] = '\0';
}

}  // namespace wire_test
