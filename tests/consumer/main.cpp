// A program that uses the library beside SDL2: SDL's header comes first, then
// the library's one header. Loads a picture, halves it, turns it, saves a JPEG
// (through x11_unit.cpp) and reads the JPEG back.
#define SDL_MAIN_HANDLED
#include <SDL2/SDL.h>

#include <redozir/imaging.h>

#include <cstdio>
#include <exception>

bool SaveHalfTurned(redozir::TIEBitmap& image, const char* out);  // x11_unit.cpp

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: consumer INPUT OUTPUT.jpg\n");
    return 2;
  }
  try {
    redozir::TIEBitmap image;
    redozir::TRedozIrIO io;
    io.SetAttachedIEBitmap(&image);
    io.LoadFromFile(argv[1]);
    const int w = image.Width();
    if (!SaveHalfTurned(image, argv[2])) return 1;

    redozir::TIEBitmap back;
    redozir::TRedozIrIO reader;
    reader.SetAttachedIEBitmap(&back);
    reader.LoadFromFile(argv[2]);
    std::printf("%s: %d x %d -> %s: %d x %d\n", argv[1], w, image.Height(), argv[2], back.Width(), back.Height());
    return back.Width() == image.Width() && back.Height() == image.Height() && back.Width() > w / 2 ? 0 : 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "consumer: %s\n", e.what());
    return 1;
  }
}
