// bulk_log.cpp - the bulk retrieval log: its temporary file, its steps and the report.
#include "bulk_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <optional>
#include <string>

#include "arc_codepage.h"
#include "arc_platform.h"
#include "cache_messages.h"
#include "qel_cscommon.h"
#include "qel_cshandle.h"
#include "qel_cswire.h"
#include "sm_messages.h"

using namespace qelsm::detail;

namespace {

constexpr const char* kSource = "Qelcssm";
constexpr int kMsgConverter = 230;
constexpr int32_t kUtf8 = 1208;
constexpr uint8_t kFieldLogged = 0x20;  // the field's value goes into the report
constexpr int kColumns = 86;

void FileFailure(SmBulkLog* log, int row, int error, int line) {
    if (log->handle != nullptr) FileMessage(log->handle, row, log->fileName.c_str(), error, line);
    log->status = CS_FAILED;
}

ArcIconvContext* CodePages(const CsHandle* handle) {
    if (handle != nullptr && handle->iconv != nullptr) return handle->iconv;
    static ArcIconvContext* context = nullptr;
    static std::once_flag once;
    std::call_once(once, [] {
        if (ArcICONV_Startup(&context, nullptr) != 0) context = nullptr;
    });
    return context;
}

int32_t HandleCcsid(const CsHandle* handle) {
    if (handle != nullptr && handle->localCcsid != 0) return handle->localCcsid;
    return ArcOS_GetCodePage();
}

// Drops the file of an earlier use of the record: closed, and removed when it was ours.
void DropFile(SmBulkLog* log) {
    log->file.reset();
    if (log->ownsFile && !log->fileName.empty()) ArcOS_Unlink(log->fileName.c_str());
    log->ownsFile = false;
    log->fileName.clear();
}

// The name is not guessable: a random part follows the process id, so no other user can
// plant a file or link under it ahead of step 1.
std::optional<std::string> MakeName() {
    std::optional<std::string> dir = cscommon::TempDirectory();
    if (!dir) return std::nullopt;
    unsigned char random[8];
    if (ArcOS_RandomBytes(random, sizeof random) != 0) return std::nullopt;
    std::string name = *dir + "QEL." + std::to_string(ArcOS_GetProcessId()) + ".BULKLOG.";
    static constexpr char kHex[] = "0123456789abcdef";
    for (unsigned char byte : random) {
        name += kHex[byte >> 4];
        name += kHex[byte & 0x0F];
    }
    return name;
}

void Start(SmBulkLog* log) {
    DropFile(log);
    log->status = CS_OK;
    log->atEnd = false;
    log->count = 0;
    log->text.clear();
    log->converter.reset();
    log->lines = 0;
    log->disabledGroups = 0;
    log->lastGroup = nullptr;
    log->formatting = false;

    std::optional<std::string> name = MakeName();
    if (!name) {
        log->status = CS_NO_MEMORY;
        return;
    }
    log->fileName = std::move(*name);

    const int32_t source = HandleCcsid(log->handle);
    ArcIconvContext* pages = CodePages(log->handle);
    ArcIconvHandle* converter = nullptr;
    if (pages == nullptr || ArcICONV_Open(pages, source, kUtf8, &converter) != ARC_ICONV_OK) {
        converter = nullptr;
        if (log->handle != nullptr) {
            const std::string from = std::to_string(source);
            const std::string to = std::to_string(kUtf8);
            CsIssueMessageV(log->handle, kMsgConverter, 'S', from.c_str(), 'S', to.c_str(), 'S', kSource, 'I',
                            int32_t(__LINE__), 'V');
        }
    }
    log->converter.reset(converter);
    log->formatting = true;
}

// Exclusive creation, mode 0600, never through a link: a name that exists is an error
// and whatever is there stays untouched.
void Open(SmBulkLog* log) {
    if (log->fileName.empty()) {
        FileFailure(log, kMsgOpen, ENOENT, __LINE__);
        return;
    }
    const int fd = ::open(log->fileName.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        FileFailure(log, kMsgOpen, errno, __LINE__);
        return;
    }
    log->ownsFile = true;
    std::FILE* file = ::fdopen(fd, "w+");
    if (file == nullptr) {
        const int error = errno;
        ::close(fd);
        FileFailure(log, kMsgOpen, error, __LINE__);
        return;
    }
    log->file.reset(file);
}

void Read(SmBulkLog* log) {
    log->count = 0;
    if (!log->file) {
        FileFailure(log, kMsgRead, EBADF, __LINE__);
        return;
    }
    errno = 0;
    const size_t n = std::fread(log->buffer.data(), 1, log->buffer.size(), log->file.get());
    if (n == 0) {
        if (std::ferror(log->file.get())) {
            FileFailure(log, kMsgRead, errno != 0 ? errno : EIO, __LINE__);
            return;
        }
        log->atEnd = true;
    }
    log->count = n;
}

void WriteBytes(SmBulkLog* log, const char* data, size_t length) {
    if (!log->file) {
        FileFailure(log, kMsgWrite, EBADF, __LINE__);
        return;
    }
    if (length == 0) return;
    errno = 0;
    if (std::fwrite(data, 1, length, log->file.get()) != length)
        FileFailure(log, kMsgWrite, errno != 0 ? errno : EIO, __LINE__);
}

// Formats into text, growing it to whatever the arguments need.
bool Format(std::string* text, const char* format, va_list args) {
    va_list again;
    va_copy(again, args);
    char small[256];
    const int needed = std::vsnprintf(small, sizeof small, format, args);
    if (needed < 0) {
        va_end(again);
        return false;
    }
    if (size_t(needed) < sizeof small) {
        text->assign(small, size_t(needed));
    } else {
        text->assign(size_t(needed) + 1, '\0');
        std::vsnprintf(text->data(), text->size(), format, again);
        text->resize(size_t(needed));
    }
    va_end(again);
    return true;
}

void Write(SmBulkLog* log, const char* format, va_list args) {
    std::string direct;
    std::string* text = log->formatting ? &log->text : &direct;
    if (!Format(text, format, args)) {
        FileFailure(log, kMsgWrite, EINVAL, __LINE__);
        return;
    }
    if (log->converter && !text->empty()) {
        char* converted = nullptr;
        size_t length = 0;
        if (ArcICONV_ConvertAlloc(log->converter.get(), text->data(), text->size(), &converted, &length) ==
            ARC_ICONV_OK) {
            std::unique_ptr<char, decltype(&std::free)> owned(converted, &std::free);
            WriteBytes(log, converted, length);
            return;
        }
        // A text that does not convert still goes into the report, as it stands.
    }
    WriteBytes(log, text->data(), text->size());
}

void Rewind(SmBulkLog* log) {
    if (!log->file) {
        FileFailure(log, kMsgWrite, EBADF, __LINE__);
        return;
    }
    if (std::fflush(log->file.get()) != 0) {
        FileFailure(log, kMsgWrite, errno, __LINE__);
        return;
    }
    if (ArcOS_FSeek(log->file.get(), 0, SEEK_SET) != 0) {
        const int error = errno;
        if (log->handle != nullptr) SeekMessage(log->handle, log->fileName.c_str(), 0, error, __LINE__);
        log->status = CS_FAILED;
        return;
    }
    std::clearerr(log->file.get());
    log->atEnd = false;
    log->count = 0;
}

void Close(SmBulkLog* log) {
    std::FILE* file = log->file.release();
    if (file != nullptr && std::fclose(file) != 0) FileFailure(log, kMsgClose, errno, __LINE__);
}

void Remove(SmBulkLog* log) {
    log->formatting = false;
    std::string().swap(log->text);
    log->converter.reset();
    log->file.reset();
    if (log->fileName.empty()) return;
    if (log->ownsFile && ArcOS_Unlink(log->fileName.c_str()) != 0) {
        FileFailure(log, kMsgUnlink, errno, __LINE__);
        return;
    }
    log->ownsFile = false;
    log->fileName.clear();
}

int Printf(SmBulkLog* log, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int status = SmBulkLogVPrintf(log, format, args);
    va_end(args);
    return status;
}

void PageHeader(SmBulkLog* log) {
    if (log->lines != 0 && Printf(log, "\f") != CS_OK) return;
    std::string columns(kColumns, ' ');
    columns.replace(0, 17, "Application Group");
    columns.replace(61, 4, "Agid");
    columns.replace(74, 12, "Flds->Handle");
    const std::string rule(kColumns, '-');
    Printf(log, "BULK DOCUMENT RETRIEVAL\n\n%s\n%s\n", columns.c_str(), rule.c_str());
    log->lastGroup = nullptr;
}

// One field value with its separator; a missing value or one of another type than its
// field is written empty.
void FieldValue(SmBulkLog* log, const CsXdrFieldDef& field, const CsXdrValue* value, const char* separator) {
    const bool matches = value != nullptr && value->type == field.type;
    switch (field.type) {
        case 'B':
            if (matches) {
                Printf(log, "%s%" PRId64, separator, value->v.big);
                return;
            }
            break;
        case 'D':
            if (matches) {
                Printf(log, "%s%.2f", separator, value->v.real);
                return;
            }
            break;
        case 'I':
            if (matches) {
                Printf(log, "%s%ld", separator, long(value->v.integer));
                return;
            }
            break;
        case 'N':
            if (matches) {
                Printf(log, "%s%hd", separator, value->v.small);
                return;
            }
            break;
        default: {
            const bool text = matches && (field.type == 'S' || field.type == 'T') && value->v.text != nullptr;
            Printf(log, "%s'%s'", separator, text ? value->v.text : "");
            return;
        }
    }
    Printf(log, "%s", separator);
}

// The line's object handle; notes: the row's note byte (annotation flags).
void ObjectHandle(SmBulkLog* log, const char* name, uint32_t offset, uint32_t length,
                  uint32_t compressedOffset, uint32_t compressedLength, uint8_t notes, char compression,
                  uint32_t resourceId, uint16_t primaryNode, uint16_t secondaryNode) {
    Printf(log, "->%s,%ld,%ld,%ld,%ld,0x%02X,0x%02X,%ld,%hd,%hd\n", name, long(offset), long(length),
           long(compressedOffset), long(compressedLength), unsigned(notes),
           unsigned(static_cast<unsigned char>(compression)), long(resourceId), int16_t(primaryNode),
           int16_t(secondaryNode));
}

}  // namespace

