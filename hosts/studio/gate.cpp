#include "studio/gate.h"

#include <sys/random.h>

#include <array>

#include "kit/error.h"

namespace drawlet::studio {

namespace {

// The value of cookie `name` in a Cookie header ("a=1; b=2"); empty when absent.
std::string_view cookieValue(std::string_view header, std::string_view name) {
    while (!header.empty()) {
        const std::size_t end = header.find(';');
        std::string_view pair = header.substr(0, end);
        header = end == std::string_view::npos ? std::string_view() : header.substr(end + 1);
        while (!pair.empty() && pair.front() == ' ') pair.remove_prefix(1);
        const std::size_t eq = pair.find('=');
        if (eq != std::string_view::npos && pair.substr(0, eq) == name) return pair.substr(eq + 1);
    }
    return {};
}

}  // namespace

Gate::Gate(std::string token, int port)
    : token_(std::move(token)),
      cookieName_("drawlet_studio_" + std::to_string(port)),
      hosts_{"127.0.0.1:" + std::to_string(port), "localhost:" + std::to_string(port)} {}

bool Gate::tokenMatches(std::string_view candidate) const {
    // Every byte compared, whatever the first difference, so that timing tells nothing.
    if (candidate.size() != token_.size()) return false;
    unsigned char difference = 0;
    for (std::size_t i = 0; i < token_.size(); ++i)
        difference |= static_cast<unsigned char>(candidate[i] ^ token_[i]);
    return difference == 0;
}

Verdict Gate::check(const RequestFacts& request) const {
    if (request.host != hosts_[0] && request.host != hosts_[1])
        return {false, false, "this server answers only to " + hosts_[0]};
    if (!request.origin.empty() && request.origin != "http://" + hosts_[0] &&
        request.origin != "http://" + hosts_[1])
        return {false, false, "requests from other sites are refused"};
    if (request.fetchSite == "cross-site" || request.fetchSite == "same-site")
        return {false, false, "requests from other sites are refused"};
    if (tokenMatches(request.queryToken)) return {true, true, {}};
    if (tokenMatches(cookieValue(request.cookie, cookieName_))) return {true, false, {}};
    return {false, false,
            "open the address drawlet studio printed, with its token (a new one each time "
            "the studio starts)"};
}

std::string Gate::cookie() const {
    return cookieName_ + "=" + token_ + "; Path=/; HttpOnly; SameSite=Strict";
}

std::string newToken() {
    std::array<unsigned char, 16> bits{};
    if (getrandom(bits.data(), bits.size(), 0) != static_cast<ssize_t>(bits.size()))
        throw Error("the system's random source gave too few bytes");
    std::string token;
    for (const unsigned char b : bits) {
        static constexpr char kHex[] = "0123456789abcdef";
        token += kHex[b >> 4];
        token += kHex[b & 15];
    }
    return token;
}

}  // namespace drawlet::studio
