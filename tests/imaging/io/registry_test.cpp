#include <gtest/gtest.h>

#include "imaging/core/ie_startup.h"
#include "imaging/io/ie_fileformats.h"

using namespace redozir;

TEST(FormatRegistry, RowsCarryTheirIdsNamesAndDialogPages) {
  struct Row {
    int id;
    const char* ext;
    std::uint16_t page;
    bool io;
  } rows[] = {
      {ioTIFF, "tif", 8, true},  {ioGIF, "gif", 16, true},  {ioJPEG, "jpg", 4, true},
      {ioPCX, "pcx", 64, true},  {ioBMP, "bmp", 32, true},  {ioPNG, "png", 128, true},
      {ioTGA, "tga", 256, true}, {ioJP2, "jp2", 512, true}, {ioJ2K, "j2k", 512, true},
      {ioIEV, "iev", 0, false},  {ioLYR, "lyr", 0, false},  {ioALL, "all", 0, false},
  };
  for (const auto& r : rows) {
    TIEFileFormatInfo* fi = IEFileFormatGetInfo(r.id);
    ASSERT_NE(fi, nullptr) << r.id;
    EXPECT_EQ(fi->FileType, r.id);
    EXPECT_EQ(fi->DialogPage, r.page) << r.id;
    EXPECT_EQ(IEExtToFileFormat(r.ext), r.id);
    EXPECT_EQ(fi->WriteFunction != nullptr, r.io) << r.id;
    EXPECT_EQ(fi->TestFunction != nullptr, r.io) << r.id;
  }
  EXPECT_EQ(IEFileFormatGetInfo(ioIEV)->FullName, "Vectorial objects");
  EXPECT_EQ(IEFileFormatGetInfo(ioLYR)->FullName, "Layers");
  EXPECT_EQ(IEFileFormatGetInfo(ioALL)->FullName, "Layers and objects");
  EXPECT_EQ(IEFileFormatGetInfo(6), nullptr);
  EXPECT_EQ(IEFileFormatGetInfo(0), nullptr);
}

TEST(FormatRegistry, ExtensionsMatchWholeAndWithoutCase) {
  struct Case {
    const char* name;
    int id;
  } cases[] = {
      {"a.JPEG", ioJPEG}, {"dir.png/x.tiff", ioTIFF},
      {".bmp", ioBMP},    {"x.jpc", ioJ2K},
      {"x.pn", 0},        {"x.pngg", 0},
      {"noext", 0},       {"dir.png/noext", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(IEFileTypeOfName(c.name), c.id) << c.name;
}

TEST(FormatRegistry, SpecialDetectorsAreTestedInTheirOrder) {
  // The library installs its own on first need: start it before replacing them.
  IEInitialize();
  const TIETestProc saved[] = {IEIevDetect, IELyrDetect, IEAllDetect};
  std::vector<int> calls;
  static std::vector<int>* log = nullptr;
  log = &calls;
  IEIevDetect = [](TStream& s) {
    log->push_back(25);
    char c = 0;
    s.Read(&c, 1);
    return false;
  };
  IELyrDetect = [](TStream&) {
    log->push_back(26);
    return false;
  };
  IEAllDetect = [](TStream& s) {
    log->push_back(27);
    char c[3] = {};
    return s.Read(c, 3) == 3 && c[0] == 'A' && c[1] == 'L' && c[2] == 'L';
  };
  TMemoryStream ms(std::vector<std::uint8_t>{'A', 'L', 'L', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  EXPECT_EQ(FindStreamFormat(ms), ioALL);
  EXPECT_EQ(ms.Position(), 0);
  EXPECT_EQ(calls, (std::vector<int>{25, 26, 27}));
  IEIevDetect = saved[0];
  IELyrDetect = saved[1];
  IEAllDetect = saved[2];
}
