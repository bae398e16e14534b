#include "platform/screen.h"

#include <deque>
#include <unordered_map>

#include "platform/application.h"
#include "platform/bitmap.h"
#include "platform/exceptions.h"
#include "platform/forms.h"
#include "platform/keys.h"

namespace redozir {

namespace {
std::deque<TCursorData>& CursorStore() {
  static auto* store = new std::deque<TCursorData>;
  return *store;
}
HCURSOR shownCursor = nullptr;

HCURSOR StandardCursor(int id) {
  struct TEntry {
    int id;
    const char* name;
    TCursorShape shape;
  };
  static const TEntry table[] = {
      {crNone, "none", csNoneShape},
      {crArrow, "arrow", csArrowShape},
      {crCross, "cross", csCrossShape},
      {crIBeam, "ibeam", csIBeamShape},
      {crSizeNESW, "sizenesw", csSizeNESWShape},
      {crSizeNS, "sizens", csSizeNSShape},
      {crSizeNWSE, "sizenwse", csSizeNWSEShape},
      {crSizeWE, "sizewe", csSizeWEShape},
      {crUpArrow, "uparrow", csArrowShape},
      {crHourGlass, "hourglass", csWaitShape},
      {crDrag, "drag", csArrowShape},
      {crNoDrop, "nodrop", csNoShape},
      {crHSplit, "hsplit", csSizeWEShape},
      {crVSplit, "vsplit", csSizeNSShape},
      {crMultiDrag, "multidrag", csArrowShape},
      {crSQLWait, "sqlwait", csWaitArrowShape},
      {crNo, "no", csNoShape},
      {crAppStart, "appstart", csWaitArrowShape},
      {crHelp, "help", csArrowShape},
      {crHandPoint, "handpoint", csHandShape},
      {crSizeAll, "sizeall", csSizeAllShape},
  };
  static HCURSOR handles[sizeof(table) / sizeof(table[0])] = {};
  for (size_t i = 0; i < sizeof(table) / sizeof(table[0]); ++i) {
    if (table[i].id != id) continue;
    if (!handles[i]) handles[i] = CreateShapeCursor(table[i].name, table[i].shape);
    return handles[i];
  }
  return nullptr;
}
}  // namespace

HCURSOR CreateShapeCursor(const std::string& name, TCursorShape shape) {
  TCursorData& made = CursorStore().emplace_back();
  made.Name = name;
  made.Shape = shape;
  return &made;
}

namespace {
// Image cursors by name, so that a picture made again finds its handle.
std::unordered_multimap<std::string, HCURSOR>& ImageCursors() {
  static auto* index = new std::unordered_multimap<std::string, HCURSOR>;
  return *index;
}

void CheckCursorPicture(const std::string& name, int width, int height, int hotX, int hotY) {
  if (width < 1 || height < 1 || width > kMaxCursorSize || height > kMaxCursorSize)
    throw EInvalidGraphic("Cursor \"" + name + "\": size " + std::to_string(width) + " x " +
                          std::to_string(height) + " outside 1.." + std::to_string(kMaxCursorSize));
  if (hotX < 0 || hotY < 0 || hotX >= width || hotY >= height)
    throw EInvalidGraphic("Cursor \"" + name + "\": hot spot " + std::to_string(hotX) + ", " +
                          std::to_string(hotY) + " outside the picture");
}

std::uint32_t Opaque(TColor c) {
  c = ColorToRGB(c);
  return 0xFF000000u | (std::uint32_t(GetRValue(c)) << 16) | (std::uint32_t(GetGValue(c)) << 8) |
         std::uint32_t(GetBValue(c));
}
}  // namespace

HCURSOR CreateImageCursor(const std::string& name, int width, int height,
                          const std::vector<std::uint32_t>& argb, int hotX, int hotY) {
  CheckCursorPicture(name, width, height, hotX, hotY);
  if (argb.size() != static_cast<size_t>(width) * static_cast<size_t>(height))
    throw EInvalidGraphic("Cursor \"" + name + "\": " + std::to_string(argb.size()) + " pixels for " +
                          std::to_string(width) + " x " + std::to_string(height));
  auto [from, to] = ImageCursors().equal_range(name);
  for (auto it = from; it != to; ++it) {
    HCURSOR c = it->second;
    if (c->Width == width && c->Height == height && c->HotX == hotX && c->HotY == hotY && c->Pixels == argb)
      return c;
  }
  TCursorData& data = CursorStore().emplace_back();
  data.Name = name;
  data.Shape = csImageShape;
  data.Width = width;
  data.Height = height;
  data.HotX = hotX;
  data.HotY = hotY;
  data.Pixels = argb;
  HCURSOR made = &data;
  ImageCursors().emplace(name, made);
  return made;
}

HCURSOR CreateImageCursor(const std::string& name, const TBitmap& image, int hotX, int hotY) {
  CheckCursorPicture(name, image.Width(), image.Height(), hotX, hotY);
  std::vector<std::uint32_t> px(static_cast<size_t>(image.Width()) * static_cast<size_t>(image.Height()));
  for (int y = 0; y < image.Height(); ++y) {
    const std::uint8_t* row = image.ScanLine(y);
    for (int x = 0; x < image.Width(); ++x) {
      std::uint32_t& p =
          px[static_cast<size_t>(y) * static_cast<size_t>(image.Width()) + static_cast<size_t>(x)];
      if (image.BitCount() == 32)
        p = std::uint32_t(row[4 * x]) | (std::uint32_t(row[4 * x + 1]) << 8) |
            (std::uint32_t(row[4 * x + 2]) << 16) | (std::uint32_t(row[4 * x + 3]) << 24);
      else
        p = Opaque(image.GetPixel(x, y));
    }
  }
  return CreateImageCursor(name, image.Width(), image.Height(), px, hotX, hotY);
}

HCURSOR CreateMaskedCursor(const std::string& name, const TBitmap& color, const TBitmap& mask, int hotX,
                           int hotY) {
  CheckCursorPicture(name, color.Width(), color.Height(), hotX, hotY);
  if (mask.Width() != color.Width() || mask.Height() != color.Height())
    throw EInvalidGraphic("Cursor \"" + name + "\": the mask is " + std::to_string(mask.Width()) + " x " +
                          std::to_string(mask.Height()) + ", the picture " + std::to_string(color.Width()) +
                          " x " + std::to_string(color.Height()));
  std::vector<std::uint32_t> px;
  px.reserve(static_cast<size_t>(color.Width()) * static_cast<size_t>(color.Height()));
  for (int y = 0; y < color.Height(); ++y)
    for (int x = 0; x < color.Width(); ++x) {
      TColor c = color.GetPixel(x, y);
      if (mask.GetPixel(x, y) == clBlack)
        px.push_back(Opaque(c));
      else
        px.push_back(c == clBlack ? 0u : 0xFF000000u);
    }
  return CreateImageCursor(name, color.Width(), color.Height(), px, hotX, hotY);
}

HCURSOR SetCursor(HCURSOR cursor) {
  HCURSOR old = shownCursor;
  if (cursor != shownCursor) {
    shownCursor = cursor;
    if (Application) Application->BackEnd()->CursorChanged(cursor);
  }
  return old;
}

HCURSOR GetCursor() { return shownCursor; }

TScreen* Screen = new TScreen;

TScreen::TScreen() {}

void TScreen::SetCursor(TCursor c) {
  cursor_ = c;
  if (c != crDefault) {
    redozir::SetCursor(Cursors(c));
    return;
  }
  // Back to the cursor of the control under the mouse.
  if (TControl* over = TControl::FromHandle(key_state::Hover()))
    over->Perform(WM_SETCURSOR, over->Handle(), 0);
  else
    redozir::SetCursor(Cursors(crArrow));
}

HCURSOR TScreen::Cursors(int id) const {
  auto it = cursors_.find(id);
  if (it != cursors_.end() && it->second) return it->second;
  if (HCURSOR h = StandardCursor(id)) return h;
  return StandardCursor(crArrow);
}

void TScreen::SetCursors(int id, HCURSOR h) {
  auto it = cursors_.find(id);
  HCURSOR old = it == cursors_.end() ? nullptr : it->second;
  if (h)
    cursors_[id] = h;
  else if (it != cursors_.end())
    cursors_.erase(it);
  // A cursor on show under this id is replaced by the new one.
  if (old && old != h && GetCursor() == old) redozir::SetCursor(Cursors(id));
}

void TScreen::SetSize(int w, int h) {
  width_ = w;
  height_ = h;
}

TForm* TScreen::ActiveForm() const { return Application->ActiveForm(); }

TControl* TScreen::ActiveControl() const { return TControl::FromHandle(GetFocus()); }

int TScreen::FormCount() const { return Application->FormCount(); }

TForm* TScreen::Forms(int i) const { return Application->Forms(i); }

int GetSystemMetrics(int index) {
  switch (index) {
    case SM_CXSCREEN: return Screen->Width();
    case SM_CYSCREEN: return Screen->Height();
    case SM_CXVSCROLL:
    case SM_CYHSCROLL:
    case SM_CYVSCROLL:
    case SM_CXHSCROLL:
    case SM_CYVTHUMB:
    case SM_CXHTHUMB: return 17;
    case SM_CYCAPTION: return 23;
    case SM_CXBORDER:
    case SM_CYBORDER: return 1;
    case SM_CXFIXEDFRAME:
    case SM_CYFIXEDFRAME: return 3;
    case SM_CXSIZEFRAME:
    case SM_CYSIZEFRAME: return 4;
    case SM_SWAPBUTTON: return key_state::Swapped() ? 1 : 0;
    case SM_CXDOUBLECLK:
    case SM_CYDOUBLECLK: return 4;
    case SM_CXEDGE:
    case SM_CYEDGE: return 2;
    case SM_CXDRAG:
    case SM_CYDRAG: return 4;
    case SM_REMOTESESSION: return 0;
    default: return 0;
  }
}

}  // namespace redozir
