#include "viewer_host.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "browser_funcs.h"
#include "event_log.h"
#include "file_ptr.h"
#include "plugin_table.h"

namespace {

ViewerHost* currentHost = nullptr;

constexpr uint32_t kStartRequest = WM_USER + 1;
constexpr uint32_t kRequestDone = WM_USER + 2;
constexpr const char* kBrowserClass = "QelViewBrowser";
constexpr const char* kRequestClass = "QelViewRequests";
constexpr int32_t kChunk = 16384;

void LogPlugin(const char* call, const JsonFields& fields) { LogNamedEvent("plugin", "call", call, fields); }

void LogStream(const char* step, const JsonFields& fields) { LogNamedEvent("stream", "step", step, fields); }

// The type of a file: URL's document, from its name.
std::string TypeOfFileName(const std::string& path) {
    size_t dot = path.rfind('.');
    if (dot == std::string::npos || path.find('/', dot) != std::string::npos)
        return "application/octet-stream";
    std::string ext = NormalizeMimeType(path.substr(dot + 1));
    if (ext == "tif" || ext == "tiff") return "image/tiff";
    if (ext == "png" || ext == "gif" || ext == "bmp") return "image/" + ext;
    if (ext == "jpg" || ext == "jpeg") return "image/jpeg";
    if (ext == "afp") return "application/afp";
    return "application/octet-stream";
}

const char* OutcomeName(FetchOutcome outcome) {
    switch (outcome) {
        case FetchOutcome::Done: return "done";
        case FetchOutcome::HttpError: return "http-error";
        case FetchOutcome::NetworkError: return "network-error";
        case FetchOutcome::Stopped: return "stopped";
    }
    return "";
}

void LogFetch(const std::string& url, const FetchResult& result) {
    JsonFields fields;
    fields.Add("url", url).Add("outcome", OutcomeName(result.outcome)).Add("status", result.status);
    fields.Add("size", static_cast<int64_t>(result.size)).Add("type", result.contentType);
    if (result.outcome != FetchOutcome::Done) fields.Add("error", result.error);
    Win_LogEvent("fetch", fields.Text());
}

void* AsWindowPointer(WinHandle handle) { return reinterpret_cast<void*>(static_cast<uintptr_t>(handle)); }

}  // namespace

ViewerHost* ViewerHost::Current() { return currentHost; }

ViewerHost::ViewerHost(ViewerOptions options, std::string libDir)
    : options_(std::move(options)), libDir_(std::move(libDir)) {
    userAgent_ =
        "Mozilla/4.0 (compatible; qelview/1.0; X11; Linux) NPAPI/0." + std::to_string(options_.npMinor);
    instance_.ndata = this;
    currentHost = this;
}

ViewerHost::~ViewerHost() {
    Finish();
    if (currentHost == this) currentHost = nullptr;
}

FetchRequest ViewerHost::MakeFetch(const std::string& url, const std::string& file) const {
    FetchRequest fetch;
    fetch.url = url;
    fetch.cookieFile = options_.cookies;
    fetch.userAgent = userAgent_;
    fetch.outputPath = file;
    return fetch;
}

bool ViewerHost::Start(std::string* error) {
    if (!tempDir_.Create(error)) return false;
    std::string file = tempDir_.NewFile(error);
    if (file.empty()) return false;

    // The document comes first: its type picks the plug-in.
    FetchResult document = FetchUrl(MakeFetch(options_.url, file));
    LogFetch(options_.url, document);
    // The plug-in's relative URLs (a gateway's segment URL is one) are taken from here.
    baseUrl_ = document.finalUrl.empty() ? options_.url : document.finalUrl;
    std::string type = options_.type;
    if (type.empty()) {
        std::string local;
        type = !document.contentType.empty()       ? document.contentType
               : FileUrlPath(options_.url, &local) ? TypeOfFileName(local)
                                                   : "";
    }
    type = NormalizeMimeType(type);
    documentFailed_ = document.outcome != FetchOutcome::Done;
    if (documentFailed_ && options_.type.empty()) {
        *error = "cannot fetch " + options_.url + ": " + document.error;
        return false;
    }
    if (!LoadPlugin(type, error) || !CreateWindows(error)) return false;

    std::vector<std::string> names, values;
    for (const auto& [name, value] : options_.args) {
        names.push_back(name);
        values.push_back(value);
    }
    std::vector<char*> argn, argv;
    for (size_t i = 0; i < names.size(); ++i) {
        argn.push_back(names[i].data());
        argv.push_back(values[i].data());
    }
    mimeTypeBuffer_.assign(type.begin(), type.end());
    mimeTypeBuffer_.push_back('\0');
    NPError made = pluginFuncs_.newp(mimeTypeBuffer_.data(), &instance_, NP_EMBED,
                                     static_cast<int16_t>(argn.size()), argn.data(), argv.data(), nullptr);
    LogPlugin("NPP_New", JsonFields()
                             .Add("type", type)
                             .Add("mode", NP_EMBED)
                             .Add("argc", static_cast<int64_t>(argn.size()))
                             .Add("result", made));
    if (made != NPERR_NO_ERROR) {
        *error = "the plug-in refused the instance (error " + std::to_string(made) + ")";
        return false;
    }
    instanceMade_ = true;
    SetWindow();
    DeliverStream(options_.url, type, file, document, nullptr);
    Win_PumpMessages();
    return true;
}

