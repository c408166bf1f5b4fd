// drawlet demo: the built-in scene through the five modes and the mask on one sheet, and a
// short clip of the scene moving.
#include <fmt/format.h>

#include <filesystem>
#include <opencv2/imgproc.hpp>

#include "cli/command.h"
#include "cli/common.h"
#include "cli/pending_output.h"
#include "cli/progress.h"
#include "cli/signals.h"
#include "kit/demo_scene.h"
#include "kit/error.h"
#include "media/images.h"
#include "media/output.h"

namespace drawlet::cli {

namespace {

constexpr int kWidth = 480, kHeight = 320, kClipFrames = 75;

cv::Mat labelled(const cv::Mat& image, const std::string& label) {
    cv::Mat tile;
    cv::copyMakeBorder(image, tile, 0, 28, 0, 0, cv::BORDER_CONSTANT, cv::Scalar::all(255));
    cv::putText(tile, label, {8, image.rows + 20}, cv::FONT_HERSHEY_SIMPLEX, 0.55,
                cv::Scalar::all(30), 1, cv::LINE_AA);
    return tile;
}

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
        const kit::Parameter& mode = *host.find("mode");
        const kit::Parameter& mask = *host.find("mask");
        const int userMode = host.value(mode), userMask = host.value(mask);
        std::vector<cv::Mat> tiles = {labelled(scene, "original")};
        const char* names[] = {"mode 1: scratchboard", "mode 2: white ink on black",
                               "mode 3: pen and wash", "mode 4: pencil on white",
                               "mode 5: colour hatching"};
        for (int m = 1; m <= 5; ++m) {
            host.setValue(mode, m);
            host.setValue(mask, 0);
            tiles.push_back(labelled(renderFrame(host, scene, 0, "demo scene"), names[m - 1]));
        }
        host.setValue(mode, 3);
        host.setValue(mask, 1);
        tiles.push_back(labelled(renderFrame(host, scene, 0, "demo scene"), "mask (mode 3)"));
        tiles.push_back(cv::Mat(tiles[0].size(), CV_8UC3, cv::Scalar::all(255)));
        host.setValue(mode, userMode);
        host.setValue(mask, userMask);
        cv::Mat top, bottom, sheet;
        cv::hconcat(std::vector<cv::Mat>(tiles.begin(), tiles.begin() + 4), top);
        cv::hconcat(std::vector<cv::Mat>(tiles.begin() + 4, tiles.end()), bottom);
        cv::vconcat(top, bottom, sheet);
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
        options.stop = &stopFlag();
        auto output = media::openOutput(video, options);
        Progress progress(io.err, kClipFrames, flags_.quiet, io.errIsTerminal);
        for (int n = 0; n < kClipFrames; ++n) {
            if (stopFlag().load() != 0) throw Error("stopped");
            const cv::Mat scene = kit::drawDemoScene(kWidth, kHeight, n / (kClipFrames - 1.0));
            output->write(renderFrame(host, scene, n, "demo clip"), nullptr, n, n);
            progress.update(n + 1);
        }
        output->finish([&] { progress.finishing(kClipFrames); });
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
