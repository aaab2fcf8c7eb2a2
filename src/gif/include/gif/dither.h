// Dithering engines: walk an image row by row in alternating directions, add to each pixel the
// error earlier pixels left behind, look the corrected colour up and spread the new error over
// pixels not yet visited. All arithmetic is integer; errors are scaled integers.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "gif/color_lookup.h"

namespace clipsmith {

// Limiting curve applied to an accumulated error before it is added to a pixel, indexed -255..255.
class TErrorLimit {
 public:
  TErrorLimit() {
    for (int i = -255; i <= 255; ++i) (*this)[i] = i;
  }
  // limit(i) = i below s1, s1 + (i - s1) div 2 below s2, s1 + (s2 - s1) div 2 from s2 on; odd.
  void Build(int s1, int s2);
  int& operator[](int i) { return FTable[std::size_t(i + 255)]; }
  int operator[](int i) const { return FTable[std::size_t(i + 255)]; }

 private:
  std::array<int, 511> FTable{};
};

// The plain engine: every pixel is looked up unchanged (no diffusion).
class TDitherEngine {
 public:
  TDitherEngine(int AWidth, TColorLookup& Lookup);
  TDitherEngine(const TDitherEngine&) = delete;
  TDitherEngine& operator=(const TDitherEngine&) = delete;
  virtual ~TDitherEngine() = default;

  virtual void Reset();
  // One pixel, the one at FColumn; advances FColumn by FDirection.
  virtual std::uint8_t Dither(int Red, int Green, int Blue, int& R, int& G, int& B);
  virtual void NextLine();
  void NextColumn() { FColumn += FDirection; }

  // The whole current row in the engine's direction: src holds blue, green, red per pixel from
  // column 0 on, dst receives one index byte per column. Gives exactly what calling Dither for
  // each column from FColumn while 0 <= FColumn < FWidth gives, without a virtual call per pixel.
  virtual void DitherRow(const std::uint8_t* src, std::uint8_t* dst);
  // The same by calling Dither pixel by pixel: the reference DitherRow is tested against.
  void DitherRowSlow(const std::uint8_t* src, std::uint8_t* dst);

  // True while every error term the engine carries is 0.
  virtual bool ErrorsAreZero() const { return true; }

  int FDirection = 1;
  int FColumn = 0;
  TColorLookup* FLookup;
  int FWidth;
  TErrorLimit ErrorLimit;
};

class TFloydSteinbergDitherer final : public TDitherEngine {
 public:
  TFloydSteinbergDitherer(int AWidth, TColorLookup& Lookup);
  void Reset() override;
  std::uint8_t Dither(int Red, int Green, int Blue, int& R, int& G, int& B) override;
  void NextLine() override;
  void DitherRow(const std::uint8_t* src, std::uint8_t* dst) override;
  bool ErrorsAreZero() const override;

  // DitherRow works on the three channels of a pixel at once in vector registers where the
  // processor has them; off, it takes the channels one by one (the reference it is tested with).
  bool VectorRows = true;

  // The next-row term at an entry (0 .. width + 1) of a channel (0 red, 1 green, 2 blue), and
  // the running terms Cur, Below, BelowPrev.
  int ErrorTerm(int entry, int channel) const { return FErrors[std::size_t(entry) * 4 + std::size_t(channel)]; }
  std::array<int, 3> RunningTerms(int channel) const {
    return {FCurrent[channel], FBelow[channel], FBelowPrev[channel]};
  }

 private:
  template <class L>
  void RowLoop(L& lookup, const std::uint8_t* src, std::uint8_t* dst);

  // Width + 2 terms per channel, in sixteenths of a level, the three channels (red, green, blue)
  // of an entry side by side and a fourth that stays 0, so that an entry is one 64-bit load; a
  // term is at most 9 * 255 in size. FPosition is the entry P all three channels are at.
  std::vector<std::int16_t> FErrors;
  int FPosition = 0;
  // Per channel: Cur, Below, BelowPrev.
  int FCurrent[3]{};
  int FBelow[3]{};
  int FBelowPrev[3]{};
  // ErrorLimit[(x + 8) div 16] for every accumulated term x = Cur + A[P] the terms can reach
  // (|Cur| <= 7 * 255, |A[P]| <= 9 * 255), so that the row loop rounds and limits in one read.
  static constexpr int kTermRange = 16 * 255;
  std::vector<std::int16_t> FCorrection;
};

// One weight of an error-diffusion kernel: the row below the current one (0 = current row), the
// offset along the row in the direction of travel, and the weight.
struct TKernelWeight {
  int Row;
  int Offset;
  int Weight;
};

struct TDiffusionKernel {
  int Rows;       // rows of error terms carried, the current one included
  int Guard;      // guard terms at each end of a row: the largest offset
  int Divisor;    // the weights' sum; errors are held in units of 1/Divisor
  int LimitS1, LimitS2;
  std::span<const TKernelWeight> Weights;
};

// The engines whose kernel reaches further than the next row: the 5x3 family (Stucki, Sierra,
// Jarvis-Judice-Ninke), Steve Arche and Burkes. They differ only in their kernel.
class TKernelDitherer : public TDitherEngine {
 public:
  void Reset() override;
  std::uint8_t Dither(int Red, int Green, int Blue, int& R, int& G, int& B) override;
  void NextLine() override;
  void DitherRow(const std::uint8_t* src, std::uint8_t* dst) override;
  bool ErrorsAreZero() const override;

  const TDiffusionKernel& Kernel() const { return FKernel; }
  // The term of row r (0 = current) at an entry (0 .. width + 2 * Guard - 1; column c is entry
  // c + Guard) of a channel (0 red, 1 green, 2 blue).
  int ErrorTerm(int row, int entry, int channel) const {
    return FRows[std::size_t(row)][std::size_t(entry) * 3 + std::size_t(channel)];
  }
  int FDirection2 = 2;
  int FDirection3 = 3;

 protected:
  TKernelDitherer(int AWidth, TColorLookup& Lookup, const TDiffusionKernel& kernel);

 private:
  template <class L>
  void RowLoop(L& lookup, const std::uint8_t* src, std::uint8_t* dst);
  void SpreadError(int channel, int error);

  TDiffusionKernel FKernel;
  // FRows[r] holds the terms of row r (0 = current) for width + 2 * Guard entries, the three
  // channels (red, green, blue) of an entry side by side; the rows rotate at every new line.
  std::vector<std::vector<int>> FRows;
  int FPosition = 0;  // entry of the current column: column + Guard
};

class TStuckiDitherer final : public TKernelDitherer {
 public:
  TStuckiDitherer(int AWidth, TColorLookup& Lookup);
  static const TDiffusionKernel& KernelTable();
};
class TSierraDitherer final : public TKernelDitherer {
 public:
  TSierraDitherer(int AWidth, TColorLookup& Lookup);
  static const TDiffusionKernel& KernelTable();
};
class TJaJuNiDitherer final : public TKernelDitherer {
 public:
  TJaJuNiDitherer(int AWidth, TColorLookup& Lookup);
  static const TDiffusionKernel& KernelTable();
};
class TSteveArcheDitherer final : public TKernelDitherer {
 public:
  TSteveArcheDitherer(int AWidth, TColorLookup& Lookup);
  static const TDiffusionKernel& KernelTable();
};
class TBurkesDitherer final : public TKernelDitherer {
 public:
  TBurkesDitherer(int AWidth, TColorLookup& Lookup);
  static const TDiffusionKernel& KernelTable();
};

}  // namespace clipsmith
