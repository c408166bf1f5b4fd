// Progress of a long render on stderr: a line updated in place on a terminal, plain lines
// every few seconds otherwise, nothing with -q.
#pragma once

#include <chrono>
#include <ostream>
#include <string>

namespace drawlet::cli {

class Progress {
  public:
    Progress(std::ostream& err, long long total, bool quiet, bool terminal);
    void update(long long done);
    // Every frame is filtered; the encoder is writing what it holds.
    void finishing(long long done);
    void finish(long long done);

    // "1:02:03" or "2:03".
    static std::string clock(double seconds);

  private:
    std::string line(long long done, double elapsed) const;
    double elapsed() const;
    void show(const std::string& text, bool last);

    std::ostream& err_;
    long long total_;
    bool quiet_;
    bool terminal_;
    std::chrono::steady_clock::time_point start_;
    double lastShown_ = -1e9;
};

}  // namespace drawlet::cli