bool ViewerHost::LoadPlugin(const std::string& mimeType, std::string* error) {
    std::string path = ResolvePlugin(mimeType, options_.plugins, libDir_);
    if (path.empty()) {
        *error = "no plug-in shows documents of type \"" + mimeType + "\"";
        return false;
    }
    if (!library_.Load(path, error)) return false;
    pluginFuncs_ = NPPluginFuncs();
    pluginFuncs_.size = sizeof(NPPluginFuncs);
    NPError result = library_.getEntryPoints(&pluginFuncs_);
    LogPlugin("NP_GetEntryPoints", JsonFields().Add("path", path).Add("result", result));
    if (result != NPERR_NO_ERROR) {
        *error = "NP_GetEntryPoints of " + path + " failed with " + std::to_string(result);
        return false;
    }
    FillBrowserFuncs(&browserFuncs_, options_.npMinor);
    result = library_.initialize(&browserFuncs_);
    LogPlugin("NP_Initialize", JsonFields().Add("version", browserFuncs_.version).Add("result", result));
    if (result != NPERR_NO_ERROR) {
        *error = "NP_Initialize of " + path + " failed with " + std::to_string(result);
        return false;
    }
    initialized_ = true;
    const char* missing = !pluginFuncs_.newp            ? "New"
                          : !pluginFuncs_.destroy       ? "Destroy"
                          : !pluginFuncs_.setwindow     ? "SetWindow"
                          : !pluginFuncs_.newstream     ? "NewStream"
                          : !pluginFuncs_.destroystream ? "DestroyStream"
                          : !pluginFuncs_.asfile        ? "StreamAsFile"
                          : !pluginFuncs_.writeready    ? "WriteReady"
                          : !pluginFuncs_.write         ? "Write"
                                                        : nullptr;
    if (missing != nullptr) {
        *error = "the plug-in " + path + " gives no " + missing + " operation";
        return false;
    }
    return true;
}

intptr_t ViewerHost::BrowserProc(WinHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    ViewerHost* host = currentHost;
    if (host != nullptr && window == host->browserWindow_) {
        if (message == WM_SIZE && host->windowSet_) host->SetWindow();
        if (message == WM_DESTROY && !host->finishing_) Win_Quit(0);
    }
    return Win_DefWindowProc(window, message, wParam, lParam);
}

intptr_t ViewerHost::RequestProc(WinHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    ViewerHost* host = currentHost;
    if (host != nullptr && message == kStartRequest) {
        host->StartRequest(static_cast<int>(wParam));
        return 0;
    }
    if (host != nullptr && message == kRequestDone) {
        host->CompleteRequest(static_cast<int>(wParam));
        return 0;
    }
    return Win_DefWindowProc(window, message, wParam, lParam);
}

bool ViewerHost::CreateWindows(std::string* error) {
    WinClass browser;
    browser.name = kBrowserClass;
    browser.procedure = BrowserProc;
    WinClass requests;
    requests.name = kRequestClass;
    requests.procedure = RequestProc;
    requests.background = WIN_NO_BACKGROUND;
    Win_RegisterClass(browser);
    Win_RegisterClass(requests);
    browserWindow_ = Win_CreateWindow(kBrowserClass, DocumentTitle(options_), WS_VISIBLE, 0, 0,
                                      options_.width, options_.height, 0, 0, nullptr);
    requestWindow_ = Win_CreateWindow(kRequestClass, "", 0, 0, 0, 1, 1, 0, 0, nullptr);
    if (browserWindow_ == 0 || requestWindow_ == 0) {
        *error = "cannot create the browser window";
        return false;
    }
    return true;
}

