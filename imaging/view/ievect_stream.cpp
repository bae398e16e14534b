// The IEV stream (objects, shared bitmaps, scale factor) and the ALL stream
// (layers, then objects), their content tests and the I/O component's
// loaders of both formats. Reading parses the whole stream into a staging
// store and commits it only when everything parsed.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <optional>

#include "imaging/core/ie_streams.h"
#include "imaging/formats/ie_codec_util.h"
#include "imaging/formats/zstreams.h"
#include "imaging/io/ie_fileformats.h"
#include "imaging/io/ie_savefile.h"
#include "imaging/io/redozir_io.h"
#include "imaging/view/ievect.h"
#include "platform/byte_reader.h"
#include "platform/byte_writer.h"
#include "platform/exceptions.h"

namespace redozir {

// A parsed stream waiting to be committed.
struct TIEVStaged {
  double Scale = 1.0;
  std::vector<TIEVSharedBitmap> Bitmaps;
  // The container the control keeps: the commit takes it over whole.
  std::deque<TIEVObjectRecord> Records;
  std::int64_t End = 0;   // where the stream ends
  std::int64_t Held = 0;  // what the parse holds of the load's memory budget
};

namespace {

constexpr char kIEVVersion = 'Q';
constexpr std::uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

// ---- writing

class TLeWriter : public TByteWriter {
 public:
  using TByteWriter::TByteWriter;
  void Font(const std::optional<TIELogFont>& f) {
    U8(f ? 1 : 0);
    if (f) Bytes(&*f, kIELogFontSize);
  }
};

bool HasText(std::uint8_t k) { return k == ievkTEXT || k == ievkLINELABEL || k == ievkEXTENDED; }

void WriteRecord(TLeWriter& w, TStream& body, const TIEVObjectRecord& r, int hobj) {
  w.I32(hobj);
  w.I32(r.x1), w.I32(r.y1), w.I32(r.x2), w.I32(r.y2);
  w.U8(r.Kind);
  w.U8(r.KeepAspect);
  w.U8(r.Shadow.Enabled);
  w.F64(r.Shadow.Radius);
  w.I32(r.Shadow.OffsetX), w.I32(r.Shadow.OffsetY);
  w.I32(r.Shadow.Intensity);
  w.U8(r.Shadow.ShadowColor.b), w.U8(r.Shadow.ShadowColor.g), w.U8(r.Shadow.ShadowColor.r);
  w.Str(r.Name);
  w.I32(r.UserInt);
  w.I32(r.PenColor);
  w.U8(r.PenStyle);
  w.I32(r.PenWidth);
  w.I32(r.BrushColor);
  w.U8(r.BrushStyle);
  w.U8(r.Style);
  w.I32(r.Transparency);
  w.U8(r.SolidFill);
  w.U8(r.FontQuality);
  w.I32(static_cast<std::int32_t>(r.UserData.size()));
  w.Bytes(r.UserData.data(), r.UserData.size());
  // A lone container holds nothing: it is read back and dropped.
  if (r.Kind == ievkNONE) w.I32(0);
  if (r.Kind == ievkLINELABEL) {
    w.I32(r.LabelBrushColor);
    w.U8(r.LabelBrushStyle), w.U8(r.LabelPosition), w.U8(r.LabelShape);
  }
  if (r.Kind == ievkLINE || r.Kind == ievkLINELABEL) {
    w.U8(r.BeginShape), w.U8(r.EndShape);
    w.I32(r.ShapeWidth), w.I32(r.ShapeHeight);
  }
  if (r.Kind == ievkARC) w.F64(r.ArcStart), w.F64(r.ArcEnd);
  if (r.Kind == ievkBITMAP) {
    w.I32(r.BitmapIdx);
    w.U8(r.BitmapBorder);
    w.Str(r.Text);
  }
  if (HasText(r.Kind)) {
    w.U8(r.TextAlign);
    w.U8(r.TextAutoSize);
    w.Str(r.Text);
    w.Font(r.Font);
    w.I32(static_cast<std::int32_t>(r.Path.size()));
    if (!r.Path.empty()) {
      for (const TIEVDPoint& p : r.Path) w.F64(p.x), w.F64(p.y);
      w.I32(r.PathOption);
    }
  }
  if (r.Kind == ievkMEMO) {
    w.Str(r.Text);
    w.Font(r.Font);
    // One index per character: a memo whose indices do not match its text
    // stores none.
    const bool idx = r.AttrIndices && r.AttrIndices->size() == r.Text.size();
    w.U8(idx ? 1 : 0);
    if (idx)
      for (std::int32_t i : *r.AttrIndices) w.I32(i);
    w.I32(static_cast<std::int32_t>(r.CharInfo.size()));
    std::uint8_t rec[kIECharInfoSize];
    for (const TIECharInfo& ci : r.CharInfo) {
      ci.ToBytes(rec);
      w.Bytes(rec, sizeof rec);
    }
    w.U8(r.TextEditOption);
    w.U8(r.TextAutoSize);
    w.I32(r.LineSpacing);
    w.I32(r.BorderColor);
    w.U8(r.BorderStyle);
    w.U8(r.TextAlign);
    w.I32(r.FixedHeight);
    w.U8(r.BkBitmap);
    if (r.BkBitmap) {
      w.I32(r.BitmapIdx);
      w.U8(r.BitmapBorder);
    }
    for (double m : r.Margins) w.F64(m);
    w.U8(r.FillStyle);
  }
  w.U8(r.TextEditable);
  if (r.Kind == ievkRULER) {
    w.U8(r.RulerUnit), w.U8(r.RulerType);
    w.Font(r.Font);
  }
  if (r.Kind == ievkPOLYLINE) {
    w.I32(static_cast<std::int32_t>(r.Points.size()));
    for (const TPoint& p : r.Points) w.I32(p.X), w.I32(p.Y);
    for (std::int32_t v : r.PointsBox) w.I32(v);
    w.U8(r.Closed);
  }
  if (r.Kind == ievkANGLE) {
    for (const TPoint& p : r.AnglePoints) w.I32(p.X), w.I32(p.Y);
    w.Font(r.Font);
  }
  if (r.Kind == ievkEXTENDED) {
    const std::string name = r.Extended.p ? IEExtendedObjectName(*r.Extended.p) : std::string();
    w.U8(name.empty() ? 0 : 1);
    if (!name.empty()) {
      w.Str(name);
      r.Extended.p->SaveToStream(body);
    }
  }
}

// ---- reading

// The byte length of the complete PNG file at the reader's position: the
// signature and every chunk up to IEND, each bounded by the bytes left.
std::int64_t PngLength(TStream& s, std::int64_t left) {
  const std::int64_t start = s.Position();
  TByteReader r(s, left, "IEV shared bitmap");
  std::uint8_t sig[8];
  r.Bytes(sig, 8);
  if (std::memcmp(sig, kPngSignature, 8) != 0) r.Fail("not a PNG file");
  for (;;) {
    std::uint8_t head[8];
    r.Bytes(head, 8);
    const std::uint32_t len = (std::uint32_t(head[0]) << 24) | (head[1] << 16) | (head[2] << 8) | head[3];
    if (len > 0x7FFFFFFFu) r.Fail("bad PNG chunk length");
    r.Skip(std::int64_t(len) + 4);
    if (std::memcmp(head + 4, "IEND", 4) == 0) break;
  }
  const std::int64_t n = s.Position() - start;
  s.SetPosition(start);
  return n;
}

std::int64_t BmpLength(TStream& s, std::int64_t left) {
  const std::int64_t start = s.Position();
  TByteReader r(s, left, "IEV shared bitmap");
  if (r.U8() != 'B' || r.U8() != 'M') r.Fail("not a BMP file");
  const std::int64_t n = r.U32();
  if (n < 54 || n > left) r.Fail("bad BMP file size");
  s.SetPosition(start);
  return n;
}

class TIEVParser {
 public:
  // At most MaxRecords records (nested ones included) are read.
  TIEVParser(TStream& body, char version, std::int64_t MaxRecords)
      : body_(body),
        v_(version),
        max_(std::min(MaxRecords, kIEVMaxObjects)),
        r_(std::in_place, body, -1, "IEV objects") {}

