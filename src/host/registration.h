// The registration record and the name dictionaries that every parameter reader goes through.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "host/drawlet_filter.h"

namespace drawlet {

using NameIndex = std::map<std::string, int, std::less<>>;

extern NameIndex trackIndexByName;
extern NameIndex checkIndexByName;
extern std::vector<int> previousChecks;

// The module's one static record.
DrawletRegistration& filterRegistration();

// Runs the registration work and returns the record (the body of GetFilterTable).
DrawletRegistration* registerFilter();

// The host's current value of the slider or check box with this display name. A name that
// is not registered throws std::out_of_range (caught at the callback boundary).
int trackValue(const DrawletRegistration& reg, std::string_view name);
int checkValue(const DrawletRegistration& reg, std::string_view name);

int windowProcCallback(void* window, unsigned int message, void* wparam, void* lparam,
                       void* editHandle, DrawletRegistration* reg);

}  // namespace drawlet
