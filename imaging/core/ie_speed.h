// How the processing engines may use the machine: threads and vector paths.
// Every setting here is safe to change at any time, from any thread, also
// while operations run: each one is an atomic that an operation reads once
// when it decides how to split its work or which path to take, and every
// choice gives the same bytes, so a change only affects operations that
// start (or reach their next loop) after it.
#pragma once

#include <atomic>
#include <cstdint>

#pragma GCC visibility push(default)
namespace redozir {

struct TIESpeedSettings {
  // Worker threads of every engine (resampling, rotation, blur, conversion):
  // 0 one per processor core.
  std::atomic<int> MaxThreads{0};
  // Below this much work per thread a loop uses fewer threads.
  std::atomic<std::int64_t> MinWorkPerThread{1 << 16};
  // False keeps every engine on its scalar reference path. The environment
  // variable REDOZIR_SIMD (scalar, avx2, avx512) caps both switches for the
  // whole process.
  std::atomic<bool> SIMD{true};
  // False keeps the 256-bit paths where there are wider ones.
  std::atomic<bool> AVX512{true};

  TIESpeedSettings() = default;
  // Copies take a snapshot, setting by setting (tests save and restore them).
  TIESpeedSettings(const TIESpeedSettings& Other) { *this = Other; }
  TIESpeedSettings& operator=(const TIESpeedSettings& Other) {
    MaxThreads = Other.MaxThreads.load();
    MinWorkPerThread = Other.MinWorkPerThread.load();
    SIMD = Other.SIMD.load();
    AVX512 = Other.AVX512.load();
    return *this;
  }
};

// The library's one set of speed settings.
TIESpeedSettings& IESpeed();
// Shorthands for MaxThreads (negative counts read as 0) and SIMD.
void IESetMaxThreads(int n);
void IESetSIMD(bool Enabled);

}  // namespace redozir
#pragma GCC visibility pop
