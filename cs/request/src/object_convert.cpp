// Object data through an outside conversion command (AFP2LINE_CMD).
#include "qel_cs.h"

#include <cerrno>
#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "arc_platform.h"
#include "object_stream.h"
#include "qel_cscommon.h"

namespace {

constexpr int kPipeFailed = 84;
constexpr size_t kPiece = 512;

struct FileSink {
    FILE* file = nullptr;
    int status = CS_OK;
};

int WriteToFile(void* context, const unsigned char* data, size_t length) {
    auto* sink = static_cast<FileSink*>(context);
    if (sink->status != CS_OK) return 0;
    if (length > 0 && std::fwrite(data, 1, length, sink->file) != length) sink->status = CS_FAILED;
    return sink->status == CS_OK ? 1 : 0;
}

// The temporary file goes whatever happens.
struct TempFile {
    std::string path;
    ~TempFile() {
        if (!path.empty()) ArcOS_Unlink(path.c_str());
    }
};

// Steps 1-3: resources, then the document expanded, into the temporary file.
int WriteInput(CsHandle* handle, const CsObjectRequest* request, const std::string& path) {
    FileSink sink;
    sink.file = std::fopen(path.c_str(), "wb");
    if (sink.file == nullptr) return CS_FAILED;
    int rc = CS_OK;
    if (request->fetchResources)
        rc = csreq::detail::FetchInto(handle, request->fetchResources, WriteToFile, &sink);
    if (rc == CS_OK) rc = sink.status;
    if (rc == CS_OK) {
        CsObjectStreamPtr stream;
        rc = CsDataPipeOpen(request->expandType, 'N', 0, 0, 0, WriteToFile, &sink, &stream);
        if (rc == CS_OK) {
            int fetched = csreq::detail::FetchInto(handle, request->fetch, CsDataPipeRun, stream.get());
            rc = CsDataPipeClose(std::move(stream), fetched);
        }
    }
    if (rc == CS_OK) rc = sink.status;
    if (std::fclose(sink.file) != 0 && rc == CS_OK) rc = CS_FAILED;
    return rc;
}

// Step 4: the command's output, in pieces, through the caller's pipeline.
int RunCommand(CsHandle* handle, const CsObjectRequest* request, std::vector<std::string> argv,
               const std::string& path) {
    CsObjectStreamPtr output;
    int rc = CsDataPipeOpen('N', request->compressType, request->windowOffset, request->windowLength,
                            request->chunkSize, request->callback, request->context, &output);
    if (rc != CS_OK) return rc;
    argv.push_back(path);
    ArcOSPipe pipe;
    int started = ArcOS_PipeOpen(argv, "r", &pipe);
    if (started != 0) {
        CsIssueMessageV(handle, kPipeFailed, 'S', request->convertCommand.c_str(), 'I', started, 'S', "Qelcs",
                        'I', __LINE__, 'V');
        CsDataPipeClose(std::move(output), CS_FAILED);
        return CS_FAILED;
    }
    unsigned char piece[kPiece];
    int status = CS_OK;
    while (true) {
        size_t n = std::fread(piece, 1, sizeof piece, pipe.stream);
        if (n == 0) {
            if (std::ferror(pipe.stream)) status = CS_FAILED;
            break;
        }
        if (CsDataPipeRun(output.get(), piece, n) == 0) break;
    }
    // A command that fails has not converted the document, whatever it wrote.
    if (ArcOS_PipeClose(&pipe) != 0 && status == CS_OK) status = CS_FAILED;
    return CsDataPipeClose(std::move(output), status);
}

}  // namespace

int CsConvertObjectData(CsHandle* handle, const CsObjectRequest* request) {
    if (handle == nullptr || request == nullptr || !request->fetch || request->callback == nullptr)
        return CS_FAILED;
    try {
        std::vector<std::string> argv = cscommon::CommandWords(request->convertCommand);
        if (argv.empty()) return CS_FAILED;
        char name[4096];
        if (CsTempFileName(name, sizeof name, "CONVERT", nullptr) == nullptr) return CS_FAILED;
        TempFile temp{name};
        if (request->stateByte != nullptr) *request->stateByte = 23;
        int rc = WriteInput(handle, request, temp.path);
        if (rc != CS_OK) return rc;
        return RunCommand(handle, request, std::move(argv), temp.path);
    } catch (const std::bad_alloc&) {
        return CS_NO_MEMORY;
    }
}
