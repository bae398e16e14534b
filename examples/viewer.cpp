// Shows a picture in a vector-object view (a TRedozIrView that also keeps
// lines, boxes, texts ... over the picture) on a form in a real window
// (SDL2): the wheel zooms at the mouse, keys pick what the left button does
// (scroll, select, move layers, draw or edit objects) and run the library's
// operations. With --screenshot it renders the form headless into a PNG.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "imaging/core/iebitmap.h"
#include "imaging/core/ieproc.h"
#include "imaging/io/ie_fileformats.h"
#include "imaging/io/redozir_io.h"
#include "imaging/processing/ie_blur.h"
#include "imaging/view/ievect.h"
#include "platform/application.h"
#include "platform/forms.h"
#include "platform/icons.h"
#include "platform/sdl/sdl_backend.h"

using namespace redozir;

namespace {

const char* const kUsage =
    "usage: redozir-viewer [FILE] [--size WxH] [--save OUT] [--objects FILE.iev]\n"
    "                      [--screenshot OUT.png] [--help]\n"
    "\n"
    "Shows FILE (any format the library reads), or a picture it makes itself,\n"
    "in an image view in a window.\n"
    "\n"
    "  --size WxH            the window's client size (default 800x600)\n"
    "  --save OUT            where S saves the picture (default saved.jpg)\n"
    "  --objects FILE.iev    where Ctrl+S saves the objects and Ctrl+O loads them\n"
    "                        (default objects.iev); loaded at the start if it exists\n"
    "  --screenshot OUT.png  render the window headless into OUT.png and exit\n"
    "\n"
    "Mouse: the wheel zooms at the pointer; the left button does what the tool\n"
    "       named in the title does.\n"
    "Keys:  F fit   1 100 %   + / - zoom   Q zoom filter (none, fast linear, Lanczos3; shown\n"
    "       once the picture rests, unfiltered while it zooms or moves)\n"
    "       R resample the picture to half its size (Lanczos3)   T rotate 90 degrees\n"
    "       B blur   S save (the current layer), with the save dialog of OUT's format\n"
    "       Esc quit\n"
    "       M next view tool: scroll, select a rectangle, a polygon, a circle, lasso,\n"
    "         magic wand, move and resize layers, rotate layers\n"
    "       L add a layer (the tools, R, T and B then act on it)\n"
    "       O next object tool: edit (drag, resize; double click or F2 edits a text),\n"
    "         line, box, ellipse, text, memo, ruler, polyline and angle (clicks, a\n"
    "         double click ends them), line with label, bitmap, star (a kind of the\n"
    "         program's own)\n"
    "       Ctrl+Z undo the last object change   Ctrl+S save objects   Ctrl+O load them\n";

// What the left mouse button does: the view's own interaction, or putting
// and editing vector objects.
struct TTool {
  const char* Name;
  TIEMouseInteract View;
  std::uint32_t Objects;
};
const TTool kViewTools[] = {
    {"scroll", IEMouseInteract({miScroll}), 0},
    {"select a rectangle", IEMouseInteract({miSelect}), 0},
    {"select a polygon", IEMouseInteract({miSelectPolygon}), 0},
    {"select a circle", IEMouseInteract({miSelectCircle}), 0},
    {"lasso", IEMouseInteract({miSelectLasso}), 0},
    {"magic wand", IEMouseInteract({miSelectMagicWand}), 0},
    {"move and resize layers", IEMouseInteract({miMoveLayers, miResizeLayers}), 0},
    {"rotate layers", IEMouseInteract({miRotateLayers}), 0},
};
const TTool kObjectTools[] = {
    {"edit objects", 0, oiEdit}, {"line", 0, oiPutLine},
    {"box", 0, oiPutBox},        {"ellipse", 0, oiPutEllipse},
    {"text", 0, oiPutText},      {"memo", 0, oiPutMemo},
    {"ruler", 0, oiPutRuler},    {"polyline", 0, oiPutPolyline},
    {"angle", 0, oiPutAngle},    {"line with label", 0, oiPutLineLabel},
    {"bitmap", 0, oiPutBitmap},  {"star", 0, oiPutExtended},
};

struct TOptions {
  std::string File;
  std::string Screenshot;
  std::string Save = "saved.jpg";
  std::string Objects = "objects.iev";
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

// A translucent disc on a transparent square: something to lay over the picture.
void MakeDisc(TIEBitmap* b, int size) {
  b->Allocate(size, size, ie24RGB);
  TIEBitmap* alpha = b->GetAlphaChannel();  // made on first use, all opaque
  const double r = size / 2.0;
  for (int y = 0; y < size; ++y) {
    std::uint8_t* row = b->GetScanline(y);
    std::uint8_t* a = alpha->GetScanline(y);
    for (int x = 0; x < size; ++x) {
      const double dx = x + 0.5 - r, dy = y + 0.5 - r;
      row[3 * x + 0] = 40, row[3 * x + 1] = static_cast<std::uint8_t>(255 * y / size), row[3 * x + 2] = 230;
      a[x] = dx * dx + dy * dy < r * r ? 190 : 0;
    }
  }
  // Written by hand, the plane must be told it is no longer all opaque.
  alpha->SyncFull();
}

// An object kind of the program's own: a star filling its rectangle. The
// IEV file keeps it by the name it is registered under ("star" in main).
class TStar : public TIEVExtendedObject {
 public:
  void SaveToStream(TStream&) override {}  // a star has no settings to keep
  void LoadFromStream(TStream&) override {}
  std::unique_ptr<TIEVExtendedObject> Copy() const override { return std::make_unique<TStar>(*this); }
  void Draw(TIEBitmap* target, const TRect& r, double, double, bool drawingAlpha) override {
    const double cx = (r.Left + r.Right) / 2.0, cy = (r.Top + r.Bottom) / 2.0;
    std::vector<TPoint> points;
    for (int i = 0; i < 10; ++i) {
      const double a = 3.14159265358979 * (i / 5.0 - 0.5), k = i % 2 ? 0.4 : 1.0;
      points.push_back({static_cast<int>(std::lround(cx + k * (r.Right - cx) * std::cos(a))),
                        static_cast<int>(std::lround(cy + k * (r.Bottom - cy) * std::sin(a)))});
    }
    TCanvas* c = target->GetCanvas();
    // The alpha pass marks where the star covers.
    c->Pen.Color = drawingAlpha ? clWhite : clRed;
    c->Brush.Color = drawingAlpha ? clWhite : clYellow;
    c->Brush.Style = bsSolid;
    c->Polygon(points);
  }
};

// The viewer's form: the view fills it, and follows its size.
class TViewerForm : public TForm {
 public:
  explicit TViewerForm(const TOptions& o) : TForm(nullptr), options_(o) {
    SetCaption("Redozir viewer");
    SetBounds(0, 0, o.Width, o.Height);
    view_ = new TRedozIrVect(this);
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
    view_->Fit();
    // New objects in red (a text's colour is its pen's), two screen pixels
    // wide at any zoom, texts 16 screen pixels high at the first zoom (their
    // size is in picture pixels; a memo is laid out in them, and glyphs of
    // less than 4 lose their shapes); the bitmap tool puts an icon.
    TFont font;
    font.Color = clRed;
    font.Height = -std::max(4, static_cast<int>(std::lround(16 * 100 / view_->Zoom())));
    view_->SetObjectFont(IEV_TEMPLATE, font);
    view_->GetObjectRecord(IEV_TEMPLATE)->PenWidth = 2;
    view_->ZoomObjectsWidth = false;
    view_->SetObjectIcon(IEV_TEMPLATE, IDI_INFORMATION, 64, 64);
    view_->GetObjectRecord(IEV_TEMPLATE)->Extended.p = std::make_unique<TStar>();
    // Every change of the objects can be taken back (Ctrl+Z).
    view_->ObjAutoUndo = true;
    view_->ObjUndoLimit = 50;
    if (std::filesystem::exists(o.Objects)) LoadObjects();
    // A line with label gets a label to show (the program sets its text).
    view_->OnNewObject = [this](TObject*, int h) {
      TIEVObjectRecord* r = view_->GetObjectRecord(h);
      if (r->Kind == ievkLINELABEL) r->Text = "label";
    };
    view_->OnViewChange = [this](TObject*, int) { ShowState(); };
    view_->OnKeyDown = [this](TObject*, WORD& key, TShiftState shift) {
      // A command that fails (a file that cannot be read or written) says
      // why in the title.
      try {
        Key(key, shift);
      } catch (const std::exception& e) {
        status_ = e.what();
        ShowState();
      }
    };
    SetTool(kViewTools[0]);
  }
  TRedozIrVect* View() const { return view_; }

