// messages.cpp - sending, posting and pumping messages, the run loop, timers.
#include <algorithm>
#include <chrono>
#include <string>

#include "desktop_state.h"

const char* MessageName(uint32_t message) {
    switch (message) {
        case WM_CREATE: return "WM_CREATE";
        case WM_DESTROY: return "WM_DESTROY";
        case WM_MOVE: return "WM_MOVE";
        case WM_SIZE: return "WM_SIZE";
        case WM_SETFOCUS: return "WM_SETFOCUS";
        case WM_KILLFOCUS: return "WM_KILLFOCUS";
        case WM_ENABLE: return "WM_ENABLE";
        case WM_SETTEXT: return "WM_SETTEXT";
        case WM_PAINT: return "WM_PAINT";
        case WM_CLOSE: return "WM_CLOSE";
        case WM_ERASEBKGND: return "WM_ERASEBKGND";
        case WM_SHOWWINDOW: return "WM_SHOWWINDOW";
        case WM_SETCURSOR: return "WM_SETCURSOR";
        case WM_DRAWITEM: return "WM_DRAWITEM";
        case WM_KEYDOWN: return "WM_KEYDOWN";
        case WM_CHAR: return "WM_CHAR";
        case WM_INITDIALOG: return "WM_INITDIALOG";
        case WM_COMMAND: return "WM_COMMAND";
        case WM_TIMER: return "WM_TIMER";
        case WM_HSCROLL: return "WM_HSCROLL";
        case WM_VSCROLL: return "WM_VSCROLL";
        case WM_MOUSEMOVE: return "WM_MOUSEMOVE";
        case WM_LBUTTONDOWN: return "WM_LBUTTONDOWN";
        case WM_LBUTTONUP: return "WM_LBUTTONUP";
        case WM_LBUTTONDBLCLK: return "WM_LBUTTONDBLCLK";
        case WM_RBUTTONDOWN: return "WM_RBUTTONDOWN";
        case WM_RBUTTONUP: return "WM_RBUTTONUP";
        default: return nullptr;
    }
}

void LogMessage(WinHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    // Pointer moves, cursor queries and background erases come in floods; paints are
    // logged where they are dispatched.
    if (message == WM_MOUSEMOVE || message == WM_SETCURSOR || message == WM_ERASEBKGND || message == WM_PAINT)
        return;
    Desktop& desktop = TheDesktop();
    if (!desktop.sink) return;
    Window* record = FindWindow(window);
    std::string fields = "\"window\":" + std::to_string(window);
    if (record != nullptr) fields += ",\"class\":" + Win_JsonString(record->windowClass->name);
    fields += ",\"message\":" + std::to_string(message);
    if (const char* name = MessageName(message)) fields += ",\"name\":\"" + std::string(name) + "\"";
    fields += ",\"wParam\":" + std::to_string(wParam) + ",\"lParam\":" + std::to_string(lParam);
    LogEventFields("message", fields);
}

intptr_t DeliverMessage(WinHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    Window* record = FindWindow(window);
    if (record == nullptr) return 0;
    WinProc procedure = record->procedure;
    LogMessage(window, message, wParam, lParam);
    return procedure(window, message, wParam, lParam);
}

intptr_t Win_SendMessage(WinHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    return DeliverMessage(window, message, wParam, lParam);
}

bool Win_PostMessage(WinHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    Desktop& desktop = TheDesktop();
    std::lock_guard<std::mutex> lock(desktop.queueMutex);
    if (desktop.liveHandles.count(window) == 0) return false;
    desktop.queue.push_back(PostedMessage{window, message, wParam, lParam});
    return true;
}

// ---------------------------------------------------------------------------
// Timers
// ---------------------------------------------------------------------------

uint64_t Win_TickCount() {
    Desktop& desktop = TheDesktop();
    if (desktop.kind == WinBackend::Headless) return desktop.virtualTime;
    auto now = static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                         std::chrono::steady_clock::now().time_since_epoch())
                                         .count());
    return now - desktop.realStart;
}

