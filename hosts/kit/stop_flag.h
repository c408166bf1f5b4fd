// The flag that stops long work: set (to the signal's number) when the user asks a command
// to stop. Blocking reads and writes poll it and give up; loops over frames check it between
// two frames.
#pragma once

#include <atomic>

namespace drawlet {

using StopFlag = std::atomic<int>;

}  // namespace drawlet
