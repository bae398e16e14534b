#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "imaging/core/iebitmap.h"
#include "imaging/io/ie_fileformats.h"
#include "imaging/view/redozir_view.h"

using namespace redozir;

namespace {

// Little-endian bytes put together by hand.
struct TBytes {
  std::string s;
  TBytes& Raw(const std::string& v) {
    s += v;
    return *this;
  }
  TBytes& U8(int v) {
    s += static_cast<char>(v);
    return *this;
  }
  TBytes& I32(std::int64_t v) {
    for (int i = 0; i < 4; ++i) s += static_cast<char>((static_cast<std::uint64_t>(v) >> (8 * i)) & 0xFF);
    return *this;
  }
  TBytes& U64(std::uint64_t v) {
    for (int i = 0; i < 8; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
    return *this;
  }
  TBytes& F64(double d) {
    std::uint64_t u;
    std::memcpy(&u, &d, 8);
    return U64(u);
  }
};

std::string Bytes(TMemoryStream& m) { return std::string(m.Data().begin(), m.Data().end()); }

std::string RawOf(TIEBitmap* b) {
  TMemoryStream m;
  b->SaveRawToStream(m);
  return Bytes(m);
}

std::string Saved(TRedozIrView& v, int coding, int offset = 0) {
  TMemoryStream m;
  for (int i = 0; i < offset; ++i) m.WriteValue<std::uint8_t>(0xEE);
  v.LayersSaveToStream(m, coding);
  return Bytes(m);
}

// Layer header of version 6 for the settings a fresh layer 0 has.
TBytes& Layer0HeaderV6(TBytes& b) {
  return b.U8(1)
      .U8(0)
      .I32(255)
      .I32(0)
      .I32(0)
      .U8(0)
      .U8(1)  // visible, box, transparency, pos, cropped, locked
      .U8(0)
      .F64(2.0)
      .U8(0)
      .U8(1)  // magnify
      .U8(0)
      .I32(0)
      .I32(0)  // operation, width, height
      .U8(0)
      .U8(0)
      .I32(0)
      .I32(0)  // filter, use filter, name, user data
      .U8(0)
      .U8(1)
      .U8(0);  // mask, selectable, dim outside
}

void Paint(TIEBitmap* b, int w, int h, int seed) {
  ASSERT_TRUE(b->Allocate(w, h, ie24RGB));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      std::uint8_t* p = b->GetScanline(y) + 3 * x;
      p[0] = static_cast<std::uint8_t>(seed + x);
      p[1] = static_cast<std::uint8_t>(seed * 3 + y);
      p[2] = static_cast<std::uint8_t>(x * y + seed);
    }
}

// Three layers: layer 0 4 x 3, a named 2 x 2 layer with alpha and user data,
// an 8-bit grey mask layer.
void ThreeLayers(TRedozIrView& v) {
  Paint(v.GetIEBitmap(), 4, 3, 10);
  v.LayersAdd();
  Paint(v.GetIEBitmap(), 2, 2, 60);
  v.GetIEBitmap()->GetAlphaChannel()->Fill(99);
  TIELayer* l = v.GetCurrentLayer();
  l->PosX = -3;
  l->PosY = 7;
  l->Name = "second";
  l->Transparency = 77;
  l->Magnify.Rate = 3.5;
  l->ResampleFilter = rfLanczos3;
  l->UseResampleFilter = true;
  l->DimOutside = true;
  l->Selectable = false;
  l->UserData = new std::uint8_t[3]{1, 2, 3};
  l->UserDataLen = 3;
  v.LayersAdd();
  ASSERT_TRUE(v.GetIEBitmap()->Allocate(3, 2, ie8g));
  v.GetIEBitmap()->Fill(200);
  v.GetCurrentLayer()->IsMask = true;
  v.GetCurrentLayer()->Width = 6;
}

// What a load must leave untouched when it fails.
struct TViewState {
  int count, current;
  std::string raw0, mask;
  explicit TViewState(TRedozIrView& v)
      : count(v.GetLayersCount()), current(v.LayersCurrent()), raw0(RawOf(v.GetLayer(0)->Bitmap)) {
    TMemoryStream m;
    v.SaveSelectionToStream(m);
    mask = Bytes(m);
  }
  bool operator==(const TViewState&) const = default;
};

}  // namespace

