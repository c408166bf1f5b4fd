// drawlet on videos: FFmpeg in process, exact time and sound, parts and join, playable
// defaults, colour tags, signals, and its errors.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include "cli_suite.h"

namespace {

namespace fs = std::filesystem;

using Result = drawlet::test::CliResult;
using drawlet::test::frameHashes;
using drawlet::test::frameTimes;
using drawlet::test::packetHashes;
using drawlet::test::probe;
using drawlet::test::shell;
using drawlet::test::slurp;

class VideoCli : public drawlet::test::CliSuite<VideoCli> {
  protected:
    static void SetUpTestSuite() {
        if (!openFolder()) return;
        // Twelve frames of a moving test picture with a tone.
        make(
            "-f lavfi -i testsrc2=size=160x120:rate=24 -f lavfi -i sine=frequency=440 "
            "-frames:v 12 -t 0.5 -c:v ffv1 -c:a flac",
            "clip.mkv");
    }
    static std::string clip() { return at("clip.mkv"); }
};

TEST_F(VideoCli, KeepsFrameCountSizeRateAndSound) {
    const Result r = run("render " + clip() + " -o " + at("out.mp4") + " -q");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(probe(file("out.mp4"), "stream=width,height,r_frame_rate,nb_frames"),
              "160,120,24/1,12");
    // FLAC is experimental in MP4: re-encoded as AAC, and said so.
    EXPECT_EQ(probe(file("out.mp4"), "stream=codec_name", "a"), "aac");
    EXPECT_NE(r.err.find("flac audio re-encoded as aac"), std::string::npos) << r.err;
}

// Anamorphic pictures stay anamorphic, and every audio stream arrives, each copied when the
// container takes its codec and re-encoded when it does not.
TEST_F(VideoCli, KeepsPixelAspectAndEveryAudioStream) {
    make(
        "-f lavfi -i testsrc2=size=160x120:rate=24 -f lavfi -i sine=frequency=440 -f lavfi -i "
        "sine=frequency=660 -map 0 -map 1 -map 2 -frames:v 6 -t 0.25 -vf setsar=4/3 -c:v ffv1 "
        "-c:a:0 libmp3lame -c:a:1 pcm_s16le -metadata title=Harbour -metadata:s:a:1 "
        "language=fra",
        "two-tracks.mkv");
    const Result r = run("render " + at("two-tracks.mkv") + " -o " + at("two-tracks.mp4") + " -q");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(probe(file("two-tracks.mp4"), "stream=sample_aspect_ratio"), "4:3");
    // mp3 goes into MP4 as it is; PCM cannot, so it becomes AAC.
    EXPECT_EQ(probe(file("two-tracks.mp4"), "stream=codec_name", "a"), "mp3\naac");
    EXPECT_NE(r.err.find("pcm_s16le audio re-encoded as aac"), std::string::npos) << r.err;
    EXPECT_EQ(probe(file("two-tracks.mp4"), "format_tags=title"), "Harbour");
    EXPECT_EQ(probe(file("two-tracks.mp4"), "stream_tags=language", "a:1"), "fra");
}

// A phone video stored sideways comes out upright, at the upright size.
TEST_F(VideoCli, RotatedVideosComeOutUpright) {
    make("-i " + clip() + " -frames:v 4 -c:v libx264", "sideways.mp4");
    make("-i " + at("sideways.mp4") + " -c copy -metadata:s:v rotate=90", "turned.mp4");
    const Result r = run("render " + at("turned.mp4") + " -o " + at("turned-out.mkv") + " -q");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(probe(file("turned-out.mkv"), "stream=width,height"), "120,160");
    EXPECT_EQ(probe(file("turned-out.mkv"), "stream_side_data=rotation"), "");
}

// Frames stay at their input times when the rate varies, in both containers, with the sound.
TEST_F(VideoCli, VariableFrameRateKeepsItsTimestamps) {
    make(
        "-f lavfi -i testsrc2=size=64x48:rate=30 -f lavfi -i sine -t 3 -vf "
        "select='lt(t\\,1)+gte(t\\,2)+not(mod(n\\,5))' -fps_mode vfr -c:v ffv1 -c:a aac",
        "vfr.mkv");
    const std::vector<double> times = frameTimes(file("vfr.mkv"));
    ASSERT_EQ(times.size(), 66u);
    for (const char* name : {"vfr-out.mkv", "vfr-out.mp4"}) {
        SCOPED_TRACE(name);
        const Result r = run("render " + at("vfr.mkv") + " -o " + at(name) + " -q");
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const std::vector<double> out = frameTimes(file(name));
        ASSERT_EQ(out.size(), times.size());
        for (std::size_t i = 0; i < times.size(); ++i) EXPECT_NEAR(out[i], times[i], 0.0011) << i;
        const double audio = std::stod(probe(file(name), "packet=pts_time", "a").substr(0, 8));
        EXPECT_NEAR(audio, 0.0, 0.03);  // the sound starts with the first frame
    }
}

// Decoding, filtering and encoding share the threads given: the frames are the same at any count.
TEST_F(VideoCli, EveryThreadCountGivesTheSameFrames) {
    std::string first;
    for (const std::string threads : {"1", "2", "3"}) {
        const std::string out = "threads" + threads + ".mkv";
        const Result r =
            run("render " + clip() + " -o " + at(out) + " --codec ffv1 -q --threads " + threads);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const std::string hashes = frameHashes(file(out));
        EXPECT_EQ(std::count(hashes.begin(), hashes.end(), '\n'), 12);
        if (first.empty()) first = hashes;
        EXPECT_EQ(hashes, first) << threads << " threads";
    }
}

// Four parts of a 59.94 fps clip with AAC, rendered apart and joined, give the frames of one
// full render at the input's times, with the input's audio packets unchanged. Three parts start
// inside a group of pictures (a keyframe every 8 frames): their renders seek exactly.
TEST_F(VideoCli, PartsJoinIntoTheFullRender) {
    constexpr int kPart = 6;  // frames; the clip holds four parts
    make(
        "-f lavfi -i testsrc2=size=64x48:rate=60000/1001 -f lavfi -i sine -t 0.4 -c:v libx264 "
        "-g 8 -c:a aac",
        "farm.mp4");
    const std::string lossless = " --codec ffv1 -q";
    ASSERT_EQ(run("render " + at("farm.mp4") + " -o " + at("full.mkv") + lossless).exitCode, 0);
    std::string parts;
    for (int i = 0; i < 4; ++i) {
        const std::string part = "part" + std::to_string(i) + ".mkv";
        const Result r =
            run("render " + at("farm.mp4") + " -o " + at(part) + lossless + " --start " +
                std::to_string(i * kPart) + " --frames " + std::to_string(kPart));
        ASSERT_EQ(r.exitCode, 0) << r.err;
        parts = at(part) + " " + parts;  // in reverse: join puts them in order
    }
    Result r = run("join -q -o " + at("joined.mkv") + " " + parts);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(frameHashes(file("joined.mkv")), frameHashes(file("full.mkv")));
    const std::vector<double> in = frameTimes(file("farm.mp4")),
                              out = frameTimes(file("joined.mkv"));
    ASSERT_EQ(in.size(), 4u * kPart);
    ASSERT_EQ(out.size(), in.size());
    for (std::size_t i = 0; i < in.size(); ++i) EXPECT_NEAR(out[i], in[i], 0.0011) << i;
    EXPECT_EQ(packetHashes(file("joined.mkv"), "a"), packetHashes(file("farm.mp4"), "a"));

    // Parts that leave a gap, overlap, or come from another input are refused by name.
    ASSERT_EQ(run("render " + at("farm.mp4") + " -o " + at("late.mkv") + lossless +
                  " --start 4 --frames " + std::to_string(kPart))
                  .exitCode,
              0);
    ASSERT_EQ(
        run("render " + clip() + " -o " + at("other.mkv") + lossless + " --frames 3").exitCode, 0);
    struct Case {
        std::string parts, says;
    };
    const Case refused[] = {{at("part0.mkv") + " " + at("part2.mkv"), "frames 6..11"},
                            {at("part0.mkv") + " " + at("late.mkv"), "overlap"},
                            {at("other.mkv") + " " + at("part1.mkv"), "different inputs"},
                            {clip(), "not a part"}};
    for (const Case& c : refused) {
        SCOPED_TRACE(c.parts);
        r = run("join -o " + at("refused.mkv") + " " + c.parts);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(file("refused.mkv")));
    }
}

