// Prints the results of every pow, sin and cos call the filter can make (the tone curve
// for each "V濃度" value, the pattern rotation for each whole-degree angle) as exact bits,
// one per line, so that the C runtimes of two builds can be compared line by line.
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

std::uint64_t bits(double value) {
    std::uint64_t b = 0;
    std::memcpy(&b, &value, sizeof b);
    return b;
}

}  // namespace

int main() {
    for (int vFlag = -20; vFlag <= 9; ++vFlag) {
        const double exponent = (10 - vFlag) / 10.0;
        for (int i = 0; i < 256; ++i) {
            const double base =
                vFlag >= 0 ? i / 255.0 : static_cast<double>(i * (255 + vFlag)) / 255 / 255;
            std::printf("pow %d %d %016" PRIx64 "\n", vFlag, i, bits(std::pow(base, exponent)));
        }
    }
    for (int angle = -360; angle <= 360; ++angle) {
        const double theta = angle * 3.141592653589793 / 180.0;
        std::printf("sin %d %016" PRIx64 "\ncos %d %016" PRIx64 "\n", angle, bits(std::sin(theta)),
                    angle, bits(std::cos(theta)));
    }
    return 0;
}
