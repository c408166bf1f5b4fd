#include "host/update_exit.h"

#include <algorithm>

#include "hatching/pattern_bank.h"
#include "host/registration.h"
#include "imaging/working_images.h"
#include "interface/parameters.h"

namespace drawlet {

int updateCallback(DrawletRegistration* reg, int /*status*/) {
    if (reg == nullptr || reg->checkValues == nullptr) return 1;
    try {
        int* checks = reg->checkValues;
        const auto bilinear = static_cast<std::size_t>(checkIndexByName.at(check::kBilinear));
        const auto bicubic = static_cast<std::size_t>(checkIndexByName.at(check::kBicubic));
        const std::size_t count =
            std::min(previousChecks.size(), static_cast<std::size_t>(std::max(reg->checkCount, 0)));
        if (bilinear < count && bicubic < count) {
            // A box just switched on switches the other off; bilinear is looked at first, so
            // with both switched on at once bilinear stays.
            if (previousChecks[bilinear] == 0 && checks[bilinear] == 1) checks[bicubic] = 0;
            if (previousChecks[bicubic] == 0 && checks[bicubic] == 1) checks[bilinear] = 0;
        }
        std::copy(checks, checks + count, previousChecks.begin());
        if (reg->services != nullptr && reg->services->updateWindow != nullptr)
            reg->services->updateWindow(reg);
    } catch (...) {
        // Registration has not run: there is nothing to keep exclusive yet.
    }
    return 1;
}

int exitCallback(DrawletRegistration*) {
    releaseWorkingImages();
    releasePatterns();
    return 1;
}

}  // namespace drawlet
