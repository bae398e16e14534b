// TRedozIrView, the image view control: its picture as a stack of layers
// over a current TIEBitmap, the lazily made I/O and processing components,
// the update locks and the bitmap it shares with an attached platform
// bitmap. It also serves hidden (no owner, no parent) as a plain image
// holder: such a view never creates a window.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "imaging/core/ie_types.h"
#include "imaging/core/iemask.h"
#include "imaging/core/ieproc.h"
#include "imaging/core/ieview.h"
#include "imaging/io/redozir_io.h"
#include "imaging/processing/ie_transition.h"
#include "imaging/view/ie_layer.h"
#include "imaging/view/ie_layers_stream.h"
#include "imaging/view/redozir_view_selection.h"
#include "platform/graphics.h"
#include "platform/picture.h"
#include "platform/timers.h"

#pragma GCC visibility push(default)
namespace redozir {

enum TIELayerEvent : std::uint8_t {
  ielSelected,
  ielMoved,
  ielResized,
  ielMoving,
  ielResizing,
  ielRotating,
  ielRotated,
  ielBeginResizing,
  ielBeginMoving,
};

enum TIEMouseInteractItems : std::uint8_t {
  miZoom,
  miScroll,
  miSelect,
  miSelectPolygon,
  miSelectCircle,
  miSelectZoom,
  miSelectMagicWand,
  miSelectLasso,
  miMoveLayers,
  miResizeLayers,
  miRotateLayers,
  miMovingScroll,
};
// A set of TIEMouseInteractItems, one bit per member.
using TIEMouseInteract = std::uint16_t;
// A set of up to 16 enumeration members as bits, from its members.
template <typename Item>
constexpr std::uint16_t IESetOf(std::initializer_list<Item> items) {
  std::uint16_t s = 0;
  for (auto i : items) s = static_cast<std::uint16_t>(s | (1u << i));
  return s;
}
constexpr TIEMouseInteract IEMouseInteract(std::initializer_list<TIEMouseInteractItems> items) {
  return IESetOf(items);
}
constexpr bool IEInMouseInteract(TIEMouseInteract s, TIEMouseInteractItems i) { return (s >> i) & 1u; }

enum TIESelectionOptionsItems : std::uint8_t {
  iesoAnimated,
  iesoSizeable,
  iesoMoveable,
  iesoFilled,
  iesoCutBorders,
  iesoMarkOuter,
  iesoCanScroll,
  iesoSelectTranspLayers,
  iesoRightButtonSelectLayers,
  iesoRightButtonTerminatePolySelect,
};
// A set of TIESelectionOptionsItems, one bit per member.
using TIESelectionOptions = std::uint16_t;
constexpr TIESelectionOptions IESelectionOptions(std::initializer_list<TIESelectionOptionsItems> items) {
  return IESetOf(items);
}

enum TIEBackgroundStyle : std::uint8_t {
  iebsSolid,
  iebsHorizontal,
  iebsVertical,
  iebsFDiagonal,
  iebsBDiagonal,
  iebsCross,
  iebsDiagCross,
  iebsChessboard,
  iebsDiagonals,
  iebsCropped,
  iebsCropShadow,
  iebsGradient,
  iebsSoftShadow,
  iebsPhotoLike,
};
enum TIEWallPaperStyle : std::uint8_t { iewoNormal, iewoStretch, iewoTile };
enum TIEGrip : std::uint8_t {
  ieNone,
  ieTopLeft,
  ieTopRight,
  ieBottomRight,
  ieBottomLeft,
  ieLeftSide,
  ieRightSide,
  ieTopSide,
  ieBottomSide,
  ieRotationCenter,
};
enum TIESelectionBase : std::uint8_t { iesbClientArea, iesbBitmap };

using TIELayerNotifyEvent = std::function<void(TObject* Sender, int layer, TIELayerEvent event)>;
using TIEMouseInResizingGripEvent = std::function<void(TObject* Sender, TIEGrip Grip)>;
using TIESpecialKeyEvent =
    std::function<void(TObject* Sender, WORD CharCode, TShiftState Shift, bool& Handled)>;
using TIEDrawBackgroundEvent =
    std::function<void(TObject* Sender, TCanvas* ACanvas, TRect ARect, bool& Handled)>;
using TIEDrawCanvasEvent = std::function<void(TObject* Sender, TCanvas* ACanvas, TRect ARect)>;
using TIEDrawLayerBoxEvent = std::function<void(TObject* Sender, TBitmap* ABitmap, int layer)>;
using TIEDrawLayerGripEvent =
    std::function<void(TObject* Sender, TBitmap* ABitmap, int layer, int grip, TRect rect)>;
using TIEDrawPolygonEvent =
    std::function<void(TObject* Sender, int polygon, int point, TCanvas* Canvas, int x, int y)>;
using TIEVirtualKeyEvent =
    std::function<void(TObject* Sender, unsigned VirtualKey, unsigned KeyData, bool KeyDown)>;

struct TIEBackgroundParams;

class TRedozIrView : public TIEView, public TIETransitionHost {
 public:
  explicit TRedozIrView(TComponent* AOwner);
  ~TRedozIrView() override;

  // ---- components (made on first request, owned by the view)
  TRedozIrIO* GetIO();
  TRedozIrProc* GetProc();
  bool HasIO() const { return fIO != nullptr; }
  bool HasProc() const { return fProc != nullptr; }

  // ---- the image
  TIEBitmap* GetIEBitmap() override { return fIEBitmap; }
  // The platform bitmap the current bitmap keeps its pixels in (with
  // LegacyBitmap off too, for a layer made in one); nullptr when they live
  // elsewhere.
  TBitmap* GetBitmap() override;
  bool LegacyBitmap() const { return fLegacyBitmap; }
  virtual void SetLegacyBitmap(bool Value);
  // The view works on Bitmap (not freed by the view) as its current bitmap;
  // nullptr gives the current layer a new empty bitmap of its own.
  void AttachIEBitmap(TIEBitmap* Bitmap);
  // Both sides below 2 pixels.
  virtual bool IsEmpty();
  virtual TIEBitmap* GetAlphaChannel();
  virtual bool GetHasAlphaChannel();
  virtual void RemoveAlphaChannel(bool Merge);
  // Fills with Background and drops the alpha channel.
  void Clear();
  // A 1 x 1 image, cleared.
  void Blank();
  // A view copies the other's image, background and DPI; a platform bitmap
  // its pixels; nullptr clears.
  void Assign(TRedozIrView* Source);
  void Assign(TBitmap* Source);
  void SetBackground(TColor Value) override;
  void DoImageChange() override;
  // While the view is being loaded or designed, the image takes the
  // control's size, cleared to Background.
  void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;

