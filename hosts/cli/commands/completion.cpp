// drawlet completion bash|zsh: shell completion made from the command line's own
// definitions: commands, their options and the values those take (named choices, the
// filter's parameter names for --set, file names for the rest).
#include <fmt/format.h>

#include "cli/cli_model.h"
#include "cli/command.h"
#include "kit/parameter_info.h"
#include "run/run_settings.h"

namespace drawlet::cli {

namespace {

constexpr char kGeneratedNote[] =
    "# Made by drawlet completion {} from the command line's definitions: regenerate it, do\n"
    "# not edit it.\n";

std::string joined(const std::vector<std::string>& words, const std::string& separator = " ") {
    std::string out;
    for (const std::string& w : words) out += (out.empty() ? "" : separator) + w;
    return out;
}

// "mode= line-step= ... follow-motion=": what --set takes, from the parameter table and the
// hosts' own setting.
std::vector<std::string> assignmentStarts() {
    std::vector<std::string> starts;
    for (const kit::ParameterInfo& p : kit::parameterTable())
        starts.push_back(std::string(p.alias) + "=");
    starts.push_back(std::string(run::follow_motion::kKey) + "=");
    return starts;
}

std::string bashCommand(const CommandModel& c) {
    std::vector<std::string> choices, numbers, paths, assignments, names;
    bool positionals = false;
    std::string choiceCases;
    for (const OptionModel& o : c.options) {
        if (o.positional) {
            positionals = true;
            continue;
        }
        names.insert(names.end(), o.names.begin(), o.names.end());
        const std::string pattern = joined(o.names, "|");
        switch (o.value) {
            case ValueKind::Choice:
                choiceCases += fmt::format(
                    "            {}) COMPREPLY=($(compgen -W \"{}\" -- \"$cur\")); return ;;\n",
                    pattern, joined(o.choices));
                break;
            case ValueKind::Assignment:
                assignments.push_back(pattern);
                break;
            case ValueKind::Number:
                numbers.push_back(pattern);
                break;
            case ValueKind::Path:
                paths.push_back(pattern);
                break;
            case ValueKind::None:
                break;
        }
    }
    std::string out = fmt::format("    {})\n        case $prev in\n{}", c.name, choiceCases);
    if (!assignments.empty())
        out += fmt::format(
            "            {}) COMPREPLY=($(compgen -W \"$assignments\" -- \"$cur\")); compopt -o "
            "nospace; return ;;\n",
            joined(assignments, "|"));
    if (!numbers.empty()) out += fmt::format("            {}) return ;;\n", joined(numbers, "|"));
    if (!paths.empty())
        out += fmt::format("            {}) COMPREPLY=($(compgen -f -- \"$cur\")); return ;;\n",
                           joined(paths, "|"));
    out += fmt::format(
        "        esac\n"
        "        if [[ $cur == -* ]]; then\n"
        "            COMPREPLY=($(compgen -W \"{}\" -- \"$cur\"))\n"
        "        else\n"
        "            {}\n"
        "        fi\n"
        "        ;;\n",
        joined(names), positionals ? "COMPREPLY=($(compgen -f -- \"$cur\"))" : ":");
    return out;
}

std::string bashCompletion(const std::vector<CommandModel>& commands) {
    std::vector<std::string> names;
    for (const CommandModel& c : commands) names.push_back(c.name);
    std::string out = fmt::format(kGeneratedNote, "bash") +
                      fmt::format(
                          "_drawlet() {{\n"
                          "    local cur=${{COMP_WORDS[COMP_CWORD]}} "
                          "prev=${{COMP_WORDS[COMP_CWORD - 1]}} command= i\n"
                          "    local assignments=\"{}\"\n"
                          "    for ((i = 1; i < COMP_CWORD; i++)); do\n"
                          "        case ${{COMP_WORDS[i]}} in\n"
                          "            {}) command=${{COMP_WORDS[i]}}; break ;;\n"
                          "        esac\n"
                          "    done\n"
                          "    COMPREPLY=()\n"
                          "    case $command in\n"
                          "    \"\")\n"
                          "        COMPREPLY=($(compgen -W \"{} --help --version\" -- \"$cur\"))\n"
                          "        ;;\n",
                          joined(assignmentStarts()), joined(names, "|"), joined(names));
    for (const CommandModel& c : commands) out += bashCommand(c);
    return out + "    esac\n}\ncomplete -o filenames -F _drawlet drawlet\n";
}

// Text inside a single-quoted zsh word. In an option's explanation (between [ and ]) the
// brackets must be escaped; in a message or a value list, the colons that end a field.
std::string zshWord(const std::string& text, const std::string& special) {
    std::string out;
    for (char c : text) {
        if (c == '\'')
            out += "'\\''";
        else if (special.find(c) != std::string::npos)
            out += std::string("\\") + c;
        else
            out += c;
    }
    return out;
}

std::string zshSpec(const OptionModel& o) {
    std::string action;
    switch (o.value) {
        case ValueKind::Choice:
            action = "(" + joined(o.choices) + ")";
            break;
        case ValueKind::Assignment:
            action = "{compadd -S '\\'''\\'' -- $assignments}";
            break;
        case ValueKind::Number:
            action = " ";
            break;
        case ValueKind::Path:
            action = "_files";
            break;
        case ValueKind::None:
            break;
    }
    if (o.positional)
        return fmt::format("'{}:{}:{}'", o.repeatable ? "*" : "", zshWord(o.names.front(), ":"),
                           action);
    const std::string exclusive = o.repeatable ? "*" : "(" + joined(o.names) + ")";
    const std::string names =
        o.names.size() == 1 ? o.names.front() : "{" + joined(o.names, ",") + "}";
    const std::string value =
        o.value == ValueKind::None ? "" : ":" + zshWord(o.placeholder, ":") + ":" + action;
    return fmt::format("'{}'{}'[{}]{}'", exclusive, names, zshWord(o.description, "[]"), value);
}

std::string zshCompletion(const std::vector<CommandModel>& commands) {
    std::string described, cases;
    for (const CommandModel& c : commands) {
        described += fmt::format("        '{}:{}'\n", c.name, zshWord(c.description, ""));
        std::string specs;
        for (const OptionModel& o : c.options) specs += " \\\n                " + zshSpec(o);
        cases += fmt::format("        {})\n            _arguments -s{}\n            ;;\n", c.name,
                             specs);
    }
    return "#compdef drawlet\n" + fmt::format(kGeneratedNote, "zsh") +
           fmt::format(
               "\n_drawlet() {{\n"
               "    local -a commands assignments\n"
               "    commands=(\n{}    )\n"
               "    assignments=({})\n"
               "    if (( CURRENT == 2 )); then\n"
               "        _describe -t commands 'drawlet command' commands\n"
               "        return\n"
               "    fi\n"
               "    local command=$words[2]\n"
               "    shift words\n"
               "    (( CURRENT-- ))\n"
               "    case $command in\n{}"
               "    esac\n"
               "}}\n\n"
               "_drawlet \"$@\"\n",
               described, joined(assignmentStarts()), cases);
}

class CompletionCommand : public Command {
  public:
    CLI::App* add(CLI::App& parent) override {
        root_ = &parent;
        CLI::App* c = parent.add_subcommand(
            "completion", "print shell completion (bash: source <(drawlet completion bash))");
        c->add_option("SHELL", shell_, "bash or zsh")
            ->required()
            ->check(CLI::IsMember({"bash", "zsh"}));
        return c;
    }

    void run(const Io& io) override {
        const std::vector<CommandModel> commands = commandModels(*root_);
        io.out << (shell_ == "bash" ? bashCompletion(commands) : zshCompletion(commands));
    }

  private:
    const CLI::App* root_ = nullptr;
    std::string shell_;
};

}  // namespace

std::unique_ptr<Command> makeCompletionCommand() { return std::make_unique<CompletionCommand>(); }

}  // namespace drawlet::cli
