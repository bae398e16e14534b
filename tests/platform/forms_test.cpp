#include <gtest/gtest.h>

#include "platform/buttons.h"
#include "platform/keys.h"
#include "recorder.h"

using namespace redozir;

namespace {

TEST(Forms, AControlHasAWindowOnlyUnderAShownForm) {
  THeadlessSession s;
  TRecorder loose(nullptr);
  EXPECT_FALSE(loose.HandleAllocated());
  EXPECT_THROW(loose.Handle(), EInvalidOperation);
  loose.Invalidate();  // no window: nothing to do, nothing raised
  loose.Update();
  EXPECT_EQ(loose.Canvas()->ClipRect(), TRect{});

  auto* form = new TForm(nullptr);
  auto* rec = new TRecorder(form);
  rec->SetParent(form);
  EXPECT_FALSE(rec->HandleAllocated()) << "the form is not shown";
  form->Show();
  EXPECT_TRUE(rec->HandleAllocated());
  HWND h = rec->Handle();
  rec->SetParent(nullptr);
  EXPECT_FALSE(rec->HandleAllocated());
  EXPECT_FALSE(IsWindow(h));
  delete rec;
  delete form;
}

TEST(Forms, PaintedPixelsAreReadableAfterThePump) {
  TFormFixture f;
  EXPECT_EQ(f.rec->Paints, 1);
  EXPECT_EQ(Inject::Pixel(f.rec, 0, 0), clRed);
  EXPECT_EQ(Inject::Pixel(f.rec, 99, 79), clRed);
  EXPECT_EQ(f.form->Surface()->GetPixel(19, 10), ColorToRGB(clBtnFace)) << "left of the control";
  EXPECT_EQ(f.form->Surface()->GetPixel(120, 10), ColorToRGB(clBtnFace)) << "right of the control";

  f.rec->Fill = clBlue;
  f.rec->InvalidateRect(Rect(10, 10, 20, 20), false);
  Application->ProcessMessages();
  EXPECT_EQ(Inject::Pixel(f.rec, 15, 15), clBlue);
  EXPECT_EQ(Inject::Pixel(f.rec, 25, 15), clRed) << "outside the invalid area the paint is clipped";
  f.rec->Fill = clLime;
  f.rec->Repaint();  // paints at once, no pump needed
  EXPECT_EQ(Inject::Pixel(f.rec, 50, 50), clLime);
  // A control that paints nothing shows its colour, also after its parent
  // painted over it.
  auto* plain = new TControl(f.form);
  plain->SetParent(f.form);
  plain->SetBounds(150, 100, 20, 20);
  plain->SetColor(clNavy);
  Application->ProcessMessages();
  f.form->Invalidate();
  Application->ProcessMessages();
  EXPECT_EQ(f.form->Surface()->GetPixel(160, 110), ColorToRGB(clNavy));
}

TEST(Forms, CanvasOutsideAPaintDrawsClippedToTheClientArea) {
  TFormFixture f;
  f.rec->SetBorderStyle(bsSingle);
  ShowScrollBar(f.rec->Handle(), SB_VERT, true);
  Application->ProcessMessages();
  TControlCanvas* c = f.rec->Canvas();
  EXPECT_EQ(c->Origin(), (TPoint{22, 12}));
  EXPECT_EQ(c->ClipRect(), Rect(0, 0, 79, 76));
  EXPECT_EQ(c->DeviceClip(), Rect(22, 12, 101, 88));
  // The border and the bar were painted by the non-client paint.
  EXPECT_EQ(f.form->Surface()->GetPixel(20, 10), ColorToRGB(clBtnShadow));
  // The bar: arrow box at the top, then the thumb (position 0), then the track.
  EXPECT_EQ(f.form->Surface()->GetPixel(110, 20), ColorToRGB(clBtnFace));
  EXPECT_EQ(f.form->Surface()->GetPixel(110, 60), ColorToRGB(clScrollBar));
}

// A display that records the rectangles it was asked to show.
class TPresentLog : public TBackEnd {
 public:
  std::vector<std::vector<TRect>> Shown;
  void PresentChanged(TForm*, const std::vector<TRect>& changed) override { Shown.push_back(changed); }
};

TEST(Forms, TheDisplayShowsOnlyWhatWasDrawnOrPainted) {
  TFormFixture f;
  TPresentLog log;
  Application->SetBackEnd(&log);
  using Rects = std::vector<std::vector<TRect>>;
  auto shown = [&] {
    log.Shown.clear();
    Application->ProcessMessages();
    return log.Shown;
  };
  TCanvas* c = f.rec->Canvas();
  EXPECT_EQ(shown(), Rects{}) << "taking the canvas draws nothing";
  // The recorder's client starts at (20, 10) on the surface; drawing past its
  // client is cut to it.
  c->Brush.Color = clBlue;
  c->FillRect({5, 5, 15, 15});
  c->FillRect({95, 70, 130, 90});
  EXPECT_EQ(shown(), (Rects{{Rect(25, 15, 35, 25), Rect(115, 80, 120, 90)}}));
  // Overlapping changes merge into their bounding box.
  c->FillRect({0, 0, 10, 10});
  c->FillRect({5, 5, 12, 20});
  EXPECT_EQ(shown(), (Rects{{Rect(20, 10, 32, 30)}}));
  TBitmap picture(4, 3, pf24bit);
  BitBlt(c, 50, 40, 4, 3, picture.Canvas(), 0, 0, SRCCOPY);
  c->Pen.Color = clRed;
  c->MoveTo(0, 60);
  c->LineTo(8, 60);
  EXPECT_EQ(shown(), (Rects{{Rect(70, 50, 74, 53), Rect(20, 70, 28, 71)}}));
  // A paint shows the part that was invalid.
  f.rec->InvalidateRect(Rect(50, 50, 60, 60), false);
  EXPECT_EQ(shown(), (Rects{{Rect(70, 60, 80, 70)}}));
  Application->SetBackEnd(nullptr);
}

TEST(Forms, ShowFiresCreateResizeActivateAndPositionCentres) {
  THeadlessSession s;
  std::vector<std::string> events;
  auto* form = new TForm(nullptr);
  form->OnCreate = [&](TObject*) { events.push_back("create"); };
  form->OnShow = [&](TObject*) { events.push_back("show"); };
  form->OnActivate = [&](TObject*) { events.push_back("activate"); };
  form->OnResize = [&](TObject*) { events.push_back("resize"); };
  form->OnDestroy = [&](TObject*) { events.push_back("destroy"); };
  form->SetPosition(poScreenCenter);
  form->SetBounds(0, 0, 400, 300);
  form->Show();
  EXPECT_EQ(form->Left(), (1920 - 400) / 2);
  EXPECT_EQ(form->Top(), (1080 - 300) / 2);
  EXPECT_TRUE(form->Active());
  EXPECT_EQ(Screen->ActiveForm(), form);
  Inject::Resize(form, 500, 350);
  EXPECT_EQ(form->Surface()->Width(), 500);
  EXPECT_EQ(form->ClientHeight(), 350);
  delete form;
  EXPECT_EQ(events, (std::vector<std::string>{"create", "resize", "show", "activate", "resize", "destroy"}));
}

struct TDialog {
  TForm* form;
  TButton* ok;
  TButton* cancel;
  TRecorder* other;
  TDialog() {
    form = new TForm(nullptr);
    ok = new TButton(form);
    ok->SetParent(form);
    ok->SetBounds(10, 10, 75, 25);
    ok->SetDefault(true);
    ok->SetModalResult(mrOk);
    cancel = new TButton(form);
    cancel->SetParent(form);
    cancel->SetBounds(100, 10, 75, 25);
    cancel->SetCancel(true);
    cancel->SetModalResult(mrCancel);
    other = new TRecorder(form);
    other->SetParent(form);
    other->SetBounds(10, 50, 50, 50);
  }
  ~TDialog() { delete form; }
};

TEST(Forms, ShowModalReturnsTheResultOfTheKeyOrButtonThatEndedIt) {
  struct TCase {
    const char* name;
    std::function<void(TDialog&)> act;
    TModalResult expected;
  };
  const TCase cases[] = {
      {"Enter reaches the default button", [](TDialog&) { Inject::Key(VK_RETURN); }, mrOk},
      {"Esc reaches the cancel button", [](TDialog&) { Inject::Key(VK_ESCAPE); }, mrCancel},
      {"a click on a button", [](TDialog& d) { Inject::Click(d.ok, 5, 5); }, mrOk},
      {"Close", [](TDialog& d) { d.form->Close(); }, mrCancel},
      {"the window's close box", [](TDialog& d) { Inject::Close(d.form); }, mrCancel},
      {"ModalResult set by code", [](TDialog& d) { d.form->SetModalResult(mrRetry); }, mrRetry},
  };
  for (const TCase& c : cases) {
    THeadlessSession s;
    TDialog d;
    d.form->SetActiveControl(d.other);
    TTimer timer(nullptr);
    timer.SetInterval(100);
    timer.SetOnTimer([&](TObject*) {
      timer.SetEnabled(false);
      c.act(d);
    });
    EXPECT_EQ(d.form->ShowModal(), c.expected) << c.name;
    EXPECT_FALSE(d.form->Visible()) << c.name;
    EXPECT_FALSE(d.form->Modal()) << c.name;
  }
}

TEST(Forms, EnterGoesToAFocusedControlThatWantsIt) {
  THeadlessSession s;
  TDialog d;
  class TWants : public TRecorder {
   public:
    using TRecorder::TRecorder;
    void WndProc(TMessage& m) override {
      if (m.Msg == WM_GETDLGCODE) {
        m.Result = DLGC_WANTALLKEYS;
        return;
      }
      TRecorder::WndProc(m);
    }
  };
  auto* w = new TWants(d.form);
  w->SetParent(d.form);
  w->SetBounds(100, 50, 50, 50);
  int clicks = 0;
  d.ok->OnClick = [&](TObject*) { ++clicks; };
  d.form->Show();
  w->SetFocus();
  w->Keep = {WM_KEYDOWN};
  w->Clear();
  Inject::Key(VK_RETURN);
  EXPECT_EQ(clicks, 0);
  EXPECT_EQ(w->Log.size(), 1u);
  d.other->SetFocus();
  Inject::Key(VK_RETURN);
  EXPECT_EQ(clicks, 1);
  Inject::Key(VK_RETURN, ssCtrl);
  EXPECT_EQ(clicks, 1) << "a modifier keeps Enter from the default button";
}

TEST(Forms, TabMovesTheFocusAndFocusMessagesPair) {
  THeadlessSession s;
  TDialog d;
  d.other->TabStop = true;
  d.form->Show();
  d.ok->SetFocus();
  std::vector<std::string> order;
  d.ok->OnExit = [&](TObject*) { order.push_back("ok exit"); };
  d.cancel->OnEnter = [&](TObject*) { order.push_back("cancel enter"); };
  Inject::Key(VK_TAB);
  EXPECT_TRUE(d.cancel->Focused());
  EXPECT_EQ(order, (std::vector<std::string>{"ok exit", "cancel enter"}));
  Inject::Key(VK_TAB, ssShift);
  EXPECT_TRUE(d.ok->Focused());
  d.other->SetEnabled(false);
  EXPECT_FALSE(d.other->CanFocus());
  EXPECT_THROW(d.other->SetFocus(), EInvalidOperation);
}

TEST(Forms, TheKeysGoBackToTheFormActiveBeforeOneThatLeavesNeverToAPopup) {
  TFormFixture a;  // its recorder has the focus
  a.rec->SetFocus();
  TDialog b;
  b.form->Show();
  EXPECT_TRUE(b.form->Active());
  // A pop-up shown over both, made last: it takes neither the activation
  // nor the keys.
  TForm popup(nullptr);
  popup.NoActivate = true;
  popup.Show();
  EXPECT_TRUE(b.form->Active());
  EXPECT_FALSE(popup.Active());
  b.form->Hide();
  EXPECT_TRUE(a.form->Active());
  EXPECT_TRUE(a.rec->Focused());
  a.rec->Keep = {WM_KEYDOWN};
  a.rec->Clear();
  Inject::Key('X');
  EXPECT_EQ(a.rec->Msgs(), (std::vector<UINT>{WM_KEYDOWN}));
  // A modal form hands them back to the form that opened it.
  b.form->Show();
  a.rec->SetFocus();
  TTimer timer(nullptr);
  timer.SetInterval(10);
  timer.SetOnTimer([&](TObject*) {
    timer.SetEnabled(false);
    Inject::Key(VK_ESCAPE);
  });
  TDialog modal;
  EXPECT_EQ(modal.form->ShowModal(), mrCancel);
  EXPECT_TRUE(a.form->Active());
  EXPECT_TRUE(a.rec->Focused());
  // A press in a form that is not active activates it first.
  b.ok->SetFocus();
  ASSERT_TRUE(b.form->Active());
  Inject::Click(a.rec, 5, 5);
  EXPECT_TRUE(a.form->Active());
  EXPECT_FALSE(b.form->Active());
  popup.Hide();
  EXPECT_TRUE(a.rec->Focused());
}

TEST(Forms, ReleaseFreesTheFormAtTheNextPumpAndCloseHidesIt) {
  THeadlessSession s;
  auto* form = new TForm(nullptr);
  bool destroyed = false;
  form->OnDestroy = [&](TObject*) { destroyed = true; };
  form->Show();
  form->Close();
  EXPECT_FALSE(form->Visible());
  EXPECT_FALSE(destroyed);
  form->OnClose = [](TObject*, TCloseAction& a) { a = caFree; };
  form->Show();
  form->Close();
  EXPECT_FALSE(destroyed);
  Application->ProcessMessages();
  EXPECT_TRUE(destroyed);
}

TEST(Forms, ShowingAModalFormTwiceIsRefused) {
  THeadlessSession s;
  TForm form(nullptr);
  form.Show();
  EXPECT_THROW(form.ShowModal(), EInvalidOperation);
}

}  // namespace

