#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "imaging/file_size_limit.h"
#include "imaging/formats/test_images.h"
#include "imaging/io/ie_savefile.h"

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
  ~TempDir() { std::filesystem::remove_all(path); }
};

void Put(const std::string& name, const std::string& text) {
  IEWriteFileSafely(name, text.data(), std::ssize(text));
}

std::string Text(const std::string& name) {
  const std::vector<char> b = ReadAll(name);
  return std::string(b.begin(), b.end());
}

std::string Link(const std::string& name) {
  char buf[4096];
  const ssize_t n = readlink(name.c_str(), buf, sizeof buf);
  return n < 0 ? "(not a link)" : std::string(buf, static_cast<std::size_t>(n));
}

// The message of the EWriteError a save raises, or "(saved)".
std::string Refusal(const std::string& name, const std::string& text) {
  try {
    Put(name, text);
  } catch (const EWriteError& e) {
    return e.what();
  }
  return "(saved)";
}
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

namespace {
constexpr uid_t kNobody = 65534;

// Runs Body in a forked child that, when we are the superuser, is another
// user (who owns the folder): the refusals of an ordinary user then show.
int ExitCodeAsAnotherUser(const std::string& folder, const std::function<int()>& Body) {
  const bool root = geteuid() == 0;
  if (root && chown(folder.c_str(), kNobody, kNobody) != 0) return -1;
  const pid_t pid = fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    if (root && (setgroups(0, nullptr) != 0 || setresgid(kNobody, kNobody, kNobody) != 0 ||
                 setresuid(kNobody, kNobody, kNobody) != 0))
      _exit(9);
    _exit(Body());
  }
  int status = 0;
  if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}
}  // namespace

TEST(SaveSafely, WhatAnInPlaceWriteWouldRefuseIsRefusedAndWhatItWouldWriteIsWritten) {
  TempDir dir;
  const std::string locked = dir.path + "/locked.png", mine = dir.path + "/mine.png",
                    theirs = dir.path + "/theirs.png";
  Put(locked, "old");
  Put(mine, "mine");
  Put(theirs, "theirs");
  chmod(locked.c_str(), 0444);
  chmod(theirs.c_str(), 0666);
  const bool root = geteuid() == 0;
  if (root) {
    ASSERT_EQ(chown(locked.c_str(), kNobody, kNobody), 0);
    ASSERT_EQ(chown(mine.c_str(), kNobody, kNobody), 0);
  }
  const int code = ExitCodeAsAnotherUser(dir.path, [&] {
    // A read-only file of one's own, in one's own writable folder.
    const std::string msg = Refusal(locked, "new");
    if (msg.find(locked) == std::string::npos || msg.find("Permission denied") == std::string::npos) return 2;
    // A file anyone may write, of another owner: written, the owner kept.
    if (Refusal(theirs, "by another") != "(saved)") return 3;
    // A writable file in a folder that takes no new names.
    if (chmod(dir.path.c_str(), 0555) != 0 || Refusal(mine, "still mine") != "(saved)") return 4;
    return 0;
  });
  chmod(dir.path.c_str(), 0700);
  EXPECT_EQ(code, 0) << "2: the read-only file was not refused so, 3: another's file, 4: the closed folder";
  struct stat st {};
  ASSERT_EQ(stat(locked.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0444u);
  EXPECT_EQ(Text(locked), "old");
  EXPECT_EQ(Text(mine), "still mine");
  EXPECT_EQ(Text(theirs), "by another");
  ASSERT_EQ(stat(theirs.c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, getuid());
  EXPECT_EQ(FilesIn(dir.path).size(), 3u);
  // The superuser may write a read-only file in place: so may its save,
  // which keeps the file's mode and owner.
  if (root) {
    Put(locked, "root's");
    EXPECT_EQ(Text(locked), "root's");
    ASSERT_EQ(stat(locked.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0444u);
    EXPECT_EQ(st.st_uid, kNobody);
    EXPECT_EQ(st.st_gid, kNobody);
  }
}

TEST(SaveSafely, SymbolicLinksAreFollowedToTheFileTheyNameAndStay) {
  TempDir dir;
  const std::string d = dir.path + "/";
  mkdir((d + "sub").c_str(), 0700);
  Put(d + "real.bin", "first");
  const std::pair<std::string, std::string> links[] = {
      {"rel", "real.bin"},          {"abs", d + "real.bin"}, {"chain", "rel"},   {"sub/up", "../real.bin"},
      {"dangling", "sub/made.bin"}, {"loop1", "loop2"},      {"loop2", "loop1"},
  };
  for (const auto& [link, to] : links) ASSERT_EQ(symlink(to.c_str(), (d + link).c_str()), 0) << link;
  for (const char* link : {"rel", "abs", "chain", "sub/up"}) {
    Put(d + link, std::string("through ") + link);
    EXPECT_EQ(Text(d + "real.bin"), std::string("through ") + link);
  }
  Put(d + "dangling", "made");
  EXPECT_EQ(Text(d + "sub/made.bin"), "made");
  const std::string msg = Refusal(d + "loop1", "never");
  EXPECT_NE(msg.find("Too many levels of symbolic links"), std::string::npos) << msg;
  for (const auto& [link, to] : links) EXPECT_EQ(Link(d + link), to) << link;
  EXPECT_EQ(FilesIn(d).size(), 8u);
  EXPECT_EQ(FilesIn(d + "sub").size(), 2u);
}

TEST(SaveSafely, AFifoAndAFileOfSeveralNamesAreWrittenInPlace) {
  TempDir dir;
  const std::string pipe = dir.path + "/pipe", a = dir.path + "/a.bmp", b = dir.path + "/b.bmp";
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  // Open for reading first, so that the save finds a reader; what it writes
  // fits in the pipe.
  const int reader = open(pipe.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  Put(pipe, "down the pipe");
  char received[64] = {};
  EXPECT_EQ(read(reader, received, sizeof received), 13);
  close(reader);
  EXPECT_STREQ(received, "down the pipe");
  struct stat st {};
  ASSERT_EQ(lstat(pipe.c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
  // A device of its own (the null device), where we may make one.
  const std::string device = dir.path + "/null";
  if (mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0) {
    Put(device, "into nothing");
    ASSERT_EQ(lstat(device.c_str(), &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
    unlink(device.c_str());
  }

  Put(a, "old content");
  ASSERT_EQ(link(a.c_str(), b.c_str()), 0);
  Put(a, "new");
  EXPECT_EQ(Text(b), "new");
  // Past a file-size limit the space is missing before the old content goes.
  const std::string big(10000, 'x');
  const int code = ExitCodeUnderFileSizeLimit(4096, [&] {
    const std::string msg = Refusal(b, big);
    return msg.find("File too large") != std::string::npos ? 0 : 2;
  });
  EXPECT_EQ(code, 0);
  EXPECT_EQ(Text(a), "new");
  ASSERT_EQ(stat(a.c_str(), &st), 0);
  EXPECT_EQ(st.st_nlink, 2u);
  EXPECT_EQ(st.st_size, 3);
  EXPECT_EQ(FilesIn(dir.path).size(), 3u);
}

TEST(SaveSafely, NamesAsLongAsTheFileSystemAllowsSave) {
  TempDir dir;
  for (std::size_t n : {247u, 255u}) {
    const std::string name = dir.path + "/" + std::string(n - 4, 'n') + ".png";
    Put(name, "one");
    Put(name, "two");
    EXPECT_EQ(Text(name), "two") << n;
  }
  EXPECT_EQ(FilesIn(dir.path).size(), 2u);
}
