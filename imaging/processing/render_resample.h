// The processing floor's part of the renderer: its resampling, handed to
// the core by IEConnectFloors.
#pragma once

#pragma GCC visibility push(default)
namespace redozir {

// Called once by IEConnectFloors.
void IEInitRenderResample();

}  // namespace redozir
#pragma GCC visibility pop