  // ---- update control
  // Brings the view up to its image; nothing while locked, loading or
  // being destroyed. A view without a window stops after the image part.
  void Update() override;
  void LockUpdate() { ++fUpdateLock; }
  void UnlockUpdate();
  void UnlockUpdateEx();
  int UpdateLockCount() const { return fUpdateLock; }
  virtual void LockPaint() { ++fPaintLock; }
  virtual void UnlockPaint();
  virtual int UnlockPaintEx();
  int PaintLockCount() const { return fPaintLock; }

  // ---- window
  // The client size, 50 x 50 while the view has no window; the control's
  // width and height with ClientSizeFromControl.
  virtual int GetClientWidthEx();
  virtual int GetClientHeightEx();
  bool ClientSizeFromControl = false;
  // Placed on a form whose window exists.
  virtual bool HasParentWindow();

  // ---- layers
  int GetLayersCount() const { return static_cast<int>(fLayers.size()); }
  TIELayer* GetLayer(int Index) const;
  TIELayer* GetCurrentLayer() const { return GetLayer(fLayersCurrent); }
  int LayersCurrent() const { return fLayersCurrent; }
  virtual void SetLayersCurrent(int Index);
  int LayersAdd();
  void LayersRemove(int Index);
  void LayersClear();
  void SyncLayers();
  bool LayersSync = false;
  bool LayersSelectableOnly = true;
  bool LayersDrawBox = false;
  virtual void DoLayerNotify(int layer, TIELayerEvent event);
  // Layer 0's size as the geometry last saw it.
  int ImageWidth() const { return fImageWidth; }
  int ImageHeight() const { return fImageHeight; }

  // ---- properties kept for the painting and interaction code
  bool EnableAlphaChannel() const { return fEnableAlphaChannel; }
  void SetEnableAlphaChannel(bool v);
  bool AutoFit = false;
  bool AutoStretch = false;
  bool AutoShrink = false;
  bool DoubleBuffer = true;
  bool DelayZoomFilter = false;
  TIESelectionBase SelectionBase = iesbClientArea;
  bool EnableInteractionHints = true;
  bool Center() const { return fCenter; }
  void SetCenter(bool v);
  TResampleFilter ZoomFilter() const { return fZoomFilterAsked; }
  void SetZoomFilter(TResampleFilter v);
  TIEBackgroundStyle BackgroundStyle() const { return fBackgroundStyle; }
  void SetBackgroundStyle(TIEBackgroundStyle v);
  TIEWallPaperStyle WallPaperStyle() const { return fWallPaperStyle; }
  void SetWallPaperStyle(TIEWallPaperStyle v);
  bool DrawVersion() const { return fDrawVersion; }
  void SetDrawVersion(bool v);
  // The library's version text; read-only.
  static std::string RedozIrVersion() { return "3.1.0"; }

  // ---- coordinates: client area <-> pixels of layer 0
  // Bitmap pixel under a client pixel, and the first client pixel showing a
  // bitmap pixel; both extend past the image and the client area.
  virtual int XScr2Bmp(int x);
  virtual int YScr2Bmp(int y);
  virtual int XBmp2Scr(int x);
  virtual int YBmp2Scr(int y);
  // Client area <-> pixels of a layer's own bitmap (0 for a layer of no size).
  int LayerXScr2Bmp(TIELayer* Layer, int X);
  int LayerYScr2Bmp(TIELayer* Layer, int Y);
  int LayerXBmp2Scr(TIELayer* Layer, int X);
  int LayerYBmp2Scr(TIELayer* Layer, int Y);
  // The topmost layer drawn under the client point (a transparent pixel of
  // a layer with alpha does not count unless iesoSelectTranspLayers), or -1.
  int FindLayerAt(int X, int Y, bool SelectableOnly = true);
  bool IsPointInLayer(int X, int Y, int Index);
  TIESelectionOptions SelectionOptions =
      IESelectionOptions({iesoAnimated, iesoSizeable, iesoMoveable, iesoCanScroll});

  // ---- selection
  // The selection mask, 1 bit per pixel at the image size (empty: no selection).
  TIEMask* SelectionMask() { return fSelectionMask.get(); }
  TIEMask* GetSelectionMask() override { return fSelectionMask->IsEmpty() ? nullptr : fSelectionMask.get(); }

