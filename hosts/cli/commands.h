// The drawlet command line: verbs params, render and demo.
#pragma once

#include <ostream>

namespace drawlet::cli {

// Exit codes: 0 success, 1 the work failed, 2 the command line was wrong.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

int runCli(int argc, char** argv, std::ostream& out, std::ostream& err);

}  // namespace drawlet::cli
