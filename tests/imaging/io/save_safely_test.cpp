#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "imaging/file_size_limit.h"
#include "imaging/formats/test_images.h"

using namespace redozir;

namespace {
std::vector<char> ReadAll(const std::string& name) {
  std::ifstream f(name, std::ios::binary);
  return std::vector<char>(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

std::vector<std::string> FilesIn(const std::string& dir) {
  std::vector<std::string> names;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d))
      if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") names.push_back(e->d_name);
    closedir(d);
  }
  return names;
}

struct TempDir {
  std::string path;
  TempDir() {
    char tmpl[] = "/tmp/redozir_save_XXXXXX";
    path = mkdtemp(tmpl);
  }
  ~TempDir() {
    for (const auto& n : FilesIn(path)) std::remove((path + "/" + n).c_str());
    rmdir(path.c_str());
  }
};
}  // namespace

TEST(SaveSafely, AFileSizeLimitFailsWithTheNameAndLeavesThePreviousFileByteForByte) {
  TempDir dir;
  const std::string name = dir.path + "/picture.bmp";
  TRedozIrIO io;
  io.GetIEBitmap()->Assign(MakeRGB(4, 3).get());
  io.SaveToFile(name);
  chmod(name.c_str(), 0640);
  const std::vector<char> before = ReadAll(name);
  ASSERT_FALSE(before.empty());

  // A child with a 4 KiB file-size limit saves a picture of about 30 KiB over it.
  const int code = ExitCodeUnderFileSizeLimit(4096, [&] {
    TRedozIrIO big;
    big.GetIEBitmap()->Assign(MakeRGB(100, 100).get());
    try {
      big.SaveToFile(name);
    } catch (const Exception& e) {
      const std::string msg = e.what();
      return msg.find(name) != std::string::npos && msg.find("File too large") != std::string::npos ? 0 : 3;
    }
    return 2;
  });
  EXPECT_EQ(code, 0) << "2: the save succeeded, 3: the message lacks the name or the reason";
  EXPECT_EQ(ReadAll(name), before);
  EXPECT_EQ(FilesIn(dir.path), std::vector<std::string>{"picture.bmp"});

  // A save that succeeds replaces the file and keeps its permissions.
  io.GetIEBitmap()->Assign(MakeRGB(9, 9).get());
  io.SaveToFile(name);
  struct stat st {};
  ASSERT_EQ(stat(name.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_NE(ReadAll(name), before);
  EXPECT_EQ(FilesIn(dir.path).size(), 1u);
}

TEST(SaveSafely, WriteErrorsNameTheFileAndTheReason) {
  // A folder that does not exist, and a device that is always full.
  TRedozIrIO io;
  io.GetIEBitmap()->Assign(MakeRGB(4, 3).get());
  const std::string missing = "/tmp/redozir_no_such_folder/x.png";
  try {
    io.SaveToFile(missing);
    ADD_FAILURE() << "saved into a missing folder";
  } catch (const EStreamError& e) {
    EXPECT_NE(std::string(e.what()).find(missing), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("No such file or directory"), std::string::npos) << e.what();
  }
  if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
  TFileStream full("/dev/full", fmOpenWrite);
  std::vector<std::uint8_t> bytes(100, 1);
  try {
    full.WriteBuffer(bytes.data(), 100);
    ADD_FAILURE() << "wrote to /dev/full";
  } catch (const EWriteError& e) {
    EXPECT_NE(std::string(e.what()).find("/dev/full"), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("No space left"), std::string::npos) << e.what();
  }
}
