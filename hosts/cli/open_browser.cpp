#include "cli/open_browser.h"

#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <ostream>
#include <thread>

extern char** environ;

namespace drawlet::cli {

namespace {

// A private folder of the user's when there is one, else the temporary folder.
std::string privateFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::error_code ec;
    if (runtime != nullptr && *runtime != '\0' && std::filesystem::is_directory(runtime, ec))
        return runtime;
    return std::filesystem::temp_directory_path(ec).string();
}

// An HTML file (mkstemps makes it 0600) that sends the browser on to `address`.
std::string writeRedirect(const std::string& address) {
    std::string path = privateFolder() + "/drawlet-studio-XXXXXX.html";
    const int fd = mkstemps(path.data(), 5);
    if (fd < 0) return {};
    const std::string page =
        "<!doctype html><meta charset=\"utf-8\"><title>drawlet studio</title>"
        "<meta http-equiv=\"refresh\" content=\"0; url=" +
        address + "\"><p><a href=\"" + address + "\">Open drawlet studio</a></p>\n";
    const bool written = write(fd, page.data(), page.size()) == static_cast<ssize_t>(page.size());
    close(fd);
    if (!written) {
        unlink(path.c_str());
        return {};
    }
    return path;
}

// A browser needs a desktop: an X or Wayland display to show its window on.
bool hasDisplay() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"})
        if (const char* value = std::getenv(name); value != nullptr && *value != '\0') return true;
    return false;
}

}  // namespace

BrowserOpening::BrowserOpening(const std::string& address, std::ostream& err) {
    constexpr const char* kHint = "drawlet studio: open the address above in a browser\n";
    if (!hasDisplay()) {
        err << kHint;
        return;
    }
    file_ = writeRedirect(address);
    std::string url = "file://" + file_;
    char* argv[] = {const_cast<char*>("xdg-open"), url.data(), nullptr};
    // xdg-open's own complaints (no browser found, ...) would bury the address.
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&quiet, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t child = -1;
    const bool started =
        !file_.empty() && posix_spawnp(&child, "xdg-open", &quiet, nullptr, argv, environ) == 0;
    posix_spawn_file_actions_destroy(&quiet);
    if (!started) {
        err << kHint;
        return;
    }
    // xdg-open may wait for the browser it starts: reap it whenever it ends.
    std::thread([child] {
        int status = 0;
        waitpid(child, &status, 0);
    }).detach();
}

BrowserOpening::~BrowserOpening() {
    if (!file_.empty()) unlink(file_.c_str());
}

}  // namespace drawlet::cli
