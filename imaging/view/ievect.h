// The vector-object view: an image view with lines, boxes, ellipses, arcs,
// bitmaps, texts, memos, rulers, polylines, angles, labelled lines and
// extended objects over the image, kept in image pixels; their store,
// selection, shared bitmaps, measurement units, and the IEV and ALL streams.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <typeinfo>
#include <vector>

#include "imaging/core/ie_types.h"
#include "imaging/core/iebitmap.h"
#include "imaging/view/ie_textcontrol.h"
#include "imaging/view/redozir_view.h"
#include "platform/graphics.h"
#include "platform/picture.h"
#include "platform/stream.h"
#include "platform/timers.h"

#pragma GCC visibility push(default)
namespace redozir {

class TRedozIrVect;
struct TIEVObjectRecord;
struct TIEVStaged;

enum TIEVObjectKind : std::uint8_t {
  ievkNONE = 0,
  ievkLINE,
  ievkBOX,
  ievkELLIPSE,
  ievkARC,
  ievkBITMAP,
  ievkTEXT,
  ievkRULER,
  ievkPOLYLINE,
  ievkANGLE,
  ievkMEMO,
  ievkLINELABEL,
  ievkEXTENDED,
};
constexpr int kIEVKindCount = 13;

enum TIEUnits : std::uint8_t {
  ieuPIXELS,
  ieuINCHES,
  ieuKM,
  ieuMETERS,
  ieuCENTIMETERS,
  ieuMILLIMETERS,
  ieuMICRONS,
  ieuNANOMETERS,
  ieuFEET,
  ieuYARDS,
  ieuMILES,
};
constexpr int kIEUnitCount = 11;
// The unit's name in labels ("pixels", "inches", "km", ...).
const char* IEUnitName(TIEUnits Unit);

enum TIEVValType { ievtAREA, ievtLENGTH };
enum TIEVUndoMode { ieumSeparated, ieumShared };

// Reserved handles: the template object, the last record, no object.
constexpr int IEV_TEMPLATE = -1;
constexpr int IEV_LAST = -2;
constexpr int IEV_NONE = -3;
constexpr int IEV_NONE2 = -4;

// Style bits of an object.
constexpr std::uint8_t ievsSelectable = 1;
constexpr std::uint8_t ievsMoveable = 2;
constexpr std::uint8_t ievsSizeable = 4;
constexpr std::uint8_t ievsVisible = 8;

// The platform's 60-byte font description (the ANSI face name) that the
// objects carry and the IEV stream stores as it is.
#pragma pack(push, 1)
struct TIELogFont : TLogFontA {
  static TIELogFont FromFont(const TFont& Font);
  TFont ToFont() const;
  std::string FaceName() const;
  void SetFaceName(const std::string& Name);
  friend bool operator==(const TIELogFont&, const TIELogFont&) = default;
};
#pragma pack(pop)
constexpr std::size_t kIELogFontSize = 60;
static_assert(sizeof(TIELogFont) == kIELogFontSize);

// The soft shadow drawn under an object.
struct TIEVSoftShadow {
  std::uint8_t Enabled = 0;
  double Radius = 3.0;
  std::int32_t OffsetX = 0;
  std::int32_t OffsetY = 0;
  std::int32_t Intensity = 100;  // percent
  TRGB ShadowColor;              // black
  friend bool operator==(const TIEVSoftShadow&, const TIEVSoftShadow&) = default;
};

// A point of a text path, relative to the object rectangle (0 to 1).
struct TIEVDPoint {
  double x = 0;
  double y = 0;
  friend bool operator==(const TIEVDPoint&, const TIEVDPoint&) = default;
};

// An object of kind ievkEXTENDED: a class registered by name that draws and
// stores itself. The record drives it through these operations.
class TIEVExtendedObject {
 public:
  virtual ~TIEVExtendedObject() = default;
  // Right after the reader created it.
  virtual void Init() {}
  virtual void Reserved() {}
  // The owning record got this handle.
  virtual void TakeHandle(int Handle) { fHandle = Handle; }
  virtual void SaveToStream(TStream& Stream) = 0;
  // Reads what SaveToStream wrote from the stream's position; raises on
  // damage (the whole load then fails).
  virtual void LoadFromStream(TStream& Stream) = 0;
  virtual std::unique_ptr<TIEVExtendedObject> Copy() const = 0;
  virtual void MouseDown(int X, int Y) {}
  virtual void MouseUp(int X, int Y) {}
  virtual void MouseEnter(int X, int Y) {}
  virtual void MouseMove(int X, int Y) {}
  virtual void MouseLeave() {}
  virtual void KeyDown(unsigned Key, TShiftState Shift) {}
  virtual void Draw(TIEBitmap* Target, const TRect& Rect, double ZoomX, double ZoomY, bool DrawingAlpha) {}

