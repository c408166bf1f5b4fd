// drawlet studio's server, as a browser or any other program on the machine meets it: the
// token, the Host and Origin checks, fixed paths, bounded bodies, the loopback interface
// only, and a clean stop on Ctrl-C.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "cli_support.h"
#include "ffmpeg_support.h"

namespace {

namespace fs = std::filesystem;

// drawlet studio INPUT --no-browser [more], with its address read from its standard output.
class Studio {
  public:
    Studio(const fs::path& input, const std::string& more = "") {
        int out[2];
        if (pipe(out) != 0) throw std::runtime_error("pipe");
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], STDOUT_FILENO);
            close(out[0]);
            close(out[1]);
            const std::string command = std::string("exec ") + DRAWLET_CLI_PATH + " studio '" +
                                        input.string() + "' --no-browser " + more;
            execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        close(out[1]);
        output_ = fdopen(out[0], "r");
        char line[256] = {};
        if (std::fgets(line, sizeof line, output_) != nullptr) address_ = line;
        std::smatch m;
        if (std::regex_search(
                address_, m,
                std::regex(R"(^http://127\.0\.0\.1:(\d+)/\?token=([0-9a-f]{32})\n$)"))) {
            port_ = std::stoi(m[1]);
            token_ = m[2];
        }
    }
    ~Studio() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (output_ != nullptr) fclose(output_);
    }
    // Sends Ctrl-C; the exit code, or -1 when it has not ended within five seconds.
    int interrupt() {
        kill(pid_, SIGINT);
        for (int i = 0; i < 50; ++i) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -2;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return -1;
    }
    int port() const { return port_; }
    const std::string& token() const { return token_; }
    const std::string& address() const { return address_; }
    std::string host() const { return "127.0.0.1:" + std::to_string(port_); }

  private:
    pid_t pid_ = -1;
    FILE* output_ = nullptr;
    std::string address_, token_;
    int port_ = 0;
};

struct Reply {
    int status = 0;
    std::string text;  // headers and body
};

// Sends `request` as it is to 127.0.0.1:port and reads the whole reply.
Reply send(int port, const std::string& request) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(port));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    Reply reply;
    if (connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0) {
        for (std::size_t sent = 0; sent < request.size();) {
            const ssize_t n =
                ::send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) break;
            sent += static_cast<std::size_t>(n);
        }
        char buffer[65536];
        for (ssize_t n; (n = recv(fd, buffer, sizeof buffer, 0)) > 0;) reply.text.append(buffer, n);
        std::sscanf(reply.text.c_str(), "HTTP/1.1 %d", &reply.status);
    }
    close(fd);
    return reply;
}

std::string get(const std::string& path, const std::string& host, const std::string& headers = "") {
    return "GET " + path + " HTTP/1.1\r\nHost: " + host + "\r\n" + headers +
           "Connection: close\r\n\r\n";
}

std::string post(const std::string& path, const std::string& host, const std::string& cookie,
                 const std::string& body) {
    return "POST " + path + " HTTP/1.1\r\nHost: " + host + "\r\nCookie: " + cookie +
           "\r\nContent-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

// The local addresses listening on TCP `port` ("0100007F" is 127.0.0.1), from /proc.
std::vector<std::string> listeners(int port) {
    std::vector<std::string> addresses;
    for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
        std::ifstream in(table);
        std::string line;
        std::getline(in, line);
        while (std::getline(in, line)) {
            char local[64] = {};
            unsigned localPort = 0, state = 0;
            if (std::sscanf(line.c_str(), " %*d: %63[0-9A-Fa-f]:%x %*[0-9A-Fa-f]:%*x %x", local,
                            &localPort, &state) == 3 &&
                localPort == static_cast<unsigned>(port) && state == 0x0A)
                addresses.emplace_back(local);
        }
    }
    return addresses;
}

