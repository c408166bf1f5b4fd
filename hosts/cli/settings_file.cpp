#include "cli/settings_file.h"

#include <fmt/format.h>

#include <charconv>
#include <fstream>
#include <nlohmann/json.hpp>
#include <nlohmann/ordered_map.hpp>
#include <vector>

namespace drawlet::cli {

namespace {

std::string rangeOf(const kit::Parameter& p) {
    return p.kind == kit::ParameterKind::Check
               ? std::string("on/off (true/false, 1/0)")
               : fmt::format("an integer in {}..{}", p.minimum, p.maximum);
}

std::string keyOf(const kit::Parameter& p) { return p.alias.empty() ? p.name : p.alias; }

}  // namespace

int parseValue(const kit::Parameter& p, const std::string& text, const std::string& where) {
    if (p.kind == kit::ParameterKind::Check) {
        if (text == "on" || text == "1" || text == "true") return 1;
        if (text == "off" || text == "0" || text == "false") return 0;
        throw SettingsError{
            fmt::format("{}: {} takes {}, not \"{}\"", where, keyOf(p), rangeOf(p), text)};
    }
    int value = 0;
    const char* end = text.data() + text.size();
    const auto parsed = std::from_chars(text.data(), end, value);
    if (parsed.ec != std::errc() || parsed.ptr != end || value < p.minimum || value > p.maximum)
        throw SettingsError{fmt::format("{}: {} ({}) takes {}, not \"{}\"", where, keyOf(p), p.name,
                                        rangeOf(p), text)};
    return value;
}

void applySettingsFile(kit::FilterHost& host, const std::string& file) {
    std::ifstream in(file);
    if (!in) throw SettingsError{file + ": cannot read the settings file"};
    nlohmann::ordered_json json;
    try {
        json = nlohmann::ordered_json::parse(in);
    } catch (const nlohmann::json::parse_error& e) {
        throw SettingsError{
            fmt::format("{}: not valid JSON (byte {}): {}", file, e.byte, e.what())};
    }
    if (!json.is_object()) throw SettingsError{file + ": expected a JSON object of name: value"};
    std::vector<std::pair<const kit::Parameter*, int>> values;
    for (const auto& [key, value] : json.items()) {
        const kit::Parameter* p = host.find(key);
        if (p == nullptr)
            throw SettingsError{fmt::format(
                "{}: \"{}\" names no slider or check box (see drawlet params)", file, key)};
        const std::string where = fmt::format("{}: key \"{}\"", file, key);
        int v = 0;
        if (value.is_boolean() && p->kind == kit::ParameterKind::Check) {
            v = value.get<bool>() ? 1 : 0;
        } else if (value.is_number_integer()) {
            v = parseValue(*p, std::to_string(value.get<long long>()), where);
        } else if (value.is_string() && p->kind == kit::ParameterKind::Check) {
            v = parseValue(*p, value.get<std::string>(), where);
        } else {
            throw SettingsError{fmt::format("{}: {} takes {}, not {}", where, keyOf(*p),
                                            rangeOf(*p), value.dump())};
        }
        values.emplace_back(p, v);
    }
    for (const auto& [p, v] : values) host.setValue(*p, v);
}

void saveSettingsFile(const kit::FilterHost& host, const std::string& file) {
    nlohmann::ordered_json json = nlohmann::ordered_json::object();
    for (const kit::Parameter& p : host.parameters()) {
        if (p.kind == kit::ParameterKind::Check)
            json[keyOf(p)] = host.value(p) != 0;
        else
            json[keyOf(p)] = host.value(p);
    }
    std::ofstream out(file);
    out << json.dump(2) << '\n';
    if (!out) throw SettingsError{file + ": cannot write the settings file"};
}

}  // namespace drawlet::cli
