// Frame rates as people write them: "25", "29.97", "30000/1001", "ntsc".
#pragma once

extern "C" {
#include <libavutil/rational.h>
}

#include <optional>
#include <string>

namespace drawlet::media {

// The rate, or nullopt when the text is not a positive frame rate.
std::optional<AVRational> tryParseRate(const std::string& text);

// The rate; throws a usage error naming `text` when it is not one.
AVRational parseRate(const std::string& text);

}  // namespace drawlet::media
