#include "gif/dither.h"

#include <algorithm>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "lookup_dispatch.h"

namespace clipsmith {

namespace {

inline int Clamp255(int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }

}  // namespace

void TErrorLimit::Build(int s1, int s2) {
  for (int i = 0; i <= 255; ++i) {
    int v;
    if (i < s1)
      v = i;
    else if (i < s2)
      v = s1 + (i - s1) / 2;
    else
      v = s1 + (s2 - s1) / 2;
    (*this)[i] = v;
    (*this)[-i] = -v;
  }
}

// ---------------------------------------------------------------------------------------------
// The plain engine.

TDitherEngine::TDitherEngine(int AWidth, TColorLookup& Lookup) : FLookup(&Lookup), FWidth(AWidth) {}

void TDitherEngine::Reset() {
  FDirection = 1;
  FColumn = 0;
}

std::uint8_t TDitherEngine::Dither(int Red, int Green, int Blue, int& R, int& G, int& B) {
  const std::uint8_t index = FLookup->Lookup(Red, Green, Blue, R, G, B);
  NextColumn();
  return index;
}

void TDitherEngine::NextLine() {
  FDirection = -FDirection;
  FColumn = FDirection == 1 ? 0 : FWidth - 1;
}

void TDitherEngine::DitherRowSlow(const std::uint8_t* src, std::uint8_t* dst) {
  int r, g, b;
  while (FColumn >= 0 && FColumn < FWidth) {
    const int c = FColumn;
    const std::uint8_t* p = src + std::ptrdiff_t(c) * 3;
    dst[c] = Dither(p[2], p[1], p[0], r, g, b);
  }
}

void TDitherEngine::DitherRow(const std::uint8_t* src, std::uint8_t* dst) {
  WithLookup(*FLookup, [&](auto& lookup) {
    int r, g, b;
    const int d = FDirection;
    int c = FColumn;
    for (; c >= 0 && c < FWidth; c += d) {
      const std::uint8_t* p = src + std::ptrdiff_t(c) * 3;
      dst[c] = lookup.Find(p[2], p[1], p[0], r, g, b);
    }
    FColumn = c;
  });
}

// ---------------------------------------------------------------------------------------------
// Floyd-Steinberg. The error of a pixel goes 7/16 to the next pixel of the row, and 3/16, 5/16
// and 1/16 to the pixels behind, below and ahead in the next row. The next-row terms are built up
// in three running sums that shift along with the pixel, so the array holds one term per column.

TFloydSteinbergDitherer::TFloydSteinbergDitherer(int AWidth, TColorLookup& Lookup) : TDitherEngine(AWidth, Lookup) {
  ErrorLimit.Build(16, 48);
  FErrors.assign((std::size_t(AWidth) + 2) * 4, 0);
  FCorrection.resize(2 * kTermRange + 1);
  for (int x = -kTermRange; x <= kTermRange; ++x)
    FCorrection[std::size_t(x + kTermRange)] = std::int16_t(ErrorLimit[std::clamp((x + 8) / 16, -255, 255)]);
}

void TFloydSteinbergDitherer::Reset() {
  TDitherEngine::Reset();
  std::fill(FErrors.begin(), FErrors.end(), 0);
  FPosition = 0;
  for (int ch = 0; ch < 3; ++ch) FCurrent[ch] = FBelow[ch] = FBelowPrev[ch] = 0;
}

std::uint8_t TFloydSteinbergDitherer::Dither(int Red, int Green, int Blue, int& R, int& G, int& B) {
  const int v[3] = {Red, Green, Blue};
  int w[3];
  std::int16_t* A = FErrors.data() + std::size_t(FPosition) * 4;
  for (int ch = 0; ch < 3; ++ch) {
    // (x + 8) div 16, the division truncating toward zero.
    const int t = (FCurrent[ch] + A[ch] + 8) / 16;
    w[ch] = Clamp255(v[ch] + ErrorLimit[t]);
    FCurrent[ch] = w[ch];
  }
  const std::uint8_t index = TDitherEngine::Dither(w[0], w[1], w[2], R, G, B);
  const int p[3] = {R, G, B};
  for (int ch = 0; ch < 3; ++ch) {
    const int e = w[ch] - p[ch];
    if (e != 0) {
      A[ch] = std::int16_t(FBelowPrev[ch] + 3 * e);
      FBelowPrev[ch] = FBelow[ch] + 5 * e;
      FBelow[ch] = e;
      FCurrent[ch] = 7 * e;
    } else {
      FCurrent[ch] = 0;
    }
  }
  FPosition += FDirection;
  return index;
}

void TFloydSteinbergDitherer::NextLine() {
  for (int ch = 0; ch < 3; ++ch) {
    FErrors[std::size_t(FPosition) * 4 + std::size_t(ch)] = std::int16_t(FBelowPrev[ch]);
    FCurrent[ch] = FBelow[ch] = FBelowPrev[ch] = 0;
  }
  TDitherEngine::NextLine();
  FPosition = FDirection == 1 ? 0 : FWidth + 1;
}

namespace {

inline void Spread(int e, std::int16_t& a, int& cur, int& below, int& belowPrev) {
  const bool nonZero = e != 0;
  const int newA = belowPrev + 3 * e;
  const int newBelowPrev = below + 5 * e;
  a = nonZero ? std::int16_t(newA) : a;
  belowPrev = nonZero ? newBelowPrev : belowPrev;
  below = nonZero ? e : below;
  cur = 7 * e;
}

}  // namespace

// One row in the direction D (+1 or -1), fixed at compile time so that the loop needs fewer
// registers and keeps the running terms out of memory.
template <int D, class L>
void FloydSteinbergRow(L& lookup, const std::int16_t* correction, const std::uint8_t* src, std::uint8_t* dst, int c0,
                       int count, std::int16_t* a, int (&cur)[3], int (&below)[3], int (&belowPrev)[3]) {
  int curR = cur[0], curG = cur[1], curB = cur[2];
  int belR = below[0], belG = below[1], belB = below[2];
  int bpR = belowPrev[0], bpG = belowPrev[1], bpB = belowPrev[2];
  const std::uint8_t* s = src + std::ptrdiff_t(c0) * 3;
  std::uint8_t* out = dst + c0;
  for (int n = count; n > 0; --n, s += 3 * D, a += 4 * D, out += D) {
    const int wR = Clamp255(s[2] + correction[curR + a[0]]);
    const int wG = Clamp255(s[1] + correction[curG + a[1]]);
    const int wB = Clamp255(s[0] + correction[curB + a[2]]);
    int pR, pG, pB;
    *out = lookup.Find(wR, wG, wB, pR, pG, pB);
    // Whether a term changes depends on the pixel, not on a pattern a branch predictor could
    // learn, so the updates are selects. An error of 0 leaves the terms as they are.
    Spread(wR - pR, a[0], curR, belR, bpR);
    Spread(wG - pG, a[1], curG, belG, bpG);
    Spread(wB - pB, a[2], curB, belB, bpB);
  }
  cur[0] = curR, cur[1] = curG, cur[2] = curB;
  below[0] = belR, below[1] = belG, below[2] = belB;
  belowPrev[0] = bpR, belowPrev[1] = bpG, belowPrev[2] = bpB;
}

#if defined(__SSE2__)
// The same row with the three channels of a pixel side by side in the 16-bit lanes 0 (red),
// 1 (green) and 2 (blue) of a vector; lane 3 and up stay 0. Every term fits 16 bits: the sum
// Cur + A[P] + 8 is at most 7 * 255 + 9 * 255 + 8 in size. The rounding and limiting of the
// correction table is computed: (x + 8) div 16 truncated toward zero is the magnitude shifted
// right by 4 with the sign put back, and the limit of a magnitude q is min(q, (q + 16) div 2, 32)
// (q below 16, q + (q - 16) div 2 ... up to 32), which is the table's limit for 16 and 48.
template <int D, class L>
void FloydSteinbergRowVector(L& lookup, const std::uint8_t* src, std::uint8_t* dst, int c0, int count,
                             std::int16_t* a, int (&cur)[3], int (&below)[3], int (&belowPrev)[3]) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i eight = _mm_set1_epi16(8), sixteen = _mm_set1_epi16(16), limit = _mm_set1_epi16(32);
  // The red, green and blue bytes of a packed entry.
  const __m128i colour = _mm_cvtsi32_si128(0xFFFFFF);
  __m128i vCur = _mm_setr_epi16(short(cur[0]), short(cur[1]), short(cur[2]), 0, 0, 0, 0, 0);
  __m128i vBelow = _mm_setr_epi16(short(below[0]), short(below[1]), short(below[2]), 0, 0, 0, 0, 0);
  __m128i vBelowPrev = _mm_setr_epi16(short(belowPrev[0]), short(belowPrev[1]), short(belowPrev[2]), 0, 0, 0, 0, 0);
  const std::uint8_t* s = src + std::ptrdiff_t(c0) * 3;
  std::uint8_t* out = dst + c0;
  // The loop is bound by the chain from one pixel's error to the next pixel's wanted colour, so
  // whatever does not need the previous pixel is worked out beside that chain: the term from the
  // row above with the rounding's 8, the pixel with the sign of the correction, and the running
  // term Cur + A + 8 as 8 e + (A + 8 - e). The limits to 0..255 come from the saturating pack.
  __m128i run = _mm_add_epi16(_mm_add_epi16(vCur, _mm_loadl_epi64(reinterpret_cast<const __m128i*>(a))), eight);
  for (int n = count; n > 0; --n, s += 3 * D, a += 4 * D, out += D) {
    const __m128i vA = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(a));
    const __m128i x = run;
    const __m128i sign = _mm_srai_epi16(x, 15);
    const __m128i q = _mm_srli_epi16(_mm_sub_epi16(_mm_xor_si128(x, sign), sign), 4);
    const __m128i f = _mm_min_epi16(_mm_min_epi16(q, limit), _mm_srli_epi16(_mm_add_epi16(q, sixteen), 1));
    const int bgr = int(s[2]) | (int(s[1]) << 8) | (int(s[0]) << 16);
    const __m128i pixel = _mm_unpacklo_epi8(_mm_cvtsi32_si128(bgr), zero);
    // pixel + ((f ^ sign) - sign), limited to 0..255 by the pack.
    const __m128i packed = _mm_packus_epi16(_mm_add_epi16(_mm_xor_si128(f, sign), _mm_sub_epi16(pixel, sign)), zero);
    // The wanted colour packed as blue << 16 | green << 8 | red (lane 3 is 0).
    const std::uint32_t rgb = std::uint32_t(_mm_cvtsi128_si32(packed));
    const __m128i w = _mm_unpacklo_epi8(packed, zero);
    __m128i p;
    if constexpr (requires { lookup.SlotOf(rgb); }) {
      // The entry's colour goes from memory to the vector registers directly, not through a
      // general register, which is the shorter way back to the chain.
      const std::uint64_t* slot = lookup.SlotOf(rgb);
      *out = std::uint8_t(*slot >> 24);
      p = _mm_unpacklo_epi8(_mm_and_si128(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(slot)), colour), zero);
    } else {
      int pR, pG, pB;
      const std::uint32_t index = lookup.Find(int(rgb & 0xFF), int((rgb >> 8) & 0xFF), int(rgb >> 16), pR, pG, pB);
      *out = std::uint8_t(index);
      p = _mm_setr_epi16(short(pR), short(pG), short(pB), 0, 0, 0, 0, 0);
    }
    const __m128i e = _mm_sub_epi16(w, p);
    // An error of 0 leaves the terms of its channel as they are.
    const __m128i keep = _mm_cmpeq_epi16(e, zero);
    const __m128i e3 = _mm_add_epi16(_mm_add_epi16(e, e), e);
    const __m128i e5 = _mm_add_epi16(_mm_slli_epi16(e, 2), e);
    const __m128i newA = _mm_add_epi16(vBelowPrev, e3);
    const __m128i newBelowPrev = _mm_add_epi16(vBelow, e5);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(a), _mm_or_si128(_mm_and_si128(keep, vA), _mm_andnot_si128(keep, newA)));
    vBelowPrev = _mm_or_si128(_mm_and_si128(keep, vBelowPrev), _mm_andnot_si128(keep, newBelowPrev));
    vBelow = _mm_or_si128(_mm_and_si128(keep, vBelow), _mm_andnot_si128(keep, e));
    // The next pixel's term from the row above (none after the last pixel: the entry read then is
    // the current one, and the sum goes unused).
    const __m128i nextA = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(n > 1 ? a + 4 * D : a));
    const __m128i e8 = _mm_slli_epi16(e, 3);
    vCur = _mm_sub_epi16(e8, e);
    run = _mm_add_epi16(e8, _mm_sub_epi16(_mm_add_epi16(nextA, eight), e));
  }
  auto lane = [](__m128i v, int i) {
    alignas(16) std::int16_t l[8];
    _mm_store_si128(reinterpret_cast<__m128i*>(l), v);
    return int(l[i]);
  };
  for (int ch = 0; ch < 3; ++ch) {
    cur[ch] = lane(vCur, ch);
    below[ch] = lane(vBelow, ch);
    belowPrev[ch] = lane(vBelowPrev, ch);
  }
}
#endif

