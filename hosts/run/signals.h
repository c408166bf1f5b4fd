// Ctrl-C, SIGTERM (what Slurm and Kubernetes send on cancel) and SIGHUP stop a command
// between two frames: the stop flag is set, the work ends with an error, and the owners of
// temporary files remove them on the way out. A second signal ends the process at once.
#pragma once

#include <string>

#include "kit/stop_flag.h"

namespace drawlet::run {

// Installs the handlers (once) and returns the flag they set to the signal's number.
StopFlag& installStopSignals();

// The flag, 0 while no signal came.
const StopFlag& stopFlag();

// The exit code for a stop by `signal`: 128 + its number (130 for Ctrl-C).
int exitCodeForSignal(int signal);

// "SIGINT" (Ctrl-C), "SIGTERM", "SIGHUP".
std::string signalName(int signal);

// The temporary file a second signal removes before ending the process (empty: none).
void setUrgentCleanup(const std::string& path);

}  // namespace drawlet::run
