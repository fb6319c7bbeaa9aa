/* zypm.h - the image library of the image viewer plug-in: TIFF documents, views,
 * display settings, painting into cairo and print jobs.
 *
 * Two shared libraries carry it:
 *   libzypmdln.so  environment, documents, files, page counts, display-settings
 *                  objects, decoding (libtiff) and the decoded-page cache:
 *                  ZypmInitialize, ZypmTerminate, ZypmEnvNew, ZypmEnvFree, ZypmDocNew,
 *                  ZypmDocFree, ZypmFileNew, ZypmFileSet, ZypmAddFile, ZypmDocPageCount,
 *                  ZypmSettingsNew, ZypmSettingsFree, ZypmSettingsAttrGet,
 *                  ZypmLastMessage.
 *   libzypmpn.so   views, pages, page attributes, painting and printing (cairo); it
 *                  links libzypmdln.so:
 *                  ZypmViewNew, ZypmViewSet, ZypmViewFree, ZypmViewPageLock,
 *                  ZypmViewPageUnlock, ZypmPageAttrGet, ZypmPageAttrSet, ZypmPageMeasure,
 *                  ZypmRectPaint, ZypmPrintJobNew, ZypmPrintJobStart,
 *                  ZypmPrintJobPageStart, ZypmPrintJobBandStart, ZypmPrintJobBandEnd,
 *                  ZypmPrintJobPageEnd, ZypmPrintJobEnd, ZypmPrintJobFree.
 *
 * Every call returns 0 (ZYPM_OK) on success or a negative ZYPM_E_* code; after a
 * failure ZypmLastMessage() tells why in words. Opening a file reads tags only:
 * pages are decoded when first painted (or measured) and kept in a bounded cache.
 * All calls of one environment come from one thread at a time.
 * Behaviour, caps and cache size: docs/image-viewer.md.
 */
#ifndef ZYPM_H
#define ZYPM_H

#include <stdint.h>

#if defined(ZYPM_BUILDING)
#define ZYPM_API __attribute__((visibility("default")))
#else
#define ZYPM_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef struct _cairo cairo_t;

/* ---- Results ---------------------------------------------------------- */
#define ZYPM_OK 0
#define ZYPM_E_ARGUMENT (-1)        /* null handle or pointer, unknown attribute or mode, bad value */
#define ZYPM_E_STATE (-2)           /* not initialised, or a call out of order */
#define ZYPM_E_NO_MEMORY (-3)       /* an allocation failed */
#define ZYPM_E_OPEN (-10)           /* the file does not exist or cannot be read */
#define ZYPM_E_FORMAT (-11)         /* not a TIFF file, or a malformed directory */
#define ZYPM_E_UNSUPPORTED (-12)    /* compression, photometric or sample layout not read */
#define ZYPM_E_TOO_LARGE (-13)      /* dimensions or decoded size above the caps */
#define ZYPM_E_TOO_MANY_PAGES (-14) /* more pages than the page cap */
#define ZYPM_E_NO_PAGES (-15)       /* the file holds no page */
#define ZYPM_E_DECODE (-16)         /* the page's image data is damaged or truncated */
#define ZYPM_E_RANGE (-17)          /* page index or settings slot out of range */
#define ZYPM_E_LOCKED (-18)         /* the view's document or page is still locked */
#define ZYPM_E_PAINT (-19)          /* the cairo context is in an error state */

/* ---- Handles (opaque) ------------------------------------------------- */
typedef struct ZypmEnvObject* ZypmEnv;
typedef struct ZypmDocObject* ZypmDoc;
typedef struct ZypmFileObject* ZypmFile;
typedef struct ZypmViewObject* ZypmView;
typedef struct ZypmPageObject* ZypmPage;
typedef struct ZypmSettingsObject* ZypmSettings;
typedef struct ZypmPrintJobObject* ZypmPrintJob;

/* ---- Library and environment (libzypmdln.so) --------------------------- */

/* Starts the library; nested calls count. */
ZYPM_API int ZypmInitialize(void);
/* Ends one ZypmInitialize; the last one frees environments still open. */
ZYPM_API int ZypmTerminate(void);
/* A new environment (it holds the decoded-page cache). ZYPM_E_STATE before ZypmInitialize. */
ZYPM_API int ZypmEnvNew(ZypmEnv* environment);
/* Frees the environment with the file objects that were never added to a document.
 * Documents and views of it must be freed first (ZYPM_E_LOCKED otherwise). */
