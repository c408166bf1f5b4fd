#include "studio/server.h"

#include <fmt/format.h>
#include <httplib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "kit/error.h"
#include "run/signals.h"
#include "studio/page_files.h"
#include "studio/request.h"

namespace drawlet::studio {

namespace {

// Renders run one at a time in the module; more threads keep the page's other requests (the
// original frame, the page files) from waiting behind them. Only whole requests reach them
// (the front door holds the rest).
constexpr int kThreads = 8;

const httplib::Headers kSecurityHeaders = {
    {"Content-Security-Policy",
     "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self' blob: data:; "
     "connect-src 'self' blob:; base-uri 'none'; form-action 'none'; frame-ancestors 'none'"},
    {"X-Content-Type-Options", "nosniff"},
    {"X-Frame-Options", "DENY"},
    {"Referrer-Policy", "no-referrer"},
    {"Cache-Control", "no-store"},
};

void sendError(httplib::Response& res, int status, const std::string& message) {
    res.status = status;
    res.set_content(run::SettingsJson({{"error", message}}).dump(), "application/json");
}

// Runs `work`, answering its failures: 400 for what the request got wrong, 422 for a frame
// that cannot be read or drawn, 500 for anything else.
void answer(httplib::Response& res, const std::function<void()>& work) {
    try {
        work();
    } catch (const Error& e) {
        sendError(res, e.exitCode() == kExitUsage ? 400 : 422, e.what());
    } catch (const std::exception& e) {
        sendError(res, 500, e.what());
    }
}

void sendImage(httplib::Response& res, const Image& image) {
    res.set_header("X-Width", std::to_string(image.width));
    res.set_header("X-Height", std::to_string(image.height));
    res.set_content(reinterpret_cast<const char*>(image.png.data()), image.png.size(), "image/png");
}

long long queryNumber(const httplib::Request& req, const char* name, long long maximum) {
    if (!req.has_param(name)) return 0;
    const std::string text = req.get_param_value(name);
    long long value = -1;
    const auto parsed = std::from_chars(text.data(), text.data() + text.size(), value);
    if (parsed.ec != std::errc() || parsed.ptr != text.data() + text.size() || value < 0 ||
        value > maximum)
        throw UsageError(fmt::format("\"{}\" takes a whole number from 0 to {}", name, maximum));
    return value;
}

}  // namespace

namespace {

// A folder only this user can enter, for the server's socket.
std::string privateSocketFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::string pattern =
        (runtime != nullptr && *runtime != '\0' ? std::string(runtime) : std::string("/tmp")) +
        "/drawlet-studio-XXXXXX";
    if (pattern.size() > 80 || mkdtemp(pattern.data()) == nullptr) {
        pattern = "/tmp/drawlet-studio-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr)
            throw Error("cannot make a private folder for the studio's socket in /tmp");
    }
    return pattern;
}

}  // namespace

StudioServer::StudioServer(Session& session, std::string description, int port)
    : session_(session),
      description_(std::move(description)),
      socketFolder_(privateSocketFolder()),
      server_(std::make_unique<httplib::Server>()) {
    server_->new_task_queue = [] { return new httplib::ThreadPool(kThreads); };
    server_->set_payload_max_length(kMaxRequestBody);
    server_->set_default_headers(kSecurityHeaders);
    server_->set_address_family(AF_UNIX);
    const std::string socket = socketFolder_ + "/server";
    if (!server_->bind_to_port(socket, 80))
        throw Error("cannot listen on the studio's socket " + socket);
    door_ = std::make_unique<FrontDoor>(port, socket);
    port_ = door_->port();
    gate_ = std::make_unique<Gate>(newToken(), port_);
    addRoutes();
}

StudioServer::~StudioServer() {
    std::error_code ec;
    std::filesystem::remove_all(socketFolder_, ec);
}

std::string StudioServer::address() const {
    return fmt::format("http://127.0.0.1:{}/?token={}", port_, gate_->token());
}