void ViewerHost::SetWindow() {
    WinRect client;
    if (!Win_GetClientRect(browserWindow_, &client)) return;
    uint32_t width = static_cast<uint32_t>(std::max(client.Width(), 0));
    uint32_t height = static_cast<uint32_t>(std::max(client.Height(), 0));
    if (windowSet_ && width == npWindow_.width && height == npWindow_.height) return;
    npWindow_ = NPWindow();
    npWindow_.window = AsWindowPointer(browserWindow_);
    npWindow_.width = width;
    npWindow_.height = height;
    npWindow_.clipRect.right = static_cast<uint16_t>(std::min<uint32_t>(width, 0xFFFF));
    npWindow_.clipRect.bottom = static_cast<uint16_t>(std::min<uint32_t>(height, 0xFFFF));
    npWindow_.type = 1;
    windowSet_ = true;
    NPError result = pluginFuncs_.setwindow(&instance_, &npWindow_);
    LogPlugin("NPP_SetWindow", JsonFields().Add("width", width).Add("height", height).Add("result", result));
}

WinHandle ViewerHost::PluginWindow() const {
    std::vector<WinHandle> children = Win_GetChildren(browserWindow_);
    return children.empty() ? 0 : children.front();
}

bool ViewerHost::Resize(int width, int height) {
    if (!Win_MoveWindow(browserWindow_, 0, 0, width, height, true)) return false;
    SetWindow();  // also when the plug-in's subclass kept WM_SIZE from us
    Win_PumpMessages();
    return true;
}

NPError ViewerHost::GetUrl(NPP, const char* url, const char* target, bool notify, void* notifyData) {
    if (url == nullptr || *url == '\0') return NPERR_INVALID_URL;
    auto request = std::make_unique<Request>();
    request->url = ResolveUrl(baseUrl_, url);
    request->target = target != nullptr ? target : "";
    request->notify = notify;
    request->notifyData = notifyData;
    return QueueRequest(std::move(request));
}

NPError ViewerHost::PostUrl(NPP, const char* url, const char* target, uint32_t len, const char* buf,
                            uint8_t file, bool notify, void* notifyData) {
    if (url == nullptr || *url == '\0') return NPERR_INVALID_URL;
    if (buf == nullptr && len > 0) return NPERR_INVALID_PARAM;
    if (file != 0) {
        Win_LogEvent("browser", JsonFields().Add("error", "posting a file is not supported").Text());
        return NPERR_INVALID_PARAM;
    }
    auto request = std::make_unique<Request>();
    std::string error;
    if (!ParsePostBuffer(std::string_view(buf != nullptr ? buf : "", len), &request->body, &error)) {
        Win_LogEvent("browser", JsonFields().Add("error", error).Text());
        return NPERR_INVALID_PARAM;
    }
    request->url = ResolveUrl(baseUrl_, url);
    request->target = target != nullptr ? target : "";
    request->post = true;
    request->notify = notify;
    request->notifyData = notifyData;
    return QueueRequest(std::move(request));
}

NPError ViewerHost::QueueRequest(std::unique_ptr<Request> request) {
    if (finishing_) return NPERR_GENERIC_ERROR;
    request->id = ++nextRequestId_;
    int id = request->id;
    requests_.push_back(std::move(request));
    // Run from the message loop, never inside the plug-in's call.
    if (!Win_PostMessage(requestWindow_, kStartRequest, static_cast<uintptr_t>(id), 0)) {
        requests_.pop_back();
        return NPERR_GENERIC_ERROR;
    }
    return NPERR_NO_ERROR;
}

ViewerHost::Request* ViewerHost::FindRequest(int id) {
    for (auto& request : requests_) {
        if (request->id == id) return request.get();
    }
    return nullptr;
}

