// TRedozIrIO: the image I/O component. It loads into and saves from a work
// bitmap (its own, an attached view's current bitmap or an attached
// TIEBitmap) with the per-format parameters of its TIOParamsVals.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "imaging/core/dialog_text.h"
#include "imaging/core/iebitmap.h"
#include "imaging/io/ie_directshow.h"
#include "imaging/io/ie_fileformats.h"
#include "imaging/io/ioparams.h"
#include "platform/graphics.h"
#include "platform/object.h"
#include "platform/stream.h"

class TRedozIrIO;

// What the component needs of the view it is attached to; the view
// implements it and tells the component when it goes away
// (SetAttachedRedozIr(nullptr)). The view is asked for its current bitmap
// at every load and save, so a replaced bitmap is followed.
class TIEIOViewLink {
 public:
  virtual ~TIEIOViewLink() = default;
  virtual TIEBitmap* IOCurrentBitmap() = 0;
  virtual void IOUpdate() = 0;
  virtual void IODoImageChange() = 0;
  // The view's window handle for notifications (nullptr without one).
  virtual void* IOWindowHandle() { return nullptr; }
};

using TIEDoPreviewsEvent = std::function<void(TObject* Sender, bool& Handled)>;
using TIEIOPreviewEvent = std::function<void(TObject* Sender, TObject* PreviewForm)>;

enum TIOPreviewsParamsItems : std::uint8_t { ioppDefaultLockPreview = 1, ioppApplyButton = 2 };
using TIOPreviewsParams = std::uint8_t;  // a set of TIOPreviewsParamsItems bits

// Loaders of the layers and vector-object formats (25, 26, 27), installed
// by the parts that read them. A loader answers True when it loaded; for a
// stream (FileName empty) it loads only into an attached control of its class.
using TIESpecialLoader = std::function<bool(TRedozIrIO& IO, TStream* Stream, const std::string& FileName)>;
void IERegisterSpecialLoader(int FileType, TIESpecialLoader Loader);

// The save-parameters dialog, installed by the part that builds it.
using TIEPreviewsDialog = std::function<bool(TRedozIrIO& IO, std::uint16_t Pages)>;
extern TIEPreviewsDialog IEPreviewsDialog;

class TRedozIrIO : public TObject {
 public:
  explicit TRedozIrIO(TObject* AOwner = nullptr);
  ~TRedozIrIO() override;

  // --- binding
  // The bitmap that loads fill and saves read.
  TIEBitmap* GetIEBitmap();
  TIOParamsVals& Params() { return fParams; }
  TIEIOViewLink* AttachedRedozIr() const { return fView; }
  void SetAttachedRedozIr(TIEIOViewLink* View);
  void SetAttachedIEBitmap(TIEBitmap* Bitmap);
  TIEBitmap* AttachedIEBitmap() const { return fAttachedBitmap; }

  bool NativePixelFormat() const { return fParams.NativePixelFormat; }
  void SetNativePixelFormat(bool v) { fParams.NativePixelFormat = v; }
  std::uint8_t BilevelConversionMode() const { return fBilevelMode; }
  void SetBilevelConversionMode(std::uint8_t Mode);

  // --- loading (each updates the attached view; a failure raises and leaves
  // the bitmap and the parameters as they were)
  void LoadFromStreamFormat(TStream& Stream, int FileType);
  // Detects the format by content.
  void LoadFromStream(TStream& Stream);
  // The format by content (by the extension when content says nothing).
  void LoadFromFile(const std::string& FileName);
  void LoadFromFileFormat(const std::string& FileName, int FileType);
  void LoadFromStreamJpeg(TStream& Stream) { LoadFromStreamFormat(Stream, ioJPEG); }
  void LoadFromStreamJ2K(TStream& Stream) { LoadFromStreamFormat(Stream, ioJ2K); }
  void LoadFromStreamJP2(TStream& Stream) { LoadFromStreamFormat(Stream, ioJP2); }
  void LoadFromStreamPNG(TStream& Stream) { LoadFromStreamFormat(Stream, ioPNG); }
  void LoadFromStreamBMP(TStream& Stream) { LoadFromStreamFormat(Stream, ioBMP); }
  void LoadFromStreamTIFF(TStream& Stream) { LoadFromStreamFormat(Stream, ioTIFF); }
  void LoadFromStreamGIF(TStream& Stream) { LoadFromStreamFormat(Stream, ioGIF); }
  void LoadFromStreamPCX(TStream& Stream) { LoadFromStreamFormat(Stream, ioPCX); }
  void LoadFromStreamTGA(TStream& Stream) { LoadFromStreamFormat(Stream, ioTGA); }

  // --- saving (a complete file at the stream's position)
  void SaveToStream(TStream& Stream, int FileType);
  // The format by the extension.
  void SaveToFile(const std::string& FileName);
  void SaveToFileFormat(const std::string& FileName, int FileType);
  void SaveToStreamJpeg(TStream& Stream) { SaveToStream(Stream, ioJPEG); }
  void SaveToStreamJ2K(TStream& Stream) { SaveToStream(Stream, ioJ2K); }
  void SaveToStreamJP2(TStream& Stream) { SaveToStream(Stream, ioJP2); }
  void SaveToStreamTIFF(TStream& Stream) { SaveToStream(Stream, ioTIFF); }
  void SaveToStreamGIF(TStream& Stream) { SaveToStream(Stream, ioGIF); }
  void SaveToStreamBMP(TStream& Stream) { SaveToStream(Stream, ioBMP); }
  void SaveToStreamPCX(TStream& Stream) { SaveToStream(Stream, ioPCX); }
  void SaveToStreamPNG(TStream& Stream) { SaveToStream(Stream, ioPNG); }
  void SaveToStreamTGA(TStream& Stream) { SaveToStream(Stream, ioTGA); }

  // --- work control
  // The test made before a load or before the save-parameters dialog.
  bool BeginWork();
  // OnDoPreviews, then the save-parameters dialog unless handled.
  virtual bool DoPreviews(std::uint16_t Pages);
  // Tells the attached view that its bitmap changed.
  void Update();
  void UpdateDShowNotifyWindow();
  TIEDirectShow* DShowControl();

  // --- events and published properties
  TIEProgressEvent OnProgress;
  TNotifyEvent OnFinishWork;
  TIEDoPreviewsEvent OnDoPreviews;
  TIEIOPreviewEvent OnIOPreview;
  TIOPreviewsParams PreviewsParams = 0;
  bool SimplifiedParamsDialogs = true;
  TMsgLanguage MsgLanguage = msSystem;
  TFont PreviewFont;
  TObject* Owner() const { return fOwner; }

 private:
  void DoProgress(int Per);
  void RunWork(const std::function<void(TIEProgressRecord&)>& Body);
  void LoadWith(TStream& Stream, int FileType);
  void LoadSpecial(TStream* Stream, const std::string& FileName, int FileType);

  TObject* fOwner;
  TIOParamsVals fParams;
  std::unique_ptr<TIEBitmap> fOwnBitmap;
  TIEBitmap* fAttachedBitmap = nullptr;
  TIEIOViewLink* fView = nullptr;
  std::uint8_t fBilevelMode = 1;
  std::unique_ptr<TIEDirectShow> fDShow;
};
