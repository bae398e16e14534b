#include "platform/simd_level.h"

#include <strings.h>

#include <cstdlib>

namespace redozir {

TSIMDLevel ParseSIMDLevel(const char* Text) {
  if (!Text) return TSIMDLevel::AVX512;
  if (strcasecmp(Text, "scalar") == 0) return TSIMDLevel::Scalar;
  if (strcasecmp(Text, "avx2") == 0) return TSIMDLevel::AVX2;
  return TSIMDLevel::AVX512;
}

TSIMDLevel SIMDLevelAllowed() {
  static const TSIMDLevel level = ParseSIMDLevel(std::getenv("REDOZIR_SIMD"));
  return level;
}

}  // namespace redozir
