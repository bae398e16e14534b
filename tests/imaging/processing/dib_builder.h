// Builds packed DIB blocks for the tests: header, table or masks, pixels.
#pragma once

#include <cstdint>
#include <vector>

struct TDIBBuilder {
  std::vector<std::uint8_t> b;
  void U16(std::uint16_t v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
  }
  void U32(std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  }
  // A 40-byte BITMAPINFOHEADER.
  TDIBBuilder& Header(std::int32_t w, std::int32_t h, int bitCount, std::uint32_t compression = 0,
                      std::uint32_t clrUsed = 0) {
    U32(40);
    U32(static_cast<std::uint32_t>(w));
    U32(static_cast<std::uint32_t>(h));
    U16(1);
    U16(static_cast<std::uint16_t>(bitCount));
    U32(compression);
    U32(0);
    U32(2835);
    U32(2835);
    U32(clrUsed);
    U32(0);
    return *this;
  }
  TDIBBuilder& Quad(int r, int g, int bl) {
    b.push_back(static_cast<std::uint8_t>(bl));
    b.push_back(static_cast<std::uint8_t>(g));
    b.push_back(static_cast<std::uint8_t>(r));
    b.push_back(0);
    return *this;
  }
  TDIBBuilder& Bytes(std::initializer_list<int> v) {
    for (int x : v) b.push_back(static_cast<std::uint8_t>(x));
    return *this;
  }
  TDIBBuilder& Fill(size_t n, std::uint8_t v) {
    b.insert(b.end(), n, v);
    return *this;
  }
};
