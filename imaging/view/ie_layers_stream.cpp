// The layers stream ("VUDIREVEDADIR", the layers file format) and the layer
// record of one layer (undo of single layers). Layers stream, little-endian:
//   13 bytes  "VUDIREVEDADIR"
//   i32       version (6 written; 1 to 6 read)
//   i32       bitmap coding: -1 raw deflated, -2 raw, else a file format id
//   i32       layer count N (at least 1)
//   N layer headers (the fields each version has, then the u64 position of
//   the layer's bitmap block), then the N bitmap blocks (raw codings: an i32
//   byte count and the bytes; file formats: the file as its writer made it).
#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "imaging/core/iebitmap.h"
#include "imaging/formats/ie_codec_util.h"
#include "imaging/formats/zstreams.h"
#include "imaging/io/ie_fileformats.h"
#include "imaging/io/ie_savefile.h"
#include "imaging/io/redozir_io.h"
#include "imaging/io/take_result.h"
#include "imaging/view/redozir_view.h"
#include "platform/byte_reader.h"
#include "platform/byte_writer.h"

namespace redozir {

namespace {

constexpr char kLayersSignature[] = "VUDIREVEDADIR";
constexpr std::int64_t kSignatureLen = 13;
constexpr std::int64_t kLayersHeaderLen = 25;
constexpr std::int32_t kLayersVersion = 6;
// Layer counts, names and user data beyond these are damage, not pictures.
constexpr std::int64_t kMaxLayers = 65536;
constexpr std::int64_t kMaxLayerName = std::int64_t(1) << 20;
constexpr std::int64_t kMaxUserData = std::int64_t(1) << 28;
// What a raw bitmap block may inflate to: the largest bitmap with its alpha.
constexpr std::int64_t kMaxRawBlock = kMaxBitmapBytes + kMaxBitmapBytes / 3 + 4096;
// A raw bitmap's header with its largest palette (65536 entries).
constexpr std::int64_t kMaxRawHeader = 40 + 3 * 65536;
constexpr int kMaxResampleFilter = rfProjectWB;
// A layer record with an empty name and no bitmap.
constexpr std::int64_t kLayerRecordMin = 123;

// The bytes of a layer header of that version, with its block position.
std::int64_t LayerHeaderSize(int Version) {
  return 35 + (Version >= 3 ? 12 : 0) + (Version >= 4 ? 1 : 0) + (Version >= 6 ? 1 : 0) + 8;
}

bool GetBool(TByteReader& r) { return r.U8() != 0; }

TResampleFilter GetFilter(TByteReader& r) {
  std::uint8_t f = r.U8();
  if (f > kMaxResampleFilter) r.Fail("bad resample filter " + std::to_string(f));
  return static_cast<TResampleFilter>(f);
}

std::int32_t GetSize(TByteReader& r, const char* what) {
  std::int32_t v = r.I32();
  if (v < 0) r.Fail(std::string("negative layer ") + what + " " + std::to_string(v));
  return v;
}

// The settings a layers stream carries for one layer.
struct TLayerSettings {
  bool Visible = true, VisibleBox = true;
  std::int32_t Transparency = 255, PosX = 0, PosY = 0;
  bool Cropped = false, Locked = false;
  TIELayerMagnify Magnify;
  std::uint8_t Operation = 0;
  std::int32_t Width = 0, Height = 0;
  TResampleFilter ResampleFilter = rfNone;
  bool UseResampleFilter = false;
  std::string Name;
  std::vector<std::uint8_t> UserData;
  bool IsMask = false, Selectable = true, DimOutside = false;

  static TLayerSettings Of(const TIELayer& l) {
    TLayerSettings s;
    s.Visible = l.Visible;
    s.VisibleBox = l.VisibleBox;
    s.Transparency = l.Transparency;
    s.PosX = l.PosX;
    s.PosY = l.PosY;
    s.Cropped = l.Cropped;
    s.Locked = l.Locked;
    s.Magnify = l.Magnify;
    s.Operation = l.Operation;
    s.Width = l.Width;
    s.Height = l.Height;
    s.ResampleFilter = l.ResampleFilter;
    s.UseResampleFilter = l.UseResampleFilter;
    s.Name = l.Name;
    if (l.UserDataLen > 0 && l.UserData) {
      auto* p = static_cast<const std::uint8_t*>(l.UserData);
      s.UserData.assign(p, p + l.UserDataLen);
    }
    s.IsMask = l.IsMask;
    s.Selectable = l.Selectable;
    s.DimOutside = l.DimOutside;
    return s;
  }