  TRedozIrVect* Owner = nullptr;
  TIEVObjectRecord* Record = nullptr;
  std::uint8_t Flag = 0;
  int Handle() const { return fHandle; }

 private:
  int fHandle = -1;
};

using TIEVExtendedFactory = std::function<std::unique_ptr<TIEVExtendedObject>()>;
// Registers a class under a name (the name the IEV stream stores).
void IERegisterExtendedObject(const std::string& Name, const std::type_info& Class,
                              TIEVExtendedFactory Create);
template <typename T>
void IERegisterExtendedObject(const std::string& Name) {
  IERegisterExtendedObject(Name, typeid(T), [] { return std::unique_ptr<TIEVExtendedObject>(new T()); });
}
// A new object of the first class registered under Name; nullptr when none.
std::unique_ptr<TIEVExtendedObject> IECreateExtendedObject(const std::string& Name);
// The name of the first entry of the object's class; empty when none.
std::string IEExtendedObjectName(const TIEVExtendedObject& Object);

// Owns an extended object; copying asks the object for its copy.
class TIEVExtendedRef {
 public:
  TIEVExtendedRef() = default;
  TIEVExtendedRef(const TIEVExtendedRef& Other) : p(Other.p ? Other.p->Copy() : nullptr) {}
  TIEVExtendedRef(TIEVExtendedRef&&) noexcept = default;
  TIEVExtendedRef& operator=(const TIEVExtendedRef& Other) {
    if (this != &Other) p = Other.p ? Other.p->Copy() : nullptr;
    return *this;
  }
  TIEVExtendedRef& operator=(TIEVExtendedRef&&) noexcept = default;
  std::unique_ptr<TIEVExtendedObject> p;
};

// One object. Copies are deep (texts, fonts, attributes, points, user data,
// the extended object); a copy holds no reference to a shared bitmap until
// the control attaches one.
struct TIEVObjectRecord {
  std::int32_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  std::uint8_t Kind = ievkNONE;
  std::int32_t Transparency = 255;
  std::vector<std::uint8_t> UserData;
  std::uint8_t KeepAspect = 0;
  std::uint8_t BeginShape = 0, EndShape = 0;
  std::int32_t ShapeWidth = 10, ShapeHeight = 20;
  TColor LabelBrushColor = clWhite;
  std::uint8_t LabelBrushStyle = bsSolid;
  std::uint8_t LabelPosition = 1;  // 1: at the start point
  std::uint8_t LabelShape = 1;
  TRect LabelRect;  // not stored
  TColor PenColor = clBlack;
  std::uint8_t PenStyle = psSolid;
  std::int32_t PenWidth = 1;
  TColor BrushColor = clWhite;
  std::uint8_t BrushStyle = bsClear;
  std::uint8_t SolidFill = 0;
  double ArcStart = 0, ArcEnd = 0;
  std::int32_t BitmapIdx = -1;
  std::uint8_t BitmapBorder = 0;
  std::string Text;  // also a bitmap object's file name
  std::optional<TIELogFont> Font;
  std::uint8_t FontQuality = 0;
  std::uint8_t TextAlign = 0;
  std::uint8_t TextAutoSize = 0;
  std::uint8_t TextEditOption = 1;
  std::vector<TIEVDPoint> Path;
  std::int32_t PathOption = -10;
  std::uint8_t TextEditable = 1;
  std::optional<std::vector<std::int32_t>> AttrIndices;
  std::vector<TIECharInfo> CharInfo;
  std::int32_t LineSpacing = 0;
  TColor BorderColor = clWhite;
  std::uint8_t BorderStyle = psSolid;
  std::int32_t FixedHeight = 0;
  std::uint8_t BkBitmap = 0;
  std::array<double, 4> Margins = {};
  std::uint8_t FillStyle = bsSolid;
  std::string Name;
  std::int32_t UserInt = 0;
  std::uint8_t Style = ievsSelectable | ievsMoveable | ievsSizeable | ievsVisible;
  std::uint8_t RulerUnit = ieuPIXELS;
  std::uint8_t RulerType = 2;
  std::vector<TPoint> Points;
  std::array<std::int32_t, 4> PointsBox = {};
  std::uint8_t Closed = 0;
  std::vector<TPoint> DrawnPoints;  // not stored
  std::array<TPoint, 3> AnglePoints = {TPoint{0, 0}, TPoint{50, 0}, TPoint{50, 50}};
  TRect GrabRect;                  // not stored
  TRect DrawnRect;                 // not stored
  std::int32_t DrawnPenWidth = 0;  // not stored
  TIEVSoftShadow Shadow;
  TIEVExtendedRef Extended;
};

// A polyline's points are kept in its point box; drawn, hit and edited they
// lie on the object's rectangle, scaled by rectangle size / box size on each
// axis (1.0 along an axis the box is zero wide).
struct TIEVPointsMap {
  explicit TIEVPointsMap(const TIEVObjectRecord& R)
      : Fx(R.PointsBox[2] == R.PointsBox[0]
               ? 1.0
               : (double(R.x2) - R.x1) / (double(R.PointsBox[2]) - R.PointsBox[0])),
        Fy(R.PointsBox[3] == R.PointsBox[1]
               ? 1.0
               : (double(R.y2) - R.y1) / (double(R.PointsBox[3]) - R.PointsBox[1])),
        fX1(R.x1),
        fY1(R.y1),
        fBx(R.PointsBox[0]),
        fBy(R.PointsBox[1]) {}
  // A point's place on the rectangle in image pixels, unrounded.
  double X(double Px) const { return fX1 + (Px - fBx) * Fx; }
  double Y(double Py) const { return fY1 + (Py - fBy) * Fy; }
  // Back from the rectangle into the box (only along an axis whose factor is not 0).
  double BoxX(double X) const { return fBx + (X - fX1) / Fx; }
  double BoxY(double Y) const { return fBy + (Y - fY1) / Fy; }
  double Fx, Fy;

