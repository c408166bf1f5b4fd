// Named looks and compare sheets, through the drawlet program.
#include <gtest/gtest.h>

#include <filesystem>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cli_support.h"

namespace {

namespace fs = std::filesystem;

using Result = drawlet::test::CliResult;

std::vector<std::string> sourceLooks() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(DRAWLET_LOOKS_SOURCE))
        if (entry.path().extension() == ".json") names.push_back(entry.path().stem().string());
    std::sort(names.begin(), names.end());
    return names;
}

class Looks : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = temp.path();
        // Shapes, edges and a gradient: enough for strokes and every hatching level.
        cv::Mat picture(90, 120, CV_8UC3);
        for (int y = 0; y < picture.rows; ++y)
            for (int x = 0; x < picture.cols; ++x)
                picture.at<cv::Vec3b>(y, x) = cv::Vec3b(2 * x, 2 * y, 255 - 2 * x);
        cv::circle(picture, {40, 45}, 22, cv::Scalar(30, 40, 200), cv::FILLED);
        cv::rectangle(picture, {70, 20}, {110, 70}, cv::Scalar(240, 240, 240), cv::FILLED);
        input = dir / "in.png";
        ASSERT_TRUE(cv::imwrite(input.string(), picture));
    }
    Result run(const std::string& args) { return drawlet::test::runCli(dir, args); }
    std::string q(const fs::path& p) { return "'" + p.string() + "'"; }
    cv::Mat render(const std::string& name, const std::string& settings) {
        const fs::path out = dir / (name + ".png");
        const Result r = run("render " + q(input) + " -o " + q(out) + " -y " + settings);
        EXPECT_EQ(r.exitCode, 0) << settings << ": " << r.err;
        return cv::imread(out.string(), cv::IMREAD_UNCHANGED);
    }

    drawlet::test::TempDir temp;
    fs::path dir, input;
};

TEST_F(Looks, TheListHasEveryLookOfTheRepositoryWithItsDescription) {
    const Result r = run("looks");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::istringstream lines(r.out);
    std::vector<std::string> listed;
    for (std::string line; std::getline(lines, line);) {
        const auto gap = line.find("  ");
        ASSERT_NE(gap, std::string::npos) << line;
        EXPECT_GT(line.find_first_not_of(' ', gap), gap) << "no description: " << line;
        listed.push_back(line.substr(0, gap));
    }
    EXPECT_EQ(listed, sourceLooks());
    EXPECT_GE(listed.size(), 8u);
}

// Every look renders, each gives its own picture, and none is the default one.
TEST_F(Looks, EveryLookRendersItsOwnPicture) {
    const cv::Mat plain = render("default", "");
    std::vector<std::pair<std::string, cv::Mat>> seen{{"defaults", plain}};
    for (const std::string& look : sourceLooks()) {
        SCOPED_TRACE(look);
        const cv::Mat drawn = render(look, "--look " + look);
        ASSERT_EQ(drawn.size(), plain.size());
        for (const auto& [other, picture] : seen)
            EXPECT_GT(cv::norm(drawn, picture, cv::NORM_INF), 0) << "same as " << other;
        seen.emplace_back(look, drawn);
    }
}

// A look applies first: --settings and --set change it, in that order.
TEST_F(Looks, SettingsAndSetApplyAfterTheLook) {
    const fs::path file = fs::path(DRAWLET_LOOKS_SOURCE) / "comic-ink.json";
    const cv::Mat viaLook = render("a", "--look comic-ink --set line-width=5");
    const cv::Mat viaFile = render("b", "--settings " + q(file) + " --set line-width=5");
    EXPECT_EQ(cv::norm(viaLook, viaFile, cv::NORM_INF), 0);
    const fs::path mode4 = dir / "mode4.json";
    std::ofstream(mode4) << R"({"description": "pencil", "mode": 4})";
    const cv::Mat overridden = render("c", "--look comic-ink --settings " + q(mode4));
    const cv::Mat direct = render("d", "--settings " + q(file) + " --set mode=4");
    EXPECT_EQ(cv::norm(overridden, direct, cv::NORM_INF), 0);
    EXPECT_GT(cv::norm(overridden, viaLook, cv::NORM_INF), 0);
}

