// The per-pixel hatching of a range of rows: canvas rows in HSV form from the HSV picture in
// scratchImages[0].
#pragma once

#include <cstddef>
#include <cstdint>

#include "hatching/hatching_frame.h"

namespace drawlet {

// Rows firstRow..endRow - 1 of the canvas, written to `out` (its first row is canvas row
// firstRow; `outStep` bytes a row). The fast path when the frame allows it (frame.fast),
// else the plain per-pixel path. With diffusion, the draws of the first row are found from
// frame.bandStarts, so any range of rows can be painted on its own and gives the bytes of a
// whole-frame run.
void hatchRows(const HatchingFrame& frame, int firstRow, int endRow, std::uint8_t* out,
               std::size_t outStep);

// The plain path alone, whatever the frame allows: the reference of the fast path.
void hatchRowsPlain(const HatchingFrame& frame, int firstRow, int endRow, std::uint8_t* out,
                    std::size_t outStep);

}  // namespace drawlet
