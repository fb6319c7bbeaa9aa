// vsin_server.cpp - handles of servers and documents.
#include "vsin_server.h"

#include <vector>

namespace knvw {

Engine& Engine::Get() {
    static Engine engine;
    return engine;
}

int32_t Engine::NewServer() {
    const int32_t handle = next_++;
    servers_.emplace(handle, ViewServer{});
    return handle;
}

ViewServer* Engine::Server(int32_t handle) {
    const auto it = servers_.find(handle);
    return it == servers_.end() ? nullptr : &it->second;
}

void Engine::DeleteServer(int32_t handle) {
    std::vector<int32_t> ended;
    for (const auto& [id, document] : documents_) {
        if (document->server == handle) ended.push_back(id);
    }
    for (int32_t id : ended) documents_.erase(id);
    servers_.erase(handle);
}

int32_t Engine::AddDocument(std::unique_ptr<EngineDocument> document) {
    const int32_t handle = next_++;
    documents_[handle] = std::move(document);
    return handle;
}

EngineDocument* Engine::Document(int32_t handle) {
    const auto it = documents_.find(handle);
    return it == documents_.end() ? nullptr : it->second.get();
}

Session* Engine::SessionOf(int32_t handle) {
    EngineDocument* document = Document(handle);
    return document ? document->session.get() : nullptr;
}

void Engine::EndDocument(int32_t handle) { documents_.erase(handle); }

}  // namespace knvw
