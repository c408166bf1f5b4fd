// Following the picture's motion on 1080p clips made from a real photograph, each with a
// known motion: a pan, a zoom, a rotation and an object moving over a still background.
//
//   motion_bench PHOTO [benchmark options]        (bench/motion_bench.sh fetches the photo)
//
// Every render uses the module's defaults with update interval 24.
//
// BM_ChangeRate/<clip>: how much of each frame's output differs from the previous output
// moved by the known motion (bilinear), over pairs of consecutive frames between two ticks
// (frames 1 to 11 after the tick at 0). A pixel counts as changed when one of its channels
// differs by more than kChangedLevel; only pixels whose content was in view in the previous
// frame count. Counters: the input's own rate (the floor: what resampling the motion changes
// by itself), the plain render's, the followed render's, and that of a render whose positions
// are carried along the known motion ("known": the best a follower could do; on a zoom or a
// turn the nearest-pixel pattern sampling and the line drawing change that much by
// themselves). The noisy pan adds sensor-like noise to every frame.
// BM_LineFlicker/<clip>: lines alone (hatching off): the share of line pixels with no line
// pixel within one pixel at the point they came from in the previous output, over the same
// pairs as the change rates, for the plain and the followed render (drawn from the steadied
// picture), beside the same share for the picture's own edges (Canny on the input's gray).
// BM_Follower/<clip>: the motion follower's processor time for one 1080p frame on one thread,
// every timed frame a followed one; fastest_ms is the least disturbed frame.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <ctime>
#include <functional>
#include <opencv2/core/utility.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <string>
#include <vector>

#include "kit/filter_host.h"
#include "run/motion.h"

namespace {

using drawlet::kit::FilterHost;
using drawlet::run::MotionFollower;

constexpr int kWidth = 1920, kHeight = 1080;
constexpr int kInterval = 24;
constexpr int kFrames = 12;  // a tick at 0, then 11 followed frames
// A channel difference of more than 48 of 255 (about a fifth of the range): the input's own
// resampling stays below it (its rate is under 0.1%), a hatching line appearing on paper or
// leaving it exceeds it. 32 and 64 rank plain, followed and known alike.
constexpr int kChangedLevel = 48;

cv::Mat* world = nullptr;  // the photograph at 1600 lines (2133 x 1600)

// Where the pixels of frame n were in frame n - 1 (a map for cv::remap), and which of them
// were in view there.
struct Origin {
    cv::Mat map;    // CV_32FC2
    cv::Mat valid;  // CV_8U, 255 where the content was in view
};

struct Clip {
    const char* name;
    std::function<cv::Mat(int n)> frame;
    std::function<Origin(int n)> origin;
};

// Clips whose frame n is the world seen through the affine map view(n) (world to frame).
Clip affineClip(const char* name, std::function<cv::Matx23d(int)> view) {
    const auto frame = [view](int n) {
        cv::Mat out;
        cv::warpAffine(*world, out, cv::Mat(view(n)), cv::Size(kWidth, kHeight), cv::INTER_LINEAR,
                       cv::BORDER_REFLECT);
        return out;
    };
    const auto origin = [view](int n) {
        // Frame n to frame n - 1: view(n - 1) after the inverse of view(n).
        cv::Matx23d inverse;
        cv::invertAffineTransform(view(n), inverse);
        const cv::Matx33d before(view(n - 1)(0, 0), view(n - 1)(0, 1), view(n - 1)(0, 2),
                                 view(n - 1)(1, 0), view(n - 1)(1, 1), view(n - 1)(1, 2), 0, 0, 1);
        const cv::Matx33d back(inverse(0, 0), inverse(0, 1), inverse(0, 2), inverse(1, 0),
                               inverse(1, 1), inverse(1, 2), 0, 0, 1);
        const cv::Matx33d m = before * back;
        Origin o{cv::Mat(kHeight, kWidth, CV_32FC2), cv::Mat(kHeight, kWidth, CV_8U)};
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                const double ox = m(0, 0) * x + m(0, 1) * y + m(0, 2);
                const double oy = m(1, 0) * x + m(1, 1) * y + m(1, 2);
                o.map.at<cv::Vec2f>(y, x) = {static_cast<float>(ox), static_cast<float>(oy)};
                o.valid.at<std::uint8_t>(y, x) =
                    ox >= 0 && ox <= kWidth - 1 && oy >= 0 && oy <= kHeight - 1 ? 255 : 0;
            }
        return o;
    };
    return {name, frame, origin};
}