void SmBulkLogFileCloser::operator()(std::FILE* file) const { std::fclose(file); }
void SmBulkLogConverterCloser::operator()(ArcIconvHandle* converter) const { ArcICONV_Close(converter); }

SmBulkLog::~SmBulkLog() { DropFile(this); }

int SmBulkLogStep(SmBulkLog* log, int step) {
    if (log == nullptr) return CS_FAILED;
    if (step != SM_BULKLOG_START && log->status != CS_OK) return log->status;
    try {
        switch (step) {
            case SM_BULKLOG_START: Start(log); break;
            case SM_BULKLOG_OPEN: Open(log); break;
            case SM_BULKLOG_READ: Read(log); break;
            case SM_BULKLOG_WRITE: break;
            case SM_BULKLOG_REWIND: Rewind(log); break;
            case SM_BULKLOG_CLOSE: Close(log); break;
            case SM_BULKLOG_REMOVE: Remove(log); break;
            default: log->status = CS_FAILED; break;
        }
    } catch (const std::bad_alloc&) {
        log->status = CS_NO_MEMORY;
    }
    return log->status;
}

int SmBulkLogVPrintf(SmBulkLog* log, const char* format, va_list args) {
    if (log == nullptr) return CS_FAILED;
    if (log->status != CS_OK) return log->status;
    if (format == nullptr) return log->status;
    try {
        Write(log, format, args);
    } catch (const std::bad_alloc&) {
        log->status = CS_NO_MEMORY;
    }
    return log->status;
}

