// Loads the sample invoices into an archive directory for the end-to-end search tests:
//   www_invoice_tool <archive directory>
#include <cstdio>

#include "invoice_rows.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <archive directory>\n", argv[0]);
        return 2;
    }
    const int rc = wwwtest::LoadInvoices(argv[1], wwwtest::SampleInvoices());
    if (rc != CS_OK) std::fprintf(stderr, "%s: invoices not loaded, code %d\n", argv[0], rc);
    return rc == CS_OK ? 0 : 1;
}