// The world's centre at the frame's centre, turned by `angle` degrees and scaled by `zoom`.
cv::Matx23d centred(double angle, double zoom) {
    cv::Matx23d m = cv::getRotationMatrix2D(
        cv::Point2f(static_cast<float>(world->cols) / 2, static_cast<float>(world->rows) / 2),
        angle, zoom);
    m(0, 2) += kWidth / 2.0 - world->cols / 2.0;
    m(1, 2) += kHeight / 2.0 - world->rows / 2.0;
    return m;
}

// A 400 x 300 piece of the world moving by (6, 3) pixels a frame over a still view.
const cv::Rect kObject(0, 0, 400, 300);
cv::Rect objectAt(int n) { return kObject + cv::Point(300 + 6 * n, 400 + 3 * n); }

Clip movingObject() {
    const auto frame = [](int n) {
        cv::Mat out = (*world)(cv::Rect(100, 260, kWidth, kHeight)).clone();
        (*world)(kObject + cv::Point(1600, 1200)).copyTo(out(objectAt(n)));
        return out;
    };
    const auto origin = [](int n) {
        Origin o{cv::Mat(kHeight, kWidth, CV_32FC2), cv::Mat(kHeight, kWidth, CV_8U)};
        const cv::Rect now = objectAt(n), before = objectAt(n - 1);
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                const bool onObject = now.contains({x, y});
                o.map.at<cv::Vec2f>(y, x) =
                    onObject ? cv::Vec2f(x - 6.0f, y - 3.0f)
                             : cv::Vec2f(static_cast<float>(x), static_cast<float>(y));
                // Background the object covered a frame ago was not in view.
                o.valid.at<std::uint8_t>(y, x) = onObject || !before.contains({x, y}) ? 255 : 0;
            }
        return o;
    };
    return {"object", frame, origin};
}

// The pan with sensor-like noise: Gaussian, sigma 8 levels, new in every frame.
Clip noisy(Clip clip) {
    const auto plain = clip.frame;
    clip.name = "noisy-pan";
    clip.frame = [plain](int n) {
        cv::Mat frame = plain(n), noise(frame.size(), CV_16SC3);
        cv::RNG(1000 + n).fill(noise, cv::RNG::NORMAL, 0, 8);
        cv::Mat sum;
        cv::add(frame, noise, sum, cv::noArray(), CV_8UC3);
        return sum;
    };
    return clip;
}

std::vector<Clip> clips() {
    return {
        affineClip("pan", [](int n) { return cv::Matx23d(1, 0, -100.0 - 4 * n, 0, 1, -260); }),
        affineClip("zoom", [](int n) { return centred(0, std::pow(1.004, n)); }),
        affineClip("rotation", [](int n) { return centred(0.2 * n, 1); }),
        movingObject(),
    };
}

Clip panClip() { return clips()[0]; }

// The share of valid pixels where `now` and `before` moved by the origin differ by more than
// kChangedLevel in some channel.
double changedShare(const cv::Mat& now, const cv::Mat& before, const Origin& o) {
    cv::Mat moved, diff, changed;
    cv::remap(before, moved, o.map, cv::noArray(), cv::INTER_LINEAR, cv::BORDER_REPLICATE);
    cv::absdiff(now, moved, diff);
    cv::Mat planes[3];
    cv::split(diff, planes);
    changed = cv::max(cv::max(planes[0], planes[1]), planes[2]) > kChangedLevel;
    return static_cast<double>(cv::countNonZero(changed & o.valid)) / cv::countNonZero(o.valid);
}

void setParameter(FilterHost& host, const char* alias, int value) {
    host.setValue(*host.find(alias), value);
}

std::string modulePath() { return DRAWLET_OUTPUT_DIR "/Drawlet.auf"; }

// Positions carried along the known motion itself: what a perfect follower would give.
struct KnownPositions {
    cv::Mat x, y;
    DrawletPatternCoordinates record{};

