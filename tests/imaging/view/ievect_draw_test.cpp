// GCC 12 at -O3 warns of an overlapping copy inside std::string assignments
// of short literals that cannot overlap (a known false positive).
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wrestrict"
#endif

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "imaging/core/dialog_text.h"
#include "imaging/core/iebitmap.h"
#include "imaging/core/iegdiplus.h"
#include "imaging/view/ievect.h"
#include "imaging/view/ievect_internal.h"
#include "platform/bitmap.h"

using namespace redozir;

namespace {

// Records every drawing call of the objects while it lives.
struct Recorder {
  std::vector<TIEVDrawOp> ops;
  Recorder() {
    IEVDrawRecorder = [this](const TIEVDrawOp& op) { ops.push_back(op); };
  }
  ~Recorder() { IEVDrawRecorder = nullptr; }
  std::vector<TIEVDrawOp> Of(TIEVDrawOp::TKind k) const {
    std::vector<TIEVDrawOp> r;
    for (const auto& o : ops)
      if (o.Kind == k) r.push_back(o);
    return r;
  }
};

struct Fixture {
  TRedozIrVect v{nullptr};
  TBitmap target{200, 200, pf24bit};
  Fixture() { v.SetDpi(100, 100); }
  TIEVObjectRecord& Add(TIEVObjectKind kind, int x1, int y1, int x2, int y2) {
    const int h = v.AddNewObject();
    TIEVObjectRecord& r = *v.GetObjectRecord(h);
    r.Kind = kind;
    r.x1 = x1, r.y1 = y1, r.x2 = x2, r.y2 = y2;
    return r;
  }
  bool Draw(TIEVObjectRecord& r) { return v.DrawObject(&target, r, 0, nullptr, false, 1, false, false); }
};

TEST(VectDraw, VisibilityAndPenCaps) {
  struct Case {
    std::uint8_t style;
    int pen;
    bool drawn;
    bool caps;
  } cases[] = {
      {ievsSelectable, 1, false, false}, {ievsVisible, 1, true, false}, {ievsVisible, 3, true, true}};
  for (const Case& c : cases) {
    Fixture f;
    TIEVObjectRecord& r = f.Add(ievkLINE, 10, 10, 90, 50);
    r.Style = c.style;
    r.PenWidth = c.pen;
    Recorder rec;
    EXPECT_EQ(f.Draw(r), c.drawn);
    if (!c.drawn) {
      EXPECT_TRUE(rec.ops.empty());
      EXPECT_GT(r.DrawnRect.Left, r.DrawnRect.Right);
      continue;
    }
    ASSERT_EQ(rec.Of(TIEVDrawOp::Line).size(), 1u);
    EXPECT_EQ(rec.Of(TIEVDrawOp::Line)[0].RoundCaps, c.caps);
    EXPECT_EQ(rec.Of(TIEVDrawOp::Line)[0].PenWidth, c.pen);
    EXPECT_EQ(r.DrawnRect, (TRect{10, 10, 90, 50}));
  }
}

TEST(VectDraw, RoundCapsOfATransparentLineAreBlendedOnce) {
  Fixture f;
  f.target.Canvas()->Brush.Color = clWhite;
  f.target.Canvas()->FillRect(TRect{0, 0, 200, 200});
  TIEVObjectRecord& r = f.Add(ievkLINE, 20, 50, 80, 50);
  r.PenWidth = 9;
  r.Transparency = 128;
  ASSERT_TRUE(f.Draw(r));
  TCanvas* c = f.target.Canvas();
  EXPECT_EQ(c->Pixels(22, 50), c->Pixels(50, 50));
  EXPECT_EQ(c->Pixels(78, 50), c->Pixels(50, 50));
  EXPECT_NE(c->Pixels(17, 50), clWhite);  // the cap reaches past the end
  EXPECT_EQ(c->Pixels(14, 50), clWhite);
}

TEST(VectDraw, InchRulerTicksAndLabels) {
  Fixture f;
  TIEVObjectRecord& r = f.Add(ievkRULER, 0, 100, 100, 100);
  r.RulerType = 0;
  r.RulerUnit = ieuINCHES;
  Recorder rec;
  ASSERT_TRUE(f.Draw(r));
  auto lines = rec.Of(TIEVDrawOp::Line);
  ASSERT_EQ(lines.size(), 12u);  // the ruler, then 11 ticks
  for (int n = 0; n <= 10; ++n) {
    const auto& t = lines[static_cast<std::size_t>(n) + 1].Points;
    const int half = n % 10 == 0 ? 12 : (n % 5 == 0 ? 8 : 6);
    EXPECT_EQ(t[0], (TPoint{10 * n, 100 - half})) << n;
    EXPECT_EQ(t[1], (TPoint{10 * n, 100 + half})) << n;
  }
  auto texts = rec.Of(TIEVDrawOp::TextOut);
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0].Text, "0");
  EXPECT_EQ(texts[1].Text, "1");
  // In pixels a tick falls every tenth of a pixel: a long ruler stops at the cap.
  TIEVObjectRecord& wide = f.Add(ievkRULER, 0, 100, 1000000, 100);
  wide.RulerType = 0;
  Recorder rec2;
  ASSERT_TRUE(f.Draw(wide));
  EXPECT_EQ(rec2.Of(TIEVDrawOp::Line).size(), std::size_t(kIEVMaxRulerTicks) + 2);
}

