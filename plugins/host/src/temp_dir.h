// temp_dir.h - the private directory (mode 0700) one qelview run keeps its fetched
// files in; removed with everything in it when the object goes.
#pragma once

#include <string>

class RunTempDir {
public:
    RunTempDir() = default;
    ~RunTempDir();
    RunTempDir(const RunTempDir&) = delete;
    RunTempDir& operator=(const RunTempDir&) = delete;

    // Creates the directory under $TMPDIR (else /tmp); false with a message.
    bool Create(std::string* error);
    // A new empty file created exclusively (0600), named by a counter; "" on failure.
    std::string NewFile(std::string* error);
    void Remove();

private:
    std::string path_;
    int counter_ = 0;
};
