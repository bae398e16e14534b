// The imaging library's start-up and shutdown: runs the start-up part of
// each unit once per process, and their shutdown parts in reverse order.
#pragma once

#pragma GCC visibility push(default)
namespace redozir {

// Runs every unit's start-up part, in the order of the list in
// ie_startup.cpp. Only the first call does anything; it is safe from any
// thread, and callers that need the library started may call it freely.
void IEInitialize();

// Hands the lower floors what they reach of the higher ones (the renderer's
// resampling) and nothing else: no unit starts. Only the first call does
// anything; IEInitialize makes it too.
void IEConnectFloors();

// Runs the shutdown parts of a started library, last unit first. Only the
// first call after IEInitialize does anything; the library is not started a
// second time afterwards.
void IEFinalize();

}  // namespace redozir
#pragma GCC visibility pop