  // ---- selection (redozir_view_selection.cpp): a polygon of points in
  // bitmap coordinates (IESELBREAK points separate sub-polygons), filled into
  // the mask when a selection ends
  // A selection exists: points were added or the mask holds pixels.
  virtual bool Selected() { return fSel->Selected || !fSelectionMask->IsEmpty(); }
  // The value selected pixels get in the mask.
  int SelectionIntensity = 1;
  // -1 free shape, 0 the fixed size SelectionAbsWidth x SelectionAbsHeight
  // (bitmap pixels), above 0 height = width x ratio.
  double SelectionAspectRatio = -1.0;
  int SelectionAbsWidth = 100, SelectionAbsHeight = 100;
  // Cells per side of the grid drawn in a rectangular selection.
  int SelectionGridSize = 1;
  // Grips also at the middles of the selection box's sides.
  bool ExtendedGrips = true;
  // False draws nothing of the selection.
  bool DisplaySelection = true;
  // -P: the ants timer's interval follows the drawing time (P percent of it).
  int AnimPolygonPercent = -20;
  // Shift with a selection gesture adds to the selection.
  bool AdditiveSelection = true;
  // Gestures behave as with Alt held (squares, circles, 45 degrees, kept aspect).
  bool ConstrainSelection = false;
  // Stores the options and redraws the selection with them.
  void SetSelectionOptions(TIESelectionOptions Value);
  // Op 0 replaces the selection by the rectangle, 1 adds it; a rectangle of
  // no width or height changes nothing.
  virtual void Select(int X1, int Y1, int X2, int Y2, int Op = 0);
  virtual void AddSelectionPoint(int X, int Y);
  // Fills the polygon into the mask; an empty result deselects.
  virtual void EndSelect();
  void Deselect();
  const TPoint* GetSelectionPoints() const { return fSel->Poly.Points.data(); }
  int GetSelectionPointCount() const { return fSel->Poly.Count(); }
  // The polygon's box over its points (bitmap coordinates, right and bottom
  // as the points give them).
  TRect SelectionPolygonBox() const { return fSel->Poly.Box; }
  bool SelectionPolygonVisible() const { return fSel->Poly.Visible; }
  // Moves by (DX, DY) bitmap pixels; without CutBorders it stops at the
  // image's edges. The two-argument form takes iesoCutBorders and ends the
  // selection.
  void MoveSelection(int DX, int DY, bool CutBorders);
  void MoveSelection(int DX, int DY);
  // Drags a grip of a rectangular selection to the client point; answers the
  // grip now dragged (it changes when the rectangle flips).
  int ResizeSelectionByGrip(int Grip, int X, int Y, bool Constrain);
  // The ellipse and rectangle gestures from the mouse-down point to (X, Y).
  void SelectCircle(int X, int Y, TShiftState Shift);
  void SelectRectangleTo(int X, int Y, TShiftState Shift);
  // The client point where a selection gesture starts (the mouse does it).
  void SetSelectionAnchor(int X, int Y);
  // The drawing state of the gesture in progress (the mouse sets it).
  TIESelectionState& SelectionState() { return *fSel; }
  // Removes the last point (and separators before it).
  void RemoveLastSelectionPoint();
  // The TIEGrip of a rectangular selection under a client point (ieNone).
  int GripAt(int X, int Y);
  // 0 when a drag from the client point moves the selection, else -1.
  int MoveHitTest(int X, int Y, TShiftState Shift = 0);
  // The grid of SelectionGridSize cells in a client rectangle.
  virtual void DrawSelectionGrid(TCanvas* Canvas, int X1, int Y1, int X2, int Y2);
  // The ants timer (nullptr until a shown selection needs it).
  TTimer* AntsTimer() const { return fSel->AntsTimer.get(); }

  // ---- magic wand (ie_wand.cpp)
  // 0 the connected region's outline as the polygon, 1 the region into the
  // mask, 2 every similar pixel of the image into the mask.
  std::uint8_t MagicWandMode = 0;
  // The largest difference accepted on each colour channel.
  int MagicWandTolerance = 15;
  // Grow the region by one pixel every way.
  bool MagicWandMaxFilter = false;
  // Selects around the point (client or bitmap coordinates by
  // SelectionBase), adding to the selection with Additive.
  void MagicWandSelect(int X, int Y, bool Additive);

  // ---- selection records and the selection stack, which carries the
  // selection across a change of the current layer
  // The polygon, the mask and the current layer's position.
  void SaveSelectionToStream(TStream& Stream);
  // Mode 0 fits the mask to the current bitmap, 1 first moves it back inside,
  // 2 keeps the selected pixels where they were in layer 0's coordinates on
  // the now current layer. A damaged record raises and changes nothing.
  bool LoadSelectionFromStream(TStream& Stream, int Mode);
  // Saves the selection with the current layer's position on the stack.
  virtual void PushSelection();
  // Restores the newest saved selection (taking it off with Remove); False
  // when the stack is empty. Mode 2 keeps the selected pixels where they were
  // in layer 0's coordinates on the now current layer; modes 0 and 1 fit the
  // mask to the current bitmap, mode 1 first moving it back inside.
  virtual bool PopSelection(bool Remove, int Mode);
  int SelectionStackCount() const { return static_cast<int>(fSelectionStack.size()); }

  // ---- the layers stream (ie_layers_stream.cpp)
  // Every layer with its settings and pixels. Coding -1 raw deflated, -2 raw,
  // otherwise the id of a file format the I/O component writes (1 stands for
  // PNG). The current layer, the selection and the I/O parameters stay.
  void LayersSaveToStream(TStream& Stream, int Coding);
  void LayersSaveToFile(const std::string& FileName, int Coding);
  // Replaces the layers; False for another signature or a version outside
  // 1..6. A damaged stream raises and leaves layers, pixels and selection as
  // they were. The last layer read becomes current; the stream is left after
  // the last bitmap read.
  bool LayersLoadFromStream(TStream& Stream);
  bool LayersLoadFromFile(const std::string& FileName);

  // ---- undo of selections and layers (the processing component asks)
  bool SaveUndoState(TIEUndoSource Source, TStream& Stream) override;
  void LoadUndoState(TIEUndoSource Source, TStream& Stream) override;

  // ---- flattening
  // Draws every layer at 100 % into Dest (made 24-bit), enlarged to hold
  // them all; a layer left or above layer 0 shifts everything right or down.
  virtual void LayersDrawTo(TIEBitmap* Dest);
  // All layers flattened into layer 0, the only one left.
  void LayersMergeAll();

  // ---- mouse interaction (redozir_view_mouse.cpp)
  // Origin pixels scrolled per client pixel dragged with miScroll.
  double MouseScrollRate = 1.0;
  // Layer grips keep the aspect: 1 with Alt, 2 always, 3 on the corners.
  std::uint8_t LayersResizeAspect = 1;
  // Degrees a Shift rotation snaps to.
  int LayersRotateStep = 45;
  // Layer moves, resizes and rotations take an undo entry first.
  bool LayersUndo = false;
  // The mouse's stored positions move by (-DX, -DY) (the view scrolled).
  virtual void ShiftMousePositions(int DX, int DY);
  // Scrolls while the cursor lies past the image's edge; True when it did.
  bool AutoScrollDrag();
  TIEMouseInteract MouseInteract() const { return fMouseInteract; }
  // Keeps only the members that work together with the one newly asked for.
  virtual void SetMouseInteract(TIEMouseInteract Value);

