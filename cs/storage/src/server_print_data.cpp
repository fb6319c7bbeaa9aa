// server_print_data.cpp - routing the bulk retrieval's data into the job files, each
// file in document order whatever order the data arrives in.
#include <algorithm>
#include <new>

#include "server_print_state.h"

namespace qelsm::detail {

bool SmPrintNextItem(SmPrintContext* context, const SmPrintGroup** group, const SmPrintDoc** doc,
                     int* entry) {
    *entry = context->nextEntry;
    *group = nullptr;
    *doc = nullptr;
    if (context->nextEntry >= static_cast<int>(context->entries.size())) return false;
    const SmPrintEntry& e = context->entries[size_t(context->nextEntry)];
    *doc = e.doc.get();
    if (e.job != context->lastJob) *group = e.job->group.get();
    context->lastJob = e.job;
    ++context->nextEntry;
    return true;
}

void SmPrintExpectObject(SmPrintContext* context, uint64_t expected, int entry) {
    if (context->status != 0) return;
    if (entry < 0 || entry >= static_cast<int>(context->entries.size())) {
        context->status = CS_FAILED;
        return;
    }
    try {
        context->orders.push_back(SmPrintOrder{entry, expected, 0, false, expected > 0});
    } catch (const std::bad_alloc&) {
        context->status = CS_NO_MEMORY;
    }
}

namespace {

// The entry's data is complete: when it was the writer, the entries after it in the same
// job take their turn: buffered data is appended, and the first entry that is not yet
// complete becomes the writer.
void PassTheWriter(SmPrintContext* context, size_t index) {
    SmPrintEntry& done = context->entries[index];
    if (!done.writer) return;
    done.writer = false;
    SmPrintJob* job = done.job;
    for (size_t k = index + 1; k < context->entries.size(); ++k) {
        SmPrintEntry& next = context->entries[k];
        if (next.job != job) return;
        if (!next.buffer.empty()) {
            int rc =
                SmPrintAppend(context->handle, job->file,
                              reinterpret_cast<const unsigned char*>(next.buffer.data()), next.buffer.size());
            std::string().swap(next.buffer);
            if (rc != 0) {
                job->writeError = true;
                context->status = rc;
                return;
            }
        }
        if (!next.complete) {
            next.writer = true;
            return;
        }
    }
}

}  // namespace

int SmPrintDataCallback(SmPrintContext* context, const unsigned char* data, size_t length) {
    const bool endPiece = length == 0;
    while (context->status == 0 && context->readPosition < context->orders.size()) {
        SmPrintOrder& order = context->orders[context->readPosition];
        SmPrintEntry& entry = context->entries[size_t(order.entry)];
        SmPrintJob* job = entry.job;
        if (endPiece && order.known) return 1;  // its end was counted already
        // The page table of a multi-part document comes first.
        if (job->state > 0 && !entry.tableHeld && length > 0) {
            // The row of a multi-part document keeps the tables' length in its stored
            // offset word (its stored block is the whole object).
            const size_t tables = entry.doc->object.compressedOffset;
            const size_t need = tables - std::min(entry.table.size(), tables);
            size_t take = std::min(need, length);
            if (order.known) take = std::min<uint64_t>(take, order.expected);
            try {
                entry.table.append(reinterpret_cast<const char*>(data), take);
            } catch (const std::bad_alloc&) {
                context->status = CS_NO_MEMORY;
                return 1;
            }
            if (entry.table.size() >= tables) entry.tableHeld = true;
            data += take;
            length -= take;
            order.received += take;
            if (order.known) order.expected -= take;
            if (length == 0 && !(order.known && order.expected == 0)) return 1;
        }
        const size_t count = order.known ? size_t(std::min<uint64_t>(order.expected, length)) : length;
        if (count > 0) {
            if (entry.writer) {
                int rc = SmPrintAppend(context->handle, job->file, data, count);
                if (rc != 0) {
                    job->writeError = true;
                    context->status = rc;
                    return 1;
                }
            } else {
                try {
                    entry.buffer.append(reinterpret_cast<const char*>(data), count);
                } catch (const std::bad_alloc&) {
                    context->status = CS_NO_MEMORY;
                    return 1;
                }
            }
        }
        order.received += count;
        if (order.known) order.expected -= count;
        data += count;
        length -= count;
        const bool finished = order.known ? order.expected == 0 : endPiece;
        if (!finished) return 1;
        order.done = true;
        const size_t finishedEntry = size_t(order.entry);
        entry.complete = true;
        ++job->completed;
        if (++context->readPosition == context->orders.size()) {
            context->orders.clear();
            context->readPosition = 0;
        }
        PassTheWriter(context, finishedEntry);
        if (length == 0) return 1;
    }
    return 1;
}

}  // namespace qelsm::detail
