// Committing what an operation made: a bitmap takes its new pixels whole or,
// when that cannot be done, stays exactly as it was. Every operation that
// changes an image builds the result in a bitmap of its own and ends here.
#pragma once

#include <new>
#include <string>
#include <utility>

#include "imaging/core/iebitmap.h"

#pragma GCC visibility push(default)
namespace redozir {

// Bitmap takes Result's image: size, format, pixels and palette, not the
// alpha plane. By exchange (Result gets the old image), except that an image
// living in a platform bitmap stays in it, since callers may hold that bitmap
// or its canvas, and takes a copy. Raising, it leaves Bitmap as it was.
void IETakeResult(TIEBitmap* Bitmap, TIEBitmap& Result);
// Bitmap becomes what Bitmap->Assign(&Result) would make it (image, Full flag
// and the alpha plane, or no plane when Result has none), with the same
// promise; Result keeps whatever is left over.
void IETakeAll(TIEBitmap* Bitmap, TIEBitmap& Result);

// The library's error for memory that an operation could not get: "Not
// enough memory to <What> (<Width> x <Height> pixels, <bytes> bytes)", the
// bytes of the image at BitCount bits per pixel.
[[noreturn]] void IERaiseOutOfMemory(const std::string& What, int Width, int Height, int BitCount);

// Runs Work and gives a std::bad_alloc raised inside it the library's form,
// EOutOfMemory saying what was being done to an image of Image's size.
template <typename F>
decltype(auto) IEGuardMemory(const char* What, const TIEBitmap* Image, F&& Work) {
  try {
    return std::forward<F>(Work)();
  } catch (const std::bad_alloc&) {
    IERaiseOutOfMemory(What, Image->GetWidth(), Image->GetHeight(), Image->GetBitCount());
  }
}

}  // namespace redozir
#pragma GCC visibility pop
