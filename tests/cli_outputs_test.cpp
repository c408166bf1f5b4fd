// drawlet never costs the user a file: no output writes over an input, a file that appears
// during a render is kept, stopped image sequences keep their whole frames and resume, image
// sequences are read from any first number, and frames too large are refused unread.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "cli_suite.h"
#include "sanitizers.h"

namespace {

namespace fs = std::filesystem;

using Result = drawlet::test::CliResult;
using drawlet::test::frameHashes;
using drawlet::test::frameTimes;
using drawlet::test::shell;
using drawlet::test::slurp;

using drawlet::test::kSanitized;

void bigEndian(std::string& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>(value >> shift);
}

// A black PNG of any size (1-bit gray, deflated): a few kilobytes for millions of pixels.
void writeBlackPng(const fs::path& path, unsigned width, unsigned height) {
    z_stream z{};
    deflateInit(&z, Z_BEST_COMPRESSION);
    std::string row((width + 7) / 8 + 1, '\0'), idat;  // filter byte, then the bits
    std::vector<unsigned char> buffer(1 << 16);
    for (unsigned y = 0; y <= height; ++y) {
        z.next_in = reinterpret_cast<Bytef*>(row.data());
        z.avail_in = y < height ? static_cast<uInt>(row.size()) : 0;
        do {
            z.next_out = buffer.data();
            z.avail_out = static_cast<uInt>(buffer.size());
            deflate(&z, y < height ? Z_NO_FLUSH : Z_FINISH);
            idat.append(reinterpret_cast<char*>(buffer.data()), buffer.size() - z.avail_out);
        } while (z.avail_out == 0);
    }
    deflateEnd(&z);
    std::string png = "\x89PNG\r\n\x1a\n", header;
    bigEndian(header, width);
    bigEndian(header, height);
    header += std::string("\x01\x00\x00\x00\x00", 5);  // 1 bit, gray, no interlace
    for (const auto& [type, data] :
         {std::pair<std::string, std::string>{"IHDR", header}, {"IDAT", idat}, {"IEND", ""}}) {
        bigEndian(png, static_cast<std::uint32_t>(data.size()));
        const std::string body = type + data;
        png += body;
        bigEndian(png, static_cast<std::uint32_t>(
                           crc32(0, reinterpret_cast<const Bytef*>(body.data()), body.size())));
    }
    std::ofstream(path, std::ios::binary) << png;
}

class OutputsCli : public drawlet::test::CliSuite<OutputsCli> {
  protected:
    static void SetUpTestSuite() {
        if (!openFolder()) return;
        make("-f lavfi -i testsrc2=size=64x48:rate=10 -frames:v 6 -c:v ffv1", "clip.mkv");
        // Long enough that FFmpeg knows its streams before the end when it comes by a pipe.
        make("-f lavfi -i testsrc2=size=64x48:rate=10 -t 10 -c:v ffv1", "long.mkv");
    }
    // A script that starts `drawlet ARGS` reading fed.mkv, a pipe, in the background ($p),
    // and feeds it the first `bytes` of long.mkv, keeping the pipe open: the render cannot
    // end before the script closes it (exec 3>&-).
    static std::string fedRender(const std::string& args, long bytes) {
        return "cd " + at("") + " && rm -f fed.mkv && mkfifo fed.mkv\n" + DRAWLET_CLI_PATH +
               " render fed.mkv " + args + " -q 2>fed.txt & p=$!\nexec 3>fed.mkv\nhead -c " +
               std::to_string(bytes) + " long.mkv >&3\n";
    }
    // Waits (at most 20 s) until `ls -A` of the working folder shows a name matching `regex`.
    static std::string waitFor(const std::string& folder, const std::string& regex) {
        return "for i in $(seq 200); do ls -A " + folder + " 2>/dev/null | grep -q '" + regex +
               "' && break; sleep 0.1; done\n";
    }
};

// An output that is an input is refused before any work, with or without -y: the same file,
// a link to it, the same inode, the same sequence or one of its frames.
TEST_F(OutputsCli, NoOutputWritesOverAnInput) {
    fs::create_directories(file("seq"));
    make("-i " + at("clip.mkv") + " -frames:v 3", "seq/%03d.png");
    ASSERT_EQ(run("render -q " + at("clip.mkv") + " -o " + at("part.mkv") + " --frames 3").exitCode,
              0);
    fs::create_symlink(file("clip.mkv"), file("link.mkv"));
    fs::create_hard_link(file("clip.mkv"), file("hard.mkv"));
    const std::string clip = slurp(file("clip.mkv")), frame = slurp(file("seq/002.png"));
    struct Case {
        std::string args;
        int exitCode;
    };
    const Case cases[] = {
        {"render -q --frames 2 " + at("clip.mkv") + " -o " + at("clip.mkv"), 2},
        {"render -q --frames 2 -y " + at("clip.mkv") + " -o " + at("link.mkv"), 2},
        {"render -q --frames 2 -y " + at("link.mkv") + " -o " + at("hard.mkv"), 2},
        {"render -q -y " + at("seq/%03d.png") + " -o " + at("seq/../seq/%03d.png"), 2},
        {"render -q -y " + at("seq/%03d.png") + " -o " + at("seq/002.png") + " --frame 1", 2},
        {"render -q -y " + at("seq/002.png") + " -o " + at("seq/%03d.png"), 2},
        {"join -q -y " + at("part.mkv") + " -o " + at("part.mkv"), 2},
        {"compare -y " + at("seq/002.png") + " -o " + at("seq/002.png"), 2},
        // Frame 2 of seq/%d.png is 2.png, not 002.png.
        {"render -q " + at("seq/%03d.png") + " -o " + at("seq/%d.png"), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        const Result r = run(c.args);
        EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
        if (c.exitCode == 2) {
            EXPECT_NE(r.err.find("would write over the input"), std::string::npos) << r.err;
        }
        EXPECT_EQ(slurp(file("clip.mkv")), clip);
        EXPECT_EQ(slurp(file("seq/002.png")), frame);
    }
}

// Two renders to one output without -y: the one that finishes second fails and the file of
// the first stays whole.
TEST_F(OutputsCli, AnOutputThatAppearsDuringARenderIsKept) {
    std::ofstream(file("race.sh"))
        << fedRender("-o race.mkv", 1 << 30) << waitFor(".", "^\\.race\\.part-") << DRAWLET_CLI_PATH
        << " render -q clip.mkv -o race.mkv; echo $?\n"
        << "exec 3>&-\nwait $p; echo $?; cat fed.txt\n";
    const std::string said = shell("bash " + at("race.sh"));
    EXPECT_EQ(said.substr(0, 4), "0\n1\n") << said;
    EXPECT_NE(said.find("race.mkv: already exists (it appeared while this command ran"),
              std::string::npos)
        << said;
    EXPECT_EQ(frameTimes(file("race.mkv")).size(), 6u);
    for (const auto& entry : fs::directory_iterator(*dir))
        EXPECT_EQ(entry.path().string().find(".part-"), std::string::npos) << entry.path();
}

// Camera folders number from anywhere: the first file is found, or given; a gap is named.
TEST_F(OutputsCli, ImageSequencesStartAnywhereAndHaveNoGaps) {
    fs::create_directories(file("dcim"));
    make("-i " + at("clip.mkv") + " -start_number 1000", "dcim/IMG_%04d.png");
    struct Case {
        const char* options;
        std::size_t frames;  // 0: refused
        const char* says;
    };
    const Case cases[] = {{"", 6, ""},
                          {"--start-number 1003", 3, ""},
                          {"--start-number 999", 0, "there is no "},
                          {"--rate 5 (without 1002)", 0, "IMG_1002.png is missing"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options);
        std::string options = c.options;
        if (options.find("without") != std::string::npos) {
            fs::remove(file("dcim/IMG_1002.png"));
            options = "--rate 5";
        }
        fs::remove(file("dcim.mkv"));
        const Result r =
            run("render -q " + at("dcim/IMG_%04d.png") + " -o " + at("dcim.mkv") + " " + options);
        EXPECT_EQ(r.exitCode, c.frames > 0 ? 0 : 1) << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        if (c.frames > 0) {
            EXPECT_EQ(frameTimes(file("dcim.mkv")).size(), c.frames);
        }
    }
    EXPECT_FALSE(fs::exists(file("dcim.mkv")));
}

// Ctrl-C keeps the frames of an image sequence that are finished, and only whole ones; a
// render without --resume refuses them before drawing anything, and --resume completes the
// set with the bytes of an uninterrupted render.
TEST_F(OutputsCli, StoppedSequencesKeepWholeFramesAndResume) {
    std::ofstream(file("stop.sh"))
        << fedRender("-o stop/%03d.png", 40000) << waitFor("stop", "^[0-9]*\\.png$")
        << "kill -INT $p\nexec 3>&-\nwait $p; echo $?\n";
    EXPECT_EQ(shell("bash " + at("stop.sh")), "130\n");
    std::size_t kept = 0;
    for (const auto& entry : fs::directory_iterator(file("stop"))) {
        EXPECT_EQ(entry.path().filename().string().find_first_not_of("0123456789"), 3u)
            << entry.path();
        ++kept;
    }
    ASSERT_GT(kept, 0u);
    ASSERT_LT(kept, 100u);  // half of long.mkv was fed

    const Result refused = run("render -q " + at("long.mkv") + " -o " + at("stop/%03d.png"));
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("stop/000.png: already exists"), std::string::npos) << refused.err;
    EXPECT_EQ(static_cast<std::size_t>(
                  std::distance(fs::directory_iterator(file("stop")), fs::directory_iterator())),
              kept);

    const Result resumed =
        run("render -q " + at("long.mkv") + " -o " + at("stop/%03d.png") + " --resume");
    ASSERT_EQ(resumed.exitCode, 0) << resumed.err;
    ASSERT_EQ(run("render -q " + at("long.mkv") + " -o " + at("whole/%03d.png")).exitCode, 0);
    const std::string whole = frameHashes(file("whole/%03d.png"));
    EXPECT_EQ(std::count(whole.begin(), whole.end(), '\n'), 100);
    EXPECT_EQ(frameHashes(file("stop/%03d.png")), whole);
}

// Names up to the file system's limit work, and the folder of an output is made when its
// parent exists.
TEST_F(OutputsCli, LongNamesAndNewFoldersWork) {
    const std::string name(245, 'n'), prefix(240, 'f');  // 249 and 248 characters
    struct Case {
        std::string output, options, written;
    };
    const Case cases[] = {{name + ".mkv", "", name + ".mkv"},
                          {"new/" + name + ".png", " --frame 2", "new/" + name + ".png"},
                          {"frames/%05d.png", "", "frames/00005.png"},
                          {"frames/" + prefix + "%04d.png", "", "frames/" + prefix + "0005.png"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.written.substr(0, 20));
        const Result r = run("render -q " + at("clip.mkv") + " -o " + at(c.output) + c.options);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_TRUE(fs::exists(file(c.written)));
    }
}

// Frames of more pixels than the limit are refused unread, naming the file, its size and
// the limit; --max-pixels moves the limit; running out of memory is said as such.
TEST_F(OutputsCli, TooLargeFramesAreRefusedBeforeDecoding) {
    writeBlackPng(file("huge.png"), 20000, 20000);
    struct Case {
        std::string args;
        int exitCode;
        const char* says;
    };
    const Case cases[] = {
        {"render -q " + at("huge.png") + " -o " + at("huge-out.png"), 1,
         "huge.png: 20000x20000 is more pixels than the limit of 268435456"},
        {"compare " + at("huge.png") + " -o " + at("huge-out.png"), 1, "huge.png: 20000x20000"},
        {"studio --no-browser " + at("huge.png"), 1, "huge.png: 20000x20000"},
        {"render -q " + at("clip.mkv") + " -o " + at("small.mkv") + " --max-pixels 3071", 1,
         "clip.mkv: 64x48 is more pixels than the limit of 3071"},
        {"render -q " + at("clip.mkv") + " -o " + at("small.mkv") + " --max-pixels 3072", 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        const Result r = run(c.args);
        EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    }
    EXPECT_FALSE(fs::exists(file("huge-out.png")));
    if (kSanitized) return;  // the sanitizers' allocators need more address space
    // 8000 x 8000 in 1 GB of address space: the picture or the filter's images do not fit.
    writeBlackPng(file("large.png"), 8000, 8000);
    const std::string said =
        shell("(ulimit -v 1000000; " + std::string(DRAWLET_CLI_PATH) + " render -q --threads 2 " +
              at("large.png") + " -o " + at("large-out.png") + " 2>&1; echo $?)");
    EXPECT_EQ(said,
              "drawlet: " + file("large.png").string() + ": not enough memory for 8000x8000\n1\n");
}

// Mistakes on the command line exit with 2 before any output or folder exists.
TEST_F(OutputsCli, UsageErrorsLeaveNoOutput) {
    const std::string clip = "render -q " + at("clip.mkv") + " -o ";
    const std::string cases[] = {
        clip + at("none/x.mkv") + " --resume",
        clip + at("none/%02d.png") + " --resume -y",
        clip + at("none/x.mkv") + " --start-number 3",
        clip + at("none/x.mkv") + " --max-pixels 0",
        clip + at("none/x.mkv") + " --encoder-opt nonsense=1",
    };
    for (const std::string& args : cases) {
        SCOPED_TRACE(args);
        EXPECT_EQ(run(args).exitCode, 2);
        EXPECT_FALSE(fs::exists(file("none")));
    }
}

}  // namespace
