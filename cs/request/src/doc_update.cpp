// Rewriting a document's index values: locally in the row's segment, remotely by
// request 56.
#include <cstring>
#include <new>
#include <string>

#include "arc_platform.h"
#include "archive_texts.h"
#include "doc_detail.h"
#include "doc_index_detail.h"
#include "logon_detail.h"
#include "route_detail.h"

namespace {

constexpr int kMsgUpdate = 62;
int RewriteRow(CsHandle* handle, const csdoc::LocalGroup& local, const char* folderRestriction,
               const CsXdrHitRow& oldHit, const CsXdrHitRow& newHit) {
    QelLocalIdxRow oldRow, newRow;
    cstexts::ArchiveTexts texts(handle);
    if (csdoc::HitToRow(local.record, oldHit, texts, &oldRow) != CS_OK ||
        csdoc::HitToRow(local.record, newHit, texts, &newRow) != CS_OK)
        return CS_FAILED;
    newRow.header = oldRow.header;  // the document stays where it is
    csdoc::SegmentLock lock(handle, local.record.name);
    // The row must be one the user could find, and stay one with the new values.
    std::string listed;
    int rc =
        csdoc::CheckRow(handle, local, folderRestriction, oldHit, csdoc::RowMatch::kExact, &newHit, &listed);
    QelLocalSegment segment;
    if (rc == CS_OK) rc = QelLocal_ReadSegment(handle, local.record.agid, listed.c_str(), &segment);
    if (rc == CS_OK) rc = QelLocal_UpdateIndexRow(handle, local.record, segment, oldRow, newRow, nullptr);
    if (rc == QELIDX_BAD_HEADER) return CS_FAILED;
    if (rc != CS_OK) return rc;
    segment.updRows += 1;
    segment.lastUpdate = ArcOS_TimeNow();
    return QelLocal_UpdateSegment(handle, local.record.agid, &segment);
}

int UpdateLocal(CsHandle* handle, const CsXdrApplGroup& group, const CsXdrHitRow& oldHit,
                const CsXdrHitRow& newHit) {
    csdoc::LocalGroup local;
    int rc = csdoc::ReadLocalGroup(handle, group.number, &local);
    if (rc == CS_OK) rc = csdoc::Permit(local.permissions, CS_PERMIT_UPDATE);
    if (rc == CS_OK) rc = RewriteRow(handle, local, group.restriction, oldHit, newHit);
    if (rc != CS_OK || !(local.record.logFlags & CS_LOG_UPDATES)) return rc;
    // The row is rewritten: a message that does not get out cannot undo it.
    const std::string before = CsFormatKeyValues(&group, &oldHit);
    const std::string after = CsFormatKeyValues(&group, &newHit);
    CsIssueMessageV(handle, kMsgUpdate, 'S', local.record.name, 'I', local.record.agid, 'S', before.c_str(),
                    'S', after.c_str(), 'S', "Qelcs", 'I', __LINE__, 'V');
    return CS_OK;
}

int LocalUpdate(CsHandle* handle, const CsXdrApplGroup& group, const CsXdrHitRow& oldHit,
                const CsXdrHitRow& newHit) {
    int rc = QelLocal_LoadTables(handle);
    if (rc == CS_OK) {
        try {
            rc = UpdateLocal(handle, group, oldHit, newHit);
        } catch (const std::bad_alloc&) {
            rc = CS_NO_MEMORY;
        }
    }
    return QelLocal_EndRequest(handle, rc);
}

}  // namespace

int CsUpdateDocIndex(CsHandle* handle, const CsXdrApplGroup* group, const CsXdrHitRow* oldHit,
                     const CsXdrHitRow* newHit) {
    if (handle == nullptr || group == nullptr || oldHit == nullptr || newHit == nullptr) return CS_FAILED;
    int rc = CsSessionEnter(handle);
    if (rc != CS_OK) return rc;
    if (cslogon::IsLocal(handle))
        rc = LocalUpdate(handle, *group, *oldHit, *newHit);
    else
        rc = CsServerRequest(handle, CS_REQ_UPDATE_INDEX, const_cast<CsXdrApplGroup*>(group),
                             const_cast<CsXdrHitRow*>(oldHit), const_cast<CsXdrHitRow*>(newHit));
    return CsSessionLeave(handle, rc);
}