TEST(LayersStream, GoldenBytesOfTheRawCodingAndOfPngAtAnOffset) {
  TRedozIrView v(nullptr);
  Paint(v.GetIEBitmap(), 2, 1, 5);
  std::string raw = RawOf(v.GetIEBitmap());
  TBytes want;
  want.Raw("VUDIREVEDADIR").I32(6).I32(-2).I32(1);
  Layer0HeaderV6(want).U64(82).I32(static_cast<std::int64_t>(raw.size())).Raw(raw);
  EXPECT_EQ(Saved(v, -2), want.s);

  // PNG at offset 4: positions count from the stream's start, the image is
  // the PNG writer's file, and coding 1 means PNG.
  std::string png = Saved(v, 8, 4);
  TBytes head;
  head.Raw(std::string(4, '\xEE')).Raw("VUDIREVEDADIR").I32(6).I32(8).I32(1);
  Layer0HeaderV6(head).U64(86);
  ASSERT_GT(png.size(), head.s.size());
  EXPECT_EQ(png.substr(0, head.s.size()), head.s);
  EXPECT_EQ(png.substr(head.s.size(), 8), "\x89PNG\r\n\x1a\n");
  EXPECT_EQ(Saved(v, 1, 4), png);
}

TEST(LayersStream, ThreeLayersRoundTripUnderEachCodingAndSaveLoadSaveIsStable) {
  for (int coding : {-1, -2, 8}) {
    TRedozIrView a(nullptr);
    ThreeLayers(a);
    a.LayersSelectableOnly = false;
    a.SetLayersCurrent(1);
    std::string first = Saved(a, coding);
    EXPECT_EQ(a.LayersCurrent(), 1) << "saving keeps the current layer";
    TRedozIrView b(nullptr);
    TMemoryStream m;
    m.WriteBuffer(first.data(), static_cast<std::int64_t>(first.size()));
    m.SetPosition(0);
    ASSERT_TRUE(b.LayersLoadFromStream(m)) << coding;
    EXPECT_EQ(m.Position(), m.Size()) << coding;
    ASSERT_EQ(b.GetLayersCount(), 3);
    EXPECT_EQ(b.LayersCurrent(), 2);
    for (int i = 0; i < 3; ++i) {
      TIELayer *x = a.GetLayer(i), *y = b.GetLayer(i);
      EXPECT_EQ(RawOf(y->Bitmap), RawOf(x->Bitmap)) << coding << " layer " << i;
      EXPECT_EQ(y->PosX, x->PosX);
      EXPECT_EQ(y->PosY, x->PosY);
      EXPECT_EQ(y->Name, x->Name);
      EXPECT_EQ(y->Transparency, x->Transparency);
      EXPECT_EQ(y->Magnify.Rate, x->Magnify.Rate);
      EXPECT_EQ(y->ResampleFilter, x->ResampleFilter);
      EXPECT_EQ(y->UseResampleFilter, x->UseResampleFilter);
      EXPECT_EQ(y->DimOutside, x->DimOutside);
      EXPECT_EQ(y->Selectable, x->Selectable);
      EXPECT_EQ(y->IsMask, x->IsMask);
      EXPECT_EQ(y->Width, x->Width);
      ASSERT_EQ(y->UserDataLen, x->UserDataLen);
      if (x->UserDataLen) {
        EXPECT_EQ(std::memcmp(y->UserData, x->UserData, 3), 0);
      }
    }
    EXPECT_EQ(b.GetLayer(2)->Bitmap->GetPixelFormat(), ie8g) << "a grey mask stays grey under " << coding;
    EXPECT_EQ(Saved(b, coding), first) << coding;
  }
}

