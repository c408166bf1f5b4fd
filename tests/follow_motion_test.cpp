// drawlet render --follow-motion and the follow-motion key of settings files, through the
// drawlet program, on a tiny clip panning by whole pixels.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <string>
#include <vector>

#include "cli_support.h"
#include "ffmpeg_support.h"

namespace {

namespace fs = std::filesystem;

using drawlet::test::quoted;
using Result = drawlet::test::CliResult;

constexpr int kFrames = 10;
constexpr int kInterval = 4;  // ticks at 0, 4 and 8
// The picture moves left by kStepX and up by kStepY pixels a frame.
constexpr int kStepX = 2, kStepY = 1;
// A pixel whose channels all stay within 48 of 255 of the compared one counts as the same, as
// bench/motion_bench.cpp counts changes: the follower's positions are right within a fraction
// of a pixel, and nearest sampling turns that into a neighbour of the pattern's pixel.
constexpr int kChanged = 48;
const std::string kLook = " --set update-interval=" + std::to_string(kInterval) + " -q -y";

class FollowMotion : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!drawlet::test::haveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
        dir = temp.path();
        drawlet::test::makePanClip(dir / "pan.mkv", 96, 64, kFrames, kStepX, kStepY);
    }
    Result run(const std::string& args) { return drawlet::test::runCli(dir, args); }
    // The frames of `drawlet render pan.mkv -o NAME/%02d.png ARGS`, by frame number.
    std::vector<cv::Mat> frames(const std::string& name, const std::string& args,
                                const std::string& input = "pan.mkv") {
        fs::create_directory(dir / name);
        const Result r = run("render " + quoted(dir / input) + " -o " +
                             quoted(dir / name / "%02d.png") + kLook + " " + args);
        EXPECT_EQ(r.exitCode, 0) << args << ": " << r.err;
        std::vector<cv::Mat> out(kFrames);
        for (int n = 0; n < kFrames; ++n) {
            const fs::path file = dir / name / cv::format("%02d.png", n);
            if (fs::exists(file)) out[static_cast<std::size_t>(n)] = cv::imread(file.string());
        }
        return out;
    }

    drawlet::test::TempDir temp;
    fs::path dir;
};

bool same(const cv::Mat& a, const cv::Mat& b) {
    return !a.empty() && a.size() == b.size() && cv::norm(a, b, cv::NORM_INF) == 0;
}

// The share of the pixels away from the edges that are (within kChanged) the previous frame's
// at the place their content came from.
double movedWithThePicture(const cv::Mat& now, const cv::Mat& before) {
    const int margin = 12;
    const cv::Rect inner(margin, margin, now.cols - 2 * margin, now.rows - 2 * margin);
    cv::Mat diff;
    cv::absdiff(now(inner), before(inner + cv::Point(kStepX, kStepY)), diff);
    cv::Mat differs;
    cv::threshold(diff, diff, kChanged, 255, cv::THRESH_BINARY);
    cv::transform(diff, differs, cv::Matx13f(1, 1, 1));
    return 1.0 - static_cast<double>(cv::countNonZero(differs)) / static_cast<double>(inner.area());
}

// Tick frames are the plain render's; between them the hatching moves with the picture,
// where the plain render's stays on the screen.
TEST_F(FollowMotion, TicksArePlainAndTheHatchingMovesBetweenThem) {
    const std::vector<cv::Mat> plain = frames("plain", "");
    const std::vector<cv::Mat> followed = frames("followed", "--follow-motion");
    double followedShares = 0;
    int compared = 0;
    for (int n = 0; n < kFrames; ++n) {
        SCOPED_TRACE(n);
        const auto i = static_cast<std::size_t>(n);
        EXPECT_EQ(same(followed[i], plain[i]), n % kInterval == 0);
        if (n % kInterval == 0) continue;
        const double followedShare = movedWithThePicture(followed[i], followed[i - 1]);
        EXPECT_GT(followedShare, movedWithThePicture(plain[i], plain[i - 1]) + 0.1);
        followedShares += followedShare;
        ++compared;
    }
    EXPECT_GT(followedShares / compared, 0.8);
}