 private:
  double fX1, fY1, fBx, fBy;
};

// One entry of the shared-bitmap table; a free entry has no bitmap.
struct TIEVSharedBitmap {
  std::unique_ptr<TIEBitmap> Bitmap;
  std::int32_t RefCount = 0;
};

// Event types of the control.
using TIEVObjectEvent = std::function<void(TObject* Sender, int hobj)>;
using TIEVMeasureHintEvent = std::function<void(TObject* Sender, std::string& Text, double Value)>;
using TIEOnPresentMeasure =
    std::function<void(TObject* Sender, std::string& Text, double Value, TIEVValType ValType)>;
using TIEVDragLenEndEvent = std::function<void(TObject* Sender, double Value)>;
using TIEVObjectMoveResizeEvent =
    std::function<void(TObject* Sender, int hobj, int Grip, int& OffsetX, int& OffsetY)>;
using TIEDrawObjectEvent = std::function<void(TObject* Sender, int hobj, TBitmap* Destination,
                                              const TRect& DestRect, bool DrawingAlpha, bool& Handled)>;

// Limits of the IEV reader (beyond them a stream is refused).
constexpr std::int64_t kIEVMaxBody = std::int64_t(1) << 28;     // inflated body bytes
constexpr std::int64_t kIEVMaxObjects = std::int64_t(1) << 22;  // records, nested ones included
constexpr std::int64_t kIEVMaxBitmaps = 1 << 16;                // shared-bitmap entries
constexpr int kIEVMaxNesting = 16;                              // container records inside each other
// The largest white image made from the objects' extent.
constexpr std::int64_t kIEVMaxExtentPixels = std::int64_t(1) << 28;

class TRedozIrVect : public TRedozIrView {
 public:
  explicit TRedozIrVect(TComponent* AOwner);
  ~TRedozIrVect() override;

  // ---- view operations
  using TRedozIrView::Assign;
  // The view's image and settings, and when Source is a vector view its
  // objects (each bitmap copied into a new entry) and scale factor;
  // nullptr removes every object too.
  void Assign(TRedozIrView* Source);
  void Update() override;
  void SetDpi(int DpiX, int DpiY) override;
  void SetMouseInteract(TIEMouseInteract Value) override;
  void DoViewChange(int Change) override;
  // The view scrolled under a drag: the grip drag's last point moves with it.
  void ShiftMousePositions(int DX, int DY) override;
  void PaintLayersToBackBuffer(TIEBitmap* Dest, const TRect* ClipRect, bool DrawBackground,
                               bool DrawDecorations) override;

