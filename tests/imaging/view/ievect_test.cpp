#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <vector>

#include "imaging/core/iebitmap.h"
#include "imaging/file_size_limit.h"
#include "imaging/formats/zstreams.h"
#include "imaging/io/ie_fileformats.h"
#include "imaging/io/redozir_io.h"
#include "imaging/view/iepresetim.h"
#include "imaging/view/ievect.h"

#include "platform/icons.h"

using namespace redozir;

namespace {

using Bytes = std::vector<std::uint8_t>;

// Little-endian bytes built by hand.
struct B {
  Bytes b;
  B& u8(int v) { return b.push_back(static_cast<std::uint8_t>(v)), *this; }
  B& i32(std::int32_t v) {
    for (int i = 0; i < 4; ++i) u8(static_cast<std::uint8_t>(static_cast<std::uint32_t>(v) >> (8 * i)));
    return *this;
  }
  B& f64(double d) {
    std::uint64_t u;
    std::memcpy(&u, &d, 8);
    for (int i = 0; i < 8; ++i) u8(static_cast<std::uint8_t>(u >> (8 * i)));
    return *this;
  }
  B& raw(const Bytes& o) { return b.insert(b.end(), o.begin(), o.end()), *this; }
  B& str(const std::string& s) { return i32(static_cast<int>(s.size())), raw(Bytes(s.begin(), s.end())); }
};

Bytes Deflate(const Bytes& in) {
  TMemoryStream out;
  {
    TZCompressionStream z(out, 2);
    z.WriteBuffer(in.data(), static_cast<std::int64_t>(in.size()));
    z.Finish();
  }
  return out.Bytes();
}

Bytes Inflate(const Bytes& in) {
  TMemoryStream src(in);
  TZDecompressionStream z(src);
  Bytes out(1 << 16);
  out.resize(static_cast<std::size_t>(z.Read(out.data(), static_cast<std::int64_t>(out.size()))));
  return out;
}

Bytes SaveIEV(TRedozIrVect& v, int offset = 0) {
  TMemoryStream m;
  for (int i = 0; i < offset; ++i) m.WriteValue<std::uint8_t>(0xEE);
  v.SaveToStreamIEV(m);
  return m.Bytes();
}

bool LoadIEV(TRedozIrVect& v, const Bytes& bytes) {
  TMemoryStream m(bytes);
  return v.LoadFromStreamIEV(m);
}

// A hand-built IEV stream of a version: no shared bitmaps unless given,
// scale 2 (an int32 for '1'), the records deflated.
Bytes Stream(char v, int count, const Bytes& records, const Bytes& entries = B().i32(0).b, double scale = 2) {
  B h;
  h.u8('I').u8('E').u8('V').u8(v).i32(0);
  if (v == '1')
    h.i32(static_cast<int>(scale));
  else
    h.f64(scale);
  h.raw(entries).raw(Deflate(B().i32(count).raw(records).b));
  std::int32_t total = static_cast<std::int32_t>(h.b.size());
  std::memcpy(&h.b[4], &total, 4);
  return h.b;
}

// The fields every record of version v has, in their order, for an object
// of that kind at (1, 2, 30, 40) named "n".
B Head(char v, int kind, std::uint8_t keepAspect = 0) {
  B r;
  if (v >= '<') r.i32(77);
  r.i32(1).i32(2).i32(30).i32(40).u8(kind);
  if (v >= 'M') r.u8(keepAspect);
  if (v >= '=') r.u8(1).f64(4.5).i32(3).i32(-3);
  if (v >= 'O') r.i32(60).u8(1).u8(2).u8(3);
  r.str("n").i32(9).i32(0x0000FF).u8(psDash).i32(2).i32(0x00FF00).u8(bsSolid).u8(15);
  if (v >= '=') r.i32(128);
  if (v >= '@') r.u8(1);
  if (v >= 'Q') r.u8(0);
  if (v >= 'I') r.i32(0);
  return r;
}

Bytes Png(int w, int h, bool alpha) {
  TIEBitmap b(w, h, ie24RGB);
  b.Fill(0x336699);
  if (alpha) b.GetAlphaChannel()->Fill(200);
  TMemoryStream m;
  TRedozIrIO io;
  io.SetAttachedIEBitmap(&b);
  io.SaveToStreamPNG(m);
  io.SetAttachedIEBitmap(nullptr);
  return m.Bytes();
}

// An extended object of the tests: one int32 of its own.
struct TTestExt : TIEVExtendedObject {
  std::int32_t Value = 0;
  void SaveToStream(TStream& s) override { s.WriteValue(Value); }
  void LoadFromStream(TStream& s) override { s.ReadBuffer(&Value, 4); }
  std::unique_ptr<TIEVExtendedObject> Copy() const override { return std::make_unique<TTestExt>(*this); }
};

// One object of every kind, with the owned data each can carry.
void AddEveryKind(TRedozIrVect& v, TIEBitmap& shared) {
  static bool registered = false;
  if (!registered) IERegisterExtendedObject<TTestExt>("TTestExt"), registered = true;
  for (int k = ievkLINE; k <= ievkEXTENDED; ++k) {
    TIEVObjectRecord r = *v.GetObjectRecord(IEV_TEMPLATE);
    r.BitmapIdx = -1;
    r.Kind = static_cast<std::uint8_t>(k);
    r.x1 = 10 * k, r.y1 = 5, r.x2 = 10 * k + 7, r.y2 = 50 + k;
    r.Name = "obj" + std::to_string(k);
    r.UserData = {1, 2, std::uint8_t(k)};
    r.Shadow = {1, 2.5, 4, -4, 70, TRGB{1, 2, 3}};
    r.Text = "text " + std::to_string(k);
    r.Path = {{0, 0.5}, {1, 0.25}};
    r.PathOption = 3;
    if (k == ievkMEMO) {
      r.Text = "ab\ncd";
      r.CharInfo.resize(2);
      r.CharInfo[0].SetFontName("Arial"), r.CharInfo[0].Height = -12, r.CharInfo[0].RefCount = 3;
      r.CharInfo[1].SetFontName("Courier"), r.CharInfo[1].Height = -20, r.CharInfo[1].RefCount = 2;
      r.AttrIndices = std::vector<std::int32_t>{0, 0, 1, 1, 0};
      r.BkBitmap = 1;
      r.Margins = {1, 2, 3, 4.5};
    }
    if (k == ievkPOLYLINE) r.Points = {{1, 1}, {40, 9}, {3, 70}}, r.Closed = 1, r.PointsBox = {1, 1, 40, 70};
    if (k == ievkANGLE) r.AnglePoints = {TPoint{3, 4}, TPoint{30, 4}, TPoint{30, 60}};
    if (k == ievkLINELABEL) r.LabelShape = 3, r.LabelPosition = 0;
    if (k == ievkARC) r.ArcStart = 0.5, r.ArcEnd = 2.5;
    if (k == ievkEXTENDED) {
      auto x = std::make_unique<TTestExt>();
      x->Value = 4242;
      r.Extended.p = std::move(x);
    }
    const int h = v.AddObject(r);
    if (IEVUsesBitmap(r)) v.SetObjectBitmap(h, &shared);
  }
}

void ExpectSameObjects(TRedozIrVect& a, TRedozIrVect& b) {
  ASSERT_EQ(a.ObjectsCount(), b.ObjectsCount());
  for (int i = 0; i < a.ObjectsCount(); ++i) {
    const TIEVObjectRecord& x = *a.GetObjectRecord(a.GetObjectAt(i));
    const TIEVObjectRecord& y = *b.GetObjectRecord(b.GetObjectAt(i));
    SCOPED_TRACE("object " + std::to_string(i) + " kind " + std::to_string(x.Kind));
    EXPECT_EQ(b.GetObjectAt(i), i);
    EXPECT_EQ(
        std::tie(x.x1, x.y1, x.x2, x.y2, x.Kind, x.Name, x.UserData, x.PenColor, x.PenStyle, x.Transparency),
        std::tie(y.x1, y.y1, y.x2, y.y2, y.Kind, y.Name, y.UserData, y.PenColor, y.PenStyle, y.Transparency));
    EXPECT_TRUE(x.Shadow == y.Shadow);
    EXPECT_EQ(x.Text, y.Text);
    EXPECT_EQ(x.Font, y.Font);
    EXPECT_EQ(x.Path, y.Path);
    EXPECT_EQ(x.Points, y.Points);
    EXPECT_EQ(x.AttrIndices, y.AttrIndices);
    ASSERT_EQ(x.CharInfo.size(), y.CharInfo.size());
    for (std::size_t c = 0; c < x.CharInfo.size(); ++c) EXPECT_TRUE(x.CharInfo[c].SameAs(y.CharInfo[c]));
    EXPECT_EQ(x.AnglePoints, y.AnglePoints);
    EXPECT_EQ(x.Margins, y.Margins);
    EXPECT_EQ(x.LabelShape, y.LabelShape);
    if (x.Kind == ievkEXTENDED) {
      EXPECT_EQ(static_cast<TTestExt&>(*y.Extended.p).Value, 4242);
    }
  }
}

}  // namespace

