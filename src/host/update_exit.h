// The update callback (keeps the two interpolation boxes exclusive) and the exit callback.
#pragma once

#include "interface/drawlet_filter.h"

namespace drawlet {

int updateCallback(DrawletRegistration* reg, int status);
int exitCallback(DrawletRegistration* reg);

}  // namespace drawlet
