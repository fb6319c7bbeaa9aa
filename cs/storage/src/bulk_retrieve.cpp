// bulk_retrieve.cpp - SmBulkRetrieve: batches of documents, their groups, storage sets
// and node entries, the locate, the delivery and the run's own report.
#include <cstring>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <tuple>
#include <unordered_set>

#include "arc_platform.h"
#include "bulk_deliver.h"
#include "bulk_entries.h"
#include "bulk_report.h"
#include "qel_sm.h"

namespace {

using qelsm::bulk::BulkReport;
using qelsm::bulk::Entry;
using qelsm::bulk::GroupNode;

// The node entry's flag: the local server serves the node.
constexpr uint32_t kNodeLocal = 0x01;
// Where the locate looks: the cache, the primary node, then the storage exit.
constexpr uint8_t kLocatePlaces = SM_LOC_CACHE | SM_LOC_PRIMARY | SM_LOC_EXIT;

struct SetFree {
    void operator()(CsStorageSet* set) const { CsFreeStorageSet(set); }
};

class BulkRun {
public:
    BulkRun(CsHandle* handle, const SmBulkRequest& request)
        : handle_(handle), request_(request), context_(handle->callbackContext) {}
    ~BulkRun() {
        if (request_.freeRecords)
            for (GroupNode& node : groups_) CsFreeReplyA(node.group);
    }
    BulkRun(const BulkRun&) = delete;
    BulkRun& operator=(const BulkRun&) = delete;

    int Run() {
        secondary_ = CsRouteSecondary(handle_);
        if (secondary_ == nullptr) secondary_ = handle_;
        int rc = CS_OK;
        if (!request_.printSink) {
            report_.emplace(handle_);
            rc = report_->Open();
        }
        QelTimer_Start(&watch_);
        if (rc == CS_OK) rc = Batches();
        if (report_) {
            const int end =
                report_->Finish(rc == CS_OK, QelTimer_Elapsed(&watch_), request_.report, context_);
            if (rc == CS_OK) rc = end;
        }
        return rc;
    }

private:
    bool Unbatched() const { return (handle_->def.flags1 & CS_F1_EXTERNAL) != 0; }
    bool InMemory() const { return Unbatched() || request_.readOnce; }

    int Batches() {
        const size_t limit =
            Unbatched() ? 0 : (request_.batchLimit != 0 ? request_.batchLimit : SM_BULK_BATCH_MAX);
        qelsm::bulk::GatherState state;
        std::vector<Entry> entries;
        int rc = CS_OK;
        while (rc == CS_OK && !state.ended) {
            entries.clear();
            rc = qelsm::bulk::Gather(request_, context_, limit, &groups_, &entries, &state);
            if (rc == CS_OK && !entries.empty()) rc = Batch(entries);
            ReleaseRows(entries);
        }
        return rc;
    }

    int Batch(std::vector<Entry>& entries) {
        int rc = Groups();
        if (rc == CS_OK) rc = NodeEntries(entries);
        if (rc == CS_OK && entries.size() >= 2) rc = Locate(entries);
        if (rc != CS_OK) return rc;
        QelTimer_Start(&watch_);
        qelsm::bulk::DeliverRun deliver;
        deliver.handle = handle_;
        deliver.request = &request_;
        deliver.context = context_;
        deliver.secondary = secondary_;
        deliver.inMemory = InMemory();
        if (report_)
            deliver.reportLine = [this](const Entry& e) { return report_->Line(e.group->group, e.row); };
        return qelsm::bulk::DeliverBatch(deliver, entries);
    }

    // The report's logging-disabled lines and each group's storage set.
    int Groups() {
        for (GroupNode& node : groups_) {
            if (report_ && !(node.group->logging & SM_BULK_LOG_GROUP)) {
                if (const int rc = report_->Line(node.group, nullptr); rc != CS_OK) return rc;
            }
            if (node.set == nullptr && node.group->storageSet != 0) {
                if (const int rc = StorageSet(node.group->storageSet, &node.set); rc != CS_OK) return rc;
            }
        }
        return CS_OK;
    }

