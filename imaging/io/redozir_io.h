// TRedozIrIO: the image I/O component. It loads into and saves from a work
// bitmap (its own, an attached view's current bitmap or an attached
// TIEBitmap) with the per-format parameters of its TIOParamsVals, and can run
// loads on a thread of its own that reaches the view by posted messages.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "imaging/core/dialog_text.h"
#include "imaging/core/iebitmap.h"
#include "imaging/formats/ioparams.h"
#include "imaging/io/ie_directshow.h"
#include "imaging/io/ie_fileformats.h"
#include "platform/components.h"
#include "platform/graphics.h"
#include "platform/stream.h"

#pragma GCC visibility push(default)
namespace redozir {

class TIEView;

class TRedozIrIO;

using TIEDoPreviewsEvent = std::function<void(TObject* Sender, bool& Handled)>;
using TIEIOPreviewEvent = std::function<void(TObject* Sender, TObject* PreviewForm)>;

enum TIOPreviewsParamsItems : std::uint8_t { ioppDefaultLockPreview = 1, ioppApplyButton = 2 };
using TIOPreviewsParams = std::uint8_t;  // a set of TIOPreviewsParamsItems bits

// Loaders of the layers and vector-object formats (25, 26, 27), installed
// by the parts that read them. A loader answers True when it loaded; for a
// stream (FileName empty) it loads only into an attached control of its class.
// Answers the loader it replaces, so that a caller can put it back.
using TIESpecialLoader = std::function<bool(TRedozIrIO& IO, TStream* Stream, const std::string& FileName)>;
TIESpecialLoader IERegisterSpecialLoader(int FileType, TIESpecialLoader Loader);
// Registers the library's own loader unless one is there: a loader the
// program registered before the library started stays.
void IERegisterDefaultSpecialLoader(int FileType, TIESpecialLoader Loader);

// The save-parameters dialog, installed by the part that builds it.
using TIEPreviewsDialog = std::function<bool(TRedozIrIO& IO, std::uint16_t Pages)>;
extern TIEPreviewsDialog IEPreviewsDialog;

class TRedozIrIO : public TComponent {
 public:
  explicit TRedozIrIO(TComponent* AOwner = nullptr);
  // Waits for a load still running on the component's thread.
  ~TRedozIrIO() override;

  // --- binding
  // The bitmap that loads fill and saves read.
  TIEBitmap* GetIEBitmap();
  TIOParamsVals& Params() { return *fParams; }
  TIEView* AttachedRedozIr() const { return fView; }
  // Works on the view's current bitmap and follows its replacement; the
  // component lets go of the view when the view is freed.
  void SetAttachedRedozIr(TIEView* View);
  // Works on Bitmap (the caller's), leaving an attached view first.
  void SetAttachedIEBitmap(TIEBitmap* Bitmap);
  TIEBitmap* AttachedIEBitmap() const { return fAttachedBitmap; }

  bool NativePixelFormat() const { return fParams->NativePixelFormat; }
  void SetNativePixelFormat(bool v) { fParams->NativePixelFormat = v; }
  // The most memory a load may hold at its peak (0: the default, half the
  // memory the process may use), kept in the parameters: every format, and
  // the view's layers, IEV and ALL streams, refuse from the header what
  // would need more, before they allocate.
  std::int64_t LoadMemoryBudget() const { return fParams->LoadMemoryBudget; }
  void SetLoadMemoryBudget(std::int64_t Bytes) {
    fParams->LoadMemoryBudget = std::max<std::int64_t>(Bytes, 0);
  }
  std::uint8_t BilevelConversionMode() const { return fBilevelMode; }
  void SetBilevelConversionMode(std::uint8_t Mode);

