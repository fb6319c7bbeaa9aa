// Invoices loaded into segment INV1 of a copy of the sample archive, for the search and
// hit-list tests (in process and end to end). Two customers by their stored names and
// two hostile ones; dates 7 to 11 January 2024.
#pragma once

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "qel_local.h"

namespace wwwtest {

struct Invoice {
    const char* number;
    const char* customer;
    int64_t day;  // days since 1 January 1970
};

inline const std::vector<Invoice>& SampleInvoices() {
    static const std::vector<Invoice> invoices = {
        {"A0001", "ACME CORPORATION", 19730}, {"A0002", "GLOBEX INC", 19731},
        {"A0003", "ACME CORPORATION", 19732}, {"A0004", "\"><img src=x onerror=alert(1)>", 19733},
        {"A0005", "</script><b>x", 19734},
    };
    return invoices;
}

// Adds the rows to segment INV1 of the Invoices group (100) of the archive in directory.
// CS_OK or the local server's code.
inline int AddInvoiceRows(const std::string& directory, const std::vector<QelLocalIdxRow>& rows) {
    CsHandle handle{};
    std::snprintf(handle.serverName, sizeof handle.serverName, "LOADER");
    handle.def.kind = CS_KIND_LOCAL;
    handle.def.profile = "[@SRV@_LOADER]\nDIRECTORY=" + directory + "\n";
    if (int rc = QelLocal_Open(&handle); rc != CS_OK) return rc;
    QelLocalAppGroup group;
    int rc = QelLocal_ReadAppGroup(&handle, 100, &group);
    if (rc == CS_OK) {
        QelLocalSegment segment;
        std::strcpy(segment.name, "INV1");
        int64_t added = 0;
        rc = QelLocal_AddIndexRows(&handle, group, segment, rows, &added);
    }
    QelLocal_Close(&handle);
    return rc;
}

// Adds the invoices, ten bytes of object 1FAA each (no stored block). CS_OK or the local
// server's code.
inline int LoadInvoices(const std::string& directory, const std::vector<Invoice>& invoices) {
    std::vector<QelLocalIdxRow> rows;
    uint32_t offset = 0;
    for (const Invoice& invoice : invoices) {
        QelLocalIdxRow row;
        row.header.objName = "1FAA";
        row.header.off = offset;
        row.header.len = 10;
        row.header.compType = 'N';
        offset += 10;
        row.values.resize(3);
        row.values[0].text = invoice.number;
        row.values[1].text = invoice.customer;
        row.values[2].integer = invoice.day;
        rows.push_back(row);
    }
    return AddInvoiceRows(directory, rows);
}

}  // namespace wwwtest
