// The drawlet command, run as a person runs it.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "cli_support.h"

namespace {

namespace fs = std::filesystem;

using Result = drawlet::test::CliResult;
using drawlet::test::slurp;

class Cli : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = temp.path();
        cv::Mat picture(48, 64, CV_8UC3, cv::Scalar(200, 180, 150));
        cv::circle(picture, {32, 24}, 15, cv::Scalar(40, 60, 90), cv::FILLED);
        input = dir / "in.png";
        ASSERT_TRUE(cv::imwrite(input.string(), picture));
    }
    Result run(const std::string& args) { return drawlet::test::runCli(dir, args); }
    std::string q(const fs::path& p) { return "'" + p.string() + "'"; }

    drawlet::test::TempDir temp;
    fs::path dir, input;
};

int countLines(const std::string& text, const std::string& prefix) {
    std::istringstream in(text);
    int n = 0;
    for (std::string line; std::getline(in, line);) n += line.rfind(prefix, 0) == 0;
    return n;
}

TEST_F(Cli, ParamsListsEverySliderAndCheckBox) {
    const Result r = run("params");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("Morvane (Morvane0.06)"), std::string::npos);
    for (const char* name :
         {"モード", "ﾊﾟﾀｰﾝ№", "乱数ｼｰﾄﾞ", "ハッチング補間あり(ﾊﾞｲｷｭｰﾋﾞｯｸ)", "マスク作成"})
        EXPECT_NE(r.out.find(name), std::string::npos) << name;
    const Result tsv = run("params --format tsv");
    ASSERT_EQ(tsv.exitCode, 0);
    EXPECT_EQ(countLines(tsv.out, "slider\t"), 23);
    EXPECT_EQ(countLines(tsv.out, "check\t"), 7);
    EXPECT_NE(tsv.out.find("slider\t7\t線濃度\t100\t0\t200"), std::string::npos);
    EXPECT_NE(tsv.out.find("check\t6\tマスク作成\t0"), std::string::npos);
}

TEST_F(Cli, RenderWritesAPictureOfTheSameSize) {
    const Result r = run("render " + q(input) + " -o " + q(dir / "out.png"));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const cv::Mat out = cv::imread((dir / "out.png").string());
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(out.size(), cv::Size(64, 48));
    EXPECT_GT(cv::norm(out, cv::imread(input.string()), cv::NORM_INF), 0);
}

// The display name, the index and the alias all reach slider 7.
TEST_F(Cli, NamesIndicesAndAliasesSetTheSameSlider) {
    cv::Mat outputs[3];
    const char* forms[3] = {"線濃度=150", "7=150", "line-density=150"};
    for (int i = 0; i < 3; ++i) {
        const fs::path out = dir / ("o" + std::to_string(i) + ".png");
        const Result r = run("render " + q(input) + " -o " + q(out) + " --set " + forms[i]);
        ASSERT_EQ(r.exitCode, 0) << forms[i] << ": " << r.err;
        outputs[i] = cv::imread(out.string());
    }
    EXPECT_EQ(cv::norm(outputs[0], outputs[1], cv::NORM_INF), 0);
    EXPECT_EQ(cv::norm(outputs[0], outputs[2], cv::NORM_INF), 0);
    const Result plain = run("render " + q(input) + " -o " + q(dir / "plain.png"));
    ASSERT_EQ(plain.exitCode, 0);
    EXPECT_GT(cv::norm(outputs[0], cv::imread((dir / "plain.png").string()), cv::NORM_INF), 0);
}

TEST_F(Cli, BadSettingsAreUsageErrorsAndRenderNothing) {
    const fs::path out = dir / "out.png";
    Result r = run("render " + q(input) + " -o " + q(out) + " --set 線濃度=999");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("線濃度"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("0..200"), std::string::npos) << r.err;
    r = run("render " + q(input) + " -o " + q(out) + " --set nonsense=1");
    EXPECT_EQ(r.exitCode, 2);
    r = run("render " + q(input) + " -o " + q(out) + " --set mask=maybe");
    EXPECT_EQ(r.exitCode, 2);
    r = run("render " + q(input) + " -o " + q(out) + " --set mode=2.5");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_FALSE(fs::exists(out));
}

