// The order in which an interlaced frame's rows arrive: passes start at rows 0, 4, 2, 1 with
// steps 8, 8, 4, 2. Shared by everything that decodes image data into rows.
#pragma once

namespace clipsmith {

struct TInterlacedRows {
  int Row = 0;
  int Pass = 0;
  int Step = 8;

  // Moves to the next row; false once every pass is done.
  bool Next(int height) {
    Row += Step;
    while (Row >= height && Step > 0) {
      if (Pass > 0) Step /= 2;
      ++Pass;
      Row = Step / 2;
    }
    return Step != 0;
  }
};

}  // namespace clipsmith
