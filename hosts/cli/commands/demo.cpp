// drawlet demo: the built-in scene through the five modes and the mask on one sheet, and a
// short clip of the scene moving.
#include <fmt/format.h>

#include <filesystem>

#include "cli/command.h"
#include "cli/contact_sheet.h"
#include "cli/options.h"
#include "cli/pending_output.h"
#include "cli/progress.h"
#include "kit/demo_scene.h"
#include "kit/error.h"
#include "media/images.h"
#include "media/output.h"
#include "run/signals.h"

namespace drawlet::cli {

namespace {

constexpr int kWidth = 480, kHeight = 320, kClipFrames = 75;

class DemoCommand : public Command {
  public:
    CLI::App* add(CLI::App& parent) override {
        CLI::App* c =
            parent.add_subcommand("demo", "render the built-in scene in every mode, and a clip");
        c->add_option("-o,--output", sheet_, "contact sheet PNG (default drawlet-demo.png)");
        c->add_option("--clip", clip_, "the animated clip (default: the sheet's name with .mp4)");
        c->add_flag("--no-clip", noClip_, "only the contact sheet");
        addFilterOptions(*c, filter_);
        addOutputFlags(*c, flags_);
        return c;
    }

    void run(const Io& io) override {
        auto host = configuredHost(filter_, io.err);
        writeSheet(*host, io);
        if (noClip_) return;
        if (clip_.empty())
            clip_ = (std::filesystem::path(sheet_).parent_path() /
                     (std::filesystem::path(sheet_).stem().string() + ".mp4"))
                        .string();
        writeClip(*host, io);
    }

  private:
    void writeSheet(kit::FilterHost& host, const Io& io) {
        const cv::Mat scene = kit::drawDemoScene(kWidth, kHeight);
        const kit::Parameter& mode = host.parameter(kit::alias::kMode);
        const kit::Parameter& mask = host.parameter(kit::alias::kMask);
        const int userMode = host.value(mode), userMask = host.value(mask);
        std::vector<cv::Mat> tiles = {labelledTile(scene, "original")};
        const char* names[] = {"mode 1: scratchboard", "mode 2: white ink on black",
                               "mode 3: pen and wash", "mode 4: pencil on white",
                               "mode 5: colour hatching"};
        for (int m = 1; m <= 5; ++m) {
            host.setValue(mode, m);
            host.setValue(mask, 0);
            tiles.push_back(
                labelledTile(run::renderFrame(host, scene, 0, "demo scene"), names[m - 1]));
        }
        host.setValue(mode, 3);
        host.setValue(mask, 1);
        tiles.push_back(
            labelledTile(run::renderFrame(host, scene, 0, "demo scene"), "mask (mode 3)"));
        host.setValue(mode, userMode);
        host.setValue(mask, userMask);
        const cv::Mat sheet = tileGrid(tiles, 4);
        PendingOutput pending(sheet_, flags_.overwrite, false);
        media::writePicture(pending.path(), sheet_, sheet, nullptr);
        pending.commit();
        io.out << "wrote " << sheet_ << '\n';
    }

    void writeClip(kit::FilterHost& host, const Io& io) {
        PendingOutput pending(clip_, flags_.overwrite, false);
        media::OutputVideo video;
        video.width = kWidth;
        video.height = kHeight;
        media::OutputOptions options;
        options.path = pending.path();
        options.shownAs = clip_;
        options.stop = &run::stopFlag();
        auto output = media::openOutput(video, options);
        Progress progress(io.err, kClipFrames, flags_.quiet, io.errIsTerminal);
        for (int n = 0; n < kClipFrames; ++n) {
            if (run::stopFlag().load() != 0) throw Error("stopped");
            const cv::Mat scene = kit::drawDemoScene(kWidth, kHeight, n / (kClipFrames - 1.0));
            output->write(run::renderFrame(host, scene, n, "demo clip"), nullptr, n, n);
            progress.update(n + 1);
        }
        output->finish([&] { progress.finishing(kClipFrames); }, {});
        pending.commit();
        progress.finish(kClipFrames);
        io.out << "wrote " << clip_ << '\n';
    }

    std::string sheet_ = "drawlet-demo.png";
    std::string clip_;
    bool noClip_ = false;
    FilterOptions filter_;
    OutputFlags flags_;
};

}  // namespace

std::unique_ptr<Command> makeDemoCommand() { return std::make_unique<DemoCommand>(); }

}  // namespace drawlet::cli
