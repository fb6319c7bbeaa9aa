// gdi_test_util.h - small helpers of the drawing tests.
#pragma once

#include <memory>
#include <string>

#include "qel_win.h"

struct BitmapDeleter {
    void operator()(WinBitmap* bitmap) const { Win_DeleteBitmap(bitmap); }
};
using BitmapPtr = std::unique_ptr<WinBitmap, BitmapDeleter>;

struct DcDeleter {
    void operator()(WinDC* dc) const { Win_DeleteDC(dc); }
};
using DcPtr = std::unique_ptr<WinDC, DcDeleter>;

// A fresh directory under the system's temporary directory, removed with its files.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// Standard output of a program run with an argument vector; exit status in *status.
std::string RunAndRead(const std::vector<std::string>& argv, int* status);
