#include "media/encoder_checks.h"

extern "C" {
#include <libavutil/opt.h>
}

#include <fmt/format.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "kit/error.h"

namespace drawlet::media {

namespace {

using Names = std::vector<std::string>;

const Names kX26xPresets = {"ultrafast", "superfast", "veryfast", "faster",   "fast",
                            "medium",    "slow",      "slower",   "veryslow", "placebo"};

// The names x264 and x265 take, which their FFmpeg options hold as free text.
struct KnownNames {
    const char* encoder;
    const char* option;
    Names names;
};
const KnownNames kKnown[] = {
    {"libx264", "preset", kX26xPresets},
    {"libx264",
     "tune",
     {"film", "animation", "grain", "stillimage", "psnr", "ssim", "fastdecode", "zerolatency"}},
    {"libx264", "profile", {"baseline", "main", "high", "high10", "high422", "high444"}},
    {"libx265", "preset", kX26xPresets},
    {"libx265", "tune", {"psnr", "ssim", "grain", "zerolatency", "fastdecode", "animation"}},
    {"libx265",
     "profile",
     {"main", "main10", "mainstillpicture", "main444-8", "main422-10", "main444-10", "main12",
      "main422-12", "main444-12"}},
    {"libvpx-vp9", "preset", {"best", "good", "realtime"}},  // --preset sets its deadline
};

// The named values of an option of the encoder's own (its constants), empty when it has
// none or takes free text.
Names constantsOf(const AVCodec* encoder, const char* option) {
    Names names;
    if (encoder->priv_class == nullptr) return names;
    const AVClass* const* object = &encoder->priv_class;
    const AVOption* o =
        av_opt_find(const_cast<AVClass**>(object), option, nullptr, 0, AV_OPT_SEARCH_FAKE_OBJ);
    if (o == nullptr || o->unit == nullptr) return names;
    for (const AVOption* c = nullptr; (c = av_opt_next(object, c)) != nullptr;)
        if (c->type == AV_OPT_TYPE_CONST && c->unit != nullptr && std::string(c->unit) == o->unit)
            names.push_back(c->name);
    return names;
}

Names knownNames(const AVCodec* encoder, const std::string& option) {
    std::string name = encoder->name;
    if (name == "libx264rgb") name = "libx264";
    for (const KnownNames& k : kKnown)
        if (name == k.encoder && option == k.option) return k.names;
    return constantsOf(encoder, option.c_str());
}

std::string joined(const Names& names) {
    std::string list;
    for (const std::string& n : names) list += (list.empty() ? "" : ", ") + n;
    return list;
}

// x264 and x265 take several tunes at once, separated by commas.
void checkName(const AVCodec* encoder, const std::string& option, const std::string& value,
               const std::string& shown) {
    const Names known = knownNames(encoder, option);
    if (known.empty()) return;
    std::istringstream parts(value);
    for (std::string part; std::getline(parts, part, option == "tune" ? ',' : '\0');)
        if (std::find(known.begin(), known.end(), part) == known.end())
            throw UsageError(fmt::format("{}: the {} encoder's {}s are {}", shown, encoder->name,
                                         option, joined(known)));
}

}  // namespace

CrfRange crfRangeOf(const AVCodec* encoder) {
    const std::string name = encoder->name;
    if (name == "libx264" || name == "libx264rgb" || name == "libx265")
        return {kCrfBest, kX264CrfWorst};
    if (encoder->priv_class == nullptr) return {};
    const AVOption* o = av_opt_find(const_cast<AVClass**>(&encoder->priv_class), "crf", nullptr, 0,
                                    AV_OPT_SEARCH_FAKE_OBJ);
    if (o == nullptr) return {};
    const double top = std::min(o->max, 63.0);
    return {static_cast<int>(std::max(o->min, 0.0)), static_cast<int>(top)};
}

void checkEncoderChoices(const AVCodec* encoder, const EncodeOptions& options) {
    if (!options.preset.empty())
        checkName(encoder, "preset", options.preset, "--preset " + options.preset);
    for (const auto& [key, value] : options.encoderOptions)
        if (key == "preset" || key == "tune" || key == "profile")
            checkName(encoder, key, value, "--encoder-opt " + key + "=" + value);
    if (options.crf < 0) return;
    const CrfRange range = crfRangeOf(encoder);
    if (range.maximum == 0)
        throw UsageError(fmt::format("--crf: the {} encoder has no crf setting (use --encoder-opt)",
                                     encoder->name));
    if (options.crf < range.minimum || options.crf > range.maximum)
        throw UsageError(fmt::format("--crf {}: the {} encoder takes {} to {}", options.crf,
                                     encoder->name, range.minimum, range.maximum));
}

}  // namespace drawlet::media
