#include "studio/request.h"

#include <cmath>
#include <limits>

#include "kit/error.h"

namespace drawlet::studio {

namespace {

long long wholeNumber(const run::SettingsJson& value, const std::string& key, long long maximum) {
    if (!value.is_number_integer() || value.dump()[0] == '-' ||
        value.get<unsigned long long>() > static_cast<unsigned long long>(maximum))
        throw UsageError("the request's \"" + key + "\" takes a whole number from 0 to " +
                         std::to_string(maximum) + ", not " + value.dump());
    return value.get<long long>();
}

}  // namespace

RenderRequest parseRenderRequest(const std::string& body) {
    const run::SettingsJson json = run::parseSettingsText(body, "the request");
    if (!json.is_object()) throw UsageError("the request is not a JSON object");
    RenderRequest request;
    for (const auto& [key, value] : json.items()) {
        if (key == "settings" || key == "previous") {
            if (!value.is_object())
                throw UsageError("the request's \"" + key + "\" is not an object of name: value");
            (key == "settings" ? request.settings : request.previous.emplace()) = value;
        } else if (key == "frame") {
            request.frame = wholeNumber(value, key, std::numeric_limits<int>::max());
        } else if (key == "maxSide") {
            request.maxSide = static_cast<int>(wholeNumber(value, key, kMaxPreviewSide));
        } else if (key == "boilRate") {
            if (value.is_null()) continue;
            if (!value.is_number() || !std::isfinite(value.get<double>()) ||
                value.get<double>() < 0)
                throw UsageError(
                    "the request's \"boilRate\" takes changes per second (0 or "
                    "more), or null, not " +
                    value.dump());
            request.boilRate = value.get<double>();
        } else if (key == "followMotion") {
            if (!value.is_boolean())
                throw UsageError("the request's \"followMotion\" takes true or false, not " +
                                 value.dump());
            request.followMotion = value.get<bool>();
        } else {
            throw UsageError("the request has an unknown key \"" + key + "\"");
        }
    }
    return request;
}

}  // namespace drawlet::studio
