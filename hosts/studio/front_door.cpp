#include "studio/front_door.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <fmt/format.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <condition_variable>
#include <deque>
#include <list>
#include <mutex>
#include <thread>
#include <vector>

#include "kit/error.h"

namespace drawlet::studio {

namespace {

using Clock = std::chrono::steady_clock;

// A connection whose request is not whole yet.
struct Waiting {
    int fd;
    Clock::time_point since;
    std::string bytes;
};

enum class Shape { Incomplete, Whole, HeadersTooLarge, BodyTooLarge, NoLength };

struct Measured {
    Shape shape;
    std::size_t headEnd = 0;  // just past the blank line
};

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(), [](char lower, char c) {
               return std::tolower(static_cast<unsigned char>(c)) == lower;
           });
}

// Where a request's head ends and whether its body has come: the body's length is its
// Content-Length (a chunked body, which the page never sends, is not taken).
Measured measure(const std::string& bytes, const DoorLimits& limits) {
    const std::size_t blank = bytes.find("\r\n\r\n");
    if (blank == std::string::npos)
        return {bytes.size() > limits.maxHeaderBytes ? Shape::HeadersTooLarge : Shape::Incomplete};
    const std::size_t headEnd = blank + 4;
    if (headEnd > limits.maxHeaderBytes) return {Shape::HeadersTooLarge};
    std::size_t length = 0;
    for (std::size_t line = bytes.find("\r\n") + 2; line < blank;) {
        const std::size_t end = bytes.find("\r\n", line);
        const std::string_view header(bytes.data() + line, end - line);
        if (startsWithNoCase(header, "transfer-encoding:")) return {Shape::NoLength};
        if (startsWithNoCase(header, "content-length:")) {
            std::string_view value = header.substr(15);
            while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
            const auto parsed = std::from_chars(value.data(), value.data() + value.size(), length);
            if (parsed.ec != std::errc()) return {Shape::NoLength};
        }
        line = end + 2;
    }
    if (length > limits.maxBodyBytes) return {Shape::BodyTooLarge};
    return {bytes.size() >= headEnd + length ? Shape::Whole : Shape::Incomplete, headEnd};
}

void sendAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n <= 0) return;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
}

// A short answer of the door's own, for a request that never reached the server.
void refuse(int fd, const char* status) {
    const std::string reply =
        fmt::format("HTTP/1.1 {}\r\nContent-Length: 0\r\nConnection: close\r\n\r\n", status);
    ::send(fd, reply.data(), reply.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    ::close(fd);
}

int connectTo(const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
        return fd;
    if (fd >= 0) ::close(fd);
    return -1;
}

// The whole request to the server, with "Connection: close" first among its headers so
// that the server answers this one request and closes; then the answer back to the client.
void relay(int client, std::string request, const std::string& backend) {
    const int server = connectTo(backend);
    if (server < 0) return refuse(client, "503 Service Unavailable");
    request.insert(request.find("\r\n") + 2, "Connection: close\r\n");
    sendAll(server, request.data(), request.size());
    char buffer[1 << 16];
    for (ssize_t n; (n = ::read(server, buffer, sizeof buffer)) > 0;)
        sendAll(client, buffer, static_cast<std::size_t>(n));
    ::close(server);
    ::close(client);
}

}  // namespace

// The requests that are whole, handed to a few threads that relay them one each.
struct FrontDoor::Impl {
    std::mutex lock;
    std::condition_variable ready;
    std::deque<std::pair<int, std::string>> whole;
    bool closing = false;

    void put(int fd, std::string request) {
        {
            const std::lock_guard guard(lock);
            whole.emplace_back(fd, std::move(request));
        }
        ready.notify_one();
    }

    void serve(const std::string& backend) {
        for (;;) {
            std::unique_lock guard(lock);
            ready.wait(guard, [&] { return closing || !whole.empty(); });
            if (whole.empty()) return;
            auto [fd, request] = std::move(whole.front());
            whole.pop_front();
            guard.unlock();
            relay(fd, std::move(request), backend);
        }
    }
};