class StudioServer : public ::testing::Test {
  protected:
    void SetUp() override {
        input = temp.path() / "in.png";
        ASSERT_TRUE(
            cv::imwrite(input.string(), cv::Mat(40, 60, CV_8UC3, cv::Scalar(90, 140, 200))));
    }
    // A noisy picture as the input, where a plain one would hide a wrong frame or size.
    void useNoisyInput() {
        cv::Mat picture(40, 60, CV_8UC3);
        cv::randu(picture, cv::Scalar::all(0), cv::Scalar::all(255));
        ASSERT_TRUE(cv::imwrite(input.string(), picture));
    }
    static std::string cookieOf(const Studio& studio) {
        return "drawlet_studio_" + std::to_string(studio.port()) + "=" + studio.token();
    }
    drawlet::test::TempDir temp;
    fs::path input;
};

TEST_F(StudioServer, AnswersOnlyItsOwnPagesWithTheToken) {
    Studio studio(input);
    ASSERT_GT(studio.port(), 0) << "address line: " << studio.address();
    const std::string host = studio.host(), token = studio.token();
    const std::string cookie = cookieOf(studio);
    const struct {
        const char* what;
        std::string request;
        int status;
    } cases[] = {
        {"the page with the token", get("/?token=" + token, host), 200},
        {"the page by name",
         get("/index.html?token=" + token, "localhost:" + std::to_string(studio.port())), 200},
        {"the script with the cookie", get("/studio.js", host, "Cookie: " + cookie + "\r\n"), 200},
        {"the session with the cookie", get("/api/session", host, "Cookie: " + cookie + "\r\n"),
         200},
        {"no token", get("/", host), 403},
        {"no token for the API", get("/api/session", host), 403},
        {"a wrong token", get("/?token=" + std::string(32, '0'), host), 403},
        {"another host name",
         get("/?token=" + token, "evil.example:" + std::to_string(studio.port())), 403},
        {"no Host header", "GET /?token=" + token + " HTTP/1.0\r\n\r\n", 403},
        {"another site's page",
         get("/api/session", host, "Cookie: " + cookie + "\r\nOrigin: http://evil.example\r\n"),
         403},
        {"a cross-site fetch",
         get("/api/session", host, "Cookie: " + cookie + "\r\nSec-Fetch-Site: cross-site\r\n"),
         403},
        {"a file of the machine", get("/etc/passwd?token=" + token, host), 404},
        {"a path up the tree", get("/../../../etc/passwd?token=" + token, host), 404},
        {"an encoded path up the tree", get("/%2e%2e/%2e%2e/etc/passwd?token=" + token, host), 404},
        {"the input by name", get("/in.png?token=" + token, host), 404},
        {"a pattern file", get("/Drawlet/img/h0.bmp?token=" + token, host), 404},
        {"the input's path", get(input.string() + "?token=" + token, host), 404},
        {"a render without a body", post("/api/render", host, cookie, ""), 400},
        {"a render naming a file", post("/api/render", host, cookie, R"({"file": "/etc/passwd"})"),
         400},
        {"a render with a bad setting",
         post("/api/render", host, cookie, R"({"settings": {"mode": 9}})"), 400},
        {"a boil rate for a picture", post("/api/render", host, cookie, R"({"boilRate": 4})"), 400},
        {"a body too large", post("/api/render", host, cookie, std::string(70000, ' ')), 413},
        {"a render",
         post("/api/render", host, cookie, R"({"settings": {"mode": 4}, "maxSide": 30})"), 200},
        {"a settings file",
         post("/api/settings-file", host, cookie, R"({"settings": {"mode": 4}})"), 200},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Reply reply = send(studio.port(), c.request);
        EXPECT_EQ(reply.status, c.status) << reply.text.substr(0, 400);
        if (c.status == 403) {
            EXPECT_EQ(reply.text.find("image/png"), std::string::npos);
        }
    }
    const Reply page = send(studio.port(), get("/?token=" + token, host));
    EXPECT_NE(page.text.find("Set-Cookie: " + cookie + "; Path=/; HttpOnly; SameSite=Strict"),
              std::string::npos);
    EXPECT_NE(page.text.find("Content-Security-Policy: default-src 'none'"), std::string::npos);
    const Reply render =
        send(studio.port(), post("/api/render", host, cookie, R"({"maxSide": 30})"));
    EXPECT_NE(render.text.find("X-Width: 30\r\n"), std::string::npos) << render.text.substr(0, 400);
    EXPECT_NE(render.text.find("X-Height: 20\r\n"), std::string::npos)
        << render.text.substr(0, 400);
    EXPECT_EQ(listeners(studio.port()), std::vector<std::string>{"0100007F"});
    EXPECT_EQ(studio.interrupt(), 130);  // as a render stopped by Ctrl-C
    EXPECT_TRUE(listeners(studio.port()).empty());
}