void ViewerHost::StartRequest(int id) {
    Request* request = FindRequest(id);
    if (request == nullptr) return;
    if (request->stop.load()) {
        request->result.outcome = FetchOutcome::Stopped;
        request->result.error = "stopped";
        CompleteRequest(id);
        return;
    }
    if (!request->target.empty()) {
        // Other browser windows are not shown: the request counts as done.
        Win_LogEvent("browser",
                     JsonFields().Add("navigate", request->url).Add("window", request->target).Text());
        request->result.outcome = FetchOutcome::Done;
        CompleteRequest(id);
        return;
    }
    std::string error;
    request->file = tempDir_.NewFile(&error);
    if (request->file.empty()) {
        request->result.error = error;
        CompleteRequest(id);
        return;
    }
    FetchRequest fetch = MakeFetch(request->url, request->file);
    fetch.post = request->post;
    fetch.headers = request->body.headers;
    fetch.body = request->body.body;
    fetch.stop = &request->stop;
    WinHandle target = requestWindow_;
    request->worker = std::thread([request, fetch = std::move(fetch), target] {
        request->result = FetchUrl(fetch);
        Win_PostMessage(target, kRequestDone, static_cast<uintptr_t>(request->id), 0);
    });
}

void ViewerHost::CompleteRequest(int id) {
    auto it = std::find_if(requests_.begin(), requests_.end(), [id](const auto& r) { return r->id == id; });
    if (it == requests_.end()) return;
    std::unique_ptr<Request> request = std::move(*it);
    requests_.erase(it);
    if (request->worker.joinable()) request->worker.join();
    const FetchResult& result = request->result;
    NPReason reason = NPRES_DONE;
    if (!request->target.empty()) {
        reason = NPRES_DONE;
    } else if (result.outcome == FetchOutcome::Stopped) {
        LogFetch(request->url, result);
        reason = NPRES_USER_BREAK;
    } else {
        LogFetch(request->url, result);
        std::string local;
        std::string type = !result.contentType.empty()         ? result.contentType
                           : FileUrlPath(request->url, &local) ? TypeOfFileName(local)
                                                               : "application/octet-stream";
        reason =
            DeliverStream(request->url, NormalizeMimeType(type), request->file, result, request->notifyData);
    }
    if (request->notify) Notify(request->url, reason, request->notifyData);
    completed_.push_back(request->url);
}

NPReason ViewerHost::DeliverStream(const std::string& url, const std::string& mimeType,
                                   const std::string& file, const FetchResult& result, void* notifyData) {
    NPStream stream{};
    stream.ndata = this;
    stream.url = url.c_str();
    stream.end = static_cast<uint32_t>(std::min<uint64_t>(result.size, 0xFFFFFFFFu));
    stream.notifyData = notifyData;
    std::vector<char> type(mimeType.begin(), mimeType.end());
    type.push_back('\0');
    uint16_t stype = NP_NORMAL;
    NPError opened = pluginFuncs_.newstream(&instance_, type.data(), &stream, 0, &stype);
    LogStream("NPP_NewStream",
              JsonFields().Add("url", url).Add("type", mimeType).Add("stype", stype).Add("result", opened));
    if (opened != NPERR_NO_ERROR) return NPRES_NETWORK_ERR;

    NPReason reason = NPRES_DONE;
    if (result.outcome != FetchOutcome::Done) {
        reason = NPRES_NETWORK_ERR;
    } else if (stype == NP_ASFILE || stype == NP_ASFILEONLY) {
        pluginFuncs_.asfile(&instance_, &stream, file.c_str());
        LogStream("NPP_StreamAsFile",
                  JsonFields().Add("url", url).Add("size", static_cast<int64_t>(result.size)));
    } else if (result.size > 0x7FFFFFFF) {
        reason = NPRES_NETWORK_ERR;  // Write offsets are 32-bit signed
    } else {
        FilePtr in(std::fopen(file.c_str(), "rbe"));
        std::vector<char> buffer(kChunk);
        int32_t offset = 0;
        int idle = 0;
        while (in != nullptr && reason == NPRES_DONE) {
            int32_t ready = pluginFuncs_.writeready(&instance_, &stream);
            LogStream("NPP_WriteReady", JsonFields().Add("result", ready));
            if (ready <= 0) {
                // A plug-in that never gets ready ends the stream rather than the program.
                if (++idle > 100) reason = NPRES_NETWORK_ERR;
                continue;
            }
            size_t want = static_cast<size_t>(std::min(ready, kChunk));
            size_t got = std::fread(buffer.data(), 1, want, in.get());
            if (got == 0) break;
            int32_t taken =
                pluginFuncs_.write(&instance_, &stream, offset, static_cast<int32_t>(got), buffer.data());
            LogStream("NPP_Write", JsonFields()
                                       .Add("offset", offset)
                                       .Add("length", static_cast<int64_t>(got))
                                       .Add("result", taken));
            if (taken < 0) {
                reason = NPRES_NETWORK_ERR;
                break;
            }
            // The part the plug-in did not take is offered again.
            taken = std::min<int32_t>(taken, static_cast<int32_t>(got));
            if (taken < static_cast<int32_t>(got)) {
                std::fseek(in.get(), offset + taken, SEEK_SET);
                if (taken == 0 && ++idle > 100) reason = NPRES_NETWORK_ERR;
            }
            offset += taken;
        }
        if (!in) reason = NPRES_NETWORK_ERR;
    }
    NPError destroyed = pluginFuncs_.destroystream(&instance_, &stream, reason);
    LogStream("NPP_DestroyStream",
              JsonFields().Add("url", url).Add("reason", reason).Add("result", destroyed));
    return reason;
}

