// TIEBitmap's renderer (RenderToTIEBitmapEx and its short forms) and
// StretchRectTo: a source rectangle scaled into a destination rectangle by
// a resampling filter, weighted by alpha and Transparency, with the table of
// blending operations.
#include "imaging/core/iebitmap_render.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>

#include "imaging/core/ie_pixelrow.h"
#include "imaging/processing/ie_parallel.h"
#include "imaging/processing/resample.h"
#include "imaging/processing/resample_internal.h"
#include "platform/numeric.h"

namespace redozir {

namespace {
inline int Clamp255(int v) { return v < 0 ? 0 : v > 255 ? 255 : v; }

int Dodge(int s, int d) { return s >= 255 ? 255 : std::min(255, d * 255 / (255 - s)); }
int Burn(int s, int d) { return s <= 0 ? 0 : std::max(0, 255 - (255 - d) * 255 / s); }
int HardLight(int s, int d) { return s < 128 ? 2 * s * d / 255 : 255 - 2 * (255 - s) * (255 - d) / 255; }
int Vivid(int s, int d) { return s < 128 ? Burn(2 * s, d) : Dodge(2 * (s - 128), d); }

int Channel(int op, int s, int d) {
  switch (op) {
    case 1: return std::min(255, s + d);
    case 2: return s * d / 255;
    case 3: return 255 - (255 - s) * (255 - d) / 255;
    case 4: return HardLight(d, s);  // overlay: hard light with the layers swapped
    case 5: return std::min(s, d);
    case 6: return std::max(s, d);
    case 7: return std::abs(s - d);
    case 8: return s + d - 2 * s * d / 255;
    case 9: return Dodge(s, d);
    case 10: return Burn(s, d);
    case 11: return HardLight(s, d);
    case 12: return d * d * (255 - 2 * s) / (255 * 255) + 2 * s * d / 255;
    case 13: return std::max(0, d - s);
    case 14: return std::max(0, s + d - 255);
    case 15: return (s + d) / 2;
    case 16: return Clamp255(d + 2 * s - 255);
    case 17: return Vivid(s, d);
    case 18: return s < 128 ? std::min(d, 2 * s) : std::max(d, 2 * (s - 128));
    case 19: return Vivid(s, d) < 128 ? 0 : 255;
    case 20: return 255 - std::abs(255 - s - d);
    case 21: return s >= 255 ? 255 : std::min(255, d * d / (255 - s));
    case 22: return d >= 255 ? 255 : std::min(255, s * s / (255 - d));
    case 23: return s <= 0 ? 0 : std::max(0, 255 - (255 - d) * (255 - d) / s);
    case 24: return d <= 0 ? 0 : std::max(0, 255 - (255 - s) * (255 - s) / d);
    case 25: return s <= 0 ? (d > 0 ? 255 : 0) : std::min(255, d * 255 / s);
    case 26: return Clamp255(d - s + 128);
    case 27: return Clamp255(d + s - 128);
    case 34: return s & d;
    case 35: return s | d;
    case 36: return s ^ d;
    case 37: return Clamp255(d + 2 * s - 256);
    case 38: return std::min(s, d) - std::max(s, d) + 255;
    case 39: return static_cast<int>(std::sqrt(static_cast<double>(s * d)));
    case 40: return (s + d) == 0 ? 0 : std::min(255, 2 * s * d / (s + d));
    case 41: return 255 - std::abs(s - d);
    case 42: return std::max(0, s - d);
    default: return s;
  }
}

// The hue, saturation, color and luminosity modes, on 0..255 doubles with
// the luminosity weights 0.3, 0.59 and 0.11.
struct C3 {
  double r, g, b;
};
double Lum(C3 c) { return 0.3 * c.r + 0.59 * c.g + 0.11 * c.b; }
C3 ClipColor(C3 c) {
  double l = Lum(c), n = std::min({c.r, c.g, c.b}), x = std::max({c.r, c.g, c.b});
  auto fix = [&](double& v) {
    if (n < 0) v = l + (v - l) * l / (l - n);
    if (x > 255) v = l + (v - l) * (255 - l) / (x - l);
  };
  fix(c.r);
  fix(c.g);
  fix(c.b);
  return c;
}
C3 SetLum(C3 c, double l) {
  double d = l - Lum(c);
  return ClipColor({c.r + d, c.g + d, c.b + d});
}
double Sat(C3 c) { return std::max({c.r, c.g, c.b}) - std::min({c.r, c.g, c.b}); }
C3 SetSat(C3 c, double s) {
  double* v[3] = {&c.r, &c.g, &c.b};
  std::sort(v, v + 3, [](double* a, double* b) { return *a < *b; });
  if (*v[2] > *v[0]) {
    *v[1] = (*v[1] - *v[0]) * s / (*v[2] - *v[0]);
    *v[2] = s;
  } else {
    *v[1] = *v[2] = 0;
  }
  *v[0] = 0;
  return c;
}
TRGB ToRGB(C3 c) {
  return TRGB{static_cast<std::uint8_t>(RoundClamp(c.b, 0, 255)),
              static_cast<std::uint8_t>(RoundClamp(c.g, 0, 255)),
              static_cast<std::uint8_t>(RoundClamp(c.r, 0, 255))};
}

const char* const kNames[kIEBlendOperationCount] = {"copy",
                                                    "add",
                                                    "multiply",
                                                    "screen",
                                                    "overlay",
                                                    "darken",
                                                    "lighten",
                                                    "difference",
                                                    "exclusion",
                                                    "color dodge",
                                                    "color burn",
                                                    "hard light",
                                                    "soft light",
                                                    "subtract",
                                                    "linear burn",
                                                    "average",
                                                    "linear light",
                                                    "vivid light",
                                                    "pin light",
                                                    "hard mix",
                                                    "negation",
                                                    "reflect",
                                                    "glow",
                                                    "freeze",
                                                    "heat",
                                                    "divide",
                                                    "grain extract",
                                                    "grain merge",
                                                    "hue",
                                                    "saturation",
                                                    "color",
                                                    "luminosity",
                                                    "darker color",
                                                    "lighter color",
                                                    "and",
                                                    "or",
                                                    "xor",
                                                    "stamp",
                                                    "phoenix",
                                                    "geometric mean",
                                                    "harmonic mean",
                                                    "equivalence",
                                                    "inverse subtract"};
}  // namespace

const char* IEBlendOperationName(int Operation) {
  return Operation >= 0 && Operation < kIEBlendOperationCount ? kNames[Operation] : kNames[0];
}

TRGB IEBlendPixel(int Operation, TRGB s, TRGB d) {
  if (Operation <= 0 || Operation >= kIEBlendOperationCount) return s;
  C3 cs{double(s.r), double(s.g), double(s.b)}, cd{double(d.r), double(d.g), double(d.b)};
  switch (Operation) {
    case 28: return ToRGB(SetLum(SetSat(cs, Sat(cd)), Lum(cd)));
    case 29: return ToRGB(SetLum(SetSat(cd, Sat(cs)), Lum(cd)));
    case 30: return ToRGB(SetLum(cs, Lum(cd)));
    case 31: return ToRGB(SetLum(cd, Lum(cs)));
    case 32: return IEGrayOf(s) <= IEGrayOf(d) ? s : d;
    case 33: return IEGrayOf(s) >= IEGrayOf(d) ? s : d;
    default:
      return TRGB{static_cast<std::uint8_t>(Channel(Operation, s.b, d.b)),
                  static_cast<std::uint8_t>(Channel(Operation, s.g, d.g)),
                  static_cast<std::uint8_t>(Channel(Operation, s.r, d.r))};
  }
}

namespace {
// Blends Count source pixels into a 24-bit destination row.
void BlendRow(const TRGB* s, const std::uint8_t* alpha, std::uint8_t* d, int Count, int Transparency,
              int Op) {
  if (!alpha && Transparency >= 255 && Op == 0) {
    std::memcpy(d, s, static_cast<std::size_t>(Count) * 3);
    return;
  }
  if (Op == 0) {
    IEMixRow(s, alpha, d, Count, Transparency);
    return;
  }
  for (int x = 0; x < Count; ++x, d += 3) {
    TRGB dv{d[0], d[1], d[2]};
    TRGB sv = IEBlendPixel(Op, s[x], dv);
    int w = alpha ? std::min<int>(alpha[x], Transparency) : Transparency;
    d[0] = IERenderMix(sv.b, dv.b, w);
    d[1] = IERenderMix(sv.g, dv.g, w);
    d[2] = IERenderMix(sv.r, dv.r, w);
  }
}

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

struct TIERenderSource {
  std::unique_ptr<TIEBitmap> Owned;
  TIEBitmap* Image = nullptr;
  int OffX = 0, OffY = 0;  // destination position of the image's pixel (0, 0)
};

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
  auto part = SubRect(Src, Sx + c0, Sy + r0, h.N, r1 - r0 + 1);
  const TIEPixelFormat pf = Src->PixelFormat();
  auto img = NewImage(Win.Width(), Win.Height(), pf == ie8g ? ie8g : ie24RGB);
  auto toRow = [&](int y) { return img->GetScanline(y); };
  // Rows are handed out on the workers where every bitmap is in memory.
  const bool parallel = part->Location() == ieMemory && img->Location() == ieMemory;
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
    TIEBitmap* pix = part.get();
    if (pf != ie24RGB && pf != ie8g) {
      rgb = NewImage(h.N, r1 - r0 + 1, ie24RGB);
      rgb->ConvertFrom(part.get());
      pix = rgb.get();
    }
    const int ch = pf == ie8g ? 1 : 3;
    KernelPasses(
        h, v, Win.Top, Win.Height(), r0, r1, ch, parallel && pix->Location() == ieMemory,
        [&](int r, std::uint8_t*) { return static_cast<const std::uint8_t*>(pix->GetScanline(r)); },
        [&](int y, const std::uint8_t* row) {
          std::memcpy(toRow(y), row, static_cast<std::size_t>(h.M) * ch);
        });
  }
  if (Src->HasAlphaChannel()) {
    TIEBitmap* sa = part->GetAlphaChannel();
    TIEBitmap* da = img->GetAlphaChannel();
    KernelPasses(
        h, v, Win.Top, Win.Height(), r0, r1, 1, parallel && sa->Location() == ieMemory,
        [&](int r, std::uint8_t*) { return static_cast<const std::uint8_t*>(sa->GetScanline(r)); },
        [&](int y, const std::uint8_t* row) {
          std::memcpy(da->GetScanline(y), row, static_cast<std::size_t>(h.M));
        });
    da->SetFull(Src->GetAlphaChannel()->Full());
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

void BuildLUT(std::vector<int>& lut, int from, int to, int d0, int dd, int s0, int ds, int limit) {
  lut.resize(static_cast<std::size_t>(to - from));
  for (int v = from; v < to; ++v)
    lut[static_cast<std::size_t>(v - from)] = static_cast<int>(
        std::clamp<std::int64_t>(s0 + (static_cast<std::int64_t>(v) - d0) * ds / dd, 0, limit - 1));
}
}  // namespace

void TIEBitmap::RenderToTIEBitmapEx(TIEBitmap* Dest, TIERenderCaches* Caches, const TRect* ClipRect, int xDst,
                                    int yDst, int dxDst, int dyDst, int xSrc, int ySrc, int dxSrc, int dySrc,
                                    bool EnableAlpha, bool SolidBackground, int Transparency,
                                    TResampleFilter Filter, std::uint8_t Operation) {
  (void)SolidBackground;  // the blend reads Dest's pixels whatever lies under them
  if (!Dest || Dest == this || Dest->PixelFormat() != ie24RGB || fWidth <= 0 || fHeight <= 0) return;
  if (dxDst <= 0 || dyDst <= 0 || dxSrc <= 0 || dySrc <= 0) return;
  // The source rectangle is kept inside the image.
  std::int64_t sx0 = std::clamp(xSrc, 0, fWidth - 1), sy0 = std::clamp(ySrc, 0, fHeight - 1);
  std::int64_t sx1 = std::clamp<std::int64_t>(static_cast<std::int64_t>(xSrc) + dxSrc, sx0 + 1, fWidth);
  std::int64_t sy1 = std::clamp<std::int64_t>(static_cast<std::int64_t>(ySrc) + dySrc, sy0 + 1, fHeight);
  xSrc = static_cast<int>(sx0);
  ySrc = static_cast<int>(sy0);
  dxSrc = static_cast<int>(sx1 - sx0);
  dySrc = static_cast<int>(sy1 - sy0);
  TRect vis{};
  TRect target{xDst, yDst, static_cast<int>(std::min<std::int64_t>(0x7FFFFFFF, std::int64_t(xDst) + dxDst)),
               static_cast<int>(std::min<std::int64_t>(0x7FFFFFFF, std::int64_t(yDst) + dyDst))};
  if (!IntersectRect(vis, target, TRect{0, 0, Dest->Width(), Dest->Height()})) return;
  if (ClipRect && !IntersectRect(vis, vis, *ClipRect)) return;
  Transparency = std::clamp(Transparency, 0, 255);
  if (Operation >= kIEBlendOperationCount) Operation = 0;

  TIERenderCaches local;
  TIERenderCaches& C = Caches ? *Caches : local;
  const int vw = vis.Width();

  if (Filter == rfNone || (dxSrc == dxDst && dySrc == dyDst)) {
    std::int64_t key[6] = {vis.Left, vis.Right, xDst, dxDst, xSrc, dxSrc};
    if (!std::equal(key, key + 6, C.Key) || C.XLUT.size() != static_cast<std::size_t>(vw)) {
      BuildLUT(C.XLUT, vis.Left, vis.Right, xDst, dxDst, xSrc, dxSrc, fWidth);
      std::copy(key, key + 6, C.Key);
    }
    BuildLUT(C.YLUT, vis.Top, vis.Bottom, yDst, dyDst, ySrc, dySrc, fHeight);
    const int x0 = C.XLUT.front(), x1 = C.XLUT.back();
    const bool useAlpha = EnableAlpha && HasAlphaChannel() && !fAlpha->Full();
    // One to one the columns are a run of the source row: 24-bit pixels and
    // alpha bytes are then read where they lie.
    const bool run = x1 - x0 == vw - 1;
    const bool rgb = fPixelFormat == ie24RGB;
    const TIERowToRGBFunc read = IERowToRGBFor(fPixelFormat);
    const std::vector<int>& xlut = C.XLUT;
    const std::vector<int>& ylut = C.YLUT;
    auto band = [&](int Begin, int End) {
      std::vector<TRGB> srow(static_cast<std::size_t>(vw) + 1),
          conv(rgb ? 0 : static_cast<std::size_t>(x1 - x0 + 1));
      std::vector<std::uint8_t> arow(useAlpha && !run ? static_cast<std::size_t>(vw) : 0);
      const TRGB* src = srow.data();
      const std::uint8_t* alpha = nullptr;
      int lastRow = -1;
      for (int y = vis.Top + Begin; y < vis.Top + End; ++y) {
        int sy = ylut[static_cast<std::size_t>(y - vis.Top)];
        if (sy != lastRow) {
          const std::uint8_t* line = GetScanline(sy);
          if (rgb && run) {
            src = reinterpret_cast<const TRGB*>(line + 3 * static_cast<std::size_t>(x0));
          } else if (run) {
            read(line, x0, vw, fPalette.data(), static_cast<int>(fPalette.size()), srow.data());
          } else if (rgb) {
            // Four bytes a pixel, the fourth overwritten by the next (srow has
            // a spare pixel), but at the row's last pixel.
            auto* out = reinterpret_cast<std::uint8_t*>(srow.data());
            for (int i = 0; i < vw; ++i) {
              const std::uint8_t* p = line + 3 * static_cast<std::size_t>(xlut[i]);
              if (xlut[i] < fWidth - 1) {
                std::uint32_t v;
                std::memcpy(&v, p, 4);
                std::memcpy(out + 3 * static_cast<std::size_t>(i), &v, 4);
              } else {
                std::memcpy(out + 3 * static_cast<std::size_t>(i), p, 3);
              }
            }
          } else {
            read(line, x0, x1 - x0 + 1, fPalette.data(), static_cast<int>(fPalette.size()), conv.data());
            for (int i = 0; i < vw; ++i)
              srow[static_cast<std::size_t>(i)] = conv[static_cast<std::size_t>(xlut[i] - x0)];
          }
          if (useAlpha) {
            const std::uint8_t* a = fAlpha->GetScanline(sy);
            if (run) {
              alpha = a + x0;
            } else {
              for (int i = 0; i < vw; ++i) arow[static_cast<std::size_t>(i)] = a[xlut[i]];
              alpha = arow.data();
            }
          }
          lastRow = sy;
        }
        BlendRow(src, alpha, Dest->GetScanline(y) + 3 * static_cast<std::size_t>(vis.Left), vw, Transparency,
                 Operation);
      }
    };
    // Rows of bitmaps in memory are handed out on the workers.
    const bool parallel =
        fLocation == ieMemory && (!useAlpha || fAlpha->Location() == ieMemory) && Dest->Location() != ieFile;
    IEParallelFor(vis.Height(), static_cast<std::int64_t>(vw) * 8, parallel, band);
    return;
  }

  const std::int64_t fkey[15] = {fWidth,
                                 fHeight,
                                 fPixelFormat,
                                 vis.Left - xDst,
                                 vis.Top - yDst,
                                 vis.Right - xDst,
                                 vis.Bottom - yDst,
                                 dxDst,
                                 dyDst,
                                 xSrc,
                                 ySrc,
                                 dxSrc,
                                 dySrc,
                                 Filter,
                                 fAlpha ? fAlpha->Full() : 2};
  TIERenderSource rs;
  if (Caches && C.KeepFiltered && C.Filtered && C.FilteredFrom == this && C.FilteredAlpha == fAlpha &&
      std::equal(fkey, fkey + 15, C.FilteredKey)) {
    rs.Image = C.Filtered.get();
    rs.OffX = xDst + C.FilteredOffX;
    rs.OffY = yDst + C.FilteredOffY;
  } else {
    rs = Resampled(this, vis, xDst, yDst, dxDst, dyDst, xSrc, ySrc, dxSrc, dySrc, Filter);
    if (Caches && C.KeepFiltered) {
      C.Filtered = std::move(rs.Owned);
      C.FilteredFrom = this;
      C.FilteredAlpha = fAlpha;
      C.FilteredOffX = rs.OffX - xDst;
      C.FilteredOffY = rs.OffY - yDst;
      std::copy(fkey, fkey + 15, C.FilteredKey);
    }
  }
  TIEBitmap* img = rs.Image;
  const bool useAlpha = EnableAlpha && img->HasAlphaChannel() && !img->GetAlphaChannel()->Full();
  TIEBitmap* imgAlpha = useAlpha ? img->GetAlphaChannel() : nullptr;
  const TIERowToRGBFunc read = IERowToRGBFor(img->PixelFormat());
  // The visible columns inside the filtered image (as they mostly are): only
  // they are read, 24-bit pixels and alpha bytes where they lie.
  const int lo = vis.Left - rs.OffX;
  const bool inside = lo >= 0 && lo + vw <= img->Width();
  auto band = [&](int Begin, int End) {
    std::vector<TRGB> srow(static_cast<std::size_t>(vw)),
        full(inside ? 0 : static_cast<std::size_t>(img->Width()));
    std::vector<std::uint8_t> arow(inside ? 0 : static_cast<std::size_t>(vw));
    for (int y = vis.Top + Begin; y < vis.Top + End; ++y) {
      int ty = std::clamp(y - rs.OffY, 0, img->Height() - 1);
      const std::uint8_t* a = imgAlpha ? imgAlpha->GetScanline(ty) : nullptr;
      std::uint8_t* d = Dest->GetScanline(y) + 3 * static_cast<std::size_t>(vis.Left);
      const std::uint8_t* line = img->GetScanline(ty);
      if (inside) {
        const TRGB* from = srow.data();
        if (img->PixelFormat() == ie24RGB)
          from = reinterpret_cast<const TRGB*>(line + 3 * static_cast<std::size_t>(lo));
        else
          read(line, lo, vw, img->GetPaletteBuffer(), img->GetPaletteLength(), srow.data());
        BlendRow(from, a ? a + lo : nullptr, d, vw, Transparency, Operation);
        continue;
      }
      read(line, 0, img->Width(), img->GetPaletteBuffer(), img->GetPaletteLength(), full.data());
      for (int i = 0; i < vw; ++i) {
        int tx = std::clamp(vis.Left + i - rs.OffX, 0, img->Width() - 1);
        srow[static_cast<std::size_t>(i)] = full[static_cast<std::size_t>(tx)];
        if (a) arow[static_cast<std::size_t>(i)] = a[tx];
      }
      BlendRow(srow.data(), a ? arow.data() : nullptr, d, vw, Transparency, Operation);
    }
  };
  const bool parallel = img->Location() == ieMemory && (!imgAlpha || imgAlpha->Location() == ieMemory) &&
                        Dest->Location() != ieFile;
  IEParallelFor(vis.Height(), static_cast<std::int64_t>(vw) * 8, parallel, band);
}

void TIEBitmap::RenderToTIEBitmap(TIEBitmap* Dest, int xDst, int yDst, int dxDst, int dyDst, int xSrc,
                                  int ySrc, int dxSrc, int dySrc, bool EnableAlpha, TResampleFilter Filter,
                                  int Transparency, std::uint8_t Operation) {
  RenderToTIEBitmapEx(Dest, nullptr, nullptr, xDst, yDst, dxDst, dyDst, xSrc, ySrc, dxSrc, dySrc, EnableAlpha,
                      false, Transparency, Filter, Operation);
}

void TIEBitmap::RenderToTBitmapEx(TBitmap* Dest, std::unique_ptr<TIERenderCaches>& Caches,
                                  const TRect* ClipRect, int xDst, int yDst, int dxDst, int dyDst, int xSrc,
                                  int ySrc, int dxSrc, int dySrc, bool EnableAlpha, bool SolidBackground,
                                  int Transparency, TResampleFilter Filter, bool FreeCaches,
                                  std::uint8_t Operation) {
  if (!Dest || Dest->Empty()) return;
  if (!Caches) Caches = std::make_unique<TIERenderCaches>();
  TIEBitmap wrap;
  wrap.AttachTBitmap(Dest, false);
  if (wrap.PixelFormat() == ie24RGB) {
    RenderToTIEBitmapEx(&wrap, Caches.get(), ClipRect, xDst, yDst, dxDst, dyDst, xSrc, ySrc, dxSrc, dySrc,
                        EnableAlpha, SolidBackground, Transparency, Filter, Operation);
  } else if (wrap.PixelFormat() == ie32RGB) {
    // A 32-bit target is drawn through a 24-bit copy of its pixels.
    TIEBitmap rgb(Dest->Width(), Dest->Height(), ie24RGB);
    wrap.CopyRectTo(&rgb, 0, 0, 0, 0, Dest->Width(), Dest->Height());
    RenderToTIEBitmapEx(&rgb, Caches.get(), ClipRect, xDst, yDst, dxDst, dyDst, xSrc, ySrc, dxSrc, dySrc,
                        EnableAlpha, SolidBackground, Transparency, Filter, Operation);
    rgb.CopyRectTo(&wrap, 0, 0, 0, 0, Dest->Width(), Dest->Height());
  }
  if (FreeCaches) Caches.reset();
}

void TIEBitmap::StretchRectTo(TIEBitmap* Dest, int xDst, int yDst, int dxDst, int dyDst, int xSrc, int ySrc,
                              int dxSrc, int dySrc, TResampleFilter Filter, int Transparency) {
  if (!Dest || Dest == this || fWidth <= 0 || fHeight <= 0 || dxDst <= 0 || dyDst <= 0 || dxSrc <= 0 ||
      dySrc <= 0)
    return;
  std::int64_t sx0 = std::clamp(xSrc, 0, fWidth - 1), sy0 = std::clamp(ySrc, 0, fHeight - 1);
  std::int64_t sx1 = std::clamp<std::int64_t>(static_cast<std::int64_t>(xSrc) + dxSrc, sx0 + 1, fWidth);
  std::int64_t sy1 = std::clamp<std::int64_t>(static_cast<std::int64_t>(ySrc) + dySrc, sy0 + 1, fHeight);
  TRect vis{};
  TRect target{xDst, yDst, static_cast<int>(std::min<std::int64_t>(0x7FFFFFFF, std::int64_t(xDst) + dxDst)),
               static_cast<int>(std::min<std::int64_t>(0x7FFFFFFF, std::int64_t(yDst) + dyDst))};
  if (!IntersectRect(vis, target, TRect{0, 0, Dest->Width(), Dest->Height()})) return;
  Transparency = std::clamp(Transparency, 0, 255);
  TIERenderSource rs =
      Resampled(this, vis, xDst, yDst, dxDst, dyDst, static_cast<int>(sx0), static_cast<int>(sy0),
                static_cast<int>(sx1 - sx0), static_cast<int>(sy1 - sy0), Filter);
  TIEBitmap* img = rs.Image;
  // Pixels: the resampled rectangle copied (and converted) into Dest.
  img->CopyRectTo(Dest, vis.Left - rs.OffX, vis.Top - rs.OffY, vis.Left, vis.Top, vis.Width(), vis.Height());
  // Alpha: the resampled plane times Transparency; without a source plane,
  // Transparency alone (Dest gains a plane only when it is below 255).
  const bool srcAlpha = img->HasAlphaChannel();
  if (!srcAlpha && Transparency == 255 && !Dest->HasAlphaChannel()) return;
  TIEBitmap* da = Dest->GetAlphaChannel();
  bool full = da->Full();
  for (int y = vis.Top; y < vis.Bottom; ++y) {
    std::uint8_t* d = da->GetScanline(y) + vis.Left;
    const std::uint8_t* a =
        srcAlpha ? img->GetAlphaChannel()->GetScanline(std::clamp(y - rs.OffY, 0, img->Height() - 1))
                 : nullptr;
    for (int i = 0; i < vis.Width(); ++i) {
      int sa = a ? a[std::clamp(vis.Left + i - rs.OffX, 0, img->Width() - 1)] : 255;
      d[i] = static_cast<std::uint8_t>(sa * Transparency / 255);
      if (d[i] != 255) full = false;
    }
  }
  da->SetFull(full);
}

}  // namespace redozir
