// What settings say about how a front end runs the filter, beside the module's own sliders and
// check boxes: whether the hatching follows the picture's motion. Settings files, --set, the
// studio and the editors' descriptions name it by its key, as they name a check box.
#pragma once

#include <optional>
#include <string_view>

#include "kit/parameter_info.h"

namespace drawlet::run {

struct RunSettings {
    bool followMotion = false;  // feed every frame through a MotionFollower (run/motion.h)
};

namespace follow_motion {
inline constexpr char kKey[] = "follow-motion";
inline constexpr char kLabel[] = "Follow motion";
inline constexpr char kDescription[] =
    "between two changes of the jitter, move the hatching with the picture instead of holding "
    "it on the screen (videos; a setting of the hosts, not of the module)";
}  // namespace follow_motion

// The switch as the record of a check box that is not the module's (index -1), for the
// documents that list it beside the module's own: the editors' descriptions.
inline kit::Parameter followMotionParameter() {
    kit::Parameter p;
    p.kind = kit::ParameterKind::Check;
    p.index = -1;
    p.name = follow_motion::kKey;
    p.maximum = 1;
    p.alias = follow_motion::kKey;
    p.label = follow_motion::kLabel;
    p.unit = "on/off";
    p.description = follow_motion::kDescription;
    p.group = "Motion";
    return p;
}

// On/off as a check box takes it: on, off, true, false, 1 or 0; nullopt for anything else.
inline std::optional<bool> switchValue(std::string_view text) {
    if (text == "on" || text == "true" || text == "1") return true;
    if (text == "off" || text == "false" || text == "0") return false;
    return std::nullopt;
}

}  // namespace drawlet::run
