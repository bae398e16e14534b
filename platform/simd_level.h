// The widest instruction set the vector paths may use, as the environment
// variable REDOZIR_SIMD says (scalar, avx2 or avx512; read once, at the first
// question). Every dispatch of the library asks here before it picks a path,
// so users and benchmarks can compare the paths on one machine.
#pragma once

#pragma GCC visibility push(default)
namespace redozir {

enum class TSIMDLevel { Scalar = 0, AVX2 = 1, AVX512 = 2 };

// The ceiling REDOZIR_SIMD sets: AVX512 when unset or not one of the three
// names. It says what is allowed, not what the processor has.
TSIMDLevel SIMDLevelAllowed();
// The level named by Text (case ignored), or AVX512 for anything else.
TSIMDLevel ParseSIMDLevel(const char* Text);

}  // namespace redozir
#pragma GCC visibility pop
