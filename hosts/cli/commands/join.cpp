// drawlet join: parts rendered apart with --start/--frames put back together without
// encoding the pictures again.
#include <fmt/format.h>

#include "cli/command.h"
#include "cli/pending_output.h"
#include "media/parts.h"
#include "run/signals.h"

namespace drawlet::cli {

namespace {

class JoinCommand : public Command {
  public:
    CLI::App* add(CLI::App& parent) override {
        CLI::App* c = parent.add_subcommand(
            "join",
            "join parts rendered with --start/--frames into one video, without "
            "re-encoding the pictures");
        c->add_option("PART", parts_, "the parts, in any order")->required();
        c->add_option("-o,--output", output_, "the joined video, or - for stdout")->required();
        c->add_option("--format", format_, "output format by FFmpeg's muxer name");
        c->add_flag("-y,--overwrite", overwrite_, "overwrite an existing output");
        c->add_flag("-q,--quiet", quiet_, "no summary line");
        return c;
    }

    void run(const Io& io) override {
        refuseWritingOverInputs(output_, parts_);
        PendingOutput pending(output_, overwrite_, false);
        const media::JoinResult joined =
            media::joinParts(parts_, pending.path(), output_, format_, &run::stopFlag());
        pending.commit();
        for (const std::string& note : joined.notes) io.err << "drawlet: note: " << note << '\n';
        if (!quiet_)
            io.err << fmt::format("joined {} part{}: frames {}..{} into {}\n", parts_.size(),
                                  parts_.size() == 1 ? "" : "s", joined.first,
                                  joined.first + joined.frames - 1, output_);
    }

  private:
    std::vector<std::string> parts_;
    std::string output_;
    std::string format_;
    bool overwrite_ = false;
    bool quiet_ = false;
};

}  // namespace

std::unique_ptr<Command> makeJoinCommand() { return std::make_unique<JoinCommand>(); }

}  // namespace drawlet::cli
