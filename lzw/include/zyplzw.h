/* zyplzw.h -- LZW encoder and decoder for image data (libzyplzw.so).
 *
 * Three modes:
 *   1  GIF style: codes packed least significant bit first, root size from the
 *      bits per sample (1, 2, 4 or 8; 1 counts as 2), no early change.
 *   2  TIFF style: codes packed most significant bit first, 8-bit roots, early change.
 *   3  TIFF style with the horizontal-differencing predictor over 8-bit samples.
 *
 * The codec is resumable over any number of input and output buffers. The caller owns
 * the ZypLzwState record, passes the same record to every call of one stream and
 * changes none of its fields except rowLength (before the first Encode or Decode).
 *
 * Calling order:
 *   Init -> SetBitsPerSample / SetSamplesPerPixel -> InitOutputData -> InitInputData
 *   -> Encode or Decode repeatedly (new input after 1, new output after 2)
 *   -> Flush -> Done (encoder: again with new output while it returns 2).
 *
 * Results of every function:
 *   0 success, 1 input used up, 2 output full, 3 end code seen (decoder),
 *  -1 the stream does not start with a clear code or holds an impossible code,
 *  -2 caller error (null record, no private block, mode not 1/2/3, bits per sample not
 *     1/2/4/8, samples per pixel 0, a setting changed after the first code, a call out
 *     of order, or a record whose fields were changed between calls),
 *  -4500 no memory for the private block.
 */
#ifndef ZYPLZW_H
#define ZYPLZW_H

#include <stdint.h>

#if defined(ZYPLZW_BUILDING)
#define ZYPLZW_API __attribute__((visibility("default")))
#else
#define ZYPLZW_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

#define ZYPLZW_OK 0
#define ZYPLZW_INPUT_USED 1
#define ZYPLZW_OUTPUT_FULL 2
#define ZYPLZW_END_CODE 3
#define ZYPLZW_BAD_STREAM (-1)
#define ZYPLZW_CALLER_ERROR (-2)
#define ZYPLZW_NO_MEMORY (-4500)

#define ZYPLZW_MODE_GIF 1
#define ZYPLZW_MODE_TIFF 2
#define ZYPLZW_MODE_TIFF_PREDICTOR 3

/* prefix value when no string is pending */
#define ZYPLZW_NO_CODE 16380u
/* the code table never holds more entries than this */
#define ZYPLZW_TABLE_SIZE 4096u

/* Values of ZypLzwState.state. */
#define ZYPLZW_STATE_START                                                        \
    1                          /* nothing coded yet: encoder owes the clear code, \
                                  decoder expects it */
#define ZYPLZW_STATE_WORKING 2 /* in the middle of the stream */
#define ZYPLZW_STATE_ENDING                                                      \
    4                         /* encoder: Done has written the end code, partial \
                                 byte still owed */
#define ZYPLZW_STATE_ENDED 6  /* encoder: stream complete; decoder: end code seen */
#define ZYPLZW_STATE_FAILED 7 /* decoder: the stream was rejected with -1 */

typedef struct ZypLzwState {
    int32_t mode;  /* 1, 2 or 3 */
    int32_t state; /* ZYPLZW_STATE_* */

    /* Output: the buffer of the last InitOutputData; outPos advances. */
    unsigned char* outStart;
    unsigned char* outPos;
    unsigned char* outEnd;
    uint32_t outRemaining; /* outEnd - outPos */

    /* Input: the data of the last InitInputData; inPos advances. */
    uint32_t inRemaining; /* inEnd - inPos */
    const unsigned char* inStart;
    const unsigned char* inPos;
    const unsigned char* inEnd;

    int32_t bitsPerSample;   /* mode 1 pixel size, default 8 */
    int32_t samplesPerPixel; /* mode 3, default 1 */
    uint32_t rowLength;      /* pixels per row, 0 = one endless row (set by the
                                caller before the first code) */
    uint32_t rowDone;        /* pixels (mode 1) or sample bytes (mode 3) done
                                in the current row */

    void* block; /* private block, null after Done */

    uint32_t prefix;    /* encoder: current string; decoder: previous
                           code; ZYPLZW_NO_CODE when none */
    uint32_t nextFree;  /* next code to be added to the table */
    uint32_t codeWidth; /* current code width in bits (up to 12) */
    uint32_t clearCode;
    uint32_t endCode;
    uint32_t firstFree; /* clearCode + 2 */
    uint32_t threshold; /* width grows when an added code plus earlyChange
                           reaches this */
    uint32_t initialWidth;
    uint32_t earlyChange; /* encoder: 0 GIF, 1 TIFF; decoder: 1 GIF, 2 TIFF */

    uint32_t bitBuffer; /* bits not yet written (encoder) or used (decoder) */
    uint32_t bitCount;
    uint32_t inputBitPos; /* mode 1 encoder: bits taken from *inPos */
    uint32_t pixelByte;   /* mode 1 decoder: byte being packed */
    uint32_t pixelBits;   /* bits already in pixelByte */
} ZypLzwState;

