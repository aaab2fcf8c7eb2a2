// Colour lookups and dithering engines: the nearest-entry search against brute force, the
// arithmetic lookups at their thresholds, the error limit curves, the Floyd-Steinberg rounding,
// clamping and running terms, every kernel's weights in both directions, and the row loops
// against pixel-by-pixel dithering for every engine and lookup.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <vector>

#include "gif/color_lookup.h"
#include "gif/color_reduction.h"
#include "gif/dither.h"

using namespace clipsmith;

namespace {

TPalette Greys(std::initializer_list<int> levels) {
  TPalette p;
  for (int v : levels) p.push_back({std::uint8_t(v), std::uint8_t(v), std::uint8_t(v), 0});
  return p;
}

TPalette RandomPalette(std::mt19937& rng, int n, int lo = 0, int hi = 255) {
  std::uniform_int_distribution<int> d(lo, hi);
  TPalette p;
  for (int i = 0; i < n; ++i) p.push_back({std::uint8_t(d(rng)), std::uint8_t(d(rng)), std::uint8_t(d(rng)), 0});
  return p;
}

// One row of blue-green-red pixels.
std::vector<std::uint8_t> GreyRow(std::initializer_list<int> values) {
  std::vector<std::uint8_t> row;
  for (int v : values) row.insert(row.end(), {std::uint8_t(v), std::uint8_t(v), std::uint8_t(v)});
  return row;
}

// Runs rows through an engine as the reduction does and returns the indices, row after row.
std::vector<int> DitherRows(TDitherEngine& engine, const std::vector<std::vector<std::uint8_t>>& rows, bool slow) {
  std::vector<int> out;
  engine.Reset();
  for (const auto& row : rows) {
    std::vector<std::uint8_t> dst(std::size_t(engine.FWidth), 0xEE);
    if (slow)
      engine.DitherRowSlow(row.data(), dst.data());
    else
      engine.DitherRow(row.data(), dst.data());
    out.insert(out.end(), dst.begin(), dst.end());
    engine.NextLine();
  }
  return out;
}

}  // namespace

// ---- Nearest entry ------------------------------------------------------------------------------

TEST(NearestSearch, FastEqualsBruteForceForEveryColourSampled) {
  std::mt19937 rng(7);
  std::vector<TPalette> palettes;
  palettes.push_back(Greys({77}));
  palettes.push_back(Greys({0, 255}));
  palettes.push_back(RandomPalette(rng, 17));
  palettes.push_back(RandomPalette(rng, 255));
  palettes.push_back(RandomPalette(rng, 256));
  // Clustered entries make many exact ties; duplicates must resolve to the lower index.
  palettes.push_back(RandomPalette(rng, 256, 100, 108));
  {
    TPalette dup = RandomPalette(rng, 128);
    TPalette both = dup;
    both.insert(both.end(), dup.rbegin(), dup.rend());
    palettes.push_back(both);
  }
  // Entries two apart along each axis: every colour between two of them is a tie.
  {
    TPalette grid;
    for (int r = 0; r < 8; ++r)
      for (int g = 0; g < 8; ++g)
        for (int b = 0; b < 4; ++b)
          grid.push_back({std::uint8_t(60 + 2 * r), std::uint8_t(60 + 2 * g), std::uint8_t(60 + 2 * b), 0});
    palettes.push_back(grid);
  }

  std::uniform_int_distribution<int> byte(0, 255);
  for (std::size_t k = 0; k < palettes.size(); ++k) {
    const TPalette& p = palettes[k];
    TSlowColorLookup fast(p, TNearestSearch::Fast);
    TSlowColorLookup brute(p, TNearestSearch::BruteForce);
    EXPECT_EQ(fast.FColors, int(p.size()));
    auto check = [&](int r, int g, int b) {
      const int want = brute.NearestBruteForce(r, g, b);
      ASSERT_EQ(want, NearestPaletteIndex(p, std::uint8_t(r), std::uint8_t(g), std::uint8_t(b)));
      int R, G, B, R2, G2, B2;
      const int got = fast.Lookup(r, g, b, R, G, B);
      ASSERT_EQ(got, want) << "palette " << k << " colour " << r << "," << g << "," << b;
      brute.Lookup(r, g, b, R2, G2, B2);
      ASSERT_EQ((std::array{R, G, B}), (std::array{R2, G2, B2}));
      ASSERT_EQ((std::array{R, G, B}), (std::array{int(p[std::size_t(got)].peRed), int(p[std::size_t(got)].peGreen),
                                                   int(p[std::size_t(got)].peBlue)}));
    };
    // Every entry and its neighbours one step away in any channel.
    for (const auto& e : p)
      for (int dr = -1; dr <= 1; ++dr)
        for (int dg = -1; dg <= 1; ++dg)
          for (int db = -1; db <= 1; ++db) {
            const int r = e.peRed + dr, g = e.peGreen + dg, b = e.peBlue + db;
            if (r >= 0 && r < 256 && g >= 0 && g < 256 && b >= 0 && b < 256) check(r, g, b);
          }
    // A grid through the whole cube, including both ends of every channel.
    for (int r = 0; r < 256; r += 15)
      for (int g = 0; g < 256; g += 15)
        for (int b = 0; b < 256; b += 15) check(r, g, b);
    for (int i = 0; i < 40000; ++i) check(byte(rng), byte(rng), byte(rng));
    // Colours asked again and again, as dithering does: answered from the remembered answers,
    // among colours that share their slot and push each other out.
    std::vector<std::array<int, 3>> recent;
    for (int i = 0; i < 6000; ++i) recent.push_back({byte(rng), byte(rng), byte(rng)});
    for (int i = 0; i < 30000; ++i) {
      const auto& c = recent[std::size_t(rng() % (i < 15000 ? 64 : recent.size()))];
      check(c[0], c[1], c[2]);
    }
    for (int i = 0; i < 2000; ++i) {
      // Keys that differ in one channel only, next to each other in the cube.
      const int r = byte(rng), g = byte(rng), b = byte(rng) & 0xFE;
      check(r, g, b);
      check(r, g, b + 1);
      check(r, g, b);
    }
  }
}

