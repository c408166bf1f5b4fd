// A video or image sequence through the filter: decoding, filtering and encoding overlap in
// a pipeline, frames keep their timestamps, and the audio of the frames rendered goes along.
#pragma once

#include <string>

#include "cli/command.h"
#include "kit/filter_host.h"
#include "media/encoding.h"
#include "media/reader.h"

namespace drawlet::cli {

struct VideoJob {
    std::string input;
    std::string output;
    long long start = 0;
    long long frames = -1;  // -1: to the end
    std::string sequenceRate = "25";
    long long sequenceStart = -1;  // first number of an image-sequence input; -1: its first file
    long long maxPixels = media::kDefaultMaxPixels;
    media::EncodeOptions encode;
    double boilRate = -1;       // changes of the jitter per second; -1: the update interval as set
    bool alphaMask = false;     // the filter's mask as the alpha channel
    bool followMotion = false;  // the hatching follows the picture between ticks
    bool overwrite = false;
    bool resume = false;  // frames of an image-sequence output already there are kept
    bool quiet = false;
};

// How the job's input is read (the stop flag is this process's).
media::ReaderOptions readerOptions(const VideoJob& job);

void renderVideo(kit::FilterHost& host, const VideoJob& job, const Io& io);

}  // namespace drawlet::cli
