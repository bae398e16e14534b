// Screen: the shown cursor, the cursor table by id, the screen's size and
// pixels per inch; the system metrics (scroll-bar sizes, borders, double-click
// area) and the cursor handles that the display back end maps to its own.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#pragma GCC visibility push(default)
namespace redozir {

using TCursor = std::int16_t;

constexpr TCursor crDefault = 0;
constexpr TCursor crNone = -1;
constexpr TCursor crArrow = -2;
constexpr TCursor crCross = -3;
constexpr TCursor crIBeam = -4;
constexpr TCursor crSizeNESW = -6;
constexpr TCursor crSizeNS = -7;
constexpr TCursor crSizeNWSE = -8;
constexpr TCursor crSizeWE = -9;
constexpr TCursor crUpArrow = -10;
constexpr TCursor crHourGlass = -11;
constexpr TCursor crDrag = -12;
constexpr TCursor crNoDrop = -13;
constexpr TCursor crHSplit = -14;
constexpr TCursor crVSplit = -15;
constexpr TCursor crMultiDrag = -16;
constexpr TCursor crSQLWait = -17;
constexpr TCursor crNo = -18;
constexpr TCursor crAppStart = -19;
constexpr TCursor crHelp = -20;
constexpr TCursor crHandPoint = -21;
constexpr TCursor crSizeAll = -22;

// The shapes a display can show; every cursor, the library's own included,
// is shown as one of them.
enum TCursorShape {
  csArrowShape,
  csNoneShape,
  csIBeamShape,
  csWaitShape,
  csCrossShape,
  csSizeNWSEShape,
  csSizeNESWShape,
  csSizeWEShape,
  csSizeNSShape,
  csSizeAllShape,
  csNoShape,
  csHandShape,
  csWaitArrowShape,
  // A picture of the program's own (TCursorData's pixels and hot spot).
  csImageShape
};

struct TCursorData {
  std::string Name;
  TCursorShape Shape = csArrowShape;
  // For csImageShape: Width x Height pixels, top row first, each 0xAARRGGBB
  // with straight (not premultiplied) alpha; the hot spot is the pixel that
  // points.
  int Width = 0;
  int Height = 0;
  int HotX = 0;
  int HotY = 0;
  std::vector<std::uint32_t> Pixels;
};
// A cursor handle; nullptr is no cursor.
using HCURSOR = const TCursorData*;

// A cursor of one of the display's shapes, kept for the life of the program
// (cursor handles are never freed, as on the desktop platform).
HCURSOR CreateShapeCursor(const std::string& name, TCursorShape shape);

// The largest side of a cursor picture.
constexpr int kMaxCursorSize = 256;

class TBitmap;

// A cursor from 32-bit pixels (0xAARRGGBB, straight alpha, width x height,
// top row first) and a hot spot, kept for the life of the program like every
// cursor. Making the same picture again (name, size, hot spot and pixels)
// gives the same handle, so a table filled anew on every start-up of a view
// does not grow. Raises EInvalidGraphic for a side outside 1..kMaxCursorSize,
// a pixel count that is not width x height or a hot spot outside the picture.
HCURSOR CreateImageCursor(const std::string& name, int width, int height,
                          const std::vector<std::uint32_t>& argb, int hotX, int hotY);
// From a bitmap: a 32-bit one's fourth byte is the alpha; every other format
// is opaque.
HCURSOR CreateImageCursor(const std::string& name, const TBitmap& image, int hotX, int hotY);
// From a colour picture and a mask of the same size, as cursor resources
// store them: where the mask is black the colour shows; where it is not
// black a black colour pixel lets the screen show through, and any other
// colour (which would invert the screen) shows black, since a colour cursor
// cannot invert what lies below it.
HCURSOR CreateMaskedCursor(const std::string& name, const TBitmap& color, const TBitmap& mask, int hotX,
                           int hotY);
// Shows a cursor at once; returns the previous one.
HCURSOR SetCursor(HCURSOR cursor);
HCURSOR GetCursor();

class TForm;
class TControl;

class TScreen {
 public:
  TScreen();
  // The application-wide cursor: crDefault lets each control's cursor show.
  TCursor Cursor() const { return cursor_; }
  void SetCursor(TCursor c);
  // The cursor table: ids the library registers, and the standard negative
  // ids. An unknown id gives the arrow.
  HCURSOR Cursors(int id) const;
  // Registers a cursor under an id (nullptr removes the entry). When the
  // application cursor is that id, the new cursor shows at once.
  void SetCursors(int id, HCURSOR h);

  int PixelsPerInch() const { return 96; }
  int BitsPerPixel() const { return 32; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  void SetSize(int w, int h);

  TForm* ActiveForm() const;
  TControl* ActiveControl() const;
  int FormCount() const;
  TForm* Forms(int i) const;

 private:
  TCursor cursor_ = crDefault;
  std::map<int, HCURSOR> cursors_;
  int width_ = 1920;
  int height_ = 1080;
};

extern TScreen* Screen;

// System metrics by their classic indices.
constexpr int SM_CXSCREEN = 0;
constexpr int SM_CYSCREEN = 1;
constexpr int SM_CXVSCROLL = 2;
constexpr int SM_CYHSCROLL = 3;
constexpr int SM_CYCAPTION = 4;
constexpr int SM_CXBORDER = 5;
constexpr int SM_CYBORDER = 6;
constexpr int SM_CXFIXEDFRAME = 7;
constexpr int SM_CYFIXEDFRAME = 8;
constexpr int SM_CYVTHUMB = 9;
constexpr int SM_CXHTHUMB = 10;
constexpr int SM_CYVSCROLL = 20;
constexpr int SM_CXHSCROLL = 21;
constexpr int SM_SWAPBUTTON = 23;
constexpr int SM_CXSIZEFRAME = 32;
constexpr int SM_CYSIZEFRAME = 33;
constexpr int SM_CXDOUBLECLK = 36;
constexpr int SM_CYDOUBLECLK = 37;
constexpr int SM_CXEDGE = 45;
constexpr int SM_CYEDGE = 46;
constexpr int SM_CXDRAG = 68;
constexpr int SM_CYDRAG = 69;
constexpr int SM_REMOTESESSION = 0x1000;

int GetSystemMetrics(int index);

}  // namespace redozir
#pragma GCC visibility pop
