#include "host/registration.h"

#include "hatching/pattern_bank.h"
#include "host/frame_driver.h"
#include "host/module_load.h"
#include "host/update_exit.h"
#include "interface/parameters.h"

namespace drawlet {

std::vector<int> previousChecks;

namespace {

template <typename Row, typename Field, std::size_t N>
constexpr auto column(const std::array<Row, N>& table, Field Row::*field) {
    std::array<std::remove_cv_t<Field>, N> out{};
    for (std::size_t i = 0; i < N; ++i) out[i] = table[i].*field;
    return out;
}

constexpr auto kTrackNames = column(TrackTable, &TrackSpec::name);
constexpr auto kTrackDefaults = column(TrackTable, &TrackSpec::defaultValue);
constexpr auto kTrackMinimums = column(TrackTable, &TrackSpec::minimum);
constexpr auto kTrackMaximums = column(TrackTable, &TrackSpec::maximum);
constexpr auto kCheckNames = column(CheckTable, &CheckSpec::name);
constexpr auto kCheckDefaults = column(CheckTable, &CheckSpec::defaultValue);

DrawletRegistration makeRegistration() {
    DrawletRegistration reg{};
    reg.flags = DRAWLET_REGISTRATION_FLAGS;
    reg.name = kDisplayName;
    reg.trackCount = kTrackCount;
    reg.trackNames = kTrackNames.data();
    reg.trackDefaults = kTrackDefaults.data();
    reg.trackMinimums = kTrackMinimums.data();
    reg.trackMaximums = kTrackMaximums.data();
    reg.checkCount = kCheckCount;
    reg.checkNames = kCheckNames.data();
    reg.checkDefaults = kCheckDefaults.data();
    reg.process = processCallback;
    reg.exit = exitCallback;
    reg.update = updateCallback;
    reg.windowProc = windowProcCallback;
    reg.information = kInformation;
    return reg;
}

}  // namespace

DrawletRegistration& filterRegistration() {
    static DrawletRegistration reg = makeRegistration();
    return reg;
}

DrawletRegistration* registerFilter() {
    DrawletRegistration& reg = filterRegistration();
    setPatternBaseDirectory(moduleDir);
    rebuildNameIndexes(reg);
    previousChecks.resize(static_cast<std::size_t>(reg.checkCount), 0);
    loadedPatternNo = -100;
    return &reg;
}

int windowProcCallback(void*, unsigned int, void*, void*, void*, DrawletRegistration*) { return 0; }

}  // namespace drawlet

extern "C" DRAWLET_EXPORT DrawletRegistration* GetFilterTable(void) {
    try {
        return drawlet::registerFilter();
    } catch (...) {
        // Only the dictionaries can fail (allocation); the record itself is still valid.
        return &drawlet::filterRegistration();
    }
}
