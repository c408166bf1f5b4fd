#include "run/signals.h"

#include <signal.h>
#include <unistd.h>

#include <array>
#include <cstring>

namespace drawlet::run {

namespace {

StopFlag flag{0};
// Written outside the handler only, read inside it: a fixed buffer, no allocation there.
std::array<char, 4096> urgentPath{};
volatile sig_atomic_t urgentSet = 0;

void onSignal(int signal) {
    if (flag.load() == 0) {
        flag.store(signal);
        return;
    }
    // A second signal: the user wants out now.
    if (urgentSet != 0) unlink(urgentPath.data());
    _exit(exitCodeForSignal(signal));
}

}  // namespace

StopFlag& installStopSignals() {
    static const bool installed = [] {
        struct sigaction action {};
        action.sa_handler = onSignal;
        sigemptyset(&action.sa_mask);
        for (const int s : {SIGINT, SIGTERM, SIGHUP}) sigaction(s, &action, nullptr);
        // A closed pipe on standard output is then an error to report, not a silent death.
        signal(SIGPIPE, SIG_IGN);
        return true;
    }();
    (void)installed;
    return flag;
}

const StopFlag& stopFlag() { return flag; }

int exitCodeForSignal(int signal) { return 128 + signal; }

std::string signalName(int signal) {
    switch (signal) {
        case SIGINT:
            return "SIGINT (Ctrl-C)";
        case SIGTERM:
            return "SIGTERM";
        case SIGHUP:
            return "SIGHUP";
        default:
            return "signal " + std::to_string(signal);
    }
}

void setUrgentCleanup(const std::string& path) {
    urgentSet = 0;
    if (path.empty() || path.size() >= urgentPath.size()) return;
    std::memcpy(urgentPath.data(), path.c_str(), path.size() + 1);
    urgentSet = 1;
}

}  // namespace drawlet::run
