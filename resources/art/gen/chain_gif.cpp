#include "chain_gif.h"

#include <algorithm>
#include <limits>
#include <map>

#include "gif/gif_extensions.h"
#include "gif/gif_image.h"
#include "gloss.h"

namespace artgen {

using namespace clipsmith;

namespace {

QRgb Flatten(QRgb px) {
  const int a = qAlpha(px);
  auto ch = [a](int fg, int bg) { return (fg * a + bg * (255 - a) + 127) / 255; };
  return qRgb(ch(qRed(px), kWorkArea.red()), ch(qGreen(px), kWorkArea.green()), ch(qBlue(px), kWorkArea.blue()));
}

bool IsClear(QRgb px) { return qAlpha(px) < 64; }

}  // namespace

std::vector<std::uint8_t> ChainGIF(const std::vector<QImage>& frames, int delayHundredths) {
  // The 127 most used colours (ties by value, so the table is the same on every run).
  std::map<QRgb, int> use;
  for (const QImage& f : frames) {
    const QImage img = f.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < img.height(); ++y)
      for (int x = 0; x < img.width(); ++x)
        if (!IsClear(img.pixel(x, y))) ++use[Flatten(img.pixel(x, y))];
  }
  std::vector<std::pair<QRgb, int>> ranked(use.begin(), use.end());
  std::stable_sort(ranked.begin(), ranked.end(), [](auto& a, auto& b) { return a.second > b.second; });
  std::vector<QRgb> table(kChainColors, qRgb(0, 0, 0));
  table[kChainTransparentIndex] = kWorkArea.rgb();
  std::vector<int> entries;
  for (int i = 0; i < kChainColors; ++i)
    if (i != kChainTransparentIndex) entries.push_back(i);
  for (std::size_t k = 0; k < entries.size() && k < ranked.size(); ++k) table[std::size_t(entries[k])] = ranked[k].first;
  const std::size_t used = std::min(entries.size(), ranked.size());

  auto nearest = [&](QRgb c) {
    int best = entries.front();
    long bestD = std::numeric_limits<long>::max();
    for (std::size_t k = 0; k < used; ++k) {
      const QRgb t = table[std::size_t(entries[k])];
      const long dr = qRed(c) - qRed(t), dg = qGreen(c) - qGreen(t), db = qBlue(c) - qBlue(t);
      const long d = dr * dr + dg * dg + db * db;
      if (d < bestD) {
        bestD = d;
        best = entries[k];
      }
    }
    return best;
  };

  TGIFImage gif;
  auto fill = [&](TGIFColorMap& map) {
    for (QRgb c : table) map.Add(RGBColor(std::uint8_t(qRed(c)), std::uint8_t(qGreen(c)), std::uint8_t(qBlue(c))));
  };
  fill(gif.GlobalColorMap());
  for (const QImage& f : frames) {
    const QImage img = f.convertToFormat(QImage::Format_ARGB32);
    TGIFFrame* frame = TGIFFrame::Create(&gif);
    frame->ChangeBounds(0, 0, img.width(), img.height());
    fill(frame->ColorMap());
    for (int y = 0; y < img.height(); ++y)
      for (int x = 0; x < img.width(); ++x) {
        const QRgb px = img.pixel(x, y);
        frame->PixelAt(x, y) = std::uint8_t(IsClear(px) ? kChainTransparentIndex : nearest(Flatten(px)));
      }
    auto* gce = TGIFExtension::Create<TGIFGraphicControlExtension>(frame);
    gce->SetTransparentColorIndex(kChainTransparentIndex);
    gce->SetTransparent(true);
    gce->SetDelay(delayHundredths);
  }
  TMemoryStream out;
  gif.SaveToStream(out);
  return out.Bytes();
}

}  // namespace artgen
