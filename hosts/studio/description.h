// What the page is told about the session when it opens: the input, the controls (from the
// parameter table and the module's registered ranges), the named looks with every value they
// set, and the settings the studio was started with.
#pragma once

#include <string>
#include <vector>

#include "run/look_files.h"
#include "studio/session.h"

namespace drawlet::studio {

struct StartSettings {
    std::string look;                // the --look the studio was started with, or empty
    run::SettingsJson values;        // every value, after --look, --settings and --set
    std::optional<double> boilRate;  // --boil-rate, for a video
    bool followMotion = false;       // --follow-motion, or the settings' follow-motion
};

// The JSON of GET /api/session.
std::string describeSession(Session& session, const std::vector<run::Look>& looks,
                            const StartSettings& start);

}  // namespace drawlet::studio
