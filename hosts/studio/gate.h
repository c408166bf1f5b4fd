// Who may talk to the studio. It listens on the loopback interface only, but any program of
// any user on the machine can reach that, and any web page the user opens can make the
// browser send requests to it. So every request must carry the session's secret token (in
// the address, or in the cookie the first page load sets from it), name this server in its
// Host header (against DNS rebinding), and come from its own pages (Origin, Sec-Fetch-Site).
#pragma once

#include <string>
#include <string_view>

namespace drawlet::studio {

// The headers and query value a decision needs; empty when absent.
struct RequestFacts {
    std::string host;
    std::string origin;
    std::string fetchSite;  // Sec-Fetch-Site
    std::string cookie;
    std::string queryToken;
};

struct Verdict {
    bool allowed = false;
    bool setCookie = false;  // allowed by the token in the address: remember it in a cookie
    std::string reason;      // why not, for the 403 page
};

class Gate {
  public:
    Gate(std::string token, int port);

    Verdict check(const RequestFacts& request) const;

    // The Set-Cookie value that lets the page's later requests in.
    std::string cookie() const;
    const std::string& token() const { return token_; }

  private:
    bool tokenMatches(std::string_view candidate) const;

    std::string token_;
    std::string cookieName_;  // per port: cookies are not kept apart by port
    std::string hosts_[2];    // 127.0.0.1:PORT, localhost:PORT
};

// A new token: 128 random bits from the system's source, as 32 hex digits.
std::string newToken();

}  // namespace drawlet::studio
