#include "platform/region.h"

#include <algorithm>

#include "platform/scan_convert.h"

namespace redozir {

namespace {
constexpr TScanWindow kRegionWindow{-kRegionLimit, -kShapeRegionLimit, kRegionLimit, kShapeRegionLimit};

TRect Ordered(int x1, int y1, int x2, int y2) {
  return {std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2)};
}

int Clamp(int v) { return std::clamp(v, -kRegionLimit, kRegionLimit); }

// Runs of one row under a boolean operation of two rows.
std::vector<TSpan> CombineSpans(const std::vector<TSpan>* a, const std::vector<TSpan>* b, int mode) {
  static const std::vector<TSpan> none;
  const std::vector<TSpan>& A = a ? *a : none;
  const std::vector<TSpan>& B = b ? *b : none;
  std::vector<int> xs;
  xs.reserve(2 * (A.size() + B.size()));
  for (const TSpan& s : A) xs.insert(xs.end(), {s.X0, s.X1});
  for (const TSpan& s : B) xs.insert(xs.end(), {s.X0, s.X1});
  std::sort(xs.begin(), xs.end());
  xs.erase(std::unique(xs.begin(), xs.end()), xs.end());
  std::vector<TSpan> out;
  size_t ia = 0, ib = 0;
  for (size_t i = 0; i + 1 < xs.size(); ++i) {
    int x = xs[i];
    while (ia < A.size() && A[ia].X1 <= x) ++ia;
    while (ib < B.size() && B[ib].X1 <= x) ++ib;
    bool inA = ia < A.size() && A[ia].X0 <= x;
    bool inB = ib < B.size() && B[ib].X0 <= x;
    bool in = false;
    switch (mode) {
      case RGN_AND: in = inA && inB; break;
      case RGN_OR: in = inA || inB; break;
      case RGN_XOR: in = inA != inB; break;
      case RGN_DIFF: in = inA && !inB; break;
      default: in = inA; break;
    }
    if (!in) continue;
    if (!out.empty() && out.back().X1 == x)
      out.back().X1 = xs[i + 1];
    else
      out.push_back({x, xs[i + 1]});
  }
  return out;
}
}  // namespace

void TRegion::AppendRow(int y, const std::vector<TSpan>& spans) {
  if (spans.empty()) return;
  if (!bands_.empty() && bands_.back().Bottom == y && bands_.back().Spans == spans) {
    bands_.back().Bottom = y + 1;
    return;
  }
  bands_.push_back({y, y + 1, spans});
}

TRegion TRegion::FromRect(const TRect& r0) {
  TRegion r;
  TRect q = Ordered(Clamp(r0.Left), Clamp(r0.Top), Clamp(r0.Right), Clamp(r0.Bottom));
  if (!q.IsEmpty()) r.bands_.push_back({q.Top, q.Bottom, {{q.Left, q.Right}}});
  return r;
}

TRegion TRegion::FromRects(const TRect* rects, int count) {
  // Pairwise unions keep a long list (thousands of rectangles) near n log n.
  std::vector<TRegion> parts;
  for (int i = 0; i < count; ++i) {
    TRegion one = FromRect(rects[i]);
    if (!one.IsEmpty()) parts.push_back(std::move(one));
  }
  if (parts.empty()) return {};
  while (parts.size() > 1) {
    std::vector<TRegion> next;
    for (size_t i = 0; i + 1 < parts.size(); i += 2) next.push_back(Combine(parts[i], parts[i + 1], RGN_OR));
    if (parts.size() % 2) next.push_back(std::move(parts.back()));
    parts = std::move(next);
  }
  return std::move(parts.front());
}

TRegion TRegion::FromEllipse(int x1, int y1, int x2, int y2) {
  TRect q = Ordered(Clamp(x1), Clamp(y1), Clamp(x2), Clamp(y2));
  TRegionBuilder c;
  ScanEllipse((double(q.Left) + q.Right) / 2, (double(q.Top) + q.Bottom) / 2, q.Width() / 2.0,
              q.Height() / 2.0, kRegionWindow, std::ref(c));
  return c.Finish();
}

TRegion TRegion::FromRoundRect(int x1, int y1, int x2, int y2, int w, int h) {
  TRect q = Ordered(Clamp(x1), Clamp(y1), Clamp(x2), Clamp(y2));
  double cw = std::clamp<double>(std::abs(double(w)), 0, q.Width());
  double ch = std::clamp<double>(std::abs(double(h)), 0, q.Height());
  TRegionBuilder c;
  ScanRoundRect(q.Left, q.Top, q.Right, q.Bottom, cw, ch, kRegionWindow, std::ref(c));
  return c.Finish();
}

TRegion TRegion::FromPolygon(const TPoint* pts, int count, int fillMode) {
  return FromPolyPolygon(pts, &count, 1, fillMode);
}

TRegion TRegion::FromPolyPolygon(const TPoint* pts, const int* counts, int polyCount, int fillMode) {
  TPolyPolygon polys;
  int k = 0;
  for (int i = 0; i < polyCount; ++i) {
    std::vector<TPointD> p;
    for (int j = 0; j < counts[i]; ++j, ++k) p.push_back({double(pts[k].X), double(pts[k].Y)});
    polys.push_back(std::move(p));
  }
  TRegionBuilder c;
  ScanConvert(polys, fillMode == pfWinding, kRegionWindow, std::ref(c));
  return c.Finish();
}