TEST(VectDraw, CoincidentRulerAndAngleLabel) {
  Fixture f;
  TIEVObjectRecord& ruler = f.Add(ievkRULER, 30, 30, 30, 30);
  {
    Recorder rec;
    f.Draw(ruler);
    EXPECT_TRUE(rec.ops.empty());
  }
  for (bool smaller : {false, true}) {
    f.v.SmallerAngle = smaller;
    for (bool turn : {false, true}) {
      TIEVObjectRecord& a = f.Add(ievkANGLE, 0, 0, 100, 100);
      a.AnglePoints = {TPoint{0, 50}, TPoint{50, 50}, TPoint{50, turn ? 0 : 100}};
      Recorder rec;
      f.Draw(a);
      auto texts = rec.Of(TIEVDrawOp::TextOut);
      ASSERT_EQ(texts.size(), 1u);
      const std::string& t = texts[0].Text;
      EXPECT_TRUE(t.rfind("90.00", 0) == 0 || (!smaller && t.rfind("270.00", 0) == 0)) << t;
      // The canvas reads the font's code page: the sign is its one byte.
      EXPECT_EQ(t.substr(t.size() - 2), "0\xB0") << t;
    }
  }
  // On a Greek system the labels are drawn in the Greek code page.
  IESetSystemLocale("el_GR.UTF-8");
  TIEVObjectRecord& greek = f.Add(ievkANGLE, 0, 0, 100, 100);
  greek.AnglePoints = {TPoint{0, 50}, TPoint{50, 50}, TPoint{50, 0}};
  f.Draw(greek);
  EXPECT_EQ(f.target.Canvas()->Font.Charset, GREEK_CHARSET);
  IESetSystemLocale(IEProcessLocaleName());
  // An unset third point: the first arm only, no label.
  TIEVObjectRecord& a = f.Add(ievkANGLE, 0, 0, 100, 100);
  a.AnglePoints[2] = TPoint{-1000000, 0};
  Recorder rec;
  f.Draw(a);
  EXPECT_TRUE(rec.Of(TIEVDrawOp::TextOut).empty());
  EXPECT_TRUE(rec.Of(TIEVDrawOp::Arc).empty());
}

TEST(VectDraw, TextAlongAPathSpacesItsCharactersEvenly) {
  Fixture f;
  TIEVObjectRecord& r = f.Add(ievkTEXT, 10, 0, 130, 40);
  r.Text = "abcd";
  r.Path = {{0, 0.5}, {0.5, 0.5}, {0.5, 1}};  // 60 across, then 20 down: a character every 20
  Recorder rec;
  ASSERT_TRUE(f.Draw(r));
  EXPECT_TRUE(rec.Of(TIEVDrawOp::Rect).empty());
  auto texts = rec.Of(TIEVDrawOp::TextOut);
  ASSERT_EQ(texts.size(), 4u);
  const TPoint at[] = {{10, 20}, {30, 20}, {50, 20}, {70, 20}};
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(texts[i].Text, std::string(1, "abcd"[i]));
    EXPECT_EQ(texts[i].Points[0], at[i]) << i;
  }
}

TEST(VectDraw, NonAntialiasedTextHasOnlyInkAndPaperPixels) {
  // Black text on white: the one-bit glyphs of the non-anti-aliased quality
  // leave no grey, the anti-aliased ones do.
  for (std::uint8_t quality : {std::uint8_t{5}, std::uint8_t{0}}) {
    Fixture f;
    f.target.Canvas()->Brush.Color = clWhite;
    f.target.Canvas()->FillRect(Rect(0, 0, 200, 200));
    TIEVObjectRecord& r = f.Add(ievkTEXT, 10, 10, 190, 90);
    r.Text = "Sow";
    r.PenColor = clBlack;
    r.PenStyle = psClear;
    r.BrushStyle = bsClear;
    r.FontQuality = quality;
    ASSERT_TRUE(f.Draw(r));
    int ink = 0, grey = 0;
    for (int y = 0; y < 200; ++y)
      for (int x = 0; x < 200; ++x) {
        TColor c = f.target.Canvas()->Pixels(x, y);
        ink += c == clBlack;
        grey += c != clBlack && c != clWhite;
      }
    EXPECT_GT(ink + grey, 20) << int(quality);
    EXPECT_EQ(grey == 0, quality == 5) << int(quality) << ": " << grey << " grey pixels";
  }
}

