// index_rows.cpp - the index rows of an application group: "index/<NAME>.rows".
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "arc_platform.h"
#include "local_state.h"
#include "qel_local.h"
#include "write_lock.h"

using namespace qel::local::detail;

namespace {

struct RowFile {
    std::string path;
    int32_t fieldCount = 0;
};

int ReadRowFile(int32_t agid, RowFile* file) {
    TableFile ag;
    if (LoadTable(QELLOCAL_TBL_AG, &ag) != CS_OK) return CS_FAILED;
    std::string s = Row(agid);
    std::string name;
    if (ag.LongText(s, "NAME", &name, CS_FAILED, nullptr, 60) != CS_OK ||
        ag.Int32(s, "FLDS_NUM", &file->fieldCount, CS_FAILED, 0) != CS_OK || file->fieldCount <= 0)
        return CS_FAILED;
    std::optional<std::string> path = FileInFolder(QELLOCAL_DIR_INDEX, name + ".rows");
    if (!path) return CS_FAILED;
    file->path = *path;
    return CS_OK;
}

// A value never holds the row's separators: backslash, tab, CR and LF are escaped.
void Escape(const std::string& value, std::string* line) {
    for (char c : value) {
        switch (c) {
            case '\\': *line += "\\\\"; break;
            case '\t': *line += "\\t"; break;
            case '\n': *line += "\\n"; break;
            case '\r': *line += "\\r"; break;
            default: *line += c;
        }
    }
}

bool Unescape(std::string_view text, std::vector<std::string>* values) {
    values->assign(1, std::string());
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\t') {
            values->emplace_back();
        } else if (c != '\\') {
            values->back() += c;
        } else {
            if (++i == text.size()) return false;
            switch (text[i]) {
                case '\\': values->back() += '\\'; break;
                case 't': values->back() += '\t'; break;
                case 'n': values->back() += '\n'; break;
                case 'r': values->back() += '\r'; break;
                default: return false;
            }
        }
    }
    return true;
}

// Writes all of the bytes and syncs them: false on any failure.
bool WriteSynced(int fd, std::string_view data) {
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += size_t(n);
    }
    return ::fsync(fd) == 0;
}

// Appends the whole line or nothing: a short write is cut off again.
int Append(const std::string& path, const std::string& line) {
    std::error_code ignored;  // a folder that cannot be made fails the open below
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
    int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return CS_FAILED;
    struct stat before {};
    int rc = ::fstat(fd, &before) == 0 ? CS_OK : CS_FAILED;
    if (rc == CS_OK) {
        if (!WriteSynced(fd, line)) {
            if (::ftruncate(fd, before.st_size) == 0) ::fsync(fd);
            rc = CS_FAILED;
        }
    }
    ::close(fd);
    return rc;
}

// A row's document lives beside the rows: "<NAME>.rows" keeps it in "<NAME>.docs/".
std::string DocumentPath(const RowFile& file, const std::string& name) {
    std::string path = file.path;
    path.replace(path.size() - 5, 5, ".docs/");
    return path + name;
}

// Document names are 16 hex digits from the kernel's random source; a row that names
// anything else (a path, say) is damaged.
constexpr size_t kDocumentNameSize = 16;

bool DocumentName(const std::string& name) {
    if (name.size() != kDocumentNameSize) return false;
    for (char c : name)
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
    return true;
}

// Writes the document to a new file (never one that exists, never through a link): CS_OK
// with *path, or CS_FAILED with nothing left behind.
int WriteDocument(const RowFile& file, std::string_view data, std::string* name, std::string* path) {
    unsigned char bytes[kDocumentNameSize / 2] = {};
    if (ArcOS_RandomBytes(bytes, sizeof bytes) != 0) return CS_FAILED;
    name->clear();
    for (unsigned char b : bytes) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02X", b);
        *name += hex;
    }
    *path = DocumentPath(file, *name);
    std::error_code ignored;  // a folder that cannot be made fails the open below
    std::filesystem::create_directories(std::filesystem::path(*path).parent_path(), ignored);
    int fd = ::open(path->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return CS_FAILED;
    const bool whole = WriteSynced(fd, data);
    ::close(fd);
    if (whole) return CS_OK;
    ::unlink(path->c_str());
    return CS_FAILED;
}