  // ---- hooks the drawing and editing of objects fill
  // The rubber band of an object being created, on the control's canvas
  // with its current pen (ievect_edit.cpp).
  virtual void DrawRubberLine();
  virtual void DrawRubberBox();
  virtual void DrawRubberEllipse();
  virtual void DrawNewRuler();
  virtual void DrawNewAngle();
  virtual void DoVectorialChanged();
  virtual void ShowTextEditor();
  virtual void DoObjectMoveResize(int hobj, int Grip, int& OffsetX, int& OffsetY);
  virtual void DoObjectClick(int hobj);
  virtual void DoObjectDblClick(int hobj);
  virtual void DoObjectOver(int hobj);
  virtual void SetCopyAntialias(bool Value);
  virtual void DoBeforeVectorialChanged();
  virtual void DoNewObject(int hobj);
  virtual void DoUserSelectObject(int hobj);
  virtual void DoUserDeselectObject(int hobj);
  void CopyObjectsToBack(TIEBitmap* Dest);

  // ---- drawing (ievect_draw.cpp one object, ievect_compose.cpp all of them)
  // Draws one object into Target (Factor: supersampling factor); Work, when
  // given, takes bitmap objects with their alpha. False when not drawn.
  bool DrawObject(TBitmap* Target, TIEVObjectRecord& R, int hobj, TIEBitmap* Work, bool DrawingAlpha,
                  int Factor, bool OnScreen, bool ClipTest);
  // All objects in drawing order, with transparency and soft shadows.
  void DrawObjects(TBitmap* Target, bool IntoImage, bool Antialias);
  // Draws the objects into the current image, then Update; Antialias True
  // antialiases the copy whatever CopyAntialias says, False leaves it to it.
  void CopyObjectsToBack(bool Antialias);
  // The grips of the selected objects in the view's grip look (GripSize,
  // GripShape, GripPenColor, GripBrushColor, GripBrushStyle).
  void DrawGrips(TCanvas* Canvas);
  // The ruler being created from P1 to P2 (client coordinates), whole with
  // the template's settings and the length it shows; returns the rectangle
  // it covers (empty when nothing was drawn).
  TRect DrawNewRulerOn(TCanvas* Canvas, TPoint P1, TPoint P2);
  // A picture drawn centred on each grip instead of its shape; giving one
  // sets GripSize to half its larger side (nullptr or an empty one: shapes).
  const TPicture& ObjGripImage() const { return fGripImage; }
  void SetObjGripImage(const TBitmap* Picture);
  // Client coordinate of an image column (row) and image coordinate of a
  // client column (row), for any value: where the view's own conversions
  // would leave the integers they go on linearly from the image's origin.
  double ObjXBmp2Scr(double X);
  double ObjYBmp2Scr(double Y);
  double ObjXScr2Bmp(double X);
  double ObjYScr2Bmp(double Y);
  // The work bitmap of the last composition (nullptr before any).
  TIEBitmap* WorkBitmap() const { return fWork.get(); }
  int ObjectsDrawn() const { return fObjectsDrawn; }
  bool Dragging = false;
  bool FastDrag = true;
  bool GestureMoved = false;
  bool UprightLabels = true;
  bool SmallerAngle = false;
  // Largest work bitmap area (pixels) tried at twice the target's size.
  std::int64_t MaxWorkPixels = std::int64_t(1) << 26;

  // ---- hit tests (ievect_hit.cpp)
  // Distance in image pixels from (X, Y) (image pixels) to the object: 0
  // inside a filled shape, else to its outline; a bitmap's transparent pixel
  // (alpha 0) is 1000 away while ObjAlphaHitTest is on.
  double GetObjectDistance(int hobj, double X, double Y) const;
  // The visible object (selectable too when asked) nearest to screen point
  // (X, Y) among those over the shown part of the image, the topmost on a
  // tie; IEV_NONE when none, or none within ObjSelectionTolerance.
  int FindObjectAt(int X, int Y, bool SelectableOnly = false);
  // Screen pixels; below 0 the nearest object is taken however far it is.
  int ObjSelectionTolerance = -1;
  bool ObjAlphaHitTest = true;

  // ---- the object store
  // The record of a handle (-1 the template, -2 the last record); nullptr
  // for -3, -4, an empty store's -2 and any handle outside the store.
  TIEVObjectRecord* GetObjectRecord(int hobj);
  const TIEVObjectRecord* GetObjectRecord(int hobj) const;
  // Appends a copy of Source (normally the template) and answers its handle.
  int AddObject(const TIEVObjectRecord& Source);
  int AddNewObject() { return AddObject(fTemplate); }
  void RemoveAllObjects();
  int ObjectsCount() const { return static_cast<int>(fDrawOrder.size()); }
  // The handle drawn at position Index of the drawing order.
  int GetObjectAt(int Index) const;
  const std::vector<int>& DrawingOrder() const { return fDrawOrder; }