// Subtitles and chapters go along: copied into Matroska, converted for MP4, cut to each
// part's time and put back together by join, where a cue and a chapter cross the parts'
// meeting at 0.7 s.
TEST_F(VideoCli, SubtitlesAndChaptersSurviveRenderAndJoin) {
    std::ofstream(file("cues.srt")) << "1\n00:00:00,100 --> 00:00:00,850\nHello\n\n"
                                       "2\n00:00:00,850 --> 00:00:00,950\nWorld\n";
    std::ofstream(file("marks.txt"))
        << ";FFMETADATA1\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=0\nEND=500\ntitle=One\n"
           "[CHAPTER]\nTIMEBASE=1/1000\nSTART=500\nEND=1000\ntitle=Two\n";
    make("-f lavfi -i testsrc2=size=64x48:rate=10 -i " + at("cues.srt") + " -i " + at("marks.txt") +
             " -map 0 -map 1 -map_chapters 2 -t 1 -c:v ffv1 -c:s srt",
         "subbed.mkv");
    const std::string lossless = " --codec ffv1 -q";
    for (const std::string& args :
         {"-o " + at("subbed-full.mkv"), "-o " + at("subbed-a.mkv") + " --frames 7",
          "-o " + at("subbed-b.mkv") + " --start 7"}) {
        const Result r = run("render " + at("subbed.mkv") + " " + args + lossless);
        ASSERT_EQ(r.exitCode, 0) << r.err;
    }
    const Result r = run("join -q -o " + at("subbed-joined.mkv") + " " + at("subbed-b.mkv") + " " +
                         at("subbed-a.mkv"));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto cues = [](const fs::path& f) {
        return probe(f, "packet=pts_time,duration_time", "s") + "\n" + packetHashes(f, "s");
    };
    const auto chapters = [](const fs::path& f) {
        return probe(f, "chapter=start_time,end_time:chapter_tags=title");
    };
    const fs::path in = file("subbed.mkv");
    for (const char* out : {"subbed-full.mkv", "subbed-joined.mkv"}) {
        SCOPED_TRACE(out);
        EXPECT_EQ(cues(file(out)), cues(in));
        EXPECT_EQ(chapters(file(out)), chapters(in));
    }
    // The second part alone starts with the rest of the first cue and of the last chapter.
    EXPECT_EQ(probe(file("subbed-b.mkv"), "packet=pts_time,duration_time", "s"),
              "0.700000,0.150000\n0.850000,0.100000");
    EXPECT_EQ(chapters(file("subbed-b.mkv")), "0.700000,1.000000,Two");

    // MP4 takes no SubRip: the cues become MOV text, with the same words at the same times.
    const Result mp4 = run("render " + at("subbed.mkv") + " -o " + at("subbed.mp4") + " -q");
    ASSERT_EQ(mp4.exitCode, 0) << mp4.err;
    EXPECT_NE(mp4.err.find("subrip subtitle converted to mov_text"), std::string::npos) << mp4.err;
    const std::string srt = " -map 0:s -f srt -";
    EXPECT_EQ(shell("ffmpeg -v error -i " + at("subbed.mp4") + srt),
              shell("ffmpeg -v error -i " + at("subbed.mkv") + srt));
    EXPECT_EQ(chapters(file("subbed.mp4")), chapters(in));
}

