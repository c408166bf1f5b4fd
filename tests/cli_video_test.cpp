// drawlet on videos: ffmpeg in and out, frame ranges, settings files, and its errors.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "cli_support.h"

namespace {

namespace fs = std::filesystem;

using Result = drawlet::test::CliResult;
using drawlet::test::slurp;

class VideoCli : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        if (std::system("command -v ffmpeg >/dev/null && command -v ffprobe >/dev/null") != 0)
            return;
        temp = new drawlet::test::TempDir;
        dir = &temp->path();
        // Twelve frames of a moving test picture with a tone.
        const std::string make =
            "ffmpeg -v error -f lavfi -i testsrc2=size=160x120:rate=24 "
            "-f lavfi -i sine=frequency=440 -frames:v 12 -t 0.5 -c:v ffv1 "
            "-c:a flac '" +
            (*dir / "clip.mkv").string() + "'";
        ASSERT_EQ(std::system(make.c_str()), 0);
    }
    static void TearDownTestSuite() {
        delete temp;
        temp = nullptr;
        dir = nullptr;
    }
    void SetUp() override {
        if (dir == nullptr) GTEST_SKIP() << "ffmpeg is not installed";
    }

    Result run(const std::string& args, const std::string& env = "") {
        return drawlet::test::runCli(*dir, args, env);
    }
    std::string probe(const fs::path& file, const std::string& entries,
                      const std::string& select = "v:0") {
        const fs::path out = *dir / "probe.txt";
        const std::string command = "ffprobe -v error -select_streams " + select +
                                    " -count_frames -show_entries stream=" + entries +
                                    " -of csv=p=0 '" + file.string() + "' >" + out.string();
        EXPECT_EQ(std::system(command.c_str()), 0);
        std::string text = slurp(out);
        while (!text.empty() && (text.back() == '\n' || text.back() == ',')) text.pop_back();
        return text;
    }
    std::string frameHashes(const std::string& pattern) {
        const fs::path out = *dir / "hash.txt";
        const std::string command = "ffmpeg -v error -i '" + pattern +
                                    "' -f framemd5 - | grep -v '^#' | cut -d, -f6 >" + out.string();
        EXPECT_EQ(std::system(command.c_str()), 0);
        return slurp(out);
    }
    std::string clip() { return "'" + (*dir / "clip.mkv").string() + "'"; }
    std::string at(const std::string& name) { return "'" + (*dir / name).string() + "'"; }

    static drawlet::test::TempDir* temp;
    static const fs::path* dir;
};

drawlet::test::TempDir* VideoCli::temp = nullptr;
const fs::path* VideoCli::dir = nullptr;

TEST_F(VideoCli, KeepsFrameCountSizeRateAndSound) {
    const Result r = run("render " + clip() + " -o " + at("out.mp4") + " -q");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(probe(*dir / "out.mp4", "width,height,r_frame_rate,nb_read_frames"),
              "160,120,24/1,12");
    EXPECT_EQ(probe(*dir / "out.mp4", "codec_type", "a"), "audio");
    EXPECT_NE(frameHashes((*dir / "clip.mkv").string()), frameHashes((*dir / "out.mp4").string()));
}

// Anamorphic pictures stay anamorphic, and every audio stream arrives, each copied when the
// container takes its codec and re-encoded when it does not.
TEST_F(VideoCli, KeepsPixelAspectAndEveryAudioStream) {
    const std::string make =
        "ffmpeg -v error -f lavfi -i testsrc2=size=160x120:rate=24 -f lavfi -i sine=frequency=440 "
        "-f lavfi -i sine=frequency=660 -map 0 -map 1 -map 2 -frames:v 6 -t 0.25 -vf setsar=4/3 "
        "-c:v ffv1 -c:a:0 libmp3lame -c:a:1 pcm_s16le " +
        at("two-tracks.mkv");
    ASSERT_EQ(std::system(make.c_str()), 0);
    const Result r = run("render " + at("two-tracks.mkv") + " -o " + at("two-tracks.mp4") + " -q");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(probe(*dir / "two-tracks.mp4", "sample_aspect_ratio"), "4:3");
    // mp3 goes into MP4 as it is; PCM cannot, so it becomes AAC.
    EXPECT_EQ(probe(*dir / "two-tracks.mp4", "codec_name", "a"), "mp3\naac");
}

