// What an encoder accepts for --preset, --crf and the tune and profile of --encoder-opt,
// checked before any work so that a mistyped name is a usage error with the list, not a raw
// line from the encoder's log and a failed render.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "media/encoding.h"

namespace drawlet::media {

struct CrfRange {
    int minimum = 0;
    int maximum = 0;  // 0 with minimum 0: the encoder has no crf
};

// The encoder's crf range: x264 and x265 stop at 51, VP9 and AV1 at 63, others as their
// option says.
CrfRange crfRangeOf(const AVCodec* encoder);

// Throws a usage error for a preset, tune or profile the encoder does not know (naming the
// ones it does), or a crf outside its range.
void checkEncoderChoices(const AVCodec* encoder, const EncodeOptions& options);

}  // namespace drawlet::media
