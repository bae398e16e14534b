// zlib compression and decompression streams.
#include "imaging/formats/zstreams.h"

#include <zlib.h>

#include <algorithm>
#include <string>
#include <vector>

namespace redozir {

namespace {
int ZLevel(std::uint8_t level) {
  switch (level) {
    case 0: return 0;
    case 1: return 1;
    case 3: return 9;
    default: return Z_DEFAULT_COMPRESSION;
  }
}
std::string ZMessage(const char* what, int rc, const z_stream& z) {
  return std::string("zlib ") + what + " failed: " + (z.msg ? z.msg : std::to_string(rc));
}
}  // namespace

struct TZCompressionStream::Impl {
  z_stream z{};
  std::vector<std::uint8_t> out = std::vector<std::uint8_t>(kZBufferSize);
  bool inited = false;
};

TZCompressionStream::TZCompressionStream(TStream& Dest, std::uint8_t Level)
    : p_(std::make_unique<Impl>()), fDest(Dest) {
  int rc = deflateInit(&p_->z, ZLevel(Level));
  if (rc != Z_OK) throw EZLibError(ZMessage("deflateInit", rc, p_->z));
  p_->inited = true;
}

TZCompressionStream::~TZCompressionStream() {
  if (!fFinished) {
    try {
      Finish();
    } catch (...) {
    }
  }
  if (p_->inited) deflateEnd(&p_->z);
}

void TZCompressionStream::Deflate(int flush) {
  z_stream& z = p_->z;
  for (;;) {
    z.next_out = p_->out.data();
    z.avail_out = static_cast<uInt>(p_->out.size());
    int rc = deflate(&z, flush);
    if (rc == Z_STREAM_ERROR) throw EZLibError(ZMessage("deflate", rc, z));
    std::int64_t n = static_cast<std::int64_t>(p_->out.size()) - z.avail_out;
    if (n > 0) fDest.WriteBuffer(p_->out.data(), n);
    if (flush == Z_FINISH) {
      if (rc == Z_STREAM_END) return;
    } else if (z.avail_in == 0 && z.avail_out != 0) {
      return;
    }
  }
}

std::int64_t TZCompressionStream::Write(const void* buffer, std::int64_t count) {
  if (fFinished) throw EZLibError("write to a finished compression stream");
  if (count <= 0) return 0;
  const auto* src = static_cast<const std::uint8_t*>(buffer);
  std::int64_t left = count;
  while (left > 0) {
    uInt chunk = static_cast<uInt>(std::min<std::int64_t>(left, 1 << 30));
    p_->z.next_in = const_cast<Bytef*>(src);
    p_->z.avail_in = chunk;
    Deflate(Z_NO_FLUSH);
    src += chunk;
    left -= chunk;
  }
  fTotalIn += count;
  return count;
}

void TZCompressionStream::Finish() {
  if (fFinished) return;
  fFinished = true;
  p_->z.next_in = nullptr;
  p_->z.avail_in = 0;
  Deflate(Z_FINISH);
}

std::int64_t TZCompressionStream::Read(void*, std::int64_t) {
  throw EZLibError("a compression stream cannot be read");
}

std::int64_t TZCompressionStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  if ((origin == soCurrent && offset == 0) || (origin == soBeginning && offset == fTotalIn) ||
      (origin == soEnd && offset == 0))
    return fTotalIn;
  throw EZLibError("a compression stream cannot seek");
}

struct TZDecompressionStream::Impl {
  z_stream z{};
  std::vector<std::uint8_t> in = std::vector<std::uint8_t>(kZBufferSize);
  bool inited = false;
};

TZDecompressionStream::TZDecompressionStream(TStream& Source, std::int64_t MaxSize)
    : p_(std::make_unique<Impl>()), fSource(Source), fMaxSize(MaxSize) {
  int rc = inflateInit(&p_->z);
  if (rc != Z_OK) throw EZLibError(ZMessage("inflateInit", rc, p_->z));
  p_->inited = true;
}

TZDecompressionStream::~TZDecompressionStream() {
  if (p_->inited) inflateEnd(&p_->z);
}

std::int64_t TZDecompressionStream::Read(void* buffer, std::int64_t count) {
  if (count <= 0 || fEnd) return 0;
  z_stream& z = p_->z;
  auto* dst = static_cast<std::uint8_t*>(buffer);
  std::int64_t done = 0;
  while (done < count && !fEnd) {
    if (z.avail_in == 0) {
      std::int64_t n = fSource.Read(p_->in.data(), static_cast<std::int64_t>(p_->in.size()));
      if (n <= 0) throw EZLibError("compressed data truncated");
      z.next_in = p_->in.data();
      z.avail_in = static_cast<uInt>(n);
    }
    uInt want = static_cast<uInt>(std::min<std::int64_t>(count - done, 1 << 30));
    z.next_out = dst + done;
    z.avail_out = want;
    int rc = inflate(&z, Z_NO_FLUSH);
    std::int64_t got = want - z.avail_out;
    done += got;
    fTotalOut += got;
    if (fTotalOut > fMaxSize) throw EZLibError("inflated data larger than allowed");
    if (rc == Z_STREAM_END) {
      fEnd = true;
      // Hand back what was read beyond the stream's end.
      if (z.avail_in > 0) fSource.Seek(-static_cast<std::int64_t>(z.avail_in), soCurrent);
      z.avail_in = 0;
    } else if (rc != Z_OK && !(rc == Z_BUF_ERROR && got > 0)) {
      throw EZLibError(ZMessage("inflate", rc, z));
    }
  }
  return done;
}

std::int64_t TZDecompressionStream::Write(const void*, std::int64_t) {
  throw EZLibError("a decompression stream cannot be written");
}

std::int64_t TZDecompressionStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  std::int64_t target;
  if (origin == soCurrent)
    target = fTotalOut + offset;
  else if (origin == soBeginning)
    target = offset;
  else
    throw EZLibError("a decompression stream cannot seek from its end");
  if (target < fTotalOut) throw EZLibError("a decompression stream cannot seek backwards");
  std::vector<std::uint8_t> scratch(
      static_cast<size_t>(std::min<std::int64_t>(target - fTotalOut, kZBufferSize)));
  while (fTotalOut < target) {
    std::int64_t n = Read(scratch.data(), std::min<std::int64_t>(target - fTotalOut, kZBufferSize));
    if (n <= 0) throw EZLibError("seek beyond the end of the inflated data");
  }
  return fTotalOut;
}

std::int64_t TZDecompressionStream::Size() {
  throw EZLibError("the size of a decompression stream is not known");
}

}  // namespace redozir
