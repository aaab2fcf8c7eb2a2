// Row loops are instantiated once per kind of lookup: the kind is tested once per row and every
// pixel then calls the concrete lookup directly, inlined.
#pragma once

#include <cstdint>

#include "gif/color_lookup.h"

namespace clipsmith {

struct TFastNearest {
  TSlowColorLookup& L;
  // Where the entry packed as index << 24 | blue << 16 | green << 8 | red for the colour packed
  // the same way (without an index) is kept, as the low half of 8 bytes.
  const std::uint64_t* SlotOf(std::uint32_t rgb) const { return L.RecentSlotOf(rgb); }
  std::uint8_t Find(int r, int g, int b, int& R, int& G, int& B) const {
    const std::uint32_t e = L.NearestFastEntry(r, g, b);
    R = int(e & 0xFF), G = int((e >> 8) & 0xFF), B = int((e >> 16) & 0xFF);
    return std::uint8_t(e >> 24);
  }
};

struct TBruteForceNearest {
  TSlowColorLookup& L;
  std::uint8_t Find(int r, int g, int b, int& R, int& G, int& B) const {
    const int i = L.NearestBruteForce(r, g, b);
    L.ColorOf(i, R, G, B);
    return std::uint8_t(i);
  }
};

template <class T>
struct TStaticLookup {
  std::uint8_t Find(int r, int g, int b, int& R, int& G, int& B) const { return T::LookupInline(r, g, b, R, G, B); }
};

template <class F>
void WithLookup(TColorLookup& lookup, F&& f) {
  switch (lookup.Kind()) {
    case TLookupKind::Slow: {
      auto& slow = static_cast<TSlowColorLookup&>(lookup);
      if (slow.Search() == TNearestSearch::Fast) {
        TFastNearest l{slow};
        f(l);
      } else {
        TBruteForceNearest l{slow};
        f(l);
      }
      return;
    }
    case TLookupKind::Netscape: {
      TStaticLookup<TNetscapeColorLookup> l;
      f(l);
      return;
    }
    case TLookupKind::GrayScale: {
      TStaticLookup<TGrayScaleLookup> l;
      f(l);
      return;
    }
    case TLookupKind::Monochrome: {
      TStaticLookup<TMonochromeLookup> l;
      f(l);
      return;
    }
  }
}

}  // namespace clipsmith
