// The format registry: one row per file type id with its names, extensions,
// save-dialog page and procedures, and the detection of a file's format by
// its extension or its content.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "imaging/formats/ie_codecs.h"

#pragma GCC visibility push(default)
namespace redozir {

struct TIEFileFormatInfo {
  int FileType = 0;
  std::string FullName;
  std::string Extensions;  // ";"-separated, lower case, without dots
  std::uint8_t InternalFormat = 0;
  std::uint16_t DialogPage = 0;  // the save-parameters dialog's page bits
  TIEReadProc ReadFunction = nullptr;
  TIEWriteProc WriteFunction = nullptr;
  TIETestProc TestFunction = nullptr;
};

// Page bits of the save-parameters dialog.
enum : std::uint16_t {
  ppALL = 1,
  ppAUTO = 2,
  ppJPEG = 4,
  ppTIFF = 8,
  ppGIF = 16,
  ppBMP = 32,
  ppPCX = 64,
  ppPNG = 128,
  ppTGA = 256,
  ppJ2000 = 512,
};

// The row of that id, nullptr when there is none.
TIEFileFormatInfo* IEFileFormatGetInfo(int FileType);
// Every row, in id order.
const std::vector<TIEFileFormatInfo>& IEFileFormats();

// The file type of an extension ("jpg", ".JPG") or of a file name's
// extension; 0 when none is registered.
int IEExtToFileFormat(const std::string& Ext);
int IEFileTypeOfName(const std::string& FileName);

// The content tests of the layers and vector-object formats: installed by
// the parts that read those formats unless the program set one first,
// tested in the order 25, 26, 27.
extern TIETestProc IEIevDetect;
extern TIETestProc IELyrDetect;
extern TIETestProc IEAllDetect;

// The format of the bytes at the stream's position (0 when unknown); the
// position is left where it was.
int FindStreamFormat(TStream& Stream);
// The same for a file; 0 when it cannot be opened or is unknown.
int FindFileFormat(const std::string& FileName);

}  // namespace redozir
#pragma GCC visibility pop
