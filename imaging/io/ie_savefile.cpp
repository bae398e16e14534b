// IEWriteFileSafely: a new file beside the target, renamed over it.
#include "imaging/io/ie_savefile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "platform/exceptions.h"
#include "platform/stream.h"

namespace redozir {

void IEWriteFileSafely(const std::string& FileName, const void* Data, std::int64_t Size) {
  std::string target = FileName;
  struct stat st {};
  // A symbolic link keeps pointing at the file it names.
  if (::lstat(FileName.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    if (char* real = ::realpath(FileName.c_str(), nullptr)) {
      target = real;
      std::free(real);
    }
  }
  const bool existed = ::stat(target.c_str(), &st) == 0;
  auto fail = [&](const std::string& what, int err) {
    throw EWriteError("Cannot " + what + " \"" + FileName + "\": " + std::strerror(err));
  };
  static std::atomic<unsigned> counter{0};
  std::string temp;
  int fd = -1;
  for (int attempt = 0; fd < 0; ++attempt) {
    temp = target + ".~" + std::to_string(::getpid()) + "." + std::to_string(counter++);
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && (errno != EEXIST || attempt > 100)) fail("save", errno);
  }
  auto discard = [&](const std::string& what, int err) {
    if (fd >= 0) ::close(fd);
    ::unlink(temp.c_str());
    fail(what, err);
  };
  // The new file takes the old one's permissions and, as far as we may
  // give them, its owner and group.
  if (existed) {
    if (::fchown(fd, st.st_uid, st.st_gid) != 0) {
      [[maybe_unused]] const int groupOnly = ::fchown(fd, static_cast<uid_t>(-1), st.st_gid);
    }
    if (::fchmod(fd, st.st_mode & 07777) != 0) discard("save", errno);
  }
  const auto* p = static_cast<const std::uint8_t*>(Data);
  for (std::int64_t done = 0; done < Size;) {
    const ssize_t n = ::write(fd, p + done, static_cast<size_t>(Size - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) discard("write", n < 0 ? errno : EIO);
    done += n;
  }
  if (::fsync(fd) != 0) discard("write", errno);
  const int closed = ::close(fd);
  fd = -1;
  if (closed != 0) discard("write", errno);
  if (::rename(temp.c_str(), target.c_str()) != 0) discard("replace", errno);
}

void IESaveFileSafely(const std::string& FileName, const std::function<void(TStream&)>& Write) {
  TMemoryStream m;
  Write(m);
  IEWriteFileSafely(FileName, m.Memory(), m.Size());
}

}  // namespace redozir
