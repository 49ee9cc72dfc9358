// Saves and bounded reads on POSIX systems.
#include "core/base/FileUtil.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "core/base/DebugLog.h"

namespace corvel {

namespace {

// Temporary files are named ".corvel-PID-XXXXXX" in the target's folder: short
// whatever the target's name, and the PID tells a later save whether the run
// that left one behind is still alive.
constexpr const char* kTempPrefix = ".corvel-";
constexpr int kMaxLinkHops = 40;

// Paths of saves in progress, for the signal-time clean-up. Fixed slots of
// fixed size, so a signal handler can read them without allocating.
constexpr std::size_t kPendingSlots = 8;
constexpr std::size_t kPendingPathMax = 4096;
std::array<std::array<char, kPendingPathMax>, kPendingSlots> g_pending{};
std::array<std::atomic<bool>, kPendingSlots> g_pending_used{};

int RegisterPending(const std::string& path) {
  if (path.size() >= kPendingPathMax) return -1;
  for (std::size_t i = 0; i < kPendingSlots; ++i) {
    bool expected = false;
    if (g_pending_used[i].compare_exchange_strong(expected, true)) {
      std::memcpy(g_pending[i].data(), path.c_str(), path.size() + 1);
      return static_cast<int>(i);
    }
  }
  return -1;
}

void ReleasePending(int slot) {
  if (slot >= 0) g_pending_used[static_cast<std::size_t>(slot)].store(false);
}

std::string FolderOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// Follows symbolic links to the file a save must replace.
std::optional<std::string> ResolveLinks(std::string path) {
  for (int hop = 0; hop < kMaxLinkHops; ++hop) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
    std::string target(PATH_MAX, '\0');
    const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
    if (n <= 0) return std::nullopt;
    target.resize(static_cast<std::size_t>(n));
    path = target.front() == '/' ? target : FolderOf(path) + "/" + target;
  }
  DebugPrintf("Cannot save %s: too many symbolic links", path.c_str());
  return std::nullopt;
}

// Removes temporary files that runs which are no longer alive left in folder.
void RemoveStaleTemporaryFiles(const std::string& folder) {
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return;
  const std::size_t prefix_length = std::strlen(kTempPrefix);
  while (const dirent* entry = ::readdir(dir)) {
    const char* name = entry->d_name;
    if (std::strncmp(name, kTempPrefix, prefix_length) != 0) continue;
    char* end = nullptr;
    const long pid = std::strtol(name + prefix_length, &end, 10);
    if (pid <= 0 || !end || *end != '-') continue;
    if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
    ::unlink((folder + "/" + name).c_str());
  }
  ::closedir(dir);
}

bool WriteAll(int fd, std::span<const uint8_t> bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// A device or FIFO named as the output gets the bytes; nothing is renamed.
bool WriteThrough(const std::string& path, std::span<const uint8_t> bytes) {
  // A FIFO without a reader would block the save forever: refuse it instead.
  const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    DebugPrintf("Cannot write %s (errno %d)", path.c_str(), errno);
    return false;
  }
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  const bool written = WriteAll(fd, bytes);
  const int write_errno = errno;
  const bool closed = ::close(fd) == 0;
  if (!written || !closed) {
    DebugPrintf("Cannot write %s (errno %d)", path.c_str(), written ? errno : write_errno);
    return false;
  }
  return true;
}

bool ReplaceRegularFile(const std::string& path, const struct stat* old_info, std::span<const uint8_t> bytes) {
  const std::string folder = FolderOf(path);
  RemoveStaleTemporaryFiles(folder);
  std::string temp = folder + "/" + kTempPrefix + std::to_string(::getpid()) + "-XXXXXX";
  const int slot = RegisterPending(temp);
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) {
    DebugPrintf("Cannot create a temporary file beside %s (errno %d)", path.c_str(), errno);
    ReleasePending(slot);
    return false;
  }
  if (slot >= 0) std::memcpy(g_pending[static_cast<std::size_t>(slot)].data(), temp.c_str(), temp.size() + 1);
  bool ok = WriteAll(fd, bytes);
  if (ok && old_info) {
    // The old file's permissions and owner stay; an owner we may not give
    // away (not root) stays ours, which is what the old file's writer gets.
    ok = ::fchmod(fd, old_info->st_mode & 07777) == 0;
    if (ok && (old_info->st_uid != ::geteuid() || old_info->st_gid != ::getegid())) {
      (void)!::fchown(fd, old_info->st_uid, old_info->st_gid);
    }
  } else if (ok) {
    // New files get the usual permissions, not mkstemp's 0600.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ok = ::fchmod(fd, 0666 & ~mask) == 0;
  }
  ok = ok && ::fsync(fd) == 0;
  const bool closed = ::close(fd) == 0;
  if (!ok || !closed || std::rename(temp.c_str(), path.c_str()) != 0) {
    DebugPrintf("Cannot write %s (errno %d)", path.c_str(), errno);
    ::unlink(temp.c_str());
    ReleasePending(slot);
    return false;
  }
  ReleasePending(slot);
  return true;
}

}  // namespace

void RemovePendingTemporaryFiles() {
  for (std::size_t i = 0; i < kPendingSlots; ++i) {
    if (g_pending_used[i].load()) ::unlink(g_pending[i].data());
  }
}

bool PlatformWriteFileAtomically(const std::string& path, std::span<const uint8_t> bytes) {
  const auto target = ResolveLinks(path);
  if (!target) {
    DebugPrintf("Cannot resolve the link %s", path.c_str());
    return false;
  }
  struct stat info {};
  if (::stat(target->c_str(), &info) != 0) {
    if (errno != ENOENT) {
      DebugPrintf("Cannot write %s (errno %d)", target->c_str(), errno);
      return false;
    }
    return ReplaceRegularFile(*target, nullptr, bytes);
  }
  if (S_ISREG(info.st_mode)) return ReplaceRegularFile(*target, &info, bytes);
  if (S_ISCHR(info.st_mode) || S_ISFIFO(info.st_mode)) return WriteThrough(*target, bytes);
  DebugPrintf("Cannot write %s: it is not a file", target->c_str());
  return false;
}

bool IsRegularFile(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

Result<std::string, FileReadError> ReadRegularFile(const std::string& path, std::size_t max_bytes) {
  // O_NONBLOCK so that opening a FIFO cannot wait for a writer; the check of
  // the opened file then refuses it.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    const int error = errno;
    return Fail(FileReadError{error == ENOENT ? FileReadErrorKind::Missing : FileReadErrorKind::Unreadable, error});
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return Fail(FileReadError{FileReadErrorKind::NotRegular, 0});
  }
  if (static_cast<uint64_t>(info.st_size) > max_bytes) {
    ::close(fd);
    return Fail(FileReadError{FileReadErrorKind::TooLarge, 0});
  }
  std::string data;
  data.reserve(static_cast<std::size_t>(info.st_size));
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      const int error = errno;
      ::close(fd);
      return Fail(FileReadError{FileReadErrorKind::Unreadable, error});
    }
    if (n == 0) break;
    data.append(buffer, static_cast<std::size_t>(n));
    // A file that grows while we read is still bounded.
    if (data.size() > max_bytes) {
      ::close(fd);
      return Fail(FileReadError{FileReadErrorKind::TooLarge, 0});
    }
  }
  ::close(fd);
  return data;
}

std::string ExecutableFolder() {
  std::error_code error;
  const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return {};
  return self.parent_path().string() + "/";
}

}  // namespace corvel
