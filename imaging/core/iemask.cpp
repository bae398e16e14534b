// TIEMask storage, pixel access, bounding box, translation, polygon fill and
// the masked copy between bitmaps.
#include "imaging/core/iemask.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "imaging/core/iebitmap.h"
#include "platform/bitmap.h"

namespace redozir {

namespace {

std::unique_ptr<std::uint8_t[]> ZeroedBlock(std::int64_t bytes) {
  if (bytes <= 0) return nullptr;
  std::unique_ptr<std::uint8_t[]> p(new (std::nothrow) std::uint8_t[static_cast<size_t>(bytes)]);
  if (!p) throw EOutOfMemory("Out of memory allocating a mask of " + std::to_string(bytes) + " bytes");
  std::memset(p.get(), 0, static_cast<size_t>(bytes));
  return p;
}

std::int64_t MaskRowLen(int width, int bpp) {
  return ((static_cast<std::int64_t>(width) * bpp + 31) / 32) * 4;
}

}  // namespace

void TIEMask::AllocateBits(int Width, int Height, int BitsPerPixel) {
  if (BitsPerPixel != 1 && BitsPerPixel != 8)
    throw EInvalidOperation("A mask has 1 or 8 bits per pixel, not " + std::to_string(BitsPerPixel));
  if (Width < 0 || Height < 0) throw EInvalidOperation("Negative mask size");
  std::int64_t rowLen = MaskRowLen(Width, BitsPerPixel);
  std::int64_t total = rowLen * Height;
  if (total > kMaxBitmapBytes || rowLen > INT32_MAX)
    throw EOutOfMemory("Mask too large: " + std::to_string(total) + " bytes");
  fBits.reset();
  fWidth = fHeight = fRowLen = 0;
  fBits = ZeroedBlock(total);
  fWidth = Width;
  fHeight = Height;
  fBitsPerPixel = BitsPerPixel;
  fRowLen = static_cast<int>(rowLen);
  fFull = false;
  X1 = IEMASK_EMPTY;
  Y1 = X2 = Y2 = 0;
}

void TIEMask::Assign(const TIEMask& Source) {
  if (&Source == this) return;
  std::int64_t total = static_cast<std::int64_t>(Source.fRowLen) * Source.fHeight;
  auto block = ZeroedBlock(total);
  if (total > 0) std::memcpy(block.get(), Source.fBits.get(), static_cast<size_t>(total));
  fBits = std::move(block);
  fWidth = Source.fWidth;
  fHeight = Source.fHeight;
  fBitsPerPixel = Source.fBitsPerPixel;
  fRowLen = Source.fRowLen;
  fFull = Source.fFull;
  X1 = Source.X1;
  Y1 = Source.Y1;
  X2 = Source.X2;
  Y2 = Source.Y2;
}

void TIEMask::Swap(TIEMask& Other) noexcept {
  std::swap(fBits, Other.fBits);
  std::swap(fWidth, Other.fWidth);
  std::swap(fHeight, Other.fHeight);
  std::swap(fBitsPerPixel, Other.fBitsPerPixel);
  std::swap(fRowLen, Other.fRowLen);
  std::swap(fFull, Other.fFull);
  std::swap(X1, Other.X1);
  std::swap(Y1, Other.Y1);
  std::swap(X2, Other.X2);
  std::swap(Y2, Other.Y2);
}

void TIEMask::Resize(int Width, int Height) {
  if (Width == fWidth && Height == fHeight) return;
  if (Width < 0 || Height < 0) throw EInvalidOperation("Negative mask size");
  std::int64_t rowLen = MaskRowLen(Width, fBitsPerPixel);
  std::int64_t total = rowLen * Height;
  if (total > kMaxBitmapBytes || rowLen > INT32_MAX)
    throw EOutOfMemory("Mask too large: " + std::to_string(total) + " bytes");
  auto block = ZeroedBlock(total);
  int rows = std::min(Height, fHeight);
  int cols = std::min(Width, fWidth);
  std::int64_t copyBytes = (static_cast<std::int64_t>(cols) * fBitsPerPixel + 7) / 8;
  for (int y = 0; y < rows; ++y) {
    std::uint8_t* dst = block.get() + (Height - 1 - y) * rowLen;
    std::memcpy(dst, GetScanline(y), static_cast<size_t>(copyBytes));
    // Pixels past the new width share the last byte of a 1-bit row.
    if (fBitsPerPixel == 1 && (cols & 7))
      dst[copyBytes - 1] &= static_cast<std::uint8_t>(0xFF00 >> (cols & 7));
  }
  fBits = std::move(block);
  fWidth = Width;
  fHeight = Height;
  fRowLen = static_cast<int>(rowLen);
  if (!IsEmpty()) {
    X2 = std::min(X2, Width - 1);
    Y2 = std::min(Y2, Height - 1);
    if (X1 > X2 || Y1 > Y2)
      X1 = IEMASK_EMPTY;
    else
      SyncRect();
  }
  SyncFull();
}

std::uint8_t* TIEMask::GetScanline(int Y) {
  return fBits.get() + static_cast<std::int64_t>(fHeight - 1 - Y) * fRowLen;
}
const std::uint8_t* TIEMask::GetScanline(int Y) const {
  return fBits.get() + static_cast<std::int64_t>(fHeight - 1 - Y) * fRowLen;
}

int TIEMask::GetPixel(int X, int Y) const {
  if (X < 0 || Y < 0 || X >= fWidth || Y >= fHeight) return 0;
  const std::uint8_t* row = GetScanline(Y);
  if (fBitsPerPixel == 8) return row[X];
  return (row[X >> 3] >> (7 - (X & 7))) & 1;
}

void TIEMask::SetPixel(int X, int Y, int Value) {
  if (X < 0 || Y < 0 || X >= fWidth || Y >= fHeight) return;
  std::uint8_t* row = GetScanline(Y);
  if (fBitsPerPixel == 8) {
    row[X] = static_cast<std::uint8_t>(std::clamp(Value, 0, 255));
  } else if (Value != 0) {
    row[X >> 3] |= static_cast<std::uint8_t>(0x80 >> (X & 7));
  } else {
    row[X >> 3] &= static_cast<std::uint8_t>(~(0x80 >> (X & 7)));
  }
  if (Value != 0) Widen(X, Y, X, Y);
}

void TIEMask::Widen(int x1, int y1, int x2, int y2) {
  if (IsEmpty()) {
    X1 = x1;
    Y1 = y1;
    X2 = x2;
    Y2 = y2;
    return;
  }
  X1 = std::min(X1, x1);
  Y1 = std::min(Y1, y1);
  X2 = std::max(X2, x2);
  Y2 = std::max(Y2, y2);
}

void TIEMask::Empty() {
  if (fBits) std::memset(fBits.get(), 0, static_cast<size_t>(static_cast<std::int64_t>(fRowLen) * fHeight));
  X1 = IEMASK_EMPTY;
  Y1 = X2 = Y2 = 0;
  fFull = false;
}

void TIEMask::SyncRect() {
  X1 = IEMASK_EMPTY;
  Y1 = X2 = Y2 = 0;
  for (int y = 0; y < fHeight; ++y) {
    const std::uint8_t* row = GetScanline(y);
    int first = -1, last = -1;
    if (fBitsPerPixel == 8) {
      for (int x = 0; x < fWidth; ++x)
        if (row[x]) {
          if (first < 0) first = x;
          last = x;
        }
    } else {
      int bytes = (fWidth + 7) / 8;
      for (int i = 0; i < bytes; ++i) {
        if (!row[i]) continue;
        for (int b = 0; b < 8; ++b)
          if (row[i] & (0x80 >> b)) {
            int x = i * 8 + b;
            if (x >= fWidth) break;
            if (first < 0) first = x;
            last = x;
          }
      }
    }
    if (first >= 0) Widen(first, y, last, y);
  }
}

void TIEMask::SyncFull() {
  fFull = false;
  if (fWidth == 0 || fHeight == 0 || IsEmpty()) return;
  if (X1 != 0 || Y1 != 0 || X2 != fWidth - 1 || Y2 != fHeight - 1) return;
  // Whole bytes first, then the bits of a 1-bit row's last partial byte.
  int wholeBytes = fBitsPerPixel == 8 ? fWidth : fWidth / 8;
  int restBits = fBitsPerPixel == 8 ? 0 : fWidth % 8;
  std::uint8_t restMask = static_cast<std::uint8_t>(0xFF00 >> restBits);
  for (int y = 0; y < fHeight; ++y) {
    const std::uint8_t* row = GetScanline(y);
    for (int i = 0; i < wholeBytes; ++i)
      if (row[i] != 0xFF) return;
    if (restBits && (row[wholeBytes] & restMask) != restMask) return;
  }
  fFull = true;
}

void TIEMask::Translate(int& DX, int& DY, bool CutBorders) {
  if (IsEmpty() || fWidth == 0 || fHeight == 0) return;
  if (!CutBorders) {
    // 64-bit sums: a request may be near the integer range.
    std::int64_t dx = DX, dy = DY;
    if (X1 + dx < 0) dx = -X1;
    if (X2 + dx > fWidth - 1) dx = fWidth - 1 - X2;
    if (Y1 + dy < 0) dy = -Y1;
    if (Y2 + dy > fHeight - 1) dy = fHeight - 1 - Y2;
    DX = static_cast<int>(dx);
    DY = static_cast<int>(dy);
  }
  if (DX == 0 && DY == 0) return;
  TIEMask moved;
  moved.AllocateBits(fWidth, fHeight, fBitsPerPixel);
  std::int64_t dx = DX, dy = DY;
  for (int y = Y1; y <= Y2; ++y) {
    std::int64_t ny = y + dy;
    if (ny < 0 || ny >= fHeight) continue;
    for (int x = X1; x <= X2; ++x) {
      std::int64_t nx = x + dx;
      if (nx < 0 || nx >= fWidth) continue;
      int v = GetPixel(x, y);
      if (v) moved.SetPixel(static_cast<int>(nx), static_cast<int>(ny), v);
    }
  }
  fBits = std::move(moved.fBits);
  X1 = moved.X1;
  Y1 = moved.Y1;
  X2 = moved.X2;
  Y2 = moved.Y2;
  SyncFull();
}

void TIEMask::FillSpan(int y, int xa, int xb, int Value) {
  // [xa, xb) already clipped to the row.
  std::uint8_t* row = GetScanline(y);
  if (fBitsPerPixel == 8) {
    std::memset(row + xa, std::clamp(Value, 0, 255), static_cast<size_t>(xb - xa));
    return;
  }
  bool set = Value != 0;
  int x = xa;
  while (x < xb && (x & 7)) {
    std::uint8_t bit = static_cast<std::uint8_t>(0x80 >> (x & 7));
    row[x >> 3] = set ? (row[x >> 3] | bit) : (row[x >> 3] & ~bit);
    ++x;
  }
  if (int whole = (xb - x) / 8; whole > 0) {
    std::memset(row + (x >> 3), set ? 0xFF : 0, static_cast<size_t>(whole));
    x += whole * 8;
  }
  while (x < xb) {
    std::uint8_t bit = static_cast<std::uint8_t>(0x80 >> (x & 7));
    row[x >> 3] = set ? (row[x >> 3] | bit) : (row[x >> 3] & ~bit);
    ++x;
  }
}

namespace {

struct TPolyEdge {
  std::int64_t x0, y0, x1, y1;  // y0 < y1
};

// The first pixel whose centre lies at or right of the edge's crossing with
// the centre line of row y: ceil(((2 x0 - 1) D + (2y + 1 - 2 y0)(x1 - x0)) / 2D),
// exact in 128 bits for any 32-bit coordinates.
std::int64_t FirstPixelRightOf(const TPolyEdge& e, std::int64_t y) {
  __int128 D = e.y1 - e.y0;
  __int128 n =
      static_cast<__int128>(2 * e.x0 - 1) * D + static_cast<__int128>(2 * y + 1 - 2 * e.y0) * (e.x1 - e.x0);
  __int128 d = 2 * D;
  __int128 q = n / d;
  if (n % d != 0 && n > 0) ++q;
  if (q < INT32_MIN) return INT32_MIN;
  if (q > INT32_MAX) return INT32_MAX;
  return static_cast<std::int64_t>(q);
}

}  // namespace

void TIEMask::FillPolygons(int Value, const TPoint* Points, int Count) {
  if (!Points || Count <= 0 || fWidth == 0 || fHeight == 0) {
    SyncFull();
    return;
  }
  std::vector<TPolyEdge> edges;
  std::vector<std::int64_t> xs;
  auto fillOne = [&](int first, int last) {
    // Points[first..last) form one closed polygon.
    if (last - first < 3) return;
    edges.clear();
    for (int i = first; i < last; ++i) {
      const TPoint& a = Points[i];
      const TPoint& b = Points[i + 1 < last ? i + 1 : first];
      if (a.Y == b.Y) continue;
      if (a.Y < b.Y)
        edges.push_back({a.X, a.Y, b.X, b.Y});
      else
        edges.push_back({b.X, b.Y, a.X, a.Y});
    }
    if (edges.empty()) return;
    std::sort(edges.begin(), edges.end(), [](const TPolyEdge& p, const TPolyEdge& q) { return p.y0 < q.y0; });
    std::int64_t ymin = edges.front().y0, ymax = edges.front().y1;
    for (const auto& e : edges) ymax = std::max(ymax, e.y1);
    // An edge takes part in rows y0 <= y < y1 (row centre y + 0.5 inside).
    std::int64_t yStart = std::max<std::int64_t>(ymin, 0);
    std::int64_t yEnd = std::min<std::int64_t>(ymax, fHeight);
    std::vector<const TPolyEdge*> active;
    size_t next = 0;
    for (std::int64_t y = yStart; y < yEnd; ++y) {
      while (next < edges.size() && edges[next].y0 <= y) {
        active.push_back(&edges[next]);
        ++next;
      }
      std::erase_if(active, [y](const TPolyEdge* e) { return e->y1 <= y; });
      xs.clear();
      for (const TPolyEdge* e : active) xs.push_back(FirstPixelRightOf(*e, y));
      std::sort(xs.begin(), xs.end());
      for (size_t i = 0; i + 1 < xs.size(); i += 2) {
        std::int64_t a = std::max<std::int64_t>(xs[i], 0);
        std::int64_t b = std::min<std::int64_t>(xs[i + 1], fWidth);
        if (a >= b) continue;
        FillSpan(static_cast<int>(y), static_cast<int>(a), static_cast<int>(b), Value);
        if (Value != 0)
          Widen(static_cast<int>(a), static_cast<int>(y), static_cast<int>(b - 1), static_cast<int>(y));
      }
    }
  };
  int start = 0;
  for (int i = 0; i <= Count; ++i) {
    if (i == Count || (Points[i].X == IESELBREAK && Points[i].Y == IESELBREAK)) {
      fillOne(start, i);
      start = i + 1;
    }
  }
  if (Value == 0) SyncRect();
  SyncFull();
}

void TIEMask::CopyBitmap(TIEBitmap* Dest, TIEBitmap* Source, bool DoAlpha, int SourceX, int SourceY) {
  if (!Dest || !Source || IsEmpty() || Dest == Source) return;
  if (Dest->GetPixelFormat() != Source->GetPixelFormat()) return;
  auto copyPlane = [&](TIEBitmap* dst, TIEBitmap* src) {
    int bits = dst->GetBitCount();
    // Mask pixels covered by the source and by the destination, within the box.
    std::int64_t x1 = std::max<std::int64_t>({X1, SourceX, 0});
    std::int64_t y1 = std::max<std::int64_t>({Y1, SourceY, 0});
    std::int64_t x2 = std::min<std::int64_t>(
        {X2, static_cast<std::int64_t>(SourceX) + src->GetWidth() - 1, dst->GetWidth() - 1, fWidth - 1});
    std::int64_t y2 = std::min<std::int64_t>(
        {Y2, static_cast<std::int64_t>(SourceY) + src->GetHeight() - 1, dst->GetHeight() - 1, fHeight - 1});
    for (std::int64_t y = y1; y <= y2; ++y) {
      const std::uint8_t* m = GetScanline(static_cast<int>(y));
      std::uint8_t* s = src->GetScanline(static_cast<int>(y - SourceY));
      std::uint8_t* d = dst->GetScanline(static_cast<int>(y));
      for (std::int64_t x = x1; x <= x2; ++x) {
        bool on = fBitsPerPixel == 8 ? m[x] != 0 : ((m[x >> 3] >> (7 - (x & 7))) & 1);
        if (!on) continue;
        std::int64_t sx = x - SourceX;
        if (bits == 1) {
          std::uint8_t bit = static_cast<std::uint8_t>(0x80 >> (x & 7));
          bool v = (s[sx >> 3] >> (7 - (sx & 7))) & 1;
          d[x >> 3] = v ? (d[x >> 3] | bit) : (d[x >> 3] & ~bit);
        } else {
          int bpp = bits / 8;
          std::memcpy(d + x * bpp, s + sx * bpp, static_cast<size_t>(bpp));
        }
      }
    }
  };
  copyPlane(Dest, Source);
  if (DoAlpha && Source->HasAlphaChannel()) {
    TIEBitmap* da = Dest->GetAlphaChannel();
    TIEBitmap* sa = Source->GetAlphaChannel();
    if (da->GetPixelFormat() == sa->GetPixelFormat()) copyPlane(da, sa);
    da->SetFull(false);
  }
}

}  // namespace redozir
