// Rotation of a TIEBitmap by any angle in degrees (positive turns the picture
// counter-clockwise on screen): quarter turns by copying, a three-shear
// engine, nearest-pixel engines and a bilinear / bicubic engine. Every engine
// turns an image's alpha plane with it (background 0, transparent), so image
// and plane keep the same size; an empty image is left alone.
#pragma once

#include <cstdint>

#include "imaging/core/ie_types.h"
#include "imaging/core/iebitmap.h"

#pragma GCC visibility push(default)
namespace redozir {

// True when Angle has no fraction and is a multiple of 90.
bool IEIsMultipleOf90(double Angle);

// Dst becomes Src turned by Quarter x 90 degrees counter-clockwise (1, 2 or
// 3; other values are taken modulo 4, 0 copies). Any pixel format; the
// palette comes along, the alpha plane does not.
void IERotateQuarter(TIEBitmap* Src, TIEBitmap* Dst, int Quarter);

// Three-shear rotation in place with 12-bit blending (AntiAlias) of an
// ie24RGB bitmap; ie8g / ie8p go to _IERotate8bit (the grey of Background),
// ie1g to _IERotate1bit, other formats to _IERotateInPlace.
void _IERotate(TIEBitmap* Bitmap, bool AntiAlias, TObject* Sender, const TIEProgressEvent& OnProgress,
               TRGB Background, double Angle);
// The same three shears for an 8-bit plane (ie8g, ie8p); other formats are left alone.
void _IERotate8bit(TIEBitmap* Plane, bool AntiAlias, std::uint8_t Background, TObject* Sender,
                   const TIEProgressEvent& OnProgress, double Angle);

// Nearest-pixel rotation of an ie1g bitmap (Background: the bit of the
// uncovered area) and of an 8-bit plane; other formats are left alone.
void _IERotate1bit(TIEBitmap* Bitmap, bool Background, const TIEProgressRecord& Progress, double Angle);
void _IERotate8bitNearest(TIEBitmap* Plane, std::uint8_t Background, double Angle);

// Bilinear (AntialiasMode 1, and any mode but 2) or bicubic (2) rotation in
// place of an ie24RGB bitmap and of an 8-bit plane; the canvas becomes
// Round(|cos| W + |sin| H) by Round(|sin| W + |cos| H).
void _IERotateInterpolated(TIEBitmap* Bitmap, TColor Background, std::uint8_t AntialiasMode, TObject* Sender,
                           const TIEProgressEvent& OnProgress, double Angle);
void _IERotateInterpolated8bit(TIEBitmap* Plane, std::uint8_t Background, std::uint8_t AntialiasMode,
                               double Angle);

// Dst becomes Src rotated with nearest pixels, any pixel format; the uncovered
// area takes Background converted to Src's format (grey level, nearest
// palette entry, bit, ...).
void _IERotateInto(TIEBitmap* Src, TIEBitmap* Dst, TColor Background, TObject* Sender,
                   const TIEProgressEvent& OnProgress, double Angle);
// _IERotateInto through a temporary, in place.
void _IERotateInPlace(TIEBitmap* Bitmap, TColor Background, TObject* Sender,
                      const TIEProgressEvent& OnProgress, double Angle);

}  // namespace redozir
#pragma GCC visibility pop
