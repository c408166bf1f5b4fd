#include "run/settings_file.h"

#include <fmt/format.h>

#include <charconv>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <optional>
#include <vector>

namespace drawlet::run {

namespace {

using Json = SettingsJson;

constexpr const char* kDescriptionKey = "description";

std::string rangeOf(const kit::Parameter& p) {
    return p.kind == kit::ParameterKind::Check
               ? std::string("on/off (true/false, 1/0)")
               : fmt::format("an integer in {}..{}", p.minimum, p.maximum);
}

// The follow-motion key's value, as a check box takes it.
bool followMotionValue(const Json& value, const std::string& where) {
    std::optional<bool> on;
    if (value.is_boolean())
        on = value.get<bool>();
    else if (value.is_string())
        on = switchValue(value.get<std::string>());
    else if (value.is_number_integer())
        on = switchValue(value.dump());
    if (!on)
        throw UsageError(fmt::format("{}: key \"{}\" takes on/off (true/false, 1/0), not {}", where,
                                     follow_motion::kKey, describeJson(value)));
    return *on;
}

}  // namespace

SettingsJson parseSettingsText(const std::string& text, const std::string& where) {
    return parseStrictJson(text, where);
}

int parseValue(const kit::Parameter& p, const std::string& text, const std::string& where) {
    if (p.kind == kit::ParameterKind::Check) {
        if (text == "on" || text == "1" || text == "true") return 1;
        if (text == "off" || text == "0" || text == "false") return 0;
        throw UsageError(
            fmt::format("{}: {} takes {}, not \"{}\"", where, p.key(), rangeOf(p), text));
    }
    int value = 0;
    const char* end = text.data() + text.size();
    const auto parsed = std::from_chars(text.data(), end, value);
    if (parsed.ec != std::errc() || parsed.ptr != end || value < p.minimum || value > p.maximum)
        throw UsageError(fmt::format("{}: {} ({}) takes {}, not \"{}\"", where, p.key(), p.name,
                                     rangeOf(p), text));
    return value;
}

SettingsJson readSettingsFile(const std::string& file) {
    std::error_code ec;
    if (std::filesystem::is_directory(file, ec))
        throw UsageError(file + ": is a folder, not a settings file");
    std::ifstream in(file, std::ios::binary);
    if (!in) throw UsageError(file + ": cannot read the settings file");
    // One byte past the limit is enough to know the file is too large, whatever it is.
    std::string text(kMaxJsonBytes + 1, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    if (in.bad()) throw UsageError(file + ": cannot read the settings file");
    text.resize(static_cast<std::size_t>(in.gcount()));
    Json json = parseStrictJson(text, file);
    if (!json.is_object()) throw UsageError(file + ": expected a JSON object of name: value");
    return json;
}

std::string descriptionOf(const SettingsJson& settings) {
    const auto found = settings.find(kDescriptionKey);
    return found != settings.end() && found->is_string() ? found->get<std::string>() : "";
}

void applySettings(kit::FilterHost& host, const SettingsJson& settings, const std::string& where,
                   RunSettings& run) {
    if (!settings.is_object()) throw UsageError(where + ": expected a JSON object of name: value");
    std::vector<std::pair<const kit::Parameter*, int>> values;
    std::map<const kit::Parameter*, std::string> keyFor;
    RunSettings next = run;
    for (const auto& [key, value] : settings.items()) {
        if (key == kDescriptionKey) {
            if (!value.is_string())
                throw UsageError(fmt::format("{}: \"{}\" takes a line of text, not {}", where, key,
                                             describeJson(value)));
            continue;
        }
        if (key == follow_motion::kKey) {
            next.followMotion = followMotionValue(value, where);
            continue;
        }
        const kit::Parameter* p = host.find(key);
        if (p == nullptr)
            throw UsageError(fmt::format(
                "{}: \"{}\" names no slider or check box (see drawlet params)", where, key));
        // One slider under two of its names (display name, alias, index) says two things.
        if (const auto [given, fresh] = keyFor.emplace(p, key); !fresh)
            throw UsageError(fmt::format("{}: \"{}\" and \"{}\" both name {}", where, given->second,
                                         key, p->key()));
        const std::string keyWhere = fmt::format("{}: key \"{}\"", where, key);
        int v = 0;
        if (value.is_boolean() && p->kind == kit::ParameterKind::Check) {
            v = value.get<bool>() ? 1 : 0;
        } else if (value.is_number_integer()) {
            // Through text, so that a number beyond 32 bits is refused, never wrapped.
            v = parseValue(*p, value.dump(), keyWhere);
        } else if (value.is_string() && p->kind == kit::ParameterKind::Check) {
            v = parseValue(*p, value.get<std::string>(), keyWhere);
        } else {
            throw UsageError(fmt::format("{}: {} takes {}, not {}", keyWhere, p->key(), rangeOf(*p),
                                         describeJson(value)));
        }
        values.emplace_back(p, v);
    }
    for (const auto& [p, v] : values) host.setValue(*p, v);
    run = next;
}

void applySettingsFile(kit::FilterHost& host, const std::string& file, RunSettings& run) {
    applySettings(host, readSettingsFile(file), file, run);
}

std::string settingsText(const kit::FilterHost& host, const RunSettings& run) {
    Json json = Json::object();
    for (const kit::Parameter& p : host.parameters()) {
        if (p.kind == kit::ParameterKind::Check)
            json[p.key()] = host.value(p) != 0;
        else
            json[p.key()] = host.value(p);
    }
    if (run.followMotion) json[follow_motion::kKey] = true;
    return json.dump(2) + '\n';
}

void saveSettingsFile(const kit::FilterHost& host, const RunSettings& run,
                      const std::string& file) {
    std::ofstream out(file);
    out << settingsText(host, run);
    out.close();
    if (!out) throw Error(file + ": cannot write the settings file");
}

}  // namespace drawlet::run