  // ---- events
  TNotifyEvent OnImageChange;
  TIELayerNotifyEvent OnLayerNotify;
  virtual void SetOnProgress(TIEProgressEvent v);
  virtual void SetOnFinishWork(TNotifyEvent v);
  virtual TIEProgressEvent GetOnProgress() { return fOnProgress; }
  virtual TNotifyEvent GetOnFinishWork() { return fOnFinishWork; }
  void SetOnSaveUndo(TIESaveUndoEvent v);
  const TIESaveUndoEvent& GetOnSaveUndo() const { return fOnSaveUndo; }

  // ---- the events of painting, selection, keys and layers
  TNotifyEvent OnPaint;
  TNotifyEvent OnDrawBackBuffer;
  TNotifyEvent OnSelectionChange, OnSelectionChanging, OnBeforeSelectionChange, OnMouseInSel;
  TIEMouseInResizingGripEvent OnMouseInResizingGrip;
  TIESpecialKeyEvent OnSpecialKey;
  TIEDrawBackgroundEvent OnDrawBackground;
  TIEDrawCanvasEvent OnDrawCanvas;
  TIEDrawLayerBoxEvent OnDrawLayerBox;
  TIEDrawLayerGripEvent OnDrawLayerGrip;
  TIEDrawPolygonEvent OnDrawPolygon;
  TNotifyEvent OnDShowNewFrame, OnDShowEvent;
  TIEVirtualKeyEvent OnVirtualKey;
  // Fire the events above; all but OnSelectionChange show their handler the
  // SelectionBase the program set, also while a mouse handler works in
  // client coordinates.
  void DoSelectionChange();
  void DoSelectionChanging();
  void DoBeforeSelectionChange();
  void DoMouseInSel();
  void DoMouseInResizingGrip(TIEGrip Grip);
  // A mouse handler works in client coordinates: the program's SelectionBase
  // is kept aside from Begin to the matching End.
  void BeginClientSelectionBase();
  void EndClientSelectionBase();

  // ---- transitions
  // The engine; nullptr until a transition event is set.
  TIETransitionEffects* Transition() const { return fTransition.get(); }
  // Reading gives nil while there is no engine; setting makes it.
  TNotifyEvent GetOnTransitionStop() const;
  void SetOnTransitionStop(TNotifyEvent v);
  TIETransitionStepEvent GetOnTransitionStep() const;
  void SetOnTransitionStep(TIETransitionStepEvent v);
  TIEOnTransitionPaint GetOnTransitionPaint() const;
  void SetOnTransitionPaint(TIEOnTransitionPaint v);
  // Ends a running transition (resizing and blanking do).
  void StopTransition();
  // What the engine draws through: this view's canvas, size, background,
  // paint lock and update.
  TObject* TransitionSender() override { return this; }
  TCanvas* TransitionCanvas() override { return GetCanvas(); }
  int TransitionClientWidth() override { return GetClientWidthEx(); }
  int TransitionClientHeight() override { return GetClientHeightEx(); }
  TColor TransitionBackground() override { return Background(); }
  void TransitionPaintBackground(TCanvas* Canvas, int Width, int Height) override;
  void TransitionLockPaint() override { LockPaint(); }
  void TransitionUnlockPaint() override { UnlockPaintEx(); }
  void TransitionUpdate() override { Update(); }

  // ---- what painting reads
  // The wallpaper, made (empty) on first use.
  TPicture* WallPaper();
  void SetWallPaper(const TPicture* Value);
  // What the update under way must redo (0 nothing, 1 the centring, 2 the
  // zoom, 4 everything); FullRepaint asks for the whole back buffer.
  std::uint8_t RepaintMode() const { return fRepaintMode; }
  bool FullRepaint() const { return fFullRepaint; }
  // 24-bit, in a platform bitmap; nullptr at design time.
  TIEBitmap* BackBuffer() const { return fBackBuffer.get(); }
  // The selection outline's two colours and the dotted inverting pen.
  TColor SelectionColorA = clBlack, SelectionColorB = clWhite;
  TPen XorPen{clBlack, 1, psDot, pmNot};

  // ---- painting (redozir_view_paint.cpp)
  // Blits the part of the back buffer that the window asks for (recomposing
  // it first when a full repaint is due), then the program's hooks and
  // OnPaint. Nothing raised while painting escapes.
  void Paint() override;
  // Blits R (client coordinates) of the back buffer to the window,
  // recomposing the back buffer first when a full repaint is due.
  void PaintRect(const TRect& R);
  // Recomposes on the next paint and invalidates R.
  void InvalidateRectEx(const TRect& R);
  // Whether Update invalidates the window (cleared by a program that
  // repaints the view on its own), and a temporary stop to that and to the
  // selection outline that Paint draws, for work that draws on the window
  // itself until it is done.
  bool InvalidateOnUpdate = true;
  bool SuppressInvalidate = false;
  // The gradient background's bottom colour.
  TColor GradientEndColor = 0xFF0000;
  // The chessboard's square size and brush (bsSolid writes its pixels).
  void SetChessboardStyle(int Size, TBrushStyle Style);
  int ChessboardSize() const { return fChessboardSize; }
  TBrushStyle ChessboardBrushStyle() const { return fChessboardBrushStyle; }
  // Paints the view's background over the control's size on Target (the
  // transition effects draw over it).
  void PaintBackgroundTo(TCanvas* Target);
  // The platform bitmap of the back buffer (nullptr at design time), for a
  // program to draw on: the next scroll then composes the whole frame.
  TBitmap* GetBackBufferBitmap();
  // The hint shown during a mouse interaction (an empty Text hides it).
  void SetInteractionHint(const std::string& Text, int X, int Y, const std::string& SizingText);
  // How often the back buffer was composed: an exposure only blits. Of
  // those, how many kept the last frame, moved by a scroll, and composed only
  // what the scroll uncovered.
  int CompositionCount() const { return fCompositions; }
  int KeptFrameCount() const { return fKeptFrames; }

