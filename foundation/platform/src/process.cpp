// Child processes are started with an argument vector (posix_spawn), never through a
// shell, except ArcOS_System, which is kept for administrator-configured command lines.
#include "arc_platform.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

extern char** environ;

namespace {

std::vector<char*> argvPointers(const std::vector<std::string>& argv) {
    std::vector<char*> out;
    out.reserve(argv.size() + 1);
    for (const auto& a : argv) out.push_back(const_cast<char*>(a.c_str()));
    out.push_back(nullptr);
    return out;
}

int spawn(pid_t* pid, const std::vector<std::string>& argv, const posix_spawn_file_actions_t* actions) {
    if (argv.empty() || argv[0].empty()) return EINVAL;
    auto args = argvPointers(argv);
    if (argv[0].find('/') != std::string::npos)
        return posix_spawn(pid, args[0], actions, nullptr, args.data(), environ);
    return posix_spawnp(pid, args[0], actions, nullptr, args.data(), environ);
}

int exitStatusOf(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

int waitFor(pid_t pid, int* exitStatus) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return errno;
    }
    if (exitStatus != nullptr) *exitStatus = exitStatusOf(status);
    return 0;
}

}  // namespace

int ArcOS_RunProgram(const std::vector<std::string>& argv, int* exitStatus) {
    pid_t pid = -1;
    int rc = spawn(&pid, argv, nullptr);
    if (rc != 0) return rc;
    return waitFor(pid, exitStatus);
}

int ArcOS_RunProgramQuiet(const std::vector<std::string>& argv, int* exitStatus) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int rc = spawn(&pid, argv, &actions);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return rc;
    return waitFor(pid, exitStatus);
}

int ArcOS_RunProgramLogged(const std::vector<std::string>& argv, int outputFd, int* exitStatus) {
    if (outputFd < 0) return EBADF;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, outputFd, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, outputFd, STDERR_FILENO);
    pid_t pid = -1;
    const int rc = spawn(&pid, argv, &actions);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return rc;
    return waitFor(pid, exitStatus);
}

int ArcOS_SpawnDetached(const std::vector<std::string>& argv) {
    if (argv.empty() || argv[0].empty()) return EINVAL;
    // Everything the children use is prepared before fork: after it only async-signal-safe
    // calls are made.
    auto args = argvPointers(argv);
    const bool searched = argv[0].find('/') == std::string::npos;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return errno;
    const pid_t child = fork();
    if (child < 0) {
        const int err = errno;
        close(fds[0]);
        close(fds[1]);
        return err;
    }
    if (child == 0) {
        close(fds[0]);
        const pid_t grandchild = fork();
        if (grandchild < 0) {
            int err = errno;
            (void)!write(fds[1], &err, sizeof err);
            _exit(1);
        }
        if (grandchild == 0) {
            const int null = open("/dev/null", O_RDONLY);
            if (null >= 0) {
                dup2(null, STDIN_FILENO);
                if (null != STDIN_FILENO) close(null);
            }
            setsid();
            if (searched)
                execvp(args[0], args.data());
            else
                execv(args[0], args.data());
            int err = errno;
            (void)!write(fds[1], &err, sizeof err);
            _exit(127);
        }
        _exit(0);
    }
    close(fds[1]);
    waitFor(child, nullptr);
    // The write end closes on a successful exec (close-on-exec): end of file, no error.
    int err = 0;
    ssize_t n;
    do {
        n = read(fds[0], &err, sizeof err);
    } while (n < 0 && errno == EINTR);
    close(fds[0]);
    return n == static_cast<ssize_t>(sizeof err) ? err : 0;
}

int ArcOS_System(const char* command) {
    if (command == nullptr) return -1;
    int status = -1;
    if (ArcOS_RunProgram({"/bin/sh", "-c", command}, &status) != 0) return -1;
    return status;
}

std::string ArcOS_ShellQuote(std::string_view value) {
    std::string out = "'";
    for (char c : value) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    out += '\'';
    return out;
}

int ArcOS_PipeOpen(const std::vector<std::string>& argv, const char* mode, ArcOSPipe* result) {
    if (result == nullptr || mode == nullptr || (mode[0] != 'r' && mode[0] != 'w')) return EINVAL;
    bool reading = mode[0] == 'r';
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return errno;
    int childEnd = reading ? fds[1] : fds[0];
    int ourEnd = reading ? fds[0] : fds[1];

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, childEnd, reading ? STDOUT_FILENO : STDIN_FILENO);
    pid_t pid = -1;
    int rc = spawn(&pid, argv, &actions);
    posix_spawn_file_actions_destroy(&actions);
    close(childEnd);
    if (rc != 0) {
        close(ourEnd);
        return rc;
    }
    FILE* stream = fdopen(ourEnd, reading ? "rb" : "wb");
    if (stream == nullptr) {
        int err = errno;
        close(ourEnd);
        waitFor(pid, nullptr);
        return err;
    }
    result->stream = stream;
    result->pid = pid;
    return 0;
}

int ArcOS_PipeClose(ArcOSPipe* p) {
    if (p == nullptr || p->pid < 0) return -1;
    if (p->stream != nullptr) fclose(p->stream);
    p->stream = nullptr;
    int status = -1;
    int rc = waitFor(p->pid, &status);
    p->pid = -1;
    return rc == 0 ? status : -1;
}

void ArcOS_Exit(int code) { _exit(code); }
