// The preset picture list over the PNG bytes embedded at build time.
#include "imaging/view/iepresetim.h"

#include <cstddef>

#include "imaging/core/ie_startup.h"
#include "imaging/formats/ioparams.h"

namespace redozir {

// Made by cmake/embed.cmake from imaging/view/presets/preset<i>.png.
extern const std::uint8_t kIEPresetPng0[], kIEPresetPng1[], kIEPresetPng2[], kIEPresetPng3[];
extern const std::size_t kIEPresetPng0Size, kIEPresetPng1Size, kIEPresetPng2Size, kIEPresetPng3Size;

namespace {

std::vector<TIEPresetImage>& PresetList() {
  static std::vector<TIEPresetImage> list;
  return list;
}

}  // namespace

const std::vector<TIEPresetImage>& IEPresetImages() {
  IEInitialize();
  return PresetList();
}

void IEInitPresetImages() {
  IEFinalPresetImages();
  struct Entry {
    const std::uint8_t* data;
    std::size_t size;
    TRect area;
  };
  const Entry entries[] = {
      {kIEPresetPng0, kIEPresetPng0Size, {18, 29, 140, 119}},
      {kIEPresetPng1, kIEPresetPng1Size, {13, 1, 95, 98}},
      {kIEPresetPng2, kIEPresetPng2Size, {30, 14, 147, 92}},
      {kIEPresetPng3, kIEPresetPng3Size, {17, 17, 131, 131}},
  };
  for (const Entry& e : entries)
    PresetList().push_back(TIEPresetImage{static_cast<std::int32_t>(e.size), e.data, ioPNG, e.area});
}

void IEFinalPresetImages() {
  PresetList().clear();
  PresetList().shrink_to_fit();
}

}  // namespace redozir
