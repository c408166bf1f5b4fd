// Opens an address in the user's browser with xdg-open. The studio's address carries its
// secret token, and a command line can be read by every user of the machine (ps), so the
// browser is given a private file (mode 0600) that redirects to the address instead.
#pragma once

#include <iosfwd>
#include <string>

namespace drawlet::cli {

class BrowserOpening {
  public:
    // Starts xdg-open; says on `err` to open the address by hand when it cannot.
    BrowserOpening(const std::string& address, std::ostream& err);
    // Removes the redirecting file.
    ~BrowserOpening();
    BrowserOpening(const BrowserOpening&) = delete;
    BrowserOpening& operator=(const BrowserOpening&) = delete;

  private:
    std::string file_;
};

}  // namespace drawlet::cli
