// A suite of drawlet runs on clips that ffmpeg makes once, into a folder of the suite's own;
// without ffmpeg every test of the suite is skipped.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "cli_support.h"
#include "ffmpeg_support.h"

namespace drawlet::test {

template <typename Suite>
class CliSuite : public ::testing::Test {
  protected:
    // The suite's SetUpTestSuite calls this first, and makes its clips when it is true.
    static bool openFolder() {
        if (!haveFfmpeg()) return false;
        temp = new TempDir;
        dir = &temp->path();
        return true;
    }
    static void TearDownTestSuite() {
        delete temp;
        temp = nullptr;
        dir = nullptr;
    }
    void SetUp() override {
        if (dir == nullptr) GTEST_SKIP() << "ffmpeg is not installed";
    }
    static void make(const std::string& args, const std::string& name) {
        shell("ffmpeg -v error -y " + args + " " + at(name));
    }
    static CliResult run(const std::string& args, const std::string& env = "") {
        return runCli(*dir, args, env);
    }
    static std::string at(const std::string& name) { return "'" + (*dir / name).string() + "'"; }
    static std::filesystem::path file(const std::string& name) { return *dir / name; }

    static inline TempDir* temp = nullptr;
    static inline const std::filesystem::path* dir = nullptr;
};

}  // namespace drawlet::test