// A part, a part joined to the rest, one frame into a picture and another thread count all
// give the frames of the whole render.
TEST_F(FollowMotion, PartsFramesAndThreadCountsGiveTheWholeRendersFrames) {
    const std::vector<cv::Mat> whole = frames("whole", "--follow-motion --threads 2");
    const struct {
        const char* name;
        std::string args;
        int first, count;
    } cases[] = {
        {"part", "--follow-motion --start 6 --frames 3", 6, 3},
        {"run start", "--follow-motion --start 4 --frames 2", 4, 2},
        {"one thread", "--follow-motion --threads 1", 0, kFrames},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<cv::Mat> got = frames(c.name, c.args);
        for (int n = 0; n < kFrames; ++n) {
            const bool rendered = n >= c.first && n < c.first + c.count;
            const auto i = static_cast<std::size_t>(n);
            EXPECT_EQ(!got[i].empty(), rendered) << n;
            if (rendered) {
                EXPECT_TRUE(same(got[i], whole[i])) << n;
            }
        }
    }
    for (const int n : {0, 5, 7}) {
        const fs::path picture = dir / cv::format("frame%d.png", n);
        const Result r = run("render " + quoted(dir / "pan.mkv") + " -o " + quoted(picture) +
                             kLook + " --follow-motion --frame " + std::to_string(n));
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_TRUE(same(cv::imread(picture.string()), whole[static_cast<std::size_t>(n)])) << n;
    }
}

TEST_F(FollowMotion, JoinedPartsAreTheWholeRender) {
    const std::string common = kLook + " --follow-motion --codec ffv1";
    const std::string in = quoted(dir / "pan.mkv");
    ASSERT_EQ(run("render " + in + " -o " + quoted(dir / "whole.mkv") + common).exitCode, 0);
    for (const auto& [name, range] :
         {std::pair{"a.mkv", " --frames 5"}, std::pair{"b.mkv", " --start 5"}}) {
        const Result r = run("render " + in + " -o " + quoted(dir / name) + common + range);
        ASSERT_EQ(r.exitCode, 0) << r.err;
    }
    const Result joined = run("join -o " + quoted(dir / "joined.mkv") + " " +
                              quoted(dir / "a.mkv") + " " + quoted(dir / "b.mkv"));
    ASSERT_EQ(joined.exitCode, 0) << joined.err;
    EXPECT_EQ(drawlet::test::frameHashes(dir / "joined.mkv"),
              drawlet::test::frameHashes(dir / "whole.mkv"));
    // A plain part is not a part of the followed render.
    ASSERT_EQ(
        run("render " + in + " -o " + quoted(dir / "c.mkv") + kLook + " --codec ffv1 --start 5")
            .exitCode,
        0);
    EXPECT_EQ(run("join -o " + quoted(dir / "mixed.mkv") + " " + quoted(dir / "a.mkv") + " " +
                  quoted(dir / "c.mkv"))
                  .exitCode,
              1);
}

// A cut to another picture starts anew, as a tick does, even where the interval never ticks.
TEST_F(FollowMotion, ACutStartsAnew) {
    drawlet::test::shell("ffmpeg -v error -f lavfi -i smptebars=size=96x64 -frames:v 5 " +
                         quoted(dir / "bars.mkv") + " && ffmpeg -v error -i " +
                         quoted(dir / "pan.mkv") + " -i " + quoted(dir / "bars.mkv") +
                         " -filter_complex \"[0]trim=end_frame=5[a];[1]format=yuv444p[b];"
                         "[a][b]concat=n=2\" -c:v ffv1 " +
                         quoted(dir / "cut.mkv"));
    const std::string still = "--set update-interval=0";
    const std::vector<cv::Mat> plain = frames("plain", still, "cut.mkv");
    const std::vector<cv::Mat> followed = frames("followed", still + " --follow-motion", "cut.mkv");
    for (const int n : {0, 5}) EXPECT_TRUE(same(followed[n], plain[n])) << n;
    EXPECT_FALSE(same(followed[3], plain[3]));
}

