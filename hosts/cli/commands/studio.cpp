// drawlet studio: a page in the browser for choosing a look on the user's own picture or
// video, with a live preview; served on 127.0.0.1 until Ctrl-C.
#include <filesystem>
#include <iostream>

#include "cli/command.h"
#include "cli/open_browser.h"
#include "cli/options.h"
#include "kit/error.h"
#include "media/paths.h"
#include "media/reader.h"
#include "run/look_files.h"
#include "run/signals.h"
#include "studio/description.h"
#include "studio/server.h"
#include "studio/session.h"

namespace drawlet::cli {

namespace {

class StudioCommand : public Command {
  public:
    CLI::App* add(CLI::App& parent) override {
        CLI::App* c = parent.add_subcommand(
            "studio",
            "choose a look in the browser: a live preview of the input with every control, "
            "the named looks, A/B comparison; served on 127.0.0.1 until Ctrl-C");
        c->add_option("INPUT", input_, "picture, video or image sequence")->required();
        c->add_option("--port", port_, "the port to listen on (default: a free one)")
            ->check(CLI::Range(0, 65535));
        c->add_flag("--no-browser", noBrowser_, "only print the address; open no browser");
        c->add_option("--rate", reading_.sequenceRate,
                      "frame rate of an image sequence input (default 25)");
        addMaxPixelsOption(*c, reading_.maxPixels);
        c->add_option("--boil-rate", boilRate_,
                      "start with this boil rate (changes of the jitter per second, videos)")
            ->check(CLI::NonNegativeNumber);
        addFilterOptions(*c, filter_);
        addFollowMotionFlag(*c, filter_);
        return c;
    }

    void run(const Io& io) override {
        if (media::isStdio(input_))
            throw UsageError("the studio reads frames of its input again and again: give a file");
        std::error_code ec;
        if (!media::isImageSequence(input_) && !std::filesystem::is_regular_file(input_, ec))
            throw Error(input_ + (std::filesystem::is_directory(input_, ec)
                                      ? ": is a folder; give a picture, a video or an image "
                                        "sequence such as frames/%05d.png"
                                      : ": no such file"));
        run::RunSettings runSettings;
        auto host = configuredHost(filter_, io.err, &runSettings);
        studio::StartSettings start;
        start.look = filter_.look;
        start.followMotion = runSettings.followMotion;
        start.values = run::SettingsJson::object();
        for (const kit::Parameter& p : host->parameters()) start.values[p.key()] = host->value(p);
        if (boilRate_ >= 0) start.boilRate = boilRate_;

        studio::Session session(input_, reading_, *host);
        if (start.boilRate && !session.info().video)
            throw UsageError("--boil-rate is for videos: a picture has no frame rate");
        const std::string description = studio::describeSession(session, run::allLooks(), start);
        studio::StudioServer server(session, description, port_);
        io.out << server.address() << std::endl;
        io.err << "drawlet studio: serving " << input_ << " on 127.0.0.1:" << server.port()
               << "; Ctrl-C stops it\n";
        std::unique_ptr<BrowserOpening> browser;
        if (!noBrowser_) browser = std::make_unique<BrowserOpening>(server.address(), io.err);
        server.run([] { return run::stopFlag().load() == 0; });
        // Stopped by a signal: the command ends with its exit code (130 for Ctrl-C), as a
        // render does.
        throw Error("drawlet studio: stopped");
    }

  private:
    std::string input_;
    int port_ = 0;
    bool noBrowser_ = false;
    media::ReaderOptions reading_;
    double boilRate_ = -1;
    FilterOptions filter_;
};

}  // namespace

std::unique_ptr<Command> makeStudioCommand() { return std::make_unique<StudioCommand>(); }

}  // namespace drawlet::cli
