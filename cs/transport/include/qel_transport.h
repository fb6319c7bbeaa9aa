/* qel_transport.h - the transport library that carries the request layer's frames.
 *
 * The dispatcher loads a transport library by absolute path ("libqelscknt.so", else
 * "libqelsck32.so"), calls ArcCOM_GetFuncs with a zeroed ArcCOM_Funcs, resolves by name
 * every slot 1-15 still empty and requires ArcCOM_Version() == 5. Our library speaks
 * TCP; a scripted fake for fault tests offers the same entries. Behaviour, the server
 * definition text and the fake's script: docs/transport.md, docs/transport-fake.md.
 *
 * Calls on one connection come from one thread at a time, except ArcCOM_Cancel, which
 * may come from any thread (or from the yield callback inside a waiting call).
 */
#ifndef QEL_TRANSPORT_H
#define QEL_TRANSPORT_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(QEL_TRANSPORT_BUILD)
#define ARCCOM_EXPORT __attribute__((visibility("default")))
#else
#define ARCCOM_EXPORT
#endif

/* The only version the dispatcher accepts. */
#define ARCCOM_VERSION 5

/* Results of ArcCOM_ClientConnect and of ArcCOM_Info(ARCCOM_INFO_LAST_ERROR); the
 * same numbers as the request layer's results, so the dispatcher may pass them on. */
#define ARCCOM_OK 0
#define ARCCOM_CANCELLED 1 /* a call was broken off by ArcCOM_Cancel */
#define ARCCOM_FAILED 2    /* bad definition, unknown host, refused, peer closed, network error */
#define ARCCOM_FAULT 6     /* unusable arguments (fake: bad script) */
#define ARCCOM_NO_MEMORY 9
#define ARCCOM_TIMED_OUT 15 /* connect or idle time-out */

/* What ArcCOM_Info writes. */
#define ARCCOM_INFO_HOST 1       /* "host(ip):port" */
#define ARCCOM_INFO_LAST_ERROR 2 /* why the last call failed, as a decimal result above */

/* Time-outs, in seconds, when the definition names none. */
#define ARCCOM_DEFAULT_CONNECT_TIMEOUT 30
#define ARCCOM_DEFAULT_IDLE_TIMEOUT 300
#define ARCCOM_MAX_TIMEOUT 86400

/* One connection; opaque to the dispatcher. */
typedef struct ArcCOM_Connection ArcCOM_Connection;

/* The handle's yield callback: called while a call waits, every 100 ms; a non-zero
 * answer asks to be called again at once (at most 64 times per wait slice). */
typedef int (*ArcCOM_YieldFn)(void);

typedef int (*ArcCOM_ClientConnectFn)(ArcCOM_Connection** connection, const char* definition,
                                      ArcCOM_YieldFn yield);
typedef int (*ArcCOM_ClientDisconnectFn)(ArcCOM_Connection* connection);
typedef int (*ArcCOM_ServerInitFn)(void);
typedef int (*ArcCOM_ServerTermFn)(void);
typedef int (*ArcCOM_ServerConnectFn)(ArcCOM_Connection** connection);
typedef int (*ArcCOM_ServerDisconnectFn)(ArcCOM_Connection* connection);
typedef int (*ArcCOM_RecvFn)(ArcCOM_Connection* connection, void* buffer, int length);
typedef int (*ArcCOM_SendFn)(ArcCOM_Connection* connection, const void* buffer, int length);
typedef int (*ArcCOM_CancelFn)(ArcCOM_Connection* connection);
typedef int (*ArcCOM_FlagsFn)(ArcCOM_Connection* connection, uint32_t flags1, uint32_t flags2,
                              ArcCOM_YieldFn yield);
typedef int (*ArcCOM_InfoFn)(ArcCOM_Connection** connection, char* out, const char* text, int what,
                             size_t size);
typedef int (*ArcCOM_VersionFn)(void);
typedef int (*ArcCOM_InitFn)(void);
typedef int (*ArcCOM_TermFn)(void);
typedef int (*ArcCOM_HostInfoFn)(char* out, size_t size);

/* The transport table: 16 words, zeroed before loading; slot 0 is set by the loader
 * last, only when the library is accepted. */
typedef struct ArcCOM_Funcs {
    void* library;                              /* 0 */
    ArcCOM_ClientConnectFn clientConnect;       /* 1 */
    ArcCOM_ClientDisconnectFn clientDisconnect; /* 2 */
    ArcCOM_ServerInitFn serverInit;             /* 3 */
    ArcCOM_ServerTermFn serverTerm;             /* 4 */
    ArcCOM_ServerConnectFn serverConnect;       /* 5 */
    ArcCOM_ServerDisconnectFn serverDisconnect; /* 6 */
    ArcCOM_RecvFn recv;                         /* 7 */
    ArcCOM_SendFn send;                         /* 8 */
    ArcCOM_CancelFn cancel;                     /* 9 */
    ArcCOM_FlagsFn flags;                       /* 10 */
    ArcCOM_InfoFn info;                         /* 11 */
    ArcCOM_VersionFn version;                   /* 12 */
    ArcCOM_InitFn init;                         /* 13 */
    ArcCOM_TermFn term;                         /* 14 */
    ArcCOM_HostInfoFn hostInfo;                 /* 15 */
} ArcCOM_Funcs;

