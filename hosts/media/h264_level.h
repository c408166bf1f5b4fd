// H.264 levels: the smallest level a frame size and rate need, and the bitrate it allows, so
// that a default file declares a level its bitrate keeps to (players and hardware decoders
// refuse or stutter on streams beyond their level).
#pragma once

namespace drawlet::media {

struct H264Level {
    const char* name;  // as x264's level option takes it: "4.1"
    int maxFrameMbs;   // macroblocks in a frame
    long maxMbRate;    // macroblocks a second
    long maxKbps;      // the highest bitrate of the Main profile; High allows 5/4 of it
};

// The lowest level from 4.1 up (every phone and browser of the last decade plays 4.1)
// that holds `width` x `height` at `fps` frames a second; the highest level when none does.
const H264Level& h264LevelFor(int width, int height, double fps);

// The bitrate cap of `level` for the High profile, in kbit/s.
inline long highProfileKbps(const H264Level& level) { return level.maxKbps * 5 / 4; }

}  // namespace drawlet::media
