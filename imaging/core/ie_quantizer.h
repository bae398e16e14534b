// TIEQuantizer: chooses a palette of a few colours for a 24-bit image (Wu's
// variance-minimising box cut refined by k-means, exact when the image has
// few enough colours)
// and maps colours to their nearest entry through a cache of the few
// entries that can be nearest within each small cell of colours.
#pragma once

#include <array>
#include <cstdint>
#include <unordered_set>
#include <vector>

#include "imaging/core/iebitmap.h"

#pragma GCC visibility push(default)
namespace redozir {

// The most colours a quantiser builds: a palette image takes 256 at most,
// a reduction that stays 24-bit up to this many.
constexpr int kIEQuantizerMaxColors = 1024;

class TIEQuantizer {
 public:
  // Builds NColors (1..kIEQuantizerMaxColors) entries from Bitmap (24-bit RGB;
  // other formats are read as RGB) and writes them to Palette. Limit caps the
  // pixels the histogram samples (evenly spread rows beyond it).
  TIEQuantizer(TIEBitmap* Bitmap, TRGB* Palette, int Limit, int NColors);
  // The same over a list of colours (used by writers that hold rows already).
  TIEQuantizer(const std::vector<TRGB>& Colors, TRGB* Palette, int NColors);
  ~TIEQuantizer() = default;

  // Index of the palette entry nearest to Color (squared RGB distance; the
  // lowest index wins a tie).
  int RGBIndex(TRGB Color);
  int ColorCount() const { return static_cast<int>(fPalette.size()); }
  const std::vector<TRGB>& Palette() const { return fPalette; }

 private:
  void Build(TRGB* Palette, int NColors);
  struct Cell {
    std::uint64_t n, r, g, b;
  };
  void Refine(const std::vector<Cell>& cells);
  void Init();
  void AddColor(TRGB c);
  // Forgets the candidate lists (after the palette changed).
  void IndexPalette();
  // The entries that can be nearest to some colour of a 32-level cell.
  void BuildCell(int cell);
  int Nearest(TRGB c);

  std::vector<TRGB> fExact;  // distinct colours while they fit, else empty
  std::unordered_set<std::uint32_t> fSeen;
  bool fOverflow = false;
  int fWanted = 0;
  std::vector<std::int64_t> fWt, fMr, fMg, fMb;
  std::vector<double> fM2;
  std::vector<TRGB> fPalette;
  // Per cell of 8 x 8 x 8 colours, built on first use: where its
  // candidates start in fCandidates and how many there are (-1: not yet).
  std::vector<std::int32_t> fCellStart;
  std::vector<std::int16_t> fCellCount;
  std::vector<std::uint16_t> fCandidates;
  std::vector<int> fScratch;
};

}  // namespace redozir
#pragma GCC visibility pop
