// idx_search.cpp - a WHERE text against a segment's index.
//
// The text is evaluated as SQL evaluates it (docs/index.md): each condition's
// rows become a hit bitmap, either by walking the key ranges of its field or, for
// rows already narrowed down, by testing the stored values of just those rows,
// and the bitmaps combine as the clause's AND, OR and NOT say. The group's query
// restriction is parsed and evaluated apart and ANDed with the result, so nothing
// in the caller's text can widen it.
#include <algorithm>
#include <cstring>

#include "arc_platform.h"
#include "idx_plan.h"
#include "local_state.h"
#include "segment_index.h"

using namespace qel::local::detail;

namespace {

// The answer of the running search; one search at a time, as the local server
// serves one request at a time.
struct SearchState {
    HitBitmap result;
    const QelLocalIdx* owner = nullptr;
};

SearchState& TheSearch() {
    static SearchState state;
    return state;
}

const IdxField* StoredField(const QelLocalIdx& index, const QelSql_Condition& c) {
    return qel::local::detail::StoredField(index.fields, c);
}

constexpr unsigned kYieldEvery = 4096;  // keys or rows between yield calls
constexpr int64_t kFilterBelow = 256;   // rows few enough to test one by one

class Evaluator {
public:
    explicit Evaluator(QelLocalIdx& index) : ix_(index) {}

    int error = CS_OK;

    // out = rows of node within domain (null: every row). False when the search
    // failed or was cancelled (error tells which).
    bool Eval(const QelSql_Node& node, const HitBitmap* domain, HitBitmap& out) {
        switch (node.kind) {
            case QelSql_Node::CONDITION: return Condition(*node.condition, domain, out);
            case QelSql_Node::AND: return And(node, domain, out);
            case QelSql_Node::OR: return Or(node, domain, out);
            case QelSql_Node::NOT: {
                if (node.children.size() != 1) return Fail(CS_FAILED);
                std::unique_ptr<HitBitmap> inner = Take();
                if (!inner || !Eval(node.children[0], domain, *inner)) return Give(std::move(inner)), false;
                inner->Invert();
                if (domain != nullptr) inner->Combine(*domain, QELBM_AND);
                Swap(out, *inner);
                Give(std::move(inner));
                return true;
            }
        }
        return Fail(CS_FAILED);
    }

private:
    bool Fail(int rc) {
        if (error == CS_OK) error = rc;
        return false;
    }

    std::unique_ptr<HitBitmap> Take() {
        std::unique_ptr<HitBitmap> b;
        if (!free_.empty()) {
            b = std::move(free_.back());
            free_.pop_back();
        } else {
            b = std::make_unique<HitBitmap>();
        }
        if (b->Rows() != ix_.totalRows && b->Allocate(ix_.totalRows) != 0) {
            Fail(CS_NO_MEMORY);
            return nullptr;
        }
        return b;
    }
    void Give(std::unique_ptr<HitBitmap> b) {
        if (b) free_.push_back(std::move(b));
    }
    static void Swap(HitBitmap& a, HitBitmap& b) { std::swap(a, b); }

    // Called between keys and rows: the yield callback, and the cancel flag.
    bool Step() {
        if (++steps_ % kYieldEvery != 0) return true;
        if (LocalState& s = State(); s.yield != nullptr) s.yield();
        if (CancelFlag().load() != 0) return Fail(CS_CANCELLED);
        return true;
    }

    // Marks the record at a key's position.
    void Mark(uint64_t position, HitBitmap& out) {
        if (position % ix_.recordLength != 0) return;
        const int64_t n = int64_t(position / ix_.recordLength) - ix_.blockMultiplier;
        if (n >= 0 && n < ix_.totalRows) out.Set(n);
    }

    bool Scan(int member, const IdxField& field, const ConditionPlan& plan, HitBitmap& out) {
        KeyedFile& files = *ix_.files;
        const size_t length = field.keyLength;
        std::vector<uint8_t> key(length + QELKF_SLOT_SIZE), target(length + QELKF_SLOT_SIZE);
        for (const KeyRange& range : plan.ranges) {
            uint64_t position;
            if (range.low) {
                std::memcpy(target.data(), range.low->data(), length);
                std::memset(target.data() + length, range.lowInclusive ? 0x00 : 0xFF, QELKF_SLOT_SIZE);
                position = files.FirstAtLeast(member, target, key);
            } else {
                position = files.First(member, key);
            }
            for (; position != 0; position = files.Next(member, key)) {
                if (range.high) {
                    const int c = std::memcmp(key.data(), range.high->data(), length);
                    if (c > 0 || (c == 0 && !range.highInclusive)) break;
                }
                if (!range.lowInclusive && std::memcmp(key.data(), range.low->data(), length) == 0) continue;
                if (plan.keyTest) {
                    size_t end = length;
                    while (end > 0 && key[end - 1] == ' ') --end;
                    if (!plan.keyTest->Match(
                            std::string_view(reinterpret_cast<const char*>(key.data()), end))) {
                        if (!Step()) return false;
                        continue;
                    }
                }
                Mark(position, out);
                if (!Step()) return false;
            }
            if (position == 0 && files.LastError() != QELKF_ERR_NONE) return Fail(CS_FAILED);
        }
        return true;
    }