void ViewerHost::Notify(const std::string& url, NPReason reason, void* notifyData) {
    if (pluginFuncs_.urlnotify == nullptr || options_.npMinor < 9) return;
    pluginFuncs_.urlnotify(&instance_, url.c_str(), reason, notifyData);
    LogPlugin("NPP_URLNotify", JsonFields().Add("url", url).Add("reason", reason));
}

bool ViewerHost::WaitUrl(const std::string& text, int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (true) {
        Win_PumpMessages();
        auto found = std::find_if(completed_.begin(), completed_.end(), [&](const std::string& url) {
            return url.find(text) != std::string::npos;
        });
        if (found != completed_.end()) {
            completed_.erase(found);
            return true;
        }
        // Nothing open: nothing can complete any more.
        if (requests_.empty() || std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

bool ViewerHost::WaitIdle(int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (true) {
        int dispatched = Win_PumpMessages();
        if (requests_.empty() && dispatched == 0) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        if (dispatched == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

void ViewerHost::StopRequests() {
    for (auto& request : requests_) request->stop.store(true);
}

void ViewerHost::Status(NPP, const char* message) { status_ = message != nullptr ? message : ""; }

void* ViewerHost::MemAlloc(uint32_t size) {
    if (size == 0) return nullptr;
    void* block = std::malloc(size);
    if (block == nullptr) return nullptr;
    std::lock_guard<std::mutex> lock(memMutex_);
    blocks_.insert(block);
    return block;
}

void ViewerHost::MemFree(void* block) {
    if (block == nullptr) return;
    {
        std::lock_guard<std::mutex> lock(memMutex_);
        if (blocks_.erase(block) == 0) {
            Win_LogEvent("browser",
                         JsonFields().Add("error", "MemFree of a block the browser did not give").Text());
            return;
        }
    }
    std::free(block);
}

size_t ViewerHost::LiveBlocks() const {
    std::lock_guard<std::mutex> lock(memMutex_);
    return blocks_.size();
}

void ViewerHost::Finish() {
    if (finishing_) return;
    StopRequests();
    if (requestWindow_ != 0) WaitIdle(60000);
    finishing_ = true;
    // A transfer that did not end in time is waited for; its result goes nowhere.
    for (auto& request : requests_) {
        if (request->worker.joinable()) request->worker.join();
    }
    requests_.clear();
    if (instanceMade_) {
        NPSavedData* saved = nullptr;
        NPError result = pluginFuncs_.destroy(&instance_, &saved);
        LogPlugin("NPP_Destroy", JsonFields().Add("result", result));
        if (saved != nullptr) {  // nothing reloads the page: the saved data is dropped
            MemFree(saved->buf);
            MemFree(saved);
        }
        instanceMade_ = false;
    }
    tempDir_.Remove();
    if (browserWindow_ != 0) Win_DestroyWindow(browserWindow_);
    if (requestWindow_ != 0) Win_DestroyWindow(requestWindow_);
    browserWindow_ = requestWindow_ = 0;
    Win_UnregisterClass(kBrowserClass);
    Win_UnregisterClass(kRequestClass);
    if (initialized_) {
        NPError result = library_.shutdown();
        LogPlugin("NP_Shutdown", JsonFields().Add("result", result));
        initialized_ = false;
    }
    Win_LogEvent("browser", JsonFields().Add("liveBlocks", static_cast<int64_t>(LiveBlocks())).Text());
    library_.Unload();
    {
        std::lock_guard<std::mutex> lock(memMutex_);
        for (void* block : blocks_) std::free(block);
        blocks_.clear();
    }
}