    void start() {
        x.create(kHeight, kWidth, CV_32F);
        y.create(kHeight, kWidth, CV_32F);
        for (int row = 0; row < kHeight; ++row)
            for (int column = 0; column < kWidth; ++column) {
                x.at<float>(row, column) = static_cast<float>(column);
                y.at<float>(row, column) = static_cast<float>(row);
            }
    }
    const DrawletPatternCoordinates* carry(const Origin& o) {
        cv::Mat movedX, movedY;
        cv::remap(x, movedX, o.map, cv::noArray(), cv::INTER_LINEAR, cv::BORDER_REPLICATE);
        cv::remap(y, movedY, o.map, cv::noArray(), cv::INTER_LINEAR, cv::BORDER_REPLICATE);
        x = cv::min(cv::max(movedX, 0), kWidth);
        y = cv::min(cv::max(movedY, 0), kHeight);
        record = {x.ptr<float>(), y.ptr<float>(), kWidth, kHeight, static_cast<int>(x.step1())};
        return &record;
    }
};

void BM_ChangeRate(benchmark::State& state, const Clip& clip) {
    FilterHost host(modulePath());
    setParameter(host, "update-interval", kInterval);
    double input = 0, plain = 0, followed = 0, ideal = 0;
    int pairs = 0;
    for (auto _ : state) {
        MotionFollower follower;
        KnownPositions known;
        cv::Mat frameBefore, plainBefore, followedBefore, idealBefore;
        for (int n = 0; n < kFrames; ++n) {
            const cv::Mat frame = clip.frame(n);
            const cv::Mat plainNow = *host.processBgr(frame, n);
            const DrawletPatternCoordinates* c = follower.advance(frame, n, kInterval);
            const cv::Mat followedNow = c ? *host.processBgr(follower.picture(), n, c) : plainNow;
            if (n == 0) known.start();
            const cv::Mat idealNow =
                n == 0 ? plainNow : *host.processBgr(frame, n, known.carry(clip.origin(n)));
            // Both frames of a pair between two ticks.
            if (n >= 2 && n % kInterval != 0) {
                const Origin o = clip.origin(n);
                input += changedShare(frame, frameBefore, o);
                plain += changedShare(plainNow, plainBefore, o);
                followed += changedShare(followedNow, followedBefore, o);
                ideal += changedShare(idealNow, idealBefore, o);
                ++pairs;
            }
            frameBefore = frame;
            plainBefore = plainNow;
            followedBefore = followedNow;
            idealBefore = idealNow;
        }
    }
    state.counters["input"] = input / pairs;
    state.counters["plain"] = plain / pairs;
    state.counters["followed"] = followed / pairs;
    state.counters["known"] = ideal / pairs;
}

// Line pixels: those away from the background, the most common gray of the frame.
cv::Mat linePixels(const cv::Mat& out) {
    cv::Mat gray;
    cv::cvtColor(out, gray, cv::COLOR_BGR2GRAY);
    int counts[256] = {};
    for (int y = 0; y < gray.rows; ++y)
        for (int x = 0; x < gray.cols; ++x) ++counts[gray.at<std::uint8_t>(y, x)];
    const int background = static_cast<int>(std::max_element(counts, counts + 256) - counts);
    cv::Mat diff;
    cv::absdiff(gray, cv::Scalar(background), diff);
    return diff > 32;
}

// The share of `now`'s pixels that have none of `before`'s within one pixel at the point they
// came from, counting only content that was in view before.
double unmatchedShare(const cv::Mat& now, const cv::Mat& before, const Origin& o) {
    cv::Mat moved, near;
    cv::remap(before, moved, o.map, cv::noArray(), cv::INTER_NEAREST, cv::BORDER_CONSTANT);
    cv::dilate(moved, near, cv::Mat::ones(3, 3, CV_8U));
    const cv::Mat lonely = now & ~near & o.valid;
    return static_cast<double>(cv::countNonZero(lonely)) /
           std::max(1, cv::countNonZero(now & o.valid));
}

// The picture's own edges: Canny on its gray, at thresholds that trace the photo's outlines.
cv::Mat pictureEdges(const cv::Mat& bgr) {
    cv::Mat gray, edges;
    cv::cvtColor(bgr, gray, cv::COLOR_BGR2GRAY);
    cv::Canny(gray, edges, 50, 150);
    return edges;
}

