// viewer_host.h - the browser side of one qelview run: the plug-in library, its one
// instance in the browser window, the requests it makes and the streams it gets.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

#include "fetcher.h"
#include "options.h"
#include "plugin_library.h"
#include "post_buffer.h"
#include "qel_npapi.h"
#include "qel_win.h"
#include "temp_dir.h"

class ViewerHost {
public:
    // libDir: the install tree's lib/ (with '/'), where the built-in plug-in table points.
    ViewerHost(ViewerOptions options, std::string libDir);
    ~ViewerHost();
    ViewerHost(const ViewerHost&) = delete;
    ViewerHost& operator=(const ViewerHost&) = delete;

    // Fetches the document, loads its plug-in, opens the window and the instance and
    // delivers the document. false with a message when nothing can be shown.
    bool Start(std::string* error);
    // Stops open requests, destroys the instance, shuts the plug-in down.
    void Finish();
    // The document itself could not be fetched (it was ended with reason 1).
    bool DocumentFailed() const { return documentFailed_; }

    WinHandle BrowserWindow() const { return browserWindow_; }
    WinHandle PluginWindow() const;  // the plug-in's outermost child of the browser window
    bool Resize(int width, int height);
    // Pumps messages until a request whose URL contains the text has completed (each
    // completion is consumed once) or the time runs out.
    bool WaitUrl(const std::string& text, int timeoutMs);
    // Pumps until no request is open and no message is left.
    bool WaitIdle(int timeoutMs);
    // The user's break: every open request ends with reason 2.
    void StopRequests();
    const std::string& StatusText() const { return status_; }
    size_t LiveBlocks() const;

    // The browser functions (browser_funcs.cpp routes the table here).
    NPError GetUrl(NPP instance, const char* url, const char* target, bool notify, void* notifyData);
    NPError PostUrl(NPP instance, const char* url, const char* target, uint32_t len, const char* buf,
                    uint8_t file, bool notify, void* notifyData);
    void Status(NPP instance, const char* message);
    void* MemAlloc(uint32_t size);
    void MemFree(void* block);
    bool OwnInstance(NPP instance) const { return instance == &instance_; }
    const char* UserAgent() const { return userAgent_.c_str(); }

    static ViewerHost* Current();

private:
    struct Request {
        int id = 0;
        std::string url;
        std::string target;
        bool notify = false;
        void* notifyData = nullptr;
        bool post = false;
        PostBody body;
        std::string file;
        std::atomic<bool> stop{false};
        std::thread worker;
        FetchResult result;
    };

    static intptr_t BrowserProc(WinHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam);
    static intptr_t RequestProc(WinHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam);
    bool LoadPlugin(const std::string& mimeType, std::string* error);
    bool CreateWindows(std::string* error);
    void SetWindow();
    NPError QueueRequest(std::unique_ptr<Request> request);
    void StartRequest(int id);
    void CompleteRequest(int id);
    Request* FindRequest(int id);
    // Hands a fetched file to the plug-in as a stream; the reason the stream ended with.
    NPReason DeliverStream(const std::string& url, const std::string& mimeType, const std::string& file,
                           const FetchResult& result, void* notifyData);
    void Notify(const std::string& url, NPReason reason, void* notifyData);
    FetchRequest MakeFetch(const std::string& url, const std::string& file) const;

    ViewerOptions options_;
    std::string libDir_;
    std::string userAgent_;
    std::string baseUrl_;  // the document's URL after redirects
    PluginLibrary library_;
    bool initialized_ = false;
    bool instanceMade_ = false;
    bool documentFailed_ = false;
    NPPluginFuncs pluginFuncs_{};
    NPNetscapeFuncs browserFuncs_{};
    NPP_t instance_{};
    NPWindow npWindow_{};
    bool windowSet_ = false;
    std::vector<char> mimeTypeBuffer_;
    WinHandle browserWindow_ = 0;
    WinHandle requestWindow_ = 0;
    RunTempDir tempDir_;
    std::list<std::unique_ptr<Request>> requests_;
    int nextRequestId_ = 0;
    std::deque<std::string> completed_;  // URLs of completed requests, for WaitUrl
    std::string status_;
    mutable std::mutex memMutex_;
    std::unordered_set<void*> blocks_;
    bool finishing_ = false;
};