  void SetObjectFont(int hobj, const TFont& Font);
  void SetObjectBitmap(int hobj, const TIEBitmap* Bitmap);
  // Draws the standard icon Icon (IDI_ERROR, IDI_WARNING, ...) into a new
  // white Width x Height bitmap that becomes the object's; another number
  // changes nothing. Updates unless hobj is IEV_TEMPLATE.
  void SetObjectIcon(int hobj, int Icon, int Width, int Height);
  void SetObjectBitmapIndex(int hobj, int Index);
  TIEBitmap* GetObjectBitmap(int hobj);
  void SetObjectUserData(int hobj, std::vector<std::uint8_t> Data);
  void AddPolylinePoint(int hobj, int X, int Y);

  // ---- selection
  void AddToSelection(int hobj, bool Notify = true);
  bool IsSelected(int hobj) const;
  void RemoveFromSelection(int hobj);
  void UnselectAll(bool DoUpdate = true);
  const std::vector<int>& Selection() const { return fSelection; }
  int SelectedObjectsCount() const { return static_cast<int>(fSelection.size()); }

  // ---- extents
  TRect GetObjectsExtent() const;
  void GetSelectionExtent(TRect& Rect);

  // ---- shared bitmaps
  const std::vector<TIEVSharedBitmap>& SharedBitmaps() const { return fBitmaps; }

  // ---- measurement
  TIEUnits MUnit() const { return fMUnit; }
  void SetMUnit(TIEUnits Value);
  double ScaleFactor() const { return fScaleFactor; }
  // A finite value above 0; anything else raises EInvalidArgument.
  void SetScaleFactor(double Value);
  double PixelLengthX() const { return fPixelLengthX; }
  double PixelLengthY() const { return fPixelLengthY; }
  // The pixel lengths in a unit by this view's DPI and scale factor.
  void UnitLengths(TIEUnits Unit, double& LenX, double& LenY) const;
  // A length of (dx, dy) pixels in the unit.
  double MeasureLength(double dx, double dy) const;
  // "12.50 mm", with the area sign after the unit for an area, in UTF-8
  // (Charset -1) or in a font charset's code page; the decimal point is '.'
  // whatever the locale.
  std::string FormatMeasure(double Value, TIEVValType ValType, int Charset = -1) const;
  // The area of the view's selection in the unit squared: its polygon's
  // sub-polygons by the shoelace sum when it has more than 2 points, else
  // the mask's set pixels.
  double SelectionArea();
  // The length of the selection polygon in the unit, each sub-polygon closed.
  double SelectionLength();
  // The measure hint's look.
  TFont MeasureHintFont = [] {
    TFont f;
    f.Style = fsBold;
    f.Color = clBlack;
    return f;
  }();
  TBrush MeasureHintBrush{static_cast<TColor>(0x60FFFF), bsSolid};
  TColor MeasureHintLight = clWhite, MeasureHintDark = static_cast<TColor>(0x808080);
  int FloatDigits = 2;
  int FloatPrecision = 15;

  // ---- IEV and ALL streams
  // At the stream's position, leaving it at the end.
  void SaveToStreamIEV(TStream& Stream);
  // True when the stream held an IEV stream that loaded whole; otherwise
  // False with the objects, bitmaps and template as they were (the reason in
  // LastLoadError). The position ends after the stream, or where it failed.
  bool LoadFromStreamIEV(TStream& Stream);
  bool LoadFromFileIEV(const std::string& FileName);
  void SaveToFileIEV(const std::string& FileName);
  // Layers, then objects; the IEV part's offset is counted from the ALL
  // stream's first byte, wherever the stream starts.
  void SaveToStreamAll(TStream& Stream, int Coding);
  bool LoadFromStreamAll(TStream& Stream);
  bool LoadFromFileAll(const std::string& FileName);
  void SaveToFileAll(const std::string& FileName, int Coding);
  const std::string& LastLoadError() const { return fLastLoadError; }

  // ---- settings
  bool ShareBitmaps = true;
  bool ZoomObjectsWidth = true;
  TResampleFilter BitmapResampleFilter() const { return fBitmapResampleFilter; }
  void SetBitmapResampleFilter(TResampleFilter Value);
  int ObjUndoLimit = 1;
  bool ObjAutoUndo = false;
  TIEVUndoMode ObjUndoMode = ieumSeparated;
  bool ObjAntialias() const { return fObjAntialias; }
  void SetObjAntialias(bool Value);
  bool CopyAntialias() const { return fCopyAntialias; }
  bool SelectOnMouseDown = true;
  bool Modified = false;
  int EditingObject() const { return fTextEditing; }

