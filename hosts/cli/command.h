// A subcommand of drawlet: it declares its options on the command line parser, then runs.
// Failures are thrown as drawlet::Error and reported once, at the top.
#pragma once

#include <CLI/CLI.hpp>
#include <memory>
#include <ostream>

namespace drawlet::cli {

struct Io {
    std::ostream& out;
    std::ostream& err;
    bool errIsTerminal = false;
};

class Command {
  public:
    virtual ~Command() = default;
    virtual CLI::App* add(CLI::App& parent) = 0;
    virtual void run(const Io& io) = 0;
};

std::unique_ptr<Command> makeRenderCommand();
std::unique_ptr<Command> makeJoinCommand();
std::unique_ptr<Command> makeParamsCommand();
std::unique_ptr<Command> makeDemoCommand();
std::unique_ptr<Command> makeManualCommand();
std::unique_ptr<Command> makeCompletionCommand();
std::unique_ptr<Command> makeLooksCommand();
std::unique_ptr<Command> makeCompareCommand();
std::unique_ptr<Command> makeStudioCommand();

}  // namespace drawlet::cli