ZYPM_API int ZypmEnvFree(ZypmEnv environment);
/* The reason for the last failure on this thread, in English; "" after none. */
ZYPM_API const char* ZypmLastMessage(void);

/* ---- Documents and files (libzypmdln.so) ------------------------------- */

/* An empty document: 0 pages. */
ZYPM_API int ZypmDocNew(ZypmEnv environment, ZypmDoc* document);
/* Frees the document, its files and their cached pages; ZYPM_E_LOCKED while a view shows it. */
ZYPM_API int ZypmDocFree(ZypmDoc document);
/* Pages of the document (>= 0), or a negative code. */
ZYPM_API int ZypmDocPageCount(ZypmDoc document);

/* A file object of the environment; the environment owns it until ZypmAddFile. */
ZYPM_API int ZypmFileNew(ZypmEnv environment, ZypmFile* file);

/* ZypmFileSet attributes. */
#define ZYPM_FILE_PATH 0x1008 /* value: const char*, the file's path (at most 4095 bytes) */
/* Sets an attribute of a file not yet added; ZYPM_E_STATE after ZypmAddFile. */
ZYPM_API int ZypmFileSet(ZypmFile file, uint32_t attribute, const void* value);

/* ZypmAddFile modes. */
#define ZYPM_ADD_ALL_PAGES 0x7000 /* every page of the file, read by its tags only */
/* Opens the file (tags only: pages are counted by walking the directories and
 * measured from their tags, nothing is decoded) and inserts its pages before page
 * `position` of the document (-1: at the end). `reserved` must be 0. The document
 * owns the file afterwards and keeps it open (a file deleted later stays readable).
 * Errors: ZYPM_E_OPEN, ZYPM_E_FORMAT (not TIFF, damaged directory, a page without
 * width or height), ZYPM_E_NO_PAGES, ZYPM_E_TOO_MANY_PAGES (document included),
 * ZYPM_E_TOO_LARGE (a side above ZYPM_MAX_DIMENSION), ZYPM_E_RANGE (position),
 * ZYPM_E_LOCKED (a view shows the document), ZYPM_E_STATE (file without a path or
 * already added). A page libtiff cannot decode is reported by ZypmPageMeasure and
 * ZypmRectPaint, not here. */
ZYPM_API int ZypmAddFile(ZypmDoc document, ZypmFile file, int32_t position, int32_t reserved, uint32_t mode);

/* ---- Display-settings objects (libzypmdln.so) --------------------------- */

/* A settings object with `slots` slots (1..page cap), each filled by ZypmPageMeasure. */
ZYPM_API int ZypmSettingsNew(ZypmSettings* settings, int32_t slots);
ZYPM_API int ZypmSettingsFree(ZypmSettings settings);
/* A measured value of a slot: the page attributes ZYPM_ATTR_WIDTH, _HEIGHT,
 * _PIXEL_WIDTH, _PIXEL_HEIGHT, _BITS_PER_SAMPLE, _SAMPLES_PER_PIXEL, _X_DPI, _Y_DPI,
 * _COLOUR_KIND.
 * ZYPM_E_STATE for a slot not measured yet. */
ZYPM_API int ZypmSettingsAttrGet(ZypmSettings settings, int32_t slot, uint32_t attribute, int32_t* value);

/* ---- Views and pages (libzypmpn.so) ------------------------------------- */

ZYPM_API int ZypmViewNew(ZypmEnv environment, ZypmView* view);
/* ZypmViewSet attributes. */
#define ZYPM_VIEW_DOCUMENT 0x1121 /* value: ZypmDoc, the document the view shows (null: none) */
ZYPM_API int ZypmViewSet(ZypmView view, uint32_t attribute, const void* value);
/* Frees the view (pages still locked are unlocked). */
ZYPM_API int ZypmViewFree(ZypmView view);

/* Locks page `index` (0-based) of the view's document: the page handle stays valid
 * until ZypmViewPageUnlock. Nothing is decoded. Locks nest. */
