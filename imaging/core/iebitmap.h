// TIEBitmap, the library's image buffer, and its abstract base: every pixel
// format from 1-bit to 48-bit with an optional alpha plane, kept in plain
// memory, in a disk buffer (a temporary file mapped row by row) or in a
// platform TBitmap.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "imaging/core/ie_pixelblocks.h"
#include "imaging/core/ie_types.h"
#include "platform/bitmap.h"
#include "platform/canvas.h"
#include "platform/object.h"
#include "platform/stream.h"

#pragma GCC visibility push(default)
namespace redozir {

class TIEBitmap;
class TIEDiskBuffer;
struct TIERenderCaches;

// The operations shared by TIEBitmap and TIEDibbitmap, and the palette both
// keep (empty for formats without one); code that accepts either kind of
// bitmap works through these.
class TIEBaseBitmap : public TObject {
 public:
  virtual std::uint8_t* GetScanline(int Y) = 0;
  virtual int GetBitCount() const = 0;
  virtual int GetHeight() const = 0;
  virtual int GetWidth() const = 0;
  virtual TIEPixelFormat GetPixelFormat() const = 0;
  virtual int GetRowLen() const = 0;
  virtual TRGB* GetPaletteBuffer() { return fPalette.data(); }
  // Black for an index outside the palette.
  virtual TRGB GetPalette(int index) const {
    return index >= 0 && index < static_cast<int>(fPalette.size()) ? fPalette[index] : TRGB{};
  }
  // Also into the platform bitmap's colour table where there is one.
  virtual void SetPalette(int index, TRGB value) = 0;
  virtual int GetPaletteLength() const { return static_cast<int>(fPalette.size()); }
  virtual bool Allocate(int ImageWidth, int ImageHeight, TIEPixelFormat ImagePixelFormat) = 0;
  virtual void Assign(TIEBaseBitmap* Source) = 0;
  virtual void CopyPaletteTo(TIEBaseBitmap* Dest) = 0;

  int Width() const { return GetWidth(); }
  int Height() const { return GetHeight(); }
  TIEPixelFormat PixelFormat() const { return GetPixelFormat(); }

 protected:
  std::vector<TRGB> fPalette;
};

// Raised when a bitmap operation is asked something it cannot do.
class EIEBitmapError : public Exception {
  using Exception::Exception;
};

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
  // Row Y, 0 the top row. On the disk buffer the address stays valid only
  // until the next row access of this bitmap (LockRow holds rows longer);
  // a platform bitmap resized behind our back raises EIEBitmapError.
  std::uint8_t* GetScanline(int Y) override;
  int GetBitCount() const override { return fBitCount; }
  int GetHeight() const override { return fHeight; }
  int GetWidth() const override { return fWidth; }
  TIEPixelFormat GetPixelFormat() const override { return fPixelFormat; }
  int GetRowLen() const override { return fRowLen; }
  void SetPalette(int index, TRGB value) override;
  // True and nothing else when size and format already match; otherwise
  // frees the pixels and allocates new, undefined ones (in memory or the disk
  // buffer by the memory threshold; a bitmap on ieTBitmap stays there).
  // False and a 0 x 0 bitmap on failure (an absurd size among them).
  bool Allocate(int ImageWidth, int ImageHeight, TIEPixelFormat ImagePixelFormat) override;
  // A full copy: size, format, Full flag, alignment, pixels, palette, alpha.
  void Assign(TIEBaseBitmap* Source) override;
  void CopyPaletteTo(TIEBaseBitmap* Dest) override;