TEST(NearestSearch, TiesGoToTheLowestIndex) {
  // (1, 0, 0) is 1 away from both entries; (5, 5, 5) from three identical ones.
  TPalette p = {{2, 0, 0, 0}, {0, 0, 0, 0}, {5, 5, 5, 0}, {5, 5, 5, 0}, {5, 5, 5, 0}};
  for (auto search : {TNearestSearch::Fast, TNearestSearch::BruteForce}) {
    TSlowColorLookup l(p, search);
    int r, g, b;
    EXPECT_EQ(l.Lookup(1, 0, 0, r, g, b), 0);
    EXPECT_EQ(l.Lookup(5, 5, 5, r, g, b), 2);
    EXPECT_EQ(l.Lookup(255, 255, 255, r, g, b), 2);
  }
}

TEST(NearestSearch, EmptyPaletteHasNoColours) {
  TSlowColorLookup l(TPalette{}, TNearestSearch::Fast);
  EXPECT_EQ(l.FColors, 0);
  TPalette big(300, TPaletteEntry{1, 2, 3, 0});
  EXPECT_EQ(TSlowColorLookup(big).FColors, 256);
}

// ---- Arithmetic lookups -------------------------------------------------------------------------

TEST(ArithmeticLookups, ThresholdsAndColours) {
  struct Case {
    TColorReduction Method;
    int Red, Green, Blue;
    int Index;
    int R, G, B;
  };
  const Case cases[] = {
      // Colour cube: levels change at 48, 99, 150, 201 and 252.
      {TColorReduction::rmNetscape, 47, 0, 0, 0, 0, 0, 0},
      {TColorReduction::rmNetscape, 48, 0, 0, 36, 51, 0, 0},
      {TColorReduction::rmNetscape, 0, 98, 0, 6, 0, 51, 0},
      {TColorReduction::rmNetscape, 0, 99, 0, 12, 0, 102, 0},
      {TColorReduction::rmNetscape, 0, 0, 149, 2, 0, 0, 102},
      {TColorReduction::rmNetscape, 0, 0, 150, 3, 0, 0, 153},
      {TColorReduction::rmNetscape, 201, 200, 252, 4 * 36 + 3 * 6 + 5, 204, 153, 255},
      {TColorReduction::rmNetscape, 255, 255, 255, 215, 255, 255, 255},
      // Grey: (77 r + 150 g + 29 b) shr 8.
      {TColorReduction::rmGrayScale, 255, 255, 255, 255, 255, 255, 255},
      {TColorReduction::rmGrayScale, 255, 0, 0, 76, 76, 76, 76},
      {TColorReduction::rmGrayScale, 0, 255, 0, 149, 149, 149, 149},
      {TColorReduction::rmGrayScale, 0, 0, 255, 28, 28, 28, 28},
      // Monochrome: a weighted sum of exactly 32512 is black, 32513 white.
      {TColorReduction::rmMonochrome, 127, 127, 127, 0, 0, 0, 0},
      {TColorReduction::rmMonochrome, 0, 169, 247, 1, 255, 255, 255},
      {TColorReduction::rmMonochrome, 255, 255, 255, 1, 255, 255, 255},
  };
  for (const Case& c : cases) {
    auto lookup = MakeColorLookup(FixedPalette(c.Method, nullptr), c.Method);
    int r = -1, g = -1, b = -1;
    EXPECT_EQ(lookup->Lookup(c.Red, c.Green, c.Blue, r, g, b), c.Index)
        << int(c.Method) << ": " << c.Red << "," << c.Green << "," << c.Blue;
    EXPECT_EQ((std::array{r, g, b}), (std::array{c.R, c.G, c.B}));
  }
  EXPECT_EQ(MakeColorLookup({}, TColorReduction::rmNetscape)->FColors, 216);
  EXPECT_EQ(MakeColorLookup({}, TColorReduction::rmGrayScale)->FColors, 256);
  EXPECT_EQ(MakeColorLookup({}, TColorReduction::rmMonochrome)->FColors, 2);
}

