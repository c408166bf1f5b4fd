#include "run/boil_rate.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>

namespace drawlet::run {

namespace {

// Rates within this fraction of the one asked for need no note.
constexpr double kCloseEnough = 0.05;

}  // namespace

BoilInterval boilInterval(double rate, media::FrameRate frameRate, int maximum) {
    BoilInterval result;
    if (rate == 0) return result;
    const double fps = frameRate.perSecond();
    const double exact = fps / rate;
    result.frames = static_cast<int>(std::clamp<double>(std::round(exact), 1, maximum));
    result.achieved = fps / result.frames;
    if (std::abs(result.achieved - rate) > kCloseEnough * rate)
        result.note = fmt::format(
            "--boil-rate {:g}: at {:.4g} fps the hatching changes every {} frame{}, {:.3g} times "
            "a second{}",
            rate, fps, result.frames, result.frames == 1 ? "" : "s", result.achieved,
            exact < 1         ? " (at most once a frame)"
            : exact > maximum ? fmt::format(" (the update interval stops at {} frames)", maximum)
                              : "");
    return result;
}

std::string applyBoilRate(kit::FilterHost& host, double rate, media::FrameRate frameRate) {
    const kit::Parameter& interval = host.parameter(kit::alias::kUpdateInterval);
    const BoilInterval boil = boilInterval(rate, frameRate, interval.maximum);
    host.setValue(interval, boil.frames);
    return boil.note;
}

}  // namespace drawlet::run
