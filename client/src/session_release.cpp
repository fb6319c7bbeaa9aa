// What a session record holds of the request layer goes with the record.
#include "qel_client.h"

// Whichever way a record ends (logoff, a failed logon or restore, Client_Term), the
// logon record and system parameters that the request layer made for its handle go too.
ClientSession::~ClientSession() {
    CsFreeLogonRecord(&handle);
    CsFreeSystemParms(&handle);
}
