#include "imaging/once_task.h"

namespace drawlet {

void OnceTask::reset() {
    state_ = kIdle;
    failure_ = nullptr;
}

bool OnceTask::tryRun(const std::function<void()>& work) {
    int idle = kIdle;
    if (!state_.compare_exchange_strong(idle, kRunning)) return false;
    std::exception_ptr failure;
    try {
        work();
    } catch (...) {
        failure = std::current_exception();
    }
    {
        const std::lock_guard<std::mutex> guard(lock_);
        failure_ = failure;
        state_ = kFinished;
    }
    ended_.notify_all();
    if (failure) std::rethrow_exception(failure);
    return true;
}

void OnceTask::runOrWait(const std::function<void()>& work) {
    if (tryRun(work)) return;
    std::unique_lock<std::mutex> guard(lock_);
    ended_.wait(guard, [this] { return state_.load() == kFinished; });
    if (failure_) std::rethrow_exception(failure_);
}

}  // namespace drawlet
