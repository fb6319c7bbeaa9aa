// Loads a transport library by absolute path as the dispatcher does: ArcCOM_GetFuncs
// first; the test then compares the slots with the entries found by name.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "arc_platform.h"
#include "qel_transport.h"

namespace qel::transport::test {

class TransportLibrary {
public:
    explicit TransportLibrary(const std::string& path) {
        library_ = ArcOS_LoadLibrary(path.c_str());
        if (!library_) {
            ADD_FAILURE() << "cannot load " << path << ": " << ArcOS_LibraryError();
            return;
        }
        auto getFuncs =
            reinterpret_cast<int (*)(ArcCOM_Funcs*)>(ArcOS_GetProcAddress(library_, "ArcCOM_GetFuncs"));
        if (!getFuncs || getFuncs(&table_) != 0) {
            ADD_FAILURE() << "ArcCOM_GetFuncs missing or failing in " << path;
        }
    }
    ~TransportLibrary() { ArcOS_FreeLibrary(library_); }
    TransportLibrary(const TransportLibrary&) = delete;
    TransportLibrary& operator=(const TransportLibrary&) = delete;

    const ArcCOM_Funcs& operator*() const { return table_; }
    const ArcCOM_Funcs* operator->() const { return &table_; }
    ArcOSLibrary* library() const { return library_; }

private:
    ArcOSLibrary* library_ = nullptr;
    ArcCOM_Funcs table_{};
};

}  // namespace qel::transport::test