int AddRow(int32_t agid, const std::vector<std::string>& values, const std::string_view* document) {
    Request request;
    if (!request.Ready()) return CS_FAILED;
    WriteLock lock(request.state().directory);
    if (!lock.Held()) return CS_FAILED;
    RowFile file;
    if (ReadRowFile(agid, &file) != CS_OK || values.size() != size_t(file.fieldCount)) return CS_FAILED;
    std::string line;
    for (size_t i = 0; i < values.size(); ++i) {
        if (i > 0) line += '\t';
        Escape(values[i], &line);
    }
    std::string name, path;
    if (document != nullptr) {
        if (WriteDocument(file, *document, &name, &path) != CS_OK) return CS_FAILED;
        line += '\t' + name;
    }
    line += '\n';
    const int rc = Append(file.path, line);
    // A row that was not written takes its document with it.
    if (rc != CS_OK && !path.empty()) ::unlink(path.c_str());
    return rc;
}

int ReadRows(int32_t agid, RowFile* file, std::vector<std::vector<std::string>>* rows,
             std::vector<std::string>* documents) {
    rows->clear();
    documents->clear();
    if (ReadRowFile(agid, file) != CS_OK) return CS_FAILED;
    std::ifstream in(file->path, std::ios::binary);
    if (!in) return CS_NOT_FOUND;
    std::stringstream whole;
    whole << in.rdbuf();
    std::string text = whole.str();
    const size_t count = size_t(file->fieldCount);
    size_t start = 0;
    // A last line without its line end is an append that did not finish: not a row.
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        std::vector<std::string> values;
        if (!Unescape(std::string_view(text).substr(start, end - start), &values)) return CS_FAILED;
        // One value more is the name of the row's document.
        std::string document;
        if (values.size() == count + 1) {
            document = std::move(values.back());
            values.pop_back();
            if (!DocumentName(document)) return CS_FAILED;
        }
        if (values.size() != count) return CS_FAILED;
        rows->push_back(std::move(values));
        documents->push_back(std::move(document));
    }
    return rows->empty() ? CS_NOT_FOUND : CS_OK;
}

}  // namespace

int QelLocal_AddIndexRow(CsHandle*, int32_t agid, const std::vector<std::string>& values) {
    return AddRow(agid, values, nullptr);
}

int QelLocal_AddIndexRow(CsHandle*, int32_t agid, const std::vector<std::string>& values,
                         std::string_view document) {
    return AddRow(agid, values, &document);
}

int QelLocal_ReadIndexRows(CsHandle*, int32_t agid, std::vector<std::vector<std::string>>* rows) {
    std::vector<std::string> documents;
    return QelLocal_ReadIndexRows(nullptr, agid, rows, &documents);
}

int QelLocal_ReadIndexRows(CsHandle*, int32_t agid, std::vector<std::vector<std::string>>* rows,
                           std::vector<std::string>* documents) {
    if (rows == nullptr || documents == nullptr) return CS_FAILED;
    rows->clear();
    documents->clear();
    Request request;
    if (!request.Ready()) return CS_FAILED;
    RowFile file;
    return ReadRows(agid, &file, rows, documents);
}

int QelLocal_ReadIndexRowDocument(CsHandle*, int32_t agid, size_t index, std::string* data) {
    if (data == nullptr) return CS_FAILED;
    data->clear();
    Request request;
    if (!request.Ready()) return CS_FAILED;
    RowFile file;
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> documents;
    const int rc = ReadRows(agid, &file, &rows, &documents);
    if (rc != CS_OK) return rc;
    if (index >= documents.size() || documents[index].empty()) return CS_NOT_FOUND;
    std::ifstream in(DocumentPath(file, documents[index]), std::ios::binary);
    if (!in) return CS_FAILED;  // the row names a document that is gone
    std::stringstream whole;
    whole << in.rdbuf();
    if (in.bad()) return CS_FAILED;
    *data = whole.str();
    return CS_OK;
}
