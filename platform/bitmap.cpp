#include "platform/bitmap.h"

#include <cstring>

#include "platform/blit_rows.h"
#include "platform/canvas.h"
#include "platform/exceptions.h"

namespace redozir {

int PixelFormatBits(TPixelFormat pf) {
  switch (pf) {
    case pf1bit: return 1;
    case pf4bit: return 4;
    case pf8bit: return 8;
    case pf15bit:
    case pf16bit: return 16;
    case pf24bit: return 24;
    case pfDevice:
    case pf32bit: return 32;
    default: return 32;
  }
}

std::int64_t BytesPerScanline(std::int64_t width, int bitCount, int alignBits) {
  if (alignBits <= 0) alignBits = 8;
  std::int64_t bits = width * bitCount;
  return ((bits + alignBits - 1) / alignBits) * alignBits / 8;
}

std::vector<TRGBQuad> DefaultPalette(TPixelFormat pf) {
  std::vector<TRGBQuad> p;
  auto q = [](int r, int g, int b) {
    return TRGBQuad{static_cast<std::uint8_t>(b), static_cast<std::uint8_t>(g), static_cast<std::uint8_t>(r),
                    0};
  };
  switch (pf) {
    case pf1bit: p = {q(0, 0, 0), q(255, 255, 255)}; break;
    case pf4bit:
      p = {q(0, 0, 0),     q(128, 0, 0),     q(0, 128, 0),     q(128, 128, 0),  q(0, 0, 128), q(128, 0, 128),
           q(0, 128, 128), q(192, 192, 192), q(128, 128, 128), q(255, 0, 0),    q(0, 255, 0), q(255, 255, 0),
           q(0, 0, 255),   q(255, 0, 255),   q(0, 255, 255),   q(255, 255, 255)};
      break;
    case pf8bit:
      for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 6; ++g)
          for (int b = 0; b < 6; ++b) p.push_back(q(r * 51, g * 51, b * 51));
      for (int i = 0; i < 40; ++i) {
        int v = (i * 255 + 19) / 39;
        p.push_back(q(v, v, v));
      }
      break;
    default: break;
  }
  return p;
}

TBitmap::TBitmap() { rowBytes_ = 0; }

TBitmap::TBitmap(int width, int height, TPixelFormat pf) {
  pf_ = pf;
  palette_ = DefaultPalette(pf);
  SetSize(width, height);
}

TBitmap::~TBitmap() = default;

void TBitmap::Reallocate(int w, int h, TPixelFormat pf, bool keep) {
  if (w < 0 || h < 0 || w > 0x7FFFFFF || h > 0x7FFFFFF)
    throw EOutOfMemory("Bitmap size out of range: " + std::to_string(w) + " x " + std::to_string(h));
  if (w == 0 || h == 0) {
    w = h = 0;
  }
  std::int64_t rb = BytesPerScanline(w, PixelFormatBits(pf));
  std::int64_t total = rb * h;
  if (total > kMaxBitmapBytes)
    throw EOutOfMemory("Bitmap too large: " + std::to_string(w) + " x " + std::to_string(h));
  std::vector<std::uint8_t> nb(static_cast<size_t>(total), 0);
  if (keep && !bits_.empty() && pf == pf_) {
    int cw = std::min(w, width_), ch = std::min(h, height_);
    std::int64_t cb = BytesPerScanline(cw, PixelFormatBits(pf), 8);
    for (int y = 0; y < ch; ++y)
      std::memcpy(nb.data() + rb * y, bits_.data() + rowBytes_ * y, static_cast<size_t>(cb));
  }
  bits_ = std::move(nb);
  width_ = w;
  height_ = h;
  pf_ = pf;
  rowBytes_ = rb;
  ++generation_;
  if (canvas_) canvas_->BitmapChanged();
}

void TBitmap::SetSize(int w, int h) {
  if (w == width_ && h == height_ && !(w && bits_.empty())) return;
  Reallocate(w, h, pf_, true);
}

std::uint8_t* TBitmap::ScanLine(int y) {
  if (y < 0 || y >= height_) throw ERangeError("Scan line index out of range: " + std::to_string(y));
  return bits_.data() + rowBytes_ * y;
}

const std::uint8_t* TBitmap::ScanLine(int y) const {
  if (y < 0 || y >= height_) throw ERangeError("Scan line index out of range: " + std::to_string(y));
  return bits_.data() + rowBytes_ * y;
}

bool TBitmap::IsGreyRamp() const {
  if (BitCount() != 8 || palette_.size() != 256) return false;
  for (std::size_t i = 0; i < 256; ++i) {
    const TRGBQuad& q = palette_[i];
    if (q.rgbRed != i || q.rgbGreen != i || q.rgbBlue != i) return false;
  }
  return true;
}

int TBitmap::NearestPaletteIndex(TColor c) const {
  int r = GetRValue(c), g = GetGValue(c), b = GetBValue(c);
  int best = 0;
  long bestD = -1;
  for (size_t i = 0; i < palette_.size(); ++i) {
    long dr = r - palette_[i].rgbRed, dg = g - palette_[i].rgbGreen, db = b - palette_[i].rgbBlue;
    long d = dr * dr + dg * dg + db * db;
    if (bestD < 0 || d < bestD) {
      bestD = d;
      best = static_cast<int>(i);
    }
  }
  return best;
}