namespace {

// Reads what a waiting connection sent; true when it is done waiting: its request went on
// to the server, it was refused, or it closed.
bool advanceWaiting(Waiting& w, short events, Clock::time_point now, const DoorLimits& limits,
                    const std::function<void(int, std::string)>& whole) {
    if (events & (POLLIN | POLLHUP | POLLERR)) {
        char buffer[8192];
        const ssize_t n = ::recv(w.fd, buffer, sizeof buffer, 0);
        if (n <= 0) {
            ::close(w.fd);
            return true;
        }
        w.bytes.append(buffer, static_cast<std::size_t>(n));
    }
    switch (measure(w.bytes, limits).shape) {
        case Shape::Whole:
            ::fcntl(w.fd, F_SETFL, ::fcntl(w.fd, F_GETFL) & ~O_NONBLOCK);
            whole(w.fd, std::move(w.bytes));
            return true;
        case Shape::HeadersTooLarge:
            refuse(w.fd, "431 Request Header Fields Too Large");
            return true;
        case Shape::BodyTooLarge:
            refuse(w.fd, "413 Payload Too Large");
            return true;
        case Shape::NoLength:
            refuse(w.fd, "411 Length Required");
            return true;
        case Shape::Incomplete:
            break;
    }
    if (now - w.since <= limits.deadline) return false;
    refuse(w.fd, "408 Request Timeout");
    return true;
}

}  // namespace

FrontDoor::FrontDoor(int port, std::string backendSocket, DoorLimits limits)
    : backend_(std::move(backendSocket)), limits_(limits) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int yes = 1;
    ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (listener_ < 0 ||
        ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, SOMAXCONN) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        if (listener_ >= 0) ::close(listener_);
        throw Error(port == 0 ? std::string("cannot listen on 127.0.0.1")
                              : fmt::format("cannot listen on 127.0.0.1:{} (in use? try "
                                            "another --port, or none for a free one)",
                                            port));
    }
    port_ = ntohs(address.sin_port);
}

FrontDoor::~FrontDoor() {
    if (listener_ >= 0) ::close(listener_);
}

void FrontDoor::run(const std::function<bool()>& keepGoing) {
    Impl relays;
    std::vector<std::thread> threads;
    for (int i = 0; i < limits_.maxRelays; ++i)
        threads.emplace_back([&] { relays.serve(backend_); });
    const auto handOver = [&](int fd, std::string request) { relays.put(fd, std::move(request)); };
    std::list<Waiting> waiting;  // oldest first
    std::vector<pollfd> polled;
    while (keepGoing()) {
        polled.assign(1, pollfd{listener_, POLLIN, 0});
        for (const Waiting& w : waiting) polled.push_back({w.fd, POLLIN, 0});
        ::poll(polled.data(), polled.size(), 100);
        const auto now = Clock::now();
        auto entry = waiting.begin();
        for (std::size_t i = 1; i < polled.size(); ++i)
            entry = advanceWaiting(*entry, polled[i].revents, now, limits_, handOver)
                        ? waiting.erase(entry)
                        : std::next(entry);
        if ((polled[0].revents & POLLIN) == 0) continue;
        for (int fd;
             (fd = ::accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC)) >= 0;) {
            if (waiting.size() >= limits_.maxWaiting) {
                refuse(waiting.front().fd, "503 Service Unavailable");
                waiting.pop_front();
            }
            waiting.push_back({fd, Clock::now(), {}});
        }
    }
    for (const Waiting& w : waiting) ::close(w.fd);
    {
        const std::lock_guard guard(relays.lock);
        relays.closing = true;
    }
    relays.ready.notify_all();
    for (std::thread& t : threads) t.join();
}

}  // namespace drawlet::studio
