// document.cpp - opening a document file: AFP or line-data text.
#include <filesystem>
#include <fstream>

#include "document.h"

namespace knvw {

std::optional<std::string> ReadWholeFile(const std::string& path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) return std::nullopt;
    const auto size = std::filesystem::file_size(path, error);
    if (error || size > kMaxFileBytes) return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::string data(static_cast<std::size_t>(size), '\0');
    in.read(data.data(), static_cast<std::streamsize>(data.size()));
    data.resize(static_cast<std::size_t>(in.gcount()));
    return data;
}

std::optional<Document> LoadDocument(const std::string& path, const std::string& resourcePath,
                                     const std::optional<LineDataParms>& parms) {
    const auto data = ReadWholeFile(path);
    if (!data || data->empty()) return std::nullopt;
    if (static_cast<unsigned char>((*data)[0]) == 0x5A) {
        std::vector<Overlay> overlays;
        if (!resourcePath.empty()) {
            if (const auto resources = ReadWholeFile(resourcePath)) overlays = ReadAfpResources(*resources);
        }
        Document document = ReadAfp(*data, overlays);
        if (document.pages.empty()) return std::nullopt;
        return document;
    }
    return ReadLineData(*data, parms.value_or(LineDataParms{}));
}

}  // namespace knvw
