// server_print.cpp - the print and text-search run: gather jobs, write resources, route
// the bulk retrieval's data, expand multi-part documents, then start the print script
// per job or search each job file; the control file, the timing message and clean-up.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <new>

#include "arc_install.h"
#include "arc_platform.h"
#include "bulk_log.h"
#include "qel_cscommon.h"
#include "server_config.h"
#include "server_print_state.h"

using namespace qelsm::detail;

namespace {

constexpr const char* kSource = "Qelcssm";

int SettingOf(CsHandle* handle, const char* key, int fallback) {
    auto value = SectionValue(handle, "CFG", key);
    return value ? int(ArcOS_AToI64(value->c_str())) : fallback;
}

// The print directories: elements 1, 2, ... of QEL_PRINT_PATH up to the first that does
// not exist; without a list (or without one that exists) the temporary directory.
std::vector<std::string> PrintDirectories() {
    std::vector<std::string> dirs;
    auto list = ArcOS_GetEnv("QEL_PRINT_PATH");
    if (list && !list->empty()) {
        for (int n = 1;; ++n) {
            auto dir = cscommon::DirFromList(n, list->c_str());
            if (!dir || !ArcOS_IsDirectory(dir->c_str())) break;
            dirs.push_back(*dir);
        }
    }
    if (dirs.empty()) {
        auto temp = cscommon::TempDirectory();
        if (temp) dirs.push_back(*temp);
    }
    return dirs;
}

int RunNumber() {
    uint32_t value = 0;
    if (ArcOS_RandomBytes(&value, sizeof value) != 0) value = uint32_t(ArcOS_Random());
    return int(value & 0x7FFFFFFF);
}

std::string FileName(const std::string& dir, int run, const std::string& second) {
    return dir + "QEL." + std::to_string(ArcOS_GetProcessId()) + "." +
           std::to_string(static_cast<int64_t>(ArcOS_GetThreadId())) + "." + std::to_string(run) + "." +
           second;
}

bool HasDollar(const SmPrintDoc& doc) { return doc.object.name.find('$') != std::string::npos; }

bool ContainsDataTypePs(const std::optional<std::string>& norla) {
    if (!norla) return false;
    std::string upper;
    for (char c : *norla) upper += char(c >= 'a' && c <= 'z' ? c - 32 : c);
    auto at = upper.find("DATATYPE=");
    return at != std::string::npos && upper.compare(at + 9, 2, "PS") == 0;
}

std::string FormatValue(char type, const SmPrintValue& value) {
    char text[64];
    switch (type) {
        case 'B':
        case 'I':
            if (auto* v = std::get_if<int64_t>(&value)) return std::to_string(*v);
            return "0";
        case 'N':
            if (auto* v = std::get_if<int64_t>(&value)) return std::to_string(int16_t(*v));
            return "0";
        case 'D':
            std::snprintf(text, sizeof text, "%.2f",
                          std::holds_alternative<double>(value) ? std::get<double>(value) : 0.0);
            return text;
        case 'S':
            if (auto* v = std::get_if<std::string>(&value)) return *v;
            return "";
        default: return "";
    }
}

std::string ControlLine(const SmPrintJob& job, const SmPrintDoc& doc) {
    const SmPrintGroup& group = *job.group;
    std::string line = "Application Group=" + group.name + "\t";
    for (size_t i = 0; i < group.fields.size(); ++i) {
        line += group.fields[i].name + "=";
        if (i < doc.values.size()) line += FormatValue(group.fields[i].type, doc.values[i]);
        line += "\t";
    }
    const SmPrintObject& o = doc.object;
    char numbers[256];
    std::snprintf(
        numbers, sizeof numbers,
        "\tOff=%lu\tLen=%lu\tCompOff=%lu\tCompLen=%lu\tAnnot=0x%02X\tCompType=0x%02X\tRid=%lu\tPriNid=%hu"
        "\tSecNid=%hu",
        (unsigned long)o.offset, (unsigned long)o.length, (unsigned long)o.compressedOffset,
        (unsigned long)o.compressedLength, unsigned(o.annotations), unsigned(uint8_t(o.compression)),
        (unsigned long)o.resourceId, o.primaryNode, o.secondaryNode);
    line += "ObjName=" + o.name + numbers;
    line += "\tFile=" + job.file + "\tSubmitted=" + (job.submitted > 0 ? "1" : "0") + "\n";
    return line;
}

class Run {
public:
    Run(CsHandle* handle, const SmPrintRunArgs& args) : handle_(handle), args_(args) { ctx_.handle = handle; }
    ~Run() { CleanUp(); }
    int Go();

private:
    bool Printing() const { return bool(args_.printItems); }
    void Fail(int rc) {
        if (result_ == 0) result_ = rc;
    }
    bool Cancelled() { return args_.services.pollCancel && args_.services.pollCancel(handle_) != 0; }
    void Gather();
    SmPrintJob* NewJob(const SmPrintItem& item, const std::shared_ptr<const SmPrintGroup>& group,
                       const std::shared_ptr<const SmPrintAppl>& appl);
    void Resources();
    int Retrieve();
    void SearchPass();
    void Expand();
    void Submit(SmPrintJob& job);
    int ControlTexts(SmPrintJob& job, std::vector<std::string>* made);
    int ConvertPostScript(SmPrintJob& job);
    int StartScript(SmPrintJob& job);
    int Search(SmPrintJob& job, int32_t* answer);
    void SearchExpanded();
    void ControlFile();
    void OpenLog();
    void Report();
    void CleanUp();

