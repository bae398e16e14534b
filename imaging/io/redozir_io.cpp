// TRedozIrIO: loads are decoded into a staging bitmap and parameters and
// committed only when the whole file has been read.
#include "imaging/io/redozir_io.h"

#include <map>

#include "imaging/formats/ie_codec_util.h"

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

TRedozIrIO::TRedozIrIO(TObject* AOwner) : fOwner(AOwner), fOwnBitmap(std::make_unique<TIEBitmap>()) {
  fOwnBitmap->SetDitherMethod(fBilevelMode);
}

TRedozIrIO::~TRedozIrIO() = default;

TIEBitmap* TRedozIrIO::GetIEBitmap() {
  if (fView) {
    if (TIEBitmap* b = fView->IOCurrentBitmap()) return b;
  }
  if (fAttachedBitmap) return fAttachedBitmap;
  return fOwnBitmap.get();
}

void TRedozIrIO::SetAttachedRedozIr(TIEIOViewLink* View) {
  fView = View;
  if (View) fAttachedBitmap = nullptr;
  UpdateDShowNotifyWindow();
}

void TRedozIrIO::SetAttachedIEBitmap(TIEBitmap* Bitmap) {
  fView = nullptr;
  fAttachedBitmap = Bitmap;
}

void TRedozIrIO::SetBilevelConversionMode(std::uint8_t Mode) {
  fBilevelMode = Mode;
  GetIEBitmap()->SetDitherMethod(Mode);
}

bool TRedozIrIO::BeginWork() { return true; }

void TRedozIrIO::DoProgress(int Per) {
  if (OnProgress) OnProgress(this, Per);
}

void TRedozIrIO::Update() {
  if (!fView) return;
  fView->IOUpdate();
  fView->IODoImageChange();
}

TIEDirectShow* TRedozIrIO::DShowControl() {
  if (!fDShow) fDShow = std::make_unique<TIEDirectShow>();
  return fDShow.get();
}

void TRedozIrIO::UpdateDShowNotifyWindow() {
  if (fView && fDShow) fDShow->SetNotifyWindow(fView->IOWindowHandle(), 8025, 8026);
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
    progress.fOnProgress = &OnProgress;
    progress.Sender = this;
    DoProgress(0);
    Body(progress);
    DoProgress(100);
    finished = true;
    if (OnFinishWork) OnFinishWork(this);
  } catch (...) {
    if (!finished && OnFinishWork) OnFinishWork(this);
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

void TRedozIrIO::LoadFromStreamFormat(TStream& Stream, int FileType) {
  if (IsSpecial(FileType)) return LoadSpecial(&Stream, std::string(), FileType);
  LoadWith(Stream, FileType);
}

void TRedozIrIO::LoadFromStream(TStream& Stream) {
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
  if (IsSpecial(FileType)) return LoadSpecial(nullptr, FileName, FileType);
  TFileStream fs(FileName, fmOpenRead | fmShareDenyWrite);
  LoadWith(fs, FileType);
}

void TRedozIrIO::SaveToStream(TStream& Stream, int FileType) {
  TIEFileFormatInfo* fi = IEFileFormatGetInfo(FileType);
  if (!fi || !fi->WriteFunction) throw EIEImageError("Cannot write " + FormatName(FileType) + " images");
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
