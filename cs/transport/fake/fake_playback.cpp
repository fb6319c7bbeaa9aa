// How Send and Recv walk the script: replies fill the byte queue as the client reads,
// send steps judge the client's messages, faults fire where they stand.
#include <algorithm>
#include <cstring>

#include "arc_platform.h"
#include "fake_connection.h"

namespace qel::transport::fake {
namespace {

std::string HexOf(const unsigned char* data, size_t size) {
    static const char digits[] = "0123456789abcdef";
    constexpr size_t kShown = 4096;
    std::string text;
    for (size_t i = 0; i < size && i < kShown; ++i) {
        text += digits[data[i] >> 4];
        text += digits[data[i] & 15];
    }
    if (size > kShown) text += "...";
    return text;
}

// Waits for ms (or the idle time-out), watching cancel and calling yield. true when the
// wait ran its course, false when it was cancelled.
bool Pause(ArcCOM_Connection& c, int64_t ms) {
    return c.gate.Wait(-1, 0, ArcOS_MonotonicMs() + ms, c.yield) != WaitResult::Cancelled;
}

// One copy of a reply step into the queue.
void QueueReply(ArcCOM_Connection& c, Step& step) {
    // Only the unread tail is kept, so an endless reply cannot grow the queue.
    if (c.queueRead > 0) {
        c.queue.erase(c.queue.begin(), c.queue.begin() + static_cast<ptrdiff_t>(c.queueRead));
        c.queueRead = 0;
    }
    c.queue.insert(c.queue.end(), step.bytes.begin(), step.bytes.end());
    if (step.count != kEndless && --step.count == 0) ++c.cursor;
}

int Finish(ArcCOM_Connection& c, const char* call, int asked, int moved, int result,
           const unsigned char* data) {
    c.lastError = result;
    if (!c.logPath.empty()) {
        std::string line = std::string(call) + " " + std::to_string(asked) + " " + std::to_string(moved) +
                           " " + std::to_string(result);
        if (call[0] == 's' && asked > 0) line += " " + HexOf(data, static_cast<size_t>(asked));
        LogCall(c.logPath, line);
    }
    return moved;
}

bool Matches(const Step& step, const unsigned char* data, int length) {
    size_t n = static_cast<size_t>(length);
    switch (step.sendMode) {
        case Step::SendMode::Length: return n == step.count;
        case Step::SendMode::Exact:
            return n == step.bytes.size() && std::memcmp(data, step.bytes.data(), n) == 0;
        case Step::SendMode::Prefix:
            return n >= step.bytes.size() && std::memcmp(data, step.bytes.data(), step.bytes.size()) == 0;
        default: return true;
    }
}

}  // namespace

void LogCall(const std::string& logPath, const std::string& line) {
    if (!logPath.empty()) ArcOS_AppendFile(logPath.c_str(), line + "\n");
}

int ScriptedRecv(ArcCOM_Connection& c, unsigned char* data, int length) {
    GateCall call(c.gate);
    if (!call.entered()) return Finish(c, "recv", length, 0, ARCCOM_CANCELLED, data);
    int done = 0;
    for (;;) {
        size_t available = c.queue.size() - c.queueRead;
        size_t take = std::min(available, static_cast<size_t>(length - done));
        if (take > 0) std::memcpy(data + done, c.queue.data() + c.queueRead, take);
        c.queueRead += take;
        done += static_cast<int>(take);
        if (done == length) return Finish(c, "recv", length, done, ARCCOM_OK, data);
        if (c.cursor >= c.steps.size()) return Finish(c, "recv", length, done, ARCCOM_FAILED, data);

        Step& step = c.steps[c.cursor];
        switch (step.kind) {
            case Step::Kind::Reply: QueueReply(c, step); break;
            case Step::Kind::Delay:
                ++c.cursor;
                if (!Pause(c, static_cast<int64_t>(step.count))) {
                    return Finish(c, "recv", length, done, ARCCOM_CANCELLED, data);
                }
                break;
            case Step::Kind::Close: return Finish(c, "recv", length, done, ARCCOM_FAILED, data);
            case Step::Kind::RecvFail:
                ++c.cursor;
                return Finish(c, "recv", length, done, ARCCOM_FAILED, data);
            case Step::Kind::Hang: ++c.cursor; [[fallthrough]];
            case Step::Kind::Send:  // the peer waits for the client: nothing will come
                return Finish(c, "recv", length, done,
                              Pause(c, c.idleTimeoutMs) ? ARCCOM_TIMED_OUT : ARCCOM_CANCELLED, data);
        }
    }
}

int ScriptedSend(ArcCOM_Connection& c, const unsigned char* data, int length) {
    GateCall call(c.gate);
    if (!call.entered()) return Finish(c, "send", length, 0, ARCCOM_CANCELLED, data);
    for (;;) {
        if (c.cursor >= c.steps.size()) return Finish(c, "send", length, 0, ARCCOM_FAILED, data);
        Step& step = c.steps[c.cursor];
        switch (step.kind) {
            case Step::Kind::Reply:
                // Sent by the peer before it reads: queue every copy now.
                if (step.count == kEndless) return Finish(c, "send", length, 0, ARCCOM_FAULT, data);
                while (c.cursor < c.steps.size() && &c.steps[c.cursor] == &step) QueueReply(c, step);
                break;
            case Step::Kind::Delay:
                ++c.cursor;
                if (!Pause(c, static_cast<int64_t>(step.count))) {
                    return Finish(c, "send", length, 0, ARCCOM_CANCELLED, data);
                }
                break;
            case Step::Kind::Close: return Finish(c, "send", length, 0, ARCCOM_FAILED, data);
            case Step::Kind::RecvFail:
            case Step::Kind::Hang:  // the script expects the client to read here
                return Finish(c, "send", length, 0, ARCCOM_FAULT, data);
            case Step::Kind::Send:
                ++c.cursor;
                if (step.sendMode == Step::SendMode::Fail)
                    return Finish(c, "send", length, 0, ARCCOM_FAILED, data);
                if (step.sendMode == Step::SendMode::Short) {
                    int moved = static_cast<int>(std::min<uint64_t>(step.count, length > 0 ? length - 1 : 0));
                    return Finish(c, "send", length, moved, ARCCOM_FAILED, data);
                }
                if (!Matches(step, data, length)) return Finish(c, "send", length, 0, ARCCOM_FAULT, data);
                return Finish(c, "send", length, length, ARCCOM_OK, data);
        }
    }
}

}  // namespace qel::transport::fake