TEST(LayersStream, OlderVersionsReadTheFieldsTheyHave) {
  TRedozIrView src(nullptr);
  Paint(src.GetIEBitmap(), 2, 2, 1);
  std::string raw = RawOf(src.GetIEBitmap());
  auto header12 = [](TBytes& b, int posX) {
    b.U8(1).U8(1).I32(128).I32(posX).I32(2).U8(0).U8(0).U8(0).F64(2.0).U8(0).U8(0).I32(0).I32(0);
  };
  // Version 2: two layers, nothing after Height.
  TBytes v2;
  v2.Raw("VUDIREVEDADIR").I32(2).I32(-2).I32(2);
  header12(v2, 5);
  v2.U64(25 + 2 * 43);
  header12(v2, 6);
  v2.U64(25 + 2 * 43 + 4 + raw.size());
  v2.I32(static_cast<std::int64_t>(raw.size())).Raw(raw).I32(static_cast<std::int64_t>(raw.size())).Raw(raw);
  TRedozIrView v(nullptr);
  v.GetLayer(0)->Name = "kept";
  v.GetLayer(0)->Selectable = false;
  TMemoryStream m2;
  m2.WriteBuffer(v2.s.data(), static_cast<std::int64_t>(v2.s.size()));
  m2.SetPosition(0);
  ASSERT_TRUE(v.LayersLoadFromStream(m2));
  ASSERT_EQ(v.GetLayersCount(), 2);
  EXPECT_EQ(v.GetLayer(0)->Name, "kept");
  EXPECT_FALSE(v.GetLayer(0)->Selectable);
  EXPECT_EQ(v.GetLayer(0)->PosX, 5);
  EXPECT_EQ(v.GetLayer(1)->PosX, 6);
  EXPECT_EQ(v.GetLayer(1)->Transparency, 128);
  EXPECT_EQ(v.GetLayer(1)->Name, "");
  EXPECT_TRUE(v.GetLayer(1)->Selectable);
  EXPECT_EQ(v.GetLayer(1)->Magnify.Source, 1);
  EXPECT_EQ(RawOf(v.GetLayer(1)->Bitmap), raw);

  // Version 3: name, user data, mask flag; no Selectable, no DimOutside.
  // Version 4 adds Selectable (here false).
  auto v3or4 = [&](int version) {
    TBytes b;
    b.Raw("VUDIREVEDADIR").I32(version).I32(-2).I32(1);
    b.U8(1).U8(1).I32(255).I32(0).I32(0).U8(0).U8(0).U8(1).F64(4.0).U8(1).U8(0).U8(3).I32(0).I32(0);
    b.U8(rfBicubic).U8(1).I32(2).Raw("ab").I32(2).U8(9).U8(8).U8(1);
    if (version >= 4) b.U8(0);
    b.U64(b.s.size() + 8).I32(static_cast<std::int64_t>(raw.size())).Raw(raw);
    auto m = std::make_unique<TMemoryStream>();
    m->WriteBuffer(b.s.data(), static_cast<std::int64_t>(b.s.size()));
    m->SetPosition(0);
    return m;
  };
  v.GetLayer(0)->Selectable = true;
  ASSERT_TRUE(v.LayersLoadFromStream(*v3or4(4)));
  EXPECT_FALSE(v.GetLayer(0)->Selectable);
  EXPECT_FALSE(v.GetLayer(0)->DimOutside);
  EXPECT_EQ(RawOf(v.GetLayer(0)->Bitmap), raw);
  ASSERT_TRUE(v.LayersLoadFromStream(*v3or4(3)));
  ASSERT_EQ(v.GetLayersCount(), 1);
  TIELayer* l = v.GetLayer(0);
  EXPECT_EQ(l->Name, "ab");
  EXPECT_EQ(l->ResampleFilter, rfBicubic);
  EXPECT_TRUE(l->Magnify.Enabled);
  EXPECT_EQ(l->Magnify.Source, 0);
  EXPECT_EQ(l->Operation, 3);
  ASSERT_EQ(l->UserDataLen, 2);
  EXPECT_EQ(static_cast<std::uint8_t*>(l->UserData)[0], 9);
  EXPECT_TRUE(l->IsMask);
}