  // Cannot fail once the user data block is made; the settings give their
  // name away. Without WithUserData the layer keeps its block.
  void ApplyTo(TIELayer& l, std::unique_ptr<std::uint8_t[]> block, bool WithUserData = true) {
    l.Visible = Visible;
    l.VisibleBox = VisibleBox;
    l.Transparency = Transparency;
    l.PosX = PosX;
    l.PosY = PosY;
    l.Cropped = Cropped;
    l.Locked = Locked;
    l.Magnify = Magnify;
    l.Operation = Operation;
    l.Width = Width;
    l.Height = Height;
    l.ResampleFilter = ResampleFilter;
    l.UseResampleFilter = UseResampleFilter;
    l.Name = std::move(Name);  // cannot fail: the layer takes the name over
    if (WithUserData) {
      if (l.UserDataLen > 0) delete[] static_cast<std::uint8_t*>(l.UserData);
      l.UserData = nullptr;
      l.UserDataLen = 0;
      if (block) {
        l.UserData = block.release();
        l.UserDataLen = static_cast<int>(UserData.size());
      }
    }
    l.IsMask = IsMask;
    l.Selectable = Selectable;
    l.DimOutside = DimOutside;
    l.ClientAreaBox = TRect{};
  }

  std::unique_ptr<std::uint8_t[]> MakeBlock() const {
    if (UserData.empty()) return nullptr;
    std::unique_ptr<std::uint8_t[]> b(new std::uint8_t[UserData.size()]);
    std::memcpy(b.get(), UserData.data(), UserData.size());
    return b;
  }

  void Write(TByteWriter& w) const {
    w.Bool(Visible);
    w.Bool(VisibleBox);
    w.I32(Transparency);
    w.I32(PosX);
    w.I32(PosY);
    w.Bool(Cropped);
    w.Bool(Locked);
    w.Bool(Magnify.Enabled);
    w.F64(Magnify.Rate);
    w.U8(Magnify.Style);
    w.U8(Magnify.Source);
    w.U8(Operation);
    w.I32(Width);
    w.I32(Height);
    w.U8(ResampleFilter);
    w.Bool(UseResampleFilter);
    w.Str(Name);
    w.Str({reinterpret_cast<const char*>(UserData.data()), UserData.size()});
    w.Bool(IsMask);
    w.Bool(Selectable);
    w.Bool(DimOutside);
  }

