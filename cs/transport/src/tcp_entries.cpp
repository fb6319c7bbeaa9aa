// The exported entries of libqelscknt.so.
#include <unistd.h>

#include <new>
#include <string>

#include "info_text.h"
#include "qel_transport.h"
#include "server_def.h"
#include "tcp_connection.h"

using qel::transport::ServerDefinition;

extern "C" {

int ArcCOM_ClientConnect(ArcCOM_Connection** connection, const char* definition, ArcCOM_YieldFn yield) {
    if (!connection) return ARCCOM_FAULT;
    *connection = nullptr;
    if (!definition) return ARCCOM_FAILED;
    try {
        ServerDefinition def;
        if (int rc = qel::transport::ParseServerDefinition(definition, &def, nullptr)) return rc;
        std::unique_ptr<ArcCOM_Connection> made;
        if (int rc = qel::transport::ConnectTcp(def, yield, &made)) return rc;
        *connection = made.release();
        return ARCCOM_OK;
    } catch (const std::bad_alloc&) {
        return ARCCOM_NO_MEMORY;
    }
}

int ArcCOM_ClientDisconnect(ArcCOM_Connection* connection) {
    delete connection;
    return ARCCOM_OK;
}

int ArcCOM_Recv(ArcCOM_Connection* connection, void* buffer, int length) {
    if (!connection || length < 0 || (!buffer && length > 0)) return -1;
    if (length == 0) return 0;
    return qel::transport::RecvAll(*connection, static_cast<unsigned char*>(buffer), length);
}

int ArcCOM_Send(ArcCOM_Connection* connection, const void* buffer, int length) {
    if (!connection || length < 0 || (!buffer && length > 0)) return -1;
    if (length == 0) return 0;
    return qel::transport::SendAll(*connection, static_cast<const unsigned char*>(buffer), length);
}

int ArcCOM_Cancel(ArcCOM_Connection* connection) {
    if (connection) connection->gate.Cancel();
    return ARCCOM_OK;
}

int ArcCOM_Flags(ArcCOM_Connection* connection, uint32_t flags1, uint32_t flags2, ArcCOM_YieldFn yield) {
    if (!connection) return ARCCOM_FAULT;
    connection->flags1 = flags1;
    connection->flags2 = flags2;
    connection->yield = yield;
    connection->gate.DropPending();
    return ARCCOM_OK;
}

int ArcCOM_Info(ArcCOM_Connection** connection, char* out, const char* text, int what, size_t size) {
    ArcCOM_Connection* c = connection ? *connection : nullptr;
    try {
        std::string host = c ? qel::transport::HostText(c->host, c->address, c->port) : std::string();
        return qel::transport::AnswerInfo(c != nullptr, host, c ? c->lastError.load() : 0, text, what, out,
                                          size);
    } catch (const std::bad_alloc&) {
        qel::transport::WriteInfoText("", out, size);
        return ARCCOM_FAILED;
    }
}

int ArcCOM_Version(void) { return ARCCOM_VERSION; }

int ArcCOM_Init(void) { return ARCCOM_OK; }
int ArcCOM_Term(void) { return ARCCOM_OK; }

int ArcCOM_HostInfo(char* out, size_t size) {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) {
        qel::transport::WriteInfoText("", out, size);
        return ARCCOM_FAILED;
    }
    return qel::transport::WriteInfoText(name, out, size) == ARCCOM_OK ? ARCCOM_OK : ARCCOM_FAILED;
}

}  // extern "C"
