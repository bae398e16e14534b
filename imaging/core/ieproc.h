// TRedozIrProc, the processing component: its binding to a view or a bitmap,
// the preparation of the image's pixel format, the undo and redo stacks and
// the refresh after an operation. The operations themselves (resampling,
// conversion, rotation, crop...) are added to this class by their own files.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "imaging/core/dialog_text.h"
#include "imaging/core/ie_types.h"
#include "imaging/core/iebitmap.h"
#include "platform/components.h"
#include "platform/graphics.h"
#include "platform/stream.h"
#include "platform/types.h"

#pragma GCC visibility push(default)
namespace redozir {

class TIEMask;
class TIEView;

// The event raised after an undo entry was saved.
using TIESaveUndoEvent = std::function<void(TObject* Sender, TIEUndoSource Source)>;

// The inclusive bounds of the pixels with non-zero alpha (Right and Bottom
// are the last such column and row); the whole image, inclusive, when it has
// no alpha plane; (0, 0, -1, -1) when no pixel is visible or the image is empty.
TRect IEGetAlphaBounds(TIEBitmap* Bitmap);

class TRedozIrProc : public TComponent {
 public:
  explicit TRedozIrProc(TComponent* AOwner = nullptr);
  ~TRedozIrProc() override;

  // ---- binding ------------------------------------------------------------
  // Works on the view's current bitmap, following it through the view's
  // bitmap-change callbacks.
  TIEView* AttachedRedozIr() const { return fView; }
  void SetAttachedRedozIr(TIEView* View);
  // Works on a bitmap the caller owns (first leaving an attached view and
  // freeing an owned work bitmap).
  TIEBitmap* AttachedIEBitmap() const { return fIEBitmap; }
  void SetAttachedIEBitmap(TIEBitmap* Bitmap);
  // Works in place on a platform bitmap through an owned work bitmap.
  TBitmap* AttachedBitmap() const { return fBitmap; }
  void SetAttachedBitmap(TBitmap* Bitmap);
  // The image operations work on (nullptr when nothing is attached).
  TIEBitmap* IEBitmap() const { return fIEBitmap; }

  // ---- preparation ----------------------------------------------------------
  // Makes the attached image current and checks its pixel format against
  // Formats (an empty set accepts any); with AutoConvertFormat a refused
  // format is converted to the nearest accepted one. False: do nothing.
  bool PrepareBitmap(TIEPixelFormatSet Formats);
  // The seven formats tried, in order, for an image of format Format.
  static const TIEPixelFormat* PreferredFormats(TIEPixelFormat Format);
  static constexpr int kPreferredFormatCount = 7;

  // ---- undo and redo ------------------------------------------------------
  // Pushes an entry of that kind (a copy of the image, or the view's stream
  // of its selection, objects or layers), dropping the oldest beyond
  // UndoLimit; a new entry clears the redo stack.
  virtual void SaveUndo(TIEUndoSource Source = ieuImage);
  // SaveUndo with a caption, when the image is prepared and larger than 1 x 1.
  void SaveUndoCaptioned(const std::string& Caption, TIEUndoSource Source = ieuImage);
  int GetUndoCount() const { return static_cast<int>(fUndo.size()); }
  int GetRedoCount() const { return static_cast<int>(fRedo.size()); }
  // Positions count from the newest entry (0).
  std::string GetUndoCaption(int Position) const;
  std::string GetRedoCaption(int Position) const;
  TIEUndoSource GetUndoSource(int Position) const;
  TIEUndoSource GetRedoSource(int Position) const;
  // Restores the newest undo entry, saving the present state as a redo entry.
  void Undo();
  // Restores the newest redo entry, saving the present state as an undo entry.
  void Redo();
  void ClearUndoAt(int Position);
  void ClearRedoAt(int Position);
  void ClearAllUndo() { fUndo.clear(); }
  void ClearAllRedo() { fRedo.clear(); }
  // The most entries each stack keeps (0: none).
  int UndoLimit() const { return fUndoLimit; }
  void SetUndoLimit(int Value);

  // ---- selection ----------------------------------------------------------
  // The attached view's selection rectangle (X2, Y2 exclusive) and mask, or
  // the whole image and no mask.
  bool GetSelectionBounds(int& X1, int& Y1, int& X2, int& Y2, TIEMask*& Mask);

  // ---- refresh after an operation -----------------------------------------
  void Update();
  virtual void DoFinishWork();

  // ---- operations on the attached image -----------------------------------
  // Keeps the inclusive rectangle; defined by the crop operation's file.
  void Crop(int x1, int y1, int x2, int y2);
  // Crops to IEGetAlphaBounds with AutoUndo off for the call.
  void CropTransparentBorder();

