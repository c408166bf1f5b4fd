#include "run/frame_source.h"

#include <fmt/format.h>

#include "kit/error.h"
#include "media/images.h"
#include "media/paths.h"
#include "media/reader.h"
#include "run/signals.h"

namespace drawlet::run {

SourceFrame readSourceFrame(const std::string& input, long long index,
                            const std::string& sequenceRate) {
    if (media::isStillImage(input)) {
        media::Picture picture = media::readPicture(input);
        return {std::move(picture.bgr), std::move(picture.alpha), index, {}};
    }
    media::ReaderOptions options;
    options.sequenceRate = sequenceRate;
    options.stop = &stopFlag();
    media::VideoReader reader(input, options);
    reader.seekToFrame(index);
    std::vector<media::PacketPtr> audio;
    std::optional<media::VideoFrame> frame = reader.next(audio);
    if (!frame) throw Error(fmt::format("{}: has no frame {}", input, index));
    return {std::move(frame->bgr), std::move(frame->alpha), frame->index,
            media::frameRateOf(reader.info().frameRate)};
}

}  // namespace drawlet::run
