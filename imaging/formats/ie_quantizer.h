// TIEQuantizer: chooses a palette of a few colours for a 24-bit image (Wu's
// variance-minimising box cut refined by k-means, exact when the image has
// few enough colours)
// and maps colours to their nearest entry through a cache.
#pragma once

#include <array>
#include <cstdint>
#include <unordered_set>
#include <vector>

#include "imaging/core/iebitmap.h"

class TIEQuantizer {
 public:
  // Builds NColors (1..256) entries from Bitmap (24-bit RGB; other formats
  // are read as RGB) and writes them to Palette. Limit caps the pixels the
  // histogram samples (evenly spread rows beyond it).
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
  void Refine();
  void Init();
  void AddColor(TRGB c);
  int Nearest(TRGB c) const;

  std::vector<TRGB> fExact;  // distinct colours while they fit, else empty
  std::unordered_set<std::uint32_t> fSeen;
  bool fOverflow = false;
  int fWanted = 0;
  std::vector<std::int64_t> fWt, fMr, fMg, fMb;
  std::vector<double> fM2;
  // 6 bits per channel: count and sums, for the k-means refinement.
  std::vector<std::uint32_t> fFineN;
  std::vector<std::uint64_t> fFineR, fFineG, fFineB;
  std::vector<TRGB> fPalette;
  struct CacheEntry {
    std::uint32_t key = 0xFFFFFFFFu;
    std::uint16_t index = 0;
  };
  std::vector<CacheEntry> fCache;
};