  void Objects(std::deque<TIEVObjectRecord>& out) {
    const std::int64_t m = r().Count(r().I32(), kIEVMaxObjects, 1, "object count");
    if (m > max_) TooMany();
    for (std::int64_t i = 0; i < m; ++i) Record(out, 0);
    if (r().Left() != 0) r().Fail("bytes after the last object");
  }

 private:
  TByteReader& r() { return *r_; }
  std::uint8_t Enum(std::uint8_t max, const char* what) {
    const std::uint8_t b = r().U8();
    if (b > max) r().Fail(std::string("bad ") + what + " (" + std::to_string(b) + ")");
    return b;
  }
  double Finite(const char* what) {
    const double d = r().F64();
    if (!std::isfinite(d)) r().Fail(std::string("bad ") + what);
    return d;
  }
  std::string Str(const char* what) { return r().Str(r().Count(r().I32(), kIEMaxStreamString, 1, what)); }
  std::optional<TIELogFont> Font() {
    if (Enum(1, "font flag") == 0) return std::nullopt;
    TIELogFont f;
    r().Bytes(&f, kIELogFontSize);
    f.lfFaceName[31] = 0;
    f.lfHeight = std::clamp(f.lfHeight, -kIEMaxTextFontHeight, kIEMaxTextFontHeight);
    return f;
  }
  TIELogFont DefaultFont(int height) {
    TIELogFont f = fTemplateFont;
    f.lfHeight = height;
    f.SetFaceName("Arial");
    return f;
  }

  [[noreturn]] void TooMany() {
    if (max_ >= kIEVMaxObjects) r().Fail("too many objects");
    throw EFormatError("IEV objects: more than " + std::to_string(max_) +
                       " objects do not fit in the load memory budget");
  }

