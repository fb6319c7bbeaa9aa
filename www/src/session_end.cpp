// The end of a request record.
#include "qel_www.h"

#include "qel_client.h"

QelWWWSession::~QelWWWSession() {
    // An action that failed midway may leave its logon: ended fully, as after any failure.
    if (client != nullptr) Session_Logoff(client, 0);
}