  // ---- layer composition (redozir_view_compose.cpp)
  // Draws the background and the visible layers into the 24-bit Dest by the
  // view's zoom and origin (only inside ClipRect when given), then with
  // DrawDecorations the boxes, grips, dimming and pixel grid.
  virtual void PaintLayersToBackBuffer(TIEBitmap* Dest, const TRect* ClipRect, bool DrawBackground,
                                       bool DrawDecorations);
  // Outside layer 0: 0 nothing, 1 upper layers drawn with alpha
  // LayersOuterValue, 2 a grey chessboard, 3 brightened by LayersOuterValue.
  int LayersOuterMode = 0;
  int LayersOuterValue = 60;
  // A layer smaller than this both ways is not drawn.
  int LayersMinSize = 2;
  // The resize and rotation grips: shape 0 squares, 1 circles, of radius GripSize.
  TColor GripPenColor = clBlack;
  TColor GripBrushColor = 0xBAFFFF;
  TBrushStyle GripBrushStyle = bsSolid;
  int GripSize = 5;
  int GripShape = 1;
  // The box around a layer (dotted, inverting).
  TPen LayerBoxPen{clBlack, 1, psDot, pmNot};
  // The pixel grid at deep zooms, and the pixel it outlines (column and row,
  // -1 for none).
  bool DisplayGrid = false;
  TPoint HighlightedPixel{-1, -1};
  // Set while the mouse moves or resizes a layer.
  bool LayerMouseTransform = false;
  // The nine grip squares of a layer: corners, side middles, rotation centre.
  std::array<TRect, 9> GetLayerGrips(int LayerIndex);
  // The TIEGrip of the current layer under a client point (ieNone: none).
  int GetLayerGripAt(int X, int Y);
  void DrawLayerBox(TBitmap* ABitmap, int LayerIndex);
  void DrawLayerGrips(TBitmap* ABitmap, int LayerIndex);
  void DrawLayerRotationGrip(TBitmap* ABitmap, int LayerIndex);
  void DimOutsideLayer(TBitmap* ABitmap, int LayerIndex);

  // ---- layer maintenance through a processing component (index -1: every
  // layer; redozir_view_merge.cpp)
  // Resamples each layer shown at another size than its bitmap's to that size.
  virtual void LayersFixSizes(int LayerIndex);
  // Turns each rotated layer's bitmap by its angle and resets the angle.
  virtual void LayersFixRotations(int LayerIndex);
  virtual void LayersCropTransparentBorders(int LayerIndex);
  // Crop a layer's transparent borders when layer rotation is switched on.
  bool LayersCropBeforeRotating = true;
  // How the layer fixes rotate (see TRedozIrProc::Rotate).
  bool LayersRotateAntiAlias = true;
  std::uint8_t LayersRotateAntialiasMode = 1;

  // ---- cursors and keys (redozir_view_cursors.cpp)
  // The base cursor (what the program set) and the shown one become c.
  void SetCursor(TCursor c) override;
  // Shows c for now (only in a view with an owner); RestoreCursor goes back
  // to the base cursor.
  void SetTempCursor(TCursor c);
  void RestoreCursor();
  TCursor BaseCursor() const { return fBaseCursor; }
  // The cursor shown instead of c while Shift would add to the selection.
  static TCursor ShiftPlusCursor(TCursor c);
  // Shift swaps the hand cursors for their "+" shapes while held.
  bool ShiftCursorSwap = true;

  // True for four points whose edges are, in turn, horizontal and vertical.
  static bool IsRectanglePolygon(const TPoint* Points, int Count);

  // The private messages: IEM_UPDATE, IEM_PROGRESS and IEM_FINISHWORK
  // (posted by the I/O component's thread) run here on the view's thread;
  // wheel and scroll-bar messages scroll and zoom.
  void WndProc(TMessage& Message) override;

  // ==== zoom, view origin, scroll bars, wheel, smooth scrolling, overview
  // (redozir_view_zoom.cpp, redozir_view_scroll.cpp, redozir_view_coords.cpp)
  // Change: 0 horizontal origin, 1 vertical origin, 2 zoom.
  using TIEViewChangingEvent = std::function<void(TObject* Sender, int Change, double newValue)>;
  // Change: 0 origin, 1 zoom.
  using TIEViewChangeEvent = std::function<void(TObject* Sender, int Change)>;
  using TIEZoomEvent = std::function<void(TObject* Sender, double& NewZoom)>;

  // Zoom in percent; 100 shows one bitmap pixel per client pixel.
  double Zoom() const { return fZoomX; }
  double ZoomX() const { return fZoomX; }
  double ZoomY() const { return fZoomY; }
  // The property setters: keep the point under the client centre, update
  // and repaint; a value of 0 or less, or one the coordinates cannot carry
  // (below 0.01 % or a zoomed image past 32 bits), is ignored.
  void Zoom(double Value);
  void ZoomX(double Value);
  void ZoomY(double Value);
  // The core zoom change behind the setters (no update).
  virtual void SetZoom(double Value);
  virtual void SetZoomX(double Value);
  virtual void SetZoomY(double Value);
  // The origin: the zoomed column and row shown at the image's left and top.
  int ViewX() const { return fViewX; }
  int ViewY() const { return fViewY; }
  void SetViewX(int Value);
  void SetViewY(int Value);
  void SetViewXY(int X, int Y);
  // Glides to X, Y in steps of a divisor-th of the way, every 30 ms.
  void SetViewXYSmooth(int X, int Y);
  bool SmoothScrolling() const { return fSmoothTimer != nullptr; }
  int SmoothScrollDivisor = 8;
  void GetMaxViewXY(int& MaxX, int& MaxY);
  double GetOptimalZoom(int W, int H, int AW, int AH, bool CanStretch, bool CanShrink);
  void Fit();
  void ZoomAt(int X, int Y, double NewZoom, bool Center = true);
  void ZoomSelection(bool KeepAspect = true, bool FireEvent = false);
  // The selection's inclusive bounds in bitmap pixels.
  int SelectionLeft();
  int SelectionTop();
  int SelectionRight();
  int SelectionBottom();
  bool CanScroll();
  // Action 0 goes to Position, 1 to the end, 2 to the start, 3 and 4 a line
  // forward and back, 5 and 6 a page forward and back.
  void ScrollVert(int Action, int Position = 0);
  void ScrollHorz(int Action, int Position = 0);