TEST(ArithmeticLookups, AgreeWithTheNearestEntryOfTheirPalettes) {
  // The colour cube and the greys name entries of their fixed palettes in entry order.
  for (auto method : {TColorReduction::rmNetscape, TColorReduction::rmGrayScale, TColorReduction::rmMonochrome}) {
    const TPalette p = FixedPalette(method, nullptr);
    auto lookup = MakeColorLookup(p, method);
    for (int v = 0; v < 256; v += 5) {
      int r, g, b;
      const int i = lookup->Lookup(v, 255 - v, v / 2, r, g, b);
      ASSERT_LT(i, int(p.size()));
      EXPECT_EQ((std::array{r, g, b}),
                (std::array{int(p[std::size_t(i)].peRed), int(p[std::size_t(i)].peGreen), int(p[std::size_t(i)].peBlue)}));
    }
  }
}

// ---- Error limit curves -------------------------------------------------------------------------

TEST(ErrorLimit, CurvesOfEveryEngine) {
  TSlowColorLookup lookup(Greys({0, 255}));
  struct Probe {
    int In, Out;
  };
  const std::vector<Probe> fs = {{0, 0},   {1, 1},   {15, 15}, {16, 16},  {17, 16},  {18, 17},
                                 {46, 31}, {47, 31}, {48, 32}, {100, 32}, {255, 32}};
  const std::vector<Probe> fiveByThree = {{7, 7}, {8, 8}, {9, 8}, {10, 9}, {31, 19}, {32, 20}, {255, 20}};
  const std::vector<Probe> arche = {{7, 7}, {8, 8}, {9, 8}, {15, 11}, {16, 12}, {255, 12}};
  auto check = [](const TDitherEngine& e, const std::vector<Probe>& probes, const char* name) {
    for (const Probe& p : probes) {
      EXPECT_EQ(e.ErrorLimit[p.In], p.Out) << name << " " << p.In;
      EXPECT_EQ(e.ErrorLimit[-p.In], -p.Out) << name << " " << -p.In;
    }
  };
  check(TFloydSteinbergDitherer(4, lookup), fs, "Floyd-Steinberg");
  check(TBurkesDitherer(4, lookup), fs, "Burkes");
  check(TStuckiDitherer(4, lookup), fiveByThree, "Stucki");
  check(TSierraDitherer(4, lookup), fiveByThree, "Sierra");
  check(TJaJuNiDitherer(4, lookup), fiveByThree, "JaJuNi");
  check(TSteveArcheDitherer(4, lookup), arche, "Steve Arche");
  TDitherEngine plain(4, lookup);
  for (int i = -255; i <= 255; ++i) ASSERT_EQ(plain.ErrorLimit[i], i);
}

