// Work that runs once per frame on whichever thread comes to it first; a thread that needs
// it while another runs it waits. Only a thread that is running the work can hold another
// up, so waiting for it never stalls a pool whose threads take work in any order.
#pragma once

#include <atomic>
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>

namespace drawlet {

class OnceTask {
  public:
    // Ready to run again; only between frames, when no thread uses it.
    void reset();

    // Runs `work` here unless a thread has started it; false when one has.
    bool tryRun(const std::function<void()>& work);

    // Runs `work` here unless a thread has started it, else waits until it has ended.
    void runOrWait(const std::function<void()>& work);

    bool finished() const { return state_.load() == kFinished; }

  private:
    enum State { kIdle, kRunning, kFinished };
    std::atomic<int> state_{kIdle};
    std::mutex lock_;
    std::condition_variable ended_;
    std::exception_ptr failure_;  // what the work ended with; every waiter rethrows it
};

}  // namespace drawlet