TEST(Vect, EmptyControlWritesTheExactStream) {
  TRedozIrVect v(nullptr);
  const Bytes s = SaveIEV(v);
  ASSERT_GT(s.size(), 24u);
  const Bytes head(s.begin(), s.begin() + 24);
  B want;
  want.u8('I').u8('E').u8('V').u8('Q').i32(static_cast<int>(s.size())).f64(1.0).i32(1).i32(0);
  EXPECT_EQ(head, want.b);  // the template's entry, count 0, no bitmap
  EXPECT_EQ(Inflate(Bytes(s.begin() + 24, s.end())), Bytes(4, 0));
  EXPECT_TRUE(IEIevDetectStream(*std::make_unique<TMemoryStream>(s)));
}

TEST(Vect, EveryKindRoundTripsAndTheSecondWriteIsIdentical) {
  TRedozIrVect a(nullptr);
  TIEBitmap shared(8, 6, ie24RGB);
  shared.Fill(0x102030);
  AddEveryKind(a, shared);
  // The bitmap object and the memo's background share one entry.
  const int idx = a.GetObjectRecord(ievkBITMAP - 1)->BitmapIdx;
  EXPECT_EQ(a.GetObjectRecord(ievkMEMO - 1)->BitmapIdx, idx);
  EXPECT_EQ(a.SharedBitmaps()[static_cast<std::size_t>(idx)].RefCount, 2);

  const Bytes first = SaveIEV(a);
  TRedozIrVect b(nullptr);
  b.AddNewObject();
  ASSERT_TRUE(LoadIEV(b, first)) << b.LastLoadError();
  ExpectSameObjects(a, b);
  const int bi = b.GetObjectRecord(ievkBITMAP - 1)->BitmapIdx;
  ASSERT_GE(bi, 0);
  EXPECT_EQ(b.SharedBitmaps()[static_cast<std::size_t>(bi)].RefCount, 2);
  EXPECT_TRUE(IEBitmapsEqual(b.GetObjectBitmap(ievkBITMAP - 1), &shared));
  EXPECT_EQ(SaveIEV(b), first);
}