  void Record(std::deque<TIEVObjectRecord>& out, int depth) {
    if (++total_ > max_) TooMany();
    TIEVObjectRecord o;
    o.Style = 15;
    o.Shadow.OffsetX = o.Shadow.OffsetY = 2;
    if (v_ >= '<') r().I32();
    o.x1 = r().I32(), o.y1 = r().I32(), o.x2 = r().I32(), o.y2 = r().I32();
    o.Kind = Enum(ievkEXTENDED, "object kind");
    if (v_ >= 'M') o.KeepAspect = r().U8();
    if (v_ >= '=') {
      o.Shadow.Enabled = r().U8();
      o.Shadow.Radius = Finite("shadow radius");
      if (o.Shadow.Radius < 0 || o.Shadow.Radius > 1000) r().Fail("bad shadow radius");
      o.Shadow.OffsetX = r().I32(), o.Shadow.OffsetY = r().I32();
    }
    if (v_ >= 'O') {
      o.Shadow.Intensity = r().I32();
      o.Shadow.ShadowColor.b = r().U8(), o.Shadow.ShadowColor.g = r().U8(), o.Shadow.ShadowColor.r = r().U8();
    }
    o.Name = Str("name length");
    o.UserInt = r().I32();
    o.PenColor = r().I32();
    o.PenStyle = Enum(psAlternate, "pen style");
    o.PenWidth = r().I32();
    o.BrushColor = r().I32();
    o.BrushStyle = Enum(bsDiagCross, "brush style");
    o.Style = r().U8();
    if (v_ >= '=') o.Transparency = std::clamp(r().I32(), 0, 255);
    if (v_ >= '@') o.SolidFill = r().U8();
    if (v_ >= 'Q') o.FontQuality = Enum(6, "font quality");
    if (v_ >= 'I') o.UserData = r().Vec(r().Count(r().I32(), kIEVMaxBody, 1, "user data length"));
    std::int64_t contents = 0;
    if (o.Kind == ievkNONE) contents = r().Count(r().I32(), kIEVMaxObjects, 1, "container count");
    if (o.Kind == ievkLINELABEL) {
      o.LabelBrushColor = r().I32();
      o.LabelBrushStyle = Enum(bsDiagCross, "label brush style");
      o.LabelPosition = r().U8();
      if (v_ >= 'P') o.LabelShape = Enum(3, "label shape");
    }
    if (o.Kind == ievkLINE || o.Kind == ievkLINELABEL) {
      o.BeginShape = Enum(2, "line-end shape"), o.EndShape = Enum(2, "line-end shape");
      o.ShapeWidth = r().I32(), o.ShapeHeight = r().I32();
    }
    if (o.Kind == ievkARC) o.ArcStart = Finite("arc angle"), o.ArcEnd = Finite("arc angle");
    if (o.Kind == ievkBITMAP) {
      o.BitmapIdx = r().I32();
      if (v_ >= 'B') o.BitmapBorder = r().U8();
      if (v_ >= 'F') o.Text = Str("file name length");
    }
    if (HasText(o.Kind)) {
      if (v_ >= '4') o.TextAlign = Enum(ieTextAlignJustify, "text alignment");
      if (v_ >= '9') o.TextAutoSize = r().U8();
      o.Text = Str("text length");
      o.Font = Font();
      if (v_ >= '?') {
        const std::int32_t p = r().I32();
        if (p > 0) {
          o.Path.resize(static_cast<std::size_t>(r().Count(p, kIEVMaxBody / 16, 16, "path points")));
          for (TIEVDPoint& q : o.Path) q.x = Finite("path point"), q.y = Finite("path point");
          o.PathOption = r().I32();
        }
      }
    }
    if (o.Kind == ievkMEMO) Memo(o);
    if (v_ >= 'J') o.TextEditable = r().U8();
    if (o.Kind == ievkRULER) {
      if (v_ >= '5') {
        o.RulerUnit = Enum(kIEUnitCount - 1, "ruler unit");
        o.RulerType = r().U8();
        if (v_ >= 'A') o.Font = Font();
        if (!o.Font) o.Font = DefaultFont(12);
      }
    }
    if (o.Kind == ievkPOLYLINE && v_ >= '8') {
      o.Points.resize(static_cast<std::size_t>(r().Count(r().I32(), kIEVMaxBody / 8, 8, "polyline points")));
      for (TPoint& p : o.Points) p.X = r().I32(), p.Y = r().I32();
      for (std::int32_t& b : o.PointsBox) b = r().I32();
      if (v_ >= ';') o.Closed = r().U8();
    }
    if (o.Kind == ievkANGLE) {
      if (v_ >= ':')
        for (TPoint& p : o.AnglePoints) p.X = r().I32(), p.Y = r().I32();
      if (v_ >= 'K') o.Font = Font();
      if (!o.Font) o.Font = DefaultFont(10);
    }
    if (o.Kind == ievkEXTENDED && v_ >= 'N' && r().U8() != 0) {
      const std::string name = Str("class name length");
      o.Extended.p = IECreateExtendedObject(name);
      if (!o.Extended.p) r().Fail("extended object of an unregistered class \"" + name + "\"");
      o.Extended.p->Init();
      o.Extended.p->LoadFromStream(body_);
      r_.emplace(body_, -1, "IEV objects");
    }
    if (o.Kind != ievkNONE) out.push_back(std::move(o));
    // A container's records follow it.
    if (contents > 0 && depth >= kIEVMaxNesting) r().Fail("containers nested too deep");
    for (std::int64_t i = 0; i < contents; ++i) Record(out, depth + 1);
  }