template <class L>
void TFloydSteinbergDitherer::RowLoop(L& lookup, const std::uint8_t* src, std::uint8_t* dst) {
  const int c0 = FColumn;
  const int count = FDirection > 0 ? FWidth - c0 : c0 + 1;
  if (count <= 0) return;
  std::int16_t* a = FErrors.data() + std::ptrdiff_t(FPosition) * 4;
#if defined(__SSE2__)
  if (VectorRows) {
    if (FDirection > 0)
      FloydSteinbergRowVector<1>(lookup, src, dst, c0, count, a, FCurrent, FBelow, FBelowPrev);
    else
      FloydSteinbergRowVector<-1>(lookup, src, dst, c0, count, a, FCurrent, FBelow, FBelowPrev);
    FColumn = c0 + count * FDirection;
    FPosition += count * FDirection;
    return;
  }
#endif
  if (FDirection > 0)
    FloydSteinbergRow<1>(lookup, FCorrection.data() + kTermRange, src, dst, c0, count, a, FCurrent, FBelow, FBelowPrev);
  else
    FloydSteinbergRow<-1>(lookup, FCorrection.data() + kTermRange, src, dst, c0, count, a, FCurrent, FBelow, FBelowPrev);
  FColumn = c0 + count * FDirection;
  FPosition += count * FDirection;
}

