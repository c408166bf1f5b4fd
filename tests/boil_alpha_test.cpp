// --boil-rate (the hatching's changes per second, whatever the frame rate) and --alpha mask
// (the filter's mask as the output's alpha channel), through the drawlet program.
#include <gtest/gtest.h>

#include <filesystem>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "cli_support.h"
#include "ffmpeg_support.h"

namespace {

namespace fs = std::filesystem;

using Result = drawlet::test::CliResult;
using drawlet::test::frameHashes;
using drawlet::test::probe;
using drawlet::test::shell;

class BoilAndAlpha : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!drawlet::test::haveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
        dir = temp.path();
    }
    Result run(const std::string& args) { return drawlet::test::runCli(dir, args); }
    std::string at(const std::string& name) { return "'" + (dir / name).string() + "'"; }
    // One second of a still picture at `fps`, losslessly.
    std::string still(int fps) {
        const std::string name = "still" + std::to_string(fps) + ".mkv";
        shell("ffmpeg -v error -y -f lavfi -i smptebars=size=96x64:rate=" + std::to_string(fps) +
              " -frames:v " + std::to_string(fps) + " -c:v ffv1 " + at(name));
        return name;
    }
    // The times (in seconds, to the millisecond) at which a frame differs from the one before.
    std::vector<long> changeTimes(const std::string& name, int fps) {
        std::istringstream lines(frameHashes(dir / name));
        std::vector<long> times;
        std::string previous;
        int n = 0;
        for (std::string hash; std::getline(lines, hash); ++n) {
            if (n > 0 && hash != previous) times.push_back(std::lround(1000.0 * n / fps));
            previous = hash;
        }
        EXPECT_EQ(n, fps) << name;
        return times;
    }

    drawlet::test::TempDir temp;
    fs::path dir;
};

// The same --boil-rate changes the jitter at the same times at 30 and at 60 fps; the same
// update interval (in frames) does not.
TEST_F(BoilAndAlpha, BoilRateChangesTheJitterAtTheSameTimesAtAnyFrameRate) {
    const struct {
        const char* settings;
        bool sameTimes;
        std::size_t changes;  // in the second, at 30 fps
    } cases[] = {
        {"--boil-rate 10", true, 9},
        {"--boil-rate 0", true, 0},
        {"--set update-interval=3", false, 9},
    };
    const std::string in30 = still(30), in60 = still(60);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.settings);
        std::vector<long> times[2];
        for (const int fps : {30, 60}) {
            const std::string out = "out" + std::to_string(fps) + ".mkv";
            const Result r = run("render " + at(fps == 30 ? in30 : in60) + " -o " + at(out) +
                                 " -y -q --codec ffv1 " + c.settings);
            ASSERT_EQ(r.exitCode, 0) << r.err;
            times[fps == 60] = changeTimes(out, fps);
        }
        EXPECT_EQ(times[0].size(), c.changes);
        EXPECT_EQ(times[0] == times[1], c.sameTimes);
    }
    const Result both =
        run("render " + at(in30) + " -o " + at("x.mkv") + " --boil-rate 5 --set 11=2");
    EXPECT_EQ(both.exitCode, 2);
    EXPECT_NE(both.err.find("give it or --set update-interval, not both"), std::string::npos);
}

// The alpha channel is the mask: the gray of a render with mask=on, where the colours are
// the render's without it.
TEST_F(BoilAndAlpha, AlphaMaskIsTheMaskOfTheSameSettings) {
    cv::Mat picture(60, 80, CV_8UC3, cv::Scalar(210, 190, 160));
    cv::circle(picture, {40, 30}, 18, cv::Scalar(40, 50, 120), cv::FILLED);
    ASSERT_TRUE(cv::imwrite((dir / "in.png").string(), picture));
    const std::string look = " --look pen-and-ink --frame 3 -y";
    for (const auto& [out, extra] :
         {std::pair{"matte.png", " --alpha mask"}, std::pair{"drawn.png", ""},
          std::pair{"mask.png", " --set mask=on"}})
        ASSERT_EQ(run("render " + at("in.png") + " -o " + at(out) + look + extra).exitCode, 0);
    const cv::Mat matte = cv::imread((dir / "matte.png").string(), cv::IMREAD_UNCHANGED);
    ASSERT_EQ(matte.channels(), 4);
    cv::Mat parts[4];
    cv::split(matte, parts);
    cv::Mat colour, mask[3];
    cv::merge(parts, 3, colour);
    cv::split(cv::imread((dir / "mask.png").string()), mask);
    EXPECT_EQ(cv::norm(colour, cv::imread((dir / "drawn.png").string()), cv::NORM_INF), 0);
    EXPECT_EQ(cv::norm(parts[3], mask[0], cv::NORM_INF), 0);
    EXPECT_GT(cv::countNonZero(parts[3]), 0);
    EXPECT_LT(cv::countNonZero(parts[3]), parts[3].total());
}

TEST_F(BoilAndAlpha, AlphaMaskGoesIntoFormatsWithAlphaOnly) {
    shell("ffmpeg -v error -y -f lavfi -i testsrc2=size=64x48:rate=10 -frames:v 3 -c:v ffv1 " +
          at("clip.mkv"));
    const struct {
        const char* output;
        const char* probed;  // codec, pixel format, alpha mode of the video stream
    } cases[] = {
        {"m.webm", "vp9,yuv420p,1"},  // libvpx keeps alpha beside the picture
        {"m.mov", "prores,yuva444p12le"},
        {"m/%03d.png", nullptr},
    };
    fs::create_directory(dir / "m");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.output);
        const Result r = run("render " + at("clip.mkv") + " -o " + at(c.output) +
                             " -q --alpha mask --look stipple");
        ASSERT_EQ(r.exitCode, 0) << r.err;
        if (c.probed != nullptr) {
            EXPECT_EQ(probe(dir / c.output, "stream=codec_name,pix_fmt:stream_tags=alpha_mode"),
                      c.probed);
        }
    }
    EXPECT_EQ(cv::imread((dir / "m" / "002.png").string(), cv::IMREAD_UNCHANGED).channels(), 4);
    for (const char* refused : {"m.mp4", "m.mkv", "m.jpg"}) {
        SCOPED_TRACE(refused);
        const Result r = run("render " + at("clip.mkv") + " -o " + at(refused) + " --alpha mask");
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_NE(r.err.find("VP9 in .webm, or ProRes 4444 in .mov"), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(dir / refused));
    }
    const Result masked =
        run("render " + at("clip.mkv") + " -o " + at("n.webm") + " --alpha mask --set mask=on");
    EXPECT_EQ(masked.exitCode, 2);
    EXPECT_NE(masked.err.find("leave the mask check box off"), std::string::npos);
}

}  // namespace
