// Small helpers shared by the resampling tests: images made from a seed and
// their meaningful bytes for comparison.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "imaging/core/iebitmap.h"
#include "imaging/core/ie_parallel.h"
#include "imaging/processing/resample_internal.h"

using namespace redozir;

inline std::unique_ptr<TIEBitmap> MakeImage(int w, int h, TIEPixelFormat pf, std::uint32_t seed) {
  auto b = TIEBitmap::CreateSized(w, h, pf);
  std::uint32_t s = seed * 2654435761u + 1;
  int bytes = IEBitmapRowLen(w, IEPixelFormatBits(pf), 8);
  for (int y = 0; y < h; ++y) {
    std::uint8_t* r = b->GetScanline(y);
    for (int i = 0; i < bytes; ++i) {
      s = s * 1664525u + 1013904223u;
      // Smooth-ish content with noise, so that every filter has work to do.
      r[i] = static_cast<std::uint8_t>(((i * 7 + y * 5) & 0xFF) ^ ((s >> 24) & 0x3F));
    }
  }
  return b;
}

inline std::unique_ptr<TIEBitmap> MakeUniform(int w, int h, TIEPixelFormat pf, std::uint8_t v) {
  auto b = TIEBitmap::CreateSized(w, h, pf);
  int bytes = b->GetRowLen();
  for (int y = 0; y < h; ++y) std::fill(b->GetScanline(y), b->GetScanline(y) + bytes, v);
  return b;
}

inline std::vector<std::uint8_t> Bytes(TIEBitmap* b) {
  std::vector<std::uint8_t> out;
  int bytes = IEBitmapRowLen(b->Width(), IEPixelFormatBits(b->PixelFormat()), 8);
  for (int y = 0; y < b->Height(); ++y) {
    const std::uint8_t* r = b->GetScanline(y);
    out.insert(out.end(), r, r + bytes);
  }
  // Bits past the last pixel of a 1-bit row carry nothing.
  if (b->PixelFormat() == ie1g && (b->Width() & 7)) {
    std::uint8_t mask = static_cast<std::uint8_t>(0xFF << (8 - (b->Width() & 7)));
    for (int y = 0; y < b->Height(); ++y) out[static_cast<size_t>(y + 1) * bytes - 1] &= mask;
  }
  return out;
}

// Restores the automatic thread count and the vector paths at scope exit.
struct ResampleSettingsGuard {
  ~ResampleSettingsGuard() {
    IESetMaxThreads(0);
    IESetSIMD(true);
    IESpeed().AVX512 = true;
  }
};
