#include "imaging/core/ie_rowband.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/exceptions.h"

namespace redozir {

namespace {
// Big enough that the file sees few, long writes; small enough to stay in the
// processor's second-level cache with the rows being converted.
constexpr std::int64_t kSinkBandBytes = std::int64_t(1) << 20;
// Below the disk buffer's mapping window, so that a band read upwards sits in
// one mapping.
constexpr std::int64_t kUpwardBandBytes = std::int64_t(4) << 20;
}  // namespace

TIERowSink::TIERowSink(TIEBitmap* Bitmap, int First, int Count, bool Upwards)
    : fBitmap(Bitmap), fFirst(First), fEnd(First + Count), fUpwards(Upwards) {
  fBuffered = Bitmap->Location() == ieFile && Count > 0;
  if (!fBuffered) return;
  fRowLen = Bitmap->GetRowLen();
  fBandRows = static_cast<int>(
      std::clamp<std::int64_t>(kSinkBandBytes / std::max<std::int64_t>(fRowLen, 1), 1, Count));
  fBand.resize(static_cast<std::size_t>(fRowLen * fBandRows));
}

std::uint8_t* TIERowSink::Row(int Y) {
  if (!fBuffered) return fBitmap->GetScanline(Y);
  if (Y < fFirst || Y >= fEnd) throw ERangeError("Row sink: row out of range: " + std::to_string(Y));
  if (Y < fBand0 || Y >= fBand0 + fBandCount) {
    Flush();
    if (fUpwards) {
      fBand0 = std::max(fFirst, Y - fBandRows + 1);
      fBandCount = Y - fBand0 + 1;
    } else {
      fBand0 = Y;
      fBandCount = std::min(fBandRows, fEnd - Y);
    }
  }
  std::uint8_t* row = fBand.data() + fRowLen * (Y - fBand0);
  std::memset(row, 0, static_cast<std::size_t>(fRowLen));
  return row;
}

void TIERowSink::Flush() {
  if (fBandCount > 0) fBitmap->WriteRows(fBand0, fBandCount, fBand.data());
  fBandCount = 0;
}

void TIERowSink::Finish() {
  if (fBuffered) Flush();
}

TIERowsUpwards::TIERowsUpwards(TIEBitmap* Bitmap) : fBitmap(Bitmap) {
  if (Bitmap->Location() == ieFile)
    fStep = static_cast<int>(std::clamp<std::int64_t>(kUpwardBandBytes / std::max(Bitmap->GetRowLen(), 1), 1,
                                                      Bitmap->GetHeight()));
}

std::uint8_t* TIERowsUpwards::Row(int Y) {
  if (fStep > 1 && (fLow < 0 || Y < fLow || Y >= fLow + fStep)) {
    fLow = std::max(0, Y - fStep + 1);
    fBitmap->GetScanline(fLow);
  }
  return fBitmap->GetScanline(Y);
}

}  // namespace redozir
