// The predefined filter list.
#include "imaging/core/ie_filters.h"

#include <mutex>

#include "imaging/core/ie_startup.h"

namespace redozir {

namespace {
std::vector<TIEPredefinedFilter> PredefinedFilters;
}  // namespace

void IEInitPredefinedFilters() {
  PredefinedFilters = {
      {"None", {{{0, 0, 0}, {0, 1, 0}, {0, 0, 0}}, 1}},
      {"Blur", {{{1, 1, 1}, {1, 1, 1}, {1, 1, 1}}, 9}},
      {"Edges", {{{1, 1, 1}, {1, -8, 1}, {1, 1, 1}}, 1}},
      {"Emboss", {{{-1, 0, 1}, {-1, 1, 1}, {-1, 0, 1}}, 1}},
      {"High Pass 1", {{{0, -1, 0}, {-1, 5, -1}, {0, -1, 0}}, 1}},
      {"High Pass 2", {{{-1, -1, -1}, {-1, 9, -1}, {-1, -1, -1}}, 1}},
      {"High Pass 3", {{{1, -2, 1}, {-2, 5, -2}, {1, -2, 1}}, 1}},
      {"Low Pass 1", {{{1, 1, 1}, {1, 1, 1}, {1, 1, 1}}, 10}},
      {"Low Pass 2", {{{1, 2, 1}, {2, 4, 2}, {1, 2, 1}}, 16}},
  };
}

void IEFreePredefinedFilters() { PredefinedFilters.clear(); }

const std::vector<TIEPredefinedFilter>& IEPredefinedFilters() {
  IEInitialize();
  // After the library's shutdown a late caller still gets the nine filters
  // rather than an empty list to index into.
  static std::mutex refill;
  std::lock_guard lock(refill);
  if (PredefinedFilters.empty()) IEInitPredefinedFilters();
  return PredefinedFilters;
}

}  // namespace redozir
