// Full-size hatching positions from a displacement found at a reduced size: each full-size row
// is the bilinear blend of two reduced rows, widened to the frame's width (pixel centres
// aligned, the ends replicated), added to every pixel's own position and wrapped into the
// frame. A width four times the reduced one (1920 from 480) is widened four columns of the
// reduced row at a time; it gives the same bytes as the column table every width uses.
#pragma once

#include <vector>

namespace drawlet::run {

// Where each full-size column reads a reduced row: left[x] * leftWeight[x] +
// right[x] * rightWeight[x].
struct Widening {
    int reducedWidth = 0, width = 0;
    std::vector<int> left, right;
    std::vector<float> leftWeight, rightWeight;

    Widening() = default;
    Widening(int reduced, int full);
    // Whether the four-column blocks serve: the width is four times the reduced one.
    bool fourfold() const { return width == 4 * reducedWidth && reducedWidth >= 6; }
};

// One row of positions: out[x] = own(x) + widened reduced[x], wrapped into [0, limit], where
// own(x) is ownStart + ownStep * x (the column for x positions: 0 and 1; the row for y
// positions: y and 0). `fast` false takes the column table for every width.
void positionRow(const float* reduced, const Widening& widening, float ownStart, float ownStep,
                 float limit, float* out, bool fast = true);

}  // namespace drawlet::run