// The module prepares its patterns for the frame size it meets when the pattern settings
// change, so a full-size frame after a preview of the same settings must not reuse the
// preview's preparation: each exact frame is the frame drawlet render writes.
TEST_F(StudioServer, ExactFramesAreTheFramesRenderWritesAfterAnyPreview) {
    ASSERT_NO_FATAL_FAILURE(useNoisyInput());
    Studio studio(input);
    ASSERT_GT(studio.port(), 0);
    const std::string cookie = cookieOf(studio);
    const fs::path cli = temp.path() / "cli.png";
    ASSERT_EQ(drawlet::test::runCli(temp.path(), "render '" + input.string() + "' -o '" +
                                                     cli.string() + "' --set mode=4 --frame 2")
                  .exitCode,
              0);
    const std::string expected = drawlet::test::slurp(cli);
    for (const char* previewFirst : {"30", "", "45"}) {
        SCOPED_TRACE(previewFirst);
        if (*previewFirst != '\0')
            send(studio.port(),
                 post("/api/render", studio.host(), cookie,
                      std::string(R"({"settings": {"mode": 4}, "frame": 2, "maxSide": )") +
                          previewFirst + "}"));
        const Reply exact = send(studio.port(), post("/api/render", studio.host(), cookie,
                                                     R"({"settings": {"mode": 4}, "frame": 2})"));
        ASSERT_EQ(exact.status, 200);
        EXPECT_EQ(exact.text.substr(exact.text.find("\r\n\r\n") + 4), expected);
    }
}

// Requests of several pages (or A and B) at once each get the frame of their own settings and
// size, the same bytes as when they come one at a time.
TEST_F(StudioServer, RequestsAtOnceGetTheFramesOfTheirOwnSettings) {
    ASSERT_NO_FATAL_FAILURE(useNoisyInput());
    Studio studio(input);
    ASSERT_GT(studio.port(), 0);
    const std::string cookie = cookieOf(studio);
    const std::string bodies[] = {
        R"({"settings": {"mode": 4}, "frame": 2})",
        R"({"settings": {"mode": 4}, "frame": 2, "maxSide": 30})",
        R"({"settings": {"mode": 3, "pattern": 2}, "frame": 5})",
        R"({"settings": {"mode": 5, "pattern-angle": 30}, "frame": 1, "maxSide": 45})",
    };
    std::vector<std::string> alone;
    for (const std::string& body : bodies) {
        const Reply reply = send(studio.port(), post("/api/render", studio.host(), cookie, body));
        ASSERT_EQ(reply.status, 200) << body;
        EXPECT_NE(reply.text.find("image/png"), std::string::npos) << body;
        alone.push_back(reply.text);
    }
    std::vector<std::vector<std::string>> together(4);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 6; ++i)
                together[t].push_back(send(studio.port(), post("/api/render", studio.host(), cookie,
                                                               bodies[(t + i) % 4]))
                                          .text);
        });
    for (std::thread& t : threads) t.join();
    const auto body = [](const std::string& reply) {
        return reply.substr(reply.find("\r\n\r\n") + 4);
    };
    // Each setting gives its own picture, so a server ignoring them cannot pass.
    for (int a = 0; a < 4; ++a)
        for (int b = a + 1; b < 4; ++b) EXPECT_NE(body(alone[a]), body(alone[b])) << a << b;
    for (int t = 0; t < 4; ++t)
        for (int i = 0; i < 6; ++i) {
            SCOPED_TRACE(bodies[(t + i) % 4]);
            EXPECT_EQ(body(together[t][i]), body(alone[(t + i) % 4]));
        }
}