TEST(VectDraw, BitmapFrameShrinksTheBitmapAndFrameIsInPenColour) {
  Fixture f;
  f.target.Canvas()->Brush.Color = clWhite;
  f.target.Canvas()->FillRect(TRect{0, 0, 200, 200});
  TIEVObjectRecord& r = f.Add(ievkBITMAP, 20, 20, 79, 59);
  r.BitmapIdx = 0;  // the template's error icon
  r.BitmapBorder = 1;
  r.PenWidth = 3;
  r.PenColor = clRed;
  Recorder rec;
  ASSERT_TRUE(f.Draw(r));
  auto b = rec.Of(TIEVDrawOp::Bitmap);
  ASSERT_EQ(b.size(), 1u);
  EXPECT_EQ(b[0].Points[0], (TPoint{23, 23}));
  EXPECT_EQ(b[0].Points[1], (TPoint{76, 56}));
  for (int i = 0; i < 3; ++i) EXPECT_EQ(f.target.Canvas()->Pixels(20 + i, 40), clRed) << i;
  // Without a bitmap: a crossed frame.
  TIEVObjectRecord& none = f.Add(ievkBITMAP, 0, 0, 10, 10);
  none.BitmapIdx = -1;
  Recorder rec2;
  f.Draw(none);
  EXPECT_EQ(rec2.Of(TIEVDrawOp::Line).size(), 2u);
  EXPECT_EQ(rec2.Of(TIEVDrawOp::Rect).size(), 1u);
}

// A tiny bitmap stretched over a huge rectangle draws only what lands on the
// target, straight and through the work bitmap, without a picture of its size.
TEST(VectDraw, HugeStretchOfASmallBitmapDrawsItsVisiblePart) {
  for (int transparency : {255, 100}) {
    Fixture f;
    TIEVObjectRecord& r = f.Add(ievkBITMAP, -5, -5, 65537, 77567);
    TIEBitmap red(3, 2, ie24RGB);
    red.Fill(static_cast<double>(clRed));
    f.v.SetObjectBitmap(0, &red);
    r.Transparency = transparency;
    r.Shadow.Enabled = transparency < 255;  // through the work bitmap
    f.target.Canvas()->Brush.Style = bsSolid;
    f.target.Canvas()->Brush.Color = clWhite;
    f.target.Canvas()->FillRect(TRect{0, 0, 200, 200});
    f.v.DrawObjects(&f.target, true, false);
    const TColor c = f.target.Canvas()->Pixels(100, 100);
    if (transparency == 255)
      EXPECT_EQ(c, clRed);
    else
      EXPECT_NE(c, clWhite);
  }
}

TEST(VectDraw, SupersampledRouteUsesTwiceTheTargetAndFallsBack) {
  const bool allowed = GDIPlusAllowed;
  GDIPlusAllowed = false;
  for (std::int64_t limit : {std::int64_t(1) << 26, std::int64_t(1000)}) {
    TRedozIrVect v(nullptr);
    v.MaxWorkPixels = limit;
    TIEVObjectRecord& r = *v.GetObjectRecord(v.AddNewObject());
    r.Kind = ievkBOX;
    r.x1 = r.y1 = 10, r.x2 = r.y2 = 50;
    r.BrushStyle = bsSolid;
    r.BrushColor = clBlue;
    r.Shadow.Enabled = 1;
    r.Shadow.OffsetX = r.Shadow.OffsetY = 4;
    r.Shadow.Radius = 1e300;  // clamped before the blur
    r.Transparency = 1000;    // clamped to opaque
    TBitmap t(300, 200, pf24bit);
    v.DrawObjects(&t, true, true);
    ASSERT_NE(v.WorkBitmap(), nullptr);
    EXPECT_EQ(v.WorkBitmap()->Width(), limit > 1000 ? 600 : 300);
    EXPECT_EQ(v.WorkBitmap()->Height(), limit > 1000 ? 400 : 200);
    EXPECT_EQ(v.ObjectsDrawn(), 2);  // the object and its alpha pass
  }
  GDIPlusAllowed = allowed;
}

