// Object data through the compression pipeline, plain and through a conversion command.
#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <string>

#include "message_test_support.h"
#include "qel_cs.h"

namespace {

std::string Deflate(const std::string& plain) {
    uLongf size = compressBound(plain.size());
    std::string out(size, '\0');
    EXPECT_EQ(compress(reinterpret_cast<Bytef*>(out.data()), &size,
                       reinterpret_cast<const Bytef*>(plain.data()), plain.size()),
              Z_OK);
    out.resize(size);
    return out;
}

std::string Inflate(const std::string& packed, size_t plainSize) {
    std::string out(plainSize, '\0');
    uLongf size = plainSize;
    EXPECT_EQ(uncompress(reinterpret_cast<Bytef*>(out.data()), &size,
                         reinterpret_cast<const Bytef*>(packed.data()), packed.size()),
              Z_OK);
    out.resize(size);
    return out;
}

struct Sink {
    std::string data;
    size_t pieces = 0;
    size_t largest = 0;
};

int Collect(void* context, const unsigned char* data, size_t length) {
    auto* sink = static_cast<Sink*>(context);
    sink->data.append(reinterpret_cast<const char*>(data), length);
    ++sink->pieces;
    if (length > sink->largest) sink->largest = length;
    return 0;
}

// A fetch that delivers the object in pieces of `step` bytes, then answers `result`.
CsFetchFn Deliver(std::string object, size_t step = 3, int result = 0) {
    return [object, step, result](CsHandle* handle, CsDataFn callback) {
        for (size_t at = 0; at < object.size(); at += step) {
            size_t n = std::min(step, object.size() - at);
            if (!callback(handle->callbackContext, reinterpret_cast<const unsigned char*>(object.data() + at),
                          n))
                break;
        }
        return result;
    };
}

std::string Plain() {
    std::string text;
    for (int i = 0; i < 400; ++i) text += "line " + std::to_string(i) + " of the document\n";
    return text;
}

TEST(ObjectData, PlainReads) {
    const std::string plain = Plain();
    const std::string packed = Deflate(plain);
    struct Case {
        const char* name;
        std::string object;
        char expand;
        char compress;
        uint64_t offset;
        uint64_t length;
        size_t chunk;
        int fetchResult;
        int rc;
        std::string expected;
    } cases[] = {
        {"same letters pass unchanged", packed, 'O', 'O', 0, 0, 0, 0, 0, packed},
        {"expanded", packed, 'O', 'N', 0, 0, 0, 0, 0, plain},
        {"window of the expanded data", packed, 'O', 'N', 5, 10, 0, 0, 0, plain.substr(5, 10)},
        {"window to the end", packed, 'O', 'N', 100, 0, 0, 0, 0, plain.substr(100)},
        {"window of plain data", plain, 'N', 'N', 0, 4, 0, 0, 0, plain.substr(0, 4)},
        {"small chunks", packed, 'O', 'N', 0, 0, 7, 0, 0, plain},
        {"fetch failure wins", packed, 'O', 'N', 0, 0, 0, 13, 13, ""},
        {"corrupt stream", packed.substr(0, 2) + std::string(40, 'x'), 'O', 'N', 0, 0, 0, 0, 6, ""},
        {"truncated stream", packed.substr(0, packed.size() / 2), 'O', 'N', 0, 0, 0, 0, 6, ""},
        {"unknown letter", plain, '?', 'N', 0, 0, 0, 0, 6, ""},
    };
    for (const auto& c : cases) {
        CsHandle handle;
        int previous = 0;
        handle.callbackContext = &previous;
        Sink sink;
        uint8_t state = 0;
        CsObjectRequest request;
        request.fetch = Deliver(c.object, 3, c.fetchResult);
        request.expandType = c.expand;
        request.compressType = c.compress;
        request.windowOffset = c.offset;
        request.windowLength = c.length;
        request.chunkSize = c.chunk;
        request.stateByte = &state;
        request.callback = Collect;
        request.context = &sink;
        EXPECT_EQ(CsFetchObjectData(&handle, &request), c.rc) << c.name;
        EXPECT_EQ(handle.callbackContext, &previous) << c.name;
        if (c.rc != 0) continue;
        EXPECT_EQ(sink.data, c.expected) << c.name;
        EXPECT_EQ(state, 23) << c.name;
        if (c.chunk) {
            EXPECT_LE(sink.largest, c.chunk) << c.name;
        }
    }
}

TEST(ObjectData, CompressedForTheCaller) {
    const std::string plain = Plain();
    CsHandle handle;
    Sink sink;
    CsObjectRequest request;
    request.fetch = Deliver(plain, 1000);
    request.expandType = 'N';
    request.compressType = 'O';
    request.callback = Collect;
    request.context = &sink;
    ASSERT_EQ(CsReadObjectData(&handle, &request), 0);
    EXPECT_LT(sink.data.size(), plain.size());
    EXPECT_EQ(Inflate(sink.data, plain.size()), plain);
}

TEST(ObjectData, PipeEndsAtAnEmptyPiece) {
    Sink sink;
    CsObjectStreamPtr stream;
    ASSERT_EQ(CsDataPipeOpen('N', 'N', 0, 0, 0, Collect, &sink, &stream), 0);
    const unsigned char data[] = "abcdef";
    EXPECT_EQ(CsDataPipeRun(stream.get(), data, 3), 1);
    EXPECT_EQ(CsDataPipeRun(stream.get(), data, 0), 1);      // the end of the object
    EXPECT_EQ(CsDataPipeRun(stream.get(), data + 3, 3), 1);  // not data any more
    EXPECT_EQ(CsDataPipeClose(std::move(stream), 0), 0);
    EXPECT_EQ(sink.data, "abc");
    EXPECT_EQ(CsDataPipeOpen('N', 'N', 0, 0, 0, nullptr, &sink, &stream), 6);
    EXPECT_EQ(CsMapStatus(5), 9);
    EXPECT_EQ(CsMapStatus(8), 6);
    EXPECT_EQ(CsMapStatus(0), 0);
}

class ConvertTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directory(sandbox_.Path() + "my dir");
        script_ = sandbox_.Path() + "my dir/conv";
        // Upper-cases the file named last; "--fail" makes it fail after writing.
        reqtest::WriteText(script_,
                           "#!/bin/sh\n"
                           "for last in \"$@\"; do :; done\n"
                           "tr a-z A-Z < \"$last\"\n"
                           "[ \"$1\" = --fail ] && exit 3\n"
                           "exit 0\n");
        std::filesystem::permissions(script_, std::filesystem::perms::owner_all);
    }

    int Convert(const std::string& command, Sink* sink, CsFetchFn resources = nullptr, uint64_t offset = 0,
                uint64_t length = 0) {
        CsHandle handle;
        handle.def.flags1 = CS_F1_MESSAGES;
        CsObjectRequest request;
        request.fetch = Deliver(Deflate("hello document"), 5);
        request.fetchResources = std::move(resources);
        request.expandType = 'O';
        request.compressType = 'N';
        request.windowOffset = offset;
        request.windowLength = length;
        request.convert = true;
        request.convertCommand = command;
        request.callback = Collect;
        request.context = sink;
        testing::internal::CaptureStderr();
        int rc = CsFetchObjectData(&handle, &request);
        errors_ = testing::internal::GetCapturedStderr();
        return rc;
    }

    bool TempFilesLeft() const {
        for (const auto& entry : std::filesystem::directory_iterator(tmp_.Path()))
            if (entry.path().filename().string().rfind("QEL.", 0) == 0) return true;
        return false;
    }

    reqtest::MessageSandbox sandbox_;
    reqtest::TempDir tmp_;
    reqtest::EnvSetting qelTmp_{"QEL_TMP", tmp_.Path()};
    std::string script_;
    std::string errors_;
};

