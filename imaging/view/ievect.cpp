// The vector-object view: object store, template, selection, shared
// bitmaps, units and the formatting of measured values.
#include "imaging/view/ievect.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <utility>

#include "imaging/core/dialog_text.h"
#include "imaging/io/redozir_io.h"
#include "platform/clipboard.h"
#include "platform/exceptions.h"
#include "platform/font.h"
#include "platform/icons.h"

namespace redozir {

// Made by cmake/embed.cmake from imaging/view/presets/erroricon.png.
extern const std::uint8_t kIEErrorIconPng0[];
extern const std::size_t kIEErrorIconPng0Size;

namespace {

constexpr const char* kUnitNames[kIEUnitCount] = {"pixels",  "inches",     "km",   "mt",    "cm",   "mm",
                                                  "microns", "nanometers", "feet", "yards", "miles"};

struct TExtendedClass {
  std::string Name;
  const std::type_info* Class;
  TIEVExtendedFactory Create;
};
std::vector<TExtendedClass>& ExtendedRegistry() {
  static std::vector<TExtendedClass> registry;
  return registry;
}

UINT VectClipboardFormat = 0;

}  // namespace

bool IEBitmapsEqual(TIEBitmap* a, const TIEBitmap* cb) {
  auto* b = const_cast<TIEBitmap*>(cb);
  if (a->GetWidth() != b->GetWidth() || a->GetHeight() != b->GetHeight() ||
      a->GetPixelFormat() != b->GetPixelFormat() || a->HasAlphaChannel() != b->HasAlphaChannel())
    return false;
  const std::size_t row = (static_cast<std::size_t>(a->GetWidth()) * a->GetBitCount() + 7) / 8;
  for (int y = 0; y < a->GetHeight(); ++y)
    if (std::memcmp(a->GetScanline(y), b->GetScanline(y), row) != 0) return false;
  if (a->GetPixelFormat() == ie8p) {
    for (int i = 0; i < std::min(a->GetPaletteLength(), b->GetPaletteLength()); ++i)
      if (!(a->GetPalette(i) == b->GetPalette(i))) return false;
  }
  if (a->HasAlphaChannel()) return IEBitmapsEqual(a->GetAlphaChannel(), b->GetAlphaChannel());
  return true;
}

namespace {

std::unique_ptr<TIEBitmap> CopyBitmap(const TIEBitmap* Source) {
  auto copy = std::make_unique<TIEBitmap>();
  copy->Assign(const_cast<TIEBitmap*>(Source));
  return copy;
}

}  // namespace

const char* IEUnitName(TIEUnits Unit) { return Unit < kIEUnitCount ? kUnitNames[Unit] : ""; }

// ---- font record

TIELogFont TIELogFont::FromFont(const TFont& Font) {
  TIELogFont lf;
  lf.lfHeight = Font.Height;
  lf.lfEscapement = lf.lfOrientation = Font.Escapement;
  lf.lfWeight = Font.Style & fsBold ? 700 : 400;
  lf.lfItalic = Font.Style & fsItalic;
  lf.lfUnderline = Font.Style & fsUnderline;
  lf.lfStrikeOut = Font.Style & fsStrikeOut;
  lf.lfCharSet = Font.Charset;
  lf.lfQuality = Font.Quality;
  lf.SetFaceName(Font.Name);
  return lf;
}

TFont TIELogFont::ToFont() const {
  TFont f;
  f.Name = FaceName();
  f.Height = lfHeight;
  TFontStyles s;
  if (lfWeight >= 600) s = s | fsBold;
  if (lfItalic) s = s | fsItalic;
  if (lfUnderline) s = s | fsUnderline;
  if (lfStrikeOut) s = s | fsStrikeOut;
  f.Style = s;
  f.Charset = lfCharSet;
  f.Escapement = lfEscapement;
  return f;
}

std::string TIELogFont::FaceName() const {
  return std::string(lfFaceName, strnlen(lfFaceName, sizeof lfFaceName));
}

void TIELogFont::SetFaceName(const std::string& Name) {
  std::memset(lfFaceName, 0, sizeof lfFaceName);
  std::memcpy(lfFaceName, Name.data(), std::min(Name.size(), sizeof lfFaceName - 1));
}

// ---- extended-object registry

void IERegisterExtendedObject(const std::string& Name, const std::type_info& Class,
                              TIEVExtendedFactory Create) {
  ExtendedRegistry().push_back({Name, &Class, std::move(Create)});
}

std::unique_ptr<TIEVExtendedObject> IECreateExtendedObject(const std::string& Name) {
  for (const TExtendedClass& c : ExtendedRegistry())
    if (c.Name == Name) return c.Create();
  return nullptr;
}

std::string IEExtendedObjectName(const TIEVExtendedObject& Object) {
  for (const TExtendedClass& c : ExtendedRegistry())
    if (*c.Class == typeid(Object)) return c.Name;
  return std::string();
}

// ---- unit start and stop

UINT IEVectClipboardFormat() {
  if (!VectClipboardFormat) VectClipboardFormat = RegisterClipboardFormat("REDOZIR VECT");
  return VectClipboardFormat;
}

void IEInitVectStreams();  // ievect_stream.cpp

void IEInitVect() {
  // The registry starts empty by itself; classes registered before a late
  // start-up (which runs on first need) stay registered.
  IEVectClipboardFormat();
  IEInitVectStreams();
}

void IEFinalVect() {
  ExtendedRegistry().clear();
  ExtendedRegistry().shrink_to_fit();
}

std::unique_ptr<TIEBitmap> IEVectErrorIcon() {
  // Decoded once: every control's template starts with a copy.
  static const std::unique_ptr<TIEBitmap> icon = [] {
    auto bmp = std::make_unique<TIEBitmap>();
    TMemoryStream png(std::vector<std::uint8_t>(kIEErrorIconPng0, kIEErrorIconPng0 + kIEErrorIconPng0Size));
    TRedozIrIO io;
    io.SetAttachedIEBitmap(bmp.get());
    io.LoadFromStreamPNG(png);
    io.SetAttachedIEBitmap(nullptr);
    return bmp;
  }();
  return CopyBitmap(icon.get());
}

// ---- construction

TRedozIrVect::TRedozIrVect(TComponent* AOwner) : TRedozIrView(AOwner) {
  // The I/O component reaches vector formats through these, also when the
  // library's start-up has not run.
  IEInitVectStreams();
  Font.Name = "Arial";
  fTemplate.x1 = fTemplate.y1 = 0;
  fTemplate.x2 = fTemplate.y2 = 63;
  fTemplate.PenColor = Font.Color;
  fTemplate.Font = TIELogFont::FromFont(Font);
  fTemplate.ArcEnd = 2 * M_PI;
  fTemplate.RulerUnit = fMUnit;
  SetObjectBitmap(IEV_TEMPLATE, IEVectErrorIcon().get());
  RecomputeUnitLengths();
}

TRedozIrVect::~TRedozIrVect() { EndTextEdit(); }

// ---- store

TIEVObjectRecord* TRedozIrVect::GetObjectRecord(int hobj) {
  if (hobj == IEV_TEMPLATE) return &fTemplate;
  if (hobj == IEV_LAST) return fRecords.empty() ? nullptr : &fRecords.back();
  if (hobj < 0 || hobj >= static_cast<int>(fRecords.size())) return nullptr;
  return &fRecords[static_cast<std::size_t>(hobj)];
}

const TIEVObjectRecord* TRedozIrVect::GetObjectRecord(int hobj) const {
  return const_cast<TRedozIrVect*>(this)->GetObjectRecord(hobj);
}

int TRedozIrVect::GetObjectAt(int Index) const {
  if (Index < 0 || Index >= ObjectsCount()) return IEV_NONE;
  return fDrawOrder[static_cast<std::size_t>(Index)];
}

int TRedozIrVect::AddObject(const TIEVObjectRecord& Source) {
  const int h = static_cast<int>(fRecords.size());
  fDrawOrder.reserve(fDrawOrder.size() + 1);
  fRecords.push_back(Source);  // deep copy: texts, fonts, attributes, points, extended object
  TIEVObjectRecord& r = fRecords.back();
  fDrawOrder.push_back(h);
  r.BitmapIdx = -1;
  r.DrawnPoints.clear();
  // The caller's data stays with the object it was given to.
  r.UserData.clear();
  // Only the owned data of its kind comes along.
  const std::uint8_t k = r.Kind;
  const bool text = k == ievkTEXT || k == ievkLINELABEL || k == ievkEXTENDED;
  if (!text && k != ievkMEMO && k != ievkBITMAP) r.Text.clear();
  if (!text && k != ievkMEMO && k != ievkRULER && k != ievkANGLE) r.Font.reset();
  if (!text) r.Path.clear();
  if (k != ievkMEMO) {
    r.AttrIndices.reset();
    r.CharInfo.clear();
  }
  if (r.Kind == ievkEXTENDED && r.Extended.p) {
    r.Extended.p->Owner = this;
    r.Extended.p->Record = &r;
    r.Extended.p->TakeHandle(h);
  } else if (r.Kind != ievkEXTENDED) {
    r.Extended.p.reset();
  }
  // An index that names no bitmap leaves the new object without one.
  const int idx = Source.BitmapIdx;
  if (IEVUsesBitmap(Source) && idx >= 0 && idx < static_cast<int>(fBitmaps.size()) &&
      fBitmaps[static_cast<std::size_t>(idx)].Bitmap)
    SetObjectBitmapIndex(h, idx);
  if (r.Kind != ievkLINE && r.Kind != ievkRULER && r.Kind != ievkPOLYLINE && r.Kind != ievkLINELABEL) {
    if (r.x1 > r.x2) std::swap(r.x1, r.x2);
    if (r.y1 > r.y2) std::swap(r.y1, r.y2);
  }
  if (r.Kind != ievkPOLYLINE) {
    r.Points.clear();
    r.PointsBox = {};
    r.Closed = 0;
  }
  return h;
}

void TRedozIrVect::RemoveAllObjects() {
  EndTextEdit();
  SaveObjectUndo();
  // No gesture may go on with a handle of the old store.
  fNewObject = fPolyPoint = fPolySegment = fOverExtended = fDownExtended = -1;
  fGrip = 0;
  fSelection.clear();
  fRecords.clear();
  fDrawOrder.clear();
  // The template's bitmap becomes the first entry of a new table.
  std::unique_ptr<TIEBitmap> keep;
  if (fTemplate.BitmapIdx >= 0 && fTemplate.BitmapIdx < static_cast<int>(fBitmaps.size()))
    keep = std::move(fBitmaps[static_cast<std::size_t>(fTemplate.BitmapIdx)].Bitmap);
  fBitmaps.clear();
  fTemplate.BitmapIdx = -1;
  if (keep) SetObjectBitmap(IEV_TEMPLATE, keep.get());
  DoVectorialChanged();
  Update();
}

void TRedozIrVect::SetObjectFont(int hobj, const TFont& Font) {
  TIEVObjectRecord* r = GetObjectRecord(hobj);
  if (!r) return;
  r->Font = TIELogFont::FromFont(Font);
  r->PenColor = Font.Color;
  if (hobj != IEV_TEMPLATE) Update();
}

void TRedozIrVect::ReleaseBitmapIndex(int Index) {
  if (Index < 0 || Index >= static_cast<int>(fBitmaps.size())) return;
  TIEVSharedBitmap& e = fBitmaps[static_cast<std::size_t>(Index)];
  if (e.RefCount <= 0) return;  // already free: nothing to release
  if (e.RefCount == 1) {
    e.Bitmap.reset();
    e.RefCount = 0;
  } else {
    --e.RefCount;
  }
}

int TRedozIrVect::NewBitmapEntry(std::unique_ptr<TIEBitmap> Bitmap) {
  for (std::size_t i = 0; i < fBitmaps.size(); ++i)
    if (!fBitmaps[i].Bitmap) {
      fBitmaps[i] = {std::move(Bitmap), 1};
      return static_cast<int>(i);
    }
  fBitmaps.push_back({std::move(Bitmap), 1});
  return static_cast<int>(fBitmaps.size()) - 1;
}

void TRedozIrVect::SetObjectBitmapIndex(int hobj, int Index) {
  TIEVObjectRecord* r = GetObjectRecord(hobj);
  if (!r) return;
  const bool valid = Index >= 0 && Index < static_cast<int>(fBitmaps.size()) &&
                     fBitmaps[static_cast<std::size_t>(Index)].Bitmap != nullptr;
  if (Index >= 0 && !valid) throw ERangeError("No shared bitmap at index " + std::to_string(Index));
  // Taken before the release, which may free the very entry.
  if (valid && !ShareBitmaps) {
    auto copy = CopyBitmap(fBitmaps[static_cast<std::size_t>(Index)].Bitmap.get());
    ReleaseBitmapIndex(r->BitmapIdx);
    r->BitmapIdx = NewBitmapEntry(std::move(copy));
    return;
  }
  if (valid) ++fBitmaps[static_cast<std::size_t>(Index)].RefCount;
  ReleaseBitmapIndex(r->BitmapIdx);
  r->BitmapIdx = Index;
}

void TRedozIrVect::SetObjectIcon(int hobj, int Icon, int Width, int Height) {
  if (!GetObjectRecord(hobj) || !IsStandardIcon(Icon) || Width <= 0 || Height <= 0) return;
  TBitmap bmp(Width, Height, pf24bit);
  TCanvas* c = bmp.Canvas();
  c->Brush.Color = clWhite;
  c->Brush.Style = bsSolid;
  c->FillRect(Rect(0, 0, Width, Height));
  DrawStandardIcon(*c, Rect(0, 0, Width, Height), Icon);
  TIEBitmap icon;
  icon.Assign(&bmp);
  SetObjectBitmap(hobj, &icon);
  if (hobj != IEV_TEMPLATE) Update();
}

void TRedozIrVect::SetObjectBitmap(int hobj, const TIEBitmap* Bitmap) {
  TIEVObjectRecord* r = GetObjectRecord(hobj);
  if (!r) return;
  if (!Bitmap) {
    ReleaseBitmapIndex(r->BitmapIdx);
    r->BitmapIdx = -1;
    return;
  }
  if (ShareBitmaps) {
    for (int i = static_cast<int>(fBitmaps.size()) - 1; i >= 0; --i) {
      TIEVSharedBitmap& e = fBitmaps[static_cast<std::size_t>(i)];
      if (e.Bitmap && (e.Bitmap.get() == Bitmap || IEBitmapsEqual(e.Bitmap.get(), Bitmap))) {
        if (r->BitmapIdx == i) return;
        ++e.RefCount;
        ReleaseBitmapIndex(r->BitmapIdx);
        r->BitmapIdx = i;
        return;
      }
    }
  }
  auto copy = CopyBitmap(Bitmap);
  ReleaseBitmapIndex(r->BitmapIdx);
  r->BitmapIdx = NewBitmapEntry(std::move(copy));
}

TIEBitmap* TRedozIrVect::GetObjectBitmap(int hobj) {
  const TIEVObjectRecord* r = GetObjectRecord(hobj);
  if (!r || r->BitmapIdx < 0 || r->BitmapIdx >= static_cast<int>(fBitmaps.size())) return nullptr;
  return fBitmaps[static_cast<std::size_t>(r->BitmapIdx)].Bitmap.get();
}

void TRedozIrVect::SetObjectUserData(int hobj, std::vector<std::uint8_t> Data) {
  TIEVObjectRecord* r = GetObjectRecord(hobj);
  if (!r) return;
  r->UserData = std::move(Data);
  if (hobj != IEV_TEMPLATE) Update();
}

void TRedozIrVect::AddPolylinePoint(int hobj, int X, int Y) {
  TIEVObjectRecord* r = GetObjectRecord(hobj);
  if (!r) return;
  if (!r->Points.empty() && r->Points.back().X == X && r->Points.back().Y == Y) return;
  r->Points.push_back(TPoint{X, Y});
  if (r->Points.size() == 1) {
    r->x1 = r->x2 = X;
    r->y1 = r->y2 = Y;
  } else {
    r->x1 = std::min(r->x1, X);
    r->y1 = std::min(r->y1, Y);
    r->x2 = std::max(r->x2, X);
    r->y2 = std::max(r->y2, Y);
  }
  r->PointsBox = {r->x1, r->y1, r->x2, r->y2};
}

// ---- selection

void TRedozIrVect::AddToSelection(int hobj, bool Notify) {
  if (hobj == IEV_LAST) hobj = static_cast<int>(fRecords.size()) - 1;
  const TIEVObjectRecord* r = hobj >= 0 ? GetObjectRecord(hobj) : nullptr;
  if (r && (r->Style & ievsSelectable)) fSelection.push_back(hobj);
  if (Notify && OnSelectObject) OnSelectObject(this);
}

bool TRedozIrVect::IsSelected(int hobj) const {
  if (hobj == IEV_LAST) hobj = static_cast<int>(fRecords.size()) - 1;
  return hobj >= 0 && std::find(fSelection.begin(), fSelection.end(), hobj) != fSelection.end();
}

void TRedozIrVect::RemoveFromSelection(int hobj) {
  if (hobj == IEV_LAST) hobj = static_cast<int>(fRecords.size()) - 1;
  auto it = std::find(fSelection.begin(), fSelection.end(), hobj);
  if (hobj < 0 || it == fSelection.end()) return;
  fSelection.erase(it);
  if (OnSelectObject) OnSelectObject(this);
}

void TRedozIrVect::UnselectAll(bool DoUpdate) {
  fSelection.clear();
  if (OnSelectObject) OnSelectObject(this);
  if (DoUpdate) Update();
}

// ---- extents

TRect TRedozIrVect::GetObjectsExtent() const {
  std::int64_t right = 0, bottom = 0;
  for (int h : fDrawOrder) {
    const TIEVObjectRecord& r = fRecords[static_cast<std::size_t>(h)];
    right = std::max<std::int64_t>(right, 1 + std::int64_t(std::max(r.x1, r.x2)));
    bottom = std::max<std::int64_t>(bottom, 1 + std::int64_t(std::max(r.y1, r.y2)));
  }
  constexpr std::int64_t top = 0x7FFFFFFF;
  return TRect{0, 0, static_cast<int>(std::min(right, top)), static_cast<int>(std::min(bottom, top))};
}

void TRedozIrVect::GetSelectionExtent(TRect& Rect) {
  TIEBitmap* b = GetIEBitmap();
  Rect = TRect{b ? b->GetWidth() : 0, b ? b->GetHeight() : 0, 0, 0};
  for (int h : fSelection) {
    const TIEVObjectRecord* r = GetObjectRecord(h);
    if (!r) continue;
    Rect.Left = std::min({Rect.Left, r->x1, r->x2});
    Rect.Top = std::min({Rect.Top, r->y1, r->y2});
    Rect.Right = std::max({Rect.Right, r->x1, r->x2});
    Rect.Bottom = std::max({Rect.Bottom, r->y1, r->y2});
  }
}

// ---- measurement

void TRedozIrVect::UnitLengths(TIEUnits Unit, double& LenX, double& LenY) const {
  static constexpr double kPerInch[kIEUnitCount] = {1,        1,         2.54 / 100000, 2.54 / 100,
                                                    2.54,     2.54 * 10, 2.54 * 10000,  2.54 * 1e7,
                                                    1.0 / 12, 1.0 / 36,  1.0 / 63360};
  if (Unit == ieuPIXELS || Unit >= kIEUnitCount) {
    LenX = LenY = 1.0;
  } else {
    LenX = 1.0 / (DpiX() > 0 ? DpiX() : 96);
    LenY = 1.0 / (DpiY() > 0 ? DpiY() : 96);
    if (Unit >= ieuKM && Unit <= ieuNANOMETERS) {
      LenX *= kPerInch[Unit];
      LenY *= kPerInch[Unit];
    } else if (Unit >= ieuFEET) {
      LenX *= kPerInch[Unit];
      LenY *= kPerInch[Unit];
    }
  }
  LenX *= fScaleFactor;
  LenY *= fScaleFactor;
}

void TRedozIrVect::RecomputeUnitLengths() {
  UnitLengths(fMUnit, fPixelLengthX, fPixelLengthY);
  RefreshMeasureHint();
}

double TRedozIrVect::MeasureLength(double dx, double dy) const {
  return std::hypot(dx * fPixelLengthX, dy * fPixelLengthY);
}

void TRedozIrVect::SetMUnit(TIEUnits Value) {
  if (Value >= kIEUnitCount) return;
  fMUnit = Value;
  fTemplate.RulerUnit = Value;
  RecomputeUnitLengths();
}

void TRedozIrVect::SetScaleFactor(double Value) {
  if (!std::isfinite(Value) || Value <= 0)
    throw EInvalidOperation("The scale factor must be a number above 0");
  fScaleFactor = Value;
  RecomputeUnitLengths();
  Update();
}

std::string IEFormatFloat(double Value, int Precision, int Digits) {
  Precision = std::clamp(Precision, 1, 17);
  Digits = std::clamp(Digits, 0, 18);
  if (!std::isfinite(Value)) return std::isnan(Value) ? "NAN" : (Value > 0 ? "INF" : "-INF");
  char buf[400];
  // To Precision significant digits first, then fixed with Digits decimals;
  // to_chars never looks at the locale.
  auto r = std::to_chars(buf, buf + sizeof buf, Value, std::chars_format::scientific, Precision - 1);
  double rounded = Value;
  std::from_chars(buf, r.ptr, rounded);
  r = std::to_chars(buf, buf + sizeof buf, rounded, std::chars_format::fixed, Digits);
  return std::string(buf, r.ptr);
}

TFontQuality IEVFontQuality(std::uint8_t Index) {
  static constexpr TFontQuality kQualities[] = {
      fqAntialiased, fqClearType, fqClearTypeNatural, fqDefault, fqDraft, fqNonAntialiased, fqProof};
  return Index < std::size(kQualities) ? kQualities[Index] : fqDefault;
}

int IESystemTextCharset() {
  switch (IESystemMsgLanguage()) {
    case msGreek: return GREEK_CHARSET;
    case msRussian: return RUSSIAN_CHARSET;
    default: return -1;
  }
}

std::string IESignText(char32_t Sign, int Charset) {
  if (Charset < 0) {
    // UTF-8 of a code point below U+0800.
    std::string s;
    s += static_cast<char>(0xC0 | (Sign >> 6));
    s += static_cast<char>(0x80 | (Sign & 0x3F));
    return s;
  }
  int b = UnicodeToCharsetByte(Sign, static_cast<TFontCharset>(Charset));
  if (b >= 0) return std::string(1, static_cast<char>(b));
  return Sign == 0x00B2 ? "2" : " deg";
}

std::string TRedozIrVect::FormatMeasure(double Value, TIEVValType ValType, int Charset) const {
  std::string s = IEFormatFloat(Value, FloatPrecision, FloatDigits) + " " + IEUnitName(fMUnit);
  if (ValType == ievtAREA) s += IESignText(0x00B2, Charset);
  return s;
}

// ---- settings and events

void TRedozIrVect::SetBitmapResampleFilter(TResampleFilter Value) {
  fBitmapResampleFilter = Value;
  Update();
}

void TRedozIrVect::SetObjAntialias(bool Value) {
  fObjAntialias = Value;
  Update();
}

void TRedozIrVect::SetCopyAntialias(bool Value) {
  fCopyAntialias = Value;
  Update();
}

void TRedozIrVect::DoVectorialChanged() {
  Modified = true;
  fBeforeChangeFired = false;
  if (OnVectorialChanged) OnVectorialChanged(this);
}

void TRedozIrVect::DoBeforeVectorialChanged() {
  if (fBeforeChangeFired) return;
  fBeforeChangeFired = true;
  if (OnBeforeVectorialChanged) OnBeforeVectorialChanged(this);
}

void TRedozIrVect::DoObjectMoveResize(int hobj, int Grip, int& OffsetX, int& OffsetY) {
  if (OnObjectMoveResize) OnObjectMoveResize(this, hobj, Grip, OffsetX, OffsetY);
}
void TRedozIrVect::DoObjectClick(int hobj) {
  if (OnObjectClick) OnObjectClick(this, hobj);
}
void TRedozIrVect::DoObjectDblClick(int hobj) {
  if (OnObjectDblClick) OnObjectDblClick(this, hobj);
}
void TRedozIrVect::DoObjectOver(int hobj) {
  if (OnObjectOver) OnObjectOver(this, hobj);
}
void TRedozIrVect::DoNewObject(int hobj) {
  if (OnNewObject) OnNewObject(this, hobj);
}
void TRedozIrVect::DoUserSelectObject(int hobj) {
  if (OnUserSelectObject) OnUserSelectObject(this, hobj);
}
void TRedozIrVect::DoUserDeselectObject(int hobj) {
  if (OnUserDeselectObject) OnUserDeselectObject(this, hobj);
}

// ---- view operations

void TRedozIrVect::Assign(TRedozIrView* Source) {
  TRedozIrView::Assign(Source);
  auto* src = dynamic_cast<TRedozIrVect*>(Source);
  if (Source && !src) return;
  EndTextEdit();
  RemoveAllObjects();
  if (!src) return;
  const bool share = ShareBitmaps;
  for (int h : src->fDrawOrder) {
    const TIEVObjectRecord& r = src->fRecords[static_cast<std::size_t>(h)];
    TIEVObjectRecord copy = r;
    copy.BitmapIdx = -1;
    const int nh = AddObject(copy);
    // A copy of the whole view keeps what callers hung on its objects.
    fRecords[static_cast<std::size_t>(nh)].UserData = r.UserData;
    if (TIEBitmap* b = src->GetObjectBitmap(h); b && IEVUsesBitmap(r)) {
      ShareBitmaps = false;
      SetObjectBitmap(nh, b);
      ShareBitmaps = share;
    }
  }
  SetScaleFactor(src->fScaleFactor);
  DoVectorialChanged();
  Update();
}

void TRedozIrVect::Update() {
  TRedozIrView::Update();
  ShowTextEditor();
}

void TRedozIrVect::DoViewChange(int Change) {
  TRedozIrView::DoViewChange(Change);
  if (fTextEditing >= 0) ShowTextEditor();
}

void TRedozIrVect::SetDpi(int DpiX, int DpiY) {
  TRedozIrView::SetDpi(DpiX, DpiY);
  RecomputeUnitLengths();
  Update();
}

void TRedozIrVect::SetMouseInteract(TIEMouseInteract Value) {
  TRedozIrView::SetMouseInteract(Value);
  // The view's own interaction takes the mouse from every put and edit mode.
  if (Value != 0) ObjectInteract &= oiMeasureArea | oiMeasureLength | oiDragToPut;
  EndTextEdit();
}

}  // namespace redozir
