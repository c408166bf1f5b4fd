// What a part's digest is made of: everything that shapes its frames (the module file, its
// pattern sets, every setting value, the codec choices), written out as text, so that join
// can refuse parts rendered with other settings.
#pragma once

#include <string>

#include "cli/render_video.h"
#include "kit/filter_host.h"

namespace drawlet::cli {

std::string partDescription(const kit::FilterHost& host, const VideoJob& job);

}  // namespace drawlet::cli