// A render sends back every value as the module's update callback left it: between the
// page's previous values and its new ones, the interpolation box just switched on stays on.
TEST_F(StudioServer, RendersSendBackTheValuesAsTheModuleLeftThem) {
    Studio studio(input);
    ASSERT_GT(studio.port(), 0);
    const std::string both = R"("settings": {"bilinear": 1, "bicubic": 1, "mode": 3})";
    const struct {
        std::string body;
        const char* values;  // bilinear, then bicubic
    } cases[] = {
        {"{" + both + R"(, "previous": {"bilinear": 1, "bicubic": 0}})", "01"},
        {"{" + both + R"(, "previous": {"bilinear": 0, "bicubic": 1}})", "10"},
        {"{" + both + "}", "10"},  // both switched on at once: bilinear stays
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body);
        const Reply reply =
            send(studio.port(), post("/api/render", studio.host(), cookieOf(studio), c.body));
        ASSERT_EQ(reply.status, 200);
        std::smatch m;
        ASSERT_TRUE(
            std::regex_search(reply.text, m, std::regex("\r\nX-Values: (\\{[^\r]*\\})\r\n")));
        const std::string values = m[1];
        EXPECT_NE(values.find(std::string("\"bilinear\":") + c.values[0]), std::string::npos);
        EXPECT_NE(values.find(std::string("\"bicubic\":") + c.values[1]), std::string::npos);
        EXPECT_NE(values.find("\"mode\":3"), std::string::npos) << values;
    }
}

