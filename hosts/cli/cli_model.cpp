#include "cli/cli_model.h"

#include <algorithm>
#include <cctype>

namespace drawlet::cli {

namespace {

// CLI11's type name is the value's type, then each validator's description after a colon:
// "INT:NONNEGATIVE", "TEXT:{text,tsv}", "NAME=VALUE".
OptionModel optionModel(const CLI::Option& o) {
    OptionModel m;
    m.positional = o.get_positional() && !o.nonpositional();
    if (m.positional) {
        m.names.push_back(o.get_name(true, false));
    } else {
        for (const std::string& s : o.get_snames()) m.names.push_back("-" + s);
        for (const std::string& l : o.get_lnames()) m.names.push_back("--" + l);
    }
    m.description = o.get_description();
    m.required = o.get_required();
    m.repeatable = o.get_items_expected_max() > 1;
    if (o.get_items_expected_max() == 0) return m;  // a flag

    const std::string typeName = o.get_type_name();
    const std::string base = typeName.substr(0, typeName.find(':'));
    const auto open = typeName.find('{');
    const auto close = typeName.find('}', open);
    std::string upperName = m.names.back();
    upperName.erase(0, upperName.find_first_not_of('-'));
    std::transform(upperName.begin(), upperName.end(), upperName.begin(),
                   [](unsigned char c) { return c == '-' ? '_' : std::toupper(c); });
    m.placeholder = upperName;
    if (open != std::string::npos && close != std::string::npos) {
        m.value = ValueKind::Choice;
        std::string list = typeName.substr(open + 1, close - open - 1);
        for (std::size_t start = 0; start <= list.size();) {
            const std::size_t comma = std::min(list.find(',', start), list.size());
            m.choices.push_back(list.substr(start, comma - start));
            start = comma + 1;
        }
        m.placeholder = typeName.substr(open, close - open + 1);
    } else if (base == "NAME=VALUE") {
        m.value = ValueKind::Assignment;
        m.placeholder = base;
    } else if (base == "INT" || base == "UINT" || base == "FLOAT" || base == "NUMBER") {
        m.value = ValueKind::Number;
    } else {
        m.value = ValueKind::Path;
        if (base != "TEXT") m.placeholder = base;  // KEY=VALUE and the like say more
    }
    return m;
}

}  // namespace

std::vector<CommandModel> commandModels(const CLI::App& root) {
    std::vector<CommandModel> commands;
    for (const CLI::App* sub : root.get_subcommands([](const CLI::App*) { return true; })) {
        CommandModel c{sub->get_name(), sub->get_description(), {}};
        for (const CLI::Option* o : sub->get_options())
            if (o->get_positional() && !o->nonpositional()) c.options.push_back(optionModel(*o));
        for (const CLI::Option* o : sub->get_options())
            if (o->nonpositional() && o != sub->get_help_ptr())
                c.options.push_back(optionModel(*o));
        if (const CLI::Option* help = sub->get_help_ptr()) c.options.push_back(optionModel(*help));
        commands.push_back(std::move(c));
    }
    return commands;
}

}  // namespace drawlet::cli
