// Settings files and requests come from outside: whatever their shape, reading one ends
// quickly with the document or a usage error that names the file and the problem.
#include "run/strict_json.h"

#include <gtest/gtest.h>

#include <string>

#include "kit/error.h"

namespace {

using drawlet::run::parseStrictJson;

std::string nested(int depth) { return std::string(depth, '[') + std::string(depth, ']'); }

std::string manyKeys(int count) {
    std::string text = "{";
    for (int i = 0; i < count; ++i) text += (i ? ",\"k" : "\"k") + std::to_string(i) + "\":1";
    return text + "}";
}

TEST(StrictJson, RefusesHostileTextWithAUsageErrorNamingIt) {
    const struct {
        const char* what;
        std::string text;
        const char* says;
    } cases[] = {
        {"deeper than the limit", "{\"mode\":" + nested(100000) + "}", "nested deeper than 64"},
        {"one level too deep", nested(65), "nested deeper than 64"},
        {"larger than the limit", "{\"mode\":1" + std::string(1 << 20, ' ') + "}",
         "1048586 bytes is more than the 1048576"},
        {"a key twice", R"({"seed": 1, "x": {"a": 1, "a": 2}})", "\"a\" is given twice"},
        {"bytes after the value", R"({"mode": 3} {"mode": 4})", "not valid JSON (byte 13)"},
        {"a NUL byte and more after it", std::string("{\"mode\":3}\0xyz", 14), "a NUL byte"},
        {"a number beyond a double", R"({"mode": 1e400})", "key \"mode\": 1e400 is beyond"},
        {"not closed", R"({"mode": 2,)", "not valid JSON"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        try {
            parseStrictJson(c.text, "s.json");
            ADD_FAILURE() << "accepted";
        } catch (const drawlet::Error& e) {
            EXPECT_EQ(e.exitCode(), drawlet::kExitUsage);
            EXPECT_EQ(std::string(e.what()).rfind("s.json: ", 0), 0u) << e.what();
            EXPECT_NE(std::string(e.what()).find(c.says), std::string::npos) << e.what();
        }
    }
}

TEST(StrictJson, KeepsKeyOrderAndReadsManyKeysAndTheDeepestAllowed) {
    const auto json = parseStrictJson(R"({"b": 1, "a": [true, null], "c": {"d": "x"}})", "s");
    ASSERT_EQ(json.size(), 3u);
    EXPECT_EQ(json.begin().key(), "b");
    EXPECT_EQ(std::next(json.begin()).key(), "a");
    EXPECT_EQ(json["a"][0], true);
    EXPECT_EQ(json["c"]["d"], "x");
    // Keys are appended, not searched for: 80,000 keys parse at once (a quadratic insert
    // would take minutes and meet the test's timeout).
    const auto wide = parseStrictJson(manyKeys(80000), "s");
    EXPECT_EQ(wide.size(), 80000u);
    EXPECT_EQ(wide.back(), 1);
    EXPECT_TRUE(parseStrictJson(nested(64), "s").is_array());
}

TEST(StrictJson, DescribesValuesWithoutDumpingThemWhole) {
    using drawlet::run::describeJson;
    EXPECT_EQ(describeJson(parseStrictJson(nested(60), "s")), "a list of 1 values");
    EXPECT_EQ(describeJson(parseStrictJson(manyKeys(3), "s")), "an object of 3 keys");
    EXPECT_EQ(describeJson(2.5), "2.5");
    EXPECT_EQ(describeJson(std::string(100, 'x')), "\"" + std::string(39, 'x') + "...");
}

}  // namespace
