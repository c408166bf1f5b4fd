#include "cli/progress.h"

#include <fmt/format.h>

#include <cmath>

namespace drawlet::cli {

Progress::Progress(std::ostream& err, long long total, bool quiet, bool terminal)
    : err_(err),
      total_(total),
      quiet_(quiet),
      terminal_(terminal),
      start_(std::chrono::steady_clock::now()) {}

std::string Progress::clock(double seconds) {
    const long long s = std::llround(std::max(0.0, seconds));
    if (s >= 3600) return fmt::format("{}:{:02}:{:02}", s / 3600, s / 60 % 60, s % 60);
    return fmt::format("{}:{:02}", s / 60, s % 60);
}

std::string Progress::line(long long done, double elapsed) const {
    const double fps = elapsed > 0 ? done / elapsed : 0;
    std::string text =
        total_ > 0 ? fmt::format("frame {}/{} ({:.0f}%)", done, total_, 100.0 * done / total_)
                   : fmt::format("frame {}", done);
    text += fmt::format("  {:.1f} fps  elapsed {}", fps, clock(elapsed));
    if (total_ > 0 && fps > 0 && done < total_)
        text += "  remaining " + clock((total_ - done) / fps);
    return text;
}

void Progress::update(long long done) {
    if (quiet_) return;
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    const double interval = terminal_ ? 0.25 : 5.0;
    if (elapsed - lastShown_ < interval) return;
    lastShown_ = elapsed;
    if (terminal_)
        err_ << '\r' << line(done, elapsed) << "\x1b[K" << std::flush;
    else
        err_ << line(done, elapsed) << '\n' << std::flush;
}

void Progress::finish(long long done) {
    if (quiet_) return;
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    if (terminal_) err_ << '\r';
    err_ << line(done, elapsed) << (terminal_ ? "\x1b[K\n" : "\n") << std::flush;
}

}  // namespace drawlet::cli
