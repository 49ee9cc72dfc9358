// The atomic save on POSIX: a temporary file beside the target, synced, then
// renamed over it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>

#include "core/base/DebugLog.h"
#include "core/base/FileUtil.h"

namespace corvel {

bool WriteFileAtomically(const std::string& path, std::span<const uint8_t> bytes) {
  std::string temp = path + ".corvel-tmp-XXXXXX";
  const int fd = mkstemp(temp.data());
  if (fd < 0) {
    DebugPrintf("Cannot create a temporary file beside %s (errno %d)", path.c_str(), errno);
    return false;
  }
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  // Files the user saves get the usual permissions, not mkstemp's 0600.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  const bool written = done == bytes.size() && ::fchmod(fd, 0666 & ~mask) == 0 && ::fsync(fd) == 0;
  const bool closed = ::close(fd) == 0;
  if (!written || !closed || std::rename(temp.c_str(), path.c_str()) != 0) {
    DebugPrintf("Cannot write %s (errno %d)", path.c_str(), errno);
    std::remove(temp.c_str());
    return false;
  }
  return true;
}

std::string ExecutableFolder() {
  std::error_code error;
  const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return {};
  return self.parent_path().string() + "/";
}

}  // namespace corvel