  // Copies a platform bitmap by its format: 1 bit to ie1g (white the set
  // bit), 4 and 8 bits to ie8p with the colour table, 15, 16 and 24 bits to
  // ie24RGB, 32 bits to ie32RGB. The alpha plane is removed.
  void Assign(TBitmap* Source);
  // Width, height, format, pixels and palette of Source; keeps our alpha plane.
  void AssignImage(TIEBitmap* Source);
  void FreeImage(bool FreeAlpha = true);
  // Exchanges everything of the two bitmaps but their alpha planes.
  void SwapImage(TIEBitmap& Other);

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
  // The pixel as 24-bit colour in any format; X and Y must be inside.
  TRGB GetPixels(int X, int Y);
  // A row that stays valid until UnlockRow, also on the disk buffer.
  std::uint8_t* LockRow(int Y);
  void UnlockRow(int Y);
  // Every row at once, for work that holds many rows or runs on several
  // threads: row Y is at the address returned plus Y x row length until the
  // matching UnlockRows, on every location (a disk-buffered bitmap maps its
  // file once). ReleaseRows tells a disk-buffered bitmap that rows
  // [First, First + Count) are done with for now, so their memory can go
  // back to the system (their pixels stay); elsewhere it does nothing. Loose
  // lets the memory go in larger units, which may take rows just before the
  // range along and leave rows at its end (see TIEDiskBuffer.Release).
  std::uint8_t* LockRows();
  void UnlockRows();
  void ReleaseRows(int First, int Count, bool Loose = false);
  // Stores Count rows from Data (GetRowLen bytes apart) as rows First
  // onwards; a disk-buffered bitmap writes them to its file without mapping
  // them. Several threads may write different rows at once.
  void WriteRows(int First, int Count, const std::uint8_t* Data);
  void CopyRectTo(TIEBitmap* Dest, int SrcX, int SrcY, int DstX, int DstY, int RectWidth, int RectHeight);
  void MoveRegion(int x1, int y1, int x2, int y2, int DstX, int DstY, double FillColor, bool Fill);
  void Fill(double Value);
  void FillRect(int x1, int y1, int x2, int y2, double Value);
  void Resize(int NewWidth, int NewHeight, double Background, int AlphaFill, int HorizAlign, int VertAlign);
  void SetWidth(int Value);
  void SetHeight(int Value);

  // --- storage location
  TIELocation Location() const { return fLocation; }
  // Allocate at a chosen location (ieTBitmap falls back to memory for the
  // formats a platform bitmap cannot hold, an empty image stays in memory);
  // False and a 0 x 0 bitmap on failure.
  bool AllocateAt(int w, int h, TIEPixelFormat pf, TIELocation loc);
  // Moves pixels, palette and alpha plane (which follows into the disk
  // buffer, else stays in memory). A platform bitmap holds ie1g, ie8p, ie8g
  // (an 8-bit bitmap with a grey table), ie24RGB and ie32RGB with 32-bit
  // rows; any other format is converted to ie24RGB on the way there.
  void SetLocation(TIELocation Location);
  // Works in place on Bitmap, which stays its owner's: 1 bit gives ie1g,
  // 8 bits ie8p (its colour table read; ie8g again for the platform bitmap
  // an ie8g image already works on), 24 bits ie24RGB, 32 bits ie32RGB;
  // a platform bitmap of 4, 15 or 16 bits is first switched to 24 bits. With FreeCurrent False a
  // platform bitmap this one owned is kept alive until this one is freed.
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
  // Re-lays the rows at a new alignment in bits (8, 16, 32 or 64), keeping
  // the pixels; a bitmap leaves the platform bitmap for any alignment but 32.
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
  // False (stream position restored) when the signature does not match;
  // EFormatError for a truncated or forged record. Either way the bitmap is
  // left as it was unless the whole record parsed.
  bool LoadRawFromStream(TStream& Stream);
  // What the raw record at the stream's position declares, the position left
  // where it was: its size and the bytes of its pixels and alpha plane; all
  // 0 where no whole header of the record is there.
  struct TRawSize {
    std::int64_t Width = 0, Height = 0, Bytes = 0;
  };
  static TRawSize PeekRawSize(TStream& Stream);

  // The platform's default for new bitmaps' memory threshold.
  static std::int64_t DefaultMemoryThreshold;

