// arc_compress.h - compression type letters, the compression pipeline and the own
// LZW stream codec.
//
// Stored objects, wire frames and the document container name their compression by
// one letter (ArcCmpType):
//   'N'  not compressed            'D'  not compressed, kept as delivered
//   'O'  zlib (deflate stream with zlib header)
//   'L' '3' '4' '5' 'Z'  own LZW stream with 12, 13, 14, 15, 16-bit codes
// Any other letter is unknown. The LZW stream is described in docs/lzw-stream.md,
// the pipeline's calling rules in docs/compress-pipeline.md.
#pragma once

#include <cstddef>
#include <cstdint>

using ArcCmpType = char;

// ---------------------------------------------------------------------------
// Type letters
// ---------------------------------------------------------------------------

// 1 when the letter compresses ('3','4','5','L','O','Z') and size >= 200; 0 for those
// letters with a smaller size and for 'D' and 'N'; -1 for an unknown letter.
int ArcCMP_WorthCompressing(ArcCmpType letter, uint64_t size);
// ArcCMP_WorthCompressing(letter, 200): 1 compresses, 0 plain, -1 unknown.
int ArcCMP_IsCompressType(ArcCmpType letter);
// Maximum LZW code width of the letter: 12..16 for 'L','3','4','5','Z', else 0.
int ArcCMP_LzwBits(ArcCmpType letter);

// The letters for data of the given size: size 0 -> both = letter; below 200 -> 'N'
// and 'D'; below 30000 'L'; below 60000 '3'; below 90000 '4'; below 120000 '5'; else
// 'Z' (both alike). Result 0.
int ArcCMP_ChooseTypeBySize(uint64_t size, ArcCmpType letter, ArcCmpType* first, ArcCmpType* second);
// Chooses how data stored as *stored is delivered when `requested` is asked for:
// stored compressed -> second 'D'; stored 'N' -> requested 'D' gives second 'D',
// requested 'N' chooses by size as for 'Z', another compressing letter by size
// (*stored and *second set). Result 0; -1 for an unknown letter (nothing changed).
int ArcCMP_ChooseType(ArcCmpType requested, ArcCmpType* stored, ArcCmpType* second, uint64_t size);

// ---------------------------------------------------------------------------
// Compression pipeline: expand the input's type, optionally cut a byte window out of
// the expanded data, compress into the output's type; resumable over any buffers.
// ---------------------------------------------------------------------------

struct ArcCmpPipeline;

// Run states and error states.
enum ArcCmpState {
    ARCCMP_NEED_INPUT = 1,    // input used up: call again with the next input
    ARCCMP_OUTPUT_READY = 2,  // *produced bytes are in the output: call again
    ARCCMP_FINISHED = 3,      // all data is out (the last *produced bytes)
    ARCCMP_LZW_WIDTH = 4,     // LZW stream wider than its letter allows
    ARCCMP_NO_MEMORY = 5,
    ARCCMP_BAD_LZW = 6,  // bad LZW header or corrupt LZW codes
    ARCCMP_UNKNOWN_TYPE = 7,
    ARCCMP_CODEC_FAILED = 8,  // zlib failure, truncated zlib stream, misuse
};

// Begins a pipeline from expandType to compressType. A window exists when windowStart
// or windowLength is not 0: only expanded bytes windowStart .. windowStart+length-1
// (length 0 = to the end) pass. *nothingToDo (may be null) is set to 1 when neither
// side compresses and no window is asked, else 0. Creates *pipeline when it is null,
// else resets it. 0, or an error state; on failure *pipeline is freed and set to null.
int ArcCMP_Begin(ArcCmpType expandType, ArcCmpType compressType, uint64_t windowStart, uint64_t windowLength,
                 int* nothingToDo, ArcCmpPipeline** pipeline);

// Runs the pipeline over one input buffer; inputLength 0 means the input has ended.
// Result 1, 2, 3 or an error state (which stays until the next Begin); *produced is the
// number of output bytes on 2 and 3, else 0.
// After 2, call again with the same input (pointer and length) and the output emptied.
// After 1, pass the next input and the same output buffer: bytes written so far stay in
// it and are counted in the next 2 or 3. Input and output may overlap.
int ArcCMP_Run(ArcCmpPipeline* pipeline, const unsigned char* input, size_t inputLength,
               unsigned char* output, size_t outputSize, size_t* produced);

// Frees the pipeline (null is ignored). 0, or 8 when zlib reported an error on ending
// (a deflate stream ended before it was finished).
int ArcCMP_End(ArcCmpPipeline* pipeline);

// ---------------------------------------------------------------------------
// LZW stream codec
// ---------------------------------------------------------------------------

struct ArcLZWEncoder;
struct ArcLZWDecoder;

// Results of the LZW functions.
enum ArcLZWResult {
    ARCLZW_OK = 0,
    ARCLZW_NO_MEMORY = 102,
    ARCLZW_BAD_STATE = 114,  // unknown state or a call that breaks the protocol
    ARCLZW_AFTER_END = 121,  // called after the end (status 4)
    ARCLZW_BAD_MAGIC = 129,
    ARCLZW_WIDTH_TOO_LARGE = 130,  // stream width above the decoder's maximum
    ARCLZW_BAD_DATA = 131,         // corrupt stream: bad code, width below 9, bad header
};

// Status of ArcLZW_Encode and ArcLZW_Decode.
enum ArcLZWStatus {
    ARCLZW_INPUT_USED = 2,   // input used up: pass the next input (length 0 = end)
    ARCLZW_OUTPUT_FULL = 3,  // call again with the same input and a new output buffer
    ARCLZW_ENDED = 4,
};

// Create the record when *codec is null, else reset it (its tables are reused). The
// width is clamped to 9..16. 0, or 102 (nothing left allocated, *codec set to null).
int ArcLZW_EncodeInit(ArcLZWEncoder** encoder, int maxBits);
int ArcLZW_DecodeInit(ArcLZWDecoder** decoder, int maxBits);

// One step of the codec over an input and an output buffer; both sizes may be 0..
// 4 GiB. A call with inputLength 0 ends the data: the encoder writes its last code and
// reports status 3, the decoder reports status 3 with its last bytes; the call after
// that gives 121 with status 4. Result 0 or an ArcLZWResult error.
int ArcLZW_Encode(ArcLZWEncoder* encoder, const unsigned char* input, uint32_t inputLength,
                  unsigned char* output, uint32_t outputSize, uint32_t* produced, int* status);
int ArcLZW_Decode(ArcLZWDecoder* decoder, const unsigned char* input, uint32_t inputLength,
                  unsigned char* output, uint32_t outputSize, uint32_t* produced, int* status);

void ArcLZW_EncodeFree(ArcLZWEncoder* encoder);
void ArcLZW_DecodeFree(ArcLZWDecoder* decoder);

// Puts one code (or -1: flush the partial group at the end) into the encoder's output.
// 1 written, 3 held back in the encoder for lack of output space.
int ArcLZW_PutCode(ArcLZWEncoder* encoder, int code);
// Empties every slot of the encoder's string table.
void ArcLZW_ClearTable(ArcLZWEncoder* encoder);
// Next code from the decoder's input: the padded-group reader (stream bit 0x40) and
// the reader of the encoder's own streams. -1 more input needed, -2 end of data.
int ArcLZW_GetCodePadded(ArcLZWDecoder* decoder);
int ArcLZW_GetCodePacked(ArcLZWDecoder* decoder);
