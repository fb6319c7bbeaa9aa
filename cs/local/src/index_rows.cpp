// index_rows.cpp - the index rows of an application group: "index/<NAME>.rows".
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>

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

// Appends the whole line or nothing: a short write is cut off again.
int Append(const std::string& path, const std::string& line) {
    std::error_code ignored;  // a folder that cannot be made fails the open below
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
    int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return CS_FAILED;
    struct stat before {};
    int rc = ::fstat(fd, &before) == 0 ? CS_OK : CS_FAILED;
    if (rc == CS_OK) {
        size_t done = 0;
        while (done < line.size()) {
            ssize_t n = ::write(fd, line.data() + done, line.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            done += size_t(n);
        }
        if (done != line.size() || ::fsync(fd) != 0) {
            if (::ftruncate(fd, before.st_size) == 0) ::fsync(fd);
            rc = CS_FAILED;
        }
    }
    ::close(fd);
    return rc;
}

}  // namespace

int QelLocal_AddIndexRow(CsHandle*, int32_t agid, const std::vector<std::string>& values) {
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
    line += '\n';
    return Append(file.path, line);
}

int QelLocal_ReadIndexRows(CsHandle*, int32_t agid, std::vector<std::vector<std::string>>* rows) {
    if (rows == nullptr) return CS_FAILED;
    rows->clear();
    Request request;
    if (!request.Ready()) return CS_FAILED;
    RowFile file;
    if (ReadRowFile(agid, &file) != CS_OK) return CS_FAILED;
    std::ifstream in(file.path, std::ios::binary);
    if (!in) return CS_NOT_FOUND;
    std::stringstream whole;
    whole << in.rdbuf();
    std::string text = whole.str();
    size_t start = 0;
    // A last line without its line end is an append that did not finish: not a row.
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        std::vector<std::string> values;
        if (!Unescape(std::string_view(text).substr(start, end - start), &values) ||
            values.size() != size_t(file.fieldCount))
            return CS_FAILED;
        rows->push_back(std::move(values));
    }
    return rows->empty() ? CS_NOT_FOUND : CS_OK;
}