// A frame that follows the motion is the frame drawlet render --follow-motion writes, stepping
// forward, back and forward again; a preview of it follows the motion too.
TEST_F(StudioServer, FramesThatFollowTheMotionAreTheRendersFrames) {
    if (!drawlet::test::haveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
    const fs::path clip = temp.path() / "pan.mkv";
    drawlet::test::makePanClip(clip, 96, 64, 8, 2, 1);
    Studio studio(clip);
    ASSERT_GT(studio.port(), 0);
    const std::string settings = R"({"settings": {"update-interval": 4}, "followMotion": true)";
    const struct {
        int frame;
        bool followed;
    } steps[] = {{5, true}, {6, true}, {3, true}, {4, false}, {6, true}};
    for (const auto& step : steps) {
        SCOPED_TRACE(step.frame);
        const fs::path cli = temp.path() / cv::format("cli%d.png", step.frame);
        ASSERT_EQ(drawlet::test::runCli(temp.path(), "render '" + clip.string() + "' -o '" +
                                                         cli.string() + "' -y --follow-motion " +
                                                         "--set update-interval=4 --frame " +
                                                         std::to_string(step.frame))
                      .exitCode,
                  0);
        const Reply exact = send(
            studio.port(), post("/api/render", studio.host(), cookieOf(studio),
                                settings + ", \"frame\": " + std::to_string(step.frame) + "}"));
        ASSERT_EQ(exact.status, 200);
        EXPECT_EQ(exact.text.substr(exact.text.find("\r\n\r\n") + 4), drawlet::test::slurp(cli));
        EXPECT_NE(exact.text.find(step.followed ? "X-Followed: 1" : "X-Followed: 0"),
                  std::string::npos);
    }
    const Reply preview = send(studio.port(), post("/api/render", studio.host(), cookieOf(studio),
                                                   settings + R"(, "frame": 7, "maxSide": 48})"));
    EXPECT_EQ(preview.status, 200);
    EXPECT_NE(preview.text.find("X-Width: 48"), std::string::npos);
    EXPECT_NE(preview.text.find("X-Followed: 1"), std::string::npos);
}

TEST_F(StudioServer, RefusesWhatItCannotServe) {
    Studio first(input);
    ASSERT_GT(first.port(), 0);
    const struct {
        std::string args;
        int exitCode;
        const char* says;
    } cases[] = {
        {"studio '" + input.string() + "' --no-browser --port " + std::to_string(first.port()), 1,
         "in use?"},
        {"studio '" + (temp.path() / "absent.png").string() + "' --no-browser", 1, "no such file"},
        {"studio '" + input.string() + "' --no-browser --boil-rate 4", 2, "for videos"},
        {"studio - --no-browser", 2, "give a file"},
        {"studio '" + temp.path().string() + "' --no-browser", 1, "is a folder"},
        {"studio '" + input.string() + "' --no-browser --look comic-inc", 2, "no such look"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        // A studio that started anyway would serve until stopped.
        const drawlet::test::CliResult r = drawlet::test::runCli(temp.path(), c.args, "timeout 20");
        EXPECT_EQ(r.exitCode, c.exitCode);
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
}

}  // namespace

// Any web page can open connections to 127.0.0.1. Idle sockets and clients that send a
// request a byte at a time hold no worker: the page's own requests are answered at once, and
// a request not whole within the deadline is answered 408 and closed.
TEST_F(StudioServer, SlowAndIdleClientsDoNotStarveThePage) {
    Studio studio(input);
    ASSERT_GT(studio.port(), 0);
    const auto connectTo = [&] {
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(static_cast<uint16_t>(studio.port()));
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
        return fd;
    };
    std::vector<int> idle, slow;
    for (int i = 0; i < 100; ++i) idle.push_back(connectTo());
    for (int i = 0; i < 4; ++i) slow.push_back(connectTo());
    std::atomic<bool> trickling{true};
    std::thread trickle([&] {
        const std::string request = get("/api/session?token=" + studio.token(), studio.host());
        for (std::size_t at = 0; trickling && at < request.size(); ++at) {
            for (const int fd : slow) ::send(fd, &request[at], 1, MSG_NOSIGNAL);
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
    });
    // The page's request, with a bound on the wait: a starved server fails it. Its body
    // comes after its headers, as a browser's often does: the door waits for all of it.
    const int page = connectTo();
    const timeval bound{5, 0};
    setsockopt(page, SOL_SOCKET, SO_RCVTIMEO, &bound, sizeof bound);
    const std::string request =
        post("/api/render", studio.host(), cookieOf(studio), R"({"maxSide": 30})");
    const std::size_t head = request.find("\r\n\r\n") + 4;
    ASSERT_EQ(::send(page, request.data(), head, MSG_NOSIGNAL), static_cast<ssize_t>(head));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_EQ(::send(page, request.data() + head, request.size() - head, MSG_NOSIGNAL),
              static_cast<ssize_t>(request.size() - head));
    char reply[64] = {};
    ASSERT_GT(recv(page, reply, sizeof reply - 1, 0), 0) << "no answer while others held on";
    EXPECT_EQ(std::string(reply).rfind("HTTP/1.1 200", 0), 0u) << reply;
    close(page);
    // The slow clients' requests are not whole at their deadline: 408, then closed.
    for (const int fd : slow) {
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &bound, sizeof bound);
        char answer[64] = {};
        EXPECT_GT(recv(fd, answer, sizeof answer - 1, 0), 0);
        EXPECT_EQ(std::string(answer).rfind("HTTP/1.1 408", 0), 0u) << answer;
    }
    trickling = false;
    trickle.join();
    for (const int fd : idle) close(fd);
    for (const int fd : slow) close(fd);
}
