// The twelve YUV layouts. Packed layouts are a continuous stream of units
// with no padding between rows; a partial unit at the end of a row is not
// stored and its pixels come out black. In the planar layouts the chroma
// planes are (Height div f) x (Width div f): rows and columns past them
// (odd sizes) take the last chroma row or column, or neutral chroma when
// the plane is empty.
#include "imaging/processing/video_frames.h"

#include <cstring>
#include <string>

#include "imaging/processing/dib_input.h"
#include "imaging/processing/yuv.h"

namespace redozir {

namespace {
struct TPackedLayout {
  std::uint32_t FourCC;
  int BytesPerUnit;
  int PixelsPerUnit;
  bool BottomUp;
};

constexpr TPackedLayout kPacked[] = {
    {IEFourCC("IYU1"), 6, 4, false}, {IEFourCC("IYU2"), 3, 1, false}, {IEFourCC("UYVY"), 4, 2, false},
    {IEFourCC("UYNV"), 4, 2, false}, {IEFourCC("cyuv"), 4, 2, true},  {IEFourCC("YUY2"), 4, 2, false},
    {IEFourCC("YUNV"), 4, 2, false}, {IEFourCC("YVYU"), 4, 2, false}, {IEFourCC("Y41P"), 12, 8, true},
    {IEFourCC("Y211"), 4, 4, false}, {IEFourCC("CLJR"), 4, 4, false},
};

struct TPlanarLayout {
  std::uint32_t FourCC;
  int Factor;   // one chroma sample per Factor x Factor pixels
  bool UFirst;  // U plane before V plane
};

constexpr TPlanarLayout kPlanar[] = {
    {IEFourCC("YVU9"), 4, false},
    {IEFourCC("YV12"), 2, false},
    {IEFourCC("I420"), 2, true},
    {IEFourCC("IYUV"), 2, true},
};

const TPackedLayout* FindPacked(std::uint32_t f) {
  for (const auto& l : kPacked)
    if (l.FourCC == f) return &l;
  return nullptr;
}
const TPlanarLayout* FindPlanar(std::uint32_t f) {
  for (const auto& l : kPlanar)
    if (l.FourCC == f) return &l;
  return nullptr;
}

inline void Px(const TIEYUVTables& t, std::uint8_t* d, int y, int u, int v) {
  IEYUVToRGBBytes(t, static_cast<std::uint8_t>(y), static_cast<std::uint8_t>(u), static_cast<std::uint8_t>(v),
                  d);
}

// 5-bit and 6-bit samples brought to 0..255 by repeating their top bits.
inline int Expand5(unsigned v) { return static_cast<int>((v << 3) | (v >> 2)); }
inline int Expand6(unsigned v) { return static_cast<int>((v << 2) | (v >> 4)); }

template <typename Unit>
void PackedRows(const TPackedLayout& l, const std::uint8_t* src, TIEBitmap* dst, bool topDown, Unit unit) {
  const int w = dst->GetWidth(), h = dst->GetHeight();
  const int units = w / l.PixelsPerUnit;
  const int done = units * l.PixelsPerUnit;
  const bool bottomUp = l.BottomUp && !topDown;
  for (int r = 0; r < h; ++r) {
    std::uint8_t* d = dst->GetScanline(bottomUp ? h - 1 - r : r);
    for (int i = 0; i < units; ++i, src += l.BytesPerUnit, d += 3 * l.PixelsPerUnit) unit(src, d);
    if (done < w) std::memset(d, 0, static_cast<size_t>(w - done) * 3);
  }
}

void DecodePacked(const TPackedLayout& l, const std::uint8_t* s, TIEBitmap* dst, bool topDown) {
  const TIEYUVTables& t = IEYUVTables();
  switch (l.FourCC) {
    case IEFourCC("IYU1"):
      PackedRows(l, s, dst, topDown, [&t](const std::uint8_t* u, std::uint8_t* d) {
        Px(t, d, u[1], u[0], u[3]);
        Px(t, d + 3, u[2], u[0], u[3]);
        Px(t, d + 6, u[4], u[0], u[3]);
        Px(t, d + 9, u[5], u[0], u[3]);
      });
      break;
    case IEFourCC("IYU2"):
      PackedRows(l, s, dst, topDown,
                 [&t](const std::uint8_t* u, std::uint8_t* d) { Px(t, d, u[1], u[0], u[2]); });
      break;
    case IEFourCC("UYVY"):
    case IEFourCC("UYNV"):
    case IEFourCC("cyuv"):
      PackedRows(l, s, dst, topDown, [&t](const std::uint8_t* u, std::uint8_t* d) {
        Px(t, d, u[1], u[0], u[2]);
        Px(t, d + 3, u[3], u[0], u[2]);
      });
      break;
    case IEFourCC("YUY2"):
    case IEFourCC("YUNV"):
      PackedRows(l, s, dst, topDown, [&t](const std::uint8_t* u, std::uint8_t* d) {
        Px(t, d, u[0], u[1], u[3]);
        Px(t, d + 3, u[2], u[1], u[3]);
      });
      break;
    case IEFourCC("YVYU"):
      PackedRows(l, s, dst, topDown, [&t](const std::uint8_t* u, std::uint8_t* d) {
        Px(t, d, u[0], u[3], u[1]);
        Px(t, d + 3, u[2], u[3], u[1]);
      });
      break;
    case IEFourCC("Y41P"):
      PackedRows(l, s, dst, topDown, [&t](const std::uint8_t* u, std::uint8_t* d) {
        // U0 Y0 V0 Y1 U4 Y2 V4 Y3 Y4 Y5 Y6 Y7
        const int ys[8] = {u[1], u[3], u[5], u[7], u[8], u[9], u[10], u[11]};
        for (int i = 0; i < 4; ++i) Px(t, d + 3 * i, ys[i], u[0], u[2]);
        for (int i = 4; i < 8; ++i) Px(t, d + 3 * i, ys[i], u[4], u[6]);
      });
      break;
    case IEFourCC("Y211"):
      PackedRows(l, s, dst, topDown, [&t](const std::uint8_t* u, std::uint8_t* d) {
        Px(t, d, u[0], u[1], u[3]);
        std::memcpy(d + 3, d, 3);
        Px(t, d + 6, u[2], u[1], u[3]);
        std::memcpy(d + 9, d + 6, 3);
      });
      break;
    case IEFourCC("CLJR"):
      PackedRows(l, s, dst, topDown, [&t](const std::uint8_t* u, std::uint8_t* d) {
        const std::uint32_t w = static_cast<std::uint32_t>(u[0]) | static_cast<std::uint32_t>(u[1]) << 8 |
                                static_cast<std::uint32_t>(u[2]) << 16 |
                                static_cast<std::uint32_t>(u[3]) << 24;
        const int v = Expand6(w & 0x3F), uu = Expand6((w >> 6) & 0x3F);
        for (int i = 0; i < 4; ++i) Px(t, d + 3 * i, Expand5((w >> (12 + 5 * i)) & 0x1F), uu, v);
      });
      break;
    default: break;
  }
}

void DecodePlanar(const TPlanarLayout& l, const std::uint8_t* s, TIEBitmap* dst) {
  const TIEYUVTables& t = IEYUVTables();
  const int w = dst->GetWidth(), h = dst->GetHeight();
  const int f = l.Factor;
  const int cw = w / f, ch = h / f;
  const std::uint8_t* yp = s;
  const std::uint8_t* first = yp + static_cast<std::int64_t>(w) * h;
  const std::uint8_t* second = first + static_cast<std::int64_t>(cw) * ch;
  const std::uint8_t* up = l.UFirst ? first : second;
  const std::uint8_t* vp = l.UFirst ? second : first;
  const bool noChroma = cw == 0 || ch == 0;
  for (int y = 0; y < h; ++y) {
    std::uint8_t* d = dst->GetScanline(y);
    const std::uint8_t* yr = yp + static_cast<std::int64_t>(y) * w;
    if (noChroma) {
      for (int x = 0; x < w; ++x) Px(t, d + 3 * x, yr[x], 128, 128);
      continue;
    }
    const int cy = y / f < ch ? y / f : ch - 1;
    const std::uint8_t* ur = up + static_cast<std::int64_t>(cy) * cw;
    const std::uint8_t* vr = vp + static_cast<std::int64_t>(cy) * cw;
    const int full = cw * f;
    int x = 0;
    if (f == 2) {
      for (; x < full; x += 2) {
        const int u = ur[x >> 1], v = vr[x >> 1];
        Px(t, d + 3 * x, yr[x], u, v);
        Px(t, d + 3 * x + 3, yr[x + 1], u, v);
      }
    } else {
      for (; x < full; ++x) Px(t, d + 3 * x, yr[x], ur[x / f], vr[x / f]);
    }
    for (; x < w; ++x) Px(t, d + 3 * x, yr[x], ur[cw - 1], vr[cw - 1]);
  }
}
}  // namespace

bool IEIsVideoFourCC(std::uint32_t FourCC) { return FindPacked(FourCC) || FindPlanar(FourCC); }

std::int64_t IEVideoFrameBytes(std::uint32_t FourCC, std::int64_t Width, std::int64_t Height) {
  if (Width < 0 || Height < 0) return -1;
  if (const auto* p = FindPacked(FourCC)) return Width / p->PixelsPerUnit * p->BytesPerUnit * Height;
  if (const auto* p = FindPlanar(FourCC))
    return Width * Height + 2 * (Width / p->Factor) * (Height / p->Factor);
  return -1;
}

void IECheckVideoFrame(std::uint32_t FourCC, std::int64_t Width, std::int64_t Height, std::int64_t Size) {
  const std::int64_t need = IEVideoFrameBytes(FourCC, Width, Height);
  if (need < 0) throw EFormatError("Video frame: not a layout we read");
  if (Width < 1 || Height < 1)
    throw EFormatError("Video frame: bad size (" + std::to_string(Width) + " x " + std::to_string(Height) +
                       ")");
  if (const auto* p = FindPacked(FourCC); p && Width < p->PixelsPerUnit)
    throw EFormatError("Video frame: " + std::to_string(Width) + " pixels wide, narrower than one unit of " +
                       std::to_string(p->PixelsPerUnit) + " pixels");
  if (Size < need)
    throw EFormatError("Video frame: pixel data too short (" + std::to_string(need) + " bytes needed, " +
                       std::to_string(Size) + " given)");
}

void IEDecodeVideoFrame(std::uint32_t FourCC, const std::uint8_t* Data, std::int64_t Size, TIEBitmap* Dst,
                        bool TopDown) {
  if (!Dst || Dst->GetPixelFormat() != ie24RGB)
    throw EFormatError("Video frame: the destination is not ie24RGB");
  IECheckVideoFrame(FourCC, Dst->GetWidth(), Dst->GetHeight(), Data ? Size : 0);
  if (const auto* p = FindPacked(FourCC))
    DecodePacked(*p, Data, Dst, TopDown);
  else if (const auto* p = FindPlanar(FourCC))
    DecodePlanar(*p, Data, Dst);
}

}  // namespace redozir
