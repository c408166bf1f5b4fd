// Kdenlive's effect description: sliders as keyframable ("animated") parameters showing the
// registered integer ranges, modes and line types as named lists, check boxes as toggles.
#include <fmt/format.h>

#include "frei0r/editor_descriptions.h"
#include "frei0r/frei0r_mapping.h"
#include "frei0r/markup.h"

namespace drawlet::frei0r {

namespace {

// "pen-and-ink" as people read it: "pen and ink".
std::string readableLookName(std::string_view lookName) {
    std::string name(lookName);
    for (char& c : name)
        if (c == '-' || c == '_') c = ' ';
    return name;
}

// The value's unit after the number in Kdenlive's spin box: "100%", "2 px".
std::string suffixFor(std::string_view unit) {
    if (unit.empty() || unit == "on/off") return "";
    if (unit == "%" || unit == "°") return std::string(unit);
    if (unit == "1/100") return " /100";
    return " " + std::string(unit);
}

std::string parameterElement(const kit::Parameter& p, int value) {
    const std::string inner =
        fmt::format("        <name>{} ({})</name>\n        <comment>{}</comment>\n",
                    xmlText(p.label), xmlText(p.name), xmlText(p.description));
    const std::string name = xmlText(p.key());
    if (p.kind == kit::ParameterKind::Check)
        return fmt::format(
            "    <parameter type=\"bool\" name=\"{}\" default=\"{}\">\n{}    </parameter>\n", name,
            value, inner);
    if (!p.choices.empty()) {
        std::string values, labels;
        for (const kit::Choice& c : p.choices) {
            values += (values.empty() ? "" : ";") + std::to_string(c.value);
            labels +=
                (labels.empty() ? "" : ",") + std::to_string(c.value) + " " + std::string(c.label);
        }
        return fmt::format(
            "    <parameter type=\"list\" name=\"{}\" default=\"{}\" paramlist=\"{}\">\n"
            "        <paramlistdisplay>{}</paramlistdisplay>\n{}    </parameter>\n",
            name, value, values, xmlText(labels), inner);
    }
    const std::string suffix = suffixFor(p.unit);
    return fmt::format(
        "    <parameter type=\"animated\" name=\"{}\" default=\"{}\" min=\"{}\" max=\"{}\"{}>\n"
        "{}    </parameter>\n",
        name, value, p.minimum, p.maximum,
        suffix.empty() ? "" : fmt::format(" suffix=\"{}\"", xmlText(suffix)), inner);
}

}  // namespace

std::string kdenliveEffect(const kit::FilterHost& host, const run::RunSettings& run,
                           std::string_view lookName) {
    const bool look = !lookName.empty();
    const std::string id = look ? "drawlet-look-" + std::string(lookName) : kMltService;
    const std::string name = look ? "Drawlet: " + readableLookName(lookName) : "Drawlet";
    const std::string description =
        look ? fmt::format("The {} look. {}", readableLookName(lookName), kPluginExplanation)
             : std::string(kPluginExplanation);
    std::string out = fmt::format(
        "<?xml version=\"1.0\"?>\n"
        "<!DOCTYPE kpartgui>\n"
        "<!-- Kdenlive's description of the drawlet frei0r filter, made by drawlet params in its\n"
        "     kdenlive format from the parameter table: regenerate it, do not edit it. -->\n"
        "<effect LC_NUMERIC=\"C\" tag=\"{}\" id=\"{}\">\n"
        "    <name>{}</name>\n"
        "    <description>{}</description>\n"
        "    <author>{}</author>\n"
        "    <parameter type=\"fixed\" name=\"{}\" value=\"1\"/>\n"
        "    <parameter type=\"fixed\" name=\"{}\" value=\"{}\"/>\n",
        kMltService, xmlText(id), xmlText(name), xmlText(description), xmlText(kPluginAuthor),
        kIntegerValuesName, kRateClockName, kRateClockValue);
    for (const kit::Parameter& p : host.parameters()) out += parameterElement(p, host.value(p));
    out += parameterElement(run::followMotionParameter(), run.followMotion ? 1 : 0);
    return out + "</effect>\n";
}

}  // namespace drawlet::frei0r
