#include "run/frame_source.h"

#include <fmt/format.h>

#include "kit/error.h"
#include "kit/memory.h"
#include "media/images.h"
#include "media/paths.h"
#include "run/signals.h"

namespace drawlet::run {

SourceFrame readSourceFrame(const std::string& input, long long index,
                            const media::ReaderOptions& options) {
    if (media::isStillImage(input)) {
        media::Picture picture = media::readPicture(input, options.maxPixels);
        return {std::move(picture.bgr), std::move(picture.alpha), index, {}};
    }
    media::ReaderOptions stoppable = options;
    stoppable.stop = &stopFlag();
    media::VideoReader reader(input, stoppable);
    std::vector<media::PacketPtr> audio;
    std::optional<media::VideoFrame> frame =
        kit::sayingWhenOutOfMemory(input, reader.info().width, reader.info().height, [&] {
            reader.seekToFrame(index);
            return reader.next(audio);
        });
    if (!frame) throw Error(fmt::format("{}: has no frame {}", input, index));
    return {std::move(frame->bgr), std::move(frame->alpha), frame->index,
            media::frameRateOf(reader.info().frameRate)};
}

}  // namespace drawlet::run
