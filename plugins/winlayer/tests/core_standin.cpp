// core_standin.cpp - the few window-tree functions the drawing side calls, for test
// programs built while the window tree is not part of the library.
#include "desktop_internal.h"

const WinHooks& Desktop_Hooks() {
    static WinHooks none;
    return none;
}
void Win_InputMouse(WinHandle, uint32_t, int, int, uint32_t) {}
void Win_InputKey(int) {}
void Win_InputText(std::string_view) {}
bool Win_PostMessage(WinHandle, uint32_t, uintptr_t, intptr_t) { return false; }
