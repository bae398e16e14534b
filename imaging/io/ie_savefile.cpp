// IEWriteFileSafely: a new file beside the target, renamed over it, where
// that does to the file system what writing the target in place would.
#include "imaging/io/ie_savefile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/exceptions.h"
#include "platform/stream.h"

namespace redozir {

namespace {

// As many links as the kernel follows in one path before it gives up.
constexpr int kMaxLinkHops = 40;

[[noreturn]] void Fail(const std::string& FileName, const std::string& What, int Err) {
  throw EWriteError("Cannot " + What + " \"" + FileName + "\": " + std::strerror(Err));
}

std::string FolderOf(const std::string& Path) {
  const std::size_t slash = Path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : Path.substr(0, slash);
}

// The file a write through Path would reach: symbolic links followed one by
// one, a relative one from the folder it lies in, so that the link itself
// stays and what it names (made when missing) is replaced.
std::string FollowLinks(const std::string& FileName) {
  std::string path = FileName;
  for (int hops = 0;; ++hops) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    if (hops == kMaxLinkHops) Fail(FileName, "save", ELOOP);
    std::vector<char> buf(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 2);
    const ssize_t n = ::readlink(path.c_str(), buf.data(), buf.size());
    if (n < 0) Fail(FileName, "save", errno);
    // Grown since the lstat: read it again with a larger buffer.
    if (static_cast<std::size_t>(n) >= buf.size()) {
      --hops;
      continue;
    }
    const std::string link(buf.data(), static_cast<std::size_t>(n));
    path = !link.empty() && link[0] == '/' ? link : FolderOf(path) + "/" + link;
  }
}

// 0, or the reason the bytes could not all be written.
int WriteAll(int Fd, const void* Data, std::int64_t Size) {
  const auto* p = static_cast<const std::uint8_t*>(Data);
  for (std::int64_t done = 0; done < Size;) {
    const ssize_t n = ::write(Fd, p + done, static_cast<size_t>(Size - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return n < 0 ? errno : EIO;
    done += n;
  }
  return 0;
}

// What cannot be replaced by another file without changing what it is: a
// FIFO or a device takes the bytes as a stream, a file with other names
// would keep the old content under them. The space is claimed before the old
// content is cut, so that a full disk or a file-size limit still finds a
// regular file whole.
void WriteInPlace(const std::string& Path, const std::string& FileName, const void* Data, std::int64_t Size) {
  const int fd = ::open(Path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) Fail(FileName, "save", errno);
  auto fail = [&](int err) {
    ::close(fd);
    Fail(FileName, "write", err);
  };
  struct stat st {};
  const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  if (regular && Size > st.st_size) {
    const int err = ::posix_fallocate(fd, 0, static_cast<off_t>(Size));
    if (err != 0 && err != EOPNOTSUPP && err != EINVAL) {
      // What a partial claim added goes again.
      [[maybe_unused]] const int cut = ::ftruncate(fd, st.st_size);
      fail(err);
    }
  }
  if (const int err = WriteAll(fd, Data, Size)) fail(err);
  if (regular && (::ftruncate(fd, static_cast<off_t>(Size)) != 0 || ::fsync(fd) != 0)) fail(errno);
  if (::close(fd) != 0) Fail(FileName, "write", errno);
}

// A short name, so that it fits beside a target whose name is as long as
// the file system allows.
int CreateBeside(const std::string& Folder, std::string& Temp) {
  static std::atomic<unsigned> counter{0};
  const auto seed = static_cast<unsigned>(::getpid()) * 2654435761u ^
                    static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count());
  for (int attempt = 0;; ++attempt) {
    char name[16];
    std::snprintf(name, sizeof name, ".~%08x", (seed + counter++ * 40503u) & 0xffffffffu);
    Temp = Folder + "/" + name;
    const int fd = ::open(Temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST || attempt > 100) return fd;
  }
}

void SyncFolder(const std::string& Folder) {
  const int fd = ::open(Folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  // Some file systems cannot sync a folder; the file itself is on the disk.
  [[maybe_unused]] const int synced = ::fsync(fd);
  ::close(fd);
}

}  // namespace

void IEWriteFileSafely(const std::string& FileName, const void* Data, std::int64_t Size) {
  const std::string target = FollowLinks(FileName);
  struct stat st {};
  const bool existed = ::stat(target.c_str(), &st) == 0;
  if (!existed && errno != ENOENT) Fail(FileName, "save", errno);
  if (existed && (!S_ISREG(st.st_mode) || st.st_nlink > 1)) return WriteInPlace(target, FileName, Data, Size);
  if (existed) {
    // Refused where an in-place write would be: by who may write the file,
    // not by its mode bits alone (the superuser writes a read-only file).
    const int probe = ::open(target.c_str(), O_WRONLY | O_CLOEXEC);
    if (probe < 0) Fail(FileName, "save", errno);
    ::close(probe);
  }
  const std::string folder = FolderOf(target);
  std::string temp;
  int fd = CreateBeside(folder, temp);
  if (fd < 0) {
    // A file that may be written in a folder that may not: written in place
    // as any program would.
    if (existed && (errno == EACCES || errno == EPERM)) return WriteInPlace(target, FileName, Data, Size);
    Fail(FileName, "save", errno);
  }
  auto discard = [&](const std::string& what, int err) {
    if (fd >= 0) ::close(fd);
    ::unlink(temp.c_str());
    Fail(FileName, what, err);
  };
  // The new file takes the old one's owner, group and permissions (the
  // owner first: a change of owner clears the set-user bits). Where we may
  // not give it the owner or group, replacing would take the file from
  // them: it is written in place instead.
  if (existed) {
    struct stat made {};
    if (::fchown(fd, st.st_uid, st.st_gid) != 0 || ::fstat(fd, &made) != 0 || made.st_uid != st.st_uid ||
        made.st_gid != st.st_gid) {
      ::close(fd);
      ::unlink(temp.c_str());
      return WriteInPlace(target, FileName, Data, Size);
    }
    if (::fchmod(fd, st.st_mode & 07777) != 0) discard("save", errno);
  }
  if (const int err = WriteAll(fd, Data, Size)) discard("write", err);
  if (::fsync(fd) != 0) discard("write", errno);
  const int closed = ::close(fd);
  fd = -1;
  if (closed != 0) discard("write", errno);
  if (::rename(temp.c_str(), target.c_str()) != 0) {
    const int err = errno;
    ::unlink(temp.c_str());
    // A folder with the sticky bit keeps others' files from being replaced,
    // not from being written.
    if (existed && (err == EACCES || err == EPERM)) return WriteInPlace(target, FileName, Data, Size);
    Fail(FileName, "replace", err);
  }
  SyncFolder(folder);
}

void IESaveFileSafely(const std::string& FileName, const std::function<void(TStream&)>& Write) {
  TMemoryStream m;
  Write(m);
  IEWriteFileSafely(FileName, m.Memory(), m.Size());
}

}  // namespace redozir