// Render and join write through one muxer: a stream the container cannot take is named in
// the same words by both, and MP4 puts its index first either way.
TEST_F(VideoCli, RenderAndJoinKeepStreamsByOneRule) {
    const std::string vp9 = " --codec libvpx-vp9 -q";
    ASSERT_EQ(run("render " + clip() + " -o " + at("vp9-a.mkv") + vp9 + " --frames 6").exitCode, 0);
    ASSERT_EQ(run("render " + clip() + " -o " + at("vp9-b.mkv") + vp9 + " --start 6").exitCode, 0);
    const std::string parts = at("vp9-a.mkv") + " " + at("vp9-b.mkv");
    struct Case {
        std::string command;
        const char* output;
    };
    const Case cases[] = {{"render -q " + clip(), "rendered.ivf"},
                          {"join -q " + parts, "joined.ivf"},
                          {"render -q " + clip(), "rendered.mp4"},
                          {"join -q " + parts, "joined.mp4"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.output);
        const Result r = run(c.command + " -o " + at(c.output));
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const std::string bytes = slurp(file(c.output));
        if (fs::path(c.output).extension() == ".ivf")
            EXPECT_NE(r.err.find("drawlet: note: " + file(c.output).string() +
                                 ": audio stream 1 (flac) is left out: the ivf format cannot "
                                 "hold it and no encoder here converts it"),
                      std::string::npos)
                << r.err;
        else
            EXPECT_LT(bytes.find("moov"), bytes.find("mdat"));
    }
}