  // ---- in-place text editing (ievect_text.cpp)
  // Opens the in-place editor over a text (single line) or memo object;
  // nothing for another kind, a bad handle or an object not text-editable.
  void StartTextEdit(int hobj);
  // Copies the editor's text (a memo's records and indices packed: every
  // record used, one index per character) back into the object, hides the
  // editor, fires OnDeactivateTextEdit and the change notification.
  virtual void EndTextEdit();
  // The editors (nullptr until the first text or memo is opened).
  TIEEdit* TextEditor() const { return fTextEdit.get(); }
  TIETextControl* MemoEditor() const { return fMemoEdit.get(); }
  // Gives the focus to the open editor when it can take it.
  void FocusTextEditor();
  // Keys typed into either editor, before the editor's own handling.
  TKeyEvent OnTextKeyDown;
  // A new text or memo made with the mouse opens for editing at once.
  bool EditOnCreate = true;
  // Records an undo step of the objects (ieumSeparated): the oldest steps
  // go while the list holds ObjUndoLimit or more; a limit of 0 or less keeps none.
  virtual void SaveObjectUndo();
  // Restores the newest step through the transactional reader and drops
  // it; False when there is none or it does not load.
  bool ObjectUndo();
  void ClearObjectUndo() { fUndo.clear(); }
  void DropLastObjectUndo() {
    if (!fUndo.empty()) fUndo.pop_back();
  }
  int ObjectUndoCount() const { return static_cast<int>(fUndo.size()); }

  // ---- editing (ievect_edit.cpp)
  // The grip of a selected object under screen point (X, Y) and its object;
  // 0 when none. Lines, rulers and lines with label have grips 1 to 3.
  int HitGrip(int X, int Y, int& hobj);
  // Selects at screen point (X, Y) as a click does (Shift adds or removes).
  void SelectAt(int X, int Y, bool Shift);
  bool AspectLock = false;
  // Points of a polyline created by clicks may lie outside the image.
  bool ObjAllowOutside = false;
  // An object put by a click without a drag is centred on the click (else
  // its first corner is there).
  bool CenterNewObjects = false;
  // Selected objects show a grip at the centre of their rectangle that
  // moves them (grip 3); a press on an object elsewhere selects at the
  // point first, as a press off the grips does.
  bool ObjCenterGrip = false;
  // The inside of every box hits, a box with a clear brush too (else only
  // boxes with a brush or a solid fill are hit inside).
  bool ObjBoxFillTest = false;
  // A double click does not end the polyline being created by clicks: it
  // stays open for more points until its mode is turned off.
  bool ObjPolylineKeepOpen = false;
  // The segment of the one selected polyline that the last mouse down
  // grabbed in point editing, off its points (segment i joins points i and
  // i + 1; a closed polyline's last joins the last point to the first); -1
  // when none. A drag moves both of its points.
  int PolylineSegmentHit() const { return fPolySegment; }
  // The rubber band drawn while an object is created (in not-mode drawing
  // the outline twice erases it; any other mode repaints instead).
  TPen RubberBandPen = [] {
    TPen p;
    p.Mode = pmNot;
    return p;
  }();
  // The polyline or angle being created by clicks; -1 when none.
  int CreatingObject() const { return fNewObject; }
  // The points of the one selected polyline as red circles (oiEditPolylinePoints).
  void DrawPolylinePoints(TCanvas* Canvas);
  // Undo entries of source ieuObject in the view's processing component.
  bool SaveUndoState(TIEUndoSource Source, TStream& Stream) override;
  void LoadUndoState(TIEUndoSource Source, TStream& Stream) override;

  // ---- events
  TNotifyEvent OnSelectObject;
  TIEVObjectEvent OnUserSelectObject, OnUserDeselectObject;
  TIEVMeasureHintEvent OnMeasureHint;
  TIEOnPresentMeasure OnPresentMeasure;
  TIEVDragLenEndEvent OnDragLenEnd;
  TNotifyEvent OnVectorialChanged, OnBeforeVectorialChanged;
  TIEVObjectEvent OnNewObject;
  TIEVObjectMoveResizeEvent OnObjectMoveResize;
  TIEVObjectEvent OnObjectClick, OnObjectDblClick, OnObjectOver;
  TNotifyEvent OnActivateTextEdit, OnDeactivateTextEdit;
  // The caret of the memo editor moved (the editor is the sender).
  TNotifyEvent OnTextEditCursorMoved;
  TIEDrawObjectEvent OnBeforeDrawObject, OnAfterDrawObject;

