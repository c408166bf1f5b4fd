#include "run/configured_host.h"

#include <filesystem>
#include <limits>
#include <opencv2/core/utility.hpp>
#include <optional>

#include "kit/error.h"
#include "kit/memory.h"
#include "run/look_files.h"
#include "run/settings_file.h"

namespace drawlet::run {

namespace fs = std::filesystem;

namespace {

void applySetting(kit::FilterHost& host, const std::string& assignment, RunSettings& run) {
    const auto eq = assignment.find('=');
    if (eq == std::string::npos || eq == 0)
        throw UsageError("--set " + assignment + ": expected NAME=VALUE");
    const std::string name = assignment.substr(0, eq);
    if (name == follow_motion::kKey) {
        const std::optional<bool> on = switchValue(assignment.substr(eq + 1));
        if (!on)
            throw UsageError("--set " + assignment + ": " + name +
                             " takes on/off (true/false, 1/0)");
        run.followMotion = *on;
        return;
    }
    const kit::Parameter* p = host.find(name);
    if (p == nullptr)
        throw UsageError("--set " + assignment + ": no slider or check box is called \"" + name +
                         "\" (see drawlet params)");
    host.setValue(*p, parseValue(*p, assignment.substr(eq + 1), "--set " + assignment));
}

}  // namespace

std::string executableDirectory() {
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string(".") : self.parent_path().string();
}

void resetToDefaults(kit::FilterHost& host) {
    for (const kit::Parameter& p : host.parameters()) host.setValue(p, p.defaultValue);
    // The update callback remembers the check boxes it last saw: the interpolation boxes are
    // off by default, as they are in the memory of a module that was just loaded.
    host.update();
}

RunSettings applyFilterSettings(kit::FilterHost& host, const FilterOptions& options) {
    resetToDefaults(host);
    RunSettings run;
    if (!options.look.empty()) {
        const Look look = findLook(options.look);
        applySettings(host, look.settings, look.file.string(), run);
    }
    if (!options.settingsFile.empty()) applySettingsFile(host, options.settingsFile, run);
    for (const std::string& s : options.assignments) applySetting(host, s, run);
    if (options.followMotion) run.followMotion = true;
    // Keeps the interpolation boxes exclusive, as the settings window does.
    host.update();
    return run;
}

std::unique_ptr<kit::FilterHost> configuredHost(const FilterOptions& options, std::ostream& err,
                                                RunSettings* run) {
    if (options.threads > 0) cv::setNumThreads(options.threads);
    const std::string module =
        options.module.empty() ? executableDirectory() + "/Drawlet.auf" : options.module;
    auto host = std::make_unique<kit::FilterHost>(module);
    const RunSettings given = applyFilterSettings(*host, options);
    if (run != nullptr) *run = given;
    host->onMessageBox([&err](const kit::MessageBoxCall& call) {
        err << call.caption << ": " << call.text << '\n';
    });
    return host;
}

cv::Mat renderFrame(kit::FilterHost& host, const cv::Mat& bgr, long long frameNumber,
                    const std::string& what, const DrawletPatternCoordinates* coordinates) {
    if (frameNumber > std::numeric_limits<int>::max())
        throw Error(what + ": frame numbers stop at " +
                    std::to_string(std::numeric_limits<int>::max()));
    std::optional<cv::Mat> result = kit::sayingWhenOutOfMemory(what, bgr.cols, bgr.rows, [&] {
        return host.processBgr(bgr, static_cast<int>(frameNumber), coordinates);
    });
    if (result) return *result;
    // The module tells of pattern files it cannot use in a message box. A frame it leaves
    // unprocessed without having said anything failed inside, on a frame it can address:
    // an allocation failed.
    if (host.messages().empty()) throw kit::notEnoughMemory(what, bgr.cols, bgr.rows);
    throw Error(what +
                ": the filter left the frame unprocessed (see the message above, or check the "
                "pattern files beside " +
                host.modulePath() + ")");
}

}  // namespace drawlet::run
