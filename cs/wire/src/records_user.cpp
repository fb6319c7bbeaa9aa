// records_user.cpp - users, logons, system parameters and the handle part of a request.
#include "qel_cswire.h"
#include "xdr_detail.h"

using namespace qel_cswire::detail;

bool CsXdr_UserRecord(QelXdr* xdr, void* object, long passwordMode) {
    auto* r = static_cast<CsXdrUserRecord*>(object);
    if (!QelXdr_UInt(xdr, &r->userNumber) || !Field(xdr, r->userId)) return false;
    {
        // A password change sends the old password hidden, like the new one.
        TextModeScope mode(xdr, passwordMode == 1 ? QELXDR_TEXT_HIDDEN : xdr->textMode);
        if (!Field(xdr, r->password)) return false;
    }
    if (!Field(xdr, r->description) || !Field(xdr, r->userName)) return false;
    for (auto& info : r->info)
        if (!Field(xdr, info)) return false;
    for (auto& phone : r->phone)
        if (!Field(xdr, phone)) return false;
    if (!Field(xdr, r->email) || !QelXdr_UInt(xdr, &r->attributes) || !QelXdr_UShort(xdr, &r->userType) ||
        !QelXdr_LongValue(xdr, &r->passwordChanged))
        return false;
    if (xdr->features & CS_FEATURE_LONG64)
        return QelXdr_LongValue(xdr, &r->logonTimeOut) && QelXdr_UInt(xdr, &r->logonState);
    return true;
}

bool CsXdr_UserEntry(QelXdr* xdr, void* object, long) {
    auto* e = static_cast<CsXdrUserEntry*>(object);
    return QelXdr_UInt(xdr, &e->number) && Field(xdr, e->name) && Field(xdr, e->description);
}

bool CsXdr_Identity(QelXdr* xdr, void* object, long) {
    auto* i = static_cast<CsXdrIdentity*>(object);
    return Field(xdr, i->userId) && Field(xdr, i->userName) && QelXdr_UInt(xdr, &i->processId);
}

bool CsXdr_LogonRecord(QelXdr* xdr, void* object, long) {
    auto* r = static_cast<CsXdrLogonRecord*>(object);
    return QelXdr_UInt(xdr, &r->userNumber) && QelXdr_String(xdr, &r->groupList, CS_XDR_LIST_TEXT_MAX) &&
           QelXdr_UShort(xdr, &r->userType) && QelXdr_LongValue(xdr, &r->timeOut);
}

bool CsXdr_SystemParms(QelXdr* xdr, void* object, long) {
    auto* p = static_cast<CsXdrSystemParms*>(object);
    return QelXdr_Int(xdr, &p->passwordExpiryDays) && QelXdr_UShort(xdr, &p->minPasswordLength) &&
           QelXdr_LongValue(xdr, &p->timeOut) && QelXdr_UInt(xdr, &p->flags) &&
           QelXdr_UInt(xdr, &p->systemLogMask) && QelXdr_UInt(xdr, &p->exitMask);
}

bool CsXdr_HandlePart(QelXdr* xdr, void* object, long) {
    auto* h = static_cast<CsXdrHandlePart*>(object);
    return QelXdr_UInt(xdr, &h->flags1) && QelXdr_UInt(xdr, &h->serverFlags) &&
           QelXdr_UInt(xdr, &h->protocol) && QelXdr_Int(xdr, &h->localCcsid) &&
           CsXdr_Identity(xdr, &h->identity, 0) && Optional(xdr, &h->logon, CsXdr_LogonRecord);
}
