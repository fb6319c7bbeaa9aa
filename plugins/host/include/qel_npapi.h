/* qel_npapi.h - the plug-in interface between qelview (the browser side) and the
 * viewer plug-ins: the records and function tables both sides use. Versions are
 * words with the major number in the high byte and the minor in the low byte;
 * this interface is 0.9 (a host may present itself as 0.8). Details:
 * docs/viewer-host.md. */
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef int16_t NPError;
typedef int16_t NPReason;
typedef char* NPMIMEType;

enum {
    NPERR_NO_ERROR = 0,
    NPERR_GENERIC_ERROR = 1,
    NPERR_INVALID_INSTANCE_ERROR = 2,
    NPERR_INVALID_FUNCTABLE_ERROR = 3,
    NPERR_MODULE_LOAD_FAILED_ERROR = 4,
    NPERR_OUT_OF_MEMORY_ERROR = 5,
    NPERR_INVALID_PLUGIN_ERROR = 6,
    NPERR_INVALID_PLUGIN_DIR_ERROR = 7,
    NPERR_INCOMPATIBLE_VERSION_ERROR = 8,
    NPERR_INVALID_PARAM = 9,
    NPERR_INVALID_URL = 10,
    NPERR_FILE_NOT_FOUND = 11,
    NPERR_NO_DATA = 12,
    NPERR_STREAM_NOT_SEEKABLE = 13
};
enum { NPRES_DONE = 0, NPRES_NETWORK_ERR = 1, NPRES_USER_BREAK = 2 };
enum { NP_NORMAL = 1, NP_SEEK = 2, NP_ASFILE = 3, NP_ASFILEONLY = 4 };
enum { NP_EMBED = 1, NP_FULL = 2 };
enum { NP_VERSION_MAJOR = 0, NP_VERSION_MINOR = 9 };

/* One plug-in instance: pdata is the plug-in's, ndata the host's. */
typedef struct NPP_t {
    void* pdata;
    void* ndata;
} NPP_t;
typedef NPP_t* NPP;

typedef struct NPRect {
    uint16_t top, left, bottom, right;
} NPRect;

/* window carries the window layer's handle (WinHandle) of the browser window. */
typedef struct NPWindow {
    void* window;
    int32_t x, y;
    uint32_t width, height;
    NPRect clipRect;
    int32_t type;
} NPWindow;

typedef struct NPStream {
    void* pdata;
    void* ndata;
    const char* url;
    uint32_t end;
    uint32_t lastmodified;
    void* notifyData;
} NPStream;

typedef struct NPSavedData {
    int32_t len;
    void* buf;
} NPSavedData;

typedef struct NPByteRange {
    int32_t offset;
    uint32_t length;
    struct NPByteRange* next;
} NPByteRange;

/* Plug-in side, filled by NP_GetEntryPoints (and NP_Initialize for urlnotify). */
typedef NPError (*NPP_NewProc)(NPMIMEType type, NPP instance, uint16_t mode, int16_t argc, char* argn[],
                               char* argv[], NPSavedData* saved);
typedef NPError (*NPP_DestroyProc)(NPP instance, NPSavedData** save);
typedef NPError (*NPP_SetWindowProc)(NPP instance, NPWindow* window);
typedef NPError (*NPP_NewStreamProc)(NPP instance, NPMIMEType type, NPStream* stream, uint8_t seekable,
                                     uint16_t* stype);
typedef NPError (*NPP_DestroyStreamProc)(NPP instance, NPStream* stream, NPReason reason);
typedef void (*NPP_StreamAsFileProc)(NPP instance, NPStream* stream, const char* fname);
typedef int32_t (*NPP_WriteReadyProc)(NPP instance, NPStream* stream);
typedef int32_t (*NPP_WriteProc)(NPP instance, NPStream* stream, int32_t offset, int32_t len, void* buffer);
typedef void (*NPP_PrintProc)(NPP instance, void* platformPrint);
typedef int16_t (*NPP_HandleEventProc)(NPP instance, void* event);
typedef void (*NPP_URLNotifyProc)(NPP instance, const char* url, NPReason reason, void* notifyData);

typedef struct NPPluginFuncs {
    uint16_t size;
    uint16_t version;
    NPP_NewProc newp;
    NPP_DestroyProc destroy;
    NPP_SetWindowProc setwindow;
    NPP_NewStreamProc newstream;
    NPP_DestroyStreamProc destroystream;
    NPP_StreamAsFileProc asfile;
    NPP_WriteReadyProc writeready;
    NPP_WriteProc write;
    NPP_PrintProc print;
    NPP_HandleEventProc event;
    NPP_URLNotifyProc urlnotify;
    void* javaClass;
} NPPluginFuncs;

/* Browser side, served by the host. */
typedef NPError (*NPN_GetURLProc)(NPP instance, const char* url, const char* window);
typedef NPError (*NPN_PostURLProc)(NPP instance, const char* url, const char* window, uint32_t len,
                                   const char* buf, uint8_t file);
typedef NPError (*NPN_RequestReadProc)(NPStream* stream, NPByteRange* rangeList);
typedef NPError (*NPN_NewStreamProc)(NPP instance, NPMIMEType type, const char* window, NPStream** stream);
typedef int32_t (*NPN_WriteProc)(NPP instance, NPStream* stream, int32_t len, void* buffer);
typedef NPError (*NPN_DestroyStreamProc)(NPP instance, NPStream* stream, NPReason reason);
typedef void (*NPN_StatusProc)(NPP instance, const char* message);
typedef const char* (*NPN_UserAgentProc)(NPP instance);
typedef void* (*NPN_MemAllocProc)(uint32_t size);
typedef void (*NPN_MemFreeProc)(void* ptr);
typedef uint32_t (*NPN_MemFlushProc)(uint32_t size);
typedef void (*NPN_ReloadPluginsProc)(uint8_t reloadPages);
typedef void* (*NPN_GetJavaEnvProc)(void);
typedef void* (*NPN_GetJavaPeerProc)(NPP instance);
typedef NPError (*NPN_GetURLNotifyProc)(NPP instance, const char* url, const char* window, void* notifyData);
typedef NPError (*NPN_PostURLNotifyProc)(NPP instance, const char* url, const char* window, uint32_t len,
                                         const char* buf, uint8_t file, void* notifyData);

typedef struct NPNetscapeFuncs {
    uint16_t size;
    uint16_t version;
    NPN_GetURLProc geturl;
    NPN_PostURLProc posturl;
    NPN_RequestReadProc requestread;
    NPN_NewStreamProc newstream;
    NPN_WriteProc write;
    NPN_DestroyStreamProc destroystream;
    NPN_StatusProc status;
    NPN_UserAgentProc uagent;
    NPN_MemAllocProc memalloc;
    NPN_MemFreeProc memfree;
    NPN_MemFlushProc memflush;
    NPN_ReloadPluginsProc reloadplugins;
    NPN_GetJavaEnvProc getJavaEnv;
    NPN_GetJavaPeerProc getJavaPeer;
    NPN_GetURLNotifyProc geturlnotify;
    NPN_PostURLNotifyProc posturlnotify;
} NPNetscapeFuncs;

/* The three entry points every plug-in library exports. */
typedef NPError (*NP_GetEntryPointsFunc)(NPPluginFuncs* pluginFuncs);
typedef NPError (*NP_InitializeFunc)(NPNetscapeFuncs* browserFuncs);
typedef NPError (*NP_ShutdownFunc)(void);

#ifdef __cplusplus
}
#endif
