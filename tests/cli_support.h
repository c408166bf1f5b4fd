// Running the drawlet program from the tests and reading what it said.
#pragma once

#include <stdlib.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "temp_dir.h"

namespace drawlet::test {

struct CliResult {
    int exitCode;
    std::string out;
    std::string err;
};

inline std::string slurp(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Runs `drawlet ARGS` with `env` before it (e.g. "PATH=/x"), its output in files of `dir`.
inline CliResult runCli(const std::filesystem::path& dir, const std::string& args,
                        const std::string& env = "") {
    const std::filesystem::path out = dir / "stdout.txt", err = dir / "stderr.txt";
    const std::string command = env + " " + DRAWLET_CLI_PATH + " " + args + " >" + out.string() +
                                " 2>" + err.string() + " </dev/null";
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, slurp(out), slurp(err)};
}

}  // namespace drawlet::test