TEST(Vect, HandBuiltStreamsAtTheVersionBoundaries) {
  const Bytes png = Png(4, 2, false);
  const Bytes alphaRows = Deflate(Bytes{10, 11, 12, 13, 20, 21, 22, 23});  // last row first
  struct Case {
    char v;
    int kind;
    Bytes before, after;  // kind fields before and after the text-editable byte
    std::function<void(TRedozIrVect&, const TIEVObjectRecord&)> check;
    Bytes entries = B().i32(0).b;
    std::uint8_t keepAspect = 0;
  };
  const Case cases[] = {
      {'1',
       ievkBOX,
       {},
       {},
       [](TRedozIrVect& v, const TIEVObjectRecord& r) {
         EXPECT_EQ(v.ScaleFactor(), 2.0);  // an int32 in version 1
         EXPECT_EQ(r.Shadow.OffsetX, 2);   // the older default
         EXPECT_EQ(r.Transparency, 255);
       }},
      {'7',
       ievkBITMAP,
       B().i32(0).b,
       {},
       [](TRedozIrVect& v, const TIEVObjectRecord& r) {
         TIEBitmap* b = v.GetObjectBitmap(0);
         ASSERT_NE(b, nullptr);
         ASSERT_TRUE(b->HasAlphaChannel());
         EXPECT_EQ(b->GetAlpha(0, 1), 10);
         EXPECT_EQ(b->GetAlpha(2, 0), 22);
         EXPECT_EQ(r.BitmapBorder, 0);
       },
       B().i32(1).i32(1).raw(png).i32(static_cast<int>(alphaRows.size())).raw(alphaRows).b},
      {'<',
       ievkBOX,
       {},
       {},
       [](TRedozIrVect& v, const TIEVObjectRecord& r) {
         EXPECT_EQ(v.GetObjectAt(0), 0);  // the stored handle 77 is not used
         EXPECT_EQ(r.x2, 30);
       }},
      {'=',
       ievkELLIPSE,
       {},
       {},
       [](TRedozIrVect&, const TIEVObjectRecord& r) {
         EXPECT_EQ(r.Shadow.Enabled, 1);
         EXPECT_EQ(r.Shadow.Radius, 4.5);
         EXPECT_EQ(r.Shadow.OffsetY, -3);
         EXPECT_EQ(r.Transparency, 128);
         EXPECT_EQ(r.SolidFill, 0);
       }},
      {'@', ievkBOX, {}, {}, [](TRedozIrVect&, const TIEVObjectRecord& r) { EXPECT_EQ(r.SolidFill, 1); }},
      {'A',
       ievkRULER,
       {},
       B().u8(ieuMILLIMETERS).u8(1).u8(0).b,
       [](TRedozIrVect&, const TIEVObjectRecord& r) {
         EXPECT_EQ(r.RulerUnit, ieuMILLIMETERS);
         ASSERT_TRUE(r.Font);
         EXPECT_EQ(r.Font->lfHeight, 12);
         EXPECT_EQ(r.Font->FaceName(), "Arial");
       }},
      {'K',
       ievkANGLE,
       {},
       B().i32(1).i32(2).i32(3).i32(4).i32(5).i32(6).u8(0).b,
       [](TRedozIrVect&, const TIEVObjectRecord& r) {
         EXPECT_EQ(r.AnglePoints[2], (TPoint{5, 6}));
         ASSERT_TRUE(r.Font);
         EXPECT_EQ(r.Font->lfHeight, 10);
       }},
      {'M',
       ievkBOX,
       {},
       {},
       [](TRedozIrVect&, const TIEVObjectRecord& r) {
         EXPECT_EQ(r.KeepAspect, 1);
         EXPECT_EQ(r.Shadow.Radius, 4.5);
       },
       B().i32(0).b,
       1},
      {'P',
       ievkLINELABEL,
       B().i32(0xFFFFFF)
           .u8(bsSolid)
           .u8(0)
           .u8(3)
           .u8(1)
           .u8(2)
           .i32(11)
           .i32(22)
           .u8(2)
           .u8(1)
           .str("lbl")
           .u8(0)
           .i32(0)
           .b,
       {},
       [](TRedozIrVect&, const TIEVObjectRecord& r) {
         EXPECT_EQ(r.LabelShape, 3);
         EXPECT_EQ(r.EndShape, 2);
         EXPECT_EQ(r.Text, "lbl");
         EXPECT_EQ(r.TextAlign, 2);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("version ") + c.v);
    B rec = Head(c.v, c.kind, c.keepAspect);
    rec.raw(c.before);
    if (c.v >= 'J') rec.u8(1);
    rec.raw(c.after);
    TRedozIrVect v(nullptr);
    ASSERT_TRUE(LoadIEV(v, Stream(c.v, 1, rec.b, c.entries))) << v.LastLoadError();
    ASSERT_EQ(v.ObjectsCount(), 1);
    const TIEVObjectRecord& r = *v.GetObjectRecord(0);
    EXPECT_EQ(r.Kind, c.kind);
    EXPECT_EQ(r.Name, "n");
    EXPECT_EQ(r.PenStyle, psDash);
    c.check(v, r);
  }
}

TEST(Vect, RefusedStreamsLeaveTheObjectsAlone) {
  const B box = Head('Q', ievkBOX).u8(1);
  Bytes deep;  // containers nested one deeper than allowed
  for (int i = 0; i <= kIEVMaxNesting; ++i) deep = B().raw(Head('Q', ievkNONE).b).i32(1).u8(1).raw(deep).b;
  const struct {
    const char* what;
    Bytes stream;
  } cases[] = {
      {"version 0",
       [] {
         Bytes s = Stream('Q', 0, {});
         s[3] = '0';
         return s;
       }()},
      {"version R",
       [] {
         Bytes s = Stream('Q', 0, {});
         s[3] = 'R';
         return s;
       }()},
      {"3 bytes", Bytes{'I', 'E', 'V'}},
      {"scale 0", Stream('Q', 1, box.b, B().i32(0).b, 0.0)},
      {"scale NaN", Stream('Q', 1, box.b, B().i32(0).b, std::nan(""))},
      {"kind 13", Stream('Q', 1, Head('Q', 13).u8(1).b)},
      {"object count beyond the body", Stream('Q', 2, box.b)},
      {"negative name length", Stream('Q', 1,
                                      B().i32(0)
                                          .i32(1)
                                          .i32(2)
                                          .i32(3)
                                          .i32(4)
                                          .u8(2)
                                          .u8(0)
                                          .u8(0)
                                          .f64(3)
                                          .i32(0)
                                          .i32(0)
                                          .i32(100)
                                          .u8(0)
                                          .u8(0)
                                          .u8(0)
                                          .i32(-1)
                                          .b)},
      {"bitmap index naming no bitmap", Stream('Q', 1, Head('Q', ievkBITMAP).i32(0).u8(0).i32(0).u8(1).b)},
      {"unregistered extended class",
       Stream('Q', 1, Head('Q', ievkEXTENDED).u8(0).u8(0).i32(0).u8(0).i32(0).u8(1).u8(1).str("Nobody").b)},
      {"nested too deep", Stream('Q', 1, B().raw(deep).raw(box.b).b)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TRedozIrVect v(nullptr);
    v.AddNewObject();
    v.GetObjectRecord(0)->Name = "kept";
    EXPECT_FALSE(LoadIEV(v, c.stream));
    EXPECT_FALSE(v.LastLoadError().empty());
    ASSERT_EQ(v.ObjectsCount(), 1);
    EXPECT_EQ(v.GetObjectRecord(0)->Name, "kept");
  }
  // Containers nested less deep are read, their contents added.
  Bytes two = B().raw(Head('Q', ievkNONE).b)
                  .i32(1)
                  .u8(1)
                  .raw(Head('Q', ievkNONE).b)
                  .i32(2)
                  .u8(1)
                  .raw(box.b)
                  .raw(box.b)
                  .b;
  TRedozIrVect v(nullptr);
  ASSERT_TRUE(LoadIEV(v, Stream('Q', 1, two))) << v.LastLoadError();
  EXPECT_EQ(v.ObjectsCount(), 2);
  for (char c : {'0', 'R'}) {
    Bytes s = Stream('Q', 0, {});
    s[3] = static_cast<std::uint8_t>(c);
    TMemoryStream m(s);
    EXPECT_FALSE(IEIevDetectStream(m));
    EXPECT_EQ(m.Position(), 0);
  }
}

TEST(Vect, EveryCutOfAValidStreamFailsAndKeepsTheObjects) {
  TRedozIrVect a(nullptr);
  TIEBitmap shared(4, 4, ie24RGB);
  shared.Fill(0x445566);
  AddEveryKind(a, shared);
  const Bytes full = SaveIEV(a);
  TRedozIrVect v(nullptr);
  v.AddNewObject();
  v.AddNewObject();
  for (std::size_t n = 0; n < full.size(); ++n) {
    ASSERT_FALSE(LoadIEV(v, Bytes(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(n)))) << n;
    ASSERT_EQ(v.ObjectsCount(), 2) << n;
  }
  ASSERT_TRUE(LoadIEV(v, full));
}

TEST(Vect, AllStreamAtPositionZeroAndHundred) {
  for (int offset : {0, 100}) {
    SCOPED_TRACE(offset);
    TRedozIrVect a(nullptr);
    a.GetIEBitmap()->Allocate(5, 4, ie24RGB);
    a.GetIEBitmap()->Fill(0xABCDEF);
    a.AddNewObject();
    a.GetObjectRecord(0)->Kind = ievkBOX;
    a.GetObjectRecord(0)->Name = "all";
    TMemoryStream m;
    for (int i = 0; i < offset; ++i) m.WriteValue<std::uint8_t>(0xEE);
    a.SaveToStreamAll(m, -1);
    const Bytes s = m.Bytes();
    std::int32_t p;
    std::memcpy(&p, &s[static_cast<std::size_t>(offset)], 4);
    ASSERT_LT(static_cast<std::size_t>(offset + p), s.size());
    EXPECT_EQ(std::memcmp(&s[static_cast<std::size_t>(offset + p)], "IEVQ", 4), 0);
    m.SetPosition(offset);
    EXPECT_TRUE(IEAllDetectStream(m));
    EXPECT_EQ(m.Position(), offset);
    TRedozIrVect b(nullptr);
    ASSERT_TRUE(b.LoadFromStreamAll(m)) << b.LastLoadError();
    EXPECT_EQ(m.Position(), static_cast<std::int64_t>(s.size()));
    ASSERT_EQ(b.ObjectsCount(), 1);
    EXPECT_EQ(b.GetObjectRecord(0)->Name, "all");
    EXPECT_EQ(b.GetIEBitmap()->GetWidth(), 5);
  }
}

TEST(Vect, IOComponentLoadsVectorStreamsAndFiles) {
  TRedozIrVect a(nullptr);
  a.AddNewObject();
  a.GetObjectRecord(0)->Kind = ievkBOX;
  a.GetObjectRecord(0)->x2 = 99, a.GetObjectRecord(0)->y2 = 49;
  const Bytes s = SaveIEV(a);
  TMemoryStream m(s);
  EXPECT_EQ(FindStreamFormat(m), ioIEV);
  TRedozIrVect b(nullptr);
  TRedozIrIO* io = b.GetIO();
  io->LoadFromStream(m);
  EXPECT_EQ(b.ObjectsCount(), 1);
  EXPECT_EQ(io->Params().FileType, ioIEV);

  const std::string path = ::testing::TempDir() + "ievect_io.iev";
  a.SaveToFileIEV(path);
  TRedozIrIO plain;
  plain.LoadFromFile(path);  // a temporary control: a white image of the objects' extent
  EXPECT_EQ(plain.GetIEBitmap()->GetWidth(), 100);
  EXPECT_EQ(plain.GetIEBitmap()->GetHeight(), 50);
  // White inside the box, its outline drawn over the corner.
  EXPECT_EQ(plain.GetIEBitmap()->GetPixels(50, 25), (TRGB{255, 255, 255}));
  EXPECT_LT(plain.GetIEBitmap()->GetPixels(0, 0).r, 128);
  // Layers and objects from a file: the merged layers.
  const std::string allPath = ::testing::TempDir() + "ievect_io.all";
  a.GetIEBitmap()->Allocate(7, 3, ie24RGB);
  a.GetIEBitmap()->Fill(0x010203);
  a.SaveToFileAll(allPath, -1);
  plain.LoadFromFile(allPath);
  EXPECT_EQ(plain.Params().FileType, ioALL);
  EXPECT_EQ(plain.GetIEBitmap()->GetWidth(), 7);
  EXPECT_EQ(plain.GetIEBitmap()->GetPixels(6, 2), a.GetIEBitmap()->GetPixels(6, 2));
  std::remove(allPath.c_str());
  a.GetObjectRecord(0)->x2 = 0x7FFFFFFF;
  a.GetObjectRecord(0)->y2 = 0x7FFFFFFF;
  EXPECT_EQ(a.GetObjectsExtent().Right, 0x7FFFFFFF);  // no overflow
  a.SaveToFileIEV(path);
  EXPECT_THROW(plain.LoadFromFile(path), Exception);
  std::remove(path.c_str());
}

TEST(Vect, SaversOverAFileSizeLimitLeaveThePreviousFileByteForByte) {
  const std::string dir = ::testing::TempDir() + "vect_savers_" + std::to_string(getpid());
  ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
  const std::pair<const char*, std::function<void(TRedozIrVect&, const std::string&)>> savers[] = {
      {"layers", [](TRedozIrVect& v, const std::string& f) { v.LayersSaveToFile(f, -2); }},
      {"all", [](TRedozIrVect& v, const std::string& f) { v.SaveToFileAll(f, -2); }},
      {"iev", [](TRedozIrVect& v, const std::string& f) { v.SaveToFileIEV(f); }},
  };
  // Each saves a small file, then, in a child with a 4 KiB file-size limit,
  // about 30 KB over it: a picture, and an object showing it (noise, which
  // no coding packs into 4 KiB).
  auto make = [](int side) {
    auto v = std::make_unique<TRedozIrVect>(nullptr);
    v->GetIEBitmap()->Allocate(side, side, ie24RGB);
    std::uint32_t noise = 1;
    for (int y = 0; y < side; ++y)
      for (int x = 0; x < side * 3; ++x)
        v->GetIEBitmap()->GetScanline(y)[x] = (noise = noise * 1103515245 + 12345) >> 24;
    v->AddNewObject();
    v->GetObjectRecord(0)->Kind = ievkBITMAP;
    v->SetObjectBitmap(0, v->GetIEBitmap());
    return v;
  };
  for (const auto& [name, save] : savers) {
    const std::string file = dir + "/" + name;
    save(*make(4), file);
    std::ifstream in(file, std::ios::binary);
    const Bytes before((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(before.empty()) << name;
    const int code = ExitCodeUnderFileSizeLimit(4096, [&] {
      try {
        save(*make(100), file);
      } catch (const EStreamError&) {
        return 0;
      }
      return 2;
    });
    EXPECT_EQ(code, 0) << name;
    std::ifstream again(file, std::ios::binary);
    EXPECT_EQ(Bytes((std::istreambuf_iterator<char>(again)), std::istreambuf_iterator<char>()), before)
        << name;
    std::remove(file.c_str());
  }
  EXPECT_EQ(rmdir(dir.c_str()), 0) << "files left beside the saved ones";
}

TEST(Vect, APlainIOComponentReadsAVectorFileWithNothingStartedBefore) {
  // ctest runs this alone in its process: no control has registered the
  // vector readers, and the file is written by hand.
  const std::string path = ::testing::TempDir() + "ievect_first.iev";
  const Bytes s = Stream('Q', 1, Head('Q', ievkBOX).u8(1).b);
  {
    TFileStream f(path, fmCreate);
    f.WriteBuffer(s.data(), static_cast<std::int64_t>(s.size()));
  }
  TRedozIrIO plain;
  plain.LoadFromFile(path);
  EXPECT_EQ(plain.Params().FileType, ioIEV);
  EXPECT_GT(plain.GetIEBitmap()->GetWidth(), 0);
  std::remove(path.c_str());
}

TEST(Vect, ObjectIconsAreTheStandardPicturesAtTheAskedSize) {
  // Each icon at 64 x 64 (two pixels to a unit of its 32-unit design): a
  // pixel of its sign and one of its ground, and the corner left white.
  const struct {
    int icon;
    TPoint sign, ground;
    TRGB signColor, groundColor;
  } cases[] = {
      {IDI_ERROR, {32, 32}, {32, 8}, {255, 255, 255}, {49, 48, 214}},
      {IDI_WARNING, {32, 30}, {14, 52}, {0, 0, 0}, {40, 204, 250}},
      {IDI_INFORMATION, {32, 40}, {14, 32}, {255, 255, 255}, {205, 110, 38}},
      {IDI_QUESTION, {32, 49}, {14, 32}, {255, 255, 255}, {205, 110, 38}},
      {IDI_APPLICATION, {32, 40}, {32, 14}, {255, 255, 255}, {205, 110, 38}},
  };
  for (const auto& c : cases) {
    TRedozIrVect v(nullptr);
    const int h = v.AddNewObject();
    v.GetObjectRecord(h)->Kind = ievkBITMAP;
    v.SetObjectIcon(h, c.icon, 64, 64);
    TIEBitmap* b = v.GetObjectBitmap(h);
    ASSERT_TRUE(b) << c.icon;
    ASSERT_EQ(b->Width(), 64);
    EXPECT_EQ(b->GetPixels(c.sign.X, c.sign.Y), c.signColor) << c.icon;
    EXPECT_EQ(b->GetPixels(c.ground.X, c.ground.Y), c.groundColor) << c.icon;
    EXPECT_EQ(b->GetPixels(0, 0), (TRGB{255, 255, 255})) << c.icon;
    v.SetObjectIcon(h, 1, 64, 64);  // no standard icon: the bitmap stays
    EXPECT_EQ(v.GetObjectBitmap(h), b);
  }
}

TEST(Vect, StoreHandlesSelectionAndSharing) {
  TRedozIrVect v(nullptr);
  EXPECT_EQ(v.GetObjectRecord(IEV_LAST), nullptr);  // empty store
  EXPECT_EQ(v.GetObjectRecord(0), nullptr);
  EXPECT_EQ(v.GetObjectRecord(IEV_NONE), nullptr);
  TIEVObjectRecord box = *v.GetObjectRecord(IEV_TEMPLATE);
  box.Kind = ievkBOX, box.x1 = box.y1 = 63, box.x2 = box.y2 = 0;
  TIEVObjectRecord line = box;
  line.Kind = ievkLINE;
  EXPECT_EQ(v.AddObject(box), 0);
  EXPECT_EQ(v.AddObject(line), 1);
  EXPECT_EQ(v.AddObject(box), 2);
  EXPECT_EQ(v.DrawingOrder(), (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(v.GetObjectRecord(0)->x1, 0);   // a box is ordered
  EXPECT_EQ(v.GetObjectRecord(1)->x1, 63);  // a line keeps its direction
  EXPECT_EQ(v.GetObjectRecord(IEV_LAST), v.GetObjectRecord(2));
  v.GetObjectRecord(1)->Style = ievsVisible;
  v.AddToSelection(1);
  v.AddToSelection(2);
  EXPECT_EQ(v.Selection(), (std::vector<int>{2}));

  TIEBitmap pic(4, 4, ie24RGB);
  pic.Fill(0x123456);
  v.GetObjectRecord(0)->Kind = v.GetObjectRecord(2)->Kind = ievkBITMAP;
  v.SetObjectBitmap(0, &pic);
  v.SetObjectBitmap(2, &pic);
  const int e = v.GetObjectRecord(0)->BitmapIdx;
  EXPECT_EQ(v.GetObjectRecord(2)->BitmapIdx, e);
  EXPECT_EQ(v.SharedBitmaps()[static_cast<std::size_t>(e)].RefCount, 2);
  v.SetObjectBitmap(0, nullptr);
  EXPECT_EQ(v.SharedBitmaps()[static_cast<std::size_t>(e)].RefCount, 1);
  v.SetObjectBitmap(2, nullptr);
  EXPECT_EQ(v.SharedBitmaps()[static_cast<std::size_t>(e)].Bitmap, nullptr);
  v.SetObjectBitmap(0, &pic);
  EXPECT_EQ(v.GetObjectRecord(0)->BitmapIdx, e);  // the free entry is reused

  v.AddPolylinePoint(1, 5, 5);
  v.AddPolylinePoint(1, 5, 5);
  EXPECT_EQ(v.GetObjectRecord(1)->Points.size(), 1u);

  // A new object starts without the caller's data; a negative index is kept as given.
  box.UserData = {1, 2};
  EXPECT_TRUE(v.GetObjectRecord(v.AddObject(box))->UserData.empty());
  v.SetObjectBitmapIndex(0, -5);
  EXPECT_EQ(v.GetObjectRecord(0)->BitmapIdx, -5);
}

TEST(Vect, UnitsAndFormattingIgnoreTheLocale) {
  TRedozIrVect v(nullptr);
  v.SetDpi(100, 100);
  v.SetMUnit(ieuCENTIMETERS);
  EXPECT_DOUBLE_EQ(v.PixelLengthX(), 0.0254);
  v.SetScaleFactor(2);
  EXPECT_DOUBLE_EQ(v.MeasureLength(300, 400), 500 * 0.0508);
  EXPECT_THROW(v.SetScaleFactor(0), Exception);
  EXPECT_THROW(v.SetScaleFactor(INFINITY), Exception);
  v.SetMUnit(ieuMILLIMETERS);
  EXPECT_EQ(v.FormatMeasure(12.5, ievtLENGTH), "12.50 mm");
  EXPECT_EQ(v.FormatMeasure(3, ievtAREA), "3.00 mm\xC2\xB2");
  EXPECT_EQ(v.FormatMeasure(3, ievtAREA, ANSI_CHARSET), "3.00 mm\xB2");
  v.FloatPrecision = 3;
  EXPECT_EQ(v.FormatMeasure(1234.5678, ievtLENGTH), "1230.00 mm");
  EXPECT_EQ(IESignText(0x00B0, -1), "\xC2\xB0");
}

TEST(Vect, PresetImagesDecodeWithTheirAreasInside) {
  for (int round = 0; round < 2; ++round) {
    IEInitPresetImages();
    const auto& list = IEPresetImages();
    ASSERT_EQ(list.size(), 4u);
    const int sizes[4][2] = {{162, 159}, {112, 100}, {163, 108}, {150, 150}};
    for (std::size_t i = 0; i < list.size(); ++i) {
      TMemoryStream m(Bytes(list[i].data, list[i].data + list[i].size));
      TIEBitmap b;
      TRedozIrIO io;
      io.SetAttachedIEBitmap(&b);
      io.LoadFromStreamFormat(m, list[i].format);
      io.SetAttachedIEBitmap(nullptr);
      EXPECT_EQ(b.GetWidth(), sizes[i][0]);
      EXPECT_EQ(b.GetHeight(), sizes[i][1]);
      const TRect& a = list[i].area;
      EXPECT_TRUE(a.Left >= 0 && a.Top >= 0 && a.Right <= b.GetWidth() && a.Bottom <= b.GetHeight() &&
                  !a.IsEmpty());
    }
    EXPECT_TRUE(list[0].format == ioPNG);
    IEFinalPresetImages();
    EXPECT_TRUE(IEPresetImages().empty());
  }
}

TEST(Vect, ObjectsBeyondTheLoadMemoryBudgetAreRefusedBeforeTheyAreRead) {
  B boxes;
  for (int i = 0; i < 5000; ++i) boxes.raw(Head('Q', ievkBOX).u8(1).b);
  const Bytes s = Stream('Q', 5000, boxes.b);
  TRedozIrVect v(nullptr);
  v.GetIO()->SetLoadMemoryBudget(1 << 20);
  EXPECT_FALSE(LoadIEV(v, s));
  EXPECT_NE(v.LastLoadError().find("load memory budget"), std::string::npos) << v.LastLoadError();
  v.GetIO()->SetLoadMemoryBudget(0);
  ASSERT_TRUE(LoadIEV(v, s)) << v.LastLoadError();
  EXPECT_EQ(v.ObjectsCount(), 5000);
}

TEST(Vect, APictureBeyondTheLoadMemoryBudgetIsRefusedBeforeItIsDecoded) {
  // 3000 x 2000 pixels of 24 bits (18 MB) from a PNG of a few KB.
  const Bytes s = Stream('Q', 1, Head('Q', ievkBITMAP).i32(0).u8(0).i32(0).u8(1).b,
                         B().i32(1).i32(1).raw(Png(3000, 2000, false)).b);
  TRedozIrVect v(nullptr);
  ASSERT_TRUE(LoadIEV(v, Stream('Q', 1, Head('Q', ievkBOX).u8(1).b)));
  const Bytes before = SaveIEV(v);
  v.GetIO()->SetLoadMemoryBudget(16 << 20);
  EXPECT_FALSE(LoadIEV(v, s));
  const std::string& e = v.LastLoadError();
  EXPECT_NE(e.find("PNG: reading 3000 x 2000 pixels"), std::string::npos) << e;
  EXPECT_NE(e.find("load memory budget"), std::string::npos) << e;
  EXPECT_EQ(SaveIEV(v), before);
  v.GetIO()->SetLoadMemoryBudget(20 << 20);
  ASSERT_TRUE(LoadIEV(v, s)) << v.LastLoadError();
  int widest = 0;
  for (const TIEVSharedBitmap& e : v.SharedBitmaps())
    if (e.Bitmap) widest = std::max(widest, e.Bitmap->GetWidth());
  EXPECT_EQ(widest, 3000);
  // An ALL stream's layers count with its objects' pictures: 18 MB of that
  // picture, then a 3000 x 2000 background held twice while its raw block
  // is read.
  v.GetIEBitmap()->Allocate(3000, 2000, ie24RGB);
  v.GetIEBitmap()->Fill(0x336699);
  TMemoryStream all;
  v.SaveToStreamAll(all, -1);
  TRedozIrVect w(nullptr);
  w.GetIO()->SetLoadMemoryBudget(40 << 20);
  all.SetPosition(0);
  EXPECT_FALSE(w.LoadFromStreamAll(all));
  EXPECT_NE(w.LastLoadError().find("Layers stream: reading 3000 x 2000"), std::string::npos)
      << w.LastLoadError();
  w.GetIO()->SetLoadMemoryBudget(56 << 20);
  all.SetPosition(0);
  EXPECT_TRUE(w.LoadFromStreamAll(all)) << w.LastLoadError();
}

TEST(Vect, StoredBitmapsNoObjectNamesAreDroppedUndecodedSoRewritesAreStable) {
  const Bytes png = Png(2, 2, false);
  // The unused entry's pixel data is damaged: decoding it would fail.
  Bytes unused = png;
  const std::string tag = "IDAT";
  const auto idat = std::search(unused.begin(), unused.end(), tag.begin(), tag.end());
  ASSERT_NE(idat, unused.end());
  idat[6] ^= 0x55;
  const B entries = B().i32(2).i32(1).raw(unused).i32(1).raw(png);
  TRedozIrVect v(nullptr);
  ASSERT_TRUE(LoadIEV(v, Stream('Q', 1, Head('Q', ievkBITMAP).i32(1).u8(0).i32(0).u8(1).b, entries.b)));
  EXPECT_EQ(v.SharedBitmaps()[0].RefCount, 1);  // the template's icon took the dropped entry
  EXPECT_EQ(v.SharedBitmaps()[1].RefCount, 1);
  const Bytes again = SaveIEV(v);
  TRedozIrVect w(nullptr);
  ASSERT_TRUE(LoadIEV(w, again));
  EXPECT_EQ(SaveIEV(w), again);
}