    // Clears the rows of out whose stored value fails the condition (passes it, negated).
    bool Filter(const QelSql_Condition& c, const IdxField& field, HitBitmap& out) {
        std::optional<QelLikePattern> like;
        if (c.op == QELSQL_OP_LIKE && c.value1) like.emplace(c.value1->text);
        const int dataFile = int(ix_.fields.size());
        for (int64_t n = out.NextSet(0); n >= 0; n = out.NextSet(n + 1)) {
            const uint64_t position = uint64_t(ix_.blockMultiplier + n) * ix_.recordLength;
            if (ix_.files->Read(dataFile, position, ix_.record) != 0) return Fail(CS_FAILED);
            std::optional<bool> pass =
                TestStored(c, field, ix_.record.data() + field.offset, like ? &*like : nullptr);
            if (!pass) return Fail(CS_FAILED);
            if (*pass == (c.negated != 0)) out.Clear(n);
            if (!Step()) return false;
        }
        return true;
    }

    bool PrefersFilter(const QelSql_Condition& c, const ConditionPlan& plan) const {
        return plan.kind == ConditionPlan::FILTER_ONLY || c.field == ix_.markedField ||
               (plan.keyTest && !plan.literalPrefix);
    }

    bool Condition(const QelSql_Condition& c, const HitBitmap* domain, HitBitmap& out) {
        const IdxField* field = StoredField(ix_, c);
        if (field == nullptr) return Fail(CS_FAILED);
        const ConditionPlan plan = PlanCondition(c, *field);
        if (plan.kind == ConditionPlan::INVALID) return Fail(CS_FAILED);
        const bool filter =
            plan.kind == ConditionPlan::FILTER_ONLY ||
            (domain != nullptr && (PrefersFilter(c, plan) || domain->NextSet(0) < 0 || FewRows(*domain)));
        if (filter) {
            if (domain != nullptr) {
                out.Fill(false);
                out.Combine(*domain, QELBM_OR);
            } else {
                out.Fill(true);
            }
            return Filter(c, *field, out);
        }
        switch (plan.kind) {
            case ConditionPlan::ALL_ROWS: out.Fill(true); break;
            case ConditionPlan::NO_ROWS: out.Fill(false); break;
            default:
                out.Fill(false);
                if (!Scan(field->member, *field, plan, out)) return false;
                break;
        }
        if (c.negated) out.Invert();
        if (domain != nullptr) out.Combine(*domain, QELBM_AND);
        return true;
    }

    static bool FewRows(const HitBitmap& rows) {
        int64_t n = -1;
        for (int64_t i = 0; i <= kFilterBelow; ++i) {
            n = rows.NextSet(n + 1);
            if (n < 0) return true;
        }
        return false;
    }

    // Keyed conditions first, then nested clauses, then the conditions best tested
    // row by row on what is left.
    int Rank(const QelSql_Node& node) const {
        if (node.kind != QelSql_Node::CONDITION) return 1;
        const IdxField* field = StoredField(ix_, *node.condition);
        if (field == nullptr) return 0;
        const ConditionPlan plan = PlanCondition(*node.condition, *field);
        return PrefersFilter(*node.condition, plan) ? 2 : 0;
    }

    bool And(const QelSql_Node& node, const HitBitmap* domain, HitBitmap& out) {
        std::vector<const QelSql_Node*> order;
        for (const QelSql_Node& child : node.children) order.push_back(&child);
        std::stable_sort(order.begin(), order.end(),
                         [&](const QelSql_Node* a, const QelSql_Node* b) { return Rank(*a) < Rank(*b); });
        if (order.empty()) return Fail(CS_FAILED);
        if (!Eval(*order[0], domain, out)) return false;
        std::unique_ptr<HitBitmap> next = Take();
        if (!next) return false;
        bool ok = true;
        for (size_t i = 1; ok && i < order.size(); ++i) {
            if (out.NextSet(0) < 0) break;  // nothing left for the rest to narrow
            ok = Eval(*order[i], &out, *next);
            if (ok) Swap(out, *next);
        }
        Give(std::move(next));
        return ok;
    }

