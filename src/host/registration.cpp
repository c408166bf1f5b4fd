#include "host/registration.h"

#include <stdexcept>

#include "hatching/pattern_bank.h"
#include "host/frame_driver.h"
#include "host/module_load.h"
#include "host/parameters.h"
#include "host/update_exit.h"

namespace drawlet {

NameIndex trackIndexByName;
NameIndex checkIndexByName;
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

int lookUp(const NameIndex& index, const int* values, int count, std::string_view name) {
    const auto found = index.find(name);
    if (found == index.end()) throw std::out_of_range("parameter not registered");
    if (values == nullptr || found->second >= count)
        throw std::out_of_range("host gave no value array");
    return values[found->second];
}

}  // namespace

DrawletRegistration& filterRegistration() {
    static DrawletRegistration reg = makeRegistration();
    return reg;
}

DrawletRegistration* registerFilter() {
    DrawletRegistration& reg = filterRegistration();
    setPatternBaseDirectory(moduleDir);
    trackIndexByName.clear();
    for (int i = 0; i < reg.trackCount; ++i) trackIndexByName[reg.trackNames[i]] = i;
    checkIndexByName.clear();
    for (int j = 0; j < reg.checkCount; ++j) checkIndexByName[reg.checkNames[j]] = j;
    previousChecks.resize(static_cast<std::size_t>(reg.checkCount), 0);
    loadedPatternNo = -100;
    return &reg;
}

int trackValue(const DrawletRegistration& reg, std::string_view name) {
    return lookUp(trackIndexByName, reg.trackValues, reg.trackCount, name);
}

int checkValue(const DrawletRegistration& reg, std::string_view name) {
    return lookUp(checkIndexByName, reg.checkValues, reg.checkCount, name);
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
