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
  int Lanes = 0;  // pieces x Ch
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
  // Finished samples, in blocks of OAdv lanes (whole pixels): block o reads
  // the sums from the window at OBase[o] (floats), the first piece of lane l
  // at OIdx[o x VL + l] and the second Ch lanes on, weighted by
  // OW[(o x 2 + s) x VL + l] (the piece's width over the area; 0 for the
  // second of a pixel of one piece).
  int OAdv = 0;
  int OutLanes = 0;  // destination width x Ch
  std::vector<std::int32_t> OBase, OIdx;
  std::vector<float> OW;
  // Lanes of sums needed to finish blocks up to o: ONeed[o].
  std::vector<std::int32_t> ONeed;
  // On AVX2 the finished samples come in groups of 16 piece lanes instead:
  // lane j of group g is SG[g x 32 + (j / 8) x 16 + j % 8] x its sum plus
  // SG[.. + 8] x the sum Ch lanes on; the lanes of every pixel's first piece
  // (bit j of SFirst[g]) are its samples, gathered by the byte shuffle
  // SMask[g x 16 ..] to samples SOut[g] on.
  std::vector<float> SG;
  std::vector<std::uint8_t> SMask;
  std::vector<std::uint16_t> SFirst;
  std::vector<std::int32_t> SOut;
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
// Finished blocks (AVX2: groups) From to To - 1 of a row of bytes from the
// sums; returns how many samples it flagged, their indices in Flags (their
// bytes are to be written again).
int IEAreaFloatFinish_AVX512(const TIEAreaFloatTables& T, const float* A, std::uint8_t* D,
                             std::int32_t* Flags, int From, int To);
int IEAreaFloatFinish_AVX2(const TIEAreaFloatTables& T, const float* A, std::uint8_t* D, std::int32_t* Flags,
                           int From, int To);

}  // namespace redozir
#pragma GCC visibility pop
