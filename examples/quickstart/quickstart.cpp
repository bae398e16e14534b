// quickstart: the library's common road. Loads a picture, halves it with the
// Lanczos3 filter, turns it 30 degrees and saves it as a JPEG, showing the
// progress of each step on the terminal.
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include <redozir/imaging.h>

using namespace redozir;

namespace {
// One line of the terminal, redrawn as a step advances.
TIEProgressEvent Progress(const char* step) {
  return [step](TObject*, int percent) {
    std::printf("\r%-10s %3d%%", step, percent);
    if (percent >= 100) std::printf("\n");
    std::fflush(stdout);
  };
}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 || !std::strcmp(argv[1], "--help")) {
    std::printf("usage: redozir-quickstart INPUT OUTPUT.jpg\n"
                "  Halves INPUT (any format the library reads) with Lanczos3, turns it\n"
                "  30 degrees counter-clockwise and saves it as a JPEG.\n");
    return argc == 2 && !std::strcmp(argv[1], "--help") ? 0 : 2;
  }
  try {
    TIEBitmap image;
    TRedozIrIO io;
    io.SetAttachedIEBitmap(&image);
    io.OnProgress = Progress("load");
    io.LoadFromFile(argv[1]);
    std::printf("%s: %d x %d\n", argv[1], image.Width(), image.Height());

    TRedozIrProc proc;
    proc.SetAttachedIEBitmap(&image);
    proc.OnProgress = Progress("resample");
    proc.Resample(image.Width() / 2, -1, rfLanczos3);
    proc.OnProgress = Progress("rotate");
    proc.Rotate(30, true, 1, clWhite);

    io.Params().JPEGQuality = 90;
    io.OnProgress = Progress("save");
    io.SaveToFile(argv[2]);
    std::printf("%s: %d x %d\n", argv[2], image.Width(), image.Height());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "quickstart: %s\n", e.what());
    return 1;
  }
  return 0;
}
