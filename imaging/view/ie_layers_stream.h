// The layers file format's unit start: its content test and its loading
// through the I/O component (the stream itself is TRedozIrView's).
#pragma once

#include "platform/stream.h"

#pragma GCC visibility push(default)
namespace redozir {

// Installs the layers format's content test (IELyrDetect) and its loading
// through the I/O component; the library's start-up and every view's
// construction make sure of it.
void IEInitLayersStream();
// The layers stream test itself: the signature and a version of 1 to 6 at
// the stream's position, which is left where it was.
bool IELyrDetectStream(TStream& Stream);

}  // namespace redozir
#pragma GCC visibility pop
