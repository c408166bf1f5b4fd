// The filter as every front end runs it: the module loaded, its values set from a look, a
// settings file and NAME=VALUE assignments, and one frame rendered through it.
#pragma once

#include <memory>
#include <opencv2/core.hpp>
#include <ostream>
#include <string>
#include <vector>

#include "interface/drawlet_filter.h"
#include "kit/filter_host.h"
#include "run/run_settings.h"

namespace drawlet::run {

struct FilterOptions {
    std::string module;  // empty: Drawlet.auf beside this program
    std::string look;    // a named look, applied first
    std::string settingsFile;
    std::vector<std::string> assignments;  // NAME=VALUE, in order
    int threads = 0;                       // 0: every core
    bool followMotion = false;             // --follow-motion: on, whatever the settings say
};

// The folder of this program (where Drawlet.auf and the looks are found).
std::string executableDirectory();

// Every value at its default, and the update callback run once on them, so that it remembers
// the check boxes as a module that was just loaded does.
void resetToDefaults(kit::FilterHost& host);

// Sets every value of the host as a freshly loaded module with `options` would have them: the
// defaults, the look, the file, every assignment, then the update callback, as a settings
// window runs it after a change. Returns the run settings the same sources give.
RunSettings applyFilterSettings(kit::FilterHost& host, const FilterOptions& options);

// The module loaded with the settings applied (the look, the file, then every assignment)
// and its update callback run, as a settings window would after a change; the module's
// message boxes go to `err`. The run settings they give go to `run`, when given.
std::unique_ptr<kit::FilterHost> configuredHost(const FilterOptions& options, std::ostream& err,
                                                RunSettings* run = nullptr);

// One frame through the filter, its hatching sampled at `coordinates` when given; throws
// naming `what` when the filter leaves it untouched.
cv::Mat renderFrame(kit::FilterHost& host, const cv::Mat& bgr, long long frameNumber,
                    const std::string& what,
                    const DrawletPatternCoordinates* coordinates = nullptr);

}  // namespace drawlet::run