namespace {

TEST(Forms, RunEndsWhenTheMainFormCloses) {
  THeadlessSession s;
  auto* form = new TForm(nullptr);
  Application->SetMainForm(form);
  TTimer timer(nullptr);
  timer.SetInterval(100);
  timer.SetOnTimer([&](TObject*) { form->Close(); });
  Application->Run();
  EXPECT_TRUE(Application->Terminated());
  EXPECT_FALSE(form->Visible());
  Application->ResetTerminated();
  delete form;
  EXPECT_EQ(Application->MainForm(), nullptr);
}

TEST(Forms, UpdateWindowPaintsWithoutCallingTheControlsOwnUpdate) {
  TFormFixture f;
  class TOwnUpdate : public TRecorder {
   public:
    using TRecorder::TRecorder;
    int updates = 0;
    void Update() override { ++updates; }
  };
  auto* c = new TOwnUpdate(f.form);
  c->SetParent(f.form);
  c->SetBounds(0, 0, 10, 10);
  c->Fill = clYellow;
  UpdateWindow(c->Handle());
  EXPECT_EQ(c->updates, 0);
  EXPECT_EQ(c->Paints, 1);
  EXPECT_EQ(Inject::Pixel(c, 5, 5), clYellow);
}

}  // namespace

namespace {

TEST(Forms, AButtonPaintsItsFaceAndCaption) {
  THeadlessSession s;
  TDialog d;
  d.ok->SetCaption("OK");
  d.form->Show();
  Application->ProcessMessages();
  // Inside the frames, what is not face is the caption's (anti-aliased) ink.
  int ink = 0, face = 0;
  for (int y = 3; y < d.ok->ClientHeight() - 3; ++y)
    for (int x = 3; x < d.ok->ClientWidth() - 3; ++x) {
      TColor c = Inject::Pixel(d.ok, x, y);
      if (c == ColorToRGB(clBtnFace))
        ++face;
      else if (GetRValue(c) < 0x80)
        ++ink;
    }
  EXPECT_GT(face, 69 * 19 / 2);
  EXPECT_GT(ink, 5) << "the caption's ink";
  EXPECT_EQ(Inject::Pixel(d.ok, 0, 0), ColorToRGB(clWindowFrame)) << "the default button's frame";

  // "&" marks the accelerator: hidden, its letter underlined below the ink.
  auto rows = [&] {
    std::vector<std::vector<TColor>> r(static_cast<size_t>(d.ok->ClientHeight()));
    for (int y = 0; y < d.ok->ClientHeight(); ++y)
      for (int x = 0; x < d.ok->ClientWidth(); ++x)
        r[static_cast<size_t>(y)].push_back(Inject::Pixel(d.ok, x, y));
    return r;
  };
  const auto plain = rows();
  d.ok->SetCaption("&OK");
  Application->ProcessMessages();
  const auto marked = rows();
  int lastInk = -1;
  std::vector<int> changed;
  for (size_t y = 3; y + 3 < plain.size(); ++y) {
    for (size_t x = 3; x + 3 < plain[y].size(); ++x)
      if (GetRValue(plain[y][x]) < 0x80) lastInk = static_cast<int>(y);
    if (plain[y] != marked[y]) changed.push_back(static_cast<int>(y));
  }
  ASSERT_EQ(changed.size(), 1u);
  EXPECT_GT(changed[0], lastInk);
}

}  // namespace

