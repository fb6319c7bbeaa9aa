// viewer.h - the plug-in's operations between its parts: start-up, the windows of an
// instance, documents, preferences, printing, dialogs and the browser's functions.
#pragma once

#include <cstdint>
#include <string>

#include "instance.h"
#include "plugin_state.h"
#include "preferences.h"

namespace afpview {

// ---- start-up and shut-down (startup.cpp) ----

inline constexpr const char* kResourceLibrary = "libnpkres32.so";
inline constexpr const char* kServicesLibrary = "libknvwser.so";
inline constexpr const char* kEngineLibrary = "libknvwvsin.so";

// Loads and binds the libraries of installDir ('/'-terminated) and makes the view
// server: 1 ready, 0 failed (the messages shown as the failure asks).
int StartUp(const std::string& installDir);
// The same with the install directory found as FindInstallDir says.
int WoxPiInitPlugin();
// Ends the view server and frees everything StartUp loaded; safe after a failed start.
void ShutDown();

// ---- the browser's functions (browser.cpp) ----

NPError BrowserGetUrl(WoxPiInstance& instance, const std::string& url);
NPError BrowserPostUrl(WoxPiInstance& instance, const std::string& url, const std::string& body);
// 8 without calling the browser when it is older than minor version 9.
NPError BrowserGetUrlNotify(WoxPiInstance& instance, const std::string& url);
NPError BrowserPostUrlNotify(WoxPiInstance& instance, const std::string& url, const std::string& body);
void BrowserStatus(WoxPiInstance& instance, const std::string& text);
void* BrowserAlloc(uint32_t size);
void BrowserFree(void* block);

// ---- windows (windows.cpp, view_window.cpp, commands.cpp) ----

void RegisterWindowClasses();
void UnregisterWindowClasses();
int WoxPiInitInstance(WoxPiInstance* instance);
int WoxPiCreateWindows(WoxPiInstance* instance);
int WoxPiResizeWindows(WoxPiInstance* instance, int width, int height);
int WoxPiUpdateControls(WoxPiInstance* instance);
void ShowStop(WoxPiInstance& instance, bool show);
intptr_t WoxPiViewWndProc(WinHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam);
intptr_t ViewCommand(WoxPiInstance& instance, WinHandle window, uint32_t id, uintptr_t wParam,
                     intptr_t lParam);
void Repaint(WoxPiInstance& instance);
WoxPiInstance* InstanceOf(WinHandle window);

// ---- documents (document.cpp) ----

const ProfileStore& Profile();
int WoxPiCloseDocument(WoxPiInstance* instance);
int WoxPiApplyPreferences(WoxPiInstance* instance);
void WoxPiApplyImageView(WoxPiInstance* instance);
int WoxPiToggleImageView(WoxPiInstance* instance);
void SetNavigationInfo(WoxPiInstance& instance);
// A downloaded reply: split it and go on with a segment fetch.
void ReceiveFile(WoxPiInstance& instance, const char* path);
// The segment holding 0-based page index pageIndex (engine's change-page request).
void RequestPageSegment(WoxPiInstance& instance, int32_t pageIndex);
// Ends a print collection without printing: the ".PRN" file goes, the segment shown before
// stays current.
void AbandonCollection(WoxPiInstance& instance);
// Starts a print collection over the segments first..last.
void StartCollection(WoxPiInstance& instance, int32_t firstSegment, int32_t lastSegment);
// Frees the engine lists and the piece files of the instance.
void ReleaseDocumentData(WoxPiInstance& instance);
// A message box owned by owner: resource string textId followed by suffix, caption
// afp::kMsgCaption.
void ShowResourceMessage(WinHandle owner, uint32_t textId, const std::string& suffix);

// ---- printing (print.cpp) ----

int WoxPiPrintDocument(WoxPiInstance* instance);
// Prints the collected print file of a finished collection and forgets it.
void PrintCollected(WoxPiInstance& instance, const std::string& path);

// ---- dialogs (dialogs.cpp) ----

intptr_t ShowPrintDialog(WoxPiInstance& instance);
int ConfirmSegment(WoxPiInstance& instance);
void ShowAbout(WoxPiInstance& instance, WinHandle owner);

}  // namespace afpview

extern "C" {
int32_t WoxPiHitFind(void* instance, int32_t found);
int32_t WoxPiChangePage(void* instance, int32_t pageIndex);
}
