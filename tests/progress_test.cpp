// The progress line of a render, as a log file receives it.
#include "cli/progress.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

using drawlet::cli::Progress;

// The container's frame count is an estimate: a variable-rate clip may hold fewer or more
// frames. A finished render says 100% whatever the estimate was.
TEST(Progress, EndsAtAHundredPercentWhateverTheEstimate) {
    const struct {
        long long estimate, done;
        const char* last;
    } cases[] = {
        {100, 100, "frame 100/100 (100%)"},
        {100, 98, "frame 98/98 (100%)"},     // fewer than the container said
        {100, 103, "frame 103/103 (100%)"},  // more
        {-1, 7, "frame 7/7 (100%)"},         // no estimate at all
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.last);
        std::ostringstream err;
        Progress progress(err, c.estimate, false, false);
        progress.finish(c.done);
        EXPECT_EQ(err.str().rfind(c.last, 0), 0u) << err.str();
    }
    std::ostringstream err;
    Progress beyond(err, 100, false, false);
    beyond.update(103);  // past the estimate while running: no percentage over 100
    EXPECT_EQ(err.str().rfind("frame 103  ", 0), 0u) << err.str();
    std::ostringstream quiet;
    Progress silent(quiet, 10, true, false);
    silent.update(5);
    silent.finish(10);
    EXPECT_EQ(quiet.str(), "");
}

}  // namespace
