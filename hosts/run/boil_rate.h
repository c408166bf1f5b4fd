// The boil rate: how many times a second the hatching's jitter changes. The filter counts in
// frames (update-interval: frames that share one jitter), so the same interval boils twice
// as fast at 60 fps as at 30; a rate in changes per second gives the interval for the input's
// own frame rate.
#pragma once

#include <string>

#include "kit/filter_host.h"
#include "media/frame_rate.h"

namespace drawlet::run {

struct BoilInterval {
    int frames = 0;       // the update interval; 0: the jitter never changes
    double achieved = 0;  // changes per second it gives at the frame rate
    std::string note;     // when the rate cannot be met closely; empty otherwise
};

// The update interval nearest to `rate` changes per second at `frameRate`, between 1 and
// `maximum` frames; 0 for a rate of 0. `rate` is finite and not negative.
BoilInterval boilInterval(double rate, media::FrameRate frameRate, int maximum);

// Sets the host's update interval for `rate` at `frameRate`; returns the note, if any.
std::string applyBoilRate(kit::FilterHost& host, double rate, media::FrameRate frameRate);

}  // namespace drawlet::run