  // --- rendering and rectangle stretching (iebitmap_render.cpp) ---
  // Draws the source rectangle scaled into the destination rectangle of the
  // 24-bit Dest, clipped to Dest and to ClipRect (nil: no clip). Per pixel,
  // s is combined with d by Operation (0 copy, 1 add, 2..42 the blend modes
  // of iebitmap_render.h), then d += (s - d) x w / 256 with w =
  // min(alpha, Transparency) (alpha 255 when EnableAlpha is off); with no
  // alpha in use, Transparency 255 and Operation 0, s is copied. Caches (nil:
  // built for the call) keeps the coordinate tables and converted rows.
  void RenderToTIEBitmapEx(TIEBitmap* Dest, TIERenderCaches* Caches, const TRect* ClipRect, int xDst,
                           int yDst, int dxDst, int dyDst, int xSrc, int ySrc, int dxSrc, int dySrc,
                           bool EnableAlpha, bool SolidBackground, int Transparency, TResampleFilter Filter,
                           std::uint8_t Operation);
  void RenderToTIEBitmap(TIEBitmap* Dest, int xDst, int yDst, int dxDst, int dyDst, int xSrc, int ySrc,
                         int dxSrc, int dySrc, bool EnableAlpha = true, TResampleFilter Filter = rfNone,
                         int Transparency = 255, std::uint8_t Operation = 0);
  // The same into a platform bitmap (24 or 32 bits). A null Caches is built
  // here; with FreeCaches False it is handed back for the next call.
  void RenderToTBitmapEx(TBitmap* Dest, std::unique_ptr<TIERenderCaches>& Caches, const TRect* ClipRect,
                         int xDst, int yDst, int dxDst, int dyDst, int xSrc, int ySrc, int dxSrc, int dySrc,
                         bool EnableAlpha, bool SolidBackground, int Transparency, TResampleFilter Filter,
                         bool FreeCaches, std::uint8_t Operation);
  // Stretches the source rectangle into Dest's rectangle by the filter; the
  // alpha plane follows into Dest's plane, scaled by Transparency (255 opaque).
  void StretchRectTo(TIEBitmap* Dest, int xDst, int yDst, int dxDst, int dyDst, int xSrc, int ySrc, int dxSrc,
                     int dySrc, TResampleFilter Filter, int Transparency);
  // --- end of rendering ---

 private:
  void FreePixels();
  bool AllocatePixels(int w, int h, TIEPixelFormat pf, TIELocation loc);
  // Takes Staging's image (not its alpha plane), keeping a platform bitmap
  // this one works on when Staging's format can live there.
  void TakeImage(TIEBitmap& Staging);
  // The palette a new image of the current format starts with.
  void ResetPalette();
  // Copies the palette into the platform bitmap's colour table.
  void SyncVclPalette();
  void CopyRowsFrom(TIEBitmap& Source);

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
  TIEPixels fMemory;
  // ieFile
  std::unique_ptr<TIEDiskBuffer> fDisk;
  // ieTBitmap
  TBitmap* fVclBitmap = nullptr;
  bool fOwnsVclBitmap = false;
  std::vector<std::unique_ptr<TBitmap>> fRetired;  // see AttachTBitmap

  int fPaletteUsed = 0;
  TIEBitmap* fAlpha = nullptr;  // owned unless installed by SetAlphaChannel's caller
};

// Bytes per row: ((Width x BitCount + Align - 1) div Align) x (Align div 8).
int IEBitmapRowLen(int Width, int BitCount, int Align);

// The platform bitmap format that holds a pixel format in place (pf1bit,
// pf8bit, pf24bit, pf32bit), pfCustom when none does.
TPixelFormat IEVclPixelFormat(TIEPixelFormat pf);

// The cap on one bitmap's pixel bytes in the disk buffer (plain memory and
// platform bitmaps keep the platform's cap, kMaxBitmapBytes).
constexpr std::int64_t kMaxDiskBitmapBytes = std::int64_t(16) << 30;

// A stretch's destination rectangle up to this many pixels is resampled whole
// even when only a part of it is seen (a view may keep such a result for the
// next paint); a larger one is made only where it lands on the target.
constexpr std::int64_t kIEWholeRenderPixels = std::int64_t(16) << 20;

}  // namespace redozir
#pragma GCC visibility pop