int SmBulkLogPrintf(SmBulkLog* log, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int status = SmBulkLogVPrintf(log, format, args);
    va_end(args);
    return status;
}

namespace {

// The start of a report line: the page header every 60 lines, then the group columns
// (empty when the group is the previous line's).
void LineHead(SmBulkLog* log, const void* key, const std::string& name, long number) {
    if (log->lines % SM_BULKLOG_PAGE_LINES == 0) PageHeader(log);
    ++log->lines;
    std::string shown;
    std::string id;
    if (key != log->lastGroup) {
        shown = name;
        id = std::to_string(number);
    }
    log->lastGroup = key;
    Printf(log, "%-*.*s %-12s ", 60, 60, shown.c_str(), id.c_str());
}

void Disabled(SmBulkLog* log) {
    ++log->disabledGroups;
    Printf(log, "--LOGGING DISABLED--\n");
}

}  // namespace

int SmBulkLogLine(SmBulkLog* log, const CsXdrApplGroup* group, const CsXdrHitRow* hit, bool processed) {
    if (log == nullptr || group == nullptr) return log != nullptr ? (log->status = CS_FAILED) : CS_FAILED;
    if (log->status != CS_OK) return log->status;
    try {
        LineHead(log, group, std::string(group->name, strnlen(group->name, sizeof group->name)),
                 long(group->number));
        if (hit == nullptr) {
            Disabled(log);
            return log->status;
        }
        if (!processed) Printf(log, "--NOT PROCESSED-- ");
        const char* separator = "";
        for (uint16_t i = 0; i < group->fieldCount && group->fields != nullptr; ++i) {
            const CsXdrFieldDef& field = group->fields[i];
            if ((field.flags & kFieldLogged) == 0) continue;
            const CsXdrValue* value =
                hit->values != nullptr && i < hit->valueCount ? &hit->values[i] : nullptr;
            FieldValue(log, field, value, separator);
            separator = ",";
        }
        static const CsXdrObjectRef kNone{};
        const CsXdrObjectRef& o = hit->object != nullptr ? *hit->object : kNone;
        ObjectHandle(log, o.name != nullptr ? o.name : "", o.offset, o.length, o.compressedOffset,
                     o.compressedLength, hit->noteFlag, o.compression, o.resourceId, o.primaryNode,
                     o.secondaryNode);
    } catch (const std::bad_alloc&) {
        log->status = CS_NO_MEMORY;
    }
    return log->status;
}

