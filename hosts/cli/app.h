// The drawlet command line: its commands (cli/commands/, one file each) under one parser.
#pragma once

#include <ostream>

namespace drawlet::cli {

// Runs drawlet with `argv`; returns the exit code (0 success, 1 the work failed, 2 the
// command line or a settings file was wrong, 128 + N stopped by signal N).
int runCli(int argc, char** argv, std::ostream& out, std::ostream& err);

}  // namespace drawlet::cli
