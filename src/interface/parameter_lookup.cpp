#include "interface/parameter_lookup.h"

#include <stdexcept>

namespace drawlet {

NameIndex trackIndexByName;
NameIndex checkIndexByName;

namespace {

int lookUp(const NameIndex& index, const int* values, int count, std::string_view name) {
    const auto found = index.find(name);
    if (found == index.end()) throw std::out_of_range("parameter not registered");
    if (values == nullptr || found->second >= count)
        throw std::out_of_range("host gave no value array");
    return values[found->second];
}

}  // namespace

void rebuildNameIndexes(const DrawletRegistration& reg) {
    trackIndexByName.clear();
    for (int i = 0; i < reg.trackCount; ++i) trackIndexByName[reg.trackNames[i]] = i;
    checkIndexByName.clear();
    for (int j = 0; j < reg.checkCount; ++j) checkIndexByName[reg.checkNames[j]] = j;
}

int trackValue(const DrawletRegistration& reg, std::string_view name) {
    return lookUp(trackIndexByName, reg.trackValues, reg.trackCount, name);
}

int checkValue(const DrawletRegistration& reg, std::string_view name) {
    return lookUp(checkIndexByName, reg.checkValues, reg.checkCount, name);
}

}  // namespace drawlet