 private:
  void Key(WORD key, TShiftState shift) {
    TRedozIrProc* proc = view_->GetProc();
    if (shift & ssCtrl) {
      if (key == 'Z' && !view_->ObjectUndo()) status_ = "nothing to undo";
      if (key == 'S') SaveObjects();
      if (key == 'O') LoadObjects();
      ShowState();
      return;
    }
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
      case 'S': SavePicture(); break;
      case 'M': SetTool(kViewTools[NextTool(kViewTools)]); break;
      case 'O': SetTool(kObjectTools[NextTool(kObjectTools)]); break;
      case 'L': AddLayer(); break;
      case VK_ESCAPE: Close(); break;
      default: break;
    }
  }

  // The index of the tool after the current one in Tools (the first when
  // the current one is from the other list).
  template <std::size_t N>
  std::size_t NextTool(const TTool (&tools)[N]) {
    for (std::size_t i = 0; i < N; ++i)
      if (tool_ == &tools[i]) return (i + 1) % N;
    return 0;
  }
  void SetTool(const TTool& tool) {
    tool_ = &tool;
    view_->SetMouseInteract(tool.View);  // takes the mouse from the objects too
    view_->ObjectInteract = tool.Objects;
    status_.clear();
    ShowState();
  }

  // A disc in a layer of its own, over the picture's upper left quarter.
  void AddLayer() {
    const int size =
        std::max(16, std::min(view_->GetLayer(0)->GetWidth(), view_->GetLayer(0)->GetHeight()) / 3);
    view_->LayersAdd();
    MakeDisc(view_->GetIEBitmap(), size);
    TIELayer* layer = view_->GetCurrentLayer();
    layer->PosX = layer->PosY = size / 2;
    view_->Update();
    status_ = "layer " + std::to_string(view_->LayersCurrent()) + " added";
    ShowState();
  }

