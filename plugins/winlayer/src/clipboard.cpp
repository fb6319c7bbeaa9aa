// clipboard.cpp - the desktop's clipboard: text and a bitmap, changed between
// Win_OpenClipboard and Win_CloseClipboard.
#include "desktop_state.h"

bool Win_OpenClipboard(WinHandle owner) {
    (void)owner;
    Desktop& desktop = TheDesktop();
    if (desktop.clipboardOpen) return false;
    desktop.clipboardOpen = true;
    return true;
}

bool Win_EmptyClipboard() {
    Desktop& desktop = TheDesktop();
    if (!desktop.clipboardOpen) return false;
    ResetClipboard();
    desktop.clipboardOpen = true;
    LogEventFields("clipboard", "\"action\":\"empty\"");
    return true;
}

bool Win_SetClipboardText(std::string text) {
    Desktop& desktop = TheDesktop();
    if (!desktop.clipboardOpen) return false;
    LogEventFields("clipboard", "\"action\":\"text\",\"text\":" + Win_JsonString(text));
    desktop.clipboardText = std::move(text);
    return true;
}

bool Win_SetClipboardBitmap(const WinBitmap* bitmap) {
    Desktop& desktop = TheDesktop();
    if (!desktop.clipboardOpen || bitmap == nullptr) return false;
    WinBitmap* copy = Win_CopyBitmap(bitmap);
    if (copy == nullptr) return false;
    if (desktop.clipboardBitmap != nullptr) Win_DeleteBitmap(desktop.clipboardBitmap);
    desktop.clipboardBitmap = copy;
    LogEventFields("clipboard", "\"action\":\"bitmap\",\"width\":" + std::to_string(Win_BitmapWidth(copy)) +
                                    ",\"height\":" + std::to_string(Win_BitmapHeight(copy)));
    return true;
}

bool Win_CloseClipboard() {
    Desktop& desktop = TheDesktop();
    if (!desktop.clipboardOpen) return false;
    desktop.clipboardOpen = false;
    return true;
}

std::string Win_ClipboardText() {
    Desktop& desktop = TheDesktop();
    return desktop.clipboardText;
}

WinBitmap* Win_ClipboardBitmap() {
    Desktop& desktop = TheDesktop();
    return desktop.clipboardBitmap == nullptr ? nullptr : Win_CopyBitmap(desktop.clipboardBitmap);
}

void ResetClipboard() {
    Desktop& desktop = TheDesktop();
    if (desktop.clipboardBitmap != nullptr) Win_DeleteBitmap(desktop.clipboardBitmap);
    desktop.clipboardBitmap = nullptr;
    desktop.clipboardText.clear();
    desktop.clipboardOpen = false;
}
