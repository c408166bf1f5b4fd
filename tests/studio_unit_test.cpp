// The studio's pieces that need no server: who the gate lets in, how a request body is read,
// the boil rate's update interval, and the page files built into the program.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "kit/error.h"
#include "run/boil_rate.h"
#include "studio/gate.h"
#include "studio/page_files.h"
#include "studio/preview_tickets.h"
#include "studio/request.h"

namespace {

using drawlet::studio::Gate;
using drawlet::studio::RequestFacts;

constexpr int kPort = 40123;
const std::string kToken = "0123456789abcdef0123456789abcdef";

struct GateCase {
    const char* what;
    RequestFacts request;
    bool allowed;
    bool setCookie;
};

TEST(StudioGate, LetsInOnlyItsOwnPagesWithTheToken) {
    const Gate gate(kToken, kPort);
    const std::string cookie = "drawlet_studio_40123=" + kToken;
    const std::string otherPort = "drawlet_studio_40124=" + kToken;
    const std::string wrong = "0123456789abcdef0123456789abcdee";
    const GateCase cases[] = {
        {"token in the address", {"127.0.0.1:40123", "", "", "", kToken}, true, true},
        {"localhost by name", {"localhost:40123", "", "", "", kToken}, true, true},
        {"token in the cookie", {"127.0.0.1:40123", "", "", cookie, ""}, true, false},
        {"cookie among others",
         {"127.0.0.1:40123", "", "", "a=1; " + cookie + "; b=2", ""},
         true,
         false},
        {"its own page's fetch",
         {"127.0.0.1:40123", "http://127.0.0.1:40123", "same-origin", cookie, ""},
         true,
         false},
        {"typed in the address bar", {"127.0.0.1:40123", "", "none", "", kToken}, true, true},
        {"no token", {"127.0.0.1:40123", "", "", "", ""}, false, false},
        {"wrong token", {"127.0.0.1:40123", "", "", "", wrong}, false, false},
        {"token cut short", {"127.0.0.1:40123", "", "", "", kToken.substr(0, 31)}, false, false},
        {"token with more after it", {"127.0.0.1:40123", "", "", "", kToken + "0"}, false, false},
        {"another studio's cookie", {"127.0.0.1:40123", "", "", otherPort, ""}, false, false},
        {"cookie value is the token's prefix",
         {"127.0.0.1:40123", "", "", "drawlet_studio_40123=" + kToken.substr(0, 8), ""},
         false,
         false},
        {"another host name (DNS rebinding)",
         {"evil.example:40123", "", "", "", kToken},
         false,
         false},
        {"another port in Host", {"127.0.0.1:40124", "", "", "", kToken}, false, false},
        {"no Host header", {"", "", "", "", kToken}, false, false},
        {"another site's page",
         {"127.0.0.1:40123", "http://evil.example", "", cookie, ""},
         false,
         false},
        {"the same host on another port",
         {"127.0.0.1:40123", "http://127.0.0.1:8080", "", cookie, ""},
         false,
         false},
        {"cross-site fetch without Origin",
         {"127.0.0.1:40123", "", "cross-site", cookie, ""},
         false,
         false},
        {"same-site fetch (another local server)",
         {"127.0.0.1:40123", "", "same-site", cookie, ""},
         false,
         false},
    };
    for (const GateCase& c : cases) {
        SCOPED_TRACE(c.what);
        const drawlet::studio::Verdict verdict = gate.check(c.request);
        EXPECT_EQ(verdict.allowed, c.allowed);
        EXPECT_EQ(verdict.setCookie, c.setCookie);
        EXPECT_EQ(verdict.reason.empty(), c.allowed);
    }
    EXPECT_EQ(gate.cookie(),
              "drawlet_studio_40123=" + kToken + "; Path=/; HttpOnly; SameSite=Strict");
}

TEST(StudioGate, TokensAreNewEachTime) {
    const std::string a = drawlet::studio::newToken(), b = drawlet::studio::newToken();
    EXPECT_TRUE(std::regex_match(a, std::regex("[0-9a-f]{32}"))) << a;
    EXPECT_NE(a, b);
}

TEST(StudioRequest, ReadsWhatThePageSends) {
    const drawlet::studio::RenderRequest r = drawlet::studio::parseRenderRequest(
        R"({"settings": {"mode": 3, "lines": true}, "frame": 12, "maxSide": 960,
            "boilRate": 7.5, "previous": {"mode": 2}, "followMotion": true})");
    EXPECT_EQ(r.settings.dump(), R"({"mode":3,"lines":true})");
    ASSERT_TRUE(r.previous.has_value());
    EXPECT_EQ(r.previous->dump(), R"({"mode":2})");
    EXPECT_EQ(r.frame, 12);
    EXPECT_EQ(r.maxSide, 960);
    ASSERT_TRUE(r.boilRate.has_value());
    EXPECT_EQ(*r.boilRate, 7.5);
    EXPECT_TRUE(r.followMotion);
    const auto empty = drawlet::studio::parseRenderRequest(R"({"boilRate": null})");
    EXPECT_EQ(empty.frame, 0);
    EXPECT_EQ(empty.maxSide, 0);
    EXPECT_FALSE(empty.boilRate.has_value());
    EXPECT_FALSE(empty.previous.has_value());
    EXPECT_FALSE(empty.followMotion);
}

