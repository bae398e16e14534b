// TRedozIrIO: loads are decoded into a staging bitmap and parameters and
// committed only when the whole file has been read.
#include "imaging/io/redozir_io.h"

#include <map>
#include <utility>

#include "imaging/formats/ie_codec_util.h"
#include "platform/application.h"
#include "platform/exceptions.h"
#include "imaging/core/ieview.h"

namespace redozir {

TIEPreviewsDialog IEPreviewsDialog;

namespace {
std::map<int, TIESpecialLoader>& SpecialLoaders() {
  static std::map<int, TIESpecialLoader> m;
  return m;
}
bool IsSpecial(int FileType) { return FileType == ioIEV || FileType == ioLYR || FileType == ioALL; }

std::string FormatName(int FileType) {
  TIEFileFormatInfo* fi = IEFileFormatGetInfo(FileType);
  return fi ? fi->FullName : "file type " + std::to_string(FileType);
}
}  // namespace

void IERegisterSpecialLoader(int FileType, TIESpecialLoader Loader) {
  SpecialLoaders()[FileType] = std::move(Loader);
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
  DetachView();
}

bool TRedozIrIO::OnWorker() const { return tLoadingFor == this; }

void TRedozIrIO::Join() {
  if (OnWorker() || !fThread.joinable()) return;
  fThread.join();
}

void TRedozIrIO::WaitLoad() {
  Join();
  if (std::exception_ptr e = std::exchange(fAsyncError, nullptr)) std::rethrow_exception(e);
}

TIEBitmap* TRedozIrIO::GetIEBitmap() {
  if (fView && fViewBitmap) return fViewBitmap;
  if (fAttachedBitmap) return fAttachedBitmap;
  return fOwnBitmap.get();
}

void TRedozIrIO::DetachView() {
  if (fView) {
    fView->RemoveBitmapChangeEvent(fViewCallback);
    RemoveFreeNotification(fView);
  }
  fView = nullptr;
  fViewCallback = 0;
  fViewBitmap = nullptr;
}

void TRedozIrIO::SetAttachedRedozIr(TIEView* View) {
  Join();
  if (View == fView) return;
  DetachView();
  if (View) {
    fAttachedBitmap = nullptr;
    fView = View;
    FreeNotification(View);
    fViewCallback = View->RegisterBitmapChangeEvent(
        [this](TObject* Sender, bool Destroying) { OnViewBitmapChange(Sender, Destroying); });
    fViewBitmap = View->GetIEBitmap();
  }
  UpdateDShowNotifyWindow();
}

void TRedozIrIO::OnViewBitmapChange(TObject* Sender, bool Destroying) {
  if (Sender != fView) return;
  // A load of ours may still be writing into the bitmap being replaced or
  // into a view that is going: it ends first. Its failure stays for WaitLoad.
  Join();
  if (Destroying) {
    DetachView();
    return;
  }
  fViewBitmap = fView->GetIEBitmap();
}

void TRedozIrIO::Notification(TComponent* AComponent, TOperation Operation) {
  if (Operation == opRemove && AComponent && AComponent == fView) {
    Join();
    if (fView->ComponentState() & csDestroying) {
      // Too far into its teardown to be asked to unregister.
      fView = nullptr;
      fViewCallback = 0;
      fViewBitmap = nullptr;
    } else {
      DetachView();
    }
  }
  TComponent::Notification(AComponent, Operation);
}

void TRedozIrIO::SetAttachedIEBitmap(TIEBitmap* Bitmap) {
  Join();
  DetachView();
  fAttachedBitmap = Bitmap;
}

void TRedozIrIO::SetBilevelConversionMode(std::uint8_t Mode) {
  Join();
  fBilevelMode = Mode;
  GetIEBitmap()->SetDitherMethod(Mode);
}

bool TRedozIrIO::BeginWork() { return true; }

void TRedozIrIO::DoProgress(int Per) {
  if (OnWorker()) {
    PostMessage(fNotifyWnd, IEM_PROGRESS, static_cast<WPARAM>(Per), 0);
    return;
  }
  if (OnProgress) OnProgress(this, Per);
}

void TRedozIrIO::DoFinishWork() {
  if (OnWorker()) {
    PostMessage(fNotifyWnd, IEM_FINISHWORK, 0, 0);
    return;
  }
  if (OnFinishWork) OnFinishWork(this);
}

void TRedozIrIO::Update() {
  if (!fView) return;
  if (OnWorker())
    PostMessage(fNotifyWnd, IEM_UPDATE, 0, 0);
  else
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
  if (!IEPreviewsDialog) return false;
  return IEPreviewsDialog(*this, Pages);
}

void TRedozIrIO::RunWork(const std::function<void(TIEProgressRecord&)>& Body) {
  // OnFinishWork fires exactly once, also when the work fails; progress 100
  // only when it succeeded.
  bool finished = false;
  try {
    TIEProgressRecord progress;
    // Posted from the worker, each percentage once: a message per row would
    // flood the view's queue.
    int last = -1;
    TIEProgressEvent posted = [this, &last](TObject*, int Per) {
      if (Per == last) return;
      last = Per;
      DoProgress(Per);
    };
    progress.fOnProgress = OnWorker() ? &posted : &OnProgress;
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

void TRedozIrIO::LoadWith(TStream& Stream, int FileType) {
  TIEFileFormatInfo* fi = IEFileFormatGetInfo(FileType);
  if (!fi || !fi->ReadFunction) throw EIEImageError("Cannot read " + FormatName(FileType) + " images");
  if (!BeginWork()) return;
  RunWork([&](TIEProgressRecord& progress) {
    TIEBitmap staging;
    TIOParamsVals params(fParams);
    params.ImageCount = 0;
    fi->ReadFunction(Stream, staging, params, progress);
    params.FileType = FileType;
    params.Width = params.OriginalWidth = staging.GetWidth();
    params.Height = params.OriginalHeight = staging.GetHeight();
    if (!params.NativePixelFormat && staging.GetPixelFormat() != ie1g && staging.GetPixelFormat() != ie24RGB)
      IEConvertTo24(staging);
    TIEBitmap* target = GetIEBitmap();
    staging.SetDitherMethod(target->DitherMethod());
    target->Assign(&staging);
    fParams.Assign(params);
    Update();
  });
}

void TRedozIrIO::LoadSpecial(TStream* Stream, const std::string& FileName, int FileType) {
  auto it = SpecialLoaders().find(FileType);
  bool loaded = it != SpecialLoaders().end() && it->second(*this, Stream, FileName);
  if (!loaded) {
    // A stream of these formats goes only into a control of the right class.
    if (Stream) return;
    throw EIEImageError("Cannot read " + FormatName(FileType) + " files here");
  }
  RunWork([&](TIEProgressRecord&) {
    fParams.FileType = FileType;
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
  HWND wnd = AsyncMode ? AsyncWindow() : 0;
  if (!wnd) return LoadWith(Stream, FileType);
  TIEFileFormatInfo* fi = IEFileFormatGetInfo(FileType);
  if (!fi || !fi->ReadFunction) throw EIEImageError("Cannot read " + FormatName(FileType) + " images");
  fAsyncError = nullptr;
  fNotifyWnd = wnd;
  fRunning = true;
  try {
    fThread = std::thread([this, &Stream, owned = std::move(OwnedStream), FileType]() mutable {
      tLoadingFor = this;
      try {
        LoadWith(Stream, FileType);
      } catch (...) {
        fAsyncError = std::current_exception();
      }
      owned.reset();
      tLoadingFor = nullptr;
      fRunning = false;
    });
  } catch (...) {
    fRunning = false;
    throw;
  }
}

void TRedozIrIO::LoadFromStreamFormat(TStream& Stream, int FileType) {
  Join();
  if (IsSpecial(FileType)) return LoadSpecial(&Stream, std::string(), FileType);
  StartLoad(Stream, nullptr, FileType);
}

void TRedozIrIO::LoadFromStream(TStream& Stream) {
  Join();
  int ft = FindStreamFormat(Stream);
  if (ft == ioUnknown) throw EIEImageError("Unknown image format");
  LoadFromStreamFormat(Stream, ft);
}

void TRedozIrIO::LoadFromFile(const std::string& FileName) {
  int ft = ioUnknown;
  {
    TFileStream fs(FileName, fmOpenRead | fmShareDenyWrite);
    ft = FindStreamFormat(fs);
  }
  if (ft == ioUnknown) ft = IEFileTypeOfName(FileName);
  if (ft == ioUnknown) throw EIEImageError("Unknown image format: " + FileName);
  LoadFromFileFormat(FileName, ft);
}

void TRedozIrIO::LoadFromFileFormat(const std::string& FileName, int FileType) {
  Join();
  if (IsSpecial(FileType)) return LoadSpecial(nullptr, FileName, FileType);
  auto fs = std::make_unique<TFileStream>(FileName, fmOpenRead | fmShareDenyWrite);
  TStream& stream = *fs;
  StartLoad(stream, std::move(fs), FileType);
}

void TRedozIrIO::SaveToStream(TStream& Stream, int FileType) {
  TIEFileFormatInfo* fi = IEFileFormatGetInfo(FileType);
  if (!fi || !fi->WriteFunction) throw EIEImageError("Cannot write " + FormatName(FileType) + " images");
  Join();
  TIEBitmap* bmp = GetIEBitmap();
  if (bmp->GetWidth() <= 0 || bmp->GetHeight() <= 0) throw EIEImageError("Cannot save an empty image");
  RunWork([&](TIEProgressRecord& progress) {
    fi->WriteFunction(Stream, *bmp, fParams, progress);
    fParams.FileType = FileType;
  });
}

void TRedozIrIO::SaveToFile(const std::string& FileName) {
  int ft = IEFileTypeOfName(FileName);
  if (ft == ioUnknown) throw EIEImageError("Unknown image format for " + FileName);
  SaveToFileFormat(FileName, ft);
}

void TRedozIrIO::SaveToFileFormat(const std::string& FileName, int FileType) {
  // Written to memory first, so that a failed save leaves no broken file.
  TMemoryStream ms;
  SaveToStream(ms, FileType);
  TFileStream fs(FileName, fmCreate);
  fs.WriteBuffer(ms.Memory(), ms.Size());
}

}  // namespace redozir