TEST(LayersStream, DamagedOrForeignStreamsAreRefusedLeavingTheViewAsItWas) {
  TRedozIrView src(nullptr);
  ThreeLayers(src);
  const std::string good = Saved(src, -2);
  // Layer 0's header (empty name) is 57 bytes; layer 1's name length lies 38
  // bytes into its header.
  const std::size_t layer1Name = 25 + 57 + 38;
  auto patch = [&](std::size_t at, std::int64_t v) {
    std::string s = good;
    for (int i = 0; i < 4; ++i)
      s[at + i] = static_cast<char>((static_cast<std::uint64_t>(v) >> (8 * i)) & 0xFF);
    return s;
  };
  std::string pos0Past = good, pos0Header = good;
  for (int i = 0; i < 8; ++i) {
    pos0Past[25 + 49 + i] = static_cast<char>(i == 0 ? 0x7F : 0);
    pos0Header[25 + 49 + i] = static_cast<char>(i == 0 ? 10 : 0);
  }
  pos0Past[25 + 49 + 3] = 0x7F;
  // Layer 0's raw bitmap (after its block's byte count) claiming 268435460 x 0.
  auto le32 = [&](std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
      v |= static_cast<std::uint32_t>(static_cast<std::uint8_t>(good[at + i])) << (8 * i);
    return v;
  };
  const std::size_t raw0 = le32(25 + 49) + 4, size0 = raw0 + 24 + 3 * le32(raw0 + 16);
  std::string noHeight = patch(size0, 268435460);
  noHeight = noHeight.substr(0, size0 + 4) + std::string(4, '\0') + noHeight.substr(size0 + 8);
  struct TCase {
    const char* what;
    std::string bytes;
    bool raises;
  } cases[] = {
      {"signature", "VUDIREVEDADIS" + good.substr(13), false},
      {"version 0", patch(13, 0), false},
      {"version 7", patch(13, 7), false},
      {"no layers", patch(21, 0), true},
      {"huge layer count", patch(21, 0x7FFFFFFF), true},
      {"name past the end", patch(layer1Name, 0x7FFFFFF0), true},
      {"layers coding", patch(17, ioLYR), true},
      {"vector coding", patch(17, ioIEV), true},
      {"unknown coding", patch(17, 0), true},
      {"block position past the end", pos0Past, true},
      {"block position in the header", pos0Header, true},
      {"block count past the end", patch(good.size() - 4 - RawOf(src.GetLayer(2)->Bitmap).size(), 0x7FFFFFFF),
       true},
      {"truncated", good.substr(0, good.size() - 5), true},
      {"layer 0 of a huge width and no height", noHeight, true},
  };
  TRedozIrView v(nullptr);
  Paint(v.GetIEBitmap(), 5, 5, 3);
  v.LayersAdd();
  v.SelectionBase = iesbBitmap;
  v.Select(1, 1, 3, 3, 0);
  for (const TCase& c : cases) {
    TViewState before(v);
    TMemoryStream m;
    m.WriteBuffer(c.bytes.data(), static_cast<std::int64_t>(c.bytes.size()));
    m.SetPosition(0);
    if (c.raises) {
      EXPECT_THROW(v.LayersLoadFromStream(m), Exception) << c.what;
    } else {
      EXPECT_FALSE(v.LayersLoadFromStream(m)) << c.what;
    }
    EXPECT_EQ(m.Position(), 0) << c.what;
    EXPECT_TRUE(TViewState(v) == before) << c.what;
  }
}

TEST(LayersStream, ALayerBeyondTheLoadMemoryBudgetIsRefusedBeforeItsPixelsAreMade) {
  TRedozIrView src(nullptr);
  src.GetIEBitmap()->Allocate(3000, 2000, ie24RGB);  // 18 MB
  src.GetIEBitmap()->Fill(0x336699);
  // Raw blocks are held beside the bitmap made of them: 36 MB.
  for (int coding : {-1, -2, static_cast<int>(ioPNG)}) {
    const std::string saved = Saved(src, coding);
    TRedozIrView v(nullptr);
    Paint(v.GetIEBitmap(), 5, 5, 3);
    v.GetIO()->SetLoadMemoryBudget(16 << 20);
    const TViewState before(v);
    TMemoryStream m;
    m.WriteBuffer(saved.data(), static_cast<std::int64_t>(saved.size()));
    m.SetPosition(0);
    try {
      v.LayersLoadFromStream(m);
      ADD_FAILURE() << coding << " loaded";
    } catch (const Exception& e) {
      const std::string what = e.what();
      EXPECT_NE(what.find("reading 3000 x 2000 pixels"), std::string::npos) << what;
      EXPECT_NE(what.find("load memory budget"), std::string::npos) << what;
    }
    EXPECT_TRUE(TViewState(v) == before) << coding;
    v.GetIO()->SetLoadMemoryBudget(38 << 20);
    m.SetPosition(0);
    ASSERT_TRUE(v.LayersLoadFromStream(m)) << coding;
    EXPECT_EQ(v.GetIEBitmap()->GetWidth(), 3000) << coding;
  }
}