  void Memo(TIEVObjectRecord& o) {
    o.Text = Str("memo length");
    o.Font = Font();
    if (v_ < 'C' || Enum(1, "index flag")) {
      auto& idx = o.AttrIndices.emplace(o.Text.size());
      r().Count(static_cast<std::int64_t>(idx.size()), kIEMaxStreamString, 4, "attribute indices");
      for (std::int32_t& i : idx) i = r().I32();
    }
    o.CharInfo.resize(static_cast<std::size_t>(
        r().Count(r().I32(), kIEMaxStreamString, std::int64_t(kIECharInfoSize), "attribute count")));
    std::uint8_t rec[kIECharInfoSize];
    for (TIECharInfo& ci : o.CharInfo) {
      r().Bytes(rec, sizeof rec);
      ci = TIECharInfo::FromBytes(rec);
    }
    if (o.AttrIndices)
      for (std::int32_t i : *o.AttrIndices)
        if (i < 0 || i >= static_cast<std::int32_t>(o.CharInfo.size())) r().Fail("bad attribute index");
    o.TextEditOption = r().U8();
    o.TextAutoSize = r().U8();
    o.LineSpacing = std::clamp(r().I32(), -kIEMaxLineSpacing, kIEMaxLineSpacing);
    o.BorderColor = r().I32();
    o.BorderStyle = Enum(psAlternate, "border style");
    o.TextAlign = Enum(ieTextAlignJustify, "text alignment");
    o.FixedHeight = r().I32();
    if (v_ >= 'I') o.BkBitmap = r().U8();
    if (o.BkBitmap) {
      o.BitmapIdx = r().I32();
      if (v_ >= 'B') o.BitmapBorder = r().U8();
    }
    if (v_ >= 'H')
      for (double& m : o.Margins) m = Finite("margin");
    if (v_ >= 'L') o.FillStyle = Enum(bsDiagCross, "fill style");
  }

 public:
  TIELogFont fTemplateFont;

