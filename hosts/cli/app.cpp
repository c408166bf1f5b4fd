#include "cli/app.h"

#include <unistd.h>

#include <opencv2/core/utils/logger.hpp>

#include "cli/command.h"
#include "drawlet_version.h"
#include "kit/error.h"
#include "kit/memory.h"
#include "run/signals.h"
#include "run/suggest.h"

namespace drawlet::cli {

namespace {

std::vector<std::string> namesOf(const std::vector<CLI::App*>& commands) {
    std::vector<std::string> names;
    for (const CLI::App* c : commands) names.push_back(c->get_name());
    return names;
}

std::string joinedNames(const std::vector<std::string>& names) {
    std::string out;
    for (const std::string& n : names) out += (out.empty() ? "" : ", ") + n;
    return out;
}

std::vector<std::string> optionNamesOf(const CLI::App& command) {
    std::vector<std::string> names;
    for (const CLI::Option* o : command.get_options()) {
        for (const std::string& n : o->get_lnames()) names.push_back("--" + n);
        for (const std::string& n : o->get_snames()) names.push_back("-" + n);
    }
    return names;
}

// The parser's complaint, with a suggestion where the user mistyped an option.
int reportParseError(CLI::App& app, const CLI::ParseError& e, std::ostream& out,
                     std::ostream& err) {
    if (e.get_exit_code() == 0) return app.exit(e, out, err);  // --help, --version
    for (CLI::App* command : app.get_subcommands()) {
        for (const std::string& extra : command->remaining()) {
            if (extra.empty() || extra[0] != '-') continue;
            const std::string name = extra.substr(0, extra.find('='));
            const std::string hint = run::closestMatch(name, optionNamesOf(*command));
            err << "drawlet " << command->get_name() << ": unknown option " << name
                << (hint.empty() ? "" : " (did you mean " + hint + "?)") << "\n"
                << "Run drawlet " << command->get_name() << " --help for the options.\n";
            return kExitUsage;
        }
    }
    app.exit(e, out, err);
    return kExitUsage;
}

}  // namespace

int runCli(int argc, char** argv, std::ostream& out, std::ostream& err) {
    // The library's own warnings (a pattern file it could not open) would repeat what the
    // filter reports itself.
    cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_ERROR);
    const StopFlag& stop = run::installStopSignals();

    CLI::App app{
        "drawlet: turns pictures and videos into hand-drawn-looking ones through "
        "Drawlet.auf"};
    app.name("drawlet");
    app.set_version_flag("--version", "drawlet " DRAWLET_VERSION);
    app.require_subcommand(1);
    std::vector<std::unique_ptr<Command>> commands;
    commands.push_back(makeRenderCommand());
    commands.push_back(makeJoinCommand());
    commands.push_back(makeParamsCommand());
    commands.push_back(makeDemoCommand());
    commands.push_back(makeManualCommand());
    commands.push_back(makeCompletionCommand());
    commands.push_back(makeLooksCommand());
    commands.push_back(makeCompareCommand());
    commands.push_back(makeStudioCommand());
    std::vector<CLI::App*> subcommands;
    for (auto& c : commands) subcommands.push_back(c->add(app));

    if (argc < 2) {
        out << app.help();
        return kExitUsage;
    }
    const std::string first = argv[1];
    const auto names = namesOf(subcommands);
    if (first[0] != '-' && std::find(names.begin(), names.end(), first) == names.end()) {
        const std::string hint = run::closestMatch(first, names);
        err << "drawlet: unknown command \"" << first << "\""
            << (hint.empty() ? "" : " (did you mean \"" + hint + "\"?)") << "\n"
            << "Commands: " << joinedNames(names) << "; drawlet --help tells more.\n";
        return kExitUsage;
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return reportParseError(app, e, out, err);
    }

    const Io io{out, err, isatty(STDERR_FILENO) == 1};
    try {
        for (std::size_t i = 0; i < commands.size(); ++i)
            if (subcommands[i]->parsed()) commands[i]->run(io);
    } catch (const std::exception& e) {
        if (const int signal = stop.load(); signal != 0) {
            err << (io.errIsTerminal ? "\n" : "") << "drawlet: stopped by "
                << run::signalName(signal) << "; nothing unfinished is left behind\n";
            return run::exitCodeForSignal(signal);
        }
        if (kit::isOutOfMemory(e)) {
            err << "drawlet: not enough memory\n";
            return kExitFailure;
        }
        err << "drawlet: " << e.what() << '\n';
        if (const auto* known = dynamic_cast<const Error*>(&e)) return known->exitCode();
        return kExitFailure;
    }
    return kExitOk;
}

}  // namespace drawlet::cli
