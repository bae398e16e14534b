// TIEBitmap's renderer (RenderToTIEBitmapEx and its short forms) and
// StretchRectTo: a source rectangle scaled into a destination rectangle by
// a resampling filter, weighted by alpha and Transparency, with the table of
// blending operations.
#include "imaging/core/iebitmap_render.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <functional>
#include <stdexcept>

#include "imaging/core/ie_parallel.h"
#include "imaging/core/ie_pixelrow.h"
#include "imaging/core/ie_render_resample.h"
#include "imaging/core/ie_startup.h"
#include "platform/numeric.h"

namespace redozir {

namespace {
// Filled by IEConnectFloors.
std::atomic<TIERenderResampler> RenderResampler{nullptr};
}  // namespace

void IESetRenderResampler(TIERenderResampler Resampler) {
  RenderResampler.store(Resampler, std::memory_order_release);
}

TIERenderSource IERenderResampled(TIEBitmap* Src, const TRect& Vis, int xDst, int yDst, int dxDst, int dyDst,
                                  int xSrc, int ySrc, int dxSrc, int dySrc, TResampleFilter Filter) {
  TIERenderResampler resampler = RenderResampler.load(std::memory_order_acquire);
  if (resampler == nullptr) {
    IEConnectFloors();
    resampler = RenderResampler.load(std::memory_order_acquire);
    if (resampler == nullptr) throw std::logic_error("the library has no resampler to render with");
  }
  return resampler(Src, Vis, xDst, yDst, dxDst, dyDst, xSrc, ySrc, dxSrc, dySrc, Filter);
}

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
    rs = IERenderResampled(this, vis, xDst, yDst, dxDst, dyDst, xSrc, ySrc, dxSrc, dySrc, Filter);
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
      IERenderResampled(this, vis, xDst, yDst, dxDst, dyDst, static_cast<int>(sx0), static_cast<int>(sy0),
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