 private:
  TStream& body_;
  char v_;
  std::int64_t max_;
  std::optional<TByteReader> r_;
  std::int64_t total_ = 0;
};

// What a parsed record takes besides the body's bytes in its strings and arrays.
constexpr std::int64_t kIEVRecordCost = static_cast<std::int64_t>(sizeof(TIEVObjectRecord)) + 64;

// Inflates the zlib body at the stream's position, a chunk at a time, with a
// cap on its size and on the memory it may take (Budget); the stream is
// left right after it.
std::vector<std::uint8_t> InflateBody(TStream& s, std::int64_t Budget) {
  TZDecompressionStream z(s, kIEVMaxBody);
  std::vector<std::uint8_t> out;
  std::uint8_t buf[65536];
  for (;;) {
    const std::int64_t n = z.Read(buf, sizeof buf);
    if (n <= 0) break;
    // The vector may hold twice its bytes while it grows.
    if (2 * static_cast<std::int64_t>(out.size() + n) > Budget)
      throw EFormatError("IEV objects: a body of more than " + std::to_string(out.size() + n) +
                         " bytes does not fit in the load memory budget");
    out.insert(out.end(), buf, buf + n);
    // The object count comes first: objects that cannot fit are refused
    // before the rest is inflated.
    if (out.size() >= 4 && static_cast<std::int64_t>(out.size()) == n) {
      const auto count = static_cast<std::int32_t>(out[0] | (out[1] << 8) | (out[2] << 16) |
                                                   (static_cast<std::uint32_t>(out[3]) << 24));
      if (count > 0 && count * kIEVRecordCost > Budget)
        throw EFormatError("IEV objects: " + std::to_string(count) +
                           " objects do not fit in the load memory budget");
    }
  }
  if (!z.AtEnd()) throw EFormatError("IEV objects: truncated compressed body");
  return out;
}

// A shared picture, read within what is left of the load's budget (Left).
std::unique_ptr<TIEBitmap> ReadBitmap(TStream& s, std::int64_t left, bool bmp, std::int64_t Left) {
  const std::int64_t n = bmp ? BmpLength(s, left) : PngLength(s, left);
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(n));
  s.ReadBuffer(bytes.data(), n);
  TMemoryStream ms(std::move(bytes));
  auto bitmap = std::make_unique<TIEBitmap>();
  TRedozIrIO io;
  // 0 would be the default budget, not none left.
  io.SetLoadMemoryBudget(std::max<std::int64_t>(Left - n, 1));
  io.SetAttachedIEBitmap(bitmap.get());
  if (bmp)
    io.LoadFromStreamBMP(ms);
  else
    io.LoadFromStreamPNG(ms);
  io.SetAttachedIEBitmap(nullptr);
  if (bitmap->GetWidth() < 1 || bitmap->GetHeight() < 1)
    throw EFormatError("IEV shared bitmap: empty picture");
  return bitmap;
}

// The alpha block of versions '7' to '<': the plane's rows, last row first;
// the plane is made within what is left of the load's budget (Left).
void ReadAlphaBlock(TByteReader& r, TIEBitmap& bitmap, std::int64_t Left) {
  const std::int64_t len = r.Count(r.I32(), kIEVMaxBody, 1, "alpha block length");
  IECheckLoadMemory("IEV alpha block", bitmap.GetWidth(), bitmap.GetHeight(),
                    len + IEBitmapBytes(bitmap.GetWidth(), bitmap.GetHeight(), ie8g, false), Left);
  TMemoryStream block(r.Vec(len));
  TIEBitmap* alpha = bitmap.GetAlphaChannel();
  const std::int64_t row = alpha->GetRowLen();
  TZDecompressionStream z(block, row * alpha->GetHeight());
  for (int y = alpha->GetHeight() - 1; y >= 0; --y)
    if (z.Read(alpha->GetScanline(y), row) != row) r.Fail("alpha block shorter than the picture");
  alpha->SyncFull();
}

// Budget: the most memory the parsed records and pictures may take.
TIEVStaged ParseIEV(TStream& s, const TIELogFont& templateFont, std::int64_t Budget) {
  const std::int64_t start = s.Position();
  TByteReader r(s, -1, "IEV stream");
  char head[4];
  r.Bytes(head, 4);
  const char v = head[3];
  if (std::memcmp(head, "IEV", 3) != 0 || v < '1' || v > kIEVVersion)
    r.Fail("not an IEV stream of version 1 to Q");
  TIEVStaged st;
  const std::int64_t total = r.I32();
  if (total < 8 || total > r.Left() + 8) r.Fail("bad total length (" + std::to_string(total) + ")");
  st.Scale = v == '1' ? double(r.I32()) : r.F64();
  if (!std::isfinite(st.Scale) || st.Scale <= 0) r.Fail("bad scale factor");
  const std::int64_t n = r.Count(r.I32(), kIEVMaxBitmaps, 4, "shared-bitmap count");
  // The entries are only measured here: a picture is decoded once an
  // object is known to name it (a table may hold pictures nothing uses).
  const bool bmp = v <= '2', alphaBlocks = v >= '7' && v <= '<';
  std::vector<std::int64_t> at(static_cast<std::size_t>(n), -1);
  for (std::int64_t& e : at) {
    if (TByteReader(s, -1, "IEV stream").I32() <= 0) continue;
    e = s.Position();
    const std::int64_t left = s.Size() - s.Position();
    s.Seek(bmp ? BmpLength(s, left) : PngLength(s, left), soCurrent);
    if (alphaBlocks) {
      TByteReader ra(s, -1, "IEV stream");
      ra.Skip(ra.Count(ra.I32(), kIEVMaxBody, 1, "alpha block length"));
    }
  }
  std::vector<std::uint8_t> body = InflateBody(s, Budget);
  const std::int64_t end = start + total;
  if (end < s.Position() || end > s.Size()) throw EFormatError("IEV stream: total length does not match");
  st.End = end;
  // Each record takes its own size and a share of the body's bytes in its
  // strings and arrays; the body goes once the records are read.
  const auto bodyBytes = static_cast<std::int64_t>(body.size());
  TMemoryStream bs(std::move(body));
  TIEVParser p(bs, v, std::max<std::int64_t>(Budget - 3 * bodyBytes, 0) / kIEVRecordCost);
  p.fTemplateFont = templateFont;
  p.Objects(st.Records);
  std::vector<bool> used(static_cast<std::size_t>(n), false);
  for (const TIEVObjectRecord& o : st.Records) {
    if (o.BitmapIdx < 0 || !(o.Kind == ievkBITMAP || (o.Kind == ievkMEMO && o.BkBitmap))) continue;
    if (o.BitmapIdx >= n || at[static_cast<std::size_t>(o.BitmapIdx)] < 0)
      throw EFormatError("IEV objects: bitmap index " + std::to_string(o.BitmapIdx) + " names no bitmap");
    used[static_cast<std::size_t>(o.BitmapIdx)] = true;
  }
  st.Bitmaps.resize(static_cast<std::size_t>(n));
  // The pictures share the budget with the records and the body they came
  // from, and with each other.
  std::int64_t held = bodyBytes + static_cast<std::int64_t>(st.Records.size()) * kIEVRecordCost;
  for (std::size_t i = 0; i < at.size(); ++i) {
    if (!used[i]) continue;
    s.SetPosition(at[i]);
    TIEVSharedBitmap& e = st.Bitmaps[i];
    e.Bitmap = ReadBitmap(s, s.Size() - s.Position(), bmp, Budget - held);
    TIEBitmap& b = *e.Bitmap;
    held += IEBitmapBytes(b.GetWidth(), b.GetHeight(), b.GetPixelFormat(), b.HasAlphaChannel());
    if (alphaBlocks) {
      TByteReader ra(s, -1, "IEV stream");
      ReadAlphaBlock(ra, b, std::max<std::int64_t>(Budget - held, 0));
      held += IEBitmapBytes(b.GetWidth(), b.GetHeight(), ie8g, false);
    }
  }
  st.Held = held;
  s.SetPosition(end);
  return st;
}

}  // namespace

