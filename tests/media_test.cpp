// The media layer on its own: naming rules, encoder choices, exact seeking, colour kept
// through decode and encode, upright pictures, and how audio is shared out among parts.
#include <fmt/format.h>
#include <gtest/gtest.h>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <map>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <sstream>

#include "ffmpeg_support.h"
#include "kit/error.h"
#include "media/chapters.h"
#include "media/colour.h"
#include "media/encoding.h"
#include "media/output.h"
#include "media/packet_range.h"
#include "media/part_tags.h"
#include "media/paths.h"
#include "media/picture_size.h"
#include "media/rates.h"
#include "media/reader.h"
#include "media/sequences.h"
#include "temp_dir.h"

namespace {

namespace fs = std::filesystem;
using namespace drawlet::media;
using drawlet::test::probe;
using drawlet::test::quoted;
using drawlet::test::shell;

TEST(MediaPaths, TellsPicturesSequencesAndVideosApart) {
    struct Case {
        const char* path;
        bool still, sequence;
    };
    const Case cases[] = {{"photo.jpg", true, false},     {"Photo.PNG", true, false},
                          {"50%off.png", true, false},    {"frames/%05d.png", false, true},
                          {"f/%d.tif", false, true},      {"100%%-%03d.png", false, true},
                          {"clip.mp4", false, false},     {"%05d.mp4", false, false},
                          {"two-%d-%d.png", true, false}, {"-", false, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(isStillImage(c.path), c.still);
        EXPECT_EQ(isImageSequence(c.path), c.sequence);
    }
    EXPECT_EQ(sequenceFile("out/%05d.png", 7), "out/00007.png");
    EXPECT_EQ(sequenceFile("100%%-%03d.png", 42), "100%-042.png");
}

TEST(MediaRates, ReadsRatesAsPeopleWriteThem) {
    struct Case {
        const char* text;
        int num, den;  // 0/0: refused
    };
    const Case cases[] = {{"25", 25, 1},         {"30000/1001", 30000, 1001},
                          {"ntsc", 30000, 1001}, {"29.97", 2997, 100},
                          {"abc", 0, 0},         {"0", 0, 0},
                          {"-5", 0, 0},          {"", 0, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const auto rate = tryParseRate(c.text);
        if (c.num == 0) {
            EXPECT_FALSE(rate.has_value());
            continue;
        }
        ASSERT_TRUE(rate.has_value());
        EXPECT_EQ(av_cmp_q(*rate, AVRational{c.num, c.den}), 0);
    }
    try {
        parseRate("abc");
        FAIL() << "no error";
    } catch (const drawlet::Error& e) {
        EXPECT_EQ(e.exitCode(), drawlet::kExitUsage);
    }
}

// Default outputs play in browsers and phones: H.264 or VP9 in 8-bit 4:2:0; codecs chosen by
// name keep what they are made for.
TEST(MediaEncoding, ChoosesPlayableDefaultsAndKeepsAlphaWhereItCan) {
    struct Case {
        const char* file;
        const char* codec;
        bool alpha;
        const char* encoder;
        const char* pixelFormat;
    };
    const Case cases[] = {
        {"a.mp4", "", false, "libx264", "yuv420p"},
        {"a.mov", "", false, "libx264", "yuv420p"},
        {"a.mkv", "", false, "libx264", "yuv420p"},
        {"a.mp4", "", true, "libx264", "yuv420p"},  // no alpha in H.264
        {"a.webm", "", false, "libvpx-vp9", "yuv420p"},
        {"a.webm", "", true, "libvpx-vp9", "yuva420p"},
        {"a.mov", "prores_ks", true, "prores_ks", "yuva444p10le"},
        {"a.mov", "prores_ks", false, "prores_ks", "yuv444p10le"},
        {"a.mkv", "ffv1", false, "ffv1", "bgr0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " " + c.codec);
        const AVCodec* encoder = videoEncoderFor(outputFormatFor(c.file, ""), c.codec);
        EXPECT_STREQ(encoder->name, c.encoder);
        EXPECT_STREQ(av_get_pix_fmt_name(pixelFormatFor(encoder, "", c.alpha)), c.pixelFormat);
    }
}

TEST(MediaEncoding, RefusesWhatCannotWorkAsUsageErrors) {
    const auto expectUsage = [](const std::function<void()>& f, const char* says) {
        try {
            f();
            ADD_FAILURE() << "no error: " << says;
        } catch (const drawlet::Error& e) {
            EXPECT_EQ(e.exitCode(), drawlet::kExitUsage);
            EXPECT_NE(std::string(e.what()).find(says), std::string::npos) << e.what();
        }
    };
    const AVCodec* x264 = avcodec_find_encoder_by_name("libx264");
    const AVCodec* ffv1 = avcodec_find_encoder_by_name("ffv1");
    expectUsage([] { outputFormatFor("out.unknown", "", "shown.unknown"); }, "shown.unknown");
    expectUsage([] { outputFormatFor("-", "nonsense"); }, "nonsense");
    expectUsage([] { videoEncoderFor(outputFormatFor("a.mp4", ""), "nonsense"); }, "nonsense");
    expectUsage([] { videoEncoderFor(outputFormatFor("a.webm", ""), "libx264"); }, "webm");
    expectUsage([&] { pixelFormatFor(x264, "rgb24x", false); }, "rgb24x");
    expectUsage([&] { pixelFormatFor(x264, "pal8", false); }, "yuv420p");
    EncodeOptions crf;
    crf.crf = 20;
    expectUsage([&] { qualityOptions(ffv1, crf); }, "--crf");
    crf.crf = kX264CrfWorst + 1;  // within --crf's range, beyond H.264's
    expectUsage([&] { qualityOptions(x264, crf); }, "--crf 52");
    EncodeOptions preset;
    preset.preset = "fast";
    expectUsage([&] { qualityOptions(ffv1, preset); }, "--preset");
    // Names and ranges the encoder does not know: refused with the ones it does.
    const struct {
        const char* encoder;
        const char* preset;
        std::pair<std::string, std::string> option;  // --encoder-opt
        int crf;
        const char* says;
    } unknown[] = {
        {"libx264", "fastest", {}, -1, "presets are ultrafast, superfast, veryfast"},
        {"libx264", "", {"tune", "film,grainy"}, -1, "tunes are film, animation"},
        {"libx264", "", {"profile", "extreme"}, -1, "profiles are baseline, main"},
        {"libx264", "", {}, 52, "--crf 52: the libx264 encoder takes 0 to 51"},
        {"libvpx-vp9", "fast", {}, -1, "presets are best, good, realtime"},
    };
    for (const auto& c : unknown) {
        SCOPED_TRACE(c.says);
        EncodeOptions options;
        options.preset = c.preset;
        if (!c.option.first.empty()) options.encoderOptions = {c.option};
        options.crf = c.crf;
        expectUsage([&] { qualityOptions(avcodec_find_encoder_by_name(c.encoder), options); },
                    c.says);
        const char* output = std::string(c.encoder) == "libx264" ? "o.mp4" : "o.webm";
        expectUsage([&] { checkOutputEncoding(output, options); }, c.says);
    }
    EncodeOptions tunes;
    tunes.encoderOptions = {{"tune", "film,fastdecode"}};
    EXPECT_NO_THROW(qualityOptions(x264, tunes));
    EXPECT_EQ(outputFormatFor("-", "")->name, std::string("matroska"));
}

TEST(MediaEncoding, UltrafastX264TakesAThirdOfTheRendersThreads) {
    struct Case {
        const char* encoder;
        const char* preset;
        int threads;
        const char* expected;  // the threads option set, or "" for none
    };
    const Case cases[] = {
        {"libx264", "", 2, "1"},   {"libx264", "ultrafast", 3, "1"}, {"libx264", "", 4, "2"},
        {"libx264", "", 16, "6"},  {"libx264", "", 0, ""},           {"libx264", "veryfast", 2, ""},
        {"libvpx-vp9", "", 2, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(fmt::format("{} {} {}", c.encoder, c.preset, c.threads));
        EncodeOptions options;
        options.preset = c.preset;
        options.threads = c.threads;
        std::string threads;
        for (const auto& [key, value] :
             qualityOptions(avcodec_find_encoder_by_name(c.encoder), options))
            if (key == "threads") threads = value;
        EXPECT_EQ(threads, c.expected);
    }
}

// Default H.264 declares the level its pictures need and keeps every second of its bitrate
// within it (rate three quarters of the High profile's cap, buffer a quarter).
TEST(MediaEncoding, DefaultsDeclareTheLevelThePicturesNeedAndKeepToIt) {
    const struct {
        FrameShape shape;
        const char* level;
        const char* maxrate;
        const char* bufsize;
    } cases[] = {
        {{64, 48, 25}, "4.1", "46875000", "15625000"},
        {{1920, 1080, 30}, "4.1", "46875000", "15625000"},
        {{1920, 1080, 60}, "4.2", "46875000", "15625000"},
        {{1280, 720, 240}, "5.1", "225000000", "75000000"},
        {{3840, 2160, 30}, "5.1", "225000000", "75000000"},
        {{3840, 2160, 60}, "5.2", "225000000", "75000000"},
        {{8192, 4320, 60}, "6.1", "450000000", "150000000"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(fmt::format("{}x{} at {}", c.shape.width, c.shape.height, c.shape.fps));
        std::map<std::string, std::string> set;
        for (const auto& [key, value] :
             qualityOptions(avcodec_find_encoder_by_name("libx264"), {}, c.shape))
            set[key] = value;
        EXPECT_EQ(set["profile"], "high");
        EXPECT_EQ(set["level"], c.level);
        EXPECT_EQ(set["maxrate"], c.maxrate);
        EXPECT_EQ(set["bufsize"], c.bufsize);
        EXPECT_EQ(set["x264-params"], "cabac=1:8x8dct=1");  // ultrafast would be Baseline
    }
    // A profile or rate of the user's own is left alone.
    EncodeOptions own;
    own.encoderOptions = {{"maxrate", "8M"}};
    for (const auto& [key, value] :
         qualityOptions(avcodec_find_encoder_by_name("libx264"), own, {1920, 1080, 30}))
        EXPECT_TRUE(key != "level" && key != "maxrate") << key;
}

TEST(MediaEncoding, ColourTagsFollowTheInput) {
    ColourTags hd{AVCOL_PRI_BT709, AVCOL_TRC_BT709, AVCOL_SPC_BT709, AVCOL_RANGE_MPEG,
                  AVCHROMA_LOC_LEFT};
    ColourTags fromYuv = outputTags(hd, AV_PIX_FMT_YUV420P10LE, AV_PIX_FMT_YUV420P);
    EXPECT_EQ(fromYuv.matrix, AVCOL_SPC_BT709);
    EXPECT_EQ(fromYuv.range, AVCOL_RANGE_MPEG);
    EXPECT_EQ(fromYuv.primaries, AVCOL_PRI_BT709);
    ColourTags jpeg{};
    EXPECT_EQ(outputTags(jpeg, AV_PIX_FMT_YUVJ420P, AV_PIX_FMT_YUV420P).range, AVCOL_RANGE_JPEG);
    EXPECT_EQ(outputTags(jpeg, AV_PIX_FMT_YUV420P, AV_PIX_FMT_YUV420P).range,
              AVCOL_RANGE_UNSPECIFIED);
    const ColourTags fromRgb = outputTags(jpeg, AV_PIX_FMT_RGB24, AV_PIX_FMT_YUV420P);
    EXPECT_EQ(fromRgb.matrix, AVCOL_SPC_BT709);
    EXPECT_EQ(fromRgb.range, AVCOL_RANGE_MPEG);
    EXPECT_EQ(outputTags(hd, AV_PIX_FMT_YUV420P, AV_PIX_FMT_BGR0).matrix, AVCOL_SPC_RGB);
}

// Packets of two audio streams with their own time bases, against frames at 1/30 s.

// Decoded YUV comes to BGR through the scaler's planar output: the same bytes as its packed
// output, for every layout, depth, range and matrix, with alpha, on an odd size.
TEST(MediaColour, YuvToBgrGivesThePackedConversionsBytes) {
    const AVPixelFormat formats[] = {
        AV_PIX_FMT_YUV420P, AV_PIX_FMT_YUV422P,  AV_PIX_FMT_YUV444P, AV_PIX_FMT_YUV420P10LE,
        AV_PIX_FMT_NV12,    AV_PIX_FMT_YUVJ420P, AV_PIX_FMT_YUVA420P};
    ColourTags tv709, pc601;
    tv709.matrix = AVCOL_SPC_BT709;
    tv709.range = AVCOL_RANGE_MPEG;
    pc601.matrix = AVCOL_SPC_SMPTE170M;
    pc601.range = AVCOL_RANGE_JPEG;
    cv::RNG rng(11);
    for (const AVPixelFormat format : formats)
        for (const ColourTags& tags : {tv709, pc601}) {
            SCOPED_TRACE(testing::Message()
                         << av_get_pix_fmt_name(format) << ", range " << tags.range);
            AVFrame* frame = av_frame_alloc();
            frame->format = format;
            frame->width = 67;
            frame->height = 45;
            ASSERT_EQ(av_frame_get_buffer(frame, 0), 0);
            const int depth = bitDepth(format);
            for (int p = 0; p < 4 && frame->buf[p] != nullptr; ++p) {
                cv::Mat bytes(1, static_cast<int>(frame->buf[p]->size), CV_8U, frame->buf[p]->data);
                rng.fill(bytes, cv::RNG::UNIFORM, 0, 256);
                if (depth > 8)  // little-endian samples within their depth
                    for (std::size_t i = 1; i < frame->buf[p]->size; i += 2)
                        frame->buf[p]->data[i] &= static_cast<std::uint8_t>((1 << (depth - 8)) - 1);
            }
            cv::Mat alpha;
            ToBgr planar;
            const cv::Mat got = planar.convert(*frame, tags, &alpha);

            const bool withAlpha = hasAlpha(format);
            Scaler scaler;
            SwsContext* packed =
                scaler.get(67, 45, format, withAlpha ? AV_PIX_FMT_BGRA : AV_PIX_FMT_BGR24, tags);
            cv::Mat want(45, 67, withAlpha ? CV_8UC4 : CV_8UC3);
            uint8_t* planes[4] = {want.data, nullptr, nullptr, nullptr};
            int strides[4] = {static_cast<int>(want.step), 0, 0, 0};
            sws_scale(packed, frame->data, frame->linesize, 0, 45, planes, strides);
            av_frame_free(&frame);

            std::vector<cv::Mat> channels;
            cv::split(want, channels);
            cv::Mat wantBgr;
            cv::merge(std::vector<cv::Mat>(channels.begin(), channels.begin() + 3), wantBgr);
            EXPECT_EQ(cv::norm(got, wantBgr, cv::NORM_INF), 0);
            EXPECT_EQ(alpha.empty(), !withAlpha);
            if (withAlpha) {
                EXPECT_EQ(cv::norm(alpha, channels[3], cv::NORM_INF), 0);
            }
        }
}

class PacketRangeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        input = avformat_alloc_context();
        avformat_new_stream(input, nullptr)->time_base = {1, 1000};
        avformat_new_stream(input, nullptr)->time_base = {1, 48000};
    }
    void TearDown() override { avformat_free_context(input); }
    // Packets every 21 ms on stream 0 and every 1024 samples on stream 1, in file order.
    std::vector<PacketPtr> packets(int count) {
        std::vector<PacketPtr> all;
        for (int i = 0; i < count; ++i)
            for (int s = 0; s < 2; ++s) {
                PacketPtr p = makePacket();
                p->stream_index = s;
                p->pts = s == 0 ? i * 21 : i * 1024;
                all.push_back(std::move(p));
            }
        return all;
    }
    static std::vector<std::pair<int, int64_t>> keys(const std::vector<PacketPtr>& ps) {
        std::vector<std::pair<int, int64_t>> k;
        for (const PacketPtr& p : ps) k.emplace_back(p->stream_index, p->pts);
        return k;
    }
    AVFormatContext* input = nullptr;
    static constexpr AVRational kFrames{1, 30};
};

// Ranges that meet at a frame share out every packet exactly once, whatever the split.
TEST_F(PacketRangeTest, PartsShareOutEveryPacketOnce) {
    const std::vector<PacketPtr> reference = packets(100);
    for (const std::vector<int64_t>& cuts :
         {std::vector<int64_t>{}, std::vector<int64_t>{30}, std::vector<int64_t>{1, 2, 63}}) {
        std::vector<std::pair<int, int64_t>> shared;
        std::vector<int64_t> bounds = {AV_NOPTS_VALUE};
        bounds.insert(bounds.end(), cuts.begin(), cuts.end());
        bounds.push_back(AV_NOPTS_VALUE);
        for (std::size_t part = 0; part + 1 < bounds.size(); ++part) {
            PacketRange range(input, kFrames);
            if (bounds[part] != AV_NOPTS_VALUE) range.startAt(bounds[part]);
            std::vector<PacketPtr> incoming = packets(100);
            // As frames arrive: the first frame of the part, then the next, then the end.
            const int64_t first = bounds[part] == AV_NOPTS_VALUE ? 0 : bounds[part];
            std::vector<PacketPtr> given = range.take(incoming, first);
            if (bounds[part + 1] == AV_NOPTS_VALUE || first + 1 < bounds[part + 1])
                for (PacketPtr& p : range.take(incoming, first + 1)) given.push_back(std::move(p));
            const auto rest = range.finish(incoming, bounds[part + 1]);
            for (auto& k : keys(given)) shared.push_back(k);
            for (auto& k : keys(rest)) shared.push_back(k);
        }
        std::sort(shared.begin(), shared.end());
        auto expected = keys(reference);
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(shared, expected) << cuts.size() << " cuts";
    }
}

TEST_F(PacketRangeTest, HoldsPacketsUntilTheirFrameIsKnownToBeInTheRange) {
    PacketRange range(input, kFrames);
    range.startAt(3);  // 100 ms
    std::vector<PacketPtr> incoming = packets(10);
    const auto given = range.take(incoming, 4);  // up to 133 ms
    for (const auto& [stream, pts] : keys(given)) {
        const double t = stream == 0 ? pts / 1000.0 : pts / 48000.0;
        EXPECT_GE(t, 0.1);
        EXPECT_LT(t, 4 / 30.0);
    }
    EXPECT_EQ(given.size(), 4u);  // 105 and 126 ms; 106.7 and 128 ms
    // Up to 166.7 ms: 147 and 149.3 ms; the later ones belong to the next part.
    EXPECT_EQ(range.finish(incoming, 5).size(), 2u);
}

// A cue still showing where a stretch starts comes cut to start there; one that ended
// before it is left out; later ones come whole, as far as the frame taken.
TEST_F(PacketRangeTest, CuesShowingAtTheStartAreCutToIt) {
    AVStream* cues = avformat_new_stream(input, nullptr);
    cues->time_base = {1, 1000};
    cues->codecpar->codec_type = AVMEDIA_TYPE_SUBTITLE;
    std::vector<PacketPtr> incoming;
    for (const auto& [pts, duration] :
         {std::pair{100, 50}, {200, 200}, {300, 50}, {350, 100}, {450, 50}}) {
        PacketPtr p = makePacket();
        p->stream_index = cues->index;
        p->pts = p->dts = pts;
        p->duration = duration;
        incoming.push_back(std::move(p));
    }
    PacketRange range(input, kFrames);
    range.startAt(9);                             // 300 ms
    const auto given = range.take(incoming, 12);  // up to 400 ms
    std::vector<std::pair<int64_t, int64_t>> times;
    for (const PacketPtr& p : given) times.emplace_back(p->pts, p->duration);
    EXPECT_EQ(times, (std::vector<std::pair<int64_t, int64_t>>{{300, 100}, {300, 50}, {350, 100}}));
}

// Chapters cut to two parts and appended back give the chapters whole, wherever the parts
// meet, whether a part holds its own stretch only (Matroska) or the chapters before it too
// (MP4); a chapter inside another one is kept.
TEST(MediaChapters, PartsCutAndJoinedGiveTheChaptersBack) {
    const auto chapter = [](int64_t start, int64_t end, const char* title) {
        return Chapter{0, {1, 1000}, start, end, {{"title", title}}};
    };
    const std::vector<Chapter> whole = {chapter(0, 500, "One"), chapter(500, 1000, "Two"),
                                        chapter(200, 300, "Inside")};
    const auto sorted = [](std::vector<Chapter> list) {
        std::vector<std::tuple<int64_t, int64_t, std::string>> keys;
        for (const Chapter& c : list)
            keys.emplace_back(av_rescale_q(c.start, c.timeBase, {1, 1000}),
                              av_rescale_q(c.end, c.timeBase, {1, 1000}), c.tags[0].second);
        std::sort(keys.begin(), keys.end());
        return keys;
    };
    for (const int64_t meet : {1, 2, 3, 5, 7})  // frames at 10 per second
        for (const bool mp4 : {false, true}) {
            SCOPED_TRACE(testing::Message() << "meet at frame " << meet << (mp4 ? ", MP4" : ""));
            std::vector<Chapter> joined;
            appendChapters(joined, cutChapters(whole, {{1, 10}, std::nullopt, meet}));
            const std::optional<int64_t> start = mp4 ? std::nullopt : std::optional(meet);
            appendChapters(joined, cutChapters(whole, {{1, 10}, start, std::nullopt}));
            EXPECT_EQ(sorted(joined), sorted(whole));
        }
}

// A part's tags are numbers in range, first + frames included; anything else is refused
// naming the file.
TEST(MediaParts, PartTagsOutOfRangeAreRefused) {
    struct Case {
        const char* first;
        const char* frames;  // null: not recorded
        bool valid;
    };
    const Case cases[] = {{"0", "12", true},
                          {"40", nullptr, true},
                          {"9223372036854775806", "1", true},
                          {"9223372036854775807", "1", false},
                          {"-1", "3", false},
                          {"7x", "3", false},
                          {"3", "0", false},
                          {"3", "18446744073709551616", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.first << " " << (c.frames ? c.frames : "-"));
        AVDictionary* tags = nullptr;
        av_dict_set(&tags, "DRAWLET_SOURCE", "1:2", 0);
        av_dict_set(&tags, "DRAWLET_FIRST_FRAME", c.first, 0);
        if (c.frames != nullptr) av_dict_set(&tags, kPartFramesTag, c.frames, 0);
        try {
            const std::optional<PartRecord> record = readPartTags(tags, "part.mkv");
            EXPECT_TRUE(c.valid);
            ASSERT_TRUE(record.has_value());
            EXPECT_EQ(std::to_string(record->first), c.first);
            EXPECT_EQ(record->frames, c.frames ? std::stoll(c.frames) : -1);
        } catch (const drawlet::Error& e) {
            EXPECT_FALSE(c.valid);
            EXPECT_NE(std::string(e.what()).find("part.mkv: its part tags are out of range"),
                      std::string::npos)
                << e.what();
        }
        av_dict_free(&tags);
    }
}

// The number in a sequence's file names is read back exactly as FFmpeg writes it.
TEST(MediaPaths, SequenceFileNamesGiveTheirNumbersBack) {
    const char* patterns[] = {"IMG_%04d.png", "%d.png", "f/a%3d.tif", "100%%-%03d.png",
                              "50%%/x%02d.jpg"};
    for (const char* pattern : patterns)
        for (const long long number : {0LL, 7LL, 42LL, 1000LL, 123456LL}) {
            SCOPED_TRACE(testing::Message() << pattern << " " << number);
            const SequencePattern sequence(pattern);
            const fs::path file(sequenceFile(pattern, number));
            EXPECT_EQ(sequence.numberOf(file.filename().string()), number);
            EXPECT_EQ(file.parent_path(),
                      sequence.folder().string() == "." ? fs::path() : sequence.folder());
        }
    const SequencePattern camera("IMG_%04d.png");
    for (const char* other : {"IMG_01000.png", "IMG_07.png", "IMG_.png", "IMG_1000.jpg",
                              "xIMG_1000.png", "IMG_-100.png", "IMG_+100.png"})
        EXPECT_EQ(camera.numberOf(other), std::nullopt) << other;
}

// Every picture format OpenCV writes declares its size in a header read without decoding it;
// a header cut short declares none.
TEST(MediaPictures, HeadersDeclareTheirSize) {
    const drawlet::test::TempDir dir;
    const cv::Mat bgr(45, 67, CV_8UC3, cv::Scalar(40, 90, 200));  // JPEG 2000 needs 32 rows
    cv::Mat bgra, gray, floats;
    cv::cvtColor(bgr, bgra, cv::COLOR_BGR2BGRA);
    cv::cvtColor(bgr, gray, cv::COLOR_BGR2GRAY);
    bgr.convertTo(floats, CV_32FC3, 1 / 255.0);
    struct Case {
        const char* name;
        cv::Mat picture;
        std::vector<int> options;
    };
    const Case cases[] = {{"a.png", bgr, {}},
                          {"a.jpg", bgr, {}},
                          {"a.bmp", bgr, {}},
                          {"a.tif", bgr, {}},
                          {"lossy.webp", bgr, {cv::IMWRITE_WEBP_QUALITY, 90}},
                          {"lossless.webp", bgr, {}},
                          {"extended.webp", bgra, {cv::IMWRITE_WEBP_QUALITY, 90}},
                          {"a.ppm", bgr, {}},
                          {"a.pgm", gray, {}},
                          {"a.pam", bgr, {}},
                          {"a.pfm", floats, {}},
                          {"a.exr", floats, {}},
                          {"a.jp2", bgr, {}},
                          {"a.hdr", floats, {}},
                          {"a.ras", bgr, {}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path file = dir.path() / c.name;
        ASSERT_TRUE(cv::imwrite(file.string(), c.picture, c.options));
        const std::optional<PictureSize> size = declaredSize(file.string());
        ASSERT_TRUE(size.has_value());
        EXPECT_EQ(size->width, 67);
        EXPECT_EQ(size->height, 45);
        fs::resize_file(file, 5);
        EXPECT_FALSE(declaredSize(file.string()).has_value());
    }
    EXPECT_FALSE(declaredSize((dir.path() / "none.png").string()).has_value());
    // Hand-written PNM headers: comments, and the byte after a number, read as OpenCV's
    // decoder reads them.
    for (const auto& [head, width, height] :
         {std::tuple{"P6\n5#3\n255\n", 5, 3}, std::tuple{"P5 # note\n4 2\n255\n", 4, 2},
          std::tuple{"P5\n4\n# note\n2 255\n", 4, 2}}) {
        SCOPED_TRACE(head);
        const fs::path file = dir.path() / "hand.pnm";
        std::ofstream(file, std::ios::binary)
            << head << std::string(static_cast<std::size_t>(3 * width * height), '\x50');
        const std::optional<PictureSize> size = declaredSize(file.string());
        ASSERT_TRUE(size.has_value());
        const cv::Mat decoded = cv::imread(file.string(), cv::IMREAD_UNCHANGED);
        EXPECT_EQ(size->width, width);
        EXPECT_EQ(size->height, height);
        EXPECT_EQ(decoded.size(), cv::Size(width, height));
    }
    if (!drawlet::test::haveFfmpeg()) return;
    // A bare JPEG 2000 code stream, as FFmpeg writes one.
    const fs::path stream = dir.path() / "a.j2k";
    shell(
        "ffmpeg -v error -f lavfi -i testsrc2=size=96x64 -frames:v 1 -c:v jpeg2000 -format "
        "j2k " +
        quoted(stream));
    const std::optional<PictureSize> size = declaredSize(stream.string());
    ASSERT_TRUE(size.has_value());
    EXPECT_EQ(fmt::format("{},{}", size->width, size->height),
              probe(stream, "stream=width,height"));
}

// Clips made once for the tests below.
class MediaClips : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        if (!drawlet::test::haveFfmpeg()) return;
        temp = new drawlet::test::TempDir;
        const fs::path& d = temp->path();
        // B-frames and a keyframe every 10 frames, at 29.97 fps.
        shell(
            "ffmpeg -v error -f lavfi -i testsrc2=size=96x64:rate=30000/1001 -frames:v 60 "
            "-c:v libx264 -g 10 -bf 3 " +
            quoted(d / "gop.mp4"));
        // The same stream where packets carry no presentation times: AVI, and raw H.264.
        for (const char* copy : {"gop.avi", "gop.h264"})
            shell("ffmpeg -v error -i " + quoted(d / "gop.mp4") + " -c copy " + quoted(d / copy));
        // Smooth, saturated colours in limited-range BT.709 and in full range.
        for (const char* range : {"tv", "pc"})
            shell(std::string("ffmpeg -v error -f lavfi -i testsrc2=size=128x96:rate=10,"
                              "gblur=sigma=8 -frames:v 3 -vf scale=out_color_matrix=bt709:"
                              "out_range=") +
                  range +
                  ",format=yuv420p -colorspace bt709 -color_primaries bt709 "
                  "-color_trc bt709 -color_range " +
                  range + " -c:v ffv1 " + quoted(d / (std::string("bt709-") + range + ".mkv")));
        // A sideways phone video (4:4:4, so turning the planes or the pictures agree),
        // and the same pictures turned upright by ffmpeg.
        shell(
            "ffmpeg -v error -f lavfi -i testsrc2=size=96x64:rate=10 -frames:v 3 -c:v "
            "libx264 -pix_fmt yuv444p " +
            quoted(d / "side.mp4"));
        shell("ffmpeg -v error -i " + quoted(d / "side.mp4") + " -c copy -metadata:s:v rotate=90 " +
              quoted(d / "turned.mp4"));
        shell("ffmpeg -v error -i " + quoted(d / "turned.mp4") + " -c:v ffv1 -pix_fmt yuv444p " +
              quoted(d / "upright.mkv"));
    }
    static void TearDownTestSuite() { delete temp; }
    void SetUp() override {
        if (temp == nullptr) GTEST_SKIP() << "ffmpeg is not installed";
    }
    static fs::path at(const char* name) { return temp->path() / name; }
    static std::vector<VideoFrame> readAll(const fs::path& file) {
        VideoReader reader(file.string());
        std::vector<PacketPtr> audio;
        std::vector<VideoFrame> frames;
        while (auto f = reader.next(audio)) frames.push_back(std::move(*f));
        return frames;
    }
    static drawlet::test::TempDir* temp;
};
drawlet::test::TempDir* MediaClips::temp = nullptr;

TEST_F(MediaClips, SeeksExactlyToAnyFrame) {
    for (const char* file : {"gop.mp4", "gop.avi", "gop.h264"}) {
        SCOPED_TRACE(file);
        const std::vector<VideoFrame> all = readAll(at(file));
        ASSERT_EQ(all.size(), 60u);
        for (const long long n : {1LL, 9LL, 10LL, 11LL, 37LL, 59LL}) {
            SCOPED_TRACE(n);
            VideoReader reader(at(file).string());
            reader.seekToFrame(n);
            std::vector<PacketPtr> audio;
            const auto frame = reader.next(audio);
            ASSERT_TRUE(frame.has_value());
            EXPECT_EQ(frame->index, n);
            EXPECT_EQ(frame->pts, all[n].pts);
            EXPECT_EQ(cv::norm(frame->bgr, all[n].bgr, cv::NORM_INF), 0);
        }
        VideoReader past(at(file).string());
        past.seekToFrame(60);
        std::vector<PacketPtr> audio;
        EXPECT_FALSE(past.next(audio).has_value());
    }
}

// Decoded to BGR with the stream's matrix and range and encoded back with them, a frame
// comes back within 2 levels (4 in full range, where saturated colours clip in RGB); a
// wrong matrix or range would be off by tens of levels.
TEST_F(MediaClips, MatrixAndRangeSurviveDecodeAndEncode) {
    for (const auto& [name, tolerance] : {std::pair{"bt709-tv.mkv", 2}, {"bt709-pc.mkv", 4}}) {
        SCOPED_TRACE(name);
        VideoReader reader(at(name).string());
        OutputVideo video;
        video.width = reader.info().width;
        video.height = reader.info().height;
        video.timeBase = reader.info().timeBase;
        video.frameRate = reader.info().frameRate;
        video.colour = reader.info().colour;
        video.sourceFormat = reader.info().pixelFormat;
        OutputOptions options;
        options.path = options.shownAs = (temp->path() / "back.mkv").string();
        options.encode.codec = "ffv1";
        options.encode.pixelFormat = "yuv420p";
        auto output = openOutput(video, options);
        std::vector<PacketPtr> audio;
        while (auto f = reader.next(audio)) output->write(f->bgr, nullptr, f->pts, f->index);
        output->finish({}, {});
        const std::string raw =
            " -fps_mode passthrough -f rawvideo -pix_fmt yuv420p - | od -An -v -tu1 -w1";
        const std::string before = shell("ffmpeg -v error -i " + quoted(at(name)) + raw);
        const std::string after = shell("ffmpeg -v error -i " + quoted(at("back.mkv")) + raw);
        std::istringstream a(before), b(after);
        int x = 0, y = 0, worst = 0, count = 0;
        while (a >> x && b >> y) {
            worst = std::max(worst, std::abs(x - y));
            ++count;
        }
        EXPECT_EQ(count, 128 * 96 * 3 / 2 * 3);
        EXPECT_LE(worst, tolerance);
        EXPECT_EQ(probe(at("back.mkv"), "stream=color_space,color_range"),
                  probe(at(name), "stream=color_space,color_range"));
    }
}

TEST_F(MediaClips, SidewaysVideosAreReadUpright) {
    const std::vector<VideoFrame> turned = readAll(at("turned.mp4"));
    const std::vector<VideoFrame> upright = readAll(at("upright.mkv"));
    ASSERT_EQ(turned.size(), 3u);
    ASSERT_EQ(upright.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(turned[i].bgr.size(), cv::Size(64, 96));
        EXPECT_LE(cv::norm(turned[i].bgr, upright[i].bgr, cv::NORM_INF), 3);
    }
}

}  // namespace
