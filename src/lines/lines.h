// The line drawer: edge maps and contours of the frame, and the strokes drawn along them.
#pragma once

#include <opencv2/core.hpp>
#include <span>
#include <vector>

namespace drawlet {

// One sample of a colour-edge stroke: its point, its recorded colour, and whether it lies on
// a colour step (1.0) or not (0.0).
struct StrokeSample {
    int x;
    int y;
    double b;
    double g;
    double r;
    double edge;
};

using Contour = std::vector<cv::Point>;

// The contours found in the current frame; emptied by releaseContours.
extern std::vector<Contour> contourStorage;

// The threshold levels of the passes: for line type 0, 20, 20 + interval, ... below 240
// (an interval below 1 counts as 1); one pass otherwise.
std::vector<int> passLevels(int lineType, int extractInterval);

// srcImage to HSV in scratchImages[0], and its V plane into scratchImages[1].
void prepareValuePlane();

// Builds the edge map of the current line type in scratchImages[2] and finds its contours
// into contourStorage; returns the first, or null when the map has none.
const Contour* extractContours(int level);

void releaseContours();

// 1 when a 4-neighbour of pixel (x, y) of srcImage differs from it by more than `threshold`
// in summed absolute B, G, R differences; a neighbour outside the image is the pixel itself.
int isColourEdge(int x, int y, double threshold);

// Clears the edge flag of runs of fewer than four edge samples, on the ring of samples,
// visiting them in order and updating in place.
void suppressShortRuns(std::span<StrokeSample> samples);

void strokeContour(const Contour& contour);

// All passes of the current line type drawn onto canvasImage.
void drawLines();

}  // namespace drawlet
