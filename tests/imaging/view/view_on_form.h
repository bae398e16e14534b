// Test helpers: a view that counts its paints and view events, shown on a
// headless form (or kept hidden), holding an image of a given size.
#pragma once

#include <vector>

#include "imaging/core/iebitmap.h"
#include "imaging/view/redozir_view.h"
#include "platform/application.h"
#include "platform/forms.h"
#include "platform/inject.h"

using namespace redozir;

class TProbeView : public TRedozIrView {
 public:
  explicit TProbeView(TComponent* AOwner) : TRedozIrView(AOwner) {
    OnViewChange = [this](TObject*, int change) { changes.push_back(change); };
    OnViewChanging = [this](TObject*, int change, double v) { changing.push_back({change, v}); };
  }
  struct TChanging {
    int change;
    double value;
  };
  int paints = 0;
  std::vector<int> changes;
  std::vector<TChanging> changing;
  void ClearCounts() {
    paints = 0;
    changes.clear();
    changing.clear();
  }

 protected:
  void Paint() override { ++paints; }
};

// A view of Width x Height at (10, 10) on a shown 400 x 300 form, with an
// ImageW x ImageH picture, updated once shown.
struct TViewOnForm {
  THeadlessSession session;
  TForm* form;
  TProbeView* view;
  TViewOnForm(int Width, int Height, int ImageW, int ImageH) {
    form = new TForm(nullptr);
    form->SetBounds(0, 0, 400, 300);
    view = new TProbeView(form);
    view->SetParent(form);
    view->SetBounds(10, 10, Width, Height);
    view->GetIEBitmap()->Allocate(ImageW, ImageH, ie24RGB);
    form->Show();
    Application->ProcessMessages();
    view->Update();
    view->ClearCounts();
  }
  ~TViewOnForm() { delete form; }
  TViewOnForm(const TViewOnForm&) = delete;
  TViewOnForm& operator=(const TViewOnForm&) = delete;
};

// A hidden view (no owner, no parent: client 50 x 50, control 105 x 105).
inline void SetImage(TRedozIrView& v, int W, int H) {
  v.GetIEBitmap()->Allocate(W, H, ie24RGB);
  v.Update();
}