    // SmBulkStorageSet: each storage set opened once a run, on the secondary handle.
    int StorageSet(uint32_t number, CsStorageSet** out) {
        if (auto found = sets_.find(number); found != sets_.end()) {
            *out = found->second.get();
            return CS_OK;
        }
        CsStorageSet* set = nullptr;
        void* saved = secondary_->callbackContext;
        secondary_->callbackContext = handle_;
        const int rc = CsOpenStorageSet(secondary_, number, CsResolveServerDef, &set);
        secondary_->callbackContext = saved;
        if (rc != CS_OK) return rc;
        std::unique_ptr<CsStorageSet, SetFree> owned(set);
        sets_.emplace(number, std::move(owned));
        *out = set;
        return CS_OK;
    }

    int NodeEntries(std::vector<Entry>& entries) {
        for (Entry& e : entries) {
            CsStorageSet* set = e.group->set;
            e.node = e.second = nullptr;
            if (set == nullptr || set->nodes.empty()) continue;
            const CsXdrObjectRef& ref = e.Ref();
            const int rc = CsPickStorageNode(set, ref.primaryNode, ref.secondaryNode, 0, &e.node, &e.second);
            if (rc != CS_OK) return rc;
        }
        return CS_OK;
    }

    bool ServedHere(const Entry& e) const {
        // A document without a node entry lives in the cache, which is always this one's.
        if (e.node == nullptr) return true;
        if (handle_->def.flags1 & CS_F1_NODE_BY_NAME)
            return std::strcmp(e.node->serverName, handle_->serverName) == 0;
        return (e.node->flags & kNodeLocal) != 0;
    }

    // Where each object lives, node run after node run; then the delivery order. An
    // object is asked for once a batch: its documents all live where it does.
    int Locate(std::vector<Entry>& entries) {
        qelsm::bulk::SortByNode(entries);
        std::map<std::tuple<uint32_t, std::string, const CsStorageNode*>, const Entry*> located;
        for (Entry& e : entries) {
            if (!ServedHere(e)) continue;
            auto [known, added] = located.try_emplace({e.group->group->number, e.Ref().name, e.node}, &e);
            if (!added) {
                std::memcpy(e.info, known->second->info, sizeof e.info);
                continue;
            }
            uint8_t answer = 0;
            uint32_t word = 0;
            const int rc = CsQueryDocObjectRouted(handle_, e.group->group, e.node, nullptr, kLocatePlaces,
                                                  e.row, nullptr, 1, 0, &answer, &word);
            if (rc != CS_OK) return rc;
            std::memset(e.info, 0, sizeof e.info);
            if (answer == SM_LOCATE_NODE) {
                e.info[0] = word;
            } else if (answer == SM_LOCATE_EXIT) {
                for (uint32_t& w : e.info) w = qelsm::bulk::kExitWord;
            }
        }
        qelsm::bulk::SortByObject(entries);
        return CS_OK;
    }

    // With freeRecords: each row of the batch once.
    void ReleaseRows(const std::vector<Entry>& entries) {
        if (!request_.freeRecords) return;
        std::unordered_set<const CsXdrHitRow*> freed;
        for (const Entry& e : entries)
            if (freed.insert(e.row).second) CsFreeHit(e.group->group, e.row);
    }

    CsHandle* handle_;
    const SmBulkRequest& request_;
    void* context_;
    CsHandle* secondary_ = nullptr;
    qelsm::bulk::GroupList groups_;
    std::map<uint32_t, std::unique_ptr<CsStorageSet, SetFree>> sets_;
    std::optional<BulkReport> report_;
    QelTimer watch_;
};

}  // namespace

int SmBulkRetrieve(CsHandle* handle, const SmBulkRequest& request) {
    if (handle == nullptr || request.items == nullptr || request.sink == nullptr) return CS_FAILED;
    try {
        BulkRun run(handle, request);
        return run.Run();
    } catch (const std::bad_alloc&) {
        return CS_NO_MEMORY;
    }
}