// ---- the control's side

namespace {
// A save's own allocations (the compacted table, the stream it writes) fail
// with the library's error, as the pictures' encoders do.
template <typename F>
void GuardSave(const char* What, F&& Work) {
  try {
    Work();
  } catch (const std::bad_alloc&) {
    throw EOutOfMemory(std::string("Not enough memory to save ") + What);
  }
}
}  // namespace

void TRedozIrVect::CompactBitmaps() {
  // The one allocation comes first; the pictures then move down in place,
  // which cannot fail halfway and leave an object without its picture.
  std::vector<int> map(fBitmaps.size(), -1);
  std::size_t kept = 0;
  for (std::size_t i = 0; i < fBitmaps.size(); ++i)
    if (fBitmaps[i].Bitmap && fBitmaps[i].RefCount > 0) {
      map[i] = static_cast<int>(kept);
      if (kept != i) fBitmaps[kept] = std::move(fBitmaps[i]);
      ++kept;
    }
  auto renumber = [&](TIEVObjectRecord& r) {
    if (r.BitmapIdx >= 0 && r.BitmapIdx < static_cast<int>(map.size()))
      r.BitmapIdx = map[static_cast<std::size_t>(r.BitmapIdx)];
  };
  for (TIEVObjectRecord& r : fRecords) renumber(r);
  renumber(fTemplate);
  fBitmaps.erase(fBitmaps.begin() + static_cast<std::ptrdiff_t>(kept), fBitmaps.end());
}

void TRedozIrVect::SaveToStreamIEV(TStream& Stream) {
  GuardSave("the objects", [&] { WriteIEV(Stream); });
}

void TRedozIrVect::WriteIEV(TStream& Stream) {
  CompactBitmaps();
  const std::int64_t start = Stream.Position();
  TLeWriter w(Stream);
  w.Bytes("IEV", 3);
  w.U8(static_cast<std::uint8_t>(kIEVVersion));
  w.I32(0);
  w.F64(fScaleFactor);
  w.I32(static_cast<std::int32_t>(fBitmaps.size()));
  for (std::size_t i = 0; i < fBitmaps.size(); ++i) {
    const std::int32_t count = fBitmaps[i].RefCount - (fTemplate.BitmapIdx == static_cast<int>(i) ? 1 : 0);
    w.I32(count);
    if (count <= 0) continue;
    TMemoryStream png;
    TRedozIrIO io;
    io.SetAttachedIEBitmap(fBitmaps[i].Bitmap.get());
    io.SaveToStreamPNG(png);
    io.SetAttachedIEBitmap(nullptr);
    w.Bytes(png.Memory(), static_cast<std::size_t>(png.Size()));
  }
  TMemoryStream body;
  TLeWriter bw(body);
  bw.I32(ObjectsCount());
  for (int h : fDrawOrder) WriteRecord(bw, body, fRecords[static_cast<std::size_t>(h)], h);
  {
    TZCompressionStream z(Stream, 2);
    z.WriteBuffer(body.Memory(), body.Size());
    z.Finish();
  }
  w.PatchLength(start + 4, Stream.Position() - start, "IEV stream longer than 2 GB");
}

namespace {

// Runs Load (parse, then commit) for a load routine: True with Error cleared,
// or False with the reason in Error (Subject names what ran out of memory).
template <typename TLoad>
bool Loading(std::string& Error, const char* Subject, TLoad&& Load) {
  try {
    Load();
    Error.clear();
    return true;
  } catch (const std::bad_alloc&) {
    Error = std::string("not enough memory to read ") + Subject;
  } catch (const std::exception& e) {
    Error = e.what();
  }
  return false;
}

// Puts a parsed stream into the control's containers, all or nothing: every
// allocation happens before the first member changes.
struct TCommit {
  std::vector<int> Order;
  std::vector<TIEVSharedBitmap> Bitmaps;
  int TemplateIdx = -1;
};

}  // namespace

bool TRedozIrVect::LoadFromStreamIEV(TStream& Stream) {
  return Loading(fLastLoadError, "the objects", [&] {
    TIEVStaged st = ParseIEV(Stream, fTemplate.Font.value_or(TIELogFont()), LoadBudget());
    const std::int64_t end = st.End;
    CommitStaged(std::move(st));
    Stream.SetPosition(end);
  });
}