// join refuses a part cut short, a part rendered with other settings and tags out of range,
// naming the part and writing nothing.
TEST_F(VideoCli, JoinRefusesPartsThatAreNotWholeOrOfOneRender) {
    const std::string lossless = " --codec ffv1 -q";
    for (const std::string& args :
         {"-o " + at("whole-a.mkv") + " --frames 6", "-o " + at("whole-b.mkv") + " --start 6",
          "-o " + at("seeded-b.mkv") + " --start 6 --set seed=9"}) {
        const Result r = run("render " + clip() + " " + args + lossless);
        ASSERT_EQ(r.exitCode, 0) << r.err;
    }
    fs::copy_file(file("whole-b.mkv"), file("cut-b.mkv"));
    fs::resize_file(file("cut-b.mkv"), fs::file_size(file("cut-b.mkv")) / 2);
    make("-i " + at("whole-b.mkv") +
             " -map 0 -c copy -metadata DRAWLET_FIRST_FRAME=9223372036854775807",
         "far-b.mkv");
    struct Case {
        const char* part;
        const char* says;
    };
    const Case cases[] = {{"cut-b.mkv", "of its 6 frames"},
                          {"seeded-b.mkv", "rendered with other settings than"},
                          {"far-b.mkv", "out of range"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.part);
        const Result r =
            run("join -o " + at("refused.mkv") + " " + at("whole-a.mkv") + " " + at(c.part));
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_NE(r.err.find("drawlet: " + file(c.part).string() + ": "), std::string::npos)
            << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        for (const auto& entry : fs::directory_iterator(*dir))
            EXPECT_EQ(entry.path().filename().string().find("refused"), std::string::npos);
    }
    EXPECT_EQ(
        run("join -q -o " + at("whole.mkv") + " " + at("whole-a.mkv") + " " + at("whole-b.mkv"))
            .exitCode,
        0);
}

// Outputs play in browsers and phones by default: 8-bit 4:2:0, even sides.
TEST_F(VideoCli, DefaultOutputsArePlayable) {
    make("-f lavfi -i testsrc=size=151x101:rate=10 -frames:v 3 -c:v ffv1", "odd.mkv");
    struct Case {
        const char* name;
        const char* codec;  // with its profile, as ffprobe names them
        const char* level;  // none for VP9
    };
    for (const Case& c :
         {Case{"play.mp4", "h264,High", "41"}, Case{"play.mov", "h264,High", "41"},
          Case{"play.mkv", "h264,High", "41"}, Case{"play.webm", "vp9,Profile 0", "-99"}}) {
        SCOPED_TRACE(c.name);
        const Result r = run("render " + at("odd.mkv") + " -o " + at(c.name) + " -q");
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(probe(file(c.name), "stream=codec_name,profile,level,width,height,pix_fmt"),
                  std::string(c.codec) + ",152,102,yuv420p," + c.level);
        EXPECT_NE(r.err.find("151x101 padded to 152x102"), std::string::npos) << r.err;
    }
    const Result ten =
        run("render " + at("odd.mkv") + " -o " + at("ten.mkv") + " --pix-fmt yuv420p10le -q");
    ASSERT_EQ(ten.exitCode, 0) << ten.err;
    EXPECT_EQ(probe(file("ten.mkv"), "stream=pix_fmt"), "yuv420p10le");
}

