// The checked float rows of the area-weighted resampler for enlargements of
// 8-bit samples (resample_area.cpp drives them): the channels packed in
// order, pieces walked in order, every value in float under a proven error
// bound; the rare values whose rounding that bound cannot settle are flagged
// and worked out again in double by the driver.
#pragma once

#include <cstdint>
#include <vector>

#pragma GCC visibility push(default)
namespace redozir {

// Tables of one call, laid out for vectors of VL floats (16 for AVX-512, 8
// for AVX2) and windows of 2 VL floats. Lanes are channel samples: lane
// c x Ch + ch of a row of piece values is channel ch of column piece c.
struct TIEAreaFloatTables {
  int Ch = 3;
  int VL = 16;
  bool Cubic = true;  // four taps from x - 1, rounded; else two (x, x + 1)
  float Max = 255;
  // Lanes of the piece values and of the finished row: destination width x
  // Ch, lane x x Ch + ch holding channel ch of pixel x's last piece (the one
  // that ends on its right edge). A pixel of two pieces starts with one that
  // ends on a source pixel's edge, whose value is sample x + 1 of its source
  // pixel x: those come from the source rows, ULanes = source width x Ch.
  int Lanes = 0;
  int ULanes = 0;
  int OutLanes = 0;
  // Piece values, in blocks of HAdv (= VL) lanes: tap t of lane l of block b
  // is lane HIdx[b x VL + l] of the window of the pixel row that starts at
  // HBase[b] + t x Ch (floats; HBase[b] is pixel x - 1 of the block's first
  // piece), weighted by HW[(b x 4 + t) x VL + l]; lanes past the row weigh 0.
  int HAdv = 0;
  std::vector<std::int32_t> HBase, HIdx;
  std::vector<float> HW;
  // Rounded piece values closer than this to the middle between two whole
  // numbers are flagged.
  float HLimit = 0.5f;
  // Finished samples, in blocks of VL lanes: lane l of block o is its last
  // piece's sum (same lane) x OW[o x 2 VL + l] plus lane UIdx[o x VL + l] of
  // the window of source pixel sums at UBase[o] x OW[o x 2 VL + VL + l] (0
  // for a pixel of one piece). UNeed[o]: source pixel sums needed up to
  // block o.
  std::vector<std::int32_t> UBase, UIdx, UNeed;
  std::vector<float> OW;
  // Finished values closer than this to the middle between two whole
  // numbers are flagged.
  float OLimit = 0.5f;
};

// For tests: with All, every value is flagged and taken again in double, so
// that the double way is seen to give the walk's bytes too.
void IEAreaFloatCheckAll(bool All);

// A source row as floats for the windows: pixel x at (x + 1) x Ch, pixel 0
// repeated before it, the last pixel twice after it; the floats past those
// are left as they are (the caller keeps them finite).
void IEAreaFloatPixels_AVX512(const std::uint8_t* Row, int Sw, int Ch, float* Px);
void IEAreaFloatPixels_AVX2(const std::uint8_t* Row, int Sw, int Ch, float* Px);
// The piece values of a row (Lanes of them, and up to VL more past them);
// returns how many lanes it flagged, their indices in Flags.
int IEAreaFloatRowH_AVX512(const TIEAreaFloatTables& T, const float* Px, float* H, std::int32_t* Flags);
int IEAreaFloatRowH_AVX2(const TIEAreaFloatTables& T, const float* Px, float* H, std::int32_t* Flags);
// The sums of a destination row over lanes From to To (multiples of VL):
// A = V0, or V0 + V1 for two row pieces, where Vp is the cubic of rows
// R[4p..4p+3] with weights VW[4p..4p+3] held to 0..Hi[p], or the linear
// blend of R[4p..4p+1] with VW[4p..4p+1]; or, with bit p of Unit, R[4p] x
// VW[4p] (a piece whose one weight is 1 and the others 0, which gives that
// row's values, already in range).
void IEAreaFloatVert_AVX512(const TIEAreaFloatTables& T, const float* const R[8], const float VW[8],
                            const float Hi[2], int Pieces, int Unit, float* A, int From, int To);
void IEAreaFloatVert_AVX2(const TIEAreaFloatTables& T, const float* const R[8], const float VW[8],
                          const float Hi[2], int Pieces, int Unit, float* A, int From, int To);
// Finished blocks From to To - 1 of a row of bytes from the sums of the
// last pieces (A) and of the source pixels (AU); returns how many samples
// it flagged, their indices in Flags (their bytes are to be written again).
int IEAreaFloatFinish_AVX512(const TIEAreaFloatTables& T, const float* A, const float* AU, std::uint8_t* D,
                             std::int32_t* Flags, int From, int To);
int IEAreaFloatFinish_AVX2(const TIEAreaFloatTables& T, const float* A, const float* AU, std::uint8_t* D,
                           std::int32_t* Flags, int From, int To);

}  // namespace redozir
#pragma GCC visibility pop