// "follow-motion" in a settings file or after --set, and where it is refused.
TEST_F(FollowMotion, SettingsFilesAndSetTakeIt) {
    const std::vector<cv::Mat> flag = frames("flag", "--follow-motion");
    const std::vector<cv::Mat> plain = frames("plain", "");
    std::ofstream(dir / "on.json") << R"({"follow-motion": true, "mode": 1})";
    std::ofstream(dir / "bad.json") << R"({"follow-motion": 2, "mode": 3})";
    std::ofstream(dir / "text.json") << R"({"follow-motion": "yes"})";
    const struct {
        std::string args;
        const std::vector<cv::Mat>* same;  // null: refused
    } cases[] = {
        {"--settings " + quoted(dir / "on.json"), &flag},
        {"--set follow-motion=on", &flag},
        {"--settings " + quoted(dir / "on.json") + " --set follow-motion=off", &plain},
        {"--settings " + quoted(dir / "bad.json"), nullptr},
        {"--settings " + quoted(dir / "text.json"), nullptr},
        {"--set follow-motion=maybe", nullptr},
    };
    int i = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        const std::string name = "case" + std::to_string(i++);
        if (c.same == nullptr) {
            fs::create_directory(dir / name);
            const Result r = run("render " + quoted(dir / "pan.mkv") + " -o " +
                                 quoted(dir / name / "%02d.png") + kLook + " " + c.args);
            EXPECT_EQ(r.exitCode, 2);
            EXPECT_NE(r.err.find("follow-motion"), std::string::npos) << r.err;
            EXPECT_NE(r.err.find("on/off"), std::string::npos) << r.err;
            continue;
        }
        const std::vector<cv::Mat> got = frames(name, c.args);
        for (int n = 0; n < kFrames; ++n) EXPECT_TRUE(same(got[n], (*c.same)[n])) << n;
    }
    // The etching look follows the motion; --set after it can switch that off.
    const std::vector<cv::Mat> etching = frames("etching", "--look etching");
    const std::vector<cv::Mat> etchingOff =
        frames("etching-off", "--look etching --set follow-motion=off");
    const std::vector<cv::Mat> etchingOn = frames("etching-on", "--look etching --follow-motion");
    EXPECT_TRUE(same(etching[6], etchingOn[6]));
    EXPECT_FALSE(same(etching[6], etchingOff[6]));
    // compare draws the look's tile as render does.
    std::string sheets[2];
    for (const int on : {0, 1}) {
        const fs::path sheet = dir / cv::format("sheet%d.png", on);
        const Result r = run("compare " + quoted(dir / "pan.mkv") + " -o " + quoted(sheet) +
                             " -y --frame 6 --look etching --set update-interval=4 --set " +
                             "follow-motion=" + (on ? "on" : "off"));
        ASSERT_EQ(r.exitCode, 0) << r.err;
        sheets[on] = drawlet::test::slurp(sheet);
    }
    EXPECT_NE(sheets[0], sheets[1]);
    const Result saved = run("params --follow-motion --save " + quoted(dir / "saved.json"));
    ASSERT_EQ(saved.exitCode, 0) << saved.err;
    EXPECT_NE(drawlet::test::slurp(dir / "saved.json").find("\"follow-motion\": true"),
              std::string::npos);
    ASSERT_EQ(run("params -y --save " + quoted(dir / "saved.json")).exitCode, 0);
    EXPECT_EQ(drawlet::test::slurp(dir / "saved.json").find("follow-motion"), std::string::npos);
}

}  // namespace