  // The fields Version has; the others keep what they were.
  void Read(TByteReader& r, int Version) {
    Visible = GetBool(r);
    VisibleBox = GetBool(r);
    Transparency = r.I32();
    PosX = r.I32();
    PosY = r.I32();
    Cropped = GetBool(r);
    Locked = GetBool(r);
    Magnify.Enabled = GetBool(r);
    Magnify.Rate = r.F64();
    Magnify.Style = r.U8();
    if (Version >= 3) Magnify.Source = r.U8();
    Operation = r.U8();
    Width = GetSize(r, "width");
    Height = GetSize(r, "height");
    if (Version < 3) return;
    ResampleFilter = GetFilter(r);
    UseResampleFilter = GetBool(r);
    Name = r.Str(r.Count(r.I32(), kMaxLayerName, 1, "layer name length"));
    std::int64_t n = r.I32();
    // A length of 0 or less means no block.
    UserData = n > 0 ? r.Vec(r.Count(n, kMaxUserData, 1, "user data length")) : std::vector<std::uint8_t>{};
    IsMask = GetBool(r);
    if (Version >= 4) Selectable = GetBool(r);
    if (Version >= 6) DimOutside = GetBool(r);
  }
};

bool IsRawCoding(int Coding) { return Coding == -1 || Coding == -2; }

// Refuses a coding that cannot carry a layer's bitmap.
void CheckCoding(TByteReader& r, int Coding) {
  if (IsRawCoding(Coding)) return;
  if (Coding == ioIEV || Coding == ioLYR || Coding == ioALL)
    r.Fail("format " + std::to_string(Coding) + " cannot code a layer's bitmap");
  TIEFileFormatInfo* fi = IEFileFormatGetInfo(Coding);
  if (!fi || !fi->ReadFunction) r.Fail("unknown bitmap coding " + std::to_string(Coding));
}

// The I/O parameters a file format writes a bitmap of this pixel format with.
void SetSaveParams(TIOParamsVals& p, TIEPixelFormat pf) {
  if (pf == ie1g) {
    p.BitsPerSample = 1;
    p.SamplesPerPixel = 1;
  } else if (pf == ie8g) {
    p.BitsPerSample = 8;
    p.SamplesPerPixel = 1;
    p.JPEGColorSpace = ioJPEG_GRAYLEV;
  } else {
    p.BitsPerSample = 8;
    p.SamplesPerPixel = 3;
    p.JPEGColorSpace = ioJPEG_YCbCr;
  }
}

void WriteBitmapBlock(TStream& s, TIEBitmap* b, int Coding, TRedozIrView& View) {
  if (IsRawCoding(Coding)) {
    TByteWriter w(s);
    std::int64_t countAt = s.Position();
    w.I32(0);
    if (Coding == -1) {
      TZCompressionStream z(s);
      b->SaveRawToStream(z);
      z.Finish();
    } else {
      b->SaveRawToStream(s);
    }
    std::int64_t count = s.Position() - countAt - 4;
    w.PatchLength(countAt, count,
                  "A layer of " + std::to_string(count) + " bytes does not fit in a layers stream");
    return;
  }
  // A component of its own, so that the view's parameters stay as they are.
  TRedozIrIO io;
  if (View.HasIO()) io.Params().Assign(View.GetIO()->Params());
  io.SetAttachedIEBitmap(b);
  SetSaveParams(io.Params(), b->GetPixelFormat());
  io.SaveToStream(s, Coding);
  s.Seek(0, soEnd);
}

struct TStagedLayer {
  TLayerSettings Settings;
  std::unique_ptr<TIEBitmap> Bitmap = std::make_unique<TIEBitmap>();
};

// Refuses a raw bitmap whose pixels (Copies times: the record's and the
// bitmap's) would take the load past Budget, Held bytes besides them.
// False where the record's header is not all there.
bool CheckRawBudget(TStream& Raw, int Copies, std::int64_t Held, std::int64_t Budget) {
  const TIEBitmap::TRawSize size = TIEBitmap::PeekRawSize(Raw);
  IECheckLoadMemory("Layers stream", size.Width, size.Height, Held + Copies * size.Bytes, Budget);
  return size.Width > 0 || size.Bytes > 0;
}

// Reads a layer's bitmap into b: the load holds Held bytes of its Budget
// besides it.
void ReadBitmapBlock(TStream& s, TByteReader& r, TIEBitmap& b, int Coding, bool NativeFormat,
                     std::int64_t Held, std::int64_t Budget) {
  if (IsRawCoding(Coding)) {
    std::int64_t count = r.I32();
    if (count <= 0) r.Fail("empty bitmap block");
    // The block's bytes are read whole, then the pixels made from them: the
    // bitmap's size is weighed before either.
    Held += count;
    if (Coding == -2) CheckRawBudget(s, 1, Held, Budget);
    // Only the counted bytes belong to the block.
    std::vector<std::uint8_t> bytes = r.Vec(count);
    TReadOnlyMemoryStream m(bytes.data(), count);
    bool loaded;
    if (Coding == -1) {
      // Deflate packs at most about 1032 to 1: what inflates past that (or
      // past any bitmap's size) is not a bitmap block.
      std::int64_t cap = std::min<std::int64_t>(kMaxRawBlock, count * 1040 + 65536);
      TZDecompressionStream z(m, cap);
      TMemoryStream inflated;
      std::vector<std::uint8_t> chunk(static_cast<size_t>(kZBufferSize));
      // The inflated record is held beside the bitmap made from it: weighed
      // as soon as its header is there, which is never longer than a
      // header with the largest palette.
      bool weighed = false;
      while (std::int64_t got = z.Read(chunk.data(), kZBufferSize)) {
        inflated.WriteBuffer(chunk.data(), got);
        if (weighed) continue;
        inflated.SetPosition(0);
        weighed = CheckRawBudget(inflated, 2, Held, Budget);
        if (!weighed && inflated.Size() > kMaxRawHeader)
          r.Fail("a layer's bitmap block has no raw bitmap header");
        inflated.Seek(0, soEnd);
      }
      inflated.SetPosition(0);
      // The bitmap must use the block up: one that stops short read a
      // damaged header (a width with no height reads as an empty bitmap).
      loaded = b.LoadRawFromStream(inflated) && inflated.Position() == inflated.Size() && z.AtEnd();
    } else {
      loaded = b.LoadRawFromStream(m) && m.Position() == count;
    }
    if (!loaded) r.Fail("a layer's bitmap block is not a raw bitmap of its byte count");
    return;
  }
  TRedozIrIO io;
  io.SetAttachedIEBitmap(&b);
  io.SetNativePixelFormat(NativeFormat);
  // 0 would be the default budget, not none left.
  io.SetLoadMemoryBudget(std::max<std::int64_t>(Budget - Held, 1));
  io.LoadFromStreamFormat(s, Coding);
}

}  // namespace

void TRedozIrView::LayersSaveToStream(TStream& Stream, int Coding) {
  if (Coding == 1) Coding = ioPNG;
  SyncLayers();
  TByteWriter w(Stream);
  w.Bytes(kLayersSignature, kSignatureLen);
  w.I32(kLayersVersion);
  w.I32(Coding);
  w.I32(GetLayersCount());
  std::vector<std::int64_t> slots;
  for (TIELayer* l : fLayers) {
    TLayerSettings::Of(*l).Write(w);
    slots.push_back(Stream.Position());
    w.U64(0);
  }
  // The bitmaps are written from the layers themselves: the current layer,
  // the selection and the view's I/O parameters stay as they are.
  for (size_t i = 0; i < fLayers.size(); ++i) {
    std::int64_t at = Stream.Position();
    Stream.SetPosition(slots[i]);
    w.U64(static_cast<std::uint64_t>(at));
    Stream.SetPosition(at);
    WriteBitmapBlock(Stream, fLayers[i]->Bitmap, Coding, *this);
  }
}

struct TRedozIrView::TStagedLayers {
  // Layer 0's settings and pixels, then the other layers whole.
  TLayerSettings Settings0;
  std::unique_ptr<std::uint8_t[]> UserData0;
  std::unique_ptr<TIEBitmap> Bitmap0;
  std::vector<std::unique_ptr<TIELayer>> Added;
  std::int64_t End = 0;  // where the last bitmap read ends
};

void TRedozIrView::TStagedLayersFree::operator()(TStagedLayers* Staged) const noexcept { delete Staged; }

std::int64_t TRedozIrView::LoadBudget() const {
  return fIO ? IELoadMemoryBudget(fIO->Params()) : IEDefaultLoadMemoryBudget();
}

std::unique_ptr<TRedozIrView::TStagedLayers, TRedozIrView::TStagedLayersFree> TRedozIrView::StageLayers(
    TStream& Stream, std::int64_t Held) {
  std::int64_t start = Stream.Position();
  std::int64_t size = Stream.Size();
  try {
    TByteReader r(Stream, -1, "Layers stream");
    char sig[kSignatureLen];
    if (r.Left() < kSignatureLen) return nullptr;
    r.Bytes(sig, kSignatureLen);
    if (std::memcmp(sig, kLayersSignature, kSignatureLen) != 0) {
      Stream.SetPosition(start);
      return nullptr;
    }
    std::int32_t version = r.I32();
    std::int32_t coding = r.I32();
    std::int32_t count = r.I32();
    if (version < 1 || version > kLayersVersion) {
      Stream.SetPosition(start);
      return nullptr;
    }
    if (count < 1) r.Fail("no layers");
    // The smallest header of this version plus its block position.
    r.Count(count, kMaxLayers, LayerHeaderSize(version), "layer count");
    CheckCoding(r, coding);
    if (fLayersCurrent > -1 && fLayersCurrent < GetLayersCount()) fLayers[fLayersCurrent]->Bitmap = fIEBitmap;

    std::vector<TStagedLayer> staged(static_cast<size_t>(count));
    std::int64_t end = Stream.Position();
    // Every layer read stays until the commit: the budget binds them together.
    const std::int64_t budget = LoadBudget();
    for (int i = 0; i < count; ++i) {
      TStagedLayer& st = staged[static_cast<size_t>(i)];
      // Fields a version lacks keep layer 0's values on layer 0 and a new
      // layer's defaults elsewhere.
      if (i == 0) st.Settings = TLayerSettings::Of(*fLayers[0]);
      st.Settings.Read(r, version);
      std::uint64_t pos = r.U64();
      if (pos < static_cast<std::uint64_t>(start + kLayersHeaderLen) ||
          pos >= static_cast<std::uint64_t>(size))
        r.Fail("layer " + std::to_string(i) + "'s bitmap lies outside the stream");
      std::int64_t after = Stream.Position();
      Stream.SetPosition(static_cast<std::int64_t>(pos));
      TByteReader block(Stream, -1, "Layer " + std::to_string(i));
      ReadBitmapBlock(Stream, block, *st.Bitmap, coding,
                      st.Settings.IsMask || (fIO && fIO->NativePixelFormat()), Held, budget);
      Held += IEBitmapBytes(st.Bitmap->Width(), st.Bitmap->Height(), st.Bitmap->GetPixelFormat(),
                            st.Bitmap->HasAlphaChannel());
      end = std::max(end, Stream.Position());
      Stream.SetPosition(after);
    }
    // The new layers are made whole here, with their pixels and settings.
    std::unique_ptr<TStagedLayers, TStagedLayersFree> result(new TStagedLayers);
    TIEBitmap* b0 = fLayers[0]->Bitmap;
    for (size_t i = 1; i < staged.size(); ++i) {
      auto l = std::make_unique<TIELayer>(this, false, nullptr);
      l->Bitmap->SetMemoryThreshold(b0->MemoryThreshold());
      if (b0->Location() == ieTBitmap) {
        l->Bitmap->SetLocation(ieTBitmap);
        l->Bitmap->SetIsVclBitmap(b0->IsVclBitmap());
      }
      IETakeAll(l->Bitmap, *staged[i].Bitmap);
      staged[i].Settings.ApplyTo(*l, staged[i].Settings.MakeBlock());
      result->Added.push_back(std::move(l));
    }
    result->Settings0 = std::move(staged[0].Settings);
    result->UserData0 = result->Settings0.MakeBlock();
    result->Bitmap0 = std::move(staged[0].Bitmap);
    result->End = end;
    Stream.SetPosition(start);
    return result;
  } catch (...) {
    Stream.SetPosition(start);
    throw;
  }
}

void TRedozIrView::CommitLayers(TStagedLayers& Staged) {
  // Layer 0's pixels go into its own bitmap object (the callers of a hidden
  // view hold it): the only step that can fail, whole or not at all.
  TIEBitmap* b0 = fLayers[0]->Bitmap;
  fLayers.reserve(Staged.Added.size() + 1);
  // The selection mask fitted aside to the layer that becomes current, so
  // that the update after the commit has nothing to allocate for it.
  std::size_t current = Staged.Added.size();
  while (current > 0 && !Staged.Added[current - 1]->Selectable && LayersSelectableOnly) --current;
  const TIEBitmap* shown = current == 0 ? Staged.Bitmap0.get() : Staged.Added[current - 1]->Bitmap;
  TIEMask fitted;
  fitted.Assign(*fSelectionMask);
  FitMask(fitted, shown->Width(), shown->Height());
  IETakeAll(b0, *Staged.Bitmap0);

  while (GetLayersCount() > 1) {
    delete fLayers.back();
    fLayers.pop_back();
  }
  Staged.Settings0.ApplyTo(*fLayers[0], std::move(Staged.UserData0));
  for (auto& l : Staged.Added) fLayers.push_back(l.release());
  Staged.Added.clear();
  fIEBitmap = b0;
  fSelectionMask->Swap(fitted);
  fLayersCurrent = -1;
  LockUpdate();
  SetLayersCurrent(GetLayersCount() - 1);
  if (fIO) {
    TIOParamsVals& p = fIO->Params();
    p.Width = p.OriginalWidth = b0->Width();
    p.Height = p.OriginalHeight = b0->Height();
  }
  UnlockUpdateEx();
  UpdateAfterChange();
}

bool TRedozIrView::LayersLoadFromStream(TStream& Stream) {
  return IEGuardMemory("read the layers", fIEBitmap, [&] {
    auto staged = StageLayers(Stream);
    if (!staged) return false;
    CommitLayers(*staged);
    Stream.SetPosition(staged->End);
    return true;
  });
}

bool TRedozIrView::LayersLoadFromFile(const std::string& FileName) {
  TFileStream f(FileName, fmOpenRead | fmShareDenyWrite);
  return LayersLoadFromStream(f);
}

void TRedozIrView::LayersSaveToFile(const std::string& FileName, int Coding) {
  IESaveFileSafely(FileName, [&](TStream& s) { LayersSaveToStream(s, Coding); });
}

// ---- detection and the I/O component's loader

bool IELyrDetectStream(TStream& Stream) {
  std::int64_t start = Stream.Position();
  bool found = false;
  if (Stream.Size() - start >= kLayersHeaderLen) {
    std::uint8_t h[kLayersHeaderLen];
    Stream.ReadBuffer(h, kLayersHeaderLen);
    std::int32_t version = static_cast<std::int32_t>(h[13] | (h[14] << 8) | (h[15] << 16) |
                                                     (static_cast<std::uint32_t>(h[16]) << 24));
    found = std::memcmp(h, kLayersSignature, kSignatureLen) == 0 && version >= 1 && version <= kLayersVersion;
  }
  Stream.SetPosition(start);
  return found;
}

namespace {
// A layers file read through an I/O component: into the attached view, or,
// for a file, flattened through a view of its own into the work bitmap.
bool LoadLayersThroughIO(TRedozIrIO& IO, TStream* Stream, const std::string& FileName) {
  auto* view = dynamic_cast<TRedozIrView*>(IO.AttachedRedozIr());
  if (view) return Stream ? view->LayersLoadFromStream(*Stream) : view->LayersLoadFromFile(FileName);
  if (Stream) return false;
  TRedozIrView temp(nullptr);
  temp.GetIO()->SetLoadMemoryBudget(IO.LoadMemoryBudget());
  if (!temp.LayersLoadFromFile(FileName)) return false;
  temp.LayersMergeAll();
  TIEBitmap* work = IO.GetIEBitmap();
  work->Assign(temp.GetIEBitmap());
  return true;
}
}  // namespace

void IEInitLayersStream() {
  static std::once_flag once;
  std::call_once(once, [] {
    if (!IELyrDetect) IELyrDetect = IELyrDetectStream;
    IERegisterDefaultSpecialLoader(ioLYR, LoadLayersThroughIO);
  });
}

// ---- the layer record

void TIELayer::SaveToStream(TStream& Stream, bool SaveBitmap) {
  TByteWriter w(Stream);
  std::int64_t start = Stream.Position();
  w.I32(0);
  w.Bytes(&fGUID, sizeof(fGUID));
  w.I32(Width);
  w.I32(Height);
  w.Bool(Visible);
  w.Bool(VisibleBox);
  w.Bool(Selectable);
  w.I32(Transparency);
  w.I32(PosX);
  w.I32(PosY);
  w.I32(ClientAreaBox.Left);
  w.I32(ClientAreaBox.Top);
  w.I32(ClientAreaBox.Right);
  w.I32(ClientAreaBox.Bottom);
  w.Bool(Cropped);
  w.Bool(Locked);
  std::uint8_t magnify[24] = {};
  magnify[0] = Magnify.Enabled ? 1 : 0;
  std::memcpy(magnify + 8, &Magnify.Rate, 8);
  magnify[16] = Magnify.Style;
  magnify[17] = Magnify.Source;
  w.Bytes(magnify, 24);
  w.U8(Operation);
  // An address means nothing outside this process: the field stays 0.
  w.I32(0);
  w.U8(ResampleFilter);
  w.Bool(UseResampleFilter);
  w.Str(Name);
  w.Bool(IsMask);
  w.Bool(DimOutside);
  w.F64(fRotate);
  w.F64(RotateCenterX);
  w.F64(RotateCenterY);
  w.Bool(SaveBitmap && Bitmap);
  if (SaveBitmap && Bitmap) Bitmap->SaveRawToStream(Stream);
  std::int64_t length = Stream.Position() - start;
  w.PatchLength(start, length,
                "A layer of " + std::to_string(length) + " bytes does not fit in a layer record");
}

void TIELayer::LoadFromStream(TStream& Stream) {
  std::int64_t start = Stream.Position();
  try {
    TByteReader r(Stream, -1, "Layer record");
    std::int64_t length = r.I32();
    if (length < kLayerRecordMin || length - 4 > r.Left())
      r.Fail("bad record length " + std::to_string(length));
    TByteReader f(Stream, length - 4, "Layer record");
    TLayerSettings s = TLayerSettings::Of(*this);
    TGUID guid;
    f.Bytes(&guid, sizeof(guid));
    s.Width = GetSize(f, "width");
    s.Height = GetSize(f, "height");
    s.Visible = GetBool(f);
    s.VisibleBox = GetBool(f);
    s.Selectable = GetBool(f);
    s.Transparency = f.I32();
    s.PosX = f.I32();
    s.PosY = f.I32();
    TRect box;
    box.Left = f.I32();
    box.Top = f.I32();
    box.Right = f.I32();
    box.Bottom = f.I32();
    s.Cropped = GetBool(f);
    s.Locked = GetBool(f);
    std::uint8_t magnify[24];
    f.Bytes(magnify, 24);
    s.Magnify.Enabled = magnify[0] != 0;
    std::memcpy(&s.Magnify.Rate, magnify + 8, 8);
    s.Magnify.Style = magnify[16];
    s.Magnify.Source = magnify[17];
    s.Operation = f.U8();
    f.Skip(4);  // the writer's address of its user data: never used
    s.ResampleFilter = GetFilter(f);
    s.UseResampleFilter = GetBool(f);
    s.Name = f.Str(f.Count(f.I32(), kMaxLayerName, 1, "layer name length"));
    s.IsMask = GetBool(f);
    s.DimOutside = GetBool(f);
    double rotate = f.F64(), cx = f.F64(), cy = f.F64();
    bool hasBitmap = GetBool(f);
    TIEBitmap staged;
    if (hasBitmap) {
      if (!Bitmap) f.Fail("the layer has no bitmap to read into");
      std::vector<std::uint8_t> bytes = f.Vec(f.Left());
      TReadOnlyMemoryStream m(bytes.data(), static_cast<std::int64_t>(bytes.size()));
      if (!staged.LoadRawFromStream(m)) f.Fail("no raw bitmap after the bitmap flag");
      if (m.Position() != m.Size()) f.Fail("bytes after the bitmap");
    } else if (f.Left() != 0) {
      f.Fail("bytes after the last field");
    }
    if (hasBitmap) IETakeAll(Bitmap, staged);
    // The user data block stays the layer's: the record does not carry it.
    s.ApplyTo(*this, nullptr, false);
    fGUID = guid;
    ClientAreaBox = box;
    SetRotate(rotate);
    RotateCenterX = cx;
    RotateCenterY = cy;
    Stream.SetPosition(start + length);
  } catch (...) {
    Stream.SetPosition(start);
    throw;
  }
}

}  // namespace redozir