TEST_F(Cli, MissingFilesAndExistingOutputs) {
    Result r = run("render " + q(dir / "nope.png") + " -o " + q(dir / "out.png"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("nope.png"), std::string::npos) << r.err;
    // One missing folder is made; two are not.
    r = run("render " + q(input) + " -o " + q(dir / "missing" / "deeper" / "out.png"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("the folder " + (dir / "missing").string() + " does not exist"),
              std::string::npos)
        << r.err;
    EXPECT_FALSE(fs::exists(dir / "missing"));
    // An existing output is kept unless -y says otherwise.
    { std::ofstream(dir / "keep.png") << "precious"; }
    r = run("render " + q(input) + " -o " + q(dir / "keep.png"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(slurp(dir / "keep.png"), "precious");
    r = run("render " + q(input) + " -o " + q(dir / "keep.png") + " -y");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_FALSE(cv::imread((dir / "keep.png").string()).empty());
    r = run("render " + q(input) + " -o " + q(dir / "x.png") + " --module /nonexistent.auf");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("/nonexistent.auf"), std::string::npos);
}

// A module without its patterns: the message box comes out on stderr, nothing is written.
TEST_F(Cli, MissingPatternsAreReportedAndNothingIsWritten) {
    fs::copy_file(fs::path(DRAWLET_CLI_PATH).parent_path() / "Drawlet.auf", dir / "Drawlet.auf");
    const Result r = run("render " + q(input) + " -o " + q(dir / "out.png") + " --module " +
                         q(dir / "Drawlet.auf"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("エラー: "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("/img/h0.bmp の読み込みに失敗しました"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir / "out.png"));
}

// The command line answers every mistake with a message, a suggestion where one fits, and
// exit code 2.
TEST_F(Cli, UsageErrorsExitWithTwoAndSuggest) {
    struct Case {
        std::string args;
        int exitCode;
        const char* says;  // in stdout or stderr
    };
    const Case cases[] = {
        {"", 2, "Usage: drawlet"},
        {"--version", 0, "drawlet 0."},
        {"--help", 0, "Subcommands:"},
        {"render", 2, "INPUT is required"},
        {"rendr in.png -o out.png", 2, "did you mean \"render\""},
        {"frobnicate", 2, "unknown command \"frobnicate\""},
        {"render in.png -o out.png --frmae 3", 2, "did you mean --frame?"},
        {"params --format xml", 2, "xml"},
        {"render in.png -o out.png --start 3", 2, "a picture takes --frame"},
        {"params --look-name pencil", 2, "--look-name goes with --format kdenlive"},
        {"completion fish", 2, "fish"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        const Result r = run(c.args);
        EXPECT_EQ(r.exitCode, c.exitCode);
        EXPECT_NE((r.out + r.err).find(c.says), std::string::npos) << r.out << r.err;
        EXPECT_EQ(r.err.find("terminate"), std::string::npos) << r.err;
    }
}

// The documents made from the parameter table show the values given (defaults, --set) as
// the defaults, each parameter once.
TEST_F(Cli, DocumentsShowTheValuesGiven) {
    const struct {
        std::string args;
        std::vector<std::string> says;
    } cases[] = {
        {"--format kdenlive --set mode=4 --set hatching=off --look-name pen-and-ink",
         {"id=\"drawlet-look-pen-and-ink\"", "<name>Drawlet: pen and ink</name>",
          "name=\"mode\" default=\"4\" paramlist=\"1;2;3;4;5\"",
          "name=\"hatching\" default=\"0\""}},
        {"--format kdenlive", {"id=\"frei0r.drawlet\"", "name=\"mode\" default=\"1\""}},
        {"--format markdown --set line-density=150",
         {"| 7 | 線濃度 | `line-density` | 0..200 | 150 | % |"}},
        {"--format man --set tilt=-250", {".B tilt\n(9, 傾き) \\-500..500 1/100, default \\-250."}},
        {"--format shotcut-ui --set seed=9", {"filter.set('seed', 9);"}},
        {"--format kdenlive --follow-motion", {"name=\"follow-motion\" default=\"1\""}},
        {"--format markdown", {"| host |  | `follow-motion` | on/off | off |"}},
        {"--format shotcut-ui --set follow-motion=on", {"filter.set('follow-motion', 1);"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        const Result r = run("params " + c.args);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        for (const std::string& text : c.says)
            EXPECT_NE(r.out.find(text), std::string::npos) << text << "\n" << r.out;
    }
    const Result markdown = run("params --format markdown");
    EXPECT_EQ(countLines(markdown.out, "| "), 32);  // the header, 30 rows and follow-motion
}

// The manual page and the shell completions list every command and every option the
// command line accepts (read back from each command's own --help).
TEST_F(Cli, ManualAndCompletionsListEveryOption) {
    const Result manual = run("manual");
    const Result bash = run("completion bash");
    const Result zsh = run("completion zsh");
    ASSERT_EQ(manual.exitCode + bash.exitCode + zsh.exitCode, 0) << manual.err << bash.err;
    for (const std::string command : {"render", "join", "params", "demo", "manual", "completion"}) {
        SCOPED_TRACE(command);
        EXPECT_NE(manual.out.find(".SS \"\\fBdrawlet " + command + "\\fR"), std::string::npos);
        EXPECT_NE(bash.out.find("    " + command + ")\n"), std::string::npos);
        EXPECT_NE(zsh.out.find("        " + command + ")\n"), std::string::npos);
        const Result help = run(command + " --help");
        std::istringstream lines(help.out);
        int options = 0;
        for (std::string line; std::getline(lines, line);) {
            const auto start = line.find("--");
            if (line.rfind("  ", 0) != 0 || start == std::string::npos || start > 8) continue;
            const std::string option = line.substr(start, line.find_first_of(" ,", start) - start);
            std::string escaped;
            for (char ch : option) escaped += ch == '-' ? std::string("\\-") : std::string(1, ch);
            EXPECT_NE(manual.out.find("\\fB" + escaped + "\\fR"), std::string::npos) << option;
            EXPECT_NE(bash.out.find(option), std::string::npos) << option;
            EXPECT_NE(zsh.out.find(option), std::string::npos) << option;
            ++options;
        }
        EXPECT_GT(options, 0);
    }
}

// A picture whose name has a per cent sign is a picture, not a numbered sequence.
TEST_F(Cli, PercentSignsInPictureNames) {
    fs::copy_file(input, dir / "50%off.png");
    const Result r = run("render " + q(dir / "50%off.png") + " -o " + q(dir / "100%.png"));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(cv::imread((dir / "100%.png").string()).size(), cv::Size(64, 48));
}

}  // namespace