TEST(LayersStream, DetectionAcceptsVersionsOneToSixAndKeepsThePosition) {
  TRedozIrView v(nullptr);
  Paint(v.GetIEBitmap(), 2, 2, 1);
  std::string good = Saved(v, -2);
  for (auto [version, want] : {std::pair{0, false}, {1, true}, {6, true}, {7, false}, {-1, false}}) {
    std::string s = good;
    s[13] = static_cast<char>(version);
    s[14] = s[15] = s[16] = static_cast<char>(version < 0 ? 0xFF : 0);
    TMemoryStream m;
    m.WriteBuffer("ab", 2);
    m.WriteBuffer(s.data(), static_cast<std::int64_t>(s.size()));
    m.SetPosition(2);
    EXPECT_EQ(IELyrDetect(m), want) << version;
    EXPECT_EQ(m.Position(), 2);
    if (want) {
      EXPECT_EQ(FindStreamFormat(m), ioLYR);
    }
  }
}

TEST(LayerRecord, RoundTripsSettingsAndPixelsWritesNoAddressAndRefusesDamage) {
  TRedozIrView v(nullptr);
  ThreeLayers(v);
  TIELayer* src = v.GetLayer(1);
  src->SetRotate(30);
  src->RotateCenterX = 0.25;
  src->ClientAreaBox = Rect(1, 2, 3, 4);
  TMemoryStream m;
  src->SaveToStream(m, true);
  std::string rec = Bytes(m);
  EXPECT_EQ(static_cast<std::size_t>(rec[0] & 0xFF) | (static_cast<std::size_t>(rec[1] & 0xFF) << 8),
            rec.size());
  EXPECT_EQ(rec.substr(86, 4), std::string(4, '\0')) << "user data is never written as an address";

  TIELayer* dst = v.GetLayer(0);
  void* ownData = dst->UserData;
  m.SetPosition(0);
  dst->LoadFromStream(m);
  EXPECT_EQ(m.Position(), m.Size());
  EXPECT_EQ(RawOf(dst->Bitmap), RawOf(src->Bitmap));
  EXPECT_EQ(dst->Name, "second");
  EXPECT_EQ(dst->GetRotate(), 30);
  EXPECT_EQ(dst->RotateCenterX, 0.25);
  EXPECT_EQ(dst->ClientAreaBox, Rect(1, 2, 3, 4));
  EXPECT_EQ(dst->UserData, ownData);
  EXPECT_EQ(dst->GUID(), src->GUID()) << "the identity is read in its place";

  // A record cut short, or with a length past its bytes, changes nothing.
  TMemoryStream again;
  dst->SaveToStream(again, true);
  std::string whole = Bytes(again);
  for (std::string bad : {whole.substr(0, whole.size() - 3), whole.substr(0, 60)}) {
    dst->Name = "before";
    TMemoryStream b;
    b.WriteBuffer(bad.data(), static_cast<std::int64_t>(bad.size()));
    b.SetPosition(0);
    EXPECT_THROW(dst->LoadFromStream(b), Exception);
    EXPECT_EQ(dst->Name, "before");
    EXPECT_EQ(b.Position(), 0);
  }
}