// CopyObjectsToBack(True) antialiases the copy (the supersampled route here)
// whatever CopyAntialias says, False leaves CopyAntialias to decide; the
// setting is the caller's again afterwards, also when the drawing throws.
TEST(VectDraw, CopyObjectsToBackKeepsTheCopyAntialiasSetting) {
  const bool allowed = GDIPlusAllowed;
  GDIPlusAllowed = false;
  for (bool setting : {false, true})
    for (bool antialias : {false, true}) {
      TRedozIrVect v(nullptr);
      v.GetIEBitmap()->Allocate(64, 48, ie24RGB);
      TIEVObjectRecord& r = *v.GetObjectRecord(v.AddNewObject());
      r.Kind = ievkBOX;
      r.x1 = r.y1 = 10, r.x2 = r.y2 = 30;
      r.Shadow.Enabled = 1;  // through the work bitmap
      v.SetCopyAntialias(setting);
      v.CopyObjectsToBack(antialias);
      ASSERT_NE(v.WorkBitmap(), nullptr);
      EXPECT_EQ(v.WorkBitmap()->Width(), setting || antialias ? 128 : 64) << setting << antialias;
      EXPECT_EQ(v.CopyAntialias(), setting) << setting << antialias;
    }
  GDIPlusAllowed = allowed;
  TRedozIrVect v(nullptr);
  v.GetIEBitmap()->Allocate(8, 8, ie24RGB);
  v.SetCopyAntialias(false);
  IEVCopyObjectsHook = [](TRedozIrVect&, TIEBitmap*) { throw EOutOfMemory("no room"); };
  EXPECT_THROW(v.CopyObjectsToBack(true), EOutOfMemory);
  IEVCopyObjectsHook = nullptr;
  EXPECT_FALSE(v.CopyAntialias());
}

TEST(VectDraw, CopyObjectsToBackAndHitTests) {
  TRedozIrVect v(nullptr);
  v.GetIEBitmap()->Allocate(64, 64, ie8g);
  v.GetIEBitmap()->Fill(255);
  TIEVObjectRecord& r = *v.GetObjectRecord(v.AddNewObject());
  r.Kind = ievkBOX;
  r.x1 = r.y1 = 8, r.x2 = r.y2 = 23;
  r.BrushStyle = bsSolid;
  r.BrushColor = clBlack;
  v.CopyObjectsToBack(false);
  EXPECT_EQ(v.GetIEBitmap()->PixelFormat(), ie8g);
  EXPECT_EQ(v.GetIEBitmap()->GetScanline(15)[15], 0);
  EXPECT_EQ(v.GetIEBitmap()->GetScanline(40)[40], 255);
  struct Hit {
    double x, y, d;
  } hits[] = {{15, 15, 0}, {30, 15, 6.5}, {8, 40, 16.5}};
  for (const Hit& h : hits) EXPECT_NEAR(v.GetObjectDistance(0, h.x, h.y), h.d, 1e-9) << h.x << "," << h.y;
  EXPECT_EQ(v.GetObjectDistance(7, 0, 0), std::numeric_limits<double>::max());
}

// On a zoomed view the objects keep to their image pixels: a ruler measures
// its stored length, a bitmap covers its last pixel, a solid box ANDs the
// pixels it lies on; polyline points scaled onto half pixels go to the even one.
TEST(VectDraw, ZoomedObjectsKeepToTheirImagePixels) {
  TRedozIrVect v(nullptr);
  v.GetIEBitmap()->Allocate(100, 100, ie24RGB);
  v.Update();
  TBitmap t(600, 600, pf24bit);
  auto draw = [&](TIEVObjectRecord& r) { return v.DrawObject(&t, r, 0, nullptr, false, 1, true, false); };
  auto add = [&](TIEVObjectKind kind, int x1, int y1, int x2, int y2) -> TIEVObjectRecord& {
    TIEVObjectRecord& r = *v.GetObjectRecord(v.AddNewObject());
    r.Kind = kind;
    r.x1 = x1, r.y1 = y1, r.x2 = x2, r.y2 = y2;
    return r;
  };
  v.SetZoom(150);  // 3 image pixels are 4 or 5 on the screen
  {
    TIEVObjectRecord& ruler = add(ievkRULER, 0, 10, 3, 10);
    Recorder rec;
    ASSERT_TRUE(draw(ruler));
    ASSERT_EQ(rec.Of(TIEVDrawOp::TextOut).size(), 1u);
    EXPECT_EQ(rec.Of(TIEVDrawOp::TextOut)[0].Text, "3.00 pixels");
  }
  v.SetZoom(200);
  {
    TIEVObjectRecord& bmp = add(ievkBITMAP, 10, 10, 19, 19);
    bmp.BitmapIdx = 0;
    Recorder rec;
    ASSERT_TRUE(draw(bmp));
    ASSERT_EQ(rec.Of(TIEVDrawOp::Bitmap).size(), 1u);
    const int x20 = static_cast<int>(v.ObjXBmp2Scr(20)), y20 = static_cast<int>(v.ObjYBmp2Scr(20));
    EXPECT_EQ(rec.Of(TIEVDrawOp::Bitmap)[0].Points[1], (TPoint{x20 - 1, y20 - 1}));
  }
  {
    TIEVObjectRecord& poly = add(ievkPOLYLINE, 10, 10, 11, 11);
    poly.Points = {{0, 0}, {1, 1}, {2, 2}};
    poly.PointsBox = {0, 0, 2, 2};
    ASSERT_TRUE(v.DrawObject(&t, poly, 0, nullptr, false, 1, false, false));
    EXPECT_EQ(poly.DrawnPoints, (std::vector<TPoint>{{10, 10}, {10, 10}, {11, 11}}));
  }
  v.RemoveAllObjects();
  v.SetViewXY(0, 0);
  t.Canvas()->Brush.Style = bsSolid;
  t.Canvas()->Brush.Color = clWhite;
  t.Canvas()->FillRect(TRect{0, 0, 600, 600});
  t.Canvas()->Brush.Color = clBlack;
  t.Canvas()->FillRect(TRect{0, 0, 16, 16});  // where the box's image pixels would be
  TIEVObjectRecord& box = add(ievkBOX, 10, 10, 14, 14);
  box.SolidFill = 1;
  box.BrushColor = clRed;
  v.DrawObjects(&t, false, false);
  const int cx = static_cast<int>(v.ObjXBmp2Scr(12)), cy = static_cast<int>(v.ObjYBmp2Scr(12));
  ASSERT_TRUE(cx > 16 && cy > 16 && cx < 600 && cy < 600) << cx << "," << cy;
  EXPECT_EQ(t.Canvas()->Pixels(cx, cy), clRed);
}

