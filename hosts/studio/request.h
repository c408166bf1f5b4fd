// The body of the page's render and save requests: a JSON object
//   {"settings": {NAME: VALUE, ...}, "previous": {NAME: VALUE, ...}, "frame": N,
//    "maxSide": PIXELS, "boilRate": R or null, "followMotion": true or false}
// (all but "settings" optional) read as strictly as a settings file.
#pragma once

#include <string>

#include "studio/session.h"

namespace drawlet::studio {

// The largest preview side a page may ask for; larger asks are full-size renders.
inline constexpr int kMaxPreviewSide = 16384;

// Throws a usage error (HTTP 400) naming what is wrong: not JSON, a key twice, an unknown key,
// a value of the wrong type or out of range. The settings themselves are checked when used.
RenderRequest parseRenderRequest(const std::string& body);

}  // namespace drawlet::studio