void TFloydSteinbergDitherer::DitherRow(const std::uint8_t* src, std::uint8_t* dst) {
  WithLookup(*FLookup, [&](auto& lookup) { RowLoop(lookup, src, dst); });
}

bool TFloydSteinbergDitherer::ErrorsAreZero() const {
  for (int ch = 0; ch < 3; ++ch)
    if (FCurrent[ch] != 0 || FBelow[ch] != 0 || FBelowPrev[ch] != 0) return false;
  return std::all_of(FErrors.begin(), FErrors.end(), [](int v) { return v == 0; });
}

// ---------------------------------------------------------------------------------------------
// Engines driven by a kernel table.

TKernelDitherer::TKernelDitherer(int AWidth, TColorLookup& Lookup, const TDiffusionKernel& kernel)
    : TDitherEngine(AWidth, Lookup), FKernel(kernel) {
  ErrorLimit.Build(kernel.LimitS1, kernel.LimitS2);
  FRows.resize(std::size_t(kernel.Rows));
  for (auto& row : FRows) row.assign((std::size_t(AWidth) + 2 * std::size_t(kernel.Guard)) * 3, 0);
}

void TKernelDitherer::Reset() {
  TDitherEngine::Reset();
  for (auto& row : FRows) std::fill(row.begin(), row.end(), 0);
  FDirection2 = 2 * FDirection;
  FDirection3 = 3 * FDirection;
  FPosition = FKernel.Guard;
}