// The grips take the view's grip look and size, which its own selection shares.
TEST(VectDraw, GripsTakeTheViewsGripLook) {
  TRedozIrVect v(nullptr);
  v.GetIEBitmap()->Allocate(50, 50, ie24RGB);
  v.Update();
  TIEVObjectRecord& r = *v.GetObjectRecord(v.AddNewObject());
  r.Kind = ievkBOX;
  r.x1 = r.y1 = 30, r.x2 = r.y2 = 45;
  v.AddToSelection(0, false);
  TRedozIrView& view = v;
  view.GripSize = 8;
  view.GripShape = 0;
  view.GripBrushColor = clRed;
  TBitmap t(300, 300, pf24bit);
  v.DrawGrips(t.Canvas());
  const int x = static_cast<int>(v.ObjXBmp2Scr(30)), y = static_cast<int>(v.ObjYBmp2Scr(30));
  ASSERT_TRUE(x >= 10 && y >= 10) << x << "," << y;
  EXPECT_EQ(t.Canvas()->Pixels(x + 6, y + 6), clRed);  // a square's corner, outside a circle
  int h = -1;
  EXPECT_EQ(v.HitGrip(x - 7, y - 7, h), 1);
  EXPECT_EQ(h, 0);
  // A grip picture replaces the shape and gives the grip its size.
  TBitmap blue(6, 6, pf24bit);
  blue.Canvas()->Brush.Color = clBlue;
  blue.Canvas()->FillRect(TRect{0, 0, 6, 6});
  v.SetObjGripImage(&blue);
  EXPECT_EQ(view.GripSize, 3);
  v.DrawGrips(t.Canvas());
  EXPECT_EQ(t.Canvas()->Pixels(x - 3, y - 3), clBlue);
  EXPECT_EQ(t.Canvas()->Pixels(x + 2, y + 2), clBlue);
}

// Objects far past any screen, at the smallest and largest zooms, draw,
// hit-test and show their grips without raising.
TEST(VectDraw, AbsurdCoordinatesDrawAtAnyZoom) {
  constexpr int kFar = 2000000000;
  for (double zoom : {0.01, 100.0, 1e9}) {
    TRedozIrVect v(nullptr);
    v.GetIEBitmap()->Allocate(1, 1, ie24RGB);
    v.Update();
    v.SetZoom(zoom);
    for (int kind = ievkLINE; kind <= ievkLINELABEL; ++kind) {
      TIEVObjectRecord& r = *v.GetObjectRecord(v.AddNewObject());
      r.Kind = static_cast<std::uint8_t>(kind);
      r.x1 = -kFar, r.y1 = kFar, r.x2 = kFar, r.y2 = -kFar;
      r.Text = "ab";
      r.Font = TIELogFont{};
      r.Font->lfHeight = -kFar;  // clamped to what the platform draws
      r.PenWidth = kFar;
      r.Points = {{-kFar, -kFar}, {kFar, kFar}};
      r.PointsBox = {-kFar, -kFar, kFar, kFar};
      r.AnglePoints = {TPoint{-kFar, kFar}, TPoint{kFar, kFar}, TPoint{kFar, -kFar}};
      r.Transparency = 100;
      r.Shadow.Enabled = kind % 2;
      v.AddToSelection(v.ObjectsCount() - 1, false);
    }
    TBitmap t(64, 64, pf24bit);
    int h = -1;
    EXPECT_NO_THROW({
      v.DrawObjects(&t, false, true);
      v.DrawObjects(&t, true, false);
      v.DrawGrips(t.Canvas());
      v.FindObjectAt(5, 5);
      v.HitGrip(5, 5, h);
      v.GetIEBitmap()->Allocate(64, 64, ie24RGB);
      v.CopyObjectsToBack(true);
    }) << zoom;
  }
}

