// The one error type of the hosts: a message for the user (naming the file and the problem)
// and the exit code a command ends with.
#pragma once

#include <stdexcept>
#include <string>

namespace drawlet {

// Exit codes of the drawlet command: 0 success, 1 the work failed, 2 the command line or a
// settings file was wrong. Signals end it with 128 + the signal's number.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

class Error : public std::runtime_error {
  public:
    explicit Error(const std::string& message, int exitCode = kExitFailure)
        : std::runtime_error(message), exitCode_(exitCode) {}
    int exitCode() const { return exitCode_; }

  private:
    int exitCode_;
};

// A command line or settings file that cannot be used.
inline Error UsageError(const std::string& message) { return Error(message, kExitUsage); }

}  // namespace drawlet
