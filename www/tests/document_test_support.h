// The retrieve and getsegment tests' gateway: the sample archive with invoices loaded, the
// invoices' application switched to another document type, and readers of the replies.
#pragma once

#include <zlib.h>

#include <fstream>
#include <regex>
#include <string>

#include "gateway_fixture.h"
#include "invoice_rows.h"

namespace wwwtest {

inline constexpr const char* kBobLogon = "_s=DEMO&_u=BOB&_p=builder2&_f=Invoices&";

// The bytes of an invoice's document: ten bytes of object 1FAA each.
inline std::string InvoiceBytes(int n) {
    static const std::string object = "Invoice 4711 for ACME CORPORATION\nAmount due: 120.00\n";
    return object.substr(static_cast<size_t>(10 * (n - 1)), 10);
}

// zlib data expanded; empty when it does not expand.
inline std::string Inflate(const std::string& packed) {
    std::string out(1 << 16, '\0');
    uLongf size = out.size();
    if (uncompress(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(packed.data()),
                   packed.size()) != Z_OK)
        return {};
    out.resize(size);
    return out;
}

// The number an error reply shows for catalogue message `index`.
inline int MessageNumber(int index) {
    char text[512];
    int number = 0;
    QelWWW_GetMessageText(index, text, sizeof text, &number);
    return number;
}

// The message id of a plain-text error reply ("ID=%d"), or -1.
inline int ErrorId(const std::string& body) {
    std::smatch m;
    if (std::regex_search(body, m, std::regex("\\[ERROR\\]\nID=([0-9]+)\n"))) return std::stoi(m[1]);
    return -1;
}

// An index row of the Invoices group (100) for a document of object `object`: bytes
// [offset, offset + length) of the stored block [0, block), kept as it is ('N').
inline QelLocalIdxRow InvoiceRow(const Invoice& invoice, const std::string& object, uint32_t offset,
                                 uint32_t length, uint32_t block) {
    QelLocalIdxRow row;
    row.header.objName = object;
    row.header.off = offset;
    row.header.len = length;
    row.header.compOff = 0;
    row.header.compLen = block;
    row.header.compType = 'N';
    row.header.priNid = 1;  // the sample's only storage node
    row.values.resize(3);
    row.values[0].text = invoice.number;
    row.values[1].text = invoice.customer;
    row.values[2].integer = invoice.day;
    return row;
}

// The sample invoices, each ten bytes of object 1FAA, whose whole 53 bytes are the stored
// block: retrievals as stored and expanded give the same bytes.
inline std::vector<QelLocalIdxRow> StoredInvoiceRows() {
    std::vector<QelLocalIdxRow> rows;
    uint32_t offset = 0;
    for (const Invoice& invoice : SampleInvoices()) {
        rows.push_back(InvoiceRow(invoice, "1FAA", offset, 10, 53));
        offset += 10;
    }
    return rows;
}

class DocumentFixture : public GatewayFixture {
protected:
    void SetUp() override {
        GatewayFixture::SetUp();
        ASSERT_EQ(AddInvoiceRows(archive_, StoredInvoiceRows()), CS_OK);
    }

    // The invoices' application (the first of app.tbl) stores documents of this DOC_TYPE
    // (docs/folders.md).
    // The saved open folder keeps the definition it was opened with: it goes too.
    void SetDocType(int docType) const {
        ReplaceFirst("app", "DOC_TYPE=[0-9]+", "DOC_TYPE=" + std::to_string(docType));
        ForgetFolders();
    }
    // DOC_PERMS of the invoice group's row (the first of agperms.tbl).
    void SetDocPermissions(int permissions) const {
        ReplaceFirst("agperms", "DOC_PERMS=[0-9]+", "DOC_PERMS=" + std::to_string(permissions));
        ForgetFolders();
    }
    void ForgetFolders() const {
        for (const auto& entry : std::filesystem::directory_iterator(cache_))
            if (entry.path().extension() == ".fld") std::filesystem::remove(entry.path());
    }
    void ReplaceFirst(const std::string& table, const std::string& pattern, const std::string& by) const {
        const std::string text = ReadTable(table);
        const std::string changed =
            std::regex_replace(text, std::regex(pattern), by, std::regex_constants::format_first_only);
        ASSERT_NE(changed, text.find(by) == std::string::npos ? text : std::string()) << pattern;
        WriteTable(table, changed);
    }
    void TraceTo(const std::string& name) {
        config_.traceOn = 1;
        config_.traceFile = dir_.Path() + "/" + name;
    }
    std::string Trace(const std::string& name) const {
        std::ifstream in(dir_.Path() + "/" + name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    // The number of files in the cache directory with that extension.
    size_t CacheFiles(const std::string& extension) const {
        size_t count = 0;
        for (const auto& entry : std::filesystem::directory_iterator(cache_))
            if (entry.path().extension() == "." + extension) ++count;
        return count;
    }
};

}  // namespace wwwtest