/* Encoder. */

/* Sets the mode, allocates the private block and resets: 0, -2 bad mode, -4500.
 * The record is overwritten whole; call Done on an earlier stream first. */
ZYPLZW_API int ZypLzwEncodeInit(ZypLzwState* state, int mode);
/* Returns an encoder to its start on the same block (keeps mode, bits, samples and
 * row length): 0 or -2. */
ZYPLZW_API int ZypLzwEncodeInitNoMalloc(ZypLzwState* state);
/* Mode 1 root size (1, 2, 4, 8) and code parameters; stored without effect in modes 2
 * and 3. 0, or -2 for other values or after the first code. */
ZYPLZW_API int ZypLzwEncodeSetBitsPerSample(ZypLzwState* state, int bits);
/* Samples per pixel for the mode-3 predictor (1 to 65535): 0, -2 or -4500. */
ZYPLZW_API int ZypLzwEncodeSetSamplesPerPixel(ZypLzwState* state, int samples);
/* New input of length bytes; the code table goes on across inputs. 0 or -2. */
ZYPLZW_API int ZypLzwEncodeInitInputData(ZypLzwState* state, uint32_t length, const unsigned char* data);
/* New output buffer of length bytes. 0 or -2. */
ZYPLZW_API int ZypLzwEncodeInitOutputData(ZypLzwState* state, uint32_t length, unsigned char* buffer);
/* Encodes the available input: 1 input used up, 2 output full, or -2. */
ZYPLZW_API int ZypLzwEncode(ZypLzwState* state);
/* Writes the whole bytes still held back: 0, 2 output full, or -2. A partial byte
 * stays for Done. */
ZYPLZW_API int ZypLzwEncodeFlush(ZypLzwState* state);
/* Writes the last string, the end code and the partial byte, then frees the block:
 * 0 when complete; 2 when the output filled first (call again with new output; the
 * block stays); -2. */
ZYPLZW_API int ZypLzwEncodeDone(ZypLzwState* state);

/* Decoder. */

/* As ZypLzwEncodeInit. */
ZYPLZW_API int ZypLzwDecodeInit(ZypLzwState* state, int mode);
/* Returns a decoder to its start on the same block: 0 or -2. */
ZYPLZW_API int ZypLzwDecodeInitNoMalloc(ZypLzwState* state);
/* As ZypLzwEncodeSetBitsPerSample. */
ZYPLZW_API int ZypLzwDecodeSetBitsPerSample(ZypLzwState* state, int bits);
/* As ZypLzwEncodeSetSamplesPerPixel. */
ZYPLZW_API int ZypLzwDecodeSetSamplesPerPixel(ZypLzwState* state, int samples);
/* As ZypLzwEncodeInitInputData. */
ZYPLZW_API int ZypLzwDecodeInitInputData(ZypLzwState* state, uint32_t length, const unsigned char* data);
/* As ZypLzwEncodeInitOutputData. */
ZYPLZW_API int ZypLzwDecodeInitOutputData(ZypLzwState* state, uint32_t length, unsigned char* buffer);
/* Decodes: 1 input used up, 2 output full, 3 end code seen (every later call too),
 * -1 bad stream (every later call too), -2. Bytes of the output buffer past outPos may
 * be overwritten; nothing past outEnd is. */
ZYPLZW_API int ZypLzwDecode(ZypLzwState* state);
/* Moves decoded bytes still held back to the output and, in mode 1, completes a
 * partial pixel byte: 0, 2 output full, -2. */
ZYPLZW_API int ZypLzwDecodeFlush(ZypLzwState* state);
/* Frees the block: 0 or -2. */
ZYPLZW_API int ZypLzwDecodeDone(ZypLzwState* state);

/* Private blocks alive in this process (for leak checks). */
ZYPLZW_API long ZypLzwLiveBlocks(void);

#ifdef __cplusplus
}
#endif

#endif /* ZYPLZW_H */