// Every kind, aliased, at 100 % and 250 % (pen width 1: 1 and 3 pixels on
// the screen, centred on the object's pixel; an even width leans up and left):
// pixels on and just off the outlines, worked out from the corners.
TEST(VectDraw, EveryKindsPixelsAtTwoZooms) {
  struct Px {
    int x, y;
    TColor c;
  };
  struct Case {
    const char* what;
    std::function<void(TIEVObjectRecord&)> set;
    std::vector<Px> at100, at250;
  };
  constexpr TColor W = clWhite, R = clRed, G = clLime;
  const std::vector<Case> cases = {
      {"line of width 2",
       [](TIEVObjectRecord& r) {
         r.Kind = ievkLINE, r.x1 = 10, r.y1 = 20, r.x2 = 60, r.y2 = 20, r.PenWidth = 2;
       },
       {{30, 18, W}, {30, 19, R}, {30, 20, R}, {30, 21, W}},
       {{75, 47, W}, {75, 48, R}, {75, 52, R}, {75, 53, W}}},
      {"box",
       [](TIEVObjectRecord& r) { r.Kind = ievkBOX, r.x1 = 10, r.y1 = 10, r.x2 = 40, r.y2 = 30; },
       {{9, 20, W}, {10, 20, R}, {11, 20, G}, {40, 20, R}, {41, 20, W}},
       {{23, 50, W}, {24, 50, R}, {26, 50, R}, {27, 50, G}, {101, 50, R}, {102, 50, W}}},
      {"ellipse",
       [](TIEVObjectRecord& r) { r.Kind = ievkELLIPSE, r.x1 = 10, r.y1 = 10, r.x2 = 50, r.y2 = 30; },
       {{9, 20, W}, {10, 20, R}, {30, 20, G}, {50, 20, R}, {51, 20, W}},
       {{23, 50, W}, {24, 50, R}, {75, 50, G}, {126, 50, R}, {127, 50, W}}},
      {"arc from 0 to 2 pi",  // the arc's box is one pixel wider than the ellipse's on each side
       [](TIEVObjectRecord& r) {
         r.Kind = ievkARC, r.x1 = 10, r.y1 = 10, r.x2 = 50, r.y2 = 30, r.ArcStart = 0, r.ArcEnd = 2 * M_PI;
       },
       {{9, 21, W}, {10, 21, R}, {30, 21, W}, {52, 21, R}, {53, 21, W}},
       {{23, 51, W}, {24, 51, R}, {75, 51, W}, {128, 51, R}, {129, 51, W}}},
      {"text's box",
       [](TIEVObjectRecord& r) {
         r.Kind = ievkTEXT, r.x1 = 10, r.y1 = 40, r.x2 = 80, r.y2 = 60, r.Text = " ";
       },
       {{9, 50, W}, {10, 50, R}, {11, 50, G}, {80, 50, R}, {81, 50, W}},
       {{23, 125, W}, {24, 125, R}, {27, 125, G}, {201, 125, R}, {202, 125, W}}},
      {"ruler's line and end strokes (the record's width)",
       [](TIEVObjectRecord& r) { r.Kind = ievkRULER, r.x1 = 10, r.y1 = 80, r.x2 = 90, r.y2 = 80; },
       {{50, 79, W}, {50, 80, R}, {10, 72, R}, {10, 70, W}},
       {{125, 199, W}, {125, 200, R}, {25, 180, R}, {25, 176, W}}},
      {"open polyline",
       [](TIEVObjectRecord& r) {
         r.Kind = ievkPOLYLINE, r.x1 = 10, r.y1 = 100, r.x2 = 50, r.y2 = 140;
         r.Points = {{0, 0}, {40, 0}, {40, 40}};
         r.PointsBox = {0, 0, 40, 40};
       },
       {{30, 99, W}, {30, 100, R}, {30, 101, W}, {50, 120, R}, {51, 120, W}},
       {{75, 248, W}, {75, 249, R}, {75, 251, R}, {75, 252, W}, {126, 300, R}, {127, 300, W}}},
      {"angle's arms (the record's width)",
       [](TIEVObjectRecord& r) {
         r.Kind = ievkANGLE;
         r.AnglePoints = {TPoint{110, 90}, TPoint{140, 90}, TPoint{140, 120}};
       },
       {{125, 89, W}, {125, 90, R}, {125, 91, W}, {139, 110, W}, {140, 110, R}},
       {{312, 224, W}, {312, 225, R}, {312, 226, W}, {349, 280, W}, {350, 280, R}}},
      {"label box on the outer side of its start",
       [](TIEVObjectRecord& r) {
         r.Kind = ievkLINELABEL, r.x1 = 70, r.y1 = 100, r.x2 = 120, r.y2 = 140, r.Text = "ab";
       },
       {{70, 95, R}, {71, 95, W}, {65, 100, R}, {65, 101, W}},
       {{175, 240, R}, {176, 240, W}, {165, 250, R}, {165, 251, W}}},
      {"bitmap to the end of its last pixel",
       [](TIEVObjectRecord& r) { r.Kind = ievkBITMAP, r.x1 = 10, r.y1 = 10, r.x2 = 19, r.y2 = 19; },
       {{9, 9, W}, {10, 10, R}, {19, 19, R}, {20, 20, W}},
       {{24, 24, W}, {25, 25, R}, {49, 49, R}, {50, 50, W}}},
  };
  TIEBitmap red(10, 10, ie24RGB);
  red.Fill(static_cast<double>(clRed));
  for (int zoom : {100, 250}) {
    TRedozIrVect v(nullptr);
    v.SetBounds(0, 0, 520, 420);
    v.GetIEBitmap()->Allocate(200, 160, ie24RGB);
    v.Update();
    v.SetZoom(zoom);
    v.SetObjAntialias(false);
    ASSERT_EQ(v.ObjXBmp2Scr(0), 0);
    ASSERT_EQ(v.ObjYBmp2Scr(0), 0);
    TIEVObjectRecord& t = *v.GetObjectRecord(IEV_TEMPLATE);
    t.PenColor = clRed;
    t.BrushColor = G;
    t.BrushStyle = bsSolid;
    t.RulerType = 2;
    for (const Case& c : cases) {
      TBitmap target(520, 420, pf24bit);
      target.Canvas()->Brush.Color = W;
      target.Canvas()->FillRect(TRect{0, 0, 520, 420});
      v.RemoveAllObjects();
      const int h = v.AddNewObject();
      TIEVObjectRecord& r = *v.GetObjectRecord(h);
      c.set(r);
      if (r.Kind == ievkBITMAP) v.SetObjectBitmap(h, &red);
      ASSERT_TRUE(v.DrawObject(&target, r, h, nullptr, false, 1, true, false)) << c.what;
      for (const Px& p : zoom == 100 ? c.at100 : c.at250)
        EXPECT_EQ(target.Canvas()->Pixels(p.x, p.y), p.c)
            << c.what << " at " << zoom << " %: " << p.x << "," << p.y;
    }
  }
}

