// The picture the view benchmarks show: a 1920 x 1080 client over an
// 8000 x 6000 picture with an alpha layer, a half-transparent layer and a
// rotated layer, made once for the whole run.
#pragma once

#include <algorithm>
#include <cstdint>

#include "imaging/core/iebitmap.h"
#include "imaging/view/redozir_view.h"
#include "platform/application.h"
#include "platform/forms.h"
#include "platform/inject.h"

namespace redozir_bench {
using namespace redozir;

constexpr int kClientW = 1920, kClientH = 1080;
constexpr int kPictureW = 8000, kPictureH = 6000;

inline void Gradient(TIEBitmap* b, int w, int h, int seed) {
  b->Allocate(w, h, ie24RGB);
  for (int y = 0; y < h; ++y) {
    std::uint8_t* row = b->GetScanline(y);
    for (int x = 0; x < w; ++x) {
      row[3 * x] = static_cast<std::uint8_t>(x * 255 / w + seed);
      row[3 * x + 1] = static_cast<std::uint8_t>(y * 255 / h);
      row[3 * x + 2] = static_cast<std::uint8_t>((x / 40 + y / 40 + seed) * 37);
    }
  }
}

// One view for the whole run: making the picture takes longer than most
// of the measurements.
struct TScene {
  THeadlessSession session;
  TForm* form;
  TRedozIrView* view;
  // PictureAlpha: the picture itself has an alpha plane (opaque but for a
  // half-transparent band across it) in place of the alpha layer.
  explicit TScene(bool PictureAlpha = false) {
    form = new TForm(nullptr);
    form->SetBounds(0, 0, kClientW, kClientH);
    view = new TRedozIrView(form);
    view->SetParent(form);
    view->SetBorderStyle(bsNone);
    view->SetScrollBars(ssNone);
    view->SetBounds(0, 0, kClientW, kClientH);
    Gradient(view->GetIEBitmap(), kPictureW, kPictureH, 0);
    if (PictureAlpha) {
      TIEBitmap* a = view->GetIEBitmap()->GetAlphaChannel();
      a->Fill(255);
      for (int y = kPictureH / 3; y < kPictureH / 2; ++y) std::fill_n(a->GetScanline(y), kPictureW, 128);
      a->SetFull(false);
    } else {
      // An alpha layer: transparent at its left, opaque at its right.
      view->LayersAdd();
      Gradient(view->GetIEBitmap(), 2000, 1500, 50);
      TIEBitmap* a = view->GetIEBitmap()->GetAlphaChannel();
      for (int y = 0; y < a->Height(); ++y)
        for (int x = 0; x < a->Width(); ++x)
          a->GetScanline(y)[x] = static_cast<std::uint8_t>(x * 255 / a->Width());
      a->SetFull(false);
      view->GetCurrentLayer()->PosX = 500;
      view->GetCurrentLayer()->PosY = 400;
    }
    // A half-transparent layer.
    view->LayersAdd();
    Gradient(view->GetIEBitmap(), 2000, 1500, 100);
    view->GetCurrentLayer()->Transparency = 128;
    view->GetCurrentLayer()->PosX = 3000;
    view->GetCurrentLayer()->PosY = 2500;
    // A rotated layer.
    view->LayersAdd();
    Gradient(view->GetIEBitmap(), 1500, 1000, 150);
    view->GetCurrentLayer()->PosX = 5000;
    view->GetCurrentLayer()->PosY = 1000;
    view->GetCurrentLayer()->SetRotate(30);
    view->SetLayersCurrent(0);
    form->Show();
    Application->ProcessMessages();
  }
  ~TScene() { delete form; }
};

// Kept to the end of the program: the platform's globals go first.
inline TScene& Scene() {
  static TScene* scene = new TScene;
  return *scene;
}

}  // namespace redozir_bench
