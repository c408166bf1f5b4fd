// The pattern bank: finding, loading, failing once, and preparing the scaled patterns.
#include "hatching/pattern_bank.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <opencv2/imgcodecs.hpp>
#include <vector>

#include "host/registration.h"
#include "interface/parameters.h"
#include "kit/text_encoding.h"
#include "unit_support.h"

namespace drawlet {
namespace {

namespace fs = std::filesystem;

class PatternBank : public test::FilterFixture {
  protected:
    void update(int width = 64, int height = 48) {
        request = DrawletFrameRequest{};
        request.width = width;
        request.height = height;
        updatePatternBank(*reg, request);
    }
    // Marks the prepared images so that a re-preparation can be told from none.
    void markPrepared() {
        for (cv::Mat& m : patternScaled) m.at<uchar>(0, 0) = 1;
    }
    bool preparedAgain() const { return patternScaled[3].at<uchar>(0, 0) != 1; }
};

TEST_F(PatternBank, FirstFrameLoadsWhateverTheNumber) {
    update();
    ASSERT_FALSE(patternScaled[0].empty());
    EXPECT_EQ(loadedPatternNo, 0);
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(patternOriginals[i].type(), CV_8UC1);
        EXPECT_EQ(patternOriginals[i].size(), cv::Size(16, 16));
    }
    // h3 of the striped set has 4 dark columns out of every 8.
    EXPECT_EQ(patternOriginals[3].at<uchar>(0, 3), 40);
    EXPECT_EQ(patternOriginals[3].at<uchar>(0, 4), 250);
}

TEST_F(PatternBank, NumberedSetsAndTheFolderRule) {
    test::writePatternSet(dir.path() / "Drawlet" / "img3", 8, test::flatPattern);
    setSlider(track::kPatternNo, 3);
    update();
    ASSERT_FALSE(patternScaled[0].empty());
    EXPECT_EQ(patternOriginals[0].size(), cv::Size(8, 8));

    // Without a Drawlet folder the sets are looked for in the directory itself.
    test::TempDir bare;
    test::writePatternSet(bare.path() / "img", 4, test::flatPattern);
    GetFilterTable();
    setPatternBaseDirectory(bare.path().c_str());
    setSlider(track::kPatternNo, 0);
    update();
    ASSERT_FALSE(patternScaled[0].empty());
    EXPECT_EQ(patternOriginals[0].size(), cv::Size(4, 4));
    EXPECT_TRUE(window.messages.empty());
}

TEST_F(PatternBank, MissingFileGivesOneMessageAndNoSet) {
    test::writePatternSet(dir.path() / "Drawlet" / "img2", 8, test::flatPattern, 4);
    update();
    ASSERT_FALSE(patternScaled[0].empty());
    setSlider(track::kPatternNo, 2);
    for (int frame = 0; frame < 3; ++frame) update();
    ASSERT_EQ(window.messages.size(), 1u);
    const std::string text = kit::cp932ToUtf8(window.messages[0]);
    const std::string path = (dir.path() / "Drawlet").string() + "/img2/h4.bmp";
    EXPECT_EQ(text, path + " の読み込みに失敗しました");
    EXPECT_EQ(kit::cp932ToUtf8(window.captions[0]), "エラー");
    for (int i = 0; i < 7; ++i) {
        EXPECT_TRUE(patternOriginals[i].empty());
        EXPECT_TRUE(patternScaled[i].empty());
    }
    // A change of scale alone does nothing while there is no set.
    setSlider(track::kPatternScale, 300);
    update();
    EXPECT_TRUE(patternScaled[0].empty());
    EXPECT_EQ(window.messages.size(), 1u);
    // Going back to a set that loads works again.
    setSlider(track::kPatternNo, 0);
    update();
    EXPECT_FALSE(patternScaled[6].empty());
}

TEST_F(PatternBank, CorruptFileIsAFailedLoadNotACrash) {
    const fs::path folder = dir.path() / "Drawlet" / "img5";
    test::writePatternSet(folder, 8, test::flatPattern);
    {
        std::FILE* f = std::fopen((folder / "h2.bmp").c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fputs("BM this is not a bitmap", f);
        std::fclose(f);
    }
    setSlider(track::kPatternNo, 5);
    update();
    EXPECT_TRUE(patternScaled[0].empty());
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_NE(window.messages[0].find("/img5/h2.bmp"), std::string::npos);
}

// A gray bitmap whose header claims `rows` rows of 4 pixels, followed by one row of data.
void writeBitmapClaimingRows(const fs::path& path, std::int32_t rows) {
    std::vector<std::uint8_t> bytes(54 + 1024 + 4, 0);
    const auto put = [&](std::size_t at, std::uint32_t v, int size) {
        for (int k = 0; k < size; ++k) bytes[at + k] = static_cast<std::uint8_t>(v >> (8 * k));
    };
    bytes[0] = 'B';
    bytes[1] = 'M';
    put(2, static_cast<std::uint32_t>(bytes.size()), 4);
    put(10, 54 + 1024, 4);  // offset of the pixels
    put(14, 40, 4);         // header size
    put(18, 4, 4);          // width
    put(22, static_cast<std::uint32_t>(rows), 4);
    put(26, 1, 2);  // planes
    put(28, 8, 2);  // bits per pixel
    for (int i = 0; i < 256; ++i) put(54 + 4 * static_cast<std::size_t>(i), i * 0x010101u, 4);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

// Crafted files in place of h3.bmp, after set 0 was ready. What the reader cannot read (it
// throws on a header claiming more rows than it accepts) is a failed load like a missing
// file: one message, no set, and the frames refused, also after a scale and angle change,
// never drawn with set 0's patterns. A PNG under the .bmp name is a picture it knows.
TEST_F(PatternBank, CraftedFilesLoadWholeOrFailWhole) {
    const struct {
        const char* what;
        void (*make)(const fs::path&);
        bool loads;
    } cases[] = {
        {"header claiming 16000004 rows",
         [](const fs::path& p) { writeBitmapClaimingRows(p, 16000004); }, false},
        {"empty file", [](const fs::path& p) { std::ofstream{p}; }, false},
        {"folder", [](const fs::path& p) { fs::create_directory(p); }, false},
        {"DICOM header (its reader aborts on a broken one)",
         [](const fs::path& p) {
             std::ofstream(p, std::ios::binary) << std::string(128, '\0') << "DICM" << '\0';
         },
         false},
        {"bitmap cut short (the reader would print its own diagnostic)",
         [](const fs::path& p) {
             std::vector<uchar> bmp;
             ASSERT_TRUE(cv::imencode(".bmp", cv::Mat(40, 40, CV_8UC1, cv::Scalar(9)), bmp));
             std::ofstream(p, std::ios::binary)
                 .write(reinterpret_cast<const char*>(bmp.data()), 60);
         },
         false},
        {"PNG under the name",
         [](const fs::path& p) {
             std::vector<uchar> png;
             ASSERT_TRUE(cv::imencode(".png", cv::Mat(5, 3, CV_8UC1, cv::Scalar(77)), png));
             std::ofstream(p, std::ios::binary)
                 .write(reinterpret_cast<const char*>(png.data()),
                        static_cast<std::streamsize>(png.size()));
         },
         true},
    };
    const fs::path folder = dir.path() / "Drawlet" / "img7";
    cv::Mat scene(6, 10, CV_8UC3);
    cv::randu(scene, 0, 256);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        setSlider(track::kPatternNo, 0);
        setSlider(track::kPatternScale, 100);
        setSlider(track::kPatternAngle, 0);
        cv::Mat out;
        ASSERT_EQ(processBgr(scene, out), 1);
        window.messages.clear();
        fs::remove_all(folder);
        test::writePatternSet(folder, 8, test::flatPattern, 3);
        c.make(folder / "h3.bmp");

        setSlider(track::kPatternNo, 7);
        testing::internal::CaptureStderr();
        const int first = processBgr(scene, out);
        const std::string diagnostics = testing::internal::GetCapturedStderr();
        EXPECT_EQ(diagnostics.find("imread"), std::string::npos) << diagnostics;
        setSlider(track::kPatternScale, 50);
        setSlider(track::kPatternAngle, 30);
        cv::Mat later;
        const int second = processBgr(scene, later);
        if (c.loads) {
            EXPECT_EQ(first, 1);
            EXPECT_EQ(second, 1);
            EXPECT_TRUE(window.messages.empty());
            EXPECT_EQ(patternOriginals[3].size(), cv::Size(3, 5));
            EXPECT_EQ(patternOriginals[3].at<uchar>(0, 0), 77);
            continue;
        }
        EXPECT_EQ(first, 0);
        EXPECT_EQ(second, 0);
        EXPECT_EQ(cv::norm(out, scene, cv::NORM_INF), 0);
        EXPECT_EQ(cv::norm(later, scene, cv::NORM_INF), 0);
        ASSERT_EQ(window.messages.size(), 1u);
        EXPECT_TRUE(kit::cp932ToUtf8(window.messages[0])
                        .ends_with("/img7/h3.bmp の読み込みに失敗しました"));
        for (int i = 0; i < 7; ++i) {
            EXPECT_TRUE(patternOriginals[i].empty());
            EXPECT_TRUE(patternScaled[i].empty());
        }
    }
}

TEST_F(PatternBank, ScaleAndAngleRepreparesFrameSizeAloneDoesNot) {
    update();
    markPrepared();
    update(64, 48);
    EXPECT_FALSE(preparedAgain());
    update(100, 20);  // size only
    EXPECT_FALSE(preparedAgain());
    setSlider(track::kPatternAngle, 10);
    update();
    EXPECT_TRUE(preparedAgain());
    markPrepared();
    setSlider(track::kPatternScale, 101);
    update();
    EXPECT_TRUE(preparedAgain());
    markPrepared();
    setSlider(track::kPatternScale, 100);
    update();
    EXPECT_TRUE(preparedAgain());
    markPrepared();
    update();
    EXPECT_FALSE(preparedAgain());
}

TEST_F(PatternBank, MatrixOfScaleAndAngle) {
    setSlider(track::kPatternScale, 250);
    update(64, 48);
    const double* a = patternInverseAffine;
    EXPECT_NEAR(a[0], 0.4, 1e-15);
    EXPECT_NEAR(a[4], 0.4, 1e-15);
    EXPECT_NEAR(a[1], 0.0, 1e-15);
    EXPECT_NEAR(a[3], 0.0, 1e-15);
    // The frame centre lands on the pattern centre.
    EXPECT_NEAR(a[0] * 32 + a[1] * 24 + a[2], 8.0, 1e-12);
    EXPECT_NEAR(a[3] * 32 + a[4] * 24 + a[5], 8.0, 1e-12);
    EXPECT_EQ(patternScaled[0].size(), cv::Size(16, 16));  // enlarged through the matrix

    setSlider(track::kPatternScale, 100);
    setSlider(track::kPatternAngle, 0);
    update(64, 48);
    EXPECT_DOUBLE_EQ(a[2], 8.0 - 32.0);  // a pure translation
    EXPECT_DOUBLE_EQ(a[5], 8.0 - 24.0);
    EXPECT_EQ(a[0], 1.0);

    setSlider(track::kPatternAngle, 90);
    update(64, 48);
    EXPECT_EQ(currentPatternAngle, 1.5707963267948966);
    EXPECT_NE(a[0], 0.0);  // cos(pi/2) is not exactly 0
    EXPECT_NEAR(a[0], 6.1e-17, 1e-17);
    EXPECT_NEAR(a[1], 1.0, 1e-15);
    EXPECT_NEAR(a[3], -1.0, 1e-15);
}

TEST_F(PatternBank, ShrinkingSizesAndClamps) {
    test::writePatternSet(dir.path() / "Drawlet" / "img1", 64, test::stripedPattern);
    setSlider(track::kPatternNo, 1);
    setSlider(track::kPatternScale, 50);
    update();
    EXPECT_EQ(patternScaled[2].size(), cv::Size(32, 32));
    EXPECT_EQ(patternInverseAffine[0], 1.0);  // no scale part in the matrix
    setSlider(track::kPatternScale, 1);       // 0.64 truncates to 0, clamped to 1
    update();
    EXPECT_EQ(patternScaled[2].size(), cv::Size(1, 1));
}

TEST_F(PatternBank, PreparedWidthClampedTo2048) {
    const fs::path folder = dir.path() / "Drawlet" / "img4";
    fs::create_directories(folder);
    for (int i = 0; i < 7; ++i)
        ASSERT_TRUE(cv::imwrite((folder / ("h" + std::to_string(i) + ".bmp")).string(),
                                cv::Mat(2, 5000, CV_8UC1, cv::Scalar(200))));
    setSlider(track::kPatternNo, 4);
    setSlider(track::kPatternScale, 90);
    update();
    EXPECT_EQ(patternScaled[0].size(), cv::Size(2048, 1));
}

TEST_F(PatternBank, ColourFilesAreReadAsGray) {
    const fs::path folder = dir.path() / "Drawlet" / "img6";
    fs::create_directories(folder);
    for (int i = 0; i < 7; ++i)
        ASSERT_TRUE(cv::imwrite((folder / ("h" + std::to_string(i) + ".bmp")).string(),
                                cv::Mat(3, 3, CV_8UC3, cv::Scalar(0, 0, 255))));
    setSlider(track::kPatternNo, 6);
    update();
    ASSERT_FALSE(patternScaled[0].empty());
    EXPECT_EQ(patternOriginals[0].type(), CV_8UC1);
    EXPECT_EQ(patternOriginals[0].at<uchar>(1, 1), 76);  // 0.299 * 255
}

TEST_F(PatternBank, ReleaseEmptiesBothArrays) {
    update();
    releasePatterns();
    releasePatterns();
    for (int i = 0; i < 7; ++i) {
        EXPECT_TRUE(patternOriginals[i].empty());
        EXPECT_TRUE(patternScaled[i].empty());
    }
}

}  // namespace
}  // namespace drawlet
