// Wu's colour quantiser over a 32-level-per-channel histogram of moments,
// with an exact palette for images of few colours.
#include "imaging/core/ie_quantizer.h"

#include <algorithm>
#include <unordered_set>

#include "imaging/core/ie_pixelrow.h"
#include "imaging/core/iebitmap.h"

namespace redozir {

namespace {
constexpr int kSide = 33;  // 32 levels plus the zero plane of the cumulative moments
inline int Idx(int r, int g, int b) { return (r * kSide + g) * kSide + b; }
inline std::uint32_t Key(TRGB c) { return (std::uint32_t(c.r) << 16) | (std::uint32_t(c.g) << 8) | c.b; }

struct Box {
  int r0, r1, g0, g1, b0, b1;
  int vol;
};
}  // namespace

TIEQuantizer::TIEQuantizer(TIEBitmap* Bitmap, TRGB* Palette, int Limit, int NColors) {
  fWanted = std::clamp(NColors, 1, kIEQuantizerMaxColors);
  Init();
  int w = Bitmap ? Bitmap->GetWidth() : 0, h = Bitmap ? Bitmap->GetHeight() : 0;
  std::int64_t limit = Limit > 0 ? Limit : 1;
  std::int64_t total = std::int64_t(w) * h;
  int step = 1;
  if (total > limit && w > 0) step = static_cast<int>(std::min<std::int64_t>(h, (total + limit - 1) / limit));
  std::vector<TRGB> row(static_cast<size_t>(w));
  for (int y = 0; y < h; y += step) {
    IEGetRowRGB24(*Bitmap, y, row.data());
    for (const TRGB& c : row) AddColor(c);
  }
  Build(Palette, NColors);
}

TIEQuantizer::TIEQuantizer(const std::vector<TRGB>& Colors, TRGB* Palette, int NColors) {
  fWanted = std::clamp(NColors, 1, kIEQuantizerMaxColors);
  Init();
  for (const TRGB& c : Colors) AddColor(c);
  Build(Palette, NColors);
}

void TIEQuantizer::Init() {
  fWt.assign(kSide * kSide * kSide, 0);
  fMr = fMg = fMb = fWt;
  fM2.assign(kSide * kSide * kSide, 0.0);
}

void TIEQuantizer::AddColor(TRGB c) {
  if (!fOverflow && fSeen.insert(Key(c)).second) {
    fExact.push_back(c);
    if (fExact.size() > static_cast<size_t>(fWanted)) {
      fOverflow = true;
      fSeen.clear();
    }
  }
  int i = Idx((c.r >> 3) + 1, (c.g >> 3) + 1, (c.b >> 3) + 1);
  fWt[i] += 1;
  fMr[i] += c.r;
  fMg[i] += c.g;
  fMb[i] += c.b;
  fM2[i] += double(c.r) * c.r + double(c.g) * c.g + double(c.b) * c.b;
}

namespace {
template <typename T>
void Cumulate(std::vector<T>& m) {
  for (int r = 1; r < kSide; ++r) {
    std::vector<T> area(kSide, 0);
    for (int g = 1; g < kSide; ++g) {
      T line = 0;
      for (int b = 1; b < kSide; ++b) {
        line += m[Idx(r, g, b)];
        area[b] += line;
        m[Idx(r, g, b)] = m[Idx(r - 1, g, b)] + area[b];
      }
    }
  }
}
template <typename T>
T Vol(const Box& c, const std::vector<T>& m) {
  return m[Idx(c.r1, c.g1, c.b1)] - m[Idx(c.r1, c.g1, c.b0)] - m[Idx(c.r1, c.g0, c.b1)] +
         m[Idx(c.r1, c.g0, c.b0)] - m[Idx(c.r0, c.g1, c.b1)] + m[Idx(c.r0, c.g1, c.b0)] +
         m[Idx(c.r0, c.g0, c.b1)] - m[Idx(c.r0, c.g0, c.b0)];
}
// The part of a box's moment below a cut, without the term at the cut itself.
template <typename T>
T Bottom(const Box& c, int dir, const std::vector<T>& m) {
  switch (dir) {
    case 0:
      return -m[Idx(c.r0, c.g1, c.b1)] + m[Idx(c.r0, c.g1, c.b0)] + m[Idx(c.r0, c.g0, c.b1)] -
             m[Idx(c.r0, c.g0, c.b0)];
    case 1:
      return -m[Idx(c.r1, c.g0, c.b1)] + m[Idx(c.r1, c.g0, c.b0)] + m[Idx(c.r0, c.g0, c.b1)] -
             m[Idx(c.r0, c.g0, c.b0)];
    default:
      return -m[Idx(c.r1, c.g1, c.b0)] + m[Idx(c.r1, c.g0, c.b0)] + m[Idx(c.r0, c.g1, c.b0)] -
             m[Idx(c.r0, c.g0, c.b0)];
  }
}
template <typename T>
T Top(const Box& c, int dir, int pos, const std::vector<T>& m) {
  switch (dir) {
    case 0:
      return m[Idx(pos, c.g1, c.b1)] - m[Idx(pos, c.g1, c.b0)] - m[Idx(pos, c.g0, c.b1)] +
             m[Idx(pos, c.g0, c.b0)];
    case 1:
      return m[Idx(c.r1, pos, c.b1)] - m[Idx(c.r1, pos, c.b0)] - m[Idx(c.r0, pos, c.b1)] +
             m[Idx(c.r0, pos, c.b0)];
    default:
      return m[Idx(c.r1, c.g1, pos)] - m[Idx(c.r1, c.g0, pos)] - m[Idx(c.r0, c.g1, pos)] +
             m[Idx(c.r0, c.g0, pos)];
  }
}
}  // namespace

void TIEQuantizer::Build(TRGB* Palette, int NColors) {
  if (!fOverflow) {
    fPalette = fExact;
    if (fPalette.empty()) fPalette.push_back(TRGB{});
  } else {
    // The cells' own moments, before they become cumulative, feed the refinement.
    std::vector<Cell> cells;
    for (size_t i = 0; i < fWt.size(); ++i)
      if (fWt[i] > 0)
        cells.push_back(Cell{static_cast<std::uint64_t>(fWt[i]), static_cast<std::uint64_t>(fMr[i]),
                             static_cast<std::uint64_t>(fMg[i]), static_cast<std::uint64_t>(fMb[i])});
    Cumulate(fWt);
    Cumulate(fMr);
    Cumulate(fMg);
    Cumulate(fMb);
    Cumulate(fM2);
    auto var = [&](const Box& c) {
      double dr = double(Vol(c, fMr)), dg = double(Vol(c, fMg)), db = double(Vol(c, fMb));
      double w = double(Vol(c, fWt));
      return w <= 0 ? 0.0 : Vol(c, fM2) - (dr * dr + dg * dg + db * db) / w;
    };
    auto maximize = [&](const Box& c, int dir, int first, int last, int& cut, std::int64_t wr,
                        std::int64_t wg, std::int64_t wb, std::int64_t ww) {
      std::int64_t br = Bottom(c, dir, fMr), bg = Bottom(c, dir, fMg), bb = Bottom(c, dir, fMb),
                   bw = Bottom(c, dir, fWt);
      double best = 0;
      cut = -1;
      for (int i = first; i < last; ++i) {
        double hr = double(br + Top(c, dir, i, fMr)), hg = double(bg + Top(c, dir, i, fMg)),
               hb = double(bb + Top(c, dir, i, fMb)), hw = double(bw + Top(c, dir, i, fWt));
        if (hw == 0) continue;
        double t = (hr * hr + hg * hg + hb * hb) / hw;
        hr = double(wr) - hr;
        hg = double(wg) - hg;
        hb = double(wb) - hb;
        hw = double(ww) - hw;
        if (hw == 0) continue;
        t += (hr * hr + hg * hg + hb * hb) / hw;
        if (t > best) {
          best = t;
          cut = i;
        }
      }
      return best;
    };
    auto cut = [&](Box& a, Box& b) {
      std::int64_t wr = Vol(a, fMr), wg = Vol(a, fMg), wb = Vol(a, fMb), ww = Vol(a, fWt);
      int cr, cg, cb;
      double mr = maximize(a, 0, a.r0 + 1, a.r1, cr, wr, wg, wb, ww);
      double mg = maximize(a, 1, a.g0 + 1, a.g1, cg, wr, wg, wb, ww);
      double mb = maximize(a, 2, a.b0 + 1, a.b1, cb, wr, wg, wb, ww);
      int dir;
      if (mr >= mg && mr >= mb) {
        dir = 0;
        if (cr < 0) return false;
      } else if (mg >= mr && mg >= mb) {
        dir = 1;
      } else {
        dir = 2;
      }
      b.r1 = a.r1;
      b.g1 = a.g1;
      b.b1 = a.b1;
      if (dir == 0) {
        b.r0 = a.r1 = cr;
        b.g0 = a.g0;
        b.b0 = a.b0;
      } else if (dir == 1) {
        b.g0 = a.g1 = cg;
        b.r0 = a.r0;
        b.b0 = a.b0;
      } else {
        b.b0 = a.b1 = cb;
        b.r0 = a.r0;
        b.g0 = a.g0;
      }
      a.vol = (a.r1 - a.r0) * (a.g1 - a.g0) * (a.b1 - a.b0);
      b.vol = (b.r1 - b.r0) * (b.g1 - b.g0) * (b.b1 - b.b0);
      return true;
    };
    std::vector<Box> boxes(static_cast<size_t>(fWanted));
    std::vector<double> vv(static_cast<size_t>(fWanted), 0.0);
    boxes[0] = Box{0, 32, 0, 32, 0, 32, 32 * 32 * 32};
    int n = fWanted, next = 0, i = 1;
    for (; i < n; ++i) {
      if (cut(boxes[next], boxes[i])) {
        vv[next] = boxes[next].vol > 1 ? var(boxes[next]) : 0.0;
        vv[i] = boxes[i].vol > 1 ? var(boxes[i]) : 0.0;
      } else {
        vv[next] = 0.0;
        --i;
      }
      next = 0;
      double t = vv[0];
      for (int k = 1; k <= i; ++k)
        if (vv[k] > t) {
          t = vv[k];
          next = k;
        }
      if (t <= 0.0) {
        n = i + 1;
        break;
      }
    }
    fPalette.clear();
    for (int k = 0; k < n; ++k) {
      std::int64_t w = Vol(boxes[k], fWt);
      if (w <= 0) continue;
      auto mean = [&](const std::vector<std::int64_t>& m) {
        return static_cast<std::uint8_t>(std::clamp<std::int64_t>((Vol(boxes[k], m) + w / 2) / w, 0, 255));
      };
      fPalette.push_back(TRGB{mean(fMb), mean(fMg), mean(fMr)});
    }
    if (fPalette.empty()) fPalette.push_back(TRGB{});
    Refine(cells);
  }
  fWt.clear();
  fMr.clear();
  fMg.clear();
  fMb.clear();
  fM2.clear();
  fExact.clear();
  fSeen.clear();
  IndexPalette();
  if (Palette) {
    int k = std::clamp(NColors, 1, kIEQuantizerMaxColors);
    for (int i = 0; i < k; ++i) Palette[i] = i < ColorCount() ? fPalette[i] : TRGB{};
  }
}

// A few Lloyd iterations over the histogram cells (each at the mean of its
// colours): every entry moves to the mean of the colours nearest to it,
// which the box cut alone cannot reach.
void TIEQuantizer::Refine(const std::vector<Cell>& cells) {
  const int k = ColorCount();
  std::vector<std::uint64_t> sr(k), sg(k), sb(k), sn(k);
  std::vector<std::uint16_t> order(static_cast<size_t>(k));
  std::vector<int> orderG(static_cast<size_t>(k));
  for (int iter = 0; iter < 4; ++iter) {
    // Entries sorted by green: a search walks outwards from the colour's
    // green and stops on each side once green alone is farther than the
    // best found (the same answer as a full scan, lowest index on a tie).
    for (int i = 0; i < k; ++i) order[i] = static_cast<std::uint16_t>(i);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return fPalette[a].g < fPalette[b].g; });
    for (int i = 0; i < k; ++i) orderG[i] = fPalette[order[i]].g;
    auto nearest = [&](TRGB c) {
      int hi = static_cast<int>(std::lower_bound(orderG.begin(), orderG.end(), int(c.g)) - orderG.begin());
      int lo = hi - 1, best = 0, bestD = 1 << 30;
      auto check = [&](int i) {
        int dr = int(fPalette[i].r) - c.r, dg = int(fPalette[i].g) - c.g, db = int(fPalette[i].b) - c.b;
        int d = dr * dr + dg * dg + db * db;
        if (d < bestD || (d == bestD && i < best)) bestD = d, best = i;
      };
      while (lo >= 0 || hi < k) {
        if (hi < k) {
          int dg = orderG[hi] - c.g;
          if (dg * dg <= bestD)
            check(order[hi++]);
          else
            hi = k;
        }
        if (lo >= 0) {
          int dg = c.g - orderG[lo];
          if (dg * dg <= bestD)
            check(order[lo--]);
          else
            lo = -1;
        }
      }
      return best;
    };
    std::fill(sr.begin(), sr.end(), 0);
    std::fill(sg.begin(), sg.end(), 0);
    std::fill(sb.begin(), sb.end(), 0);
    std::fill(sn.begin(), sn.end(), 0);
    for (const Cell& c : cells) {
      TRGB mean{static_cast<std::uint8_t>((c.b + c.n / 2) / c.n),
                static_cast<std::uint8_t>((c.g + c.n / 2) / c.n),
                static_cast<std::uint8_t>((c.r + c.n / 2) / c.n)};
      int i = nearest(mean);
      sr[i] += c.r;
      sg[i] += c.g;
      sb[i] += c.b;
      sn[i] += c.n;
    }
    bool moved = false;
    for (int i = 0; i < k; ++i) {
      if (!sn[i]) continue;
      TRGB m{static_cast<std::uint8_t>((sb[i] + sn[i] / 2) / sn[i]),
             static_cast<std::uint8_t>((sg[i] + sn[i] / 2) / sn[i]),
             static_cast<std::uint8_t>((sr[i] + sn[i] / 2) / sn[i])};
      moved |= !(m == fPalette[i]);
      fPalette[i] = m;
    }
    if (!moved) break;
  }
}

