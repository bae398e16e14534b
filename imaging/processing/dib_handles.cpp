// The global-memory forms of the packed DIB routines: a handle is locked for
// the call and unlocked once before returning, also when the call raises.
#include "imaging/processing/dib_input.h"
#include "imaging/processing/dib_output.h"

namespace redozir {

namespace {
class TBlockLock {
 public:
  explicit TBlockLock(HGLOBAL h) : h_(h), p_(h ? GlobalLock(h) : nullptr) {}
  ~TBlockLock() {
    if (p_) GlobalUnlock(h_);
  }
  TBlockLock(const TBlockLock&) = delete;
  TBlockLock& operator=(const TBlockLock&) = delete;
  void* Data() const { return p_; }
  std::int64_t Size() const { return p_ ? static_cast<std::int64_t>(GlobalSize(h_)) : 0; }

 private:
  HGLOBAL h_;
  void* p_;
};
}  // namespace

int _CopyDIBtoBitmapEx(HGLOBAL DIB, TIEBitmap* Dst, const void* Bits, std::int64_t BitsSize) {
  TBlockLock lock(DIB);
  if (!lock.Data()) return 0;
  return _CopyDIBtoBitmapEx(lock.Data(), lock.Size(), Dst, Bits, BitsSize);
}

int _DrawDIBtoBitmap(HGLOBAL DIB, TIEDibbitmap* Dst, const void* Bits, std::int64_t BitsSize) {
  TBlockLock lock(DIB);
  if (!lock.Data()) return 0;
  return _DrawDIBtoBitmap(lock.Data(), lock.Size(), Dst, Bits, BitsSize);
}

HGLOBAL _CopyBitmaptoDIBEx(TIEBitmap* Bitmap, int X1, int Y1, int X2, int Y2, int DpiX, int DpiY) {
  HGLOBAL h = nullptr;
  void* p = nullptr;
  try {
    const bool done = IEWriteDIB(Bitmap, X1, Y1, X2, Y2, DpiX, DpiY, [&](std::int64_t size) -> std::uint8_t* {
      h = GlobalAlloc(GMEM_MOVEABLE | GMEM_SHARE, static_cast<std::uint64_t>(size));
      p = h ? GlobalLock(h) : nullptr;
      return static_cast<std::uint8_t*>(p);
    });
    if (p) GlobalUnlock(h);
    if (done) return h;
  } catch (...) {
    if (p) GlobalUnlock(h);
    if (h) GlobalFree(h);
    throw;
  }
  if (h) GlobalFree(h);
  return nullptr;
}

}  // namespace redozir
