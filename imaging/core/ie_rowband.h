// Rows of a bitmap walked once, in order, by one thread (conversions, copies,
// codecs): on the disk buffer they go through the file in bands instead of a
// mapping per row, at close to the speed of a bitmap in memory.
#pragma once

#include <cstdint>
#include <vector>

#include "imaging/core/iebitmap.h"

#pragma GCC visibility push(default)
namespace redozir {

// Rows [First, First + Count) of a bitmap written whole, each once, in order:
// downwards from First, or upwards from First + Count - 1. In memory (and on
// a platform bitmap) they are the bitmap's own rows. On the disk buffer they
// are gathered in a band of about a megabyte that goes to the file when the
// walk leaves it (a fresh file written through a mapping takes a page fault
// and a zero-fill per page, several times the copy itself), so the result
// takes no resident memory either. Finish writes the last band; rows not yet
// written when the sink is freed without Finish are dropped.
class TIERowSink {
 public:
  TIERowSink(TIEBitmap* Bitmap, int First, int Count, bool Upwards = false);
  TIERowSink(const TIERowSink&) = delete;
  TIERowSink& operator=(const TIERowSink&) = delete;

  // Where row Y goes (the bitmap's row length, zeroed on the disk buffer);
  // valid until the next Row or Finish. Rows come in the walk's order.
  std::uint8_t* Row(int Y);
  // Stores the rows still held; raises EWriteError when the file fails.
  void Finish();

 private:
  void Flush();

  TIEBitmap* fBitmap;
  int fFirst, fEnd;
  bool fUpwards;
  bool fBuffered;
  std::int64_t fRowLen = 0;
  int fBandRows = 0;
  int fBand0 = 0, fBandCount = 0;  // the rows the band holds
  std::vector<std::uint8_t> fBand;
};

// Rows of a bitmap read (or changed in place) once each, walking upwards
// (bottom-up files): the disk buffer maps the rows below a row asked for, so
// a plain upward walk would map the file anew for every row. This one asks
// first for a row some way down the walk, so that the rows after it come from
// the same mapping. The address is valid until the next row access of the
// bitmap.
class TIERowsUpwards {
 public:
  explicit TIERowsUpwards(TIEBitmap* Bitmap);
  std::uint8_t* Row(int Y);

 private:
  TIEBitmap* fBitmap;
  int fStep = 1;
  int fLow = -1;  // lowest row index of the present mapping, -1 none
};

}  // namespace redozir
#pragma GCC visibility pop