  // Where the image lies in the client area and which part of it shows.
  virtual void UpdateImageRect();
  virtual void UpdateSourceRect();
  virtual void UpdateCoordTables();
  // Left, top and the visible width and height of the image in the client area.
  TRect ImageRect() const { return Bounds(fImageLeft, fImageTop, fVisibleWidth, fVisibleHeight); }
  int ZoomedWidth() const { return fZoomedWidth; }
  int ZoomedHeight() const { return fZoomedHeight; }
  // The visible bitmap columns and rows and the client size they fill.
  TRect SourceRect() const { return Bounds(fFirstColumn, fFirstRow, fSourceColumns, fSourceRows); }
  int DestWidth() const { return fDestWidth; }
  int DestHeight() const { return fDestHeight; }

  TScrollStyle ScrollBars() const { return fScrollBars; }
  virtual void SetScrollBars(TScrollStyle Value);
  bool FlatScrollBars() const { return fFlatScrollBars; }
  void FlatScrollBars(bool Value);
  // Show disabled bars instead of hiding them when nothing scrolls.
  bool KeepScrollBars = false;
  TIEScrollBarParams HScrollBarParams;
  TIEScrollBarParams VScrollBarParams;
  TIEMouseWheelParams MouseWheelParams;
  // Origin pixels per scroll-bar position (SB_HORZ or SB_VERT).
  double ScrollRatio(int Bar) const { return Bar == SB_VERT ? fVScroll.Ratio : fHScroll.Ratio; }
  // The scroll-bar position that stands for an origin and back.
  int ScrollPosFromView(int Bar, int Origin) const;
  int ViewFromScrollPos(int Bar, int Pos) const;

  // Shows this view's image in View, with the visible area as its selection;
  // bit 0 of Options lets a wheel turn over View zoom this view.
  void SetOverviewView(TRedozIrView* View, std::uint8_t Options = 0);
  TRedozIrView* OverviewView() const { return fOverviewView; }
  bool IsOverview() const { return fOverviewOf != nullptr; }
  std::uint8_t OverviewOptions() const { return fOverviewOptions; }
  // The visible area the viewed view last gave this overview (bitmap pixels).
  TRect OverviewSelection() const { return fOverviewSelection; }
  // The overview's selection moved: this view shows what it covers.
  void ScrollToOverviewSelection(const TRect& Selection);

  // Ticks left before the delayed zoom filter applies again, and of the
  // timer that counts them down.
  int DelayZoomFilterCount() const { return fDelayZoomFilterCount; }
  int DelayTimerCount() const { return fDelayTimerCount; }

  virtual void DoViewChange(int Change);
  virtual void DoViewChanging(int Change, double newValue);
  TIEViewChangeEvent OnViewChange;
  TIEViewChangingEvent OnViewChanging;
  TIEZoomEvent OnZoomIn;
  TIEZoomEvent OnZoomOut;

 protected:
  // A layers stream read aside, LayersLoadFromStream's first half: nullptr
  // for another signature or version (the stream back where it was); a
  // damaged stream raises. CommitLayers puts it in: it raises only before
  // anything has changed.
  struct TStagedLayers;
  struct TStagedLayersFree {
    void operator()(TStagedLayers* Staged) const noexcept;
  };
  // Held: what the load already holds of its memory budget.
  std::unique_ptr<TStagedLayers, TStagedLayersFree> StageLayers(TStream& Stream, std::int64_t Held = 0);
  void CommitLayers(TStagedLayers& Staged);
  // The most memory a load into the view may hold: the I/O component's
  // budget (the default without one).
  std::int64_t LoadBudget() const;
  // Update after a change already made: short of memory, the view follows
  // the change at a next update, asked for here, and nothing is raised.
  void UpdateAfterChange();

  void Notification(TComponent* AComponent, TOperation Operation) override;
  // Hooks the selection fills in: its bounds while one is being drawn,
  // dropping it, redrawing its outline, and (on an overview) showing the
  // viewed view's visible area as a fixed selection.
  virtual bool DrawnSelectionBounds(TRect& Bounds);
  virtual void RemoveSelection();
  virtual void RepaintSelection();
  virtual void SelectVisibleArea(const TRect& Area);
  // The wheel turn at a client point with Ctrl held or not; False when the
  // wheel does nothing here.
  virtual bool MouseWheelAction(int Delta, TPoint Pos, bool Ctrl);
  // The wheel and scroll-bar messages; False for any other.
  bool ScrollMessage(TMessage& Message);

  double fZoomX = 100.0, fZoomY = 100.0;
  // ZoomX/100, 100/ZoomX, ZoomY/100, 100/ZoomY.
  double fZoomD100X = 1.0, fZoom100X = 1.0, fZoomD100Y = 1.0, fZoom100Y = 1.0;
  int fViewX = 0, fViewY = 0;
  // Image rectangle: offsets, zoomed size, visible size.
  int fImageLeft = 0, fImageTop = 0;
  int fZoomedWidth = 0, fZoomedHeight = 0;
  int fVisibleWidth = 0, fVisibleHeight = 0;
  // Source rectangle: first visible column and row, their counts, and the
  // client size they are drawn to.
  int fFirstColumn = 0, fFirstRow = 0;
  int fSourceColumns = 0, fSourceRows = 0;
  int fDestWidth = 0, fDestHeight = 0;
  // What the next paint does: repaint mode (0 none, 1 centre, 2 zoom, 4
  // geometry), recompose everything, paint the whole client area.
  std::uint8_t fRepaintMode = 0;
  bool fFullRepaint = true;
  bool fPaintWholeClient = false;
  int fDelayZoomFilterCount = 0, fDelayTimerCount = 0;

