// desktop_fixture.h - a headless desktop per test, a window class that records what
// it receives, and the event log.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "qel_win.h"

struct Received {
    WinHandle window;
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
};

inline std::vector<Received>& Log() {
    static std::vector<Received> log;
    return log;
}

// Records every message, then leaves it to the default handling.
inline intptr_t RecorderProc(WinHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    Log().push_back(Received{window, message, wParam, lParam});
    return Win_DefWindowProc(window, message, wParam, lParam);
}

// The messages a window received, in order, without the ones named in skip.
inline std::vector<uint32_t> MessagesOf(WinHandle window, std::vector<uint32_t> skip = {}) {
    std::vector<uint32_t> out;
    for (const Received& r : Log()) {
        if (r.window != window) continue;
        bool skipped = false;
        for (uint32_t s : skip) skipped = skipped || s == r.message;
        if (!skipped) out.push_back(r.message);
    }
    return out;
}

inline int CountOf(WinHandle window, uint32_t message) {
    int n = 0;
    for (const Received& r : Log()) n += r.window == window && r.message == message;
    return n;
}

class DesktopTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Win_Initialize(WinBackend::Headless));
        Log().clear();
        events.clear();
        Win_SetEventSink([this](const std::string& line) { events.push_back(line); });
        WinClass recorder;
        recorder.name = "Recorder";
        recorder.procedure = RecorderProc;
        recorder.extraBytes = 8;
        ASSERT_TRUE(Win_RegisterClass(recorder));
    }
    void TearDown() override { Win_Terminate(); }

    WinHandle Top(int width = 200, int height = 150, uint32_t style = WS_VISIBLE) {
        return Win_CreateWindow("Recorder", "top", WS_POPUP | style, 0, 0, width, height, 0, 0, nullptr);
    }
    WinHandle Child(WinHandle parent, int x, int y, int w, int h, uint32_t style = WS_VISIBLE,
                    uint32_t id = 0) {
        return Win_CreateWindow("Recorder", "", WS_CHILD | style, x, y, w, h, parent, id, nullptr);
    }
    bool EventContains(const std::string& part) const {
        for (const std::string& e : events) {
            if (e.find(part) != std::string::npos) return true;
        }
        return false;
    }

    std::vector<std::string> events;
};