// Shapes along an axis sit on it: shape 1 points into the line from its
// end, shape 2 out of it (width 10 across, height 20 along).
TEST(VectDraw, LineEndShapesOnAxesSitOnTheLine) {
  Fixture f;
  TIEVObjectRecord& left = f.Add(ievkLINE, 30, 30, 80, 30);
  left.BeginShape = 1;
  left.EndShape = 2;
  TIEVObjectRecord& up = f.Add(ievkLINE, 30, 80, 30, 40);
  up.EndShape = 2;
  Recorder rec;
  f.Draw(left);
  f.Draw(up);
  auto shapes = rec.Of(TIEVDrawOp::Polygon);
  ASSERT_EQ(shapes.size(), 3u);
  EXPECT_EQ(shapes[0].Points, (std::vector<TPoint>{{50, 30}, {30, 25}, {30, 35}}));
  EXPECT_EQ(shapes[1].Points, (std::vector<TPoint>{{80, 30}, {60, 35}, {60, 25}}));
  EXPECT_EQ(shapes[2].Points, (std::vector<TPoint>{{30, 40}, {35, 60}, {25, 60}}));
}

// Through the work bitmap (a shadow) the alpha is coverage times the
// transparency at every value: a white box at 100 over black gives grey
// 255 x 100 / 256 (the render mixes in 256ths).
TEST(VectDraw, TransparentObjectsThroughTheWorkBitmapKeepTheirAlpha) {
  for (TIEVObjectKind kind : {ievkBOX, ievkTEXT}) {
    TRedozIrVect v(nullptr);
    v.GetIEBitmap()->Allocate(80, 60, ie24RGB);
    v.GetIEBitmap()->Fill(0);
    TIEVObjectRecord& r = *v.GetObjectRecord(v.AddNewObject());
    r.Kind = kind;
    r.x1 = 10, r.y1 = 10, r.x2 = 40, r.y2 = 30;
    r.Text = " ";
    r.PenColor = r.BrushColor = clWhite;
    r.BrushStyle = bsSolid;
    r.Transparency = 100;
    r.Shadow.Enabled = kind == ievkBOX;
    r.Shadow.OffsetX = r.Shadow.OffsetY = 30;  // far from the pixels looked at
    v.CopyObjectsToBack(false);
    for (TPoint p : {TPoint{10, 20}, TPoint{20, 20}, TPoint{40, 12}})
      EXPECT_EQ(reinterpret_cast<const TRGB*>(v.GetIEBitmap()->GetScanline(p.Y))[p.X].r, 255 * 100 / 256)
          << kind << " " << p.X << "," << p.Y;
    EXPECT_EQ(reinterpret_cast<const TRGB*>(v.GetIEBitmap()->GetScanline(20))[5].r, 0);
  }
}

