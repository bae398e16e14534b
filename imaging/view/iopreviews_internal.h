// The save dialog's page table and the test-only access to the dialog's
// internals; not installed.
#pragma once

#include <cstdint>
#include <functional>

#include "imaging/view/iopreviews.h"

// Exported for the tests of a shared build.
#pragma GCC visibility push(default)
namespace redozir {

struct TfIOPreviews::TPage {
  // What a preview shows of the stored image: the image decoded back from
  // the encode, or a copy of the source reduced to the stored colours (with
  // a palette, without one, or by the TIFF photometric rule).
  enum class TShow { Decoded, PaletteReduced, Reduced, TIFF };

  TTabSheet* TfIOPreviews::*Sheet;
  std::uint16_t Bit;  // of the page set
  bool Full, Simple;  // shown in the full dialog, in the simplified one
  int FileType;       // encoded by the preview, written by OK
  TShow Show;
  void (*Create)(TfIOPreviews& D);
  // From the working copy (with ControlsReady False).
  void (*Fill)(TfIOPreviews& D);
  // The working copy's fields that the preview's encode reads, into P.
  void (*Store)(const TfIOPreviews& D, TIOParamsVals& P);
  // The working copy's fields that OK writes, into O (the file type apart).
  void (*WriteBack)(const TfIOPreviews& D, TIOParamsVals& O);
};

// A caption's width as shown in its control's font, and the room the layout
// leaves it: beside a check box's own box, inside a button or a frame, and
// otherwise up to the nearest control to its right on the same rows (or the
// parent's edge).
int IECaptionWidth(const TControl* c);
int IECaptionRoom(const TControl* c);

struct TfIOPreviewsTesting {
  static int PreviewCount(const TfIOPreviews& D) { return D.fPreviewCount; }
  static void SetExecutePalette(TfIOPreviews& D, std::function<bool(TRedozIrPaletteDialog&)> Answer) {
    D.fExecutePalette = std::move(Answer);
  }
};

}  // namespace redozir
#pragma GCC visibility pop
