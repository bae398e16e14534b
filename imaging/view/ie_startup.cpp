// The library's start-up list and its once-guard. It names units of every
// floor, so it lives on the top one; the rest of the library reaches it
// through imaging/core/ie_startup.h.
#include "imaging/core/ie_startup.h"

#include <atomic>
#include <iterator>
#include <mutex>

#include "imaging/core/ie_filters.h"
#include "imaging/processing/render_resample.h"
#include "imaging/view/ie_layers_stream.h"
#include "imaging/view/iepresetim.h"
#include "imaging/view/ievect.h"
#include "imaging/view/iewords.h"
#include "imaging/view/iopreviews.h"

namespace redozir {

namespace {

using TIEUnitProc = void (*)();

struct TIEUnitPart {
  TIEUnitProc Start;  // may be nullptr
  TIEUnitProc Stop;   // may be nullptr
};

// Each unit with a start-up or shutdown part adds one line here. Listing the
// parts by name (rather than letting units register themselves from static
// constructors) keeps them linked in from the static library and fixes their
// order. The start-up may run late, on whatever first needs it, so no part
// may undo what views, hooks and switches hold by then: a part fills a hook
// only while it is empty, what the program may also store (the dialog texts)
// is reached only through calls that start the library first, and the
// anti-aliasing binding, whose state starts with the process, has no part.
constexpr TIEUnitPart StartupParts[] = {
    // First: the other parts may render.
    {IEInitRenderResample, nullptr},
    {IEInitWords, nullptr},
    {IEInitPredefinedFilters, IEFreePredefinedFilters},
    {IEInitVect, IEFinalVect},
    {IEInitPresetImages, IEFinalPresetImages},
    {IEInitPreviewsDialog, nullptr},
    {IEInitLayersStream, nullptr},
};

// What the lower floors reach of the higher ones, handed down; filled
// without starting any unit, so that using a lower floor alone changes no
// unit's state.
constexpr TIEUnitProc FloorLinks[] = {
    IEInitRenderResample,
};

std::once_flag FloorsConnected;

enum class TStartupState { NotStarted, Started, Finished };

std::mutex StartupLock;
// Written under the lock; read without it by the callers that find the
// library started, which is every caller but the first few.
std::atomic<TStartupState> StartupState{TStartupState::NotStarted};

}  // namespace

void IEConnectFloors() {
  std::call_once(FloorsConnected, [] {
    for (TIEUnitProc link : FloorLinks) link();
  });
}

void IEInitialize() {
  if (StartupState.load(std::memory_order_acquire) != TStartupState::NotStarted) return;
  IEConnectFloors();
  // A unit's start-up that reaches a routine which starts the library on
  // demand (a stream's format detection, say) must not wait for itself.
  thread_local bool starting = false;
  if (starting) return;
  std::lock_guard lock(StartupLock);
  if (StartupState != TStartupState::NotStarted) return;
  starting = true;
  try {
    for (const TIEUnitPart& part : StartupParts)
      if (part.Start != nullptr) part.Start();
  } catch (...) {
    starting = false;
    throw;
  }
  starting = false;
  StartupState.store(TStartupState::Started, std::memory_order_release);
}

void IEFinalize() {
  std::lock_guard lock(StartupLock);
  if (StartupState != TStartupState::Started) return;
  for (auto part = std::rbegin(StartupParts); part != std::rend(StartupParts); ++part)
    if (part->Stop != nullptr) part->Stop();
  StartupState.store(TStartupState::Finished, std::memory_order_release);
}

}  // namespace redozir