// A phone video stored sideways with a rotation in its display matrix is read upright, as
// a player shows it: its frames are those of the same pictures turned upright by ffmpeg.
TEST_F(VideoCli, RotatedVideosComeOutUpright) {
    // The rotation goes into the display matrix when the stream is copied, not encoded.
    const std::string encode =
        "ffmpeg -v error -i " + clip() + " -frames:v 4 -c:v libx264 " + at("sideways.mp4");
    ASSERT_EQ(std::system(encode.c_str()), 0);
    const std::string turn = "ffmpeg -v error -i " + at("sideways.mp4") +
                             " -c copy -metadata:s:v rotate=90 " + at("turned.mp4");
    ASSERT_EQ(std::system(turn.c_str()), 0);
    ASSERT_EQ(probe(*dir / "turned.mp4", "width,height"), "160,120");
    const std::string upright =
        "ffmpeg -v error -i " + at("turned.mp4") + " -c:v ffv1 " + at("upright.mkv");
    ASSERT_EQ(std::system(upright.c_str()), 0);
    ASSERT_EQ(probe(*dir / "upright.mkv", "width,height"), "120,160");
    Result r = run("render " + at("turned.mp4") + " -o " + at("turned-out.mkv") + " -q");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    r = run("render " + at("upright.mkv") + " -o " + at("upright-out.mkv") + " -q");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(probe(*dir / "turned-out.mkv", "width,height"), "120,160");
    EXPECT_EQ(frameHashes((*dir / "turned-out.mkv").string()),
              frameHashes((*dir / "upright-out.mkv").string()));
}

// The same frames, whether rendered at once or in two ranges joined afterwards.
TEST_F(VideoCli, RangesJoinToTheFullRender) {
    fs::create_directories(*dir / "full");
    fs::create_directories(*dir / "parts");
    ASSERT_EQ(run("render " + clip() + " -o " + at("full/%04d.png") + " -q").exitCode, 0);
    Result r = run("render " + clip() + " -o " + at("parts/%04d.png") + " --frames 5 -q");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    r = run("render " + clip() + " -o " + at("parts/%04d.png") + " --start 5 -q");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(fs::exists(*dir / "parts" / "0000.png"));
    EXPECT_TRUE(fs::exists(*dir / "parts" / "0011.png"));  // files keep the true frame numbers
    EXPECT_FALSE(fs::exists(*dir / "parts" / "0012.png"));
    const std::string full = frameHashes((*dir / "full/%04d.png").string());
    EXPECT_EQ(std::count(full.begin(), full.end(), '\n'), 12);
    EXPECT_EQ(full, frameHashes((*dir / "parts/%04d.png").string()));
    // An output folder that does not exist is refused before any work.
    r = run("render " + clip() + " -o " + at("shifted/%04d.png") + " --start 5 -q");
    EXPECT_EQ(r.exitCode, 1);  // the folder does not exist
    EXPECT_NE(r.err.find("does not exist"), std::string::npos);
}

TEST_F(VideoCli, ImageSequencesAsInput) {
    fs::create_directories(*dir / "seq");
    ASSERT_EQ(
        std::system(
            ("ffmpeg -v error -i " + clip() + " -start_number 0 " + at("seq/%03d.png")).c_str()),
        0);
    const Result r =
        run("render " + at("seq/%03d.png") + " -o " + at("fromseq.mkv") + " --rate 24 -q");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(probe(*dir / "fromseq.mkv", "width,height,r_frame_rate,nb_read_frames"),
              "160,120,24/1,12");
}

