// TIEBitmap, the library's image buffer, and its abstract base: every pixel
// format from 1-bit to 48-bit with an optional alpha plane, kept in plain
// memory, in a disk buffer (a temporary file mapped row by row) or in a
// platform TBitmap.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "imaging/core/ie_types.h"
#include "platform/bitmap.h"
#include "platform/canvas.h"
#include "platform/object.h"
#include "platform/stream.h"

class TIEBitmap;
class TIEDiskBuffer;

// The operations shared by TIEBitmap and TIEDibbitmap; code that accepts
// either kind of bitmap works through these.
class TIEBaseBitmap : public TObject {
 public:
  virtual std::uint8_t* GetScanline(int Y) = 0;
  virtual int GetBitCount() const = 0;
  virtual int GetHeight() const = 0;
  virtual int GetWidth() const = 0;
  virtual TIEPixelFormat GetPixelFormat() const = 0;
  virtual int GetRowLen() const = 0;
  virtual TRGB* GetPaletteBuffer() = 0;
  virtual TRGB GetPalette(int index) const = 0;
  virtual void SetPalette(int index, TRGB value) = 0;
  virtual int GetPaletteLength() const = 0;
  virtual bool Allocate(int ImageWidth, int ImageHeight, TIEPixelFormat ImagePixelFormat) = 0;
  virtual void Assign(TIEBaseBitmap* Source) = 0;
  virtual void CopyPaletteTo(TIEBaseBitmap* Dest) = 0;

  int Width() const { return GetWidth(); }
  int Height() const { return GetHeight(); }
  TIEPixelFormat PixelFormat() const { return GetPixelFormat(); }
};

// Raised when a bitmap operation is asked something it cannot do.
class EIEBitmapError : public Exception { using Exception::Exception; };

class TIEBitmap : public TIEBaseBitmap {
 public:
  TIEBitmap();
  TIEBitmap(int Width, int Height, TIEPixelFormat PixelFormat);
  ~TIEBitmap() override;

  static std::unique_ptr<TIEBitmap> Create() { return std::make_unique<TIEBitmap>(); }
  static std::unique_ptr<TIEBitmap> CreateSized(int Width, int Height, TIEPixelFormat pf) {
    return std::make_unique<TIEBitmap>(Width, Height, pf);
  }

  // --- the base operations
  std::uint8_t* GetScanline(int Y) override;
  int GetBitCount() const override { return fBitCount; }
  int GetHeight() const override { return fHeight; }
  int GetWidth() const override { return fWidth; }
  TIEPixelFormat GetPixelFormat() const override { return fPixelFormat; }
  int GetRowLen() const override { return fRowLen; }
  TRGB* GetPaletteBuffer() override { return fPalette.data(); }
  TRGB GetPalette(int index) const override;
  void SetPalette(int index, TRGB value) override;
  int GetPaletteLength() const override { return static_cast<int>(fPalette.size()); }
  // True and nothing else when size and format already match; otherwise
  // frees the pixels and allocates new, undefined ones (in memory or the disk
  // buffer by the memory threshold; a bitmap on ieTBitmap stays there).
  // False and a 0 x 0 bitmap on failure (an absurd size among them).
  bool Allocate(int ImageWidth, int ImageHeight, TIEPixelFormat ImagePixelFormat) override;
  // A full copy: size, format, Full flag, alignment, pixels, palette, alpha.
  void Assign(TIEBaseBitmap* Source) override;
  void CopyPaletteTo(TIEBaseBitmap* Dest) override;

  // Copies a platform bitmap of 1 to 32 bits.
  void Assign(TBitmap* Source);
  // Width, height, format, pixels and palette of Source; keeps our alpha plane.
  void AssignImage(TIEBitmap* Source);
  void FreeImage(bool FreeAlpha = true);

  // Palette of an ie8p image: its entries and the number in use.
  int PaletteUsed() const { return fPaletteUsed; }
  void SetPaletteUsed(int n);
  void SetPaletteLength(int n);

  // --- pixel format change
  void SetPixelFormat(TIEPixelFormat pf);
  void ConvertToPixelFormat(TIEPixelFormat pf);
  // Fills this bitmap (already allocated at Source's size) from Source,
  // converting Source's format into ours.
  void ConvertFrom(TIEBitmap* Source);