// ---- Floyd-Steinberg ----------------------------------------------------------------------------

TEST(FloydSteinberg, RunningTermsAndTheRowBelow) {
  // Width 1: every row has one pixel and the direction turns at every row.
  TSlowColorLookup lookup(Greys({0, 100, 200}));
  TFloydSteinbergDitherer e(1, lookup);
  e.Reset();
  int r, g, b;
  EXPECT_EQ(e.Dither(97, 97, 97, r, g, b), 1);  // error -3 in every channel
  EXPECT_EQ(e.RunningTerms(0), (std::array{-21, -3, -15}));
  EXPECT_EQ(e.ErrorTerm(0, 0), -9);
  EXPECT_EQ(e.FColumn, 1);
  e.NextLine();
  EXPECT_EQ(e.ErrorTerm(1, 1), -15);  // BelowPrev stored where the row ended
  EXPECT_EQ(e.RunningTerms(1), (std::array{0, 0, 0}));
  EXPECT_EQ(e.FDirection, -1);
  EXPECT_EQ(e.FColumn, 0);
  // A right-to-left row reads the entry two past the column: entry 2, never written.
  EXPECT_EQ(e.Dither(100, 100, 100, r, g, b), 1);
  EXPECT_EQ(e.FColumn, -1);
  e.NextLine();
  EXPECT_EQ(e.FDirection, 1);
  EXPECT_EQ(e.FColumn, 0);
  // The row ended at entry 1 with BelowPrev 0 (an error of 0 adds nothing to it).
  EXPECT_EQ(e.ErrorTerm(1, 0), 0);
  EXPECT_EQ(e.ErrorTerm(0, 0), -9);
}

TEST(FloydSteinberg, AccumulatedTermsRoundTowardZero) {
  // Grey palette 0, 100, 200; every channel carries the same error. Row 0 leaves entry 2 holding
  // e0 + 5 e1, which the second row's last pixel (column 0) reads with Cur = 0. 151 goes to 200,
  // 150 is a tie that goes to 100: a term of -1 changes the index, a term of 0 does not.
  struct Case {
    int First, Second;  // row 0, giving the errors e0 and e1
    int Accumulated;
    int Index;
  };
  const Case cases[] = {
      {97, 96, -23, 2},  // e0 = -3, e1 = -4: (-23 + 8) div 16 = 0
      {96, 97, -24, 1},  // e0 = -4, then 97 - 1 gives e1 = -4: (-24 + 8) div 16 = -1
  };
  TSlowColorLookup lookup(Greys({0, 100, 200}));
  for (const Case& c : cases) {
    TFloydSteinbergDitherer e(2, lookup);
    const auto out = DitherRows(e, {GreyRow({c.First, c.Second}), GreyRow({151, 100})}, false);
    EXPECT_EQ(out, (std::vector<int>{1, 1, c.Index, 1})) << c.Accumulated;
    // Entry 2 after row 0 is what the rounding above read.
    TFloydSteinbergDitherer probe(2, lookup);
    probe.Reset();
    std::vector<std::uint8_t> dst(2);
    probe.DitherRow(GreyRow({c.First, c.Second}).data(), dst.data());
    probe.NextLine();
    EXPECT_EQ(probe.ErrorTerm(2, 0), c.Accumulated);
  }
}

TEST(FloydSteinberg, ClampsBeforeTheLookupAndTakesTheErrorFromTheClampedValue) {
  // 250 -> 200 leaves 50; the next pixel becomes 250 + limit(22) = 269, clamped to 255, so its
  // error is 55, not 69. The third pixel then gets limit((385 + 8) div 16) = limit(24) = 20:
  // 78 + 20 = 98 goes to black, where the unclamped error (limit 23) would give 101 -> 200.
  TSlowColorLookup lookup(Greys({0, 200}));
  TFloydSteinbergDitherer e(3, lookup);
  e.Reset();
  int r, g, b;
  std::vector<std::uint8_t> row = GreyRow({250, 250, 78});
  std::vector<int> out;
  for (int x = 0; x < 3; ++x) out.push_back(e.Dither(row[3 * x + 2], row[3 * x + 1], row[3 * x], r, g, b));
  EXPECT_EQ(out, (std::vector<int>{1, 1, 0}));
  // Low end: 35 -> 40 leaves -5 (Cur -35, a term of -1); 0 - 1 clamps to 0, which is exactly
  // black, so no error is carried (the unclamped -1 would leave Cur = -7).
  TSlowColorLookup lookup2(Greys({0, 40}));
  TFloydSteinbergDitherer e2(2, lookup2);
  e2.Reset();
  EXPECT_EQ(e2.Dither(35, 35, 35, r, g, b), 1);
  EXPECT_EQ(e2.RunningTerms(0)[0], -35);
  EXPECT_EQ(e2.Dither(0, 0, 0, r, g, b), 0);
  EXPECT_EQ(e2.RunningTerms(0)[0], 0);
}

