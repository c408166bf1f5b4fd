// drawlet compare: one frame of the user's own picture or video in several looks, or with one
// parameter at several values, on a labelled sheet.
#include <fmt/format.h>

#include <opencv2/imgproc.hpp>
#include <optional>
#include <sstream>

#include "cli/command.h"
#include "cli/contact_sheet.h"
#include "cli/options.h"
#include "cli/pending_output.h"
#include "kit/error.h"
#include "media/images.h"
#include "media/paths.h"
#include "media/reader.h"
#include "run/followed_frames.h"
#include "run/frame_source.h"
#include "run/look_files.h"
#include "run/settings_file.h"

namespace drawlet::cli {

namespace {

struct Variation {
    const kit::Parameter* parameter = nullptr;
    std::vector<std::string> values;  // as typed; checked against the parameter's range
};

Variation parseVariation(const kit::FilterHost& host, const std::string& text) {
    const auto eq = text.find('=');
    if (eq == std::string::npos || eq == 0 || eq + 1 == text.size())
        throw UsageError("--vary " + text + ": expected NAME=V1,V2,...");
    Variation v;
    v.parameter = host.find(text.substr(0, eq));
    if (v.parameter == nullptr)
        throw UsageError("--vary " + text + ": no slider or check box is called \"" +
                         text.substr(0, eq) + "\" (see drawlet params)");
    std::istringstream values(text.substr(eq + 1));
    for (std::string value; std::getline(values, value, ',');) {
        run::parseValue(*v.parameter, value, "--vary " + text);
        v.values.push_back(value);
    }
    return v;
}

class CompareCommand : public Command {
  public:
    CLI::App* add(CLI::App& parent) override {
        CLI::App* c = parent.add_subcommand(
            "compare",
            "a sheet of one frame in several looks (--look), or with one parameter at several "
            "values (--vary); every look when neither is given");
        c->add_option("INPUT", input_, "picture, video or image sequence")->required();
        c->add_option("-o,--output", sheet_, "the sheet (a picture: .png, .jpg, ...)")->required();
        c->add_option("--frame", frame_,
                      "the video's frame to show, or the frame number a picture is given as "
                      "(default 0)")
            ->check(CLI::NonNegativeNumber);
        c->add_option("--look", looks_, "a look to show (repeatable): one row each with --vary");
        c->add_option("--vary", vary_, "NAME=V1,V2,...: one tile per value of one parameter")
            ->type_name("NAME=VALUES");
        c->add_option("--tile-width", tileWidth_,
                      "width of a tile; frames are rendered at full size, then scaled down "
                      "(default 480; 0: full size)")
            ->check(CLI::NonNegativeNumber);
        c->add_option("--columns", columns_, "tiles in a row (default: up to 4)")
            ->check(CLI::Range(1, 64));
        c->add_option("--rate", reading_.sequenceRate,
                      "frame rate of an image sequence input (default 25)");
        addMaxPixelsOption(*c, reading_.maxPixels);
        addFilterOptions(*c, filter_, false);
        c->add_flag("-y,--overwrite", overwrite_, "overwrite an existing sheet");
        return c;
    }

    void run(const Io& io) override {
        if (!media::isStillImage(sheet_))
            throw UsageError(sheet_ + ": the sheet is a picture (.png, .jpg, ...)");
        refuseWritingOverInputs(sheet_, {input_});
        auto host = run::configuredHost(filter_, io.err);
        std::optional<Variation> variation;
        if (!vary_.empty()) variation = parseVariation(*host, vary_);
        std::vector<std::string> rows = looks_;
        if (rows.empty() && !variation)
            for (const run::Look& look : run::allLooks()) rows.push_back(look.name);
        // The settings given without a look (the defaults, unless --settings or --set change
        // them) beside the looks, so that each look is judged against where it started.
        if (!variation || rows.empty()) rows.insert(rows.begin(), "");
        for (const std::string& name : rows)
            if (!name.empty()) run::findLook(name);  // every name checked before any rendering

        const run::SourceFrame frame = run::readSourceFrame(input_, frame_, reading_);
        // Lines and hatching vanish when a tile is scaled down: under each tile, the same
        // window of it at full size, where the picture has the most detail.
        if (tileWidth_ > 0 && tileWidth_ < frame.bgr.cols)
            detail_ = busiestWindow(frame.bgr, {tileWidth_, std::max(1, tileWidth_ / 2)});
        std::vector<cv::Mat> tiles;
        if (!variation) tiles.push_back(tile(frame.bgr, "original"));
        for (const std::string& look : rows) {
            run::FilterOptions options = filter_;
            options.look = look;
            follow_ = run::applyFilterSettings(*host, options).followMotion;
            if (!variation) {
                tiles.push_back(tile(render(*host, frame), look.empty() ? unlookedLabel() : look));
                continue;
            }
            for (const std::string& value : variation->values) {
                host->setValue(*variation->parameter,
                               run::parseValue(*variation->parameter, value, "--vary"));
                host->update();
                const std::string label = variation->parameter->key() + "=" + value;
                tiles.push_back(
                    tile(render(*host, frame), look.empty() ? label : look + ", " + label));
            }
        }
        const int columns = columns_ > 0 ? columns_
                            : variation  ? static_cast<int>(variation->values.size())
                                         : std::min<int>(4, static_cast<int>(tiles.size()));
        PendingOutput pending(sheet_, overwrite_, false);
        media::writePicture(pending.path(), sheet_, tileGrid(tiles, columns), nullptr);
        pending.commit();
        io.out << "wrote " << sheet_ << '\n';
    }

  private:
    // The frame as drawlet render draws it: following the motion when the settings say so
    // (a video's), its positions found from the frames since the last tick.
    cv::Mat render(kit::FilterHost& host, const run::SourceFrame& frame) {
        const std::string what = fmt::format("{} frame {}", input_, frame.index);
        if (!follow_ || media::isStillImage(input_))
            return run::renderFrame(host, frame.bgr, frame.index, what);
        if (!followed_) followed_.emplace(input_, reading_);
        const int interval = host.value(host.parameter(kit::alias::kUpdateInterval));
        const auto at = followed_->at(frame.index, interval);
        return run::renderFrame(host, *at->picture, frame.index, what, at->coordinates);
    }

    std::string unlookedLabel() const {
        return filter_.settingsFile.empty() && filter_.assignments.empty() ? "defaults"
                                                                           : "settings";
    }

    cv::Mat tile(const cv::Mat& picture, const std::string& label) const {
        if (detail_.empty()) return labelledTile(picture, label);
        const int height = std::max(
            1, static_cast<int>(static_cast<long long>(picture.rows) * tileWidth_ / picture.cols));
        cv::Mat small, stacked;
        cv::resize(picture, small, {tileWidth_, height}, 0, 0, cv::INTER_AREA);
        cv::vconcat(small, picture(detail_), stacked);
        return labelledTile(stacked, label);
    }

    std::string input_, sheet_, vary_;
    media::ReaderOptions reading_;
    std::vector<std::string> looks_;
    long long frame_ = 0;
    int tileWidth_ = 480;
    int columns_ = 0;
    cv::Rect detail_;  // the window shown at full size under each tile; empty: none
    FilterOptions filter_;
    bool follow_ = false;  // the tile's settings follow the motion
    std::optional<run::FollowedFrames> followed_;
    bool overwrite_ = false;
};

}  // namespace

std::unique_ptr<Command> makeCompareCommand() { return std::make_unique<CompareCommand>(); }

}  // namespace drawlet::cli
