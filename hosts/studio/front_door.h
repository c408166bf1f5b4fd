// The studio's door on 127.0.0.1. One thread takes every connection and reads each request
// (its headers and its body) within a short deadline; only a whole request goes on to the
// server behind the door, on a private Unix socket, and its answer comes back the same way.
// A client that sends nothing, or a byte a second, holds no worker of the server: it costs
// a buffer until its deadline, then it is answered 408 and closed. Any web page can open
// connections to 127.0.0.1, so this is what keeps the studio answering its own page.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <string>

namespace drawlet::studio {

struct DoorLimits {
    std::chrono::milliseconds deadline{3000};  // from the connection to its whole request
    std::size_t maxHeaderBytes = 16 * 1024;
    std::size_t maxBodyBytes = 64 * 1024;
    std::size_t maxWaiting = 256;  // connections still sending; the oldest goes first
    int maxRelays = 16;            // whole requests at the server at once
};

class FrontDoor {
  public:
    // Binds 127.0.0.1:`port` (0: a free port); throws drawlet::Error when it cannot.
    FrontDoor(int port, std::string backendSocket, DoorLimits limits = {});
    ~FrontDoor();
    FrontDoor(const FrontDoor&) = delete;
    FrontDoor& operator=(const FrontDoor&) = delete;

    int port() const { return port_; }

    // Serves until `keepGoing` answers false (asked a few times a second); returns when the
    // requests under way are answered.
    void run(const std::function<bool()>& keepGoing);

  private:
    struct Impl;
    int listener_ = -1;
    int port_ = 0;
    std::string backend_;
    DoorLimits limits_;
};

}  // namespace drawlet::studio