void TRedozIrVect::CommitStaged(TIEVStaged&& Staged, const std::function<void()>& BeforeChange) {
  TIEVStaged& st = Staged;
  TCommit c;
  c.Bitmaps = std::move(st.Bitmaps);
  for (TIEVSharedBitmap& e : c.Bitmaps) e.RefCount = 0;
  // The records stay where the parser put them: a second copy of a large
  // stream's records would double what the load holds.
  c.Order.reserve(st.Records.size());
  for (TIEVObjectRecord& o : st.Records) {
    const int h = static_cast<int>(c.Order.size());
    if (IEVUsesBitmap(o) && o.BitmapIdx >= 0)
      ++c.Bitmaps[static_cast<std::size_t>(o.BitmapIdx)].RefCount;
    else if (o.Kind == ievkBITMAP || o.Kind == ievkMEMO)
      o.BitmapIdx = -1;
    if (o.Kind != ievkLINE && o.Kind != ievkRULER && o.Kind != ievkPOLYLINE && o.Kind != ievkLINELABEL) {
      if (o.x1 > o.x2) std::swap(o.x1, o.x2);
      if (o.y1 > o.y2) std::swap(o.y1, o.y2);
    }
    c.Order.push_back(h);
  }
  // A stored picture no object names is not kept.
  for (TIEVSharedBitmap& e : c.Bitmaps)
    if (e.RefCount == 0) e.Bitmap.reset();
  // The template's bitmap goes back into the new table, sharing an equal one.
  if (TIEBitmap* tb = GetObjectBitmap(IEV_TEMPLATE)) {
    for (int i = static_cast<int>(c.Bitmaps.size()) - 1; i >= 0 && c.TemplateIdx < 0; --i)
      if (c.Bitmaps[static_cast<std::size_t>(i)].Bitmap &&
          IEBitmapsEqual(c.Bitmaps[static_cast<std::size_t>(i)].Bitmap.get(), tb))
        c.TemplateIdx = i;
    if (c.TemplateIdx >= 0) {
      ++c.Bitmaps[static_cast<std::size_t>(c.TemplateIdx)].RefCount;
    } else {
      auto copy = std::make_unique<TIEBitmap>();
      copy->Assign(tb);
      auto free = std::find_if(c.Bitmaps.begin(), c.Bitmaps.end(), [](auto& e) { return !e.Bitmap; });
      if (free == c.Bitmaps.end()) free = c.Bitmaps.insert(c.Bitmaps.end(), TIEVSharedBitmap{});
      *free = {std::move(copy), 1};
      c.TemplateIdx = static_cast<int>(free - c.Bitmaps.begin());
    }
  }
  if (BeforeChange) BeforeChange();
  // From here nothing allocates.
  EndTextEdit();
  fSelection.clear();
  fRecords.swap(st.Records);
  fDrawOrder.swap(c.Order);
  fBitmaps.swap(c.Bitmaps);
  fTemplate.BitmapIdx = c.TemplateIdx;
  for (std::size_t h = 0; h < fRecords.size(); ++h)
    if (TIEVExtendedObject* x = fRecords[h].Extended.p.get()) {
      x->Owner = this;
      x->Record = &fRecords[h];
      x->TakeHandle(static_cast<int>(h));
    }
  fScaleFactor = st.Scale;
  RecomputeUnitLengths();
  DoVectorialChanged();
  UpdateAfterChange();
}

bool TRedozIrVect::LoadFromFileIEV(const std::string& FileName) {
  if (FileName.empty()) return false;
  TFileStream fs(FileName, fmOpenRead | fmShareDenyWrite);
  return LoadFromStreamIEV(fs);
}

void TRedozIrVect::SaveToFileIEV(const std::string& FileName) {
  IESaveFileSafely(FileName, [&](TStream& s) { SaveToStreamIEV(s); });
}

void TRedozIrVect::SaveToStreamAll(TStream& Stream, int Coding) {
  GuardSave("the layers and objects", [&] {
    const std::int64_t start = Stream.Position();
    TLeWriter w(Stream);
    w.I32(0);
    LayersSaveToStream(Stream, Coding);
    w.PatchLength(start, Stream.Position() - start, "layers stream longer than 2 GB");
    WriteIEV(Stream);
  });
}

bool TRedozIrVect::LoadFromStreamAll(TStream& Stream) {
  const std::int64_t start = Stream.Position();
  return Loading(fLastLoadError, "the layers and objects", [&] {
    TByteReader r(Stream, -1, "ALL stream");
    const std::int64_t p = r.I32();
    if (p < 4 || p > r.Left() + 4) r.Fail("bad offset of the objects (" + std::to_string(p) + ")");
    // Both parts are read aside, then committed together: a damaged or
    // failing part leaves the other alone too.
    Stream.SetPosition(start + p);
    TIEVStaged st = ParseIEV(Stream, fTemplate.Font.value_or(TIELogFont()), LoadBudget());
    Stream.SetPosition(start + 4);
    auto layers = StageLayers(Stream, st.Held);
    if (!layers) throw EFormatError("ALL stream: the layers part is not a layers stream");
    const std::int64_t end = st.End;
    CommitStaged(std::move(st), [&] { CommitLayers(*layers); });
    Stream.SetPosition(end);
  });
}