TEST_F(VideoCli, ColourTagsAreKept) {
    make(
        "-f lavfi -i testsrc2=size=160x120:rate=10 -frames:v 2 -vf "
        "scale=out_color_matrix=bt709,format=yuv420p -colorspace bt709 -color_primaries bt709 "
        "-color_trc bt709 -color_range tv -c:v libx264",
        "hd.mp4");
    const Result r = run("render " + at("hd.mp4") + " -o " + at("hd-out.mkv") + " -q");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(
        probe(file("hd-out.mkv"), "stream=color_space,color_primaries,color_transfer,color_range"),
        "tv,bt709,bt709,bt709");
}

// Pictures with an alpha channel keep it where the output can hold it, else a note says so.
TEST_F(VideoCli, AlphaIsKeptOrNamed) {
    fs::create_directories(file("rgba"));
    make(
        "-f lavfi -i \"testsrc=size=64x48:rate=10,format=rgba,geq=r='r(X,Y)':a='4*X'\" "
        "-frames:v 3 -start_number 0",
        "rgba/%02d.png");
    Result r = run("render " + at("rgba/%02d.png") + " -o " + at("alpha.webm") + " -q");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(probe(file("alpha.webm"), "stream_tags=alpha_mode"), "1");
    fs::create_directories(file("back"));
    r = run("render " + at("alpha.webm") + " -o " + at("back/%02d.png") + " -q");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(probe(file("back/01.png"), "stream=pix_fmt"), "rgba");
    r = run("render " + at("rgba/%02d.png") + " -o " + at("flat.mp4") + " -q");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("alpha channel is dropped"), std::string::npos) << r.err;
}

// The same frames, whether rendered at once or in two ranges into one image sequence.
TEST_F(VideoCli, RangesOfPicturesLandSideBySide) {
    fs::create_directories(file("full"));
    fs::create_directories(file("parts"));
    ASSERT_EQ(run("render " + clip() + " -o " + at("full/%04d.png") + " -q").exitCode, 0);
    Result r = run("render " + clip() + " -o " + at("parts/%04d.png") + " --frames 5 -q");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    r = run("render " + clip() + " -o " + at("parts/%04d.png") + " --start 5 -q");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(fs::exists(file("parts/0011.png")));  // files keep the true frame numbers
    EXPECT_FALSE(fs::exists(file("parts/0012.png")));
    const std::string full = frameHashes(file("full/%04d.png"));
    EXPECT_EQ(std::count(full.begin(), full.end(), '\n'), 12);
    EXPECT_EQ(full, frameHashes(file("parts/%04d.png")));
    // One frame of a video into a picture: the same bytes as that frame of the sequence.
    r = run("render " + clip() + " -o " + at("seven.png") + " --frame 7 -q");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(slurp(file("seven.png")), slurp(file("full/0007.png")));
}

TEST_F(VideoCli, ImageSequencesStandardInputAndOutput) {
    fs::create_directories(file("seq"));
    make("-i " + clip() + " -start_number 0", "seq/%03d.png");
    Result r = run("render " + at("seq/%03d.png") + " -o " + at("fromseq.mkv") + " --rate 24 -q");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(probe(file("fromseq.mkv"), "stream=width,height,r_frame_rate"), "160,120,24/1");
    EXPECT_EQ(frameTimes(file("fromseq.mkv")).size(), 12u);
    const std::string piped = "cat " + clip() + " | " + DRAWLET_CLI_PATH +
                              " render - -o - -q --format matroska > " + at("piped.mkv");
    ASSERT_EQ(std::system(piped.c_str()), 0);
    EXPECT_EQ(frameTimes(file("piped.mkv")).size(), 12u);
    // An MP4 with its index last cannot be read from a pipe; the message says what to do. The
    // clip is larger (180 kB) than what FFmpeg's read buffer can seek back over: a 60 kB one is
    // read whole from the pipe.
    make("-f lavfi -i testsrc2=size=640x360:rate=25 -t 2 -c:v libx264", "late.mp4");
    const std::string late = "cat " + at("late.mp4") + " | " + DRAWLET_CLI_PATH + " render - -o " +
                             at("late.mkv") + " -q 2> " + at("late.txt");
    EXPECT_NE(std::system(late.c_str()), 0);
    EXPECT_NE(slurp(file("late.txt")).find("faststart"), std::string::npos)
        << slurp(file("late.txt"));
}

