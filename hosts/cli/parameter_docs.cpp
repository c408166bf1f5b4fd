#include "cli/parameter_docs.h"

#include <fmt/format.h>

#include <vector>

namespace drawlet::cli {

namespace {

// What one row says about a parameter, in words.
struct Row {
    std::string index;  // "3", or "check 3"
    std::string name;
    std::string alias;
    std::string range;  // "1..5" or "on/off"
    std::string value;  // the host's current value, as typed
    std::string unit;
    std::string description;
};

Row rowFor(const kit::FilterHost& host, const kit::Parameter& p) {
    const bool check = p.kind == kit::ParameterKind::Check;
    Row row{(check ? "check " : "") + std::to_string(p.index),
            p.name,
            p.alias,
            check ? "on/off" : fmt::format("{}..{}", p.minimum, p.maximum),
            check ? (host.value(p) ? "on" : "off") : std::to_string(host.value(p)),
            p.unit == "on/off" ? "" : p.unit,
            p.description};
    if (const std::string choices = kit::choicesText(p.choices); !choices.empty())
        row.description += ": " + choices;
    return row;
}

// The hosts' own switch, as a check box of no index in the module.
Row followMotionRow(const run::RunSettings& run) {
    return {"host",
            "",
            run::follow_motion::kKey,
            "on/off",
            run.followMotion ? "on" : "off",
            "",
            run::follow_motion::kDescription};
}

// Every row: the module's parameters in table order, then the hosts' switch.
std::vector<Row> rowsFor(const kit::FilterHost& host, const run::RunSettings& run) {
    std::vector<Row> rows;
    for (const kit::Parameter& p : host.parameters()) rows.push_back(rowFor(host, p));
    rows.push_back(followMotionRow(run));
    return rows;
}

// "the edges that strokes follow" as a sentence: "The edges that strokes follow".
std::string sentence(std::string text) {
    if (!text.empty() && text[0] >= 'a' && text[0] <= 'z')
        text[0] = static_cast<char>(text[0] - 'a' + 'A');
    return text;
}

std::string markdownCell(const std::string& text) {
    std::string out;
    for (char c : text) out += c == '|' ? std::string("\\|") : std::string(1, c);
    return out;
}

}  // namespace

std::string markdownParameterTable(const kit::FilterHost& host, const run::RunSettings& run) {
    std::string out =
        "| Index | Name | Alias | Range | Default | Unit | What it does |\n"
        "|---|---|---|---|---|---|---|\n";
    for (const Row& r : rowsFor(host, run)) {
        out += fmt::format("| {} | {} | `{}` | {} | {} | {} | {} |\n", r.index,
                           markdownCell(r.name), r.alias, r.range, r.value, markdownCell(r.unit),
                           markdownCell(r.description));
    }
    return out;
}

std::string roffText(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\')
            out += "\\e";
        else if (c == '-')
            out += "\\-";
        else
            out += c;
    }
    if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out.insert(0, "\\&");
    return out;
}

std::string manParameterSection(const kit::FilterHost& host, const run::RunSettings& run) {
    std::string out =
        ".SH PARAMETERS\n"
        "The filter's sliders take integers in the range shown, its check boxes on, off, 1 or "
        "0.\nGive each by its alias, its display name (UTF\\-8) or, for a slider, its index, "
        "in\n.B \\-\\-set\nor as a key of a\n.B \\-\\-settings\nfile.\n";
    for (const Row& r : rowsFor(host, run)) {
        const std::string unit = r.unit.empty() ? "" : " " + r.unit;
        const std::string where = r.name.empty() ? r.index : r.index + ", " + r.name;
        out += fmt::format(".TP\n.B {}\n({}) {}{}, default {}.\n{}.\n", roffText(r.alias),
                           roffText(where), roffText(r.range), roffText(unit), roffText(r.value),
                           roffText(sentence(r.description)));
    }
    return out;
}

}  // namespace drawlet::cli