    bool Or(const QelSql_Node& node, const HitBitmap* domain, HitBitmap& out) {
        std::unique_ptr<HitBitmap> part = Take();
        if (!part) return false;
        out.Fill(false);
        bool ok = true;
        for (size_t i = 0; ok && i < node.children.size(); ++i) {
            ok = Eval(node.children[i], domain, *part);
            if (ok) out.Combine(*part, QELBM_OR);
        }
        Give(std::move(part));
        return ok;
    }

    QelLocalIdx& ix_;
    std::vector<std::unique_ptr<HitBitmap>> free_;
    uint64_t steps_ = 0;
};

// Whether the fields can answer every condition of the clause. Checked before the
// search: a condition the rows never let it reach fails the search all the same.
bool Answerable(const QelSql_Node& node, const QelLocalIdx& index) {
    if (node.kind == QelSql_Node::CONDITION) {
        const IdxField* field = StoredField(index, *node.condition);
        return field != nullptr && PlanCondition(*node.condition, *field).kind != ConditionPlan::INVALID;
    }
    for (const QelSql_Node& child : node.children) {
        if (!Answerable(child, index)) return false;
    }
    return true;
}

// Picks up rows loaded since the index was opened.
int Refresh(QelLocalIdx* index) {
    if (index->empty || index->files == nullptr) {
        // No load had finished when it opened; one may have since.
        index->status = OpenIndexLocked(index, index->group, index->segment);
        return index->status;
    }
    TableFile profile;
    int64_t total = 0;
    if (profile.Load(index->paths.profile) != CS_OK ||
        profile.Number(index->segment, "TOTAL_ROWS", 0, QELIDX_MAX_ROWS, &total, CS_FAILED, 0) != CS_OK ||
        index->files->Refresh() != 0 || uint64_t(total) > index->files->RecordCount()) {
        return QELIDX_MISSING;
    }
    index->totalRows = total;
    return QELIDX_OK;
}

int NextHitLocked(QelLocalIdx* index, QelLocalIdxRow* row) {
    SearchState& search = TheSearch();
    if (index == nullptr || row == nullptr || search.owner != index || !index->searching) return 0;
    const int64_t n = search.result.NextSet(index->position);
    if (n < 0) {
        index->searching = false;
        return 0;
    }
    index->position = n + 1;
    return QelLocalIdx_ReadRow(index, n, row);
}

}  // namespace

int QelLocalIdx_Search(QelLocalIdx* index, const char* where, const char* restriction, QelLocalIdxRow* row,
                       int first, int* error) {
    Request request;
    if (error != nullptr) *error = CS_OK;
    if (!first) return NextHitLocked(index, row);
    auto fail = [&](int rc) {
        if (error != nullptr) *error = rc;
        return 0;
    };
    if (index == nullptr || row == nullptr || index->status != QELIDX_OK) return fail(CS_FAILED);
    DebugDelay("QEL_SLEEP_NDX");
    SearchState& search = TheSearch();
    if (search.owner == index) search.owner = nullptr;
    index->position = 0;
    index->searching = false;
    CancelFlag().store(0);

    std::unique_ptr<QelSql_Node> whereRoot, restrictRoot;
    if (QelSql_ParseClause(where != nullptr ? where : "", index->kinds.data(), index->names, &whereRoot) !=
            0 ||
        QelSql_ParseClause(restriction != nullptr ? restriction : "", index->kinds.data(), index->names,
                           &restrictRoot) != 0) {
        return fail(CS_FAILED);
    }
    if (Refresh(index) != QELIDX_OK) return fail(CS_FAILED);
    if ((whereRoot && !Answerable(*whereRoot, *index)) ||
        (restrictRoot && !Answerable(*restrictRoot, *index))) {
        return fail(CS_FAILED);
    }
    if (index->empty || index->totalRows == 0) return 0;

    if (search.result.Rows() != index->totalRows && search.result.Allocate(index->totalRows) != 0) {
        return fail(CS_NO_MEMORY);
    }
    Evaluator evaluator(*index);
    bool ok = true;
    if (restrictRoot) {
        ok = evaluator.Eval(*restrictRoot, nullptr, search.result);
        if (ok && whereRoot) {
            HitBitmap narrowed;
            if (narrowed.Allocate(index->totalRows) != 0) return fail(CS_NO_MEMORY);
            ok = evaluator.Eval(*whereRoot, &search.result, narrowed);
            if (ok) std::swap(search.result, narrowed);
        }
    } else if (whereRoot) {
        ok = evaluator.Eval(*whereRoot, nullptr, search.result);
    } else {
        search.result.Fill(true);
    }
    if (!ok) return fail(evaluator.error);
    search.owner = index;
    index->searching = true;
    return NextHitLocked(index, row);
}

int QelLocalIdx_NextHit(QelLocalIdx* index, QelLocalIdxRow* row) {
    Request request;
    return NextHitLocked(index, row);
}
