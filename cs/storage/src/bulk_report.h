// bulk_report.h - the report a bulk run keeps of its own (a BULKLOG) when its data does
// not go to the server-print driver.
#pragma once

#include <memory>

#include "qel_sm_bulk.h"

namespace qelsm::bulk {

class BulkReport {
public:
    explicit BulkReport(CsHandle* handle);
    ~BulkReport();
    BulkReport(const BulkReport&) = delete;
    BulkReport& operator=(const BulkReport&) = delete;

    // Makes and opens the report file: CS_OK or the log's failure.
    int Open();
    // One line: a group without a row ("--LOGGING DISABLED--"), or a document.
    int Line(const CsXdrApplGroup* group, const CsXdrHitRow* row);
    // Ends the report: rewinds it; when the run succeeded and the report holds a line
    // other than logging-disabled ones, issues message 72 with the elapsed seconds and the
    // report as its data, and hands the report to `report` (may be null) in pieces; then
    // closes and deletes it.
    // The first failure of those steps.
    int Finish(bool succeeded, double seconds, CsDataFn report, void* context);

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace qelsm::bulk