// ---- Kernel engines -----------------------------------------------------------------------------

TEST(KernelEngines, EveryWeightLandsWhereTheKernelSays) {
  // One pixel of error e in an otherwise untouched image; the terms around it are weight * e.
  struct Tap {
    int Row, Offset, Weight;
  };
  struct Engine {
    const char* Name;
    std::unique_ptr<TKernelDitherer> (*Make)(int, TColorLookup&);
    int Guard;
    std::vector<Tap> Taps;
  };
  auto make = [](auto* tag) {
    using E = std::remove_pointer_t<decltype(tag)>;
    return +[](int w, TColorLookup& l) -> std::unique_ptr<TKernelDitherer> { return std::make_unique<E>(w, l); };
  };
  const std::vector<Engine> engines = {
      {"Stucki", make((TStuckiDitherer*)nullptr), 2,
       {{0, 1, 8}, {0, 2, 4}, {1, -2, 2}, {1, -1, 4}, {1, 0, 8}, {1, 1, 4}, {1, 2, 2},
        {2, -2, 1}, {2, -1, 2}, {2, 0, 4}, {2, 1, 2}, {2, 2, 1}}},
      {"Sierra", make((TSierraDitherer*)nullptr), 2,
       {{0, 1, 5}, {0, 2, 3}, {1, -2, 2}, {1, -1, 4}, {1, 0, 5}, {1, 1, 4}, {1, 2, 2}, {2, -1, 2}, {2, 0, 3}, {2, 1, 2}}},
      {"JaJuNi", make((TJaJuNiDitherer*)nullptr), 2,
       {{0, 1, 7}, {0, 2, 5}, {1, -2, 3}, {1, -1, 5}, {1, 0, 7}, {1, 1, 5}, {1, 2, 3},
        {2, -2, 1}, {2, -1, 3}, {2, 0, 5}, {2, 1, 3}, {2, 2, 1}}},
      {"Burkes", make((TBurkesDitherer*)nullptr), 2,
       {{0, 1, 8}, {0, 2, 4}, {1, -2, 2}, {1, -1, 4}, {1, 0, 8}, {1, 1, 4}, {1, 2, 2}}},
      {"Steve Arche", make((TSteveArcheDitherer*)nullptr), 3,
       {{0, 2, 32}, {1, -3, 12}, {1, -1, 26}, {1, 1, 30}, {1, 3, 16}, {2, -2, 12}, {2, 0, 26}, {2, 2, 12},
        {3, -3, 5}, {3, -1, 12}, {3, 1, 12}, {3, 3, 5}}},
  };
  TSlowColorLookup lookup(Greys({0, 255}));
  constexpr int kWidth = 9;
  for (const Engine& engine : engines) {
    int divisor = 0;
    for (const Tap& t : engine.Taps) divisor += t.Weight;
    for (int direction : {1, -1}) {
      auto e = engine.Make(kWidth, lookup);
      e->Reset();
      int r, g, b;
      if (direction == -1) e->NextLine();  // start on a right-to-left row; the arrays are still zero
      const int column = e->FColumn;
      // (100, 200, 255) is nearer white: errors -155, -55 and 0.
      EXPECT_EQ(e->Dither(100, 200, 255, r, g, b), 1);
      EXPECT_EQ(e->Kernel().Divisor, divisor) << engine.Name;
      EXPECT_EQ(e->Kernel().Guard, engine.Guard) << engine.Name;
      for (int row = 0; row < e->Kernel().Rows; ++row)
        for (int entry = 0; entry < kWidth + 2 * engine.Guard; ++entry) {
          int weight = 0;
          for (const Tap& t : engine.Taps)
            if (t.Row == row && column + engine.Guard + t.Offset * direction == entry) weight = t.Weight;
          ASSERT_EQ(e->ErrorTerm(row, entry, 0), weight * -155) << engine.Name << " row " << row << " entry " << entry;
          ASSERT_EQ(e->ErrorTerm(row, entry, 1), weight * -55) << engine.Name;
          ASSERT_EQ(e->ErrorTerm(row, entry, 2), 0) << engine.Name;
        }
      EXPECT_EQ(e->FColumn, column + direction);
    }
  }
}