bool TRedozIrVect::LoadFromFileAll(const std::string& FileName) {
  if (FileName.empty()) return false;
  TFileStream fs(FileName, fmOpenRead | fmShareDenyWrite);
  return LoadFromStreamAll(fs);
}

void TRedozIrVect::SaveToFileAll(const std::string& FileName, int Coding) {
  IESaveFileSafely(FileName, [&](TStream& s) { SaveToStreamAll(s, Coding); });
}

// ---- content tests

namespace {
// Test(start) on the stream, which then goes back to start; False where the
// test or the stream raises.
template <typename TTest>
bool DetectAndRewind(TStream& Stream, TTest&& Test) {
  bool ok = false;
  std::int64_t pos = 0;
  try {
    pos = Stream.Position();
    ok = Test(pos);
  } catch (...) {
    ok = false;
  }
  try {
    Stream.SetPosition(pos);
  } catch (...) {
  }
  return ok;
}
}  // namespace

bool IEIevDetectStream(TStream& Stream) {
  return DetectAndRewind(Stream, [&](std::int64_t pos) {
    char head[4];
    return Stream.Size() - pos >= 4 && Stream.Read(head, 4) == 4 && std::memcmp(head, "IEV", 3) == 0 &&
           head[3] >= '1' && head[3] <= kIEVVersion;
  });
}

bool IEAllDetectStream(TStream& Stream) {
  return DetectAndRewind(Stream, [&](std::int64_t pos) {
    TByteReader r(Stream, -1, "ALL stream");
    const std::int64_t p = r.I32();
    if (p < 4 || p > r.Left() + 4 || !IELyrDetectStream(Stream)) return false;
    Stream.SetPosition(pos + p);
    return IEIevDetectStream(Stream);
  });
}

// ---- the I/O component's loaders

namespace {

void WhiteImageOfExtent(TRedozIrVect& v) {
  const TRect ext = v.GetObjectsExtent();
  const std::int64_t w = std::max(ext.Right, 1), h = std::max(ext.Bottom, 1);
  if (w * h > kIEVMaxExtentPixels)
    throw EIEImageError("The objects' extent (" + std::to_string(w) + " x " + std::to_string(h) +
                        ") is too large for an image");
  TIEBitmap* b = v.GetIEBitmap();
  if (!b->Allocate(static_cast<int>(w), static_cast<int>(h), ie24RGB))
    throw EOutOfMemory("Not enough memory for the objects' image");
  b->RemoveAlphaChannel();
  b->Fill(0xFFFFFF);
  v.Update();
}

[[noreturn]] void LoadFailed(const char* format, const std::string& why) {
  throw EIEImageError(std::string("Cannot read ") + format + ": " + why);
}

bool LoadVectFormat(TRedozIrIO& IO, TStream* Stream, const std::string& FileName, bool all) {
  const char* format = all ? "Layers and objects" : "Vectorial objects";
  auto load = [&](TRedozIrVect& v) {
    const bool ok = Stream ? (all ? v.LoadFromStreamAll(*Stream) : v.LoadFromStreamIEV(*Stream))
                           : (all ? v.LoadFromFileAll(FileName) : v.LoadFromFileIEV(FileName));
    if (!ok) LoadFailed(format, v.LastLoadError());
  };
  if (auto* v = dynamic_cast<TRedozIrVect*>(IO.AttachedRedozIr())) {
    load(*v);
    if (!all && !Stream) WhiteImageOfExtent(*v);
    return true;
  }
  if (Stream) return false;
  TRedozIrVect tmp(nullptr);
  tmp.GetIO()->SetLoadMemoryBudget(IO.LoadMemoryBudget());
  load(tmp);
  if (all)
    tmp.LayersMergeAll();
  else
    WhiteImageOfExtent(tmp);
  tmp.CopyObjectsToBack(tmp.GetIEBitmap());
  IO.GetIEBitmap()->Assign(tmp.GetIEBitmap());
  return true;
}

}  // namespace

void IEInitVectStreams() {
  if (!IEIevDetect) IEIevDetect = IEIevDetectStream;
  if (!IEAllDetect) IEAllDetect = IEAllDetectStream;
  IERegisterDefaultSpecialLoader(ioIEV, [](TRedozIrIO& IO, TStream* Stream, const std::string& FileName) {
    return LoadVectFormat(IO, Stream, FileName, false);
  });
  IERegisterDefaultSpecialLoader(ioALL, [](TRedozIrIO& IO, TStream* Stream, const std::string& FileName) {
    return LoadVectFormat(IO, Stream, FileName, true);
  });
}

}  // namespace redozir
