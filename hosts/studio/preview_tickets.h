// Which preview of a page is the newest: each render of a page takes a ticket when it comes;
// one whose ticket is no longer its page's newest when its turn comes is not drawn.
#pragma once

#include <cstddef>
#include <map>
#include <mutex>
#include <string>

namespace drawlet::studio {

class PreviewTickets {
  public:
    // Pages remembered at most; a flood of made-up page ids forgets the old ones.
    static constexpr std::size_t kMaxPages = 64;

    unsigned long long take(const std::string& page) {
        const std::lock_guard guard(lock_);
        if (newest_.size() >= kMaxPages && !newest_.contains(page)) newest_.clear();
        return newest_[page] = ++taken_;
    }

    bool isNewest(const std::string& page, unsigned long long ticket) const {
        const std::lock_guard guard(lock_);
        const auto found = newest_.find(page);
        return found == newest_.end() || found->second == ticket;
    }

    std::size_t pages() const {
        const std::lock_guard guard(lock_);
        return newest_.size();
    }

  private:
    mutable std::mutex lock_;
    std::map<std::string, unsigned long long> newest_;
    unsigned long long taken_ = 0;
};

}  // namespace drawlet::studio