bool Win_SetTimer(WinHandle window, uintptr_t id, unsigned milliseconds) {
    if (FindWindow(window) == nullptr) return false;
    Desktop& desktop = TheDesktop();
    unsigned interval = std::max(milliseconds, 1u);
    uint64_t due = Win_TickCount() + interval;
    for (Timer& timer : desktop.timers) {
        if (timer.window == window && timer.id == id) {
            timer.interval = interval;
            timer.due = due;
            return true;
        }
    }
    desktop.timers.push_back(Timer{window, id, interval, due});
    return true;
}

bool Win_KillTimer(WinHandle window, uintptr_t id) {
    auto& timers = TheDesktop().timers;
    auto it = std::find_if(timers.begin(), timers.end(),
                           [&](const Timer& t) { return t.window == window && t.id == id; });
    if (it == timers.end()) return false;
    timers.erase(it);
    return true;
}

void ForgetTimers(WinHandle window) {
    auto& timers = TheDesktop().timers;
    timers.erase(
        std::remove_if(timers.begin(), timers.end(), [&](const Timer& t) { return t.window == window; }),
        timers.end());
}

namespace {

// The timer due first at or before now; false when none.
bool NextDueTimer(uint64_t now, Timer* found) {
    const Timer* best = nullptr;
    for (const Timer& timer : TheDesktop().timers) {
        if (timer.due <= now && (best == nullptr || timer.due < best->due)) best = &timer;
    }
    if (best == nullptr) return false;
    *found = *best;
    return true;
}

// Fires one due timer: schedules its next turn, then sends WM_TIMER.
int FireDueTimer(uint64_t now) {
    Timer timer;
    if (!NextDueTimer(now, &timer)) return 0;
    for (Timer& t : TheDesktop().timers) {
        if (t.window == timer.window && t.id == timer.id) t.due = timer.due + t.interval;
    }
    DeliverMessage(timer.window, WM_TIMER, timer.id, 0);
    return 1;
}

int DispatchPosted() {
    Desktop& desktop = TheDesktop();
    PostedMessage posted;
    {
        std::lock_guard<std::mutex> lock(desktop.queueMutex);
        if (desktop.queue.empty()) return 0;
        posted = desktop.queue.front();
        desktop.queue.pop_front();
    }
    DeliverMessage(posted.window, posted.message, posted.wParam, posted.lParam);
    return 1;
}

}  // namespace

int Win_PumpMessages() {
    int dispatched = 0;
    for (;;) {
        int round = 0;
        while (int one = DispatchPosted()) round += one;
        // Headless time stands still here; only Win_AdvanceTime moves it.
        if (TheDesktop().kind != WinBackend::Headless) {
            uint64_t now = Win_TickCount();
            while (int one = FireDueTimer(now)) round += one;
        }
        if (round == 0) break;
        dispatched += round;
    }
    PaintPending();
    return dispatched;
}

void Win_AdvanceTime(unsigned milliseconds) {
    Desktop& desktop = TheDesktop();
    uint64_t end = desktop.virtualTime + milliseconds;
    // Each turn of each timer in time order, with what it posts handled in between.
    Timer timer;
    while (NextDueTimer(end, &timer)) {
        desktop.virtualTime = std::max(desktop.virtualTime, timer.due);
        FireDueTimer(desktop.virtualTime);
        Win_PumpMessages();
    }
    desktop.virtualTime = end;
    Win_PumpMessages();
}

int Win_RunLoop() {
    Desktop& desktop = TheDesktop();
    desktop.quitRequested = false;
    while (!desktop.quitRequested) {
        Win_PumpMessages();
        if (desktop.quitRequested) break;
        if (!desktop.backend || !desktop.backend->WaitForInput(20)) {
            // Headless: nothing more will arrive.
            std::lock_guard<std::mutex> lock(desktop.queueMutex);
            if (desktop.queue.empty()) break;
        }
    }
    bool quit = desktop.quitRequested;
    desktop.quitRequested = false;
    return quit ? desktop.quitCode : 0;
}

void Win_Quit(int code) {
    Desktop& desktop = TheDesktop();
    desktop.quitRequested = true;
    desktop.quitCode = code;
}