  // Vector interaction bits the editing part reads.
  std::uint32_t ObjectInteract = 0;

 protected:
  void RecomputeUnitLengths();
  // ---- the measure hint (ievect_hint.cpp)
  // Takes the hint away and, while it is on (a length being dragged, or
  // oiMeasureArea or oiMeasureLength set), draws it again near the mouse
  // with the value measured now (a value of 0 keeps the last text).
  void RefreshMeasureHint();
  // Puts back what the hint covered.
  void HideMeasureHint();
  // A length drag ended at client (X, Y): the hint goes and OnDragLenEnd
  // gets the length.
  void EndDragLength(int X, int Y);
  // Sets the dragging flag and starts the 50 ms timer while the primary
  // button is held; draws the hint again after the view's paint.
  void Paint() override;

 private:
  void ReleaseBitmapIndex(int Index);
  int NewBitmapEntry(std::unique_ptr<TIEBitmap> Bitmap);
  void CompactBitmaps();
  void WriteIEV(TStream& Stream);
  // Puts parsed objects in, all or nothing; BeforeChange, when given, runs
  // once everything is allocated, before the first member changes (and a
  // raise there changes nothing).
  void CommitStaged(TIEVStaged&& Staged, const std::function<void()>& BeforeChange = nullptr);

  TIEVObjectRecord fTemplate;
  // Handles index it; a deque keeps records in place as it grows (an
  // extended object points at its record).
  std::deque<TIEVObjectRecord> fRecords;
  std::vector<int> fDrawOrder;
  std::vector<int> fSelection;
  std::vector<TIEVSharedBitmap> fBitmaps;
  TIEUnits fMUnit = ieuPIXELS;
  double fScaleFactor = 1.0;
  double fPixelLengthX = 1.0, fPixelLengthY = 1.0;
  TResampleFilter fBitmapResampleFilter = rfNone;
  bool fObjAntialias = true;
  bool fCopyAntialias = true;
  bool fBeforeChangeFired = false;
  int fTextEditing = -1;
  // The measure hint and the timer that ends a drag.
  bool MeasureHintOn() const;
  void DrawMeasureHint();
  double DragLength(TPoint To);
  void DragTimerTick();
  std::unique_ptr<TTimer> fDragTimer;
  std::unique_ptr<TBitmap> fHintSaved;
  std::string fHintText;
  TPoint fHintPos;
  bool fHintShown = false;
  std::unique_ptr<TIEEdit> fTextEdit;
  std::unique_ptr<TIETextControl> fMemoEdit;
  // The text as editing began (Escape puts it back).
  std::string fTextBeforeEdit;
  void TextEditKeyDown(WORD& Key, TShiftState Shift, bool Memo);
  void TextEditChanged();
  // The editor of the object being edited (nullptr when none).
  TControl* EditorOfObject();
  std::string fLastLoadError;
  std::unique_ptr<TIEBitmap> fWork;
  TPicture fGripImage;
  int fObjectsDrawn = 0;
  std::deque<std::vector<std::uint8_t>> fUndo;
  // ---- mouse editing state (ievect_edit.cpp)
  int fCreating = 0;
  int fGrip = 0;
  TPoint fDragStart, fDragEnd, fLast;
  int fNewObject = -1;                   // polyline or angle created by clicks
  int fPolyPoint = -1;                   // grabbed point of the selected polyline
  int fPolySegment = -1;                 // grabbed segment of the selected polyline
  std::array<TPoint, 2> fSegmentGrab{};  // its points at the grab
  int fOverExtended = -1;                // extended object under the hovering mouse
  int fDownExtended = -1;                // extended object that took the mouse down
  bool fLeftDown = false;
  bool fDeferredSelect = false;
  bool fUndoSaved = false;  // this gesture's mouse down saved an undo step
  bool fRubberShown = false;
  TPoint fRubberEnd;
  TRect fRulerShown;                            // where the ruler being created was drawn
  int fGestureWidth = -1, fGestureHeight = -1;  // the control's size the gestures began in
  TIEVObjectRecord* NewObject();
  void AngleClick(TShiftState Shift, int X, int Y);
  void PolylineClick(TShiftState Shift, int X, int Y);
  void EndNewObject();
  bool GrabPolylinePoint(int X, int Y);
  bool OnCenterGrip(const TIEVObjectRecord& R, int X, int Y);
  void MovePolylinePoint(int X, int Y);
  void MovePolylineSegment(int X, int Y);
  // Moves or resizes every selected object by the held grip.
  void DragGrip(TShiftState Shift, int X, int Y);
  void ShowRubberBand(bool Show);
  void HoverObjects(int X, int Y);
  int ExtendedAt(int X, int Y);
  TPoint ClickPoint(int X, int Y);
  void DropGestureUndo();
  void EndGestures();