TEST(KernelEngines, ErrorIsRoundedWithTheDivisorAndRowsRotate) {
  // Stucki: after a red error of 100 at column 0, column 1 reads (800 + 21) div 42 = 19, limited
  // to 8 + (19 - 8) div 2 = 13. The next row reads the former row 1 (800 at column 0 -> 19 -> 13).
  TSlowColorLookup lookup(Greys({0, 255}));
  TStuckiDitherer e(3, lookup);
  e.Reset();
  int r, g, b;
  e.Dither(100, 0, 0, r, g, b);
  EXPECT_EQ(e.ErrorTerm(0, 3, 0), 800);
  // 114 + 13 = 127 stays nearer black: error 127.
  EXPECT_EQ(e.Dither(114, 0, 0, r, g, b), 0);
  EXPECT_EQ(e.ErrorTerm(0, 4, 0), 400 + 8 * 127);
  // Column 2 reads (1416 + 21) div 42 = 34, limited to 20: error 20.
  e.Dither(0, 0, 0, r, g, b);
  EXPECT_EQ(r, 0);
  e.NextLine();
  EXPECT_EQ(e.FColumn, 2);
  // Row 1 of before is row 0 now: column 0 (entry 2) got 8 * 100 + 4 * 127 + 2 * 20.
  EXPECT_EQ(e.ErrorTerm(0, 2, 0), 1348);
  // The old row 0 was cleared and became the last row.
  for (int entry = 0; entry < 7; ++entry) EXPECT_EQ(e.ErrorTerm(2, entry, 0), 0);
}

// ---- Every engine ------------------------------------------------------------------------------

namespace {

const TDitherMode kModes[] = {TDitherMode::dmNearest,  TDitherMode::dmFloydSteinberg, TDitherMode::dmStucki,
                              TDitherMode::dmSierra,   TDitherMode::dmJaJuNI,         TDitherMode::dmSteveArche,
                              TDitherMode::dmBurkes};

}  // namespace

TEST(Engines, RowLoopsEqualPixelByPixelDitheringForEveryLookup) {
  std::mt19937 rng(3);
  std::uniform_int_distribution<int> byte(0, 255);
  struct LookupCase {
    TColorReduction Method;
    TNearestSearch Search;
  };
  const LookupCase lookups[] = {{TColorReduction::rmQuantize, TNearestSearch::Fast},
                                {TColorReduction::rmQuantize, TNearestSearch::BruteForce},
                                {TColorReduction::rmNetscape, TNearestSearch::Fast},
                                {TColorReduction::rmGrayScale, TNearestSearch::Fast},
                                {TColorReduction::rmMonochrome, TNearestSearch::Fast},
                                {TColorReduction::rmWindows20, TNearestSearch::Fast}};
  const TPalette random = RandomPalette(rng, 40);
  for (int width : {1, 2, 3, 5, 17}) {
    std::vector<std::vector<std::uint8_t>> rows(7);
    for (auto& row : rows)
      for (int i = 0; i < 3 * width; ++i) row.push_back(std::uint8_t(byte(rng)));
    for (const LookupCase& lc : lookups) {
      const TPalette p = lc.Method == TColorReduction::rmQuantize ? random : FixedPalette(lc.Method, nullptr);
      std::unique_ptr<TColorLookup> lookup =
          lc.Method == TColorReduction::rmQuantize ? std::make_unique<TSlowColorLookup>(p, lc.Search)
                                                   : MakeColorLookup(p, lc.Method);
      for (TDitherMode mode : kModes) {
        auto fast = MakeDitherer(mode, width, *lookup);
        auto slow = MakeDitherer(mode, width, *lookup);
        const auto a = DitherRows(*fast, rows, false);
        const auto b = DitherRows(*slow, rows, true);
        ASSERT_EQ(a, b) << "width " << width << " mode " << int(mode) << " lookup " << int(lc.Method);
        for (int v : a) ASSERT_LT(v, lookup->FColors);
        EXPECT_EQ(fast->FDirection, rows.size() % 2 ? -1 : 1);
      }
    }
  }
}