// Ctrl-C, SIGTERM and SIGHUP stop a render and leave nothing unfinished behind, whatever the
// output: no file, or the whole frames of an image sequence.
TEST_F(VideoCli, SignalsStopAndLeaveNothingBehind) {
    // A minute of small pictures: a render takes seconds, far longer than the wait below.
    make("-f lavfi -i testsrc2=size=320x180:rate=25 -t 60 -c:v libx264 -preset ultrafast",
         "long.mp4");
    struct Case {
        const char* signal;
        int exitCode;
        const char* output;
    };
    const Case cases[] = {
        {"INT", 130, "stop/out.mp4"}, {"TERM", 143, "stop/%04d.png"}, {"HUP", 129, "stop/out.mkv"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.signal);
        fs::create_directories(file("stop"));
        // Started in the background; stopped once its temporary output exists.
        std::ofstream(file("stop.sh"))
            << DRAWLET_CLI_PATH << " render " << at("long.mp4") << " -o " << at(c.output)
            << " -q 2>/dev/null & p=$!\n"
            << "for i in $(seq 200); do ls -A " << at("stop") << " | grep -q . && break; "
            << "sleep 0.1; done\nsleep 0.3; kill -" << c.signal << " $p; wait $p; echo $?\n";
        EXPECT_EQ(shell("bash " + at("stop.sh")), std::to_string(c.exitCode) + "\n");
        for (const auto& entry : fs::directory_iterator(file("stop")))
            EXPECT_EQ(entry.path().filename().string().find_first_not_of("0123456789"), 4u)
                << entry.path();
        fs::remove_all(file("stop"));
    }
}