  // --- pixels
  TRGB GetPixels(int X, int Y);
  // A row that stays valid until UnlockRow, also on the disk buffer.
  std::uint8_t* LockRow(int Y);
  void UnlockRow(int Y);
  void CopyRectTo(TIEBitmap* Dest, int SrcX, int SrcY, int DstX, int DstY, int RectWidth, int RectHeight);
  void MoveRegion(int x1, int y1, int x2, int y2, int DstX, int DstY, double FillColor, bool Fill);
  void Fill(double Value);
  void FillRect(int x1, int y1, int x2, int y2, double Value);
  void Resize(int NewWidth, int NewHeight, double Background, int AlphaFill, int HorizAlign, int VertAlign);
  void SetWidth(int Value);
  void SetHeight(int Value);

  // --- storage location
  TIELocation Location() const { return fLocation; }
  void SetLocation(TIELocation Location);
  void AttachTBitmap(TBitmap* Bitmap, bool FreeCurrent = true);
  TBitmap* GetVclBitmap();
  TCanvas* GetCanvas();
  bool IsVclBitmap() const { return fIsVclBitmap; }
  void SetIsVclBitmap(bool v) { fIsVclBitmap = v; }
  // Byte size above which new pixels go to the disk buffer (-1: never).
  std::int64_t MemoryThreshold() const { return fMemoryThreshold; }
  void SetMemoryThreshold(std::int64_t v) { fMemoryThreshold = v; }
  // 1 read, 2 write, 3 both: how the disk buffer maps the rows it hands out.
  std::uint8_t AccessMode() const { return fAccess; }
  void SetAccessMode(std::uint8_t v) { fAccess = v; }
  // 0 ordered dither, 1 threshold: what a change to ie1g uses.
  std::uint8_t DitherMethod() const { return fDitherMethod; }
  void SetDitherMethod(std::uint8_t v) { fDitherMethod = v; }
  int RowAlign() const { return fRowAlign; }
  void SetRowAlign(int bits);

  // --- alpha plane
  bool HasAlphaChannel() const { return fAlpha != nullptr; }
  TIEBitmap* GetAlphaChannel();
  void SetAlphaChannel(TIEBitmap* Plane);
  void RemoveAlphaChannel(bool Merge = false, TColor Background = 0);
  std::uint8_t GetAlpha(int X, int Y);
  bool IsAlphaPlane() const { return fIsAlpha; }
  // Set while the alpha plane is known to hold 255 everywhere.
  bool Full() const { return fFull; }
  void SetFull(bool v) { fFull = v; }
  void SyncFull();

  // --- raw stream ("TIEBITMAPRAW")
  void SaveRawToStream(TStream& Stream);
  bool LoadRawFromStream(TStream& Stream);

  // The platform's default for new bitmaps' memory threshold.
  static std::int64_t DefaultMemoryThreshold;

 private:
  friend class TIEDiskBuffer;
  void FreePixels();
  bool AllocatePixels(int w, int h, TIEPixelFormat pf, TIELocation loc);

  int fWidth = 0;
  int fHeight = 0;
  TIEPixelFormat fPixelFormat = ie24RGB;
  int fBitCount = 24;
  int fRowLen = 0;
  int fRowAlign = 32;
  TIELocation fLocation = ieMemory;
  std::uint8_t fAccess = 3;
  std::uint8_t fDitherMethod = 0;
  bool fFull = false;
  bool fIsAlpha = false;
  bool fIsVclBitmap = false;
  std::int64_t fMemoryThreshold = DefaultMemoryThreshold;

  // ieMemory
  std::unique_ptr<std::uint8_t[]> fMemory;
  // ieFile
  std::unique_ptr<TIEDiskBuffer> fDisk;
  // ieTBitmap
  TBitmap* fVclBitmap = nullptr;
  bool fOwnsVclBitmap = false;

  std::vector<TRGB> fPalette;
  int fPaletteUsed = 0;
  TIEBitmap* fAlpha = nullptr;  // owned unless installed by SetAlphaChannel's caller
};

// Bytes per row: ((Width x BitCount + Align - 1) div Align) x (Align div 8).
int IEBitmapRowLen(int Width, int BitCount, int Align);
