// The name dictionaries through which every reader finds a slider or check box, and the
// lookups of the host's current values by display name.
#pragma once

#include <map>
#include <string>
#include <string_view>

#include "interface/drawlet_filter.h"

namespace drawlet {

using NameIndex = std::map<std::string, int, std::less<>>;

extern NameIndex trackIndexByName;
extern NameIndex checkIndexByName;

// Rebuilds both dictionaries from the names of a registration record.
void rebuildNameIndexes(const DrawletRegistration& reg);

// The host's current value of the slider or check box with this display name. A name that
// is not registered throws std::out_of_range (caught at the callback boundary).
int trackValue(const DrawletRegistration& reg, std::string_view name);
int checkValue(const DrawletRegistration& reg, std::string_view name);

}  // namespace drawlet