void TIEQuantizer::IndexPalette() {
  fCellStart.assign(32768, 0);
  fCellCount.assign(32768, -1);
  fCandidates.clear();
}

void TIEQuantizer::BuildCell(int cell) {
  const int lo[3] = {(cell >> 10) << 3, ((cell >> 5) & 31) << 3, (cell & 31) << 3};
  const int n = ColorCount();
  std::vector<int>& minD = fScratch;
  minD.resize(static_cast<size_t>(n));
  int threshold = 1 << 30;
  for (int i = 0; i < n; ++i) {
    const int v[3] = {fPalette[i].r, fPalette[i].g, fPalette[i].b};
    int dmin = 0, dmax = 0;
    for (int k = 0; k < 3; ++k) {
      const int a = lo[k], b = lo[k] + 7;
      const int near = v[k] < a ? a - v[k] : v[k] > b ? v[k] - b : 0;
      const int far = std::max(std::abs(v[k] - a), std::abs(v[k] - b));
      dmin += near * near;
      dmax += far * far;
    }
    minD[i] = dmin;
    threshold = std::min(threshold, dmax);
  }
  // An entry farther from the whole cell than another entry's farthest
  // point can never be nearest (nor tie) for any colour of the cell.
  fCellStart[cell] = static_cast<std::int32_t>(fCandidates.size());
  for (int i = 0; i < n; ++i)
    if (minD[i] <= threshold) fCandidates.push_back(static_cast<std::uint16_t>(i));
  fCellCount[cell] = static_cast<std::int16_t>(fCandidates.size() - fCellStart[cell]);
}

int TIEQuantizer::Nearest(TRGB c) {
  const int cell = ((c.r >> 3) << 10) | ((c.g >> 3) << 5) | (c.b >> 3);
  if (fCellCount[cell] < 0) BuildCell(cell);
  const std::uint16_t* cand = fCandidates.data() + fCellStart[cell];
  int best = 0, bestD = 1 << 30;
  // Candidates are in index order, so the first of equal distances wins.
  for (int k = 0; k < fCellCount[cell]; ++k) {
    const int i = cand[k];
    int dr = int(fPalette[i].r) - c.r, dg = int(fPalette[i].g) - c.g, db = int(fPalette[i].b) - c.b;
    int d = dr * dr + dg * dg + db * db;
    if (d < bestD) {
      bestD = d;
      best = i;
    }
  }
  return best;
}

int TIEQuantizer::RGBIndex(TRGB Color) { return Nearest(Color); }

}  // namespace redozir
