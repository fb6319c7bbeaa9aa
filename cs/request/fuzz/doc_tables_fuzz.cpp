// Hostile document-table streams. Besides staying within its buffers, the reader must
// keep its promises: a stream reads to the same record in any pieces, a failure leaves
// no record, a record read is consistent, and what the writer writes of it reads back
// the same (page entries with nothing to carry are left out).
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "arc_codepage.h"
#include "qel_cs.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

ArcIconvContext* CodePages() {
    static ArcIconvContext* context = [] {
        ArcIconvContext* c = nullptr;
        return ArcICONV_Startup(&c, QEL_STAGE_DIR "/locale") == 0 ? c : nullptr;
    }();
    return context;
}

// Reads the stream in pieces of `step` bytes and ends it; null on failure.
CsDocTables* Read(const uint8_t* data, size_t size, size_t step, int* rc) {
    CsDocTables* t = nullptr;
    size_t at = 0;
    bool first = true;
    do {
        const size_t n = size - at < step ? size - at : step;
        *rc = CsConvertDocument(CodePages(), data + at, n, first ? 1 : 0, &t);
        first = false;
        at += n;
        if (*rc != CS_OK) {
            Check(t == nullptr);
            return nullptr;
        }
    } while (at < size);
    *rc = CsEndDocTables(&t);
    Check((*rc == CS_OK) == (t != nullptr));
    return t;
}

// The record's content as text; `written` keeps only the page entries a writer writes.
std::string Content(const CsDocTables& t, bool written) {
    std::string out = std::to_string(t.flags) + " " + std::to_string(t.codePage) + " " +
                      std::to_string(t.total) + " " + std::to_string(t.perObject) + " " +
                      std::to_string(t.objectCount) + "|";
    for (uint32_t i = 0; i < t.objects.size(); ++i) {
        const CsDocObjectEntry& e = t.objects[i];
        out += std::to_string(e.offset) + "/" + std::to_string(e.length) + "/" +
               std::string(e.name, strnlen(e.name, 4)) + " ";
    }
    for (const std::string& name : t.groupNames) out += "g" + name + "\x01";
    for (const auto& block : t.blocks) {
        for (const CsDocPageEntry& entry : block) {
            if (written && entry.values.empty() && entry.name.empty()) continue;
            out += "p" + std::to_string(entry.page) + ":" + entry.name + "\x01";
            for (const CsDocValue& v : entry.values) {
                Check(v.group < t.groupNames.size());
                out += std::to_string(v.group) + "," + std::to_string(v.kind) + "," + v.text + "\x01";
            }
        }
    }
    return out;
}

bool TextsFitWriter(const CsDocTables& t) {
    for (const std::string& name : t.groupNames)
        if (name.size() > 127) return false;
    for (const auto& block : t.blocks)
        for (const CsDocPageEntry& entry : block) {
            if (entry.name.size() > 127) return false;
            for (const CsDocValue& v : entry.values)
                if (v.text.size() > 127) return false;
        }
    return true;
}

int Collect(void* context, const unsigned char* data, size_t length) {
    static_cast<std::vector<unsigned char>*>(context)->insert(
        static_cast<std::vector<unsigned char>*>(context)->end(), data, data + length);
    return 1;
}

}  // namespace

// Byte 0: the piece size of the second read (0: one byte); then the stream.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || CodePages() == nullptr) return 0;
    const size_t step = data[0] == 0 ? 1 : data[0];
    int whole = 0;
    int pieces = 0;
    CsDocTables* t = Read(data + 1, size - 1, size, &whole);
    CsDocTables* u = Read(data + 1, size - 1, step, &pieces);
    Check(whole == pieces);
    Check(whole == CS_OK || whole == CS_FAILED);
    if (t == nullptr) return 0;
    const std::string content = Content(*t, false);
    Check(content == Content(*u, false));
    Check(t->objectCount == (t->total + uint64_t{t->perObject} - 1) / t->perObject);
    Check(t->objects.size() == (t->objectCount > 1 ? t->objectCount - 1 : 0));

    std::vector<unsigned char> stream;
    const int rc = CsWriteDocTables(CodePages(), t, &stream, Collect);
    Check(rc == (TextsFitWriter(*t) ? CS_OK : CS_FAILED));
    if (rc == CS_OK) {
        int again = 0;
        CsDocTables* back = Read(stream.data(), stream.size(), 7, &again);
        Check(again == CS_OK);
        Check(Content(*back, true) == Content(*t, true));
        CsFreeDocTables(back, 1);
    }
    CsFreeDocTables(t, 1);
    CsFreeDocTables(u, 1);
    return 0;
}
