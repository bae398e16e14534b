// AGG's path storage as the library uses it: on a std::vector, which frees
// what it holds whatever fails. (AGG's own block storage loses its table of
// blocks when the first block cannot be had.)
#pragma once

#include <agg_path_storage.h>

#include <vector>

namespace redozir {

using TAggPath = agg::path_base<agg::vertex_stl_storage<std::vector<agg::vertex_d>>>;

}  // namespace redozir
