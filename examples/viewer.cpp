// Shows a picture in a TRedozIrView on a form in a real window (SDL2): the
// wheel zooms at the mouse, a drag scrolls, and keys run the library's
// operations. With --screenshot it renders the form headless into a PNG.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "imaging/core/iebitmap.h"
#include "imaging/core/ieproc.h"
#include "imaging/io/redozir_io.h"
#include "imaging/processing/ie_blur.h"
#include "imaging/view/redozir_view.h"
#include "platform/application.h"
#include "platform/forms.h"
#include "platform/sdl/sdl_backend.h"

using namespace redozir;

namespace {

const char* const kUsage =
    "usage: redozir-viewer [FILE] [--size WxH] [--screenshot OUT.png] [--help]\n"
    "\n"
    "Shows FILE (any format the library reads), or a picture it makes itself,\n"
    "in an image view in a window.\n"
    "\n"
    "  --size WxH           the window's client size (default 800x600)\n"
    "  --screenshot OUT.png  render the window headless into OUT.png and exit\n"
    "\n"
    "Mouse: the wheel zooms at the pointer, a left drag scrolls.\n"
    "Keys:  F fit   1 100 %   + / - zoom   Q zoom filter (none, fast linear, Lanczos3; shown\n"
    "       once the picture rests, unfiltered while it zooms or moves)\n"
    "       R resample the picture to half its size (Lanczos3)   T rotate 90 degrees\n"
    "       B blur   Esc quit\n";

struct TOptions {
  std::string File;
  std::string Screenshot;
  int Width = 800, Height = 600;
};

bool ParseSize(const char* s, int& w, int& h) {
  char x = 0;
  return std::sscanf(s, "%d%c%d", &w, &x, &h) == 3 && (x == 'x' || x == 'X') && w > 0 && h > 0 && w <= 8192 &&
         h <= 8192;
}

// Colour bands under a grid of circles: something to zoom into.
void MakePicture(TIEBitmap* b) {
  const int w = 1600, h = 1000;
  if (!b->Allocate(w, h, ie24RGB)) throw EOutOfMemory("Cannot allocate the picture");
  for (int y = 0; y < h; ++y) {
    std::uint8_t* row = b->GetScanline(y);
    for (int x = 0; x < w; ++x) {
      int cx = x % 100 - 50, cy = y % 100 - 50;
      bool ring = cx * cx + cy * cy < 40 * 40 && cx * cx + cy * cy > 30 * 30;
      row[3 * x + 0] = ring ? 255 : static_cast<std::uint8_t>(255 * y / h);
      row[3 * x + 1] = ring ? 255 : static_cast<std::uint8_t>(((x / 100 + y / 100) & 1) ? 160 : 64);
      row[3 * x + 2] = ring ? 255 : static_cast<std::uint8_t>(255 * x / w);
    }
  }
}

// Blurs each channel of a 24-bit picture.
void Blur(TIEBitmap* b, double radius) {
  if (b->PixelFormat() != ie24RGB) b->ConvertToPixelFormat(ie24RGB);
  const int w = b->Width(), h = b->Height();
  if (w <= 0 || h <= 0) return;
  TIEBitmap plane(w, h, ie8g);
  for (int c = 0; c < 3; ++c) {
    for (int y = 0; y < h; ++y) {
      const std::uint8_t* s = b->GetScanline(y);
      std::uint8_t* d = plane.GetScanline(y);
      for (int x = 0; x < w; ++x) d[x] = s[3 * x + c];
    }
    _IEBlurRect8bit(&plane, 0, 0, w - 1, h - 1, radius);
    for (int y = 0; y < h; ++y) {
      std::uint8_t* s = b->GetScanline(y);
      const std::uint8_t* d = plane.GetScanline(y);
      for (int x = 0; x < w; ++x) s[3 * x + c] = d[x];
    }
  }
}

// The viewer's form: the view fills it, and follows its size.
class TViewerForm : public TForm {
 public:
  explicit TViewerForm(const TOptions& o) : TForm(nullptr) {
    SetCaption("Redozir viewer");
    SetBounds(0, 0, o.Width, o.Height);
    view_ = new TRedozIrView(this);
    view_->SetParent(this);
    view_->SetBorderStyle(bsNone);
    view_->SetAlign(alClient);
    view_->SetBackgroundStyle(iebsChessboard);
    view_->SetBackground(RGB(200, 200, 200));
    // Turning the wheel away zooms in, as picture viewers do.
    view_->MouseWheelParams.ZoomPosition = true;
    view_->MouseWheelParams.InvertDirection = true;
    view_->TabStop = true;
    // With a zoom filter chosen, zooming and scrolling keep the hand's pace:
    // the picture is drawn unfiltered while it moves, filtered once it rests.
    view_->DelayZoomFilter = true;
    if (o.File.empty())
      MakePicture(view_->GetIEBitmap());
    else
      view_->GetIO()->LoadFromFile(o.File);
    view_->Update();
    view_->OnViewChange = [this](TObject*, int) { ShowState(); };
    view_->Fit();
    ShowState();
    view_->OnKeyDown = [this](TObject*, WORD& key, TShiftState) { Key(key); };
    // A left drag scrolls: the view's own mouse interaction.
    view_->SetMouseInteract(IEMouseInteract({miScroll}));
  }
  TRedozIrView* View() const { return view_; }

