// Test helper for the oracle script: runs the codec over standard input.
//   lzw_tool encode|decode MODE BITS SAMPLES ROWLENGTH  < input > output
// Exit 0 on success, 1 on a usage error, 2 when the codec refuses the data.
#include "zyplzw.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

namespace {

int Fail(const char* what, int rc) {
    std::cerr << what << " gave " << rc << "\n";
    return 2;
}

int Run(bool encode, int mode, int bits, int samples, uint32_t rowLength,
        const std::vector<unsigned char>& input) {
    ZypLzwState st;
    int rc = encode ? ZypLzwEncodeInit(&st, mode) : ZypLzwDecodeInit(&st, mode);
    if (rc != 0) return Fail("Init", rc);
    rc = encode ? ZypLzwEncodeSetBitsPerSample(&st, bits) : ZypLzwDecodeSetBitsPerSample(&st, bits);
    if (rc != 0) return Fail("SetBitsPerSample", rc);
    rc = encode ? ZypLzwEncodeSetSamplesPerPixel(&st, samples) : ZypLzwDecodeSetSamplesPerPixel(&st, samples);
    if (rc != 0) return Fail("SetSamplesPerPixel", rc);
    st.rowLength = rowLength;

    std::vector<unsigned char> buffer(1 << 16);
    auto setOutput = [&] {
        encode ? ZypLzwEncodeInitOutputData(&st, static_cast<uint32_t>(buffer.size()), buffer.data())
               : ZypLzwDecodeInitOutputData(&st, static_cast<uint32_t>(buffer.size()), buffer.data());
    };
    auto drain = [&] {
        std::fwrite(buffer.data(), 1, static_cast<size_t>(st.outPos - buffer.data()), stdout);
        setOutput();
    };
    setOutput();
    encode ? ZypLzwEncodeInitInputData(&st, static_cast<uint32_t>(input.size()), input.data())
           : ZypLzwDecodeInitInputData(&st, static_cast<uint32_t>(input.size()), input.data());
    if (encode) {
        while ((rc = ZypLzwEncode(&st)) == ZYPLZW_OUTPUT_FULL) drain();
        if (rc != ZYPLZW_INPUT_USED) return Fail("Encode", rc);
        while ((rc = ZypLzwEncodeDone(&st)) == ZYPLZW_OUTPUT_FULL) drain();
        if (rc != 0) return Fail("Done", rc);
        drain();
        return 0;
    }
    while ((rc = ZypLzwDecode(&st)) == ZYPLZW_OUTPUT_FULL) drain();
    if (rc != ZYPLZW_END_CODE) {
        ZypLzwDecodeDone(&st);
        return Fail("Decode", rc);
    }
    while (ZypLzwDecodeFlush(&st) == ZYPLZW_OUTPUT_FULL) drain();
    drain();
    ZypLzwDecodeDone(&st);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 6) {
        std::cerr << "usage: lzw_tool encode|decode MODE BITS SAMPLES ROWLENGTH\n";
        return 1;
    }
    const std::string verb = argv[1];
    if (verb != "encode" && verb != "decode") return 1;
    std::vector<unsigned char> input((std::istreambuf_iterator<char>(std::cin)),
                                     std::istreambuf_iterator<char>());
    const int rc = Run(verb == "encode", std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]),
                       static_cast<uint32_t>(std::strtoul(argv[5], nullptr, 10)), input);
    std::fflush(stdout);
    return rc;
}
