// The imaging library's basic types: pixel records, pixel formats, storage
// locations, resampling filters and the progress event.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/object.h"
#include "platform/types.h"

#pragma GCC visibility push(default)
namespace redozir {

#pragma pack(push, 1)
// A 24-bit pixel as rows store it: blue, green, red.
struct TRGB {
  std::uint8_t b = 0;
  std::uint8_t g = 0;
  std::uint8_t r = 0;
  friend bool operator==(const TRGB&, const TRGB&) = default;
};
// A 48-bit pixel: three 16-bit words, red first.
struct TRGB48 {
  std::uint16_t r = 0;
  std::uint16_t g = 0;
  std::uint16_t b = 0;
  friend bool operator==(const TRGB48&, const TRGB48&) = default;
};
// A 32-bit pixel: blue, green, red, alpha (or the fourth byte of ie32RGB).
struct TRGBA {
  std::uint8_t b = 0;
  std::uint8_t g = 0;
  std::uint8_t r = 0;
  std::uint8_t a = 0;
  friend bool operator==(const TRGBA&, const TRGBA&) = default;
};
struct TCMYK {
  std::uint8_t c = 0;
  std::uint8_t m = 0;
  std::uint8_t y = 0;
  std::uint8_t k = 0;
  friend bool operator==(const TCMYK&, const TCMYK&) = default;
};
struct TCIELab {
  std::uint8_t l = 0;
  std::int8_t a = 0;
  std::int8_t b = 0;
  friend bool operator==(const TCIELab&, const TCIELab&) = default;
};
#pragma pack(pop)
static_assert(sizeof(TRGB) == 3 && sizeof(TRGB48) == 6 && sizeof(TRGBA) == 4);
static_assert(sizeof(TCMYK) == 4 && sizeof(TCIELab) == 3);

enum TIEPixelFormat : std::uint8_t {
  ienull = 0,
  ie1g = 1,
  ie8p = 2,
  ie8g = 3,
  ie16g = 4,
  ie24RGB = 5,
  ie32f = 6,
  ieCMYK = 7,
  ieRGB48 = 8,
  ieCIELab = 9,
  ie32RGB = 10,
};
constexpr int kIEPixelFormatCount = 11;

// A set of pixel formats, one bit per format.
using TIEPixelFormatSet = std::uint16_t;
constexpr TIEPixelFormatSet IEPF(TIEPixelFormat f) { return static_cast<TIEPixelFormatSet>(1u << f); }
template <typename... F>
constexpr TIEPixelFormatSet IEPFSet(F... f) {
  return static_cast<TIEPixelFormatSet>((0u | ... | (1u << f)));
}
constexpr bool IEPFIn(TIEPixelFormatSet s, TIEPixelFormat f) { return (s >> f) & 1u; }

// Bits per pixel of a format (0 for ienull).
int IEPixelFormatBits(TIEPixelFormat pf);

enum TIELocation : std::uint8_t { ieMemory = 0, ieFile = 1, ieTBitmap = 2 };

enum TResampleFilter : std::uint8_t {
  rfNone = 0,
  rfTriangle = 1,
  rfHermite = 2,
  rfBell = 3,
  rfBSpline = 4,
  rfLanczos3 = 5,
  rfMitchell = 6,
  rfNearest = 7,
  rfLinear = 8,
  rfFastLinear = 9,
  rfBilinear = 10,
  rfBicubic = 11,
  rfProjectBW = 12,
  rfProjectWB = 13,
};

// Progress of a long operation: Per is a percentage 0..100.
using TIEProgressEvent = std::function<void(TObject* Sender, int Per)>;

// The progress context handed down to row loops. Routines call SetRows with
// the rows they process and, after finishing row y (from 0), Report(y + 1).
struct TIEProgressRecord {
  TIEProgressEvent* fOnProgress = nullptr;
  TObject* Sender = nullptr;
  double per1 = 0;
  bool* Aborting = nullptr;

  bool Assigned() const { return fOnProgress && *fOnProgress; }
  void SetRows(std::int64_t rows) { per1 = 100.0 / (static_cast<double>(rows) + 0.5); }
  // Calls the handler with done x Step rounded (halves to even), at most 100.
  void Report(std::int64_t done) const;
};

// What an undo entry holds.
enum TIEUndoSource : std::uint8_t {
  ieuUnknown,
  ieuImage,
  ieuSelection,
  ieuObject,
  ieuLayer,
  ieuFullLayer,
  ieuObjectsAndLayers,
};

}  // namespace redozir
#pragma GCC visibility pop
