// x11_backend.h - the X11 back-end with the input it produces routed through a sink,
// so that it can be driven without a window tree.
#pragma once

#include <functional>
#include <memory>
#include <string_view>

#include "desktop_internal.h"

struct X11InputSink {
    std::function<void(WinHandle topLevel, uint32_t message, int x, int y, uint32_t keyFlags)> mouse;
    std::function<void(int virtualKey)> key;
    std::function<void(std::string_view text)> text;
    std::function<void(WinHandle topLevel)> close;                // the window manager asked to close it
    std::function<void(WinHandle topLevel, int x, int y)> moved;  // now at x, y on the screen
};

// Null when the display (null: $DISPLAY) does not answer.
std::unique_ptr<DesktopBackend> Backend_CreateX11WithSink(X11InputSink sink, const char* displayName);
// The X window showing a top-level window's surface; 0 when none.
unsigned long X11_WindowOf(DesktopBackend* backend, WinHandle topLevel);
