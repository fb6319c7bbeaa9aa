// idx_check.cpp - whether one row of a segment is one the user could find: the row
// that a document id or a hit names, tested against the user's restriction the way a
// search tests a row it has narrowed down to (each condition on the stored value).
#include <cstring>
#include <new>

#include "idx_plan.h"
#include "local_state.h"
#include "segment_index.h"

using namespace qel::local::detail;

namespace {

// Whether the record passes the clause; none when a condition cannot be tested. Every
// condition is tested, so that one the fields cannot answer fails the check as it fails
// a search, wherever it stands.
std::optional<bool> Passes(const QelSql_Node& node, const std::vector<IdxField>& fields,
                           const uint8_t* record) {
    if (node.kind == QelSql_Node::CONDITION) {
        const QelSql_Condition& c = *node.condition;
        const IdxField* field = StoredField(fields, c);
        if (field == nullptr || PlanCondition(c, *field).kind == ConditionPlan::INVALID) return std::nullopt;
        std::optional<QelLikePattern> like;
        if (c.op == QELSQL_OP_LIKE && c.value1) like.emplace(c.value1->text);
        const std::optional<bool> pass =
            TestStored(c, *field, record + field->offset, like ? &*like : nullptr);
        if (!pass) return std::nullopt;
        return *pass != (c.negated != 0);
    }
    if (node.children.empty() || (node.kind == QelSql_Node::NOT && node.children.size() != 1))
        return std::nullopt;
    bool all = true, any = false;
    for (const QelSql_Node& child : node.children) {
        const std::optional<bool> pass = Passes(child, fields, record);
        if (!pass) return std::nullopt;
        all = all && *pass;
        any = any || *pass;
    }
    if (node.kind == QelSql_Node::NOT) return !all;
    return node.kind == QelSql_Node::AND ? all : any;
}

// (Decoding leaves the records as they are.)
bool SameDocument(uint8_t* a, uint8_t* b) {
    QelLocalIdxHeader x, y;
    QelLocalIdx_ConvertRow(&x, a, 1);
    QelLocalIdx_ConvertRow(&y, b, 1);
    auto letter = [](char c) { return c == 0 ? 'N' : c; };
    return x.objName == y.objName && x.off == y.off && x.len == y.len && x.compOff == y.compOff &&
           x.compLen == y.compLen && letter(x.compType) == letter(y.compType) && x.rid == y.rid &&
           x.priNid == y.priNid && x.secNid == y.secNid;
}

bool SameValues(const std::vector<IdxField>& fields, const uint8_t* a, const uint8_t* b) {
    for (const IdxField& f : fields)
        if (std::memcmp(a + f.offset, b + f.offset, f.keyLength) != 0) return false;
    return true;
}

class RowCheck {
public:
    RowCheck(QelLocalIdx& index, int match) : ix_(index), match_(match) {}

    int Run(const QelLocalIdxRow& row, const char* restriction, const QelLocalIdxRow* replacement) {
        std::vector<uint8_t> target(ix_.recordLength), changed(ix_.recordLength);
        if (EncodeRow(ix_.fields, row, target) != CS_OK) return CS_NOT_FOUND;  // no stored row equals it
        if (replacement != nullptr && EncodeRow(ix_.fields, *replacement, changed) != CS_OK) return CS_FAILED;
        if (QelSql_ParseClause(restriction != nullptr ? restriction : "", ix_.kinds.data(), ix_.names,
                               &root_) != 0)
            return CS_FAILED;
        if (replacement != nullptr) {
            const std::optional<bool> pass = Test(changed.data());
            if (!pass) return CS_FAILED;
            if (!*pass) return CS_NOT_FOUND;
        }
        if (ix_.empty || ix_.files == nullptr) return CS_NOT_FOUND;
        return Scan(target.data());
    }

private:
    std::optional<bool> Test(const uint8_t* record) const {
        if (!root_) return true;
        return Passes(*root_, ix_.fields, record);
    }

    // Every stored row, in record order, until one matches and passes.
    int Scan(uint8_t* target) {
        const int dataFile = int(ix_.fields.size());
        for (int64_t n = 0; n < ix_.totalRows; ++n) {
            const uint64_t position = uint64_t(ix_.blockMultiplier + n) * ix_.recordLength;
            if (ix_.files->Read(dataFile, position, ix_.record) != 0) return CS_FAILED;
            uint8_t* stored = ix_.record.data();
            if (!SameDocument(stored, target)) continue;
            if (match_ == QELIDX_MATCH_EXACT && !SameValues(ix_.fields, stored, target)) continue;
            const std::optional<bool> pass = Test(stored);
            if (!pass) return CS_FAILED;
            if (*pass) return CS_OK;
        }
        return CS_NOT_FOUND;
    }

    QelLocalIdx& ix_;
    int match_;
    std::unique_ptr<QelSql_Node> root_;
};

}  // namespace

int QelLocal_CheckIndexRow(CsHandle* handle, const QelLocalAppGroup& group, const char* segment,
                           const QelLocalIdxRow& row, int match, const char* restriction,
                           const QelLocalIdxRow* replacement) {
    Request request;
    if (!request.Ready() || segment == nullptr || *segment == '\0') return CS_FAILED;
    try {
        int status = QELIDX_MISSING;
        std::unique_ptr<QelLocalIdx> index = QelLocalIdx_New(handle, group, segment, &status);
        if (index == nullptr) return CS_FAILED;
        return RowCheck(*index, match).Run(row, restriction, replacement);
    } catch (const std::bad_alloc&) {
        return CS_NO_MEMORY;
    }
}
