// bulk_report.cpp - the bulk run's own report, kept in a BULKLOG.
#include "bulk_report.h"

#include "bulk_log.h"

namespace qelsm::bulk {

namespace {

constexpr int kMsgBulkProcess = 72;
constexpr const char* kSource = "Qelcssm";

}  // namespace

struct BulkReport::State {
    SmBulkLog log;
};

BulkReport::BulkReport(CsHandle* handle) : state_(std::make_unique<State>()) { state_->log.handle = handle; }

BulkReport::~BulkReport() = default;

int BulkReport::Open() {
    SmBulkLogStep(&state_->log, SM_BULKLOG_START);
    return SmBulkLogStep(&state_->log, SM_BULKLOG_OPEN);
}

int BulkReport::Line(const CsXdrApplGroup* group, const CsXdrHitRow* row) {
    return SmBulkLogLine(&state_->log, group, row, true);
}

int BulkReport::Finish(bool succeeded, double seconds, CsDataFn report, void* context) {
    SmBulkLog& log = state_->log;
    int rc = SmBulkLogStep(&log, SM_BULKLOG_REWIND);
    if (succeeded && rc == CS_OK && log.lines != log.disabledGroups) {
        std::function<void(const unsigned char*, size_t)> handOut;
        if (report != nullptr)
            handOut = [report, context](const unsigned char* data, size_t length) {
                report(context, data, length);
            };
        rc = SmBulkLogIssue(&log, kMsgBulkProcess,
                            CsMessageArgs().D(seconds).S(kSource).I(static_cast<int32_t>(__LINE__)), handOut);
    }
    const int closed = SmBulkLogStep(&log, SM_BULKLOG_CLOSE);
    const int removed = SmBulkLogStep(&log, SM_BULKLOG_REMOVE);
    if (rc == CS_OK) rc = closed;
    if (rc == CS_OK) rc = removed;
    return rc;
}

}  // namespace qelsm::bulk
