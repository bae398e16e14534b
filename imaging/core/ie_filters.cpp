// The predefined filter list.
#include "imaging/core/ie_filters.h"

const std::vector<TIEPredefinedFilter>& IEPredefinedFilters() {
  static const std::vector<TIEPredefinedFilter> filters = {
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
  return filters;
}