TColor TBitmap::GetPixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return clNone;
  const std::uint8_t* row = ScanLine(y);
  auto fromPal = [&](int idx) -> TColor {
    if (idx < 0 || idx >= static_cast<int>(palette_.size())) return clBlack;
    const TRGBQuad& q = palette_[idx];
    return RGB(q.rgbRed, q.rgbGreen, q.rgbBlue);
  };
  switch (pf_) {
    case pf1bit: return fromPal((row[x >> 3] >> (7 - (x & 7))) & 1);
    case pf4bit: return fromPal((x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4));
    case pf8bit: return fromPal(row[x]);
    case pf15bit: {
      unsigned v = row[2 * x] | (row[2 * x + 1] << 8);
      return RGB(((v >> 10) & 31) << 3, ((v >> 5) & 31) << 3, (v & 31) << 3);
    }
    case pf16bit: {
      unsigned v = row[2 * x] | (row[2 * x + 1] << 8);
      return RGB(((v >> 11) & 31) << 3, ((v >> 5) & 63) << 2, (v & 31) << 3);
    }
    case pf24bit: return RGB(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
    default: return RGB(row[4 * x + 2], row[4 * x + 1], row[4 * x]);
  }
}

void TBitmap::SetPixel(int x, int y, TColor c) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
  c = ColorToRGB(c);
  std::uint8_t* row = ScanLine(y);
  int r = GetRValue(c), g = GetGValue(c), b = GetBValue(c);
  switch (pf_) {
    case pf1bit: {
      int idx = NearestPaletteIndex(c);
      std::uint8_t m = static_cast<std::uint8_t>(0x80 >> (x & 7));
      row[x >> 3] = idx ? (row[x >> 3] | m) : (row[x >> 3] & ~m);
      break;
    }
    case pf4bit: {
      int idx = NearestPaletteIndex(c) & 15;
      std::uint8_t& v = row[x >> 1];
      v = (x & 1) ? static_cast<std::uint8_t>((v & 0xF0) | idx)
                  : static_cast<std::uint8_t>((v & 0x0F) | (idx << 4));
      break;
    }
    case pf8bit: row[x] = static_cast<std::uint8_t>(NearestPaletteIndex(c)); break;
    case pf15bit: {
      unsigned v = ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3);
      row[2 * x] = v & 0xFF;
      row[2 * x + 1] = static_cast<std::uint8_t>(v >> 8);
      break;
    }
    case pf16bit: {
      unsigned v = ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3);
      row[2 * x] = v & 0xFF;
      row[2 * x + 1] = static_cast<std::uint8_t>(v >> 8);
      break;
    }
    case pf24bit:
      row[3 * x] = static_cast<std::uint8_t>(b);
      row[3 * x + 1] = static_cast<std::uint8_t>(g);
      row[3 * x + 2] = static_cast<std::uint8_t>(r);
      break;
    default:
      row[4 * x] = static_cast<std::uint8_t>(b);
      row[4 * x + 1] = static_cast<std::uint8_t>(g);
      row[4 * x + 2] = static_cast<std::uint8_t>(r);
      break;
  }
}

void TBitmap::SetPixelFormat(TPixelFormat pf) {
  if (pf == pfDevice || pf == pfCustom) pf = pf32bit;
  if (pf == pf_) return;
  if (Empty()) {
    pf_ = pf;
    palette_ = DefaultPalette(pf);
    rowBytes_ = 0;
    ++generation_;
    if (canvas_) canvas_->BitmapChanged();
    return;
  }
  // Convert through colours: keep the old pixels in a temporary bitmap.
  TBitmap old;
  old.width_ = width_;
  old.height_ = height_;
  old.pf_ = pf_;
  old.rowBytes_ = rowBytes_;
  old.bits_ = std::move(bits_);
  old.palette_ = palette_;
  bits_.clear();
  palette_ = DefaultPalette(pf);
  Reallocate(old.width_, old.height_, pf, false);
  // Between 24 and 32 bits the colour bytes move as they are (the new
  // fourth bytes stay 0, as SetPixel leaves them).
  int from = old.BitCount(), to = BitCount();
  if ((from == 24 || from == 32) && (to == 24 || to == 32)) {
    for (int y = 0; y < height_; ++y) {
      if (from == 24)
        Row24To32(ScanLine(y), old.ScanLine(y), width_);
      else if (to == 24)
        Row32To24(ScanLine(y), old.ScanLine(y), width_);
      else
        MoveRow32(ScanLine(y), old.ScanLine(y), width_);
    }
    return;
  }
  for (int y = 0; y < height_; ++y)
    for (int x = 0; x < width_; ++x) SetPixel(x, y, old.GetPixel(x, y));
}

TCanvas* TBitmap::Canvas() {
  if (!canvas_) canvas_ = std::make_unique<TCanvas>(this);
  return canvas_.get();
}

void TBitmap::Assign(const TBitmap& src) {
  if (&src == this) return;
  bits_ = src.bits_;
  width_ = src.width_;
  height_ = src.height_;
  pf_ = src.pf_;
  rowBytes_ = src.rowBytes_;
  palette_ = src.palette_;
  ++generation_;
  if (canvas_) canvas_->BitmapChanged();
}

}  // namespace redozir
