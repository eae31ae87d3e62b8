#include "platform/linux/posix_process_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

extern char** environ;

namespace quillmer {

namespace {

struct Pipe {
    int read = -1;
    int write = -1;
    bool open() {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) return false;
        read = fds[0];
        write = fds[1];
        return true;
    }
    void closeRead() { if (read >= 0) ::close(read), read = -1; }
    void closeWrite() { if (write >= 0) ::close(write), write = -1; }
    ~Pipe() { closeRead(); closeWrite(); }
};

class SpawnActions {
public:
    SpawnActions() { posix_spawn_file_actions_init(&actions_); }
    ~SpawnActions() { posix_spawn_file_actions_destroy(&actions_); }
    posix_spawn_file_actions_t* get() { return &actions_; }

private:
    posix_spawn_file_actions_t actions_;
};

void writeSome(Pipe& input, std::string_view& pending) {
    const ssize_t written = ::write(input.write, pending.data(), pending.size());
    if (written > 0) pending.remove_prefix(static_cast<size_t>(written));
    else if (written < 0 && errno != EAGAIN && errno != EINTR) pending = {};  // child closed stdin
    if (pending.empty()) input.closeWrite();
}

bool readSome(Pipe& pipe, std::string& into) {
    char buffer[16384];
    const ssize_t count = ::read(pipe.read, buffer, sizeof buffer);
    if (count > 0) {
        into.append(buffer, static_cast<size_t>(count));
        return true;
    }
    if (count < 0 && (errno == EINTR || errno == EAGAIN)) return true;
    pipe.closeRead();
    return false;
}

}  // namespace

ProcessResult PosixProcessRunner::run(const ProcessRequest& request) {
    ProcessResult result;
    Pipe input, output, error;
    if (!input.open() || !output.open() || !error.open()) {
        result.launchError = std::strerror(errno);
        return result;
    }

    SpawnActions actions;
    posix_spawn_file_actions_adddup2(actions.get(), input.read, STDIN_FILENO);
    posix_spawn_file_actions_adddup2(actions.get(), output.write, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(actions.get(), request.mergeStandardError ? output.write : error.write, STDERR_FILENO);
    if (request.workingDirectory)
        posix_spawn_file_actions_addchdir_np(actions.get(), request.workingDirectory->c_str());

    std::vector<std::string> argumentStorage;
    argumentStorage.push_back(request.executable.string());
    argumentStorage.insert(argumentStorage.end(), request.arguments.begin(), request.arguments.end());
    std::vector<char*> argv;
    for (auto& argument : argumentStorage) argv.push_back(argument.data());
    argv.push_back(nullptr);

    // The child starts with no blocked signals and default handlers, whatever this thread has.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    pid_t pid = -1;
    const int spawnError =
        ::posix_spawn(&pid, request.executable.c_str(), actions.get(), &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    input.closeRead();
    output.closeWrite();
    error.closeWrite();
    if (spawnError != 0) {
        result.launchError = std::strerror(spawnError);
        return result;
    }
    result.launched = true;

    // A child that exits early must not kill us with SIGPIPE while we feed its stdin: block it in
    // this thread only, and swallow one that arrived before restoring the mask.
    sigset_t pipeSignal, previousMask;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    ::pthread_sigmask(SIG_BLOCK, &pipeSignal, &previousMask);

    std::string_view pending = request.standardInput;
    if (pending.empty()) input.closeWrite();
    else ::fcntl(input.write, F_SETFL, ::fcntl(input.write, F_GETFL) | O_NONBLOCK);

    while (output.read >= 0 || error.read >= 0) {
        std::array<pollfd, 3> fds{{{output.read, POLLIN, 0}, {error.read, POLLIN, 0}, {input.write, POLLOUT, 0}}};
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[0].revents) readSome(output, result.standardOutput);
        if (fds[1].revents) readSome(error, result.standardError);
        if (fds[2].revents) writeSome(input, pending);
    }
    input.closeWrite();
    const timespec noWait{0, 0};
    while (::sigtimedwait(&pipeSignal, nullptr, &noWait) == SIGPIPE) {
    }
    ::pthread_sigmask(SIG_SETMASK, &previousMask, nullptr);

    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status)) result.exitStatus = WEXITSTATUS(status);
    else if (WIFSIGNALED(status)) result.terminatingSignal = WTERMSIG(status);
    return result;
}

}  // namespace quillmer