 private:
  struct TCoordTables {
    std::vector<int> Scr2Bmp, Bmp2Scr;  // client offset -> bitmap offset and back
    double Zoom = 0;
    int Visible = -1, Image = -1;
  };
  struct TScrollBarState {
    bool Visible = false;
    double Ratio = 1.0;
    int MaxPos = 0;  // the last thumb position
  };
  void UpdateZoomFactors();
  // SetZoom, SetZoomX and SetZoomY, and the setters around them.
  void ChangeZoom(bool X, bool Y, double Value);
  // Whether the axes asked for can take Value: at least 0.01 % and a zoomed
  // image inside 32-bit coordinates.
  bool ZoomFits(bool X, bool Y, double Value) const;
  void SetZoomProperty(bool X, bool Y, double Value);
  // What follows a move of the origin: repaint, events, thumb positions.
  void OriginMoved(bool MovedX, bool MovedY);
  // Moves the scroll bar's thumb to where the origin stands.
  void PlaceScrollPos(int Bar, int Origin);
  // The smallest origin on an axis whose first visible bitmap index is Index
  // or more.
  int FirstOriginOf(int Axis, int Index) const;
  void RearmDelayedZoomFilter();
  // Steps 7 to 11 of an update of a view with a window.
  void UpdateWindowedView();
  void UpdateScrollBar(int Bar, int Max, int Client, int Origin);
  void AutoFitZoom();
  void FitMargins(bool ForAutoFit, int& MX, int& MY);
  void StopSmoothScroll();
  void SmoothScrollStep();
  void UpdateOverviewSelection();
  void OverviewWheel(TShiftState Shift, int WheelDelta, TPoint MousePos, bool& Handled);
  void FireZoomEvent(double Old, double& NewZoom);
  void SetViewAxis(int Axis, int Value);
  void ScrollAxis(int Axis, int Action, int Position);
  int LineStep(int Axis);
  void ShowScrollBarEx(int Bar, bool Show);

  TScrollStyle fScrollBars = ssBoth;
  bool fFlatScrollBars = false;
  TScrollBarState fHScroll, fVScroll;
  TCoordTables fXTables, fYTables;
  std::unique_ptr<TTimer> fSmoothTimer;
  int fSmoothTargetX = 0, fSmoothTargetY = 0;
  int fResizeUpdates = 0;  // nested layout rounds of one update
  TRedozIrView* fOverviewView = nullptr;
  TRedozIrView* fOverviewOf = nullptr;  // on an overview: the view it shows
  std::uint8_t fOverviewOptions = 0;
  TRect fOverviewSelection{};
  bool fUpdatingOverview = false;
  // ==== end of zoom and scrolling

 protected:
  // The body of Update once the locks allow it: the image part, then (with
  // a window) the display part.
  virtual void DoUpdate();
  // What painting needs of an update of a view with a window, once the
  // geometry and the scroll bars are settled and before it is invalidated.
  virtual void UpdateDisplay() {}
  // Runs Fire with the program's SelectionBase in place.
  void FireWithProgramSelectionBase(const std::function<void()>& Fire);
  // Hooks the selection fills in for painting: its marking composed into
  // the back buffer, and its outline drawn on the window after each paint.
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  // Ends a polygon being drawn.
  void DblClick() override;
  virtual void DrawSelectionToBackBuffer(TIEBitmap* Dest);
  virtual void DrawSelectionOutline(TCanvas* Canvas);
  // Called by what a composition draws that a scroll does not carry along
  // with the layers (decorations, the pixel grid, marks over the layers): the
  // frame is then composed whole after a scroll. False while a composition
  // is only planned, when nothing may be drawn.
  bool KeepNoFrame();
  // Shift swaps the cursor on key down and restores it on key up.
  void KeyDown(WORD& Key, TShiftState Shift) override;
  void KeyUp(WORD& Key, TShiftState Shift) override;

 private:
  bool UpdateBlocked() const;
  // The background settings as the painter takes them.
  TIEBackgroundParams BackgroundParams();
  // One layer of a composition (redozir_view_compose.cpp).
  struct TLayerPass;
  void ComposeLayer(TLayerPass& P, TIEBitmap* Dest, const TRect* ClipRect);
  void PaintBackgroundStep(TIEBitmap* Dest, const TRect* ClipRect);
  void CombineMask(TLayerPass& P);
  void RotateLayer(TLayerPass& P);
  void MagnifyLayer(TLayerPass& P, TIEBitmap* Dest);
  // The client position of a bitmap column (row) of layer 0 as a layer
  // edge is placed there.
  int PlacedX(int Pos);
  int PlacedY(int Pos);
  void PlaceLayer(TLayerPass& P, TIEBitmap* Dest, const TRect* ClipRect);
  void DrawDecorations(TLayerPass& P, TIEBitmap* Dest);
  void PaintOuterModes(TIEBitmap* Dest);
  void PaintPixelGrid(TIEBitmap* Dest);
  // Renders B's source rectangle into Dest's rectangle, through the layer's
  // cache of the filtered source where one serves.
  // Runs Fix on each layer a fix concerns (index -1: all), then makes the
  // layer current again that was, and updates.
  void ForEachLayerToFix(int LayerIndex, const std::function<void(int, TIELayer*)>& Fix);
  // The view's cursors into the screen's table (every construction does it).
  void RegisterCursors();
  // The handlers of focus, erasing, keys and the video messages; False for
  // any other message.
  bool ViewMessage(TMessage& Message);
  void RenderLayer(TIELayer* L, TIEBitmap* B, TIEBitmap* Dest, const TRect* ClipRect, const TRect& Dst,
                   const TRect& Src, TResampleFilter Filter, bool SolidHint, bool Cacheable);
  // The frame in the back buffer (redozir_view_frame.cpp): each step of its
  // composition with what decides its pixels but where it lands, the
  // background (no layer) or a layer's rectangle rendered at Dst. A frame
  // whose steps are those of the last one, each moved by the same whole
  // pixels, is the last frame moved: that much of it is kept.
  struct TFrameStep {
    const TIELayer* Layer = nullptr;
    const TIEBitmap* Bitmap = nullptr;
    const TIEBitmap* Alpha = nullptr;
    std::array<std::int64_t, 16> Values{};
    TRect Dst{};
  };
  struct TFrame {
    std::vector<TFrameStep> Steps;
    bool Movable = false;
  };
  // Composes the whole back buffer, or (false when it cannot) moves the
  // last frame and composes what the scroll uncovered.
  void ComposeFrame();
  bool ComposeMovedFrame();
  void RecordLayerStep(TIELayer* L, TIEBitmap* B, const TRect& Dst, const TRect& Src, TResampleFilter Filter,
                       bool SolidHint);
  void RecordBackgroundStep();
  // The selection mask and the alpha plane follow the image size.
  void FitMaskAndAlpha();
  // Brings a selection mask to the image size as an update does.
  static void FitMask(TIEMask& Mask, int Width, int Height);
  void MergeAll();