void BM_LineFlicker(benchmark::State& state, const Clip& clip) {
    FilterHost host(modulePath());
    setParameter(host, "update-interval", kInterval);
    setParameter(host, "hatching", 0);
    double lines = 0, followed = 0, picture = 0;
    int pairs = 0;
    for (auto _ : state) {
        MotionFollower follower;
        cv::Mat linesBefore, followedBefore, edgesBefore;
        for (int n = 0; n < kFrames; ++n) {
            const cv::Mat frame = clip.frame(n);
            const cv::Mat linesNow = linePixels(*host.processBgr(frame, n));
            const DrawletPatternCoordinates* c = follower.advance(frame, n, kInterval);
            const cv::Mat followedNow =
                c ? linePixels(*host.processBgr(follower.picture(), n, c)) : linesNow;
            const cv::Mat edgesNow = pictureEdges(frame);
            // Both frames of a pair between two ticks, as for the change rates.
            if (n >= 2 && n % kInterval != 0) {
                const Origin o = clip.origin(n);
                lines += unmatchedShare(linesNow, linesBefore, o);
                followed += unmatchedShare(followedNow, followedBefore, o);
                picture += unmatchedShare(edgesNow, edgesBefore, o);
                ++pairs;
            }
            linesBefore = linesNow;
            followedBefore = followedNow;
            edgesBefore = edgesNow;
        }
    }
    state.counters["plain"] = lines / pairs;
    state.counters["followed"] = followed / pairs;
    state.counters["picture_edges"] = picture / pairs;
}

// The calling thread's processor time: with one OpenCV thread all of the follower's work runs
// there, and another program busy on the machine does not count.
double threadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

void BM_Follower(benchmark::State& state, const Clip& clip) {
    const int threads = cv::getNumThreads();
    cv::setNumThreads(1);
    std::vector<cv::Mat> frames;
    for (int n = 0; n < kFrames; ++n) frames.push_back(clip.frame(n));
    MotionFollower follower;
    int n = 0;
    double fastest = 1e9;
    for (auto _ : state) {
        // Every timed frame is followed: the run starts again, untimed, after its last frame.
        if (n == 0) follower.advance(frames[0], n++, kInterval);
        const double start = threadSeconds();
        const DrawletPatternCoordinates* c = follower.advance(frames[n], n, kInterval);
        const double end = threadSeconds();
        if (c == nullptr) state.SkipWithError("a followed frame was taken for a tick");
        state.SetIterationTime(end - start);
        fastest = std::min(fastest, end - start);
        n = (n + 1) % kFrames;
    }
    // The least disturbed frame, in milliseconds: on a shared machine the mean also counts
    // what other programs cost the caches.
    state.counters["fastest_ms"] = fastest * 1e3;
    cv::setNumThreads(threads);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argv[1][0] == '-') {
        std::fprintf(stderr, "usage: %s PHOTO [benchmark options]\n", argv[0]);
        return 2;
    }
    const cv::Mat photo = cv::imread(argv[1]);
    if (photo.empty()) {
        std::fprintf(stderr, "%s: not a picture\n", argv[1]);
        return 1;
    }
    world = new cv::Mat();
    cv::resize(photo, *world, cv::Size(), 1600.0 / photo.rows, 1600.0 / photo.rows, cv::INTER_AREA);
    static const std::vector<Clip> all = clips();
    static const Clip noisyPan = noisy(panClip());
    for (const Clip& clip : all) {
        benchmark::RegisterBenchmark((std::string("BM_ChangeRate/") + clip.name).c_str(),
                                     BM_ChangeRate, clip)
            ->Iterations(1)
            ->Unit(benchmark::kSecond);
        benchmark::RegisterBenchmark((std::string("BM_Follower/") + clip.name).c_str(), BM_Follower,
                                     clip)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::RegisterBenchmark("BM_ChangeRate/noisy-pan", BM_ChangeRate, noisyPan)
        ->Iterations(1)
        ->Unit(benchmark::kSecond);
    for (const Clip* clip : {&all[0], &noisyPan})
        benchmark::RegisterBenchmark((std::string("BM_LineFlicker/") + clip->name).c_str(),
                                     BM_LineFlicker, *clip)
            ->Iterations(1)
            ->Unit(benchmark::kSecond);
    argv[1] = argv[0];
    int rest = argc - 1;
    benchmark::Initialize(&rest, argv + 1);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    delete world;
    return 0;
}