 protected:
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void WndProc(TMessage& Message) override;
  // A paint has covered the rubber band.
  void DrawSelectionOutline(TCanvas* Canvas) override;
  // Escape ends text editing; F2 opens the first selected text or memo.
  void KeyDown(WORD& Key, TShiftState Shift) override;
};

// Object interaction bits of TRedozIrVect::ObjectInteract.
constexpr std::uint32_t oiMeasureArea = 1u << 0, oiMeasureLength = 1u << 1, oiPutLine = 1u << 2,
                        oiPutBox = 1u << 3, oiPutEllipse = 1u << 4, oiPutBitmap = 1u << 5,
                        oiPutText = 1u << 6, oiEdit = 1u << 7, oiDragLen = 1u << 8, oiPutRuler = 1u << 9,
                        oiPutPolyline = 1u << 10, oiPutAngle = 1u << 11, oiPutMemo = 1u << 12,
                        oiPutLineLabel = 1u << 13, oiEditPolylinePoints = 1u << 14, oiDragToPut = 1u << 15,
                        oiPutExtended = 1u << 16;

// Frame of a bitmap object into a 24-bit bitmap, Width pixels thick; the
// four coordinates move inwards by Width.
void IEVDrawBitmapFrame(int& X1, int& Y1, int& X2, int& Y2, const TIEVObjectRecord& R, TIEBitmap* Target,
                        int Width);
// Sets a text control up to show a memo object: font, colours, frame, line
// spacing and margins (not the text).
void IEVSetupMemoControl(TIETextControl& Control, const TIEVObjectRecord& R);
// Caps of the drawing: ruler ticks, pen width, coordinates handed to the
// flattener, shadow radius and offset.
constexpr int kIEVMaxRulerTicks = 10000;
constexpr int kIEVMaxPenWidth = 1000;
constexpr int kIEVMaxDrawCoord = 1 << 20;
constexpr double kIEVMaxShadowRadius = 256.0;
constexpr int kIEVMaxShadowOffset = 4096;

// Value in fixed notation with Precision significant digits and Digits
// decimals, with '.' whatever the locale.
std::string IEFormatFloat(double Value, int Precision, int Digits);
// The platform font quality a text object's quality index (0 to 6) stands
// for: anti-aliased, ClearType, natural ClearType, default, draft,
// non-anti-aliased (FreeType's one-bit glyphs), proof.
TFontQuality IEVFontQuality(std::uint8_t Index);
// The font charset the system language asks of the texts typed in place:
// GREEK_CHARSET for Greek, RUSSIAN_CHARSET for Russian, -1 for the others.
// The measurement labels take only the Greek one.
int IESystemTextCharset();
// A sign (the area's U+00B2, the angle's U+00B0) in UTF-8 (Charset -1) or
// as the byte of a font charset's code page ("2" and " deg" where it has none).
std::string IESignText(char32_t Sign, int Charset);

// Same size, pixel format, alpha plane presence, pixels (and palette).
bool IEBitmapsEqual(TIEBitmap* A, const TIEBitmap* B);
// Kinds that hold a shared-bitmap index: bitmaps, memos with a background.
inline bool IEVUsesBitmap(const TIEVObjectRecord& R) {
  return R.Kind == ievkBITMAP || (R.Kind == ievkMEMO && R.BkBitmap != 0);
}

// The IEV and ALL tests at the stream's position; never raise, and leave
// the position where it was.
bool IEIevDetectStream(TStream& Stream);
bool IEAllDetectStream(TStream& Stream);

// Start-up and shutdown parts of the vector-object unit: the clipboard
// format, the extended-object registry, the IEV and ALL content tests and
// loaders of the I/O component.
void IEInitVect();
void IEFinalVect();
UINT IEVectClipboardFormat();

// The error icon of the template object: a 64 x 64 24-bit picture of ours.
std::unique_ptr<TIEBitmap> IEVectErrorIcon();

}  // namespace redozir
#pragma GCC visibility pop
