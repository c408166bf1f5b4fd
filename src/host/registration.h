// The registration record: built from the parameter table, with the registration work that
// rebuilds the name dictionaries.
#pragma once

#include <vector>

#include "interface/drawlet_filter.h"
#include "interface/parameter_lookup.h"

namespace drawlet {

extern std::vector<int> previousChecks;

// The module's one static record.
DrawletRegistration& filterRegistration();

// Runs the registration work and returns the record (the body of GetFilterTable).
DrawletRegistration* registerFilter();

int windowProcCallback(void* window, unsigned int message, void* wparam, void* lparam,
                       void* editHandle, DrawletRegistration* reg);

}  // namespace drawlet