  // The save dialog of the output's format; OK writes the file with what it set.
  void SavePicture() {
    TRedozIrIO* io = view_->GetIO();
    io->Params().FileType = IEFileTypeOfName(options_.Save);
    if (!io->Params().FileType) {
      status_ = "cannot save " + options_.Save + ": unknown format";
    } else if (io->DoPreviews(ppAUTO)) {
      io->SaveToFile(options_.Save);
      status_ = "saved " + options_.Save;
    } else {
      status_.clear();
    }
    ShowState();
  }

  void SaveObjects() {
    view_->SaveToFileIEV(options_.Objects);
    status_ = "objects saved to " + options_.Objects;
  }
  void LoadObjects() {
    if (view_->LoadFromFileIEV(options_.Objects))
      status_ = "loaded " + options_.Objects;
    else
      status_ = "cannot load " + options_.Objects + ": " + view_->LastLoadError();
  }

  // The caption tells the picture's size, the zoom, the zoom filter, the
  // tool and what the last command did.
  void ShowState() {
    TIEBitmap* b = view_->GetIEBitmap();
    TResampleFilter f = view_->ZoomFilter();
    char text[300];
    std::snprintf(text, sizeof text, "Redozir viewer - %d x %d - %.1f %% - %s - %s%s%s", b->Width(),
                  b->Height(), view_->Zoom(),
                  f == rfNone         ? "no filter"
                  : f == rfFastLinear ? "fast linear"
                                      : "Lanczos3",
                  tool_ ? tool_->Name : "", status_.empty() ? "" : " - ", status_.c_str());
    SetCaption(text);
  }

  const TOptions options_;
  TRedozIrVect* view_;
  const TTool* tool_ = nullptr;
  std::string status_;  // what the last command did, for the caption
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
    } else if (!std::strcmp(argv[i], "--save") && i + 1 < argc) {
      o.Save = argv[++i];
    } else if (!std::strcmp(argv[i], "--objects") && i + 1 < argc) {
      o.Objects = argv[++i];
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
  IERegisterExtendedObject<TStar>("star");
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
