// vsin_server.h - the view server's state behind the entry points: servers, open
// documents by handle, the line-data parameters waiting for the next open, and the
// searches and page requests that go on in another segment of a document.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "knvw_engine.h"
#include "session.h"

namespace knvw {

struct EngineDocument {
    int32_t server = 0;
    WinHandle window = 0;
    std::string path, resourcePath;
    std::unique_ptr<Session> session;
    std::optional<LineDataParms> lineParms;  // what it was opened with (for a restore)
    // Segment navigation from the plug-in.
    void* instance = nullptr;
    int32_t stringList = 0, pageIndex = 0;
    KnvwChangePageProc changePage = nullptr;
};

struct ViewServer {
    // Per plug-in instance: a search to go on with in the next document it opens, and a
    // page number asked for that lies in another segment.
    std::map<void*, FindQuery> pendingSearch;
    std::map<void*, int> pendingPage;
};

class Engine {
public:
    static Engine& Get();

    int32_t NewServer();
    ViewServer* Server(int32_t handle);
    void DeleteServer(int32_t handle);

    int32_t AddDocument(std::unique_ptr<EngineDocument> document);
    EngineDocument* Document(int32_t handle);
    Session* SessionOf(int32_t handle);
    void EndDocument(int32_t handle);

    // Line-data parameters for the next VSDocStart (taken by it).
    std::optional<LineDataParms> pendingLineParms;
    std::map<int32_t, std::unique_ptr<EngineDocument>>& Documents() { return documents_; }

private:
    int32_t next_ = 1;
    std::map<int32_t, ViewServer> servers_;
    std::map<int32_t, std::unique_ptr<EngineDocument>> documents_;
};

}  // namespace knvw