namespace {

TEST(Forms, AlignedControlsDockAndFollowTheParentsSize) {
  THeadlessSession s;
  TForm form(nullptr);
  form.SetBounds(0, 0, 200, 150);
  auto make = [&](TAlign a, int w, int h) {
    auto* c = new TRecorder(&form);
    c->SetBounds(0, 0, w, h);
    c->SetParent(&form);
    c->SetAlign(a);
    return c;
  };
  TRecorder* top = make(alTop, 10, 20);
  TRecorder* bottom = make(alBottom, 10, 15);
  TRecorder* left = make(alLeft, 30, 10);
  TRecorder* right = make(alRight, 25, 10);
  TRecorder* client = make(alClient, 1, 1);
  form.Show();
  EXPECT_EQ(top->BoundsRect(), Rect(0, 0, 200, 20));
  EXPECT_EQ(bottom->BoundsRect(), Rect(0, 135, 200, 150));
  EXPECT_EQ(left->BoundsRect(), Rect(0, 20, 30, 135));
  EXPECT_EQ(right->BoundsRect(), Rect(175, 20, 200, 135));
  EXPECT_EQ(client->BoundsRect(), Rect(30, 20, 175, 135));
  Inject::Resize(&form, 300, 200);
  EXPECT_EQ(client->BoundsRect(), Rect(30, 20, 275, 185));
  top->Hide();
  EXPECT_EQ(client->BoundsRect(), Rect(30, 0, 275, 185)) << "a hidden control gives its room back";
}

}  // namespace