// A memo's alignment reaches the text control: the ink sits left, right or
// in the middle of its 180 pixels.
TEST(VectDraw, MemosDrawWithTheirAlignment) {
  for (int align : {0, 1, 2}) {
    Fixture f;
    f.target.Canvas()->Brush.Color = clWhite;
    f.target.Canvas()->FillRect(TRect{0, 0, 200, 200});
    TIEVObjectRecord& r = f.Add(ievkMEMO, 10, 10, 189, 40);
    r.Text = "ab";
    r.TextAlign = static_cast<std::uint8_t>(align);
    ASSERT_TRUE(f.Draw(r));
    int lo = 200, hi = -1;
    for (int y = 10; y <= 40; ++y)
      for (int x = 12; x <= 187; ++x)
        if (f.target.Canvas()->Pixels(x, y) != clWhite) lo = std::min(lo, x), hi = std::max(hi, x);
    ASSERT_LE(lo, hi) << align;
    const int left = align == 0   ? 10
                     : align == 1 ? 150
                                  : 80,
              right = align == 0   ? 40
                      : align == 1 ? 190
                                   : 120;
    EXPECT_GE(lo, left) << align;
    EXPECT_LE(hi, right) << align;
  }
}

// The ruler being created tells what it covered: at 200 % its end strokes
// reach 18 pixels from the line, past the label's margin of 15.
TEST(VectDraw, RulerBeingCreatedCoversItsEndStrokes) {
  TRedozIrVect v(nullptr);
  v.SetBounds(0, 0, 300, 200);
  v.GetIEBitmap()->Allocate(100, 100, ie24RGB);
  v.Update();
  v.SetZoom(200);
  TBitmap t(300, 200, pf24bit);
  const TRect r = v.DrawNewRulerOn(t.Canvas(), TPoint{20, 50}, TPoint{120, 50});
  EXPECT_EQ(r.Top, 32);
  EXPECT_GE(r.Bottom, 68);
}

// A ruler drawn right to left reads left to right with upright labels (type
// 1 then starts at its end); the draw events frame the built-in drawing; the
// target pen width follows the zoom only with ZoomObjectsWidth.
TEST(VectDraw, UprightLabelsDrawEventsAndZoomedWidths) {
  for (bool upright : {true, false}) {
    Fixture f;
    f.v.UprightLabels = upright;
    TIEVObjectRecord& r = f.Add(ievkRULER, 150, 100, 50, 100);
    r.RulerType = 1;
    Recorder rec;
    f.Draw(r);
    ASSERT_EQ(rec.Of(TIEVDrawOp::TextOut).size(), 1u);
    EXPECT_EQ(rec.Of(TIEVDrawOp::TextOut)[0].Points[0], (TPoint{upright ? 50 : 150, 100})) << upright;
  }
  Fixture f;
  TIEVObjectRecord& line = f.Add(ievkLINE, 10, 10, 60, 10);
  int after = 0;
  f.v.OnBeforeDrawObject = [](TObject*, int, TBitmap*, const TRect&, bool, bool& handled) { handled = true; };
  f.v.OnAfterDrawObject = [&](TObject*, int, TBitmap*, const TRect&, bool, bool&) { ++after; };
  {
    Recorder rec;
    EXPECT_TRUE(f.Draw(line));
    EXPECT_TRUE(rec.ops.empty());
    EXPECT_EQ(after, 1);
  }
  f.v.OnBeforeDrawObject = nullptr;
  f.v.SetBounds(0, 0, 200, 200);
  f.v.GetIEBitmap()->Allocate(50, 50, ie24RGB);
  f.v.Update();
  f.v.SetZoom(250);
  for (bool zoomed : {true, false}) {
    f.v.ZoomObjectsWidth = zoomed;
    Recorder rec;
    f.v.DrawObject(&f.target, line, 0, nullptr, false, 1, true, false);
    ASSERT_EQ(rec.Of(TIEVDrawOp::Line).size(), 1u);
    EXPECT_EQ(rec.Of(TIEVDrawOp::Line)[0].PenWidth, zoomed ? 3 : 1);
  }
}

}  // namespace