  std::unique_ptr<TRedozIrIO> fIO;
  std::unique_ptr<TRedozIrProc> fProc;
  TIEBitmap* fIEBitmap = nullptr;
  std::unique_ptr<TIEMask> fSelectionMask = std::make_unique<TIEMask>();
  bool fLegacyBitmap = true;
  bool fEnableAlphaChannel = true;
  std::vector<TIELayer*> fLayers;  // owned
  int fLayersCurrent = 0;
  int fImageWidth = 0, fImageHeight = 0;
  TIEMouseInteract fMouseInteract = 0;
  bool fCenter = true;
  TResampleFilter fZoomFilterAsked = rfNone, fZoomFilter = rfNone;
  TIEBackgroundStyle fBackgroundStyle = iebsSolid;
  TIEWallPaperStyle fWallPaperStyle = iewoNormal;
  bool fDrawVersion = false;
  int fUpdateLock = 0;
  int fPaintLock = 0;
  bool fInUpdate = false;
  // Set for an update that changes nothing of the layers (the zoom filter
  // coming back after the delay): what they keep for the composition stays.
  bool fLayersUnchanged = false;
  TIEProgressEvent fOnProgress;
  TNotifyEvent fOnFinishWork;
  TIESaveUndoEvent fOnSaveUndo;
  // Selection records, the newest last.
  std::vector<std::unique_ptr<TMemoryStream>> fSelectionStack;
  std::unique_ptr<TIESelectionState> fSel = std::make_unique<TIESelectionState>();
  // Selection helpers (redozir_view_selection.cpp).
  TPoint ClientToSelection(int X, int Y);
  void AppendSelectionPoint(int X, int Y);
  void AppendSelectionBreak();
  void CutSelectionToLastBreak();
  void EmptySelectionPolygon();
  void MakeSelectionRectangle(int X1, int Y1, int X2, int Y2, bool ShiftInside, bool Constrain, int Op);
  bool SelectionIsRectangle() const;
  bool SelectionGestureActive() const;
  void DrawSelectionNow();
  // A selection record read and fitted to a layer of Width x Height aside
  // (Mode as LoadSelectionFromStream's); committing it cannot fail.
  struct TStagedSelection {
    TIEMask Mask;
    std::vector<TPoint> Points;
  };
  void StageSelection(TStream& Stream, int Mode, const TIELayer* Layer, int Width, int Height,
                      TStagedSelection& Staged);
  void CommitSelection(TStagedSelection& Staged);
  // The mouse (redozir_view_mouse.cpp).
  bool Interacts(TIEMouseInteractItems Item) const;
  TPoint ClampToLayer(int X, int Y);
  void EndPolygonSelection(TShiftState Shift);
  void EraseRubberBand();
  void HoverMove(TShiftState Shift, int X, int Y, TPoint P);
  void DragLayer(TShiftState Shift, int X, int Y);
  void ResizeLayerByGrip(TIELayer* L, int X, int Y, bool KeepAspect);
  void FullRepaintAndUpdate();
  void ZoomToClientRect(const TRect& BitmapRect);
  // Painting of the selection (redozir_view_selection_paint.cpp).
  TPoint SelectionToClient(const TPoint& P);
  TRect SelectionClientBox();
  void PlotSelectionDot(TCanvas* Canvas, int X, int Y);
  // The 1 x 1 bitmap each outline dot is drawn with, and its one pixel.
  TBitmap* DotBitmap();
  std::unique_ptr<TBitmap> fDotBitmap;
  std::uint8_t* fDotPixel = nullptr;
  void WalkSelectionSegment(TCanvas* Canvas, TPoint A, TPoint B);
  void UpdateAntsTimer();
  bool AntsRun();
  // The outline over what the window shows now (no paint before it).
  void DrawSelectionOutlineOn(TCanvas* Canvas);
  void AntsTick();
  // The engine is made with its timer owned by the view: it must go first.
  std::unique_ptr<TIETransitionEffects> fTransition;
  TIETransitionEffects* NeedTransition();
  std::unique_ptr<TPicture> fWallPaper;
  std::unique_ptr<TIEBitmap> fBackBuffer;
  // The program's SelectionBase while a mouse handler works in client
  // coordinates (nesting depth).
  TIESelectionBase fProgramSelectionBase = iesbClientArea;
  int fClientBaseDepth = 0;
  // The overview's link to this view's current bitmap.
  TIEBitmapChangeHandle fOverviewFollow = 0;
  // The control's size at the last resize that updated the view.
  int fSizedWidth = -1, fSizedHeight = -1;
  int fCompositions = 0, fKeptFrames = 0;
  TFrame fFrame;
  // The composition under way records its steps here; with fPlanning it
  // only records them.
  TFrame* fRecording = nullptr;
  bool fPlanning = false;
  // Only the origin moved since the last composition (fFullRepaint: more).
  bool fOriginMoved = false;
  int fChessboardSize = 16;
  TBrushStyle fChessboardBrushStyle = bsSolid;
  std::string fHintText, fHintSizingText;
  // Set while LayersDrawTo lays the layers out at 100 % on its bitmap.
  bool fDrawingTo = false;
  int fHintX = 0, fHintY = 0;
  TCursor fBaseCursor = 0;
  bool fCursorApplied = false;
};

// The view unit's start and end (run by the library's start-up): the screen
// values the view reads, the zoom from which the pixel grid shows and the
// inverting pen it is drawn with.
void IEInitView();
void IEFinalView();
// The zoom (percent) from which the pixel grid is drawn.
int IEGridZoomThreshold();
const TPen& IEGridPen();
}  // namespace redozir
#pragma GCC visibility pop