    CsHandle* handle_;
    const SmPrintRunArgs& args_;
    SmPrintContext ctx_;
    int result_ = 0;
    int controlSetting_ = 0;
    int resourcesSetting_ = 1;
    std::vector<std::string> dirs_;
    size_t nextDir_ = 0;
    int run_ = 0;
    std::string receiver_;
    std::string pages_;
    std::string notes_;
    int pending_ = 0;
    int searchPending_ = 0;  // multi-part jobs the text search still has to see whole
    size_t firstAdded_ = 0;
    QelTimer timer_{};
    std::unique_ptr<SmBulkLog> log_;  // the run's report, opened before the first retrieval
    bool cleaned_ = false;
};

SmPrintJob* Run::NewJob(const SmPrintItem& item, const std::shared_ptr<const SmPrintGroup>& group,
                        const std::shared_ptr<const SmPrintAppl>& appl) {
    auto job = std::make_unique<SmPrintJob>();
    job->group = group;
    job->appl = appl;
    job->resourceId = item.doc->object.resourceId;
    job->copies = SmPrintCopies(args_.options);
    job->state = HasDollar(*item.doc) ? 1 : 0;
    job->word = Printing() ? 0 : item.word;
    job->firstEntry = int(ctx_.entries.size());
    job->entryCount = 1;
    const std::string& dir = dirs_[nextDir_];
    nextDir_ = (nextDir_ + 1) % dirs_.size();
    std::string name = FileName(dir, run_, std::to_string(job->firstEntry));
    if (SmPrintWriteNew(handle_, name, {}) != 0) {
        Fail(CS_FAILED);
        return nullptr;
    }
    job->file = std::move(name);
    ctx_.jobs.push_back(std::move(job));
    return ctx_.jobs.back().get();
}

void Run::Gather() {
    const SmPrintItemFn& source = Printing() ? args_.printItems : args_.searchItems;
    std::shared_ptr<const SmPrintGroup> group;
    std::shared_ptr<const SmPrintAppl> appl;
    const SmPrintDoc* previous = nullptr;
    for (;;) {
        SmPrintItem item;
        if (source(&item) != 0) return Fail(CS_CANCELLED);
        if (!item.doc) return;
        if (HasDollar(*item.doc)) ++pending_;
        if (item.group) {
            if (!item.appl) return Fail(CS_FAILED);
            group = item.group;
        } else if (!group) {
            return Fail(CS_FAILED);
        }
        const bool withoutAppl = !item.appl;
        if (item.appl) {
            appl = item.appl;
        } else if (!appl) {
            return Fail(CS_FAILED);
        }
        SmPrintJob* job = nullptr;
        const bool joins = withoutAppl && previous != nullptr &&
                           item.doc->object.resourceId == previous->object.resourceId &&
                           appl->dataType == 'A' && !HasDollar(*item.doc) && !HasDollar(*previous) &&
                           args_.printer != nullptr && resourcesSetting_ != 0;
        if (joins) {
            job = ctx_.jobs.back().get();
            ++job->entryCount;
        } else {
            job = NewJob(item, group, appl);
            if (job == nullptr) return;
        }
        SmPrintEntry entry;
        entry.writer = !joins;
        entry.doc = item.doc;
        entry.job = job;
        ctx_.entries.push_back(std::move(entry));
        previous = item.doc.get();
    }
}

void Run::Resources() {
    const SmPrintJob* previous = nullptr;  // the last job whose resources were written
    for (auto& owned : ctx_.jobs) {
        SmPrintJob& job = *owned;
        if ((job.group->permissions & SM_PERMIT_PRINT) == 0) {
            CsIssueMessageV(handle_, kMsgPrintPermission, 'S', handle_->identity.userId, 'S', kSource, 'I',
                            int32_t(__LINE__), 'V');
            return Fail(CS_NOT_AUTHORISED);
        }
        if (resourcesSetting_ != 0 && job.resourceId != 0) {
            int status = 0;
            if (previous != nullptr && previous->group == job.group &&
                previous->resourceId == job.resourceId) {
                std::string data;
                status = SmPrintReadAll(handle_, previous->file, &data);
                if (status == 0)
                    status = SmPrintAppend(handle_, job.file,
                                           reinterpret_cast<const unsigned char*>(data.data()), data.size());
                if (status != 0) return Fail(CS_FAILED);
            } else {
                if (!args_.services.resources) return Fail(CS_FAILED);
                SmPrintSink sink = [&](const unsigned char* data, size_t length) {
                    if (status == 0 && length > 0) status = SmPrintAppend(handle_, job.file, data, length);
                };
                const SmPrintDoc& first = *ctx_.entries[size_t(job.firstEntry)].doc;
                int rc = args_.services.resources(handle_, *job.group, first, sink);
                if (rc != 0) return Fail(rc);
                if (status != 0) return Fail(CS_FAILED);
            }
            previous = &job;
        }
        if (Cancelled()) return Fail(CS_CANCELLED);
    }
}

int Run::Retrieve() {
    if (!args_.services.bulkRetrieve) return CS_FAILED;
    SmBulkFeed feed;
    feed.next = [this](const SmPrintGroup** group, const SmPrintDoc** doc, int* entry) {
        return SmPrintNextItem(&ctx_, group, doc, entry);
    };
    feed.expect = [this](uint64_t expected, int entry) { SmPrintExpectObject(&ctx_, expected, entry); };
    feed.data = [this](const unsigned char* data, size_t length) {
        return SmPrintDataCallback(&ctx_, data, length);
    };
    int rc = args_.services.bulkRetrieve(handle_, feed);
    if (rc != 0) return rc;
    return ctx_.status != 0 ? CS_FAILED : CS_OK;
}

int Run::Search(SmPrintJob& job, int32_t* answer) {
    *answer = 0;
    if (!args_.services.searchExit) return CS_FAILED;
    return args_.services.searchExit(handle_, *job.group, *job.appl, job.file, answer);
}

void Run::SearchPass() {
    for (auto& owned : ctx_.jobs) {
        SmPrintJob& job = *owned;
        int32_t answer = 0;
        int rc = Search(job, &answer);
        if (rc != 0) return Fail(rc);
        if (answer != 0) {
            if (job.state > 0) --pending_;
            job.state = -1;
            if (args_.answer) args_.answer(job.word, answer);
        } else if (job.state == 0) {
            job.state = -1;
        }
        if (job.state <= 0) {
            ArcOS_Unlink(job.file.c_str());
            job.file.clear();
        }
        if (Cancelled()) return Fail(CS_CANCELLED);
    }
}

void Run::Expand() {
    const size_t gathered = ctx_.entries.size();
    firstAdded_ = gathered;
    for (size_t i = 0; i < gathered && pending_ > 0; ++i) {
        SmPrintJob* job = ctx_.entries[i].job;
        if (!ctx_.entries[i].tableHeld || job->state <= 0) continue;
        --pending_;
        std::vector<SmPrintObject> parts;
        if (!args_.services.expandParts) return Fail(CS_FAILED);
        const std::shared_ptr<const SmPrintDoc> doc = ctx_.entries[i].doc;
        int rc = args_.services.expandParts(doc->object, ctx_.entries[i].table, &parts);
        if (rc != 0) return Fail(rc);
        job->state = 0;
        job->entryCount = 0;
        job->completed = 0;
        job->writeError = false;
        job->ready = false;
        try {
            for (size_t n = 0; n < parts.size(); ++n) {
                auto part = std::make_shared<SmPrintDoc>(*doc);
                part->object = parts[n];
                SmPrintEntry entry;
                entry.writer = n == 0;
                entry.doc = std::move(part);
                entry.job = job;
                ctx_.entries.push_back(std::move(entry));
                ++job->entryCount;
            }
        } catch (const std::bad_alloc&) {
            return Fail(CS_NO_MEMORY);
        }
    }
}

int Run::ControlTexts(SmPrintJob& job, std::vector<std::string>* made) {
    const char type = args_.printer != nullptr ? args_.printer->type : 0;
    auto write = [&](const std::string& name, const std::string& text) {
        if (SmPrintWriteNew(handle_, name, text) != 0) return CS_FAILED;
        made->push_back(name);
        return CS_OK;
    };
    int rc = CS_OK;
    if (type == 'F') {
        if (!receiver_.empty()) rc = write(job.file + ".opts", receiver_);
        if (rc == CS_OK && !notes_.empty()) rc = write(job.file + ".notes", notes_);
    } else if (type == 'I' && !receiver_.empty()) {
        rc = write(job.file + ".opts", receiver_);
    }
    return rc;
}

int Run::ConvertPostScript(SmPrintJob& job) {
    std::string program = args_.programs.postScript;
    if (program.empty()) {
        char path[4096] = {};
        if (QelInst_ProgramPath(6, path, sizeof path) > 0) program = path;
    }
    const std::string ps = job.file + ".ps";
    std::vector<std::string> argv = cscommon::CommandWords(program);
    argv.insert(argv.end(), {"-f", job.file, "-o", ps});
    // The program's standard output and error go to a messages file of the run's own,
    // attached to the failure message; it is always deleted.
    const std::string messages = ps + ".msgs";
    if (SmPrintWriteNew(handle_, messages, {}) != 0) return CS_FAILED;
    int status = -1;
    int rc = ENOENT;
    if (argv.size() > 4) {
        const int fd = ::open(messages.c_str(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_CLOEXEC);
        rc = fd < 0 ? errno : ArcOS_RunProgramLogged(argv, fd, &status);
        if (fd >= 0) ::close(fd);
    }
    if (rc == 0 && status == 0) {
        ArcOS_Unlink(messages.c_str());
        ArcOS_Unlink(job.file.c_str());
        job.file = ps;
        return CS_OK;
    }
    ArcOS_Unlink(ps.c_str());
    std::string output;
    if (SmPrintReadAll(handle_, messages, &output) != 0) output.clear();
    ArcOS_Unlink(messages.c_str());
    std::string command;
    for (const auto& word : argv) command += (command.empty() ? "" : " ") + word;
    size_t handed = 0;
    const CsMessageData data = [&output, &handed](const unsigned char** piece, size_t* length) {
        *length = std::min(output.size() - handed, SM_BULKLOG_PIECE);
        *piece = reinterpret_cast<const unsigned char*>(output.data()) + handed;
        handed += *length;
    };
    const CsMessageArgs args =
        CsMessageArgs().S(command.c_str()).I(int32_t(rc != 0 ? rc : status)).S(kSource).I(int32_t(__LINE__));
    // An empty messages file is no data.
    CsIssueMessage(handle_, kMsgPrintSystem, args.count, args.inserts, nullptr, 'N', 0,
                   output.empty() ? nullptr : &data, 0);
    return CS_FAILED;
}

int Run::StartScript(SmPrintJob& job) {
    // The caller's, else the server configuration's (an archive may bring its own), else
    // the install's program-file entry 7.
    std::string script = args_.programs.printScript;
    if (script.empty()) script = SectionValue(handle_, "CFG", "QEL_SERVER_PRINT_SCRIPT").value_or("");
    if (script.empty()) {
        char path[4096] = {};
        if (QelInst_ProgramPath(7, path, sizeof path) > 0) script = path;
    }
    std::vector<std::string> argv = {script,
                                     args_.printer != nullptr ? args_.printer->name : std::string(),
                                     job.copies,
                                     handle_->identity.userId,
                                     job.group->name,
                                     job.appl->name,
                                     job.appl->norla.value_or(std::string()),
                                     job.file};
    int rc = script.empty() ? ENOENT : ArcOS_SpawnDetached(argv);
    if (rc != 0) {
        job.submitted = -1;
        CsIssueMessageV(handle_, kMsgPrintFork, 'I', int32_t(rc), 'S', kSource, 'I', int32_t(__LINE__), 'V');
        return CS_FAILED;
    }
    job.submitted = 1;
    return CS_OK;
}

void Run::Submit(SmPrintJob& job) {
    if (!pages_.empty()) {
        if (!args_.services.extractExit) return Fail(CS_FAILED);
        const std::string out = job.file + ".pages";
        int rc = args_.services.extractExit(handle_, *job.group, *job.appl, pages_, job.file, out);
        if (rc != 0) return Fail(rc);
        ArcOS_Unlink(job.file.c_str());
        job.file = out;
    }
    std::vector<std::string> made;
    int rc = ControlTexts(job, &made);
    if (rc == CS_OK && job.appl->dataType == 'R' && ContainsDataTypePs(job.appl->norla))
        rc = ConvertPostScript(job);
    if (rc == CS_OK) rc = StartScript(job);
    if (rc != CS_OK) {
        for (const auto& name : made) ArcOS_Unlink(name.c_str());
        Fail(rc);
    }
}

void Run::SearchExpanded() {
    for (auto& owned : ctx_.jobs) {
        if (searchPending_ <= 0) return;
        SmPrintJob& job = *owned;
        if (job.state != 0 || job.file.empty() || !job.ready) continue;
        --searchPending_;
        int32_t answer = 0;
        int rc = Search(job, &answer);
        if (rc == 0 && answer != 0 && args_.answer) args_.answer(job.word, answer);
        ArcOS_Unlink(job.file.c_str());
        job.file.clear();
        job.state = -1;
        if (rc != 0) return Fail(rc);
        if (Cancelled()) return Fail(CS_CANCELLED);
    }
}

void Run::ControlFile() {
    const std::string name = FileName(dirs_.front(), run_, "cntl");
    std::string text;
    for (const SmPrintEntry& entry : ctx_.entries) text += ControlLine(*entry.job, *entry.doc);
    if (SmPrintWriteNew(handle_, name, text) != 0) Fail(CS_FAILED);
}

void Run::OpenLog() {
    log_ = std::make_unique<SmBulkLog>(handle_);
    SmBulkLogStep(log_.get(), SM_BULKLOG_START);
    Fail(SmBulkLogStep(log_.get(), SM_BULKLOG_OPEN));
}

// A line per document (a logging-disabled line for a group without SM_LOG_PRINT_REPORT),
// then the timing message when the report holds a document, the report handed to the
// caller, and the log removed. The log's failures count only when nothing failed before.
void Run::Report() {
    SmBulkLog* log = log_.get();
    int rc = CS_OK;
    for (const SmPrintEntry& entry : ctx_.entries) {
        const SmPrintGroup& group = *entry.job->group;
        const bool logged = (group.logging & SM_LOG_PRINT_REPORT) != 0;
        rc = SmBulkLogPrintLine(log, group, logged ? entry.doc.get() : nullptr,
                                Printing() && entry.job->submitted > 0);
        if (rc != CS_OK) break;
    }
    if (rc == CS_OK) rc = SmBulkLogStep(log, SM_BULKLOG_REWIND);
    if (rc == CS_OK && log->lines != log->disabledGroups)
        rc = SmBulkLogIssue(log, Printing() ? kMsgBulkPrint : kMsgBulkTextSearch,
                            CsMessageArgs().D(QelTimer_Elapsed(&timer_)).S(kSource).I(int32_t(__LINE__)),
                            args_.report);
    const int closed = SmBulkLogStep(log, SM_BULKLOG_CLOSE);
    const int removed = SmBulkLogStep(log, SM_BULKLOG_REMOVE);
    if (rc == CS_OK) rc = closed;
    if (rc == CS_OK) rc = removed;
    Fail(rc);
}

void Run::CleanUp() {
    if (cleaned_) return;
    cleaned_ = true;
    for (auto& job : ctx_.jobs)
        if (job->submitted <= 0 && !job->file.empty()) ArcOS_Unlink(job->file.c_str());
}

int Run::Go() {
    controlSetting_ = SettingOf(handle_, "QEL_SERVER_PRINT_CONTROL_FILE", 0);
    resourcesSetting_ = SettingOf(handle_, "QEL_SERVER_PRINT_RESOURCES", 1);
    dirs_ = PrintDirectories();
    if (dirs_.empty()) return CS_FAILED;
    run_ = RunNumber();
    if (Printing()) {
        receiver_ = SmPrintReceiverText(args_.printer, args_.options);
        pages_ = SmPrintPageRanges(args_.options);
        notes_ = args_.notes != nullptr ? args_.notes : "";
    }
    try {
        Gather();
    } catch (const std::bad_alloc&) {
        Fail(CS_NO_MEMORY);
    }
    QelTimer_Start(&timer_);
    if (result_ == 0 && Printing()) Resources();
    if (result_ == 0) OpenLog();
    const bool retrieved = result_ == 0;
    if (result_ == 0) Fail(Retrieve());
    if (result_ == 0 && !Printing()) SearchPass();
    searchPending_ = pending_;
    if (result_ == 0 && pending_ > 0) {
        Expand();
        if (result_ == 0 && ctx_.entries.size() > firstAdded_) {
            ctx_.nextEntry = int(firstAdded_);
            ctx_.lastJob = nullptr;
            ctx_.orders.clear();
            ctx_.readPosition = 0;
            Fail(Retrieve());
        }
    }
    // Ready jobs: all of them, or after a failure those whose data came whole.
    const int failure = result_;
    bool anyReady = false;
    for (auto& job : ctx_.jobs) {
        job->ready = failure == 0 || (job->completed == job->entryCount && !job->writeError);
        anyReady = anyReady || job->ready;
    }
    if (anyReady) {
        result_ = 0;
        if (Printing()) {
            for (auto& job : ctx_.jobs) {
                if (result_ != 0) break;
                if (job->ready && !job->file.empty()) Submit(*job);
            }
        } else {
            SearchExpanded();
        }
        if (failure != 0) result_ = failure;
    }
    if (Printing() && controlSetting_ != 0) ControlFile();
    if (retrieved) Report();
    CleanUp();
    return result_;
}

}  // namespace

int SmServerPrintRun(CsHandle* handle, const SmPrintRunArgs& args) {
    if (handle == nullptr || (!args.printItems && !args.searchItems)) return CS_FAILED;
    try {
        Run run(handle, args);
        return run.Go();
    } catch (const std::bad_alloc&) {
        return CS_NO_MEMORY;
    }
}

int SmServerPrint(CsHandle* handle, const SmPrinter* printer, const SmPrintOptions* options,
                  const char* notes, SmPrintItemFn items, SmPrintServices services,
                  SmPrintPrograms programs) {
    SmPrintRunArgs args;
    args.printer = printer;
    args.options = options;
    args.notes = notes;
    args.printItems = std::move(items);
    args.services = std::move(services);
    args.programs = std::move(programs);
    return SmServerPrintRun(handle, args);
}

int SmTextSearchRun(CsHandle* handle, SmPrintItemFn items, SmPrintAnswerFn answer, SmPrintServices services) {
    SmPrintRunArgs args;
    args.searchItems = std::move(items);
    args.answer = std::move(answer);
    args.services = std::move(services);
    return SmServerPrintRun(handle, args);
}
