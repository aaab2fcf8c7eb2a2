#include "controls/gif_graphic.h"

#include <vector>

#include "gif/gif_extensions.h"
#include "graphics/stream.h"

namespace clipsmith {

std::unique_ptr<TGIFImage> LoadGIFFromBytes(std::span<const std::uint8_t> bytes) {
  TMemoryStream stream(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
  auto image = std::make_unique<TGIFImage>();
  image->LoadFromStream(stream);
  return image;
}

QImage GIFFrameToImage(TGIFImage& image, int index) {
  if (index < 0 || index >= image.Images().Count()) return {};
  TGIFFrame* frame = image.Images()[index];
  const int w = frame->Width(), h = frame->Height();
  if (w <= 0 || h <= 0 || frame->Empty()) return {};
  TGIFColorMap& map = frame->ActiveColorMap();
  const auto colors = map.Data();
  int transparent = -1;
  if (TGIFGraphicControlExtension* gce = frame->GraphicControlExtension(); gce && gce->Transparent())
    transparent = gce->TransparentColorIndex();
  QImage out(w, h, QImage::Format_ARGB32);
  for (int y = 0; y < h; ++y) {
    const std::uint8_t* row = frame->RowData(y);
    auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
    for (int x = 0; x < w; ++x) {
      const int v = row[x];
      if (v == transparent) {
        line[x] = qRgba(0, 0, 0, 0);
        continue;
      }
      const TGIFColor c = std::size_t(v) < colors.size() ? colors[std::size_t(v)]
                          : colors.empty()               ? TGIFColor{}
                                                         : colors[0];
      line[x] = qRgb(c.Red, c.Green, c.Blue);
    }
  }
  return out;
}

}  // namespace clipsmith
