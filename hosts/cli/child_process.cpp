#include "cli/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace drawlet::cli {

namespace fs = std::filesystem;

std::string findProgram(const std::string& program) {
    const char* path = std::getenv("PATH");
    if (path == nullptr) return {};
    std::stringstream entries(path);
    for (std::string dir; std::getline(entries, dir, ':');) {
        if (dir.empty()) dir = ".";
        const fs::path candidate = fs::path(dir) / program;
        if (access(candidate.c_str(), X_OK) == 0 && !fs::is_directory(candidate))
            return candidate.string();
    }
    return {};
}

ChildProcess::ChildProcess(const std::vector<std::string>& argv, Pipe pipe) {
    // A child that goes away must not kill us with SIGPIPE: writes then fail with EPIPE.
    signal(SIGPIPE, SIG_IGN);
    char errorName[] = "/tmp/drawlet-child-XXXXXX";
    const int errorFd = mkstemp(errorName);
    if (errorFd < 0) throw std::runtime_error("cannot create a temporary file");
    errorFile_ = errorName;

    int fds[2] = {-1, -1};
    if (pipe != Pipe::None && ::pipe2(fds, O_CLOEXEC) != 0) {
        close(errorFd);
        throw std::runtime_error(std::string("cannot create a pipe: ") + std::strerror(errno));
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (pipe == Pipe::ToChild) {
        posix_spawn_file_actions_adddup2(&actions, fds[0], STDIN_FILENO);
    } else {
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        if (pipe == Pipe::FromChild)
            posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    }
    posix_spawn_file_actions_adddup2(&actions, errorFd, STDERR_FILENO);

    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const int rc = posix_spawnp(&pid_, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(errorFd);
    if (pipe == Pipe::ToChild) {
        close(fds[0]);
        fd_ = fds[1];
    } else if (pipe == Pipe::FromChild) {
        close(fds[1]);
        fd_ = fds[0];
    }
    if (rc != 0) {
        if (fd_ >= 0) close(fd_);
        fd_ = -1;
        pid_ = -1;
        throw std::runtime_error("cannot run " + argv[0] + ": " + std::strerror(rc));
    }
}

ChildProcess::~ChildProcess() {
    terminate();
    std::error_code ec;
    fs::remove(errorFile_, ec);
}

bool ChildProcess::readExactly(void* buffer, std::size_t size) {
    auto* out = static_cast<char*>(buffer);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = read(fd_, out + done, size - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n == 0) {
            return false;
        } else if (errno != EINTR) {
            return false;
        }
    }
    return true;
}

std::size_t ChildProcess::readSome(void* buffer, std::size_t size) {
    while (true) {
        const ssize_t n = read(fd_, buffer, size);
        if (n >= 0) return static_cast<std::size_t>(n);
        if (errno != EINTR) return 0;
    }
}

bool ChildProcess::writeAll(const void* buffer, std::size_t size) {
    const auto* in = static_cast<const char*>(buffer);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = write(fd_, in + done, size - done);
        if (n > 0)
            done += static_cast<std::size_t>(n);
        else if (n < 0 && errno != EINTR)
            return false;
    }
    return true;
}

void ChildProcess::closePipe() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
}

void ChildProcess::terminate() {
    closePipe();
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        wait();
    }
}

int ChildProcess::wait() {
    if (pid_ <= 0) return status_;
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return status_;
}

std::string ChildProcess::errorTail(std::size_t lines) const {
    std::ifstream in(errorFile_);
    std::deque<std::string> tail;
    for (std::string line; std::getline(in, line);) {
        if (line.empty()) continue;
        tail.push_back(line);
        if (tail.size() > lines) tail.pop_front();
    }
    std::string out;
    for (const std::string& line : tail) out += "  " + line + "\n";
    return out;
}

std::string runAndCapture(const std::vector<std::string>& argv, int& status) {
    ChildProcess child(argv, ChildProcess::Pipe::FromChild);
    std::string out;
    char buffer[4096];
    for (std::size_t n; (n = child.readSome(buffer, sizeof buffer)) > 0;) out.append(buffer, n);
    status = child.wait();
    return out;
}

}  // namespace drawlet::cli
