/* The calls between the gateway and the outside AFP converters: the AFP-to-HTML library
 * libafp2web.so and the AFP-to-PDF library libafp2pdf.so, both loaded by absolute path from
 * their InstallDir. A converter library is built against this header; it is plain C so
 * that a library written in any language with a C interface can implement it.
 *
 * Output memory: the library owns every output buffer it hands out. A buffer stays valid
 * until the next call on the same handle (a transform or the end call); the gateway copies
 * it at once and never frees it. A null pointer or a length of 0 is no output.
 *
 * Texts in the options are zero-terminated and belong to the gateway; they live until the
 * call returns. An empty text means "not set". docs/converters.md describes the records. */
#ifndef QEL_AFP_CONVERTERS_H
#define QEL_AFP_CONVERTERS_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Options of the AFP-to-HTML library, for A2WXFormPage, A2WXFormDoc and A2WDocEnd. */
typedef struct QelA2WOptions {
    uint32_t structSize;         /* sizeof(QelA2WOptions): lets a library check its build */
    int32_t fCreateGIF;          /* 1: images are made as GIF */
    int32_t fShadeFlag;          /* 1: shaded areas are drawn */
    const char* szDefShadeColor; /* "cyan", "green", "blue", ...; "" none */
    int32_t fSuppressFonts;      /* 1: fonts are mapped by szFontMapFile */
    const char* szFontMapFile;
    int32_t iRotation;   /* 0, 90, 180 or 270 degrees */
    const char* szScale; /* scale factor as text, "1.0" */
    const char* szImageMapFile;
    int32_t iPageNumber;     /* A2WXFormPage: the page's number within the whole document */
    const char* szImageName; /* A2WXFormPage: the name the page's HTML gives its image */
    /* Filled by the library: the HTML of the page (A2WXFormPage) or of the document
     * (A2WXFormDoc), and for a page its image. */
    const unsigned char** ppOutput;
    size_t* pOutputLength;
    const unsigned char** ppImage;
    size_t* pImageLength;
} QelA2WOptions;

/* A handle for the input (resources followed by the document), or null when the input
 * is no AFP the library can read. installDir: the library's directory, ending in '/'. */
typedef void* (*QelA2WDocStartFn)(const unsigned char* input, size_t length, const char* installDir);
/* The number of pages of the document. */
typedef int32_t (*QelA2WGetPageCountFn)(void* handle);
/* Converts the next page (the first call the first page). 0, or the library's error. */
typedef int32_t (*QelA2WXFormPageFn)(void* handle, QelA2WOptions* options);
/* Converts the whole document into one HTML page. 0, or the library's error. */
typedef int32_t (*QelA2WXFormDocFn)(void* handle, QelA2WOptions* options);
/* Frees the handle and every output it handed out. */
typedef int32_t (*QelA2WDocEndFn)(void* handle, QelA2WOptions* options);

/* Options of the AFP-to-PDF library, for A2PXFormDoc and A2PDocEnd. */
typedef struct QelA2POptions {
    uint32_t structSize; /* sizeof(QelA2POptions) */
    const char* szImageMapFile;
    const char* szOptionsFile;
    int32_t iRotation; /* 0, 90, 180 or 270 degrees */
    /* Filled by the library: the PDF document. */
    const unsigned char** ppOutput;
    size_t* pOutputLength;
} QelA2POptions;

typedef void* (*QelA2PDocStartFn)(const unsigned char* input, size_t length, const char* installDir);
typedef int32_t (*QelA2PXFormDocFn)(void* handle, QelA2POptions* options);
typedef int32_t (*QelA2PDocEndFn)(void* handle, QelA2POptions* options);

#ifdef __cplusplus
}
#endif

#endif /* QEL_AFP_CONVERTERS_H */