/* Entry names, in slot order (slot 1 first), for the loader's look-up by name. */
#define ARCCOM_ENTRY_NAMES                                                                                \
    "ArcCOM_ClientConnect", "ArcCOM_ClientDisconnect", "ArcCOM_ServerInit", "ArcCOM_ServerTerm",          \
        "ArcCOM_ServerConnect", "ArcCOM_ServerDisconnect", "ArcCOM_Recv", "ArcCOM_Send", "ArcCOM_Cancel", \
        "ArcCOM_Flags", "ArcCOM_Info", "ArcCOM_Version", "ArcCOM_Init", "ArcCOM_Term", "ArcCOM_HostInfo"

/* Fills slots 1-15 of the table (slot 0 is left alone). Returns 0; 6 for a null table. */
ARCCOM_EXPORT int ArcCOM_GetFuncs(ArcCOM_Funcs* table);

/* Connects to the server that the definition text names (lines "KEY=value": HOST, PORT,
 * PROTOCOL, CONNECT_TIMEOUT, IDLE_TIMEOUT; docs/transport.md). The yield callback (may
 * be null) is called every 100 ms while connecting. 0 with *connection set; otherwise
 * *connection is left null and the result is 2 (bad definition, port 0, unknown host,
 * refused, unreachable), 15 (no connection within the connect time-out) or 9. The
 * connection word is set only at the end, so a connect is bounded by its time-out,
 * not by ArcCOM_Cancel. */
ARCCOM_EXPORT int ArcCOM_ClientConnect(ArcCOM_Connection** connection, const char* definition,
                                       ArcCOM_YieldFn yield);
/* Closes and frees the connection (a null one is ignored). Returns 0. */
ARCCOM_EXPORT int ArcCOM_ClientDisconnect(ArcCOM_Connection* connection);

/* Receives exactly length bytes. Returns the bytes received: length on success; fewer
 * (kept in buffer) when the peer closed, the idle time-out passed, the call was
 * cancelled or the network failed; -1 for a null connection or buffer or a negative
 * length. ArcCOM_Info(ARCCOM_INFO_LAST_ERROR) tells which. */
ARCCOM_EXPORT int ArcCOM_Recv(ArcCOM_Connection* connection, void* buffer, int length);
/* Sends exactly length bytes; results as ArcCOM_Recv. Never raises SIGPIPE. */
ARCCOM_EXPORT int ArcCOM_Send(ArcCOM_Connection* connection, const void* buffer, int length);

/* Breaks off the exchange. A Send or Recv waiting on the connection now (in another
 * thread, or the one whose yield callback calls this) fails at once with result 1.
 * From another thread while no call runs: the next Send or Recv fails at once (the
 * cancel came just before the call). From the thread that made the last call while no
 * call runs: a cancel left pending is dropped, so that the caller's own cancel
 * exchange can run. ArcCOM_Flags drops a pending cancel too. A null connection is
 * ignored. Returns 0. */
ARCCOM_EXPORT int ArcCOM_Cancel(ArcCOM_Connection* connection);

/* Before every request: keeps the flag words and the yield callback (null: none) for
 * the calls that follow, and drops a cancel left pending. Returns 0; 6 for null. */
ARCCOM_EXPORT int ArcCOM_Flags(ArcCOM_Connection* connection, uint32_t flags1, uint32_t flags2,
                               ArcCOM_YieldFn yield);

/* Writes a text about the connection in *connection into out (size bytes, terminator
 * included). what 1: "host(ip):port"; without a connection, text as it stands when
 * given. what 2: the decimal result of the last Send or Recv (0 when it moved its full
 * count) - and returns that number. Otherwise: 0 written in full; 6 cut to fit (still
 * terminated); 2 nothing to say (no connection - also for what 2 - and no text, or an
 * unknown what; out is then empty when size > 0). */
ARCCOM_EXPORT int ArcCOM_Info(ArcCOM_Connection** connection, char* out, const char* text, int what,
                              size_t size);

/* Returns ARCCOM_VERSION. */
ARCCOM_EXPORT int ArcCOM_Version(void);

/* The server side and the process-wide set-up are not offered by a client transport:
 * ServerInit, ServerTerm, ServerConnect and ServerDisconnect return 2 and do nothing;
 * Init and Term return 0; HostInfo writes this machine's host name (0, or 2 when it
 * cannot be had or does not fit). */
ARCCOM_EXPORT int ArcCOM_ServerInit(void);
ARCCOM_EXPORT int ArcCOM_ServerTerm(void);
ARCCOM_EXPORT int ArcCOM_ServerConnect(ArcCOM_Connection** connection);
ARCCOM_EXPORT int ArcCOM_ServerDisconnect(ArcCOM_Connection* connection);
ARCCOM_EXPORT int ArcCOM_Init(void);
ARCCOM_EXPORT int ArcCOM_Term(void);
ARCCOM_EXPORT int ArcCOM_HostInfo(char* out, size_t size);

#ifdef __cplusplus
}
#endif

#endif /* QEL_TRANSPORT_H */
