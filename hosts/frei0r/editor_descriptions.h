// What video editors need to offer the frei0r filter with its real controls, made from the
// parameter table and the module's registration (ranges, and the host's current values as
// the defaults): Kdenlive's effect description and Shotcut's filter metadata and controls.
//
// Both editors run the filter through MLT and set integer-values (sliders in the filter's
// own integers, so that ranges and keyframes show the real values) and the rate clock (so
// that frame numbers follow the project's frame rate).
#pragma once

#include <string>
#include <string_view>

#include "kit/filter_host.h"
#include "run/run_settings.h"

namespace drawlet::frei0r {

// Kdenlive's effect XML. With a look name, an effect of its own ("Drawlet: pen and ink")
// that starts from the host's values and `run`, for Kdenlive's effect list.
std::string kdenliveEffect(const kit::FilterHost& host, const run::RunSettings& run = {},
                           std::string_view lookName = {});

// Shotcut's filter metadata (meta_drawlet.qml) and its controls (ui.qml).
std::string shotcutMetadata(const kit::FilterHost& host);
std::string shotcutControls(const kit::FilterHost& host, const run::RunSettings& run = {});

}  // namespace drawlet::frei0r
