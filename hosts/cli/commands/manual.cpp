// drawlet manual: the manual page drawlet(1) in roff, made from the command line's own
// definitions (every command with its arguments and options) and the parameter table.
#include <fmt/format.h>

#include "cli/cli_model.h"
#include "cli/command.h"
#include "cli/options.h"
#include "cli/parameter_docs.h"
#include "drawlet_version.h"
#include "kit/error.h"

namespace drawlet::cli {

namespace {

// "\fB\-o\fR, \fB\-\-output\fR \fIOUTPUT\fR"
std::string optionTerm(const OptionModel& o) {
    std::string term;
    for (const std::string& name : o.names)
        term += (term.empty() ? "" : ", ") + (o.positional ? "\\fI" + roffText(name) + "\\fR"
                                                           : "\\fB" + roffText(name) + "\\fR");
    if (!o.positional && o.value != ValueKind::None)
        term += " \\fI" + roffText(o.placeholder) + "\\fR";
    if (o.repeatable) term += " ...";
    return term;
}

// "drawlet render INPUT -o OUTPUT [OPTIONS]": the positionals and the required options.
std::string synopsis(const CommandModel& c) {
    std::string line = "\\fBdrawlet " + roffText(c.name) + "\\fR";
    bool optional = false;
    for (const OptionModel& o : c.options) {
        if (o.positional)
            line += " " + std::string(o.required ? "" : "[") + "\\fI" + roffText(o.names.front()) +
                    "\\fR" + (o.repeatable ? "..." : "") + (o.required ? "" : "]");
        else if (o.required)
            line += " \\fB" + roffText(o.names.front()) + "\\fR \\fI" + roffText(o.placeholder) +
                    "\\fR";
        else
            optional = true;
    }
    return optional ? line + " [\\fIOPTIONS\\fR]" : line;
}

std::string sentence(std::string text) {
    if (!text.empty() && text[0] >= 'a' && text[0] <= 'z')
        text[0] = static_cast<char>(text[0] - 'a' + 'A');
    if (!text.empty() && text.back() != '.') text += '.';
    return text;
}

std::string manualPage(const CLI::App& root, const kit::FilterHost& host) {
    std::string summary = root.get_description();
    if (const auto colon = summary.find(": "); colon != std::string::npos)
        summary.erase(0, colon + 2);
    std::string out = fmt::format(
        ".TH DRAWLET 1 \"\" \"drawlet {}\" \"User Commands\"\n"
        ".\\\" Made by drawlet manual from the command line's definitions and the parameter "
        "table.\n"
        ".SH NAME\ndrawlet \\- {}\n"
        ".SH SYNOPSIS\n\\fBdrawlet\\fR \\fICOMMAND\\fR [\\fIOPTIONS\\fR]\n.br\n"
        "\\fBdrawlet\\fR \\fB\\-\\-version\\fR\n"
        ".SH DESCRIPTION\n"
        "\\fBdrawlet\\fR runs pictures, videos and image sequences through the filter module\n"
        ".IR Drawlet.auf ,\nwhich it finds beside the program, together with the module's "
        "hatching pattern sets in the folder\n.I Drawlet\nbeside it.\n"
        "The filter's sliders and check boxes are set by name (see PARAMETERS).\n"
        ".SH COMMANDS\n",
        DRAWLET_VERSION, roffText(summary));
    for (const CommandModel& c : commandModels(root)) {
        out += ".SS \"" + synopsis(c) + "\"\n" + roffText(sentence(c.description)) + "\n";
        for (const OptionModel& o : c.options)
            out += ".TP\n" + optionTerm(o) + "\n" + roffText(sentence(o.description)) + "\n";
    }
    out += manParameterSection(host);
    out += fmt::format(
        ".SH EXIT STATUS\n"
        ".TP\n.B {}\nSuccess.\n"
        ".TP\n.B {}\nThe work failed: an unreadable input, an output that exists without "
        "\\fB\\-y\\fR, an encoder error.\n"
        ".TP\n.B {}\nThe command line or a settings file was wrong.\n"
        ".TP\n.B 128 + N\nStopped by signal N (130 SIGINT, 143 SIGTERM, 129 SIGHUP); nothing "
        "unfinished is left behind.\n"
        ".SH FILES\n"
        ".TP\n.I Drawlet.auf\nThe filter module, beside the program (the package keeps both in\n"
        ".IR /usr/lib/drawlet ).\n"
        ".TP\n.I Drawlet/img*/h*.bmp\nThe hatching pattern sets, beside the module; the "
        "parameter \\fBpattern\\fR chooses one.\n"
        ".SH SEE ALSO\n"
        ".BR ffmpeg (1),\n.BR melt (1),\n.BR kdenlive (1),\n.BR shotcut (1)\n",
        kExitOk, kExitFailure, kExitUsage);
    return out;
}

class ManualCommand : public Command {
  public:
    CLI::App* add(CLI::App& parent) override {
        root_ = &parent;
        CLI::App* c = parent.add_subcommand(
            "manual", "print the manual page in roff (read it with: drawlet manual | man -l -)");
        c->add_option("--module", module_,
                      "the filter module file (default: Drawlet.auf beside this program)");
        return c;
    }

    void run(const Io& io) override {
        FilterOptions options;
        options.module = module_;
        io.out << manualPage(*root_, *configuredHost(options, io.err));
    }

  private:
    const CLI::App* root_ = nullptr;
    std::string module_;
};

}  // namespace

std::unique_ptr<Command> makeManualCommand() { return std::make_unique<ManualCommand>(); }

}  // namespace drawlet::cli
