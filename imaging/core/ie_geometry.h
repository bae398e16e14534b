// Geometry and number routines of the imaging core: limits, rectangles,
// polygon and distance tests (the hit tests of vector objects), rotation of
// points, angles, snapping and float formatting.
#pragma once

#include <cstdint>
#include <string>

#include "platform/types.h"

#pragma GCC visibility push(default)
namespace redozir {

inline int IEMin(int A, int B) { return A < B ? A : B; }
inline int IEMax(int A, int B) { return A > B ? A : B; }
inline int IELimit(int Value, int Min, int Max) { return Value < Min ? Min : Value > Max ? Max : Value; }

// Swaps so that X1 <= X2 and Y1 <= Y2.
void IEOrderCorners(int& X1, int& Y1, int& X2, int& Y2);
// Left <= X <= Right and Top <= Y <= Bottom (edges included, corners as given).
bool IEPointInRect(int X, int Y, int Left, int Top, int Right, int Bottom);
bool IEPointInRectUnordered(int X, int Y, int X1, int Y1, int X2, int Y2);
// The box of two corners (any order) overlaps the rectangle, edges included.
bool IERectsOverlap(int X1, int Y1, int X2, int Y2, int Left, int Top, int Right, int Bottom);

// Even-odd crossing test; High is the index of the last point.
bool IEIsPointInPolygon(int X, int Y, const TPoint* Points, int High);
// The same with each point first mapped to (OffsetX + P.X x ZoomX, OffsetY + P.Y x ZoomY).
bool IEIsPointInPolygonScaled(int X, int Y, const TPoint* Points, int High, double OffsetX, double OffsetY,
                              double ZoomX, double ZoomY);

double IEDistPointToSegment(double X, double Y, double X1, double Y1, double X2, double Y2);
// Distance to the edges of the rectangle (0 inside when Filled), less half
// the pen width, never below 0.
double IEDistanceToRect(int X, int Y, int Left, int Top, int Right, int Bottom, bool Filled, double PenWidth);
// Distance to the outline of the ellipse inscribed in the rectangle (0 inside
// when Filled), less half the pen width, never below 0.
double IEDistanceToEllipse(int X, int Y, int Left, int Top, int Right, int Bottom, bool Filled,
                           double PenWidth);
// Distance to a polyline (closed when Closed) whose points are mapped as in
// IEIsPointInPolygonScaled, less half the pen width; 1000000.0 when it has no segment.
double IEDistPointToPolyline(int X, int Y, const TPoint* Points, int High, bool Closed, double OffsetX,
                             double OffsetY, double ZoomX, double ZoomY, double PenWidth);

// Rotates the points about the centre by Angle degrees, counter-clockwise on
// screen (y grows downwards); results are rounded halves to even.
void IERotatePoints(TPoint* Points, int High, int CenterX, int CenterY, double Angle);
// Direction of the segment in radians, 0..2 pi, counter-clockwise on screen; 0 for a point.
double IELineAngle(int X1, int Y1, int X2, int Y2);
// Angle at (X2, Y2) from the arm towards (X1, Y1) counter-clockwise on screen
// to the arm towards (X3, Y3), 0..2 pi; 0 when an arm has no length.
double IEThreePointAngle(int X1, int Y1, int X2, int Y2, int X3, int Y3);
// Unsigned angle (0..pi) between the segments (X1, Y1)-(X2, Y2) and
// (X3, Y3)-(X4, Y4); 0 when one has no length.
double IEVectorsAngle(int X1, int Y1, int X2, int Y2, int X3, int Y3, int X4, int Y4);
// Makes the segment from the anchor vertical, diagonal or horizontal.
void IESnapTo45Degrees(int X0, int Y0, int& X1, int& Y1);

enum TFloatFormat { ffGeneral, ffExponent, ffFixed, ffNumber, ffCurrency };

// The value as text with "." as decimal separator (general format, 15 digits).
void IEFloatToStrDotVar(std::string& S, long double Value);
// The platform's float formatting: Precision significant digits, Digits
// decimals (ffFixed, ffNumber) or minimum exponent digits (ffExponent).
std::string IEFloatToStrF(long double Value, TFloatFormat Format, int Precision, int Digits);

}  // namespace redozir
#pragma GCC visibility pop