ZYPM_API int ZypmViewPageLock(ZypmView view, int32_t index, ZypmPage* page);
/* `reserved` must be 0. */
ZYPM_API int ZypmViewPageUnlock(ZypmView view, ZypmPage page, int32_t reserved);

/* Page attributes. Read-only, from the page's tags. Width and height are the size the
 * page is shown at, in pixels of the higher of its two resolutions: the pixel counts of
 * the file when both resolutions are equal or unknown; a 1728 x 1100 fax page of 204 x
 * 98 dpi is 1728 x 2290. The aspect a viewer computes from them is the page's true
 * shape. ZYPM_ATTR_PIXEL_WIDTH and _HEIGHT give the pixels as stored. */
#define ZYPM_ATTR_WIDTH 0x100
#define ZYPM_ATTR_HEIGHT 0x101
#define ZYPM_ATTR_BITS_PER_SAMPLE 0x102
#define ZYPM_ATTR_COMPRESSION 0x103 /* the TIFF compression number */
#define ZYPM_ATTR_PHOTOMETRIC 0x106 /* the TIFF photometric number */
#define ZYPM_ATTR_SAMPLES_PER_PIXEL 0x115
#define ZYPM_ATTR_X_DPI 0x11A /* whole dots per inch, 0 when the file gives none */
#define ZYPM_ATTR_Y_DPI 0x11B
#define ZYPM_ATTR_COLOUR_KIND 0x1001  /* ZYPM_KIND_* */
#define ZYPM_ATTR_PIXEL_WIDTH 0x1004  /* pixels a row as stored */
#define ZYPM_ATTR_PIXEL_HEIGHT 0x1005 /* rows as stored */
/* Display attributes, kept per page of the view (defaults in brackets): */
#define ZYPM_ATTR_ROTATION 0x112   /* 1, 2, 3, 4 = 0, 90, 180, 270 degrees clockwise [1] */
#define ZYPM_ATTR_X_OFFSET 0x11E   /* left edge of the painted area in the displayed image [0] */
#define ZYPM_ATTR_Y_OFFSET 0x11F   /* top edge of the painted area in the displayed image [0] */
#define ZYPM_ATTR_CONTRAST 0x501   /* 0..255, 128 neutral [128] */
#define ZYPM_ATTR_BRIGHTNESS 0x502 /* 0..255, 128 neutral [128] */
#define ZYPM_ATTR_IMAGE_WIDTH \
    0x1000 /* displayed (rotated) image width in device pixels; 0: natural, the shown size [0] */
#define ZYPM_ATTR_COLOUR_MODE 0x1002  /* ZYPM_COLOUR_AS_IS or ZYPM_COLOUR_GREY [1] */
#define ZYPM_ATTR_IMAGE_HEIGHT 0x1003 /* displayed image height; 0: from the width and the aspect [0] */

#define ZYPM_COLOUR_AS_IS 1
#define ZYPM_COLOUR_GREY 4

#define ZYPM_KIND_BILEVEL 1
#define ZYPM_KIND_GREY 2
#define ZYPM_KIND_PALETTE 3
#define ZYPM_KIND_RGB 4

/* Reads any attribute above. */
ZYPM_API int ZypmPageAttrGet(ZypmPage page, uint32_t attribute, int32_t* value);
/* Sets a display attribute; ZYPM_E_ARGUMENT for a read-only attribute or a value
 * out of its range (offsets and image sizes: 0..ZYPM_MAX_IMAGE_SIZE). */
ZYPM_API int ZypmPageAttrSet(ZypmPage page, uint32_t attribute, int32_t value);

/* Measures a locked page into slot `slot` of `settings`: checks by its tags that
 * the page can be decoded within the caps (nothing is decoded) and records width,
 * height, samples, resolution and colour kind. `flags` and `reserved` must be 0.
 * Errors: ZYPM_E_UNSUPPORTED, ZYPM_E_TOO_LARGE, ZYPM_E_RANGE (slot). */
ZYPM_API int ZypmPageMeasure(ZypmView view, ZypmPage page, ZypmSettings settings, int32_t slot,
                             uint32_t flags, void* reserved);

/* ---- Painting (libzypmpn.so) -------------------------------------------- */

typedef struct ZypmRect {
    int32_t left, top, right, bottom; /* device units; right and bottom exclusive */
} ZypmRect;

