// Shared machinery of the resamplers: worker bands, the contributor tables
// of the kernel resampler and the switches that pick the vector paths.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <utility>
#include <vector>

#include "imaging/core/ie_speed.h"
#include "imaging/core/ie_types.h"

#pragma GCC visibility push(default)
namespace redozir {

// --- threads

// Processor cores as the imaging core reports them, at least 1.
int IEResampleCoreCount();
// The number of worker threads the resamplers use: the core count unless
// IESpeed().MaxThreads fixes it.
int IEResampleThreadCount();
// Band t of n over Rows rows: Rows div n rows each, the last band takes the rest.
std::vector<std::pair<int, int>> IEResampleBands(int Rows, int n);
// Runs Work(t, first, count) for every non-empty band, band 0 on the calling
// thread and the others on threads of their own; a thread that cannot be
// created runs its band inline. The first exception is raised again here
// once every thread has been joined.
void IERunBands(int Rows, int n, const std::function<void(int t, int first, int count)>& Work);
// Runs Work(t, first, count) over chunks of Chunk rows handed out in order
// to whichever of the n workers (t = 0 is the calling thread) is free, so a
// worker slowed down by other load takes fewer; each worker sees its chunks
// in increasing order. Errors and thread failures as for IERunBands. More:
// the caller runs more work on the workers right after (they stay awake
// for a moment).
void IERunChunks(int Rows, int n, int Chunk, const std::function<void(int t, int first, int count)>& Work,
                 bool More = false);
// Runs Work(t, first, count) over Rows rows cut into n bands of consecutive
// rows, worker t walking band t in steps of Step rows; a worker whose band is
// done takes the back half of what is left of the fullest band as its own.
// So each worker mostly sees consecutive rows, and one slowed down by other
// load holds up the others by a step at most. Errors and thread failures as
// for IERunBands.
void IERunSteal(int Rows, int n, int Step, const std::function<void(int t, int first, int count)>& Work);

// --- vector paths

// True when the AVX2 paths are allowed and the processor has AVX2.
bool IEResampleUseAVX2();
// True when the AVX2 paths may run and the 512-bit ones too: allowed by
// IESpeed().AVX512 (the tests clear it to compare both) and supported here.
bool IEResampleUseAVX512();

// --- progress

// Calls the handler with P when it differs from the last value reported.
struct TIEPercentReporter {
  const TIEProgressEvent* Event = nullptr;
  TObject* Sender = nullptr;
  int Last = -1;
  bool Assigned() const { return Event && *Event; }
  void Report(int P) {
    if (P != Last) {
      Last = P;
      (*Event)(Sender, P);
    }
  }
};

// --- kernel resampler tables

struct TIEContributor {
  int Pixel;
  int Weight;
};
// The lists for N source pixels to M destination pixels, plus a dense form
// for the vector paths: destination i reads the window Start[i] ..
// Start[i] + Len[i] - 1 with weights W[i * Stride ..] (repeated indices at the
// mirrored edges merged by adding their weights, which keeps every sum).
struct TIEResampleTaps {
  int N = 0;
  int M = 0;
  // The contributors of destination i: TapCount[i] of them from
  // Taps[i * TapStride] on (one block for the table, not an allocation per
  // list). Their weights add up to Sum[i], never 0: a list whose rounded
  // weights cancel out is normalised again.
  std::size_t TapStride = 0;
  std::vector<TIEContributor> Taps;
  std::vector<int> TapCount;
  std::span<const TIEContributor> List(int i) const {
    return {Taps.data() + static_cast<std::size_t>(i) * TapStride, static_cast<std::size_t>(TapCount[i])};
  }
  std::vector<int> Start;
  std::vector<int> Len;
  int Stride = 0;               // a multiple of 8
  std::vector<std::int16_t> W;  // empty when a weight or sum is too large for them
  std::vector<int> Sum;
  // For three interleaved channels, 4 taps per 16 words laid out as
  // w0 w1 w0 w1 w0 w1 0 0 w2 w3 w2 w3 w2 w3 0 0 (Stride / 4 groups each).
  std::vector<std::int16_t> W3;
  // Byte offsets from which windows read past the row's end (3 channels,
  // 1 channel): those windows read a padded copy of the row from there on.
  std::int64_t Tail3 = 0;
  std::int64_t Tail1 = 0;
  // The windows again as pairs of neighbouring pixels from an even one:
  // destination i reads pairs PStart[i] / 2 .. + PLen[i] - 1 with the two
  // weights of pair k packed in PW[i * PStride + k] (first in the low half);
  // Pairs is the number of pairs any window reaches.
  std::vector<int> PStart;
  std::vector<int> PLen;
  int PStride = 0;
  int Pairs = 0;
  std::vector<std::int32_t> PW;
  // 1 / |Sum[i]| as a float when truncating s x Rcp[i] gives s div |Sum[i]|
  // for every s from 0 to 256 |Sum[i]| (checked one by one), else 0.
  std::vector<float> Rcp;
  // Empty again, keeping the vectors' memory (the contributors and the
  // weights keep their values too, written over by the next build).
  void Clear();
};

// What the Lanczos3 lists weigh their taps from: the sine and cosine of k
// steps of one tap (the angle pi Inv / 3) for k below 64, the scale of a
// tap's argument (Inv) and the weight's factor 3 x 256 / FS / pi^2.
struct TIELanczos3Steps {
  double Sin[64] = {}, Cos[64] = {};  // past the steps a table takes: 0, read only by unused lanes
  double Inv = 1, RotScale = 0;
};
// The Lanczos3 weights before rounding of the taps First + k, k below Count
// (at most 64), around Centre, from the sine and cosine of the first tap's
// angle pi (Centre - First) Inv / 3: into V[k] (room for 64), 0 where the
// kernel is. Returns the taps within 1/64 of the centre as bits: their V is
// not computed (the kernel divides by a tiny argument there).
std::uint64_t IELanczos3Weights_AVX2(const TIELanczos3Steps& P, double Sin, double Cos, double Centre,
                                     double First, int Count, double* V);
std::uint64_t IELanczos3Weights_AVX512(const TIELanczos3Steps& P, double Sin, double Cos, double Centre,
                                       double First, int Count, double* V);

using TIEKernelFunc = double (*)(double);
TIEKernelFunc IEKernelOf(TResampleFilter Filter, double& Support);
// The tables for one call. The weights come from the extended-precision
// kernels; unless Extended is set, a double evaluation stands in for them
// wherever it provably rounds to the same weight (the same tables, faster).
// Threads caps the threads the lists are built on (0: the resamplers' count).
TIEResampleTaps IEBuildTaps(int N, int M, TResampleFilter Filter, bool Extended = false, int Threads = 0);
// The column and row tables of a call, their lists built on up to Threads
// threads together; the row table goes without the forms only the first
// pass reads (Tail3, Tail1, the pair words and W3). More as for IERunChunks.
// Blocks: the first pass reads 16 rows at a time only, and the column table
// goes without W3 too.
void IEBuildTapsPair(int sw, int dw, int sh, int dh, TResampleFilter Filter, int Threads, TIEResampleTaps& H,
                     TIEResampleTaps& V, bool More = false, bool Blocks = false);

// Bytes a source row needs past its end for the 3-channel vector path.
constexpr int kIEResampleRowPad = 64;

// One row of the first pass (Channels 1 or 3), scalar reference and AVX2.
void IEKernelRowH(const TIEResampleTaps& T, int Channels, const std::uint8_t* Src, std::uint8_t* Dst);
// Tail holds the row's bytes from T.Tail3 (T.Tail1) on, followed by at least
// kIEResampleRowPad spare bytes.
void IEKernelRowH3_AVX2(const TIEResampleTaps& T, const std::uint8_t* Src, const std::uint8_t* Tail,
                        std::uint8_t* Dst);
void IEKernelRowH1_AVX2(const TIEResampleTaps& T, const std::uint8_t* Src, const std::uint8_t* Tail,
                        std::uint8_t* Dst);
// Rows (1 to 16) rows of the first pass at once, 3 channels: the rows are
// turned so that the 16 values of one column sit side by side, and every tap
// weights all 16 rows in one multiply-add. Scratch is reused between calls.
constexpr int kIEBlockRows = 16;
void IEKernelBlockH3_AVX2(const TIEResampleTaps& T, const std::uint8_t* const* Src, int Rows,
                          std::uint8_t* const* Dst, std::vector<std::uint8_t>& Scratch);
// The same with 512-bit vectors, where IEResampleUseAVX512 allows it.
void IEKernelBlockH3_AVX512(const TIEResampleTaps& T, const std::uint8_t* const* Src, int Rows,
                            std::uint8_t* const* Dst, std::vector<std::uint8_t>& Scratch);
// One row of the second pass over Bytes bytes: destination row y of the
// taps reads Rows[k] for its contributors (Rows indexed by source row).
void IEKernelRowV(const TIEResampleTaps& T, int y, const std::uint8_t* const* Rows, int Bytes,
                  std::uint8_t* Dst);
// The windows of destination rows y .. y + R - 1 together as pairs of rows
// for the multiply-adds: pair k of the Count reads PR[2k] and PR[2k + 1]
// (the first again, weighed 0, past an odd number of rows) with the weights
// of row y + i packed in PW[i][k] (0 outside its own window).
struct TIEKernelRowPairs {
  std::vector<int> PW[2];
  std::vector<const std::uint8_t*> PR;
  int Count = 0;
  TIEKernelRowPairs(const TIEResampleTaps& T, int y, int R, const std::uint8_t* const* Rows);
};
// Rows y .. y + R - 1 (R 1 or 2) into Dst[0 .. R - 1], from the rows of
// their windows read once (the windows must lie within Stride rows together).
void IEKernelRowV_AVX2(const TIEResampleTaps& T, int y, int R, const std::uint8_t* const* Rows, int Bytes,
                       std::uint8_t* const* Dst);
void IEKernelRowV_AVX512(const TIEResampleTaps& T, int y, int R, const std::uint8_t* const* Rows, int Bytes,
                         std::uint8_t* const* Dst);
// Row y alone.
inline void IEKernelRowV_AVX2(const TIEResampleTaps& T, int y, const std::uint8_t* const* Rows, int Bytes,
                              std::uint8_t* Dst) {
  IEKernelRowV_AVX2(T, y, 1, Rows, Bytes, &Dst);
}
inline void IEKernelRowV_AVX512(const TIEResampleTaps& T, int y, const std::uint8_t* const* Rows, int Bytes,
                                std::uint8_t* Dst) {
  IEKernelRowV_AVX512(T, y, 1, Rows, Bytes, &Dst);
}

// --- rows of the fast linear resampler (AVX2; each returns how much of the
// row it did, the scalar rows finish the rest)

// What the vector first-pass row (Ch 1 or 3) does: destination pixels
// 0 .. Lim - 1 (a multiple of 8), with the longest box of every 8 in Most;
// for three interpolated channels the first Shuf of them read one 32-byte
// window of the row at Base[k] per 8 pixels and pick their bytes with the
// shuffle controls Ctl[128 k ..] instead of gathering them.
struct TIEFastRowPlan {
  int Lim = 0;
  int Shuf = 0;
  std::vector<int> Most;
  std::vector<int> Base;
  std::vector<std::uint8_t> Ctl;
};
void IEFastRowHPlan(int Ch, bool Interp, const int* Left, const int* Right, int sw, int dw,
                    TIEFastRowPlan& Plan);
// The pixels of the plan from the column tables, interpolated at Frac or
// averaged over Left .. Right.
void IEFastRowH_AVX2(int Ch, bool Interp, const int* Left, const int* Right, const int* Frac,
                     const TIEFastRowPlan& Plan, const std::uint8_t* S, std::uint8_t* O);
// The box averages of a reduction, Ch channels, picked byte by byte from
// windows of the source row: destination pixels 0 .. Lim - 1 (whole steps of
// Unit pixels) take their taps through shuffle controls worked out once per
// call. Each of them averages 2 to 16 pixels, so that a 16-bit multiply-high
// by ceil(2^16 / count) gives the exact quotient (s x e < 2^16 for every sum
// s <= 255 count, e = Mul x count - 2^16 < count). The AVX2 row fills four
// lanes of six 16-bit words per step, one pair of taps per shuffle, each
// lane from its own 16 bytes at Base; the AVX-512 row fills 30 or 32 words
// per step from one window of 128 bytes, one pair of taps per permute and
// multiply-add (the control of pair k is that of pair 0 plus 2k Ch, the
// bytes it reaches in Mask).
struct TIEBoxRowPlan {
  int Lim = 0;
  int Unit = 8;
  int Ch = 3;
  int MaxTaps = 0;        // tap pairs a step has room for
  std::vector<int> Taps;  // per step: the pairs of taps its pixels need
  std::vector<int> Base;  // byte offsets: per step, pair and lane (AVX2); per step (AVX-512)
  std::vector<std::uint8_t> Ctl;
  std::vector<std::uint16_t> Mul;
  std::vector<std::uint64_t> Mask;
};
// Ch 1 or 3; the AVX2 row takes 24 bytes per step (8 or 24 pixels), the
// AVX-512 one ten pixels of three channels or 32 of one.
void IEBoxRowPlan_AVX2(int Ch, const int* Left, const int* Right, int sw, int dw, TIEBoxRowPlan& Plan);
void IEBoxRowH_AVX2(const TIEBoxRowPlan& Plan, const std::uint8_t* S, std::uint8_t* O);
void IEBoxRowPlan_AVX512(int Ch, const int* Left, const int* Right, int sw, int dw, TIEBoxRowPlan& Plan);
void IEBoxRowH_AVX512(const TIEBoxRowPlan& Plan, int sw, const std::uint8_t* S, std::uint8_t* O);
// The nearest stretch of pixels of Bytes bytes (1 to 6) picked from windows
// of the source row: destination pixels 0 .. Lim - 1 go in steps, step k
// writing Len[k] bytes from the window at Base[k] through the controls Ctl
// (AVX2: 16 bytes per step from 32, two shuffles of 16; AVX-512: up to 63
// bytes from 128, one permute).
struct TIEPickRowPlan {
  int Lim = 0;
  std::vector<int> Base;
  std::vector<std::uint8_t> Len;
  std::vector<std::uint8_t> Ctl;
};
void IEPickRowPlan(bool Wide, int Bytes, const int* Col, int sw, int dw, TIEPickRowPlan& Plan);
void IEPickRow_AVX2(const TIEPickRowPlan& Plan, const std::uint8_t* S, std::uint8_t* D);
void IEPickRow_AVX512(const TIEPickRowPlan& Plan, std::int64_t RowBytes, const std::uint8_t* S,
                      std::uint8_t* D);
// The interpolating first-pass row of the fast linear resampler (an
// enlargement across), AVX-512, Ch 1 or 3: destination pixels 0 .. Lim - 1 in
// steps of Unit (ten or 32), both neighbours of every sample permuted into
// 16-bit words from one window of 128 bytes at Base[k] (controls Ctl[128 k ..],
// the left ones then the right ones) and weighed by W[32 k ..]: per pair of
// words (f shr 2) | (f and 3) shl 16, in the order the word unpacking takes.
struct TIELerpRowPlan {
  int Lim = 0;
  int Unit = 10;
  int Ch = 3;
  std::vector<int> Base;
  std::vector<std::uint8_t> Ctl;
  std::vector<std::int32_t> W;
};
void IELerpRowPlan_AVX512(int Ch, const int* Left, const int* Frac, int sw, int dw, TIELerpRowPlan& Plan);
void IELerpRowH_AVX512(const TIELerpRowPlan& Plan, int sw, const std::uint8_t* S, std::uint8_t* O);
// The fast linear reduction to exactly half, in one pass over the source:
// destination pixel x of a row is the average (sum div 3) of source pixels
// 2x, 2x + 1 and 2x + 2 of each of source rows 2y, 2y + 1 and 2y + 2, first
// across, then those three down. Carry holds the averages across of row 2y,
// in the path's own layout, so that each destination row reads two new rows.
// With A null a call only fills Carry from row B; otherwise D gets the row
// from Carry, A and B, and Carry takes B's averages. N destination pixels of
// Ch (1 or 3) channels, each of three source pixels (so A and B hold
// (2N + 1) Ch bytes). Each returns the pixels it did, a whole number of
// steps; the scalar rows finish the rest. Carry has room for 2 N Ch + 64
// words.
std::size_t IEHalfRows_AVX2(int Ch, const std::uint8_t* A, const std::uint8_t* B, int N, std::uint16_t* Carry,
                            std::uint8_t* D);
std::size_t IEHalfRows_AVX512(int Ch, const std::uint8_t* A, const std::uint8_t* B, int N,
                              std::uint16_t* Carry, std::uint8_t* D);
// D = A + ((B - A) x f) shifted right by 17 (rounding down), byte by byte.
std::size_t IEFastRowVLerp_AVX2(const std::uint8_t* A, const std::uint8_t* B, int f, std::uint8_t* D,
                                std::size_t n);
// D = (sum of Count rows) div Count, the division as ((s x Magic) shr 16)
// shr Shift (Count <= 257; Magic checked exact for every possible sum).
std::size_t IEFastRowVBox_AVX2(const std::uint8_t* const* Rows, int Count, int Magic, int Shift,
                               std::uint8_t* D, std::size_t n);
// The same 32 bytes at a time with 512-bit words, the last ones masked: all n.
std::size_t IEFastRowVBox_AVX512(const std::uint8_t* const* Rows, int Count, int Magic, int Shift,
                                 std::uint8_t* D, std::size_t n);

// --- the vector engine of the area-weighted resampler

// Column tables: every destination pixel has P slots, one per piece of the
// row that falls in it, in walking order; the slots it does not need are
// empty (width 0, weights 0), and add nothing, since x times 0 is 0 and a + 0
// is a for every finite x and a. Arrays are indexed s * Dwp + j.
struct TIEAreaCols {
  int P = 1;                    // slots per destination pixel
  int Dw = 0;                   // destination width
  int Dwp = 0;                  // Dw rounded up to a multiple of 4
  std::vector<std::int32_t> X;  // the source column of the piece
  std::vector<double> W[4];     // tap weights: (1 - T, T) linear, four cubic
  std::vector<double> PW;       // the piece's width
  // The tap whose weight is exactly 1 while the others are exactly 0, as an
  // offset in pixels from column x - 1, or -1: such a piece's value is that
  // sample itself, whatever the order of the sum.
  std::vector<std::int8_t> Unit;
  // Single: every value of the walk is a multiple of a power of two small
  // enough that float holds each product and sum exactly, so the rows run in
  // float, two pixels per vector, with the same results. The tables then
  // come as floats, four lanes per piece.
  bool Single = false;
  // With Single: the inverse area is a power of two, so the last product is
  // exact in float too; otherwise it is taken in double.
  bool ExactInv = false;
  std::vector<float> WX[4];
  std::vector<float> PWX;
};

// How a piece's value is taken from its source row: the sample itself, the
// linear or cubic interpolation across it, the cubic rounded to an integer.
enum TIEAreaHKind { ahSample, ahLinear, ahCubic, ahCubicRounded };
// How the rows of piece values combine across rows: one row as it is, two
// linearly, four cubically (held to 0..Max); avSamples takes the samples
// straight from one source row in pixel form (no row of piece values).
enum TIEAreaVKind { avSamples, avIdentity, avLinear, avCubic };
// Where the last piece of a destination row goes: finished samples of Bytes
// (1 or 2) bytes each, channels interleaved, from the sums x Inv rounded
// (halves to even) and held to 0..Max.
struct TIEAreaOut {
  double Inv;
  int Bytes;
  void* D;
};

// Rows are held as pixels of four doubles, the channels first and the spare
// lanes finite: (Sw + 3) x 4 doubles, pixel x at x + 1, pixel 0 repeated
// before it and pixel Sw - 1 twice after the last.
// Single puts floats in the same place, (Sw + 3) x 4 of them.
void IEAreaPixels8_AVX2(const std::uint8_t* Row, int Sw, int Ch, bool Single, double* Px);
void IEAreaPixels16_AVX2(const std::uint16_t* Row, int Sw, int Ch, bool Single, double* Px);
// True when a row of piece values holds whole numbers (the samples, or the
// rounded cubic) and so is kept as floats, which hold them exactly.
inline bool IEAreaCompact(TIEAreaHKind Kind) { return Kind == ahSample || Kind == ahCubicRounded; }
// The piece values of a row: H[(s * Dwp + j) * 4 ..], doubles or, when
// compact, floats.
void IEAreaRowH_AVX2(const TIEAreaCols& T, TIEAreaHKind Kind, const double* Px, double Max, void* H);
// Acc[j * 4 ..] (or 0 when First) plus, slot by slot, (V x PW) x PH, V the
// piece value of Rows[0] or of Rows[0..1] or Rows[0..3] combined with VW (for
// avSamples, Rows[0] is a source row in pixel form). The sums go back to Acc,
// or finished to Out when it is given.
void IEAreaAccumulate_AVX2(const TIEAreaCols& T, TIEAreaVKind Kind, bool Compact, int Ch,
                           const void* const Rows[4], const double VW[4], double Max, double PH, bool First,
                           double* Acc, const TIEAreaOut* Out);
// The same with 512-bit vectors where IEResampleUseAVX512 allows it (the
// float rows go the AVX2 way).
void IEAreaRowH_AVX512(const TIEAreaCols& T, TIEAreaHKind Kind, const double* Px, double Max, void* H);
void IEAreaAccumulate_AVX512(const TIEAreaCols& T, TIEAreaVKind Kind, bool Compact, int Ch,
                             const void* const Rows[4], const double VW[4], double Max, double PH, bool First,
                             double* Acc, const TIEAreaOut* Out);
// Exact box sums of a reduction: V (N samples) = Row x B, plus V unless First.
void IEAreaBoxAddRow8_AVX2(const std::uint8_t* Row, std::size_t N, std::uint32_t B, bool First,
                           std::uint32_t* V);
void IEAreaBoxAddRow16_AVX2(const std::uint16_t* Row, std::size_t N, std::uint32_t B, bool First,
                            std::uint32_t* V);
// Column sums of a reduction: S[j * Ch + c] = the sum over pieces i from
// First[j] to First[j + 1] - 1 of V[X[i] + c] x W[i]. V and S have a spare
// sample past their last.
void IEAreaBoxCols_AVX2(const std::uint32_t* V, int Ch, int Dw, const std::size_t* First,
                        const std::int32_t* X, const std::uint32_t* W, std::uint32_t* S);
// N finished samples of Bytes (1 or 2) bytes: (S x Scale) x Inv rounded (halves
// to even) and held to 0..Max.
void IEAreaBoxFinish_AVX2(const std::uint32_t* S, std::size_t N, double Scale, double Inv, double Max,
                          int Bytes, void* D);

}  // namespace redozir
#pragma GCC visibility pop