void TKernelDitherer::SpreadError(int channel, int error) {
  if (error == 0) return;
  for (const TKernelWeight& k : FKernel.Weights) {
    const std::ptrdiff_t at = std::ptrdiff_t(FPosition + k.Offset * FDirection) * 3 + channel;
    FRows[std::size_t(k.Row)][std::size_t(at)] += k.Weight * error;
  }
}

std::uint8_t TKernelDitherer::Dither(int Red, int Green, int Blue, int& R, int& G, int& B) {
  const int v[3] = {Red, Green, Blue};
  const int div = FKernel.Divisor;
  int w[3];
  for (int ch = 0; ch < 3; ++ch) {
    const int e0 = FRows[0][std::size_t(FPosition) * 3 + std::size_t(ch)];
    w[ch] = Clamp255(v[ch] + ErrorLimit[(e0 + div / 2) / div]);
  }
  const std::uint8_t index = TDitherEngine::Dither(w[0], w[1], w[2], R, G, B);
  SpreadError(0, w[0] - R);
  SpreadError(1, w[1] - G);
  SpreadError(2, w[2] - B);
  FPosition += FDirection;
  return index;
}

void TKernelDitherer::NextLine() {
  std::fill(FRows[0].begin(), FRows[0].end(), 0);
  std::rotate(FRows.begin(), FRows.begin() + 1, FRows.end());
  TDitherEngine::NextLine();
  FDirection2 = 2 * FDirection;
  FDirection3 = 3 * FDirection;
  FPosition = FDirection == 1 ? FKernel.Guard : FWidth - 1 + FKernel.Guard;
}

