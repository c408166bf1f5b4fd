// What the studio works on: one input (a picture or a video), the loaded module, and renders
// of a frame with the settings a page sends, scaled down for a quick preview or at full size.
// Renders at full size are the frames drawlet render writes for the same settings.
#pragma once

#include <functional>
#include <list>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "kit/filter_host.h"
#include "media/frame_rate.h"
#include "media/reader.h"
#include "run/followed_frames.h"
#include "run/frame_source.h"
#include "run/settings_file.h"

namespace drawlet::studio {

struct InputInfo {
    std::string path;  // as given on the command line
    bool video = false;
    int width = 0;
    int height = 0;
    long long frameCount = -1;   // videos: as the container says; -1 when unknown
    media::FrameRate frameRate;  // videos only
    double duration = 0;         // seconds, videos only
    bool alpha = false;
};

// The settings of one render, as a page sends them.
struct RenderRequest {
    run::SettingsJson settings = run::SettingsJson::object();  // names or aliases to values
    // The values the page last had from the module, if any: set before `settings`, so that
    // the module's update callback sees what the page changed, as its settings window's
    // would (switching one interpolation box on switches the other off).
    std::optional<run::SettingsJson> previous;
    long long frame = 0;
    int maxSide = 0;                 // 0: full size; else the longer side is scaled to this
    std::optional<double> boilRate;  // changes per second (videos): sets update-interval
    bool followMotion = false;       // videos: the frame as a render that follows the motion
};

struct Image {
    std::vector<unsigned char> png;
    int width = 0;
    int height = 0;
};

struct Rendered {
    Image image;
    double filterMs = 0;     // time in the filter, conversions included
    bool exact = false;      // the full-size frame drawlet render writes
    int updateInterval = 0;  // as used (from the boil rate when one was given)
    bool followed = false;   // the hatching was carried along the motion (not a tick)
    // Every value as the module left the request's settings (before the boil rate), by key.
    run::SettingsJson values;
};

class Session {
  public:
    // `reading` says how the input is read: a sequence's rate and first number, the limit on
    // a frame's pixels.
    Session(const std::string& input, const media::ReaderOptions& reading, kit::FilterHost& host);

    const InputInfo& info() const { return info_; }
    kit::FilterHost& host() { return host_; }

    // The frame drawn with the request's settings. Throws drawlet::Error with a usage code
    // for settings it cannot use and a failure code for a frame it cannot read or render.
    // A frame that follows the motion is drawn after the frames from its run's start have
    // gone through the follower; nullopt when `keepGoing` answers false between two of them.
    std::optional<Rendered> render(const RenderRequest& request,
                                   const std::function<bool()>& keepGoing = {});

    // The frame as it is, at the request's size.
    Image original(long long frame, int maxSide);

    // The text of a settings file holding the request's settings (update-interval from the
    // boil rate, if one was given; follow-motion when on).
    std::string settingsFile(const RenderRequest& request);

    // Every value of the host after the defaults, then `settings`, as a module would have them,
    // and whether they follow the motion (`followMotion`, when given).
    run::SettingsJson valuesFor(const run::SettingsJson& settings, const std::string& where,
                                bool* followMotion = nullptr);

  private:
    // Under the module's lock: the host holds the request's settings. Returns the values as
    // the module's update callback left the settings, before the boil rate.
    run::SettingsJson applyRequest(const RenderRequest& request, run::RunSettings* run = nullptr);
    // The update interval the request's settings give, and whether they follow the motion.
    int intervalFor(const RenderRequest& request, bool* followMotion);
    // Every value of the host, by key.
    run::SettingsJson currentValues() const;
    run::SourceFrame frame(long long index);
    void remember(const run::SourceFrame& frame);
    // The frame as a render that follows the motion at `interval` draws it, with its
    // positions scaled to the request's size in `positions` (`followed` false on a tick);
    // nullopt when `keepGoing` answered false.
    std::optional<run::SourceFrame> followedFrame(const RenderRequest& request, int interval,
                                                  const std::function<bool()>& keepGoing,
                                                  run::FollowedFrame& positions, bool& followed);
    cv::Mat scaled(const run::SourceFrame& frame, int maxSide, cv::Mat* alpha);

    std::string input_;
    media::ReaderOptions reading_;
    kit::FilterHost& host_;
    InputInfo info_;
    cv::Size lastSize_;  // of the last frame rendered
    std::mutex framesLock_;
    std::list<run::SourceFrame> frames_;  // the last few read, newest first
    std::mutex followedLock_;
    std::optional<run::FollowedFrames> followed_;  // videos, once a render follows the motion
};

}  // namespace drawlet::studio