TEST_F(VideoCli, SettingsFilesAndSavedValues) {
    std::ofstream(*dir / "good.json") << R"({"mode": 3, "線濃度": 150, "12": 7, "mask": true})";
    Result r =
        run("params --settings " + at("good.json") + " --set seed=9 --save " + at("saved.json"));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string saved = slurp(*dir / "saved.json");
    EXPECT_NE(saved.find("\"mode\": 3"), std::string::npos) << saved;
    EXPECT_NE(saved.find("\"line-density\": 150"), std::string::npos);
    EXPECT_NE(saved.find("\"seed\": 9"), std::string::npos);  // --set wins over the file
    EXPECT_NE(saved.find("\"mask\": true"), std::string::npos);
    // A saved file loads back to the same values.
    r = run("params --settings " + at("saved.json") + " --save " + at("again.json"));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(slurp(*dir / "again.json"), saved);
    // An existing file is kept unless -y is given.
    r = run("params --set seed=3 --save " + at("again.json"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("already exists"), std::string::npos) << r.err;
    EXPECT_EQ(slurp(*dir / "again.json"), saved);
    r = run("params --set seed=3 -y --save " + at("again.json"));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(slurp(*dir / "again.json").find("\"seed\": 3"), std::string::npos);
}

TEST_F(VideoCli, SettingsFileErrorsNameFileKeyAndRange) {
    struct Case {
        const char* json;
        const char* expected;
    };
    const Case cases[] = {{R"({"nonsense": 1})", "\"nonsense\""},
                          {R"({"mode": 9})", "1..5"},
                          {R"({"line-step": "five"})", "1..100"},
                          {R"({"mask": 3})", "on/off"},
                          {R"({"mode": 2.5})", "mode"},
                          {R"({"mode": 2,)", "not valid JSON"},
                          {R"([1, 2])", "JSON object"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.json);
        std::ofstream(*dir / "bad.json") << c.json;
        const Result r =
            run("render " + clip() + " -o " + at("bad.mp4") + " --settings " + at("bad.json"));
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_NE(r.err.find("bad.json"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(c.expected), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(*dir / "bad.mp4"));
    }
}

TEST_F(VideoCli, ErrorsAreClearAndLeaveNothingBehind) {
    std::ofstream(*dir / "text.mp4") << "not a video at all";
    Result r = run("render " + at("text.mp4") + " -o " + at("x.mp4"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("text.mp4"), std::string::npos) << r.err;
    r = run("render " + clip() + " -o " + at("y.mp4"), "PATH=/nonexistent");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("ffmpeg is not installed"), std::string::npos) << r.err;
    r = run("render " + clip() + " -o " + at("still.png"));
    EXPECT_EQ(r.exitCode, 2);  // a video into one picture
    std::ofstream(*dir / "exists.mp4") << "keep me";
    r = run("render " + clip() + " -o " + at("exists.mp4") + " -q");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(slurp(*dir / "exists.mp4"), "keep me");
    // ffmpeg's complaint about the output names the file asked for, not a temporary one.
    r = run("render " + clip() + " -o " + at("format.unknown") + " -q");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("format.unknown"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find(".part-"), std::string::npos) << r.err;
    r = run("render " + clip() + " -o " + at("range.mp4") + " --start 50 -q");
    EXPECT_EQ(r.exitCode, 1);  // past the end: no frames
    for (const auto& entry : fs::directory_iterator(*dir))
        EXPECT_EQ(entry.path().filename().string().find(".part-"), std::string::npos)
            << entry.path();
    EXPECT_FALSE(fs::exists(*dir / "range.mp4"));
}

TEST_F(VideoCli, ProgressLinesWhenNotATerminal) {
    const Result r = run("render " + clip() + " -o " + at("progress.mkv"));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("frame 12/12 (100%)"), std::string::npos) << r.err;
    const Result quiet = run("render " + clip() + " -o " + at("quiet.mkv") + " -q");
    EXPECT_EQ(quiet.err, "");
}

TEST_F(VideoCli, DemoWritesTheSheetAndTheClip) {
    const Result r = run("demo -q -o " + at("demo.png"));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(probe(*dir / "demo.png", "width,height"), "1920,696");
    EXPECT_EQ(probe(*dir / "demo.mp4", "nb_read_frames"), "75");
}

}  // namespace