int SmBulkLogPrintLine(SmBulkLog* log, const SmPrintGroup& group, const SmPrintDoc* doc, bool processed) {
    if (log == nullptr) return CS_FAILED;
    if (log->status != CS_OK) return log->status;
    try {
        LineHead(log, &group, group.name, long(group.number));
        if (doc == nullptr) {
            Disabled(log);
            return log->status;
        }
        if (!processed) Printf(log, "--NOT PROCESSED-- ");
        const char* separator = "";
        for (size_t i = 0; i < group.fields.size(); ++i) {
            const SmPrintField& field = group.fields[i];
            if (!field.logged) continue;
            const SmPrintValue none;
            const SmPrintValue& value = i < doc->values.size() ? doc->values[i] : none;
            const int64_t* number = std::get_if<int64_t>(&value);
            switch (field.type) {
                case 'B':
                case 'I':
                    if (number != nullptr)
                        Printf(log, "%s%" PRId64, separator, *number);
                    else
                        Printf(log, "%s", separator);
                    break;
                case 'N':
                    if (number != nullptr)
                        Printf(log, "%s%hd", separator, int16_t(*number));
                    else
                        Printf(log, "%s", separator);
                    break;
                case 'D':
                    if (const double* real = std::get_if<double>(&value))
                        Printf(log, "%s%.2f", separator, *real);
                    else
                        Printf(log, "%s", separator);
                    break;
                default: {
                    const std::string* text = std::get_if<std::string>(&value);
                    Printf(log, "%s'%s'", separator, text != nullptr ? text->c_str() : "");
                    break;
                }
            }
            separator = ",";
        }
        const SmPrintObject& o = doc->object;
        ObjectHandle(log, o.name.c_str(), o.offset, o.length, o.compressedOffset, o.compressedLength,
                     o.annotations, o.compression, o.resourceId, o.primaryNode, o.secondaryNode);
    } catch (const std::bad_alloc&) {
        log->status = CS_NO_MEMORY;
    }
    return log->status;
}

int SmBulkLogRead(SmBulkLog* log, const unsigned char** data, size_t* length) {
    if (data != nullptr) *data = nullptr;
    if (length != nullptr) *length = 0;
    if (log == nullptr || log->status != CS_OK || log->atEnd) return 0;
    if (SmBulkLogStep(log, SM_BULKLOG_READ) != CS_OK) return 0;
    if (data != nullptr) *data = log->buffer.data();
    if (length != nullptr) *length = log->count;
    return 0;
}

int SmBulkLogIssue(SmBulkLog* log, int row, const CsMessageArgs& args,
                   const std::function<void(const unsigned char* data, size_t length)>& report) {
    if (log == nullptr) return CS_FAILED;
    const CsMessageData data = [log](const unsigned char** piece, size_t* length) {
        SmBulkLogRead(log, piece, length);
    };
    CsHandle* handle = log->handle;
    void* saved = handle != nullptr ? handle->callbackContext : nullptr;
    if (handle != nullptr) handle->callbackContext = log;
    CsIssueMessageArgs(handle, row, args, 'N', data);
    if (handle != nullptr) handle->callbackContext = saved;
    if (report && SmBulkLogStep(log, SM_BULKLOG_REWIND) == CS_OK) {
        for (;;) {
            const unsigned char* piece = nullptr;
            size_t length = 0;
            SmBulkLogRead(log, &piece, &length);
            if (piece == nullptr || length == 0) break;
            report(piece, length);
        }
    }
    return log->status;
}