TEST(StudioRequest, RefusesWhatItCannotUse) {
    const struct {
        const char* body;
        const char* says;
    } cases[] = {
        {"", "not valid JSON"},
        {"[1, 2]", "not a JSON object"},
        {R"({"frame": 1, "frame": 2})", "given twice"},
        {R"({"settings": {"mode": 1, "mode": 2}})", "given twice"},
        {R"({"file": "/etc/passwd"})", "unknown key \"file\""},
        {R"({"settings": [1]})", "not an object"},
        {R"({"previous": 3})", "\"previous\" is not an object"},
        {R"({"frame": -1})", "\"frame\" takes a whole number"},
        {R"({"frame": 1.5})", "\"frame\" takes a whole number"},
        {R"({"frame": 18446744073709551615})", "\"frame\" takes a whole number"},
        {R"({"frame": "3"})", "\"frame\" takes a whole number"},
        {R"({"maxSide": 16385})", "from 0 to 16384"},
        {R"({"boilRate": -1})", "\"boilRate\" takes changes per second"},
        {R"({"boilRate": "fast"})", "\"boilRate\" takes changes per second"},
        {R"({"followMotion": 1})", "\"followMotion\" takes true or false"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body);
        try {
            drawlet::studio::parseRenderRequest(c.body);
            ADD_FAILURE() << "accepted";
        } catch (const drawlet::Error& e) {
            EXPECT_EQ(e.exitCode(), drawlet::kExitUsage);
            EXPECT_NE(std::string(e.what()).find(c.says), std::string::npos) << e.what();
        }
    }
}

TEST(BoilRate, GivesTheIntervalForTheFrameRate) {
    const struct {
        double rate;
        drawlet::media::FrameRate fps;
        int frames;
        bool note;
    } cases[] = {
        {10, {30, 1}, 3, false},       {10, {60, 1}, 6, false},
        {12, {24, 1}, 2, false},       {0, {30, 1}, 0, false},  // never changes
        {12, {30000, 1001}, 2, true},                           // 14.99 a second
        {10, {30000, 1001}, 3, false},                          // 9.99 a second
        {7, {30, 1}, 4, true},                                  // 7.5 a second
        {60, {30, 1}, 1, true},                                 // at most once a frame
        {0.1, {30, 1}, 100, true},                              // the slider stops at 100
        {1000, {25, 1}, 1, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.rate << " at " << c.fps.num << "/" << c.fps.den);
        const drawlet::run::BoilInterval boil = drawlet::run::boilInterval(c.rate, c.fps, 100);
        EXPECT_EQ(boil.frames, c.frames);
        EXPECT_EQ(!boil.note.empty(), c.note) << boil.note;
    }
}

// Every file the page names is built into the program, with a type a browser obeys.
TEST(StudioPage, EveryFileThePageNamesIsBuiltIn) {
    const auto files = drawlet::studio::pageFiles();
    const auto find = [&](std::string_view path) -> const drawlet::studio::PageFile* {
        for (const auto& f : files)
            if (f.path == path) return &f;
        return nullptr;
    };
    const drawlet::studio::PageFile* index = find("/index.html");
    ASSERT_NE(index, nullptr);
    EXPECT_EQ(index->contentType, "text/html; charset=utf-8");
    const std::string html(index->body);
    const std::regex reference(R"re((?:src|href)="([a-z.]+)")re");
    int named = 0;
    for (std::sregex_iterator it(html.begin(), html.end(), reference), end; it != end; ++it) {
        const std::string path = "/" + (*it)[1].str();
        SCOPED_TRACE(path);
        const drawlet::studio::PageFile* file = find(path);
        ASSERT_NE(file, nullptr);
        EXPECT_GT(file->body.size(), 100u);
        EXPECT_EQ(file->contentType, path.ends_with(".js") ? "text/javascript; charset=utf-8"
                                                           : "text/css; charset=utf-8");
        ++named;
    }
    EXPECT_EQ(named, 2);
}

}  // namespace

// A page's previews that wait while a newer one of the same page comes are dropped; other
// pages' previews are not.
TEST(PreviewTickets, OnlyThePagesNewestPreviewIsDrawn) {
    drawlet::studio::PreviewTickets tickets;
    const auto a1 = tickets.take("a");
    const auto b1 = tickets.take("b");
    const auto a2 = tickets.take("a");
    EXPECT_FALSE(tickets.isNewest("a", a1));
    EXPECT_TRUE(tickets.isNewest("a", a2));
    EXPECT_TRUE(tickets.isNewest("b", b1));
    // Made-up page ids cannot grow the memory without bound.
    for (int i = 0; i < 1000; ++i) tickets.take("flood" + std::to_string(i));
    EXPECT_LE(tickets.pages(), drawlet::studio::PreviewTickets::kMaxPages);
}