  // ---- rotation and canvas (imaging/processing/proc_rotate.cpp, proc_canvas.cpp)
  // Rotates by Angle degrees, counter-clockwise on screen, the alpha plane
  // alongside: with AntiAlias a 24-bit image is sheared (AntialiasMode 0) or
  // interpolated (1 bilinear, 2 bicubic) and a 1-bit one sheared; otherwise
  // nearest pixels. BackgroundColor -1 takes Background.
  void Rotate(double Angle, bool AntiAlias = true, std::uint8_t AntialiasMode = 0, TColor BackgroundColor = -1);
  // The canvas becomes NewWidth x NewHeight with the old picture placed by the
  // alignments (0 left / top, 1 centre, 2 right / bottom); the new area takes
  // Background, and AlphaFill in the alpha plane (below 255 creates it).
  void ImageResize(int NewWidth, int NewHeight, std::uint8_t HorizAlign = 0, std::uint8_t VertAlign = 0,
                   int AlphaFill = 255);
  // Crop(Left, Top, Right, Bottom): Right and Bottom are kept.
  void CropRect(const TRect& Rect);
  // Paints the selection, or the whole image, with Color.
  void Fill(TRGB Color);
  // Paints Background over the whole image.
  void Clear();
  // The font of the previews the component's dialogs show.
  TFont PreviewFont;
  void SetPreviewFont(const TFont& Value) { PreviewFont = Value; }
  // ---- end of rotation and canvas

  // ---- the selection frame and the colour conversions (proc_convert.cpp)
  // First half of an operation that honours the selection: the undo entry
  // (with AutoUndo), the preparation, and the rectangle X1..X2 - 1,
  // Y1..Y2 - 1 to work on in WorkBitmap: a copy of the selected rectangle
  // when there is a mask (origin 0, 0), else the image itself. False: do
  // nothing.
  bool BeginSelectionWork(TIEPixelFormatSet Formats, int& X1, int& Y1, int& X2, int& Y2, TIEMask*& Mask,
                          const std::string& Caption, TIEBitmap*& WorkBitmap);
  // Second half: a work copy goes back into the image under the mask and is
  // freed; then Update.
  void EndSelectionWork(TIEBitmap* WorkBitmap, TIEMask* Mask);
  // NColors below 3: 1 bit (DitherMethod 0 ordered, otherwise the average
  // level); 3 to 1024: the image keeps 24 bits with at most NColors colours.
  void ConvertTo(int NColors, std::uint8_t DitherMethod = 0);
  // ConvertTo that also hands back the colours in Palette (NColors entries):
  // black and white after a 1-bit conversion. NColors 0 does nothing.
  void ConvertToPalette(int NColors, TRGB* Palette, std::uint8_t DitherMethod = 0);
  // The image, or its selection, turned grey.
  void ConvertToGray();

  // ---- resampling (imaging/processing/proc_resample.cpp)
  // Resamples the attached image to NewWidth x NewHeight by the filter, with
  // an undo entry "Resample W,H": -1 keeps the aspect ratio, 0 the size,
  // other values count by their absolute value; both negative do nothing.
  void Resample(int NewWidth, int NewHeight, TResampleFilter FilterType = rfNone);
  // The same into Target (allocated here), leaving the attached image alone.
  void ResampleTo(TIEBitmap* Target, int NewWidth, int NewHeight, TResampleFilter FilterType = rfNone);
  // ---- end of resampling

  // ---- settings and events ------------------------------------------------
  bool AutoUndo = true;
  bool AutoConvertFormat = true;
  TMsgLanguage MsgLanguage = msSystem;
  // The attached view's background when there is one.
  TColor Background() const;
  void SetBackground(TColor Value);
  TIEProgressEvent OnProgress;
  TNotifyEvent OnFinishWork;
  TIESaveUndoEvent OnSaveUndo;

 private:
  struct TIEUndoEntry {
    TIEUndoSource Source = ieuImage;
    std::string Caption;
    std::unique_ptr<TIEBitmap> Image;     // ieuImage
    std::unique_ptr<TMemoryStream> Data;  // the view's stream for the other kinds
  };
  using TIEUndoStack = std::deque<std::unique_ptr<TIEUndoEntry>>;  // newest at the front

  void Detach();
  void OnViewBitmapChange(TObject* Sender, bool Destroying);
  std::unique_ptr<TIEUndoEntry> Capture(TIEUndoSource Source);
  void Restore(TIEUndoEntry& Entry);
  void Push(TIEUndoStack& Stack, std::unique_ptr<TIEUndoEntry> Entry);
  void StepBack(TIEUndoStack& From, TIEUndoStack& To);
  static const TIEUndoEntry* At(const TIEUndoStack& Stack, int Position);

  TIEView* fView = nullptr;
  std::uint64_t fViewCallback = 0;  // TIEView::TIEBitmapChangeHandle
  TIEBitmap* fIEBitmap = nullptr;
  TBitmap* fBitmap = nullptr;
  std::unique_ptr<TIEBitmap> fWorkBitmap;  // owned: wraps fBitmap
  TColor fBackground = clBlack;
  int fUndoLimit = 1;
  TIEUndoStack fUndo;
  TIEUndoStack fRedo;
};

}  // namespace redozir
#pragma GCC visibility pop