TEST_F(ConvertTest, CommandOutputReachesTheCaller) {
    struct Case {
        const char* name;
        std::string command;
        CsFetchFn resources;
        uint64_t offset, length;
        int rc;
        std::string expected;
    } cases[] = {
        {"quoted program with an option", "\"" + script_ + "\" -x", nullptr, 0, 0, 0, "HELLO DOCUMENT"},
        {"resources first", "\"" + script_ + "\"", Deliver("res:", 2), 0, 0, 0, "RES:HELLO DOCUMENT"},
        {"window of the output", "\"" + script_ + "\"", nullptr, 6, 3, 0, "DOC"},
        {"resources fail", "\"" + script_ + "\"", Deliver("res", 2, 13), 0, 0, 13, ""},
        {"command fails", "\"" + script_ + "\" --fail", nullptr, 0, 0, 6, ""},
        {"no such program", sandbox_.Path() + "nothing here", nullptr, 0, 0, 6, ""},
        {"no shell between", "\"" + script_ + "\";id", nullptr, 0, 0, 6, ""},
        {"empty command", "  ", nullptr, 0, 0, 6, ""},
    };
    for (const auto& c : cases) {
        Sink sink;
        EXPECT_EQ(Convert(c.command, &sink, c.resources, c.offset, c.length), c.rc) << c.name;
        if (c.rc == 0) {
            EXPECT_EQ(sink.data, c.expected) << c.name;
        }
        EXPECT_FALSE(TempFilesLeft()) << c.name;
    }
}

TEST_F(ConvertTest, StartFailureIsReported) {
    Sink sink;
    EXPECT_EQ(Convert(sandbox_.Path() + "missing-program", &sink), 6);
    EXPECT_NE(errors_.find("popen failed for command >" + sandbox_.Path() + "missing-program<"),
              std::string::npos)
        << errors_;
}

}  // namespace
