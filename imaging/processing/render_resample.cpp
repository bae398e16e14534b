// The renderer's filtered source (see imaging/core/ie_render_resample.h):
// a source rectangle resampled whole, or just the part of it a render shows,
// with the bytes the whole would have there.
#include "imaging/processing/render_resample.h"

#include <algorithm>
#include <cstring>
#include <functional>

#include "imaging/core/ie_parallel.h"
#include "imaging/core/ie_render_resample.h"
#include "imaging/processing/resample.h"
#include "imaging/processing/resample_internal.h"
#include "platform/exceptions.h"
#include "platform/numeric.h"

namespace redozir {

namespace {

std::unique_ptr<TIEBitmap> NewImage(int w, int h, TIEPixelFormat pf) {
  auto img = TIEBitmap::CreateSized(w, h, pf);
  if (img->Width() != w || img->Height() != h) throw EOutOfMemory("Cannot allocate the rendered rectangle");
  return img;
}

// A copy of a rectangle of Src (inside it) with its alpha plane.
std::unique_ptr<TIEBitmap> SubRect(TIEBitmap* Src, int x, int y, int w, int h) {
  auto part = NewImage(w, h, Src->PixelFormat());
  Src->CopyPaletteTo(part.get());
  Src->CopyRectTo(part.get(), x, y, 0, 0, w, h);
  if (Src->HasAlphaChannel()) {
    Src->GetAlphaChannel()->CopyRectTo(part->GetAlphaChannel(), x, y, 0, 0, w, h);
    part->GetAlphaChannel()->SetFull(Src->GetAlphaChannel()->Full());
  }
  return part;
}

// Longest side whose tap table a window of a kernel resampling is cut from
// (a few hundred bytes per destination pixel).
constexpr int kWindowTapPixels = 1 << 17;

// The source pixels Low .. High that destinations First .. First + Count - 1
// of T read.
void WindowSpan(const TIEResampleTaps& T, int First, int Count, int& Low, int& High) {
  Low = T.N;
  High = 0;
  for (int i = First; i < First + Count; ++i) {
    Low = std::min(Low, T.Start[static_cast<std::size_t>(i)]);
    High = std::max(High, T.Start[static_cast<std::size_t>(i)] + T.Len[static_cast<std::size_t>(i)] - 1);
  }
}

// Destinations First .. First + Count - 1 of T as tables of their own, their
// source pixels counted from Low (N: Low .. High). The rows they are given
// have kIEResampleRowPad spare bytes, so no window reads from a tail copy.
TIEResampleTaps WindowTaps(const TIEResampleTaps& T, int First, int Count, int Low, int High) {
  TIEResampleTaps w;
  w.N = High - Low + 1;
  w.M = Count;
  auto slice = [&](const auto& v, std::size_t per) {
    return std::decay_t<decltype(v)>(v.begin() + static_cast<std::ptrdiff_t>(First * per),
                                     v.begin() + static_cast<std::ptrdiff_t>((First + Count) * per));
  };
  w.TapStride = T.TapStride;
  w.Taps = slice(T.Taps, T.TapStride);
  for (auto& c : w.Taps) c.Pixel -= Low;
  w.TapCount = slice(T.TapCount, 1);
  w.Start = slice(T.Start, 1);
  for (int& st : w.Start) st -= Low;
  w.Len = slice(T.Len, 1);
  w.Sum = slice(T.Sum, 1);
  w.Stride = T.Stride;
  if (!T.W.empty()) {
    w.W = slice(T.W, static_cast<std::size_t>(T.Stride));
    w.W3 = slice(T.W3, static_cast<std::size_t>(T.Stride / 4 * 16));
    w.Rcp = slice(T.Rcp, 1);
  }
  w.Tail3 = w.Tail1 = 0x7FFFFFFF;
  return w;
}

// Both kernel passes for Ch interleaved channels, through the rows the
// resampler itself uses (vector or scalar: the same bytes). H: the window's
// columns (WindowTaps); V: the whole rectangle's row tables, of which rows
// Top .. Top + Rows - 1 are made from source rows R0 .. R1. SrcRow(r, scratch)
// gives source row R0 + r from the window's first column (in scratch, H.N x
// Ch bytes, when it has to convert it); Finish(y, row) takes the window's
// row y. With Parallel both passes run on the workers, SrcRow and Finish too.
void KernelPasses(const TIEResampleTaps& H, const TIEResampleTaps& V, int Top, int Rows, int R0, int R1,
                  int Ch, bool Parallel,
                  const std::function<const std::uint8_t*(int r, std::uint8_t* scratch)>& SrcRow,
                  const std::function<void(int y, const std::uint8_t* row)>& Finish) {
  const bool simdH = IEResampleUseAVX2() && !H.W.empty();
  const bool simdV = IEResampleUseAVX2() && !V.W.empty(), wideV = simdV && IEResampleUseAVX512();
  const std::size_t bytes = static_cast<std::size_t>(H.M) * Ch, stride = bytes + kIEResampleRowPad;
  const std::size_t srcBytes = static_cast<std::size_t>(H.N) * Ch;
  std::vector<std::uint8_t> work(stride * static_cast<std::size_t>(R1 - R0 + 1));
  std::vector<const std::uint8_t*> rows(static_cast<std::size_t>(V.N));
  for (int r = R0; r <= R1; ++r)
    rows[static_cast<std::size_t>(r)] = work.data() + stride * static_cast<std::size_t>(r - R0);
  const std::int64_t taps = std::max(H.Stride, V.Stride);
  IEParallelFor(R1 - R0 + 1, static_cast<std::int64_t>(bytes) * taps, Parallel, [&](int Begin, int End) {
    std::vector<std::uint8_t> scratch(srcBytes + kIEResampleRowPad), padded(srcBytes + kIEResampleRowPad);
    for (int r = Begin; r < End; ++r) {
      std::uint8_t* o = work.data() + stride * static_cast<std::size_t>(r);
      const std::uint8_t* s = SrcRow(r, scratch.data());
      if (!simdH) {
        IEKernelRowH(H, Ch, s, o);
        continue;
      }
      std::memcpy(padded.data(), s, srcBytes);
      if (Ch == 3)
        IEKernelRowH3_AVX2(H, padded.data(), padded.data(), o);
      else
        IEKernelRowH1_AVX2(H, padded.data(), padded.data(), o);
    }
  });
  IEParallelFor(Rows, static_cast<std::int64_t>(bytes) * taps, Parallel, [&](int Begin, int End) {
    std::vector<std::uint8_t> out(stride);
    for (int y = Begin; y < End; ++y) {
      if (wideV)
        IEKernelRowV_AVX512(V, Top + y, rows.data(), static_cast<int>(bytes), out.data());
      else if (simdV)
        IEKernelRowV_AVX2(V, Top + y, rows.data(), static_cast<int>(bytes), out.data());
      else
        IEKernelRowV(V, Top + y, rows.data(), static_cast<int>(bytes), out.data());
      Finish(y, out.data());
    }
  });
}

// The part Win of the source rectangle (Sx, Sy, Sw, Sh) resampled to Dw x Dh
// by a kernel filter, Win in the Dw x Dh result: the bytes and the format
// that resampling the whole rectangle gives there, from the source pixels
// behind Win alone.
std::unique_ptr<TIEBitmap> KernelWindow(TIEBitmap* Src, int Sx, int Sy, int Sw, int Sh, int Dw, int Dh,
                                        const TRect& Win, TResampleFilter Filter) {
  const TIEResampleTaps th = IEBuildTaps(Sw, Dw, Filter), v = IEBuildTaps(Sh, Dh, Filter);
  int c0 = 0, c1 = 0, r0 = 0, r1 = 0;
  WindowSpan(th, Win.Left, Win.Width(), c0, c1);
  WindowSpan(v, Win.Top, Win.Height(), r0, r1);
  const TIEResampleTaps h = WindowTaps(th, Win.Left, Win.Width(), c0, c1);
  const TIEPixelFormat pf = Src->PixelFormat();
  // Colour and grey rows in memory are read where they lie: a copy of the
  // source pixels behind a window of a big picture costs about as much as
  // resampling them.
  TIEBitmap* srcAlpha = Src->HasAlphaChannel() ? Src->GetAlphaChannel() : nullptr;
  const bool inPlace = (pf == ie24RGB || pf == ie8g) && Src->Location() == ieMemory &&
                       (!srcAlpha || srcAlpha->Location() == ieMemory);
  auto part = inPlace ? nullptr : SubRect(Src, Sx + c0, Sy + r0, h.N, r1 - r0 + 1);
  auto img = NewImage(Win.Width(), Win.Height(), pf == ie8g ? ie8g : ie24RGB);
  auto toRow = [&](int y) { return img->GetScanline(y); };
  // Rows are handed out on the workers where every bitmap is in memory.
  const bool parallel = (inPlace || part->Location() == ieMemory) && img->Location() == ieMemory;
  if (pf == ie1g) {
    // Grey levels of the bits, spread to the three channels.
    KernelPasses(
        h, v, Win.Top, Win.Height(), r0, r1, 1, parallel,
        [&](int r, std::uint8_t* scratch) {
          const std::uint8_t* bits = part->GetScanline(r);
          for (int x = 0; x < h.N; ++x) scratch[x] = (bits[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
          return static_cast<const std::uint8_t*>(scratch);
        },
        [&](int y, const std::uint8_t* g) {
          std::uint8_t* d = toRow(y);
          for (int x = 0; x < h.M; ++x) d[3 * x] = d[3 * x + 1] = d[3 * x + 2] = g[x];
        });
  } else {
    // Other formats are resampled as 24-bit colour.
    std::unique_ptr<TIEBitmap> rgb;
    TIEBitmap* pix = inPlace ? Src : part.get();
    const int px = inPlace ? Sx + c0 : 0, py = inPlace ? Sy + r0 : 0;
    if (pf != ie24RGB && pf != ie8g) {
      rgb = NewImage(h.N, r1 - r0 + 1, ie24RGB);
      rgb->ConvertFrom(part.get());
      pix = rgb.get();
    }
    const int ch = pf == ie8g ? 1 : 3;
    KernelPasses(
        h, v, Win.Top, Win.Height(), r0, r1, ch, parallel && pix->Location() == ieMemory,
        [&](int r, std::uint8_t*) {
          return static_cast<const std::uint8_t*>(pix->GetScanline(py + r) +
                                                  static_cast<std::size_t>(px) * ch);
        },
        [&](int y, const std::uint8_t* row) {
          std::memcpy(toRow(y), row, static_cast<std::size_t>(h.M) * ch);
        });
  }
  if (srcAlpha) {
    TIEBitmap* sa = inPlace ? srcAlpha : part->GetAlphaChannel();
    const int ax = inPlace ? Sx + c0 : 0, ay = inPlace ? Sy + r0 : 0;
    TIEBitmap* da = img->GetAlphaChannel();
    KernelPasses(
        h, v, Win.Top, Win.Height(), r0, r1, 1, parallel && sa->Location() == ieMemory,
        [&](int r, std::uint8_t*) { return static_cast<const std::uint8_t*>(sa->GetScanline(ay + r) + ax); },
        [&](int y, const std::uint8_t* row) {
          std::memcpy(da->GetScanline(y), row, static_cast<std::size_t>(h.M));
        });
    da->SetFull(srcAlpha->Full());
  }
  return img;
}

// The same for the fast linear filter, for a 24-bit source and its alpha.
std::unique_ptr<TIEBitmap> FastLinearWindow(TIEBitmap* Src, int Sx, int Sy, int Sw, int Sh, int Dw, int Dh,
                                            const TRect& Win) {
  auto img = NewImage(Win.Width(), Win.Height(), ie24RGB);
  _IEResampleFastLinearWindow(Src, Sx, Sy, Sw, Sh, Dw, Dh, Win, img.get());
  if (Src->HasAlphaChannel()) {
    TIEBitmap* da = img->GetAlphaChannel();
    _IEResampleFastLinearWindow(Src->GetAlphaChannel(), Sx, Sy, Sw, Sh, Dw, Dh, Win, da);
    da->SetFull(Src->GetAlphaChannel()->Full());
  }
  return img;
}

// The same for the nearest stretch, in the source's format.
std::unique_ptr<TIEBitmap> NearestWindow(TIEBitmap* Src, int Sx, int Sy, int Sw, int Sh, int Dw, int Dh,
                                         const TRect& Win) {
  const double xs = static_cast<double>(Sw) / Dw, ys = static_cast<double>(Sh) / Dh;
  auto col = [&](int x) { return static_cast<int>(std::clamp<std::int64_t>(Trunc(x * xs), 0, Sw - 1)); };
  auto row = [&](int y) { return static_cast<int>(std::clamp<std::int64_t>(Trunc(y * ys), 0, Sh - 1)); };
  const int c0 = col(Win.Left), r0 = row(Win.Top);
  auto part = SubRect(Src, Sx + c0, Sy + r0, col(Win.Right - 1) - c0 + 1, row(Win.Bottom - 1) - r0 + 1);
  auto img = NewImage(Win.Width(), Win.Height(), Src->PixelFormat());
  Src->CopyPaletteTo(img.get());
  auto pick = [&](TIEBitmap* from, TIEBitmap* to) {
    const int bits = IEPixelFormatBits(from->PixelFormat()), bytes = bits / 8;
    for (int y = 0; y < Win.Height(); ++y) {
      const std::uint8_t* s = from->GetScanline(row(Win.Top + y) - r0);
      std::uint8_t* d = to->GetScanline(y);
      for (int x = 0; x < Win.Width(); ++x) {
        const int sx = col(Win.Left + x) - c0;
        if (bits == 1) {
          const auto m = static_cast<std::uint8_t>(0x80 >> (x & 7));
          if (s[sx >> 3] & (0x80 >> (sx & 7)))
            d[x >> 3] |= m;
          else
            d[x >> 3] &= static_cast<std::uint8_t>(~m);
        } else {
          std::memcpy(d + static_cast<std::size_t>(x) * bytes, s + static_cast<std::size_t>(sx) * bytes,
                      static_cast<std::size_t>(bytes));
        }
      }
    }
  };
  pick(part.get(), img.get());
  if (Src->HasAlphaChannel()) {
    pick(part->GetAlphaChannel(), img->GetAlphaChannel());
    img->GetAlphaChannel()->SetFull(Src->GetAlphaChannel()->Full());
  }
  return img;
}

// The filtered source of a render: the source rectangle resampled to the
// destination size, or a part of it around the visible rectangle Vis. A
// destination of moderate size is resampled whole, or, when it is much
// larger than Vis and the filter allows (nearest and kernel filters, not a
// 1-bit reduction; the fast linear filter on 24-bit sources), just at Vis
// with the same bytes. A larger one takes the
// source pixels behind Vis with a margin, resampled on their own to the
// destination pixels they cover; where even that is too large (a small
// source magnified hugely), Vis alone is made: by the filter itself where it
// allows, else by the triangle filter (the nearest stretch past the tap
// tables' reach).
TIERenderSource Resampled(TIEBitmap* Src, const TRect& Vis, int xDst, int yDst, int dxDst, int dyDst,
                          int xSrc, int ySrc, int dxSrc, int dySrc, TResampleFilter Filter) {
  TIERenderSource r;
  const TRect win{Vis.Left - xDst, Vis.Top - yDst, Vis.Right - xDst, Vis.Bottom - yDst};
  const std::int64_t whole = static_cast<std::int64_t>(dxDst) * dyDst;
  const bool oneBitBox = Src->PixelFormat() == ie1g && dxDst < dxSrc && dyDst < dySrc &&
                         Filter != rfProjectBW && Filter != rfProjectWB;
  const bool tablesFit = dxDst <= kWindowTapPixels && dyDst <= kWindowTapPixels;
  const bool kernel = Filter >= rfTriangle && Filter <= rfLinear;
  auto window = [&](TResampleFilter F) {
    r.OffX = Vis.Left;
    r.OffY = Vis.Top;
    if (dxDst == dxSrc && dyDst == dySrc)
      r.Owned = SubRect(Src, xSrc + win.Left, ySrc + win.Top, win.Width(), win.Height());
    else if (F == rfNone)
      r.Owned = NearestWindow(Src, xSrc, ySrc, dxSrc, dySrc, dxDst, dyDst, win);
    else if (F == rfFastLinear)
      r.Owned = FastLinearWindow(Src, xSrc, ySrc, dxSrc, dySrc, dxDst, dyDst, win);
    else
      r.Owned = KernelWindow(Src, xSrc, ySrc, dxSrc, dySrc, dxDst, dyDst, win, F);
    r.Image = r.Owned.get();
    return std::move(r);
  };
  const bool fast = Filter == rfFastLinear && Src->PixelFormat() == ie24RGB;
  const bool alone = !oneBitBox && (Filter == rfNone || (kernel && tablesFit) || fast);
  if (whole <= kIEWholeRenderPixels) {
    if (alone && whole > 4 * static_cast<std::int64_t>(win.Width()) * win.Height()) return window(Filter);
  } else {
    // Source pixels behind the visible part, with a margin for the kernels.
    auto srcOf = [](std::int64_t v, int s, int ds, int dd) { return s + v * ds / dd; };
    std::int64_t sx0 = std::max<std::int64_t>(xSrc, srcOf(Vis.Left - xDst, xSrc, dxSrc, dxDst) - 4);
    std::int64_t sy0 = std::max<std::int64_t>(ySrc, srcOf(Vis.Top - yDst, ySrc, dySrc, dyDst) - 4);
    std::int64_t sx1 = std::min<std::int64_t>(xSrc + dxSrc, srcOf(Vis.Right - xDst, xSrc, dxSrc, dxDst) + 5);
    std::int64_t sy1 = std::min<std::int64_t>(ySrc + dySrc, srcOf(Vis.Bottom - yDst, ySrc, dySrc, dyDst) + 5);
    std::int64_t tx0 = (sx0 - xSrc) * dxDst / dxSrc, ty0 = (sy0 - ySrc) * dyDst / dySrc;
    std::int64_t tx1 = ((sx1 - xSrc) * dxDst + dxSrc - 1) / dxSrc,
                 ty1 = ((sy1 - ySrc) * dyDst + dySrc - 1) / dySrc;
    tx1 = std::max(tx1, tx0 + 1);
    ty1 = std::max(ty1, ty0 + 1);
    // That margin counts source pixels: magnified hugely, it covers more
    // destination pixels than can be made.
    if ((tx1 - tx0) * (ty1 - ty0) > kIEWholeRenderPixels)
      return window(alone ? Filter : tablesFit ? rfTriangle : rfNone);
    xSrc = static_cast<int>(sx0);
    ySrc = static_cast<int>(sy0);
    dxSrc = static_cast<int>(sx1 - sx0);
    dySrc = static_cast<int>(sy1 - sy0);
    xDst += static_cast<int>(tx0);
    yDst += static_cast<int>(ty0);
    dxDst = static_cast<int>(tx1 - tx0);
    dyDst = static_cast<int>(ty1 - ty0);
  }
  r.OffX = xDst;
  r.OffY = yDst;
  bool wholeSrc = xSrc == 0 && ySrc == 0 && dxSrc == Src->Width() && dySrc == Src->Height();
  if (Src->PixelFormat() == ie1g && dxDst < dxSrc && dyDst < dySrc && Filter != rfProjectBW &&
      Filter != rfProjectWB) {
    // 1-bit reductions average the bits of the rectangle directly.
    r.Owned = NewImage(dxDst, dyDst, ie24RGB);
    _IEResample1bitBox(Src, xSrc, ySrc, xSrc + dxSrc - 1, ySrc + dySrc - 1, r.Owned.get());
    if (Src->HasAlphaChannel()) {
      auto part = SubRect(Src->GetAlphaChannel(), xSrc, ySrc, dxSrc, dySrc);
      TIEBitmap* a = r.Owned->GetAlphaChannel();
      _IEResample8bit(part.get(), a, Filter);
      a->SetFull(Src->GetAlphaChannel()->Full());
    }
  } else {
    std::unique_ptr<TIEBitmap> part;
    TIEBitmap* from = Src;
    if (!wholeSrc) {
      part = SubRect(Src, xSrc, ySrc, dxSrc, dySrc);
      from = part.get();
    }
    r.Owned = NewImage(dxDst, dyDst, Src->PixelFormat());
    _IEResampleIEBitmap(from, r.Owned.get(), Filter, TIEProgressEvent(), nullptr);
  }
  r.Image = r.Owned.get();
  return r;
}

}  // namespace

void IEInitRenderResample() { IESetRenderResampler(Resampled); }

}  // namespace redozir
