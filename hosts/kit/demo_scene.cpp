#include "kit/demo_scene.h"

#include <cmath>
#include <opencv2/imgproc.hpp>

namespace drawlet::kit {

namespace {

// A ball lit from the upper left: brightness falls off with the angle to the light.
void drawShadedBall(cv::Mat& img, cv::Point2d centre, double radius, cv::Vec3d colour) {
    const int x0 = std::max(0, static_cast<int>(centre.x - radius));
    const int x1 = std::min(img.cols - 1, static_cast<int>(centre.x + radius));
    const int y0 = std::max(0, static_cast<int>(centre.y - radius));
    const int y1 = std::min(img.rows - 1, static_cast<int>(centre.y + radius));
    for (int y = y0; y <= y1; ++y) {
        auto* row = img.ptr<cv::Vec3b>(y);
        for (int x = x0; x <= x1; ++x) {
            const double dx = (x - centre.x) / radius, dy = (y - centre.y) / radius;
            const double r2 = dx * dx + dy * dy;
            if (r2 > 1) continue;
            const double dz = std::sqrt(1 - r2);
            const double light = std::max(0.0, (-0.5 * dx - 0.6 * dy + 0.62 * dz));
            const double shade = 0.15 + 0.85 * light;
            for (int c = 0; c < 3; ++c)
                row[x][c] = cv::saturate_cast<uchar>(colour[c] * shade + 40 * std::pow(light, 12));
        }
    }
}

}  // namespace

cv::Mat drawDemoScene(int width, int height, double phase) {
    cv::Mat img(height, width, CV_8UC3);
    // Sky: a vertical gradient from pale blue to warm white.
    for (int y = 0; y < height; ++y) {
        const double t = static_cast<double>(y) / std::max(1, height - 1);
        img.row(y).setTo(cv::Scalar(235 - 60 * t, 215 - 20 * t, 170 + 60 * t));
    }
    const double s = std::min(width, height) / 640.0;
    // Ground: a horizontal band with a left-to-right gradient.
    const int horizon = static_cast<int>(height * 0.68);
    for (int y = horizon; y < height; ++y) {
        auto* row = img.ptr<cv::Vec3b>(y);
        for (int x = 0; x < width; ++x) {
            const double t = static_cast<double>(x) / std::max(1, width - 1);
            row[x] = cv::Vec3b(static_cast<uchar>(40 + 50 * t), static_cast<uchar>(110 + 60 * t),
                               static_cast<uchar>(70 + 40 * t));
        }
    }
    // Hills and a house with a roof.
    cv::ellipse(img, cv::Point(static_cast<int>(width * 0.2), horizon),
                cv::Size(int(260 * s), int(120 * s)), 0, 180, 360, cv::Scalar(60, 130, 80),
                cv::FILLED, cv::LINE_AA);
    const cv::Point house(static_cast<int>(width * 0.62), horizon);
    cv::rectangle(img, house + cv::Point(0, int(-150 * s)), house + cv::Point(int(190 * s), 0),
                  cv::Scalar(90, 150, 210), cv::FILLED, cv::LINE_AA);
    const std::vector<cv::Point> roof = {house + cv::Point(int(-20 * s), int(-150 * s)),
                                         house + cv::Point(int(95 * s), int(-240 * s)),
                                         house + cv::Point(int(210 * s), int(-150 * s))};
    cv::fillConvexPoly(img, roof, cv::Scalar(50, 60, 160), cv::LINE_AA);
    cv::rectangle(img, house + cv::Point(int(30 * s), int(-110 * s)),
                  house + cv::Point(int(80 * s), int(-60 * s)), cv::Scalar(200, 230, 250),
                  cv::FILLED, cv::LINE_AA);
    cv::rectangle(img, house + cv::Point(int(110 * s), int(-95 * s)),
                  house + cv::Point(int(160 * s), 0), cv::Scalar(40, 70, 110), cv::FILLED,
                  cv::LINE_AA);
    // A shaded sun and a ball that moves with the phase.
    drawShadedBall(img, {width * 0.82, height * 0.18}, 55 * s, {120, 210, 255});
    const double bx = width * (0.15 + 0.5 * phase);
    drawShadedBall(img, {bx, horizon + 70 * s - 40 * s * std::sin(phase * 3.14159)}, 60 * s,
                   {60, 60, 220});
    // Fine detail: grass blades and a fence.
    for (int i = 0; i < width; i += std::max(3, int(7 * s))) {
        const int h = 8 + (i * 37) % 17;
        cv::line(img, {i, height - 4}, {i + (i % 5) - 2, height - 4 - int(h * s)},
                 cv::Scalar(30, 90, 40), 1, cv::LINE_AA);
    }
    for (int x = int(width * 0.05); x < int(width * 0.5); x += int(24 * s) + 1)
        cv::line(img, {x, horizon + int(10 * s)}, {x, horizon - int(40 * s)},
                 cv::Scalar(60, 90, 120), std::max(1, int(3 * s)), cv::LINE_AA);
    cv::line(img, {int(width * 0.05), horizon - int(30 * s)},
             {int(width * 0.5), horizon - int(30 * s)}, cv::Scalar(60, 90, 120),
             std::max(1, int(2 * s)), cv::LINE_AA);
    return img;
}

}  // namespace drawlet::kit