TEST_F(VideoCli, SettingsFilesAndSavedValues) {
    std::ofstream(file("good.json")) << R"({"mode": 3, "線濃度": 150, "12": 7, "mask": true})";
    Result r =
        run("params --settings " + at("good.json") + " --set seed=9 --save " + at("saved.json"));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string saved = slurp(file("saved.json"));
    EXPECT_NE(saved.find("\"mode\": 3"), std::string::npos) << saved;
    EXPECT_NE(saved.find("\"line-density\": 150"), std::string::npos);
    EXPECT_NE(saved.find("\"seed\": 9"), std::string::npos);  // --set wins over the file
    EXPECT_NE(saved.find("\"mask\": true"), std::string::npos);
    // A saved file loads back to the same values.
    r = run("params --settings " + at("saved.json") + " --save " + at("again.json"));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(slurp(file("again.json")), saved);
    // An existing file is kept unless -y is given.
    r = run("params --set seed=3 --save " + at("again.json"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("already exists"), std::string::npos) << r.err;
    EXPECT_EQ(slurp(file("again.json")), saved);
    r = run("params --set seed=3 -y --save " + at("again.json"));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(slurp(file("again.json")).find("\"seed\": 3"), std::string::npos);
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
                          {R"({"mode": 1e400})", "key \"mode\": 1e400 is beyond"},
                          {R"({"tilt": 18446744073709551316})", "-500..500"},
                          {R"({"tilt": -4294967396})", "-500..500"},
                          {R"({"seed": 1, "seed": 2})", "given twice"},
                          {R"({"mode": 3, "モード": 4})", "\"mode\" and \"モード\" both name mode"},
                          {R"({"0": 3, "mode": 4})", "\"0\" and \"mode\" both name mode"},
                          {R"({"mode": 2,)", "not valid JSON"},
                          {R"([1, 2])", "JSON object"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.json);
        std::ofstream(file("bad.json")) << c.json;
        const Result r =
            run("render " + clip() + " -o " + at("bad.mp4") + " --settings " + at("bad.json"));
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_NE(r.err.find("bad.json"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(c.expected), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(file("bad.mp4")));
    }
    const Result folder = run("params --settings " + at(""));
    EXPECT_EQ(folder.exitCode, 2);
    EXPECT_NE(folder.err.find("is a folder"), std::string::npos) << folder.err;
}

TEST_F(VideoCli, ErrorsAreClearAndLeaveNothingBehind) {
    std::ofstream(file("text.mp4")) << "not a video at all";
    std::ofstream(file("damaged.png"), std::ios::binary) << std::string(128, '\0') << "DICM";
    fs::create_directories(file("a-folder"));
    struct Case {
        std::string args;
        int exitCode;
        const char* says;
    };
    const Case cases[] = {
        {"render " + at("text.mp4") + " -o " + at("x.mp4"), 1, "text.mp4: not a video"},
        {"render " + at("a-folder") + " -o " + at("x.mp4"), 1, "is a folder"},
        {"render " + at("damaged.png") + " -o " + at("x.png"), 1, "damaged.png: a DICOM file"},
        {"render " + clip() + " -o " + at("format.unknown"), 2, "format.unknown: no video format"},
        {"render " + clip() + " -o " + at("range.mp4") + " --start 50", 1, "--start 50 is past"},
        {"render " + clip() + " -o " + at("x.mp4") + " --codec nonsense", 2, "nonsense"},
        {"render " + clip() + " -o " + at("x.mp4") + " --encoder-opt nonsense=1", 2,
         "no option \"nonsense\""},
        {"render " + clip() + " -o " + at("x.mp4") + " --rate abc", 2, "not a frame rate"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        const Result r = run(c.args + " -q");
        EXPECT_EQ(r.exitCode, c.exitCode);
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find(".part-"), std::string::npos) << r.err;
    }
    for (const auto& entry : fs::directory_iterator(*dir))
        EXPECT_EQ(entry.path().filename().string().find(".part-"), std::string::npos)
            << entry.path();
    EXPECT_FALSE(fs::exists(file("range.mp4")));
    // No ffmpeg program is needed: FFmpeg's libraries do the work.
    const Result noPath = run("render " + clip() + " -o " + at("nopath.mkv") + " -q", "PATH=");
    EXPECT_EQ(noPath.exitCode, 0) << noPath.err;
    std::ofstream(file("exists.mp4")) << "keep me";
    EXPECT_EQ(run("render " + clip() + " -o " + at("exists.mp4") + " -q").exitCode, 1);
    EXPECT_EQ(slurp(file("exists.mp4")), "keep me");
}

// A file cut short renders what it holds and says how much was missing.
TEST_F(VideoCli, TruncatedInputsRenderWhatTheyHoldAndWarn) {
    make("-f lavfi -i testsrc2=size=64x48:rate=25 -f lavfi -i sine -t 4 -c:v libx264 -c:a aac",
         "whole.mkv");
    const auto size = fs::file_size(file("whole.mkv"));
    fs::copy_file(file("whole.mkv"), file("cut.mkv"));
    fs::resize_file(file("cut.mkv"), size / 2);
    const Result r = run("render " + at("cut.mkv") + " -o " + at("cut-out.mkv") + " -q");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("warning: "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("of about 10"), std::string::npos) << r.err;
    EXPECT_GT(frameTimes(file("cut-out.mkv")).size(), 10u);
    const Result whole = run("render " + at("whole.mkv") + " -o " + at("whole-out.mkv") + " -q");
    EXPECT_EQ(whole.err, "");
}

TEST_F(VideoCli, ProgressSaysWhenTheEncoderIsFinishing) {
    const Result r = run("render " + clip() + " -o " + at("progress.mkv"));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("finishing"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("frame 12/12 (100%)"), std::string::npos) << r.err;
    const Result quiet = run("render " + clip() + " -o " + at("quiet.mkv") + " -q");
    EXPECT_EQ(quiet.err, "");
}

TEST_F(VideoCli, DemoWritesTheSheetAndTheClip) {
    const Result r = run("demo -q -o " + at("demo.png"));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(probe(file("demo.png"), "stream=width,height"), "1920,696");
    EXPECT_EQ(frameTimes(file("demo.mp4")).size(), 75u);
}

}  // namespace
