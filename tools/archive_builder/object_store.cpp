// object_store.cpp - writes the documents' data into their objects.
#include "object_store.h"

#include <zlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "arc_platform.h"
#include "table_texts.h"

namespace arcbuild {
namespace {

constexpr uint64_t kMaxObject = 0xFFFFFFFFu;  // block offsets in a row header are 32-bit

// Reads ranges of the data files, keeping the last one open (documents of one object
// usually come from one file).
class DataReader {
public:
    bool Read(const std::string& path, uint64_t offset, uint64_t length, std::string* out) {
        if (path != path_) {
            in_.close();
            in_.clear();
            in_.open(path, std::ios::binary);
            path_ = path;
        }
        out->resize(length);
        in_.seekg(static_cast<std::streamoff>(offset));
        in_.read(out->data(), static_cast<std::streamsize>(length));
        return in_.good() || (in_.eof() && static_cast<uint64_t>(in_.gcount()) == length);
    }

private:
    std::string path_;
    std::ifstream in_;
};

bool Deflate(const std::string& data, std::string* out) {
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    out->resize(size);
    const int rc =
        compress2(reinterpret_cast<Bytef*>(out->data()), &size, reinterpret_cast<const Bytef*>(data.data()),
                  static_cast<uLong>(data.size()), Z_BEST_SPEED);
    out->resize(size);
    return rc == Z_OK;
}

}  // namespace

bool WriteObjects(const Description& d, const std::string& dir, std::vector<QelLocalIdxHeader>* headers,
                  Errors* errors) {
    headers->assign(d.documents.size(), QelLocalIdxHeader{});
    // The documents of each object, in description order.
    std::vector<std::vector<std::vector<size_t>>> members(d.appGroups.size());
    for (size_t g = 0; g < d.appGroups.size(); ++g) members[g].resize(d.appGroups[g].objects.size());
    for (size_t i = 0; i < d.documents.size(); ++i)
        members[d.documents[i].group][d.documents[i].object].push_back(i);

    DataReader reader;
    std::string data, packed;
    for (size_t g = 0; g < d.appGroups.size(); ++g) {
        const AppGroupDef& group = d.appGroups[g];
        const std::string folder = dir + "data/" + group.storageId + "/DOC/";
        std::error_code ec;
        if (!group.objects.empty() && !std::filesystem::create_directories(folder, ec) && ec) {
            errors->Add(kErrWrite, folder, "could not be made: " + ec.message());
            return false;
        }
        for (size_t o = 0; o < group.objects.size(); ++o) {
            const ObjectDef& object = group.objects[o];
            const std::string where = "application_groups." + group.name + ".objects." + object.name;
            std::string content;
            for (size_t i : members[g][o]) {
                const DocumentDef& doc = d.documents[i];
                if (!reader.Read(doc.file, doc.offset, doc.length, &data)) {
                    errors->Add(kErrDataFile, "documents[" + std::to_string(i) + "]",
                                doc.file + " cannot be read");
                    return false;
                }
                const std::string* block = &data;
                if (object.compression == 'O') {
                    if (!Deflate(data, &packed)) {
                        errors->Add(kErrWrite, "documents[" + std::to_string(i) + "]",
                                    "could not be compressed");
                        return false;
                    }
                    block = &packed;
                }
                if (content.size() + block->size() > kMaxObject) {
                    errors->Add(kErrDataFile, where,
                                "would grow past 4 GiB; spread its documents over more objects");
                    return false;
                }
                QelLocalIdxHeader& h = (*headers)[i];
                h.objName = object.name;
                h.compOff = static_cast<uint32_t>(content.size());
                h.compLen = static_cast<uint32_t>(block->size());
                h.off = 0;
                h.len = static_cast<uint32_t>(doc.length);
                h.compType = object.compression;
                h.priNid = static_cast<uint16_t>(kStorageNode);
                content += *block;
            }
            const int rc = ArcOS_WriteFileAtomic((folder + object.name).c_str(), content, 0644);
            if (rc != 0) {
                errors->Add(kErrWrite, where, std::string("could not be written: ") + std::strerror(rc));
                return false;
            }
        }
    }
    return true;
}

}  // namespace arcbuild