template <class L>
void TKernelDitherer::RowLoop(L& lookup, const std::uint8_t* src, std::uint8_t* dst) {
  // The kernel as flat pointer offsets from the current entry, for this row's direction.
  struct Tap {
    int* Base;
    std::ptrdiff_t Offset;
    int Weight;
  };
  std::array<Tap, 24> taps;
  std::size_t tapCount = 0;
  const int d = FDirection;
  for (const TKernelWeight& k : FKernel.Weights)
    taps[tapCount++] = {FRows[std::size_t(k.Row)].data(), std::ptrdiff_t(k.Offset * d) * 3, k.Weight};
  const int div = FKernel.Divisor;
  const int half = div / 2;
  const TErrorLimit& limit = ErrorLimit;
  const int* row0 = FRows[0].data();
  const std::ptrdiff_t step = 3 * d;
  const int width = FWidth;

  int c = FColumn;
  std::ptrdiff_t at = std::ptrdiff_t(FPosition) * 3;
  const std::uint8_t* s = src + std::ptrdiff_t(c) * 3;
  int n = 0;
  for (; c >= 0 && c < width; c += d, s += step, at += step, ++n) {
    const int wR = Clamp255(s[2] + limit[(row0[at] + half) / div]);
    const int wG = Clamp255(s[1] + limit[(row0[at + 1] + half) / div]);
    const int wB = Clamp255(s[0] + limit[(row0[at + 2] + half) / div]);
    int pR, pG, pB;
    dst[c] = lookup.Find(wR, wG, wB, pR, pG, pB);
    const int eR = wR - pR, eG = wG - pG, eB = wB - pB;
    if ((eR | eG | eB) == 0) continue;
    for (std::size_t k = 0; k < tapCount; ++k) {
      int* t = taps[k].Base + at + taps[k].Offset;
      const int wgt = taps[k].Weight;
      t[0] += wgt * eR;
      t[1] += wgt * eG;
      t[2] += wgt * eB;
    }
  }
  FColumn = c;
  FPosition += n * d;
}

void TKernelDitherer::DitherRow(const std::uint8_t* src, std::uint8_t* dst) {
  WithLookup(*FLookup, [&](auto& lookup) { RowLoop(lookup, src, dst); });
}

bool TKernelDitherer::ErrorsAreZero() const {
  for (const auto& row : FRows)
    if (std::any_of(row.begin(), row.end(), [](int v) { return v != 0; })) return false;
  return true;
}

// ---------------------------------------------------------------------------------------------
// The kernels. Offsets are along the row, positive ahead in the direction of travel.