TEST(FloydSteinberg, VectorRowsEqualChannelByChannelRows) {
  // Few, far-apart colours give the largest errors (terms up to 9 * 255, limits reached, values
  // clamped at both ends); many colours the smallest. Every index and every term must agree
  // after every row, rows of either direction, for the lookups the reduction uses.
  std::mt19937 rng(11);
  std::uniform_int_distribution<int> byte(0, 255);
  std::vector<TPalette> palettes = {Greys({0, 255}), Greys({0, 100, 200}), RandomPalette(rng, 3),
                                    RandomPalette(rng, 256), FixedPalette(TColorReduction::rmGrayScale, nullptr)};
  for (int width : {1, 2, 3, 17, 640}) {
    std::vector<std::vector<std::uint8_t>> rows(9);
    for (std::size_t r = 0; r < rows.size(); ++r)
      for (int i = 0; i < 3 * width; ++i) {
        // Extremes, smooth ramps and noise.
        const int v = r % 3 == 0 ? (byte(rng) < 128 ? 0 : 255) : r % 3 == 1 ? (i * 7 + int(r) * 31) & 255 : byte(rng);
        rows[r].push_back(std::uint8_t(v));
      }
    for (std::size_t k = 0; k < palettes.size(); ++k) {
      const bool grey = k == palettes.size() - 1;
      std::unique_ptr<TColorLookup> lookup =
          grey ? MakeColorLookup(palettes[k], TColorReduction::rmGrayScale) : std::make_unique<TSlowColorLookup>(palettes[k]);
      TFloydSteinbergDitherer vector(width, *lookup), scalar(width, *lookup);
      scalar.VectorRows = false;
      vector.Reset();
      scalar.Reset();
      for (std::size_t r = 0; r < rows.size(); ++r) {
        std::vector<std::uint8_t> a(static_cast<std::size_t>(width)), b(static_cast<std::size_t>(width));
        vector.DitherRow(rows[r].data(), a.data());
        scalar.DitherRow(rows[r].data(), b.data());
        ASSERT_EQ(a, b) << "width " << width << " palette " << k << " row " << r;
        for (int ch = 0; ch < 3; ++ch) ASSERT_EQ(vector.RunningTerms(ch), scalar.RunningTerms(ch));
        vector.NextLine();
        scalar.NextLine();
        for (int entry = 0; entry < width + 2; ++entry)
          for (int ch = 0; ch < 3; ++ch)
            ASSERT_EQ(vector.ErrorTerm(entry, ch), scalar.ErrorTerm(entry, ch)) << "entry " << entry << " row " << r;
      }
    }
  }
}

TEST(Engines, OnePaletteColourLeavesEveryErrorTermZero) {
  const TPalette p = {{10, 20, 30, 0}, {200, 100, 50, 0}, {0, 0, 0, 0}};
  TSlowColorLookup lookup(p);
  for (int width : {1, 6}) {
    std::vector<std::vector<std::uint8_t>> rows(5);
    for (auto& row : rows)
      for (int i = 0; i < width; ++i) row.insert(row.end(), {50, 100, 200});
    for (TDitherMode mode : kModes) {
      auto e = MakeDitherer(mode, width, lookup);
      e->Reset();
      for (const auto& row : rows) {
        std::vector<std::uint8_t> dst(std::size_t(width), 9);
        e->DitherRow(row.data(), dst.data());
        EXPECT_EQ(dst, std::vector<std::uint8_t>(std::size_t(width), 1)) << int(mode);
        EXPECT_TRUE(e->ErrorsAreZero()) << int(mode);
        e->NextLine();
      }
    }
  }
}

TEST(Engines, OnlyKnownModesHaveAnEngine) {
  TSlowColorLookup lookup(Greys({0, 255}));
  for (TDitherMode mode : kModes) EXPECT_NE(MakeDitherer(mode, 4, lookup), nullptr);
  EXPECT_EQ(MakeDitherer(TDitherMode(7), 4, lookup), nullptr);
  EXPECT_EQ(MakeDitherer(TDitherMode(255), 4, lookup), nullptr);
}
