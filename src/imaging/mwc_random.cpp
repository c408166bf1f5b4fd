#include "imaging/mwc_random.h"

namespace drawlet {

MwcRandom mwcRandom{0xFFFFFFFFu, 0xFFFFFFFFu};

}  // namespace drawlet
