// The exported entries every transport library answers alike: the table of its own
// entries, and a server side it does not offer. Compiled into each library, so the
// table names that library's functions.
#include "qel_transport.h"

extern "C" {

int ArcCOM_GetFuncs(ArcCOM_Funcs* table) {
    if (!table) return ARCCOM_FAULT;
    table->clientConnect = ArcCOM_ClientConnect;
    table->clientDisconnect = ArcCOM_ClientDisconnect;
    table->serverInit = ArcCOM_ServerInit;
    table->serverTerm = ArcCOM_ServerTerm;
    table->serverConnect = ArcCOM_ServerConnect;
    table->serverDisconnect = ArcCOM_ServerDisconnect;
    table->recv = ArcCOM_Recv;
    table->send = ArcCOM_Send;
    table->cancel = ArcCOM_Cancel;
    table->flags = ArcCOM_Flags;
    table->info = ArcCOM_Info;
    table->version = ArcCOM_Version;
    table->init = ArcCOM_Init;
    table->term = ArcCOM_Term;
    table->hostInfo = ArcCOM_HostInfo;
    return ARCCOM_OK;
}

int ArcCOM_ServerInit(void) { return ARCCOM_FAILED; }
int ArcCOM_ServerTerm(void) { return ARCCOM_FAILED; }
int ArcCOM_ServerConnect(ArcCOM_Connection** connection) {
    if (connection) *connection = nullptr;
    return ARCCOM_FAILED;
}
int ArcCOM_ServerDisconnect(ArcCOM_Connection*) { return ARCCOM_FAILED; }

}  // extern "C"
