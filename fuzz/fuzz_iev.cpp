// The vector-object streams. The first byte chooses: bit 0 the IEV or the
// ALL stream, bit 1 raw bytes or a body (the object records) that the
// harness deflates and puts behind a valid header with two shared bitmaps,
// so that mutations reach the records past zlib's checksum.
// What loads is then drawn into a 64 x 64 target and copied to the image.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "imaging/core/iebitmap.h"
#include "imaging/formats/zstreams.h"
#include "imaging/io/redozir_io.h"
#include "imaging/view/ievect.h"
#include "platform/bitmap.h"

using namespace redozir;

namespace {

using Bytes = std::vector<std::uint8_t>;

void PutI32(Bytes& b, std::int32_t v) {
  for (int i = 0; i < 4; ++i)
    b.push_back(static_cast<std::uint8_t>(static_cast<std::uint32_t>(v) >> (8 * i)));
}

const Bytes& SmallPng() {
  static const Bytes png = [] {
    TIEBitmap b(3, 2, ie24RGB);
    b.Fill(0x204060);
    TMemoryStream m;
    TRedozIrIO io;
    io.SetAttachedIEBitmap(&b);
    io.SaveToStreamPNG(m);
    io.SetAttachedIEBitmap(nullptr);
    return m.Bytes();
  }();
  return png;
}

// "IEV", the version, the total length, scale 1, two shared bitmaps, the
// deflated body.
Bytes WrapBody(char version, const std::uint8_t* body, std::size_t size) {
  Bytes s = {'I', 'E', 'V', static_cast<std::uint8_t>(version), 0, 0, 0, 0};
  if (version == '1') {
    PutI32(s, 1);
  } else {
    const double one = 1.0;
    std::uint8_t d[8];
    std::memcpy(d, &one, 8);
    s.insert(s.end(), d, d + 8);
  }
  PutI32(s, 2);
  for (int i = 0; i < 2; ++i) {
    PutI32(s, 1);
    if (version > '2') s.insert(s.end(), SmallPng().begin(), SmallPng().end());
  }
  TMemoryStream z;
  {
    TZCompressionStream c(z, 2);
    c.WriteBuffer(body, static_cast<std::int64_t>(size));
    c.Finish();
  }
  s.insert(s.end(), z.Data().begin(), z.Data().end());
  const std::int32_t total = static_cast<std::int32_t>(s.size());
  std::memcpy(&s[4], &total, 4);
  return s;
}

// An ALL stream of a 2 x 2 view's layers around Iev.
Bytes WrapAll(const Bytes& iev) {
  TRedozIrVect v(nullptr);
  v.GetIEBitmap()->Allocate(2, 2, ie24RGB);
  v.GetIEBitmap()->Fill(0);
  TMemoryStream m;
  v.SaveToStreamAll(m, -1);
  Bytes s = m.Bytes();
  std::int32_t p;
  std::memcpy(&p, s.data(), 4);
  s.resize(static_cast<std::size_t>(p));
  s.insert(s.end(), iev.begin(), iev.end());
  return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const bool all = data[0] & 1;
  Bytes stream;
  if (data[0] & 2) {
    // The version byte of these inputs only picks among the readable ones.
    const char version = static_cast<char>('1' + data[1] % ('Q' - '1' + 1));
    stream = WrapBody(version, data + 2, size - 2);
    if (all) stream = WrapAll(stream);
  } else {
    stream.assign(data + 1, data + size);
  }
  TRedozIrVect v(nullptr);
  v.AddNewObject();
  TMemoryStream m(stream);
  const bool detected = all ? IEAllDetectStream(m) : IEIevDetectStream(m);
  if (m.Position() != 0) __builtin_trap();
  const bool ok = all ? v.LoadFromStreamAll(m) : v.LoadFromStreamIEV(m);
  if (ok && !detected) __builtin_trap();
  if (!ok) {
    if (v.ObjectsCount() != 1) __builtin_trap();
    return 0;
  }
  // What loaded writes and reads back to the same bytes.
  for (int h : v.DrawingOrder()) {
    const TIEVObjectRecord* r = v.GetObjectRecord(h);
    if (IEVUsesBitmap(*r) && r->BitmapIdx >= 0 && !v.GetObjectBitmap(h)) __builtin_trap();
  }
  TMemoryStream again;
  v.SaveToStreamIEV(again);
  TRedozIrVect w(nullptr);
  again.SetPosition(0);
  if (!w.LoadFromStreamIEV(again) || w.ObjectsCount() != v.ObjectsCount()) __builtin_trap();
  TMemoryStream third;
  w.SaveToStreamIEV(third);
  if (!std::ranges::equal(third.Data(), again.Data())) __builtin_trap();
  // Every loaded stream draws into a small target and into the image.
  TBitmap target(64, 64, pf24bit);
  v.DrawObjects(&target, false, true);
  v.DrawObjects(&target, true, false);
  v.GetIEBitmap()->Allocate(64, 64, ie24RGB);
  v.CopyObjectsToBack(true);
  return 0;
}
