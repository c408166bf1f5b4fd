// Running ffmpeg and ffprobe as child processes with pipes.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace drawlet::cli {

// The full path of `program` found through PATH; empty when it is not there.
std::string findProgram(const std::string& program);

// A child process whose stdin or stdout (or neither) is a pipe to us; its stderr goes to a
// temporary file so that a failure can be reported with the child's own words.
class ChildProcess {
  public:
    enum class Pipe { None, ToChild, FromChild };

    ChildProcess(const std::vector<std::string>& argv, Pipe pipe);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Reads exactly `size` bytes; false at the end of the stream.
    bool readExactly(void* buffer, std::size_t size);
    // Reads what is there, up to `size` bytes; 0 at the end of the stream.
    std::size_t readSome(void* buffer, std::size_t size);
    // Writes all bytes; false when the child has gone.
    bool writeAll(const void* buffer, std::size_t size);
    // Closes our end of the pipe (the child sees the end of its input).
    void closePipe();
    // Stops the child (SIGTERM) and waits for it, ignoring how it ended.
    void terminate();
    // Waits for the child; its exit status (or 128 + signal).
    int wait();
    // The last lines the child wrote to stderr.
    std::string errorTail(std::size_t lines = 6) const;

  private:
    pid_t pid_ = -1;
    int fd_ = -1;
    std::string errorFile_;
    int status_ = -1;
};

// Runs a program to the end and returns its stdout; `status` gets the exit status.
std::string runAndCapture(const std::vector<std::string>& argv, int& status);

}  // namespace drawlet::cli
