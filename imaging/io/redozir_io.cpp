// TRedozIrIO: loads are decoded into a staging bitmap and parameters and
// committed only when the whole file has been read.
#include "imaging/io/redozir_io.h"

#include <map>
#include <utility>

#include "imaging/core/ie_startup.h"
#include "imaging/core/ieview.h"
#include "imaging/formats/ie_codec_util.h"
#include "imaging/io/ie_savefile.h"
#include "imaging/io/take_result.h"
#include "platform/application.h"
#include "platform/exceptions.h"

namespace redozir {

TIEPreviewsDialog IEPreviewsDialog;

namespace {
std::map<int, TIESpecialLoader>& SpecialLoaders() {
  static std::map<int, TIESpecialLoader> m;
  return m;
}
bool IsSpecial(int FileType) { return FileType == ioIEV || FileType == ioLYR || FileType == ioALL; }

// Allocations outside a codec (format detection, the staging records) fail
// with the library's error too.
template <typename F>
void GuardLoad(F&& Work) {
  try {
    Work();
  } catch (const std::bad_alloc&) {
    throw EOutOfMemory("Not enough memory to read an image");
  }
}

std::string FormatName(int FileType) {
  TIEFileFormatInfo* fi = IEFileFormatGetInfo(FileType);
  return fi ? fi->FullName : "file type " + std::to_string(FileType);
}
}  // namespace

TIESpecialLoader IERegisterSpecialLoader(int FileType, TIESpecialLoader Loader) {
  return std::exchange(SpecialLoaders()[FileType], std::move(Loader));
}

void IERegisterDefaultSpecialLoader(int FileType, TIESpecialLoader Loader) {
  TIESpecialLoader& slot = SpecialLoaders()[FileType];
  if (!slot) slot = std::move(Loader);
}

namespace {
// The component whose load runs on this thread, if any.
thread_local const TRedozIrIO* tLoadingFor = nullptr;
}  // namespace

TRedozIrIO::TRedozIrIO(TComponent* AOwner) : TComponent(AOwner), fOwnBitmap(std::make_unique<TIEBitmap>()) {
  fOwnBitmap->SetDitherMethod(fBilevelMode);
}

TRedozIrIO::~TRedozIrIO() {
  Join();
  fAsyncError = nullptr;
  DropLoad();
  DetachView();
}

bool TRedozIrIO::OnWorker() const { return tLoadingFor == this; }

void TRedozIrIO::Join() {
  if (OnWorker() || !fThread.joinable()) return;
  fThread.join();
}

void TRedozIrIO::WaitLoad() {
  CompleteLoad(false);
  if (std::exception_ptr e = std::exchange(fAsyncError, nullptr)) std::rethrow_exception(e);
}

void TRedozIrIO::CompleteLoad(bool Events) {
  if (OnWorker()) return;
  Join();
  if (std::unique_ptr<TStagedLoad> staged = std::move(fStaged)) {
    try {
      Commit(*staged);
      fLoadOk = true;
    } catch (...) {
      fAsyncError = std::current_exception();
    }
  }
  if (Events && fEventsPending) {
    // On the main thread these reach the view's handlers at once.
    fEventsPending = false;
    if (fLoadOk) SendMessage(fNotifyWnd, IEM_PROGRESS, 100, 0);
    SendMessage(fNotifyWnd, IEM_FINISHWORK, 0, 0);
  }
}

void TRedozIrIO::DropLoad() {
  fStaged.reset();
  fEventsPending = false;
}

TIEBitmap* TRedozIrIO::GetIEBitmap() {
  if (fView && fViewBitmap) return fViewBitmap;
  if (fAttachedBitmap) return fAttachedBitmap;
  return fOwnBitmap.get();
}

void TRedozIrIO::DetachView() {
  if (fView) {
    fView->RemoveBitmapChangeEvent(fViewCallback);
    fView->RemoveLoadDoneEvent(fLoadDoneHandle);
    RemoveFreeNotification(fView);
  }
  fView = nullptr;
  fViewCallback = 0;
  fLoadDoneHandle = 0;
  fViewBitmap = nullptr;
}

void TRedozIrIO::SetAttachedRedozIr(TIEView* View) {
  CompleteLoad(false);
  if (View == fView) return;
  DetachView();
  if (View) {
    fAttachedBitmap = nullptr;
    fView = View;
    FreeNotification(View);
    fViewCallback = View->RegisterBitmapChangeEvent(
        [this](TObject* Sender, bool Destroying) { OnViewBitmapChange(Sender, Destroying); });
    fLoadDoneHandle = View->RegisterLoadDoneEvent([this] {
      // A message of an earlier load arriving while the next one still
      // reads: that load's own message comes later.
      if (fRunning && !fReadDone) return;
      CompleteLoad(true);
    });
    fViewBitmap = View->GetIEBitmap();
  }
  UpdateDShowNotifyWindow();
}

void TRedozIrIO::OnViewBitmapChange(TObject* Sender, bool Destroying) {
  if (Sender != fView) return;
  // A load of ours ends first; what it read goes into the new current
  // bitmap, or nowhere when the view is going. Its failure stays for WaitLoad.
  Join();
  if (Destroying) {
    DropLoad();
    DetachView();
    return;
  }
  fViewBitmap = fView->GetIEBitmap();
}

void TRedozIrIO::Notification(TComponent* AComponent, TOperation Operation) {
  if (Operation == opRemove && AComponent && AComponent == fView) {
    Join();
    DropLoad();
    if (fView->ComponentState() & csDestroying) {
      // Too far into its teardown to be asked to unregister.
      fView = nullptr;
      fViewCallback = 0;
      fLoadDoneHandle = 0;
      fViewBitmap = nullptr;
    } else {
      DetachView();
    }
  }
  TComponent::Notification(AComponent, Operation);
}

void TRedozIrIO::SetAttachedIEBitmap(TIEBitmap* Bitmap) {
  CompleteLoad(false);
  DetachView();
  fAttachedBitmap = Bitmap;
}

void TRedozIrIO::SetBilevelConversionMode(std::uint8_t Mode) {
  CompleteLoad(false);
  fBilevelMode = Mode;
  GetIEBitmap()->SetDitherMethod(Mode);
}

bool TRedozIrIO::BeginWork() { return true; }

void TRedozIrIO::DoProgress(int Per) {
  if (OnProgress) OnProgress(this, Per);
}

void TRedozIrIO::DoFinishWork() {
  if (OnFinishWork) OnFinishWork(this);
}

void TRedozIrIO::Update() {
  // Main thread only: a load of the component's thread updates the view
  // when its picture is handed over there.
  if (!fView || OnWorker()) return;
  fView->Update();
  fView->DoImageChange();
}

TIEDirectShow* TRedozIrIO::DShowControl() {
  if (!fDShow) {
    fDShow = std::make_unique<TIEDirectShow>();
    UpdateDShowNotifyWindow();
  }
  return fDShow.get();
}

void TRedozIrIO::UpdateDShowNotifyWindow() {
  if (fView && fDShow)
    fDShow->SetNotifyWindow(fView->HandleAllocated() ? fView->Handle() : 0, IEM_NEWFRAME, IEM_EVENT);
}

bool TRedozIrIO::DoPreviews(std::uint16_t Pages) {
  if (OnDoPreviews) {
    bool handled = false;
    OnDoPreviews(this, handled);
    if (handled) return true;
  }
  if (!BeginWork()) return false;
  // The dialog is installed by the library's start-up, which a program that
  // has loaded nothing yet has not run: without it the call would answer
  // "cancelled" without showing anything.
  IEInitialize();
  if (!IEPreviewsDialog) return false;
  return IEPreviewsDialog(*this, Pages);
}

void TRedozIrIO::RunWork(const std::function<void(TIEProgressRecord&)>& Body) {
  // OnFinishWork fires exactly once, also when the work fails; progress 100
  // only when it succeeded.
  bool finished = false;
  try {
    TIEProgressRecord progress;
    progress.fOnProgress = &OnProgress;
    progress.Sender = this;
    DoProgress(0);
    Body(progress);
    DoProgress(100);
    finished = true;
    DoFinishWork();
  } catch (...) {
    if (!finished) DoFinishWork();
    throw;
  }
}

bool TRedozIrIO::TStagingBitmap::Allocate(int ImageWidth, int ImageHeight, TIEPixelFormat ImagePixelFormat) {
  if (TIEBitmap::Allocate(ImageWidth, ImageHeight, ImagePixelFormat)) return true;
  IERaiseOutOfMemory("read the image", ImageWidth, ImageHeight, IEPixelFormatBits(ImagePixelFormat));
}

std::unique_ptr<TRedozIrIO::TStagedLoad> TRedozIrIO::Decode(TStream& Stream, int FileType,
                                                            const TIOParamsVals& Start,
                                                            TIEProgressRecord& Progress) {
  TIEFileFormatInfo* fi = IEFileFormatGetInfo(FileType);
  if (!fi || !fi->ReadFunction) throw EIEImageError("Cannot read " + FormatName(FileType) + " images");
  auto staged = std::make_unique<TStagedLoad>();
  staged->Params = std::make_unique<TIOParamsVals>(Start);
  TIEBitmap& staging = staged->Bitmap;
  TIOParamsVals& params = *staged->Params;
  try {
    params.ImageCount = 0;
    fi->ReadFunction(Stream, staging, params, Progress);
    params.FileType = FileType;
    params.Width = params.OriginalWidth = staging.GetWidth();
    params.Height = params.OriginalHeight = staging.GetHeight();
    if (!IELoadKeepsFormat(staging.GetPixelFormat(), params)) IEConvertTo24(staging);
  } catch (const std::bad_alloc&) {
    int w = staging.GetWidth() > 0 ? staging.GetWidth() : params.Width;
    int h = staging.GetHeight() > 0 ? staging.GetHeight() : params.Height;
    if (w > 0 && h > 0) IERaiseOutOfMemory("read the " + FormatName(FileType) + " image", w, h, 24);
    throw EOutOfMemory("Not enough memory to read the " + FormatName(FileType) + " image");
  }
  return staged;
}

void TRedozIrIO::Commit(TStagedLoad& Staged) {
  TIEBitmap* target = GetIEBitmap();
  IEGuardMemory("take over the loaded image", &Staged.Bitmap, [&] { IETakeAll(target, Staged.Bitmap); });
  // Cannot fail: the parameters are exchanged whole.
  fParams.swap(Staged.Params);
  if (!fView) return;
  try {
    fView->Update();
  } catch (const std::bad_alloc&) {
    RetryViewUpdate();
  } catch (const EOutOfMemory&) {
    RetryViewUpdate();
  }
  fView->DoImageChange();
}

void TRedozIrIO::RetryViewUpdate() {
  // The load is complete; the view, short of memory for its own parts (mask,
  // layers), follows the new picture at its next update, asked for here.
  if (fView->HandleAllocated()) PostMessage(fView->Handle(), IEM_UPDATE, 0, 0);
}

void TRedozIrIO::LoadWith(TStream& Stream, int FileType) {
  TIEFileFormatInfo* fi = IEFileFormatGetInfo(FileType);
  if (!fi || !fi->ReadFunction) throw EIEImageError("Cannot read " + FormatName(FileType) + " images");
  if (!BeginWork()) return;
  RunWork([&](TIEProgressRecord& progress) { Commit(*Decode(Stream, FileType, *fParams, progress)); });
}

void TRedozIrIO::LoadSpecial(TStream* Stream, const std::string& FileName, int FileType) {
  // The readers of these formats live with the view, which registers them
  // when the library starts: a program need not have started it.
  IEInitialize();
  auto it = SpecialLoaders().find(FileType);
  bool loaded = it != SpecialLoaders().end() && it->second && it->second(*this, Stream, FileName);
  if (!loaded) {
    // A stream of these formats goes only into a control of the right class.
    if (Stream) return;
    throw EIEImageError("Cannot read " + FormatName(FileType) + " files here");
  }
  RunWork([&](TIEProgressRecord&) {
    fParams->FileType = FileType;
    Update();
  });
}

HWND TRedozIrIO::AsyncWindow() {
  if (!fView) return 0;
  if (!fView->HandleAllocated() && fView->Parent()) {
    try {
      fView->HandleNeeded();
    } catch (const EInvalidOperation&) {
      // No shown form above: no window to post to.
    }
  }
  return fView->HandleAllocated() ? fView->Handle() : 0;
}

void TRedozIrIO::StartLoad(TStream& Stream, std::unique_ptr<TStream> OwnedStream, int FileType) {
  // The view hears of the end of the previous load before this one starts.
  CompleteLoad(true);
  HWND wnd = AsyncMode ? AsyncWindow() : 0;
  if (!wnd || !fLoadDoneHandle) return LoadWith(Stream, FileType);
  TIEFileFormatInfo* fi = IEFileFormatGetInfo(FileType);
  if (!fi || !fi->ReadFunction) throw EIEImageError("Cannot read " + FormatName(FileType) + " images");
  if (!BeginWork()) return;
  auto start = std::make_unique<TIOParamsVals>(*fParams);
  fAsyncError = nullptr;
  fLoadOk = false;
  fNotifyWnd = wnd;
  fReadDone = false;
  fRunning = true;
  try {
    fThread = std::thread([this, &Stream, owned = std::move(OwnedStream), start = std::move(start), FileType,
                           wnd, handle = fLoadDoneHandle]() mutable {
      tLoadingFor = this;
      try {
        TIEProgressRecord progress;
        // Posted, each percentage once: a message per row would flood the
        // view's queue.
        int last = -1;
        TIEProgressEvent posted = [wnd, &last](TObject*, int Per) {
          if (Per == last) return;
          last = Per;
          PostMessage(wnd, IEM_PROGRESS, static_cast<WPARAM>(Per), 0);
        };
        progress.fOnProgress = &posted;
        progress.Sender = this;
        posted(this, 0);
        fStaged = Decode(Stream, FileType, *start, progress);
      } catch (...) {
        fAsyncError = std::current_exception();
      }
      owned.reset();
      fReadDone = true;
      PostMessage(wnd, IEM_LOADDONE, static_cast<WPARAM>(handle), 0);
      tLoadingFor = nullptr;
      fRunning = false;
    });
  } catch (...) {
    fRunning = false;
    throw;
  }
  fEventsPending = true;
}

void TRedozIrIO::LoadFromStreamFormat(TStream& Stream, int FileType) {
  GuardLoad([&] {
    CompleteLoad(false);
    if (IsSpecial(FileType)) return LoadSpecial(&Stream, std::string(), FileType);
    StartLoad(Stream, nullptr, FileType);
  });
}

void TRedozIrIO::LoadFromStream(TStream& Stream) {
  GuardLoad([&] {
    CompleteLoad(false);
    int ft = FindStreamFormat(Stream);
    if (ft == ioUnknown) throw EIEImageError("Unknown image format");
    LoadFromStreamFormat(Stream, ft);
  });
}

void TRedozIrIO::LoadFromFile(const std::string& FileName) {
  GuardLoad([&] {
    int ft = ioUnknown;
    {
      TFileStream fs(FileName, fmOpenRead | fmShareDenyWrite);
      ft = FindStreamFormat(fs);
    }
    if (ft == ioUnknown) ft = IEFileTypeOfName(FileName);
    if (ft == ioUnknown) throw EIEImageError("Unknown image format: " + FileName);
    LoadFromFileFormat(FileName, ft);
  });
}

void TRedozIrIO::LoadFromFileFormat(const std::string& FileName, int FileType) {
  GuardLoad([&] {
    CompleteLoad(false);
    if (IsSpecial(FileType)) return LoadSpecial(nullptr, FileName, FileType);
    auto fs = std::make_unique<TFileStream>(FileName, fmOpenRead | fmShareDenyWrite);
    TStream& stream = *fs;
    StartLoad(stream, std::move(fs), FileType);
  });
}

void TRedozIrIO::SaveToStream(TStream& Stream, int FileType) {
  TIEFileFormatInfo* fi = IEFileFormatGetInfo(FileType);
  if (!fi || !fi->WriteFunction) throw EIEImageError("Cannot write " + FormatName(FileType) + " images");
  CompleteLoad(false);
  TIEBitmap* bmp = GetIEBitmap();
  if (bmp->GetWidth() <= 0 || bmp->GetHeight() <= 0) throw EIEImageError("Cannot save an empty image");
  RunWork([&](TIEProgressRecord& progress) {
    fi->WriteFunction(Stream, *bmp, *fParams, progress);
    fParams->FileType = FileType;
  });
}

void TRedozIrIO::SaveToFile(const std::string& FileName) {
  int ft = IEFileTypeOfName(FileName);
  if (ft == ioUnknown) throw EIEImageError("Unknown image format for " + FileName);
  SaveToFileFormat(FileName, ft);
}

void TRedozIrIO::SaveToFileFormat(const std::string& FileName, int FileType) {
  IESaveFileSafely(FileName, [&](TStream& s) { SaveToStream(s, FileType); });
}

}  // namespace redozir
