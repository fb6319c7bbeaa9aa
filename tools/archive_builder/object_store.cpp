// object_store.cpp - writes the documents' data into their objects.
#include "object_store.h"

#include <zlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "arc_platform.h"
#include "page_tables.h"
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

// Reads, compresses and writes the objects, refusals into errors.
class ObjectWriter {
public:
    explicit ObjectWriter(Errors* errors) : errors_(errors) {}

    // prefix and the range's bytes, as stored with the letter ('O': one zlib stream).
    bool Block(const FileRange& range, char letter, const std::string& prefix, std::string* block,
               const std::string& where) {
        if (!reader_.Read(range.file, range.offset, range.length, &data_)) {
            errors_->Add(kErrDataFile, where, range.file + " cannot be read");
            return false;
        }
        if (!prefix.empty()) data_.insert(0, prefix);
        if (letter != 'O') {
            block->swap(data_);
            return true;
        }
        if (!Deflate(data_, block)) {
            errors_->Add(kErrWrite, where, "could not be compressed");
            return false;
        }
        return true;
    }

    bool Write(const std::string& folder, const std::string& name, const std::string& content,
               const std::string& where) {
        std::error_code ec;
        if (!std::filesystem::create_directories(folder, ec) && ec) {
            errors_->Add(kErrWrite, folder, "could not be made: " + ec.message());
            return false;
        }
        if (content.size() > kMaxObject) {
            errors_->Add(kErrDataFile, where, "an object holds at most 4 GiB");
            return false;
        }
        const int rc = ArcOS_WriteFileAtomic((folder + name).c_str(), content, 0644);
        if (rc != 0) {
            errors_->Add(kErrWrite, where, std::string("could not be written: ") + std::strerror(rc));
            return false;
        }
        return true;
    }

    // A paged document: the further segments first (the tables name their stored
    // lengths), then the first object, its page tables ahead of the first segment. The
    // row names the object with '$' (read whole), the tables' length as its stored
    // offset, and the whole expanded object as the document, as the client reads it.
    bool Paged(const DocumentDef& doc, const ObjectDef& object, const std::string& folder,
               const std::string& where, QelLocalIdxHeader* h) {
        std::vector<uint32_t> lengths;
        std::string block;
        for (size_t k = 1; k <= doc.parts.further.size(); ++k) {
            const std::string name = FurtherObjectName(object.name, k);
            if (!Block(doc.parts.further[k - 1], object.compression, "", &block, where + ".segments") ||
                !Write(folder, name, block, where))
                return false;
            lengths.push_back(static_cast<uint32_t>(block.size()));
        }
        const std::string tables = PageTables(doc.parts, object.name, lengths);
        if (!Block({doc.file, doc.offset, doc.length}, object.compression, tables, &block, where) ||
            !Write(folder, object.name, block, where))
            return false;
        h->objName = object.name + "$";
        h->compOff = static_cast<uint32_t>(tables.size());
        h->compLen = static_cast<uint32_t>(block.size());
        h->off = 0;
        h->len = 0;
        h->compType = object.compression;
        h->rid = doc.resource;
        h->priNid = static_cast<uint16_t>(kStorageNode);
        return true;
    }

private:
    Errors* errors_;
    DataReader reader_;
    std::string data_;
};

}  // namespace

bool WriteObjects(const Description& d, const std::string& dir, std::vector<QelLocalIdxHeader>* headers,
                  Errors* errors) {
    headers->assign(d.documents.size(), QelLocalIdxHeader{});
    // The documents of each object, in description order.
    std::vector<std::vector<std::vector<size_t>>> members(d.appGroups.size());
    for (size_t g = 0; g < d.appGroups.size(); ++g) members[g].resize(d.appGroups[g].objects.size());
    for (size_t i = 0; i < d.documents.size(); ++i)
        members[d.documents[i].group][d.documents[i].object].push_back(i);

    ObjectWriter writer(errors);
    for (size_t g = 0; g < d.appGroups.size(); ++g) {
        const AppGroupDef& group = d.appGroups[g];
        const std::string folder = dir + "data/" + group.storageId + "/";
        for (size_t o = 0; o < group.objects.size(); ++o) {
            const ObjectDef& object = group.objects[o];
            const std::string where = "application_groups." + group.name + ".objects." + object.name;
            const std::vector<size_t>& docs = members[g][o];
            // A paged document is its object's only document (the description checks it).
            if (docs.size() == 1 && d.documents[docs[0]].paged) {
                if (!writer.Paged(d.documents[docs[0]], object, folder + "DOC/", where, &(*headers)[docs[0]]))
                    return false;
                continue;
            }
            std::string content;
            for (size_t i : docs) {
                const DocumentDef& doc = d.documents[i];
                std::string block;
                if (!writer.Block({doc.file, doc.offset, doc.length}, object.compression, "", &block,
                                  "documents[" + std::to_string(i) + "]"))
                    return false;
                if (content.size() + block.size() > kMaxObject) {
                    errors->Add(kErrDataFile, where,
                                "would grow past 4 GiB; spread its documents over more objects");
                    return false;
                }
                QelLocalIdxHeader& h = (*headers)[i];
                h.objName = object.name;
                h.compOff = static_cast<uint32_t>(content.size());
                h.compLen = static_cast<uint32_t>(block.size());
                h.off = 0;
                h.len = static_cast<uint32_t>(doc.length);
                h.compType = object.compression;
                h.rid = doc.resource;
                h.priNid = static_cast<uint16_t>(kStorageNode);
                content += block;
            }
            if (!writer.Write(folder + "DOC/", object.name, content, where)) return false;
        }
        for (const ResourceDef& r : group.resources) {
            const std::string name = std::to_string(r.id);
            const std::string where = "application_groups." + group.name + ".resources." + name;
            std::string block;
            if (!writer.Block(r.data, r.compression, "", &block, where) ||
                !writer.Write(folder + "RES/", name, block, where))
                return false;
        }
    }
    return true;
}

}  // namespace arcbuild
