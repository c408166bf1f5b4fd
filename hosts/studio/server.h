// The studio's HTTP server: the page and its API on 127.0.0.1, behind the front door (which
// passes on whole requests only) and the gate (which lets in the page's own).
//   GET  /, /studio.css, /studio.js   the page
//   GET  /api/session                 the input, the controls, the looks (JSON)
//   POST /api/render                  a frame drawn with the body's settings (PNG)
//   GET  /api/original?frame=N&maxSide=M   the frame as it is (PNG)
//   POST /api/settings-file           the body's settings as a settings file (JSON)
// Anything else is 404; a request the gate refuses is 403, a body over 64 KiB is 413. A
// render with an X-Preview-Of header (the page's id) that waits for the module while a newer
// one of the same page comes, or that comes while it follows the motion up to its frame, is
// not drawn: 409.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "studio/front_door.h"
#include "studio/gate.h"
#include "studio/preview_tickets.h"
#include "studio/session.h"

namespace httplib {
class Server;
struct Response;
}  // namespace httplib

namespace drawlet::studio {

inline constexpr std::size_t kMaxRequestBody = 64 * 1024;

class StudioServer {
  public:
    // Binds 127.0.0.1:`port` (0: a free port); throws drawlet::Error when it cannot.
    StudioServer(Session& session, std::string description, int port);
    ~StudioServer();
    StudioServer(const StudioServer&) = delete;
    StudioServer& operator=(const StudioServer&) = delete;

    int port() const { return port_; }
    // The address to open: http://127.0.0.1:PORT/?token=TOKEN
    std::string address() const;

    // Serves until `keepGoing` answers false (asked a few times a second), then stops
    // taking requests and returns when those under way are answered.
    void run(const std::function<bool()>& keepGoing);

  private:
    void addRoutes();
    void render(const RenderRequest& request, const std::string& page, httplib::Response& res);

    Session& session_;
    std::string description_;
    std::string socketFolder_;  // private (0700): the server's Unix socket behind the door
    std::unique_ptr<httplib::Server> server_;
    std::unique_ptr<FrontDoor> door_;
    int port_ = 0;
    std::unique_ptr<Gate> gate_;
    // Renders take turns at the module; a page's preview that waited while a newer one of
    // the same page came is dropped.
    std::mutex turn_;
    PreviewTickets previews_;
};

}  // namespace drawlet::studio