TEST_F(Looks, MistakesAreUsageErrors) {
    const struct {
        std::string args;
        const char* says;
    } cases[] = {
        {"render " + q(input) + " -o " + q(dir / "x.png") + " --look comic-inc",
         "no such look (did you mean comic-ink?)"},
        {"compare " + q(input) + " -o " + q(dir / "x.png") + " --vary mode=1,9",
         "takes an integer in 1..5"},
        {"compare " + q(input) + " -o " + q(dir / "x.png") + " --vary colour=1,2",
         "no slider or check box is called \"colour\""},
        {"compare " + q(input) + " -o " + q(dir / "x.png") + " --vary mode", "NAME=V1,V2"},
        {"compare " + q(input) + " -o " + q(dir / "x.mp4"), "the sheet is a picture"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        const Result r = run(c.args);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(dir / "x.png"));
    }
    const fs::path described = dir / "described.json";
    std::ofstream(described) << R"({"description": 7, "mode": 2})";
    const Result r =
        run("render " + q(input) + " -o " + q(dir / "x.png") + " --settings " + q(described));
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("\"description\" takes a line of text"), std::string::npos) << r.err;
}

// A sheet holds one labelled tile per look (with the original and the defaults), or per
// value, each tile the render of those settings scaled to the tile width over a window of it
// at full size.
TEST_F(Looks, CompareLaysOutOneTilePerLookOrValue) {
    const int band = 28;    // the label under each tile
    const int detail = 30;  // the full-size window: half the tile width high
    const struct {
        std::string args;
        int columns, rows;
    } cases[] = {
        {"--look stipple --look chalk --tile-width 60", 4, 1},
        {"--vary mode=1,3,5 --tile-width 60", 3, 1},
        {"--look stipple --look chalk --vary line-width=0,2 --tile-width 60", 2, 2},
        {"--tile-width 60 --columns 4", 4, static_cast<int>((sourceLooks().size() + 2 + 3) / 4)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        const fs::path sheet = dir / "sheet.png";
        const Result r = run("compare " + q(input) + " -o " + q(sheet) + " -y " + c.args);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const cv::Mat image = cv::imread(sheet.string());
        EXPECT_EQ(image.cols, 60 * c.columns);
        EXPECT_EQ(image.rows, (45 + detail + band) * c.rows);
    }
    // The second tile of a --vary sheet is the render at that value, scaled down.
    ASSERT_EQ(run("compare " + q(input) + " -o " + q(dir / "v.png") +
                  " -y --vary mode=1,3 --tile-width 0")
                  .exitCode,
              0);
    const cv::Mat sheet = cv::imread((dir / "v.png").string());
    const cv::Mat mode3 = render("mode3", "--set mode=3");
    EXPECT_EQ(cv::norm(sheet(cv::Rect(120, 0, 120, 90)), mode3, cv::NORM_INF), 0);
}

// The full-size window under the tiles is where the picture is busiest: on a flat picture
// with one patch of fine detail, it holds the whole patch.
TEST_F(Looks, CompareShowsTheBusiestWindowAtFullSize) {
    cv::Mat flat(90, 240, CV_8UC3, cv::Scalar(128, 128, 128)), noise(30, 40, CV_8UC3);
    cv::randu(noise, 0, 256);
    noise.copyTo(flat(cv::Rect(170, 50, 40, 30)));
    ASSERT_TRUE(cv::imwrite((dir / "busy.png").string(), flat));
    ASSERT_EQ(run("compare " + q(dir / "busy.png") + " -o " + q(dir / "b.png") +
                  " -y --look stipple --tile-width 60")
                  .exitCode,
              0);
    // The original's tile: 60x22 scaled, then the 60x30 window at full size.
    const cv::Mat window = cv::imread((dir / "b.png").string())(cv::Rect(0, 22, 60, 30));
    cv::Mat match;
    cv::matchTemplate(flat, window, match, cv::TM_SQDIFF);
    cv::Point at;
    cv::minMaxLoc(match, nullptr, nullptr, &at);
    EXPECT_EQ(cv::norm(flat(cv::Rect(at, window.size())), window, cv::NORM_INF), 0);
    EXPECT_LE(at.x, 170);
    EXPECT_GE(at.x + 60, 210);
    EXPECT_EQ(at.y, 50);
}

}  // namespace
