// instance.h - one embedded document: the browser's side, the windows, the engine's
// document and the state of the view, find, selection, printing and segment fetching.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "afp_split.h"
#include "qel_npapi.h"
#include "qel_win.h"

namespace afpview {

struct RubberBand {
    int left = -1, top = 0, right = 0, bottom = 0;
    bool Complete() const { return left != -1 && top != 0 && right != 0 && bottom != 0; }
};

struct WoxPiInstance {
    NPP npp = nullptr;
    uint16_t mode = 0;

    // Windows: the browser's (subclassed), ours inside it.
    WinHandle browserWindow = 0;
    WinProc previousProc = nullptr;
    bool attached = false;
    WinHandle outer = 0, toolbar = 0, view = 0;
    WinMenu menu = 0;   // the loaded "PuMenu"
    WinMenu popup = 0;  // its first submenu

    // The split's fields: piece files in the instance's own directory, segments.
    afp::SplitInstance split;
    std::string formdef;
    int32_t document = 0;
    int32_t stringList = 0;
    int32_t pageIndex = 0;

    bool painting = false;
    bool openFailed = false;
    bool selecting = false;
    RubberBand band;
    bool found = false;
    bool stopShown = false;
    int32_t selectionMode = 0;  // 0 text, 1 bitmap
    int32_t imageViewFlag = -1;
    bool firstDocument = false;
    int32_t currentPage = 0;
    int32_t zoomToApply = -1;
    int32_t rotationToApply = -1;

    // Print settings (preselected from the profile, changed by the print dialog).
    int32_t printRange = 30000;
    int32_t firstPage = -1, lastPage = -1;
    int16_t copies = 1;
    int32_t shrinkToFit = 1, rotateToFit = 1;
    std::string printerDisplay, printerDevice, printerPort, printerDriver;
    bool stopRequested = false;
    int32_t collectedFrom = 0, collectedTo = 0;  // pages of the print file to print
    int32_t collectedWhat = 0;
};

// Makes the instance's own temporary directory (0700); false when it cannot.
bool MakeInstanceDirectory(WoxPiInstance& instance);
// Removes that directory and everything in it.
void RemoveInstanceDirectory(WoxPiInstance& instance);

}  // namespace afpview
