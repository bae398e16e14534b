// Test helpers: a control that records the messages it receives and paints
// itself in one colour, on a shown form.
#pragma once

#include <vector>

#include "platform/application.h"
#include "platform/exceptions.h"
#include "platform/forms.h"
#include "platform/inject.h"
#include "platform/surface_fill.h"

using namespace redozir;

struct TRecorded {
  UINT Msg;
  WPARAM WParam;
  LPARAM LParam;
};

class TRecorder : public TControl {
 public:
  explicit TRecorder(TComponent* owner) : TControl(owner) {}
  std::vector<TRecorded> Log;
  // Messages to keep (all when empty).
  std::vector<UINT> Keep;
  TColor Fill = clRed;
  int Paints = 0;

  std::vector<UINT> Msgs() const {
    std::vector<UINT> v;
    for (const auto& r : Log) v.push_back(r.Msg);
    return v;
  }
  void Clear() { Log.clear(); }

 protected:
  void WndProc(TMessage& m) override {
    bool keep = Keep.empty();
    for (UINT k : Keep) keep = keep || k == m.Msg;
    if (keep) Log.push_back({m.Msg, m.WParam, m.LParam});
    TControl::WndProc(m);
  }
  void Paint() override {
    ++Paints;
    TControlCanvas* c = Canvas();
    TRect clip = c->DeviceClip();
    TPoint o = c->Origin();
    FillSurfaceRect(c->Bitmap(), Bounds(o.X, o.Y, ClientWidth(), ClientHeight()), Fill, &clip);
  }
};

// A shown 200 x 150 form with a recorder at (20, 10), 100 x 80.
struct TFormFixture {
  THeadlessSession session;
  TForm* form;
  TRecorder* rec;
  TFormFixture() {
    form = new TForm(nullptr);
    form->SetBounds(0, 0, 200, 150);
    rec = new TRecorder(form);
    rec->SetParent(form);
    rec->SetBounds(20, 10, 100, 80);
    form->Show();
    Application->ProcessMessages();
    rec->Clear();
  }
  ~TFormFixture() { delete form; }
};
