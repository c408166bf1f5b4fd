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

double Progress::elapsed() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
}

std::string Progress::line(long long done, double elapsed) const {
    const double fps = elapsed > 0 ? done / elapsed : 0;
    // The total is the container's estimate; a variable-rate clip may hold more frames.
    std::string text = total_ > 0 && done <= total_ ? fmt::format("frame {}/{} ({:.0f}%)", done,
                                                                  total_, 100.0 * done / total_)
                                                    : fmt::format("frame {}", done);
    text += fmt::format("  {:.1f} fps  elapsed {}", fps, clock(elapsed));
    if (total_ > 0 && fps > 0 && done < total_)
        text += "  remaining " + clock((total_ - done) / fps);
    return text;
}

void Progress::show(const std::string& text, bool last) {
    if (terminal_)
        err_ << '\r' << text << "\x1b[K" << (last ? "\n" : "") << std::flush;
    else
        err_ << text << '\n' << std::flush;
}

void Progress::update(long long done) {
    if (quiet_) return;
    const double now = elapsed();
    if (now - lastShown_ < (terminal_ ? 0.25 : 5.0)) return;
    lastShown_ = now;
    show(line(done, now), false);
}

// Every frame is filtered: however far the estimate was off, the work is whole.
void Progress::finishing(long long done) {
    total_ = done;
    if (quiet_) return;
    show(line(done, elapsed()) + "  finishing: the encoder writes its last frames", false);
}

void Progress::finish(long long done) {
    total_ = done;
    if (quiet_) return;
    show(line(done, elapsed()), true);
}

}  // namespace drawlet::cli