  // --- loading (each updates the attached view; a failure raises and leaves
  // the bitmap and the parameters as they were)
  //
  // With AsyncMode on, the loads by file name and from a stream run on a
  // thread of the component's own when a view with a window (or a parent
  // that can give it one) is attached; otherwise they run on the calling
  // thread. Such a load reads the picture into a bitmap and parameters of its
  // own: the view goes on showing, resizing and painting its picture
  // meanwhile. The view's current bitmap and the parameters take the new
  // picture on the main thread, when the view handles the IEM_LOADDONE
  // message that the load posts last (or in WaitLoad); the view's Update and
  // DoImageChange follow there, then IEM_PROGRESS 100 and IEM_FINISHWORK
  // reach the view. Progress on the way arrives as posted IEM_PROGRESS. The
  // stream belongs to the load until IEM_FINISHWORK or WaitLoad. A failure
  // leaves picture and parameters as they were and is raised by WaitLoad.
  bool AsyncMode = false;
  // True while a load runs on the component's thread.
  bool IsLoading() const { return fRunning.load(); }
  // Main thread: waits for a load running on the component's thread, hands
  // its picture over, then raises what made it fail (once).
  void WaitLoad();
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

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  void DoProgress(int Per);
  void DoFinishWork();
  void RunWork(const std::function<void(TIEProgressRecord&)>& Body);
  // The bitmap a load reads into: a failed allocation raises EOutOfMemory
  // with the size, whichever codec asked for it.
  class TStagingBitmap : public TIEBitmap {
   public:
    bool Allocate(int ImageWidth, int ImageHeight, TIEPixelFormat ImagePixelFormat) override;
  };
  // A picture read but not yet handed over.
  struct TStagedLoad {
    TStagingBitmap Bitmap;
    std::unique_ptr<TIOParamsVals> Params;
  };
  // Reads a picture into a staging bitmap and parameters (starting from
  // Start); touches neither the work bitmap nor the component's parameters,
  // so it may run on any thread.
  static std::unique_ptr<TStagedLoad> Decode(TStream& Stream, int FileType, const TIOParamsVals& Start,
                                             TIEProgressRecord& Progress);
  // The work bitmap and the parameters take the staged picture, all or
  // nothing, and the attached view is updated.
  void Commit(TStagedLoad& Staged);
  void RetryViewUpdate();
  void LoadWith(TStream& Stream, int FileType);
  // Main thread: ends a load of the component's thread: waits for it, hands
  // over what it read and, with Events, tells the view that the work ended.
  void CompleteLoad(bool Events);
  // Forgets what a load read (its view is going).
  void DropLoad();
  // Runs LoadWith on the component's thread when AsyncMode allows it; the
  // worker owns OwnedStream (nullptr: Stream is the caller's).
  void StartLoad(TStream& Stream, std::unique_ptr<TStream> OwnedStream, int FileType);
  // The view's window for the posted messages, made now when the view has
  // a parent that can give it one; 0 when there is none.
  HWND AsyncWindow();
  void LoadSpecial(TStream* Stream, const std::string& FileName, int FileType);
  void DetachView();
  void OnViewBitmapChange(TObject* Sender, bool Destroying);
  // Waits for the worker (nothing on the worker itself); keeps its failure.
  void Join();
  bool OnWorker() const;

  std::unique_ptr<TIOParamsVals> fParams = std::make_unique<TIOParamsVals>();
  std::unique_ptr<TIEBitmap> fOwnBitmap;
  TIEBitmap* fAttachedBitmap = nullptr;
  TIEView* fView = nullptr;
  std::uint64_t fViewCallback = 0;  // TIEView::TIEBitmapChangeHandle
  TIEBitmap* fViewBitmap = nullptr;
  std::uint8_t fBilevelMode = 1;
  std::unique_ptr<TIEDirectShow> fDShow;
  // The asynchronous load.
  std::thread fThread;
  std::atomic<bool> fRunning{false};
  // Set by the load's thread once it has read the picture (or failed).
  std::atomic<bool> fReadDone{false};
  std::exception_ptr fAsyncError;
  HWND fNotifyWnd = 0;
  // Written by the load's thread before its last message, read on the main
  // thread once the thread is joined.
  std::unique_ptr<TStagedLoad> fStaged;
  bool fLoadOk = false;
  // The view still awaits IEM_PROGRESS 100 / IEM_FINISHWORK for the last load.
  bool fEventsPending = false;
  std::uint64_t fLoadDoneHandle = 0;  // TIEView::TIEBitmapChangeHandle
};

}  // namespace redozir
#pragma GCC visibility pop
