// Writes a small animated GIF made from generated frames and prints where it is.
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "gif/gif_extensions.h"
#include "gif/gif_image.h"

using namespace clipsmith;

int main(int argc, char** argv) {
  const std::string out = argc > 1 ? argv[1] : (std::filesystem::temp_directory_path() / "clipsmith-demo.gif").string();
  constexpr int W = 160, H = 120, Frames = 24;
  TGIFImage image;
  for (int k = 0; k < Frames; ++k) {
    TGIFFrame* f = TGIFFrame::Create(&image);
    f->ChangeBounds(0, 0, W, H);
    // a palette that turns with the frame: every frame carries its own
    for (int i = 0; i < 256; ++i) {
      double a = 6.2831853 * (i / 256.0 + k / double(Frames));
      f->ColorMap().Add(RGBColor(std::uint8_t(127.5 + 127.5 * std::sin(a)), std::uint8_t(127.5 + 127.5 * std::sin(a + 2.1)),
                                 std::uint8_t(127.5 + 127.5 * std::sin(a + 4.2))));
    }
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) {
        double dx = x - W / 2.0, dy = y - H / 2.0;
        f->PixelAt(x, y) = std::uint8_t(int(std::sqrt(dx * dx + dy * dy) * 3 + std::atan2(dy, dx) * 40.7) & 255);
      }
    if (k == 0) TGIFExtension::Create<TGIFAppExtNSLoop>(f)->SetLoops(0);
    TGIFExtension::Create<TGIFGraphicControlExtension>(f)->SetDelay(6);
  }
  try {
    image.SaveToFile(out);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "clipsmith-demo: %s\n", e.what());
    return 1;
  }
  std::printf("Wrote %d frames of %dx%d to %s\n", Frames, W, H, out.c_str());
  return 0;
}