namespace {

constexpr TKernelWeight kStucki[] = {
    {0, 1, 8},  {0, 2, 4},                                               //
    {1, -2, 2}, {1, -1, 4}, {1, 0, 8}, {1, 1, 4}, {1, 2, 2},             //
    {2, -2, 1}, {2, -1, 2}, {2, 0, 4}, {2, 1, 2}, {2, 2, 1}};            //
constexpr TKernelWeight kSierra[] = {
    {0, 1, 5},  {0, 2, 3},                                               //
    {1, -2, 2}, {1, -1, 4}, {1, 0, 5}, {1, 1, 4}, {1, 2, 2},             //
    {2, -1, 2}, {2, 0, 3},  {2, 1, 2}};                                  //
constexpr TKernelWeight kJaJuNi[] = {
    {0, 1, 7},  {0, 2, 5},                                               //
    {1, -2, 3}, {1, -1, 5}, {1, 0, 7}, {1, 1, 5}, {1, 2, 3},             //
    {2, -2, 1}, {2, -1, 3}, {2, 0, 5}, {2, 1, 3}, {2, 2, 1}};            //
constexpr TKernelWeight kSteveArche[] = {
    {0, 2, 32},                                                          //
    {1, -3, 12}, {1, -1, 26}, {1, 1, 30}, {1, 3, 16},                    //
    {2, -2, 12}, {2, 0, 26},  {2, 2, 12},                                //
    {3, -3, 5},  {3, -1, 12}, {3, 1, 12}, {3, 3, 5}};                    //
constexpr TKernelWeight kBurkes[] = {
    {0, 1, 8},  {0, 2, 4},                                               //
    {1, -2, 2}, {1, -1, 4}, {1, 0, 8}, {1, 1, 4}, {1, 2, 2}};            //

constexpr int SumOf(std::span<const TKernelWeight> k) {
  int s = 0;
  for (const auto& w : k) s += w.Weight;
  return s;
}
static_assert(SumOf(kStucki) == 42 && SumOf(kSierra) == 32 && SumOf(kJaJuNi) == 48 && SumOf(kSteveArche) == 200 &&
              SumOf(kBurkes) == 32);

const TDiffusionKernel kStuckiKernel{3, 2, 42, 8, 32, kStucki};
const TDiffusionKernel kSierraKernel{3, 2, 32, 8, 32, kSierra};
const TDiffusionKernel kJaJuNiKernel{3, 2, 48, 8, 32, kJaJuNi};
const TDiffusionKernel kSteveArcheKernel{4, 3, 200, 8, 16, kSteveArche};
const TDiffusionKernel kBurkesKernel{2, 2, 32, 16, 48, kBurkes};

}  // namespace

const TDiffusionKernel& TStuckiDitherer::KernelTable() { return kStuckiKernel; }
const TDiffusionKernel& TSierraDitherer::KernelTable() { return kSierraKernel; }
const TDiffusionKernel& TJaJuNiDitherer::KernelTable() { return kJaJuNiKernel; }
const TDiffusionKernel& TSteveArcheDitherer::KernelTable() { return kSteveArcheKernel; }
const TDiffusionKernel& TBurkesDitherer::KernelTable() { return kBurkesKernel; }

TStuckiDitherer::TStuckiDitherer(int AWidth, TColorLookup& Lookup) : TKernelDitherer(AWidth, Lookup, KernelTable()) {}
TSierraDitherer::TSierraDitherer(int AWidth, TColorLookup& Lookup) : TKernelDitherer(AWidth, Lookup, KernelTable()) {}
TJaJuNiDitherer::TJaJuNiDitherer(int AWidth, TColorLookup& Lookup) : TKernelDitherer(AWidth, Lookup, KernelTable()) {}
TSteveArcheDitherer::TSteveArcheDitherer(int AWidth, TColorLookup& Lookup)
    : TKernelDitherer(AWidth, Lookup, KernelTable()) {}
TBurkesDitherer::TBurkesDitherer(int AWidth, TColorLookup& Lookup) : TKernelDitherer(AWidth, Lookup, KernelTable()) {}

}  // namespace clipsmith
