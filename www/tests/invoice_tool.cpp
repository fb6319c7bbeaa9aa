// Loads the sample invoices into an archive directory for the end-to-end search tests,
// and after them any invoices given as triples (customer names as stored bytes):
//   www_invoice_tool <archive directory> [<number> <customer> <day>]...
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "invoice_rows.h"

int main(int argc, char** argv) {
    if (argc < 2 || (argc - 2) % 3 != 0) {
        std::fprintf(stderr, "usage: %s <archive directory> [<number> <customer> <day>]...\n", argv[0]);
        return 2;
    }
    std::vector<wwwtest::Invoice> invoices = wwwtest::SampleInvoices();
    for (int i = 2; i + 2 < argc; i += 3) invoices.push_back({argv[i], argv[i + 1], std::atoll(argv[i + 2])});
    const int rc = wwwtest::LoadInvoices(argv[1], invoices);
    if (rc != CS_OK) std::fprintf(stderr, "%s: invoices not loaded, code %d\n", argv[0], rc);
    return rc == CS_OK ? 0 : 1;
}