void StudioServer::addRoutes() {
    server_->set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
        const Verdict verdict =
            gate_->check({req.get_header_value("Host"), req.get_header_value("Origin"),
                          req.get_header_value("Sec-Fetch-Site"), req.get_header_value("Cookie"),
                          req.has_param("token") ? req.get_param_value("token") : ""});
        if (!verdict.allowed) {
            res.status = 403;
            res.set_content("403 Forbidden: " + verdict.reason + "\n", "text/plain");
            return httplib::Server::HandlerResponse::Handled;
        }
        if (verdict.setCookie) res.set_header("Set-Cookie", gate_->cookie());
        return httplib::Server::HandlerResponse::Unhandled;
    });
    for (const PageFile& file : pageFiles()) {
        const auto serve = [file](const httplib::Request&, httplib::Response& res) {
            res.set_content(file.body.data(), file.body.size(),
                            std::string(file.contentType).c_str());
        };
        server_->Get(std::string(file.path), serve);
        if (file.path == "/index.html") server_->Get("/", serve);
    }
    server_->Get("/api/session", [this](const httplib::Request&, httplib::Response& res) {
        res.set_content(description_, "application/json");
    });
    server_->Post("/api/render", [this](const httplib::Request& req, httplib::Response& res) {
        answer(res, [&] {
            render(parseRenderRequest(req.body), req.get_header_value("X-Preview-Of"), res);
        });
    });
    server_->Get("/api/original", [this](const httplib::Request& req, httplib::Response& res) {
        answer(res, [&] {
            sendImage(res, session_.original(
                               queryNumber(req, "frame", std::numeric_limits<int>::max()),
                               static_cast<int>(queryNumber(req, "maxSide", kMaxPreviewSide))));
        });
    });
    server_->Post("/api/settings-file",
                  [this](const httplib::Request& req, httplib::Response& res) {
                      answer(res, [&] {
                          res.set_content(session_.settingsFile(parseRenderRequest(req.body)),
                                          "application/json");
                      });
                  });
    server_->set_error_handler([](const httplib::Request&, httplib::Response& res) {
        if (res.body.empty()) res.set_content(std::to_string(res.status) + "\n", "text/plain");
    });
}

void StudioServer::render(const RenderRequest& request, const std::string& page,
                          httplib::Response& res) {
    // A page's preview is drawn only when no newer one of the page came while it waited for
    // its turn: the page shows the newest settings, and a slow frame does not make every
    // later one wait too.
    const unsigned long long ticket = page.empty() ? 0 : previews_.take(page);
    const std::lock_guard turn(turn_);
    if (!page.empty() && !previews_.isNewest(page, ticket))
        return sendError(res, 409, "a newer preview of the page came while this one waited");
    // A frame that follows the motion may first feed many frames to the follower: it stops
    // between two of them when a newer preview of the page comes, or the studio stops.
    const std::optional<Rendered> drawn = session_.render(request, [&] {
        return run::stopFlag().load() == 0 && (page.empty() || previews_.isNewest(page, ticket));
    });
    if (!drawn)
        return sendError(res, 409, "a newer preview of the page came while this one was drawn");
    res.set_header("X-Filter-Ms", fmt::format("{:.1f}", drawn->filterMs));
    res.set_header("X-Exact", drawn->exact ? "1" : "0");
    res.set_header("X-Update-Interval", std::to_string(drawn->updateInterval));
    res.set_header("X-Followed", drawn->followed ? "1" : "0");
    // JSON with every character beyond ASCII escaped, as a header must be.
    res.set_header("X-Values", drawn->values.dump(-1, ' ', true));
    sendImage(res, drawn->image);
}

void StudioServer::run(const std::function<bool()>& keepGoing) {
    std::thread listener([&] { server_->listen_after_bind(); });
    door_->run(keepGoing);
    server_->stop();
    listener.join();
}

}  // namespace drawlet::studio
