// drawlet looks: the named looks, one line each.
#include <fmt/format.h>

#include "cli/command.h"
#include "kit/error.h"
#include "run/look_files.h"

namespace drawlet::cli {

namespace {

class LooksCommand : public Command {
  public:
    CLI::App* add(CLI::App& parent) override {
        CLI::App* c = parent.add_subcommand(
            "looks", "list the named looks (for --look, drawlet compare and the studio)");
        c->add_flag("--folder", folder_, "print the folder the looks are read from");
        return c;
    }

    void run(const Io& io) override {
        if (folder_) {
            const std::filesystem::path folder = run::looksFolder();
            if (folder.empty()) throw Error("no looks folder is installed beside this program");
            io.out << folder.string() << '\n';
            return;
        }
        const std::vector<run::Look> looks = run::allLooks();
        if (looks.empty()) throw Error("no looks are installed beside this program");
        std::size_t width = 0;
        for (const run::Look& look : looks) width = std::max(width, look.name.size());
        for (const run::Look& look : looks)
            io.out << fmt::format("{:<{}}  {}\n", look.name, width, look.description);
    }

  private:
    bool folder_ = false;
};

}  // namespace

std::unique_ptr<Command> makeLooksCommand() { return std::make_unique<LooksCommand>(); }

}  // namespace drawlet::cli
