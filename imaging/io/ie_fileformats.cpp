// The registry rows and the detection by extension and by content.
#include "imaging/io/ie_fileformats.h"

#include <algorithm>
#include <cctype>

#include "imaging/core/ie_startup.h"

namespace redozir {

TIETestProc IEIevDetect = nullptr;
TIETestProc IELyrDetect = nullptr;
TIETestProc IEAllDetect = nullptr;

namespace {
std::vector<TIEFileFormatInfo> MakeRows() {
  return {
      {ioTIFF, "TIFF Bitmap", "tif;tiff;fax;g3n;g3f", 0, ppTIFF, TIFFReadStream, TIFFWriteStream,
       TIFFTryStream},
      {ioGIF, "CompuServe Bitmap", "gif", 0, ppGIF, GIFReadStream, GIFWriteStream, GIFTryStream},
      {ioJPEG, "JPEG Bitmap", "jpg;jpeg;jpe;jif", 0, ppJPEG, JPEGReadStream, JPEGWriteStream, JPEGTryStream},
      {ioPCX, "PaintBrush", "pcx", 0, ppPCX, PCXReadStream, PCXWriteStream, PCXTryStream},
      {ioBMP, "Windows Bitmap", "bmp;dib;rle", 0, ppBMP, BMPReadStream, BMPWriteStream, BMPTryStream},
      {ioPNG, "Portable Network Graphics", "png", 0, ppPNG, PNGReadStream, PNGWriteStream, PNGTryStream},
      {ioTGA, "Targa Bitmap", "tga;targa;vda;icb;vst;pix", 0, ppTGA, TGAReadStream, TGAWriteStream,
       TGATryStream},
      {ioJP2, "JPEG2000", "jp2", 0, ppJ2000, JP2ReadStream, JP2WriteStream, JP2TryStream},
      {ioJ2K, "JPEG2000 Code Stream", "j2k;jpc;j2c", 0, ppJ2000, J2KReadStream, J2KWriteStream, J2KTryStream},
      // Read and written by the view and the vector control themselves.
      {ioIEV, "Vectorial objects", "iev", 1, 0, nullptr, nullptr, nullptr},
      {ioLYR, "Layers", "lyr", 1, 0, nullptr, nullptr, nullptr},
      {ioALL, "Layers and objects", "all", 1, 0, nullptr, nullptr, nullptr},
  };
}

std::vector<TIEFileFormatInfo>& Rows() {
  static std::vector<TIEFileFormatInfo> rows = MakeRows();
  return rows;
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool Test(TIETestProc proc, TStream& s) {
  if (!proc) return false;
  std::int64_t pos = s.Position();
  bool ok = false;
  try {
    ok = proc(s);
  } catch (const Exception&) {
    ok = false;
  }
  s.SetPosition(pos);
  return ok;
}
}  // namespace

const std::vector<TIEFileFormatInfo>& IEFileFormats() { return Rows(); }

TIEFileFormatInfo* IEFileFormatGetInfo(int FileType) {
  for (auto& r : Rows())
    if (r.FileType == FileType) return &r;
  return nullptr;
}

int IEExtToFileFormat(const std::string& Ext) {
  std::string e = Lower(Ext);
  if (!e.empty() && e[0] == '.') e.erase(0, 1);
  if (e.empty()) return ioUnknown;
  for (const auto& r : Rows()) {
    size_t start = 0;
    while (start <= r.Extensions.size()) {
      size_t end = r.Extensions.find(';', start);
      if (end == std::string::npos) end = r.Extensions.size();
      if (r.Extensions.compare(start, end - start, e) == 0 && end - start == e.size()) return r.FileType;
      start = end + 1;
    }
  }
  return ioUnknown;
}

int IEFileTypeOfName(const std::string& FileName) {
  size_t slash = FileName.find_last_of('/');
  size_t dot = FileName.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return ioUnknown;
  return IEExtToFileFormat(FileName.substr(dot + 1));
}

int FindStreamFormat(TStream& Stream) {
  // Formats with a signature first; TGA, which has none, last.
  static const int order[] = {ioJPEG, ioPNG, ioGIF, ioBMP, ioTIFF, ioJP2, ioJ2K, ioPCX};
  for (int id : order)
    if (Test(IEFileFormatGetInfo(id)->TestFunction, Stream)) return id;
  // The vector and layer formats' detectors are the view's: it installs
  // them when the library starts.
  IEInitialize();
  if (Test(IEIevDetect, Stream)) return ioIEV;
  if (Test(IELyrDetect, Stream)) return ioLYR;
  if (Test(IEAllDetect, Stream)) return ioALL;
  if (Test(IEFileFormatGetInfo(ioTGA)->TestFunction, Stream)) return ioTGA;
  return ioUnknown;
}

int FindFileFormat(const std::string& FileName) {
  try {
    TFileStream fs(FileName, fmOpenRead | fmShareDenyWrite);
    return FindStreamFormat(fs);
  } catch (const Exception&) {
    return ioUnknown;
  }
}

}  // namespace redozir