 private:
  void Key(WORD key) {
    TRedozIrProc* proc = view_->GetProc();
    switch (key) {
      case 'F': view_->Fit(); break;
      case '1': view_->Zoom(100); break;
      case VK_ADD:
      case VK_OEM_PLUS: view_->Zoom(view_->Zoom() * 1.25); break;
      case VK_SUBTRACT:
      case VK_OEM_MINUS: view_->Zoom(view_->Zoom() / 1.25); break;
      case 'Q': {
        TResampleFilter f = view_->ZoomFilter();
        view_->SetZoomFilter(f == rfNone ? rfFastLinear : f == rfFastLinear ? rfLanczos3 : rfNone);
        ShowState();
        break;
      }
      case 'R': {
        TIEBitmap* b = view_->GetIEBitmap();
        if (b->Width() >= 2 && b->Height() >= 2) proc->Resample(b->Width() / 2, b->Height() / 2, rfLanczos3);
        view_->Fit();
        break;
      }
      case 'T':
        proc->Rotate(90, false);
        view_->Fit();
        break;
      case 'B':
        Blur(view_->GetIEBitmap(), 4.0);
        view_->Update();
        break;
      case VK_ESCAPE: Close(); break;
      default: break;
    }
  }

  // The caption tells the picture's size, the zoom and the zoom filter.
  void ShowState() {
    TIEBitmap* b = view_->GetIEBitmap();
    TResampleFilter f = view_->ZoomFilter();
    char text[160];
    std::snprintf(text, sizeof text, "Redozir viewer - %d x %d - %.1f %% - %s", b->Width(), b->Height(),
                  view_->Zoom(),
                  f == rfNone         ? "no filter"
                  : f == rfFastLinear ? "fast linear"
                                      : "Lanczos3");
    SetCaption(text);
  }

  TRedozIrView* view_;
};

// The form's pixels after a paint, as a PNG.
void SaveScreenshot(TForm* form, const std::string& file) {
  TIEBitmap shot;
  shot.Assign(form->Surface());
  shot.ConvertToPixelFormat(ie24RGB);
  TRedozIrIO io;
  io.SetAttachedIEBitmap(&shot);
  io.SaveToFile(file);
}

}  // namespace

int main(int argc, char** argv) {
  TOptions o;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (!std::strcmp(argv[i], "--screenshot") && i + 1 < argc) {
      o.Screenshot = argv[++i];
    } else if (!std::strcmp(argv[i], "--size") && i + 1 < argc) {
      if (!ParseSize(argv[++i], o.Width, o.Height)) {
        std::fprintf(stderr, "redozir-viewer: bad size \"%s\" (want WxH)\n", argv[i]);
        return 2;
      }
    } else if (argv[i][0] == '-' || !o.File.empty()) {
      std::fputs(kUsage, stderr);
      return 2;
    } else {
      o.File = argv[i];
    }
  }
  try {
    if (!o.Screenshot.empty()) {
      // Headless: the platform paints into the form's surface all the same.
      auto form = std::make_unique<TViewerForm>(o);
      form->Show();
      Application->ProcessMessages();
      SaveScreenshot(form.get(), o.Screenshot);
      return 0;
    }
    TSDLBackEnd display;
    Application->SetBackEnd(&display);
    auto* form = new TViewerForm(o);
    form->SetPosition(poScreenCenter);
    form->Show();
    form->View()->SetFocus();
    Application->SetMainForm(form);
    Application->Run();
    delete form;
    Application->SetBackEnd(nullptr);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "redozir-viewer: %s\n", e.what());
    return 1;
  }
  return 0;
}