TEST(SelectionRecord, RoundTripsAndADamagedRecordChangesNothing) {
  TRedozIrView v(nullptr);
  v.SelectionBase = iesbBitmap;
  Paint(v.GetIEBitmap(), 20, 10, 1);
  v.Select(2, 2, 9, 6, 0);
  v.Select(12, 1, 15, 4, 1);
  TMemoryStream m;
  v.SaveSelectionToStream(m);
  std::string saved = Bytes(m);
  v.Deselect();
  ASSERT_FALSE(v.Selected());
  m.SetPosition(0);
  ASSERT_TRUE(v.LoadSelectionFromStream(m, 0));
  EXPECT_TRUE(v.Selected());
  EXPECT_EQ(v.GetSelectionPointCount(), 9);
  EXPECT_EQ(v.SelectionMask()->X1, 2);
  EXPECT_EQ(v.SelectionMask()->X2, 14);
  TMemoryStream again;
  v.SaveSelectionToStream(again);
  EXPECT_EQ(Bytes(again), saved);

  // Bounds and flags come from the rows, not from the record's claims.
  std::string lying = saved;
  std::size_t box = 4 * 3 + 9 * 8 + 16 + 1 + 8 + 4;
  lying[box] = 0;  // mask x1 claimed 0
  TMemoryStream l;
  l.WriteBuffer(lying.data(), static_cast<std::int64_t>(lying.size()));
  l.SetPosition(0);
  ASSERT_TRUE(v.LoadSelectionFromStream(l, 0));
  EXPECT_EQ(v.SelectionMask()->X1, 2);

  for (std::string bad : {saved.substr(0, saved.size() - 1), saved.substr(0, 30)}) {
    TMemoryStream b;
    b.WriteBuffer(bad.data(), static_cast<std::int64_t>(bad.size()));
    b.SetPosition(0);
    EXPECT_THROW(v.LoadSelectionFromStream(b, 0), Exception);
    EXPECT_EQ(b.Position(), 0);
    TMemoryStream now;
    v.SaveSelectionToStream(now);
    EXPECT_EQ(Bytes(now), saved);
  }
}

TEST(LayersStream, TheIOComponentLoadsLayersIntoAViewOrFlattensAFile) {
  TRedozIrView src(nullptr);
  ThreeLayers(src);
  std::string path = ::testing::TempDir() + "layers_io_test.lyr";
  src.LayersSaveToFile(path, -1);
  // Into a view: its layers; the I/O parameters say the format and size.
  TRedozIrView v(nullptr);
  TMemoryStream m;
  m.LoadFromFile(path);
  v.GetIO()->LoadFromStream(m);
  EXPECT_EQ(v.GetLayersCount(), 3);
  EXPECT_EQ(v.GetIO()->Params().FileType, ioLYR);
  EXPECT_EQ(v.GetIO()->Params().Width, 4);
  // A component of its own flattens the file into its bitmap.
  TRedozIrIO io;
  io.LoadFromFile(path);
  // Layer 1 lies 3 pixels left of layer 0, the mask layer is shown 6 wide.
  EXPECT_EQ(io.GetIEBitmap()->Width(), 9);
  std::remove(path.c_str());
}

TEST(LayersStream, UndoRestoresSelectionsAndLayers) {
  TRedozIrView v(nullptr);
  v.SelectionBase = iesbBitmap;
  ThreeLayers(v);
  v.SetLayersCurrent(0);
  v.Select(1, 1, 3, 2, 0);
  TRedozIrProc* proc = v.GetProc();
  proc->SaveUndo(ieuSelection);
  v.Select(0, 0, 4, 3, 0);
  proc->Undo();
  EXPECT_EQ(v.GetSelectionPointCount(), 4);
  EXPECT_EQ(v.SelectionMask()->X2, 2);
  v.Deselect();
  v.LayersSelectableOnly = false;
  v.SetLayersCurrent(1);
  proc->SaveUndo(ieuLayer);
  v.GetCurrentLayer()->PosX = 40;
  v.GetCurrentLayer()->Name = "moved";
  proc->Undo();
  EXPECT_EQ(v.GetLayer(1)->PosX, -3);
  EXPECT_EQ(v.GetLayer(1)->Name, "second");
}

TEST(SelectionRecord, AMaskOfNoWidthAndEndlessHeightLoadsAtOnceAsNoSelection) {
  TRedozIrView v(nullptr);
  v.GetIEBitmap()->Allocate(5, 5, ie24RGB);
  TBytes b;
  b.I32(0)
      .I32(0x7FFFFFFF)
      .I32(0)
      .Raw(std::string(16, '\0'))
      .U8(1)
      .I32(0)
      .I32(0)
      .I32(1)
      .Raw(std::string(16, '\0'))
      .U8(0);
  TMemoryStream m;
  m.WriteBuffer(b.s.data(), static_cast<std::int64_t>(b.s.size()));
  m.SetPosition(0);
  EXPECT_TRUE(v.LoadSelectionFromStream(m, 0));
  EXPECT_FALSE(v.Selected());
  EXPECT_EQ(v.SelectionMask()->Width(), 5);
}
