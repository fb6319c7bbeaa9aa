// convert_filter.cpp - piping an object through an administrator's conversion command.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "arc_platform.h"
#include "cache_messages.h"
#include "qel_cscommon.h"
#include "qel_sm.h"
#include "sm_messages.h"

using namespace qelsm::detail;

namespace {

constexpr size_t kPiece = 512;
constexpr const char* kSource = "Qelcssm";

void Fail(SmConvertState* s, int row, const std::string& text, int error, int line) {
    CsIssueMessageV(s->handle, row, 'S', text.c_str(), 'I', int32_t(error), 'S', kSource, 'I', int32_t(line),
                    'V');
    if (s->status == CS_OK) s->status = CS_FAILED;
}

// The command as messages show it.
std::string CommandText(const SmConvertState* s) { return s->command + " " + s->options + " " + s->tempName; }

void MakeTempFile(SmConvertState* s) {
    std::optional<std::string> dir = cscommon::TempDirectory();
    std::string prefix = "QEL." + std::to_string(ArcOS_GetProcessId()) + "." +
                         std::to_string(static_cast<int64_t>(ArcOS_GetThreadId())) + ".CONVERT.";
    if (!dir) {
        Fail(s, kMsgOpen, prefix, ENOENT, __LINE__);
        return;
    }
    std::string path;
    int fd = ArcOS_CreateTempFile(*dir, prefix, &path);
    if (fd < 0) {
        Fail(s, kMsgOpen, *dir + prefix, errno, __LINE__);
        return;
    }
    ::close(fd);
    s->tempName = std::move(path);
}

void OpenTempFile(SmConvertState* s) {
    // The file made in step 0 is opened again, never through a link planted in its place.
    int fd =
        s->tempName.empty() ? -1 : ::open(s->tempName.c_str(), O_RDWR | O_TRUNC | O_NOFOLLOW | O_CLOEXEC);
    FILE* file = fd >= 0 ? ::fdopen(fd, "w+") : nullptr;
    if (file == nullptr) {
        int error = s->tempName.empty() ? ENOENT : errno;
        if (fd >= 0) ::close(fd);
        Fail(s, kMsgOpen, s->tempName, error, __LINE__);
        return;
    }
    s->file.reset(file);
}

void WritePending(SmConvertState* s) {
    if (!s->file) {
        Fail(s, kMsgWrite, s->tempName, EBADF, __LINE__);
        return;
    }
    const unsigned char* data = s->pending;
    size_t left = s->pendingLength;
    while (left > 0) {
        size_t n = std::fwrite(data, 1, left, s->file.get());
        if (n == 0) {
            Fail(s, kMsgWrite, s->tempName, errno, __LINE__);
            break;
        }
        data += n;
        left -= n;
    }
    s->pending = nullptr;
    s->pendingLength = 0;
}

void CloseTempFile(SmConvertState* s) {
    FILE* file = s->file.release();
    if (file == nullptr || std::fclose(file) != 0)
        Fail(s, kMsgClose, s->tempName, file ? errno : EBADF, __LINE__);
}

void RunCommand(SmConvertState* s) {
    std::vector<std::string> argv = cscommon::CommandWords(s->command);
    if (argv.empty() || s->command.size() > SM_CONVERT_COMMAND_MAX) {
        Fail(s, kMsgPopen, CommandText(s), argv.empty() ? EINVAL : ENAMETOOLONG, __LINE__);
        return;
    }
    for (std::string& word : cscommon::CommandWords(s->options)) argv.push_back(std::move(word));
    argv.push_back(s->tempName);  // one argument, whatever characters the path holds
    ArcOSPipe pipe;
    int started = ArcOS_PipeOpen(argv, "r", &pipe);
    if (started != 0) {
        Fail(s, kMsgPopen, CommandText(s), started, __LINE__);
        return;
    }
    unsigned char piece[kPiece];
    while (s->status == CS_OK) {
        size_t n = std::fread(piece, 1, sizeof piece, pipe.stream);
        if (n == 0) {
            if (std::ferror(pipe.stream)) Fail(s, kMsgRead, CommandText(s), errno, __LINE__);
            break;
        }
        if (s->output(s->outputContext, piece, n) == 0) s->status = CS_FAILED;
    }
    bool wasOk = s->status == CS_OK;
    int exitStatus = ArcOS_PipeClose(&pipe);
    // A command that fails has not converted the object, whatever it wrote. One that we
    // stopped reading from is not to blame for how it ended.
    if (exitStatus != 0 && wasOk) Fail(s, kMsgPclose, CommandText(s), exitStatus, __LINE__);
}

void DeleteTempFile(SmConvertState* s) {
    s->file.reset();
    if (s->tempName.empty()) return;
    if (ArcOS_Unlink(s->tempName.c_str()) != 0) Fail(s, kMsgUnlink, s->tempName, errno, __LINE__);
    s->tempName.clear();
}

}  // namespace

void SmConvertFile::operator()(FILE* file) const { std::fclose(file); }

int SmConvertStep(SmConvertState* state, int step) {
    if (state == nullptr) return CS_FAILED;
    // The temporary file goes whatever happened before.
    if (step != 5 && (state->status != CS_OK || step < 0 || step > 5)) return state->status;
    try {
        switch (step) {
            case 0: MakeTempFile(state); break;
            case 1: OpenTempFile(state); break;
            case 2: WritePending(state); break;
            case 3: CloseTempFile(state); break;
            case 4:
                if (state->output == nullptr) {
                    state->status = CS_FAILED;
                } else {
                    RunCommand(state);
                }
                break;
            case 5: DeleteTempFile(state); break;
        }
    } catch (const std::bad_alloc&) {
        if (state->status == CS_OK) state->status = CS_NO_MEMORY;
        if (step != 5) return state->status;
        // Deleting needs no memory of its own.
        state->file.reset();
        if (!state->tempName.empty()) ArcOS_Unlink(state->tempName.c_str());
    }
    return state->status;
}

int SmConvertDataCallback(void* context, const unsigned char* data, size_t length) {
    auto* state = static_cast<SmConvertState*>(context);
    if (state == nullptr || state->status != CS_OK || length == 0) return 1;
    if (state->owed > 0 && state->output != nullptr) {
        size_t passed = state->owed < length ? size_t(state->owed) : length;
        if (state->output(state->outputContext, data, passed) == 0) state->status = CS_FAILED;
        state->owed -= passed;
        data += passed;
        length -= passed;
    }
    if (state->status != CS_OK || length == 0) return 1;
    state->pending = data;
    state->pendingLength = length;
    SmConvertStep(state, 2);
    return 1;
}
