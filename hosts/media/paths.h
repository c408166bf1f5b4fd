// What a path given on the command line names: a still picture, an image sequence, standard
// input or output, or a video file.
#pragma once

#include <string>

namespace drawlet::media {

// "-": standard input or output.
bool isStdio(const std::string& path);

// A numbered image sequence: an image extension and one printf-style frame number such as
// %d or %05d ("%%" is a literal percent sign). "50%off.png" is a still picture.
bool isImageSequence(const std::string& path);

// A single picture: an image extension and no frame-number pattern.
bool isStillImage(const std::string& path);

// The file of frame `number` of a sequence pattern ("out/%05d.png", 7 -> "out/00007.png").
std::string sequenceFile(const std::string& pattern, long long number);

// The extension in lower case, with its dot ("" when there is none).
std::string lowerExtension(const std::string& path);

// Picture formats that keep an alpha channel when written by the image writer.
bool imageKeepsAlpha(const std::string& path);

}  // namespace drawlet::media