TRegion TRegion::Combine(const TRegion& a, const TRegion& b, int mode) {
  if (mode == RGN_COPY) return a;
  std::vector<int> ys;
  for (const TBand& band : a.bands_) ys.insert(ys.end(), {band.Top, band.Bottom});
  for (const TBand& band : b.bands_) ys.insert(ys.end(), {band.Top, band.Bottom});
  std::sort(ys.begin(), ys.end());
  ys.erase(std::unique(ys.begin(), ys.end()), ys.end());
  TRegion r;
  size_t ia = 0, ib = 0;
  for (size_t i = 0; i + 1 < ys.size(); ++i) {
    int y = ys[i];
    while (ia < a.bands_.size() && a.bands_[ia].Bottom <= y) ++ia;
    while (ib < b.bands_.size() && b.bands_[ib].Bottom <= y) ++ib;
    const std::vector<TSpan>* sa =
        ia < a.bands_.size() && a.bands_[ia].Top <= y ? &a.bands_[ia].Spans : nullptr;
    const std::vector<TSpan>* sb =
        ib < b.bands_.size() && b.bands_[ib].Top <= y ? &b.bands_[ib].Spans : nullptr;
    std::vector<TSpan> s = CombineSpans(sa, sb, mode);
    if (s.empty()) continue;
    if (!r.bands_.empty() && r.bands_.back().Bottom == y && r.bands_.back().Spans == s)
      r.bands_.back().Bottom = ys[i + 1];
    else
      r.bands_.push_back({y, ys[i + 1], std::move(s)});
  }
  return r;
}

TRect TRegion::Bounds() const {
  if (bands_.empty()) return {};
  TRect r{bands_.front().Spans.front().X0, bands_.front().Top, bands_.front().Spans.back().X1,
          bands_.back().Bottom};
  for (const TBand& b : bands_) {
    r.Left = std::min(r.Left, b.Spans.front().X0);
    r.Right = std::max(r.Right, b.Spans.back().X1);
  }
  return r;
}

const std::vector<TSpan>* TRegion::SpansAt(int y) const {
  auto it =
      std::upper_bound(bands_.begin(), bands_.end(), y, [](int v, const TBand& b) { return v < b.Bottom; });
  if (it == bands_.end() || it->Top > y) return nullptr;
  return &it->Spans;
}

bool TRegion::Contains(int x, int y) const {
  const std::vector<TSpan>* s = SpansAt(y);
  if (!s) return false;
  auto it = std::upper_bound(s->begin(), s->end(), x, [](int v, const TSpan& sp) { return v < sp.X1; });
  return it != s->end() && it->X0 <= x;
}

bool TRegion::IntersectsRect(const TRect& r) const { return !Combine(*this, FromRect(r), RGN_AND).IsEmpty(); }

void TRegion::Offset(int dx, int dy) {
  for (TBand& b : bands_) {
    b.Top += dy;
    b.Bottom += dy;
    for (TSpan& s : b.Spans) {
      s.X0 += dx;
      s.X1 += dx;
    }
  }
}

int TRegion::Kind() const {
  if (bands_.empty()) return NULLREGION;
  return bands_.size() == 1 && bands_[0].Spans.size() == 1 ? SIMPLEREGION : COMPLEXREGION;
}

std::vector<TRect> TRegion::Rects() const {
  std::vector<TRect> out;
  for (const TBand& b : bands_)
    for (const TSpan& s : b.Spans) out.push_back({s.X0, b.Top, s.X1, b.Bottom});
  return out;
}

HRGN CreateRectRgn(int x1, int y1, int x2, int y2) {
  return new TRegion(TRegion::FromRect({x1, y1, x2, y2}));
}
HRGN CreateRectRgnIndirect(const TRect& r) { return new TRegion(TRegion::FromRect(r)); }
HRGN CreateEllipticRgn(int x1, int y1, int x2, int y2) {
  return new TRegion(TRegion::FromEllipse(x1, y1, x2, y2));
}
HRGN CreateRoundRectRgn(int x1, int y1, int x2, int y2, int w, int h) {
  return new TRegion(TRegion::FromRoundRect(x1, y1, x2, y2, w, h));
}
HRGN CreatePolygonRgn(const TPoint* pts, int count, int fillMode) {
  if (!pts || count < 0) return nullptr;
  return new TRegion(TRegion::FromPolygon(pts, count, fillMode));
}
HRGN CreatePolyPolygonRgn(const TPoint* pts, const int* counts, int polyCount, int fillMode) {
  if (!pts || !counts || polyCount < 0) return nullptr;
  for (int i = 0; i < polyCount; ++i)
    if (counts[i] < 0) return nullptr;
  return new TRegion(TRegion::FromPolyPolygon(pts, counts, polyCount, fillMode));
}
HRGN CreateRectListRgn(const TRect* rects, int count) {
  if (!rects && count > 0) return nullptr;
  return new TRegion(TRegion::FromRects(rects, std::max(count, 0)));
}

int CombineRgn(HRGN dst, HRGN a, HRGN b, int mode) {
  if (!dst || !a || (mode != RGN_COPY && !b) || mode < RGN_AND || mode > RGN_COPY) return ERROR;
  *dst = TRegion::Combine(*a, mode == RGN_COPY ? *a : *b, mode);
  return dst->Kind();
}

bool DeleteObject(HRGN rgn) {
  if (!rgn) return false;
  delete rgn;
  return true;
}

int OffsetRgn(HRGN rgn, int dx, int dy) {
  if (!rgn) return ERROR;
  rgn->Offset(dx, dy);
  return rgn->Kind();
}

bool PtInRegion(HRGN rgn, int x, int y) { return rgn && rgn->Contains(x, y); }
bool RectInRegion(HRGN rgn, const TRect& r) { return rgn && rgn->IntersectsRect(r); }

int GetRgnBox(HRGN rgn, TRect& box) {
  if (!rgn) return ERROR;
  box = rgn->Bounds();
  return rgn->Kind();
}

bool EqualRgn(HRGN a, HRGN b) { return a && b && *a == *b; }

}  // namespace redozir
