// The ffmpeg and ffprobe programs as the tests' tools: making clips and reading back what a
// file holds.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace drawlet::test {

inline bool haveFfmpeg() {
    return std::system("command -v ffmpeg >/dev/null && command -v ffprobe >/dev/null") == 0;
}

// Runs a shell command and returns what it printed on stdout.
inline std::string shell(const std::string& command) {
    const std::filesystem::path out =
        std::filesystem::temp_directory_path() / ("drawlet-shell-" + std::to_string(getpid()));
    const int status = std::system((command + " >'" + out.string() + "'").c_str());
    EXPECT_EQ(status, 0) << command;
    std::ifstream in(out);
    std::stringstream text;
    text << in.rdbuf();
    std::filesystem::remove(out);
    return text.str();
}

inline std::string quoted(const std::filesystem::path& p) { return "'" + p.string() + "'"; }

// ffprobe's values of `entries` (e.g. "stream=width,height") for `select` (e.g. "v:0"),
// one line per stream, trailing separators removed.
inline std::string probe(const std::filesystem::path& file, const std::string& entries,
                         const std::string& select = "v:0") {
    std::string text = shell("ffprobe -v error -select_streams " + select + " -show_entries " +
                             entries + " -of csv=p=0 " + quoted(file));
    std::string clean;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        while (!line.empty() && (line.back() == ',' || line.back() == ' ')) line.pop_back();
        if (!line.empty()) clean += line + "\n";
    }
    if (!clean.empty()) clean.pop_back();
    return clean;
}

// The presentation times of the frames of the first video stream, in seconds.
inline std::vector<double> frameTimes(const std::filesystem::path& file) {
    std::vector<double> times;
    std::istringstream lines(probe(file, "frame=pts_time"));
    for (std::string line; std::getline(lines, line);) times.push_back(std::stod(line));
    return times;
}

// One line per packet of `select`: its size and the MD5 of its data.
inline std::string packetHashes(const std::filesystem::path& file, const std::string& select) {
    return shell("ffmpeg -v error -i " + quoted(file) + " -map 0:" + select +
                 " -c copy -f framemd5 - | grep -v '^#' | cut -d, -f5,6");
}

// One line per decoded video frame: the MD5 of its pixels.
inline std::string frameHashes(const std::filesystem::path& file) {
    return shell("ffmpeg -v error -i " + quoted(file) +
                 " -map 0:v:0 -f framemd5 - | grep -v '^#' | cut -d, -f6");
}

// `frames` frames of a `width` x `height` window panning by whole pixels (the content moving
// `stepX` left and `stepY` up a frame) over a larger picture of smooth random colours, stored
// losslessly: a motion that the follower can find.
inline void makePanClip(const std::filesystem::path& out, int width, int height, int frames,
                        int stepX, int stepY) {
    const std::filesystem::path world = out.parent_path() / (out.stem().string() + "-world.png");
    shell(
        "ffmpeg -v error -y -f lavfi -i \"nullsrc=s=24x18,geq=lum='random(1)*255':"
        "cb='random(2)*255':cr='random(3)*255',scale=480:360:flags=bicubic\" -frames:v 1 " +
        quoted(world) + " && ffmpeg -v error -y -loop 1 -i " + quoted(world) +
        " -vf \"crop=" + std::to_string(width) + ":" + std::to_string(height) + ":x='40+" +
        std::to_string(stepX) + "*n':y='30+" + std::to_string(stepY) +
        "*n',format=yuv444p\" -frames:v " + std::to_string(frames) + " -c:v ffv1 " + quoted(out));
}

}  // namespace drawlet::test
