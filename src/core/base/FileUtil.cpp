#include "core/base/FileUtil.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>

#include "core/base/DebugLog.h"

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

bool WriteFileAtomically(const std::string& path, const std::string& text) {
  return WriteFileAtomically(
      path, std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

std::optional<std::string> ReadWholeFile(const std::string& path, std::size_t max_bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string data;
  char buffer[65536];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
    data.append(buffer, static_cast<std::size_t>(in.gcount()));
    if (data.size() > max_bytes) return std::nullopt;
  }
  if (in.bad()) return std::nullopt;
  return data;
}

std::string FileExtension(const std::string& path) {
  const auto slash = path.find_last_of("/\\");
  const auto dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  return path.substr(dot);
}

}  // namespace corvel