/* ZypmRectPaint flags. */
#define ZYPM_PAINT_BACKGROUND 0x01 /* fill the part of the rectangle outside the image white */
#define ZYPM_PAINT_ADJUST 0x02     /* apply contrast, brightness and colour mode */
#define ZYPM_PAINT_ROTATE 0x04     /* apply the rotation (else the page is painted upright) */
#define ZYPM_PAINT_SMOOTH 0x10     /* filtered scaling (box filter when reducing) */
#define ZYPM_PAINT_BEST 0x20       /* the best filter cairo has (slow; print) */
#define ZYPM_PAINT_NO_GREY 0x40    /* with ZYPM_PAINT_ADJUST: contrast and brightness only, colours kept */
#define ZYPM_PAINT_VIEW 0x17       /* what a view window uses */

/* Paints the rectangle `rect` of the cairo context: device point (rect.left,
 * rect.top) shows the point (X offset, Y offset) of the displayed image, which is
 * the page rotated and scaled to the image size attributes. Decodes the page on
 * first use (then it is cached). The context's state is restored afterwards.
 * Errors: ZYPM_E_UNSUPPORTED, ZYPM_E_DECODE, ZYPM_E_TOO_LARGE, ZYPM_E_NO_MEMORY, ZYPM_E_PAINT. */
ZYPM_API int ZypmRectPaint(ZypmPage page, cairo_t* context, const ZypmRect* rect, uint32_t flags);

/* ---- Print jobs (libzypmpn.so) ------------------------------------------ */

/* ZypmPrintJobStart modes. */
#define ZYPM_PRINT_STANDARD 0x102C /* pages with their adjustments and rotation, best filter */

typedef struct ZypmBand {
    /* in: the band the printer asks for (device units) and, when the printer context
     * makes a new cairo context per page, that context (null: the job's context) */
    ZypmRect rect;
    cairo_t* context;
    /* out: the context to paint into (clipped to the band until ZypmPrintJobBandEnd)
     * and the ZypmRectPaint flags of the job; paint = 0 for an empty band */
    int32_t paint;
    uint32_t paintFlags;
} ZypmBand;

/* A new job; `name` is the document's name, for the caller's printer document (the
 * library keeps nothing of it; it may be null). */
ZYPM_API int ZypmPrintJobNew(const char* name, ZypmPrintJob* job);
/* Starts the job on the printer context's cairo context. */
ZYPM_API int ZypmPrintJobStart(ZypmPrintJob job, uint32_t mode, cairo_t* printer);
/* `reserved` must be 0. ZYPM_E_STATE when not started or a page is open. */
ZYPM_API int ZypmPrintJobPageStart(ZypmPrintJob job, int32_t reserved);
/* Opens a band of the open page (see ZypmBand); ZYPM_E_STATE outside a page or
 * with a band open. */
ZYPM_API int ZypmPrintJobBandStart(ZypmPrintJob job, ZypmBand* band);
/* Closes the open band (restores the context). */
ZYPM_API int ZypmPrintJobBandEnd(ZypmPrintJob job);
/* Closes the open page; ZYPM_E_STATE with a band still open. */
ZYPM_API int ZypmPrintJobPageEnd(ZypmPrintJob job);
/* Ends the job and frees it (the handle is gone afterwards, also on an error);
 * `reserved` must be 0. ZYPM_E_STATE with a page still open. */
ZYPM_API int ZypmPrintJobEnd(ZypmPrintJob job, int32_t reserved);
/* Frees a job at any point (an abandoned job). */
ZYPM_API int ZypmPrintJobFree(ZypmPrintJob job);

/* ---- Caps ---------------------------------------------------------------- */
#define ZYPM_MAX_DIMENSION 65535            /* page width and height in pixels */
#define ZYPM_MAX_DECODED_BYTES (128u << 20) /* one decoded page, 4 bytes a pixel counted */
#define ZYPM_MAX_PAGES 5000                 /* pages of one document */
#define ZYPM_MAX_IMAGE_SIZE 1000000         /* image size and offset attributes */
#define ZYPM_CACHE_BYTES (192u << 20)       /* decoded pages kept per environment */

#ifdef __cplusplus
}
#endif

#endif /* ZYPM_H */
