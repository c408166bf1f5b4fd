#include "media/rates.h"

extern "C" {
#include <libavutil/parseutils.h>
}

#include "kit/error.h"

namespace drawlet::media {

std::optional<AVRational> tryParseRate(const std::string& text) {
    AVRational rate{0, 1};
    if (text.empty() || av_parse_video_rate(&rate, text.c_str()) < 0 || rate.num <= 0 ||
        rate.den <= 0)
        return std::nullopt;
    return rate;
}

AVRational parseRate(const std::string& text) {
    if (const auto rate = tryParseRate(text)) return *rate;
    throw UsageError("\"" + text + "\" is not a frame rate (give e.g. 25, 29.97 or 30000/1001)");
}

}  // namespace drawlet::media
