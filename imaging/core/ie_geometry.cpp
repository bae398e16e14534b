// Geometry, distance, angle and float-formatting routines.
#include "imaging/core/ie_geometry.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <utility>

#include "platform/numeric.h"

namespace redozir {

void IEOrderCorners(int& X1, int& Y1, int& X2, int& Y2) {
  if (X1 > X2) std::swap(X1, X2);
  if (Y1 > Y2) std::swap(Y1, Y2);
}

bool IEPointInRect(int X, int Y, int Left, int Top, int Right, int Bottom) {
  return X >= Left && X <= Right && Y >= Top && Y <= Bottom;
}

bool IEPointInRectUnordered(int X, int Y, int X1, int Y1, int X2, int Y2) {
  IEOrderCorners(X1, Y1, X2, Y2);
  return IEPointInRect(X, Y, X1, Y1, X2, Y2);
}

bool IERectsOverlap(int X1, int Y1, int X2, int Y2, int Left, int Top, int Right, int Bottom) {
  IEOrderCorners(X1, Y1, X2, Y2);
  return X1 <= Right && X2 >= Left && Y1 <= Bottom && Y2 >= Top;
}

namespace {

template <typename PointAt>
bool CrossingTest(double x, double y, int count, PointAt at) {
  bool inside = false;
  for (int i = 0, j = count - 1; i < count; j = i++) {
    auto [xi, yi] = at(i);
    auto [xj, yj] = at(j);
    if ((yi > y) != (yj > y) && x < (xj - xi) * (y - yi) / (yj - yi) + xi) inside = !inside;
  }
  return inside;
}

}  // namespace

bool IEIsPointInPolygon(int X, int Y, const TPoint* Points, int High) {
  if (!Points || High < 2) return false;
  return CrossingTest(X, Y, High + 1,
                      [&](int i) { return std::pair<double, double>(Points[i].X, Points[i].Y); });
}

bool IEIsPointInPolygonScaled(int X, int Y, const TPoint* Points, int High, double OffsetX, double OffsetY,
                              double ZoomX, double ZoomY) {
  if (!Points || High < 2) return false;
  return CrossingTest(X, Y, High + 1, [&](int i) {
    return std::pair<double, double>(OffsetX + Points[i].X * ZoomX, OffsetY + Points[i].Y * ZoomY);
  });
}

double IEDistPointToSegment(double X, double Y, double X1, double Y1, double X2, double Y2) {
  double dx = X2 - X1, dy = Y2 - Y1;
  double len2 = dx * dx + dy * dy;
  if (len2 == 0) return std::hypot(X - X1, Y - Y1);
  double t = ((X - X1) * dx + (Y - Y1) * dy) / len2;
  if (t <= 0) return std::hypot(X - X1, Y - Y1);
  if (t >= 1) return std::hypot(X - X2, Y - Y2);
  return std::hypot(X - (X1 + t * dx), Y - (Y1 + t * dy));
}

namespace {
double OverPen(double d, double PenWidth) { return std::max(0.0, d - PenWidth / 2); }

// Distance from (y0, y1), both >= 0, to the ellipse with semi-axes e0 >= e1 > 0
// (bisection on the Lagrange parameter, robust near the axes).
double DistanceToEllipseQuadrant(double e0, double e1, double y0, double y1) {
  if (y1 > 0) {
    if (y0 > 0) {
      double z0 = y0 / e0, z1 = y1 / e1;
      double g = z0 * z0 + z1 * z1 - 1;
      if (g == 0) return 0;
      double r0 = (e0 / e1) * (e0 / e1);
      double n0 = r0 * z0;
      double s0 = z1 - 1;
      double s1 = g < 0 ? 0 : std::hypot(n0, z1) - 1;
      double s = 0;
      for (int i = 0; i < 200; ++i) {
        s = (s0 + s1) / 2;
        if (s == s0 || s == s1) break;
        double ratio0 = n0 / (s + r0), ratio1 = z1 / (s + 1);
        double gs = ratio0 * ratio0 + ratio1 * ratio1 - 1;
        if (gs > 0)
          s0 = s;
        else if (gs < 0)
          s1 = s;
        else
          break;
      }
      double x0 = r0 * y0 / (s + r0), x1 = y1 / (s + 1);
      return std::hypot(x0 - y0, x1 - y1);
    }
    return std::fabs(y1 - e1);
  }
  double numer0 = e0 * y0, denom0 = e0 * e0 - e1 * e1;
  if (numer0 < denom0) {
    double xde0 = numer0 / denom0;
    double x0 = e0 * xde0, x1 = e1 * std::sqrt(1 - xde0 * xde0);
    return std::hypot(x0 - y0, x1);
  }
  return std::fabs(y0 - e0);
}
}  // namespace

double IEDistanceToRect(int X, int Y, int Left, int Top, int Right, int Bottom, bool Filled,
                        double PenWidth) {
  IEOrderCorners(Left, Top, Right, Bottom);
  if (Filled && IEPointInRect(X, Y, Left, Top, Right, Bottom)) return 0;
  double d = std::min({IEDistPointToSegment(X, Y, Left, Top, Right, Top),
                       IEDistPointToSegment(X, Y, Right, Top, Right, Bottom),
                       IEDistPointToSegment(X, Y, Right, Bottom, Left, Bottom),
                       IEDistPointToSegment(X, Y, Left, Bottom, Left, Top)});
  return OverPen(d, PenWidth);
}

double IEDistanceToEllipse(int X, int Y, int Left, int Top, int Right, int Bottom, bool Filled,
                           double PenWidth) {
  IEOrderCorners(Left, Top, Right, Bottom);
  double cx = (static_cast<double>(Left) + Right) / 2, cy = (static_cast<double>(Top) + Bottom) / 2;
  double a = (static_cast<double>(Right) - Left) / 2, b = (static_cast<double>(Bottom) - Top) / 2;
  double px = std::fabs(X - cx), py = std::fabs(Y - cy);
  if (a == 0 || b == 0)  // a flat ellipse is a segment
    return OverPen(IEDistPointToSegment(px, py, 0, 0, a, b), PenWidth);
  if (Filled && (px * px) / (a * a) + (py * py) / (b * b) <= 1) return 0;
  double d = a >= b ? DistanceToEllipseQuadrant(a, b, px, py) : DistanceToEllipseQuadrant(b, a, py, px);
  return OverPen(d, PenWidth);
}

double IEDistPointToPolyline(int X, int Y, const TPoint* Points, int High, bool Closed, double OffsetX,
                             double OffsetY, double ZoomX, double ZoomY, double PenWidth) {
  double best = 1000000.0;
  if (!Points || High < 1) return best;
  auto px = [&](int i) { return OffsetX + Points[i].X * ZoomX; };
  auto py = [&](int i) { return OffsetY + Points[i].Y * ZoomY; };
  bool measured = false;
  int segments = Closed ? High + 1 : High;
  for (int i = 0; i < segments; ++i) {
    int j = i == High ? 0 : i + 1;
    best = std::min(best, IEDistPointToSegment(X, Y, px(i), py(i), px(j), py(j)));
    measured = true;
  }
  return measured ? OverPen(best, PenWidth) : 1000000.0;
}

void IERotatePoints(TPoint* Points, int High, int CenterX, int CenterY, double Angle) {
  if (!Points) return;
  double a = Angle * std::numbers::pi / 180;
  double c = std::cos(a), s = std::sin(a);
  for (int i = 0; i <= High; ++i) {
    double dx = static_cast<double>(Points[i].X) - CenterX, dy = static_cast<double>(Points[i].Y) - CenterY;
    Points[i].X = RoundInt(CenterX + dx * c + dy * s);
    Points[i].Y = RoundInt(CenterY - dx * s + dy * c);
  }
}

namespace {
double Normalised(double a) {
  if (a < 0) a += 2 * std::numbers::pi;
  return a >= 2 * std::numbers::pi ? 0 : a;
}
}  // namespace

double IELineAngle(int X1, int Y1, int X2, int Y2) {
  if (X1 == X2 && Y1 == Y2) return 0;
  // Screen y grows downwards; the angle is counted as seen on screen.
  return Normalised(std::atan2(-(static_cast<double>(Y2) - Y1), static_cast<double>(X2) - X1));
}

double IEThreePointAngle(int X1, int Y1, int X2, int Y2, int X3, int Y3) {
  double ax = static_cast<double>(X1) - X2, ay = -(static_cast<double>(Y1) - Y2);
  double bx = static_cast<double>(X3) - X2, by = -(static_cast<double>(Y3) - Y2);
  if ((ax == 0 && ay == 0) || (bx == 0 && by == 0)) return 0;
  return Normalised(std::atan2(ax * by - ay * bx, ax * bx + ay * by));
}

double IEVectorsAngle(int X1, int Y1, int X2, int Y2, int X3, int Y3, int X4, int Y4) {
  double ux = static_cast<double>(X2) - X1, uy = static_cast<double>(Y2) - Y1;
  double vx = static_cast<double>(X4) - X3, vy = static_cast<double>(Y4) - Y3;
  if ((ux == 0 && uy == 0) || (vx == 0 && vy == 0)) return 0;
  return std::fabs(std::atan2(ux * vy - uy * vx, ux * vx + uy * vy));
}

void IESnapTo45Degrees(int X0, int Y0, int& X1, int& Y1) {
  std::int64_t dx = static_cast<std::int64_t>(X1) - X0, dy = static_cast<std::int64_t>(Y1) - Y0;
  std::int64_t adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
  if (ady > adx + 30) {
    X1 = X0;
  } else if (ady >= adx - 30) {
    std::int64_t y = Y0 + (dy < 0 ? -adx : adx);
    Y1 = static_cast<int>(std::clamp<std::int64_t>(y, INT32_MIN, INT32_MAX));
  } else {
    Y1 = Y0;
  }
}

namespace {

// Digits of |v| rounded to `precision` significant digits, and its decimal
// exponent (v = 0.d1d2... x 10^exp).
void Digits(long double v, int precision, std::string& digits, int& exp) {
  char buf[128];
  std::snprintf(buf, sizeof buf, "%.*Le", precision - 1, std::fabs(v));
  digits.clear();
  const char* p = buf;
  for (; *p && *p != 'e'; ++p)
    if (*p >= '0' && *p <= '9') digits += *p;
  exp = std::atoi(p + 1) + 1;
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  if (digits == "0") exp = 0;
}

std::string Exponent(int e, int minDigits, bool plus) {
  std::string s = e < 0 ? "-" : (plus ? "+" : "");
  std::string n = std::to_string(e < 0 ? -e : e);
  while (static_cast<int>(n.size()) < minDigits) n = "0" + n;
  return s + n;
}

std::string Fixed(long double v, int decimals, bool thousands) {
  char buf[512];
  std::snprintf(buf, sizeof buf, "%.*Lf", std::clamp(decimals, 0, 18), std::fabs(v));
  std::string s = buf;
  if (thousands) {
    size_t dot = s.find('.');
    std::string ip = s.substr(0, dot), rest = dot == std::string::npos ? "" : s.substr(dot);
    std::string grouped;
    for (size_t i = 0; i < ip.size(); ++i) {
      if (i && (ip.size() - i) % 3 == 0) grouped += ',';
      grouped += ip[i];
    }
    s = grouped + rest;
  }
  bool zero = s.find_first_not_of("0.,") == std::string::npos;
  return (v < 0 && !zero) ? "-" + s : s;
}

std::string General(long double v, int precision) {
  if (std::isnan(v)) return "NAN";
  if (std::isinf(v)) return v < 0 ? "-INF" : "INF";
  precision = std::clamp(precision, 1, 18);
  std::string d;
  int e;
  Digits(v, precision, d, e);
  if (d == "0") return "0";
  std::string s;
  if (e > precision || e - 1 < -4) {
    // Appended piece by piece: GCC 12 reports a false overlap (-Wrestrict) for
    // a literal put in front of a temporary string.
    s = d.substr(0, 1);
    if (d.size() > 1) s.append(".").append(d, 1);
    s.append("E").append(Exponent(e - 1, 0, false));
  } else if (e <= 0) {
    s = "0." + std::string(static_cast<size_t>(-e), '0') + d;
  } else if (static_cast<int>(d.size()) <= e) {
    s = d + std::string(static_cast<size_t>(e) - d.size(), '0');
  } else {
    s = d.substr(0, static_cast<size_t>(e)) + "." + d.substr(static_cast<size_t>(e));
  }
  return v < 0 ? "-" + s : s;
}

}  // namespace

void IEFloatToStrDotVar(std::string& S, long double Value) { S = General(Value, 15); }

std::string IEFloatToStrF(long double Value, TFloatFormat Format, int Precision, int Digits_) {
  if (std::isnan(Value) || std::isinf(Value)) return General(Value, 15);
  Precision = std::clamp(Precision, 1, 18);
  switch (Format) {
    case ffExponent: {
      std::string d;
      int e;
      Digits(Value, Precision, d, e);
      d.resize(static_cast<size_t>(Precision), '0');
      if (Value == 0) e = 1;
      std::string s = d.substr(0, 1);
      if (Precision > 1) s.append(".").append(d, 1);
      s.append("E").append(Exponent(e - 1, std::clamp(Digits_, 0, 4), true));
      return Value < 0 ? "-" + s : s;
    }
    case ffFixed:
    case ffNumber:
    case ffCurrency:
      // Past Precision integer digits the fixed form would invent digits.
      if (std::fabs(Value) >= std::pow(10.0L, Precision)) return General(Value, Precision);
      return Fixed(Value, Digits_, Format != ffFixed);
    case ffGeneral:
    default: return General(Value, Precision);
  }
}

}  // namespace redozir
